#include "graphics/region.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "graphics/memory_dibx.h"

namespace nova::graphics {
namespace {

// Pixels of a w × h 8-bit mask that the region sets, as a string of rows
// ('#' set, '.' not), after rasterising onto a cleared mask.
std::string picture(const Region& r, int w, int h, int dx = 0, int dy = 0) {
  TDIBX mask;
  mask.SetSize(w, h, 8);
  r.rasterise(mask, 255, dx, dy);
  std::string out;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) out += mask.GetPixel(x, y) ? '#' : '.';
    out += '\n';
  }
  return out;
}

// The same from the point test alone.
std::string by_points(const Region& r, int w, int h) {
  std::string out;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) out += r.contains(x, y) ? '#' : '.';
    out += '\n';
  }
  return out;
}

TEST(Region, RectangleCornersAreItsFirstAndLastPixelsAndMovesWithTheOffset) {
  const Region r = Region::rectangle(1, 1, 3, 2);
  EXPECT_EQ(picture(r, 5, 4),
            ".....\n"
            ".###.\n"
            ".###.\n"
            ".....\n");
  EXPECT_EQ(picture(r, 5, 4, 1, 1),
            ".....\n"
            ".....\n"
            "..###\n"
            "..###\n");
  EXPECT_TRUE(Region::rectangle(3, 0, 2, 5).empty());
  EXPECT_TRUE(r.bounds().contains({1, 1}) && r.bounds().contains({3, 2}));
}

TEST(Region, EllipseTakesThePixelsWhoseCentresLieInsideIncludingTheBorder) {
  // The ellipse inscribed in (0, 0) .. (7, 5): centre (3.5, 2.5), radii 3.5
  // and 2.5.
  const Region r = Region::ellipse(0, 0, 6, 4);
  EXPECT_EQ(picture(r, 7, 5),
            ".#####.\n"
            "#######\n"
            "#######\n"
            "#######\n"
            ".#####.\n");
  // A circle of radius 2 around (2, 2): the centre (0.5, 2.5) is at
  // distance sqrt(2.5) inside, (2.5, 0.5) likewise, the corner pixels out.
  const Region c = Region::ellipse_box(0, 0, 4, 4);
  EXPECT_EQ(picture(c, 4, 4),
            ".##.\n"
            "####\n"
            "####\n"
            ".##.\n");
  EXPECT_TRUE(Region::ellipse_box(2, 2, 2, 5).empty());
}

TEST(Region, PolygonUsesNonZeroWindingAndSharedEdgesGoToOneSide) {
  // A pentagram drawn in one stroke: its middle is wound twice, and belongs
  // (an even-odd rule would leave it out).
  std::vector<Region::PointF> star;
  for (int i = 0; i < 5; ++i) {
    const double a = (i * 144.0 - 90.0) * 3.14159265358979 / 180.0;
    star.push_back({10 + 9 * std::cos(a), 10 + 9 * std::sin(a)});
  }
  const Region s = Region::polygon(star);
  EXPECT_TRUE(s.contains(10, 10));
  EXPECT_TRUE(s.contains(10, 3));
  EXPECT_FALSE(s.contains(0, 0));
  // Two triangles sharing a diagonal cover the square exactly once.
  const Region a = Region::polygon({{0, 0}, {8, 0}, {8, 6}});
  const Region b = Region::polygon({{0, 0}, {8, 6}, {0, 6}});
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) EXPECT_EQ(a.contains(x, y) + b.contains(x, y), 1) << x << "," << y;
  }
  EXPECT_FALSE(a.contains(8, 3));
  EXPECT_TRUE(Region::polygon({{0, 0}, {1, 1}}).empty());
}

TEST(Region, PieIncludesItsStartRayAndExcludesItsEnd) {
  // Centre (0, 0); a quarter from straight up clockwise to the right.
  const Region q = Region::pie(0, 0, 10, 0, 90);
  EXPECT_TRUE(q.contains_point(0, -5));  // on the start ray
  EXPECT_FALSE(q.contains_point(5, 0));  // on the end ray
  EXPECT_TRUE(q.contains_point(3, -3));
  EXPECT_FALSE(q.contains_point(-3, -3));
  EXPECT_FALSE(q.contains_point(7.5, -7.5));  // beyond the radius
  // Counter-clockwise from straight up to the left.
  const Region ccw = Region::pie(0, 0, 10, 0, -90);
  EXPECT_TRUE(ccw.contains_point(0, -5));
  EXPECT_TRUE(ccw.contains_point(-3, -3));
  EXPECT_FALSE(ccw.contains_point(-5, 0));
  EXPECT_FALSE(ccw.contains_point(3, -3));
  // A start beyond a turn wraps; a full turn is the disc; no sweep nothing.
  EXPECT_TRUE(Region::pie(0, 0, 10, 450, 10).contains_point(5, 0.2));
  EXPECT_FALSE(Region::pie(0, 0, 10, 450, 10).contains_point(5, -0.2));
  EXPECT_TRUE(Region::pie(0, 0, 10, 33, 360).contains_point(-2, 4));
  EXPECT_TRUE(Region::pie(0, 0, 10, 33, 0).empty());
}

