// The block fuzzer's input: eight bytes of geometry, then the block data.
//   0 width (1 ... 64), 1 height (1 ... 64), 2 bit count (index into
//   1, 4, 8, 15, 16, 24, 32), 3 block width (0 ... 15, 0 is refused),
//   4 block height, 5 the key's low byte (0: not scrambled), 6 the layer
//   the data belongs to (0 or 1 of frame 1), 7 alpha data when odd.
#pragma once

#include <cstdint>
#include <string>

namespace nova::fuzz {

constexpr int kBlockBits[7] = {1, 4, 8, 15, 16, 24, 32};

struct BlockGeometry {
  int width, height, bits, block_width, block_height, key, layer;
  bool alpha;
};

inline BlockGeometry block_geometry(const std::uint8_t* head) {
  return BlockGeometry{1 + head[0] % 64, 1 + head[1] % 64, kBlockBits[head[2] % 7], head[3] % 16, head[4] % 16,
                       head[5],          head[6] % 2,      (head[7] & 1) != 0};
}

inline std::string block_input(const BlockGeometry& g, const std::string& data) {
  std::string out;
  out += static_cast<char>(g.width - 1);
  out += static_cast<char>(g.height - 1);
  for (int i = 0; i < 7; ++i) {
    if (kBlockBits[i] == g.bits) out += static_cast<char>(i);
  }
  out += static_cast<char>(g.block_width);
  out += static_cast<char>(g.block_height);
  out += static_cast<char>(g.key);
  out += static_cast<char>(g.layer);
  out += static_cast<char>(g.alpha ? 1 : 0);
  return out + data;
}

}  // namespace nova::fuzz
