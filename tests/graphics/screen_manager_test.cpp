// The screen manager on the headless platform: the mode list and the
// preferred mode, the screen surface's layout in each set-up, and presents
// that show exactly the composed pixels.
#include "graphics/screen_manager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "graphics/dx_dibx.h"
#include "graphics/memory_dibx.h"
#include "platform/edit_control.h"
#include "platform/headless/headless_platform.h"
#include "surface_helpers.h"

namespace nova::graphics {
namespace {

using platform::DisplayMode;

struct FakeSource : TPresentSource {
  Rect whole;
  std::vector<Rect> rects;
  int scale = 100;
  int cleared = 0;
  Rect WholeScreenDirtyRect() const override { return whole; }
  std::vector<Rect> FrontDirtyRects() const override { return rects; }
  int DisplayScale() const override { return scale; }
  void ClearDirtyRects() override {
    ++cleared;
    whole = Rect{};
    rects.clear();
  }
};

struct Display {
  explicit Display(DisplayMode desktop, std::vector<DisplayMode> modes, platform::Size client = {640, 480}) {
    platform::HeadlessOptions o;
    o.desktop = desktop;
    o.modes = std::move(modes);
    o.echo_message_boxes = false;
    platform = std::make_unique<platform::HeadlessPlatform>(o);
    platform::WindowSpec spec;
    spec.client_size = client;
    window = platform->create_window(spec);
  }
  std::unique_ptr<platform::HeadlessPlatform> platform;
  std::unique_ptr<platform::Window> window;
};

TEST(ScreenModes, OnlyModesAsLargeAsTheScreenAreListedAndTheLowestRefreshWins) {
  Display d({1920, 1080, 32, 60}, {{640, 480, 32, 60},
                                   {800, 600, 15, 60},
                                   {800, 600, 32, 75},
                                   {1024, 768, 32, 60},
                                   {800, 600, 16, 50},
                                   {800, 600, 32, 60},
                                   {800, 600, 32, 85}});
  TScreenManager sm(*d.platform, *d.window, 600, 800, 600, 800, {0, 0});
  // 640 × 480 is too small and 15 bits too few.
  ASSERT_EQ(sm.ModeCount(), 5);
  EXPECT_EQ(sm.GetMode(0), (DisplayMode{800, 600, 32, 75}));
  // 75 Hz, then 60 Hz replaces it; 16 bits is not the desktop's; 85 Hz is not lower.
  EXPECT_EQ(sm.PreferredModeIndex(), 3);
  EXPECT_EQ(sm.GetMode(3), (DisplayMode{800, 600, 32, 60}));
  EXPECT_EQ(sm.GetMode(9), DisplayMode{});

  Display in_order({1920, 1080, 32, 60}, {{800, 600, 32, 60}, {800, 600, 32, 75}});
  TScreenManager first(*in_order.platform, *in_order.window, 600, 800, 480, 640, {0, 0});
  EXPECT_EQ(first.PreferredModeIndex(), 0) << "60 Hz listed first stays";

  Display other_size({1920, 1080, 32, 60}, {{1024, 768, 32, 60}, {800, 600, 16, 60}});
  TScreenManager fallback(*other_size.platform, *other_size.window, 600, 800, 480, 640, {0, 0});
  EXPECT_EQ(fallback.PreferredModeIndex(), 1) << "the preferred size wins even at another bit count";
}

TEST(ScreenModes, WithoutALargeEnoughModeFullScreenCannotBeSelected) {
  Display d({1024, 768, 32, 60}, {{640, 480, 32, 60}, {800, 600, 32, 60}});
  TScreenManager sm(*d.platform, *d.window, 768, 1024, 768, 1024, {0, 0});
  EXPECT_EQ(sm.ModeCount(), 0);
  EXPECT_EQ(sm.PreferredModeIndex(), -1);
  sm.SetModeIndex(0);
  EXPECT_EQ(sm.ModeIndex(), -1);
  EXPECT_FALSE(sm.FullScreenActive());
  EXPECT_EQ(d.window->fullscreen_mode(), -1);
}

struct LayoutCase {
  int desktop_bits;
  int setting;
  int mode_bits;  // 0: stay in the window
  int screen_bits;
  bool gdi;
};

TEST(ScreenSurface, BitCountFollowsTheDisplayAndTheSurfaceSetting) {
  const LayoutCase cases[] = {
      {16, 2, 0, 16, true},    // 5-6-5 desktop: memory surface in the window
      {16, 2, 16, 16, false},  // but a display surface in a 16-bit full screen
      {32, 0, 0, 32, true},   {32, 2, 0, 32, false},  {15, 0, 0, 15, true},  {15, 2, 0, 15, false},
      {32, 1, 0, 15, true},   {24, 0, 0, 32, true},   {32, 0, 32, 32, true}, {32, 0, 16, 16, true},
      {32, 1, 32, 15, true},  {32, 2, 32, 32, false}, {16, 0, 24, 32, true},
  };
  for (const LayoutCase& c : cases) {
    Display d({1280, 1024, c.desktop_bits, 60}, {{640, 480, 16, 60}, {640, 480, 24, 60}, {640, 480, 32, 60}});
    TScreenManager sm(*d.platform, *d.window, 480, 640, 480, 640, {0, 0}, TScreenOptions{c.setting});
    if (c.mode_bits) {
      const int index = c.mode_bits == 16 ? 0 : c.mode_bits == 24 ? 1 : 2;
      sm.SetModeIndex(index);
      EXPECT_EQ(sm.ModeIndex(), index);
      EXPECT_TRUE(sm.FullScreenActive());
      EXPECT_EQ(d.window->fullscreen_mode(), index);
      EXPECT_EQ(sm.DisplayBitCount(), c.mode_bits);
    }
    SCOPED_TRACE(testing::Message() << "desktop " << c.desktop_bits << " setting " << c.setting << " mode "
                                    << c.mode_bits);
    ASSERT_NE(sm.GetScreenSurface(), nullptr);
    EXPECT_EQ(sm.GetScreenBitCount(), c.screen_bits);
    EXPECT_EQ(sm.GetScreenSurface()->GetBitCount(), c.screen_bits);
    EXPECT_EQ(sm.UsesGdi(), c.gdi);
    EXPECT_EQ(dynamic_cast<TDxDIBX*>(sm.GetScreenSurface()) != nullptr, !c.gdi);
    EXPECT_EQ(sm.GetScreenSurface()->GetWidth(), 640);
  }
}

// A window whose display refuses every full-screen mode.
class RefusingWindow final : public platform::Window {
 public:
  explicit RefusingWindow(platform::Window& w) : m_w(w) {}
  std::uint32_t id() const override { return m_w.id(); }
  void set_caption(std::string_view s) override { m_w.set_caption(s); }
  std::string caption() const override { return m_w.caption(); }
  void set_client_size(platform::Size s) override { m_w.set_client_size(s); }
  platform::Size client_size() const override { return m_w.client_size(); }
  void set_position(platform::Point p) override { m_w.set_position(p); }
  platform::Point position() const override { return m_w.position(); }
  platform::Rect frame_extents() const override { return m_w.frame_extents(); }
  void set_bordered(bool on) override { m_w.set_bordered(on); }
  bool bordered() const override { return m_w.bordered(); }
  void show() override { m_w.show(); }
  void hide() override { m_w.hide(); }
  bool visible() const override { return m_w.visible(); }
  int set_fullscreen(int) override { return -1; }
  int fullscreen_mode() const override { return -1; }
  platform::WindowPlacement placement() const override { return m_w.placement(); }
  void set_placement(const platform::WindowPlacement& p) override { m_w.set_placement(p); }
  void draw_pixels(const platform::PixelView& s, platform::Rect a, platform::Rect b) override {
    m_w.draw_pixels(s, a, b);
  }
  void fill(platform::Rect r, std::uint32_t c) override { m_w.fill(r, c); }
  void present(std::span<const platform::Rect> r) override { m_w.present(r); }
  platform::PixelView back_buffer() const override { return m_w.back_buffer(); }
  platform::Point cursor_position() const override { return m_w.cursor_position(); }
  void set_cursor_position(platform::Point p) override { m_w.set_cursor_position(p); }
  void set_cursor(const platform::Cursor* c) override { m_w.set_cursor(c); }
  void hide_cursor() override { m_w.hide_cursor(); }
  void set_mouse_capture(bool on) override { m_w.set_mouse_capture(on); }
  bool mouse_captured() const override { return m_w.mouse_captured(); }
  std::unique_ptr<platform::EditControl> create_edit(platform::EditKind k) override { return m_w.create_edit(k); }
  std::uint64_t native_handle() const override { return 0; }
  void set_picture_layout(const platform::PictureLayout& l) override { m_w.set_picture_layout(l); }
  void set_chrome(const platform::PixelView* strip) override { m_w.set_chrome(strip); }
  int chrome_width() const override { return m_w.chrome_width(); }
  platform::Size view_size() const override { return m_w.view_size(); }
  void set_view_size(platform::Size s) override { m_w.set_view_size(s); }
  platform::Size drawable_size() const override { return m_w.drawable_size(); }
  int desktop_scale() const override { return m_w.desktop_scale(); }
  platform::PixelView shown_pixels() const override { return m_w.shown_pixels(); }
  platform::PictureTransform picture_transform() const override { return m_w.picture_transform(); }
  platform::PointerPosition client_position_of(platform::Point p) const override { return m_w.client_position_of(p); }
  platform::Point drawable_position_of(platform::Point p) const override { return m_w.drawable_position_of(p); }

