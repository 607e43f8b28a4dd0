// Runs under a private X server (xvfb-run): opens a real SDL window,
// presents a known picture and reads the window back from the X server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/error.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_native.h"
#include "support/test_support.h"

namespace nova::platform {
namespace {

struct XwdImage {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB
};

std::uint32_t be32(const std::string& s, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3]));
}

// Reads a window through xwd: the X server's own copy of its pixels.
std::optional<XwdImage> grab(std::uint64_t window) {
  std::string data;
  if (test::run_command("xwd -silent -id " + std::to_string(window), &data) != 0 || data.size() < 100)
    return std::nullopt;
  const std::uint32_t header_size = be32(data, 0), byte_order = be32(data, 28), bpp = be32(data, 44);
  const std::uint32_t bytes_per_line = be32(data, 48), ncolors = be32(data, 76);
  XwdImage img;
  img.width = static_cast<int>(be32(data, 16));
  img.height = static_cast<int>(be32(data, 20));
  if (bpp != 32) return std::nullopt;
  std::size_t offset = header_size + ncolors * 12;
  if (data.size() < offset + static_cast<std::size_t>(bytes_per_line) * static_cast<std::size_t>(img.height))
    return std::nullopt;
  for (int y = 0; y < img.height; ++y) {
    for (int x = 0; x < img.width; ++x) {
      std::size_t at = offset + static_cast<std::size_t>(y) * bytes_per_line + static_cast<std::size_t>(x) * 4;
      std::uint32_t v = byte_order == 0 ? (static_cast<std::uint32_t>(static_cast<unsigned char>(data[at])) |
                                           static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1])) << 8 |
                                           static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 2])) << 16)
                                        : be32(data, at) & 0xFFFFFF;
      img.pixels.push_back(v & 0xFFFFFF);
    }
  }
  return img;
}

TEST(SdlWindow, PresentedPictureIsWhatTheServerShows) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  auto platform = create_platform(Backend::Sdl);
  auto window = platform->create_window({test::sjis("表示テスト"), {160, 120}});
  ASSERT_NE(window->native_handle(), 0u);
  EXPECT_EQ(window->client_size(), (Size{160, 120}));
  // Let the window map before drawing into it.
  Event e;
  test::eventually([&] {
    while (platform->poll_event(e)) {
    }
    std::string info;
    test::run_command("xwininfo -id " + std::to_string(window->native_handle()), &info);
    return info.find("IsViewable") != std::string::npos;
  });
  // Four quadrants of known colours, one of them from a 16-bit source.
  std::vector<std::uint32_t> px(160 * 120);
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 160; ++x) {
      px[static_cast<std::size_t>(y * 160 + x)] =
          y < 60 ? (x < 80 ? 0xFF0000 : 0x00FF00) : (x < 80 ? 0x0000FF : 0x123456);
    }
  }
  PixelView src{reinterpret_cast<const std::uint8_t*>(px.data()), 160, 120, 640, PixelFormat::Xrgb32};
  window->draw_pixels(src, {0, 0, 160, 120}, {0, 0, 160, 120});
  std::vector<std::uint16_t> white(20 * 10, 0xFFFF);
  PixelView src16{reinterpret_cast<const std::uint8_t*>(white.data()), 20, 10, 40, PixelFormat::Rgb565};
  window->draw_pixels(src16, {0, 0, 20, 10}, {130, 100, 150, 110});
  window->present({});
  std::optional<XwdImage> img;
  test::eventually([&] {
    while (platform->poll_event(e)) {
    }
    window->present({});
    img = grab(window->native_handle());
    return img && img->width == 160 && img->pixels[0] == 0xFF0000;
  });
  ASSERT_TRUE(img);
  ASSERT_EQ(img->width, 160);
  ASSERT_EQ(img->height, 120);
  auto at = [&](int x, int y) { return img->pixels[static_cast<std::size_t>(y * 160 + x)]; };
  EXPECT_EQ(at(10, 10), 0xFF0000u);
  EXPECT_EQ(at(150, 10), 0x00FF00u);
  EXPECT_EQ(at(10, 110), 0x0000FFu);
  EXPECT_EQ(at(100, 70), 0x123456u);
  EXPECT_EQ(at(140, 105), 0xFFFFFFu);
  EXPECT_EQ(at(129, 105), 0x123456u);
}

TEST(SdlWindow, CaptionAndSizeReachTheServer) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  auto platform = create_platform(Backend::Sdl);
  auto window = platform->create_window({"NovaPlayer", {200, 150}});
  window->set_caption(test::sjis("題名"));
  window->set_client_size({240, 180});
  Event e;
  std::string info;
  test::eventually([&] {
    while (platform->poll_event(e)) {
    }
    // xwininfo given id 0 waits for a click on some window, which never
    // comes: ask again until the window has its id.
    const std::uint64_t id = window->native_handle();
    if (id == 0) return false;
    test::run_command("LC_ALL=C.UTF-8 xwininfo -id " + std::to_string(id), &info);
    return info.find("Width: 240") != std::string::npos && info.find("\"題名\"") != std::string::npos;
  });
  EXPECT_NE(info.find("\"題名\""), std::string::npos) << info << " (driver " << platform->display_driver() << ")";
  EXPECT_NE(info.find("Width: 240"), std::string::npos) << info;
  EXPECT_NE(info.find("Height: 180"), std::string::npos) << info;
  EXPECT_FALSE(platform->display_modes().empty());
  EXPECT_EQ(platform->desktop_mode().bit_count, 32);
}

// A display that cannot be reached is an error that names the driver, not
// a player without a window; and the next start on a good display works.
TEST(SdlWindow, AnUnreachableDisplayIsAnErrorAndLeavesNothingBehind) {
  const char* display = std::getenv("DISPLAY");
  if (!display) GTEST_SKIP() << "no X display";
  const std::string good = display;
  ::setenv("DISPLAY", ":4093", 1);
  try {
    create_platform(Backend::Sdl);
    ADD_FAILURE() << "a platform started on a display that does not exist";
  } catch (const PlatformError& error) {
    EXPECT_NE(std::string(error.what()).find("x11"), std::string::npos) << error.what();
  }
  ::setenv("DISPLAY", good.c_str(), 1);
  auto platform = create_platform(Backend::Sdl);
  EXPECT_EQ(platform->display_driver(), "x11");
  auto window = platform->create_window({"NovaPlayer", {64, 48}});
  test::eventually([&] {
    Event e;
    while (platform->poll_event(e)) {
    }
    return window->native_handle() != 0;
  });
  EXPECT_NE(window->native_handle(), 0u);
}

// SDL's wake-up message can reach the server after the window it was sent
// to is gone; the server's error must not end the player.
TEST(SdlWindow, AMessageToAClosedWindowDoesNotEndThePlayer) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  auto platform = create_platform(Backend::Sdl);
  auto window = platform->create_window({"NovaPlayer", {64, 48}});
  test::eventually([&] {
    Event e;
    while (platform->poll_event(e)) {
    }
    return window->native_handle() != 0;
  });
  const std::uint64_t id = window->native_handle();
  ASSERT_NE(id, 0u);
  window.reset();
  Event e;
  while (platform->poll_event(e)) {
  }
  // Without the handler Xlib ends the process here.
  EXPECT_TRUE(sdl_send_message_for_test(id));
  auto again = platform->create_window({"NovaPlayer", {64, 48}});
  EXPECT_NE(again, nullptr);
}

}  // namespace
}  // namespace nova::platform
