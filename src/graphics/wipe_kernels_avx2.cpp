// The AVX2 kernels of the mask-driven transitions: 32-byte vectors. Only
// this file's own functions are built for AVX2 (see core/cpu_target.h), and
// they are only entered when the processor reports it (the surfaces' path
// choice checks).
#include "graphics/wipe_kernels.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <bit>
#include <cstdint>
#include <cstring>

#include "core/cpu_target.h"

NOVA_TARGET_BEGIN("avx2")
#include "graphics/wipe_kernels_x86.h"

namespace nova::graphics::detail {
namespace {

struct Avx2 {
  using V = __m256i;
  static constexpr int kBytes = 32;
  static V loadu(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
  static void storeu(void* p, V v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
  static V zero() { return _mm256_setzero_si256(); }
  static V set8(int v) { return _mm256_set1_epi8(static_cast<char>(v)); }
  static V set16(int v) { return _mm256_set1_epi16(static_cast<short>(v)); }
  static V set32(std::uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
  static V and_(V a, V b) { return _mm256_and_si256(a, b); }
  static V or_(V a, V b) { return _mm256_or_si256(a, b); }
  static V cmpeq8(V a, V b) { return _mm256_cmpeq_epi8(a, b); }
  static V cmpeq16(V a, V b) { return _mm256_cmpeq_epi16(a, b); }
  // Unpacking and packing work within 128-bit halves; every operand goes
  // through the same unpack, so the pixels stay matched.
  static V lo8(V a) { return _mm256_unpacklo_epi8(a, zero()); }
  static V hi8(V a) { return _mm256_unpackhi_epi8(a, zero()); }
  static V mullo16(V a, V b) { return _mm256_mullo_epi16(a, b); }
  static V add16(V a, V b) { return _mm256_add_epi16(a, b); }
  static V sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
  static V max8u(V a, V b) { return _mm256_max_epu8(a, b); }
  static V max16(V a, V b) { return _mm256_max_epi16(a, b); }
  static V min16(V a, V b) { return _mm256_min_epi16(a, b); }
  static V cmpgt16(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
  static V adds8u(V a, V b) { return _mm256_adds_epu8(a, b); }
  static V subs8u(V a, V b) { return _mm256_subs_epu8(a, b); }
  static V adds16u(V a, V b) { return _mm256_adds_epu16(a, b); }
  static V subs16u(V a, V b) { return _mm256_subs_epu16(a, b); }
  template <int N>
  static V srl16(V a) {
    return _mm256_srli_epi16(a, N);
  }
  template <int N>
  static V sll16(V a) {
    return _mm256_slli_epi16(a, N);
  }
  static V pack16(V a, V b) { return _mm256_packus_epi16(a, b); }
  static V unpacklo16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
  static V unpackhi16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
  static V unpacklo32(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
  static V unpackhi32(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
  static V unpacklo64(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
  static V unpackhi64(V a, V b) { return _mm256_unpackhi_epi64(a, b); }
  // Whether any bit is set.
  static bool any(V a) { return _mm256_movemask_epi8(a) != 0; }
  static V select(V m, V a, V b) { return _mm256_blendv_epi8(b, a, m); }
  // Eight mask bytes, each spread over the four bytes of its pixel.
  static V mask_dwords(const std::uint8_t* m) {
    const V x = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m)));
    const V spread = _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12, 0, 0, 0, 0, 4, 4, 4, 4, 8, 8,
                                      8, 8, 12, 12, 12, 12);
    return _mm256_shuffle_epi8(x, spread);
  }
  // Eight 16-bit values, each in both halves of its 32-bit lane.
  static V thresholds_dwords(const std::int16_t* t) {
    const V x = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t)));
    return _mm256_or_si256(x, _mm256_slli_epi32(x, 16));
  }
  // Sixteen mask bytes as 16-bit lanes.
  static V mask_words(const std::uint8_t* m) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m)));
  }
};

