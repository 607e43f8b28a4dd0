// The transitions outside the mask family, the factory and the order in
// which a transition is driven: goldens computed here from each type's
// formulas on small targets with distinct old and new screens.
#include "graphics/wipes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/sjis.h"
#include "graphics/kernels.h"
#include "graphics/wipe_crack.h"
#include "graphics/wipe_kernels.h"
#include "graphics/wipe_mask.h"
#include "graphics/wipe_screens.h"
#include "picture_builders.h"
#include "wipe_test_util.h"

namespace nova::graphics {
namespace {

using namespace test;

// DrawBlend's formula: pixels equal to the destination stay.
std::uint32_t blend(std::uint32_t dst, std::uint32_t src, int a, int bits) {
  if (((dst ^ src) & colour_bits(bits)) == 0) return dst;
  const ChannelMasks masks = masks_for_bit_count(bits);
  std::uint32_t v = 0;
  for (int c = 0; c < masks.count; ++c) {
    const std::uint64_t cm = masks.list[static_cast<std::size_t>(c)];
    v |= static_cast<std::uint32_t>((((dst & cm) * (255 - static_cast<std::uint64_t>(a)) + (src & cm) * a) >> 8) & cm);
  }
  return v;
}

std::uint32_t grey(int bits, int g) { return static_cast<std::uint32_t>(color_to_pixel(bits, g * 0x010101)); }

std::unique_ptr<TDIBX> copy_of(const TDIBX& s) {
  auto c = std::make_unique<TDIBX>();
  copy_into(*c, s);
  return c;
}

// --- Factory and order ------------------------------------------------------------------

TEST(WipeFactory, MakesEveryTypeWithItsDefaultsAndNothingForOtherValues) {
  Screens s(16, 12, 32);
  WipeSetup setup;
  for (int type : {int{WP_NONE}, 39, -1, 255})
    EXPECT_EQ(CreateTransition(type, s.surfaces(), setup.services(), 100), nullptr);
  ASSERT_EQ(wipe_types().size(), 38u);
  for (const WipeTypeInfo& info : wipe_types()) {
    auto w = CreateTransition(info.value, s.surfaces(), setup.services(), 250);
    ASSERT_TRUE(w) << info.name;
    EXPECT_EQ(w->Duration(), 250);
    EXPECT_FALSE(w->IsPrepared());
    const bool mask = dynamic_cast<TWipeMask*>(w.get()) != nullptr;
    const bool ordered = info.value == WP_CURTAINH || info.value == WP_CURTAINV;
    const bool crack = info.value == WP_CRACK;
    // Defaults go through SetParam, so the family minimums apply.
    const std::int32_t lo0 = ordered ? 1 : mask ? 2 : crack ? 16 : INT32_MIN;
    const std::int32_t lo1 = mask ? 1 : crack ? 0 : INT32_MIN;
    EXPECT_EQ(w->GetParam(0), std::max(info.param0, lo0)) << info.name;
    EXPECT_EQ(w->GetParam(1), std::max(info.param1, lo1)) << info.name;
    EXPECT_EQ(w->GetParam(2), 0);
  }
  EXPECT_EQ(wipe_type_info(WP_CLOCKHAND)->param0, 0);
  EXPECT_EQ(std::string(wipe_type_info(WP_BLOCKRANDOM)->class_name), "TWipeBlockRandom");
  EXPECT_EQ(wipe_display_name(WP_FADE), core::sjis("フェード"));
  EXPECT_EQ(wipe_display_name(WP_NONE), core::sjis("なし"));
  EXPECT_EQ(wipe_display_name(WP_WFAN), core::sjis("扇(両側)"));
  EXPECT_EQ(wipe_display_name(40), "");
}

TEST(WipeFactory, RefusesEightBitTargetsAndScreensThatDoNotMatch) {
  WipeSetup setup;
  Screens eight(8, 8, 8);
  EXPECT_EQ(CreateTransition(WP_FADE, eight.surfaces(), setup.services(), 10), nullptr);
  Screens s(8, 8, 32);
  TDIBX small;
  small.SetSize(7, 8, 32);
  EXPECT_THROW(CreateTransition(WP_FADE, {&s.target, &small, &s.new_screen}, setup.services(), 10), core::Error);
  TDIBX other_bits;
  other_bits.SetSize(8, 8, 16);
  EXPECT_THROW(CreateTransition(WP_FADE, {&s.target, &s.old_screen, &other_bits}, setup.services(), 10), core::Error);
  EXPECT_THROW(CreateTransition(WP_FADE, {&s.target, nullptr, &s.new_screen}, setup.services(), 10), core::Error);
  Screens twenty_four(8, 8, 24);
  EXPECT_TRUE(CreateTransition(WP_FADE, twenty_four.surfaces(), setup.services(), 10));
}

// create → defaults → duration → reverse → parameters and mask name →
// Prepare → on each frame SetElapsed and DrawStep until it answers true.
TEST(WipeFactory, IsDrivenInTheFlipsOrderAndFinishes) {
  Screens s(24, 16, 32);
  WipeSetup setup;
  auto w = CreateTransition(WP_SCROLLH, s.surfaces(), setup.services(), 30);
  ASSERT_TRUE(w);
  w->SetReverse(true);
  w->SetParam(0, 5);
  w->SetMaskName("unused");
  w->SetElapsed(10);
  EXPECT_THROW(w->DrawStep(), core::Error);  // not started: nothing drawn unprepared
  w->Prepare();
  EXPECT_TRUE(w->IsPrepared());
  int frames = 0;
  for (int e = 0;; e += 7) {
    w->SetElapsed(e);
    if (w->DrawStep()) break;
    ++frames;
    EXPECT_EQ(w->Bounds(), (Rect{0, 0, 24, 16}));
    EXPECT_EQ(s.target.ClipRect(), (Rect{0, 0, 24, 16}));
  }
  EXPECT_EQ(frames, 5);  // 0, 7, 14, 21, 28
  // The last frame drawn is the state at 28 / 30.
  const int a = 24 * 28 / 30;
  for (int x = 0; x < 24; ++x) {
    EXPECT_EQ(s.target.GetPixel(x, 3), x >= a ? s.old_screen.GetPixel(x - a, 3) : s.new_screen.GetPixel(x + 24 - a, 3));
  }
}

TEST(WipeFactory, ZeroDurationFinishesAtOnceAndNegativeElapsedCountsAsZero) {
  Screens s(12, 8, 32);
  WipeSetup setup;
  const auto before = copy_of(s.target);
  auto w = CreateTransition(WP_FADE, s.surfaces(), setup.services(), 0);
  w->Prepare();
  w->SetElapsed(0);
  EXPECT_TRUE(w->DrawStep());
  EXPECT_EQ(first_difference(s.target, *before), "");
  EXPECT_EQ(w->Bounds(), (Rect{0, 0, 12, 8}));
  auto n = CreateTransition(WP_FADE, s.surfaces(), setup.services(), 10);
  n->Prepare();
  n->SetElapsed(-40);
  EXPECT_FALSE(n->DrawStep());
  EXPECT_EQ(first_difference(s.target, s.old_screen), "");
  n->SetElapsed(10);
  EXPECT_TRUE(n->DrawStep());
}

// --- Fade, white, black, flash ----------------------------------------------------------

TEST(WipeFade, ShowsTheOldScreenFirstThenBlendsTheNewOneAndSlidesItWithParameters) {
  for (int bits : {32, 16, 15}) {
    Screens s(20, 14, bits);
    WipeSetup setup;
    draw_once(s, setup, {WP_FADE, 0, 7});
    EXPECT_EQ(first_difference(s.target, s.old_screen), "");
    draw_once(s, setup, {WP_FADE, 6, 7});
    const int a = 6 * 256 / 7;
    EXPECT_EQ(first_difference(s.target, *expected_picture(20, 14, bits,
                                                           [&](int x, int y) {
                                                             return blend(s.old_screen.GetPixel(x, y),
                                                                          s.new_screen.GetPixel(x, y), a, bits);
                                                           })),
              "");
    // r = (4 − 1 − 1) / 4: the new screen is at (round(0.5 × 9), round(0.5 × −5)) = (4, −2).
    draw_once(s, setup, {WP_FADE, 1, 4, false, 9, -5});
    EXPECT_EQ(first_difference(s.target, *expected_picture(20, 14, bits,
                                                           [&](int x, int y) {
                                                             const std::uint32_t o = s.old_screen.GetPixel(x, y);
                                                             if (x < 4 || y + 2 >= 14) return o;
                                                             return blend(o, s.new_screen.GetPixel(x - 4, y + 2), 64,
                                                                          bits);
                                                           })),
              "");
  }
}

TEST(WipeWhite, PassesThroughPureWhiteBlackOrAFlash) {
  for (int bits : {32, 16}) {
    Screens s(9, 7, bits);
    WipeSetup setup;
    auto picture = [&](auto f) { return expected_picture(9, 7, bits, f); };
    draw_once(s, setup, {WP_WHITE, 50, 100});
    EXPECT_EQ(first_difference(s.target, *picture([&](int, int) { return grey(bits, 255); })), "");
    draw_once(s, setup, {WP_WHITE, 51, 100});
    EXPECT_EQ(first_difference(s.target, *picture([&](int x, int y) {
                                 return add_sat(s.new_screen.GetPixel(x, y), grey(bits, 251), bits);
                               })),
              "");
    draw_once(s, setup, {WP_WHITE, 20, 100});
    EXPECT_EQ(first_difference(s.target, *picture([&](int x, int y) {
                                 return add_sat(s.old_screen.GetPixel(x, y), grey(bits, 102), bits);
                               })),
              "");
    draw_once(s, setup, {WP_BLACK, 50, 100});
    EXPECT_EQ(first_difference(s.target, *picture([&](int, int) { return 0u; })), "");
    draw_once(s, setup, {WP_BLACK, 51, 100});
    EXPECT_EQ(first_difference(s.target, *picture([&](int x, int y) {
                                 return sub_sat(s.new_screen.GetPixel(x, y), grey(bits, 251), bits);
                               })),
              "");
    draw_once(s, setup, {WP_FLASH, 30, 100});
    EXPECT_EQ(first_difference(s.target, *picture([&](int x, int y) {
                                 return add_sat(s.new_screen.GetPixel(x, y), grey(bits, 255 - 76), bits);
                               })),
              "");
  }
}

// --- Scrolls, blinds, rubber -----------------------------------------------------------

TEST(WipeScroll, PushesTheOldScreenOutByWidthTimesProgress) {
  Screens s(30, 20, 32);
  WipeSetup setup;
  for (bool rev : {false, true}) {
    draw_once(s, setup, {WP_SCROLLH, 3, 10, rev});
    EXPECT_EQ(first_difference(s.target, *expected_picture(30, 20, 32,
                                                           [&](int x, int y) {
                                                             if (!rev)
                                                               return x < 21 ? s.old_screen.GetPixel(x + 9, y)
                                                                             : s.new_screen.GetPixel(x - 21, y);
                                                             return x >= 9 ? s.old_screen.GetPixel(x - 9, y)
                                                                           : s.new_screen.GetPixel(x + 21, y);
                                                           })),
              "");
    draw_once(s, setup, {WP_SCROLLV, 7, 10, rev});
    EXPECT_EQ(first_difference(s.target, *expected_picture(30, 20, 32,
                                                           [&](int x, int y) {
                                                             if (!rev)
                                                               return y < 6 ? s.old_screen.GetPixel(x, y + 14)
                                                                            : s.new_screen.GetPixel(x, y - 6);
                                                             return y >= 14 ? s.old_screen.GetPixel(x, y - 14)
                                                                            : s.new_screen.GetPixel(x, y + 6);
                                                           })),
              "");
  }
}

TEST(WipeSudare, StretchesOneColumnOverEverythingBeforeIt) {
  Screens s(30, 12, 32);
  WipeSetup setup;
  struct Case {
    int type, e;
    bool rev;
  };
  for (const Case c : {Case{WP_SUDAREH, 10, false}, Case{WP_SUDAREH, 40, false}, Case{WP_SUDAREH, 10, true},
                       Case{WP_SUDAREV, 7, false}, Case{WP_SUDAREV, 20, true}}) {
    const bool h = c.type == WP_SUDAREH;
    const int size = h ? 30 : 12;
    draw_once(s, setup, {c.type, c.e, 2 * size - 1, c.rev});
    int k = c.e;  // (2 × size − 1) × e / d with d = 2 × size − 1
    const TDIBX* src = &s.old_screen;
    if (k >= size) {
      src = &s.new_screen;
      k = 2 * size - k - 1;
    }
    EXPECT_EQ(first_difference(s.target, *expected_picture(30, 12, 32,
                                                           [&](int x, int y) {
                                                             const int i = h ? x : y;
                                                             int from = i;
                                                             if (!c.rev && i <= k) from = k;
                                                             if (c.rev && i >= size - k - 1) from = size - k - 1;
                                                             return h ? src->GetPixel(from, y) : src->GetPixel(x, from);
                                                           })),
              "")
        << c.type << " e " << c.e;
  }
}

TEST(WipeRubber, StretchesABandThatSwellsTowardsTheMiddleAndWorksWithDurationOne) {
  Screens s(30, 10, 32);
  WipeSetup setup;
  for (bool rev : {false, true}) {
    for (int e : {3, 10, 29, 40, 55}) {
      const int d = 59;
      draw_once(s, setup, {WP_RUBBERH, e, d, rev});
      int k = e;
      const TDIBX* src = &s.old_screen;
      if (k >= 30) {
        src = &s.new_screen;
        k = 59 - k;
      }
      const long double dist = std::fabs(e - d / 2.0L);
      auto expected = copy_of(*src);
      if (!rev) {
        const int g = static_cast<int>(round_even(dist * (k / 2.0L) / (d / 2.0L)));
        expected->StretchDraw({0, 0, k + 1, 10}, *src, 255, false, false, false, {std::max(0, k - g), 0, k + 1, 10});
      } else {
        const int g = static_cast<int>(round_even(dist * ((k + 1) / 2.0L) / (d / 2.0L)));
        const int c = 30 - k - 1;
        expected->StretchDraw({c, 0, 30, 10}, *src, 255, false, false, false, {c, 0, std::min(30, c + g + 1), 10});
      }
      EXPECT_EQ(first_difference(s.target, *expected), "") << "e " << e << " rev " << rev;
    }
  }
  // A flip without a duration value runs one unit: no division by zero,
  // and the single frame is the old screen.
  for (int type : {WP_RUBBERH, WP_RUBBERV}) {
    draw_once(s, setup, {type, 0, 1});
    EXPECT_EQ(first_difference(s.target, s.old_screen), "");
  }
  draw_once(s, setup, {WP_RUBBERV, 12, 19});  // k = 12 ≥ 10: the new screen, k = 7
  auto expected = copy_of(s.new_screen);
  const int g = static_cast<int>(round_even(std::fabs(12 - 9.5L) * 3.5L / 9.5L));
  expected->StretchDraw({0, 0, 30, 8}, s.new_screen, 255, false, false, false, {0, 7 - g, 30, 8});
  EXPECT_EQ(first_difference(s.target, *expected), "");
}

// --- Shrink and grow -------------------------------------------------------------------

TEST(WipeSmallBig, EqualDrawRotateWithTheStatedZoomAndAngle) {
  Screens s(40, 30, 32);
  WipeSetup setup;
  for (bool rev : {false, true}) {
    draw_once(s, setup, {WP_SMALL, 30, 100, rev, 40});
    auto expected = copy_of(s.new_screen);
    // zoom round(69/100 × 255) = 176, angle round(±40 × 0.3) = ±12
    expected->DrawRotate(20, 15, 255, false, false, false, rev ? -12 : 12, 15, 20, {0, 0, 40, 30}, s.old_screen, 176,
                         176);
    EXPECT_EQ(first_difference(s.target, *expected), "") << "small rev " << rev;
    draw_once(s, setup, {WP_BIG, 30, 100, rev, 40});
    expected = copy_of(s.old_screen);
    // zoom round(0.3 × 255) = round(76.5) = 76 (halves to even), angle round(±40 × 0.69) = ±28
    expected->DrawRotate(20, 15, 255, false, false, false, rev ? -28 : 28, 15, 20, {0, 0, 40, 30}, s.new_screen, 76,
                         76);
    EXPECT_EQ(first_difference(s.target, *expected), "") << "big rev " << rev;
  }
}

// --- Mosaic ----------------------------------------------------------------------------

TEST(WipeMosaic, FourPhasesOfBlockSizeAndOpacity) {
  Screens s(64, 48, 32);
  WipeSetup setup;
  struct Phase {
    int b, s, opacity;
    bool new_first;
  };
  // s and the opacity from the phase formulas; d = 1023 makes b = e.
  const Phase phases[] = {{100, 263 - 50 * 15 / 16, 0, false},
                          {300, 263 - ((150 * 15) >> 4), (300 - 256) / 4, false},
                          {600, ((44 * 15) >> 4) + 24, (600 - 256) / 2, false},
                          {900, (194 * 15) / 16 + 24, 0, true}};
  for (const Phase& p : phases) {
    draw_once(s, setup, {WP_MOSAIC, p.b, 1023});
    const int w = std::max(1, (16 * p.s) >> 8), h = std::max(1, (12 * p.s) >> 8);
    TDIBX work;
    work.SetSize(64, 48, 32);
    work.StretchDraw({0, 0, w, h}, p.new_first ? s.new_screen : s.old_screen, 255, false, false, false, {0, 0, 64, 48});
    if (p.opacity) work.StretchDraw({0, 0, w, h}, s.new_screen, p.opacity, false, false, false, {0, 0, 64, 48});
    TDIBX expected;
    expected.SetSize(64, 48, 32);
    expected.StretchDraw({0, 0, 64, 48}, work, 255, false, false, false, {0, 0, w, h});
    EXPECT_EQ(first_difference(s.target, expected), "") << "b " << p.b;
  }
}

// --- Spotlight, mask white and black ---------------------------------------------------

TEST(WipeSpot, ARingBrightensEachPixelAndSwitchesItAsItPasses) {
  for (int bits : {32, 16, 15}) {
    for (bool rev : {false, true}) {
      for (int e : {10, 50, 90}) {
        Screens s(41, 31, bits);
        WipeSetup setup;
        setup.greys = make_wipe_grey_tables(bits);
        draw_once(s, setup, {WP_SPOT, e, 100, rev});
        const std::int64_t reach = 25, b = std::int64_t{e} * (reach + 512) / 100;
        const auto& table = bits == 32 ? setup.greys.layout32 : setup.greys.layout16;
        EXPECT_EQ(first_difference(
                      s.target, *expected_picture(41, 31, bits,
                                                  [&](int x, int y) {
                                                    std::int64_t n = round_even(std::hypot(x - 20.0L, y - 15.0L));
                                                    if (rev) n = reach - n;
                                                    const std::uint32_t o = s.old_screen.GetPixel(x, y),
                                                                        nw = s.new_screen.GetPixel(x, y);
                                                    if (b < n) return o;
                                                    if (b < n + 256)
                                                      return add_sat(o, table[static_cast<std::size_t>(b - n)], bits);
                                                    if (b < n + 512)
                                                      return add_sat(nw, table[static_cast<std::size_t>(n - b + 511)],
                                                                     bits);
                                                    return nw;
                                                  })),
                  "")
            << "bits " << bits << " rev " << rev << " e " << e;
      }
    }
  }
}

TEST(WipeSpot, ThresholdsComeFromPrepareWithoutSetReverseAndNeedTheGreyTables) {
  Screens s(21, 11, 32);
  WipeSetup setup;
  auto w = CreateTransition(WP_SPOT, s.surfaces(), setup.services(), 100);
  w->Prepare();  // SetReverse never called
  w->SetElapsed(40);
  w->DrawStep();
  const auto unreversed = copy_of(s.target);
  draw_once(s, setup, {WP_SPOT, 40, 100, false});
  EXPECT_EQ(first_difference(s.target, *unreversed), "");
  // The flag as it stands at Prepare counts, whenever it was set.
  auto r = CreateTransition(WP_SPOT, s.surfaces(), setup.services(), 100);
  r->SetReverse(true);
  r->Prepare();
  r->SetElapsed(40);
  r->DrawStep();
  const auto reversed = copy_of(s.target);
  draw_once(s, setup, {WP_SPOT, 40, 100, true});
  EXPECT_EQ(first_difference(s.target, *reversed), "");
  EXPECT_NE(first_difference(*reversed, *unreversed), "");
  WipeServices none = setup.services();
  none.greys = nullptr;
  for (int type : {WP_SPOT, WP_MASKWHITE, WP_MASKBLACK}) {
    auto bare = CreateTransition(type, s.surfaces(), none, 100);
    EXPECT_THROW(bare->Prepare(), core::Error);
  }
}

std::vector<std::uint8_t> stripes_bitmap() {
  // 3 × 2: grey levels 0, 100, 255 / 30, 200, 128.
  std::vector<std::uint32_t> pixels;
  for (int v : {0, 100, 255, 30, 200, 128}) pixels.push_back(static_cast<std::uint32_t>(v * 0x010101));
  RawBmp bmp;
  bmp.width = 3;
  bmp.height = -2;
  bmp.bits = 24;
  bmp.pixels = dib_rows(3, 2, 24, pixels);
  const std::string bytes = build_bmp(bmp);
  return {bytes.begin(), bytes.end()};
}

TEST(WipeShadowWhite, EachPixelPassesThroughWhiteOrBlackInTheOrderOfThePicture) {
  for (int type : {WP_MASKWHITE, WP_MASKBLACK}) {
    for (const char* mask : {"", "stripes.bmp"}) {
      for (bool rev : {false, true}) {
        for (int e : {100, 255, 256, 257, 400, 600, 767}) {
          Screens s(10, 5, 16);
          WipeSetup setup;
          setup.greys = make_wipe_grey_tables(16);
          setup.files.files["stripes.bmp"] = stripes_bitmap();
          draw_once(s, setup, {type, e, 768, rev, {}, {}, mask});
          const std::int64_t p = std::int64_t{e} * 768 / 768 + 255;
          const int levels[] = {0, 100, 255, 30, 200, 128};
          EXPECT_EQ(
              first_difference(s.target, *expected_picture(10, 5, 16,
                                                           [&](int x, int y) {
                                                             int g = 255;
                                                             if (*mask) {
                                                               const int c = levels[(y % 2) * 3 + x % 3];
                                                               g = ((77 + 150 + 29) * (rev ? 255 - c : c)) >> 8;
                                                             }
                                                             const std::int64_t i = p + g - 255;
                                                             std::int64_t v = i <= 255 ? 0 : i < 768 ? i - 256 : 511;
                                                             std::uint32_t src = s.old_screen.GetPixel(x, y);
                                                             if (v > 255) {
                                                               src = s.new_screen.GetPixel(x, y);
                                                               v = 511 - v;
                                                             }
                                                             const std::uint32_t amount =
                                                                 setup.greys.layout16[static_cast<std::size_t>(v)];
                                                             return type == WP_MASKWHITE ? add_sat(src, amount, 16)
                                                                                         : sub_sat(src, amount, 16);
                                                           })),
              "")
              << type << " mask '" << mask << "' rev " << rev << " e " << e;
        }
      }
    }
  }
  // Through pure white: no picture, e = d / 3 is v = 255 everywhere.
  Screens s(6, 4, 32);
  WipeSetup setup;
  draw_once(s, setup, {WP_MASKWHITE, 256, 768});
  EXPECT_EQ(first_difference(s.target, *expected_picture(6, 4, 32, [](int, int) { return 0xFFFFFFu; })), "");
  draw_once(s, setup, {WP_MASKBLACK, 256, 768});
  EXPECT_EQ(first_difference(s.target, *expected_picture(6, 4, 32, [](int, int) { return 0u; })), "");
}

// --- Ripple ----------------------------------------------------------------------------

// The ring written out: every pixel of the (rounded-up) top-left quarter
// and its three mirror images.
std::unique_ptr<TDIBX> ripple_expected(const Screens& s, std::int64_t e, std::int64_t d, std::int64_t amplitude) {
  const int w = s.width(), h = s.height(), cx = w / 2, cy = h / 2;
  const std::int64_t ring = std::int64_t{std::min(cx, cy)} * 2 / 3, tooth = ring / 4;
  const std::int64_t reach = round_even(std::hypot(static_cast<long double>(cx), static_cast<long double>(cy)));
  const std::int64_t b = e * (reach + ring) / d;
  auto holder = copy_of(s.target);
  TDIBX& out = *holder;
  for (int y = 0; y < (h + 1) / 2; ++y) {
    for (int x = 0; x < (w + 1) / 2; ++x) {
      const long double dx = x - cx, dy = y - cy, dist = std::hypot(dx, dy);
      const std::int64_t r = round_even(dist), k = r + ring - 1 - b;
      const int mx = w - 1 - x, my = h - 1 - y;
      auto same = [&](const TDIBX& src) {
        out.SetPixel(x, y, src.GetPixel(x, y));
        out.SetPixel(mx, y, src.GetPixel(mx, y));
        out.SetPixel(x, my, src.GetPixel(x, my));
        out.SetPixel(mx, my, src.GetPixel(mx, my));
      };
      if (k > ring - 1) {
        same(s.old_screen);
        continue;
      }
      if (k < 0) {
        same(s.new_screen);
        continue;
      }
      const std::int64_t profile = tooth ? (k % tooth) * amplitude / tooth : 0;
      const std::int64_t sine = dist > 0 ? static_cast<std::int64_t>(dx / dist * 65536) : 0;
      const std::int64_t cosine = dist > 0 ? static_cast<std::int64_t>(dy / dist * 65536) : 0;
      const std::int64_t sx = (r + profile) * sine / 65536 + cx, sy = (r + profile) * cosine / 65536 + cy;
      if (sx < 0 || sx >= w || sy < 0 || sy >= h) {
        same(s.new_screen);
        continue;
      }
      const int ax = static_cast<int>(sx), ay = static_cast<int>(sy);
      out.SetPixel(x, y, s.new_screen.GetPixel(ax, ay));
      out.SetPixel(mx, y, s.new_screen.GetPixel(w - 1 - ax, ay));
      out.SetPixel(x, my, s.new_screen.GetPixel(ax, h - 1 - ay));
      out.SetPixel(mx, my, s.new_screen.GetPixel(w - 1 - ax, h - 1 - ay));
    }
  }
  return holder;
}

TEST(WipeRipple, ARippledRingRunsFromTheCentreToTheCorners) {
  struct Case {
    int w, h, e, amplitude;
  };
  for (const Case c : {Case{48, 36, 30, 5}, Case{48, 36, 60, 9}, Case{47, 35, 45, -7}, Case{48, 36, 99, 5}}) {
    Screens s(c.w, c.h, 32);
    WipeSetup setup;
    const auto expected = [&] {
      Screens copy(c.w, c.h, 32);
      return ripple_expected(copy, c.e, 100, c.amplitude);
    }();
    draw_once(s, setup, {WP_RIPPLE, c.e, 100, false, c.amplitude});
    EXPECT_EQ(first_difference(s.target, *expected), "") << c.w << "x" << c.h << " e " << c.e;
  }
  // Setting the amplitude recomputes the saw-tooth: 13 entries, teeth of 3.
  Screens s(60, 40, 32);
  WipeSetup setup;
  auto w = CreateTransition(WP_RIPPLE, s.surfaces(), setup.services(), 10);
  auto& ripple = dynamic_cast<TWipeRipple&>(*w);
  ASSERT_EQ(ripple.Profile().size(), 13u);  // min(30, 20) × 2 div 3
  EXPECT_EQ(ripple.Profile()[1], 1 * 5 / 3);
  w->SetParam(0, 30);
  EXPECT_EQ(ripple.Profile()[2], 2 * 30 / 3);
  EXPECT_EQ(ripple.Profile()[3], 0);
}

TEST(WipeRipple, TargetsTooSmallForTeethGetAFlatProfile) {
  Screens s(10, 10, 32);
  WipeSetup setup;
  for (int e : {0, 20, 45, 70, 99}) {
    Screens copy(10, 10, 32);
    const auto expected = ripple_expected(copy, e, 100, 5);
    auto w = draw_once(s, setup, {WP_RIPPLE, e, 100});
    EXPECT_EQ(first_difference(s.target, *expected), "") << "e " << e;
    EXPECT_EQ(dynamic_cast<TWipeRipple&>(*w).Profile(), std::vector<std::int64_t>(3, 0));
  }
}

// --- Blur ------------------------------------------------------------------------------

// Three passes of a box of 2r + 1 taps, horizontal then vertical, edges
// repeated, rounded to the nearest; each channel alone.
std::unique_ptr<TDIBX> blurred(const TDIBX& src, int r) {
  const int w = src.GetWidth(), h = src.GetHeight(), bits = src.GetBitCount();
  const ChannelMasks masks = masks_for_bit_count(bits);
  auto holder = std::make_unique<TDIBX>();
  TDIBX& out = *holder;
  out.SetSize(w, h, bits);
  std::vector<std::vector<int>> planes;
  for (int c = 0; c < masks.count; ++c) {
    const std::uint32_t m = masks.list[static_cast<std::size_t>(c)];
    std::vector<int> p(static_cast<std::size_t>(w * h));
    for (int i = 0; i < w * h; ++i)
      p[static_cast<std::size_t>(i)] = static_cast<int>((src.GetPixel(i % w, i / w) & m) >> mask_shift(m));
    for (int pass = 0; pass < 3 && r > 0; ++pass) {
      for (int dir = 0; dir < 2; ++dir) {
        std::vector<int> q(p.size());
        for (int y = 0; y < h; ++y) {
          for (int x = 0; x < w; ++x) {
            long sum = 0;
            for (int t = -r; t <= r; ++t) {
              const int xx = dir == 0 ? std::clamp(x + t, 0, w - 1) : x,
                        yy = dir == 1 ? std::clamp(y + t, 0, h - 1) : y;
              sum += p[static_cast<std::size_t>(yy * w + xx)];
            }
            q[static_cast<std::size_t>(y * w + x)] =
                static_cast<int>(std::lround(static_cast<double>(sum) / (2 * r + 1)));
          }
        }
        p = q;
      }
    }
    planes.push_back(p);
  }
  for (int i = 0; i < w * h; ++i) {
    std::uint32_t v = 0;
    for (int c = 0; c < masks.count; ++c) {
      const std::uint32_t m = masks.list[static_cast<std::size_t>(c)];
      v |= (static_cast<std::uint32_t>(planes[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)])
            << mask_shift(m)) &
           m;
    }
    out.SetPixel(i % w, i / w, v);
  }
  return holder;
}

TEST(WipeBlur, GoesSoftThroughWhiteOrBlackAndSharpensAgain) {
  for (int bits : {32, 16}) {
    Screens s(40, 45, bits);  // radius 40 div 20 = 2
    WipeSetup setup;
    const auto soft_old_holder = blurred(s.old_screen, 2), soft_new_holder = blurred(s.new_screen, 2);
    const TDIBX &soft_old = *soft_old_holder, &soft_new = *soft_new_holder;
    for (int type : {WP_BLURWHITE, WP_BLURBLACK}) {
      auto apply = [&](std::uint32_t p, int g) {
        return type == WP_BLURWHITE ? add_sat(p, grey(bits, g), bits) : sub_sat(p, grey(bits, g), bits);
      };
      for (int b : {0, 255, 256, 319, 320, 383, 384, 638}) {
        draw_once(s, setup, {type, b, 639});  // d = 639 makes b = e
        EXPECT_EQ(first_difference(s.target, *expected_picture(40, 45, bits,
                                                               [&](int x, int y) {
                                                                 if (b == 0)
                                                                   return s.old_screen.GetPixel(
                                                                       x, y);  // opacity 0 draws nothing
                                                                 if (b < 256)
                                                                   return blend(s.old_screen.GetPixel(x, y),
                                                                                soft_old.GetPixel(x, y), b, bits);
                                                                 if (b < 320)
                                                                   return apply(soft_old.GetPixel(x, y), (b - 256) * 4);
                                                                 if (b < 384)
                                                                   return apply(soft_new.GetPixel(x, y), (383 - b) * 4);
                                                                 return blend(s.new_screen.GetPixel(x, y),
                                                                              soft_new.GetPixel(x, y), 639 - b, bits);
                                                               })),
                  "")
            << type << " bits " << bits << " b " << b;
      }
    }
  }
  // Under 20 pixels there is no blur: the copies are the screens.
  TDIBX plain;
  Screens tiny(19, 30, 32);
  wipe_box_blur(tiny.old_screen, plain, 19 / 20);
  EXPECT_EQ(first_difference(plain, tiny.old_screen), "");
}

// --- Twists ----------------------------------------------------------------------------

TEST(WipeTwist, RowsTurnByTheirPhaseAndRowsNotStartedStayUntouched) {
  const long double pi = 3.141592653589793238462643383279502884L;
  for (int type : {WP_TWISTH, WP_TWISTV}) {
    for (bool rev : {false, true}) {
      for (int e : {10, 40, 80}) {
        Screens s(20, 16, 32, static_cast<unsigned>(e));
        WipeSetup setup;
        auto holder = copy_of(s.target);
        TDIBX& expected = *holder;
        const bool cols = type == WP_TWISTV;
        const int lines = cols ? 20 : 16, length = cols ? 16 : 20;
        for (int i = 0; i < lines; ++i) {
          const int k = rev ? lines - 1 - i : i;
          const long double phi = e * 3 * pi / (2 * 100.0L) - static_cast<long double>(k) / lines * pi / 2;
          const Rect whole = cols ? Rect{i, 0, i + 1, length} : Rect{0, i, length, i + 1};
          if (phi < 0) continue;
          if (phi >= pi) {
            expected.Draw(whole.left, whole.top, false, false, false, whole, s.new_screen);
            continue;
          }
          expected.FillRect(whole, 0);
          const std::int64_t w = round_even(std::cos(phi) * length);
          if (w == 0) continue;
          const int span = static_cast<int>(std::llabs(w)), begin = (length - span) / 2;
          const Rect to = cols ? Rect{i, begin, i + 1, begin + span} : Rect{begin, i, begin + span, i + 1};
          expected.StretchDraw(to, w > 0 ? s.old_screen : s.new_screen, 255, false, false, false, whole);
        }
        draw_once(s, setup, {type, e, 100, rev});
        EXPECT_EQ(first_difference(s.target, expected), "") << type << " rev " << rev << " e " << e;
      }
    }
  }
}

// --- Zoom ------------------------------------------------------------------------------

TEST(WipeZoomin, ZoomsIntoThePointThenOutOfItOnTheNewScreen) {
  Screens s(64, 48, 32);
  WipeSetup setup;
  struct Case {
    int e;
    Rect rect;
    bool from_new;
  };
  // c = 2e / d; w = round(W × q), x = round((10 − 32) × k) + 32 − w div 2
  // clamped to 0 .. W − w; y likewise with 40 and 24.
  const Case cases[] = {{0, {0, 0, 64, 48}, false},
                        {25, {5, 20, 37, 44}, false},
                        {60, {8, 32, 21, 42}, true},
                        {75, {5, 20, 37, 44}, true},
                        {99, {1, 1, 64, 48}, true}};
  for (const Case& c : cases) {
    auto w = draw_once(s, setup, {WP_ZOOMIN, c.e, 100, false, 10, 40});
    bool from_new = false;
    EXPECT_EQ(dynamic_cast<TWipeZoomin&>(*w).SourceRect(c.e, 100, from_new), c.rect) << "e " << c.e;
    EXPECT_EQ(from_new, c.from_new);
    TDIBX expected;
    expected.SetSize(64, 48, 32);
    expected.StretchDraw({0, 0, 64, 48}, c.from_new ? s.new_screen : s.old_screen, 255, false, false, false, c.rect);
    EXPECT_EQ(first_difference(s.target, expected), "") << "e " << c.e;
  }
}

// --- Falling pieces --------------------------------------------------------------------

std::unique_ptr<TDIBX> crack_expected(const Screens& s, std::uint32_t seed, std::int64_t size, std::int64_t step,
                                      std::int64_t e, std::int64_t d) {
  const int w = s.width(), h = s.height();
  const int cols = static_cast<int>((w + size - 1) / size), rows = static_cast<int>((h + size - 1) / size);
  std::vector<std::array<int, 3>> left, pieces;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) left.push_back({c, r, 0});
  }
  expr::StandardRandom random(seed);
  while (!left.empty()) {
    const auto i = static_cast<std::size_t>(random.next(static_cast<std::int32_t>(left.size())));
    auto p = left[i];
    left.erase(left.begin() + static_cast<std::ptrdiff_t>(i));
    p[2] = random.next(200) - 100;
    pieces.push_back(p);
  }
  auto fall = [](std::int64_t t) { return (5 * t * t - 1500 * t) / 1000; };
  std::int64_t fall_time = 0;
  while (fall(fall_time) < h) ++fall_time;
  const std::int64_t count = static_cast<std::int64_t>(pieces.size());
  const std::int64_t b = e * (fall_time + (count - 1) * step) / d;
  auto holder = copy_of(s.new_screen);
  TDIBX& out = *holder;
  auto home = [&](const std::array<int, 3>& p) {
    return Rect{p[0] * static_cast<int>(size), p[1] * static_cast<int>(size), (p[0] + 1) * static_cast<int>(size),
                (p[1] + 1) * static_cast<int>(size)}
        .intersected({0, 0, w, h});
  };
  for (std::int64_t j = 0; j < count; ++j) {
    if (j * step > b) {
      const Rect r = home(pieces[static_cast<std::size_t>(j)]);
      out.Draw(r.left, r.top, false, false, false, r, s.old_screen);
    }
  }
  for (std::int64_t j = count - 1; j >= 0; --j) {
    if (b < j * step) continue;
    const auto& p = pieces[static_cast<std::size_t>(j)];
    const std::int64_t t = b - j * step, y = p[1] * size + fall(t);
    if (y >= h) continue;
    const Rect r = home(p);
    out.Draw(static_cast<int>(p[0] * size + t * p[2] / 100), static_cast<int>(y), false, false, false, r, s.old_screen);
  }
  return holder;
}

