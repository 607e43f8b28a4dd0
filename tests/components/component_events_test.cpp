// The raise routine: one rule for every event, the entries it appends,
// the bound on events raised again while their handler runs, and what a
// destroyed sender leaves in the queue.
#include <gtest/gtest.h>

#include "component_fixture.h"
#include "core/error.h"

namespace nova::test {
namespace {

class Cabinet final : public TNovaControl {
 public:
  TComponentType ComponentType() const override { return LT_CABINET; }
};

// A wave that reports cabinet moves.
class Watcher final : public TNovaControl {
 public:
  void EnteredCabinet() override { ++entered; }
  void LeftCabinet() override { ++left; }
  int entered = 0, left = 0;
};

// A control with an end event and auto scrap, stepping a motion.
class Player final : public TNovaControl {
 public:
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties() {
    static const PropertyTable table = [] {
      PropertyTable t = TNovaControl::ClassProperties();
      t.text<&Player::OnPlayEnd, &Player::SetOnPlayEnd>(PR_ONPLAYEND);
      t.flag<&Player::AutoScrap, &Player::SetAutoScrap>(PR_AUTOSCRAP);
      return t;
    }();
    return table;
  }
  const std::string& OnPlayEnd() const { return on_play_end; }
  void SetOnPlayEnd(std::string_view v) { on_play_end = v; }
  bool AutoScrap() const { return auto_scrap; }
  void SetAutoScrap(bool v) { auto_scrap = v; }
  std::string on_play_end;
  bool auto_scrap = false;
};

class Steps final : public ControlMotion {
 public:
  explicit Steps(int n) : m_left(n) {}
  bool Step(TNovaControl& owner) override {
    owner.SetMotionX(owner.MotionX() + 1);
    return --m_left == 0;
  }
  bool Playing() const override { return m_left > 0; }

