// The presentation transform: where each mode puts the picture, the pixels
// the scaler draws (exact for whole multiples and 1:1, within one step of a
// floating-point bilinear filter otherwise, and the fast path equal to the
// per-pixel reference), the pointer mapping round trip, and the window
// surface that puts the tool-bar strip and the picture together.
#include "platform/presentation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/headless/headless_platform.h"
#include "platform/window_surface.h"

namespace nova::platform {
namespace {

struct Picture {
  int width, height;
  std::vector<std::uint32_t> pixels;
  Picture(int w, int h, std::uint32_t seed) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h) {
    std::mt19937 rng(seed);
    // The top byte is noise: it must never reach the window.
    for (auto& p : pixels) p = rng();
  }
  PixelView view() const {
    return {reinterpret_cast<const std::uint8_t*>(pixels.data()), width, height, width * 4, PixelFormat::Xrgb32};
  }
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF; }
};

// A bilinear filter in floating point, sampling at the pixel centres.
std::uint32_t bilinear(const Picture& p, const PictureTransform& t, int x, int y) {
  auto pos = [](int d, int s, int tsize) {
    double u = (d + 0.5) * s / tsize - 0.5;
    return std::clamp(u, 0.0, static_cast<double>(s - 1));
  };
  const double u = pos(x - t.target.left, t.source.width, t.target.width());
  const double v = pos(y - t.target.top, t.source.height, t.target.height());
  const int x0 = static_cast<int>(u), y0 = static_cast<int>(v);
  const int x1 = std::min(x0 + 1, p.width - 1), y1 = std::min(y0 + 1, p.height - 1);
  const double fx = u - x0, fy = v - y0;
  std::uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    auto c = [&](int xx, int yy) { return static_cast<double>((p.at(xx, yy) >> shift) & 0xFF); };
    const double top = c(x0, y0) * (1 - fx) + c(x1, y0) * fx;
    const double bottom = c(x0, y1) * (1 - fx) + c(x1, y1) * fx;
    out |= static_cast<std::uint32_t>(std::lround(top * (1 - fy) + bottom * fy)) << shift;
  }
  return out;
}

TEST(PictureTransform, EachModePlacesThePictureAsItPromises) {
  const Size s{640, 480};
  const Rect area = Rect::from_size(0, 22, 1920, 1058);
  auto fit = PictureTransform::make(s, area, ScaleMode::Fit, ScaleFilter::Auto);
  EXPECT_EQ(fit.target, Rect::from_size(254, 22, 1411, 1058));  // aspect kept, height filled, centred
  EXPECT_TRUE(fit.linear);
  auto integer = PictureTransform::make(s, area, ScaleMode::Integer, ScaleFilter::Auto);
  EXPECT_EQ(integer.target, Rect::from_size(320, 22 + 49, 1280, 960));
  EXPECT_FALSE(integer.linear);
  auto stretch = PictureTransform::make(s, area, ScaleMode::Stretch, ScaleFilter::Nearest);
  EXPECT_EQ(stretch.target, area);
  EXPECT_FALSE(stretch.linear) << "the user's filter wins";
  auto none = PictureTransform::make(s, area, ScaleMode::None, ScaleFilter::Auto);
  EXPECT_EQ(none.target, Rect::from_size(640, 22 + 289, 640, 480));
  EXPECT_FALSE(none.linear);
  // An area smaller than the picture: integer and none show it 1:1,
  // centred and cut; fit shrinks it.
  const Rect small = Rect::from_size(0, 0, 320, 200);
  EXPECT_EQ(PictureTransform::make(s, small, ScaleMode::Integer, ScaleFilter::Auto).target,
            Rect::from_size(-160, -140, 640, 480));
  EXPECT_EQ(PictureTransform::make(s, small, ScaleMode::Fit, ScaleFilter::Auto).target,
            Rect::from_size(26, 0, 267, 200));
  EXPECT_EQ(parse_scale_mode("stretch"), ScaleMode::Stretch);
  EXPECT_EQ(parse_scale_filter("linear"), ScaleFilter::Linear);
  EXPECT_FALSE(parse_scale_mode("zoom"));
}

TEST(PictureScaler, WholeMultiplesAndOneToOneAreExactBlocksWithBlackBars) {
  const Picture pic(64, 40, 7);
  for (auto [mode, area] : {std::pair{ScaleMode::Integer, Rect::from_size(0, 0, 300, 170)},
                            std::pair{ScaleMode::Integer, Rect::from_size(5, 9, 64 * 4 + 3, 40 * 4)},
                            std::pair{ScaleMode::None, Rect::from_size(0, 0, 101, 77)}}) {
    const PictureTransform t = PictureTransform::make({64, 40}, area, mode, ScaleFilter::Auto);
    const int n = t.target.width() / 64;
    Framebuffer out(area.right + 2, area.bottom + 2);
    out.fill({0, 0, out.width(), out.height()}, 0x123456);
    PictureScaler scaler;
    scaler.render(pic.view(), t, out, Rect{0, 0, out.width(), out.height()});
    for (int y = 0; y < out.height(); ++y) {
      for (int x = 0; x < out.width(); ++x) {
        std::uint32_t want = 0x123456;  // outside the area: untouched
        if (area.contains({x, y})) {
          want = t.target.contains({x, y}) ? pic.at((x - t.target.left) / n, (y - t.target.top) / n) : 0;
        }
        ASSERT_EQ(out.pixel(x, y), want) << "mode " << to_string(mode) << " at " << x << "," << y;
      }
    }
  }
}

