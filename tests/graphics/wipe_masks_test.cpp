// The mask-driven transitions: every builder against its formula written
// out per pixel here, the composition of old and new screens, and the fast
// paths against the per-pixel reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "graphics/kernels.h"
#include "graphics/wipe_kernels.h"
#include "graphics/wipe_mask.h"
#include "picture_builders.h"
#include "wipe_test_util.h"

namespace nova::graphics {
namespace {

using namespace test;

std::int64_t edge(std::int64_t t, std::int64_t h, std::int64_t s) {
  return t < h ? 0 : std::min<std::int64_t>(255, (t - h) * 255 / s);
}

// The mask value of pixel (x, y) of a w × h target, written from the
// formulas of each type (P, S already raised to their minimums).
struct MaskFormula {
  int type;
  int w, h;
  std::int64_t e, d, p, s;
  bool rev;

  int operator()(int x, int y) const {
    switch (type) {
      case WP_BLINDH: {
        const std::int64_t t = (s + 2 * p - 2) * e / d, k = x % p;
        return static_cast<int>(edge(t, rev ? 2 * (p - k - 1) : 2 * k, s));
      }
      case WP_BLINDV: {
        const std::int64_t t = (s + 2 * p - 2) * e / d;
        const std::int64_t rows = std::max<std::int64_t>(p, 2), r = y % rows;
        return static_cast<int>(edge(t, rev ? 2 * (p - r - 1) : 2 * r, s));
      }
      case WP_CURTAINH:
      case WP_CURTAINV: {
        const std::int64_t size = type == WP_CURTAINH ? w : h;
        const std::int64_t i = type == WP_CURTAINH ? x : y, v = rev ? size - i - 1 : i;
        const std::int64_t t = (((size + p - 1) / p + p - 2) * 16 + s) * e / d;
        return static_cast<int>(edge(t, (v / p + v % p) * 16, s));
      }
      case WP_GRID:
      case WP_GRIDH:
      case WP_GRIDV: {
        const std::int64_t cols = (w + p - 1) / p, rows = (h + p - 1) / p;
        const std::int64_t c = x / p, r = y / p;
        const std::int64_t cc = rev ? cols - 1 - c : c, rr = rev ? rows - 1 - r : r;
        std::int64_t delay = 0, span = 0;
        if (type == WP_GRIDH) {
          delay = 4 * cc;
          span = 4 * cols;
        } else if (type == WP_GRIDV) {
          delay = 4 * rr;
          span = 4 * rows;
        } else {
          delay = 4 * round_even(std::hypot(static_cast<long double>(rr), static_cast<long double>(cc)));
          span = 4 * round_even(std::hypot(static_cast<long double>(rows - 1), static_cast<long double>(cols - 1)));
        }
        const std::int64_t t = (s + span - 4) * e / d;
        if (t < delay) return 0;
        const std::int64_t a = std::min(p, p * (t - delay) / s), off = (p - a) / 2;
        const std::int64_t lx = x - c * p, ly = y - r * p;
        if (lx < off || lx >= off + a || ly < off || ly >= off + a) return 0;
        return static_cast<int>(edge(t, delay, s));
      }
      case WP_CIRCLE: {
        const long double reach = std::hypot(w / 2.0L, h / 2.0L);
        const std::int64_t r = round_even(reach * (rev ? d - e : e) / d);
        const double dx = x + 0.5 - w / 2.0, dy = y + 0.5 - h / 2.0;
        const bool inside = r > 0 && dx * dx + dy * dy <= static_cast<double>(r * r);
        return inside != rev ? 255 : 0;
      }
      case WP_CLOCKHAND:
      case WP_FAN:
      case WP_WFAN: {
        const double a = clockwise_angle(x, y, w / 2.0, h / 2.0), f = static_cast<double>(e) / d;
        const double start = static_cast<double>(p);
        auto cw = [&](double from, double sweep) { return wrap360(a - from) < sweep; };
        auto ccw = [&](double from, double sweep) { return wrap360(from - a) < sweep; };
        bool in = false;
        if (type == WP_CLOCKHAND) in = rev ? ccw(start, f * 360) : cw(start, f * 360);
        if (type == WP_FAN) in = cw(start, f * 180) || ccw(start, f * 180);
        if (type == WP_WFAN)
          in = cw(start, f * 90) || ccw(start, f * 90) || cw(start + 180, f * 90) || ccw(start + 180, f * 90);
        return in ? 255 : 0;
      }
    }
    ADD_FAILURE() << "no formula for type " << type;
    return 0;
  }
};

struct MaskCase {
  int type;
  std::int32_t p0, p1;
};

TEST(WipeMask, EveryBuilderFollowsItsFormulaAtAQuarterHalfAndThreeQuarters) {
  const MaskCase cases[] = {
      {WP_BLINDH, 20, 1},     {WP_BLINDH, 7, 9},    {WP_BLINDV, 20, 1},   {WP_BLINDV, 6, 5},   {WP_BLINDV, 90, 3},
      {WP_CURTAINH, 30, 1},   {WP_CURTAINH, 4, 20}, {WP_CURTAINV, 30, 1}, {WP_CURTAINV, 5, 7}, {WP_GRID, 80, 30},
      {WP_GRID, 9, 30},       {WP_GRIDH, 11, 13},   {WP_GRIDV, 7, 1},     {WP_CIRCLE, 0, 0},   {WP_CLOCKHAND, 0, 0},
      {WP_CLOCKHAND, 135, 0}, {WP_FAN, 30, 0},      {WP_WFAN, 300, 0},    {WP_WFAN, 0, 0},
  };
  for (const MaskCase& c : cases) {
    for (bool rev : {false, true}) {
      for (int e : {25, 50, 75}) {
        Screens s(53, 37, 32, static_cast<unsigned>(c.type * 100 + e));
        WipeSetup setup;
        WipeRun run;
        run.type = c.type;
        run.e = e;
        run.d = 100;
        run.reverse = rev;
        run.p0 = c.p0;
        run.p1 = c.p1;
        auto w = draw_once(s, setup, run);
        ASSERT_TRUE(w);
        const bool ordered = c.type == WP_CURTAINH || c.type == WP_CURTAINV;
        const std::int64_t p = std::max(c.p0, ordered ? 1 : 2), sft = std::max(c.p1, 1);
        const MaskFormula f{c.type, 53, 37, e, 100, p, sft, rev};
        expect_masked(s, f,
                      std::string(wipe_type_info(c.type)->name) + " p0 " + std::to_string(c.p0) + " rev " +
                          std::to_string(rev) + " e " + std::to_string(e));
      }
    }
  }
}

TEST(WipeMask, BlindWithSoftnessOneSwitchesWholePixelsOneUnitAfterItsThreshold) {
  Screens s(45, 4, 32);
  WipeSetup setup;
  for (int e = 0; e < 60; ++e) {
    auto w = draw_once(s, setup, {WP_BLINDH, e, 60});
    ASSERT_TRUE(dynamic_cast<TWipeMask&>(*w).Binary());
    const std::int64_t t = 39 * e / 60;
    for (int x = 0; x < 45; ++x) {
      const bool shows_new = t > 2 * (x % 20);
      for (int y = 0; y < 4; ++y) {
        ASSERT_EQ(s.target.GetPixel(x, y), (shows_new ? s.new_screen : s.old_screen).GetPixel(x, y))
            << "x " << x << " e " << e;
      }
    }
  }
}

TEST(WipeMask, DitherRevealsTheSamePositionsInEveryCell) {
  Screens s(150, 140, 32);
  WipeSetup setup;
  for (int e : {0, 1, 25, 50, 75, 99}) {
    auto w = draw_once(s, setup, {WP_DITHER, e, 100});
    const auto& order = dynamic_cast<TWipeDither&>(*w).Order();
    // The order is the TKvRandom deck of increment 12341.
    expr::TKvRandom deck(12341);
    deck.reset_deck(4096);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(order[static_cast<std::size_t>(i)], deck.draw());
    const std::int64_t n = std::int64_t{e} * 4096 / 100;
    std::vector<bool> shown(4096, false);
    for (std::int64_t i = 0; i < n; ++i) shown[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])] = true;
    int revealed_in_first_cell = 0;
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) revealed_in_first_cell += s.target.GetPixel(x, y) == s.new_screen.GetPixel(x, y);
    }
    EXPECT_GE(revealed_in_first_cell, n);
    expect_masked(
        s, [&](int x, int y) { return shown[static_cast<std::size_t>((y % 64) * 64 + x % 64)] ? 255 : 0; },
        "dither e " + std::to_string(e));
  }
}

