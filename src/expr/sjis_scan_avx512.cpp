// The block scan with 64-byte vectors and mask registers, entered only when
// the processor reports every feature named below.
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

NOVA_TARGET_BEGIN("avx512f,avx512bw,avx512dq,avx512vbmi,avx512vpopcntdq,gfni,avx2,bmi,bmi2,popcnt")
#include "expr/sjis_scan_blocks.h"

namespace nova::expr::scan {
namespace {

// 0x80 at the index of each lead-range byte less 0x80 (0x81-0x9F at 1-31,
// 0xE0-0xFC at 96-124), for a two-table byte permute.
constexpr std::uint8_t lead_entry(int i) {
  return static_cast<std::uint8_t>(((i >= 0x01 && i <= 0x1F) || (i >= 0x60 && i <= 0x7C)) ? 0x80 : 0);
}

struct LeadTables {
  __m512i low, high;
  // Byte 8j + q takes byte 8q + j: an 8 x 8 transpose of the quadwords' bytes.
  __m512i transpose;
};

NOVA_INLINE LeadTables lead_tables() {
  alignas(64) std::uint8_t t[192];
  for (int i = 0; i < 128; ++i) t[i] = lead_entry(i);
  for (int i = 0; i < 64; ++i) t[128 + i] = static_cast<std::uint8_t>(8 * (i % 8) + i / 8);
  return {_mm512_load_si512(t), _mm512_load_si512(t + 64), _mm512_load_si512(t + 128)};
}

// Lead-range bytes of one block as bits: each range is one unsigned
// compare of the byte less the range's first, straight into a mask.
NOVA_INLINE std::uint64_t lead_bits64_avx512(const std::uint8_t* p) {
  const __m512i b = _mm512_loadu_si512(p);
  const __mmask64 first = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(b, _mm512_set1_epi8(static_cast<char>(0x81))),
                                                 _mm512_set1_epi8(0x1F));
  const __mmask64 second = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(b, _mm512_set1_epi8(static_cast<char>(0xE0))),
                                                  _mm512_set1_epi8(0x1D));
  return _cvtmask64_u64(_kor_mask64(first, second));
}

constexpr std::size_t kChunk = 8 * kBlock;

// The lead-range masks of eight blocks, block j in lane j. The low seven
// bits of each byte pick its table entry, and a byte is in the lead range
// when it shares the entry's top bit (so bytes below 0x80 never are). Block
// j's answers go to bit j of its bytes, all eight blocks in one vector:
// two chains, of the even and of the odd blocks, each shift what they hold
// down two bits before taking the next block in (b & entry and the join in
// one three-input step), and the even chain, shifted down one more, joins
// the odd one. A byte's bit 7 moves down as bit 15 of its 16-bit word
// does, and no bit goes down far enough to cross into the other byte. Then
// one affine map over each quadword gathers, for every block, the bits of
// its eight bytes there into one byte (byte k into bit 7 - k), one byte
// transpose gives block j its own lane, and a second affine map turns each
// byte's bits round.
//
// With `Look`, it also answers in `seen` whether the chunk holds the byte
// of every lane of `wanted`: a mask keeps the byte offsets where no block
// so far held it, one masked compare per block.
template <bool Look = false>
NOVA_INLINE __m512i chunk_masks(const std::uint8_t* p, const LeadTables& t, __m512i wanted = _mm512_setzero_si512(),
                                bool* seen = nullptr) {
  __m512i even = _mm512_setzero_si512(), odd = _mm512_setzero_si512();
  __mmask64 none = ~__mmask64{0};
  for (int j = 0; j < 8; ++j) {
    __m512i b = _mm512_loadu_si512(p + kBlock * static_cast<std::size_t>(j));
    // Kept in its register: the compiler would load it again for the and.
    __asm__("" : "+v"(b));
    if constexpr (Look) none = _mm512_mask_cmpneq_epi8_mask(none, b, wanted);
    const __m512i entry = _mm512_permutex2var_epi8(t.low, b, t.high);
    __m512i& chain = j % 2 == 0 ? even : odd;
    // (chain >> 2) | (b & entry)
    chain = j < 2 ? _mm512_and_si512(b, entry) : _mm512_ternarylogic_epi64(_mm512_srli_epi16(chain, 2), b, entry, 0xF8);
  }
  const __m512i all = _mm512_or_si512(_mm512_srli_epi16(even, 1), odd);
  if constexpr (Look) *seen = !_kortestc_mask64_u8(none, none);
  // Byte j of each quadword takes bit j of its bytes.
  const __m512i gathered = _mm512_gf2p8affine_epi64_epi8(
      _mm512_set1_epi64(static_cast<long long>(0x8040201008040201ull)), all, 0);
  return _mm512_gf2p8affine_epi64_epi8(_mm512_maskz_permutexvar_epi8(~__mmask64{0}, t.transpose, gathered),
                                       _mm512_set1_epi64(static_cast<long long>(0x8040201008040201ull)), 0);
}