TEST(PictureScaler, LinearIsWithinOneStepOfTheFilterAndTheFastPathIsTheReference) {
  const Picture pic(53, 37, 11);
  PictureScaler scaler;
  for (auto mode : {ScaleMode::Fit, ScaleMode::Stretch}) {
    for (Size area : {Size{131, 97}, Size{200, 60}, Size{40, 30}, Size{53 * 3, 37 * 3 + 5}}) {
      for (auto filter : {ScaleFilter::Linear, ScaleFilter::Nearest}) {
        const PictureTransform t =
            PictureTransform::make({53, 37}, Rect::from_size(0, 0, area.width, area.height), mode, filter);
        Framebuffer fast(area.width, area.height), slow(area.width, area.height);
        scaler.render(pic.view(), t, fast, {0, 0, area.width, area.height});
        PictureScaler::render_reference(pic.view(), t, slow, {0, 0, area.width, area.height});
        int worst = 0;
        for (int y = 0; y < area.height; ++y) {
          for (int x = 0; x < area.width; ++x) {
            ASSERT_EQ(fast.pixel(x, y), slow.pixel(x, y)) << x << "," << y;
            if (!t.target.contains({x, y})) {
              ASSERT_EQ(fast.pixel(x, y), 0u);
              continue;
            }
            if (filter == ScaleFilter::Nearest) continue;
            const std::uint32_t want = bilinear(pic, t, x, y);
            for (int shift = 0; shift < 24; shift += 8) {
              worst = std::max(worst, std::abs(static_cast<int>((fast.pixel(x, y) >> shift) & 0xFF) -
                                               static_cast<int>((want >> shift) & 0xFF)));
            }
          }
        }
        EXPECT_LE(worst, 1) << to_string(mode) << " " << area.width << "x" << area.height;
      }
    }
  }
  // A clip inside the picture renders only its pixels, the same as a whole
  // render does there.
  const PictureTransform t = PictureTransform::make({53, 37}, {0, 0, 150, 100}, ScaleMode::Fit, ScaleFilter::Linear);
  Framebuffer whole(150, 100), part(150, 100);
  part.fill({0, 0, 150, 100}, 0xABCDEF);
  scaler.render(pic.view(), t, whole, {0, 0, 150, 100});
  const Rect clip{17, 23, 71, 64};
  scaler.render(pic.view(), t, part, clip);
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 150; ++x) {
      ASSERT_EQ(part.pixel(x, y), clip.contains({x, y}) ? whole.pixel(x, y) : 0xABCDEFu) << x << "," << y;
    }
  }
}

TEST(PictureTransform, ThePointerRoundTripsEveryPanelPixelAndTheBarsLieOutside) {
  const Size s{64, 48};
  for (auto mode : {ScaleMode::Fit, ScaleMode::Integer, ScaleMode::Stretch, ScaleMode::None}) {
    for (Size area : {Size{64, 48}, Size{200, 100}, Size{129, 200}, Size{333, 250}}) {
      const PictureTransform t =
          PictureTransform::make(s, Rect::from_size(3, 20, area.width, area.height), mode, ScaleFilter::Auto);
      for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
          const Point d = t.to_drawable({x, y});
          ASSERT_TRUE(t.target.contains(d));
          ASSERT_EQ(t.to_panel(d), (Point{x, y})) << to_string(mode) << " " << area.width << "x" << area.height;
        }
      }
      // Every pixel of the target reaches the panel pixel the nearest rule
      // shows there; every pixel beside it lies outside the panel.
      for (int y = t.area.top; y < t.area.bottom; ++y) {
        for (int x = t.area.left; x < t.area.right; ++x) {
          const Point p = t.to_panel({x, y});
          const bool inside = p.x >= 0 && p.y >= 0 && p.x < s.width && p.y < s.height;
          ASSERT_EQ(inside, t.target.contains({x, y})) << x << "," << y;
        }
      }
      // A change of one panel pixel covers exactly the pixels showing it.
      if (!t.linear) {
        const Rect d = t.drawable_rect_of({10, 7, 11, 8});
        for (int y = t.area.top; y < t.area.bottom; ++y) {
          for (int x = t.area.left; x < t.area.right; ++x) {
            ASSERT_EQ(d.contains({x, y}), t.to_panel({x, y}) == (Point{10, 7})) << x << "," << y;
          }
        }
      }
    }
  }
}