TEST(WipeCrack, PiecesFallInTheGeneratorsOrderAndJumpsBackDrawFresh) {
  for (int e : {0, 40, 150, 333, 420, 499}) {
    Screens s(50, 40, 32);
    WipeSetup setup;
    setup.random.set_seed(777);
    const auto expected = crack_expected(s, 777, 16, 9, e, 500);
    draw_once(s, setup, {WP_CRACK, e, 500, false, 16, 9});
    EXPECT_EQ(first_difference(s.target, *expected), "") << "e " << e;
  }
  // Out-of-range parameters are raised: pieces of 16, no delay.
  Screens s(50, 40, 32);
  WipeSetup setup;
  setup.random.set_seed(5);
  auto w = draw_once(s, setup, {WP_CRACK, 200, 500, false, 3, -8});
  EXPECT_EQ(w->GetParam(0), 16);
  EXPECT_EQ(w->GetParam(1), 0);
  EXPECT_EQ(first_difference(s.target, *crack_expected(s, 5, 16, 0, 200, 500)), "");
  // A film that jumps back draws what a fresh transition draws.
  for (int e : {450, 100, 480, 60}) {
    w->SetElapsed(e);
    w->DrawStep();
  }
  EXPECT_EQ(first_difference(s.target, *crack_expected(s, 5, 16, 0, 60, 500)), "");
}

