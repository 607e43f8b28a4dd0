// The inverse of the tag language: a parsed text written back as tagged text,
// for tools that show a stored glyph stream as source (and build it again).
//
// The text is written on one line. Characters are written as themselves, with
// a backslash before < > " and \; runs of spaces are kept apart by empty
// comments ("<!---->") so that they do not collapse. Before each glyph the
// decoration state is brought to the glyph's with as few tags as the state
// allows: FONT (one level, with every field that is not the default), B I U
// S, NOBR, RUBY, A and WAIT (one level above the starting wait). Alignment
// glyphs are written as DIV, breaks as BR, events, variables and images as
// their tags. Open tags are closed at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "text/glyphs.h"

namespace nova::text {

// The tagged text of `text`, or nullopt when it holds something the tag
// language cannot express: a character that the tokenizer never keeps (TAB,
// CR, LF, 0x14, a lone lead byte, a code whose first byte is no lead byte), a
// value with a double quote or a line break other than CR LF (in links and
// events) or any line break or tab (in other values), a color or width below
// -1, a size or width beyond the FONT tag's caps, a color above 0xFFFFFF,
// style bits other than the four, an alignment
// code a tag cannot give, or a variable stored as a compiled expression.
// `initial_wait` is the wait that the parse will start with. Produced
// glyphs are left out.
std::optional<std::string> write_tagged_text(const ParsedText& text, std::int32_t initial_wait);

// The tagged text only when parsing it with `initial_wait` gives a text whose
// glyph stream, in `text`'s version, is byte for byte `text`'s own stream;
// nullopt otherwise (for instance for decoration records in an order or with
// counts that a parse never makes).
std::optional<std::string> exact_tagged_text(const ParsedText& text, std::int32_t initial_wait);

}  // namespace nova::text
