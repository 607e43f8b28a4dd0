// The block scan behind sjis_scan.h, shared by the file built for every
// x86-64 (SSE2) and the one built with AVX2. Private to expr.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
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
// Lead-range bytes (0x81-0x9F, 0xE0-0xFC) as bits. Less 1, the first range
// reads as signed bytes -128..-98; less 0x60, the second reads as
// -128..-100; no other byte falls there. So one add and one signed compare
// test each range.
NOVA_INLINE std::uint64_t lead_bits64_sse2(const std::uint8_t* p) {
  const __m128i minus1 = _mm_set1_epi8(-1), minus60 = _mm_set1_epi8(-0x60);
  const __m128i top1 = _mm_set1_epi8(-97), top2 = _mm_set1_epi8(-99);
  std::uint64_t m = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const __m128i r1 = _mm_cmpgt_epi8(top1, _mm_add_epi8(b, minus1));
    const __m128i r2 = _mm_cmpgt_epi8(top2, _mm_add_epi8(b, minus60));
    m |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(r1, r2)))) << (16 * i);
  }
  return m;
}

#endif

// The leads (first bytes of double-byte characters) of a block, given its
// lead-range mask and whether its first byte is a trail byte; `carry`
// becomes whether the next block's first byte is one. A maximal run of
// lead-range bytes begins at a character start (the byte before it ends a
// character, or it is the text's first), so its leads are every other byte
// from its first. Adding the first bit of every run that begins at an even
// offset carries through that run and clears it, which splits the runs by
// the parity of their start. After a trail byte the run at bit 0 begins at
// bit 1 instead: both answers are made without the carry, which merely
// picks one, so blocks do not wait on each other's arithmetic.
NOVA_INLINE std::uint64_t leads_of(std::uint64_t l, bool& carry) {
  const std::uint64_t run_starts = l & ~(l << 1);
  const std::uint64_t even_runs = l & ~(l + (run_starts & kEvenBits));
  const std::uint64_t leads = (even_runs & kEvenBits) | (l & ~even_runs & ~kEvenBits);
  const std::uint64_t first_run = l & ~(l + 1);
  const std::uint64_t leads_after_trail = (leads & ~first_run) | (first_run & ~kEvenBits);
  const std::uint64_t chosen = carry ? leads_after_trail : leads;
  carry = (chosen >> 63) != 0;
  return chosen;
}

