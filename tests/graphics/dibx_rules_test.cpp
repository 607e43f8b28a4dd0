// The arithmetic and geometry rules of the surface operations, on small
// surfaces with pixels worked out by hand.
#include <gtest/gtest.h>

#include <limits>

#include "graphics/kernels.h"
#include "graphics/memory_dibx.h"
#include "surface_helpers.h"

namespace nova::graphics {
namespace {

// A memory surface of a size and layout, filled with one value.
struct Surf : TDIBX {
  Surf(int w, int h, int bits, std::uint32_t fill = 0) {
    SetSize(w, h, bits);
    if (fill) Fill(fill);
  }
};

// Every rule holds on the reference and on every fast path.
class EveryPath : public ::testing::TestWithParam<PixelPath> {
 protected:
  void SetUp() override { ASSERT_TRUE(m_path.ok()); }
  ScopedPixelPath m_path{GetParam()};
};

TEST_P(EveryPath, BlendRectAtFullOpacityLosesOneStepAndSkipsEqualPixels) {
  Surf s(4, 1, 32);
  s.SetPixel(0, 0, 0x000000);
  s.SetPixel(1, 0, 0x80C0FF);
  s.SetPixel(2, 0, 0x102030);
  s.BlendRect(Rect{0, 0, 4, 1}, 0x80C0FF, 255);
  EXPECT_EQ(s.GetPixel(0, 0) & 0xFFFFFF, 0x7FBFFEu);
  EXPECT_EQ(s.GetPixel(1, 0) & 0xFFFFFF, 0x80C0FFu) << "a pixel equal to the colour stays";
  // (0x10 × 0 + 0x80 × 255) >> 8 = 0x7F, and likewise for the others.
  EXPECT_EQ(s.GetPixel(2, 0) & 0xFFFFFF, 0x7FBFFEu);

  Surf h(2, 1, 16);
  h.BlendRect(Rect{0, 0, 2, 1}, 0xFFFF, 255);
  // Each channel at its maximum m gives (m × 255) >> 8 = m − 1.
  EXPECT_EQ(h.GetPixel(0, 0), (30u << 11) | (62u << 5) | 30u);
}

TEST_P(EveryPath, BlendOfWhiteOverBlackAtHalfIs127) {
  Surf dst(3, 2, 32), src(3, 2, 32, 0xFFFFFF);
  dst.DrawBlend(0, 0, 128, false, false, false, Rect{0, 0, 3, 2}, src);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(dst.GetPixel(x, 1) & 0xFFFFFF, 0x7F7F7Fu);
  // The same source over itself is skipped rather than darkened.
  Surf same(3, 2, 32, 0xFFFFFF);
  same.DrawBlend(0, 0, 128, false, false, false, Rect{0, 0, 3, 2}, src);
  EXPECT_EQ(same.GetPixel(1, 1) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_P(EveryPath, MirroredDrawCutByTheClipShowsTheFarColumnsFirst) {
  Surf src(10, 1, 32), dst(12, 1, 32);
  for (int x = 0; x < 10; ++x) src.SetPixel(x, 0, 0x100 + static_cast<std::uint32_t>(x));
  dst.Draw(-3, 0, false, true, false, Rect{0, 0, 10, 1}, src);
  for (int x = 0; x <= 6; ++x) EXPECT_EQ(dst.GetPixel(x, 0), 0x100u + static_cast<std::uint32_t>(6 - x)) << x;
  EXPECT_EQ(dst.GetPixel(7, 0), 0u);
}

TEST_P(EveryPath, KeysSkipSourcePixelsAndAddAlwaysKeys) {
  Surf src(4, 1, 16), dst(4, 1, 16, 0x0841);
  src.SetPixel(0, 0, 0x001F);
  src.SetPixel(1, 0, 0xF800);
  src.SetPixel(2, 0, 0x001F);
  src.SetPixel(3, 0, 0x07E0);
  src.SetTransparentValue(0x001F);
  Surf copy(4, 1, 16, 0x0841);
  copy.Draw(0, 0, false, false, true, Rect{0, 0, 4, 1}, src);
  EXPECT_EQ(copy.GetPixel(0, 0), 0x0841u);
  EXPECT_EQ(copy.GetPixel(1, 0), 0xF800u);
  EXPECT_EQ(copy.GetPixel(3, 0), 0x07E0u);
  // keyed = false: the additive draw keys all the same.
  dst.DrawAdd(0, 0, 255, false, false, false, Rect{0, 0, 4, 1}, src);
  EXPECT_EQ(dst.GetPixel(0, 0), 0x0841u);
  EXPECT_EQ(dst.GetPixel(2, 0), 0x0841u);
  // red: 1 + (31 × 255) >> 8 = 31; green and blue stay at 2 and 1.
  EXPECT_EQ(dst.GetPixel(1, 0), (31u << 11) | (2u << 5) | 1u);
}

TEST_P(EveryPath, MaskedBlendWeighsTheAlphaPlaneByTheOpacity) {
  Surf src(2, 1, 32, 0xC8C8C8), dst(2, 1, 32, 0x646464), alpha(2, 1, 8);
  alpha.SetPixel(0, 0, 0);
  alpha.SetPixel(1, 0, 200);
  dst.DrawMaskedBlend(0, 0, 128, alpha, false, false, Rect{0, 0, 2, 1}, src);
  EXPECT_EQ(dst.GetPixel(0, 0) & 0xFFFFFF, 0x646464u) << "weight 0 is skipped";
  // w = (128 × 200) >> 8 = 100: (200 × 100 + 100 × 155) >> 8 = 138 = 0x8A.
  EXPECT_EQ(dst.GetPixel(1, 0) & 0xFFFFFF, 0x8A8A8Au);
}

TEST_P(EveryPath, ColorMaskedPaintsThroughTheMaskAndLeavesTheColourAlone) {
  Surf dst(3, 1, 15), mask(3, 1, 8);
  dst.SetPixel(1, 0, 0x7FFF);
  mask.Fill(255);
  mask.SetPixel(2, 0, 0);
  dst.DrawColorMasked(0, 0, 255, 0x7FFF, false, false, Rect{0, 0, 3, 1}, mask);
  EXPECT_EQ(dst.GetPixel(0, 0), 0x7BDEu) << "30 in every channel";
  EXPECT_EQ(dst.GetPixel(1, 0), 0x7FFFu);
  EXPECT_EQ(dst.GetPixel(2, 0), 0u);
  // A mask too small for the rectangle draws nothing at all.
  Surf untouched(5, 1, 15);
  untouched.DrawColorMasked(0, 0, 255, 0x7FFF, false, false, Rect{0, 0, 4, 1}, mask);
  EXPECT_EQ(untouched.GetPixel(0, 0), 0u);
}

TEST_P(EveryPath, RotationByZeroIsTheUnrotatedDraw) {
  test::Rng rng(7);
  Surf src(9, 6, 32);
  test::fill_random(src, rng, 5);
  // No black source pixel, so the blend's equal-pixel skip never applies on
  // the black destination.
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 9; ++x) src.SetPixel(x, y, src.GetPixel(x, y) | 0x010101);
  }
  src.SetTransparentValue(static_cast<std::int32_t>(src.GetPixel(2, 2)));
  for (int alpha : {255, 100, 300}) {
    for (bool flip : {false, true}) {
      Surf a(20, 12, 32), b(20, 12, 32);
      const Rect sr{1, 1, 8, 6};
      a.DrawRotate(10, 7, alpha, flip, flip, true, 0, 3, 4, sr, src, 256, 256);
      // The pivot (4, 3) lands on (10, 7): the rectangle's corner at (7, 5).
      if (alpha == 255) b.Draw(7, 5, flip, flip, true, sr, src);
      else if (alpha < 255) b.DrawBlend(7, 5, alpha, flip, flip, true, sr, src);
      else b.DrawAdd(7, 5, alpha - 256, flip, flip, true, sr, src);
      EXPECT_EQ(test::first_difference(a, b), "") << "alpha " << alpha << " flip " << flip;
    }
  }
}

TEST_P(EveryPath, QuarterTurnPutsTheTopEdgeOnTheRight) {
  Surf src(4, 3, 32), dst(10, 10, 32);
  for (int x = 0; x < 4; ++x) src.SetPixel(x, 0, 0xFF0000 + static_cast<std::uint32_t>(x));
  for (int y = 1; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) src.SetPixel(x, y, 0x00FF00);
  }
  dst.DrawRotate(5, 2, 255, false, false, false, 64, 0, 0, Rect{0, 0, 4, 3}, src, 256, 256);
  // Source (u, v) lands on (5 − v, 2 + u): the top row is the column x = 5.
  for (int u = 0; u < 4; ++u) EXPECT_EQ(dst.GetPixel(5, 2 + u), 0xFF0000u + static_cast<std::uint32_t>(u));
  EXPECT_EQ(dst.GetPixel(4, 2), 0x00FF00u);
  EXPECT_EQ(dst.GetPixel(3, 5), 0x00FF00u);
  EXPECT_EQ(dst.GetPixel(6, 2), 0u);
  EXPECT_EQ(dst.GetPixel(2, 2), 0u);
}

TEST_P(EveryPath, StretchByTwoDoublesEveryPixelAndMirrorsExactly) {
  test::Rng rng(3);
  Surf src(5, 4, 16);
  test::fill_random(src, rng);
  Surf dst(10, 8, 16), mirrored(10, 8, 16);
  dst.StretchDraw(Rect{0, 0, 10, 8}, src, 255, false, false, false, Rect{0, 0, 5, 4});
  mirrored.StretchDraw(Rect{0, 0, 10, 8}, src, 255, true, true, false, Rect{0, 0, 5, 4});
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 10; ++x) {
      EXPECT_EQ(dst.GetPixel(x, y), src.GetPixel(x / 2, y / 2));
      EXPECT_EQ(mirrored.GetPixel(x, y), src.GetPixel(4 - x / 2, 3 - y / 2));
    }
  }
  // A 1.5× stretch cut by the clip samples the same source pixels as the
  // uncut one where both draw.
  Surf full(30, 6, 16), cut(30, 6, 16);
  cut.IncludeClipRect(Rect{4, 0, 21, 6});
  full.StretchDraw(Rect{1, 0, 28, 6}, src, 255, false, true, false, Rect{0, 0, 5, 4});
  cut.StretchDraw(Rect{1, 0, 28, 6}, src, 255, false, true, false, Rect{0, 0, 5, 4});
  for (int x = 0; x < 30; ++x) EXPECT_EQ(cut.GetPixel(x, 2), x >= 4 && x < 21 ? full.GetPixel(x, 2) : 0u) << x;
}