// Eight pixels at a in the low half, eight at b in the high one.
__m256i halves(const std::uint16_t* a, const std::uint16_t* b) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a))),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), 1);
}

// A squeeze picks its samples by shuffles of a window of sixteen pixels
// instead of one load and one store each. n samples span at most
// (65535 + (n − 1) × step) >> 16 pixels past the first: eight stay within
// the window up to a step of 140434 (2.14 pixels), four up to 327680 (5.0);
// a squeeze to less than a fifth of the line takes the scalar way.
// Positions are 32-bit, so the whole line must stay below 2^31 in 16.16.
// The window is only loaded while it lies inside the line.
int stretch_window_samples(int count, std::int64_t step) {
  if ((std::int64_t{count} + 8) * step >= (std::int64_t{1} << 31)) return 0;
  if (7 * step <= 15 * 65536) return 8;
  if (3 * step <= 15 * 65536) return 4;
  return 0;
}

// Sixteen samples a turn, eight in each half of the vectors from a window
// of its own: the first half's at pixel (j × step) >> 16, the second's at
// ((j + 8) × step) >> 16. Returns the outputs done.
int stretch16_wide(std::uint16_t* to, const std::uint16_t* from, int count, std::int64_t step, int length) {
  const int s = static_cast<int>(step);
  // Positions of samples 0..3, 8..11 and 4..7, 12..15: the saturating
  // pack of the two gives them in order, 0..7 low and 8..15 high.
  __m256i ra = _mm256_setr_epi32(0, s, 2 * s, 3 * s, 8 * s, 9 * s, 10 * s, 11 * s);
  __m256i rb = _mm256_add_epi32(ra, _mm256_set1_epi32(4 * s));
  const __m256i advance = _mm256_set1_epi32(16 * s);
  const __m256i pair = _mm256_set1_epi16(0x0202), odd = _mm256_set1_epi16(0x0100);
  const __m256i fifteen = _mm256_set1_epi8(15), sixteen = _mm256_set1_epi8(16);
  // Each half's first position, repeated over the half.
  const __m256i first = _mm256_set1_epi16(0x0100);
  std::int64_t u = 0;
  int j = 0;
  for (; j + 16 <= count; j += 16, u += 16 * step) {
    const int base_lo = static_cast<int>(u >> 16), base_hi = static_cast<int>((u + 8 * step) >> 16);
    if (base_hi + 16 > length) break;
    const __m256i at = _mm256_packs_epi32(_mm256_srli_epi32(ra, 16), _mm256_srli_epi32(rb, 16));
    const __m256i offset = _mm256_sub_epi16(at, _mm256_shuffle_epi8(at, first));
    const __m256i bytes = _mm256_add_epi16(_mm256_mullo_epi16(offset, pair), odd);
    const __m256i lo = _mm256_shuffle_epi8(halves(from + base_lo, from + base_hi),
                                           _mm256_or_si256(bytes, _mm256_cmpgt_epi8(bytes, fifteen)));
    const __m256i hi =
        _mm256_shuffle_epi8(halves(from + base_lo + 8, from + base_hi + 8), _mm256_sub_epi8(bytes, sixteen));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + j), _mm256_or_si256(lo, hi));
    ra = _mm256_add_epi32(ra, advance);
    rb = _mm256_add_epi32(rb, advance);
  }
  return j;
}

