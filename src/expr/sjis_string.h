// Character-aware operations on Shift-JIS text. ASCII and half-width katakana
// take one byte, every other character two (a lead byte and a trail byte); a
// lead byte at the very end of a text counts as a character of its own.
// Positions and counts here are 1-based character positions and counts unless
// a name says "byte". No operation ever separates a lead byte from its trail
// byte or takes a trail byte for a character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nova::expr {

// The number of characters (JLength).
std::int32_t j_length(std::string_view text);

// At most `count` characters from character `index` on (JCopy). An index
// below 1 counts as 1; parts outside the text are left out.
std::string j_copy(std::string_view text, std::int32_t index, std::int32_t count);

// The character position of the first occurrence of `part` that starts on a
// character boundary, 0 if none or when `part` is empty (JPos).
std::int32_t j_pos(std::string_view part, std::string_view text);

// `text` with `part` inserted before character `index` (JInsert); an index
// below 1 counts as 1, an index past the end appends.
std::string j_insert(std::string_view part, std::string_view text, std::int32_t index);

// `text` without `count` characters from character `index` on (JDelete). An
// index below 1 or past the end, or a count below 1, leaves the text as it is.
std::string j_delete(std::string_view text, std::int32_t index, std::int32_t count);

// `text` without leading and trailing blanks (JTrim), a blank being the ASCII
// space or the full-width space (0x81 0x40); tabs and other control
// characters stay.
std::string j_trim(std::string_view text);

// The character at character position `index` as a 16-bit code (the byte, or
// lead × 256 + trail). Raises "Illegal Index" outside 1 ... j_length.
std::uint16_t char_at(std::string_view text, std::int32_t index);

// The 1-based byte position where character `index` starts; j_length + 1
// answers the position just past the end. Raises "Illegal Index" outside
// 1 ... j_length + 1.
std::int32_t char_to_byte(std::string_view text, std::int32_t index);

// Whether the byte at 1-based byte position `pos` is a trail byte: it is
// preceded by an odd number of consecutive lead-byte values that reach back
// to a non-lead byte or to the start. Raises "Illegal Index" outside
// 1 ... length.
bool is_trail_byte(std::string_view text, std::int32_t pos);

// Removes from `text` and answers the part before the first character that
// equals one of the characters of `delimiters`, removing that delimiter too.
// Without a delimiter the whole text is answered and `text` becomes empty.
std::string cut_at_delimiter(std::string& text, std::string_view delimiters);

// Whether byte offset `at` starts a character, given that `from` <= `at`
// does.
bool is_boundary_after(std::string_view text, std::size_t from, std::size_t at);

// The byte offset of the first occurrence of `part` in `text` at or after
// byte offset `from` that starts on a character boundary, or npos. `from`
// must itself be a character boundary.
std::size_t find_on_boundary(std::string_view text, std::string_view part, std::size_t from = 0);

// The lines of a text: each ends at CR, LF or CR LF; a final line break
// adds no line, and an empty text has none.
std::vector<std::string> split_text_lines(std::string_view text);

}  // namespace nova::expr
