// Shift-JIS helpers shared by the layers above the platform.
//
// Our sources are UTF-8, while the system's own texts (messages, default face
// names, captions) must be Shift-JIS at run time. `sjis("…")` converts such a
// text once and keeps the result for the life of the process, so it is cheap
// to use in code that runs often.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace nova::core {

// The Shift-JIS form of a UTF-8 text that is part of the program (a literal).
// A text that Shift-JIS cannot hold is a fault of ours and aborts with a
// message, since it can never work.
const std::string& sjis(std::string_view utf8_literal);

using platform::codepage::char_length;
using platform::codepage::is_lead_byte;

// Calls fn(offset, length) for every character of a Shift-JIS text, a
// double-byte character being one unit.
template <typename Fn>
void for_each_char(std::string_view s, Fn&& fn) {
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = char_length(s, i);
    fn(i, n);
    i += n;
  }
}

// The character code at `pos`: the byte, or lead × 256 + trail.
inline std::uint16_t char_code_at(std::string_view s, std::size_t pos) {
  if (char_length(s, pos) == 2) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(s[pos]) << 8 | static_cast<std::uint8_t>(s[pos + 1]));
  }
  return static_cast<std::uint8_t>(s[pos]);
}

// Upper-cases ASCII and full-width Latin letters (the system's case folding
// for names).
inline std::string upper(std::string_view s) { return platform::codepage::to_upper(s); }
inline bool equal_ci(std::string_view a, std::string_view b) { return platform::codepage::equal_ignore_case(a, b); }
inline int compare_ci(std::string_view a, std::string_view b) { return platform::codepage::compare(a, b, true); }
// The same order with regard to case: character codes compared one by one.
inline int compare_codes(std::string_view a, std::string_view b) { return platform::codepage::compare(a, b, false); }
// Whether `s` begins with `prefix`, without regard to case (as equal_ci).
inline bool starts_with_ci(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && equal_ci(s.substr(0, prefix.size()), prefix);
}

}  // namespace nova::core
