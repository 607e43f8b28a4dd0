// Input and window events, as the backends deliver them to the main thread.
#pragma once

#include <cstdint>
#include <string>

namespace nova::platform {

enum class EventType : std::uint8_t {
  None,
  MouseMove,      // x, y in client coordinates
  MouseDown,      // button, x, y
  MouseUp,        // button, x, y
  MouseWheel,     // wheel: +120 per notch away from the user (up), −120 towards
  KeyDown,        // key (virtual-key code), repeat
  KeyUp,          // key
  TextInput,      // text (Shift-JIS), for edit controls
  Activate,       // the application became active
  Deactivate,     // the application lost the focus
  Close,          // the user asked to close the window
  Expose,         // the window content must be presented again
  DisplayChange,  // the display mode changed under us
  Wake,           // posted by another thread (Platform::wake); carries nothing
};

enum class MouseButton : std::uint8_t { None, Left, Right, Middle };

namespace modifier {
constexpr std::uint32_t Shift = 1, Control = 2, Alt = 4;
}

struct Event {
  EventType type = EventType::None;
  std::uint32_t window = 0;  // Window::id of the target, 0 for application-wide events
  int x = 0;
  int y = 0;
  MouseButton button = MouseButton::None;
  int wheel = 0;
  int key = 0;
  bool repeat = false;
  std::uint32_t modifiers = 0;
  // A scaled window's pointer events: the position lies on the tool-bar
  // strip rather than on the picture.
  bool on_chrome = false;
  std::string text;
};

}  // namespace nova::platform
