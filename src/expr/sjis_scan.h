// Character boundaries of Shift-JIS text, found 64 bytes at a time.
//
// A byte starts a character unless the character before it is a double-byte
// one; a lead-range byte at a character start takes the next byte with it
// (whatever that byte is, and only when there is one). Scanning byte by byte
// is a chain of dependent steps; here each block of 64 bytes gives a bit
// mask of its lead-range bytes, and the character starts follow from that
// mask with a few word operations: within a run of lead-range bytes that
// begins at a character start, every other byte is a lead. Counting needs
// only how many leads there are, which one add per block gives (the
// blocks chained as one long number; see sjis_scan_blocks.h). Taken two
// bytes at a time the add covers 128 bytes, and with AVX-512 eight blocks
// go through the vector lanes at once. JPos counts and looks for its part's
// first two bytes in the same read; JCopy counts a stretch that stays in
// the cache and appends it. So counting or finding characters in long
// texts (JPos, JCopy, JLength ...) runs near memory speed. The
// byte-by-byte forms stay as the reference the tests compare with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nova::expr {

// The number of characters that start in [from, to) and whether `to` starts
// a character (or is the end of the text). `from` must start a character.
struct CharSpan {
  std::size_t chars = 0;
  bool to_is_start = true;
};
CharSpan count_chars(std::string_view text, std::size_t from, std::size_t to);

// The byte offset of the character `skip` characters after the one at
// `from` (which must start a character), or text.size() when the text ends
// first.
std::size_t skip_chars(std::string_view text, std::size_t from, std::size_t skip);

// Appends the characters skip_chars passes over (from `from` on, `skip` of
// them) to `out` and answers where they end: one read of the text where the
// processor has a fast form for it.
std::size_t copy_chars(std::string_view text, std::size_t from, std::size_t skip, std::string& out);

// Where `part` first starts on a character boundary (npos when nowhere or
// when it is empty) and how many characters lie before that: one read of
// the text, counting and searching at once (JPos).
struct CharFind {
  std::size_t at = std::string_view::npos;
  std::size_t chars = 0;
};
CharFind find_chars(std::string_view text, std::string_view part);

namespace detail {
// The lead-range mask kernels (64 bytes to 64 bits) this machine can run,
// the portable one first, each with the counting and skipping built on it,
// so tests hold each to the portable mask and to the byte walk. `count`
// goes on from a state kept between calls (the offset of the next
// block, the characters before it, whether it starts on a trail byte).
struct LeadRangeKernel {
  const char* name;
  std::uint64_t (*bits)(const std::uint8_t* p64);
  CharSpan (*count)(std::string_view text, std::size_t& at, std::size_t& chars, bool& carry, std::size_t to);
  std::size_t (*skip)(std::string_view text, std::size_t from, std::size_t skip);
  std::size_t (*copy)(std::string_view text, std::size_t from, std::size_t skip, std::string& out);
  CharFind (*find)(std::string_view text, std::string_view part);
};
std::vector<LeadRangeKernel> lead_range_kernels();

// Makes count_chars, skip_chars, copy_chars and find_chars use the kernel
// of that name (benchmarks, tests); an empty name goes back to the one the
// processor picks. False, changing nothing, when there is no such kernel
// here.
bool force_lead_range_kernel(std::string_view name);
// The name of the kernel in use.
const char* lead_range_kernel_name();
}  // namespace detail

namespace reference {
CharSpan count_chars(std::string_view text, std::size_t from, std::size_t to);
std::size_t skip_chars(std::string_view text, std::size_t from, std::size_t skip);
CharFind find_chars(std::string_view text, std::string_view part);
}  // namespace reference

}  // namespace nova::expr
