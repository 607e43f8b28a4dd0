// Cutting tagged text into tokens: lines, PRE and TEXTAREA blocks, raw
// blocks, quotes, escapes and the spacing rules, and double-byte characters
// whose trail byte looks like a delimiter.
#include "text/tokenizer.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace nova::text {
namespace {

// Tokens as "text" or "[markup]" for readable comparisons.
std::vector<std::string> cut(std::string_view joined) {
  std::vector<std::string> out;
  for (const Token& t : tokenize(joined)) out.push_back(t.markup ? "[" + t.text + "]" : t.text);
  return out;
}

std::vector<std::string> cut_lines(std::initializer_list<std::string> lines) {
  std::vector<std::string> v(lines);
  return cut(join_lines(v));
}

using Tokens = std::vector<std::string>;

TEST(Tokenizer, SplitsLinesAtEveryBreakButTheLast) {
  EXPECT_EQ(split_lines("a\r\nb\nc\rd"), (Tokens{"a", "b", "c", "d"}));
  EXPECT_EQ(split_lines("a\r\n"), (Tokens{"a"}));
  EXPECT_EQ(split_lines("a\r\n\r\n"), (Tokens{"a", ""}));
  EXPECT_EQ(split_lines("\n"), (Tokens{""}));
  EXPECT_EQ(split_lines(""), Tokens{});
  EXPECT_EQ(split_lines("\r\r\n"), (Tokens{"", ""}));
  // A lead byte keeps the byte after it, even a line break.
  EXPECT_EQ(split_lines("\x81\nx"), (Tokens{"\x81\nx"}));
  const std::vector<std::string> lines = {"ab", "", "cd"};
  EXPECT_EQ(join_lines(lines), "ab\r\rcd");
}

TEST(Tokenizer, LineBreaksBecomeSpacesAndOnlyTagsBreakLines) {
  EXPECT_EQ(cut_lines({"ab", "cd"}), (Tokens{"ab cd"}));
  EXPECT_EQ(cut_lines({"ab<BR>", "cd"}), (Tokens{"ab", "[<BR>]", "cd"}));
  EXPECT_EQ(cut_lines({"ab ", "cd"}), (Tokens{"ab cd"}));
  // A break right after a tag or at the start adds nothing.
  EXPECT_EQ(cut_lines({"", "ab"}), (Tokens{"ab"}));
  EXPECT_EQ(cut_lines({"<B>", "ab"}), (Tokens{"[<B>]", "ab"}));
  // Inside a tag a break is a blank between attributes.
  EXPECT_EQ(cut_lines({"<FONT", "SIZE=3>x"}), (Tokens{"[<FONT SIZE=3>]", "x"}));
}

TEST(Tokenizer, SpacesCollapseTabsDropAndTheSpaceMarkIsOneSpace) {
  EXPECT_EQ(cut("a   b"), (Tokens{"a b"}));
  EXPECT_EQ(cut(" a"), (Tokens{" a"}));
  EXPECT_EQ(cut("<B>  a"), (Tokens{"[<B>]", " a"}));
  EXPECT_EQ(cut("a\tb"), (Tokens{"ab"}));
  EXPECT_EQ(cut("a\x14\x14 b"), (Tokens{"a b"}));
  EXPECT_EQ(cut("\x14"
                "a"),
            (Tokens{" a"}));
  // A full-width space is a character like any other.
  const std::string wide = test::sjis("a　　b");
  EXPECT_EQ(cut(wide), (Tokens{wide}));
}

TEST(Tokenizer, PreKeepsLineBreaksAndTabsButNotTheBreaksAtItsEdges) {
  EXPECT_EQ(cut_lines({"<PRE>", "x\ty", "z", "</PRE>", "w"}),
            (Tokens{"[<PRE>]", "x        y", "[<BR>]", "z", "[</PRE>]", "w"}));
  EXPECT_EQ(cut_lines({"<pre>a", "", "b</pre>"}), (Tokens{"[<pre>]", "a", "[<BR>]", "[<BR>]", "b", "[</pre>]"}));
  EXPECT_EQ(cut("<PRE>a\x14\x14"
                "b</PRE>"),
            (Tokens{"[<PRE>]", "a  b", "[</PRE>]"}));
  // Inside a tag of a PRE block a line break is still a blank.
  EXPECT_EQ(cut_lines({"<PRE><FONT", "SIZE=2>a", "</PRE>"}), (Tokens{"[<PRE>]", "[<FONT SIZE=2>]", "a", "[</PRE>]"}));
  // A literal "<BR>" written as text is not taken for the break.
  EXPECT_EQ(cut_lines({"<PRE>\\<BR>", "</PRE>"}), (Tokens{"[<PRE>]", "<BR>", "[</PRE>]"}));
}

TEST(Tokenizer, TextAreaEndsTokensAtLineBreaksWithoutBreaking) {
  EXPECT_EQ(cut_lines({"<TEXTAREA>", "a", "b\tc", "</TEXTAREA>d"}),
            (Tokens{"[<TEXTAREA>]", "a", "b        c", "[</TEXTAREA>]", "d"}));
  // PRE does not start inside a TEXTAREA block.
  EXPECT_EQ(cut_lines({"<TEXTAREA><PRE>a", "b</TEXTAREA>", "c"}),
            (Tokens{"[<TEXTAREA>]", "[<PRE>]", "a", "b", "[</TEXTAREA>]", "c"}));
}

TEST(Tokenizer, RawBlocksAreOneTokenWhateverTheyHold) {
  EXPECT_EQ(cut("a<!-- x <B> \"q -->b"), (Tokens{"a", "[<!-- x <B> \"q -->]", "b"}));
  EXPECT_EQ(cut("<!-- a <!-- b --> c -->d"), (Tokens{"[<!-- a <!-- b --> c -->]", "d"}));
  EXPECT_EQ(cut("<script>if (a<b) x();\ry</SCRIPT>z"), (Tokens{"[<script>if (a<b) x();\r\ny</SCRIPT>]", "z"}));
  EXPECT_EQ(cut("<Style>p {}</style>"), (Tokens{"[<Style>p {}</style>]"}));
  // Unclosed at the end of the text: markup that is not a tag.
  const auto open = tokenize("x<!-- y");
  ASSERT_EQ(open.size(), 2u);
  EXPECT_FALSE(is_tag(open[1]));
  // A closer outside a raw block is an ordinary closing tag.
  EXPECT_EQ(cut("a-->b"), (Tokens{"a-->b"}));
}

TEST(Tokenizer, BackslashEscapesAndQuotes) {
  EXPECT_EQ(cut("a\\<b"), (Tokens{"a<b"}));
  EXPECT_EQ(cut("\\<B>"), (Tokens{"<B>"}));
  EXPECT_FALSE(is_tag(tokenize("\\<B>")[0]));
  EXPECT_EQ(cut("\\\\ \\% \\{\\} \\>"), (Tokens{"\\ % {} >"}));
  EXPECT_EQ(cut("\\q\\"), (Tokens{"q"}));
  // An escaped quote does not open a quote; a plain one does, and keeps "<"
  // literal and drops line breaks and tabs up to the next quote.
  EXPECT_EQ(cut("\\\"<B>"), (Tokens{"\"", "[<B>]"}));
  EXPECT_EQ(cut_lines({"say \"a<B>\tb\\", "c\" <I>"}), (Tokens{"say \"a<B>b\\c\" ", "[<I>]"}));
  // Quotes inside a tag keep ">" and blanks in a value.
  EXPECT_EQ(cut("<A HREF=\"x > y\">t"), (Tokens{"[<A HREF=\"x > y\">]", "t"}));
}

TEST(Tokenizer, AngleBracketsOutsideAndInsideTags) {
  EXPECT_EQ(cut("a>b"), (Tokens{"a>b"}));
  EXPECT_EQ(cut("x<A <B>>y"), (Tokens{"x", "[<A <B>]", "y"}));
  EXPECT_EQ(cut("a<b"), (Tokens{"a", "[<b]"}));
  EXPECT_FALSE(is_tag(tokenize("a<b")[1]));
  EXPECT_FALSE(is_tag(tokenize("<>")[0]));
  EXPECT_TRUE(is_tag(tokenize("<X>")[0]));
}

// A line break becomes a space unless the byte right before it is a space:
// an empty line, a space mark or a dropped tab before it still give one, so
// the blank line between two paragraphs keeps its space.
TEST(Tokenizer, ALineBreakLooksAtTheByteBeforeItNotAtTheToken) {
  EXPECT_EQ(cut_lines({"Hello", "", "World"}), (Tokens{"Hello  World"}));
  EXPECT_EQ(cut("a\x14\rb"), (Tokens{"a  b"}));
  EXPECT_EQ(cut("a \t\rb"), (Tokens{"a  b"}));
  EXPECT_EQ(cut("a \rb"), (Tokens{"a b"}));
  EXPECT_EQ(cut_lines({"Hello", "", "", "World"}), (Tokens{"Hello   World"}));
}

// "<\SCRIPT>" is a whole tag, not a raw block: from it to "</SCRIPT>" line
// breaks end tokens, tabs are eight spaces and space marks are kept, and the
// break right after the opening tag is skipped.
TEST(Tokenizer, ScriptTagsCountAndSwitchTheLineRules) {
  EXPECT_EQ(cut("<\\SCRIPT>\ra\tb"), (Tokens{"[<SCRIPT>]", "a        b"}));
  EXPECT_EQ(cut("<\\SCRIPT>x\ry\x14\x14z</\\SCRIPT>\tw"), (Tokens{"[<SCRIPT>]", "x", "y  z", "[</SCRIPT>]", "w"}));
  // Nested openings need as many closings.
  EXPECT_EQ(cut("<\\script><\\SCRIPT></\\SCRIPT>a\tb</\\SCRIPT>a\tb"),
            (Tokens{"[<script>]", "[<SCRIPT>]", "[</SCRIPT>]", "a        b", "[</SCRIPT>]", "ab"}));
  // Inside a tag a break is still a blank.
  EXPECT_EQ(cut("<\\SCRIPT><FONT\rSIZE=2>"), (Tokens{"[<SCRIPT>]", "[<FONT SIZE=2>]"}));
}

// Rules that hold today, pinned from hand-written bytes.
TEST(Tokenizer, SpaceMarksInQuotesRawBlocksInTagsAndBreaksBeforeClosingTags) {
  // Inside quotes 0x14 is kept as the byte it is.
  EXPECT_EQ(cut("\"a\x14\x14 b\""), (Tokens{"\"a\x14\x14 b\""}));
  // A raw block opened inside a tag ends the tag's token; the ">" that
  // closes the tag later ends a token that is no tag.
  const auto raw = tokenize("<B <!-- x --> >y");
  EXPECT_EQ(cut("<B <!-- x --> >y"), (Tokens{"[<B ]", "[<!-- x -->]", "[ >]", "y"}));
  ASSERT_EQ(raw.size(), 4u);
  EXPECT_FALSE(is_tag(raw[0]));
  EXPECT_FALSE(is_tag(raw[2]));
  // "</TEXTAREA" (as "</PRE") drops a "<BR>" right before it, a written one too.
  EXPECT_EQ(cut("<TEXTAREA>a<BR></TEXTAREA>b"), (Tokens{"[<TEXTAREA>]", "a", "[</TEXTAREA>]", "b"}));
  EXPECT_EQ(cut("<TEXTAREA>a<BR>b</TEXTAREA>"), (Tokens{"[<TEXTAREA>]", "a", "[<BR>]", "b", "[</TEXTAREA>]"}));
  EXPECT_EQ(cut("<PRE>a<BR></PRE>"), (Tokens{"[<PRE>]", "a", "[</PRE>]"}));
}

// A lead byte with nothing after it is no character.
TEST(Tokenizer, ALeadByteAtTheVeryEndIsDropped) {
  EXPECT_EQ(cut("ab\x82"), (Tokens{"ab"}));
  EXPECT_EQ(cut("\x82"), Tokens{});
  EXPECT_EQ(cut("<B>\x82"), (Tokens{"[<B>]"}));
  EXPECT_EQ(cut("\"q\x82"), (Tokens{"\"q"}));
  // Not when a byte follows it: that byte is its trail, whatever it is.
  EXPECT_EQ(cut("a\x82\x9F"), (Tokens{"a\x82\x9F"}));
}

// 表 ソ 能 end in 0x5C, ポ and − in 0x7C; none of them may act as a
// backslash or a bar, before any rule.
TEST(Tokenizer, DoubleByteCharactersWithDelimiterTrailBytesComeThroughWhole) {
  const std::string hyo = test::sjis("表");
  const std::string so = test::sjis("ソ");
  const std::string po = test::sjis("ポ");
  ASSERT_EQ(hyo[1], '\\');
  ASSERT_EQ(so[1], '\\');
  ASSERT_EQ(po[1], '|');
  // The trail byte does not escape the "<" after it.
  EXPECT_EQ(cut(so + "<B>" + hyo), (Tokens{so, "[<B>]", hyo}));
  // Nor does it escape a quote, which therefore opens a quote.
  EXPECT_EQ(cut(hyo + "\"<B>\""), (Tokens{hyo + "\"<B>\""}));
  // Nor is it dropped as an unknown escape.
  EXPECT_EQ(cut(test::sjis("表示能力ソフト")), (Tokens{test::sjis("表示能力ソフト")}));
  EXPECT_EQ(cut("<A HREF=" + so + ">" + po), (Tokens{"[<A HREF=" + so + ">]", po}));
  // Inside quotes, raw blocks, PRE and TEXTAREA alike.
  EXPECT_EQ(cut("\"" + so + "\"" + so), (Tokens{"\"" + so + "\"" + so}));
  EXPECT_EQ(cut("<!--" + so + "-->"), (Tokens{"[<!--" + so + "-->]"}));
  EXPECT_EQ(cut("<PRE>" + so + "\r" + po + "</PRE>"), (Tokens{"[<PRE>]", so, "[<BR>]", po, "[</PRE>]"}));
  // A '>' that is the trail byte of a malformed pair does not close a tag.
  const auto odd = tokenize("<\x81>");
  ASSERT_EQ(odd.size(), 1u);
  EXPECT_FALSE(is_tag(odd[0]));
}

}  // namespace
}  // namespace nova::text
