// Conversions between half-width and full-width forms of Shift-JIS text, and
// EUC-JP text (as HTTP servers send it) to Shift-JIS.
#pragma once

#include <string>
#include <string_view>

namespace nova::expr {

// Half-width to full-width (HanToZen). Double-byte characters stay; printable
// ASCII becomes its JIS X 0208 form (with " → ”, ' → ’, ` → ‘, - → −,
// backslash → ￥, ~ → ～ and | → ｜); half-width katakana become full-width
// katakana, a following voiced or semi-voiced mark combining where such a
// character exists (never with ｳ); every other single byte is dropped.
std::string han_to_zen(std::string_view text);

// Full-width to half-width (ZenToHan): single bytes stay; each double-byte
// character of the 184-entry table becomes its half-width form (voiced kana
// become two bytes); any other double-byte character is dropped.
std::string zen_to_han(std::string_view text);

// EUC-JP to Shift-JIS, byte by byte: NUL becomes a space, 0x01 ... 0x80 and
// 0xFF stay, 0x8E (single shift 2) is dropped before the half-width katakana
// it announces, and any other byte starts a two-byte JIS character that is
// moved into Shift-JIS. A first byte at the very end is dropped.
std::string euc_to_sjis(std::string_view text);

}  // namespace nova::expr
