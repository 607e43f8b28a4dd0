// The component records: byte layouts laid by hand at each version
// boundary, round trips through the writer, the children that are not
// written, event entries, and damaged streams that fail whole.
#include "components/component_records.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "component_fixture.h"
#include "core/error.h"
#include "record_layouts.h"
#include "support/test_support.h"

namespace nova::test {
namespace {

class Records : public ComponentTest {
 protected:
  TNovaComponent& read(const std::vector<std::uint8_t>& bytes, std::int32_t version, TNovaControl* parent = nullptr) {
    core::ByteReader r{std::span<const std::uint8_t>(bytes)};
    TNovaComponent& c = list.ReadComponent(r, version, parent);
    EXPECT_TRUE(r.at_end()) << "the whole record is read at version " << version;
    return c;
  }
  std::vector<std::uint8_t> write(const TNovaComponent& c) {
    core::ByteWriter w;
    list.WriteComponent(w, c);
    return w.take();
  }
  // Reading fails with an error and leaves the registry as it was.
  void expect_refused(const std::vector<std::uint8_t>& bytes, std::int32_t version, std::string_view message = {}) {
    const std::int32_t before = list.ItemCount();
    core::ByteReader r{std::span<const std::uint8_t>(bytes)};
    try {
      list.ReadComponent(r, version, nullptr);
      ADD_FAILURE() << "read at version " << version;
    } catch (const core::Error& e) {
      if (!message.empty()) {
        EXPECT_EQ(e.message(), message);
      }
    }
    EXPECT_EQ(list.ItemCount(), before) << "what the read created is destroyed";
  }
};

TEST_F(Records, HandLaidLayoutsReadAtEveryVersionBoundary) {
  for (std::int32_t v : {101, 102, 103, 104, 113, 114, 117, 118, 119, 120, 129, 130, 140}) {
    SCOPED_TRACE(v);
    WaveLayout child{v, "kid"};
    WaveLayout layout{v, "w", {child.bytes()}};
    auto& w = static_cast<TTestWave&>(read(layout.bytes(), v));
    EXPECT_EQ(w.Name(), "w");
    EXPECT_EQ(w.Priority(), -9);
    EXPECT_EQ(w.OrderOffset(), v >= 104 ? 4 : 0);
    EXPECT_EQ(w.Tag(), v >= 120 ? "tag" : "");
    EXPECT_EQ(w.GetScreenRect().width(), 3);
    EXPECT_EQ(w.Left(), 1);
    EXPECT_EQ(w.CenterY(), 6);
    EXPECT_TRUE(w.PosZoomed());
    EXPECT_EQ(w.MotionX(), v >= 130 ? 7 : 0);
    EXPECT_EQ(w.PlusY(), v >= 130 ? 10 : 0);
    EXPECT_EQ(w.ClipHeight(), v >= 104 ? 14 : 0);
    EXPECT_EQ(w.AniPaused(), v >= 104);
    EXPECT_FALSE(w.VisibleField());
    EXPECT_EQ(w.Color(), 0x123456);
    EXPECT_EQ(w.GetReservedRect(), (Rect{15, 16, 17, 18}));
    EXPECT_EQ(w.IgnoreMouse(), IM_LCLICK);
    EXPECT_EQ(w.Cursor(), "c.cur");
    EXPECT_EQ(w.EventTarget(PR_ONMOUSEMOVE), "move.src");
    EXPECT_EQ(w.EventTarget(PR_ONMOUSEIN), v >= 102 ? "in.src" : "");
    EXPECT_EQ(w.EventTarget(PR_ONMOUSEOUT), "out.src");
    EXPECT_EQ(w.EventTarget(PR_ONWHEELUP), "wu.src");
    EXPECT_EQ(w.HandleKey(), v >= 118);
    EXPECT_EQ(w.EventTarget(PR_ONKEYDOWN), v >= 118 ? "kd.src" : "");
    EXPECT_EQ(w.EventTarget(PR_ONFOCUSOUT), v >= 118 ? "fo.src" : "");
    EXPECT_EQ(w.delay, 21);
    EXPECT_TRUE(w.paused);
    EXPECT_EQ(w.wavelen, 23);
    EXPECT_EQ(w.on_idle, "idle.src");
    ASSERT_EQ(w.ChildCount(), 1);
    auto& kid = *static_cast<TTestWave*>(w.GetChild(0));
    EXPECT_EQ(kid.Name(), "kid");
    EXPECT_EQ(kid.Parent(), &w);
    EXPECT_EQ(kid.on_idle, "idle.src");
    EXPECT_EQ(list.FindControl("kid"), &kid);
    list.destroy(w);
  }
  // Non-visual records too.
  for (std::int32_t v : {103, 104, 119, 120}) {
    auto& t = static_cast<TTestTimer&>(read(timer_layout(v, "t"), v));
    EXPECT_EQ(t.delay, 500);
    EXPECT_TRUE(t.auto_scrap);
    EXPECT_EQ(t.on_notify, "n.src");
    list.destroy(t);
  }
}

TEST_F(Records, TheWriterLaysTheNewestLayoutAndRoundTrips) {
  WaveLayout child{140, "kid"};
  const auto bytes = WaveLayout{140, "w", {child.bytes()}}.bytes();
  TNovaComponent& w = read(bytes, 140);
  EXPECT_EQ(write(w), bytes) << "written exactly as laid by hand";
  // Everything a script can set comes back.
  TTestWave& src = wave("src");
  const std::string kana = sjis("子供");
  TTestWave& kid = wave(kana, &src);
  for (int id = 0; id < kPropCount; ++id) {
    const TPropertyInfo& p = kProperties[static_cast<std::size_t>(id)];
    if (!src.Properties().implements(p.id) || p.read_only() || p.id == PR_NAME || p.id == PR_PARENT) continue;
    if (p.type == expr::PT_STR) set(src, id, std::string(p.short_name()) + ".src");
    if (p.type == expr::PT_INT) set(src, id, 1000 + id);
    if (p.type == expr::PT_BOOL) set(src, id, id % 2);
  }
  src.SetReservedRect({-1, -2, -3, -4});
  src.SetMotionX(77);
  src.SetOrderOffset(-8);
  kid.SetHandleKey(true);
  const auto first = write(src);
  auto& back = static_cast<TTestWave&>(read(first, kComponentRecordVersion));
  EXPECT_EQ(write(back), first);
  for (const TPropertyInfo& p : kProperties) {
    if (p.id == PR_NAME) continue;
    EXPECT_EQ(get(back, p.id), get(src, p.id)) << p.name;
  }
  EXPECT_EQ(back.GetChild(0)->Name(), kana);
  EXPECT_TRUE(back.GetChild(0)->HandleKey());
  EXPECT_EQ(back.OrderOffset(), -8);
}

TEST_F(Records, OnlyChildrenThatAreSavedAreWrittenAndCounted) {
  TTestWave& p = wave("p");
  wave("kept", &p);
  TTestWave& gone = wave("gone", &p);
  list.ScheduleDeletion(gone);
  list.make<TTestPicture>().SetParent(&p);  // LT_NONE
  wave(std::string("\x01\x01", 2), &p);     // the screen copy
  wave(std::string("\x01x", 2), &p);
  // The record reads back whole (read() checks that every byte is used),
  // so the count says one child.
  auto& back = static_cast<TTestWave&>(read(write(p), 140));
  ASSERT_EQ(back.ChildCount(), 1);
  EXPECT_EQ(back.GetChild(0)->Name(), "kept");
  EXPECT_FALSE(is_saved(list.front_base()));
}

TEST_F(Records, AStreamOfVersion110LacksTheNewerFields) {
  auto& w = static_cast<TTestWave&>(read(WaveLayout{110}.bytes(), 110));
  EXPECT_EQ(w.Tag(), "");
  EXPECT_EQ(w.MotionX(), 0);
  EXPECT_EQ(w.EventTarget(PR_ONKEYUP), "");
  // Its event entries have a one-byte run level.
  const std::int32_t version = 110;
  core::ByteWriter e;
  e.i32(2);
  for (std::uint8_t level : {0, 7}) {
    e.str("h.src:lbl");
    e.str("w");
    e.u8(PR_ONLBTNDOWN);
    e.u8(level);
    e.i32(2);
    e.str("3");
    e.str("4");
  }
  const auto bytes = e.take();
  core::ByteReader r{std::span<const std::uint8_t>(bytes)};
  list.events().load(r, version, list);
  EXPECT_TRUE(r.at_end());
  ASSERT_EQ(list.events().entries().size(), 2u);
  const EventEntry& first = list.events().entries()[0];
  EXPECT_EQ(first.target, "h.src:lbl");
  EXPECT_EQ(first.sender, w.id());
  EXPECT_EQ(first.level, 0);
  EXPECT_EQ(first.arguments, (std::vector<std::string>{"3", "4"}));
  EXPECT_EQ(list.events().entries()[1].level, 1) << "any non-zero byte is level 1";
}

TEST_F(Records, EventEntriesAcrossTheRunLevelBoundary) {
  TTestWave& w = wave("w");
  for (std::int32_t v : {113, 114}) {
    core::ByteWriter e;
    e.i32(1);
    e.str("t.src");
    e.str("nobody");
    e.u8(PR_ONIDLE);
    if (v >= 114) {
      e.i32(3);
    } else {
      e.u8(3);
    }
    e.i32(0);
    const auto bytes = e.take();
    core::ByteReader r{std::span<const std::uint8_t>(bytes)};
    list.events().load(r, v, list);
    EXPECT_TRUE(r.at_end());
    EXPECT_EQ(list.events().entries().at(0).level, v >= 114 ? 3 : 1);
    EXPECT_TRUE(list.events().entries()[0].sender.none()) << "a sender that is not found is none";
  }
  // The writer: the newest layout, the sender by name, a gone sender empty.
  list.events().clear();
  list.events().append({"a.src", w.id(), PR_ONMOUSEMOVE, 2, {"1", "x"}});
  list.events().append({"b.src", ComponentId(999, 1), PR_ONLBTNUP, 0, {}});
  core::ByteWriter out;
  list.events().save(out, list);
  core::ByteWriter expected;
  expected.i32(2);
  expected.str("a.src");
  expected.str("w");
  expected.u8(PR_ONMOUSEMOVE);
  expected.i32(2);
  expected.i32(2);
  expected.str("1");
  expected.str("x");
  expected.str("b.src");
  expected.str("");
  expected.u8(PR_ONLBTNUP);
  expected.i32(0);
  expected.i32(0);
  EXPECT_EQ(out.data(), expected.data());
  // Damaged entries: an event id outside the table, a negative level, an
  // argument count beyond the bytes. The queue stays as it was.
  const auto entry = [](std::uint8_t id, std::int32_t level, std::int32_t args) {
    core::ByteWriter e;
    e.i32(1);
    e.str("t");
    e.str("");
    e.u8(id);
    e.i32(level);
    e.i32(args);
    return e.take();
  };
  for (const auto& bad : {entry(165, 0, 0), entry(255, 0, 0), entry(1, -1, 0), entry(1, 0, 1000000), entry(1, 0, -1)}) {
    core::ByteReader r{std::span<const std::uint8_t>(bad)};
    EXPECT_THROW(list.events().load(r, 140, list), core::Error);
    EXPECT_EQ(list.events().entries().size(), 2u);
  }
  core::ByteWriter huge;
  huge.i32(0x7FFFFFFF);
  const auto huge_bytes = huge.take();
  core::ByteReader r{std::span<const std::uint8_t>(huge_bytes)};
  EXPECT_THROW(list.events().load(r, 140, list), core::Error) << "a count beyond the bytes left";
}

TEST_F(Records, DamagedStreamsFailWholeAndLeaveNothingBehind) {
  const auto good = WaveLayout{140, "w", {WaveLayout{140, "a"}.bytes(), WaveLayout{140, "b"}.bytes()}}.bytes();
  // Cut anywhere, the read fails and destroys what it made, children too.
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    expect_refused(std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)), 140);
  }
  EXPECT_EQ(list.ItemCount(), 0);
  // Type bytes without a class, after masking.
  for (std::uint8_t type : {0, 1, 10, 28, 0x7F, 0x80 | 1}) {
    auto bytes = good;
    bytes[0] = type;
    expect_refused(bytes, 140);
  }
  auto high = good;
  high[0] = LT_WAVE | 0x80;
  read(high, 140);
  // A class that is not built names itself.
  auto button = good;
  button[0] = LT_BUTTON;
  expect_refused(button, 140, "TNovaButton is not built yet");
  // A child with a type of its own that is not built fails the parent.
  auto inner = WaveLayout{140, "w", {WaveLayout{140, "a"}.bytes()}}.bytes();
  inner[WaveLayout{140, "w"}.bytes().size() - kClassFieldBytes] = LT_MES;
  expect_refused(inner, 140, "TNovaMes is not built yet");
  // A non-visual child.
  expect_refused(WaveLayout{140, "w", {timer_layout(140, "t")}}.bytes(), 140);
  // Versions outside 101 ... 140.
  expect_refused(good, 141);
  expect_refused(good, 100);
  // A child count beyond the bytes left.
  auto counted = WaveLayout{140}.bytes();
  const std::size_t count_at = counted.size() - kClassFieldBytes - 4;
  counted[count_at + 3] = 0x10;
  expect_refused(counted, 140);
}

