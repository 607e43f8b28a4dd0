// PNG pictures, through libpng: reading one into a picture's bitmap and
// writing a bitmap out.
#pragma once

#include <cstdint>
#include <span>

#include "files/stream.h"
#include "graphics/dib_surface.h"

namespace nova::graphics {

// Reads the PNG file `data` into `out`:
// - palette pictures keep their palette at 1, 4 or 8 bits (2-bit ones
//   become 4-bit); a tRNS chunk that makes exactly one entry transparent
//   and leaves the rest opaque gives `transparent` that index; any other
//   palette tRNS gives 24 bits and an alpha plane instead;
// - every other picture becomes 24 bits: 16-bit samples keep their high
//   byte, grey becomes RGB, an alpha channel becomes the alpha plane, a
//   tRNS colour becomes `transparent` as a 24-bit pixel value;
// - interlaced pictures are read whole; gamma is ignored.
// `transparent` is −1 when the picture has no transparent colour. Raises
// core::Error for a damaged or truncated file or a picture beyond `limits`.
void read_png(std::span<const std::uint8_t> data, TDIBSurface& out, std::int32_t& transparent,
              const PictureLimits& limits);

// Writes `picture` as a PNG file into `out` (replacing its contents): a
// palette picture (8 bits or fewer, no alpha plane) with a tRNS entry for
// the transparent index; RGB with a tRNS colour for the transparent value;
// or, when there is an alpha plane, RGBA whose alpha is the plane (and 0
// where a pixel is the transparent value).
void write_png(const TDIBSurface& picture, std::int32_t transparent, files::MemoryBlock& out);

}  // namespace nova::graphics
