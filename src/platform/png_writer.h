// Writes 32-bit pixels (0x00RRGGBB) as an RGB PNG file, for screenshots.
#pragma once

#include <filesystem>

#include "platform/types.h"

namespace nova::platform {

// Writes the rectangle `area` of `pixels` (which must lie inside it) to
// `path`. Returns false with nothing left behind when the file cannot be
// written.
bool write_png(const std::filesystem::path& path, const PixelView& pixels, Rect area);

}  // namespace nova::platform