TEST_F(Records, TreesDeeperThanTheCapFailToLoad) {
  // A level is the part of a one-child record before its child and the
  // part after it, so a deep tree is laid in one pass.
  const std::vector<std::uint8_t> marker = {0xDE, 0xAD, 0xBE, 0xEF, 0x5A};
  const std::vector<std::uint8_t> one = WaveLayout{140, "n", {marker}}.bytes();
  const auto at = std::search(one.begin(), one.end(), marker.begin(), marker.end());
  ASSERT_NE(at, one.end());
  const std::vector<std::uint8_t> before(one.begin(), at), after(at + 5, one.end());
  const auto nested = [&](int levels) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < levels; ++i) bytes.insert(bytes.end(), before.begin(), before.end());
    const std::vector<std::uint8_t> leaf = WaveLayout{140, "leaf"}.bytes();
    bytes.insert(bytes.end(), leaf.begin(), leaf.end());
    for (int i = 0; i < levels; ++i) bytes.insert(bytes.end(), after.begin(), after.end());
    return bytes;
  };
  TNovaComponent& ok = read(nested(kMaxTreeDepth), 140);
  int depth = 0;
  for (const TNovaControl* c = ok.AsControl(); c->ChildCount() > 0; c = c->GetChild(0)) ++depth;
  EXPECT_EQ(depth, kMaxTreeDepth);
  list.destroy(ok);
  expect_refused(nested(kMaxTreeDepth + 1), 140);
  // Under a parent the parent's depth counts.
  TTestWave& top = wave("top");
  const auto bytes = nested(kMaxTreeDepth);
  core::ByteReader r{std::span<const std::uint8_t>(bytes)};
  EXPECT_THROW(list.ReadComponent(r, 140, &top), core::Error);
  EXPECT_EQ(list.ItemCount(), 1);
}