// Character starts of a block: every byte but the trail bytes.
NOVA_INLINE std::uint64_t starts_of(std::uint64_t l, bool& carry) {
  const auto first_trail = static_cast<std::uint64_t>(carry);
  return ~((leads_of(l, carry) << 1) | first_trail);
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

// Counting whole blocks needs only the number of leads, not where they
// are. A maximal run of lead-range bytes that begins at a character start
// has its leads every other byte from its first: at odd offsets (from the
// block's start, which is even) when it begins at an odd one, and when it
// begins at an even one, at its odd offsets plus one more if its length is
// odd. Adding the first bit of every run that begins at an even offset
// carries through that run: it clears the run and sets the bit after it,
// which is odd exactly when the run's length is odd. So the leads of a
// block number popcount((l | (l + even run starts)) & odd offsets). The add
// runs across blocks with its carry, as one long number: a run that goes on
// into the next block carries its start's bit with it, and the count of the
// part of a run within a block is right by the same rule.
//
// The state between blocks is the last lead-range bit and the add's carry;
// both follow from the byte before the first block and whether the first
// byte is a trail byte (`carry`): a lead-range byte before it whose run
// began at an even offset (it carries) leaves the first byte a lead.
struct RunState {
  std::uint64_t last = 0;   // bit 63 of the previous block's lead-range mask
  unsigned char add = 0;    // the carry of the add into this block

  // At `at` with the byte before it (`at` > 0) and whether `at` is a
  // trail byte.
  static NOVA_INLINE RunState at(const std::uint8_t* bytes, std::size_t at, bool trail) {
    RunState s;
    s.last = at > 0 && core::is_lead_byte(bytes[at - 1]) ? 1 : 0;
    s.add = static_cast<unsigned char>(s.last != 0 && !trail);
    return s;
  }
  // Whether the byte after the blocks counted so far is a trail byte: the
  // last byte is a lead, in a run that began at an odd offset.
  bool trail() const { return last != 0 && add == 0; }
};

NOVA_INLINE std::uint64_t add_with_carry(std::uint64_t a, std::uint64_t b, unsigned char& carry) {
#if defined(__x86_64__) && defined(__GNUC__)
  // Three instructions, the sum kept in a register: the intrinsic's
  // out-parameter and a double-width add both went through the stack.
  std::uint64_t sum = a;
  __asm__("addb $0xff, %[c]\n\tadcq %[b], %[s]\n\tsetc %[c]" : [s] "+r"(sum), [c] "+q"(carry) : [b] "r"(b) : "cc");
  return sum;
#else
  const std::uint64_t s1 = a + b;
  const std::uint64_t s2 = s1 + carry;
  carry = static_cast<unsigned char>((s1 < a) | (s2 < s1));
  return s2;
#endif
}

// The leads of one block of lead-range mask `l`, the state moving on.
NOVA_INLINE std::size_t leads_in_block(std::uint64_t l, RunState& s) {
  const std::uint64_t after = (l << 1) | s.last;
  const std::uint64_t even_starts = l & ~after & kEvenBits;
  const std::uint64_t carried = add_with_carry(l, even_starts, s.add);
  s.last = l >> 63;
  return static_cast<std::size_t>(std::popcount((l | carried) & ~kEvenBits));
}

// From the block at `at` (with its carry), counts the starts of whole
// blocks up to `to` (which is within the text), then answers for `to`
// inside the last block.
//
// A whole block holds 64 starts less its trail bytes, and its trail bytes
// are its leads shifted by one, so over a run of blocks the starts are
// 64 per block less the leads, plus the last carry out, less the first
// carry in. The running values stay in locals: the references may point
// anywhere the text's bytes might, and every step would go through memory.
template <std::uint64_t (*Bits)(const std::uint8_t*)>
NOVA_INLINE CharSpan count_from(std::string_view text, std::size_t& at_ref, std::size_t& chars_ref, bool& carry_ref,
                                std::size_t to) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  std::size_t at = at_ref, leads = 0;
  bool carry = carry_ref;
  const bool carry_in = carry;
  const std::size_t first = at;
  if (at + kBlock <= to) {
    RunState s = RunState::at(bytes, at, carry);
    // Two blocks a step: the adds chain, the rest of each block does not.
    for (; at + 2 * kBlock <= to; at += 2 * kBlock) {
      const std::uint64_t l0 = Bits(bytes + at), l1 = Bits(bytes + at + kBlock);
      leads += leads_in_block(l0, s);
      leads += leads_in_block(l1, s);
    }
    for (; at + kBlock <= to; at += kBlock) leads += leads_in_block(Bits(bytes + at), s);
    carry = s.trail();
  }
  std::size_t chars = chars_ref;
  if (at != first) chars += (at - first) - leads + static_cast<std::size_t>(carry) - static_cast<std::size_t>(carry_in);
  at_ref = at;
  chars_ref = chars;
  carry_ref = carry;
  if (at >= text.size()) return {chars, !carry || to == text.size()};
  bool c = carry;
  const std::uint64_t st = block_starts<Bits>(text, at, c);
  const std::size_t off = to - at;
  return {chars + static_cast<std::size_t>(std::popcount(st & ((std::uint64_t{1} << off) - 1))),
          to == text.size() || ((st >> off) & 1) != 0};
}

// Counts whole blocks as count_from does until the one holding the start
// wanted, whose starts it then finds. `at` starts a character, or is the
// trail byte of one when `carry`.
template <std::uint64_t (*Bits)(const std::uint8_t*)>
NOVA_INLINE std::size_t skip_from(std::string_view text, std::size_t at, std::size_t skip, bool carry = false) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  RunState s = RunState::at(bytes, at, carry);
  for (; at + kBlock <= text.size(); at += kBlock) {
    const bool carry_in = carry;
    const std::uint64_t l = Bits(bytes + at);
    const std::size_t leads = leads_in_block(l, s);
    carry = s.trail();
    const auto n = kBlock - leads + static_cast<std::size_t>(carry) - static_cast<std::size_t>(carry_in);
    if (skip < n) {
      bool c = carry_in;
      return at + nth_bit(starts_of(l, c), skip);
    }
    skip -= n;
  }
  if (at < text.size()) {
    const std::uint64_t st = block_starts<Bits>(text, at, carry);
    if (skip < static_cast<std::size_t>(std::popcount(st))) return at + nth_bit(st, skip);
  }
  return text.size();
}


