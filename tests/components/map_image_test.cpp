// Map images: the hovered area (first in the file wins), its events, the
// hover picture inside the area only, selection, the right-click close two
// updates long, and damaged map files.
#include <gtest/gtest.h>

#include "core/log.h"
#include "image_fixture.h"
#include "map_files.h"

namespace nova::test {
namespace {

constexpr std::uint32_t kNormal = 0x202020, kHover = 0xE0E0E0;

class MapScene : public ImageScene {
 protected:
  MapScene() {
    files.put("n.bri", plain_bri({solid_frame(12, 12, kNormal)}));
    files.put("h.bri", plain_bri({solid_frame(12, 12, kHover)}));
    files.put(
        "m.map",
        map_bytes({{"a", 0, {2, 2, 4, 4}, {}}, {"b", 1, {3, 3, 9, 9}, {}}, {"c", 2, {}, {{0, 11}, {4, 11}, {0, 7}}}}));
  }
  void move(int x, int y) {
    list.front_base().SetPointer(x, y);
    frame();
  }
  void press(bool left) {
    TNovaBase& b = list.front_base();
    if (left) {
      b.left_pressed = b.left_held = true;
    } else {
      b.right_pressed = b.right_held = true;
    }
    frame();
    b.left_held = b.right_held = false;
  }
};

TEST_F(MapScene, HoverPicksTheFirstAreaRaisesItsEventsAndShowsTheHoverPictureInsideIt) {
  TNovaMapImage& m = map_image("map", "n.bri", "h.bri", "m.map");
  set(m, PR_LEFT, 10);
  set(m, PR_TOP, 10);
  for (int id : {PR_ONMAPIN, PR_ONMAPOUT}) set(m, id, "e.src");
  ASSERT_EQ(m.Areas().size(), 3u);
  EXPECT_EQ(get_int(m, PR_WIDTH), 12);
  // Both are drawn through planes of 255 where they show (a weight of 255).
  const std::uint32_t normal = blend(kNormal, px(kBackground), 255), hover = blend(kHover, px(kBackground), 255);
  move(13, 13);
  EXPECT_EQ(m.Hovered(), 0) << "a and b overlap at (3, 3): a comes first";
  EXPECT_EQ(event_names(), (std::vector<std::string>{"PR_ONMAPIN a 0"}));
  compose();
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 12; ++x) {
      const bool inside = x >= 2 && x <= 4 && y >= 2 && y <= 4;
      ASSERT_EQ(at(10 + x, 10 + y), inside ? hover : normal) << x << "," << y;
    }
  }
  list.events().clear();
  move(17, 17);
  EXPECT_EQ(m.Hovered(), 1);
  EXPECT_EQ(event_names(), (std::vector<std::string>{"PR_ONMAPOUT a 0", "PR_ONMAPIN b 1"}));
  compose();
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 12; ++x) {
      const bool inside = m.Areas()[1].region.contains(x, y);
      ASSERT_EQ(at(10 + x, 10 + y), inside ? hover : normal) << x << "," << y;
    }
  }
  list.events().clear();
  move(11, 20);
  EXPECT_EQ(m.Hovered(), 2) << "inside the triangle";
  EXPECT_EQ(event_names(), (std::vector<std::string>{"PR_ONMAPOUT b 1", "PR_ONMAPIN c 2"}));
  move(21, 11);
  EXPECT_EQ(m.Hovered(), -1);
  EXPECT_EQ(event_names(), (std::vector<std::string>{"PR_ONMAPOUT b 1", "PR_ONMAPIN c 2"}))
      << "no second PR_ONMAPOUT while one waits";
  list.events().clear();
  move(12, 20);
  move(21, 11);
  EXPECT_EQ(event_names(), (std::vector<std::string>{"PR_ONMAPIN c 2", "PR_ONMAPOUT c 2"}));
  compose();
  EXPECT_EQ(at(12, 12), normal) << "no area hovered: the normal picture whole";
}

TEST_F(MapScene, SelectionSetsTheValuesAndARightClickClosesTwoUpdatesLater) {
  TNovaMapImage& m = map_image("map", "n.bri", "h.bri", "m.map");
  set(m, PR_ONSELECT, "sel.src");
  move(6, 6);
  ASSERT_EQ(m.Hovered(), 1);
  list.events().clear();
  press(true);
  EXPECT_EQ(script.sel_str, "b");
  EXPECT_EQ(script.sel_index, 1);
  EXPECT_EQ(event_names(), (std::vector<std::string>{"PR_ONSELECT b 1"}));
  // Paused, it selects nothing.
  set(m, PR_PAUSED, 1);
  script.sel_index = 7;
  press(true);
  EXPECT_EQ(script.sel_index, 7);
  set(m, PR_PAUSED, 0);

  set(m, PR_RCLICKSCRAP, 1);
  press(false);
  EXPECT_EQ(script.sel_str, "");
  EXPECT_EQ(script.sel_index, -1);
  EXPECT_TRUE(m.IsEventBlocked());
  EXPECT_EQ(m.CloseState(), kMapClosingLast) << "the press's own update moved it on";
  frame();
  EXPECT_EQ(list.FindComponent("map"), nullptr) << "gone two updates after closing began";
}

TEST_F(MapScene, DamagedAndMissingMapsGiveNoAreasAndDamageIsLogged) {
  std::vector<std::string> errors;
  core::LogSink sink([&](core::Channel, core::Level l, std::string_view msg) {
    if (l == core::Level::Error) errors.emplace_back(msg);
  });
  std::string damaged = map_bytes({{"a", 2, {}, {{0, 0}, {5, 0}, {0, 5}}}});
  damaged.resize(damaged.size() - 3);
  files.put("bad.map", damaged);
  core::ByteWriter huge;
  huge.i32(0x7FFFFFFF);
  files.put("huge.map", huge.take_string());
  core::ByteWriter points;
  points.i32(1);
  points.str("p");
  points.u8(7);
  points.i32(0x10000000);
  files.put("points.map", points.take_string());
  TNovaMapImage& m = map_image("map", "n.bri", "h.bri", "none.map");
  EXPECT_TRUE(m.Areas().empty());
  EXPECT_TRUE(errors.empty()) << "a missing map is no error";
  for (const char* name : {"bad.map", "huge.map", "points.map"}) {
    set(m, PR_MAPSOURCE, name);
    EXPECT_TRUE(m.Areas().empty()) << name;
    ASSERT_FALSE(errors.empty()) << name;
    EXPECT_NE(errors.back().find(name), std::string::npos) << errors.back();
  }
}

}  // namespace
}  // namespace nova::test