TEST_P(EveryPath, TilePhaseMinusOneStartsWithTheLastColumn) {
  Surf src(3, 1, 32), dst(8, 1, 32);
  for (int x = 0; x < 3; ++x) src.SetPixel(x, 0, 0x10u + static_cast<std::uint32_t>(x));
  dst.TileDraw(Rect{0, 0, 8, 1}, 0, 0, -1, false, Rect{0, 0, 3, 1}, src, 0);
  const std::uint32_t expected[] = {0x12, 0x10, 0x11, 0x12, 0x10, 0x11, 0x12, 0x10};
  for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.GetPixel(x, 0), expected[x]) << x;
  // Gaps separate whole tiles; the clip is back as it was afterwards.
  Surf gaps(9, 1, 32);
  gaps.TileDraw(Rect{0, 0, 9, 1}, 2, 0, 1, false, Rect{0, 0, 3, 1}, src, 0);
  const std::uint32_t with_gaps[] = {0x11, 0x12, 0, 0, 0x10, 0x11, 0x12, 0, 0};
  for (int x = 0; x < 9; ++x) EXPECT_EQ(gaps.GetPixel(x, 0), with_gaps[x]) << x;
  EXPECT_FALSE(gaps.HasClip());
}

TEST_P(EveryPath, TilesFarOutsideTheSurfaceAreSteppedOverExactly) {
  Surf src(3, 1, 32), far(8, 1, 32), zoomed(8, 1, 32);
  for (int x = 0; x < 3; ++x) src.SetPixel(x, 0, 0x10u + static_cast<std::uint32_t>(x));
  // A billion pixels to the left: pixel x shows column (x + 1000000007) mod 4
  // of the tile repeated with a one-pixel gap.
  far.TileDraw(Rect{-1000000007, 0, 8, 1}, 1, 0, 0, false, Rect{0, 0, 3, 1}, src, 0);
  for (int x = 0; x < 8; ++x) {
    const int col = (x + 1000000007) % 4;
    EXPECT_EQ(far.GetPixel(x, 0), col == 3 ? 0u : 0x10u + static_cast<std::uint32_t>(col)) << x;
  }
  // Zoomed tiles of 2 × 2 pixels on a lattice of 3 by 6 pixels; the row of
  // tiles at y = 0 covers the surface.
  zoomed.TileStretch(Rect{-900000001, -6, 8, 1}, 3, 0, 0, 255, false, false, false, Rect{0, 0, 2, 1}, src, 512, 256,
                     3);
  for (int x = 0; x < 8; ++x) {
    const int within = (x + 900000001) % 3;
    EXPECT_EQ(zoomed.GetPixel(x, 0), within == 0 ? 0x10u : within == 1 ? 0x11u : 0u) << x;
  }
}

