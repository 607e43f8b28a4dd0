// Flip on a base list with a recording transition factory: its timing, the
// transition's set-up order, the snapshot and moves of the surface mode,
// clear back, kinds out of range, saved states, the clock's wrap, and the
// completion by a full PCReset; and with the wipes themselves, the frames
// it composes.
#include <limits>

#include "component_fixture.h"
#include "components/custom_image.h"
#include "graphics/wipe_transition.h"
#include "graphics/wipes.h"
#include "script/commands.h"

namespace nova::script::testing {
namespace {

class Flips : public Components {
 protected:
  // A Flip of `kind` lasting `duration` ms (an empty text: no value).
  static Cmd flip(std::string_view kind, std::string_view duration) {
    Cmd c("Flip");
    if (!kind.empty()) c.e("transition", kind);
    if (!duration.empty()) c.e("duration", duration);
    return c;
  }
  TComFlip& flip_at(std::int32_t index) const { return static_cast<TComFlip&>(cm->CurrentPage()->command(index)); }
  // The elapsed times the flip gave its transition.
  std::vector<std::string> elapsed_log() const {
    std::vector<std::string> out;
    for (const std::string& s : transitions.log) {
      if (s.starts_with("elapsed ")) out.push_back(s.substr(8));
    }
    return out;
  }
  // Sets up the transition in the order the wipes need, and reports it.
  std::vector<std::string> setup_log() const {
    std::vector<std::string> out;
    for (const std::string& s : transitions.log) {
      if (!s.starts_with("elapsed ")) out.push_back(s);
    }
    return out;
  }
};

// The wipes' factory, remembering the screens of the transition it made.
class WatchedWipes final : public graphics::TTransitionFactory {
 public:
  std::unique_ptr<graphics::TTransition> Create(int type, graphics::TCustomDIBX& target,
                                                const graphics::TCustomDIBX& old_screen,
                                                const graphics::TCustomDIBX& new_screen,
                                                std::int32_t duration) override {
    old = &old_screen;
    fresh = &new_screen;
    return wipes.Create(type, target, old_screen, new_screen, duration);
  }
  graphics::WipeTransitionFactory wipes{{}};
  const graphics::TCustomDIBX* old = nullptr;
  const graphics::TCustomDIBX* fresh = nullptr;
};

std::unique_ptr<graphics::TDIBX> copy_of(const graphics::TCustomDIBX& s) {
  auto c = std::make_unique<graphics::TDIBX>();
  c->SetSize(s.GetWidth(), s.GetHeight(), s.GetBitCount());
  for (int y = 0; y < s.GetHeight(); ++y) {
    for (int x = 0; x < s.GetWidth(); ++x) c->SetPixel(x, y, s.GetPixel(x, y));
  }
  return c;
}

// The first pixel whose colour differs, or "".
std::string first_difference(const graphics::TCustomDIBX& a, const graphics::TCustomDIBX& b) {
  for (int y = 0; y < a.GetHeight(); ++y) {
    for (int x = 0; x < a.GetWidth(); ++x) {
      if ((a.GetPixel(x, y) & 0xFFFFFF) != (b.GetPixel(x, y) & 0xFFFFFF)) {
        return std::to_string(x) + "," + std::to_string(y);
      }
    }
  }
  return "";
}

// Soft reversed blinds from Flip's own parameters, composed through the
// base list frame by frame: every frame shows what the wipe draws by itself
// from the same two screens at the same elapsed time, and the end shows the
// new screen.
TEST_F(Flips, AWipeComposesItsOwnFramesThroughTheBasesAndEndsOnTheNewScreen) {
  WatchedWipes wipes;
  list.set_transition_factory(&wipes);
  list.front_base().SetColor(0x2040C0);
  list.back_base().SetColor(0xE0A010);
  start("blinds.nsb", {flip("2", "300").e("reverse", "TRUE").e("param1", "5").e("param2", "3"), Cmd("Wait")});
  std::unique_ptr<graphics::TDIBX> new_screen;
  std::vector<std::int32_t> seen;
  bool mixed = false;
  for (int k = 0; k < 40 && position() == 0; ++k) {
    frame();
    list.Compose();
    const graphics::TTransition* t = list.transition();
    if (!t || !t->Started()) continue;
    ASSERT_NE(wipes.old, nullptr);
    auto old_copy = copy_of(*wipes.old);
    new_screen = copy_of(*wipes.fresh);
    graphics::TDIBX direct;
    direct.SetSize(kW, kH, 32);
    auto w = graphics::CreateTransition(graphics::WP_BLINDH, {&direct, old_copy.get(), new_screen.get()}, {}, 300);
    w->SetReverse(true);
    w->SetParam(0, 5);
    w->SetParam(1, 3);
    w->Prepare();
    w->SetElapsed(t->Elapsed());
    w->DrawStep();
    ASSERT_EQ(first_difference(screen, direct), "") << "elapsed " << t->Elapsed();
    seen.push_back(t->Elapsed());
    // Soft blinds: some frames show neither screen's colour somewhere.
    for (int x = 0; x < kW; ++x) {
      const std::uint32_t p = screen.GetPixel(x, 0) & 0xFFFFFF;
      if (p != (old_copy->GetPixel(x, 0) & 0xFFFFFF) && p != (new_screen->GetPixel(x, 0) & 0xFFFFFF)) mixed = true;
    }
  }
  ASSERT_GE(seen.size(), 10u);
  EXPECT_GT(seen.back(), 150) << "frames from the start to near the end";
  EXPECT_TRUE(mixed) << "blinds mixing both screens on their edges";
  frame(3);
  list.Compose();
  EXPECT_EQ(position(), 1);
  EXPECT_EQ(list.transition(), nullptr);
  EXPECT_EQ(first_difference(screen, *new_screen), "") << "the new screen at the end";
  EXPECT_EQ(screen.GetPixel(0, 0) & 0xFFFFFF, static_cast<std::uint32_t>(screen.ColorToPixel(0xE0A010)) & 0xFFFFFF);
}

TEST_F(Flips, TheThreeTimingsAndTheTransitionsSetUpOrder) {
  // A surface mode without a duration value: no transition, done at the
  // first Execute.
  start("now.nsb", {flip("1", "").e("surface_mode", "0"), Cmd("Wait")});
  EXPECT_EQ(list.front_index(), 0);
  frame();
  EXPECT_EQ(position(), 1);
  EXPECT_EQ(list.front_index(), 1) << "the other base became the front one";
  EXPECT_TRUE(transitions.log.empty());

  // Neither: a transition of 1 ms, done at the third Execute.
  start("short.nsb", {flip("1", ""), Cmd("Wait")});
  frame(2);
  EXPECT_EQ(position(), 0);
  EXPECT_EQ(list.TransitionType(), 1);
  frame();
  EXPECT_EQ(position(), 1);
  EXPECT_EQ(list.front_index(), 0);
  EXPECT_EQ(list.TransitionType(), 0) << "the transition is dropped";
  EXPECT_EQ(setup_log(), (std::vector<std::string>{"create 1 1", "reverse 0", "start"}));

  // 1000 ms at 15 ms frames: two frames before the clock starts, then
  // every frame's elapsed time until it reaches the duration.
  transitions.log.clear();
  start("long.nsb",
        {flip("5", "1000").e("reverse", "TRUE").e("param1", "3").e("param2", "4").e("transition_text", "\"m.bmp\""),
         Cmd("Wait")});
  frame(68);
  EXPECT_EQ(position(), 0);
  EXPECT_TRUE(flip_at(0).Yields());
  frame();
  EXPECT_EQ(position(), 1) << "done at the 69th Execute: 1005 ms after the clock started";
  EXPECT_EQ(setup_log(),
            (std::vector<std::string>{"create 5 1000", "reverse 1", "param0 3", "param1 4", "mask m.bmp", "start"}));
  const auto elapsed = elapsed_log();
  ASSERT_EQ(elapsed.size(), 1u + 66u) << "0 at the start, then 15 ... 990";
  EXPECT_EQ(elapsed.front(), "0");
  EXPECT_EQ(elapsed[1], "15");
  EXPECT_EQ(elapsed.back(), "990");
}

TEST_F(Flips, KindsOutOfRangeAndZeroMakeNoTransitionAndStillCompleteAtTheThirdStep) {
  int n = 0;
  for (const char* kind : {"-1", "39", "0"}) {
    SCOPED_TRACE(kind);
    start("kind" + std::to_string(++n) + ".nsb", {flip(kind, "500"), Cmd("Wait")});
    EXPECT_TRUE(flip_at(0).phase() != TComFlip::kNoTransition);
    frame(2);
    EXPECT_EQ(position(), 0);
    EXPECT_EQ(list.TransitionType(), 0);
    EXPECT_TRUE(flip_at(0).Yields()) << "a transition was asked for";
    frame();
    EXPECT_EQ(position(), 1);
  }
  EXPECT_TRUE(transitions.log.empty());
  EXPECT_EQ(list.front_index(), 1);
  // A surface-mode flip of no time does not yield.
  start("quick.nsb", {flip("1", "0").e("surface_mode", "1"), Cmd("Wait")});
  cm->RunTick();
  EXPECT_EQ(position(), 1) << "done at its first step";
  EXPECT_FALSE(flip_at(0).Yields());
}

TEST_F(Flips, SurfaceModeSnapshotAndTheMovesOfBothModes) {
  list.front_base().SetColor(0x0000FF);
  list.back_base().SetColor(0x00FF00);
  for (const char* n : {"a", "b", "c", "d"}) make<TRecorder>(n);
  start("mode0.nsb", {flip("1", "300").e("surface_mode", "0").list("names", {"\"a\r\nb\"", "\"c\"", ""}), Cmd("Wait")});
  frame();
  EXPECT_EQ(names_on(list.base(0)), (std::vector<std::string>{"a", "b", "c", "\x01\x01"}))
      << "mode 0 moves the names not listed, never the snapshot, which sorts last";
  EXPECT_EQ(names_on(list.base(1)), (std::vector<std::string>{"d"}));
  auto* snapshot = dynamic_cast<TNovaCustomImage*>(find("\x01\x01"));
  ASSERT_NE(snapshot, nullptr);
  EXPECT_EQ(snapshot->Width(), kW) << "an image's own surface is its picture";
  EXPECT_EQ(snapshot->Height(), kH);
  EXPECT_EQ(snapshot->OwnSurface().GetPixel(3, 3), screen.ColorToPixel(0x0000FF)) << "the composed front screen";
  EXPECT_EQ(snapshot->OwnSurface().TransparentValue(), -1);
  frame(30);
  EXPECT_EQ(position(), 1);
  EXPECT_EQ(find("\x01\x01"), nullptr) << "the snapshot goes at completion";
  EXPECT_EQ(list.front_index(), 1);

  // Mode 1 moves the listed names only; the base at the front is base 1.
  make<TRecorder>("e");
  start("mode1.nsb", {flip("1", "30").e("surface_mode", "1").list("names", {"\"a\"", "\"d\nx\""}), Cmd("Wait")});
  frame();
  EXPECT_EQ(names_on(list.base(1)), (std::vector<std::string>{"e", "\x01\x01"}));
  EXPECT_EQ(names_on(list.base(0)), (std::vector<std::string>{"a", "b", "c", "d"}));
  frame(10);
  EXPECT_EQ(list.front_index(), 0);
  // Without a surface mode nothing moves.
  start("plain.nsb", {flip("1", "30").list("names", {"\"b\""}), Cmd("Wait")});
  frame(6);
  EXPECT_EQ(names_on(list.base(0)), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(names_on(list.base(1)), (std::vector<std::string>{"e"}));
  EXPECT_EQ(position(), 1);
}

TEST_F(Flips, ClearBackSparesCabinetsInExecuteAndNotInFinish) {
  make<TRecorder>("old");
  make<TTestCabinet>("cab");
  var("reset");
  page("reset.nsb", {Cmd("PCReset").s("page", "end.nsb").i("index", 0).i("full", 1)});
  page("end.nsb", {Cmd("Calc").e("expression", "reset = 1")});
  start("clear.nsb", {flip("1", "100").e("clear_back", "TRUE"), Cmd("Wait")});
  frame(12);
  EXPECT_EQ(position(), 1);
  EXPECT_EQ(names_on(list.back_base()), (std::vector<std::string>{"cab"})) << "the cabinet is kept";

  // A full PCReset while a flip runs finishes it: the bases swap, the
  // transition goes and clear back takes the cabinets too.
  dynamic_cast<TNovaControl*>(find("cab"))->SetParent(&list.front_base());
  make<TRecorder>("clicker").SetEventTarget(PR_ONLBTNUP, "reset.src");
  start("clear2.nsb", {flip("1", "1000").e("clear_back", "TRUE"), Cmd("Wait")});
  frame(3);
  EXPECT_EQ(list.TransitionType(), 1);
  EXPECT_EQ(list.front_index(), 1);
  ASSERT_TRUE(dynamic_cast<TNovaControl*>(find("clicker"))->RaiseEvent(PR_ONLBTNUP, {1, 1}));
  frame();
  EXPECT_EQ(ivalue("reset"), 1);
  EXPECT_EQ(list.TransitionType(), 0);
  EXPECT_EQ(list.front_index(), 0) << "completed by Finish";
  EXPECT_TRUE(names_on(list.back_base()).empty()) << "the clicker and the cabinet went";
}

TEST_F(Flips, ARestoredFlipCompletesAndARunningTransitionGoesOn) {
  start("saved.nsb", {flip("1", "1000").e("uninterruptible", "TRUE").e("clear_back", "TRUE"), Cmd("Wait")});
  frame(5);
  TComFlip& f = flip_at(0);
  core::ByteWriter w;
  f.SaveState(w);
  core::ByteWriter expected;
  write_state_header(expected);
  expected.boolean(true);
  expected.boolean(true);
  EXPECT_EQ(w.data(), expected.data());
  // Back from an event handler: the transition still runs and goes on
  // from its own elapsed time.
  {
    core::ByteReader r(w.data());
    f.LoadState(r);
  }
  transitions.log.clear();
  frame();
  EXPECT_EQ(elapsed_log(), std::vector<std::string>{"60"}) << "45 ms when saved, one frame later";
  EXPECT_EQ(position(), 0);
  // After a game load no transition runs: the next step completes it.
  make<TRecorder>("left");
  list.BeginTransition(list.front_index(), 0, true, 0, 0);
  core::ByteReader r(w.data());
  f.LoadState(r);
  EXPECT_TRUE(f.IsUninterruptible());
  frame();
  EXPECT_EQ(position(), 1);
  EXPECT_EQ(list.front_index(), 1);
  EXPECT_EQ(names_on(list.back_base()), std::vector<std::string>{}) << "clear back applies";
}

TEST_F(Flips, AFlipRestoredBeforeItsTimingBeganGoesOnWithTheRunningTransition) {
  // Late in a session the clock is far from the flip's unset start time.
  clock.GameClockMs.store(100000);
  start("early.nsb", {flip("1", "1000"), Cmd("Wait")});
  frame();
  TComFlip& f = flip_at(0);
  ASSERT_NE(list.transition(), nullptr);
  core::ByteWriter w;
  f.SaveState(w);
  core::ByteReader r(w.data());
  f.LoadState(r);
  frame(3);
  EXPECT_EQ(position(), 0) << "the transition is far from its end";
  EXPECT_NE(list.transition(), nullptr);
}

TEST_F(Flips, AFlipAcrossTheClockWrapEnds) {
  clock.GameClockMs.store(std::numeric_limits<std::int32_t>::max() - 40);
  start("wrap.nsb", {flip("1", "100"), Cmd("Wait")});
  frame(8);
  EXPECT_LT(clock.GameClockMs.load(), 0) << "the clock wrapped";
  EXPECT_EQ(position(), 0);
  frame();
  EXPECT_EQ(position(), 1) << "105 ms after its start, across the wrap";
  const auto elapsed = elapsed_log();
  ASSERT_FALSE(elapsed.empty());
  EXPECT_EQ(elapsed.back(), "90");
}

}  // namespace
}  // namespace nova::script::testing