// --- Pairs of bytes -----------------------------------------------------
//
// Taking the text two bytes at a time from a character start, the state at
// the start of each pair (whether its first byte is a trail byte) never
// toggles within a pair; it only follows the pair's lead-range flags:
//   neither, or the first only: the next pair starts a character;
//   the second only: the next pair starts on a trail byte;
//   both: the next pair starts as this one did.
// So the state is a carry that pairs with only the second flag generate
// and pairs with both flags pass on: one add of 64-bit masks over 64 pairs
// (128 bytes) works it out. A pair holds one character start plus one more
// when it starts a character and its first byte is not in the lead range,
// so 128 bytes hold 128 - popcount(sum | first) starts, with `sum` the add
// that made the carries. Half as many mask bits per byte as the block scan
// and no shifts; the masks split by the vector pack of each form.
constexpr std::size_t kPairGroup = 128;

// The first two bytes of a searched text (`b` unused when it has one).
struct PairNeedle {
  std::uint8_t a = 0, b = 0;
};

struct PairFlags {
  std::uint64_t first = 0;   // bit k: byte 2k is in the lead range
  std::uint64_t second = 0;  // bit k: byte 2k + 1 is
};

NOVA_INLINE PairFlags pair_flags_portable(const std::uint8_t* p) {
  PairFlags f;
  for (std::size_t k = 0; k < kPairGroup / 2; ++k) {
    f.first |= static_cast<std::uint64_t>(core::is_lead_byte(p[2 * k])) << k;
    f.second |= static_cast<std::uint64_t>(core::is_lead_byte(p[2 * k + 1])) << k;
  }
  return f;
}

#if NOVA_SJIS_X86
// The lead-range bytes as 0xFF. A byte is in the lead range exactly when,
// with bit 5 flipped, it lies in 0xA1-0xDC (the two ranges meet), so one
// add moves that range to the bottom of the signed bytes and one signed
// compare tests it.
NOVA_INLINE __m128i lead_flags_sse2(__m128i b) {
  return _mm_cmpgt_epi8(_mm_set1_epi8(-68),
                        _mm_add_epi8(_mm_xor_si128(b, _mm_set1_epi8(0x20)), _mm_set1_epi8(static_cast<char>(0xDF))));
}

// Packing two vectors of flags as signed 16-bit words to bytes keeps each
// pair's second flag in bit 7 (0xFF00 and 0xFFFF saturate to 0x80 and
// 0xFF) and its first flag in bit 6 (0x00FF saturates to 0x7F).
NOVA_INLINE PairFlags pair_flags_sse2(const std::uint8_t* p) {
  PairFlags f;
  for (int i = 0; i < 4; ++i) {
    const __m128i c0 = lead_flags_sse2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32 * i)));
    const __m128i c1 = lead_flags_sse2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32 * i + 16)));
    const __m128i packed = _mm_packs_epi16(c0, c1);
    f.second |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(packed))) << (16 * i);
    f.first |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_add_epi8(packed, packed))))
               << (16 * i);
  }
  return f;
}

// Whether the 128 bytes at `p` hold a pair (a, b) starting in them (the
// byte after them is read): 16-bit compares at even and odd offsets. With
// `Two` false only `a` is looked for.
template <bool Two>
NOVA_INLINE bool has_pair_sse2(const std::uint8_t* p, PairNeedle n) {
  __m128i hits = _mm_setzero_si128();
  if constexpr (Two) {
    const __m128i pair = _mm_set1_epi16(static_cast<short>(n.a | (n.b << 8)));
    for (int i = 0; i < 8; ++i) {
      hits = _mm_or_si128(hits, _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)), pair));
      hits = _mm_or_si128(hits,
                          _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i + 1)), pair));
    }
  } else {
    const __m128i a = _mm_set1_epi8(static_cast<char>(n.a));
    for (int i = 0; i < 8; ++i)
      hits = _mm_or_si128(hits, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)), a));
  }
  return _mm_movemask_epi8(hits) != 0;
}
#endif

template <bool Two>
NOVA_INLINE bool has_pair_portable(const std::uint8_t* p, PairNeedle n) {
  bool hit = false;
  for (std::size_t i = 0; i < kPairGroup; ++i) hit |= p[i] == n.a && (!Two || p[i + 1] == n.b);
  return hit;
}

