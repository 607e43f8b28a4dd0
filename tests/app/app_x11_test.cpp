// The main window on a real X server (run under xvfb-run): what the server
// reports of it, and the exit button's question.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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

std::string xwininfo(const std::string& args) {
  std::string out;
  test::run_command("LC_ALL=C.UTF-8 xwininfo " + args + " 2>/dev/null", &out);
  return out;
}

using test::eventually;

TEST(MainWindowOnX11, OpensWithToolBarAndAsksBeforeExiting) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  setenv("LANG", "ja_JP.UTF-8", 1);
  test::TempDir dir;
  auto platform = platform::create_platform(platform::Backend::Sdl);
  PlayerContext ctx(*platform, {}, dir.path());
  testing::FakeFactory factory;
  // A safety net: a run that nobody ends stops after 2000 ticks.
  ctx.options.max_ticks = 2000;
  TFormView view(ctx, factory);
  view.FormCreate();
  const std::string id = std::to_string(view.window()->native_handle());

  std::atomic<bool> checked{false};
  std::string info, box_tree;
  bool asked = false, answered_no = false;
  std::thread driver([&] {
    // The server's own report of the window.
    eventually([&] {
      info = xwininfo("-id " + id);
      return info.find("Map State: IsViewable") != std::string::npos;
    });
    // Click "終了" (the first tool-bar button), then answer No with Escape.
    // The main window and the box are both named after the project.
    auto titled = [](const std::string& tree) {
      int n = 0;
      for (auto at = tree.find("\"テスト\""); at != std::string::npos; at = tree.find("\"テスト\"", at + 1)) ++n;
      return n;
    };
    test::run_command("xdotool mousemove --window " + id + " 20 11 click 1");
    asked = eventually([&] {
      box_tree = xwininfo("-root -tree");
      return titled(box_tree) >= 2;
    });
    test::run_command("xdotool mousemove 640 512 key Escape");
    answered_no = eventually([&] { return titled(xwininfo("-root -tree")) == 1; });
    checked = true;
    // Now close it for good: Yes is the box's Enter key.
    std::this_thread::sleep_for(300ms);
    test::run_command("xdotool mousemove --window " + id + " 20 11 click 1");
    eventually([&] { return titled(xwininfo("-root -tree")) >= 2; });
    test::run_command("xdotool mousemove 640 512 key Return");
  });
  view.run();
  driver.join();
  unsetenv("LANG");

  EXPECT_NE(info.find("\"テスト\""), std::string::npos) << "the project's title is the caption\n" << info;
  EXPECT_NE(info.find("Width: 640"), std::string::npos) << info;
  EXPECT_NE(info.find("Height: 502"), std::string::npos) << info;
  EXPECT_TRUE(checked);
  EXPECT_TRUE(asked) << box_tree;
  EXPECT_TRUE(answered_no);
  // The second question was answered Yes, long before the safety net.
  EXPECT_LT(view.ticks_run(), 2000);
  EXPECT_GT(factory.log.count("tick"), 0);
}

