// Character boundaries of Shift-JIS text, found 64 bytes at a time.
//
// A byte starts a character unless the character before it is a double-byte
// one; a lead-range byte at a character start takes the next byte with it
// (whatever that byte is, and only when there is one). Scanning byte by byte
// is a chain of dependent steps; here each block of 64 bytes gives a bit
// mask of its lead-range bytes, and the character starts follow from that
// mask with a few word operations: within a run of lead-range bytes that
// begins at a character start, every other byte is a lead. So counting or
// finding characters in long texts (JPos, JCopy, JLength ...) runs at
// memory speed. The byte-by-byte forms stay as the reference the tests
// compare with.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Walks a text forward from offset 0, answering for rising offsets whether
// each starts a character and how many characters lie before it; the
// search of JPos feeds it its candidates.
class CharCursor {
 public:
  explicit CharCursor(std::string_view text) : m_text(text) {}
  // `at` must not be below the offset of the previous call.
  CharSpan before(std::size_t at);

 private:
  std::string_view m_text;
  std::size_t m_block = 0;  // offset of the first block not yet counted
  std::size_t m_chars = 0;  // characters starting before m_block
  bool m_carry = false;     // the byte at m_block is a trail byte
};

namespace detail {
// The lead-range mask kernels (64 bytes to 64 bits) this machine can run,
// the portable one first, so tests hold each to it.
struct LeadRangeKernel {
  const char* name;
  std::uint64_t (*bits)(const std::uint8_t* p64);
};
std::vector<LeadRangeKernel> lead_range_kernels();
}  // namespace detail

namespace reference {
CharSpan count_chars(std::string_view text, std::size_t from, std::size_t to);
std::size_t skip_chars(std::string_view text, std::size_t from, std::size_t skip);
}  // namespace reference

}  // namespace nova::expr
