// Composing both bases: which surface each base paints into, the bases'
// own surfaces across a display-mode change, transitions made through the
// list's factory, and the component system's patterns and finalisation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component_fixture.h"
#include "components/component_system.h"
#include "graphics/memory_dibx.h"
#include "graphics/wipe_transition.h"

namespace nova::test {
namespace {

// Fills its screen rectangle with one colour.
class TFlat final : public TNovaControl {
 public:
  std::int32_t colour = 0;
  int released = 0, recreated = 0;
  void Paint(graphics::TCustomDIBX& s) override {
    s.FillRect(GetScreenRect(), static_cast<std::uint32_t>(s.ColorToPixel(colour)));
  }
  void ReleaseSurfaces() override { ++released; }
  void RecreateSurfaces() override { ++recreated; }
};

// A transition that records how it was made and driven, and draws a solid
// colour into its target when it steps.
class FakeTransition final : public graphics::TTransition {
 public:
  FakeTransition(graphics::TCustomDIBX& target, std::int32_t duration) : m_target(target), m_duration(duration) {}
  void SetReverse(bool r) override { reverse = r; }
  std::int32_t GetParam(int) const override { return 0; }
  void SetParam(int, std::int32_t) override {}
  void SetMaskName(const std::string&) override {}
  void Start() override { started = true; }
  bool Started() const override { return started; }
  std::int32_t Duration() const override { return m_duration; }
  void SetElapsed(std::int32_t e) override { elapsed = e; }
  std::int32_t Elapsed() const override { return elapsed; }
  bool DrawStep() override {
    ++steps;
    m_target.Fill(static_cast<std::uint32_t>(m_target.ColorToPixel(0x00FF00)));
    return elapsed >= m_duration;
  }
  Rect Bounds() const override { return {0, 0, m_target.GetWidth(), m_target.GetHeight()}; }

  bool reverse = false, started = false;
  std::int32_t elapsed = -1;
  int steps = 0;

 private:
  graphics::TCustomDIBX& m_target;
  std::int32_t m_duration;
};

class FakeFactory final : public graphics::TTransitionFactory {
 public:
  std::unique_ptr<graphics::TTransition> Create(int type, graphics::TCustomDIBX& target,
                                                const graphics::TCustomDIBX& from, const graphics::TCustomDIBX& to,
                                                std::int32_t duration) override {
    if (type > 10) return nullptr;
    made_type = type;
    old_screen = &from;
    new_screen = &to;
    old_pixel = from.GetPixel(0, 0);
    auto t = std::make_unique<FakeTransition>(target, duration);
    last = t.get();
    return t;
  }
  int made_type = 0;
  const graphics::TCustomDIBX* old_screen = nullptr;
  const graphics::TCustomDIBX* new_screen = nullptr;
  std::uint32_t old_pixel = 0;
  FakeTransition* last = nullptr;
};

class CacheLink final : public PictureCacheLink, public MediaSwitch {
 public:
  void SetImageQuality(bool q) override { calls.push_back(q ? "quality on" : "quality off"); }
  void ReleaseSurfaces() override { calls.push_back("release"); }
  void RecreateSurfaces(int bits) override { calls.push_back("recreate " + std::to_string(bits)); }
  void SetMediaEnabled(bool on) override { calls.push_back(on ? "media on" : "media off"); }
  std::vector<std::string> calls;
};

class Composition : public ComponentTest {
 protected:
  Composition() {
    list.set_transition_factory(&transitions);
    list.set_picture_cache(&cache);
    list.set_media_switch(&cache);
    list.SetScreenSize(32, 16);
    screen.SetSize(32, 16, 32);
    list.SetDisplaySurface(&screen);
  }
  TFlat& flat(int base, std::int32_t colour, Rect r) {
    TFlat& f = list.make<TFlat>();
    f.colour = colour;
    f.SetParent(&list.base(base));
    f.SetBounds(r.left, r.top, r.right, r.bottom);
    return f;
  }
  static std::uint32_t px(const graphics::TCustomDIBX& s, std::int32_t c) {
    return static_cast<std::uint32_t>(s.ColorToPixel(c));
  }
  void compose() {
    list.Compose();
    list.ClearDirtyRects();
  }

