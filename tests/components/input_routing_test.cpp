// The bases' input: hit tests by mode set, the mouse dispatch with capture,
// hover by handle, the right-click list, the player's key repeat, the focus
// upkeep, the update pass and the screen size.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "component_fixture.h"
#include "core/error.h"

namespace nova::test {
namespace {

// A control whose Update runs what the test gives it.
class TScripted final : public TNovaControl {
 public:
  std::function<bool()> on_update;
  int updates = 0;
  bool Update() override {
    ++updates;
    return on_update ? on_update() : false;
  }
};

// A control that closes on a right click, as menus do.
class TMenu final : public TNovaControl {
 public:
  int closed = 0;
  bool scrap = false;
  bool RightClickClose() override { return ++closed > 0; }
  bool Scrap() const { return scrap; }
  void SetScrap(bool v) { scrap = v; }
  const PropertyTable& Properties() const override {
    static const PropertyTable table = [] {
      PropertyTable t = TNovaControl::ClassProperties();
      t.flag<&TMenu::Scrap, &TMenu::SetScrap>(PR_RCLICKSCRAP);
      return t;
    }();
    return table;
  }
};

class Input : public ComponentTest {
 protected:
  Input() { list.SetScreenSize(640, 480); }

  // `r` holds x, y, width and height.
  TTestWave& box(std::string_view name, Rect r, TNovaControl* parent = nullptr) {
    TTestWave& w = wave(name, parent ? parent : &list.front_base());
    w.SetBounds(r.left, r.top, r.right, r.bottom);  // x, y, width, height
    for (int e :
         {PR_ONLBTNDOWN, PR_ONLBTNUP, PR_ONRBTNDOWN, PR_ONRBTNUP, PR_ONMOUSEMOVE, PR_ONMOUSEIN, PR_ONMOUSEOUT,
          PR_ONWHEELDOWN, PR_ONWHEELUP, PR_ONKEYDOWN, PR_ONKEYUP, PR_ONKEYREPEAT, PR_ONFOCUSIN, PR_ONFOCUSOUT}) {
      w.SetEventTarget(e, "h");
    }
    return w;
  }
  // The queued events as "name EVENT args", emptied.
  std::vector<std::string> take() {
    std::vector<std::string> out;
    for (const auto& e : list.events().entries()) {
      std::string s = list.name_of(e.sender).value_or("?") + " " + std::to_string(e.event_id);
      for (const auto& a : e.arguments) s += " " + a;
      out.push_back(s);
    }
    list.events().clear();
    return out;
  }
  static std::string ev(std::string_view name, int id, std::string_view args = {}) {
    std::string s = std::string(name) + " " + std::to_string(id);
    if (!args.empty()) s += " " + std::string(args);
    return s;
  }
  TNovaBase& front() { return list.front_base(); }
  void frame(int ms = 15) {
    list.FrameBegin(ms);
    list.UpdateAll();
  }
  void press_left(int x, int y) {
    front().SetPointer(x, y);
    front().left_pressed = front().left_held = true;
  }
};

TEST_F(Input, HitTestsFollowTheModeSetsAndTheParentsRectangle) {
  TTestWave& glass = box("glass", {0, 0, 300, 300});
  glass.SetIgnoreMouse(IM_ALL);
  TTestWave& inner = box("inner", {10, 10, 50, 50}, &glass);
  TTestWave& lonly = box("lonly", {100, 100, 50, 50});
  lonly.SetIgnoreMouse(IM_LCLICK);
  TTestWave& stray = box("stray", {400, 0, 50, 50}, &inner);  // outside its parent

  auto hit = [&](Point p, std::uint32_t modes) {
    TNovaObject* o = front().HitTest(p, modes);
    return o ? o->Name() : std::string("-");
  };
  EXPECT_EQ(hit({20, 20}, kLeftPressModes), "inner") << "IM_ALL is transparent, its children are not";
  EXPECT_EQ(hit({200, 200}, kHoverModes), front().Name()) << "the bare base answers itself";
  EXPECT_EQ(hit({120, 120}, kHoverModes), "lonly");
  EXPECT_EQ(hit({120, 120}, kRightPressModes), "lonly");
  EXPECT_EQ(hit({120, 120}, kLeftPressModes), front().Name()) << "IM_LCLICK lets the left press through";
  EXPECT_EQ(hit({410, 10}, kHoverModes), front().Name()) << "a child outside its parent is not hit";
  stray.SetLeft(20);
  inner.SetVisible(false);
  EXPECT_EQ(hit({20, 20}, kHoverModes), front().Name()) << "a hidden control hides its children";
}

// A control that moves itself when pressed, before its press event.
class TJumper final : public TNovaControl {
 public:
  void LButtonDown() override {
    SetLeft(Left() + 7);
    TNovaControl::LButtonDown();
  }
};

TEST_F(Input, DeepChainsAnswerTheDeepestWithPositionsFromTheWalkThatMovesForgets) {
  // 40 levels, each one pixel in and scrolled by its parent's scroll-less
  // offsets; a glass layer of childless IM_ALL controls over all of it.
  TNovaControl* parent = &front();
  std::vector<TTestWave*> chain;
  for (int i = 0; i < 40; ++i) {
    TTestWave& w = box("c" + std::to_string(i), {1, 2, 600, 400}, parent);
    w.SetCenterX(i % 3);
    chain.push_back(&w);
    parent = &w;
  }
  TJumper& jumper = list.make<TJumper>();
  jumper.SetName("jumper");
  jumper.SetParent(parent);
  jumper.SetBounds(0, 0, 300, 200);
  jumper.SetEventTarget(PR_ONLBTNDOWN, "h");
  for (int i = 0; i < 5; ++i) box("glass" + std::to_string(i), {0, 0, 640, 480}).SetIgnoreMouse(IM_ALL);

  const std::int32_t left = jumper.ScreenLeft(), top = jumper.ScreenTop();
  front().SetPointer(left + 50, top + 60);
  frame();
  take();
  front().left_pressed = front().left_held = true;
  frame();
  EXPECT_EQ(take(), (std::vector<std::string>{ev("jumper", PR_ONLBTNDOWN, "43 60")}))
      << "the press event sees the position after the move, not the one the walk found";
  EXPECT_EQ(jumper.ScreenLeft(), left + 7);
  EXPECT_EQ(jumper.GetBase(), &front());
  jumper.SetIgnoreMouse(IM_ALL);
  EXPECT_EQ(front().HitTest({left + 50, top + 60}, kLeftPressModes), chain.back())
      << "without a child, an IM_ALL control passes the point to its parent";
}

// A control that scrolls its children and flips itself: its geometry goes
// through the property table, not through the control's own fields.
class TScroller final : public TNovaControl {
 public:
  std::int32_t scroll_x = 0, scroll_y = 0;
  bool flip_h = false;
  std::int32_t ScrollX() const { return scroll_x; }
  std::int32_t ScrollY() const { return scroll_y; }
  bool FlipH() const { return flip_h; }
  const PropertyTable& Properties() const override {
    static const PropertyTable table = [] {
      PropertyTable t = TNovaControl::ClassProperties();
      t.integer<&TScroller::ScrollX>(PR_SCROLLX);
      t.integer<&TScroller::ScrollY>(PR_SCROLLY);
      t.flag<&TScroller::FlipH>(PR_FLIPH);
      return t;
    }();
    return table;
  }
};

TEST_F(Input, WalksOverPlainAndScrollingControlsAnswerWhatTheScreenRectanglesSay) {
  EXPECT_TRUE(TNovaControl::ClassProperties().plain_geometry());
  EXPECT_FALSE(list.make<TScroller>().Properties().plain_geometry()) << "registering a scroll clears it";

  // Random trees of plain controls and scrollers, some zoomed in position
  // and some hidden, under random points. The walk hands positions down and
  // reads plain controls' fields directly; the answer must be the deepest
  // topmost control whose screen rectangle, and each ancestor's, holds the
  // point, with every rectangle worked out on its own, outside any walk.
  std::uint32_t seed = 12345;
  const auto rnd = [&](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(n));
  };
  for (int round = 0; round < 30; ++round) {
    list.Reset();
    std::vector<TNovaControl*> all;
    for (int i = 0; i < 40; ++i) {
      TNovaControl* parent = all.empty() || rnd(4) == 0 ? &front() : all[static_cast<std::size_t>(rnd(int(all.size())))];
      TNovaControl* c;
      if (rnd(3) == 0) {
        auto& s = list.make<TScroller>();
        s.scroll_x = rnd(30) - 10;
        s.scroll_y = rnd(30) - 10;
        s.flip_h = rnd(2) == 0;
        c = &s;
      } else {
        c = &list.make<TNovaControl>();
      }
      c->SetName("k" + std::to_string(i));
      c->SetParent(parent);
      c->SetBounds(rnd(200) - 20, rnd(200) - 20, rnd(300) + 1, rnd(300) + 1);
      c->SetCenterX(rnd(20));
      c->SetCenterY(rnd(20));
      c->SetPlusX(rnd(9) - 4);
      c->SetPlusY(rnd(9) - 4);
      if (rnd(8) == 0) c->SetPosZoomed(true);
      if (rnd(10) == 0) c->SetVisible(false);
      // Some let one button or every input through.
      if (rnd(4) == 0) c->SetIgnoreMouse(static_cast<std::uint8_t>(rnd(5)));
      all.push_back(c);
    }
    // A priority change leaves the children to be sorted again by the walk.
    if (round % 3 == 0) all[static_cast<std::size_t>(rnd(40))]->SetPriority(rnd(5) - 2);
    const auto expected = [&](Point p, std::uint32_t modes) -> const TNovaObject* {
      // Depth first from the top, children before their parent.
      const std::function<const TNovaObject*(const TNovaControl&)> walk = [&](const TNovaControl& c) -> const TNovaObject* {
        if (!c.VisibleField() || !c.GetScreenRect().contains(p)) return nullptr;
        const auto children = c.Children();
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
          if (const TNovaObject* hit = walk(**it)) return hit;
        }
        return (modes & (1u << c.IgnoreMouse())) ? &c : nullptr;
      };
      return walk(front());
    };
    for (int k = 0; k < 200; ++k) {
      const Point p{rnd(500) - 50, rnd(500) - 50};
      const std::uint32_t modes = std::array{kHoverModes, kLeftPressModes, kRightPressModes}[rnd(3)];
      const TNovaObject* want = expected(p, modes);
      ASSERT_EQ(front().HitTest(p, modes), want)
          << "round " << round << " at " << p.x << "," << p.y << ": want " << (want ? want->Name() : "-");
      ASSERT_EQ(front().RecursiveHitTest(p, modes), want) << "the recursive walk, round " << round;
    }
  }

