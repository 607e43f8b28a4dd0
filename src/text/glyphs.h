// The glyphs a tagged text becomes: characters, inline images and operation
// glyphs (alignment, line break, indent, undent, event, variable), in text
// order, with the decoration list they refer to. A ParsedText is what the tag
// language produces, what a glyph stream holds, and what the text engine lays
// out; it owns its glyphs and decorations.
//
// Glyph kinds carry the number a glyph stream stores for them; the produced
// kinds (TWdVarChar, TWdVarReturn) exist only between the preparation of
// variables and their removal and are never stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "text/decoration.h"

namespace nova::text {

// Alignment codes: DIV takes Left to Center, IMG takes Center to Bottom.
enum class Align : std::uint8_t { Left = 1, Right = 2, Center = 3, Top = 4, Bottom = 5 };

// The name of an alignment in the tag language's ALIGN attribute ("LEFT" ...
// "BOTTOM"); empty for a code outside Left ... Bottom (a stream may hold any
// byte there).
std::string_view align_name(Align a);

// One character (a single byte, or lead byte × 256 + trail byte).
struct TWdChar {
  std::string link;  // the link it belongs to; empty for none
  std::int32_t wait = 0;
  std::uint16_t code = 0;
  std::int32_t decoration = 0;  // index into the text's decoration list
  bool operator==(const TWdChar&) const = default;
};

// A character produced by a variable glyph: its link, wait and decoration are
// the variable glyph's (it shares the variable glyph's reference to the
// decoration record rather than holding one of its own).
struct TWdVarChar : TWdChar {
  bool operator==(const TWdVarChar&) const = default;
};

struct TWdOpeAlign {
  Align align = Align::Left;
  bool operator==(const TWdOpeAlign&) const = default;
};

// A line break; with `clear` a page break (the next glyph starts a page).
struct TWdOpeReturn {
  bool clear = false;
  bool operator==(const TWdOpeReturn&) const = default;
};

// A line break produced by a variable glyph.
struct TWdVarReturn {
  bool operator==(const TWdVarReturn&) const = default;
};

struct TWdOpeIndent {
  bool operator==(const TWdOpeIndent&) const = default;
};

struct TWdOpeUndent {
  bool operator==(const TWdOpeUndent&) const = default;
};

// An event: its text goes to the owning component's event callback when the
// reveal reaches it. An end event also ends the reveal step there.
struct TWdOpeEvent {
  std::string text;
  bool end = false;
  bool operator==(const TWdOpeEvent&) const = default;
};

// A variable in text, replaced by its value's characters when the text is
// prepared. Streams of version 102 and later store the name; older ones store
// a compiled expression in its place, kept here as its bytes.
struct TWdOpeVar {
  std::int32_t decoration = 0;
  std::int32_t wait = 0;
  std::string link;
  std::string name;
  std::optional<std::vector<std::uint8_t>> compiled;  // set only for glyphs of old streams
  bool operator==(const TWdOpeVar&) const = default;
};

// A history variable: like a variable, but expanded only when the text is
// shown in the message history.
struct TWdOpeHistChar : TWdOpeVar {
  bool operator==(const TWdOpeHistChar&) const = default;
};

// An inline image. The no-break flag and the ruby text come from the tag
// language; a glyph stream has no place for them, so an image read from a
// stream has neither.
struct TWdImg {
  std::string link;
  std::int32_t wait = 0;
  std::string source;
  Align align = Align::Bottom;
  bool no_break = false;
  std::string ruby;
  bool operator==(const TWdImg&) const = default;
};

using TWdGlyph = std::variant<TWdChar, TWdOpeAlign, TWdOpeReturn, TWdOpeIndent, TWdOpeUndent, TWdOpeEvent, TWdOpeVar,
                              TWdImg, TWdOpeHistChar, TWdVarChar, TWdVarReturn>;

// Glyph stream type numbers.
enum GlyphStreamType : std::uint8_t {
  kStreamChar = 1,
  kStreamAlign = 2,
  kStreamReturn = 3,
  kStreamIndent = 4,
  kStreamUndent = 5,
  kStreamEvent = 6,
  kStreamVar = 7,
  kStreamImg = 9,
  kStreamHistChar = 10,
};

// The stream type number of a glyph; nullopt for the produced kinds.
std::optional<GlyphStreamType> stream_type(const TWdGlyph& g);

// Whether the glyph was produced by a variable (and is removed again).
bool is_produced(const TWdGlyph& g);

// The decoration index a glyph holds a reference to: characters, variables
// and history variables. nullopt for the others (produced characters share
// their variable's reference).
std::optional<std::int32_t> owned_decoration(const TWdGlyph& g);

// The version and form of a glyph stream: "KvWord" and three digits, or no
// header at all (version 0).
struct StreamVersion {
  int number = 102;
  bool header = true;

  static constexpr StreamVersion headerless() { return {0, false}; }
  bool operator==(const StreamVersion&) const = default;
};

// The version this program writes: the first one with every field it knows.
inline constexpr StreamVersion kCurrentStreamVersion{102, true};

class ParsedText {
 public:
  const std::vector<TWdGlyph>& glyphs() const { return m_glyphs; }
  const TDecorateList& decorations() const { return m_decorations; }
  std::size_t size() const { return m_glyphs.size(); }
  bool empty() const { return m_glyphs.empty(); }
  const TWdGlyph& operator[](std::size_t i) const { return m_glyphs.at(i); }

  // The version of the stream the text was read from, or the current one.
  StreamVersion version() const { return m_version; }
  void set_version(StreamVersion v) { m_version = v; }

  // The index of a record equal to `d`, created (with count 0) when there is
  // none; appending a glyph that refers to it takes the reference.
  std::int32_t intern(const TDecorate& d);

  // Appends a glyph and takes a reference on the decoration it owns, which
  // must exist (a broken index is a fault of the caller and asserts).
  void append(TWdGlyph g);

  // Inserts produced glyphs (TWdVarChar, TWdVarReturn) before position `at`.
  void insert_produced(std::size_t at, std::vector<TWdGlyph> produced);
  // Removes the produced glyphs in [first, last); answers how many went.
  std::size_t erase_produced(std::size_t first, std::size_t last);

  // For the stream reader: a text exactly as stored, decoration counts and
  // all. Raises core::Error when a glyph refers to a decoration the list does
  // not have.
  static ParsedText from_stored(TDecorateList decorations, std::vector<TWdGlyph> glyphs, StreamVersion version);

 private:
  std::vector<TWdGlyph> m_glyphs;
  TDecorateList m_decorations;
  StreamVersion m_version = kCurrentStreamVersion;
};

}  // namespace nova::text