__extension__ typedef __int128 Int128;

TEST(WipeArithmetic, ProgressProductsBeyondThirtyTwoAndSixtyFourBitsAreExact) {
  const std::int32_t big = 0x7FFFFFFF;
  Screens s(64, 48, 32);
  WipeSetup setup;
  // e × (T + (C × R − 1) × S) passes 2^63.
  auto w = draw_once(s, setup, {WP_CRACK, big - 1, big, false, 16, big});
  auto& crack = dynamic_cast<TWipeCrack&>(*w);
  const Int128 span = crack.Pieces().FallTime() + Int128{11} * big;
  EXPECT_EQ(crack.Progress(big - 1, big), static_cast<std::int64_t>(span * (big - 1) / big));
  // A blind of the largest period: (S + 2P − 2) × e passes 2^63; near the
  // end every column has passed its threshold.
  draw_once(s, setup, {WP_BLINDH, big - 1, big, false, big, big});
  expect_masked(
      s, [](int, int) { return 255; }, "blind of the largest period");
  auto v = draw_once(s, setup, {WP_BLINDV, 1, 2, false, big, 1});
  EXPECT_EQ(dynamic_cast<TWipeMask&>(*v).Mask().GetHeight(), 48);  // capped at the target
  // Grid cells as large as the int range, softness as large.
  draw_once(s, setup, {WP_GRID, big / 2, big, false, big, big});
  draw_once(s, setup, {WP_ZOOMIN, 50, 100, false, big, -big - 1});
  draw_once(s, setup, {WP_SMALL, 99, 100, true, -big - 1});
  draw_once(s, setup, {WP_FADE, 0, big, false, big, -big - 1});
  EXPECT_EQ(first_difference(s.target, s.old_screen), "");
}

