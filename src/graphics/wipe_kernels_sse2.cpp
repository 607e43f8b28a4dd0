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
  // Lanes of `a` where `m` is set, of `b` elsewhere.
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

}  // namespace

void fill_wipe_sse2(WipeKernelSet& set) { WipeVector<Sse2>::fill(set); }

}  // namespace nova::graphics::detail

#else

namespace nova::graphics::detail {
void fill_wipe_sse2(WipeKernelSet&) {}
}  // namespace nova::graphics::detail

#endif