  // A chain far deeper than the trees above, through every kind of level,
  // answers what the recursive walk answers, and a press through the list
  // reaches the deepest control with its position inside it.
  list.Reset();
  TNovaControl* parent = &front();
  std::vector<TNovaControl*> chain;
  for (int i = 0; i < 600; ++i) {
    TNovaControl* c;
    if (i % 7 == 3) {
      auto& s = list.make<TScroller>();
      s.scroll_x = i % 5 - 2;
      c = &s;
    } else {
      c = &list.make<TNovaControl>();
    }
    c->SetParent(parent);
    c->SetBounds(i % 97 == 0 ? 1 : 0, i % 89 == 0 ? 1 : 0, 600 - i / 4, 400 - i / 4);
    if (i % 11 == 0) c->SetIgnoreMouse(IM_ALL);
    chain.push_back(c);
    parent = c;
  }
  for (int k = 0; k < 300; ++k) {
    const Point p{rnd(640) - 10, rnd(440) - 10};
    const std::uint32_t modes = k % 2 ? kHoverModes : kLeftPressModes;
    const TNovaObject* want = front().RecursiveHitTest(p, modes);
    ASSERT_EQ(front().HitTest(p, modes), want) << p.x << "," << p.y;
  }
  TNovaControl& deepest = *chain.back();
  ASSERT_EQ(front().HitTest({deepest.ScreenLeft() + 3, deepest.ScreenTop() + 4}, kLeftPressModes), &deepest);
  deepest.SetName("deepest");
  deepest.SetEventTarget(PR_ONLBTNDOWN, "h");
  press_left(deepest.ScreenLeft() + 3, deepest.ScreenTop() + 4);
  frame();
  EXPECT_EQ(take(), (std::vector<std::string>{ev("deepest", PR_ONLBTNDOWN, "3 4")}));
}

