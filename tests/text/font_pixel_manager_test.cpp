// The glyph manager on the test font service: the cache and its keys and
// bounds, fonts made on change, the level tables, the metrics of a glyph,
// quality drops, unmapped codes, missing fonts and horizontal placement.
#include "text/font_pixel_manager.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "support/test_font_service.h"
#include "support/test_support.h"
#include "text/coverage_levels.h"
#include "text/decoration.h"

namespace nova::text {
namespace {

using platform::AbcWidths;
using platform::FontRequest;
using platform::GlyphFormat;
using test::TestFontService;
using test::TestGlyphShape;

constexpr std::uint16_t kA = 0x82A0;  // あ

// The n-th character of the full kanji rows from 0x89 on (0x7F is no trail
// byte).
std::uint16_t kanji(int n) {
  const int i = n % 188;
  return static_cast<std::uint16_t>((0x89 + n / 188) << 8 | (i < 63 ? 0x40 + i : 0x80 + i - 63));
}

// A box glyph: its size, the place of its box and its advance.
TestGlyphShape box(int width, int height, int origin_x, int origin_y, int advance) {
  TestGlyphShape s;
  s.width = width;
  s.height = height;
  s.origin_x = origin_x;
  s.origin_y = origin_y;
  s.advance = advance;
  return s;
}

class FontPixels : public ::testing::Test {
 protected:
  TestFontService service;
  TFontPixelManager manager{service};