// The bytes of the 128 of `f` that do not start a character, the carry
// moving on.
NOVA_INLINE std::size_t pair_group_non_starts(PairFlags f, unsigned char& carry) {
  const std::uint64_t sum = add_with_carry(f.second, f.second & ~f.first, carry);
  return static_cast<std::size_t>(std::popcount(sum | f.first));
}
// Two groups in a row, the second's add taking the first's carry straight
// from the flags.
NOVA_INLINE std::size_t pair_groups_non_starts(PairFlags f0, PairFlags f1, unsigned char& carry) {
#if defined(__x86_64__) && defined(__GNUC__)
  std::uint64_t s0 = f0.second, s1 = f1.second;
  __asm__("addb $0xff, %[c]\n\tadcq %[b0], %[s0]\n\tadcq %[b1], %[s1]\n\tsetc %[c]"
          : [s0] "+r"(s0), [s1] "+r"(s1), [c] "+q"(carry)
          : [b0] "r"(f0.second & ~f0.first), [b1] "r"(f1.second & ~f1.first)
          : "cc");
  return static_cast<std::size_t>(std::popcount(s0 | f0.first) + std::popcount(s1 | f1.first));
#else
  const std::size_t n = pair_group_non_starts(f0, carry);
  return n + pair_group_non_starts(f1, carry);
#endif
}
NOVA_INLINE std::size_t pair_group_chars(PairFlags f, unsigned char& carry) {
  return kPairGroup - pair_group_non_starts(f, carry);
}

// count_from over whole groups of pairs first.
template <PairFlags (*Pairs)(const std::uint8_t*), std::uint64_t (*Bits)(const std::uint8_t*)>
NOVA_INLINE CharSpan count_pairs_from(std::string_view text, std::size_t& at_ref, std::size_t& chars_ref,
                                      bool& carry_ref, std::size_t to) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t first = at_ref;
  std::size_t at = first, non_starts = 0;
  auto carry = static_cast<unsigned char>(carry_ref);
  for (; at + 2 * kPairGroup <= to; at += 2 * kPairGroup)
    non_starts += pair_groups_non_starts(Pairs(bytes + at), Pairs(bytes + at + kPairGroup), carry);
  for (; at + kPairGroup <= to; at += kPairGroup) non_starts += pair_group_non_starts(Pairs(bytes + at), carry);
  at_ref = at;
  chars_ref += (at - first) - non_starts;
  carry_ref = carry != 0;
  return count_from<Bits>(text, at_ref, chars_ref, carry_ref, to);
}

// skip_from over whole groups of pairs until the one holding the start
// wanted.
template <PairFlags (*Pairs)(const std::uint8_t*), std::uint64_t (*Bits)(const std::uint8_t*)>
NOVA_INLINE std::size_t skip_pairs_from(std::string_view text, std::size_t at, std::size_t skip, bool carry_in = false) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  auto carry = static_cast<unsigned char>(carry_in);
  for (; at + kPairGroup <= text.size(); at += kPairGroup) {
    unsigned char next = carry;
    const std::size_t n = pair_group_chars(Pairs(bytes + at), next);
    if (skip < n) break;
    skip -= n;
    carry = next;
  }
  return skip_from<Bits>(text, at, skip, carry != 0);
}

// Walks the characters in [at, end) from `at` (a trail byte when
// `carry`), looking for `part`; counts them into `chars`.
NOVA_INLINE bool walk_for(std::string_view text, std::string_view part, std::size_t& at, std::size_t end,
                          std::size_t& chars, bool& carry) {
  std::size_t pos = at + static_cast<std::size_t>(carry);
  for (; pos < end; ++chars) {
    if (text[pos] == part[0] && text.compare(pos, part.size(), part) == 0) {
      at = pos;
      return true;
    }
    pos += core::char_length(text, pos);
  }
  carry = pos > end;
  at = end;
  return false;
}

// A group that may hold the part: whether it holds its first two bytes,
// and if so the walk through it. Kept out of line, so the loop over the
// groups keeps no loaded bytes for it and its loads fold into the first
// vector step.
template <bool (*Has)(const std::uint8_t*, PairNeedle)>
[[gnu::noinline]] bool look_in_group(std::string_view text, std::string_view part, PairNeedle needle, std::size_t at,
                                     std::size_t chars, bool carry, CharFind& found) {
  if (!Has(reinterpret_cast<const std::uint8_t*>(text.data()) + at, needle)) return false;
  std::size_t pos = at;
  if (!walk_for(text, part, pos, at + kPairGroup, chars, carry)) return false;
  found = {pos, chars};
  return true;
}

