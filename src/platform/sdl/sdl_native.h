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

}  // namespace nova::platform