// A 4 × 4 bitmap of grey levels 0, 16, ..., 240, given as a file.
std::vector<std::uint8_t> grey_bitmap() {
  std::vector<std::uint32_t> pixels;
  for (int i = 0; i < 16; ++i) pixels.push_back(static_cast<std::uint32_t>(i * 16 * 0x010101));
  RawBmp bmp;
  bmp.width = 4;
  bmp.height = -4;
  bmp.bits = 24;
  bmp.pixels = dib_rows(4, 4, 24, pixels);
  const std::string bytes = build_bmp(bmp);
  return {bytes.begin(), bytes.end()};
}

TEST(WipeMask, MaskFadeFollowsThePicturesGreyLevelsTiledFromTheCorner) {
  for (bool rev : {false, true}) {
    for (int e : {0, 20, 50, 64, 80, 99}) {
      Screens s(11, 9, 16);
      WipeSetup setup;
      setup.files.files["mask.bmp"] = grey_bitmap();
      draw_once(s, setup, {WP_MASKFADE, e, 128, rev, {}, {}, "mask.bmp"});
      const std::int64_t i = std::int64_t{e} * 512 / 128;
      expect_masked(
          s,
          [&](int x, int y) {
            const int level = ((y % 4) * 4 + x % 4) * 16;
            const int c = rev ? 255 - level : level;
            const int g = (77 * c + 150 * c + 29 * c) >> 8;
            return static_cast<int>(std::clamp<std::int64_t>(i + g - 256, 0, 255));
          },
          "mask fade e " + std::to_string(e));
    }
  }
}

