#include "expr/sjis_scan.h"

#include "core/sjis.h"
#include "expr/sjis_scan_blocks.h"

namespace nova::expr {
namespace {

using scan::count_from;
using scan::skip_from;

#if NOVA_SJIS_X86
bool has_avx2() {
  static const bool avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("popcnt");
  }();
  return avx2;
}
#endif

CharSpan count(std::string_view text, std::size_t& at, std::size_t& chars, bool& carry, std::size_t to) {
#if NOVA_SJIS_X86
  if (has_avx2()) return scan::count_avx2(text, at, chars, carry, to);
  return count_from<scan::lead_bits64_sse2>(text, at, chars, carry, to);
#else
  return count_from<scan::lead_bits64_portable>(text, at, chars, carry, to);
#endif
}

}  // namespace

CharSpan count_chars(std::string_view text, std::size_t from, std::size_t to) {
  if (to > text.size()) to = text.size();
  std::size_t at = from, chars = 0;
  bool carry = false;
  return count(text, at, chars, carry, to);
}

std::size_t skip_chars(std::string_view text, std::size_t from, std::size_t skip) {
#if NOVA_SJIS_X86
  if (has_avx2()) return scan::skip_avx2(text, from, skip);
  return skip_from<scan::lead_bits64_sse2>(text, from, skip);
#else
  return skip_from<scan::lead_bits64_portable>(text, from, skip);
#endif
}

CharSpan CharCursor::before(std::size_t at) {
  if (at > m_text.size()) at = m_text.size();
  return count(m_text, m_block, m_chars, m_carry, at);
}

namespace detail {
namespace {
std::uint64_t portable_kernel(const std::uint8_t* p) { return scan::lead_bits64_portable(p); }
#if NOVA_SJIS_X86
std::uint64_t sse2_kernel(const std::uint8_t* p) { return scan::lead_bits64_sse2(p); }
#endif
}  // namespace

std::vector<LeadRangeKernel> lead_range_kernels() {
  std::vector<LeadRangeKernel> k = {{"portable", portable_kernel}};
#if NOVA_SJIS_X86
  k.push_back({"sse2", sse2_kernel});
  if (has_avx2()) k.push_back({"avx2", scan::avx2_kernel});
#endif
  return k;
}
}  // namespace detail

namespace reference {

CharSpan count_chars(std::string_view text, std::size_t from, std::size_t to) {
  if (to > text.size()) to = text.size();
  CharSpan r;
  std::size_t pos = from;
  for (; pos < to; pos += core::char_length(text, pos)) ++r.chars;
  r.to_is_start = pos == to;
  return r;
}

std::size_t skip_chars(std::string_view text, std::size_t from, std::size_t skip) {
  std::size_t pos = from;
  for (; skip > 0 && pos < text.size(); --skip) pos += core::char_length(text, pos);
  return pos < text.size() ? pos : text.size();
}

}  // namespace reference
}  // namespace nova::expr