// --- Fast paths ---------------------------------------------------------------------------

// The types that paint through their own row code (twists, spotlight, mask
// white and black, the blurs and plain white, black and flash at every
// depth) give on every path the bytes of the reference path, frame by frame
// along an elapsed sequence that jumps back and forth, on random screens.
// Both runs start from the same target, so lines a twist leaves untouched
// keep the same earlier frame on both. The types with rows of their own
// give whole stored pixels; those drawn by the surfaces' operations (blurs,
// white, black, flash) give the colour bits those operations promise.
TEST(WipeScreensFastPath, EveryPathGivesTheReferencesBytesAlongASequenceThatJumpsBack) {
  const int types[] = {WP_TWISTH,    WP_TWISTV,    WP_SPOT,  WP_MASKWHITE, WP_MASKBLACK,
                       WP_BLURWHITE, WP_BLURBLACK, WP_WHITE, WP_BLACK,     WP_FLASH};
  const int elapsed[] = {30, 95, 10, 61, 0, 47, 99, 20};
  for (int bits : {15, 16, 32}) {
    for (int type : types) {
      for (const char* mask : {"", "stripes.bmp"}) {
        if (*mask && type != WP_MASKWHITE && type != WP_MASKBLACK) continue;
        for (bool rev : {false, true}) {
          const unsigned seed = static_cast<unsigned>(type * 7 + bits + rev);
          auto start = [&](Screens& s, WipeSetup& setup) {
            setup.greys = make_wipe_grey_tables(bits);
            setup.files.files["stripes.bmp"] = stripes_bitmap();
            auto w = CreateTransition(type, s.surfaces(), setup.services(), 100);
            w->SetReverse(rev);
            w->SetMaskName(mask);
            w->Prepare();
            return w;
          };
          Screens ref(83, 37, bits, seed);
          WipeSetup ref_setup;
          std::vector<std::unique_ptr<TDIBX>> frames;
          {
            ScopedPixelPath path(PixelPath::Reference);
            auto w = start(ref, ref_setup);
            for (int e : elapsed) {
              w->SetElapsed(e);
              w->DrawStep();
              frames.push_back(copy_of(ref.target));
            }
          }
          for (PixelPath p : available_pixel_paths()) {
            if (p == PixelPath::Reference) continue;
            ScopedPixelPath path(p);
            Screens fast(83, 37, bits, seed);
            WipeSetup setup;
            auto w = start(fast, setup);
            for (std::size_t i = 0; i < std::size(elapsed); ++i) {
              w->SetElapsed(elapsed[i]);
              w->DrawStep();
              const bool own_rows = type != WP_BLURWHITE && type != WP_BLURBLACK && type != WP_WHITE &&
                                    type != WP_BLACK && type != WP_FLASH;
              ASSERT_EQ(own_rows ? first_stored_difference(fast.target, *frames[i])
                                 : first_difference(fast.target, *frames[i]),
                        "")
                  << wipe_type_info(type)->name << " bits " << bits << " mask '" << mask << "' rev " << rev << " path "
                  << pixel_path_name(p) << " e " << elapsed[i];
            }
          }
        }
      }
    }
  }
}

