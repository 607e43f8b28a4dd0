// Wave surfaces forward draws in bands of equal offsets; display surfaces
// keep the display contract.
#include <gtest/gtest.h>

#include <vector>

#include "core/error.h"
#include "graphics/dx_dibx.h"
#include "graphics/memory_dibx.h"
#include "graphics/wave_dibx.h"
#include "surface_helpers.h"

namespace nova::graphics {
namespace {

TEST(WaveSurface, ForwardsEachBandMovedByItsOffset) {
  TDIBX target, expected, src;
  target.SetSize(20, 10, 32);
  expected.SetSize(20, 10, 32);
  src.SetSize(4, 7, 32);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 4; ++x) src.SetPixel(x, y, 0x010000u * static_cast<std::uint32_t>(y + 1) + static_cast<std::uint32_t>(x + 1));
  }
  TDIBXWave wave(&target);
  wave.SetSize(20, 5, 32);
  wave.SetOrigin(0, 2);
  wave.Offsets() = {0, 0, 3, 3, -1};
  target.IncludeClipRect(Rect{0, 0, 19, 10});
  wave.Draw(5, 1, false, false, false, Rect{0, 0, 4, 7}, src);
  EXPECT_EQ(wave.LastBandCount(), 3);
  EXPECT_EQ(target.ClipRect(), (Rect{0, 0, 19, 10})) << "the target's clip is back";
  // Source row r lands on target row 1 + r, moved by that row's offset; rows
  // 1 and 7 lie outside the table.
  const int offsets[10] = {0, 0, 0, 0, 3, 3, -1, 0, 0, 0};
  for (int r = 1; r <= 5; ++r) {
    const int ty = 1 + r;
    for (int x = 0; x < 4; ++x) expected.SetPixel(5 + x + offsets[ty], ty, src.GetPixel(x, r));
  }
  EXPECT_EQ(test::first_difference(target, expected), "");
  // A flat wave is one band.
  wave.Offsets() = {2, 2, 2, 2, 2};
  wave.FillRect(Rect{0, 0, 20, 10}, 0x123456);
  EXPECT_EQ(wave.LastBandCount(), 1);
  EXPECT_EQ(target.GetPixel(1, 2), 0u) << "filled from column 2";
  EXPECT_EQ(target.GetPixel(2, 2), 0x123456u);
  EXPECT_EQ(target.GetPixel(5, 1), 0u) << "row 1 is outside the table";
  EXPECT_EQ(target.GetPixel(19, 3), 0u) << "the target's clip still limits the band";
}

TEST(WaveSurface, ClipRectsAreKeptInTheWindowAndHandedToTheTarget) {
  TDIBX target;
  target.SetSize(30, 30, 16);
  TDIBXWave wave(&target);
  wave.SetSize(10, 10, 16);
  wave.SetOrigin(5, 5);
  EXPECT_EQ(wave.GetBitCount(), 16);
  EXPECT_EQ(wave.ColorToPixel(0x0000FF), 0xF800);
  wave.IncludeClipRect(Rect{0, 0, 8, 8});
  EXPECT_EQ(wave.ClipRect(), (Rect{5, 5, 8, 8}));
  wave.IncludeClipRect(Rect{12, 12, 40, 40});
  EXPECT_EQ(wave.ClipRect(), (Rect{5, 5, 15, 15}));
  EXPECT_EQ(target.ClipRect(), (Rect{5, 5, 15, 15}));
  wave.ResetClip();
  EXPECT_FALSE(wave.HasClip());
  EXPECT_FALSE(target.HasClip());
}

TEST(WaveSurface, ForwardedDrawsLeaveTheSavedClipAlone) {
  TDIBX target;
  target.SetSize(30, 30, 32);
  TDIBXWave wave(&target);
  wave.SetSize(30, 30, 32);
  wave.Offsets() = std::vector<int>(30, 1);
  target.SetClipRect(Rect{0, 0, 20, 20});
  wave.SaveTargetClip();
  target.SetClipRect(Rect{2, 2, 10, 10});
  wave.FillRect(Rect{0, 0, 30, 30}, 0xABCDEF);
  EXPECT_EQ(target.ClipRect(), (Rect{2, 2, 10, 10})) << "the draw puts back the clip it found";
  EXPECT_EQ(target.GetPixel(9, 9), 0xABCDEFu);
  EXPECT_EQ(target.GetPixel(10, 9), 0u) << "drawn inside the clip it found";
  wave.RestoreTargetClip();
  EXPECT_EQ(target.ClipRect(), (Rect{0, 0, 20, 20})) << "the saved clip is the caller's own";
}

TEST(DisplaySurface, CreationAndPalettesFollowTheDisplayRules) {
  TDxDIBX s;
  try {
    s.SetSize(0, 4, 32);
    FAIL() << "an empty surface cannot be created";
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), "\"CreateSurface\" Failed");
  }
  s.SetSize(4, 4, 8);
  Palette p;
  s.GetPalette(p);
  EXPECT_EQ(p[255], PaletteEntry{}) << "all black";
  const PaletteEntry red[1] = {{0, 0, 255, 0}};
  s.SetPaletteEntries(red, 255);
  PaletteEntry out[1];
  s.GetPaletteEntries(out, 255);
  EXPECT_EQ(out[0], red[0]);
  try {
    const PaletteEntry two[2] = {};
    s.SetPaletteEntries(two, 255);
    FAIL() << "entries beyond the palette are refused";
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), "FPalette.SetEntries Failed");
  }
  TDxDIBX rgb;
  rgb.SetSize(2, 2, 32);
  rgb.SetPaletteEntries(red, 0);  // no palette: ignored
  rgb.ReleaseSurface();
  EXPECT_FALSE(rgb.HasSurface());
  EXPECT_EQ(rgb.Lock(0, 0), nullptr);
}

TEST(DisplaySurface, DrawsLikeMemorySurfacesWithBalancedLocksAndCachedConversion) {
  test::Rng rng(11);
  TDIBX src, alpha, mem;
  src.SetSize(9, 9, 16);
  alpha.SetSize(9, 9, 8);
  mem.SetSize(12, 12, 16);
  test::fill_random(src, rng);
  test::fill_alpha_runs(alpha, rng);
  TDxDIBX dx;
  dx.SetSize(12, 12, 16);
  dx.SetPixel(0, 0, 0x1234);
  mem.SetPixel(0, 0, 0x1234);
  EXPECT_EQ(dx.ColorToPixel(0x0000FF), 0xF800);
  EXPECT_EQ(dx.ColorToPixel(rgb(8, 136, 248)), color_to_pixel(16, rgb(8, 136, 248)));
  EXPECT_EQ(dx.GetPixel(0, 0), 0x1234u) << "the conversion puts the pixel back";
  dx.DrawMaskedBlend(2, 1, 180, alpha, true, false, Rect{0, 0, 9, 9}, src);
  mem.DrawMaskedBlend(2, 1, 180, alpha, true, false, Rect{0, 0, 9, 9}, src);
  EXPECT_EQ(dx.LockDepth(), 0);
  EXPECT_EQ(test::first_difference(dx, mem), "");
  ASSERT_NE(dx.GetDC(), nullptr);
  EXPECT_EQ(dx.GetDC(), dx.GetDC()) << "cached until released";
  EXPECT_EQ(dx.PresentView().format, platform::PixelFormat::Rgb565);
}

}  // namespace
}  // namespace nova::graphics
