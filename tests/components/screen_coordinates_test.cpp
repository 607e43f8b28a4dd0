// Screen coordinates of a control: center, zoom, mirroring, the parent's
// scroll, the plus offset, motions, zoomed positions (with the mapping onto
// a parent's picture), truncating divisions, and what is built on them.
#include <gtest/gtest.h>

#include "component_fixture.h"

namespace nova::test {
namespace {

class Fixed final : public ControlMotion {
 public:
  bool Step(TNovaControl&) override { return false; }
  bool Playing() const override { return true; }
};

class ScreenCoordinates : public ComponentTest {
 protected:
  ScreenCoordinates() {
    parent.SetParent(&list.front_base());
    parent.SetBounds(100, 50, 100, 50);
    parent.SetCenterX(10);
    parent.SetCenterY(20);
    parent.scroll_x = 5;
    parent.scroll_y = 7;
    child.SetParent(&parent);
    child.SetBounds(30, 40, 20, 10);
    child.SetCenterX(8);
    child.SetCenterY(6);
  }
  TTestPicture& parent = list.make<TTestPicture>();
  TTestPicture& child = list.make<TTestPicture>();
};

TEST_F(ScreenCoordinates, CenterZoomAndMirroringPlaceTheReferencePoint) {
  EXPECT_EQ(parent.ScreenLeft(), 90);
  EXPECT_EQ(parent.ScreenTop(), 30);
  // position + parent's screen position − parent's scroll − center
  EXPECT_EQ(child.ScreenLeft(), 30 + 90 - 5 - 8);
  EXPECT_EQ(child.ScreenTop(), 40 + 30 - 7 - 6);
  child.zoom_x = 512;
  child.zoom_y = 128;
  EXPECT_EQ(child.ScreenLeft(), 30 + 85 - 16);
  EXPECT_EQ(child.ScreenTop(), 40 + 23 - 3);
  child.flip_h = true;
  EXPECT_EQ(child.ScreenLeft(), 30 + 85 - (20 - 16 - 1)) << "mirrored: width − scaled center − 1";
  child.zoom_x = 256;
  EXPECT_EQ(child.ScreenLeft(), 30 + 85 - (20 - 8 - 1));
  child.flip_v = true;
  EXPECT_EQ(child.ScreenTop(), 40 + 23 - (10 - 3 - 1));
  child.flip_h = child.flip_v = false;
  child.zoom_y = 256;
  // Zoomed positions scale the position too; divisions truncate towards 0.
  child.SetPosZoomed(true);
  child.zoom_x = 100;
  child.SetCenterX(-7);
  child.SetLeft(-3);
  EXPECT_EQ(child.ScreenLeft(), (100 * -3 / 256) + 85 - (100 * -7 / 256));
  EXPECT_EQ(child.ScreenLeft(), -1 + 85 + 2);
  EXPECT_EQ(child.LocalLeft(), -1 + 2);
  child.SetPlusX(3);
  child.SetPlusY(-4);
  EXPECT_EQ(child.ScreenLeft(), -1 + 85 + 2 + 3);
  EXPECT_EQ(child.ScreenTop(), 40 + 23 - 6 - 4);
  EXPECT_EQ(child.LocalTop(), 40 - 6 - 4);
  // The draw origin is the reference point itself: no center.
  EXPECT_EQ(child.GetDrawOrigin(), (Point{-1 + 3 + 85, 40 - 4 + 23}));
}

TEST_F(ScreenCoordinates, AMotionPositionReplacesThePosition) {
  child.SetPosZoomed(true);
  child.zoom_x = 512;
  child.SetMotion(std::make_unique<Fixed>());
  child.SetMotionX(11);
  child.SetMotionY(12);
  EXPECT_EQ(child.ScreenLeft(), 11 + 85 - 16) << "the motion's position is not zoomed";
  EXPECT_EQ(child.ScreenTop(), 12 + 23 - 6);
  EXPECT_EQ(child.GetDrawOrigin(), (Point{11 + 85, 12 + 23}));
}

TEST_F(ScreenCoordinates, AZoomedPositionOnAParentsPictureMapsPicturePixelsToTheShownSize) {
  parent.image = Size{200, 100};  // shown at 100 × 50: half size
  child.image = Size{20, 10};
  child.SetPosZoomed(true);
  // r = 2 × 65536; (30 − 8) × 65536 ÷ r = 11
  EXPECT_EQ(child.ScreenLeft(), 11 + 90 - 5);
  EXPECT_EQ(child.ScreenTop(), 17 + 30 - 7);
  child.SetLeft(31);  // 23 / 2: the remainder 65536 rounds up
  EXPECT_EQ(child.ScreenLeft(), 12 + 90 - 5);
  child.SetLeft(30);
  child.SetPlusX(4);
  EXPECT_EQ(child.ScreenLeft(), 11 + 90 + 4 - 5);
  child.SetPlusX(0);
  child.flip_h = true;  // (200 + 8 − 30 − 20) ÷ 2
  EXPECT_EQ(child.ScreenLeft(), 79 + 90 - 5);
  child.flip_h = false;
  // Any condition missing: the ordinary rule.
  child.zoom_x = 512;
  EXPECT_EQ(child.ScreenLeft(), 512 * 30 / 256 + 85 - 16) << "zoom differs from the parent's";
  child.zoom_x = 256;
  child.image.reset();
  EXPECT_EQ(child.ScreenLeft(), 30 + 85 - 8) << "no picture of its own";
  child.image = Size{20, 10};
  parent.SetWidth(0);
  EXPECT_EQ(child.ScreenLeft(), 22 * 65536 + 85) << "a parent without width maps 1:1 in 16.16";
  parent.SetWidth(100);
  child.SetParent(&list.front_base());
  EXPECT_EQ(child.ScreenLeft(), 30 - 8) << "not on a base";
}

TEST_F(ScreenCoordinates, AZoomedPositionOnAParentsPictureSpansItsMappedEdges) {
  parent.image = Size{200, 100};  // shown at 100 × 50: half size
  child.image = Size{20, 10};
  EXPECT_EQ(child.ExtentOnParentPicture(true, 256), std::nullopt) << "position not zoomed";
  child.SetPosZoomed(true);
  // Edges 22 and 42 map to 11 and 21; 34 and 44 (vertical) to 17 and 22.
  EXPECT_EQ(child.ExtentOnParentPicture(true, 256), 10);
  EXPECT_EQ(child.ExtentOnParentPicture(false, 256), 5);
  child.SetLeft(31);  // 23 and 43: halves round up, 12 and 22
  EXPECT_EQ(child.ExtentOnParentPicture(true, 256), 10);
  child.image = Size{21, 10};  // 23 and 44: 12 and 22
  EXPECT_EQ(child.ExtentOnParentPicture(true, 256), 10);
  child.SetLeft(30);  // 22 and 43: 11 and 22
  EXPECT_EQ(child.ExtentOnParentPicture(true, 256), 11);
  child.flip_h = true;  // 200 + 8 − 30 − 21 = 157 and 178: 79 and 89
  EXPECT_EQ(child.ExtentOnParentPicture(true, 256), 10);
  EXPECT_EQ(child.ExtentOnParentPicture(true, 512), std::nullopt) << "zoom differs from the parent's";
  child.image.reset();
  EXPECT_EQ(child.ExtentOnParentPicture(true, 256), std::nullopt) << "no picture of its own";
}

TEST_F(ScreenCoordinates, RectanglesClipsAndConversionsUseTheScreenPosition) {
  const std::int32_t x = child.ScreenLeft(), y = child.ScreenTop();
  EXPECT_EQ(child.GetScreenRect(), Rect::from_size(x, y, 20, 10));
  EXPECT_EQ(child.ClipRect(), std::nullopt);
  child.SetClipLeft(2);
  child.SetClipTop(3);
  child.SetClipWidth(10);
  EXPECT_EQ(child.ClipRect(), std::nullopt) << "no clip while the height is below 1";
  child.SetClipHeight(5);
  EXPECT_EQ(child.ClipRect(), Rect::from_size(x + 2, y + 3, 10, 5));
  EXPECT_EQ(child.ClientToScreen({1, 2}), (Point{x + 1, y + 2}));
  EXPECT_EQ(child.ScreenToClient({x + 1, y + 2}), (Point{1, 2}));
  Rect r = Rect::from_size(x - 5, y - 5, 10, 10);
  EXPECT_TRUE(child.ClipToVisible(r));
  EXPECT_EQ(r, (Rect{x, y, x + 5, y + 5}));
  Rect far = Rect::from_size(x + 100, y, 5, 5);
  EXPECT_FALSE(child.ClipToVisible(far));
  // Extreme sizes stay inside the int range.
  child.SetWidth(INT32_MAX);
  EXPECT_EQ(child.GetScreenRect().right, INT32_MAX);
  // An object is at the origin and converts nothing.
  TTestTimer& t = timer();
  EXPECT_EQ(t.ScreenLeft(), 0);
  EXPECT_EQ(t.ClientToScreen({3, 4}), (Point{3, 4}));
}

TEST_F(ScreenCoordinates, ShowingNeedsTheFrontBaseAndEveryAncestorVisible) {
  EXPECT_TRUE(child.IsShowing());
  parent.SetVisible(false);
  EXPECT_FALSE(child.IsShowing());
  parent.SetVisible(true);
  list.set_front_index(1);
  EXPECT_FALSE(child.IsShowing()) << "on the back base";
  list.set_front_index(0);
  child.SetParent(nullptr);
  EXPECT_FALSE(child.IsShowing()) << "on no base";
  EXPECT_EQ(parent.GetBase(), &list.front_base());
  EXPECT_EQ(child.GetBase(), nullptr);
  EXPECT_TRUE(list.front_base().Contains(parent));
  EXPECT_FALSE(parent.Contains(list.front_base()));
}

}  // namespace
}  // namespace nova::test
