// The SSE2 kernels of the mask-driven transitions: 16-byte vectors, the
// x86-64 baseline.
#include "graphics/wipe_kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <emmintrin.h>

#include "graphics/wipe_kernels_x86.h"

namespace nova::graphics::detail {
namespace {

struct Sse2 {
  using V = __m128i;
  static constexpr int kBytes = 16;
  static V loadu(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
  static void storeu(void* p, V v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
  static V zero() { return _mm_setzero_si128(); }
  static V set8(int v) { return _mm_set1_epi8(static_cast<char>(v)); }
  static V set16(int v) { return _mm_set1_epi16(static_cast<short>(v)); }
  static V set32(std::uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
  static V and_(V a, V b) { return _mm_and_si128(a, b); }
  static V or_(V a, V b) { return _mm_or_si128(a, b); }
  static V cmpeq8(V a, V b) { return _mm_cmpeq_epi8(a, b); }
  static V cmpeq16(V a, V b) { return _mm_cmpeq_epi16(a, b); }
  static V lo8(V a) { return _mm_unpacklo_epi8(a, zero()); }
  static V hi8(V a) { return _mm_unpackhi_epi8(a, zero()); }
  static V mullo16(V a, V b) { return _mm_mullo_epi16(a, b); }
  static V add16(V a, V b) { return _mm_add_epi16(a, b); }
  static V sub16(V a, V b) { return _mm_sub_epi16(a, b); }
  static V max8u(V a, V b) { return _mm_max_epu8(a, b); }
  static V max16(V a, V b) { return _mm_max_epi16(a, b); }
  static V min16(V a, V b) { return _mm_min_epi16(a, b); }
  static V cmpgt16(V a, V b) { return _mm_cmpgt_epi16(a, b); }
  static V adds8u(V a, V b) { return _mm_adds_epu8(a, b); }
  static V subs8u(V a, V b) { return _mm_subs_epu8(a, b); }
  static V adds16u(V a, V b) { return _mm_adds_epu16(a, b); }
  static V subs16u(V a, V b) { return _mm_subs_epu16(a, b); }
  template <int N>
  static V srl16(V a) {
    return _mm_srli_epi16(a, N);
  }
  template <int N>
  static V sll16(V a) {
    return _mm_slli_epi16(a, N);
  }
  static V pack16(V a, V b) { return _mm_packus_epi16(a, b); }
  static V unpacklo16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
  static V unpackhi16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
  static V unpacklo32(V a, V b) { return _mm_unpacklo_epi32(a, b); }
  static V unpackhi32(V a, V b) { return _mm_unpackhi_epi32(a, b); }
  static V unpacklo64(V a, V b) { return _mm_unpacklo_epi64(a, b); }
  static V unpackhi64(V a, V b) { return _mm_unpackhi_epi64(a, b); }
  // Lanes of `a` where `m` is set, of `b` elsewhere.
  // Whether any bit is set.
  static bool any(V a) { return _mm_movemask_epi8(a) != 0; }
  static V select(V m, V a, V b) { return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b)); }
  // Four mask bytes, each spread over the four bytes of its pixel.
  static V mask_dwords(const std::uint8_t* m) {
    int v;
    std::memcpy(&v, m, 4);
    V x = _mm_cvtsi32_si128(v);
    x = _mm_unpacklo_epi8(x, x);
    return _mm_unpacklo_epi16(x, x);
  }
  // Four 16-bit values, each in both halves of its 32-bit lane.
  static V thresholds_dwords(const std::int16_t* t) {
    const V x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t));
    return _mm_unpacklo_epi16(x, x);
  }
  // Eight mask bytes as 16-bit lanes.
  static V mask_words(const std::uint8_t* m) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m)), zero());
  }
};

