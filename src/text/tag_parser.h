// The tag language: a tagged text becomes glyphs and decorations.
//
// The text is cut into tokens (tokenizer.h); text tokens become one
// character glyph per character, tags change the running decoration state or
// add operation glyphs. Every glyph takes a copy of the state at the moment
// it is made. The tags, one row each in tag_parser.cpp:
//   A HREF / /A          link of the following glyphs (HREF unescaped)
//   B I S U  and /B ...  bold, italic, strike-out, underline on and off
//   FONT SIZE COLOR BCOLOR SCOLOR NAME BORDER SHADOW / /FONT
//                        push (pop) one level of the font fields; SIZE is
//                        limited to ±kMaxFontSize, BORDER and SHADOW to
//                        0..kMaxWidth; BCOLOR is the colour of the border
//   NOBR / /NOBR         no line break between no-break glyphs
//   RUBY VALUE / /RUBY   ruby text of the following glyphs
//   DIV ALIGN / /DIV     push (pop) the alignment, adding an alignment glyph
//   INDENT, UNDENT       indent and undent glyphs
//   BR [CLEAR], CLEAR    line break; with CLEAR (or as CLEAR) a page break
//   EVENT VALUE [END]    event glyph (VALUE unescaped)
//   WAIT VALUE / /WAIT   push (pop) the wait of the following glyphs
//   VAR NAME             variable glyph
//   IMG SRC ALIGN        inline image (ignored without SRC)
//   HISTCHAR VALUE       history variable glyph
// Tags not in the table, raw blocks, malformed attributes and closing tags
// without an opening one change nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/glyphs.h"
#include "text/tokenizer.h"

namespace nova::text {

struct TagAttribute {
  std::string name;  // as written
  std::string value;
};

struct Tag {
  std::string name;  // as written
  std::vector<TagAttribute> attributes;

  // The value of the first attribute of that name (without regard to case),
  // or nullptr when there is none.
  const std::string* find(std::string_view attribute) const;
};

// Reads a tag token "<...>": after trimming, the name runs to the first blank
// or "="; then attributes, each a name up to a blank or "=", and when "="
// follows the name directly, a value right after it: quoted with '"' or '\''
// (to the matching quote, else to the next blank) or bare (to the next
// blank). An attribute without "=" has an empty value. Blanks are the bytes up to 0x20; double-byte characters are
// single units throughout.
Tag parse_tag(std::string_view token);

// The backslash escapes of the expression language's string literals:
// \" and \\ stand for the character, \n for CR LF; any other backslash stays.
std::string unescape_literal(std::string_view s);

// The caps of FONT SIZE (either sign) and of BORDER and SHADOW: far above
// real use, they keep a script or a stored text from asking for glyphs and
// outlines of any size.
inline constexpr std::int32_t kMaxFontSize = 1024;
inline constexpr std::int32_t kMaxWidth = 64;

struct ParseOptions {
  // The wait of glyphs before any WAIT tag: the value of @TextDelay when the
  // parse starts.
  std::int32_t initial_wait = 50;
};

// Parses a text split into lines (split_lines), joined with CR. Raises
// core::Error "<A>タグにHREF値がありません" when a link tag has no HREF; the
// whole text is rejected then.
ParsedText parse_tagged_text(std::string_view text, const ParseOptions& options = {});
ParsedText parse_tagged_lines(std::span<const std::string> lines, const ParseOptions& options = {});

}  // namespace nova::text
