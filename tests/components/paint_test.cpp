// Painting a base: only its dirty rectangles, its colour, children clipped
// to their parents and clip rectangles, hidden and unnamed children left
// out, the dotted focus frame.
#include <gtest/gtest.h>

#include <string>

#include "component_fixture.h"
#include "graphics/memory_dibx.h"

namespace nova::test {
namespace {

class Paint : public ComponentTest {
 protected:
  Paint() {
    list.SetScreenSize(64, 48);
    screen.SetSize(64, 48, 32);
    list.front_base().SetColor(0x000000);
  }
  TFill& fill(std::int32_t colour, Rect r, TNovaControl* parent = nullptr) {
    TFill& f = list.make<TFill>();
    f.colour = colour;
    f.SetParent(parent ? parent : &list.front_base());
    f.SetBounds(r.left, r.top, r.right, r.bottom);  // x, y, width, height
    return f;
  }
  // One letter per pixel of a row: '.' black, 'W' white, 'R' red, 'B' blue,
  // '?' anything else.
  std::string row(int y, int from = 0, int to = 64) const {
    std::string s;
    for (int x = from; x < to; ++x) {
      const std::uint32_t p = screen.GetPixel(x, y);
      s += p == px(0) ? '.' : p == px(0xFFFFFF) ? 'W' : p == px(0x0000FF) ? 'R' : p == px(0xFF0000) ? 'B' : '?';
    }
    return s;
  }
  std::uint32_t px(std::int32_t c) const { return static_cast<std::uint32_t>(screen.ColorToPixel(c)); }
  void compose() {
    list.SetDisplaySurface(&screen);
    list.Compose();
    list.ClearDirtyRects();
  }

  graphics::TDIBX screen;
};

TEST_F(Paint, ChildrenAreClippedAndLeftOutAsTheyShouldBe) {
  screen.Fill(px(0xFFFFFF));
  TFill& parent = fill(0x0000FF, {0, 0, 8, 4});
  fill(0xFF0000, {6, 1, 10, 2}, &parent);  // sticks out of its parent
  TFill& hidden = fill(0xFF0000, {0, 0, 2, 1}, &parent);
  hidden.SetVisible(false);
  TFill& unnamed = fill(0xFF0000, {2, 0, 2, 1}, &parent);
  unnamed.SetName("");
  TFill& clipped = fill(0xFF0000, {20, 0, 8, 4});
  clipped.SetClipLeft(2);
  clipped.SetClipTop(1);
  clipped.SetClipWidth(3);
  clipped.SetClipHeight(2);
  compose();
  EXPECT_EQ(row(0, 0, 30), "RRRRRRRR......................")
      << "the hidden and unnamed children are not drawn; their places show the parent";
  EXPECT_EQ(row(1, 0, 30), "RRRRRRBB..............BBB.....")
      << "a child is cut at its parent's edge, a clipped control at its clip rectangle";
  EXPECT_EQ(row(4, 0, 30), "..............................");
  EXPECT_EQ(row(47, 0, 4), "....");
}

TEST_F(Paint, OnlyTheDirtyRectanglesAreRepainted) {
  compose();
  screen.Fill(px(0xFFFFFF));  // what a repaint would overwrite
  TFill& f = fill(0x0000FF, {0, 0, 2, 2});
  f.SetLeft(20);
  compose();
  // The component's old and new places, 18 pixels apart, merged into one
  // rectangle, 0 ... 22.
  EXPECT_EQ(row(0), std::string(20, '.') + "RR" + std::string(42, 'W'));
  EXPECT_EQ(row(2), std::string(64, 'W'));
  // A base with a negative colour leaves what lies under its children.
  list.front_base().SetColor(-1);
  f.SetLeft(40);
  screen.Fill(px(0xFFFFFF));
  compose();
  EXPECT_EQ(row(0, 28, 44), "WWWWWWWWWWWWRRWW");
}

TEST_F(Paint, TheFocusFrameIsDotted) {
  TFill& f = fill(0x0000FF, {2, 2, 5, 4});
  f.SetFocusFrame(true);
  compose();
  EXPECT_EQ(row(1, 0, 9), ".........");
  EXPECT_EQ(row(2, 0, 9), "..W.W.W..");
  EXPECT_EQ(row(3, 0, 9), "...RRR...");
  EXPECT_EQ(row(4, 0, 9), "..WRRRW..");
  EXPECT_EQ(row(5, 0, 9), "...W.W...");
}

}  // namespace
}  // namespace nova::test
