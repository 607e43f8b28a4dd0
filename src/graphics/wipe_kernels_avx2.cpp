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

}  // namespace

void fill_wipe_avx2(WipeKernelSet& set) { WipeVector<Avx2>::fill(set); }

}  // namespace nova::graphics::detail
NOVA_TARGET_END()

#else

namespace nova::graphics::detail {
void fill_wipe_avx2(WipeKernelSet&) {}
}  // namespace nova::graphics::detail

#endif
