// The block encoding of layered pictures: a bitmap cut into blocks, each
// stored raw, copied from an earlier block of the same bitmap, or copied
// from the same place of an earlier layer (of this frame or an earlier
// one), so that animation frames share what does not change.
#pragma once

#include <cstdint>
#include <span>

#include "graphics/brios.h"

namespace nova::graphics {

// Where a data block being decoded belongs, for the copies of earlier
// layers: frame `frame`, layer `layer` of `list` (whose frames up to and
// including `frame` hold the layers read so far), colour data or alpha.
struct BlockPlace {
  const TBrioFrameList* list = nullptr;
  int frame = 0;
  int layer = 0;
  bool alpha = false;
};

// The largest size block-encoded data of this bitmap can have: the table
// plus every block raw. Block sides must be positive.
std::int64_t block_data_limit(std::int64_t width, std::int64_t height, int bit_count, std::int64_t block_width,
                              std::int64_t block_height);

// Fills `bitmap` (already sized) from block-encoded `data`. With `scrambled`
// the table's order is permuted by the image key first. Raises core::Error
// for data that ends early, kinds below −2, and copies the format does not
// allow: a −2 naming a block not yet filled or smaller than the one it
// fills, a copy from a later frame, the same or a later layer, a layer or
// plane that does not exist, or a bitmap of another size or bit count.
void decode_blocks(std::span<const std::uint8_t> data, TDIBX& bitmap, int block_width, int block_height,
                   std::int32_t image_key, bool scrambled, const BlockPlace& place);

}  // namespace nova::graphics
