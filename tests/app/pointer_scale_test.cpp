// Pointer positions between panel and base at the display scales the
// player offers, rounding down on both sides of the origin, and a written position
// read back unchanged.
#include "app/pointer_scale.h"

#include <gtest/gtest.h>

namespace nova::test {
namespace {

using app::base_to_panel;
using app::panel_to_base;
using platform::Point;

TEST(PointerScale, PanelAndBasePositionsAtScales100_150_200) {
  EXPECT_EQ(panel_to_base({639, 479}, 100), (Point{639, 479}));
  EXPECT_EQ(panel_to_base({149, 150}, 150), (Point{99, 100})) << "14900 / 150 = 99.33 rounds down";
  EXPECT_EQ(panel_to_base({1279, 1}, 200), (Point{639, 0}));
  EXPECT_EQ(panel_to_base({-1, -3}, 150), (Point{-1, -2})) << "left of the panel stays left of the base";
  EXPECT_EQ(base_to_panel({100, 99}, 150), (Point{150, 149})) << "the first panel pixel of base pixel 99";
  EXPECT_EQ(base_to_panel({639, -1}, 200), (Point{1278, -2}));
  // A write read back lands on the same base pixel at every scale.
  for (int scale : {100, 150, 200}) {
    for (int x : {0, 1, 2, 99, 333, 639}) {
      EXPECT_EQ(panel_to_base(base_to_panel({x, x}, scale), scale), (Point{x, x})) << scale << " " << x;
    }
  }
  EXPECT_EQ(panel_to_base({50, 50}, 0), (Point{50, 50})) << "a scale below 1 counts as 100";
  EXPECT_EQ(panel_to_base({INT32_MAX, INT32_MIN}, 1).x, INT32_MAX);
}

}  // namespace
}  // namespace nova::test
