// The glyph stream: every glyph type in every version round-trips byte for
// byte, old layouts read as they were written, and damaged streams raise
// errors instead of reading past their end.
#include "text/glyph_stream.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "expr/build_parser.h"
#include "text/text_variables.h"
#include "text_test_support.h"

namespace nova::text {
namespace {

using support::parse_utf8;

// A text with every stored glyph type and decorations that use every field.
constexpr std::string_view kRichText =
    "<FONT SIZE=20 COLOR=#102030 BCOLOR=#405060 SCOLOR=#708090 NAME=\"ＭＳ 明朝\" BORDER=3 SHADOW=2>"
    "<B><I><U><S>装</S></U></I></B></FONT><NOBR><RUBY VALUE=るび>表ソ</RUBY></NOBR>\n"
    "<DIV ALIGN=CENTER>a<DIV ALIGN=RIGHT>b</DIV></DIV><INDENT>c<BR>d<BR CLEAR><UNDENT>"
    "<A HREF=\"ページ:ラベル\"><WAIT VALUE=-70>リンク<VAR NAME=score></WAIT></A>"
    "<EVENT VALUE=\"イベント\"><EVENT VALUE=end END><EVENT END><EVENT>"
    "<IMG SRC=\"a.bri\" ALIGN=center><IMG SRC=b.png ALIGN=top><IMG SRC=c.png><HISTCHAR VALUE=\"名前\">x";

ParsedText rich() { return parse_utf8(kRichText, 40); }

// The compiled form of an expression, as the compiler writes it.
std::vector<std::uint8_t> compiled(std::string_view expression) {
  expr::TBuildNovaParser compiler;
  compiler.compile(expression);
  core::ByteWriter w;
  compiler.write(w);
  return w.take();
}

std::vector<std::uint8_t> bytes_of(const core::ByteWriter& w) { return w.data(); }

const StreamVersion kVersions[] = {StreamVersion::headerless(),
                                   {0, true},
                                   {50, true},
                                   {99, true},
                                   {100, true},
                                   {101, true},
                                   {102, true},
                                   {103, true},
                                   {999, true}};

TEST(GlyphStream, EveryTypeRoundTripsByteForByteInEveryVersion) {
  for (StreamVersion v : kVersions) {
    SCOPED_TRACE(testing::Message() << "version " << v.number << (v.header ? "" : " without header"));
    const ParsedText text = rich();
    const std::vector<std::uint8_t> first = write_glyph_stream(text, v);
    const ParsedText read = read_glyph_stream(first);
    EXPECT_EQ(read.version(), v);
    EXPECT_EQ(write_glyph_stream(read), first);
    EXPECT_EQ(write_glyph_stream(read, v), first);

    // Every stored type is there, in the parsed order.
    ASSERT_EQ(read.size(), text.size());
    std::set<int> types;
    for (std::size_t i = 0; i < read.size(); ++i) {
      EXPECT_EQ(stream_type(read[i]), stream_type(text[i])) << i;
      types.insert(*stream_type(read[i]));
    }
    EXPECT_EQ(types, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 9, 10}));

    // Before version 102 variables are stored compiled, from then on by name.
    for (std::size_t i = 0; i < read.size(); ++i) {
      const TWdOpeVar* var = std::get_if<TWdOpeVar>(&read[i]);
      if (!var) var = std::get_if<TWdOpeHistChar>(&read[i]);
      if (!var) continue;
      const TWdOpeVar* source = std::get_if<TWdOpeVar>(&text[i]);
      if (!source) source = std::get_if<TWdOpeHistChar>(&text[i]);
      if (v.number < 102) {
        EXPECT_EQ(var->name, "");
        ASSERT_TRUE(var->compiled);
        EXPECT_EQ(*var->compiled, compiled(source->name));
      } else {
        EXPECT_EQ(var->name, source->name);
        EXPECT_FALSE(var->compiled);
      }
      EXPECT_EQ(var->wait, v.number >= 101 ? source->wait : 0);
    }
  }
}

