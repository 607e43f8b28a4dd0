// The block scan behind sjis_scan.h, shared by the file built for every
// x86-64 (SSE2) and the one built with AVX2. Private to expr.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/sjis.h"
#include "expr/sjis_scan.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define NOVA_SJIS_X86 1
#endif

namespace nova::expr::scan {

// Internal to each file that includes it: the AVX2 file compiles these with
// other instructions, and no copy may stand in for another's.
namespace {

constexpr std::size_t kBlock = 64;
constexpr std::uint64_t kEvenBits = 0x5555555555555555ull;

#define NOVA_INLINE inline __attribute__((always_inline))

NOVA_INLINE std::uint64_t lead_bits64_portable(const std::uint8_t* p) {
  std::uint64_t m = 0;
  for (std::size_t i = 0; i < kBlock; ++i) m |= static_cast<std::uint64_t>(core::is_lead_byte(p[i])) << i;
  return m;
}

#if NOVA_SJIS_X86
// Lead-range bytes (0x81-0x9F, 0xE0-0xFC) as bits. Read as signed bytes the
// ranges are -127..-97 and -32..-4, so two pairs of signed compares test
// them.
NOVA_INLINE std::uint64_t lead_bits64_sse2(const std::uint8_t* p) {
  std::uint64_t m = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const __m128i r1 = _mm_and_si128(_mm_cmpgt_epi8(b, _mm_set1_epi8(-128)), _mm_cmplt_epi8(b, _mm_set1_epi8(-96)));
    const __m128i r2 = _mm_and_si128(_mm_cmpgt_epi8(b, _mm_set1_epi8(-33)), _mm_cmplt_epi8(b, _mm_set1_epi8(-3)));
    m |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(r1, r2)))) << (16 * i);
  }
  return m;
}

#endif

// Character starts of a block given its lead-range mask and whether its
// first byte is a trail byte; `carry` becomes whether the next block's first
// byte is one. A lead-range run that begins at a character start has leads
// at its even offsets: adding the run's first bit carries through the runs
// that begin at even positions and clears them, which splits the runs by
// the parity of their start. Only a run at bit 0 depends on the carry (a
// trail byte there moves the run's start to bit 1), so both answers are
// made without it and the carry merely picks one: blocks do not wait for
// each other.
NOVA_INLINE std::uint64_t starts_of(std::uint64_t l, bool& carry) {
  const std::uint64_t run_starts = l & ~(l << 1);
  const std::uint64_t even_runs = l & ~(l + (run_starts & kEvenBits));
  const std::uint64_t leads = (even_runs & kEvenBits) | (l & ~even_runs & ~kEvenBits);
  const std::uint64_t first_run = l & ~(l + 1);
  const std::uint64_t leads_after_trail = (leads & ~first_run) | (first_run & ~kEvenBits);
  const std::uint64_t first_trail = carry ? 1u : 0u;
  const std::uint64_t chosen = carry ? leads_after_trail : leads;
  carry = (chosen >> 63) != 0;
  return ~((chosen << 1) | first_trail);
}

// The character starts of the 64 bytes at `at`, limited to the text (bytes
// past its end read as 0, which is no lead).
template <std::uint64_t (*Bits)(const std::uint8_t*)>
NOVA_INLINE std::uint64_t block_starts(std::string_view text, std::size_t at, bool& carry) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data()) + at;
  const std::size_t left = text.size() - at;
  if (left >= kBlock) return starts_of(Bits(p), carry);
  std::uint8_t tail[kBlock] = {};
  std::memcpy(tail, p, left);
  return starts_of(Bits(tail), carry) & ((std::uint64_t{1} << left) - 1);
}

// The position of the n-th set bit (0-based) of `bits`, which has more
// than n.
NOVA_INLINE unsigned nth_bit(std::uint64_t bits, std::size_t n) {
  for (; n > 0; --n) bits &= bits - 1;
  return static_cast<unsigned>(std::countr_zero(bits));
}

// From the block at `at` (with its carry), counts the starts of whole
// blocks up to `to`, then answers for `to` inside the last block.
template <std::uint64_t (*Bits)(const std::uint8_t*)>
NOVA_INLINE CharSpan count_from(std::string_view text, std::size_t& at, std::size_t& chars, bool& carry,
                                std::size_t to) {
  for (; at + kBlock <= to; at += kBlock)
    chars += static_cast<std::size_t>(std::popcount(block_starts<Bits>(text, at, carry)));
  if (at >= text.size()) return {chars, !carry || to == text.size()};
  bool c = carry;
  const std::uint64_t s = block_starts<Bits>(text, at, c);
  const std::size_t off = to - at;
  return {chars + static_cast<std::size_t>(std::popcount(s & ((std::uint64_t{1} << off) - 1))),
          to == text.size() || ((s >> off) & 1) != 0};
}

template <std::uint64_t (*Bits)(const std::uint8_t*)>
NOVA_INLINE std::size_t skip_from(std::string_view text, std::size_t from, std::size_t skip) {
  bool carry = false;
  for (std::size_t at = from; at < text.size(); at += kBlock) {
    const std::uint64_t s = block_starts<Bits>(text, at, carry);
    const auto n = static_cast<std::size_t>(std::popcount(s));
    if (skip < n) return at + nth_bit(s, skip);
    skip -= n;
  }
  return text.size();
}

}  // namespace

#if NOVA_SJIS_X86
// The AVX2 forms, in sjis_scan_avx2.cpp (built with AVX2).
CharSpan count_avx2(std::string_view text, std::size_t& at, std::size_t& chars, bool& carry, std::size_t to);
std::size_t skip_avx2(std::string_view text, std::size_t from, std::size_t skip);
std::uint64_t avx2_kernel(const std::uint8_t* p);
#endif

}  // namespace nova::expr::scan
