// Rendering through the glyph manager: the colour order, link underlines,
// joined border and shadow runs, ruby placement, drawing through the mask at
// fade levels, links under the mouse, and a rasterizer that fails.
#include <gtest/gtest.h>

#include "core/log.h"
#include "kvword_test_support.h"
#include "text/word_render.h"
#include "text/word_reveal.h"

namespace nova::text {
namespace {

using graphics::TDIBX;

class Render : public support::EngineFixture {
 protected:
  TWdPage& shown(std::string_view utf8) {
    TWdPage& page = lay(utf8)[0];
    reveal_all(page);
    render_page(page);
    return page;
  }
  std::uint32_t colour_at(int x, int y) { return m_word.colour_surface().GetPixel(x, y) & 0xFFFFFF; }
  std::uint32_t mask_at(int x, int y) { return m_word.mask_surface().GetPixel(x, y); }
  std::uint32_t pixel_of(std::int32_t colour) {
    return static_cast<std::uint32_t>(m_word.colour_surface().ColorToPixel(colour)) & 0xFFFFFF;
  }
  static std::vector<std::uint32_t> pixels(const TDIBX& s) {
    std::vector<std::uint32_t> v;
    for (int y = 0; y < s.GetHeight(); ++y) {
      for (int x = 0; x < s.GetWidth(); ++x) v.push_back(s.GetPixel(x, y));
    }
    return v;
  }
  // The centre of the n-th character's cell on the surface.
  graphics::Point centre_of(const TWdPage& page, int n) {
    const TWdRow& row = row_of_char(page, n);
    const PlacedGlyph& p = nth_char(page, n);
    return {row.x + p.x + p.width / 2, row.y + p.y + p.height / 2};
  }
};

TEST_F(Render, ColoursGoHoverThenGlyphThenLinkThenTextAndLinksAreUnderlined) {
  setup(200, 20, 10);
  KvWordSettings s = m_word.settings();
  s.text_color = 0x112233;
  s.link_color = 0x445566;
  s.link_hover_color = 0x778899;
  m_word.set_settings(s);
  TWdPage& page = shown("<FONT COLOR=#00FF00>a</FONT><A HREF=x>b<FONT COLOR=#FF00FF>c</FONT></A>d");
  const std::vector<std::int32_t> words = {0x00FF00, 0x445566, 0xFF00FF, 0x112233};
  for (int n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(nth_char(page, n).colour, words[static_cast<std::size_t>(n)]);
    // Full boxes: the glyph's pixels are in its colour, a hard copy.
    const int x = nth_char(page, n).x + 4;
    EXPECT_EQ(colour_at(x, 5), pixel_of(words[static_cast<std::size_t>(n)]));
    EXPECT_EQ(mask_at(x, 5), 255u);
    // The half-width box fills half the cell; link characters are
    // underlined over the whole cell, the bar only in the mask.
    EXPECT_EQ(mask_at(nth_char(page, n).x + 8, 9), n == 1 || n == 2 ? 255u : 0u);
    EXPECT_EQ(mask_at(nth_char(page, n).x + 8, 5), 0u);
  }
  const graphics::Point over_c = centre_of(page, 2);
  EXPECT_TRUE(hover(page, over_c.x, over_c.y));
  EXPECT_EQ(nth_char(page, 0).colour, 0x00FF00);
  EXPECT_EQ(nth_char(page, 1).colour, 0x778899);
  EXPECT_EQ(nth_char(page, 2).colour, 0x778899);
  EXPECT_EQ(colour_at(nth_char(page, 2).x + 4, 5), pixel_of(0x778899));
  EXPECT_EQ(nth_char(page, 3).colour, 0x112233);
}

TEST_F(Render, HoverRedrawsTheWholeGroupAsAWholeRenderWouldAndChangesIt) {
  setup(200, 30, 12);
  TWdPage& page = shown("x<FONT BORDER=1 SHADOW=1>a<A HREF=\"v\">b<RUBY VALUE=\"る\">c</RUBY>d</A>e</FONT>y");
  const std::vector<std::uint32_t> plain_colour = pixels(m_word.colour_surface());
  const std::vector<std::uint32_t> plain_mask = pixels(m_word.mask_surface());
  const graphics::Point over_c = centre_of(page, 3);
  ASSERT_TRUE(hover(page, over_c.x, over_c.y));
  EXPECT_EQ(page.hovered_link, nth_char(page, 2).glyph);
  EXPECT_EQ(link_text(page), "bcd");
  EXPECT_EQ(link_value(page), "v");
  // The group's cells, its ruby included, and nothing of its neighbours'.
  ASSERT_EQ(m_word.dirty_rects().size(), 1u);
  const graphics::Rect dirty = m_word.dirty_rects()[0];
  for (int n = 2; n <= 4; ++n) {
    EXPECT_EQ(dirty.united(nth_char(page, n).rect), dirty) << n;
  }
  EXPECT_EQ(dirty.united(nth_char(page, 3).ruby_rect), dirty);
  EXPECT_LE(dirty.left, row_of_char(page, 2).x + nth_char(page, 2).x);
  EXPECT_GE(dirty.right, nth_char(page, 4).x + nth_char(page, 4).width);
  const std::vector<std::uint32_t> hovered_colour = pixels(m_word.colour_surface());
  const std::vector<std::uint32_t> hovered_mask = pixels(m_word.mask_surface());
  EXPECT_NE(hovered_colour, plain_colour);
  // A whole render of the hovered page leaves the very same pixels.
  render_page(page);
  EXPECT_EQ(pixels(m_word.colour_surface()), hovered_colour);
  EXPECT_EQ(pixels(m_word.mask_surface()), hovered_mask);
  // Within the group nothing changes; leaving it restores the first render.
  const graphics::Point over_d = centre_of(page, 4);
  EXPECT_FALSE(hover(page, over_d.x, over_d.y));
  EXPECT_TRUE(hover(page, -1, -1));
  EXPECT_EQ(page.hovered_link, -1);
  EXPECT_EQ(link_text(page), "");
  EXPECT_EQ(m_word.dirty_rects().size(), 1u);
  EXPECT_EQ(pixels(m_word.colour_surface()), plain_colour);
  EXPECT_EQ(pixels(m_word.mask_surface()), plain_mask);
}

TEST_F(Render, AHitTestFindsOnlyRevealedGlyphs) {
  setup(200, 20, 10);
  TWdPage& page = lay("<A HREF=l>ab</A>c", 30)[0];
  render_page(page);
  const graphics::Point a = centre_of(page, 0), b = centre_of(page, 1);
  EXPECT_EQ(hit_test(page, a.x, a.y), -1);
  step(page, 15);
  EXPECT_EQ(hit_test(page, a.x, a.y), nth_char(page, 0).glyph);
  EXPECT_EQ(hit_test(page, b.x, b.y), -1);
  EXPECT_EQ(link_at(page, a.x, a.y), "l");
  EXPECT_EQ(link_at(page, b.x, b.y), "");
  EXPECT_FALSE(hover(page, b.x, b.y));
  EXPECT_EQ(hit_test(page, a.x, 25), -1);
  EXPECT_EQ(page_text(lay("ab<BR>c")[0]), "ab\r\nc");
}

TEST_F(Render, JoinedRunsShareTheirBarsAndADifferentShadowColourEndsARun) {
  setup(200, 20, 10);
  // Cells of 12 (shadow 2): a's text underline lies on rows 8 and 9 and
  // stops 2 pixels short only where a ends its run.
  shown("<U><FONT SHADOW=2>abc</FONT></U>");
  EXPECT_EQ(mask_at(10, 8), 255u);
  EXPECT_EQ(mask_at(11, 9), 255u);
  shown("<U><FONT SHADOW=2>a<FONT SCOLOR=#FF0000>b</FONT>c</FONT></U>");
  EXPECT_EQ(mask_at(9, 8), 255u);
  EXPECT_EQ(mask_at(10, 8), 0u);
  EXPECT_EQ(mask_at(11, 9), 0u);
  // Zero-width glyphs between two characters do not part them.
  shown("<U><FONT SHADOW=2>a<EVENT VALUE=e>bc</FONT></U>");
  EXPECT_EQ(mask_at(10, 8), 255u);
}

TEST_F(Render, RubyIsCentredOverItsRunHalvesToEvenAndShiftedByItsWidth) {
  setup(200, 40, 11);
  // Two double-byte ruby characters over two cells of 11: centres at 5.5
  // and 16.5 become 6 and 16, less 2 (half of 5).
  TWdPage& page = shown("<RUBY VALUE=\"るび\">漢字</RUBY>");
  std::string inked;
  for (int x = 0; x < 22; ++x) inked += mask_at(x, 2) ? '#' : '.';
  EXPECT_EQ(inked, "....#####.....#####...");
  // The characters lie below the band of 5.
  EXPECT_EQ(mask_at(3, 4), 0u);
  EXPECT_EQ(mask_at(3, 5), 255u);
  EXPECT_FALSE(nth_char(page, 0).ruby_rect.empty());
  EXPECT_TRUE(nth_char(page, 1).ruby_rect.empty());
  // Single-byte ruby over one cell of 13: 3.25 and 9.75 become 3 and 10,
  // less a quarter of 6.
  setup(200, 40, 13);
  shown("<RUBY VALUE=\"ab\">漢</RUBY>");
  inked.clear();
  for (int x = 0; x < 13; ++x) inked += mask_at(x, 2) ? '#' : '.';
  EXPECT_EQ(inked, "..###....###.");
  // One character over 13: 6.5 goes to 6 (not 7), less 3.
  shown("<RUBY VALUE=\"る\">漢</RUBY>");
  inked.clear();
  for (int x = 0; x < 13; ++x) inked += mask_at(x, 2) ? '#' : '.';
  EXPECT_EQ(inked, "...######....");
}

TEST_F(Render, RevealedGlyphsAreDrawnThroughTheirMaskAtTheirLevel) {
  setup(100, 20, 10);
  m_word.set_fade_time(30);
  TDIBX target;
  target.SetSize(100, 20, 32);
  const std::uint32_t background = 0x404040;
  auto fresh = [&] { target.Fill(background); };
  // Plain "a": its box fills columns 2..6 of its cell (placed in the
  // middle); the rest of the cell stays as it was.
  TWdPage& page = lay("a<FONT BORDER=1>b</FONT>c", 0)[0];
  render_page(page);
  step(page, 0);
  fresh();
  draw_page(page, target, 0, 0);
  EXPECT_EQ(target.GetPixel(4, 5), background);  // level 0 draws nothing
  step(page, 15);                                // level 128
  fresh();
  draw_page(page, target, 0, 0);
  const std::uint32_t half = target.GetPixel(4, 5) & 0xFF;  // black over grey, half way
  EXPECT_GT(half, 0x10u);
  EXPECT_LT(half, 0x30u);
  step(page, 15);  // 255
  fresh();
  draw_page(page, target, 0, 0);
  EXPECT_EQ(target.GetPixel(4, 5) & 0xFFFFFF, 0u);      // text colour black
  EXPECT_EQ(target.GetPixel(8, 5) & 0xFFFFFF, background);  // an empty pixel of the cell
  // The bordered glyph: its prepared pixels where its mask is set, nothing
  // where it is not, over its whole cell.
  const PlacedGlyph& b = nth_char(page, 1);
  ASSERT_FALSE(b.plain);
  int inside = 0, outside = 0;
  for (int y = b.y; y < b.y + b.height; ++y) {
    for (int x = b.x; x < b.x + b.width; ++x) {
      const std::uint32_t m = mask_at(x, y), t = target.GetPixel(x, y) & 0xFFFFFF;
      if (m == 0) {
        EXPECT_EQ(t, background);
        ++outside;
      } else if (m == 255) {
        const std::uint32_t c = colour_at(x, y);
        for (int shift : {0, 8, 16}) EXPECT_NEAR(static_cast<int>(t >> shift & 0xFF), static_cast<int>(c >> shift & 0xFF), 1);
        ++inside;
      }
    }
  }
  EXPECT_GT(inside, 10);
  EXPECT_GT(outside, 4);
  // Offsets place the surfaces; the target's clip limits what is drawn.
  fresh();
  target.SetClipRect(graphics::Rect{0, 0, 12, 20});
  draw_page(page, target, 2, 0);
  EXPECT_EQ(target.GetPixel(6, 5) & 0xFFFFFF, 0u);
  EXPECT_EQ(target.GetPixel(26, 5) & 0xFFFFFF, background);
}

// A font service that cannot make one face.
class FailingFaceService final : public platform::FontService {
 public:
  explicit FailingFaceService(platform::FontService& inner) : m_inner(inner) {}
  std::vector<platform::FontFamily> families() override { return m_inner.families(); }
  bool has_face(std::string_view face) override { return m_inner.has_face(face); }
  std::unique_ptr<platform::Font> create_font(const platform::FontRequest& r) override {
    return r.face == "bad" ? nullptr : m_inner.create_font(r);
  }
  std::string rasterizer_version() const override { return m_inner.rasterizer_version(); }

