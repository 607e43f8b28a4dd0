// Pointer positions between the panel (window pixels, after the window's
// own transform) and the bases (the title's pixels), by the display scale
// in percent. A base pixel covers the panel pixels that round down to it;
// a position written by a script goes to the first of them, so reading it
// back gives the written value at every scale of 100 or more.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace nova::app {

// x × 100 ÷ scale, rounded down; a scale below 1 counts as 100.
platform::Point panel_to_base(platform::Point panel, int scale_percent);
// x × scale ÷ 100, rounded up: where a script's pointer write lands.
platform::Point base_to_panel(platform::Point base, int scale_percent);

}  // namespace nova::app