TEST(WipeMask, MaskFadeWithoutAPictureFadesEvenlyAndCompletesAtHalfTheDuration) {
  WipeSetup setup;
  setup.files.files["broken.bmp"] = {'B', 'M', 1, 2, 3};
  for (const char* name : {"", "missing.png", "broken.bmp"}) {
    for (int e : {0, 1, 25, 49, 50, 51, 99}) {
      Screens s(13, 7, 32);
      draw_once(s, setup, {WP_MASKFADE, e, 100, false, {}, {}, name});
      const int m = static_cast<int>(std::clamp<std::int64_t>(std::int64_t{e} * 512 / 100 - 1, 0, 255));
      expect_masked(
          s, [&](int, int) { return m; }, std::string("no picture ") + name + " e " + std::to_string(e));
    }
  }
}

TEST(WipeMask, ReversedCircleCloses) {
  Screens s(40, 30, 32);
  WipeSetup setup;
  int last = -1;
  for (int e = 0; e <= 88; e += 11) {
    draw_once(s, setup, {WP_CIRCLE, e, 100, true});
    int old_pixels = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) old_pixels += s.target.GetPixel(x, y) == s.old_screen.GetPixel(x, y);
    }
    if (last >= 0) {
      EXPECT_LT(old_pixels, last) << "e " << e;
    }
    last = old_pixels;
    if (e == 0) {
      EXPECT_EQ(old_pixels, 40 * 30);
    }
    // The middle is old until the end; the corners turn new first.
    EXPECT_EQ(s.target.GetPixel(20, 15), s.old_screen.GetPixel(20, 15));
  }
  EXPECT_EQ(s.target.GetPixel(0, 0), s.new_screen.GetPixel(0, 0));
  // At the very end the radius rounds to 0: nothing of the old screen.
  draw_once(s, setup, {WP_CIRCLE, 99, 100, true});
  EXPECT_EQ(s.target.GetPixel(20, 15), s.new_screen.GetPixel(20, 15));
}

