// Row kernels of the mask-driven transitions: one target row from the old
// and the new screen's rows and a mask row, for 32-bit (x8 r8 g8 b8),
// 16-bit (r5 g6 b5) and 15-bit (x1 r5 g5 b5) pixels.
//
// mix: m = 0 the old pixel, m = 255 the new pixel, else per channel
// (old × (255 − m) + new × m) >> 8. select (binary masks): m = 0 the old
// pixel, else the new one. Every kernel gives exactly the stored bits of
// these formulas, the bits that are not colour included (the top byte of
// 32-bit pixels, the top bit of 15-bit ones): a pixel taken whole from a
// screen keeps them, a computed one has them 0. So every path leaves the
// same bytes in the target, which a later draw reading it back (a twist's
// untouched rows) and any comparison of frames can rely on.
//
// Which set runs follows the surfaces' pixel path (kernels.h): Portable,
// Sse2 or Avx2 (the AVX2 file alone is built for AVX2 and entered only when
// the processor reports it); Reference has no set, and the caller works
// pixel by pixel instead.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "graphics/kernels.h"

namespace nova::graphics::detail {

struct WipeRowJob {
  std::uint8_t* dst = nullptr;
  const std::uint8_t* old_row = nullptr;
  const std::uint8_t* new_row = nullptr;
  const std::uint8_t* mask = nullptr;  // `count` bytes
  int count = 0;
};

using WipeRowFn = void (*)(const WipeRowJob&);

// One target row of mask white (black): for pixel k, v = clamp(key[k] +
// offset, 0, 511); the new pixel when v > 255, else the old one, with the
// grey (g, g, g), g = min(v, 511 − v), of the format added per channel,
// saturating (subtracted, floored at 0). The pixel is always computed, so
// the bits outside the channels come out 0. offset lies in −512..512.
struct WipeShadowJob {
  std::uint8_t* dst = nullptr;
  const std::uint8_t* old_row = nullptr;
  const std::uint8_t* new_row = nullptr;
  const std::uint8_t* key = nullptr;  // `count` grey levels
  int offset = 0;
  int count = 0;
};

using WipeShadowFn = void (*)(const WipeShadowJob&);

// One target row of the spotlight at progress b: for pixel k, v = b −
// threshold[k]; v < 0 the old pixel, v >= 512 the new one, else the old
// (v < 256) or new pixel with the grey (g, g, g), g = min(v, 511 − v),
// added per channel, saturating. The grey is the format's own (the 32-bit
// layout, 5-6-5 or 5-5-5); b and the thresholds lie in 0..32767.
struct WipeSpotJob {
  std::uint8_t* dst = nullptr;
  const std::uint8_t* old_row = nullptr;
  const std::uint8_t* new_row = nullptr;
  const std::int16_t* threshold = nullptr;  // `count` values
  int b = 0;
  int count = 0;
};

using WipeSpotFn = void (*)(const WipeSpotJob&);

// A run of `blocks` 8 × 8 blocks of pixels of one size transposed: pixel
// (row i, column j) of src goes to (row j, column i) of dst; pitches in
// bytes, and each block after the first src_next bytes past the one
// before in src, dst_next in dst. One call a run rather than one a block,
// as a block is only a few dozen instructions. Pure data movement, so
// every path gives the same bytes.
using WipeTransposeFn = void (*)(const std::uint8_t* src, std::ptrdiff_t src_pitch, std::uint8_t* dst,
                                 std::ptrdiff_t dst_pitch, int blocks, std::ptrdiff_t src_next,
                                 std::ptrdiff_t dst_next);

// A line squeezed by sampling, as the surfaces' stretch does: output j
// (0 <= j < count) is pixel (j × step) >> 16 of `from`, step in 16.16 at
// least 1.0 (a squeeze never widens). Every sample lies below `length`,
// the pixels readable at `from`; nothing else is read, and nothing past
// `count` written.
using WipeStretchFn = void (*)(std::uint8_t* to, const std::uint8_t* from, int count, std::int64_t step, int length);

// Where the ripple's ring takes the new screen's pixels from, for `count`
// pixels of one row of the top-left quarter from column `begin`: pixel i
// (distance d = dist[i] from the centre, direction sine[i], cosine[i] in
// 16.16) reaches d + profile[d − inner], and its source is that far from
// the centre along the same direction, each product divided by 65536
// truncating toward zero; a source outside the target is the pixel's own
// place. Only for reaches below 2^15, where every product fits 32 bits.
struct WipeRippleRow {
  const std::int32_t* dist = nullptr;
  const std::int32_t* sine = nullptr;
  const std::int32_t* cosine = nullptr;
  // Readable 7 entries past the last a pixel of the row can take.
  const std::int32_t* profile = nullptr;
  std::int32_t inner = 0;
  int begin = 0, count = 0;
  int y = 0, cx = 0, cy = 0, w = 0, h = 0;
};

using WipeRippleFn = void (*)(const WipeRippleRow& row, std::int32_t* sx, std::int32_t* sy);

struct WipeKernelSet {
  // By RowFormat: X888, R565, X555.
  WipeRowFn mix[3] = {};
  WipeRowFn select[3] = {};
  WipeShadowFn shadow_add[3] = {};
  WipeShadowFn shadow_sub[3] = {};
  WipeSpotFn spot[3] = {};
  // By pixel size: 4 bytes, 2 bytes.
  WipeTransposeFn transpose8[2] = {};
  // Blocks of eight rows of sixteen 2-byte pixels into sixteen rows of
  // eight (two 8 × 8 blocks side by side, the right one going below): only
  // paths with 32-byte vectors have it.
  WipeTransposeFn transpose8x16_16 = nullptr;
  // By pixel size, as transpose8.
  WipeStretchFn stretch[2] = {};
  WipeRippleFn ripple_sources = nullptr;
};

// The set of a path; nullptr for Reference or a path this processor lacks.
const WipeKernelSet* wipe_kernels_for(PixelPath p);

void fill_wipe_portable(WipeKernelSet& set);
void fill_wipe_sse2(WipeKernelSet& set);
void fill_wipe_avx2(WipeKernelSet& set);

// Outputs j .. count − 1 of a squeeze (the portable kernel and the vector
// tails). Four samples a turn from four running positions: a third of the
// instructions of one position stepped per sample.
template <class T>
inline void wipe_stretch_samples(T* to, const T* from, int j, int count, std::int64_t step) {
  std::int64_t u = j * step;
  to += j;
  const std::int64_t s2 = 2 * step, s3 = 3 * step, s4 = 4 * step;
  for (; j + 4 <= count; j += 4, u += s4, to += 4) {
    const T a = from[u >> 16], b = from[(u + step) >> 16], c = from[(u + s2) >> 16], d = from[(u + s3) >> 16];
    to[0] = a;
    to[1] = b;
    to[2] = c;
    to[3] = d;
  }
  for (; j < count; ++j, u += step) *to++ = from[u >> 16];
}

// Sources i .. count − 1 of a ripple row (the portable kernel and the
// vector tails): the reaches first, then the rest in plain 32-bit lanes,
// which the compiler turns into vector code where the target has it (the
// lookup in the profile would keep a single loop scalar). The row's fields
// are taken into locals, as the stores could otherwise change them for all
// the compiler knows, and it would read them again for every pixel.
inline void wipe_ripple_sources(const WipeRippleRow& r, int i, std::int32_t* __restrict sx,
                                std::int32_t* __restrict sy) {
  const std::int32_t* __restrict dist = r.dist;
  const std::int32_t* __restrict sine = r.sine;
  const std::int32_t* __restrict cosine = r.cosine;
  const std::int32_t* __restrict profile = r.profile;
  const std::int32_t inner = r.inner;
  const int count = r.count, begin = r.begin, y = r.y, cx = r.cx, cy = r.cy, w = r.w, h = r.h;
  for (int k = i; k < count; ++k) sx[k] = dist[k] + profile[dist[k] - inner];
  for (int k = i; k < count; ++k) {
    const std::int32_t reach = sx[k];
    const std::int32_t px = reach * sine[k] / 65536 + cx;
    const std::int32_t py = reach * cosine[k] / 65536 + cy;
    const bool inside =
        static_cast<unsigned>(px) < static_cast<unsigned>(w) && static_cast<unsigned>(py) < static_cast<unsigned>(h);
    sx[k] = inside ? px : begin + k;
    sy[k] = inside ? py : y;
  }
}

// One pixel by the formulas (the portable kernels and the vector tails).
inline std::uint32_t wipe_mix_x888(std::uint32_t o, std::uint32_t n, int m) {
  if (m == 0) return o;
  if (m == 255) return n;
  const std::uint32_t w = static_cast<std::uint32_t>(m), v = 255 - w;
  std::uint32_t r = 0;
  for (int s = 0; s < 24; s += 8) r |= ((((o >> s) & 0xFF) * v + ((n >> s) & 0xFF) * w) >> 8) << s;
  return r;
}

template <int RedShift, std::uint32_t GreenMask>
inline std::uint32_t wipe_mix_16(std::uint32_t o, std::uint32_t n, int m) {
  if (m == 0) return o;
  if (m == 255) return n;
  const std::uint32_t w = static_cast<std::uint32_t>(m), v = 255 - w;
  auto ch = [&](int shift, std::uint32_t mask) {
    return ((((o >> shift) & mask) * v + ((n >> shift) & mask) * w) >> 8) << shift;
  };
  return ch(RedShift, 31) | ch(5, GreenMask) | ch(0, 31);
}

inline std::uint32_t wipe_mix_r565(std::uint32_t o, std::uint32_t n, int m) { return wipe_mix_16<11, 63>(o, n, m); }
inline std::uint32_t wipe_mix_x555(std::uint32_t o, std::uint32_t n, int m) { return wipe_mix_16<10, 31>(o, n, m); }

// Saturating addition and subtraction of a pixel per channel, for the
// channel masks R, G and B; the bits outside them come out 0.
template <std::uint32_t R, std::uint32_t G, std::uint32_t B>
struct WipeChannels {
  static std::uint32_t add(std::uint32_t p, std::uint32_t g) {
    return std::min((p & R) + (g & R), R) | std::min((p & G) + (g & G), G) | std::min((p & B) + (g & B), B);
  }
  static std::uint32_t sub(std::uint32_t p, std::uint32_t g) {
    auto one = [&](std::uint32_t m) { return (p & m) > (g & m) ? (p & m) - (g & m) : 0u; };
    return one(R) | one(G) | one(B);
  }
};
using WipeX888 = WipeChannels<0xFF0000, 0x00FF00, 0x0000FF>;
using WipeR565 = WipeChannels<0xF800, 0x07E0, 0x001F>;
using WipeX555 = WipeChannels<0x7C00, 0x03E0, 0x001F>;

// Pixel k of a row of Bytes-byte pixels by the formulas (the portable
// kernels and the tails of the vector ones). Pixels are little-endian
// words, as on every processor the player runs on.
template <int Bytes, std::uint32_t (*Mix)(std::uint32_t, std::uint32_t, int)>
inline void wipe_mix_pixel(const WipeRowJob& j, int k) {
  std::uint32_t o = 0, n = 0;
  std::memcpy(&o, j.old_row + k * Bytes, Bytes);
  std::memcpy(&n, j.new_row + k * Bytes, Bytes);
  const std::uint32_t v = Mix(o, n, j.mask[k]);
  std::memcpy(j.dst + k * Bytes, &v, Bytes);
}

template <int Bytes>
inline void wipe_select_pixel(const WipeRowJob& j, int k) {
  std::memcpy(j.dst + k * Bytes, (j.mask[k] ? j.new_row : j.old_row) + k * Bytes, Bytes);
}

// The grey (g, g, g) of a format by its channels' top bits: X888, R565,
// X555 (the grey tables of the screen's layouts hold the same values).
inline std::uint32_t wipe_format_grey(int format, std::uint32_t g) {
  if (format == 0) return g * 0x010101u;
  if (format == 1) return ((g >> 3) << 11) | ((g >> 2) << 5) | (g >> 3);
  return ((g >> 3) << 10) | ((g >> 3) << 5) | (g >> 3);
}

template <int Bytes, int Format, std::uint32_t (*Op)(std::uint32_t, std::uint32_t)>
inline void wipe_shadow_pixel(const WipeShadowJob& j, int k) {
  const int v = std::clamp(j.key[k] + j.offset, 0, 511);
  std::uint32_t s = 0;
  std::memcpy(&s, (v > 255 ? j.new_row : j.old_row) + k * Bytes, Bytes);
  const std::uint32_t out = Op(s, wipe_format_grey(Format, static_cast<std::uint32_t>(std::min(v, 511 - v))));
  std::memcpy(j.dst + k * Bytes, &out, Bytes);
}

template <int Bytes, int Format, std::uint32_t (*Add)(std::uint32_t, std::uint32_t)>
inline void wipe_spot_pixel(const WipeSpotJob& j, int k) {
  const int v = j.b - j.threshold[k];
  std::uint32_t o = 0, n = 0, out = 0;
  std::memcpy(&o, j.old_row + k * Bytes, Bytes);
  std::memcpy(&n, j.new_row + k * Bytes, Bytes);
  if (v < 0) {
    out = o;
  } else if (v >= 512) {
    out = n;
  } else {
    out = Add(v < 256 ? o : n, wipe_format_grey(Format, static_cast<std::uint32_t>(std::min(v, 511 - v))));
  }
  std::memcpy(j.dst + k * Bytes, &out, Bytes);
}

}  // namespace nova::graphics::detail