 private:
  platform::Window& m_w;
};

TEST(ScreenSetUp, ARefusedModeFallsBackToTheWindowAndReleaseSetsUpNothing) {
  Display d({1280, 1024, 32, 60}, {{640, 480, 32, 60}});
  RefusingWindow refusing(*d.window);
  TScreenManager sm(*d.platform, refusing, 480, 640, 480, 640, {0, 0});
  sm.SetModeIndex(0);
  EXPECT_EQ(sm.ModeIndex(), -1);
  EXPECT_FALSE(sm.FullScreenActive());
  ASSERT_NE(sm.GetScreenSurface(), nullptr);
  EXPECT_EQ(sm.GetScreenBitCount(), 32);
  sm.Release();
  EXPECT_EQ(sm.ModeIndex(), -2);
  EXPECT_EQ(sm.GetScreenSurface(), nullptr);
  EXPECT_EQ(sm.GetDC(), nullptr);
  FakeSource nothing;
  nothing.whole = Rect{0, 0, 640, 480};
  sm.Present(nothing);
  EXPECT_EQ(sm.PresentedFrames(), 0u);
  sm.SetModeIndex(-1);
  EXPECT_EQ(sm.ModeIndex(), -1);
  EXPECT_NE(sm.GetScreenSurface(), nullptr);
}

// The window's pixel at a client position, 0x00RRGGBB.
std::uint32_t shown(const platform::Window& w, int x, int y) {
  const platform::PixelView v = w.back_buffer();
  std::uint32_t px;
  std::memcpy(&px, v.row(y) + static_cast<std::ptrdiff_t>(x) * 4, 4);
  return px & 0xFFFFFF;
}

std::uint32_t expected_rgb(const TCustomDIBX& s, int x, int y) {
  const platform::PixelView v = s.PresentView();
  return platform::to_rgb32(s.GetPixel(x, y), v.format);
}

TEST(ScreenPresent, ShowsExactlyTheComposedPixelsOfTheDirtyRectangles) {
  for (int desktop_bits : {32, 16, 15}) {
    for (int setting : {0, 2}) {
      Display d({1280, 1024, desktop_bits, 60}, {}, {200, 120});
      TScreenManager sm(*d.platform, *d.window, 100, 160, 100, 160, {20, 10}, TScreenOptions{setting});
      auto* screen = dynamic_cast<TCustomDIBX*>(sm.GetScreenSurface());
      ASSERT_NE(screen, nullptr);
      test::Rng rng(static_cast<unsigned>(desktop_bits));
      for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 160; ++x) screen->SetPixel(x, y, static_cast<std::uint32_t>(rng()));
      }
      FakeSource src;
      src.rects = {Rect{5, 5, 40, 30}, Rect{}, Rect{100, 60, 160, 100}};
      sm.Present(src);
      EXPECT_EQ(sm.PresentedFrames(), 1u);
      EXPECT_EQ(src.cleared, 1);
      for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 160; ++x) {
          const bool dirty = Rect{5, 5, 40, 30}.contains({x, y}) || Rect{100, 60, 160, 100}.contains({x, y});
          ASSERT_EQ(shown(*d.window, 20 + x, 10 + y), dirty ? expected_rgb(*screen, x, y) : 0u)
              << desktop_bits << " bits, setting " << setting << " at " << x << "," << y;
        }
      }
      // Nothing dirty: nothing drawn, nothing counted.
      sm.Present(src);
      EXPECT_EQ(sm.PresentedFrames(), 1u);
      src.whole = Rect{0, 0, 160, 100};
      sm.Present(src);
      EXPECT_EQ(sm.PresentedFrames(), 2u);
      EXPECT_EQ(shown(*d.window, 20, 10), expected_rgb(*screen, 0, 0));
    }
  }
}