 private:
  platform::FontService& m_inner;
};

TEST(RenderFailures, AFontThatCannotBeMadeLeavesItsGlyphEmptyAndTheRestDrawn) {
  test::TestFontService fonts;
  FailingFaceService failing(fonts);
  TFontPixelManager manager(failing);
  TKvWord word(manager);
  KvWordSettings s;
  s.width = 200;
  s.height = 30;
  s.font_size = 10;
  s.fade_time = 0;
  word.set_settings(s);
  word.parse(std::vector<std::string>{"ab<FONT NAME=bad>cd</FONT>ef"});
  std::vector<TWdPage> pages;
  word.layout(pages);
  std::vector<std::string> lines;
  core::LogSink sink([&](core::Channel c, core::Level l, std::string_view m) {
    if (c == core::Channel::Text && l <= core::Level::Warning) lines.emplace_back(m);
  });
  EXPECT_NO_THROW(render_page(pages[0]));
  std::vector<bool> drawn;
  for (const PlacedGlyph& p : pages[0].row(0).items()) drawn.push_back(!p.rect.empty());
  EXPECT_EQ(drawn, (std::vector<bool>{true, true, false, false, true, true}));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("Error:GetOutlineTextMetrics"), std::string::npos);
  EXPECT_NE(lines[0].find('2'), std::string::npos);
}

TEST_F(Render, SurfacesTakeTheOwnersDepthAndTheTextRectangle) {
  setup(120, 30, 10);
  m_word.set_bit_count(16);
  shown("a");
  EXPECT_EQ(m_word.colour_surface().GetBitCount(), 16);
  EXPECT_EQ(m_word.colour_surface().GetWidth(), 120);
  EXPECT_EQ(m_word.colour_surface().GetHeight(), 30);
  EXPECT_EQ(m_word.mask_surface().GetBitCount(), 8);
  m_word.set_bit_count(32);
  setup(0, 99999, 10);
  shown("abc");
  EXPECT_EQ(m_word.colour_surface().GetWidth(), 30);
  EXPECT_EQ(m_word.colour_surface().GetHeight(), TKvWord::kMaxSurfaceSide);
}

}  // namespace
}  // namespace nova::text