TEST_P(EveryPath, TileFillWrapsThePhaseAndMirrors) {
  Surf src(3, 2, 16), dst(5, 2, 16);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) src.SetPixel(x, y, static_cast<std::uint32_t>(10 * y + x + 1));
  }
  dst.TileFill(Rect{0, 0, 5, 2}, src, false, false, 1, -1);
  // ((−1 + i) mod 3, (1 + j) mod 2)
  const std::uint32_t row0[] = {13, 11, 12, 13, 11};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(dst.GetPixel(x, 0), row0[x]) << x;
  dst.TileFill(Rect{0, 0, 5, 2}, src, false, true, 0, 0);
  const std::uint32_t mirrored[] = {3, 2, 1, 3, 2};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(dst.GetPixel(x, 0), mirrored[x]) << x;
}

TEST_P(EveryPath, ClippedDrawsEqualUnclippedDrawsInsideTheClip) {
  // Clipping must change only which pixels are drawn, never what they get.
  for (int bits : {32, 16, 15, 24, 8}) {
    for (int trial = 0; trial < 30; ++trial) {
      test::Rng rng(static_cast<unsigned>(trial * 31 + bits));
      Surf src(13, 9, bits), alpha(13, 9, 8), base(24, 16, bits);
      test::fill_random(src, rng);
      test::fill_random(base, rng);
      test::fill_alpha_runs(alpha, rng);
      const Rect clip{test::uniform(rng, 0, 10), test::uniform(rng, 0, 7), test::uniform(rng, 12, 24),
                      test::uniform(rng, 9, 16)};
      const bool fh = trial & 1, fv = (trial >> 1) & 1;
      const int x = test::uniform(rng, -6, 16), y = test::uniform(rng, -4, 10);
      for (int op = 0; op < 4; ++op) {
        TDIBX whole, clipped;
        test::copy_into(whole, base);
        test::copy_into(clipped, base);
        clipped.IncludeClipRect(clip);
        auto run = [&](TDIBX& d) {
          if (op == 0) d.DrawMaskedBlend(x, y, 150, alpha, fv, fh, Rect{1, 0, 12, 9}, src);
          if (op == 1) d.DrawRotate(x, y, 200, fv, fh, false, 37, 4, 5, Rect{0, 0, 13, 9}, src, 300, 200);
          if (op == 2) d.StretchDrawMasked(Rect{x, y, x + 19, y + 7}, src, 255, alpha, fv, fh, Rect{0, 1, 13, 9});
          if (op == 3) d.TileZoom(Rect{x, y, x + 20, y + 11}, 180, 400, fv, fh, false, 3, -5, src, 330);
        };
        run(whole);
        run(clipped);
        for (int py = 0; py < 16; ++py) {
          for (int px = 0; px < 24; ++px) {
            // Inside, the colour bits must agree; outside, nothing may change.
            const bool inside = clip.contains(Point{px, py});
            const std::uint32_t bits_used = inside ? test::colour_bits(bits) : 0xFFFFFFFFu;
            ASSERT_EQ(clipped.GetPixel(px, py) & bits_used,
                      (inside ? whole.GetPixel(px, py) : base.GetPixel(px, py)) & bits_used)
                << "bits " << bits << " op " << op << " at " << px << "," << py;
          }
        }
      }
    }
  }
}