// The leads of the eight blocks of `l` at once (leads_in_block in each
// 64-bit lane), added into `sums` lane by lane; `previous` holds the last
// lead-range bit in bit 63 of its lane 7 (the chunk before, or the byte
// before the first). The lanes make one 512-bit number: a lane takes the
// last lead-range bit of the lane before it, and the adds' carries pass
// from lane to lane as in a long addition: a lane overflows by itself
// (generates) or passes a carry on when its sum is all ones (propagates).
NOVA_INLINE void chunk_leads(__m512i l, __m512i previous, unsigned& add, __m512i& sums) {
  const __m512i before = _mm512_alignr_epi64(l, previous, 7);
  const __m512i after = _mm512_or_si512(_mm512_slli_epi64(l, 1), _mm512_srli_epi64(before, 63));
  const __m512i even = _mm512_set1_epi64(static_cast<long long>(kEvenBits));
  const __m512i even_starts = _mm512_andnot_si512(after, _mm512_and_si512(l, even));
  const __m512i sum = _mm512_add_epi64(l, even_starts);
  const unsigned generates = _mm512_cmplt_epu64_mask(sum, l);
  const unsigned propagates = _mm512_cmpeq_epi64_mask(sum, _mm512_set1_epi64(-1));
  const unsigned carries = (((generates << 1) | add) + propagates) ^ propagates;
  const __m512i carried = _mm512_mask_add_epi64(sum, static_cast<__mmask8>(carries), sum, _mm512_set1_epi64(1));
  const __m512i odd_bits = _mm512_andnot_si512(even, _mm512_or_si512(l, carried));
  sums = _mm512_add_epi64(sums, _mm512_popcnt_epi64(odd_bits));
  add = (carries >> 8) & 1;
}

// The leads of the whole chunks from `at` on while `at + kChunk <= end`,
// the state moving on. The masks of the next chunk are made before the
// carries of this one are worked out, so the two overlap.
NOVA_INLINE std::size_t chunks_leads(const std::uint8_t* bytes, std::size_t& at, std::size_t end, RunState& s,
                                     const LeadTables& t) {
  __m512i sums = _mm512_setzero_si512();
  __m512i previous = _mm512_set1_epi64(static_cast<long long>(s.last << 63));
  unsigned add = s.add;
  __m512i l = chunk_masks(bytes + at, t);
  for (; at + 2 * kChunk <= end; at += kChunk) {
    const __m512i next = chunk_masks(bytes + at + kChunk, t);
    chunk_leads(l, previous, add, sums);
    previous = l;
    l = next;
  }
  chunk_leads(l, previous, add, sums);
  at += kChunk;
  s.add = static_cast<unsigned char>(add);
  s.last = static_cast<std::uint64_t>(_mm_extract_epi64(_mm512_extracti64x2_epi64(l, 3), 1)) >> 63;
  return static_cast<std::size_t>(_mm512_reduce_add_epi64(sums));
}

}  // namespace