TEST(ScreenPresent, ScaleTwoHundredDoublesTheDirtyRectanglesAndOneFiftyStretchesAll) {
  Display d({1280, 1024, 32, 60}, {}, {400, 300});
  TScreenManager sm(*d.platform, *d.window, 100, 160, 100, 160, {0, 0});
  TCustomDIBX* screen = sm.GetScreenSurface();
  test::Rng rng(1);
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 160; ++x) screen->SetPixel(x, y, static_cast<std::uint32_t>(rng()) & 0xFFFFFF);
  }
  FakeSource src;
  src.scale = 200;
  src.rects = {Rect{10, 10, 20, 15}};
  sm.Present(src);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 50; ++x) {
      const bool dirty = x >= 20 && x < 40 && y >= 20 && y < 30;
      ASSERT_EQ(shown(*d.window, x, y), dirty ? screen->GetPixel(x / 2, y / 2) : 0u) << x << "," << y;
    }
  }
  src.scale = 150;
  src.rects = {Rect{0, 0, 1, 1}};
  sm.Present(src);
  EXPECT_EQ(sm.PresentedFrames(), 2u);
  // The whole screen, 240 × 150: client pixel (x, y) shows (x × 160 / 240, y × 100 / 150).
  for (int y = 0; y < 150; y += 7) {
    for (int x = 0; x < 240; x += 5) ASSERT_EQ(shown(*d.window, x, y), screen->GetPixel(x * 2 / 3, y * 2 / 3)) << x;
  }
  EXPECT_EQ(shown(*d.window, 240, 0), 0u);
}

