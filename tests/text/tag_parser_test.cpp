// Every tag and attribute of the tag language, the decoration state they
// change and the glyphs they add.
#include "text/tag_parser.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "text/line_rules.h"
#include "text_test_support.h"

namespace nova::text {
namespace {

using support::chars_of;
using support::decoration_of;
using support::expect_counts_match_references;
using support::parse_utf8;
using support::shown_text;

TEST(TagSyntax, NamesAttributesAndValues) {
  const Tag font = parse_tag(test::sjis("< font size=12 COLOR=\"#FF0000\" name='ＭＳ 明朝' BORDER shadow=\"2\" >"));
  EXPECT_EQ(font.name, "font");
  ASSERT_EQ(font.attributes.size(), 5u);
  EXPECT_EQ(*font.find("SIZE"), "12");
  EXPECT_EQ(*font.find("color"), "#FF0000");
  EXPECT_EQ(*font.find("Name"), test::sjis("ＭＳ 明朝"));
  EXPECT_EQ(*font.find("BORDER"), "");
  EXPECT_EQ(*font.find("SHADOW"), "2");
  EXPECT_EQ(font.find("BCOLOR"), nullptr);

  // An unmatched quote runs to the next blank; the first of two equal names
  // wins; a name may end at "=" directly.
  const Tag img = parse_tag("<IMG SRC=\"a b ALIGN=top ALIGN=center>");
  EXPECT_EQ(img.name, "IMG");
  EXPECT_EQ(*img.find("SRC"), "a");
  EXPECT_EQ(*img.find("ALIGN"), "top");
  // The value follows the "=" directly: blanks around it end the attribute.
  const Tag spaced = parse_tag("<FONT SIZE = 12 COLOR= #FF0000>");
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const auto& a : spaced.attributes) pairs.emplace_back(a.name, a.value);
  EXPECT_EQ(pairs, (std::vector<std::pair<std::string, std::string>>{
                       {"SIZE", ""}, {"", ""}, {"12", ""}, {"COLOR", ""}, {"#FF0000", ""}}));
  EXPECT_EQ(parse_tag("<BR=x>").name, "BR");
  EXPECT_EQ(*parse_tag("<BR=x>").find(""), "x");