// From version 102 on the stream holds everything the tag language makes,
// except what images carry for the layout alone (no-break flag and ruby).
TEST(GlyphStream, CurrentVersionKeepsEveryParsedField) {
  const ParsedText text = rich();
  const ParsedText read = read_glyph_stream(write_glyph_stream(text));
  ASSERT_EQ(read.size(), text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    TWdGlyph expected = text[i];
    if (auto* img = std::get_if<TWdImg>(&expected)) {
      img->no_break = false;
      img->ruby.clear();
    }
    EXPECT_EQ(read[i], expected) << i;
  }
  EXPECT_EQ(read.decorations().records().size(), text.decorations().records().size());
  for (std::int32_t i = 0; i < text.decorations().size(); ++i) {
    EXPECT_EQ(read.decorations()[i], text.decorations()[i]);
    EXPECT_EQ(read.decorations().ref_count(i), text.decorations().ref_count(i));
  }
}

TEST(GlyphStream, LayoutOfTheCurrentVersion) {
  const ParsedText text = parse_utf8("<A HREF=L><WAIT VALUE=9>x</A><EVENT VALUE=e END><BR CLEAR>", 30);
  core::ByteWriter w;
  w.bytes(std::string_view("KvWord102"));
  w.i32(1);  // one decoration record
  for (std::int32_t v : {1, -1, -1, 0}) w.i32(v);
  w.u8(0);
  w.u8(0);
  w.i32(-1);
  w.str("");
  w.str("");
  w.i32(-1);
  w.i32(-1);
  w.i32(3);  // glyphs
  w.u8(1);
  w.str("L");
  w.i32(9);
  w.u16('x');
  w.i32(0);
  w.u8(6);
  w.str(
      "\x01"
      "e");
  w.u8(3);
  w.u8(1);
  EXPECT_EQ(write_glyph_stream(text), bytes_of(w));
}

TEST(GlyphStream, OldLayoutsReadTheFieldsTheirVersionHad) {
  // Version 99: the border width is one byte meaning "bordered"; there are
  // no shadow fields. Version 100 variables have neither wait nor link.
  expr::TBuildNovaParser compiler;
  compiler.compile("score");
  core::ByteWriter expression;
  compiler.write(expression);

  for (int version : {99, 100}) {
    core::ByteWriter w;
    w.bytes(std::string_view(version == 99 ? "KvWord099" : "KvWord100"));
    w.i32(1);
    w.i32(2);     // count
    w.i32(0xFF);  // color
    w.i32(7);     // border color
    w.i32(24);    // size
    w.u8(FS_BOLD);
    w.u8(1);
    if (version == 99) {
      w.u8(5);
    } else {
      w.i32(5);
    }
    w.str("f");
    w.str("r");
    if (version == 100) {
      w.i32(4);
      w.i32(0x123);
    }
    w.i32(2);
    w.u8(7);
    w.i32(0);
    w.bytes(std::span<const std::uint8_t>(expression.data()));
    w.u8(1);
    w.str("");
    w.i32(3);
    w.u16(0x82A0);
    w.i32(0);

    const ParsedText text = read_glyph_stream(w.data());
    SCOPED_TRACE(version);
    const TDecorate& d = text.decorations()[0];
    EXPECT_EQ(text.decorations().ref_count(0), 2);
    EXPECT_EQ(d.color, 0xFF);
    EXPECT_EQ(d.border_color, 7);
    EXPECT_EQ(d.size, 24);
    EXPECT_EQ(d.style, FS_BOLD);
    EXPECT_TRUE(d.no_break);
    EXPECT_EQ(d.border_width, version == 99 ? 1 : 5);
    EXPECT_EQ(d.font_name, "f");
    EXPECT_EQ(d.ruby, "r");
    EXPECT_EQ(d.shadow_width, version == 99 ? -1 : 4);
    EXPECT_EQ(d.shadow_color, version == 99 ? -1 : 0x123);
    const auto& var = std::get<TWdOpeVar>(text[0]);
    EXPECT_EQ(var.wait, 0);
    EXPECT_EQ(var.link, "");
    EXPECT_EQ(var.name, "");
    ASSERT_TRUE(var.compiled);
    EXPECT_EQ(*var.compiled, expression.data());
    EXPECT_EQ(std::get<TWdChar>(text[1]), (TWdChar{"", 3, 0x82A0, 0}));
    // Written back, the old border byte says only "bordered".
    std::vector<std::uint8_t> expected = w.data();
    if (version == 99) expected[9 + 4 + 4 * 4 + 2] = 1;
    EXPECT_EQ(write_glyph_stream(text), expected);
  }
}