TEST(ScreenDC, TheDeviceContextDrawsOntoThePanelAndIsReleasedByPresent) {
  Display d({1280, 1024, 32, 60}, {}, {100, 100});
  TScreenManager sm(*d.platform, *d.window, 50, 50, 50, 50, {30, 40});
  TDeviceContext* dc = sm.GetDC();
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(sm.GetDC(), dc);
  const std::uint32_t red = 0xFF0000;
  dc->StretchPixels(
      platform::PixelView{reinterpret_cast<const std::uint8_t*>(&red), 1, 1, 4, platform::PixelFormat::Xrgb32},
      Rect{0, 0, 1, 1}, Rect{0, 0, 2, 2});
  d.window->present({});
  EXPECT_EQ(shown(*d.window, 31, 41), 0xFF0000u);
  EXPECT_EQ(shown(*d.window, 32, 41), 0u);
  sm.ReleaseDC();
  FakeSource src;
  sm.Present(src);
  EXPECT_EQ(src.cleared, 1);
}

}  // namespace
}  // namespace nova::graphics

namespace nova::graphics {
namespace {

TEST(ScreenPresent, TheDisplayScaleComesBeforeThePlayersScaling) {
  // The title's display scale of 200, then the player's integer scaling in
  // a window twice the screen: each title pixel is a 4 × 4 block.
  platform::HeadlessOptions o;
  o.echo_message_boxes = false;
  platform::HeadlessPlatform platform(o);
  platform::WindowSpec spec;
  spec.client_size = {80, 60};
  spec.scaled = true;
  auto window = platform.create_window(spec);
  window->set_view_size({160, 120});
  platform::PictureLayout layout;
  layout.scaled = true;
  layout.panel = Rect{0, 0, 80, 60};
  layout.mode = platform::ScaleMode::Integer;
  window->set_picture_layout(layout);
  TScreenManager sm(platform, *window, 60, 80, 60, 80, {0, 0}, TScreenOptions{0});
  auto* screen = dynamic_cast<TCustomDIBX*>(sm.GetScreenSurface());
  ASSERT_NE(screen, nullptr);
  test::Rng rng(3);
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 80; ++x) screen->SetPixel(x, y, static_cast<std::uint32_t>(rng()));
  }
  FakeSource src;
  src.scale = 200;
  src.rects = {Rect{0, 0, 40, 30}};
  sm.Present(src);
  const platform::PixelView v = window->shown_pixels();
  ASSERT_EQ(v.width, 160);
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 160; ++x) {
      std::uint32_t px;
      std::memcpy(&px, v.row(y) + static_cast<std::ptrdiff_t>(x) * 4, 4);
      ASSERT_EQ(px & 0xFFFFFF, expected_rgb(*screen, x / 4, y / 4)) << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace nova::graphics
