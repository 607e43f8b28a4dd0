#include "expr/sjis_scan.h"

#include <atomic>

#include "core/sjis.h"
#include "expr/sjis_scan_blocks.h"

namespace nova::expr {
namespace {

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

// Copying while counting: each stretch (small enough to stay in the first
// cache level) is counted and then appended, so the text is read from
// memory once; the stretch that holds the end is skipped through from its
// start with the carry, and appended up to the end.
using CountFn = CharSpan (*)(std::string_view, std::size_t&, std::size_t&, bool&, std::size_t);
using SkipFn = std::size_t (*)(std::string_view, std::size_t, std::size_t, bool);
constexpr std::size_t kCopyStretch = 16384;

template <CountFn Count, SkipFn Skip>
std::size_t copy_stretches(std::string_view text, std::size_t from, std::size_t skip, std::string& out) {
  std::size_t at = from;
  bool carry = false;
  while (at + kCopyStretch <= text.size()) {
    std::size_t next = at, n = 0;
    bool next_carry = carry;
    Count(text, next, n, next_carry, at + kCopyStretch);
    if (skip < n) break;
    out.append(text.data() + at, kCopyStretch);
    skip -= n;
    at = next;
    carry = next_carry;
  }
  const std::size_t end = Skip(text, at, skip, carry);
  out.append(text.data() + at, end - at);
  return end;
}

template <std::uint64_t (*Bits)(const std::uint8_t*)>
std::uint64_t bits_of(const std::uint8_t* p) {
  return Bits(p);
}

// The portable forms: the pair scan with plain byte tests.
CharSpan portable_count(std::string_view text, std::size_t& at, std::size_t& chars, bool& carry, std::size_t to) {
  return scan::count_pairs_from<scan::pair_flags_portable, scan::lead_bits64_portable>(text, at, chars, carry, to);
}
std::size_t portable_skip_carry(std::string_view text, std::size_t from, std::size_t skip, bool carry) {
  return scan::skip_pairs_from<scan::pair_flags_portable, scan::lead_bits64_portable>(text, from, skip, carry);
}
CharFind portable_find(std::string_view text, std::string_view part) {
  return part.size() > 1 ? scan::find_pairs<scan::pair_flags_portable, scan::has_pair_portable<true>>(text, part)
                         : scan::find_pairs<scan::pair_flags_portable, scan::has_pair_portable<false>>(text, part);
}

#if NOVA_SJIS_X86
CharSpan sse2_count(std::string_view text, std::size_t& at, std::size_t& chars, bool& carry, std::size_t to) {
  return scan::count_pairs_from<scan::pair_flags_sse2, scan::lead_bits64_sse2>(text, at, chars, carry, to);
}
std::size_t sse2_skip_carry(std::string_view text, std::size_t from, std::size_t skip, bool carry) {
  return scan::skip_pairs_from<scan::pair_flags_sse2, scan::lead_bits64_sse2>(text, from, skip, carry);
}
CharFind sse2_find(std::string_view text, std::string_view part) {
  return part.size() > 1
             ? scan::find_pairs<scan::pair_flags_sse2, scan::has_pair_sse2<true>, scan::has_pair_sse2<false>>(text, part)
             : scan::find_pairs<scan::pair_flags_sse2, scan::has_pair_sse2<false>>(text, part);
}
#endif

template <SkipFn Skip>
std::size_t skip_from_start(std::string_view text, std::size_t from, std::size_t skip) {
  return Skip(text, from, skip, false);
}

std::vector<detail::LeadRangeKernel> make_kernels() {
  std::vector<detail::LeadRangeKernel> k = {{"portable", bits_of<scan::lead_bits64_portable>, portable_count,
                                             skip_from_start<portable_skip_carry>,
                                             copy_stretches<portable_count, portable_skip_carry>, portable_find}};
#if NOVA_SJIS_X86
  k.push_back({"sse2", bits_of<scan::lead_bits64_sse2>, sse2_count, skip_from_start<sse2_skip_carry>,
               copy_stretches<sse2_count, sse2_skip_carry>, sse2_find});
  if (has_avx2()) {
    k.push_back({"avx2", scan::avx2_kernel, scan::count_avx2, skip_from_start<scan::skip_avx2>,
                 copy_stretches<scan::count_avx2, scan::skip_avx2>, scan::find_avx2});
  }
  if (has_avx512()) {
    // Copying counts its stretches by pairs: measured against the eight-lane
    // count in the same runs, the copy of 750 KB went faster by a sixth.
    k.push_back({"avx512", scan::avx512_kernel, scan::count_avx512, scan::skip_avx512,
                 copy_stretches<scan::count_avx2, scan::skip_avx2>, scan::find_avx512});
    k.push_back({"avx512 chunk", scan::avx512_chunk_kernel, scan::count_avx512, scan::skip_avx512,
                 copy_stretches<scan::count_avx512, scan::skip_tail_avx512>, scan::find_avx512});
  }
#endif
  return k;
}

const std::vector<detail::LeadRangeKernel>& kernels() {
  static const std::vector<detail::LeadRangeKernel> k = make_kernels();
  return k;
}

// The processor's choice: the widest form it runs (the last one listed
// before the test-only variants).
const detail::LeadRangeKernel& chosen() {
  static const detail::LeadRangeKernel* best = [] {
    const auto& k = kernels();
    const detail::LeadRangeKernel* b = &k.front();
    for (const auto& kernel : k) {
      if (std::string_view(kernel.name).find(' ') == std::string_view::npos) b = &kernel;
    }
    return b;
  }();
  return *best;
}

std::atomic<const detail::LeadRangeKernel*> g_forced{nullptr};

const detail::LeadRangeKernel& active() {
  const detail::LeadRangeKernel* f = g_forced.load(std::memory_order_relaxed);
  return f ? *f : chosen();
}

}  // namespace

CharSpan count_chars(std::string_view text, std::size_t from, std::size_t to) {
  if (to > text.size()) to = text.size();
  std::size_t at = from, chars = 0;
  bool carry = false;
  return active().count(text, at, chars, carry, to);
}

std::size_t skip_chars(std::string_view text, std::size_t from, std::size_t skip) {
  return active().skip(text, from, skip);
}

std::size_t copy_chars(std::string_view text, std::size_t from, std::size_t skip, std::string& out) {
  return active().copy(text, from, skip, out);
}

CharFind find_chars(std::string_view text, std::string_view part) { return active().find(text, part); }

namespace detail {

std::vector<LeadRangeKernel> lead_range_kernels() { return kernels(); }

bool force_lead_range_kernel(std::string_view name) {
  if (name.empty()) {
    g_forced.store(nullptr, std::memory_order_relaxed);
    return true;
  }
  for (const auto& k : kernels()) {
    if (name == k.name) {
      g_forced.store(&k, std::memory_order_relaxed);
      return true;
    }
  }
  return false;
}

const char* lead_range_kernel_name() { return active().name; }

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

CharFind find_chars(std::string_view text, std::string_view part) {
  if (part.empty()) return {};
  std::size_t chars = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += core::char_length(text, pos), ++chars) {
    if (text.compare(pos, part.size(), part) == 0) return {pos, chars};
  }
  return {};
}

}  // namespace reference
}  // namespace nova::expr
