// The Japanese code page (CP932, Shift-JIS) of the system's text.
//
// Everything inside the engine is Shift-JIS bytes in std::string; this is the
// one place that converts to and from UTF-8 (through iconv's CP932), for the
// host: file names on disk, the window caption, message boxes, fonts, logs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nova::platform::codepage {

// The CP932 lead-byte test: 0x81..0x9F and 0xE0..0xFC.
constexpr bool is_lead_byte(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool is_lead_byte(char c) { return is_lead_byte(static_cast<std::uint8_t>(c)); }

// Length in bytes of the character starting at `pos`: 2 for a lead byte that
// has a following byte, else 1. A lead byte at the very end counts as 1.
inline std::size_t char_length(std::string_view s, std::size_t pos) {
  return (pos + 1 < s.size() && is_lead_byte(s[pos])) ? 2 : 1;
}

// Case mapping of Shift-JIS text: ASCII letters and the full-width Latin
// letters (Ａ..Ｚ 0x8260..0x8279, ａ..ｚ 0x8281..0x829A). A trail byte is never
// taken for a letter, and no other character changes.
std::string to_upper(std::string_view sjis);
std::string to_lower(std::string_view sjis);

// Compares two Shift-JIS texts for sorting. The host offers no Japanese
// collation we could rely on, so the order is our own and deterministic:
// characters are compared one by one by their code (single byte b, or
// lead × 256 + trail), after folding letters to upper case when `ignore_case`
// (ASCII and full-width Latin); a text that is a prefix of the other sorts
// first. Returns <0, 0 or >0.
int compare(std::string_view a, std::string_view b, bool ignore_case);

// Equality without regard to case (the folding of `compare`).
bool equal_ignore_case(std::string_view a, std::string_view b);

// Shift-JIS to UTF-8. Bytes that form no CP932 character become U+FFFD, so
// the conversion never fails; use it for display and logs.
std::string to_utf8(std::string_view sjis);

// UTF-8 to Shift-JIS. Fails (nullopt) when the text is not valid UTF-8 or
// holds a character CP932 cannot represent. Before converting, the JIS-style
// code points that Japanese text on Linux commonly carries are mapped onto
// their CP932 forms (U+301C WAVE DASH → U+FF5E, U+2016 → U+2225,
// U+2212 → U+FF0D, U+00A2/U+00A3/U+00AC → U+FFE0/U+FFE1/U+FFE2,
// U+2014 → U+2015), since authors type the former and mean the latter.
std::optional<std::string> from_utf8(std::string_view utf8);

// Like from_utf8 but replaces every character that cannot be represented by
// `replacement`; for host text shown inside a title (paths, host messages).
std::string from_utf8_lossy(std::string_view utf8, char replacement = '?');

// Index (in bytes) of the first UTF-8 character that CP932 cannot represent,
// or nullopt when all of them can. Tools use it to name the offending spot.
std::optional<std::size_t> first_unconvertible(std::string_view utf8);

// The Unicode code point of one Shift-JIS character code (single byte, or
// lead × 256 + trail), or nullopt when the code is not a CP932 character.
std::optional<char32_t> code_to_unicode(std::uint16_t code);

}  // namespace nova::platform::codepage