 private:
  int m_left;
};

using Raise = ComponentTest;

TEST_F(Raise, AnEventIsQueuedOncePerSenderWhileWaitingOrRunning) {
  TTestWave& w = wave("w");
  EXPECT_FALSE(w.RaiseEvent(PR_ONLBTNDOWN, {3, 4})) << "no target, no entry";
  w.SetEventTarget(PR_ONLBTNDOWN, "click.src:down");
  ASSERT_TRUE(w.RaiseEvent(PR_ONLBTNDOWN, {3, -4}));
  const EventEntry& e = list.events().entries().front();
  EXPECT_EQ(e.target, "click.src:down");
  EXPECT_EQ(e.sender, w.id());
  EXPECT_EQ(e.event_id, PR_ONLBTNDOWN);
  EXPECT_EQ(e.level, 0);
  EXPECT_EQ(e.arguments, (std::vector<std::string>{"3", "-4"}));
  EXPECT_FALSE(w.RaiseEvent(PR_ONLBTNDOWN, {5, 6})) << "no second pending press";
  list.events().first_pending()->level = 1;
  EXPECT_FALSE(w.RaiseEvent(PR_ONLBTNDOWN)) << "nor while its handler runs";
  w.SetEventTarget(PR_ONLBTNUP, "click.src:up");
  EXPECT_TRUE(w.RaiseEvent(PR_ONLBTNUP)) << "another event of the same sender";
  TTestWave& other = wave("other");
  other.SetEventTarget(PR_ONLBTNDOWN, "click.src:down");
  EXPECT_TRUE(other.RaiseEvent(PR_ONLBTNDOWN)) << "the same event of another sender";
  list.events().remove_level(1);
  EXPECT_TRUE(w.RaiseEvent(PR_ONLBTNDOWN)) << "once the handler returned";
  // A value set after raising does not change the entry.
  w.SetEventTarget(PR_ONLBTNUP, "changed.src");
  EXPECT_EQ(list.events().entries()[0].target, "click.src:up");
}

TEST_F(Raise, PausedComponentsAndBasesRaiseNoButtonKeyOrIdleEvents) {
  const TPropId input[] = {PR_ONLBTNDOWN, PR_ONLBTNUP, PR_ONRBTNDOWN, PR_ONRBTNUP,
                           PR_ONKEYDOWN,  PR_ONKEYUP,  PR_ONKEYREPEAT};
  const TPropId others[] = {PR_ONMOUSEMOVE, PR_ONMOUSEIN, PR_ONMOUSEOUT, PR_ONWHEELDOWN,
                            PR_ONWHEELUP,   PR_ONFOCUSIN, PR_ONFOCUSOUT};
  TTestWave& w = wave("w");
  w.paused = true;
  TNovaBase& base = list.front_base();
  for (TNovaControl* c : {static_cast<TNovaControl*>(&w), static_cast<TNovaControl*>(&base)}) {
    for (TPropId id : input) c->SetEventTarget(id, "h.src");
    for (TPropId id : others) c->SetEventTarget(id, "h.src");
    for (TPropId id : input) EXPECT_FALSE(c->RaiseEvent(id)) << c->Name() << " " << kProperties[id].name;
    for (TPropId id : others) EXPECT_TRUE(c->RaiseEvent(id)) << c->Name() << " " << kProperties[id].name;
  }
  w.on_idle = "idle.src";
  EXPECT_FALSE(w.RaiseEvent(PR_ONIDLE));
  w.paused = false;
  EXPECT_TRUE(w.RaiseEvent(PR_ONIDLE));
  EXPECT_TRUE(w.RaiseEvent(PR_ONLBTNDOWN));
  // Key events carry the codes of the frame.
  list.events().clear();
  w.KeyDown({13, 65});
  w.KeyRepeat({65});
  w.KeyUp({});
  ASSERT_EQ(list.events().entries().size(), 3u);
  EXPECT_EQ(list.events().entries()[0].arguments, (std::vector<std::string>{"13", "65"}));
  EXPECT_EQ(list.events().entries()[1].event_id, PR_ONKEYREPEAT);
  EXPECT_TRUE(list.events().entries()[2].arguments.empty());
}

TEST_F(Raise, BlockedScheduledAndCabinetComponentsRaiseLess) {
  TTestWave& w = wave("w");
  w.SetEventTarget(PR_ONMOUSEMOVE, "m.src");
  w.blocked = true;
  EXPECT_FALSE(w.RaiseEvent(PR_ONMOUSEMOVE, {1, 1}));
  w.blocked = false;

  auto& cabinet = list.make<Cabinet>();
  auto& watcher = list.make<Watcher>();
  watcher.SetParent(&cabinet);
  EXPECT_EQ(watcher.entered, 1);
  w.SetParent(&watcher);
  w.on_idle = "idle.src";
  EXPECT_TRUE(w.IsInCabinet());
  EXPECT_FALSE(w.RaiseEvent(PR_ONIDLE)) << "no idle events inside a cabinet";
  EXPECT_TRUE(w.RaiseEvent(PR_ONMOUSEMOVE)) << "other events are raised there";
  watcher.SetParent(&list.front_base());
  EXPECT_EQ(watcher.left, 1);
  EXPECT_FALSE(w.IsInCabinet());
  EXPECT_TRUE(w.RaiseEvent(PR_ONIDLE));

  list.events().clear();
  list.ScheduleDeletion(w);
  w.SetEventTarget(PR_ONMOUSEMOVE, "m.src");
  EXPECT_FALSE(w.RaiseEvent(PR_ONMOUSEMOVE)) << "a component pending deletion raises nothing";
  // An object without list has no queue.
  TTestWave loose;
  loose.SetEventTarget(PR_ONMOUSEMOVE, "m.src");
  EXPECT_FALSE(loose.RaiseEvent(PR_ONMOUSEMOVE));
}

TEST_F(Raise, EventsRaisedAgainWhileTheirHandlerRunsStayBounded) {
  TTestWave& w = wave("w");
  w.on_idle = "idle.src";
  ASSERT_TRUE(w.RaiseEvent(PR_ONIDLE, {}, PendingRule::WaitingOnly));
  EXPECT_FALSE(w.RaiseEvent(PR_ONIDLE, {}, PendingRule::WaitingOnly)) << "one waits already";
  list.events().first_pending()->level = 1;  // its handler runs and waits
  // Raised every update while the handler waits: one more waits, no more.
  for (int frame = 0; frame < 1000; ++frame) w.RaiseEvent(PR_ONIDLE, {}, PendingRule::WaitingOnly);
  ASSERT_EQ(list.events().entries().size(), 2u);
  EXPECT_EQ(list.events().entries()[1].level, 0);
  EXPECT_FALSE(w.RaiseEvent(PR_ONIDLE)) << "the usual rule refuses while one runs";
}

TEST_F(Raise, ADestroyedSenderTakesItsWaitingEntriesAndLeavesRunningOnes) {
  TTestWave& w = wave("w");
  TTestTimer& t = timer("t");
  w.SetEventTarget(PR_ONLBTNDOWN, "a.src");
  w.SetEventTarget(PR_ONMOUSEMOVE, "b.src");
  t.on_notify = "n.src";
  ASSERT_TRUE(w.RaiseEvent(PR_ONLBTNDOWN));
  ASSERT_TRUE(t.RaiseEvent(PR_ONNOTIFY, std::vector<std::string>{"text", ""}, PendingRule::WaitingOnly));
  ASSERT_TRUE(w.RaiseEvent(PR_ONMOUSEMOVE, {0, 0}));
  list.events().first_pending()->level = 1;
  const ComponentId id = w.id();
  list.ScheduleDeletion(w);
  list.destroy_scheduled();
  ASSERT_EQ(list.events().entries().size(), 2u);
  EXPECT_EQ(list.events().entries()[0].level, 1) << "the running entry runs on";
  EXPECT_EQ(list.events().entries()[0].sender, id);
  EXPECT_EQ(list.name_of(id), std::nullopt) << "without its sender";
  EXPECT_EQ(list.events().entries()[1].arguments, (std::vector<std::string>{"text", ""}));
}

TEST_F(Raise, AnEndedMotionScrapsOrRaisesItsEndWithoutThePendingCheck) {
  auto& p = list.make<Player>();
  p.SetLeft(5);
  EXPECT_FALSE(p.Update()) << "no motion, nothing to do";
  p.SetMotion(std::make_unique<Steps>(2));
  EXPECT_TRUE(p.Playing());
  EXPECT_TRUE(read_flag(p, PR_PLAYING));
  p.on_play_end = "end.src";
  EXPECT_FALSE(p.Update());
  EXPECT_TRUE(list.events().entries().empty());
  EXPECT_FALSE(p.Update());
  ASSERT_EQ(list.events().entries().size(), 1u);
  EXPECT_EQ(list.events().entries()[0].event_id, PR_ONPLAYEND);
  EXPECT_EQ(p.MotionX(), 2);
  // The handler of the first end runs; the next end is queued all the same.
  list.events().first_pending()->level = 1;
  p.SetMotion(std::make_unique<Steps>(1));
  EXPECT_FALSE(p.Update());
  EXPECT_EQ(list.events().entries().size(), 2u);
  // With auto scrap an ended motion finishes the component.
  p.auto_scrap = true;
  p.SetMotion(std::make_unique<Steps>(1));
  EXPECT_TRUE(p.Update());
  EXPECT_EQ(list.events().entries().size(), 2u);
  // Setting the position drops the motion's.
  p.SetLeft(6);
  EXPECT_EQ(p.MotionX(), 0);
  // Motion files cannot be loaded yet, and say so.
  EXPECT_THROW(p.LoadMotion("walk.nmt"), core::Error);
  p.LoadMotion("");
  EXPECT_EQ(p.GetMotion(), nullptr);
}

}  // namespace
}  // namespace nova::test