TEST_F(Input, APressWithoutHandlerCapturesAndTheReleaseComesBackAfterMovingAway) {
  TTestWave& b = box("b", {100, 100, 40, 40});
  b.SetEventTarget(PR_ONLBTNDOWN, "");
  box("other", {300, 300, 40, 40});
  press_left(110, 120);
  frame();
  EXPECT_EQ(take(), (std::vector<std::string>{ev("b", PR_ONMOUSEIN), ev("b", PR_ONMOUSEMOVE, "10 20")}));
  EXPECT_FALSE(front().left_pressed_now) << "the component took the press";
  // Drag over another component: the captured one gets the moves.
  front().SetPointer(310, 305);
  frame();
  EXPECT_EQ(take(), (std::vector<std::string>{ev("b", PR_ONMOUSEMOVE, "210 205")}));
  front().left_held = false;
  frame();
  const auto events = take();
  ASSERT_GE(events.size(), 1u);
  EXPECT_EQ(events[0], ev("b", PR_ONLBTNUP, "210 205"));
  frame();
  EXPECT_EQ(take(), (std::vector<std::string>{ev("b", PR_ONMOUSEOUT), ev("other", PR_ONMOUSEIN),
                                              ev("other", PR_ONMOUSEMOVE, "10 5")}));
  // On the bare base the press stays for the script's @LClick.
  press_left(600, 400);
  list.FrameBegin(15);
  EXPECT_TRUE(front().left_pressed_now);
}