void stretch16(std::uint8_t* to_bytes, const std::uint8_t* from_bytes, int count, std::int64_t step, int length) {
  auto* to = reinterpret_cast<std::uint16_t*>(to_bytes);
  const auto* from = reinterpret_cast<const std::uint16_t*>(from_bytes);
  int j = 0;
  if (const int per = stretch_window_samples(count, step)) {
    if (per == 8) j = stretch16_wide(to, from, count, step, length);
    const int s = static_cast<int>(step);
    // The positions of the next samples; with four a turn the second half
    // repeats the first and is not stored.
    const int u = j * s;  // below 2^31, as every position
    __m128i r0 = _mm_setr_epi32(u, u + s, u + 2 * s, u + 3 * s);
    __m128i r1 = per == 8 ? _mm_add_epi32(r0, _mm_set1_epi32(4 * s)) : r0;
    const __m128i advance = _mm_set1_epi32(per * s);
    // Pixel offset k becomes the byte pair (2k, 2k + 1) of the shuffle;
    // bytes 0..15 come from the window's first vector, 16..31 from its
    // second, and a set top bit makes the other shuffle give 0.
    const __m128i pair = _mm_set1_epi16(0x0202), odd = _mm_set1_epi16(0x0100);
    const __m128i fifteen = _mm_set1_epi8(15), sixteen = _mm_set1_epi8(16);
    for (; j + per <= count; j += per) {
      const int base = static_cast<int>((std::int64_t{j} * step) >> 16);
      if (base + 16 > length) break;
      const __m128i at = _mm_packs_epi32(_mm_srli_epi32(r0, 16), _mm_srli_epi32(r1, 16));
      const __m128i offset = _mm_sub_epi16(at, _mm_set1_epi16(static_cast<short>(base)));
      const __m128i bytes = _mm_add_epi16(_mm_mullo_epi16(offset, pair), odd);
      const __m128i* window = reinterpret_cast<const __m128i*>(from + base);
      const __m128i lo = _mm_shuffle_epi8(_mm_loadu_si128(window), _mm_or_si128(bytes, _mm_cmpgt_epi8(bytes, fifteen)));
      const __m128i hi = _mm_shuffle_epi8(_mm_loadu_si128(window + 1), _mm_sub_epi8(bytes, sixteen));
      if (per == 8) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + j), _mm_or_si128(lo, hi));
      } else {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + j), _mm_or_si128(lo, hi));
      }
      r0 = _mm_add_epi32(r0, advance);
      r1 = _mm_add_epi32(r1, advance);
    }
  }
  wipe_stretch_samples(to, from, j, count, step);
}

void stretch32(std::uint8_t* to_bytes, const std::uint8_t* from_bytes, int count, std::int64_t step, int length) {
  auto* to = reinterpret_cast<std::uint32_t*>(to_bytes);
  const auto* from = reinterpret_cast<const std::uint32_t*>(from_bytes);
  int j = 0;
  if (const int per = stretch_window_samples(count, step)) {
    const int s = static_cast<int>(step), t = per == 8 ? 4 * s : 0;
    __m256i r = _mm256_setr_epi32(0, s, 2 * s, 3 * s, t, t + s, t + 2 * s, t + 3 * s);
    const __m256i advance = _mm256_set1_epi32(per * s), seven = _mm256_set1_epi32(7);
    for (; j + per <= count; j += per) {
      const int base = static_cast<int>((std::int64_t{j} * step) >> 16);
      if (base + 16 > length) break;
      // Both halves of the window are permuted by the offset's low three
      // bits; offsets above 7 take the second.
      const __m256i offset = _mm256_sub_epi32(_mm256_srli_epi32(r, 16), _mm256_set1_epi32(base));
      const __m256i* window = reinterpret_cast<const __m256i*>(from + base);
      const __m256i lo = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(window), offset);
      const __m256i hi = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(window + 1), offset);
      const __m256i v = _mm256_blendv_epi8(lo, hi, _mm256_cmpgt_epi32(offset, seven));
      if (per == 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + j), v);
      } else {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + j), _mm256_castsi256_si128(v));
      }
      r = _mm256_add_epi32(r, advance);
    }
  }
  wipe_stretch_samples(to, from, j, count, step);
}

// Rows of sixteen: the 8 × 8 transpose runs on both 128-bit halves at
// once, and the left halves' results go to rows 0..7, the right ones below.
void transpose8x16_16(const std::uint8_t* src, std::ptrdiff_t sp, std::uint8_t* dst, std::ptrdiff_t dp, int blocks,
                      std::ptrdiff_t src_next, std::ptrdiff_t dst_next) {
  for (int b = 0; b < blocks; ++b, src += src_next, dst += dst_next) {
    __m256i r[8];
    for (int i = 0; i < 8; ++i) r[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + sp * i));
    WipeVector<Avx2>::transpose_words(r);
    for (int i = 0; i < 8; ++i) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + dp * i), _mm256_castsi256_si128(r[i]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + dp * (i + 8)), _mm256_extracti128_si256(r[i], 1));
    }
  }
}

