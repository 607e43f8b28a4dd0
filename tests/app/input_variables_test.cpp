// The input variables over a base list: clicks and their writes, the key
// arrays with the wheel at 256 and 257, the pointer written back through
// the display scale, @ActiveCompo's rules.
#include "app/input_variables.h"

#include <gtest/gtest.h>

#include "components/component_factory.h"
#include "core/binary_io.h"

namespace nova::test {
namespace {

using namespace components;
using app::InputVariables;
using platform::Point;

struct FakeWarp final : app::PointerWarp {
  Point at{7, 9};
  Point pointer_in_panel() const override { return at; }
  void warp(Point panel) override { at = panel; }
};

class InputVars : public ::testing::Test {
 protected:
  InputVars() { list.SetScreenSize(640, 480); }
  bool flag(int index, std::int32_t element = -1) {
    expr::TSysValue v;
    vars.read(index, element, v);
    return v.b;
  }
  expr::TSysValue value(int index) {
    expr::TSysValue v;
    vars.read(index, -1, v);
    return v;
  }
  void write_flag(int index, bool b) {
    expr::TSysValue v;
    v.b = b;
    vars.write(index, -1, v);
  }
  void write_int(int index, std::int32_t i) {
    expr::TSysValue v;
    v.i = i;
    vars.write(index, -1, v);
  }
  void write_str(int index, std::string s) {
    expr::TSysValue v;
    v.s = std::move(s);
    vars.write(index, -1, v);
  }

  TComponentFactory factory;
  TNovaBaseList list{{factory}};
  expr::TParamCollection store;
  FakeWarp warp;
  InputVariables vars{list, store, warp};
};

TEST_F(InputVars, ClicksKeysAndWheelReadTheFrontBaseOfThisFrame) {
  TNovaBase& front = list.front_base();
  front.left_pressed = front.left_held = true;
  front.wheel_up = true;
  list.SetKeyState(13, true);
  list.RecordKeyPress(13);
  EXPECT_FALSE(flag(1)) << "a press counts from the next frame start";
  list.FrameBegin(15);
  EXPECT_TRUE(flag(1)) << "the bare base leaves the press to the script";
  EXPECT_TRUE(flag(3));
  EXPECT_FALSE(flag(2));
  write_flag(1, false);
  EXPECT_FALSE(flag(1));
  EXPECT_TRUE(flag(35, 13));
  EXPECT_TRUE(flag(36, 13));
  EXPECT_TRUE(flag(42, 13));
  EXPECT_FALSE(flag(35, 14));
  EXPECT_TRUE(flag(48));
  EXPECT_TRUE(flag(35, 257)) << "element 257 is the wheel-up flag";
  EXPECT_FALSE(flag(36, 256));
  EXPECT_FALSE(flag(35, 258));
  EXPECT_FALSE(flag(35, -5));
  EXPECT_EQ(vars.count(35), 258);
  list.FrameBegin(15);
  EXPECT_FALSE(flag(36, 13)) << "a key click lasts one frame";
  EXPECT_TRUE(flag(35, 13));
  EXPECT_FALSE(flag(48));
}

TEST_F(InputVars, PointerWritesGoThroughTheScaleAndKeepTheOtherAxis) {
  list.front_base().SetPointer(120, 80);
  EXPECT_EQ(value(5).i, 120);
  EXPECT_EQ(value(6).i, 80);
  list.SetDisplayScale(150);
  write_int(5, 99);
  EXPECT_EQ(warp.at, (Point{149, 9}));
  write_int(6, 1);
  EXPECT_EQ(warp.at, (Point{149, 2}));
}

TEST_F(InputVars, ActiveCompoFocusesOnlyWhatMayTakeTheFocus) {
  TNovaControl& keys = list.make<TNovaControl>();
  keys.SetName("keys");
  keys.SetParent(&list.front_base());
  TNovaControl& deaf = list.make<TNovaControl>();
  deaf.SetName("deaf");
  keys.SetHandleKey(true);
  write_str(41, "deaf");
  EXPECT_EQ(list.focus(), nullptr) << "no PR_HANDLEKEY";
  write_str(41, "keys");
  EXPECT_EQ(list.focus(), &keys);
  EXPECT_EQ(value(41).s, "keys");
  write_str(41, "nobody");
  EXPECT_EQ(list.focus(), &keys);
  write_str(41, "");
  EXPECT_EQ(list.focus(), &keys) << "other names are ignored";
  write_flag(31, true);
  EXPECT_TRUE(flag(31));
  EXPECT_TRUE(list.ImageQuality());
}

TEST_F(InputVars, TheCursorTextIsTheStoresSavedWithTheGameAndClearedByAReset) {
  write_str(27, "arrow.cur");
  EXPECT_EQ(value(27).s, "arrow.cur");
  EXPECT_EQ(vars.cursor(), "arrow.cur");
  core::ByteWriter saved;
  store.save_game_variables(saved);
  write_str(27, "other.ani");
  core::ByteReader r(saved.data());
  store.load_game_variables(r, 140);
  EXPECT_EQ(value(27).s, "arrow.cur") << "a loaded game brings its cursor back";
  store.reset();
  EXPECT_EQ(value(27).s, "");
  EXPECT_EQ(vars.cursor(), "");
}

}  // namespace
}  // namespace nova::test
