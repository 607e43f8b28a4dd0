// Mapping of SDL keys onto Windows virtual-key codes. Declared without SDL
// types so that tests can check it: `scancode` is an SDL scancode (the USB
// HID usage of the physical key) and `keycode` the SDL key code the layout
// gives it.
#pragma once

namespace nova::platform {

// The virtual-key code, or 0 for keys without one. Letters and digits follow
// the layout (the key that types "a" is 'A' even on a French keyboard), as
// Windows does; everything else follows the physical key. Left and right
// modifiers report the generic code (SHIFT, CONTROL, MENU), as key-down
// messages do.
int vk_from_sdl(int scancode, int keycode);

}  // namespace nova::platform
