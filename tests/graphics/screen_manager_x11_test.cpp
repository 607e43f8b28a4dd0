// The screen manager presenting through a real SDL window under a private X
// server (xvfb-run): the X server's copy of the window must show exactly the
// composed pixels at scale 100 and doubled pixels at scale 200.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

#include "graphics/screen_manager.h"
#include "support/test_support.h"

namespace nova::graphics {
namespace {

struct FullScreenSource : TPresentSource {
  Rect whole, dirty;
  int scale = 100;
  Rect WholeScreenDirtyRect() const override { return whole; }
  std::vector<Rect> FrontDirtyRects() const override { return {dirty}; }
  int DisplayScale() const override { return scale; }
  void ClearDirtyRects() override {}
};

// The window's pixels as the X server holds them (xwd's ZPixmap, 32 bits
// per pixel), 0x00RRGGBB, or nothing when they cannot be read.
std::optional<std::vector<std::uint32_t>> server_pixels(std::uint64_t window, int w, int h) {
  std::string dump;
  if (test::run_command("xwd -silent -id " + std::to_string(window), &dump) != 0) return std::nullopt;
  auto field = [&](std::size_t index) {
    std::uint32_t v = 0;
    for (std::size_t b = 0; b < 4; ++b) v = v << 8 | static_cast<unsigned char>(dump[index * 4 + b]);
    return v;
  };
  if (dump.size() < 100 || field(11) != 32 || static_cast<int>(field(4)) != w || static_cast<int>(field(5)) != h) {
    return std::nullopt;
  }
  const std::size_t start = field(0) + field(19) * 12, line = field(12);
  if (dump.size() < start + line * static_cast<std::size_t>(h)) return std::nullopt;
  const bool lsb_first = field(7) == 0;
  std::vector<std::uint32_t> out;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const auto* p = reinterpret_cast<const unsigned char*>(dump.data() + start + line * static_cast<std::size_t>(y) +
                                                             static_cast<std::size_t>(x) * 4);
      out.push_back(lsb_first ? (p[2] << 16 | p[1] << 8 | p[0]) : (p[1] << 16 | p[2] << 8 | p[3]));
    }
  }
  return out;
}

TEST(ScreenPresentX11, TheServerShowsTheComposedAndTheDoubledPixels) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  auto platform = platform::create_platform(platform::Backend::Sdl);
  auto window = platform->create_window({"screen", {320, 200}});
  platform::Event e;
  test::eventually([&] {
    while (platform->poll_event(e)) {
    }
    std::string info;
    test::run_command("xwininfo -id " + std::to_string(window->native_handle()), &info);
    return info.find("IsViewable") != std::string::npos;
  });
  TScreenManager sm(*platform, *window, 100, 160, 100, 160, {0, 0});
  TCustomDIBX& screen = *sm.GetScreenSurface();
  ASSERT_EQ(screen.GetBitCount(), 32) << "a 24-bit X screen is a display above 16 bits";
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 160; ++x) {
      screen.SetPixel(x, y, static_cast<std::uint32_t>((x * 3) << 16 | (y * 2) << 8 | ((x ^ y) & 0xFF)));
    }
  }
  FullScreenSource src;
  auto grab_after = [&](auto present) {
    std::optional<std::vector<std::uint32_t>> img;
    test::eventually([&] {
      while (platform->poll_event(e)) {
      }
      present();
      img = server_pixels(window->native_handle(), 320, 200);
      return img.has_value();
    });
    return img;
  };
  auto img = grab_after([&] {
    src.whole = Rect{0, 0, 160, 100};
    sm.Present(src);
  });
  ASSERT_TRUE(img);
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 160; ++x) {
      ASSERT_EQ((*img)[static_cast<std::size_t>(y * 320 + x)], screen.GetPixel(x, y) & 0xFFFFFF) << x << "," << y;
    }
  }
  img = grab_after([&] {
    src.whole = Rect{};
    src.dirty = Rect{0, 0, 160, 100};
    src.scale = 200;
    sm.Present(src);
  });
  ASSERT_TRUE(img);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x) {
      ASSERT_EQ((*img)[static_cast<std::size_t>(y * 320 + x)], screen.GetPixel(x / 2, y / 2) & 0xFFFFFF)
          << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace nova::graphics
