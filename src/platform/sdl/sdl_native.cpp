#include "platform/sdl/sdl_native.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdio>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xproto.h>
#endif

namespace nova::platform {

#if defined(SDL_VIDEO_DRIVER_X11)
namespace {

XErrorHandler g_previous_handler = nullptr;

// SDL wakes its event wait by sending a message to one of its windows over
// a second connection to the server. When the window is destroyed over the
// first connection and the server happens to read that first, it answers
// BadWindow, which reaches the process when the second connection is next
// synchronised, at the latest when SDL quits; Xlib's default handler then
// ends the process. Nothing was lost: the window is gone, and so is what
// waited on it.
int pass_over_messages_to_gone_windows(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) {
    std::fprintf(stderr, "novaplayer: a message to the closed window 0x%lx was passed over\n", error->resourceid);
    return 0;
  }
  return g_previous_handler ? g_previous_handler(display, error) : 0;
}

}  // namespace
#endif

void sdl_tolerate_messages_to_gone_windows() {
#if defined(SDL_VIDEO_DRIVER_X11)
  const XErrorHandler previous = XSetErrorHandler(pass_over_messages_to_gone_windows);
  // Never in front of itself (a second start in one process).
  if (previous != pass_over_messages_to_gone_windows) g_previous_handler = previous;
#endif
}

#ifdef NOVA_TEST_HOOKS
bool sdl_send_message_for_test(std::uint64_t id) {
#if defined(SDL_VIDEO_DRIVER_X11)
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = static_cast<Window>(id);
  event.xclient.format = 32;
  event.xclient.message_type = XInternAtom(display, "_SDL_WAKEUP", False);
  XSendEvent(display, static_cast<Window>(id), False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  return true;
#else
  (void)id;
  return false;
#endif
}
#endif

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
