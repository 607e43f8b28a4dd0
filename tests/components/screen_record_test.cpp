// The screen record: a round trip through the writer, records of older
// versions laid byte by byte, and damaged records that must leave the
// running screen as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component_fixture.h"
#include "components/component_records.h"
#include "core/error.h"
#include "record_layouts.h"

namespace nova::test {
namespace {

class ScreenRecord : public ComponentTest {
 protected:
  ScreenRecord() {
    list.SetScreenSize(320, 240);
    TTestWave& a = wave("a", &list.base(0));
    wave("a.child", &a);
    TTestWave& b = wave("b", &list.base(1));
    b.SetHandleKey(true);
    timer("t");
    a.SetEventTarget(PR_ONLBTNDOWN, "down.src");
    a.RaiseEvent(PR_ONLBTNDOWN, {1, 2});
    list.set_front_index(1);
    list.SetFocus(&b);
  }
  std::vector<std::uint8_t> write(const TNovaBaseList& l) const {
    core::ByteWriter w;
    l.WriteScreen(w);
    return w.take();
  }
  // What a failed read must not change.
  std::string state() const {
    std::string s = std::to_string(list.ScreenWidth()) + "x" + std::to_string(list.ScreenHeight()) + " front " +
                    std::to_string(list.front_index()) + " focus " + (list.focus() ? list.focus()->Name() : "-");
    for (std::int32_t i = 0; i < list.ItemCount(); ++i) s += " " + list.GetItem(i)->Name();
    s += " events " + std::to_string(list.events().entries().size());
    return s;
  }
};

TEST_F(ScreenRecord, ARoundTripKeepsEverything) {
  const std::vector<std::uint8_t> first = write(list);
  TComponentFactory f2;
  register_test_classes(f2);
  TNovaBaseList other({f2});
  core::ByteReader r(first);
  other.ReadScreen(r, components::kComponentRecordVersion);
  EXPECT_EQ(r.remaining(), 0u);
  EXPECT_EQ(other.ScreenWidth(), 320);
  EXPECT_EQ(other.front_index(), 1);
  ASSERT_NE(other.focus(), nullptr);
  EXPECT_EQ(other.focus()->Name(), "b");
  EXPECT_FALSE(other.focus_dirty());
  EXPECT_TRUE(other.events().entries().size() == 1 && other.name_of(other.events().entries()[0].sender) == "a");
  EXPECT_EQ(other.FindControl("a.child")->Parent(), other.FindControl("a"));
  EXPECT_EQ(other.base(0).dirty().Bounds(), (Rect{0, 0, 320, 240})) << "read bases are wholly dirty";
  EXPECT_EQ(write(other), first);
}

TEST_F(ScreenRecord, OlderLayoutsRead) {
  for (std::int32_t version : {113, 114, 118, 119}) {
    SCOPED_TRACE(version);
    const auto bytes = screen_layout(version);
    core::ByteReader r(bytes);
    list.ReadScreen(r, version);
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_EQ(list.ScreenWidth(), 64);
    EXPECT_EQ(list.front_index(), 1);
    EXPECT_EQ(list.base(0).Color(), 0x112233);
    EXPECT_EQ(list.FindControl("w")->Parent(), &list.base(0));
    EXPECT_NE(list.FindComponent("clock"), nullptr);
    EXPECT_EQ(list.FindComponent("a"), nullptr) << "what stood before is gone";
    ASSERT_EQ(list.events().entries().size(), 1u);
    EXPECT_EQ(list.events().entries()[0].level, 1) << "the run level's width changed at 114";
    EXPECT_EQ(list.events().entries()[0].arguments, (std::vector<std::string>{"3", "4"}));
    // The focus name came with 119; the wave takes keys from 118 on.
    EXPECT_EQ(list.focus() != nullptr, version >= 119);
  }
}

TEST_F(ScreenRecord, ReadingWithoutATrialGivesTheSameListAndStillRefusesDamage) {
  const std::vector<std::uint8_t> good = write(list);
  TComponentFactory f2;
  register_test_classes(f2);
  TNovaBaseList safe({f2}), direct({f2});
  core::ByteReader rs(good), rd(good);
  safe.ReadScreen(rs, components::kComponentRecordVersion);
  direct.ReadScreen(rd, components::kComponentRecordVersion, TNovaBaseList::TrialRead::Skip);
  EXPECT_EQ(rd.position(), rs.position());
  EXPECT_EQ(write(direct), write(safe));
  EXPECT_EQ(write(direct), good);
  // Damage still raises; the list may be partly replaced, but a good
  // record read after it gives the whole screen back.
  for (std::size_t cut : {std::size_t{4}, good.size() / 2, good.size() - 1}) {
    core::ByteReader r(std::span<const std::uint8_t>(good.data(), cut));
    EXPECT_THROW(direct.ReadScreen(r, components::kComponentRecordVersion, TNovaBaseList::TrialRead::Skip),
                 core::Error);
    core::ByteReader again(good);
    direct.ReadScreen(again, components::kComponentRecordVersion, TNovaBaseList::TrialRead::Skip);
    EXPECT_EQ(write(direct), good) << "after a cut at " << cut;
  }
}

TEST_F(ScreenRecord, ADamagedRecordLeavesTheScreenAsItWas) {
  const std::string before = state();
  const std::vector<std::uint8_t> good = write(list);
  auto fails = [&](std::vector<std::uint8_t> bytes, std::int32_t version, const char* why) {
    SCOPED_TRACE(why);
    core::ByteReader r(bytes);
    EXPECT_THROW(list.ReadScreen(r, version), core::Error);
    EXPECT_EQ(state(), before);
  };
  // Cut anywhere: in the size, a base, the components, the queue, the focus.
  for (std::size_t cut : {std::size_t{4}, std::size_t{40}, good.size() / 2, good.size() - 12, good.size() - 1}) {
    fails(std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)), 140, "cut");
  }
  auto patched = [&](std::size_t at, std::int32_t v) {
    std::vector<std::uint8_t> b = good;
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    return b;
  };
  fails(patched(0, 0), 140, "a width of 0");
  fails(patched(0, 16385), 140, "a width beyond 16384");
  fails(patched(0, 16384) /* × 240 is fine */, 100, "a version before 101");
  {
    std::vector<std::uint8_t> b = patched(0, 16384);
    b = [&] {
      auto c = b;
      for (int i = 0; i < 4; ++i) c[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(16385 >> (8 * i));
      return c;
    }();
    fails(b, 140, "a height beyond 16384");
  }
  fails(patched(8, 2), 140, "a front index of 2");
  // The event count sits right after the components; a huge one.
  const auto layout = screen_layout(119);
  fails(std::vector<std::uint8_t>(layout.begin(), layout.end() - 3), 119, "a cut focus name");
  std::vector<std::uint8_t> typed = screen_layout(118);
  // The timer's type byte follows the component count: a type without a class.
  const std::size_t timer_at = typed.size() - timer_layout(118, "clock").size() -
                               event_layout(118, "p.src", "w", PR_ONLBTNDOWN, 1, {"3", "4"}).size() - 4;
  ASSERT_EQ(typed[timer_at], LT_TIMER);
  typed[timer_at] = 0xEE;
  fails(typed, 118, "a type byte without a class");
}

TEST(ScreenSizes, TheAcceptedSizes) {
  EXPECT_TRUE(TNovaBaseList::ValidScreenSize(1, 1));
  EXPECT_TRUE(TNovaBaseList::ValidScreenSize(16384, 16384));
  EXPECT_TRUE(TNovaBaseList::ValidScreenSize(16384, 1));
  EXPECT_FALSE(TNovaBaseList::ValidScreenSize(16385, 1));
  EXPECT_FALSE(TNovaBaseList::ValidScreenSize(0, 5));
  EXPECT_FALSE(TNovaBaseList::ValidScreenSize(5, -1));
}

}  // namespace
}  // namespace nova::test