  const TFontPixel& get(std::uint16_t code, std::string_view name = "face", std::uint8_t style = 0,
                        std::int32_t size = 24) {
    return *manager.GetFontPixel(code, name, style, size);
  }
};

TEST_F(FontPixels, The257thGlyphEvictsTheLeastRecentlyUsedOne) {
  for (int i = 0; i < 256; ++i) get(kanji(i));
  EXPECT_EQ(manager.cached_glyphs(), 256u);
  EXPECT_EQ(service.glyph_requests, 256);
  // A hit moves a glyph to the front: the first is used again, so the
  // second is the one that goes.
  get(kanji(0));
  EXPECT_EQ(service.glyph_requests, 256);
  get(kanji(256));
  EXPECT_EQ(manager.cached_glyphs(), 256u);
  EXPECT_EQ(service.glyph_requests, 257);
  get(kanji(0));
  EXPECT_EQ(service.glyph_requests, 257);
  get(kanji(1));  // evicted: made anew
  EXPECT_EQ(service.glyph_requests, 258);
  EXPECT_EQ(manager.cached_glyphs(), 256u);
  // A glyph that takes the place of an evicted one holds nothing of it:
  // the coverage of 256 boxes of 18 × 18 (rows of 20 bytes), less one when a
  // blank or a glyph without a font comes in.
  EXPECT_EQ(manager.coverage_bytes(), 256 * 20 * 18);
  const TFontPixel& space = get(' ');
  EXPECT_TRUE(space.empty());
  EXPECT_EQ(space.extra_advance, 12);
  EXPECT_EQ(manager.coverage_bytes(), 255 * 20 * 18);
  service.no_font = true;
  EXPECT_THROW(get(kA, "nowhere"), core::Error);
  EXPECT_TRUE(get(kA, "nowhere").empty());
  EXPECT_EQ(manager.coverage_bytes(), 254 * 20 * 18);
  service.no_font = false;
  // Codes with the same low byte share a bucket and stay apart in it.
  const int before = service.glyph_requests;
  for (std::uint16_t code : {0x9A40, 0x9B40, 0x9C40, 0x9A40, 0x9C40, 0x9B40}) EXPECT_EQ(get(code).code, code);
  EXPECT_EQ(service.glyph_requests, before + 3);
}

TEST_F(FontPixels, EveryKeyFieldMakesItsOwnEntry) {
  get(kA);
  manager.SetQuality(0);
  const TFontPixel& mono = get(kA);
  EXPECT_EQ(mono.quality, 0);
  EXPECT_EQ(manager.cached_glyphs(), 2u);
  manager.SetQuality(3);
  get(kA);
  EXPECT_EQ(manager.cached_glyphs(), 2u);
  // Names compare exactly, case and all.
  get(kA, "Face");
  get(kA, "face", FS_BOLD);
  get(kA, "face", 0, 25);
  EXPECT_EQ(manager.cached_glyphs(), 5u);
  EXPECT_EQ(service.glyph_requests, 5);
  // The size is its magnitude, limited to 1..1024, and the key holds that.
  get(kA, "face", 0, -24);
  EXPECT_EQ(service.glyph_requests, 5);
  const TFontPixel& huge = get(kA, "face", 0, 100000);
  EXPECT_EQ(huge.size, 1024);
  EXPECT_EQ(service.font_requests.back().height, 1024);
  get(kA, "face", 0, 1024);
  get(kA, "face", 0, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(service.glyph_requests, 6);
  EXPECT_EQ(get(kA, "face", 0, 0).size, 1);
  // Qualities outside 0..3 are limited.
  manager.SetQuality(7);
  EXPECT_EQ(manager.Quality(), 3);
  manager.SetQuality(-2);
  EXPECT_EQ(manager.Quality(), 0);
}

TEST_F(FontPixels, FontsAreMadeOnlyWhenNameSizeOrStyleChange) {
  get(kA);
  get(0x82A2);
  manager.SetQuality(1);
  get(kA);
  EXPECT_EQ(service.font_requests.size(), 1u);
  const FontRequest& r = service.font_requests[0];
  EXPECT_EQ(r.face, "face");
  EXPECT_EQ(r.height, 24);
  EXPECT_EQ(r.weight, 400);
  get(kA, "face", FS_BOLD | FS_ITALIC | FS_UNDERLINE | FS_STRIKEOUT);
  ASSERT_EQ(service.font_requests.size(), 2u);
  EXPECT_EQ(service.font_requests[1].weight, 700);
  EXPECT_TRUE(service.font_requests[1].italic);
  EXPECT_TRUE(service.font_requests[1].underline);
  EXPECT_TRUE(service.font_requests[1].strike_out);
  // Text alternating between ruby and its base does not make a font per
  // character: recent fonts are kept.
  for (int i = 0; i < 10; ++i) {
    get(kanji(i), "face", 0, 24);
    get(kanji(i), "face", 0, 12);
  }
  EXPECT_EQ(service.font_requests.size(), 3u);
  // The ascent is the selected font's.
  get(kA, "face", 0, 40);
  EXPECT_EQ(manager.Ascent(), 40 - 40 / 5);
  get(kA, "face", 0, 20);
  EXPECT_EQ(manager.Ascent(), 16);
}

// Every raw value of every level, as the font gives it, against the table of
// its quality: piecewise, with the jumps the titles were made for.
TEST_F(FontPixels, EveryRawLevelBecomesTheCoverageOfItsTable) {
  service.shape = [](std::uint16_t, const FontRequest&) {
    TestGlyphShape s = box(65, 2, 0, 10, 66);
    s.level = [](int x, int y, int levels) { return levels == 1 ? (x + y) % 2 : std::min(x, levels); };
    return s;
  };
  auto expected = [](int quality, int v) -> int {
    switch (quality) {
      case 1: {
        const int t[] = {0, 79, 127, 207, 255};
        return t[v];
      }
      case 2: return v == 0 ? 0 : v <= 7 ? 43 + 12 * (v - 1) : 159 + 12 * (v - 8);
      default:
        return v == 0    ? 0
               : v <= 7  ? 18 + 3 * (v - 1)
               : v <= 23 ? 55 + 3 * (v - 8)
               : v <= 39 ? 119 + 3 * (v - 24)
                         : 183 + 3 * (v - 40);
    }
  };
  for (int quality = 0; quality <= 3; ++quality) {
    manager.SetQuality(quality);
    const TFontPixel& g = get(kA);
    ASSERT_EQ(g.coverage.GetBitCount(), 8);
    ASSERT_EQ(g.coverage_width(), 65);
    const int levels = quality == 0 ? 1 : platform::glyph_levels(format_of_quality(quality));
    for (int x = 0; x < 65; ++x) {
      const int v = std::min(x, levels);
      const int want = quality == 0 ? (x % 2 ? 255 : 0) : expected(quality, v);
      EXPECT_EQ(static_cast<int>(g.coverage.GetPixel(x, 0)), want) << "quality " << quality << " raw " << v;
    }
  }
  // The Part's own examples.
  EXPECT_EQ(coverage_table(GlyphFormat::Gray2)[2], 127);
  EXPECT_EQ(coverage_table(GlyphFormat::Gray8)[1], 18);
  EXPECT_EQ(coverage_table(GlyphFormat::Gray8)[40], 183);
}

TEST_F(FontPixels, MetricsComeFromTheGlyphAndTheFont) {
  service.underscore_size = 3;
  service.strikeout_size = 4;
  service.strikeout_position = 7;
  service.shape = [](std::uint16_t code, const FontRequest&) {
    return code == 'a' ? box(5, 6, -2, 30, 4) : box(5, 6, 3, 12, 14);
  };
  const TFontPixel& g = get('b', "face", FS_UNDERLINE | FS_STRIKEOUT, 20);
  EXPECT_EQ(g.coverage_width(), 5);
  EXPECT_EQ(g.coverage_height(), 6);
  EXPECT_EQ(g.left_bearing, 3);
  EXPECT_EQ(g.top_offset, 16 - 12);  // ascent 16
  EXPECT_EQ(g.underline_thickness, 3);
  EXPECT_EQ(g.strike_position, 16 - 7);
  EXPECT_EQ(g.strike_thickness, 4);
  EXPECT_EQ(g.extra_advance, 14 - 5 - 3);
  EXPECT_EQ(g.advance(), 14);
  // Negative bearings and overhangs count as 0; no bars without the flags.
  const TFontPixel& a = get('a', "face", 0, 20);
  EXPECT_EQ(a.left_bearing, 0);
  EXPECT_EQ(a.top_offset, 0);
  EXPECT_EQ(a.extra_advance, 0);
  EXPECT_EQ(a.underline_thickness, 0);
  EXPECT_EQ(a.strike_position, 0);
  EXPECT_EQ(a.strike_thickness, 0);
}

TEST_F(FontPixels, ASpaceHasNoCoverageAndAdvancesByItsTextWidth) {
  const TFontPixel& space = get(' ', "face", FS_UNDERLINE, 20);
  EXPECT_TRUE(space.empty());
  EXPECT_EQ(space.extra_advance, 10);
  EXPECT_EQ(space.advance(), 10);
  const TFontPixel& wide = get(0x8140, "face", 0, 20);
  EXPECT_EQ(wide.extra_advance, 20);
  // Drawing it paints nothing, underlined or not.
  graphics::TDIBX colour, mask;
  colour.SetSize(40, 40, 32);
  mask.SetSize(40, 40, 8);
  GlyphDrawing d{&colour, &mask, 0x111111, 0x222222, 0x333333, true, true, 2, 1, {0, 0, 30, 30}};
  EXPECT_TRUE(manager.DrawFontPixel(manager.GetFontPixel(' ', "face", FS_UNDERLINE, 20), d).empty());
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) ASSERT_EQ(mask.GetPixel(x, y) | colour.GetPixel(x, y), 0u);
  }
}

TEST_F(FontPixels, ARefusedGrayFormatDropsTheQualityUntilItIsSetAgain) {
  service.refused = {GlyphFormat::Gray8};
  const TFontPixel& g = get(kA);
  // The glyph keeps the quality it was asked at and holds the monochrome
  // rendering.
  EXPECT_EQ(g.quality, 3);
  EXPECT_FALSE(g.empty());
  EXPECT_EQ(g.coverage.GetPixel(0, 0), 255u);
  EXPECT_EQ(manager.Quality(), 0);
  get(0x82A2);
  EXPECT_EQ(manager.Quality(), 0);
  EXPECT_EQ(get(0x82A2).quality, 0);
  manager.SetQuality(3);
  EXPECT_EQ(get(kA).quality, 3);
  EXPECT_EQ(service.glyph_requests, 3);  // the first one twice, then in monochrome
  service.refused.clear();
  EXPECT_EQ(get(0x82A6).coverage.GetPixel(0, 0), 255u);
  EXPECT_EQ(manager.Quality(), 3);
  EXPECT_EQ(service.glyph_requests, 4);
  // Refused in both formats: an empty glyph with every metric 0.
  service.refused = {GlyphFormat::Gray8, GlyphFormat::Mono};
  const TFontPixel& none = get(0x82A4);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(none.left_bearing + none.top_offset + none.extra_advance + none.underline_thickness, 0);
  EXPECT_EQ(manager.Quality(), 0);
}

TEST_F(FontPixels, CodesWithoutACharacterGiveEmptyGlyphsAndKeepTheQuality) {
  for (std::uint16_t code : {std::uint16_t{0x8540}, std::uint16_t{0x86A0}, std::uint16_t{0x82}, std::uint16_t{0xFC}}) {
    const TFontPixel& g = get(code, "face", FS_UNDERLINE | FS_STRIKEOUT);
    EXPECT_TRUE(g.empty()) << code;
    EXPECT_EQ(g.left_bearing, 0);
    EXPECT_EQ(g.top_offset, 0);
    EXPECT_EQ(g.extra_advance, 0);
    EXPECT_EQ(g.underline_thickness, 0);
    EXPECT_EQ(g.strike_thickness, 0);
    EXPECT_EQ(manager.Quality(), 3);
  }
}

TEST_F(FontPixels, NoFontRaisesTheMetricsErrorWithTheGlyphCached) {
  service.no_font = true;
  try {
    get(kA);
    FAIL() << "no error";
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), "Error:GetOutlineTextMetrics");
  }
  EXPECT_EQ(manager.cached_glyphs(), 1u);
  EXPECT_EQ(manager.Ascent(), 0);
  // The empty glyph is what the key gives from now on.
  EXPECT_TRUE(get(kA).empty());
  EXPECT_EQ(service.font_requests.size(), 1u);
  // Another key tries again.
  service.no_font = false;
  EXPECT_FALSE(get(0x82A2).empty());
  EXPECT_EQ(manager.Ascent(), 24 - 24 / 5);
}