__m128i load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void store(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Four rows of four 32-bit pixels, transposed in place.
void transpose4x4(__m128i& r0, __m128i& r1, __m128i& r2, __m128i& r3) {
  const __m128i t0 = _mm_unpacklo_epi32(r0, r1), t1 = _mm_unpacklo_epi32(r2, r3);
  const __m128i t2 = _mm_unpackhi_epi32(r0, r1), t3 = _mm_unpackhi_epi32(r2, r3);
  r0 = _mm_unpacklo_epi64(t0, t1);
  r1 = _mm_unpackhi_epi64(t0, t1);
  r2 = _mm_unpacklo_epi64(t2, t3);
  r3 = _mm_unpackhi_epi64(t2, t3);
}

// 32-bit pixels: the four 4 × 4 quarters, each transposed into the
// mirrored quarter.
void transpose8_32(const std::uint8_t* src, std::ptrdiff_t sp, std::uint8_t* dst, std::ptrdiff_t dp, int blocks,
                   std::ptrdiff_t src_next, std::ptrdiff_t dst_next) {
  for (int b = 0; b < blocks; ++b, src += src_next, dst += dst_next) {
    for (int qi = 0; qi < 2; ++qi) {
      for (int qj = 0; qj < 2; ++qj) {
        const std::uint8_t* s = src + sp * 4 * qi + 16 * qj;
        __m128i r0 = load(s), r1 = load(s + sp), r2 = load(s + 2 * sp), r3 = load(s + 3 * sp);
        transpose4x4(r0, r1, r2, r3);
        std::uint8_t* d = dst + dp * 4 * qj + 16 * qi;
        store(d, r0);
        store(d + dp, r1);
        store(d + 2 * dp, r2);
        store(d + 3 * dp, r3);
      }
    }
  }
}

// 16-bit pixels: eight rows of one vector.
void transpose8_16(const std::uint8_t* src, std::ptrdiff_t sp, std::uint8_t* dst, std::ptrdiff_t dp, int blocks,
                   std::ptrdiff_t src_next, std::ptrdiff_t dst_next) {
  for (int b = 0; b < blocks; ++b, src += src_next, dst += dst_next) {
    __m128i r[8];
    for (int i = 0; i < 8; ++i) r[i] = load(src + sp * i);
    WipeVector<Sse2>::transpose_words(r);
    for (int i = 0; i < 8; ++i) store(dst + dp * i, r[i]);
  }
}

// A squeeze of 16-bit pixels, eight samples a turn inserted into two
// vectors (four each, so that neither waits long on the other's inserts)
// and stored at once: without byte shuffles the samples cannot be picked
// from a window, but the inserts take about two thirds of the
// instructions of samples joined in general registers.
void stretch16(std::uint8_t* to_bytes, const std::uint8_t* from_bytes, int count, std::int64_t step, int /*length*/) {
  auto* to = reinterpret_cast<std::uint16_t*>(to_bytes);
  const auto* from = reinterpret_cast<const std::uint16_t*>(from_bytes);
  const std::int64_t s1 = step, s2 = 2 * step, s3 = 3 * step, s4 = 4 * step, s5 = 5 * step, s6 = 6 * step,
                     s7 = 7 * step;
  std::int64_t u = 0;
  int j = 0;
  for (; j + 8 <= count; j += 8, u += 8 * step) {
    __m128i a = _mm_cvtsi32_si128(from[u >> 16]);
    __m128i b = _mm_insert_epi16(_mm_setzero_si128(), from[(u + s4) >> 16], 4);
    a = _mm_insert_epi16(a, from[(u + s1) >> 16], 1);
    b = _mm_insert_epi16(b, from[(u + s5) >> 16], 5);
    a = _mm_insert_epi16(a, from[(u + s2) >> 16], 2);
    b = _mm_insert_epi16(b, from[(u + s6) >> 16], 6);
    a = _mm_insert_epi16(a, from[(u + s3) >> 16], 3);
    b = _mm_insert_epi16(b, from[(u + s7) >> 16], 7);
    store(reinterpret_cast<std::uint8_t*>(to + j), _mm_or_si128(a, b));
  }
  wipe_stretch_samples(to, from, j, count, step);
}

}  // namespace

void fill_wipe_sse2(WipeKernelSet& set) {
  WipeVector<Sse2>::fill(set);
  set.transpose8[0] = transpose8_32;
  set.transpose8[1] = transpose8_16;
  set.stretch[1] = stretch16;
}

}  // namespace nova::graphics::detail

#else

namespace nova::graphics::detail {
void fill_wipe_sse2(WipeKernelSet&) {}
}  // namespace nova::graphics::detail

#endif
