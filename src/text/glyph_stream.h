// The glyph stream: a text already parsed by the tag language, as a text
// command of a page file stores it (and as the authoring toolchain writes
// it).
//
//   header        "KvWord" and three decimal digits of the version; a stream
//                 that does not begin with "KvWord" has no header, is read
//                 from its first byte and has version 0
//   decorations   int32 count, then the records (decoration.h)
//   glyph count   int32
//   glyphs        per glyph a type byte (its high bit is ignored) and fields:
//     1 character     link (string), wait (int32), code (uint16), decoration (int32)
//     2 alignment     code (byte)
//     3 line break    clear flag (byte)
//     4 indent, 5 undent   nothing
//     6 event         text (string); a first byte 1 marks an end event
//     7 variable      decoration (int32); from version 101 wait (int32) and
//                     link (string); from version 102 the name (string),
//                     before it a compiled expression
//     9 image         link (string), wait (int32), source (string), alignment (byte)
//    10 history variable   as 7
// Strings are an int32 byte count and the bytes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/binary_io.h"
#include "text/glyphs.h"

namespace nova::text {

// Reads one stream from the reader's position, leaving the reader after it.
// Everything is checked against the data: a truncated stream, a bad header,
// a negative count, a type number that does not occur, or a decoration index
// outside the stream's list raises core::Error. The text keeps the stream's
// version and its decoration records exactly as stored.
ParsedText read_glyph_stream(core::ByteReader& r);
// The same over a whole buffer; bytes after the stream are not looked at.
ParsedText read_glyph_stream(std::span<const std::uint8_t> bytes);

// Writes the stored glyphs of a text (produced ones are left out) in the
// given version, which must be 0 ... 999, and 0 without a header; fields the
// version does not have are left out. Before version 102 a variable is
// written as its compiled expression (the one it was read with, else its name
// compiled); from 102 on as its name, which a variable read from an older
// stream does not have. Anything that cannot be written raises core::Error,
// and nothing is written then.
void write_glyph_stream(core::ByteWriter& w, const ParsedText& text, StreamVersion version);
std::vector<std::uint8_t> write_glyph_stream(const ParsedText& text, StreamVersion version);
// In the text's own version (the one it was read in, or the current one).
std::vector<std::uint8_t> write_glyph_stream(const ParsedText& text);

}  // namespace nova::text
