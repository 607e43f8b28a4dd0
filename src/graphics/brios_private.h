// Helpers shared by the reader and the rest of the layered format.
#pragma once

#include "graphics/brios.h"

namespace nova::graphics {

// The conversion after reading: masks for a frame with a transparent colour,
// then its bit counts (to 24 bits for palette pictures when `target` is 0 or
// less, else to `target`), the layers too when `layers`.
void convert_after_reading(TBrioFrame& frame, bool layers, int target);

}  // namespace nova::graphics
