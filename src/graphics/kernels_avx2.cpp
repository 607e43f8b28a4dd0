// The AVX2 path: 32-byte vectors. Only this file's own functions are built
// for AVX2 (see core/cpu_target.h), and they are only entered when the
// processor reports it.
#include "graphics/kernels.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/cpu_target.h"
#include "graphics/kernels_scalar.h"

NOVA_TARGET_BEGIN("avx2")
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
  // ~a & b
  static V andnot(V a, V b) { return _mm256_andnot_si256(a, b); }
  static V cmpeq16(V a, V b) { return _mm256_cmpeq_epi16(a, b); }
  static V cmpeq32(V a, V b) { return _mm256_cmpeq_epi32(a, b); }
  static V mullo16(V a, V b) { return _mm256_mullo_epi16(a, b); }
  static V add16(V a, V b) { return _mm256_add_epi16(a, b); }
  static V sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
  template <int N>
  static V srl16(V a) {
    return _mm256_srli_epi16(a, N);
  }
  template <int N>
  static V sll16(V a) {
    return _mm256_slli_epi16(a, N);
  }
  static V adds8u(V a, V b) { return _mm256_adds_epu8(a, b); }
  static V subs8u(V a, V b) { return _mm256_subs_epu8(a, b); }
  static V adds16u(V a, V b) { return _mm256_adds_epu16(a, b); }
  static V subs16u(V a, V b) { return _mm256_subs_epu16(a, b); }
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

// --- Column gathers ----------------------------------------------------------------
//
// Blocks of a column plan: 32-bit pixels load eight source pixels and move
// them with vpermd; 16-bit pixels load eight and 8-bit pixels sixteen, copy
// the load into both 128-bit halves and move them with vpshufb (which works
// within halves). Each block stores one whole vector: 8, 16 or 32 outputs,
// of which it yields `take`; the next block (or the per-pixel tail) writes
// over the rest. No gather instruction is used: their speed differs widely
// between processors and microcode versions.

template <int Bytes>
struct BlockShape {
  static constexpr int kLoad = Bytes == 4 ? 32 : 16;  // bytes read per block
  static constexpr int kWindow = kLoad / Bytes;       // source pixels a block can reach
  static constexpr int kOutputs = 32 / Bytes;         // outputs a block stores
};

template <int Bytes>
void plan_columns(ColumnPlan& plan) {
  using Shape = BlockShape<Bytes>;
  plan.blocks.clear();
  plan.controls.clear();
  plan.planned = 0;
  plan.reach = 0;
  const int* cols = plan.cols;
  int i = 0;
  while (i + Shape::kOutputs <= plan.count) {
    // As many outputs as fit the window, in any order of columns.
    int lo = cols[i], hi = cols[i], take = 0;
    while (take < Shape::kOutputs) {
      const int c = cols[i + take];
      const int nlo = std::min(lo, c), nhi = std::max(hi, c);
      if (nhi - nlo >= Shape::kWindow) break;
      lo = nlo;
      hi = nhi;
      ++take;
    }
    ColumnPlan::Block b;
    b.offset = lo * Bytes;
    b.take = take;
    plan.blocks.push_back(b);
    std::uint8_t control[32] = {};
    for (int t = 0; t < take; ++t) {
      const int d = cols[i + t] - lo;
      if constexpr (Bytes == 4) {
        std::memcpy(control + 4 * t, &d, 4);
      } else {
        for (int k = 0; k < Bytes; ++k) control[Bytes * t + k] = static_cast<std::uint8_t>(d * Bytes + k);
      }
    }
    plan.controls.insert(plan.controls.end(), control, control + 32);
    plan.reach = std::max<std::ptrdiff_t>(plan.reach, std::ptrdiff_t{b.offset} + Shape::kLoad);
    i += take;
  }
  plan.planned = i;
  // Blocks that yield under a quarter of their store cost more than the
  // column-by-column form: strong reductions go without them.
  if (!plan.blocks.empty() && plan.planned < static_cast<int>(plan.blocks.size()) * Shape::kOutputs / 4) {
    plan.blocks.clear();
    plan.controls.clear();
    plan.planned = 0;
    plan.reach = 0;
  }
}

template <int Bytes>
inline __m256i block_pixels(const std::uint8_t* from, const std::uint8_t* control) {
  const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(control));
  if constexpr (Bytes == 4) {
    return _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)), c);
  } else {
    return _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from))), c);
  }
}

template <int Bytes>
void gather_table(const GatherJob& g) {
  using Shape = BlockShape<Bytes>;
  const ColumnPlan& p = *g.plan;
  const std::uint8_t* const row = g.row;
  const std::uint8_t* control = p.controls.data();
  std::uint8_t* o = g.out;
  const std::ptrdiff_t room = g.end - row;
  if (p.reach <= room) {
    for (const ColumnPlan::Block& b : p.blocks) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), block_pixels<Bytes>(row + b.offset, control));
      o += static_cast<std::ptrdiff_t>(b.take) * Bytes;
      control += 32;
    }
  } else {
    // The last rows of a source: blocks whose load would pass its end take
    // the per-pixel form.
    int at = 0;
    for (const ColumnPlan::Block& b : p.blocks) {
      if (std::ptrdiff_t{b.offset} + Shape::kLoad <= room) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), block_pixels<Bytes>(row + b.offset, control));
      } else {
        gather_table_range<Bytes>(g, at, at + b.take);
      }
      at += b.take;
      o += static_cast<std::ptrdiff_t>(b.take) * Bytes;
      control += 32;
    }
  }
  gather_table_packed<Bytes>(g, p.planned, p.count);
}

}  // namespace

void fill_avx2_kernels(KernelSet& set) {
  fill_vector_kernels<Avx2>(set);
  set.plan_columns[0] = plan_columns<1>;
  set.plan_columns[1] = plan_columns<2>;
  set.plan_columns[2] = plan_columns<4>;
  set.gather_table[0] = gather_table<1>;
  set.gather_table[1] = gather_table<2>;
  set.gather_table[2] = gather_table<4>;
}

}  // namespace nova::graphics::detail
NOVA_TARGET_END()

#else

namespace nova::graphics::detail {
void fill_avx2_kernels(KernelSet&) {}
}  // namespace nova::graphics::detail

#endif
