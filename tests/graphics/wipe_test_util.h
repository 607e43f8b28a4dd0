// Helpers of the transition tests: screens with distinct random pictures,
// the services a transition needs, one call that drives a transition the
// way the flip does, and the plain per-pixel formulas the goldens use.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "expr/random.h"
#include "graphics/picture_files.h"
#include "graphics/wipes.h"
#include "surface_helpers.h"

namespace nova::graphics::test {

// Old and new screens of random pixels, and a target filled with a third
// random picture (so that untouched pixels show).
struct Screens {
  TDIBX target, old_screen, new_screen;
  Screens(int w, int h, int bits, unsigned seed = 1) {
    Rng rng(seed);
    for (TDIBX* s : {&target, &old_screen, &new_screen}) {
      s->SetSize(w, h, bits);
      fill_random(*s, rng);
    }
  }
  WipeSurfaces surfaces() { return {&target, &old_screen, &new_screen}; }
  int width() const { return target.GetWidth(); }
  int height() const { return target.GetHeight(); }
  int bits() const { return target.GetBitCount(); }
};

class MemoryFiles : public PictureFiles {
 public:
  std::map<std::string, std::vector<std::uint8_t>> files;
  bool exists(const std::string& name) const override { return files.count(name) != 0; }
  std::vector<std::uint8_t> read_all(const std::string& name) const override {
    auto it = files.find(name);
    if (it == files.end()) throw core::Error(name + ": no such file");
    return it->second;
  }
};

struct WipeSetup {
  WipeGreyTables greys = make_wipe_grey_tables(32);
  expr::StandardRandom random{20261209};
  MemoryFiles files;
  WipeServices services() { return {&files, 0, &greys, &random}; }
};

struct WipeRun {
  int type = WP_FADE;
  std::int32_t e = 0;
  std::int32_t d = 100;
  bool reverse = false;
  std::optional<std::int32_t> p0, p1;
  std::string mask;
};

// Creates the transition, gives it the run's settings in the flip's order,
// starts it and draws once at e.
inline std::unique_ptr<TCustomWipe> draw_once(Screens& s, WipeSetup& setup, const WipeRun& run) {
  auto w = CreateTransition(run.type, s.surfaces(), setup.services(), run.d);
  if (!w) return w;
  w->SetReverse(run.reverse);
  if (run.p0) w->SetParam(0, *run.p0);
  if (run.p1) w->SetParam(1, *run.p1);
  w->SetMaskName(run.mask);
  w->Prepare();
  w->SetElapsed(run.e);
  EXPECT_FALSE(w->DrawStep());
  return w;
}

// (old × (255 − m) + new × m) >> 8 per channel; m = 0 and 255 pick a side.
inline std::uint32_t mix(std::uint32_t o, std::uint32_t n, int m, int bits) {
  if (m == 0) return o;
  if (m == 255) return n;
  const ChannelMasks masks = masks_for_bit_count(bits);
  std::uint32_t v = 0;
  for (int c = 0; c < masks.count; ++c) {
    const std::uint64_t cm = masks.list[static_cast<std::size_t>(c)];
    v |= static_cast<std::uint32_t>((((o & cm) * (255 - static_cast<std::uint64_t>(m)) + (n & cm) * m) >> 8) & cm);
  }
  return v;
}

// Per channel saturating addition and subtraction of a grey pixel value.
inline std::uint32_t add_sat(std::uint32_t p, std::uint32_t g, int bits) {
  const ChannelMasks masks = masks_for_bit_count(bits);
  std::uint32_t v = 0;
  for (int c = 0; c < masks.count; ++c) {
    const std::uint32_t cm = masks.list[static_cast<std::size_t>(c)];
    v |= std::min<std::uint64_t>(std::uint64_t{p & cm} + (g & cm), cm);
  }
  return v;
}
inline std::uint32_t sub_sat(std::uint32_t p, std::uint32_t g, int bits) {
  const ChannelMasks masks = masks_for_bit_count(bits);
  std::uint32_t v = 0;
  for (int c = 0; c < masks.count; ++c) {
    const std::uint32_t cm = masks.list[static_cast<std::size_t>(c)];
    v |= (p & cm) > (g & cm) ? (p & cm) - (g & cm) : 0;
  }
  return v;
}

// A picture given pixel by pixel.
inline std::unique_ptr<TDIBX> expected_picture(int w, int h, int bits,
                                               const std::function<std::uint32_t(int, int)>& f) {
  auto e = std::make_unique<TDIBX>();
  e->SetSize(w, h, bits);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) e->SetPixel(x, y, f(x, y));
  }
  return e;
}

// The target must show mix(old, new, m(x, y)) everywhere.
inline void expect_masked(const Screens& s, const std::function<int(int, int)>& m, const std::string& what) {
  const auto expected = expected_picture(s.width(), s.height(), s.bits(), [&](int x, int y) {
    return mix(s.old_screen.GetPixel(x, y), s.new_screen.GetPixel(x, y), m(x, y), s.bits());
  });
  EXPECT_EQ(first_difference(s.target, *expected), "") << what;
}

// The first pixel whose stored bits differ, the bits outside the colour
// channels included (the top byte of 32-bit pixels, the top bit of 15-bit
// ones): the fast paths of the transitions give whole pixels equal to the
// reference's, not only their colours.
inline std::string first_stored_difference(const TCustomDIBX& a, const TCustomDIBX& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return "sizes differ";
  for (int y = 0; y < a.GetHeight(); ++y) {
    for (int x = 0; x < a.GetWidth(); ++x) {
      const std::uint32_t pa = a.GetPixel(x, y), pb = b.GetPixel(x, y);
      if (pa != pb)
        return "(" + std::to_string(x) + ", " + std::to_string(y) + "): " + std::to_string(pa) + " vs " +
               std::to_string(pb);
    }
  }
  return "";
}

// Round to the nearest, halves to even.
inline std::int64_t round_even(long double v) { return static_cast<std::int64_t>(std::nearbyintl(v)); }

// Clockwise angle from straight up of pixel (x, y)'s centre around (cx, cy),
// in degrees [0, 360).
inline double clockwise_angle(int x, int y, double cx, double cy) {
  double a = std::atan2(x + 0.5 - cx, -(y + 0.5 - cy)) * 180.0 / 3.14159265358979323846;
  if (a < 0) a += 360;
  return a >= 360 ? a - 360 : a;
}
inline double wrap360(double v) {
  double r = std::fmod(v, 360.0);
  return r < 0 ? r + 360 : r;
}

}  // namespace nova::graphics::test
