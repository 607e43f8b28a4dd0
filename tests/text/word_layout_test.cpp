// The layout on exact geometry: cells from decorations, every break rule,
// the line-breaking sets, alignment with indents, rows with aligned
// pictures, page breaks and paging, and the rows that must end.
#include <gtest/gtest.h>

#include "kvword_test_support.h"
#include "text/word_render.h"

namespace nova::text {
namespace {

using Strings = std::vector<std::string>;

class Layout : public support::EngineFixture {};

TEST_F(Layout, CellsComeFromTheDecorationAlone) {
  setup(0, 100, 20);
  auto& pages = lay(
      "aあ<I>あ</I><RUBY VALUE=\"かな\">漢</RUBY><FONT BORDER=2>あ</FONT><FONT SHADOW=3>あ</FONT>"
      "<FONT BORDER=1 SHADOW=2><I><RUBY VALUE=\"x\">字</RUBY></I></FONT><FONT SIZE=-30>あ</FONT>");
  ASSERT_EQ(pages.size(), 1u);
  const std::vector<std::pair<int, int>> cells = {
      {20, 20},  // a half-width character takes a full cell
      {20, 20}, {24, 20}, {20, 30}, {24, 24}, {23, 23}, {28, 34}, {30, 30}};
  for (std::size_t i = 0; i < cells.size(); ++i) {
    SCOPED_TRACE(i);
    const PlacedGlyph& p = nth_char(pages[0], static_cast<int>(i));
    EXPECT_EQ(p.width, cells[i].first);
    EXPECT_EQ(p.height, cells[i].second);
  }
  // Sizes and widths of the settings are limited as the tags' are.
  KvWordSettings s = m_word.settings();
  s.font_size = 5000;
  s.border_width = 100;
  s.shadow_width = -4;
  m_word.set_settings(s);
  EXPECT_EQ(m_word.settings().border_width, 64);
  EXPECT_EQ(m_word.settings().shadow_width, 0);
  lay("あ");
  EXPECT_EQ(nth_char(m_pages[0], 0).width, 1024 + 128);
  s.font_size = 0;
  m_word.set_settings(s);
  lay("あ");
  EXPECT_EQ(nth_char(m_pages[0], 0).height, 1 + 128);
}

TEST_F(Layout, EachBreakRuleKeepsItsUnitOnOneRow) {
  // Cells of 10; the limits hold five of them.
  setup(50, 1000, 10);
  // Words of single-byte characters stay whole; the space stays with the
  // word before it.
  EXPECT_EQ(rows_of(lay("abc defgh")[0]), (Strings{"abc ", "defgh"}));
  EXPECT_EQ(rows_of(lay("abcde fg")[0]), (Strings{"abcde ", "fg"}));
  // A character that may not begin a row goes with the one before it.
  EXPECT_EQ(rows_of(lay("あいうえお。")[0]), (Strings{"あいうえ", "お。"}));
  EXPECT_EQ(rows_of(lay("あいうえおか")[0]), (Strings{"あいうえお", "か"}));
  // One that may not end a row goes with the unit after it.
  EXPECT_EQ(rows_of(lay("あいう「え」")[0]), (Strings{"あいう", "「え」"}));
  // No-break glyphs.
  setup(40, 1000, 10);
  EXPECT_EQ(rows_of(lay("あい<NOBR>うえお</NOBR>")[0]), (Strings{"あい", "うえお"}));
  EXPECT_EQ(rows_of(lay("あいうえお")[0]), (Strings{"あいうえ", "お"}));
  // A ruby run.
  setup(30, 1000, 10);
  EXPECT_EQ(rows_of(lay("あい<RUBY VALUE=\"かんじ\">漢字</RUBY>")[0]), (Strings{"あい", "漢字"}));
  // A line break ends its unit and its row.
  EXPECT_EQ(rows_of(lay("ab<BR>cd")[0]), (Strings{"ab|", "cd"}));
}

TEST_F(Layout, ALongWordOverflowsItsOwnRow) {
  setup(50, 1000, 10);
  const auto& page = lay("a verylongword b")[0];
  EXPECT_EQ(rows_of(page), (Strings{"a ", "verylongword ", "b"}));
  EXPECT_EQ(page.row(1).width, 130);
  EXPECT_EQ(page.row(1).y, 10);
  EXPECT_EQ(page.row(2).y, 20);
}

TEST_F(Layout, ARightDivInMidRowActsFromTheNextRow) {
  setup(100, 1000, 10);
  const auto& page = lay("ab<DIV ALIGN=RIGHT>cd<BR>ef</DIV><BR>gh")[0];
  ASSERT_EQ(rows_of(page), (Strings{"abcd|", "ef|", "gh"}));
  EXPECT_EQ(page.row(0).x, 0);
  EXPECT_EQ(page.row(1).x, 80);
  EXPECT_EQ(page.row(2).x, 0);
}

TEST_F(Layout, RowsOfEachAlignmentStartAfterTheIndent) {
  for (const auto& [align, x] : std::vector<std::pair<std::string, int>>{{"LEFT", 0}, {"RIGHT", 5}, {"CENTER", 2}}) {
    SCOPED_TRACE(align);
    setup(65, 1000, 10);
    const TWdPage& page = lay("<DIV ALIGN=" + align + ">あい<INDENT>うえおかきくけこさしすせ<UNDENT><BR>そた")[0];
    // The indent blank counts in the row's width.
    ASSERT_EQ(rows_of(page), (Strings{"あいうえおか", "_きくけこ", "_さしすせ|", "そた"}));
    EXPECT_EQ(page.row(0).x, align == "LEFT" ? 0 : align == "RIGHT" ? 5 : 2);
    for (int r = 1; r <= 2; ++r) {
      EXPECT_EQ(page.row(r).width, 60);
      EXPECT_EQ(page.row(r).x, x);
      EXPECT_EQ(page.row(r).items()[0].width, 20);
      EXPECT_EQ(page.row(r).items()[1].x, 20);
    }
    EXPECT_EQ(page.row(3).width, 20);
    EXPECT_EQ(page.row(3).x, align == "LEFT" ? 0 : align == "RIGHT" ? 45 : 22);
  }
}

TEST_F(Layout, AlignedPicturesAddWhatTheyExceedAboveOrBelowTheTextBand) {
  m_pictures.shapes = {{"c", {10, 30}}, {"c25", {10, 25}}, {"t", {10, 26}}, {"b", {10, 24}}, {"u", {10, 7}}};
  setup(0, 1000, 10);
  struct Case {
    const char* text;
    int height, above, picture_y, char_y;
  };
  for (const Case& c : {Case{"あ<IMG SRC=c ALIGN=CENTER>い", 30, 10, 0, 10}, Case{"あ<IMG SRC=c25 ALIGN=CENTER>い", 26, 8, 0, 8},
                        Case{"あ<IMG SRC=t ALIGN=TOP>い", 26, 0, 0, 0}, Case{"あ<IMG SRC=b>い", 24, 14, 0, 14},
                        Case{"あ<IMG SRC=u ALIGN=CENTER>い", 10, 0, 1, 0}}) {
    SCOPED_TRACE(c.text);
    const TWdPage& page = lay(c.text)[0];
    const TWdRow& row = page.row(0);
    EXPECT_EQ(row.height, c.height);
    EXPECT_EQ(row.above, c.above);
    EXPECT_EQ(row.items()[1].y, c.picture_y);
    EXPECT_EQ(nth_char(page, 0).y, c.char_y);
    EXPECT_EQ(nth_char(page, 1).y, c.char_y);
  }
  // Together: the centred one adds 8 both ways, the bottom one 14 above,
  // the top one 16 below.
  const TWdPage& page = lay("あ<IMG SRC=c25 ALIGN=CENTER><IMG SRC=t ALIGN=TOP><IMG SRC=b ALIGN=BOTTOM>")[0];
  EXPECT_EQ(page.row(0).height, 40);
  EXPECT_EQ(page.row(0).above, 14);
  EXPECT_EQ(page.row(0).below, 16);
  EXPECT_EQ(page.row(0).items()[1].y, 14 - 8);
  EXPECT_EQ(page.row(0).items()[2].y, 14);
  EXPECT_EQ(page.row(0).items()[3].y, 0);
  EXPECT_EQ(page.height, 40);
  // A missing picture is empty.
  const TWdPage& missing = lay("あ<IMG SRC=none>い")[0];
  EXPECT_EQ(missing.row(0).items()[1].width, 0);
  EXPECT_EQ(missing.row(0).height, 10);
}

TEST_F(Layout, PageBreaksAndPagingAtTheHeight) {
  setup(100, 25, 10);
  auto& pages = lay("a<BR>b<BR>c<BR>d");
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(rows_of(pages[0]), (Strings{"a|", "b|"}));
  EXPECT_EQ(rows_of(pages[1]), (Strings{"c|", "d"}));
  EXPECT_EQ(pages[1].row(0).y, 0);
  EXPECT_EQ(pages[1].row(1).y, 10);
  EXPECT_EQ(pages[0].height, 20);
  EXPECT_EQ(lay("a<BR CLEAR>b").size(), 2u);
  EXPECT_EQ(lay("a<CLEAR>b").size(), 2u);
  EXPECT_EQ(rows_of(m_pages[1]), (Strings{"b"}));
  // The first row of a page stays even when it is taller than the height.
  auto& tall = lay("<FONT SIZE=40>あ</FONT>い<BR>う");
  ASSERT_EQ(tall.size(), 2u);
  EXPECT_EQ(rows_of(tall[0]), (Strings{"あい|"}));
  EXPECT_EQ(tall[0].height, 40);
  // Line spacing counts; without paging every row stays on one page.
  KvWordSettings s = m_word.settings();
  s.line_spacing = 5;
  m_word.set_settings(s);
  auto& spaced = lay("a<BR>b<BR>c");
  ASSERT_EQ(spaced.size(), 2u);
  EXPECT_EQ(spaced[0].row(1).y, 15);
  s.paging = false;
  m_word.set_settings(s);
  auto& unpaged = lay("a<BR>b<BR>c<BR>d");
  ASSERT_EQ(unpaged.size(), 1u);
  EXPECT_EQ(unpaged[0].height, 55);
}

TEST_F(Layout, ARowMovedToANewPageKeepsTheAlignmentAndIndentItWasOpenedWith) {
  setup(50, 15, 10);
  // The second row opens right-aligned under the indent; the DIV in it
  // changes the state; it goes to a new page as it was opened.
  auto& pages = lay("<DIV ALIGN=RIGHT>あ<INDENT>いうえおか<DIV ALIGN=CENTER>き");
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(rows_of(pages[0]), (Strings{"あいうえお"}));
  EXPECT_EQ(rows_of(pages[1]), (Strings{"_かき"}));
  EXPECT_EQ(pages[1].row(0).align, Align::Right);
  EXPECT_EQ(pages[1].row(0).x, 20);
}

TEST_F(Layout, AnIndentNearTheLimitEndsInOverflowingRows) {
  // 590 of 600 px, then units of 20: a new row holds only its indent blank,
  // takes the unit and overflows.
  setup(600, 100000, 20);
  auto& pages = lay("<FONT SIZE=590>あ</FONT><INDENT>いう");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(rows_of(pages[0]), (Strings{"あ", "_い", "_う"}));
  EXPECT_EQ(pages[0].row(1).width, 610);
  EXPECT_EQ(pages[0].row(2).width, 610);
  EXPECT_EQ(pages[0].row(2).y, 590 + 20);
}

TEST_F(Layout, WithoutWidthAPageIsAsWideAsItsWidestRow) {
  setup(0, 1000, 10);
  const TWdPage& page = lay("<DIV ALIGN=RIGHT>ab<BR>abcdef<BR>abc")[0];
  EXPECT_EQ(page.width, 60);
  EXPECT_EQ(page.row(0).x, 40);
  EXPECT_EQ(page.row(1).x, 0);
  EXPECT_EQ(page.row(2).x, 30);
}

TEST_F(Layout, AHundredThousandCharacterRowRendersWithinTheCap) {
  setup(0, 40, 12);
  std::string text;
  for (int i = 0; i < 100000; ++i) text += i % 2 ? "い" : "あ";
  auto& pages = lay(text);
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_EQ(pages[0].count(), 1);
  EXPECT_EQ(pages[0].width, 1200000);
  render_page(pages[0]);
  EXPECT_EQ(m_word.colour_surface().GetWidth(), TKvWord::kMaxSurfaceSide);
  EXPECT_EQ(m_word.mask_surface().GetWidth(), TKvWord::kMaxSurfaceSide);
  EXPECT_EQ(m_word.colour_surface().GetHeight(), 40);
  // The last cell inside the surface is drawn, none after it is.
  const int last = TKvWord::kMaxSurfaceSide / 12 - 1;
  EXPECT_FALSE(nth_char(pages[0], last).rect.empty());
  EXPECT_TRUE(nth_char(pages[0], last + 2).rect.empty());
}

TEST_F(Layout, PositionsOfPagesLayTheSameGlyphsOutAgain) {
  setup(50, 25, 10);
  auto& pages = lay("あいうえおかきくけこさしすせそたちつてと<BR>なに");
  ASSERT_EQ(pages.size(), 3u);
  const TWdPage second = pages[1];
  EXPECT_EQ(second.first_position(), 10);
  EXPECT_EQ(second.last_position(), 19);  // its last character; the line break after it counts none
  std::vector<TWdPage> again;
  m_word.layout_positions(again, second.first_position(), second.last_position());
  ASSERT_FALSE(again.empty());
  EXPECT_EQ(rows_of(again[0]), rows_of(second));
  // Rows move onto another page below what it holds.
  TWdPage target = pages[0];
  again[0].move_rows_to(target, target.height + 5);
  EXPECT_EQ(target.count(), 4);
  EXPECT_EQ(target.row(2).y, 25);
  EXPECT_EQ(target.height, 45);
  EXPECT_EQ(again[0].count(), 0);
}

// Each page's rows as laid out and where they start: the text of a row
// and its x.
std::vector<std::string> placed(const std::vector<std::string>& rows, const TWdPage& page) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < rows.size(); ++i) out.push_back(rows[i] + "@" + std::to_string(page.row(static_cast<std::int32_t>(i)).x));
  return out;
}