namespace {

// Counts on from `at` over whole chunks of 512 bytes up to `limit` while
// they do not hold `byte`; stops before the first that does.
NOVA_INLINE void count_without_avx512(std::string_view text, std::size_t& at_ref, std::size_t& chars_ref, bool& carry_ref,
                          std::size_t limit, char byte) {
  if (at_ref + kChunk > limit) return;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const LeadTables t = lead_tables();
  const __m512i wanted = _mm512_set1_epi8(byte);
  bool seen = false;
  __m512i l = chunk_masks<true>(bytes + at_ref, t, wanted, &seen);
  if (seen) return;
  std::size_t at = at_ref;
  const bool carry_in = carry_ref;
  RunState s = RunState::at(bytes, at, carry_in);
  __m512i sums = _mm512_setzero_si512();
  __m512i previous = _mm512_set1_epi64(static_cast<long long>(s.last << 63));
  unsigned add = s.add;
  // As chunks_leads, stopping before the first chunk that holds the byte.
  for (;;) {
    const bool more = at + 2 * kChunk <= limit;
    bool next_seen = true;
    __m512i next = l;
    if (more) next = chunk_masks<true>(bytes + at + kChunk, t, wanted, &next_seen);
    chunk_leads(l, previous, add, sums);
    previous = l;
    at += kChunk;
    if (!more || next_seen) break;
    l = next;
  }
  s.add = static_cast<unsigned char>(add);
  s.last = static_cast<std::uint64_t>(_mm_extract_epi64(_mm512_extracti64x2_epi64(previous, 3), 1)) >> 63;
  const auto leads = static_cast<std::size_t>(_mm512_reduce_add_epi64(sums));
  const bool carry = s.trail();
  chars_ref += (at - at_ref) - leads + static_cast<std::size_t>(carry) - static_cast<std::size_t>(carry_in);
  at_ref = at;
  carry_ref = carry;
}

}  // namespace

CharSpan count_avx512(std::string_view text, std::size_t& at_ref, std::size_t& chars_ref, bool& carry_ref,
                      std::size_t to) {
  if (at_ref + kChunk <= to) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t at = at_ref;
    const bool carry_in = carry_ref;
    RunState s = RunState::at(bytes, at, carry_in);
    const std::size_t leads = chunks_leads(bytes, at, to, s, lead_tables());
    const bool carry = s.trail();
    chars_ref += (at - at_ref) - leads + static_cast<std::size_t>(carry) - static_cast<std::size_t>(carry_in);
    at_ref = at;
    carry_ref = carry;
  }
  return count_from<lead_bits64_avx512>(text, at_ref, chars_ref, carry_ref, to);
}

namespace {

std::size_t skip_chunks(std::string_view text, std::size_t from, std::size_t skip) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const LeadTables t = lead_tables();
  std::size_t at = from;
  bool carry = false;
  RunState s = RunState::at(bytes, at, false);
  // Runs of 64 chunks, then of 8, then single chunks while the start wanted
  // lies beyond them (a run that holds it is counted again in smaller
  // steps), then block by block within the chunk that holds it.
  for (const std::size_t stride : {64 * kChunk, 8 * kChunk, kChunk}) {
    while (at + stride <= text.size()) {
      std::size_t next = at;
      RunState after = s;
      const std::size_t leads = chunks_leads(bytes, next, at + stride, after, t);
      const bool carry_out = after.trail();
      const std::size_t n = stride - leads + static_cast<std::size_t>(carry_out) - static_cast<std::size_t>(carry);
      if (skip < n) break;
      skip -= n;
      at = next;
      s = after;
      carry = carry_out;
    }
  }
  return skip_from<lead_bits64_avx512>(text, at, skip, carry);
}

}  // namespace

std::size_t skip_avx512(std::string_view text, std::size_t from, std::size_t skip) {
  return skip_chunks(text, from, skip);
}