TEST_P(EveryPath, ASurfaceDrawnOntoItselfReadsItsOldPixels) {
  test::Rng rng(21);
  for (int op = 0; op < 4; ++op) {
    Surf self(23, 17, 32), copy(23, 17, 32), expected(23, 17, 32);
    test::fill_random(self, rng);
    for (TDIBX* s : {&copy, &expected}) {
      for (int y = 0; y < 17; ++y) {
        for (int x = 0; x < 23; ++x) s->SetPixel(x, y, self.GetPixel(x, y));
      }
    }
    auto run = [&](TCustomDIBX& d, const TCustomDIBX& src) {
      if (op == 0) d.Draw(2, 3, false, false, false, Rect{0, 0, 20, 14}, src);
      if (op == 1) d.DrawBlend(-1, 1, 90, true, true, false, Rect{0, 0, 23, 17}, src);
      if (op == 2) d.StretchDraw(Rect{1, 1, 23, 17}, src, 255, false, false, false, Rect{0, 0, 12, 9});
      if (op == 3) d.DrawRotate(11, 8, 255, false, false, false, 40, 8, 11, Rect{0, 0, 23, 17}, src, 256, 256);
    };
    run(expected, copy);
    run(self, self);
    EXPECT_EQ(test::first_difference(self, expected), "") << "op " << op;
  }
}