// x / 65536 truncated toward zero: the arithmetic shift of x, plus 65535
// when x is negative.
__m256i quotient_65536(__m256i x) {
  return _mm256_srai_epi32(_mm256_add_epi32(x, _mm256_and_si256(_mm256_srai_epi32(x, 31), _mm256_set1_epi32(65535))),
                           16);
}

// 0 <= v < limit as one unsigned compare: the minimum of v and limit − 1
// is v.
__m256i below(__m256i v, int limit) { return _mm256_cmpeq_epi32(_mm256_min_epu32(v, _mm256_set1_epi32(limit - 1)), v); }

__m256i load32(const std::int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// Eight pixels a turn. Along a row of the quarter the distance falls
// towards the centre by at most one a pixel (the distance of two integer
// points is never a half, so its rounding cannot make a step of two), so
// the eight profile entries lie among the eight from the last pixel's: one
// load and one permute, not a gather (which some processors' microcode
// makes slow). Eight that spread wider, which a table of another making
// could have, are looked up one by one.
void ripple_sources(const WipeRippleRow& r, std::int32_t* sx, std::int32_t* sy) {
  const __m256i inner = _mm256_set1_epi32(r.inner), cx = _mm256_set1_epi32(r.cx), cy = _mm256_set1_epi32(r.cy);
  const __m256i row = _mm256_set1_epi32(r.y), steps = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  // In locals, as the portable kernel has them.
  const std::int32_t *dist = r.dist, *sine = r.sine, *cosine = r.cosine, *profile = r.profile;
  const int count = r.count, begin = r.begin, w = r.w, h = r.h;
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i d = load32(dist + i);
    const __m256i k = _mm256_sub_epi32(d, inner);
    const std::int32_t k_last = dist[i + 7] - r.inner;
    __m256i entries;
    if (dist[i] - dist[i + 7] < 8) {
      entries = _mm256_permutevar8x32_epi32(load32(profile + k_last), _mm256_sub_epi32(k, _mm256_set1_epi32(k_last)));
    } else {
      alignas(32) std::int32_t e[8];
      for (int j = 0; j < 8; ++j) e[j] = profile[dist[i + j] - r.inner];
      entries = _mm256_load_si256(reinterpret_cast<const __m256i*>(e));
    }
    const __m256i reach = _mm256_add_epi32(d, entries);
    const __m256i px = _mm256_add_epi32(quotient_65536(_mm256_mullo_epi32(reach, load32(sine + i))), cx);
    const __m256i py = _mm256_add_epi32(quotient_65536(_mm256_mullo_epi32(reach, load32(cosine + i))), cy);
    const __m256i inside = _mm256_and_si256(below(px, w), below(py, h));
    const __m256i own_x = _mm256_add_epi32(_mm256_set1_epi32(begin + i), steps);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(sx + i), _mm256_blendv_epi8(own_x, px, inside));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(sy + i), _mm256_blendv_epi8(row, py, inside));
  }
  wipe_ripple_sources(r, i, sx, sy);
}

}  // namespace

void fill_wipe_avx2(WipeKernelSet& set) {
  set.transpose8x16_16 = transpose8x16_16;
  WipeVector<Avx2>::fill(set);
  set.stretch[0] = stretch32;
  set.stretch[1] = stretch16;
  set.ripple_sources = ripple_sources;
}

}  // namespace nova::graphics::detail
NOVA_TARGET_END()

#else

namespace nova::graphics::detail {
void fill_wipe_avx2(WipeKernelSet&) {}
}  // namespace nova::graphics::detail

#endif
