// Scripted input for the headless backend: one event a line,
//
//   TICK mouse X Y          pointer to client coordinates (X, Y)
//   TICK wmouse X Y         pointer to the window's real pixel (X, Y), not
//                           relative to the input origin
//   TICK ldown | lup        left button at the pointer (also rdown, rup, mdown, mup)
//   TICK wheel N            N notches, positive away from the user
//   TICK key NAME down      a key by virtual-key name or number (down, up, repeat),
//                           optionally with the modifiers held ("alt", "ctrl+shift")
//   TICK text STRING        typed text (UTF-8, to the end of the line)
//   TICK activate | deactivate | close
//
// TICK is the frame tick at whose start the event arrives (0 is the first
// tick). Blank lines and lines starting with "#" are ignored. Coordinates are
// relative to the input origin of the backend (HeadlessPlatform::
// set_input_origin): the player's display panel in its main window, the
// client area of a dialog.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/events.h"

namespace nova::platform {

struct ScriptedEvent {
  std::int64_t tick = 0;
  Event event;
  // A move to a real pixel of the window rather than a client position.
  bool in_window_pixels = false;
};

// Throws PlatformError naming the line for anything it cannot read. Events
// keep their order; ticks need not be sorted (a stable sort puts them in
// tick order).
std::vector<ScriptedEvent> parse_input_script(std::string_view text);

}  // namespace nova::platform