TEST_P(EveryPath, ExtremeCoordinatesAreClippedWithoutOverflow) {
  constexpr int kMin = std::numeric_limits<int>::min(), kMax = std::numeric_limits<int>::max();
  test::Rng rng(8);
  Surf dst(16, 16, 16), src(8, 8, 16), alpha(8, 8, 8), before(16, 16, 16);
  test::fill_random(src, rng);
  alpha.Fill(200);
  const Rect huge{kMin, kMin, kMax, kMax};
  const int positions[] = {kMin, kMin + 1, -1000000000, kMax - 1, kMax};
  for (int x : positions) {
    dst.Draw(x, 3, false, true, false, Rect{kMin, 0, kMax, 8}, src);
    dst.DrawMaskedBlend(3, x, 100, alpha, true, false, huge, src);
    dst.DrawRotate(x, x, 300, false, false, false, 17, x, x, Rect{0, 0, 8, 8}, src, 256, 256);
    dst.DrawRotate(4, 4, 255, false, false, false, 17, 2, 2, Rect{0, 0, 8, 8}, src, kMax, 1);
    dst.StretchDraw(Rect{x, 0, kMax, 8}, src, 255, true, false, false, Rect{0, 0, 8, 8});
    dst.StretchDraw(Rect{0, 0, 16, 16}, src, 200, false, true, false, Rect{x, 0, 8, 8});
    dst.TileDraw(Rect{x, x, 16, 16}, kMax, x, x, false, Rect{0, 0, 8, 8}, src, kMin);
    dst.TileDraw(huge, 0, 0, 0, false, huge, src, 0);
    dst.TileStretch(huge, x, x, x, 255, false, false, false, Rect{0, 0, 8, 8}, src, 1, kMax, kMax);
    dst.TileFill(huge, src, true, true, x, x);
    dst.TileZoom(huge, 1, 200, false, false, false, x, x, src, kMax);
    dst.FrameRect(huge, kMax, 0x1234);
    dst.PatternFrame(Rect{x, 0, 16, 16}, kMax, x, x, src);
    dst.DrawColorMasked(x, x, 255, 0xFFFF, false, false, huge, alpha);
    dst.DrawCoverage(x, 0, 4, 255, false, false, 0xFFFF, huge, src);
  }
  // The operations that can draw inside did; nothing failed on the way.
  EXPECT_NE(test::first_difference(dst, before), "");
}