// Whatever the shapes, the spans and the point test agree pixel for pixel.
TEST(Region, RasterisingAgreesWithThePointTestOnRandomShapes) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> pos(-6, 46), ang(-400, 400), rad(0, 30);
  for (int round = 0; round < 300; ++round) {
    Region r;
    const int shapes = 1 + static_cast<int>(rng() % 3);
    for (int s = 0; s < shapes; ++s) {
      switch (rng() % 4) {
        case 0:
          r.unite(Region::rectangle(static_cast<int>(pos(rng)), static_cast<int>(pos(rng)), static_cast<int>(pos(rng)),
                                    static_cast<int>(pos(rng))));
          break;
        case 1: {
          const double x = pos(rng), y = pos(rng);
          r.unite(Region::ellipse_box(x, y, x + rad(rng), y + rad(rng)));
          break;
        }
        case 2: {
          std::vector<Region::PointF> pts;
          const int n = 3 + static_cast<int>(rng() % 6);
          for (int i = 0; i < n; ++i) pts.push_back({pos(rng), pos(rng)});
          r.unite(Region::polygon(pts));
          break;
        }
        default:
          // Centres on pixel corners and centres too, where rays run along
          // rows and columns.
          r.unite(Region::pie(std::round(pos(rng) * 2) / 2, std::round(pos(rng) * 2) / 2, rad(rng),
                              std::round(ang(rng) / 45) * 45 + (rng() % 2 ? 0 : ang(rng) / 7), ang(rng)));
      }
    }
    ASSERT_EQ(picture(r, 40, 40), by_points(r, 40, 40)) << "round " << round;
    const Rect b = r.bounds();
    for (int y = -2; y < 42; ++y) {
      for (int x = -2; x < 42; ++x) {
        if (r.contains(x, y)) {
          ASSERT_TRUE(b.contains({x, y})) << "round " << round;
        }
      }
    }
  }
}

// Pies sharing a centre (as the sector transitions draw them), rasterised
// with the centre's angle table, against the point test. Starts on the
// axes and diagonals put rays through pixel centres; the table covers only
// part of the mask, and one pie has another centre, so both ways of finding
// an angle meet in one region.
TEST(Region, PiesReadingAnAngleTableGiveThePointTestsPixels) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> ang(-400, 400);
  for (int round = 0; round < 200; ++round) {
    const int w = 20 + static_cast<int>(rng() % 30), h = 10 + static_cast<int>(rng() % 30);
    const double cx = w / 2.0, cy = h / 2.0;
    const PieAngles angles(cx, cy, w - static_cast<int>(rng() % 3), h);
    Region r;
    const int shapes = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < shapes; ++i) {
      const double start = rng() % 2 ? std::round(ang(rng) / 45) * 45 : ang(rng);
      const double sweep = rng() % 5 == 0 ? (rng() % 2 ? 360.0 : -360.0) : ang(rng) / 2;
      const bool elsewhere = rng() % 6 == 0;
      r.unite(Region::pie(elsewhere ? cx + 1.5 : cx, cy, std::hypot(w, h) * (rng() % 3 ? 1.0 : 0.4), start, sweep));
    }
    TDIBX mask;
    mask.SetSize(w, h, 8);
    r.rasterise(mask, 255, angles);
    std::string got;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) got += mask.GetPixel(x, y) ? '#' : '.';
      got += '\n';
    }
    ASSERT_EQ(got, by_points(r, w, h)) << "round " << round;
  }
}

// Pies whose rays pass through a pixel centre far from the centre, or a
// hair beside one (less than a millionth of a degree, on either side), of
// every sweep up to a turn both ways: the rows decide most pixels from the
// sides of the rays and must give what the point test's angles give.
TEST(Region, RaysThroughAndBesidePixelCentresGiveThePointTestsPixels) {
  std::mt19937 rng(11);
  const int w = 161, h = 120;
  for (int round = 0; round < 160; ++round) {
    const double cx = round % 2 ? w / 2.0 : 80.0, cy = round % 3 ? h / 2.0 : 60.25;
    auto angle_of = [&](int x, int y) {
      double a = std::atan2((x + 0.5) - cx, -((y + 0.5) - cy)) * (180.0 / 3.14159265358979323846);
      return a < 0 ? a + 360.0 : a;
    };
    const double nudge[] = {0.0, 1e-7, -1e-7, 1e-10, -1e-12, 3e-9};
    auto through = [&] {
      return angle_of(static_cast<int>(rng() % w), static_cast<int>(rng() % h)) + nudge[rng() % std::size(nudge)];
    };
    const double start = through();
    // The sweep ends on a pixel centre too, or is a half turn, or beyond.
    double sweep = through() - start;
    if (round % 5 == 0) sweep = 180.0;
    if (round % 7 == 0) sweep = sweep > 0 ? sweep - 360.0 : sweep + 360.0;
    if (round % 2) sweep = -sweep;
    Region r = Region::pie(cx, cy, 400, start, sweep);
    if (round % 4 == 0) r.unite(Region::pie(cx, cy, 400, start + 180.0, -sweep / 3));
    ASSERT_EQ(picture(r, w, h), by_points(r, w, h)) << "round " << round << " start " << start << " sweep " << sweep;
  }
}

TEST(Region, RasterisingTouchesOnlyEightBitMasksAndOnlyThePixelsInside) {
  TDIBX mask;
  mask.SetSize(6, 3, 8);
  mask.Fill(7);
  Region::rectangle(-5, 1, 100, 1).rasterise(mask, 200);
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(mask.GetPixel(x, 0), 7u);
    EXPECT_EQ(mask.GetPixel(x, 1), 200u);
  }
  TDIBX wide;
  wide.SetSize(4, 4, 32);
  Region::rectangle(0, 0, 3, 3).rasterise(wide, 255);
  EXPECT_EQ(wide.GetPixel(1, 1), 0u);
}

}  // namespace
}  // namespace nova::graphics