// One decoration record of the current layout: size 12, everything else
// the text engine's own, with the given count.
void plain_record(core::ByteWriter& w, std::int32_t count) {
  w.i32(count);
  w.i32(-1);  // color
  w.i32(-1);  // border color
  w.i32(12);  // size
  w.u8(0);    // style
  w.u8(0);    // no break
  w.i32(-1);  // border width
  w.str("");
  w.str("");
  w.i32(-1);  // shadow width
  w.i32(-1);  // shadow color
}

// Version 101 gave variables their wait and link; the name was still stored
// as its compiled expression. Written by hand, as the authoring tool of that
// time wrote it, with an image and a history variable beside it.
TEST(GlyphStream, Version101VariablesHaveWaitAndLinkBeforeTheirExpression) {
  const std::vector<std::uint8_t> expression = compiled("score");
  const std::vector<std::uint8_t> history = compiled("name");
  core::ByteWriter w;
  w.bytes(std::string_view("KvWord101"));
  w.i32(1);
  plain_record(w, 2);
  w.i32(3);
  w.u8(7);  // variable
  w.i32(0);
  w.i32(-25);
  w.str("page:label");
  w.bytes(std::span<const std::uint8_t>(expression));
  w.u8(9);  // image
  w.str("l");
  w.i32(40);
  w.str("pic.bri");
  w.u8(4);   // top
  w.u8(10);  // history variable
  w.i32(0);
  w.i32(7);
  w.str("");
  w.bytes(std::span<const std::uint8_t>(history));

  const ParsedText text = read_glyph_stream(w.data());
  EXPECT_EQ(text.version(), (StreamVersion{101, true}));
  ASSERT_EQ(text.size(), 3u);
  const auto& var = std::get<TWdOpeVar>(text[0]);
  EXPECT_EQ(var.decoration, 0);
  EXPECT_EQ(var.wait, -25);
  EXPECT_EQ(var.link, "page:label");
  EXPECT_EQ(var.name, "");
  EXPECT_EQ(var.compiled, expression);
  EXPECT_EQ(std::get<TWdImg>(text[1]), (TWdImg{"l", 40, "pic.bri", Align::Top, false, ""}));
  const auto& hist = std::get<TWdOpeHistChar>(text[2]);
  EXPECT_EQ(hist.wait, 7);
  EXPECT_EQ(hist.compiled, history);
  EXPECT_EQ(text.decorations()[0].size, 12);
  EXPECT_EQ(write_glyph_stream(text), w.data());
}

// A stream without a header is version 0: the oldest record layout (border
// as one byte, no shadow fields) and variables with neither wait nor link.
TEST(GlyphStream, HeaderlessStreamsCarryGlyphsInTheOldestLayout) {
  const std::vector<std::uint8_t> expression = compiled("x");
  core::ByteWriter w;
  w.i32(1);
  w.i32(2);  // count
  w.i32(0x0000FF);
  w.i32(-1);
  w.i32(20);
  w.u8(FS_ITALIC);
  w.u8(0);
  w.u8(1);  // bordered
  w.str("");
  w.str("");
  w.i32(5);
  w.u8(1);  // character
  w.str("");
  w.i32(30);
  w.u16(0x82A0);
  w.i32(0);
  w.u8(2);  // alignment
  w.u8(3);
  w.u8(0x87);  // a variable, with the type's high bit set
  w.i32(0);
  w.bytes(std::span<const std::uint8_t>(expression));
  w.u8(9);
  w.str("");
  w.i32(30);
  w.str("a.png");
  w.u8(5);
  w.u8(10);
  w.i32(0);
  w.bytes(std::span<const std::uint8_t>(expression));

  const ParsedText text = read_glyph_stream(w.data());
  EXPECT_EQ(text.version(), StreamVersion::headerless());
  ASSERT_EQ(text.size(), 5u);
  EXPECT_EQ(std::get<TWdChar>(text[0]), (TWdChar{"", 30, 0x82A0, 0}));
  EXPECT_EQ(std::get<TWdOpeAlign>(text[1]).align, Align::Center);
  EXPECT_EQ(std::get<TWdOpeVar>(text[2]).compiled, expression);
  EXPECT_EQ(std::get<TWdOpeVar>(text[2]).wait, 0);
  EXPECT_EQ(std::get<TWdImg>(text[3]).source, "a.png");
  EXPECT_EQ(std::get<TWdOpeHistChar>(text[4]).compiled, expression);
  const TDecorate& d = text.decorations()[0];
  EXPECT_EQ(d.color, 0xFF);
  EXPECT_EQ(d.size, 20);
  EXPECT_EQ(d.style, FS_ITALIC);
  EXPECT_EQ(d.border_width, 1);
  EXPECT_EQ(d.shadow_width, -1);
  EXPECT_EQ(text.decorations().ref_count(0), 2);
  // Written back, only the type byte's ignored high bit differs.
  std::vector<std::uint8_t> expected = w.data();
  const std::size_t var_at =
      expected.size() - (1 + 4 + expression.size()) - (1 + 4 + 4 + 4 + 5 + 1) - (1 + 4 + expression.size());
  ASSERT_EQ(expected[var_at], 0x87);
  expected[var_at] = 7;
  EXPECT_EQ(write_glyph_stream(text), expected);
}