  FakeFactory transitions;
  CacheLink cache;
  graphics::TDIBX screen;
};

TEST_F(Composition, TheFrontBasePaintsIntoTheDisplayAndTheBackBaseIntoItsOwnSurface) {
  list.base(0).SetColor(0x000000);
  list.base(1).SetColor(0x000000);
  flat(0, 0xFFFFFF, {0, 0, 4, 4});
  flat(1, 0x0000FF, {8, 0, 4, 4});
  compose();
  ASSERT_NE(list.base(1).surface(), nullptr);
  EXPECT_EQ(screen.GetPixel(1, 1), px(screen, 0xFFFFFF));
  EXPECT_EQ(screen.GetPixel(9, 1), px(screen, 0)) << "the back base's children stay off the screen";
  const graphics::TDIBX& back = *list.base(1).surface();
  EXPECT_EQ(back.GetPixel(9, 1), px(back, 0x0000FF));
  EXPECT_EQ(list.base(0).surface()->GetPixel(1, 1), 0u) << "the front base did not paint into its own surface";
  EXPECT_EQ(list.PaintTarget(0), &screen);
  EXPECT_EQ(list.PaintTarget(1), list.base(1).surface());
  const graphics::TDIBX& work = *list.base(0).work_surface();
  EXPECT_EQ(work.GetWidth(), 32);
  EXPECT_EQ(work.TransparentValue(), work.ColorToPixel(0x800080));
}

TEST_F(Composition, ADeletedControlLeavesTheScreenAndTakesItsChildrenWithIt) {
  list.base(0).SetColor(0x000000);
  TFlat& parent = flat(0, 0xFFFFFF, {2, 2, 8, 6});
  TFlat& child = list.make<TFlat>();
  child.colour = 0x00FF00;
  child.SetParent(&parent);
  child.SetBounds(1, 1, 3, 3);
  TFlat& other = flat(0, 0x0000FF, {20, 2, 4, 4});
  compose();
  ASSERT_EQ(screen.GetPixel(3, 3), px(screen, 0xFFFFFF));
  ASSERT_EQ(screen.GetPixel(21, 3), px(screen, 0x0000FF));
  list.ScheduleDeletion(parent);
  list.ScheduleDeletion(other);
  list.UpdateAll();
  compose();
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 32; ++x) ASSERT_EQ(screen.GetPixel(x, y), px(screen, 0)) << x << "," << y;
  }
}

TEST_F(Composition, ADisplayModeChangeRemakesEverySurfaceAtTheNewDepth) {
  TFlat& f = flat(0, 0xFFFFFF, {0, 0, 4, 4});
  compose();
  list.ReleaseSurfaces();
  EXPECT_EQ(list.base(0).surface(), nullptr);
  EXPECT_EQ(list.DisplaySurface(), nullptr);
  EXPECT_EQ(f.released, 1);
  graphics::TDIBX screen16;
  screen16.SetSize(32, 16, 15);
  list.RecreateSurfaces(15);
  list.SetDisplaySurface(&screen16);
  EXPECT_EQ(f.recreated, 1);
  ASSERT_NE(list.base(1).surface(), nullptr);
  EXPECT_EQ(list.base(1).surface()->GetBitCount(), 15);
  EXPECT_EQ(list.base(0).dirty().Bounds(), (Rect{0, 0, 32, 16})) << "both bases are wholly dirty";
  EXPECT_EQ(list.base(1).dirty().Bounds(), (Rect{0, 0, 32, 16}));
  list.base(0).SetColor(0);
  compose();
  EXPECT_EQ(screen16.GetPixel(2, 2), px(screen16, 0xFFFFFF));
  EXPECT_EQ(cache.calls, (std::vector<std::string>{"release", "recreate 15"}));
}

TEST_F(Composition, TheFlagsGoOutOnlyWhenTheyChange) {
  compose();
  list.SetImageQuality(false);
  list.SetMediaEnabled(true);
  EXPECT_TRUE(list.front_base().dirty().empty());
  list.SetImageQuality(true);
  EXPECT_EQ(list.back_base().dirty().Bounds(), (Rect{0, 0, 32, 16}));
  list.SetMediaEnabled(false);
  list.SetMediaEnabled(false);
  EXPECT_EQ(cache.calls, (std::vector<std::string>{"quality on", "media off"}));
}

TEST_F(Composition, ATransitionIsMadeFromTheShownPictureAndDrawnOnceStarted) {
  list.base(0).SetColor(0x0000FF);
  list.base(1).SetColor(0xFF0000);
  compose();
  ASSERT_EQ(screen.GetPixel(0, 0), px(screen, 0x0000FF));
  graphics::TTransition* t = list.BeginTransition(0, 5, false, 0, 100);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(transitions.made_type, 5);
  EXPECT_EQ(transitions.old_screen, list.base(0).surface());
  EXPECT_EQ(transitions.new_screen, list.base(1).surface());
  EXPECT_EQ(transitions.old_pixel, px(screen, 0x0000FF)) << "the shown picture was copied into the front's surface";
  EXPECT_FALSE(t->Started()) << "the caller sets the reverse flag and parameters first";
  EXPECT_EQ(list.TransitionType(), 5);
  EXPECT_EQ(list.TransitionLength(), 100);
  EXPECT_EQ(list.PaintTarget(0), list.base(0).surface()) << "while a transition runs both bases paint aside";

  list.Compose();
  EXPECT_EQ(transitions.last->steps, 0);
  EXPECT_TRUE(list.TransitionArea().empty());
  t->SetReverse(true);
  t->Start();
  list.SetTransitionTime(40);
  list.Compose();
  EXPECT_EQ(transitions.last->steps, 1);
  EXPECT_EQ(transitions.last->elapsed, 40);
  EXPECT_EQ(list.TransitionArea(), (Rect{0, 0, 32, 16})) << "the whole-screen dirty rectangle";
  EXPECT_EQ(list.WholeScreenDirtyRect(), list.TransitionArea());
  EXPECT_EQ(list.base(1).surface()->GetPixel(0, 0), px(screen, 0xFF0000));

  // Asking again while one runs starts nothing new.
  EXPECT_EQ(list.BeginTransition(0, 3, false, 50, 10), nullptr);
  EXPECT_EQ(transitions.last->elapsed, 50);

  // The end of the flip: the other base in front, no transition.
  EXPECT_EQ(list.BeginTransition(1, 0, true, 0, 0), nullptr);
  EXPECT_EQ(list.transition(), nullptr);
  EXPECT_EQ(list.TransitionType(), 0);
  EXPECT_EQ(list.TransitionLength(), 0);
  compose();
  EXPECT_TRUE(list.TransitionArea().empty());
  EXPECT_EQ(screen.GetPixel(31, 15), px(screen, 0xFF0000)) << "the new front base paints straight into the display";
}

