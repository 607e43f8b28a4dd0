// JPEG colour data of layered pictures (storage mode 2), through
// libjpeg-turbo. Pictures are decoded straight into the rows of a 24-bit
// bitmap (blue, green, red bytes, as device-independent bitmaps hold them).
#pragma once

#include <cstdint>
#include <span>

#include "files/stream.h"
#include "graphics/dib_surface.h"

namespace nova::graphics {

// Decodes the complete JPEG stream `data` into `out`, a 24-bit bitmap
// already sized to the frame and black: the picture's rows land from the
// top, cut to the bitmap where the picture is larger, leaving black where it
// is smaller. Raises core::Error for a damaged or truncated stream (libjpeg's
// warnings count as damage: a half-decoded picture is never shown), a colour
// space without an RGB form (CMYK), or a picture beyond `limits`.
void decode_jpeg(std::span<const std::uint8_t> data, TDIBSurface& out, const PictureLimits& limits);

// Encodes a 24-bit bitmap (not empty) at `quality` (limited to 1 ... 100),
// colour not subsampled, into `out`, replacing its contents.
void encode_jpeg(const TDIBSurface& bitmap, int quality, files::MemoryBlock& out);

}  // namespace nova::graphics
