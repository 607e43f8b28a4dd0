// Arithmetic shared by the transition types (private to the wipe files).
//
// Progress values are integer products divided by the duration, truncated
// toward zero. Parameters come from scripts and may be anything in the
// int32 range, so products are taken in 128 bits and every count derived
// from a parameter in 64.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "graphics/dibx.h"

namespace nova::graphics::wipe {

__extension__ typedef __int128 Int128;

// span × e / d, truncated toward zero; d > 0. With 0 <= e < d the result
// lies between 0 and span.
inline std::int64_t scale(std::int64_t span, std::int64_t e, std::int64_t d) {
  return static_cast<std::int64_t>(static_cast<Int128>(span) * e / d);
}

// To the nearest integer, halves to even, limited to the int64 range.
inline std::int64_t round_even(long double v) {
  if (!(v == v)) return 0;
  constexpr long double lo = static_cast<long double>(std::numeric_limits<std::int64_t>::min() / 2);
  constexpr long double hi = static_cast<long double>(std::numeric_limits<std::int64_t>::max() / 2);
  return static_cast<std::int64_t>(std::nearbyintl(std::clamp(v, lo, hi)));
}

// An int64 limited to the int range.
inline int to_int(std::int64_t v) {
  return static_cast<int>(
      std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// ceil(a / b) for a >= 0, b > 0.
inline std::int64_t ceil_div(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

// The whole of `src` onto the target at (0, 0): an exact copy.
inline void copy_whole(TCustomDIBX& target, const TCustomDIBX& src) {
  target.Draw(0, 0, false, false, false, {0, 0, src.GetWidth(), src.GetHeight()}, src);
}

// The pixel value of the grey (g, g, g) in the target's layout.
inline std::uint32_t grey_pixel(const TCustomDIBX& target, int g) {
  return static_cast<std::uint32_t>(target.ColorToPixel(g | (g << 8) | (g << 16)));
}

}  // namespace nova::graphics::wipe