// The ripple off the reference path works in 32 bits while the reaches
// allow it: on every path it gives the reference's bytes, for rings with
// teeth of both signs, odd sizes (a middle row and column that mirror onto
// themselves), rings reaching past the edges, and an amplitude so large
// that every path must fall back to 64 bits.
TEST(WipeScreensFastPath, RippleMatchesTheReferenceAtEveryAmplitude) {
  for (auto [w, h] : {std::pair{161, 97}, std::pair{120, 64}, std::pair{10, 10}}) {
    for (int bits : {15, 16, 24, 32}) {
      for (std::int32_t amplitude : {5, -37, 90, 40000}) {
        for (int e : {0, 13, 29, 41, 58}) {
          const unsigned seed = static_cast<unsigned>(w + bits + e);
          Screens ref(w, h, bits, seed);
          WipeSetup setup;
          {
            ScopedPixelPath path(PixelPath::Reference);
            draw_once(ref, setup, {WP_RIPPLE, e, 60, false, amplitude});
          }
          for (PixelPath p : available_pixel_paths()) {
            if (p == PixelPath::Reference) continue;
            ScopedPixelPath path(p);
            Screens fast(w, h, bits, seed);
            draw_once(fast, setup, {WP_RIPPLE, e, 60, false, amplitude});
            ASSERT_EQ(first_stored_difference(fast.target, ref.target), "")
                << w << "x" << h << " bits " << bits << " amplitude " << amplitude << " e " << e << " path "
                << pixel_path_name(p);
          }
        }
      }
    }
  }
}