INSTANTIATE_TEST_SUITE_P(Paths, EveryPath, ::testing::ValuesIn(available_pixel_paths()),
                         [](const ::testing::TestParamInfo<PixelPath>& p) {
                           return std::string(pixel_path_name(p.param));
                         });

TEST(ClipRect, IncludeClipRectOutsideTheSurfaceChangesNothing) {
  Surf s(10, 10, 32);
  s.IncludeClipRect(Rect{20, 20, 30, 30});
  EXPECT_FALSE(s.HasClip());
  s.IncludeClipRect(Rect{2, 2, 4, 4});
  s.IncludeClipRect(Rect{-9, -9, -1, -1});
  EXPECT_EQ(s.ClipRect(), (Rect{2, 2, 4, 4}));
  s.IncludeClipRect(Rect{8, 1, 30, 3});
  EXPECT_EQ(s.ClipRect(), (Rect{2, 1, 10, 4})) << "the union, clamped to the surface";
  s.ResetClip();
  EXPECT_EQ(s.EffectiveClip(), (Rect{0, 0, 10, 10}));
}

TEST(ColorToPixel, RedInEachLayout) {
  EXPECT_EQ(Surf(1, 1, 16).ColorToPixel(0x0000FF), 0xF800);
  EXPECT_EQ(Surf(1, 1, 15).ColorToPixel(0x0000FF), 0x7C00);
  EXPECT_EQ(Surf(1, 1, 32).ColorToPixel(0x0000FF), 0xFF0000);
  EXPECT_EQ(Surf(1, 1, 32).ColorToPixel(-5), -1);
  EXPECT_EQ(Surf(1, 1, 24).ColorToPixel(0x123456), 0x123456) << "unchanged at 8 and 24 bits";
  // Each channel keeps its top bits: 0x88 green in 5-6-5 is 0x22.
  EXPECT_EQ(Surf(1, 1, 16).ColorToPixel(rgb(0x08, 0x88, 0xF8)), (0x01 << 11) | (0x22 << 5) | 0x1F);
}