TEST_F(FontPixels, CoverageStaysWithinItsBudgetAndTheNewestGlyphStays) {
  std::size_t most = 0;
  for (int i = 0; i < 300; ++i) {
    const TFontPixel& g = get(kanji(i), "face", 0, 1024);
    ASSERT_EQ(g.coverage_width(), 768);
    EXPECT_LE(manager.coverage_bytes(), manager.coverage_budget());
    most = std::max(most, manager.cached_glyphs());
  }
  EXPECT_EQ(most, static_cast<std::size_t>(manager.coverage_budget() / (768 * 768)));
  // With a budget below one glyph the newest is kept all the same.
  TFontPixelManager small(service, 1000);
  EXPECT_FALSE(small.GetFontPixel(kA, "face", 0, 64)->empty());
  EXPECT_FALSE(small.GetFontPixel(0x82A2, "face", 0, 64)->empty());
  EXPECT_EQ(small.cached_glyphs(), 1u);
  EXPECT_EQ(small.coverage_bytes(), 48 * 48);
}

// Border and shadow widths from scripts and stored texts are limited to
// 0..64: wider ones paint what 64 paints.
TEST_F(FontPixels, BorderAndShadowWidthsAreLimited) {
  service.shape = [](std::uint16_t, const FontRequest&) {
    TestGlyphShape s = box(2, 2, 0, 10, 4);
    s.level = [](int x, int, int levels) { return x == 0 ? levels : levels / 2; };
    return s;
  };
  auto draw = [&](int border, int shadow, graphics::TDIBX& colour, graphics::TDIBX& mask) {
    colour.SetSize(300, 300, 32);
    mask.SetSize(300, 300, 8);
    GlyphDrawing d{&colour, &mask, 0x112233, 0x445566, 0x778899, true, true, shadow, border, {100, 100, 110, 110}};
    return manager.DrawFontPixel(manager.GetFontPixel(kA, "face", FS_UNDERLINE, 12), d);
  };
  graphics::TDIBX c64, m64, c_wide, m_wide;
  const graphics::Rect limited = draw(64, 64, c64, m64);
  const graphics::Rect wide = draw(1000, std::numeric_limits<std::int32_t>::max(), c_wide, m_wide);
  EXPECT_EQ(wide, limited);
  EXPECT_EQ(limited.right, 100 + 2 + 2 + 2 * 64 + 64);  // cell, offset, glyph, two borders, shadow
  // The first pixel that differs, as "x,y", or "" when none does.
  const auto first_difference = [](const graphics::TDIBX& a, const graphics::TDIBX& b) -> std::string {
    for (int y = 0; y < 300; ++y) {
      for (int x = 0; x < 300; ++x) {
        if (a.GetPixel(x, y) != b.GetPixel(x, y)) return std::to_string(x) + "," + std::to_string(y);
      }
    }
    return "";
  };
  EXPECT_EQ(first_difference(c_wide, c64), "");
  EXPECT_EQ(first_difference(m_wide, m64), "");
  // Negative widths are none.
  graphics::TDIBX c0, m0, c_neg, m_neg;
  EXPECT_EQ(draw(-5, -1, c_neg, m_neg), draw(0, 0, c0, m0));
}

