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

bool sdl_window_manager_running(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info)) return true;
#if defined(SDL_VIDEO_DRIVER_X11)
  if (info.subsystem == SDL_SYSWM_X11) {
    Display* display = info.info.x11.display;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == 0) return false;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, AnyPropertyType,
                                          &type, &format, &count, &after, &data);
    const bool found = status == Success && data != nullptr && count > 0;
    if (data) XFree(data);
    return found;
  }
#endif
  return true;
}

}  // namespace nova::platform