TEST(GlyphStream, HeadersAndHeaderlessStreams) {
  const std::vector<std::uint8_t> empty(8, 0);
  const ParsedText plain = read_glyph_stream(empty);
  EXPECT_EQ(plain.version(), StreamVersion::headerless());
  EXPECT_TRUE(plain.empty());
  EXPECT_EQ(write_glyph_stream(plain), empty);

  auto bytes = [](std::string_view s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
  EXPECT_THROW(read_glyph_stream(bytes("KvWord1x2\0\0\0\0\0\0\0\0")), core::Error);
  EXPECT_THROW(read_glyph_stream(bytes("KvWord10")), core::Error);
  EXPECT_THROW(read_glyph_stream(bytes("KvW")), core::Error);
  EXPECT_THROW(read_glyph_stream(bytes("")), core::Error);
  const ParsedText v7 = read_glyph_stream(bytes(std::string_view("KvWord007\0\0\0\0\0\0\0\0", 17)));
  EXPECT_EQ(v7.version(), (StreamVersion{7, true}));

  // The reader stops after the stream.
  std::vector<std::uint8_t> stream = write_glyph_stream(rich());
  const std::size_t size = stream.size();
  stream.push_back(0xEE);
  core::ByteReader r(stream);
  read_glyph_stream(r);
  EXPECT_EQ(r.position(), size);
}

// A stream of one decoration followed by the given glyph records.
std::vector<std::uint8_t> stream_with(std::int32_t glyph_count, const std::function<void(core::ByteWriter&)>& glyphs) {
  ParsedText one = parse_utf8("a");
  core::ByteWriter w;
  w.bytes(std::string_view("KvWord102"));
  one.decorations().save(w, 102);
  w.i32(glyph_count);
  glyphs(w);
  return w.take();
}

void char_record(core::ByteWriter& w, std::uint8_t type, std::int32_t decoration) {
  w.u8(type);
  w.str("");
  w.i32(0);
  w.u16('a');
  w.i32(decoration);
}

TEST(GlyphStream, TypeNumbersAndDecorationIndexesAreChecked) {
  // The high bit of the type byte is ignored.
  const ParsedText high = read_glyph_stream(stream_with(1, [](auto& w) { char_record(w, 0x81, 0); }));
  EXPECT_EQ(std::get<TWdChar>(high[0]).code, 'a');
  EXPECT_EQ(stream_type(high[0]), kStreamChar);

  for (std::uint8_t type : {0, 8, 11, 0x7F, 0x88}) {
    EXPECT_THROW(read_glyph_stream(stream_with(1, [&](auto& w) { w.u8(type); })), core::Error) << int(type);
  }
  for (std::int32_t index : {1, -1, 0x7FFFFFFF}) {
    EXPECT_THROW(read_glyph_stream(stream_with(1, [&](auto& w) { char_record(w, 1, index); })), core::Error);
    EXPECT_THROW(read_glyph_stream(stream_with(1,
                                               [&](auto& w) {
                                                 w.u8(10);
                                                 w.i32(index);
                                                 w.i32(0);
                                                 w.str("");
                                                 w.str("n");
                                               })),
                 core::Error);
  }
  try {
    read_glyph_stream(stream_with(1, [](auto& w) { w.u8(8); }));
  } catch (const core::Error& e) {
    EXPECT_NE(e.message().find("glyph stream"), std::string::npos) << e.message();
    EXPECT_NE(e.message().find("8"), std::string::npos) << e.message();
  }
}

TEST(GlyphStream, CountsBeyondTheDataAreRefusedBeforeAnythingIsAllocated) {
  for (std::int32_t count : {-1, 0x7FFFFFFF, 1000}) {
    EXPECT_THROW(read_glyph_stream(stream_with(count, [](auto& w) { char_record(w, 1, 0); })), core::Error);
    core::ByteWriter w;
    w.bytes(std::string_view("KvWord102"));
    w.i32(count);
    w.i32(0);
    EXPECT_THROW(read_glyph_stream(w.data()), core::Error);
  }
}

TEST(GlyphStream, EveryTruncationOfEveryVersionIsAnError) {
  for (StreamVersion v : kVersions) {
    const std::vector<std::uint8_t> full = write_glyph_stream(rich(), v);
    for (std::size_t n = 0; n < full.size(); ++n) {
      const std::span<const std::uint8_t> cut(full.data(), n);
      EXPECT_THROW(read_glyph_stream(cut), core::Error) << "version " << v.number << ", " << n << " bytes";
    }
  }
}

TEST(GlyphStream, EndEventsAreMarkedByALeadingByteOne) {
  const auto stored = stream_with(3, [](auto& w) {
    w.u8(6);
    w.str(
        "\x01"
        "abc");
    w.u8(6);
    w.str("\x01");
    w.u8(6);
    w.str(
        "\x02"
        "x");
  });
  const ParsedText text = read_glyph_stream(stored);
  EXPECT_EQ(std::get<TWdOpeEvent>(text[0]), (TWdOpeEvent{"abc", true}));
  EXPECT_EQ(std::get<TWdOpeEvent>(text[1]), (TWdOpeEvent{"", true}));
  EXPECT_EQ(std::get<TWdOpeEvent>(text[2]), (TWdOpeEvent{"\x02"
                                                         "x",
                                                         false}));
  EXPECT_EQ(write_glyph_stream(text), stored);
}

TEST(GlyphStream, ProducedGlyphsAreNotStored) {
  ParsedText text = parse_utf8("a<VAR NAME=v>b");
  const std::vector<std::uint8_t> before = write_glyph_stream(text);
  NameValueList names;
  names.set("v", "xyz\r");
  prepare_variables(text, 0, -1, false, {&names, nullptr});
  ASSERT_EQ(text.size(), 7u);
  EXPECT_EQ(write_glyph_stream(text), before);
}

TEST(GlyphStream, WritesThatTheVersionCannotHoldAreRefused) {
  const ParsedText named = rich();
  const ParsedText old = read_glyph_stream(write_glyph_stream(named, {101, true}));
  const ParsedText not_an_expression = parse_utf8("<VAR NAME=\"(a\">");
  core::ByteWriter w;
  w.u8(0xAB);
  // A variable read compiled has no name for the newer versions.
  EXPECT_THROW(write_glyph_stream(w, old, {102, true}), core::Error);
  EXPECT_NO_THROW(write_glyph_stream(old, {100, true}));
  // A name that does not compile has no form for the older ones.
  EXPECT_THROW(write_glyph_stream(w, not_an_expression, {101, true}), core::Error);
  EXPECT_NO_THROW(write_glyph_stream(not_an_expression, {102, true}));
  EXPECT_THROW(write_glyph_stream(w, named, {1000, true}), core::Error);
  EXPECT_THROW(write_glyph_stream(w, named, {-1, true}), core::Error);
  EXPECT_THROW(write_glyph_stream(w, named, {3, false}), core::Error);
  EXPECT_EQ(w.size(), 1u);
}

}  // namespace
}  // namespace nova::text