TEST(WipeMask, BlockCoilListsASpiralAndFillsUpToTheProgress) {
  Screens s(50, 30, 32);
  WipeSetup setup;
  auto w = draw_once(s, setup, {WP_BLOCKCOIL, 0, 100, false, 10});
  const auto& coil = dynamic_cast<TWipeBlockCoil&>(*w);
  const std::vector<std::pair<int, int>> spiral = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {4, 1}, {4, 2}, {3, 2},
                                                   {2, 2}, {1, 2}, {0, 2}, {0, 1}, {1, 1}, {2, 1}, {3, 1}};
  EXPECT_EQ(coil.BlockSide(), 10);
  EXPECT_EQ(coil.Blocks(), spiral);
  for (bool rev : {false, true}) {
    for (int e : {0, 30, 50, 99}) {
      draw_once(s, setup, {WP_BLOCKCOIL, e, 100, rev, 3});  // the side is at least 10
      const std::int64_t n = 14 * e / 100;
      expect_masked(
          s,
          [&](int x, int y) {
            const auto it = std::find(spiral.begin(), spiral.end(), std::make_pair(x / 10, y / 10));
            std::int64_t at = it - spiral.begin();
            if (rev) at = 14 - at;
            return at <= n ? 255 : 0;
          },
          "coil e " + std::to_string(e));
    }
  }
  // The side never exceeds the target: one block over a 7 × 5 target.
  Screens tiny(7, 5, 32);
  auto one = draw_once(tiny, setup, {WP_BLOCKCOIL, 10, 100, false, 500});
  EXPECT_EQ(dynamic_cast<TWipeBlockCoil&>(*one).BlockSide(), 5);
  EXPECT_EQ(dynamic_cast<TWipeBlockCoil&>(*one).Blocks().size(), 2u);
}

TEST(WipeMask, BlockRandomTakesBlocksAtRandomIndexesOfTheRemainingList) {
  Screens s(60, 40, 16);
  WipeSetup setup;
  setup.random.set_seed(4242);
  auto w = draw_once(s, setup, {WP_BLOCKRANDOM, 40, 100, false, 20});
  std::vector<std::pair<int, int>> left, expected;
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) left.emplace_back(c, r);
  }
  expr::StandardRandom random(4242);
  while (!left.empty()) {
    const auto i = static_cast<std::size_t>(random.next(static_cast<std::int32_t>(left.size())));
    expected.push_back(left[i]);
    left.erase(left.begin() + static_cast<std::ptrdiff_t>(i));
  }
  EXPECT_EQ(dynamic_cast<TWipeBlockCoil&>(*w).Blocks(), expected);
  const std::int64_t n = 5 * 40 / 100;
  expect_masked(
      s,
      [&](int x, int y) {
        const auto at = std::find(expected.begin(), expected.end(), std::make_pair(x / 20, y / 20)) - expected.begin();
        return at <= n ? 255 : 0;
      },
      "block random");
  // Without the player's generator the type says what is missing.
  WipeSetup bare;
  WipeServices none = bare.services();
  none.random = nullptr;
  auto orphan = CreateTransition(WP_BLOCKRANDOM, s.surfaces(), none, 10);
  EXPECT_THROW(orphan->Prepare(), core::Error);
}

TEST(WipeMask, TheMaskIsRebuiltOnlyWhenItsProgressChangesAndJumpsBackDrawFresh) {
  for (int type : {WP_BLINDH, WP_GRID, WP_DITHER, WP_CIRCLE, WP_CLOCKHAND, WP_BLOCKCOIL, WP_MASKFADE}) {
    Screens s(70, 45, 32);
    WipeSetup setup;
    auto w = CreateTransition(type, s.surfaces(), setup.services(), 1000);
    w->Prepare();
    auto& mask = dynamic_cast<TWipeMask&>(*w);
    w->SetElapsed(500);
    w->DrawStep();
    const int builds = mask.BuildCount();
    w->SetElapsed(500);
    w->DrawStep();
    EXPECT_EQ(mask.BuildCount(), builds) << type;
    for (int e : {900, 100, 600, 30}) {
      w->SetElapsed(e);
      w->DrawStep();
    }
    TDIBX jumped;
    copy_into(jumped, s.target);
    Screens fresh(70, 45, 32);
    draw_once(fresh, setup, {type, 30, 1000});
    EXPECT_EQ(first_difference(jumped, fresh.target), "") << type;
  }
}

// --- Fast paths --------------------------------------------------------------------------