namespace {

// The pair flags from 16-bit compares straight into masks: a pair's second
// byte is in the lead range when the word with bit 13 flipped lies in
// 0xA100-0xDCFF, its first when the low byte with bit 5 flipped lies in
// 0xA1-0xDC.
NOVA_INLINE PairFlags pair_flags_avx512(const std::uint8_t* p) {
  const __m512i x20 = _mm512_set1_epi16(0x20), low = _mm512_set1_epi16(0xFF);
  const __m512i flip_high = _mm512_set1_epi16(0x2000);
  std::uint64_t first = 0, second = 0;
  for (int i = 0; i < 2; ++i) {
    const __m512i w = _mm512_loadu_si512(p + 64 * i);
    // (w ^ 0x20) & 0xFF in one ternary-logic step.
    const __m512i lo = _mm512_ternarylogic_epi32(w, x20, low, 0x28);
    const __mmask32 f = _mm512_cmplt_epu16_mask(_mm512_sub_epi16(lo, _mm512_set1_epi16(0xA1)), _mm512_set1_epi16(0x3C));
    const __mmask32 s = _mm512_cmplt_epu16_mask(
        _mm512_sub_epi16(_mm512_xor_si512(w, flip_high), _mm512_set1_epi16(static_cast<short>(0xA100))),
        _mm512_set1_epi16(0x3C00));
    first |= static_cast<std::uint64_t>(_cvtmask32_u32(f)) << (32 * i);
    second |= static_cast<std::uint64_t>(_cvtmask32_u32(s)) << (32 * i);
  }
  return {first, second};
}

template <bool Two>
NOVA_INLINE bool has_pair_avx512(const std::uint8_t* p, PairNeedle n) {
  if constexpr (Two) {
    const __m512i pair = _mm512_set1_epi16(static_cast<short>(n.a | (n.b << 8)));
    __mmask32 hits = 0;
    for (int i = 0; i < 2; ++i) {
      hits = _kor_mask32(hits, _mm512_cmpeq_epi16_mask(_mm512_loadu_si512(p + 64 * i), pair));
      hits = _kor_mask32(hits, _mm512_cmpeq_epi16_mask(_mm512_loadu_si512(p + 64 * i + 1), pair));
    }
    return _cvtmask32_u32(hits) != 0;
  } else {
    const __m512i a = _mm512_set1_epi8(static_cast<char>(n.a));
    return _cvtmask64_u64(_kor_mask64(_mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p), a),
                                      _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p + 64), a))) != 0;
  }
}

}  // namespace

// The eight-lane count runs over the chunks without the part's first byte
// (looking for it costs one compare per block there); a chunk that holds
// it goes through the pair groups, which look for the first two bytes.
CharFind find_avx512(std::string_view text, std::string_view part) {
  CharFind found;
  if (part.empty() || text.empty()) return found;
  std::size_t at = 0, chars = 0, stops = 0;
  bool carry = false;
  const auto groups = [&](std::size_t end) {
    return part.size() > 1
               ? find_in_groups<pair_flags_avx512, has_pair_avx512<true>>(text, part, at, chars, carry, end, found)
               : find_in_groups<pair_flags_avx512, has_pair_avx512<false>>(text, part, at, chars, carry, end, found);
  };
  for (;;) {
    count_without_avx512(text, at, chars, carry, text.size(), part[0]);
    if (groups(at + kChunk)) return found;
    // Fewer than a chunk and a byte were left: the groups have reached
    // the last one.
    if (at + kChunk >= text.size()) break;
    // Where the first byte is common, the groups alone go faster.
    if (++stops > 16 && stops * 8 > at / kChunk) {
      if (groups(text.size())) return found;
      break;
    }
  }
  if (walk_for(text, part, at, text.size(), chars, carry)) found = {at, chars};
  return found;
}
std::size_t skip_tail_avx512(std::string_view text, std::size_t from, std::size_t skip, bool carry) {
  return skip_pairs_from<pair_flags_avx512, lead_bits64_avx512>(text, from, skip, carry);
}

std::uint64_t avx512_kernel(const std::uint8_t* p) { return lead_bits64_avx512(p); }

std::uint64_t avx512_chunk_kernel(const std::uint8_t* p) {
  // The block in every lane of a chunk: all eight lanes must agree.
  alignas(64) std::uint8_t chunk[kChunk];
  for (std::size_t j = 0; j < 8; ++j) std::memcpy(chunk + kBlock * j, p, kBlock);
  alignas(64) std::uint64_t lanes[8];
  _mm512_store_si512(lanes, chunk_masks(chunk, lead_tables()));
  for (std::uint64_t lane : lanes) {
    if (lane != lanes[0]) return ~lanes[0];
  }
  return lanes[0];
}

}  // namespace nova::expr::scan
NOVA_TARGET_END()
#endif