// The twists on lines much longer than wide and the reverse: squeezed
// lines of one pixel, of the whole length, and everything between; columns
// in whole blocks of eight and with rows and columns left over, at both
// pixel sizes, on every path.
TEST(WipeScreensFastPath, TwistsOfLongAndShortLinesMatchTheReference) {
  for (auto [w, h] : {std::pair{3, 150}, std::pair{150, 3}, std::pair{1, 1}, std::pair{64, 64}, std::pair{41, 90}}) {
    for (int bits : {32, 16}) {
      for (int type : {WP_TWISTH, WP_TWISTV}) {
        for (int e = 0; e < 60; e += 7) {
          const unsigned seed = static_cast<unsigned>(e + bits);
          Screens ref(w, h, bits, seed);
          WipeSetup setup;
          {
            ScopedPixelPath path(PixelPath::Reference);
            draw_once(ref, setup, {type, e, 60});
          }
          for (PixelPath p : available_pixel_paths()) {
            if (p == PixelPath::Reference) continue;
            ScopedPixelPath path(p);
            Screens fast(w, h, bits, seed);
            draw_once(fast, setup, {type, e, 60});
            ASSERT_EQ(first_stored_difference(fast.target, ref.target), "")
                << wipe_type_info(type)->name << " " << w << "x" << h << " bits " << bits << " e " << e << " path "
                << pixel_path_name(p);
          }
        }
      }
    }
  }
}