TEST(WipeMaskFastPath, EveryPathGivesTheReferencesBytesOnRandomScreens) {
  const int types[] = {WP_BLINDH, WP_BLINDV, WP_CURTAINH, WP_CURTAINV,  WP_GRID,
                       WP_GRIDH,  WP_GRIDV,  WP_DITHER,   WP_MASKFADE,  WP_CLOCKHAND,
                       WP_FAN,    WP_WFAN,   WP_CIRCLE,   WP_BLOCKCOIL, WP_BLOCKRANDOM};
  for (int bits : {15, 16, 32}) {
    for (int type : types) {
      for (int e : {13, 50, 87}) {
        Screens ref(77, 19, bits, static_cast<unsigned>(type + e));
        WipeSetup setup;
        {
          ScopedPixelPath path(PixelPath::Reference);
          draw_once(ref, setup, {type, e, 100, e == 50, 7, 9, ""});
        }
        for (PixelPath p : available_pixel_paths()) {
          if (p == PixelPath::Reference) continue;
          ScopedPixelPath path(p);
          Screens fast(77, 19, bits, static_cast<unsigned>(type + e));
          WipeSetup again;
          draw_once(fast, again, {type, e, 100, e == 50, 7, 9, ""});
          EXPECT_EQ(first_stored_difference(fast.target, ref.target), "")
              << wipe_type_info(type)->name << " bits " << bits << " path " << pixel_path_name(p);
        }
      }
    }
  }
}

// The sectors keep their shape instead of a mask on the kernel paths: a
// draw at the same elapsed value after a change of path (both ways) still
// gives the reference's pixels, on odd and even sizes, at both pixel sizes.
TEST(WipeMaskFastPath, SectorsDrawTheSamePixelsWhenThePathChangesBetweenDraws) {
  for (int type : {WP_CLOCKHAND, WP_FAN, WP_WFAN}) {
    for (auto [w, h, bits] : {std::tuple{64, 48, 32}, std::tuple{33, 71, 32}, std::tuple{33, 71, 16}}) {
      Screens ref(w, h, bits, static_cast<unsigned>(type));
      WipeSetup ref_setup;
      {
        ScopedPixelPath path(PixelPath::Reference);
        draw_once(ref, ref_setup, {type, 37, 100, false, 45, 0, ""});
      }
      Screens s(w, h, bits, static_cast<unsigned>(type));
      WipeSetup setup;
      auto wipe = draw_once(s, setup, {type, 37, 100, false, 45, 0, ""});
      EXPECT_EQ(first_stored_difference(s.target, ref.target), "") << type << " best path";
      Rng rng(3);
      fill_random(s.target, rng);
      {
        ScopedPixelPath path(PixelPath::Reference);
        wipe->DrawStep();
      }
      EXPECT_EQ(first_stored_difference(s.target, ref.target), "") << type << " then the reference path";
      fill_random(s.target, rng);
      wipe->DrawStep();
      EXPECT_EQ(first_stored_difference(s.target, ref.target), "") << type << " and back";
    }
  }
}

