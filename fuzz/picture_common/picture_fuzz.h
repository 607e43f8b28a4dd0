// What the picture fuzzers share: small limits, so that every input runs
// quickly, and the selector bytes in front of a file.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/dib_surface.h"

namespace nova::fuzz {

inline graphics::PictureLimits fuzz_limits() {
  graphics::PictureLimits l;
  l.max_side = 1024;
  l.max_pixels = 1 << 18;
  l.max_total_bytes = 16 << 20;
  return l;
}

// The layered-file fuzzer's input: one flag byte, a 32-bit key, the file.
//   bit 0 first frame only, bit 1 keep layers, bit 2 convert,
//   bits 3-4 the target bit count (0, 16, 32, 8), bits 5-6 the storage mode
//   of the rewrite.
inline std::string bri_input(std::uint8_t flags, std::int32_t key, const std::string& file) {
  std::string out(1, static_cast<char>(flags));
  for (int i = 0; i < 4; ++i) out += static_cast<char>(static_cast<std::uint32_t>(key) >> (8 * i));
  return out + file;
}

}  // namespace nova::fuzz
