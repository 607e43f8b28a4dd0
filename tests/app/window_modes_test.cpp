// The player in a real window (X11 under Xvfb, or Wayland under weston):
// a title switches to full screen and back through @FullScr, the window's
// client area follows the output and comes back, and what the panel shows
// is what the headless player shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace nova {
namespace {

namespace fs = std::filesystem;

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

TEST(WindowModes, FullScreenThroughTheSystemVariableAndBack) {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) GTEST_SKIP() << "no display";
  const bool wayland = std::getenv("WAYLAND_DISPLAY") != nullptr;
  test::TempDir dir;
  test::write_file(dir / "src" / "project.nvp", "title: modes\nscreen: 640x480\nstart: start.nsb\n");
  test::write_file(dir / "src" / "start.nvs",
                   "Wait; while: @UpdateCount < 50\n"
                   "Calc @FullScr = TRUE\n"
                   "Wait; while: @UpdateCount < 100\n"
                   "Calc @FullScr = FALSE\n"
                   "Wait\n");
  const fs::path nova = test::binary_dir() / "tools" / "nova";
  const fs::path player = test::binary_dir() / "src" / "app" / "novaplayer";
  std::string log;
  ASSERT_EQ(test::run_command(quoted(nova) + " build " + quoted(dir / "src") + " " + quoted(dir / "t") + " 2>&1", &log),
            0)
      << log;
  auto play = [&](const std::string& options, const std::string& tag) {
    std::string out;
    const std::string shots = " --screenshot 30:" + quoted(dir / (tag + "30.png")) + " --screenshot 80:" +
                              quoted(dir / (tag + "80.png")) + " --screenshot 150:" + quoted(dir / (tag + "150.png"));
    EXPECT_EQ(test::run_command("NOVA_LOG=app=info " + quoted(player) + " " + options + " --max-ticks 200" + shots +
                                    " " + quoted(dir / "t") + " 2>&1",
                                &out),
              0)
        << out;
    return out;
  };
  const std::string shown = play("", "window");
  EXPECT_NE(shown.find(std::string("window system: ") + (wayland ? "wayland" : "x11")), std::string::npos) << shown;
  // The client area is the output's while full screen (1280 × 1024 for the
  // X server, 1024 × 768 for the compositor's output), then the window's
  // again: the screen and the tool bar's dock.
  const std::string full = wayland ? "1024x768" : "1280x1024";
  const auto went = shown.find("full screen: the window's client area is " + full);
  const auto back = shown.find("window: the window's client area is 640x502");
  EXPECT_NE(went, std::string::npos) << shown;
  EXPECT_NE(back, std::string::npos) << shown;
  EXPECT_LT(went, back);
  // The panel's pixels are the headless player's, before, during and after.
  play("--headless", "headless");
  for (const char* tick : {"30", "80", "150"}) {
    EXPECT_EQ(test::read_file(dir / (std::string("window") + tick + ".png")),
              test::read_file(dir / (std::string("headless") + tick + ".png")))
        << "tick " << tick;
    EXPECT_FALSE(test::read_file(dir / (std::string("window") + tick + ".png")).empty());
  }
}

}  // namespace
}  // namespace nova
