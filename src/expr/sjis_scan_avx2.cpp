// The block scan with 32-byte vectors, entered only when the processor
// reports AVX2 (and the bit instructions that come with it).
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/cpu_target.h"
#include "core/sjis.h"
#include "expr/sjis_scan.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

NOVA_TARGET_BEGIN("avx2,bmi,bmi2,popcnt")
#include "expr/sjis_scan_blocks.h"

namespace nova::expr::scan {
namespace {

// Lead-range bytes as bits, 32 at a time (as the SSE2 form).
NOVA_INLINE std::uint64_t lead_bits64_avx2(const std::uint8_t* p) {
  const __m256i minus1 = _mm256_set1_epi8(-1), minus60 = _mm256_set1_epi8(-0x60);
  const __m256i top1 = _mm256_set1_epi8(-97), top2 = _mm256_set1_epi8(-99);
  std::uint64_t m = 0;
  for (int i = 0; i < 2; ++i) {
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * i));
    const __m256i r1 = _mm256_cmpgt_epi8(top1, _mm256_add_epi8(b, minus1));
    const __m256i r2 = _mm256_cmpgt_epi8(top2, _mm256_add_epi8(b, minus60));
    m |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(r1, r2))))
         << (32 * i);
  }
  return m;
}

NOVA_INLINE __m256i lead_flags_avx2(__m256i b) {
  return _mm256_cmpgt_epi8(_mm256_set1_epi8(-68), _mm256_add_epi8(_mm256_xor_si256(b, _mm256_set1_epi8(0x20)),
                                                                  _mm256_set1_epi8(static_cast<char>(0xDF))));
}

// The pair flags as the SSE2 form makes them; the 256-bit pack works
// within each half, so the quadwords are put back in order before the
// bytes' top bits are taken.
NOVA_INLINE PairFlags pair_flags_avx2(const std::uint8_t* p) {
  PairFlags f;
  for (int i = 0; i < 2; ++i) {
    const __m256i c0 = lead_flags_avx2(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 64 * i)));
    const __m256i c1 = lead_flags_avx2(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 64 * i + 32)));
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi16(c0, c1), 0xD8);
    f.second |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(packed))) << (32 * i);
    f.first |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_add_epi8(packed, packed))))
               << (32 * i);
  }
  return f;
}

template <bool Two>
NOVA_INLINE bool has_pair_avx2(const std::uint8_t* p, PairNeedle n) {
  __m256i hits = _mm256_setzero_si256();
  if constexpr (Two) {
    const __m256i pair = _mm256_set1_epi16(static_cast<short>(n.a | (n.b << 8)));
    for (int i = 0; i < 4; ++i) {
      const auto* q = reinterpret_cast<const __m256i*>(p + 32 * i);
      const auto* q1 = reinterpret_cast<const __m256i*>(p + 32 * i + 1);
      hits = _mm256_or_si256(hits, _mm256_or_si256(_mm256_cmpeq_epi16(_mm256_loadu_si256(q), pair),
                                                   _mm256_cmpeq_epi16(_mm256_loadu_si256(q1), pair)));
    }
  } else {
    // Compared with bit 5 flipped, as the lead-range test has them, so the
    // compiler makes the flip once for both and the load goes into it.
    const __m256i a = _mm256_set1_epi8(static_cast<char>(n.a ^ 0x20));
    for (int i = 0; i < 4; ++i) {
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * i));
      hits = _mm256_or_si256(hits, _mm256_cmpeq_epi8(_mm256_xor_si256(b, _mm256_set1_epi8(0x20)), a));
    }
  }
  return !_mm256_testz_si256(hits, hits);
}

}  // namespace

CharSpan count_avx2(std::string_view text, std::size_t& at, std::size_t& chars, bool& carry, std::size_t to) {
  return count_pairs_from<pair_flags_avx2, lead_bits64_avx2>(text, at, chars, carry, to);
}
std::size_t skip_avx2(std::string_view text, std::size_t from, std::size_t skip, bool carry) {
  return skip_pairs_from<pair_flags_avx2, lead_bits64_avx2>(text, from, skip, carry);
}
CharFind find_avx2(std::string_view text, std::string_view part) {
  return part.size() > 1 ? find_pairs<pair_flags_avx2, has_pair_avx2<true>, has_pair_avx2<false>>(text, part)
                         : find_pairs<pair_flags_avx2, has_pair_avx2<false>>(text, part);
}
std::uint64_t avx2_kernel(const std::uint8_t* p) { return lead_bits64_avx2(p); }

}  // namespace nova::expr::scan
NOVA_TARGET_END()
#endif
