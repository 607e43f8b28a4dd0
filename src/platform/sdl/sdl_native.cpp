#include "platform/sdl/sdl_native.h"

#include <SDL.h>
#include <SDL_syswm.h>

namespace nova::platform {

std::uint64_t sdl_native_window_id(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info)) return 0;
#if defined(SDL_VIDEO_DRIVER_X11)
  if (info.subsystem == SDL_SYSWM_X11) return static_cast<std::uint64_t>(info.info.x11.window);
#endif
  return 0;
}

}  // namespace nova::platform
