// Windows bitmap files: our own reader (every header and compression a
// title's pictures use) and the 24-bit writer of TCustomDIBX::SaveToFile.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "graphics/dib_surface.h"

namespace nova::graphics {

// Reads the bitmap file `data` into `out`, as it is stored: 1, 4 and 8 bits
// with their palette, 16 bits as 5-5-5 (or 5-6-5 when its masks say so), 24
// bits. Headers: core (12 bytes), info (40), V4 (108), V5 (124); rows bottom
// up or (negative height) top down; BI_RGB, BI_RLE8, BI_RLE4 and
// BI_BITFIELDS. Other headers and compressions are refused by name. A
// 32-bit picture becomes 24 bits and its fourth bytes the alpha plane, even
// when they are all 0; bit fields of other masks become 24 bits. Raises
// core::Error for anything truncated, inconsistent or beyond `limits`.
void read_bmp(std::span<const std::uint8_t> data, TDIBSurface& out, const PictureLimits& limits);

// The surface as a 24-bit bottom-up bitmap file with an info header, its
// pixels converted to colours by the platform's rules.
std::vector<std::uint8_t> write_bmp24(const TCustomDIBX& surface);

}  // namespace nova::graphics
