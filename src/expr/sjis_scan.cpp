#include "expr/sjis_scan.h"

#include <bit>
#include <cstring>

#include "core/sjis.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace nova::expr {
namespace {

constexpr std::size_t kBlock = 64;
constexpr std::uint64_t kEvenBits = 0x5555555555555555ull;

#if defined(__SSE2__)
// Lead-range bytes (0x81-0x9F, 0xE0-0xFC) of 16 bytes as 16 bits. Each range
// test is an unsigned "b - low < width", done as a signed compare after
// flipping the top bit.
inline std::uint64_t lead_bits16(const std::uint8_t* p) {
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i r1 = _mm_xor_si128(_mm_sub_epi8(b, _mm_set1_epi8(static_cast<char>(0x81))), flip);
  const __m128i r2 = _mm_xor_si128(_mm_sub_epi8(b, _mm_set1_epi8(static_cast<char>(0xE0))), flip);
  const __m128i in1 = _mm_cmplt_epi8(r1, _mm_set1_epi8(static_cast<char>(0x80 + 0x1F)));
  const __m128i in2 = _mm_cmplt_epi8(r2, _mm_set1_epi8(static_cast<char>(0x80 + 0x1D)));
  return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(in1, in2)));
}
inline std::uint64_t lead_bits64(const std::uint8_t* p) {
  return lead_bits16(p) | lead_bits16(p + 16) << 16 | lead_bits16(p + 32) << 32 | lead_bits16(p + 48) << 48;
}
#else
inline std::uint64_t lead_bits64(const std::uint8_t* p) {
  std::uint64_t m = 0;
  for (std::size_t i = 0; i < kBlock; ++i) m |= static_cast<std::uint64_t>(core::is_lead_byte(p[i])) << i;
  return m;
}
#endif

// The lead-range mask of the 64 bytes at `at`; bytes past the end read as
// 0, which is no lead.
std::uint64_t lead_range(std::string_view text, std::size_t at) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data()) + at;
  if (text.size() - at >= kBlock) return lead_bits64(p);
  std::uint8_t tail[kBlock] = {};
  std::memcpy(tail, p, text.size() - at);
  return lead_bits64(tail);
}

// Character starts of a block given its lead-range mask and whether its
// first byte is a trail byte; `carry` becomes whether the next block's first
// byte is one. A lead-range run that begins at a character start has leads
// at its even offsets: adding the run's first bit carries through the runs
// that begin at even positions and clears them, which splits the runs by
// the parity of their start.
std::uint64_t starts_of(std::uint64_t lead_range, bool& carry) {
  const std::uint64_t first_trail = carry ? 1u : 0u;
  const std::uint64_t l = lead_range & ~first_trail;
  const std::uint64_t run_starts = l & ~(l << 1);
  const std::uint64_t even_runs = l & ~(l + (run_starts & kEvenBits));
  const std::uint64_t odd_runs = l & ~even_runs;
  const std::uint64_t leads = (even_runs & kEvenBits) | (odd_runs & ~kEvenBits);
  carry = (leads >> 63) != 0;
  return ~((leads << 1) | first_trail);
}

// The block's starts limited to the bytes of the text.
std::uint64_t starts_in_text(std::string_view text, std::size_t at, bool& carry) {
  std::uint64_t s = starts_of(lead_range(text, at), carry);
  const std::size_t left = text.size() - at;
  if (left < kBlock) s &= (std::uint64_t{1} << left) - 1;
  return s;
}

// The position of the n-th set bit (0-based) of `bits`, which has more
// than n.
unsigned nth_bit(std::uint64_t bits, std::size_t n) {
  for (; n > 0; --n) bits &= bits - 1;
  return static_cast<unsigned>(std::countr_zero(bits));
}

}  // namespace

CharSpan count_chars(std::string_view text, std::size_t from, std::size_t to) {
  CharSpan r;
  if (to > text.size()) to = text.size();
  bool carry = false;
  std::size_t at = from;
  for (; at + kBlock <= to; at += kBlock)
    r.chars += static_cast<std::size_t>(std::popcount(starts_in_text(text, at, carry)));
  if (at >= text.size()) {
    r.to_is_start = !carry || to == text.size();
    return r;
  }
  const std::uint64_t s = starts_in_text(text, at, carry);
  const std::size_t off = to - at;
  r.chars += static_cast<std::size_t>(std::popcount(s & ((std::uint64_t{1} << off) - 1)));
  r.to_is_start = to == text.size() || ((s >> off) & 1) != 0;
  return r;
}

std::size_t skip_chars(std::string_view text, std::size_t from, std::size_t skip) {
  bool carry = false;
  for (std::size_t at = from; at < text.size(); at += kBlock) {
    const std::uint64_t s = starts_in_text(text, at, carry);
    const auto n = static_cast<std::size_t>(std::popcount(s));
    if (skip < n) return at + nth_bit(s, skip);
    skip -= n;
  }
  return text.size();
}

CharSpan CharCursor::before(std::size_t at) {
  if (at > m_text.size()) at = m_text.size();
  while (m_block + kBlock <= at) {
    m_chars += static_cast<std::size_t>(std::popcount(starts_in_text(m_text, m_block, m_carry)));
    m_block += kBlock;
  }
  if (m_block >= m_text.size()) return {m_chars, !m_carry || at == m_text.size()};
  bool carry = m_carry;
  const std::uint64_t s = starts_in_text(m_text, m_block, carry);
  const std::size_t off = at - m_block;
  return {m_chars + static_cast<std::size_t>(std::popcount(s & ((std::uint64_t{1} << off) - 1))),
          at == m_text.size() || ((s >> off) & 1) != 0};
}

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