  // Double-byte characters are single units: a trail byte 0x7C or 0x5C
  // inside a value is no delimiter, and a quote after one still closes.
  const std::string po = test::sjis("ポ"), so = test::sjis("ソ");
  const Tag var = parse_tag("<VAR NAME=" + po + so + " X='" + so + "'>");
  EXPECT_EQ(*var.find("NAME"), po + so);
  EXPECT_EQ(*var.find("X"), so);
}

TEST(TagSyntax, UnescapeFollowsStringLiterals) {
  EXPECT_EQ(unescape_literal("a\\\"b\\\\c\\nd\\te"), "a\"b\\c\r\nd\\te");
  EXPECT_EQ(unescape_literal("end\\"), "end\\");
  const std::string so = test::sjis("ソ");
  // ソ ends in 0x5C: it does not escape the "n" after it.
  EXPECT_EQ(unescape_literal(so + "n"), so + "n");
}

TEST(TagLanguage, TextBecomesOneGlyphPerCharacterWithTheStartingWait) {
  const ParsedText text = parse_utf8("aあ｡", 30);
  const auto chars = chars_of(text);
  ASSERT_EQ(chars.size(), 3u);
  EXPECT_EQ(chars[0].code, 'a');
  EXPECT_EQ(chars[1].code, 0x82A0);
  EXPECT_EQ(chars[2].code, 0xA1);
  for (const auto& c : chars) {
    EXPECT_EQ(c.wait, 30);
    EXPECT_EQ(c.link, "");
    EXPECT_EQ(decoration_of(text, c), TDecorate{});
  }
  ASSERT_EQ(text.decorations().size(), 1);
  EXPECT_EQ(text.decorations().ref_count(0), 3);
  EXPECT_EQ(text.version(), kCurrentStreamVersion);
}

TEST(TagLanguage, TwoLinesShowAsOneUnlessBrokenByBr) {
  EXPECT_EQ(shown_text(parse_utf8("ab\ncd")), "ab cd");
  EXPECT_EQ(shown_text(parse_utf8("ab<BR>\ncd")), "ab|cd");
  EXPECT_EQ(shown_text(parse_utf8("<PRE>\nx\ty\nz\n</PRE>w")), "x        y|zw");
}

// The blank line between two paragraphs is one more space glyph (with its
// wait and caret position), and a lead byte at the end of the text is none.
TEST(TagLanguage, BlankLinesKeepTheirSpaceAndADanglingLeadByteShowsNothing) {
  const ParsedText text = parse_utf8("Hello\n\nWorld");
  EXPECT_EQ(shown_text(text), "Hello  World");
  EXPECT_EQ(chars_of(text).size(), 12u);
  const ParsedText dangling = parse_tagged_text("ab\x82");
  EXPECT_EQ(shown_text(dangling), "ab");
  EXPECT_TRUE(parse_tagged_text("\x82").empty());
}

// Sizes and widths lie far above real use; these caps keep a script or a
// stored text from asking for glyphs of any size.
TEST(TagLanguage, FontSizeBorderAndShadowAreCapped) {
  const ParsedText text = parse_utf8(
      "<FONT SIZE=99999 BORDER=1000 SHADOW=65>a</FONT>"
      "<FONT SIZE=-99999 BORDER=64 SHADOW=-1>b</FONT>"
      "<FONT SIZE=-1024 BORDER=63>c</FONT><FONT SIZE=1024>d</FONT><FONT SIZE=-7>e");
  const auto chars = chars_of(text);
  ASSERT_EQ(chars.size(), 5u);
  const TDecorate& a = decoration_of(text, chars[0]);
  EXPECT_EQ(a.size, 1024);
  EXPECT_EQ(a.border_width, 64);
  EXPECT_EQ(a.shadow_width, 64);
  const TDecorate& b = decoration_of(text, chars[1]);
  EXPECT_EQ(b.size, -1024);  // the sign stays; the rasterizer takes the magnitude
  EXPECT_EQ(b.border_width, 64);
  EXPECT_EQ(b.shadow_width, 0);
  EXPECT_EQ(decoration_of(text, chars[2]).size, -1024);
  EXPECT_EQ(decoration_of(text, chars[2]).border_width, 63);
  EXPECT_EQ(decoration_of(text, chars[3]).size, 1024);
  EXPECT_EQ(decoration_of(text, chars[4]).size, -7);
}

TEST(TagLanguage, StyleTagsSetAndClearTheirBits) {
  const ParsedText text = parse_utf8("<B>a<I>b</B>c</I>d<U>e</U><S>f</S><b>g</B>h");
  const auto chars = chars_of(text);
  const std::uint8_t expected[] = {FS_BOLD, FS_BOLD | FS_ITALIC, FS_ITALIC, 0, FS_UNDERLINE, FS_STRIKEOUT, FS_BOLD, 0};
  ASSERT_EQ(chars.size(), std::size(expected));
  for (std::size_t i = 0; i < chars.size(); ++i) EXPECT_EQ(decoration_of(text, chars[i]).style, expected[i]) << i;
  expect_counts_match_references(text);
  // a and g share one record, d and h another.
  EXPECT_EQ(chars[0].decoration, chars[6].decoration);
  EXPECT_EQ(chars[3].decoration, chars[7].decoration);
  EXPECT_EQ(text.decorations().size(), 6);
}

TEST(TagLanguage, FontPushesAllSevenStacksAndPopsThemTogether) {
  const ParsedText text = parse_utf8(
      "<FONT SIZE=20 COLOR=#FF8000 BCOLOR=#000001 SCOLOR=#102030 NAME=\"ＭＳ 明朝\" BORDER=2 SHADOW>x"
      "<FONT COLOR=#000000>y</FONT>z</FONT>w");
  const auto chars = chars_of(text);
  ASSERT_EQ(chars.size(), 4u);
  const TDecorate& x = decoration_of(text, chars[0]);
  EXPECT_EQ(x.size, 20);
  EXPECT_EQ(x.color, 0x0080FF);  // red in the low byte
  EXPECT_EQ(x.border_color, 0x010000);
  EXPECT_EQ(x.shadow_color, 0x302010);
  EXPECT_EQ(x.font_name, test::sjis("ＭＳ 明朝"));
  EXPECT_EQ(x.border_width, 2);
  EXPECT_EQ(x.shadow_width, 1);
  // The inner FONT only changes the color; everything else stays.
  TDecorate y = x;
  y.color = 0;
  EXPECT_EQ(decoration_of(text, chars[1]), y);
  EXPECT_EQ(decoration_of(text, chars[2]), x);
  EXPECT_EQ(decoration_of(text, chars[3]), TDecorate{});
  expect_counts_match_references(text);
}

TEST(TagLanguage, FontValuesThatDoNotParseKeepTheCurrentOnes) {
  const ParsedText text = parse_utf8(
      "<FONT SIZE=14 COLOR=#112233 BORDER=3 SHADOW=2 NAME=a>"
      "<FONT SIZE=big COLOR=FF0000 BCOLOR=#12345 SCOLOR=#GG0000>a"
      "<FONT BORDER=-3 SHADOW=wide>b<FONT SIZE=$10 NAME=\"\">c");
  const auto chars = chars_of(text);
  ASSERT_EQ(chars.size(), 3u);
  const TDecorate& a = decoration_of(text, chars[0]);
  EXPECT_EQ(a.size, 14);
  EXPECT_EQ(a.color, 0x332211);
  EXPECT_EQ(a.border_color, -1);
  EXPECT_EQ(a.shadow_color, -1);
  EXPECT_EQ(a.border_width, 3);
  EXPECT_EQ(a.shadow_width, 2);
  EXPECT_EQ(a.font_name, "a");
  const TDecorate& b = decoration_of(text, chars[1]);
  EXPECT_EQ(b.border_width, 0);  // negative becomes 0
  EXPECT_EQ(b.shadow_width, 1);  // present without a number
  const TDecorate& c = decoration_of(text, chars[2]);
  EXPECT_EQ(c.size, 16);
  EXPECT_EQ(c.font_name, "");
  EXPECT_EQ(c.border_width, 0);
}

TEST(TagLanguage, ClosingTagsWithoutOpeningOnesChangeNothing) {
  const ParsedText text = parse_utf8("</FONT></B></WAIT></DIV></A></RUBY></NOBR>a", 30);
  const auto chars = chars_of(text);
  ASSERT_EQ(chars.size(), 1u);
  EXPECT_EQ(decoration_of(text, chars[0]), TDecorate{});
  EXPECT_EQ(chars[0].wait, 30);
  // /DIV still adds an alignment glyph with the (default) top value.
  ASSERT_EQ(text.size(), 2u);
  EXPECT_EQ(std::get<TWdOpeAlign>(text[0]).align, Align::Left);
}

TEST(TagLanguage, NoBreakAndRuby) {
  const ParsedText text = parse_utf8("<NOBR>a<RUBY VALUE=かんじ>漢字</NOBR>x</RUBY>y<RUBY>z");
  const auto chars = chars_of(text);
  ASSERT_EQ(chars.size(), 6u);
  EXPECT_TRUE(decoration_of(text, chars[0]).no_break);
  EXPECT_EQ(decoration_of(text, chars[0]).ruby, "");
  EXPECT_TRUE(decoration_of(text, chars[1]).no_break);
  EXPECT_EQ(decoration_of(text, chars[1]).ruby, test::sjis("かんじ"));
  EXPECT_EQ(chars[1].decoration, chars[2].decoration);
  EXPECT_FALSE(decoration_of(text, chars[3]).no_break);
  EXPECT_EQ(decoration_of(text, chars[3]).ruby, test::sjis("かんじ"));
  EXPECT_EQ(decoration_of(text, chars[4]), TDecorate{});
  EXPECT_EQ(decoration_of(text, chars[5]).ruby, "");
}

TEST(TagLanguage, DivPushesAlignmentsAndAddsAGlyphEachTime) {
  const ParsedText text = parse_utf8(
      "<DIV ALIGN=right>a<DIV ALIGN=CENTER>b</DIV>c</DIV></DIV><DIV ALIGN=TOP><DIV ALIGN=bottom><DIV><DIV "
      "ALIGN=Left>");
  std::vector<Align> aligns;
  for (const TWdGlyph& g : text.glyphs()) {
    if (const auto* a = std::get_if<TWdOpeAlign>(&g)) aligns.push_back(a->align);
  }
  // TOP and BOTTOM are not accepted by DIV and give LEFT.
  const std::vector<Align> expected = {Align::Right, Align::Center, Align::Right, Align::Left, Align::Left,
                                       Align::Left,  Align::Left,   Align::Left,  Align::Left};
  EXPECT_EQ(aligns, expected);
  EXPECT_EQ(shown_text(text), "abc");
}

TEST(TagLanguage, IndentUndentBreaksAndPageBreaks) {
  const ParsedText text = parse_utf8("<INDENT>a<BR>b<UNDENT><BR CLEAR>c<CLEAR>d<br clear=all>");
  ASSERT_EQ(text.size(), 10u);
  EXPECT_TRUE(std::holds_alternative<TWdOpeIndent>(text[0]));
  EXPECT_EQ(std::get<TWdOpeReturn>(text[2]).clear, false);
  EXPECT_TRUE(std::holds_alternative<TWdOpeUndent>(text[4]));
  EXPECT_EQ(std::get<TWdOpeReturn>(text[5]).clear, true);
  EXPECT_EQ(std::get<TWdOpeReturn>(text[7]).clear, true);
  EXPECT_EQ(std::get<TWdOpeReturn>(text[9]).clear, true);
  EXPECT_EQ(shown_text(text), "a|b|c|d|");
}

TEST(TagLanguage, EventsCarryTheirUnescapedValueAndEndFlag) {
  // In quotes the backslashes reach the unescaping; a quote in a value is
  // written bare with the tokenizer's escape.
  const ParsedText text = parse_utf8(
      "<EVENT VALUE=\"a\\nb \\\\ c\"><EVENT VALUE=x END><EVENT><EVENT VALUE=p\\nq><EVENT VALUE=say\\\"hi\\\">");
  ASSERT_EQ(text.size(), 5u);
  EXPECT_EQ(std::get<TWdOpeEvent>(text[0]), (TWdOpeEvent{"a\r\nb \\ c", false}));
  EXPECT_EQ(std::get<TWdOpeEvent>(text[4]).text, "say\"hi\"");
  EXPECT_EQ(std::get<TWdOpeEvent>(text[1]), (TWdOpeEvent{"x", true}));
  EXPECT_EQ(std::get<TWdOpeEvent>(text[2]), (TWdOpeEvent{"", false}));
  // Outside quotes the tokenizer has already dropped the unknown escape.
  EXPECT_EQ(std::get<TWdOpeEvent>(text[3]).text, "pnq");
}

TEST(TagLanguage, WaitStackAndItsStartingValue) {
  const ParsedText text = parse_utf8("a<WAIT VALUE=100>b<WAIT VALUE=x>c</WAIT>d</WAIT>e</WAIT>f<WAIT VALUE=-50>g", 30);
  std::vector<std::int32_t> waits;
  for (const auto& c : chars_of(text)) waits.push_back(c.wait);
  EXPECT_EQ(waits, (std::vector<std::int32_t>{30, 100, 100, 100, 30, 30, -50}));
}

TEST(TagLanguage, LinksAreSetByHrefAndClearedByTheClosingTag) {
  const ParsedText text = parse_utf8("<A HREF=\"page\\\\1\\nx\">ab</A>c<A HREF>d");
  const auto chars = chars_of(text);
  ASSERT_EQ(chars.size(), 4u);
  EXPECT_EQ(chars[0].link, "page\\1\r\nx");
  EXPECT_EQ(chars[1].link, chars[0].link);
  EXPECT_EQ(chars[2].link, "");
  EXPECT_EQ(chars[3].link, "");
  // The link is not part of the decoration.
  EXPECT_EQ(chars[0].decoration, chars[2].decoration);
}

TEST(TagLanguage, ALinkWithoutHrefRejectsTheWholeText) {
  try {
    parse_utf8("ok<A NAME=x>bad</A>");
    FAIL() << "no error";
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), test::sjis("<A>タグにHREF値がありません"));
  }
}