TEST(Coverage, FactorFourCountsInkInEachBlock) {
  Surf ink(8, 4, 1), dst(2, 1, 32, 0x000040);
  // Block 0 all ink (0 bits); block 1 half ink: its left two columns are 1.
  for (int y = 0; y < 4; ++y) {
    for (int x = 4; x < 6; ++x) ink.SetPixel(x, y, 1);
  }
  dst.DrawCoverage(0, 0, 4, 255, false, false, 0xC08000, Rect{0, 0, 8, 4}, ink);
  EXPECT_EQ(dst.GetPixel(0, 0) & 0xFFFFFF, 0xC08000u);
  // (0xC0 × 8 + 0 × 8) >> 4 = 0x60; (0x80 × 8) >> 4 = 0x40; (0 × 8 + 0x40 × 8) >> 4 = 0x20.
  EXPECT_EQ(dst.GetPixel(1, 0) & 0xFFFFFF, 0x604020u);
  // Factor 2 divides by 4, not by 16.
  Surf two(1, 1, 32, 0);
  two.DrawCoverage(0, 0, 2, 255, false, false, 0xFFFFFF, Rect{0, 0, 2, 2}, ink);
  EXPECT_EQ(two.GetPixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(Coverage, ThreeColoursWeighBlocksAndAddAboveOpacity255) {
  Surf src(2, 2, 4), dst(2, 1, 32, 0x000010);
  src.SetPixel(0, 0, 1);
  src.SetPixel(1, 0, 1);
  src.SetPixel(0, 1, 2);
  dst.DrawCoverage3(0, 0, 2, 255, false, false, 0x0000F0, 0x00F000, 0xF00000, Rect{0, 0, 2, 2}, src);
  // w1 = 512, w2 = 256, background 256, of 1024: blue (0xF0 × 512 + 0x10 × 256) >> 10 = 0x7C.
  EXPECT_EQ(dst.GetPixel(0, 0) & 0xFFFFFF, 0x003C7Cu);
  Surf add(1, 1, 32, 0x0000F0);
  add.DrawCoverage3(0, 0, 2, 256 + 255, false, false, 0x0000F0, 0, 0, Rect{0, 0, 2, 2}, src);
  // Destination at full weight plus 0xF0 × 255 × 2, limited to 0xFF.
  EXPECT_EQ(add.GetPixel(0, 0) & 0xFF, 0xFFu);
}

TEST(Palette, SixteenColourDrawCopiesBlendsAndAdds) {
  Surf src(3, 1, 4), dst(3, 1, 32, 0x101010);
  src.SetPixel(0, 0, 1);
  src.SetPixel(1, 0, 2);
  src.SetPixel(2, 0, 5);
  src.SetTransparentValue(5);
  const std::uint32_t pal[16] = {0, 0x202020, 0xFFFFFF};
  dst.DrawPalette16(0, 0, pal, 255, false, false, Rect{0, 0, 3, 1}, src);
  EXPECT_EQ(dst.GetPixel(0, 0), 0x202020u);
  EXPECT_EQ(dst.GetPixel(1, 0), 0xFFFFFFu);
  EXPECT_EQ(dst.GetPixel(2, 0), 0x101010u) << "the key index is skipped";
  dst.DrawPalette16(0, 0, pal, 256 + 128, false, false, Rect{0, 0, 3, 1}, src);
  EXPECT_EQ(dst.GetPixel(0, 0), 0x303030u) << "0x20 + (0x20 × 128) >> 8";
  EXPECT_EQ(dst.GetPixel(1, 0), 0xFFFFFFu) << "white stays";
  Surf idx(2, 1, 8), add(2, 1, 16);
  idx.SetPixel(0, 0, 3);
  idx.SetPixel(1, 0, 9);
  const std::uint32_t pal256[16] = {0, 0, 0, 0x0842, 0, 0, 0, 0, 0, 0x0842};
  add.DrawPaletteAdd(0, 0, pal256, 255, false, false, 3, Rect{0, 0, 2, 1}, idx);
  EXPECT_EQ(add.GetPixel(0, 0), 0u) << "not above the threshold";
  EXPECT_EQ(add.GetPixel(1, 0), (0u << 11) | (1u << 5) | 1u) << "(2 × 255) >> 8 per channel";
}

TEST(Layouts, EightBitAddIgnoresOpacityAndTwentyFourBitBlends) {
  Surf a(2, 1, 8, 200), b(2, 1, 8, 100);
  a.DrawAdd(0, 0, 10, false, false, false, Rect{0, 0, 2, 1}, b);
  EXPECT_EQ(a.GetPixel(0, 0), 255u);
  Surf c(1, 1, 24, 0x204060);
  c.BlendRect(Rect{0, 0, 1, 1}, 0xA0C0E0, 128);
  // (0x20 × 127 + 0xA0 × 128) >> 8 = 0x5F, (0x40 × 127 + 0xC0 × 128) >> 8 = 0x7F, ...
  EXPECT_EQ(c.GetPixel(0, 0), 0x5F7F9Fu);
  c.FrameRect(Rect{0, 0, 1, 1}, 1, 0x010203);
  EXPECT_EQ(c.GetPixel(0, 0), 0x010203u);
}

}  // namespace
}  // namespace nova::graphics
