// The presentation transform on the player's usual sizes, against pixman
// compositing the same frame with the same scale and filter:
//
// - 640 × 480 → 1920 × 1080, fit (1440 × 1080 in the middle), nearest and
//   linear;
// - 1280 × 720 → 3840 × 2160, integer (× 3), nearest;
// - a 24 × 24 change presented alone at × 3, against the whole frame.
//
// Our benchmarks check once that the fast path gives the reference's bytes.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "platform/presentation.h"

namespace {

using nova::platform::Framebuffer;
using nova::platform::PictureScaler;
using nova::platform::PictureTransform;
using nova::platform::PixelFormat;
using nova::platform::PixelView;
using nova::platform::Rect;
using nova::platform::ScaleFilter;
using nova::platform::ScaleMode;
using nova::platform::Size;

struct Frame {
  int width, height;
  std::vector<std::uint32_t> pixels;
  Frame(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h) {
    std::mt19937 rng(42);
    // Pictures rather than noise: runs of equal pixels with soft changes.
    std::uint32_t v = 0;
    for (auto& p : pixels) {
      if (rng() % 8 == 0) v = rng() & 0xFFFFFF;
      p = v;
    }
  }
  PixelView view() const {
    return {reinterpret_cast<const std::uint8_t*>(pixels.data()), width, height, width * 4, PixelFormat::Xrgb32};
  }
};

struct Case {
  int sw, sh, dw, dh;
  ScaleMode mode;
  ScaleFilter filter;
};

constexpr Case kFitNearest{640, 480, 1920, 1080, ScaleMode::Fit, ScaleFilter::Nearest};
constexpr Case kFitLinear{640, 480, 1920, 1080, ScaleMode::Fit, ScaleFilter::Linear};
constexpr Case kTimesThree{1280, 720, 3840, 2160, ScaleMode::Integer, ScaleFilter::Auto};

void ours(benchmark::State& state, Case c) {
  const Frame frame(c.sw, c.sh);
  const PictureTransform t = PictureTransform::make({c.sw, c.sh}, {0, 0, c.dw, c.dh}, c.mode, c.filter);
  Framebuffer out(c.dw, c.dh), ref(c.dw, c.dh);
  PictureScaler scaler;
  scaler.render(frame.view(), t, out, t.area);
  PictureScaler::render_reference(frame.view(), t, ref, t.area);
  // A frame's present renders the picture's pixels; the bars are drawn
  // once, when the window is laid out.
  if (std::memcmp(out.row(0), ref.row(0), static_cast<std::size_t>(c.dw) * c.dh * 4) != 0) {
    state.SkipWithError("the fast path differs from the reference");
    return;
  }
  for (auto _ : state) {
    scaler.render(frame.view(), t, out, t.target);
    benchmark::DoNotOptimize(out.row(0));
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t{t.target.width()} * t.target.height());
}

void theirs(benchmark::State& state, Case c) {
  Frame frame(c.sw, c.sh);
  const PictureTransform t = PictureTransform::make({c.sw, c.sh}, {0, 0, c.dw, c.dh}, c.mode, c.filter);
  std::vector<std::uint32_t> out(static_cast<std::size_t>(c.dw) * c.dh);
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_x8r8g8b8, c.sw, c.sh, frame.pixels.data(), c.sw * 4);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, c.dw, c.dh, out.data(), c.dw * 4);
  pixman_transform_t m;
  pixman_transform_init_scale(&m, pixman_double_to_fixed(static_cast<double>(c.sw) / t.target.width()),
                              pixman_double_to_fixed(static_cast<double>(c.sh) / t.target.height()));
  pixman_image_set_transform(src, &m);
  pixman_image_set_filter(src, t.linear ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST, nullptr, 0);
  pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, t.target.left, t.target.top,
                             t.target.width(), t.target.height());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t{t.target.width()} * t.target.height());
  pixman_image_unref(src);
  pixman_image_unref(dst);
}

// Presenting only a 24 × 24 change at × 3 against presenting the frame.
void dirty(benchmark::State& state, bool whole) {
  const Frame frame(1280, 720);
  const PictureTransform t =
      PictureTransform::make({1280, 720}, {0, 0, 3840, 2160}, ScaleMode::Integer, ScaleFilter::Auto);
  Framebuffer out(3840, 2160);
  PictureScaler scaler;
  const Rect change = whole ? Rect{0, 0, 1280, 720} : Rect::from_size(600, 300, 24, 24);
  const Rect d = t.drawable_rect_of(change);
  for (auto _ : state) {
    scaler.render(frame.view(), t, out, d);
    benchmark::DoNotOptimize(out.row(0));
  }
}

BENCHMARK_CAPTURE(ours, fit_640x480_to_1080p_nearest, kFitNearest)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(theirs, fit_640x480_to_1080p_nearest, kFitNearest)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ours, fit_640x480_to_1080p_linear, kFitLinear)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(theirs, fit_640x480_to_1080p_linear, kFitLinear)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ours, integer_1280x720_times_3, kTimesThree)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(theirs, integer_1280x720_times_3, kTimesThree)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(dirty, whole_frame_times_3, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(dirty, change_24x24_times_3, false)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