TEST(TagLanguage, VariablesTakeTheCurrentDecorationWaitAndLink) {
  const ParsedText text =
      parse_utf8("<A HREF=l><FONT SIZE=9><WAIT VALUE=7><VAR NAME=score><HISTCHAR VALUE=名前></WAIT><VAR>", 30);
  ASSERT_EQ(text.size(), 3u);
  const auto& var = std::get<TWdOpeVar>(text[0]);
  EXPECT_EQ(var.name, "score");
  EXPECT_EQ(var.wait, 7);
  EXPECT_EQ(var.link, "l");
  EXPECT_FALSE(var.compiled);
  EXPECT_EQ(text.decorations()[var.decoration].size, 9);
  const auto& hist = std::get<TWdOpeHistChar>(text[1]);
  EXPECT_EQ(hist.name, test::sjis("名前"));
  EXPECT_EQ(hist.decoration, var.decoration);
  const auto& bare = std::get<TWdOpeVar>(text[2]);
  EXPECT_EQ(bare.name, "");
  EXPECT_EQ(bare.wait, 30);
  expect_counts_match_references(text);
}

TEST(TagLanguage, ImagesCarryTheirStateAndAreIgnoredWithoutSource) {
  const ParsedText text = parse_utf8(
      "<NOBR><RUBY VALUE=r><A HREF=h><WAIT VALUE=5><IMG SRC=pic.png ALIGN=center></NOBR></RUBY></A>"
      "<IMG ALIGN=TOP><IMG SRC=a ALIGN=LEFT><IMG SRC=\"b c\" ALIGN=top><IMG SRC=d>");
  ASSERT_EQ(text.size(), 4u);
  const auto& first = std::get<TWdImg>(text[0]);
  EXPECT_EQ(first.source, "pic.png");
  EXPECT_EQ(first.align, Align::Center);
  EXPECT_TRUE(first.no_break);
  EXPECT_EQ(first.ruby, "r");
  EXPECT_EQ(first.link, "h");
  EXPECT_EQ(first.wait, 5);
  EXPECT_EQ(std::get<TWdImg>(text[1]).align, Align::Bottom);  // LEFT is not an image alignment
  EXPECT_EQ(std::get<TWdImg>(text[2]).source, "b c");
  EXPECT_EQ(std::get<TWdImg>(text[2]).align, Align::Top);
  EXPECT_EQ(std::get<TWdImg>(text[3]).align, Align::Bottom);
  EXPECT_FALSE(std::get<TWdImg>(text[3]).no_break);
  EXPECT_EQ(text.decorations().size(), 0);
}

