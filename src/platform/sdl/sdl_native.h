// The window system's own id of an SDL window. Kept apart because the
// window-system headers define macros (None, Expose) that clash with ours.
#pragma once

#include <cstdint>

struct SDL_Window;

namespace nova::platform {

// The X11 window id, or 0 under other video drivers.
std::uint64_t sdl_native_window_id(SDL_Window* window);

// Whether a window manager runs on the window's X server (it announces
// itself on the root window). Answers true under other video drivers.
bool sdl_window_manager_running(SDL_Window* window);

// Under X11, a message sent to a window that is gone by the time the server
// reads it is passed over (and written to standard error) instead of ending
// the process; other X errors go on to the handler that was there before.
// Called before the video driver starts, so that the driver keeps it as the
// handler it chains to and puts back when it quits.
void sdl_tolerate_messages_to_gone_windows();

#ifdef NOVA_TEST_HOOKS
// Sends a message to the X11 window `id` over a connection of its own and
// waits for the server's answer, as SDL's wake-up does; false when there is
// no X display.
bool sdl_send_message_for_test(std::uint64_t id);
#endif

}  // namespace nova::platform
