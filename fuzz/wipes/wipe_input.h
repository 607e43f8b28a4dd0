// The input of the transition fuzzer, shared with its seed generator:
//   byte 0      transition type (any byte: 0 and values past 38 make none)
//   byte 1      layout: 15, 16, 32 or 24 bits by (byte mod 4)
//   bytes 2, 3  width and height: 1 + (byte mod 64)
//   byte 4      bit 0 reverse, bit 1 set parameter 0, bit 2 set parameter 1,
//               bit 3 give the mask name "m"
//   bytes 5..20 parameter 0, parameter 1, duration, seed (int32, little-endian)
//   byte 21     number of elapsed values (at most 32)
//   then        the elapsed values (int32 each), then the mask picture's bytes
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace nova::fuzz {

struct WipeInput {
  int type = 0;
  int bits = 32;
  int width = 1, height = 1;
  bool reverse = false, set_p0 = false, set_p1 = false, mask_name = false;
  std::int32_t p0 = 0, p1 = 0, duration = 0;
  std::uint32_t seed = 0;
  std::vector<std::int32_t> elapsed;
  std::span<const std::uint8_t> mask;
};

inline constexpr std::size_t kWipeHeader = 22;

inline bool read_wipe_input(std::span<const std::uint8_t> in, WipeInput& out) {
  if (in.size() < kWipeHeader) return false;
  auto i32 = [&](std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, in.data() + at, 4);
    return static_cast<std::int32_t>(v);
  };
  static constexpr int kBits[4] = {15, 16, 32, 24};
  out.type = in[0];
  out.bits = kBits[in[1] % 4];
  out.width = 1 + in[2] % 64;
  out.height = 1 + in[3] % 64;
  out.reverse = in[4] & 1;
  out.set_p0 = in[4] & 2;
  out.set_p1 = in[4] & 4;
  out.mask_name = in[4] & 8;
  out.p0 = i32(5);
  out.p1 = i32(9);
  out.duration = i32(13);
  out.seed = static_cast<std::uint32_t>(i32(17));
  const std::size_t count = std::min<std::size_t>(in[21], 32);
  if (in.size() < kWipeHeader + count * 4) return false;
  out.elapsed.clear();
  for (std::size_t k = 0; k < count; ++k) out.elapsed.push_back(i32(kWipeHeader + k * 4));
  out.mask = in.subspan(kWipeHeader + count * 4);
  return true;
}

inline std::string write_wipe_input(const WipeInput& w, std::span<const std::uint8_t> mask) {
  std::string s;
  auto put32 = [&](std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int k = 0; k < 4; ++k) s.push_back(static_cast<char>((u >> (8 * k)) & 0xFF));
  };
  const int layout = w.bits == 15 ? 0 : w.bits == 16 ? 1 : w.bits == 32 ? 2 : 3;
  s.push_back(static_cast<char>(w.type));
  s.push_back(static_cast<char>(layout));
  s.push_back(static_cast<char>(w.width - 1));
  s.push_back(static_cast<char>(w.height - 1));
  s.push_back(static_cast<char>(w.reverse | w.set_p0 << 1 | w.set_p1 << 2 | w.mask_name << 3));
  put32(w.p0);
  put32(w.p1);
  put32(w.duration);
  put32(static_cast<std::int32_t>(w.seed));
  s.push_back(static_cast<char>(w.elapsed.size()));
  for (std::int32_t e : w.elapsed) put32(e);
  s.append(reinterpret_cast<const char*>(mask.data()), mask.size());
  return s;
}

}  // namespace nova::fuzz