TEST(TagLanguage, UnknownTagsAndRawBlocksShowNothing) {
  EXPECT_EQ(shown_text(parse_utf8("<P>a<!-- <B>c -->b<SCRIPT>x</SCRIPT><FOO BAR=1>c</P>")), "abc");
  EXPECT_EQ(chars_of(parse_utf8("<!-- <B> -->a")).size(), 1u);
  EXPECT_EQ(decoration_of(parse_utf8("<!-- <B> -->a"), chars_of(parse_utf8("<!-- <B> -->a"))[0]).style, 0);
}

TEST(TagLanguage, EscapedAndQuotedMarkupShowsAsText) {
  EXPECT_EQ(shown_text(parse_utf8("\\<B>x")), "<B>x");
  EXPECT_EQ(decoration_of(parse_utf8("\\<B>x"), chars_of(parse_utf8("\\<B>x"))[1]).style, 0);
  // A quote keeps "<" literal and drops the line break.
  EXPECT_EQ(shown_text(parse_utf8("say \"a<B>b\nc\" d")), "say \"a<B>bc\" d");
  EXPECT_EQ(shown_text(parse_utf8("1 \\> 0, \\{\\}")), "1 > 0, {}");
}

TEST(TagLanguage, TrailBytesThatLookLikeDelimitersComeThroughWhole) {
  // 表 ソ 能 end in 0x5C, ポ − in 0x7C.
  const ParsedText text = parse_utf8("<B>表</B>ソ\\<ポ<RUBY VALUE=能>−</RUBY>");
  const auto chars = chars_of(text);
  ASSERT_EQ(chars.size(), 5u);
  EXPECT_EQ(chars[0].code, 0x955C);
  EXPECT_EQ(decoration_of(text, chars[0]).style, FS_BOLD);
  EXPECT_EQ(chars[1].code, 0x835C);
  EXPECT_EQ(chars[2].code, '<');
  EXPECT_EQ(chars[3].code, 0x837C);
  EXPECT_EQ(chars[4].code, 0x817C);
  EXPECT_EQ(decoration_of(text, chars[4]).ruby, test::sjis("能"));
  EXPECT_EQ(shown_text(text), test::sjis("表ソ<ポ−"));
}

TEST(LineRules, CharactersThatMayNotBeginOrEndALine) {
  for (const char* s : {"。", "、", "」", "』", ")", "）", "!", "?", "！", "？", "】", "｣", "､", "｡"}) {
    const std::string c = test::sjis(s);
    const std::uint16_t code =
        c.size() == 2
            ? static_cast<std::uint16_t>(static_cast<std::uint8_t>(c[0]) << 8 | static_cast<std::uint8_t>(c[1]))
            : static_cast<std::uint8_t>(c[0]);
    EXPECT_TRUE(may_not_begin_line(code)) << s;
    EXPECT_FALSE(may_not_end_line(code)) << s;
  }
  for (std::uint16_t code : std::initializer_list<std::uint16_t>{0x8175 /*「*/, 0x8177 /*『*/, 0x8169 /*（*/, '(', '[',
                                                                 '<', 0x8179 /*【*/, 0xA2 /*｢*/}) {
    EXPECT_TRUE(may_not_end_line(code)) << code;
    EXPECT_FALSE(may_not_begin_line(code)) << code;
  }
  EXPECT_FALSE(may_not_begin_line('a'));
  EXPECT_FALSE(may_not_end_line(0x82A0));
}

}  // namespace
}  // namespace nova::text
