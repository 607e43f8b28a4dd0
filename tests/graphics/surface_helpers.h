// Helpers of the graphics tests: random pictures and alpha planes, copies,
// and pixel comparison on the colour bits.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "graphics/memory_dibx.h"

namespace nova::graphics::test {

using Rng = std::mt19937;

inline int uniform(Rng& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

// The bits of a pixel that carry colour in a layout.
inline std::uint32_t colour_bits(int bit_count) {
  switch (bit_count) {
    case 32: case 24: return 0xFFFFFF;
    case 16: return 0xFFFF;
    case 15: return 0x7FFF;
    default: return 0xFF;
  }
}

// Random pixels; with `palette_size` > 0 they are drawn from that many
// values, so that keys and equal pixels occur often.
inline void fill_random(TDIBX& s, Rng& rng, int palette_size = 0) {
  std::vector<std::uint32_t> palette;
  for (int i = 0; i < palette_size; ++i) palette.push_back(static_cast<std::uint32_t>(rng()));
  const std::uint32_t all = s.GetBitCount() >= 32 ? 0xFFFFFFFFu : (1u << s.GetStorageBitCount()) - 1;
  for (int y = 0; y < s.GetHeight(); ++y) {
    for (int x = 0; x < s.GetWidth(); ++x) {
      const std::uint32_t v = palette.empty() ? static_cast<std::uint32_t>(rng()) : palette[rng() % palette.size()];
      s.SetPixel(x, y, v & all);
    }
  }
}

// An alpha plane of runs: transparent, opaque and partly transparent runs
// of random lengths, as sprites and soft edges give.
inline void fill_alpha_runs(TDIBX& a, Rng& rng) {
  for (int y = 0; y < a.GetHeight(); ++y) {
    int x = 0;
    while (x < a.GetWidth()) {
      const int len = uniform(rng, 1, 24), kind = uniform(rng, 0, 3);
      for (int i = 0; i < len && x < a.GetWidth(); ++i, ++x) {
        const std::uint32_t v = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<std::uint32_t>(uniform(rng, 0, 255));
        a.SetPixel(x, y, v);
      }
    }
  }
}

inline void make(TDIBX& s, int w, int h, int bits) { s.SetSize(w, h, bits); }

inline void copy_into(TDIBX& to, const TDIBX& from) {
  to.SetSize(from.GetWidth(), from.GetHeight(), from.GetBitCount());
  for (int y = 0; y < from.GetHeight(); ++y) {
    for (int x = 0; x < from.GetWidth(); ++x) to.SetPixel(x, y, from.GetPixel(x, y));
  }
  to.SetTransparentValue(from.TransparentValue());
}

// The first pixel whose colour bits differ, as "(x, y): a vs b", or "" when
// the surfaces are equal.
inline std::string first_difference(const TCustomDIBX& a, const TCustomDIBX& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return "sizes differ";
  const std::uint32_t bits = colour_bits(a.GetBitCount());
  for (int y = 0; y < a.GetHeight(); ++y) {
    for (int x = 0; x < a.GetWidth(); ++x) {
      const std::uint32_t pa = a.GetPixel(x, y) & bits, pb = b.GetPixel(x, y) & bits;
      if (pa != pb) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "(%d, %d): %06X vs %06X", x, y, pa, pb);
        return buf;
      }
    }
  }
  return "";
}

}  // namespace nova::graphics::test