TEST(MainWindowOnX11, SwitchesToFullScreenAndBack) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  test::TempDir dir;
  auto platform = platform::create_platform(platform::Backend::Sdl);
  const platform::DisplayMode desk = platform->desktop_mode();
  PlayerContext ctx(*platform, {}, dir.path());
  testing::FakeFactory factory;
  factory.real_screen = true;
  ctx.options.max_ticks = 3000;
  TFormView view(ctx, factory);
  view.FormCreate();
  const std::string id = std::to_string(view.window()->native_handle());
  std::string windowed, full, back;
  auto geometry = [&] { return xwininfo("-id " + id); };
  auto has = [](const std::string& info, const std::string& what) { return info.find(what) != std::string::npos; };
  std::thread driver([&] {
    eventually([&] { return has(geometry(), "Map State: IsViewable"); });
    windowed = geometry();
    // "画面切替" is the second tool-bar button.
    test::run_command("xdotool mousemove --window " + id + " 90 11 click 1");
    eventually([&] {
      full = geometry();
      return has(full, "Width: " + std::to_string(desk.width)) && has(full, "Absolute upper-left X:  0");
    });
    // In full screen the bar shows while the pointer is on the top row; then
    // the same button switches back.
    test::run_command("xdotool mousemove 90 0");
    std::this_thread::sleep_for(300ms);
    test::run_command("xdotool mousemove 90 11 click 1");
    // The size and the place come back in separate steps of the server:
    // wait for both, so a loaded machine does not read between them.
    auto place = [&](const std::string& info) {
      auto at = info.find("Absolute upper-left");
      return at == std::string::npos ? std::string() : info.substr(at, info.find("Relative", at) - at);
    };
    eventually([&] {
      back = geometry();
      return has(back, "Width: 640") && has(back, "Height: 502") && place(back) == place(windowed);
    });
    std::this_thread::sleep_for(200ms);
    test::run_command("xdotool mousemove --window " + id + " 20 11 click 1");
    eventually([&] { return xwininfo("-root -tree").find("\"テスト\"") != std::string::npos; });
    test::run_command("xdotool key Return");
  });
  view.run();
  driver.join();
  auto line = [](const std::string& info, const std::string& key) {
    auto at = info.find(key);
    return at == std::string::npos ? std::string() : info.substr(at, info.find('\n', at) - at);
  };
  EXPECT_TRUE(has(full, "Width: " + std::to_string(desk.width))) << full;
  EXPECT_TRUE(has(full, "Height: " + std::to_string(desk.height))) << full;
  EXPECT_TRUE(has(back, "Width: 640")) << back;
  EXPECT_TRUE(has(back, "Height: 502")) << back;
  // The window came back to where it was.
  EXPECT_EQ(line(back, "Absolute upper-left X"), line(windowed, "Absolute upper-left X")) << back;
  EXPECT_EQ(line(back, "Absolute upper-left Y"), line(windowed, "Absolute upper-left Y")) << back;
  EXPECT_LT(view.ticks_run(), 3000);
}

}  // namespace
}  // namespace nova::app

namespace nova::app {
namespace {

TEST(MainWindowOnX11, ASignalDuringTheExitQuestionClosesInOrder) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  platform::handle_quit_signals();
  test::TempDir dir;
  auto platform = platform::create_platform(platform::Backend::Sdl);
  PlayerContext ctx(*platform, {}, dir.path());
  testing::FakeFactory factory;
  ctx.options.max_ticks = 20000;  // a safety net far away
  TFormView view(ctx, factory);
  view.FormCreate();
  const std::string id = std::to_string(view.window()->native_handle());
  bool asked = false;
  std::thread driver([&] {
    eventually([&] { return xwininfo("-id " + id).find("Map State: IsViewable") != std::string::npos; });
    test::run_command("xdotool mousemove --window " + id + " 20 11 click 1");
    asked = eventually([&] {
      const std::string tree = xwininfo("-root -tree");
      int n = 0;
      for (auto at = tree.find("\"テスト\""); at != std::string::npos; at = tree.find("\"テスト\"", at + 1)) ++n;
      return n >= 2;
    });
    // The question is open: the session asks the player to end.
    kill(getpid(), SIGTERM);
  });
  view.run();
  driver.join();
  EXPECT_TRUE(asked);
  EXPECT_TRUE(view.closed());
  EXPECT_LT(view.ticks_run(), 20000) << "closed by the signal, not by the safety net";
  // In order: the project (its exit page, the status) before the rest.
  auto& calls = factory.log.calls;
  auto pos = [&](const char* c) { return std::find(calls.begin(), calls.end(), c) - calls.begin(); };
  ASSERT_LT(pos("project freed"), static_cast<long>(calls.size()));
  EXPECT_LT(pos("project freed"), pos("media finalized"));
}

}  // namespace
}  // namespace nova::app