// The kernels alone on rows of every length, with masks of runs of 0, of
// 255 and of anything, and the spotlight's and mask white and black's
// rows, against the per-pixel formulas.
TEST(WipeMaskFastPath, KernelsMatchThePixelFormulasOnEveryRowLength) {
  Rng rng(99);
  for (PixelPath p : available_pixel_paths()) {
    const detail::WipeKernelSet* set = detail::wipe_kernels_for(p);
    if (p == PixelPath::Reference) {
      EXPECT_EQ(set, nullptr);
      continue;
    }
    ASSERT_NE(set, nullptr);
    for (int format = 0; format < 3; ++format) {
      const int bytes = format == 0 ? 4 : 2;
      for (int count = 0; count < 70; ++count) {
        std::vector<std::uint8_t> o(static_cast<std::size_t>(count * bytes) + 1), n(o.size()),
            mask(static_cast<std::size_t>(count) + 1);
        for (auto& b : o) b = static_cast<std::uint8_t>(rng());
        for (auto& b : n) b = static_cast<std::uint8_t>(rng());
        for (int i = 0; i < count;) {
          const int len = uniform(rng, 1, 20), kind = uniform(rng, 0, 2);
          for (int k = 0; k < len && i < count; ++k, ++i) {
            mask[static_cast<std::size_t>(i)] = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<std::uint8_t>(rng());
          }
        }
        for (bool binary : {false, true}) {
          std::vector<std::uint8_t> m = mask;
          if (binary) {
            for (auto& v : m) v = v ? 255 : 0;
          }
          std::vector<std::uint8_t> out(o.size(), 0xAB);
          detail::WipeRowJob job{out.data(), o.data(), n.data(), m.data(), count};
          (binary ? set->select : set->mix)[format](job);
          for (int i = 0; i < count; ++i) {
            std::uint32_t ov = 0, nv = 0, got = 0;
            std::memcpy(&ov, o.data() + i * bytes, static_cast<std::size_t>(bytes));
            std::memcpy(&nv, n.data() + i * bytes, static_cast<std::size_t>(bytes));
            std::memcpy(&got, out.data() + i * bytes, static_cast<std::size_t>(bytes));
            const int bits = format == 0 ? 32 : format == 1 ? 16 : 15;
            const std::uint32_t want = mix(ov, nv, m[static_cast<std::size_t>(i)], bits);
            ASSERT_EQ(got, want) << pixel_path_name(p) << " format " << format << " count " << count << " pixel " << i;
          }
          EXPECT_EQ(out.back(), 0xAB) << "wrote past the row";
        }
        // The spotlight's row: thresholds around b so that every part of
        // the ring and both plain sides occur, the greys from the layout.
        std::vector<std::int16_t> thresholds(static_cast<std::size_t>(count));
        const int b = uniform(rng, 600, 900);
        for (auto& t : thresholds) t = static_cast<std::int16_t>(uniform(rng, b - 560, b + 40));
        std::vector<std::uint8_t> out(o.size(), 0xAB);
        set->spot[format]({out.data(), o.data(), n.data(), thresholds.data(), b, count});
        const int bits = format == 0 ? 32 : format == 1 ? 16 : 15;
        for (int i = 0; i < count; ++i) {
          std::uint32_t ov = 0, nv = 0, got = 0;
          std::memcpy(&ov, o.data() + i * bytes, static_cast<std::size_t>(bytes));
          std::memcpy(&nv, n.data() + i * bytes, static_cast<std::size_t>(bytes));
          std::memcpy(&got, out.data() + i * bytes, static_cast<std::size_t>(bytes));
          const int v = b - thresholds[static_cast<std::size_t>(i)];
          const std::uint32_t grey =
              static_cast<std::uint32_t>(color_to_pixel(bits, (v < 256 ? v : 511 - v) * 0x010101));
          const std::uint32_t want = v < 0 ? ov : v >= 512 ? nv : add_sat(v < 256 ? ov : nv, grey, bits);
          ASSERT_EQ(got, want) << pixel_path_name(p) << " spot format " << format << " count " << count << " pixel "
                               << i << " v " << v;
        }
        EXPECT_EQ(out.back(), 0xAB) << "wrote past the row";
        // Mask white and black: offsets from wholly old to wholly new, the
        // levels spread so that both screens and every grey occur.
        const int offset = uniform(rng, -512, 512);
        for (bool darkens : {false, true}) {
          std::vector<std::uint8_t> shaded(o.size(), 0xAB);
          (darkens ? set->shadow_sub : set->shadow_add)[format]({shaded.data(), o.data(), n.data(), mask.data(),
                                                                offset, count});
          for (int i = 0; i < count; ++i) {
            std::uint32_t ov = 0, nv = 0, got = 0;
            std::memcpy(&ov, o.data() + i * bytes, static_cast<std::size_t>(bytes));
            std::memcpy(&nv, n.data() + i * bytes, static_cast<std::size_t>(bytes));
            std::memcpy(&got, shaded.data() + i * bytes, static_cast<std::size_t>(bytes));
            const int v = std::clamp(mask[static_cast<std::size_t>(i)] + offset, 0, 511);
            const std::uint32_t grey =
                static_cast<std::uint32_t>(color_to_pixel(bits, std::min(v, 511 - v) * 0x010101));
            const std::uint32_t src = v > 255 ? nv : ov;
            const std::uint32_t want = darkens ? sub_sat(src, grey, bits) : add_sat(src, grey, bits);
            ASSERT_EQ(got, want) << pixel_path_name(p) << " shadow format " << format << " darkens " << darkens
                                 << " count " << count << " pixel " << i << " v " << v;
          }
          EXPECT_EQ(shaded.back(), 0xAB) << "wrote past the row";
        }
      }
    }
  }
}

}  // namespace
}  // namespace nova::graphics
