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
    const std::string shots = " --screenshot 30:" + quoted(dir / (tag + "30.png")) +
                              " --screenshot 80:" + quoted(dir / (tag + "80.png")) +
                              " --screenshot 150:" + quoted(dir / (tag + "150.png"));
    EXPECT_EQ(test::run_command("NOVA_LOG=app=info " + quoted(player) + " " + options + " --max-ticks 200" + shots +
                                    " " + quoted(dir / "t") + " 2>&1",
                                &out),
              0)
        << out;
    return out;
  };
  const std::string shown = play("", "window");
  EXPECT_NE(shown.find(std::string("window system: ") + (wayland ? "wayland" : "x11")), std::string::npos) << shown;
  // The window covers the output while full screen (1280 × 1024 for the X
  // server, 1024 × 768 for the compositor's output) and the picture fills
  // its height; then it is the window again: the screen and the tool bar's
  // dock (no larger whole factor fits either output).
  const std::string scale = std::getenv("NOVA_TEST_OUTPUT_SCALE") ? std::getenv("NOVA_TEST_OUTPUT_SCALE") : "1";
  const int n = std::stoi(scale);
  auto size = [&](int w, int h) { return std::to_string(w) + "x" + std::to_string(h); };
  const std::string full = wayland ? "1024x768 points (" + size(1024 * n, 768 * n) + " pixels)"
                                   : "1280x1024 points (1280x1024 pixels), the picture 1280x960 at 0,32";
  const auto went = shown.find("full screen: the window is " + full);
  const std::string windowed = "window: the window is 640x502 points (" + size(640 * n, 502 * n) + " pixels)";
  const auto opened = shown.find(windowed);
  const auto back = shown.find(windowed, went == std::string::npos ? 0 : went);
  EXPECT_LT(opened, went) << shown;
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
