// Helpers of the text tests: parsing UTF-8 test texts and looking at the
// glyphs they become.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "support/test_support.h"
#include "text/glyphs.h"
#include "text/tag_parser.h"

namespace nova::text::support {

inline ParsedText parse_utf8(std::string_view utf8, std::int32_t initial_wait = 30) {
  return parse_tagged_text(test::sjis(utf8), ParseOptions{initial_wait});
}

// The character glyphs of a text (produced ones included), in order.
inline std::vector<TWdChar> chars_of(const ParsedText& text) {
  std::vector<TWdChar> out;
  for (const TWdGlyph& g : text.glyphs()) {
    if (const auto* c = std::get_if<TWdChar>(&g)) out.push_back(*c);
    if (const auto* v = std::get_if<TWdVarChar>(&g)) out.push_back(*v);
  }
  return out;
}

// The characters of a text as Shift-JIS, with "|" for every line break.
inline std::string shown_text(const ParsedText& text) {
  std::string out;
  for (const TWdGlyph& g : text.glyphs()) {
    const TWdChar* c = std::get_if<TWdChar>(&g);
    if (!c) c = std::get_if<TWdVarChar>(&g);
    if (c) {
      if (c->code > 0xFF) out.push_back(static_cast<char>(c->code >> 8));
      out.push_back(static_cast<char>(c->code & 0xFF));
    } else if (std::holds_alternative<TWdOpeReturn>(g) || std::holds_alternative<TWdVarReturn>(g)) {
      out.push_back('|');
    }
  }
  return out;
}

// Every record's count equals the number of stored glyphs that refer to it.
inline void expect_counts_match_references(const ParsedText& text) {
  std::vector<std::int32_t> refs(static_cast<std::size_t>(text.decorations().size()));
  for (const TWdGlyph& g : text.glyphs()) {
    if (auto d = owned_decoration(g)) {
      ASSERT_TRUE(text.decorations().contains(*d));
      ++refs[static_cast<std::size_t>(*d)];
    }
  }
  for (std::int32_t i = 0; i < text.decorations().size(); ++i) {
    EXPECT_EQ(text.decorations().ref_count(i), refs[static_cast<std::size_t>(i)]) << "record " << i;
    EXPECT_GT(refs[static_cast<std::size_t>(i)], 0) << "unused record " << i;
  }
}

inline const TDecorate& decoration_of(const ParsedText& text, const TWdChar& c) {
  return text.decorations()[c.decoration];
}

}  // namespace nova::text::support