TEST(WindowSurface, StripAbovePictureAtTheDesktopScaleAndTheMapping) {
  // A 2× desktop: the window is 200 × 110 points, 400 × 220 pixels, with a
  // 10-point strip over a 40 × 30 panel at whole multiples.
  WindowSurface s({40, 40}, 2);
  s.set_drawable_size({400, 220});
  PictureLayout layout;
  layout.scaled = true;
  layout.panel = Rect::from_size(0, 10, 40, 30);
  layout.chrome_height = 10;
  layout.mode = ScaleMode::Integer;
  s.set_layout(layout);
  const Picture pic(40, 30, 3);
  s.logical().draw(pic.view(), {0, 0, 40, 30}, layout.panel);
  std::vector<std::uint32_t> strip_pixels(static_cast<std::size_t>(s.chrome_width()) * 10, 0xC0C0C0);
  strip_pixels[0] = 0xFF0000;
  const PixelView strip{reinterpret_cast<const std::uint8_t*>(strip_pixels.data()), s.chrome_width(), 10,
                        s.chrome_width() * 4, PixelFormat::Xrgb32};
  EXPECT_EQ(s.chrome_width(), 200);
  s.set_chrome(&strip);
  s.present({});
  const PictureTransform t = s.transform();
  EXPECT_EQ(t.area, Rect::from_size(0, 20, 400, 200));
  EXPECT_EQ(t.target, Rect::from_size(80, 30, 240, 180));  // 6 × 6 blocks
  const Framebuffer& d = s.drawable();
  EXPECT_EQ(d.pixel(0, 0), 0xFF0000u);
  EXPECT_EQ(d.pixel(1, 1), 0xFF0000u) << "a strip pixel is 2 × 2";
  EXPECT_EQ(d.pixel(2, 0), 0xC0C0C0u);
  EXPECT_EQ(d.pixel(399, 19), 0xC0C0C0u);
  EXPECT_EQ(d.pixel(85, 35), pic.at(0, 0));
  EXPECT_EQ(d.pixel(79, 35), 0u) << "the bar beside the picture";
  // The pointer: on the strip in points; on the picture through the
  // transform; on the bar above the picture outside the panel, but not on
  // the strip.
  EXPECT_EQ(s.to_logical({9, 19}).client, (Point{4, 9}));
  EXPECT_TRUE(s.to_logical({9, 19}).on_chrome);
  const PointerPosition at = s.to_logical({80 + 6 * 5 + 3, 30 + 6 * 7});
  EXPECT_EQ(at.client, (Point{5, 10 + 7}));
  EXPECT_FALSE(at.on_chrome);
  const PointerPosition bar = s.to_logical({100, 25});
  EXPECT_FALSE(bar.on_chrome);
  EXPECT_LT(bar.client.y, layout.panel.top);
  EXPECT_EQ(s.to_drawable({5, 17}), (Point{80 + 33, 30 + 45}));
  EXPECT_EQ(s.to_drawable({4, 9}), (Point{9, 19}));
  // A change of one panel pixel presents its 6 × 6 block only.
  s.logical().fill(Rect::from_size(7, 10 + 3, 1, 1), 0x00FF00);
  const Rect one = Rect::from_size(7, 13, 1, 1);
  const std::vector<Rect> changed = s.present(std::span<const Rect>(&one, 1));
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0], Rect::from_size(80 + 42, 30 + 18, 6, 6));
  EXPECT_EQ(s.drawable().pixel(80 + 42, 30 + 18), 0x00FF00u);
}

TEST(HeadlessWindow, FullScreenCoversTheDesktopInRealPixelsAndComesBack) {
  HeadlessOptions o;
  o.desktop_scale = 2;
  HeadlessPlatform platform(o);
  WindowSpec spec;
  spec.client_size = {640, 502};
  spec.scaled = true;
  auto w = platform.create_window(spec);
  EXPECT_EQ(w->desktop_scale(), 2);
  EXPECT_EQ(w->drawable_size(), (Size{1280, 1004})) << "the drawable is twice the window's points";
  w->set_view_size({1280, 982});
  const WindowPlacement windowed = w->placement();
  EXPECT_EQ(w->drawable_size(), (Size{2560, 1964}));
  // A mode far smaller than the desktop: no mode change, the window covers
  // the desktop.
  EXPECT_EQ(w->set_fullscreen(0), 0);
  EXPECT_EQ(w->view_size(), (Size{1920, 1080}));
  EXPECT_EQ(w->drawable_size(), (Size{3840, 2160}));
  EXPECT_EQ(w->client_size(), (Size{640, 502})) << "the engine's client area stays";
  EXPECT_EQ(w->set_fullscreen(-1), -1);
  w->set_placement(windowed);
  EXPECT_EQ(w->placement(), windowed);
  // An unscaled window (a dialog) shows its client area 1:1 at any scale.
  WindowSpec dialog;
  dialog.client_size = {300, 120};
  auto d = platform.create_window(dialog);
  EXPECT_EQ(d->drawable_size(), (Size{300, 120}));
  EXPECT_EQ(d->desktop_scale(), 1);
}

}  // namespace
}  // namespace nova::platform
