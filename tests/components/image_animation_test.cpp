// Frame animation, the extra pause and what it may do to the image,
// afterimages, and the image records across their versions.
#include <gtest/gtest.h>

#include "components/component_records.h"
#include "core/binary_io.h"
#include "expr/nova_parser.h"
#include "image_fixture.h"
#include "record_layouts.h"

namespace nova::test {
namespace {

std::string frames_of(int n, std::int32_t delay) {
  std::vector<PlainFrame> f;
  for (int i = 0; i < n; ++i) f.push_back(solid_frame(2, 2, 0x101010u * static_cast<std::uint32_t>(i + 1), delay));
  return plain_bri(f);
}

TEST_F(ImageScene, ThreeFramesStopOnTheLastAndRaisePlayEndWithOneEntryPending) {
  files.put("three.bri", frames_of(3, 100));
  TNovaImages& i = image("i", "three.bri");
  set(i, PR_ONPLAYEND, "end.src");
  int t = 0;
  int reached_last = -1, first_end = -1;
  while (t < 600) {
    frame(15);
    t += 15;
    if (reached_last < 0 && i.Index() == 2) reached_last = t;
    if (first_end < 0 && !list.events().entries().empty()) first_end = t;
  }
  EXPECT_EQ(reached_last, 210) << "the last frame after about 200 ms";
  EXPECT_EQ(first_end, 300) << "after its own 100 ms, PR_ONPLAYEND";
  EXPECT_EQ(i.Index(), 2);
  EXPECT_FALSE(read_flag(i, PR_PLAYING));
  ASSERT_EQ(list.events().entries().size(), 1u) << "raised every update, never twice while one waits";
  list.events().first_pending()->level = 1;  // its handler runs
  frame(15);
  EXPECT_EQ(list.events().entries().size(), 2u) << "raised again while the first runs";
  // Auto scrap ends the image instead.
  TNovaImages& scrap = image("scrap", "three.bri");
  set(scrap, PR_AUTOSCRAP, 1);
  for (int k = 0; k < 30; ++k) frame(15);
  EXPECT_EQ(list.FindComponent("scrap"), nullptr);
}

TEST_F(ImageScene, OneTwoAndThreeFramesStepByTheirRules) {
  files.put("one.bri", frames_of(1, 100));
  files.put("two.bri", frames_of(2, 100));
  TNovaImages& one = image("one", "one.bri");
  TNovaImages& two = image("two", "two.bri");
  set(one, PR_REPEAT, 1);
  set(two, PR_REPEAT, 1);
  frame(150);
  EXPECT_EQ(one.Index(), 0);
  EXPECT_EQ(one.Remaining(), 100) << "one wrap: the time set to 0, then frame 0's delay";
  EXPECT_EQ(two.Index(), 1);
  EXPECT_EQ(two.Remaining(), 100) << "with two frames the overshoot is dropped";
  files.put("three.bri", frames_of(3, 100));
  TNovaImages& three = image("three", "three.bri");
  set(three, PR_REPEAT, 1);
  frame(150);
  EXPECT_EQ(three.Index(), 1);
  EXPECT_EQ(three.Remaining(), 50) << "with three the overshoot is kept";
  frame(300);
  EXPECT_EQ(three.Index(), 0) << "one wrap per update at most";
  EXPECT_EQ(three.Remaining(), 100);
  // Pausing and hiding restart the frame's time.
  set(three, PR_PAUSED, 1);
  EXPECT_EQ(three.Remaining(), 0);
  frame(500);
  EXPECT_EQ(three.Index(), 0);
  set(three, PR_PAUSED, 0);
  frame(30);
  EXPECT_EQ(three.Index(), 1) << "a restarted time steps at once";
  EXPECT_EQ(three.Remaining(), 100);
  set(three, PR_VISIBLE, 0);
  EXPECT_EQ(three.Remaining(), 0);
  // A one-frame tile wraps onto the frame it already shows: no picture
  // changes, so it keeps the area the script gave it, wrap after wrap.
  TNovaTile& t = tile("t", "one.bri", {0, 0, 7, 5});
  for (int k = 0; k < 25; ++k) {
    frame(15);
    ASSERT_EQ(get_int(t, PR_WIDTH), 7) << k;
    ASSERT_EQ(get_int(t, PR_HEIGHT), 5) << k;
  }
  EXPECT_EQ(t.Index(), 0);
  EXPECT_EQ(t.Remaining(), 40) << "wraps at every 7th frame, each dropping the overshoot";
}

TEST_F(ImageScene, TheExtraPauseMayResourceOrDeleteTheImageAndTheSteppingStops) {
  files.put("three.bri", frames_of(3, 10));
  files.put("other.bri", frames_of(2, 10));
  TNovaImages& i = image("i", "three.bri");
  set(i, PR_REPEAT, 1);
  i.SetExtraPause(expr::compile_expression("x = 40"));
  script.on_run = [] { return 40; };
  frame(25);
  EXPECT_EQ(i.Index(), 2);
  EXPECT_EQ(i.Remaining(), 45) << "the last frame's delay plus the pause (10 - 25 + 10 + 10 + 40)";
  EXPECT_EQ(script.runs, 1);
  // The expression re-sources the image: the new picture's frame stands.
  set(i, PR_INDEX, 1);
  i.SetRemaining(0);
  script.on_run = [&]() -> std::optional<std::int32_t> {
    set(i, PR_SOURCE, "other.bri");
    return 1000;
  };
  frame(25);
  EXPECT_EQ(i.Source(), "other.bri");
  EXPECT_EQ(i.Index(), 0);
  EXPECT_EQ(i.Remaining(), 10) << "the pause of the old picture is not added";
  // Or deletes it: nothing more happens to it in this update.
  set(i, PR_SOURCE, "three.bri");
  script.on_run = [&]() -> std::optional<std::int32_t> {
    list.ScheduleDeletion(i);
    return 0;
  };
  frame(25);
  EXPECT_EQ(list.ItemCount(), 0);
}

TEST_F(ImageScene, AfterimagesFollowAMovingImageFadeOutAndAreCapped) {
  files.put("m.bri", plain_bri({solid_frame(2, 2, 0xF0F0F0)}));
  TNovaImages& m = image("m", "m.bri", 0, 10);
  set(m, PR_BLURSPAN, 50);
  set(m, PR_BLURDELAY, 500);
  const auto afterimages = [&](ComponentId of = {}) {
    int n = 0;
    for (int k = 0; k < list.ItemCount(); ++k) {
      const TNovaObject* o = list.GetItem(k);
      n += o->IsAfterimage() && (!of || o->AfterimageSource() == of) ? 1 : 0;
    }
    return n;
  };
  for (int k = 0; k < 20; ++k) frame(10);
  EXPECT_EQ(afterimages(), 0) << "a still image leaves none";
  int most = 0;
  for (int k = 0; k < 40; ++k) {  // 400 ms of moving
    set(m, PR_LEFT, k + 1);
    frame(10);
    most = std::max(most, afterimages());
  }
  EXPECT_EQ(most, 8) << "one every 50 ms";
  const TNovaObject* first = list.FindComponent("m0");
  ASSERT_NE(first, nullptr);
  EXPECT_GT(first->AfterimageAlpha(), 0);
  EXPECT_LT(first->AfterimageAlpha(), 127 / 2) << "started at 127, more than half of its life gone";
  EXPECT_LT(first->AfterimageAlpha(), list.FindComponent("m7")->AfterimageAlpha()) << "older ones are fainter";
  for (int k = 0; k < 50; ++k) frame(10);
  EXPECT_EQ(afterimages(), 0) << "each gone after 500 ms";

  // Afterimages outlive a re-sourced or destroyed source and still draw.
  set(m, PR_LEFT, 45);
  for (int k = 0; k < 6; ++k) frame(10);
  ASSERT_EQ(afterimages(), 1);
  set(m, PR_SOURCE, "");
  EXPECT_NE(cache.Find("m.bri"), nullptr) << "the afterimage is a user of its own";
  compose();
  list.destroy(m);
  compose();
  EXPECT_NE(at(45, 10), px(kBackground)) << "the afterimage still shows the picture";

  // A 1 ms span on a long life stops at 256 alive.
  TNovaImages& fast = image("fast", "m.bri");
  set(fast, PR_BLURSPAN, 1);
  set(fast, PR_BLURDELAY, 100000);
  for (int k = 0; k < 300; ++k) {
    set(fast, PR_TOP, k % 40);
    frame(1);
  }
  EXPECT_EQ(afterimages(fast.id()), kMaxAfterimages);
}

TEST(Afterimages, StartAtHalfStrengthAndFadeRoundingHalvesToEven) {
  EXPECT_EQ(afterimage_start_alpha(255), 127);
  EXPECT_EQ(afterimage_start_alpha(384), 256 + 64) << "an additive source stays additive";
  AfterimageLife life{{}, 127, 500, 0, 0, 0};
  EXPECT_EQ(life.step(250), 127 - 64) << "63.5 rounds to 64";
  AfterimageLife add{{}, 320, 500, 0, 0, 0};
  EXPECT_EQ(add.step(125), 320 - 16);
  EXPECT_EQ(add.step(374), 256) << "faded to zero strength in the additive range";
  EXPECT_EQ(add.step(1), std::nullopt) << "gone at its life time";
}

// The records of the three kinds, and an image's remaining time after a load.
class ImageRecords : public ImageScene {
 protected:
  TNovaComponent& reload(const TNovaComponent& c, std::int32_t version = kComponentRecordVersion) {
    core::ByteWriter w;
    list.WriteComponent(w, c);
    const std::vector<std::uint8_t> bytes = w.take();
    core::ByteReader r(bytes);
    TNovaComponent& again = list.ReadComponent(r, version, nullptr);
    EXPECT_TRUE(r.at_end());
    return again;
  }
};

TEST_F(ImageRecords, EveryKindRoundTripsAndAReloadedImageKeepsItsTime) {
  files.put("a.bri", frames_of(3, 100));
  files.put("m.map", "");
  TNovaImages& i = image("i", "a.bri", 3, 4);
  set(i, PR_ALPHA, 300);
  set(i, PR_ZOOMY, 512);
  set(i, PR_BLURSPAN, 7);
  set(i, PR_BRIGHTNESS, -5);
  set(i, PR_ONIDLE, "idle.src");
  i.SetExtraPause(expr::compile_expression("x = 3"));
  frame(130);
  ASSERT_EQ(i.Index(), 1);
  ASSERT_EQ(i.Remaining(), 70);
  auto& back = static_cast<TNovaImages&>(reload(i));
  EXPECT_EQ(back.Index(), 1);
  EXPECT_EQ(back.Remaining(), 70) << "the saved time left, no delay on top";
  EXPECT_EQ(get_int(back, PR_ALPHA), 300);
  EXPECT_EQ(get_int(back, PR_ZOOMY), 512);
  EXPECT_EQ(get_int(back, PR_HEIGHT), 4);
  EXPECT_EQ(get_int(back, PR_BLURSPAN), 7);
  EXPECT_EQ(get_int(back, PR_BRIGHTNESS), -5);
  EXPECT_EQ(back.OnIdle(), "idle.src");
  EXPECT_FALSE(back.ExtraPause().empty());
  EXPECT_EQ(cache.Find("a.bri")->UserCount(), 2);

  TNovaTile& t = tile("t", "a.bri", {1, 2, 30, 20});
  set(t, PR_SCROLLX, -3);
  set(t, PR_DISTANCEY, 9);
  auto& tb = static_cast<TNovaTile&>(reload(t));
  EXPECT_EQ(get_int(tb, PR_WIDTH), 30) << "a tile keeps its area";
  EXPECT_EQ(tb.ScrollX(), -3);
  EXPECT_EQ(tb.DistanceY(), 9);

  TNovaMapImage& mi = map_image("mi", "a.bri", "a.bri", "m.map");
  set(mi, PR_RCLICKSCRAP, 1);
  set(mi, PR_ONSELECT, "sel.src");
  mi.StartClosing();
  auto& mb = static_cast<TNovaMapImage&>(reload(mi));
  EXPECT_EQ(mb.MapSource(), "m.map");
  EXPECT_TRUE(read_flag(mb, PR_RCLICKSCRAP));
  EXPECT_EQ(mb.CloseState(), kMapClosing);
  EXPECT_TRUE(mb.IsEventBlocked());
}

TEST_F(ImageRecords, HandBuiltOlderRecordsReadOnlyTheFieldsOfTheirVersion) {
  files.put("a.bri", frames_of(2, 100));
  for (std::int32_t version : {103, 104, 114, 115, 139, 140}) {
    SCOPED_TRACE(version);
    core::ByteWriter w;
    lay_control(w, version, LT_IMAGES, "old");
    w.i32(200);  // alpha
    w.i32(512);  // zoom x
    w.i32(3);    // angle
    w.u8(1);
    w.u8(0);
    w.u8(1);
    if (version >= 104) w.i32(768);
    if (version >= 140) {
      w.i32(11);
      w.i32(22);
    }
    w.i32(33);  // remaining
    w.i32(1);   // frame index
    w.i32(4);   // brightness
    w.u8(0);    // paused
    expr::compile_expression("x = 1").save(w);
    w.u8(1);  // repeat
    w.u8(0);  // auto scrap
    w.str("a.bri");
    w.str("end.src");
    if (version >= 104) w.str("idle.src");
    const std::vector<std::uint8_t> bytes = w.take();
    core::ByteReader r(bytes);
    auto& c = static_cast<TNovaImages&>(list.ReadComponent(r, version, nullptr));
    EXPECT_TRUE(r.at_end());
    EXPECT_EQ(get_int(c, PR_ZOOMY), version >= 104 ? 768 : 256);
    EXPECT_EQ(get_int(c, PR_BLURDELAY), version >= 140 ? 22 : 0);
    EXPECT_EQ(c.OnIdle(), version >= 104 ? "idle.src" : "");
    EXPECT_EQ(c.Index(), 1);
    EXPECT_EQ(c.Remaining(), 33);
    EXPECT_EQ(get_int(c, PR_WIDTH), 4) << "the size of the reloaded picture at zoom 512";

    core::ByteWriter m;
    lay_control(m, version, LT_MAPIMG, "map");
    for (const char* s : {"a.bri", "", ""}) m.str(s);
    m.i32(128);
    m.i32(0);
    m.str("in.src");
    m.str("out.src");
    m.u8(0);
    m.u8(1);
    if (version >= 104) {
      m.str("idle.src");
      m.u8(1);
      m.str("sel.src");
    }
    if (version >= 115) m.i32(kMapClosingLast);
    const std::vector<std::uint8_t> map_bytes = m.take();
    core::ByteReader mr(map_bytes);
    auto& mc = static_cast<TNovaMapImage&>(list.ReadComponent(mr, version, nullptr));
    EXPECT_TRUE(mr.at_end());
    EXPECT_EQ(mc.CloseState(), version >= 115 ? kMapClosingLast : 0);
    EXPECT_EQ(read_flag(mc, PR_PAUSED), version >= 104);
    list.destroy(c);
    list.destroy(mc);
  }
}

}  // namespace
}  // namespace nova::test