TEST_F(Composition, ATypeNobodyCanMakeStoresNoType) {
  EXPECT_EQ(list.BeginTransition(0, 20, false, 0, 100), nullptr);
  EXPECT_EQ(list.TransitionType(), 0);
  list.set_transition_factory(nullptr);
  EXPECT_EQ(list.BeginTransition(1, 1, false, 0, 100), nullptr);
  EXPECT_EQ(list.TransitionType(), 0);
  EXPECT_EQ(list.front_index(), 1);
}

TEST_F(Composition, AFlipMovesTheFocusOffTheBackBaseWithoutEvents) {
  TTestWave& w = wave("w", &list.base(0));
  w.SetHandleKey(true);
  w.SetEventTarget(PR_ONFOCUSOUT, "out");
  list.SetFocus(&w);
  list.BeginTransition(1, 0, true, 0, 0);
  EXPECT_EQ(list.focus(), nullptr);
  EXPECT_TRUE(list.focus_dirty());
  EXPECT_TRUE(list.events().entries().empty()) << "no PR_ONFOCUSOUT";
}

TEST_F(Composition, TheWipesMakeRealTransitions) {
  graphics::WipeTransitionFactory wipes({});
  list.set_transition_factory(&wipes);
  list.base(0).SetColor(0x000000);
  list.base(1).SetColor(0xFFFFFF);
  compose();
  graphics::TTransition* t = list.BeginTransition(0, 1, false, 0, 100);  // a fade
  ASSERT_NE(t, nullptr);
  t->Start();
  list.SetTransitionTime(50);
  list.Compose();
  const std::uint32_t mid = screen.GetPixel(5, 5) & 0xFF;
  EXPECT_GT(mid, 0x40u);
  EXPECT_LT(mid, 0xC0u);
  EXPECT_EQ(list.BeginTransition(0, 99, true, 0, 100), nullptr) << "an unknown type";
}

TEST(ComponentSystem, PatternsAndTheFinalisationSteps) {
  TComponentFactory factory;
  std::vector<std::string> steps;
  bool cache_freed = false;
  {
    TComponentSystem system({{factory},
                             [&](std::string_view s) { steps.emplace_back(s); },
                             [&] {
                               EXPECT_EQ(steps.back(), "BrioMan.Free");
                               cache_freed = true;
                             }});
    const graphics::TDIBX& focus = *system.focus_pattern();
    EXPECT_EQ(focus.GetPixel(0, 0), static_cast<std::uint32_t>(focus.ColorToPixel(0xFFFFFF)));
    EXPECT_EQ(focus.GetPixel(1, 1), focus.GetPixel(0, 0));
    EXPECT_EQ(focus.GetPixel(1, 0), 0u);
    EXPECT_EQ(focus.GetPixel(0, 1), 0u);
    const graphics::TDIBX& trans = *system.transparency_pattern();
    const auto light = static_cast<std::uint32_t>(trans.ColorToPixel(0xC0C0C0));
    const auto dark = static_cast<std::uint32_t>(trans.ColorToPixel(0x808080));
    EXPECT_EQ(trans.GetPixel(15, 15), light);
    EXPECT_EQ(trans.GetPixel(16, 15), dark);
    EXPECT_EQ(trans.GetPixel(15, 16), dark);
    EXPECT_EQ(trans.GetPixel(31, 31), light);
    system.SetBitCount(15);
    EXPECT_EQ(system.transparency_pattern()->GetBitCount(), 15);
    EXPECT_EQ(system.transparency_pattern()->GetPixel(0, 0),
              static_cast<std::uint32_t>(system.transparency_pattern()->ColorToPixel(0xC0C0C0)));
    system.bases().SetScreenSize(8, 8);
  }
  EXPECT_TRUE(cache_freed);
  EXPECT_EQ(steps, (std::vector<std::string>{"TextRead.Free", "TextHistoryFormats.Free", "Bases.Free",
                                             "SelRectDIB.Free", "TransBGDIB.Free", "BrioMan.Free"}));
}

}  // namespace
}  // namespace nova::test