TEST_F(Input, HoverIsHeldByHandleAndWheelAndRightClickListRoute) {
  TTestWave& a = box("a", {0, 0, 100, 100});
  front().SetPointer(50, 50);
  frame();
  take();
  const std::uint32_t a_slot = a.id().slot();
  list.destroy(a);
  TTestWave& b = box("b", {0, 0, 100, 100});
  EXPECT_EQ(b.id().slot(), a_slot) << "the test needs the slot reused";
  front().wheel_down = true;
  frame();
  EXPECT_EQ(take(), (std::vector<std::string>{ev("b", PR_ONWHEELDOWN), ev("b", PR_ONMOUSEIN),
                                              ev("b", PR_ONMOUSEMOVE, "50 50")}))
      << "no MouseOut for the destroyed one, and the new one is not taken for it";

  // A right-click-list control consumes the right press before the hit test.
  TMenu& m = list.make<TMenu>();
  m.SetParent(&front());
  list.AddRightClickControl(m);
  front().right_pressed = true;
  frame();
  EXPECT_EQ(m.closed, 0) << "without PR_RCLICKSCRAP the control is passed over";
  EXPECT_EQ(take(), (std::vector<std::string>{ev("b", PR_ONRBTNDOWN, "50 50")}));
  frame();  // the captured right press is released
  EXPECT_EQ(take(), (std::vector<std::string>{ev("b", PR_ONRBTNUP, "50 50")}));
  write_flag(m, PR_RCLICKSCRAP, true);
  front().right_pressed = true;
  list.FrameBegin(15);
  EXPECT_EQ(m.closed, 1);
  EXPECT_TRUE(take().empty()) << "the consumed right press reaches nobody";
  list.destroy(m);
  front().right_pressed = true;
  list.FrameBegin(15);  // the list forgot the destroyed control
  EXPECT_EQ(take(), (std::vector<std::string>{ev("b", PR_ONRBTNDOWN, "50 50")}));
}

TEST_F(Input, AKeyHeldOneSecondRepeatsAfter300MsThenEvery50) {
  TTestWave& k = box("k", {0, 0, 10, 10});
  k.SetHandleKey(true);
  frame();
  take();
  ASSERT_EQ(list.focus(), &k);
  list.SetKeyState(65, true);
  list.SetKeyState(65, true);  // a second down is no news
  std::vector<int> repeats;    // frame times of the repeat events
  int downs = 0;
  for (int t = 0; t <= 1000; t += 15) {
    list.FrameBegin(15);
    for (const auto& e : list.events().entries()) {
      if (e.event_id == PR_ONKEYDOWN) ++downs;
      if (e.event_id == PR_ONKEYREPEAT) repeats.push_back(t);
    }
    list.events().clear();
  }
  EXPECT_EQ(downs, 1);
  ASSERT_GE(repeats.size(), 3u);
  EXPECT_EQ(repeats[0], 0) << "the press raises a repeat at once";
  EXPECT_GE(repeats[1], 285);
  EXPECT_LE(repeats[1], 315);
  for (std::size_t i = 2; i < repeats.size(); ++i) {
    EXPECT_NEAR(repeats[i] - repeats[i - 1], 50, 15);
  }
  EXPECT_NEAR(static_cast<double>(repeats.size()), 1 + 1 + (1000 - 300) / 50.0, 2);
  EXPECT_TRUE(list.KeyHeld(65));
  list.SetKeyState(65, false);
  list.FrameBegin(15);
  EXPECT_EQ(take().back(), ev("k", PR_ONKEYUP, "65"));
  list.FrameBegin(15);
  EXPECT_TRUE(take().empty()) << "a released key repeats no more";
  EXPECT_FALSE(list.KeyHeld(65));
  EXPECT_FALSE(list.KeyHeld(-1));
  EXPECT_FALSE(list.KeyHeld(256));
}

