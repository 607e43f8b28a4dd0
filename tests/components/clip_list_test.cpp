// Dirty rectangles: the merge distance is strict, a contained rectangle
// adds nothing, a merge can cascade, and what lies off the base is cut.
#include "components/clip_list.h"

#include <gtest/gtest.h>

namespace nova::test {
namespace {

using components::TClipList;
using Rect = platform::Rect;

const Rect kScreen{0, 0, 640, 480};

TEST(ClipList, RectanglesMergeUpToTwentyPixelsApartAndNoFurther) {
  for (const auto& [gap, merged] :
       std::initializer_list<std::pair<int, bool>>{{15, true}, {20, true}, {21, false}, {25, false}}) {
    for (const bool vertical : {false, true}) {
      TClipList l;
      const Rect a = Rect::from_size(10, 10, 30, 30);
      const Rect b = vertical ? a.translated(0, 30 + gap) : a.translated(30 + gap, 0);
      l.Add(a, kScreen);
      l.Add(b, kScreen);
      SCOPED_TRACE(testing::Message() << "gap " << gap << (vertical ? " vertical" : " horizontal"));
      if (merged) {
        ASSERT_EQ(l.size(), 1u);
        EXPECT_EQ(l.rects()[0], a.united(b));
      } else {
        EXPECT_EQ(l.rects(), (std::vector<Rect>{a, b}));
      }
    }
  }
}

TEST(ClipList, ContainedAddsNothingMergesCascadeAndTheBaseCuts) {
  TClipList l;
  l.Add(Rect::from_size(100, 100, 50, 50), kScreen);
  EXPECT_TRUE(l.changed());
  l.clear_changed();
  l.Add(Rect::from_size(110, 110, 10, 10), kScreen);
  EXPECT_EQ(l.size(), 1u);
  EXPECT_FALSE(l.changed()) << "a rectangle inside another adds nothing";
  EXPECT_EQ(l.rects()[0], Rect::from_size(100, 100, 50, 50));

  // Two far apart, then one near the first whose union reaches the second.
  TClipList c;
  c.Add({0, 0, 10, 10}, kScreen);
  c.Add({200, 0, 210, 10}, kScreen);
  c.Add({25, 0, 185, 10}, kScreen);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c.rects()[0], (Rect{0, 0, 210, 10}));

  TClipList cut;
  cut.Add({-50, -50, 10, 20}, kScreen);
  cut.Add({630, 470, 2'000'000'000, 2'000'000'000}, kScreen);
  cut.Add({700, 0, 800, 10}, kScreen);
  cut.Add({5, 5, 5, 50}, kScreen);
  EXPECT_EQ(cut.rects(), (std::vector<Rect>{{0, 0, 10, 20}, {630, 470, 640, 480}}));
  // Edges at the ends of the int range do not wrap into nearness.
  EXPECT_FALSE(TClipList::Near({INT32_MAX - 5, 0, INT32_MAX, 5}, {INT32_MIN, 0, INT32_MIN + 5, 5}));
}

}  // namespace
}  // namespace nova::test
