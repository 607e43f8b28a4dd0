// The AVX2 path: 32-byte vectors. This file alone is compiled for AVX2 and
// is only entered when the processor reports it.
#include "graphics/kernels.h"

#if defined(__x86_64__) && defined(__AVX2__)

#include <immintrin.h>

#include <algorithm>
#include <cstdlib>

#include "graphics/kernels_x86.h"

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
  static V xor_(V a, V b) { return _mm256_xor_si256(a, b); }
  static V cmpeq16(V a, V b) { return _mm256_cmpeq_epi16(a, b); }
  static V cmpeq32(V a, V b) { return _mm256_cmpeq_epi32(a, b); }
  // Unpacking and packing work within 128-bit halves; every operand goes
  // through the same unpack, so the pixels stay matched.
  static V lo8(V a) { return _mm256_unpacklo_epi8(a, zero()); }
  static V hi8(V a) { return _mm256_unpackhi_epi8(a, zero()); }
  static V mullo16(V a, V b) { return _mm256_mullo_epi16(a, b); }
  static V add16(V a, V b) { return _mm256_add_epi16(a, b); }
  template <int N>
  static V srl16(V a) { return _mm256_srli_epi16(a, N); }
  template <int N>
  static V sll16(V a) { return _mm256_slli_epi16(a, N); }
  static V pack16(V a, V b) { return _mm256_packus_epi16(a, b); }
  static V adds8u(V a, V b) { return _mm256_adds_epu8(a, b); }
  static V subs8u(V a, V b) { return _mm256_subs_epu8(a, b); }
  static V min16(V a, V b) { return _mm256_min_epi16(a, b); }
  static V select(V m, V a, V b) { return _mm256_blendv_epi8(b, a, m); }
  static V mask_dwords(const std::uint8_t* m) {
    const V wide = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m)));
    const V spread = _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12, 0, 0, 0, 0, 4, 4, 4, 4, 8, 8,
                                      8, 8, 12, 12, 12, 12);
    return _mm256_shuffle_epi8(wide, spread);
  }
  static V mask_words(const std::uint8_t* m) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m)));
  }
};

// --- Gathers ---------------------------------------------------------------------
//
// Eight samples at a time with vpgatherdd: each reads four bytes at the
// sample's address, so a group whose furthest read would pass the end of the
// source takes the per-pixel form.

// Keeps the low `Bytes` bytes of each of the eight gathered dwords and
// stores them packed.
template <int Bytes>
inline void store_packed(std::uint8_t* out, __m256i v) {
  if constexpr (Bytes == 4) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v);
  } else if constexpr (Bytes == 2) {
    const __m256i pick = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 4, 5, 8, 9,
                                          12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, pick), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
  } else {
    const __m256i pick = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 4, 8, 12, -1,
                                          -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, pick), _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
  }
}

template <int Bytes>
void gather_table(const GatherJob& g) {
  if (g.count <= 0) return;
  // The columns run one way, so the furthest read is at one of the ends.
  const std::ptrdiff_t far = std::max(g.cols[0], g.cols[g.count - 1]);
  if (far * Bytes > g.end - g.row - 4) {
    gather_table_range<Bytes>(g, 0, g.count);
    return;
  }
  int i = 0;
  for (; i + 8 <= g.count; i += 8) {
    const __m256i idx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g.cols + i));
    const __m256i v = _mm256_i32gather_epi32(reinterpret_cast<const int*>(g.row), idx, Bytes);
    store_packed<Bytes>(g.out + static_cast<std::ptrdiff_t>(i) * Bytes, v);
  }
  gather_table_range<Bytes>(g, i, g.count);
}

template <int Bytes>
void gather_affine(const GatherJob& g) {
  constexpr std::int64_t kLimit = std::int64_t{1} << 30;
  const std::int64_t u_last = g.u0 + (g.count - 1) * g.du, v_last = g.v0 + (g.count - 1) * g.dv;
  const bool fits = g.count >= 8 && std::llabs(g.u0) < kLimit && std::llabs(u_last) < kLimit &&
                    std::llabs(g.v0) < kLimit && std::llabs(v_last) < kLimit && std::llabs(g.du) < kLimit / 8 &&
                    std::llabs(g.dv) < kLimit / 8;
  // x and y each run one way along the row, so the furthest read is bounded
  // by their ends.
  auto end_x = [&](std::int64_t u) { return g.mirror_h ? g.mirror_x - (u >> 16) : u >> 16; };
  auto end_y = [&](std::int64_t v) { return g.mirror_v ? g.mirror_y - (v >> 16) : v >> 16; };
  const std::int64_t far_x = std::max(end_x(g.u0), end_x(u_last));
  const std::int64_t far_y = g.pitch >= 0 ? std::max(end_y(g.v0), end_y(v_last)) : std::min(end_y(g.v0), end_y(v_last));
  if (!fits || far_y * g.pitch + far_x * Bytes > g.end - g.base - 4) {
    gather_affine_range<Bytes>(g, 0, g.count);
    return;
  }
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i du = _mm256_set1_epi32(static_cast<int>(g.du)), dv = _mm256_set1_epi32(static_cast<int>(g.dv));
  __m256i u = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(g.u0)), _mm256_mullo_epi32(lanes, du));
  __m256i v = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(g.v0)), _mm256_mullo_epi32(lanes, dv));
  const __m256i du8 = _mm256_slli_epi32(du, 3), dv8 = _mm256_slli_epi32(dv, 3);
  const __m256i mx = _mm256_set1_epi32(g.mirror_x), my = _mm256_set1_epi32(g.mirror_y);
  const __m256i pitch = _mm256_set1_epi32(g.pitch);
  int i = 0;
  for (; i + 8 <= g.count; i += 8, u = _mm256_add_epi32(u, du8), v = _mm256_add_epi32(v, dv8)) {
    __m256i x = _mm256_srai_epi32(u, 16), y = _mm256_srai_epi32(v, 16);
    if (g.mirror_h) x = _mm256_sub_epi32(mx, x);
    if (g.mirror_v) y = _mm256_sub_epi32(my, y);
    const __m256i offset = _mm256_add_epi32(_mm256_mullo_epi32(y, pitch), _mm256_slli_epi32(x, Bytes == 4 ? 2 : Bytes == 2 ? 1 : 0));
    const __m256i px = _mm256_i32gather_epi32(reinterpret_cast<const int*>(g.base), offset, 1);
    store_packed<Bytes>(g.out + static_cast<std::ptrdiff_t>(i) * Bytes, px);
  }
  gather_affine_range<Bytes>(g, i, g.count);
}

}  // namespace

void fill_avx2_kernels(KernelSet& set) {
  fill_vector_kernels<Avx2>(set);
  set.gather_table[0] = gather_table<1>;
  set.gather_table[1] = gather_table<2>;
  set.gather_table[2] = gather_table<4>;
  set.gather_affine[0] = gather_affine<1>;
  set.gather_affine[1] = gather_affine<2>;
  set.gather_affine[2] = gather_affine<4>;
}

}  // namespace nova::graphics::detail

#else

namespace nova::graphics::detail {
void fill_avx2_kernels(KernelSet&) {}
}  // namespace nova::graphics::detail

#endif