TEST_F(Input, HidingTheFocusTakesItAtOnceAndTheNextFrameFindsTheTopmost) {
  // Equal priorities: the name orders them, "top" above "low".
  TTestWave& low = box("low", {0, 0, 10, 10});
  TTestWave& top_ = box("top", {0, 0, 10, 10});
  low.SetHandleKey(true);
  top_.SetHandleKey(true);
  frame();
  EXPECT_EQ(list.focus(), &top_);
  EXPECT_EQ(take().front(), ev("top", PR_ONFOCUSIN));
  top_.SetVisible(false);
  EXPECT_EQ(list.focus(), nullptr);
  EXPECT_EQ(take(), (std::vector<std::string>{ev("top", PR_ONFOCUSOUT)}));
  list.FrameBegin(15);
  EXPECT_EQ(list.focus(), &low);
  EXPECT_EQ(take().front(), ev("low", PR_ONFOCUSIN));
  // A click gives the focus to a control that handles keys.
  top_.SetVisible(true);
  press_left(5, 5);
  list.FrameBegin(15);
  EXPECT_EQ(list.focus(), &top_);
  // A focus destroyed is found again at the next frame.
  list.destroy(top_);
  list.FrameBegin(15);
  EXPECT_EQ(list.focus(), &low);
}

TEST_F(Input, TheUpdatePassSkipsNobody) {
  // A finished component is gone; the next one is still updated.
  TScripted& done = list.make<TScripted>();
  done.on_update = [] { return true; };
  TScripted& next = list.make<TScripted>();
  frame();
  EXPECT_EQ(list.ItemCount(), 1);
  EXPECT_EQ(next.updates, 1);

  // Destroying components below the cursor, then compacting, in the middle
  // of the pass: the cursor moves back with them.
  TNovaControl& parent = wave("parent");
  TNovaControl& child1 = wave("c1", &parent);
  TNovaControl& child2 = wave("c2", &parent);
  (void)child1;
  (void)child2;
  TScripted& killer = list.make<TScripted>();
  TScripted& after = list.make<TScripted>();
  killer.on_update = [&] {
    list.destroy(parent);
    (void)list.ItemCount();
    return false;
  };
  next.updates = after.updates = 0;
  list.UpdateAll();
  EXPECT_EQ(killer.updates, 1);
  EXPECT_EQ(after.updates, 1);
  EXPECT_EQ(next.updates, 1);
}

TEST_F(Input, ScreenSizesAreBoundedAndResetKeepsSizeAndPointer) {
  EXPECT_THROW(list.SetScreenSize(0, 10), core::Error);
  EXPECT_THROW(list.SetScreenSize(16385, 10), core::Error);
  EXPECT_THROW(list.SetScreenSize(16384, 16385), core::Error);
  // The largest screen, exactly 2^28 pixels, is accepted (the check alone:
  // making its surfaces would take gigabytes).
  EXPECT_TRUE(TNovaBaseList::ValidScreenSize(16384, 16384));
  EXPECT_FALSE(TNovaBaseList::ValidScreenSize(16384, 16385));
  list.SetScreenSize(800, 600);
  EXPECT_EQ(front().Width(), 800);
  EXPECT_EQ(list.back_base().Height(), 600);
  box("gone", {0, 0, 10, 10});
  front().SetPointer(33, 44);
  const ComponentId old_base = front().id();
  list.Reset();
  EXPECT_EQ(list.ItemCount(), 0);
  EXPECT_EQ(list.resolve(old_base), nullptr);
  EXPECT_EQ(front().Width(), 800);
  EXPECT_EQ(front().pointer().x, 33);
  EXPECT_EQ(front().pointer().y, 44);
  EXPECT_EQ(front().dirty().rects(), (std::vector<Rect>{{0, 0, 800, 600}}));
}

}  // namespace
}  // namespace nova::test