// Where `part` first starts on a character boundary, and the characters
// before it: one pass that counts the groups of pairs and looks in each for
// the part's first two bytes (rare in prose even where the first byte alone
// is common, as a frequent trail byte can be); a group that holds them is
// walked character by character. `HasFirst`, a cheaper look for the first
// byte alone, goes before the pair look where the first byte is rare.
//
// Goes on over the groups from `at` (a trail byte when `carry`, `chars`
// characters before it) while a group and the byte after it lie before
// `end`; true, with `found` set, at the part. With a first-byte look, it
// stops early (false, `at` short of `end`) once the first byte turns out
// common, so the caller goes on with the pair look alone rather than pay
// for both and for the branch going either way.
template <PairFlags (*Pairs)(const std::uint8_t*), bool (*Has)(const std::uint8_t*, PairNeedle),
          bool (*HasFirst)(const std::uint8_t*, PairNeedle) = Has>
NOVA_INLINE bool find_in_groups(std::string_view text, std::string_view part, std::size_t& at_ref, std::size_t& chars_ref,
                                bool& carry_ref, std::size_t end, CharFind& found) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const PairNeedle needle{static_cast<std::uint8_t>(part[0]), static_cast<std::uint8_t>(part.size() > 1 ? part[1] : 0)};
  if (end > text.size() - 1) end = text.size() - 1;
  const std::size_t first = at_ref;
  std::size_t at = first, non_starts = 0, first_hits = 0;
  auto carry = static_cast<unsigned char>(carry_ref);
  constexpr auto look = HasFirst != Has ? HasFirst : Has;
  while (at + kPairGroup <= end) {
    // Two groups a step while neither may hold the part (both looks made,
    // with no branch between them).
    const auto neither = [&] {
      return (static_cast<int>(look(bytes + at, needle)) | static_cast<int>(look(bytes + at + kPairGroup, needle))) == 0;
    };
    for (; at + 2 * kPairGroup <= end && neither(); at += 2 * kPairGroup)
      non_starts += pair_groups_non_starts(Pairs(bytes + at), Pairs(bytes + at + kPairGroup), carry);
    if (at + kPairGroup > end) break;
    // Then one group, the first of the two or the last one before `end`.
    if (look(bytes + at, needle)) [[unlikely]] {
      if constexpr (HasFirst != Has) {
        if (++first_hits > 16 && first_hits * 8 > (at - first) / kPairGroup) break;
      }
      if (look_in_group<Has>(text, part, needle, at, chars_ref + (at - first) - non_starts, carry != 0, found))
        return true;
    }
    non_starts += pair_group_non_starts(Pairs(bytes + at), carry);
    at += kPairGroup;
  }
  chars_ref += (at - first) - non_starts;
  at_ref = at;
  carry_ref = carry != 0;
  return false;
}

template <PairFlags (*Pairs)(const std::uint8_t*), bool (*Has)(const std::uint8_t*, PairNeedle),
          bool (*HasFirst)(const std::uint8_t*, PairNeedle) = Has>
NOVA_INLINE CharFind find_pairs(std::string_view text, std::string_view part) {
  CharFind found;
  if (part.empty() || text.empty()) return found;
  std::size_t at = 0, chars = 0;
  bool carry = false;
  if (find_in_groups<Pairs, Has, HasFirst>(text, part, at, chars, carry, text.size(), found)) return found;
  if (find_in_groups<Pairs, Has>(text, part, at, chars, carry, text.size(), found)) return found;
  if (walk_for(text, part, at, text.size(), chars, carry)) found = {at, chars};
  return found;
}

}  // namespace

#if NOVA_SJIS_X86
// The AVX2 forms, in sjis_scan_avx2.cpp (built with AVX2), and the AVX-512
// ones, in sjis_scan_avx512.cpp.
CharSpan count_avx2(std::string_view text, std::size_t& at, std::size_t& chars, bool& carry, std::size_t to);
std::size_t skip_avx2(std::string_view text, std::size_t from, std::size_t skip, bool carry);
CharFind find_avx2(std::string_view text, std::string_view part);
std::uint64_t avx2_kernel(const std::uint8_t* p);
CharFind find_avx512(std::string_view text, std::string_view part);
// Skipping from a carry by the AVX-512 pair scan, for the last stretch of
// a copy.
std::size_t skip_tail_avx512(std::string_view text, std::size_t from, std::size_t skip, bool carry);
CharSpan count_avx512(std::string_view text, std::size_t& at, std::size_t& chars, bool& carry, std::size_t to);
std::size_t skip_avx512(std::string_view text, std::size_t from, std::size_t skip);
std::uint64_t avx512_kernel(const std::uint8_t* p);
// The mask of eight blocks at once as the AVX-512 count makes it, of one
// block put in every lane.
std::uint64_t avx512_chunk_kernel(const std::uint8_t* p);
#endif

}  // namespace nova::expr::scan
