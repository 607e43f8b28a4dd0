#include "expr/sjis_scan.h"

#include "core/sjis.h"
#include "expr/sjis_scan_blocks.h"

namespace nova::expr {
namespace {

using scan::count_from;
using scan::skip_from;

#if NOVA_SJIS_X86
bool has_avx512() {
  static const bool avx512 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vbmi") &&
           __builtin_cpu_supports("avx512vpopcntdq") && __builtin_cpu_supports("gfni") &&
           __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
  }();
  return avx512;
}

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
  if (has_avx512()) return scan::count_avx512(text, at, chars, carry, to);
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
  if (has_avx512()) return scan::skip_avx512(text, from, skip);
  if (has_avx2()) return scan::skip_avx2(text, from, skip);
  return skip_from<scan::lead_bits64_sse2>(text, from, skip);
#else
  return skip_from<scan::lead_bits64_portable>(text, from, skip);
#endif
}

namespace {
// Copying as two passes: the skip, then one append of what it passed over.
template <std::size_t (*Skip)(std::string_view, std::size_t, std::size_t)>
std::size_t skip_then_copy(std::string_view text, std::size_t from, std::size_t skip, std::string& out) {
  const std::size_t end = Skip(text, from, skip);
  out.append(text.substr(from, end - from));
  return end;
}
}  // namespace

std::size_t copy_chars(std::string_view text, std::size_t from, std::size_t skip, std::string& out) {
#if NOVA_SJIS_X86
  if (has_avx512()) return scan::copy_avx512(text, from, skip, out);
#endif
  return skip_then_copy<skip_chars>(text, from, skip, out);
}

CharSpan CharCursor::before(std::size_t at) {
  if (at > m_text.size()) at = m_text.size();
  return count(m_text, m_block, m_chars, m_carry, at);
}

std::size_t CharCursor::count_ahead_without(char byte) {
#if NOVA_SJIS_X86
  if (has_avx512()) scan::count_without_avx512(m_text, m_block, m_chars, m_carry, m_text.size(), byte);
#else
  (void)byte;
#endif
  return m_block;
}

namespace detail {
namespace {
std::uint64_t portable_kernel(const std::uint8_t* p) { return scan::lead_bits64_portable(p); }
CharSpan portable_count(std::string_view text, std::size_t& at, std::size_t& chars, bool& carry, std::size_t to) {
  return count_from<scan::lead_bits64_portable>(text, at, chars, carry, to);
}
std::size_t portable_skip(std::string_view text, std::size_t from, std::size_t skip) {
  return skip_from<scan::lead_bits64_portable>(text, from, skip);
}
#if NOVA_SJIS_X86
std::uint64_t sse2_kernel(const std::uint8_t* p) { return scan::lead_bits64_sse2(p); }
CharSpan sse2_count(std::string_view text, std::size_t& at, std::size_t& chars, bool& carry, std::size_t to) {
  return count_from<scan::lead_bits64_sse2>(text, at, chars, carry, to);
}
std::size_t sse2_skip(std::string_view text, std::size_t from, std::size_t skip) {
  return skip_from<scan::lead_bits64_sse2>(text, from, skip);
}
#endif
}  // namespace

std::vector<LeadRangeKernel> lead_range_kernels() {
  std::vector<LeadRangeKernel> k = {{"portable", portable_kernel, portable_count, portable_skip, skip_then_copy<portable_skip>}};
#if NOVA_SJIS_X86
  k.push_back({"sse2", sse2_kernel, sse2_count, sse2_skip, skip_then_copy<sse2_skip>});
  if (has_avx2()) k.push_back({"avx2", scan::avx2_kernel, scan::count_avx2, scan::skip_avx2, skip_then_copy<scan::skip_avx2>});
  if (has_avx512()) {
    k.push_back({"avx512", scan::avx512_kernel, scan::count_avx512, scan::skip_avx512, scan::copy_avx512});
    k.push_back({"avx512 chunk", scan::avx512_chunk_kernel, scan::count_avx512, scan::skip_avx512, scan::copy_avx512});
  }
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