TEST_F(Records, NamesAreSetAsTheyStandAndSubclassesComeBackAsTheirBase) {
  // Two saved components of one name: both keep it, and the lookup finds
  // the first registered, as a scan of the registry would.
  TNovaComponent& first = read(WaveLayout{140, "twin"}.bytes(), 140);
  TNovaComponent& second = read(WaveLayout{140, "twin"}.bytes(), 140);
  EXPECT_EQ(first.Name(), "twin");
  EXPECT_EQ(second.Name(), "twin");
  EXPECT_EQ(list.FindComponent("twin"), &first);
  list.ScheduleDeletion(first);
  EXPECT_EQ(list.FindComponent("twin"), &second);
  // An afterimage saves as its base's type and loads as the base class.
  auto& after = list.make<TTestAfterimage>();
  after.alpha = 99;
  after.SetName("after");
  TNovaComponent& back = read(write(after), 140);
  EXPECT_EQ(back.Name(), "after");
  EXPECT_FALSE(back.IsAfterimage());
  EXPECT_EQ(dynamic_cast<TTestAfterimage*>(&back), nullptr);
  EXPECT_NE(dynamic_cast<TTestWave*>(&back), nullptr);
  // A loaded control sorts its children.
  WaveLayout p{140, "p"};
  for (const char* n : {"c", "a", "b"}) p.children.push_back(WaveLayout{140, n}.bytes());
  TNovaControl& loaded = *read(p.bytes(), 140).AsControl();
  EXPECT_EQ(loaded.GetChild(0)->Name(), "a");
  EXPECT_EQ(loaded.GetChild(2)->Name(), "c");
}

}  // namespace
}  // namespace nova::test
