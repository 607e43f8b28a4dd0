// Painting glyphs: the fast path against the reference bit for bit, and the
// rules of plain characters, borders, shadows, bars and clipping on hand-made
// glyphs whose every pixel can be worked out.
#include "text/glyph_painter.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "core/error.h"

namespace nova::text {
namespace {

using graphics::Rect;
using graphics::TDIBX;

struct GlyphSpec {
  int width = 0;
  int height = 0;
  std::function<int(int x, int y)> coverage = [](int, int) { return 255; };
  int left_bearing = 0;
  int top_offset = 0;
  int underline = 0;
  int strike_position = 0;
  int strike = 0;
  int size = 20;
};

void make_glyph(TFontPixel& g, const GlyphSpec& s) {
  g.size = s.size;
  if (s.width > 0 && s.height > 0) {
    g.coverage.SetSize(s.width, s.height, 8);
    for (int y = 0; y < s.height; ++y) {
      for (int x = 0; x < s.width; ++x) g.coverage.SetPixel(x, y, static_cast<std::uint32_t>(s.coverage(x, y)));
    }
  }
  g.left_bearing = s.left_bearing;
  g.top_offset = s.top_offset;
  g.underline_thickness = s.underline;
  g.strike_position = s.strike_position;
  g.strike_thickness = s.strike;
}

// The first pixel where two surfaces differ, or "".
std::string difference(const TDIBX& a, const TDIBX& b) {
  for (int y = 0; y < a.GetHeight(); ++y) {
    for (int x = 0; x < a.GetWidth(); ++x) {
      if (a.GetPixel(x, y) != b.GetPixel(x, y)) {
        return "(" + std::to_string(x) + ", " + std::to_string(y) + "): " + std::to_string(a.GetPixel(x, y)) + " vs " +
               std::to_string(b.GetPixel(x, y));
      }
    }
  }
  return "";
}

void copy(TDIBX& to, const TDIBX& from) {
  to.SetSize(from.GetWidth(), from.GetHeight(), from.GetBitCount());
  for (int y = 0; y < from.GetHeight(); ++y) {
    for (int x = 0; x < from.GetWidth(); ++x) to.SetPixel(x, y, from.GetPixel(x, y));
  }
  if (from.HasClip()) to.SetClipRect(from.ClipRect());
}

// Both forms of the fast path (borders of 1 eight pixels at a time or one at
// a time) against the reference, on random glyphs, surfaces, clips, cells,
// colours and widths 0 to 4 at every depth.
TEST(GlyphPainter, TheFastPathEqualsTheReferenceBitForBit) {
  std::mt19937 rng(1729);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int painted = 0;
  for (int form = 0; form < 2; ++form)
    for (int bits : {32, 16, 15, 8, 24}) {
      use_vector_border(form == 0);
      for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(testing::Message() << bits << " bits, round " << round << ", form " << form);
        TFontPixel glyph;
        GlyphSpec spec;
        spec.width = uniform(0, 12);
        spec.height = uniform(0, 12);
        const int kind = uniform(0, 3);
        std::vector<int> cov(static_cast<std::size_t>(spec.width * spec.height));
        for (int& c : cov) {
          const int pick = uniform(0, 9);
          c = kind == 0 ? (pick < 5 ? 0 : 255) : pick < 3 ? 0 : pick < 5 ? 255 : uniform(1, 254);
        }
        spec.coverage = [&](int x, int y) { return cov[static_cast<std::size_t>(y * spec.width + x)]; };
        spec.left_bearing = uniform(0, 4);
        spec.top_offset = uniform(0, 6);
        spec.underline = uniform(0, 2) == 0 ? 0 : uniform(1, 3);
        spec.strike = uniform(0, 2) == 0 ? 0 : uniform(1, 3);
        spec.strike_position = uniform(-2, 20);
        spec.size = uniform(1, 30);
        make_glyph(glyph, spec);

        TDIBX colour, mask;
        colour.SetSize(uniform(20, 48), uniform(20, 40), bits);
        mask.SetSize(uniform(0, 3) == 0 ? uniform(10, 48) : colour.GetWidth(),
                     uniform(0, 3) == 0 ? uniform(10, 40) : colour.GetHeight(), 8);
        for (int y = 0; y < colour.GetHeight(); ++y) {
          for (int x = 0; x < colour.GetWidth(); ++x) colour.SetPixel(x, y, static_cast<std::uint32_t>(rng()));
        }
        const int mask_kind = uniform(0, 2);
        for (int y = 0; y < mask.GetHeight(); ++y) {
          for (int x = 0; x < mask.GetWidth(); ++x) {
            const auto v = static_cast<std::uint32_t>(mask_kind == 0   ? 0
                                                      : mask_kind == 1 ? uniform(0, 255)
                                                                       : 255 * uniform(0, 1));
            mask.SetPixel(x, y, v);
          }
        }
        auto random_clip = [&](TDIBX& s) {
          if (uniform(0, 2) != 0) return;
          const int l = uniform(0, s.GetWidth() - 1), t = uniform(0, s.GetHeight() - 1);
          s.SetClipRect(Rect{l, t, uniform(l + 1, s.GetWidth()), uniform(t + 1, s.GetHeight())});
        };
        random_clip(colour);
        random_clip(mask);

        GlyphDrawing d;
        d.shadow_color = static_cast<std::uint32_t>(rng());
        d.border_color = static_cast<std::uint32_t>(rng());
        d.text_color = static_cast<std::uint32_t>(rng());
        if (bits != 32) {
          d.shadow_color &= 0xFFFF;
          d.border_color &= 0xFFFF;
          d.text_color &= 0xFFFF;
        }
        d.first_of_run = uniform(0, 1) == 1;
        d.last_of_run = uniform(0, 1) == 1;
        d.border_width = uniform(0, 4);
        d.shadow_width = uniform(0, 4);
        d.cell = Rect::from_size(uniform(-12, 40), uniform(-12, 36), uniform(-2, 30), uniform(-2, 30));
        const int offset = uniform(0, 6);
        const int surfaces = uniform(0, 9);  // now and then one of them is missing

        TDIBX colour2, mask2;
        copy(colour2, colour);
        copy(mask2, mask);
        d.color = surfaces == 0 ? nullptr : &colour;
        d.mask = surfaces == 1 ? nullptr : &mask;
        const Rect fast = paint_glyph(glyph, offset, d);
        d.color = surfaces == 0 ? nullptr : &colour2;
        d.mask = surfaces == 1 ? nullptr : &mask2;
        const Rect reference = paint_glyph_reference(glyph, offset, d);
        ASSERT_EQ(fast, reference);
        ASSERT_EQ(difference(colour, colour2), "") << "colour";
        ASSERT_EQ(difference(mask, mask2), "") << "mask";
        painted += !fast.empty();
      }
    }
  use_vector_border(true);
  EXPECT_GT(painted, 2000);
}

// Fresh black surfaces of one depth, a cell at (x, y).
struct Canvas {
  TDIBX colour, mask;
  explicit Canvas(int bits, int w = 40, int h = 30) {
    colour.SetSize(w, h, bits);
    mask.SetSize(w, h, 8);
  }
  GlyphDrawing drawing(Rect cell, int border = 0, int shadow = 0) {
    GlyphDrawing d;
    d.color = &colour;
    d.mask = &mask;
    d.text_color = 0x00C08040;
    d.border_color = 0x00102030;
    d.shadow_color = 0x00506070;
    d.border_width = border;
    d.shadow_width = shadow;
    d.cell = cell;
    return d;
  }
};

// Per channel ((w × a + (255 − w) × b) >> 8) of two 32-bit pixels.
std::uint32_t mix32(std::uint32_t w, std::uint32_t a, std::uint32_t b) {
  std::uint32_t out = 0;
  for (int shift : {0, 8, 16}) out |= ((w * (a >> shift & 255) + (255 - w) * (b >> shift & 255)) >> 8) << shift;
  return out;
}

TEST(GlyphPainter, PlainCharactersCopyTheColourHardAndPutTheirBarsInTheMaskAlone) {
  for (auto paint : {&paint_glyph, &paint_glyph_reference}) {
    Canvas c(32);
    c.mask.SetPixel(6, 5, 200);
    TFontPixel g;
    make_glyph(g, {.width = 3,
                   .height = 2,
                   .coverage = [](int x, int) { return x * 100; },
                   .left_bearing = 1,
                   .top_offset = 2,
                   .underline = 2,
                   .strike_position = 9,
                   .strike = 1});
    const Rect drawn = paint(g, 3, c.drawing(Rect::from_size(2, 3, 10, 12)));
    // The glyph at (2 + 1 + 3, 3 + 2).
    EXPECT_EQ(c.colour.GetPixel(6, 5), 0u);  // coverage 0: untouched
    EXPECT_EQ(c.colour.GetPixel(7, 5), 0x00C08040u);
    EXPECT_EQ(c.colour.GetPixel(8, 6), 0x00C08040u);
    EXPECT_EQ(c.mask.GetPixel(6, 5), 200u);  // the larger of mask and coverage
    EXPECT_EQ(c.mask.GetPixel(7, 5), 100u);
    EXPECT_EQ(c.mask.GetPixel(8, 6), 200u);
    // Underline rows 13 and 14, strike-out row 12, over the cell's width, in
    // the mask only.
    for (int x = 0; x < 40; ++x) {
      const bool in_cell = x >= 2 && x < 12;
      for (int y : {12, 13, 14}) {
        EXPECT_EQ(c.mask.GetPixel(x, y), in_cell ? 255u : 0u) << x << "," << y;
        EXPECT_EQ(c.colour.GetPixel(x, y), 0u);
      }
      EXPECT_EQ(c.mask.GetPixel(x, 11), 0u);
    }
    EXPECT_EQ(drawn, (Rect{2, 5, 12, 15}));
  }
}

TEST(GlyphPainter, ABorderOfTwoStampsTwentyFourNeighboursAndFullCoverageKeepsTheTextColour) {
  for (auto paint : {&paint_glyph, &paint_glyph_reference}) {
    for (int c255 : {0, 1}) {
      Canvas c(32);
      TFontPixel g;
      make_glyph(g, {.width = 1, .height = 1, .coverage = [&](int, int) { return c255 ? 255 : 128; }});
      const Rect drawn = paint(g, 0, c.drawing(Rect::from_size(10, 10, 10, 10), 2));
      int stamped = 0;
      for (int y = 8; y <= 16; ++y) {
        for (int x = 8; x <= 16; ++x) stamped += c.mask.GetPixel(x, y) != 0;
      }
      EXPECT_EQ(stamped, 25);
      // Each neighbour was composited once onto an empty mask: the mask takes
      // the coverage, and the weight 255 × c / c = 255 gives the colour × 255 / 256.
      const std::uint32_t border = c255 ? 0x00102030u : mix32(255, 0x00102030u, 0);
      EXPECT_EQ(c.mask.GetPixel(12, 12), 255u);
      EXPECT_EQ(c.mask.GetPixel(10, 10), c255 ? 255u : 128u);
      EXPECT_EQ(c.mask.GetPixel(14, 13), c255 ? 255u : 128u);
      EXPECT_EQ(c.colour.GetPixel(10, 10), border);
      EXPECT_EQ(c.colour.GetPixel(14, 13), border);
      // The body: the text colour over the border colour, exact at 255.
      EXPECT_EQ(c.colour.GetPixel(12, 12), c255 ? 0x00C08040u : mix32(128, 0x00C08040u, 0x00102030u));
      EXPECT_EQ(drawn, (Rect{10, 10, 15, 15}));
    }
  }
}

TEST(GlyphPainter, OverlappingStampsFollowTheCompositingRule) {
  for (auto paint : {&paint_glyph, &paint_glyph_reference}) {
    Canvas c(32);
    TFontPixel g;
    // Two pixels of coverage 128 side by side: their neighbours overlap.
    make_glyph(g, {.width = 2, .height = 1, .coverage = [](int, int) { return 128; }});
    paint(g, 0, c.drawing(Rect::from_size(4, 4, 10, 10), 1));
    // (5, 4) is the top neighbour of the first pixel and the top-left one of
    // the second: m 0 → 128 (w 255), then 128 + 128 × 127 / 255 = 191 with
    // w = 128 × 255 / 191 = 170.
    const std::uint32_t first = mix32(255, 0x00102030u, 0);
    EXPECT_EQ(c.mask.GetPixel(5, 4), 191u);
    EXPECT_EQ(c.colour.GetPixel(5, 4), mix32(170, 0x00102030u, first));
    // (4, 4) is reached once.
    EXPECT_EQ(c.mask.GetPixel(4, 4), 128u);
    EXPECT_EQ(c.colour.GetPixel(4, 4), first);
  }
}

// Three characters of one underlined run, bordered and shadowed: one
// continuous underline; only the first's shadow bar starts sw in, only the
// last's text bar stops sw short.
TEST(GlyphPainter, AnUnderlinedRunOfThreeBorderedShadowedCharactersJoinsItsBars) {
  for (int bits : {32, 16}) {
    for (auto paint : {&paint_glyph, &paint_glyph_reference}) {
      Canvas c(bits, 50, 24);
      const std::uint32_t text = c.colour.ColorToPixel(0x4080C0), border = c.colour.ColorToPixel(0x302010),
                          shadow = c.colour.ColorToPixel(0x706050);
      for (int i = 0; i < 3; ++i) {
        TFontPixel g;
        make_glyph(g, {.width = 2, .height = 2, .underline = 2});
        GlyphDrawing d = c.drawing(Rect::from_size(i * 12, 0, 12, 20), 1, 2);
        d.text_color = text;
        d.border_color = border;
        d.shadow_color = shadow;
        d.first_of_run = i == 0;
        d.last_of_run = i == 2;
        paint(g, 0, d);
      }
      // Rows: shadow bar 16..19 (from x = 2), text underline 15..16 (to x =
      // 34), border rows 14 and 17 beside it.
      for (int x = 0; x < 40; ++x) {
        SCOPED_TRACE(x);
        const bool text_bar = x < 34, shadow_bar = x >= 2 && x < 36;
        EXPECT_EQ(c.colour.GetPixel(x, 14), text_bar ? border : 0u);
        EXPECT_EQ(c.colour.GetPixel(x, 15), text_bar ? text : 0u);
        EXPECT_EQ(c.colour.GetPixel(x, 16), text_bar ? text : shadow_bar ? shadow : 0u);
        EXPECT_EQ(c.colour.GetPixel(x, 17), text_bar ? border : shadow_bar ? shadow : 0u);
        EXPECT_EQ(c.colour.GetPixel(x, 18), shadow_bar ? shadow : 0u);
        EXPECT_EQ(c.colour.GetPixel(x, 19), shadow_bar ? shadow : 0u);
        EXPECT_EQ(c.mask.GetPixel(x, 19), shadow_bar ? 255u : 0u);
        EXPECT_EQ(c.colour.GetPixel(x, 13), 0u);
      }
    }
  }
}

TEST(GlyphPainter, StrikeOutWithBorderAndShadow) {
  for (auto paint : {&paint_glyph, &paint_glyph_reference}) {
    Canvas c(32, 30, 30);
    TFontPixel g;
    make_glyph(g, {.width = 1, .height = 1, .strike_position = 8, .strike = 2});
    GlyphDrawing d = c.drawing(Rect::from_size(0, 0, 10, 20), 1, 3);
    d.last_of_run = true;
    d.first_of_run = false;
    const Rect drawn = paint(g, 0, d);
    // Shadow bar rows 3 + 8 .. 3 + 8 + 2 + 2 − 1 = 11..14 over x 0..9; text
    // bar rows 9..10 over x 0..6, border bars rows 8 and 11.
    for (int x = 0; x < 10; ++x) {
      SCOPED_TRACE(x);
      const bool text_bar = x < 7;
      EXPECT_EQ(c.colour.GetPixel(x, 8), text_bar ? 0x00102030u : 0u);
      EXPECT_EQ(c.colour.GetPixel(x, 9), text_bar ? 0x00C08040u : 0u);
      EXPECT_EQ(c.colour.GetPixel(x, 10), text_bar ? 0x00C08040u : 0u);
      EXPECT_EQ(c.colour.GetPixel(x, 11), text_bar ? 0x00102030u : 0x00506070u);
      EXPECT_EQ(c.colour.GetPixel(x, 14), 0x00506070u);
      EXPECT_EQ(c.colour.GetPixel(x, 15), 0u);
    }
    EXPECT_EQ(drawn, (Rect{0, 0, 10, 15}));
  }
}

TEST(GlyphPainter, EachSurfaceIsClippedByItsOwnRectangle) {
  for (auto paint : {&paint_glyph, &paint_glyph_reference}) {
    Canvas c(32);
    c.colour.SetClipRect(Rect{0, 0, 12, 30});
    c.mask.SetClipRect(Rect{11, 0, 40, 30});
    TFontPixel g;
    make_glyph(g, {.width = 4, .height = 1, .underline = 1});
    paint(g, 0, c.drawing(Rect::from_size(9, 0, 6, 10)));
    // The glyph covers 9..12 of row 0: colour only up to 11, mask from 11.
    for (int x = 8; x < 15; ++x) {
      EXPECT_EQ(c.colour.GetPixel(x, 0), x >= 9 && x < 12 ? 0x00C08040u : 0u) << x;
      EXPECT_EQ(c.mask.GetPixel(x, 0), x >= 11 && x < 13 ? 255u : 0u) << x;
      EXPECT_EQ(c.mask.GetPixel(x, 9), x >= 11 && x < 15 ? 255u : 0u) << x;
    }
  }
}

TEST(GlyphPainter, OtherColourDepthsStayUnchangedWhileTheMaskIsDrawn) {
  for (int bits : {8, 24}) {
    for (auto paint : {&paint_glyph, &paint_glyph_reference}) {
      Canvas c(bits);
      c.colour.SetPixel(5, 5, 77);
      TFontPixel g;
      make_glyph(g, {.width = 2, .height = 2});
      paint(g, 0, c.drawing(Rect::from_size(4, 4, 8, 8), 1, 1));
      EXPECT_EQ(c.colour.GetPixel(5, 5), 77u);
      EXPECT_EQ(c.colour.GetPixel(6, 6), 0u);
      EXPECT_EQ(c.mask.GetPixel(5, 5), 255u);
      EXPECT_EQ(c.mask.GetPixel(4, 4), 255u);
    }
  }
  Canvas wrong(32);
  wrong.mask.SetSize(40, 30, 32);
  TFontPixel g;
  make_glyph(g, {.width = 1, .height = 1});
  EXPECT_THROW(paint_glyph(g, 0, wrong.drawing(Rect::from_size(0, 0, 4, 4))), core::Error);
}

TEST(GlyphPainter, AnEmptyGlyphOrAFarAwayCellPaintsNothing) {
  Canvas c(32);
  TFontPixel empty;
  make_glyph(empty, {.underline = 3, .strike = 2});
  EXPECT_TRUE(paint_glyph(empty, 0, c.drawing(Rect::from_size(0, 0, 20, 20), 2, 2)).empty());
  TFontPixel g;
  make_glyph(g, {.width = 3, .height = 3, .underline = 2});
  const int far = std::numeric_limits<int>::max() - 10;
  paint_glyph(g, std::numeric_limits<std::int32_t>::max(), c.drawing(Rect{far, far, far + 8, far + 8}, 4, 4));
  paint_glyph(g, 0, c.drawing(Rect{-far, -far, far, far}, 4, 4));
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) ASSERT_EQ(c.colour.GetPixel(x, y), 0u);
  }
}

}  // namespace
}  // namespace nova::text