// The squeeze kernels alone: every squeeze of short lines and a spread of
// them on long ones, each line allocated to its exact length so that a read
// past it is caught, against the sampling formula, nothing written past
// the last sample.
TEST(WipeScreensFastPath, SqueezeKernelsTakeTheFormulasSamplesAndReadOnlyTheLine) {
  Rng rng(7);
  auto check = [&](PixelPath p, const detail::WipeKernelSet& set, int bytes, int length, int span) {
    const std::int64_t step = static_cast<std::int64_t>(static_cast<double>(length) / span * 65536);
    int count = 0;
    while (count < span && ((std::int64_t{count} * step) >> 16) < length) ++count;
    std::vector<std::uint8_t> from(static_cast<std::size_t>(length * bytes));
    for (auto& b : from) b = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> to(static_cast<std::size_t>((count + 1) * bytes), 0xAB);
    set.stretch[bytes == 4 ? 0 : 1](to.data(), from.data(), count, step, length);
    for (int j = 0; j < count; ++j) {
      const std::size_t at = static_cast<std::size_t>((std::int64_t{j} * step) >> 16);
      ASSERT_EQ(std::memcmp(to.data() + static_cast<std::size_t>(j) * bytes, from.data() + at * bytes,
                            static_cast<std::size_t>(bytes)),
                0)
          << pixel_path_name(p) << " bytes " << bytes << " length " << length << " span " << span << " output " << j;
    }
    for (int b = 0; b < bytes; ++b) ASSERT_EQ(to[static_cast<std::size_t>(count * bytes + b)], 0xAB) << "wrote past";
  };
  for (PixelPath p : available_pixel_paths()) {
    const detail::WipeKernelSet* set = detail::wipe_kernels_for(p);
    if (!set) continue;
    for (int bytes : {4, 2}) {
      for (int length = 1; length <= 48; ++length) {
        for (int span = 1; span <= length; ++span) check(p, *set, bytes, length, span);
      }
      for (int length : {720, 1280, 4099}) {
        for (int k = 0; k < 40; ++k) check(p, *set, bytes, length, uniform(rng, 1, length));
        check(p, *set, bytes, length, length);
        check(p, *set, bytes, length, length / 2 + 1);
      }
    }
  }
}

}  // namespace
}  // namespace nova::graphics