#ifndef NDEBUG
TEST_F(FontPixels, AGlyphUsedAfterALaterCallAsserts) {
  FontPixelRef first = manager.GetFontPixel(kA, "face", 0, 24);
  EXPECT_EQ(first->code, kA);
  manager.GetFontPixel(0x82A2, "face", 0, 24);
  EXPECT_DEATH((void)first->code, "later GetFontPixel");
}
#endif

// --- Placement ---------------------------------------------------------------------

class Placement : public FontPixels {
 protected:
  // One glyph of box width `gw`, bearing `l` and advance `adv`, whose ABC
  // widths are (a, b, c).
  const TFontPixel& glyph(int gw, int l, int adv, int a, unsigned b, int c, std::int32_t size = 24) {
    service.shape = [=](std::uint16_t, const FontRequest&) {
      TestGlyphShape s = box(gw, 4, l, 10, adv);
      s.abc = AbcWidths{a, b, c};
      return s;
    };
    return get(static_cast<std::uint16_t>(0x8800 + ++m_n), "face", 0, size);
  }
  int m_n = 0x9F;
};

TEST_F(Placement, ANarrowGlyphKeepsItsProportionOfSpaceInTheCell) {
  // F = min(W, size) − gw = 24 − 6 = 18; (A + B / 2) × F / (A + B + C).
  const TFontPixel& g = glyph(6, 0, 8, 1, 6, 1);
  EXPECT_EQ(manager.HorizontalOffset(g, 30), 9);  // (1 + 3) × 18 / 8 = 9
  // B / 2 rounds toward zero: (1 + 2) × 18 / 7 = 7.71 → 8.
  const TFontPixel& odd = glyph(6, 0, 7, 1, 5, 1);
  EXPECT_EQ(manager.HorizontalOffset(odd, 24), 8);
  // Halves go to even: (2 + 1) × 18 / 12 = 4.5 → 4; (3 + 2) × 18 / 20 = 4.5 → 4; 5.5 → 6.
  EXPECT_EQ(manager.HorizontalOffset(glyph(6, 0, 8, 2, 2, 8), 24), 4);
  EXPECT_EQ(manager.HorizontalOffset(glyph(6, 0, 8, 3, 4, 13), 24), 4);
  EXPECT_EQ(manager.HorizontalOffset(glyph(6, 0, 8, 10, 2, 24), 40), 6);  // 11 × 18 / 36 = 5.5
  // The left bearing is taken off, never below 0.
  EXPECT_EQ(manager.HorizontalOffset(glyph(6, 2, 10, 1, 6, 1), 24), 7);  // 9 − 2
  EXPECT_EQ(manager.HorizontalOffset(glyph(6, 5, 10, 0, 6, 10), 24), 0);
  // A cell narrower than the size places within min(W, size).
  EXPECT_EQ(manager.HorizontalOffset(glyph(6, 0, 8, 1, 6, 1), 14), 4);  // (14 − 6) × 4 / 8
  // Bearing and extra advance filling the space: no offset.
  EXPECT_EQ(manager.HorizontalOffset(glyph(6, 9, 24, 9, 6, 9), 24), 0);
}

