// The player's window on a 1920 × 1080 X server (run under xvfb-run): it
// opens at the whole factor, keeps the picture scaled when resized, covers
// the display with Alt+Return and comes back with F11, and a click on a
// displayed pixel reaches the panel pixel it shows.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/form_view.h"
#include "fakes.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace nova::app {
namespace {

using namespace std::chrono_literals;
using test::eventually;

std::string xwininfo(const std::string& args) {
  std::string out;
  test::run_command("LC_ALL=C.UTF-8 xwininfo " + args + " 2>/dev/null", &out);
  return out;
}

bool has(const std::string& info, const std::string& what) { return info.find(what) != std::string::npos; }

TEST(PlayerWindowOnX11, WholeFactorResizeFullScreenKeysAndExactClicks) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  test::TempDir dir;
  auto platform = platform::create_platform(platform::Backend::Sdl);
  if (platform->desktop_mode().width != 1920) GTEST_SKIP() << "wants a 1920 × 1080 screen";
  PlayerContext ctx(*platform, {}, dir.path());
  ctx.options.player.scale = platform::ScaleMode::Fit;
  testing::FakeFactory factory;
  factory.real_screen = true;
  ctx.options.max_ticks = 4000;  // a safety net
  TFormView view(ctx, factory);
  view.FormCreate();
  const std::string id = std::to_string(view.window()->native_handle());
  std::string opened, resized, full, back;
  std::thread driver([&] {
    eventually([&] { return has(xwininfo("-id " + id), "Map State: IsViewable"); });
    opened = xwininfo("-id " + id);
    // The user makes the window wider: the picture keeps its height (twice
    // the screen) and is centred.
    test::run_command("xdotool windowsize " + id + " 1500 982");
    eventually([&] { return has(resized = xwininfo("-id " + id), "Width: 1500"); });
    std::this_thread::sleep_for(300ms);
    // A click on the window pixel that shows panel pixel (333, 201).
    test::run_command("xdotool mousemove --window " + id + " " + std::to_string(110 + 2 * 333 + 1) + " " +
                      std::to_string(22 + 2 * 201 + 1) + " click 1");
    std::this_thread::sleep_for(300ms);
    test::run_command("xdotool key alt+Return");
    eventually([&] { return has(full = xwininfo("-id " + id), "Width: 1920") && has(full, "Height: 1080"); });
    std::this_thread::sleep_for(300ms);
    // Without a window manager nobody gives the covering window the focus
    // back after the server re-mapped it; a desktop would.
    test::run_command("xdotool windowfocus " + id);
    std::this_thread::sleep_for(200ms);
    test::run_command("xdotool mousemove 960 700 key F11");
    eventually([&] { return has(back = xwininfo("-id " + id), "Width: 1500") && has(back, "Height: 982"); });
    std::this_thread::sleep_for(300ms);
    // Close: "終了" and Yes (Enter).
    test::run_command("xdotool mousemove --window " + id + " 20 11 click 1");
    eventually([&] { return xwininfo("-root -tree").find("\"テスト\"") != std::string::npos; });
    std::this_thread::sleep_for(200ms);
    test::run_command("xdotool key Return");
  });
  view.run();
  driver.join();
  // 640 × 480 on 1920 × 1080: twice, the strip above the picture.
  EXPECT_TRUE(has(opened, "Width: 1280")) << opened;
  EXPECT_TRUE(has(opened, "Height: 982")) << opened;
  EXPECT_TRUE(has(full, "Absolute upper-left X:  0")) << full;
  EXPECT_TRUE(has(back, "Width: 1500")) << back;
  EXPECT_EQ(factory.log.count("move 333,201"), 1) << "the click landed on the panel pixel it showed";
  EXPECT_EQ(factory.log.count("press L-"), 1);
  EXPECT_EQ(view.window()->picture_transform().target, platform::Rect::from_size(110, 22, 1280, 960));
  EXPECT_FALSE(view.full_screen());
  EXPECT_LT(view.ticks_run(), 4000);
}

}  // namespace
}  // namespace nova::app