TEST_F(Layout, EveryPageLaysOutAgainFromItsPositionsPreparedOrNot) {
  // Five cells a row, two rows a page. Pages that start with an alignment
  // glyph, after a line break, with a blank row, that end in an event or
  // after a line break, and that hold variables whose values differ
  // between the showing and the replay (history variables are expanded in
  // the replay only).
  const char* texts[] = {
      "あいうえお<BR>かき<BR><DIV ALIGN=CENTER>くけ<BR>こ",
      "あいうえおかきくけこ<EVENT VALUE=e>さし",
      "あい<BR>う<BR><BR>え<BR>お",
      "あ<VAR NAME=v>い<BR>う<BR>え<HISTCHAR VALUE=h>お<BR>か",
  };
  for (const char* t : texts) {
    SCOPED_TRACE(t);
    setup(50, 25, 10);
    m_word.names().set("v", "XYZ");
    m_word.names().set("h", "QQ");
    lay(t);
    m_pages.clear();
    m_word.prepare_variables(0, -1, false);
    m_word.layout(m_pages);
    ASSERT_GE(m_pages.size(), 2u);
    TKvWord stored(m_manager, &m_pictures);
    stored.parse(split_lines(test::sjis(t)));
    for (const TWdPage& page : m_pages) {
      const std::int32_t first = page.first_position(), last = page.last_position();
      SCOPED_TRACE(std::to_string(first) + "-" + std::to_string(last));
      const auto want = placed(rows_of(page), page);
      // In the engine that showed it.
      std::vector<TWdPage> again;
      m_word.layout_positions(again, first, last);
      ASSERT_EQ(again.size(), 1u);
      EXPECT_EQ(placed(rows_of(again[0]), again[0]), want);
      // From the stored text into another engine, as a replay does.
      const TKvWord::GlyphSpan span = stored.glyphs_of_positions(first, last);
      TKvWord replay(m_manager, &m_pictures);
      replay.set_settings(m_word.settings());
      replay.copy_glyphs(stored, span.first, span.last);
      replay.names().set("v", "XYZ");
      replay.prepare_variables(0, -1, false);
      std::vector<TWdPage> replayed;
      replay.layout(replayed);
      ASSERT_EQ(replayed.size(), 1u);
      EXPECT_EQ(placed(rows_of(replayed[0]), replayed[0]), want);
    }
  }
  // Positions count the text as stored: a variable glyph one, what it
  // produced none.
  setup(0, 100);
  lay("a<VAR NAME=v>b");
  m_word.names().set("v", "XYZ");
  m_word.prepare_variables(0, -1, false);
  EXPECT_EQ(m_word.glyph_count(), 6);
  EXPECT_EQ(m_word.char_count_before(6), 3);
  EXPECT_EQ(m_word.glyphs_of_positions(2, 2), (TKvWord::GlyphSpan{5, 5})) << "b, after what the variable produced";
  EXPECT_EQ(m_word.glyphs_of_positions(1, 1), (TKvWord::GlyphSpan{1, 4})) << "the variable with its value";
  EXPECT_EQ(m_word.glyphs_of_positions(0, -1), (TKvWord::GlyphSpan{0, 5}));
}

}  // namespace
}  // namespace nova::text