TEST_F(Placement, WithoutWidthsToShareTheSpaceTheGlyphIsCentred) {
  // A + C = 0, and A + B + C = 0, which used to divide by zero.
  EXPECT_EQ(manager.HorizontalOffset(glyph(6, 0, 8, 3, 6, -3), 24), 9);
  EXPECT_EQ(manager.HorizontalOffset(glyph(6, 0, 8, 2, 2, -4), 24), 9);
  EXPECT_EQ(manager.HorizontalOffset(glyph(5, 0, 8, 2, 2, -4), 24), 9);  // 19 / 2 toward zero
  // Extreme widths stay in range.
  EXPECT_GE(manager.HorizontalOffset(
                glyph(6, 0, 8, std::numeric_limits<int>::max(), 0, -std::numeric_limits<int>::max() + 1), 24),
            0);
  EXPECT_EQ(manager.HorizontalOffset(glyph(6, 0, 8, -5, 0, 10), 24), 0);
}

// The widths come from a font of the glyph's own name, size and style: a
// recent one, or one made for them.
TEST_F(Placement, WidthsAreReadFromTheGlyphsOwnFont) {
  const std::uint16_t code = static_cast<std::uint16_t>(0x8800 + m_n + 1);
  EXPECT_EQ(manager.HorizontalOffset(glyph(6, 0, 8, 1, 6, 1, 30), 40), 12);  // (1 + 3) × (30 − 6) / 8
  const std::size_t made = service.font_requests.size();
  for (int size = 31; size <= 35; ++size) get(kA, "face", FS_ITALIC, size);
  EXPECT_EQ(service.font_requests.size(), made + 5);
  const TFontPixel& again = get(code, "face", 0, 30);
  EXPECT_EQ(manager.HorizontalOffset(again, 40), 12);
  ASSERT_EQ(service.font_requests.size(), made + 6);
  EXPECT_EQ(service.font_requests.back().face, "face");
  EXPECT_EQ(service.font_requests.back().height, 30);
  EXPECT_FALSE(service.font_requests.back().italic);
  EXPECT_EQ(manager.HorizontalOffset(again, 40), 12);
  EXPECT_EQ(service.font_requests.size(), made + 6);
}

}  // namespace
}  // namespace nova::text
