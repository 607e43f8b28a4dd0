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

}  // namespace

CharSpan count_avx2(std::string_view text, std::size_t& at, std::size_t& chars, bool& carry, std::size_t to) {
  return count_from<lead_bits64_avx2>(text, at, chars, carry, to);
}
std::size_t skip_avx2(std::string_view text, std::size_t from, std::size_t skip) {
  return skip_from<lead_bits64_avx2>(text, from, skip);
}
std::uint64_t avx2_kernel(const std::uint8_t* p) { return lead_bits64_avx2(p); }

}  // namespace nova::expr::scan
NOVA_TARGET_END()
#endif
