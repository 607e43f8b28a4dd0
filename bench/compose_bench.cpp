// A 1280 × 720 screen at 32 bits composed by the bases, against pixman
// compositing the same layers in the same run:
//   a full-screen background (SRC), two character pictures with alpha
//   planes (OVER with an a8 mask), a 600 × 120 box at opacity 128 (OVER
//   with a solid mask) and 20 small opaque pictures (SRC).
// BM_ComposeFull: both bases wholly dirty, then Compose (goal: at most
// 0.6 × pixman, required at most 1.0 ×). BM_ComposeOneSmall: a frame in
// which one 24 × 24 component moves (against BM_ComposeFull: at most 5 %,
// goal 1 %). BM_FrameBegin*: a move and a press over 1,000 components
// under the pointer (against BM_ComposeFull: at most 5 %, goal 1 %), flat
// with the top one taking the press, flat with all but the lowest IM_ALL,
// and a chain 1,000 deep (within 2 × of flat).
//
// The composed screen is checked once against the same scene composed on
// the reference pixel path; a difference aborts the run.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bench/compose_scene.h"
#include "bench/pixman_image.h"
#include "components/base_list.h"
#include "graphics/kernels.h"
#include "graphics/memory_dibx.h"

namespace {

using namespace nova;
using namespace nova::components;
using namespace nova::bench;

std::uint64_t checksum(const graphics::TDIBX& s) {
  std::uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) h = (h ^ (s.GetPixel(x, y) & 0xFFFFFF)) * 1099511628211ull;
  }
  return h;
}

// The screen composed on the reference path: what every faster path must
// give.
std::uint64_t reference_checksum() {
  static const std::uint64_t sum = [] {
    graphics::ScopedPixelPath reference(graphics::PixelPath::Reference);
    Scene s;
    s.compose_all();
    return checksum(s.screen);
  }();
  return sum;
}

void BM_ComposeFull(benchmark::State& state) {
  Scene s;
  s.compose_all();
  if (checksum(s.screen) != reference_checksum()) {
    std::fprintf(stderr, "the composed screen differs from the reference\n");
    std::abort();
  }
  for (auto _ : state) {
    s.compose_all();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

void BM_ComposeOneSmall(benchmark::State& state) {
  Scene s;
  s.compose_all();
  TPicture& moving = *s.smalls[7];
  int step = 0;
  for (auto _ : state) {
    moving.SetLeft(460 + (++step & 1) * 4);
    s.list.Compose();
    s.list.ClearDirtyRects();
    benchmark::ClobberMemory();
  }
}

using nova::bench::PixmanImage;

void BM_PixmanLayers(benchmark::State& state) {
  Pictures& p = pictures();
  graphics::TDIBX screen;
  screen.SetSize(kW, kH, 32);
  PixmanImage dst(screen, PIXMAN_x8r8g8b8), bg(p.background, PIXMAN_x8r8g8b8), ch(p.character, PIXMAN_x8r8g8b8),
      ch_alpha(p.character_alpha, PIXMAN_a8), small(p.small, PIXMAN_x8r8g8b8);
  pixman_color_t white{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, half{0, 0, 0, 128 * 257};
  PixmanImage white_fill(pixman_image_create_solid_fill(&white)), half_mask(pixman_image_create_solid_fill(&half));
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, bg.image, nullptr, dst.image, 0, 0, 0, 0, 0, 0, kW, kH);
    for (int x : {100, 700}) {
      pixman_image_composite32(PIXMAN_OP_OVER, ch.image, ch_alpha.image, dst.image, 0, 0, 0, 0, x, 60, 400, 600);
    }
    pixman_image_composite32(PIXMAN_OP_OVER, white_fill.image, half_mask.image, dst.image, 0, 0, 0, 0, 340, 560, 600,
                             120);
    for (int i = 0; i < 20; ++i) {
      pixman_image_composite32(PIXMAN_OP_SRC, small.image, nullptr, dst.image, 0, 0, 0, 0, 40 + i * 60, 20, 24, 24);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

enum class Layout { FlatTopTakes, FlatAllButLowestIgnore, Chain };

void BM_FrameBegin(benchmark::State& state, Layout layout) {
  TComponentFactory factory;
  TNovaBaseList list{{factory}};
  list.SetScreenSize(kW, kH);
  TNovaControl* parent = &list.front_base();
  for (int i = 0; i < 1000; ++i) {
    TBox& c = list.make<TBox>();
    c.SetParent(parent);
    c.SetBounds(0, 0, kW, kH);
    if (layout == Layout::FlatAllButLowestIgnore && i > 0) c.SetIgnoreMouse(IM_ALL);
    if (layout == Layout::Chain) parent = &c;
  }
  TNovaBase& b = list.front_base();
  int step = 0;
  for (auto _ : state) {
    ++step;
    b.SetPointer(600 + (step & 1), 300);
    // Every frame hit-tests: no capture left from the last one.
    b.capture = 0;
    b.left_pressed = true;
    b.left_held = true;
    list.FrameBegin(15);
    list.events().clear();
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_PixmanLayers)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComposeFull)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComposeOneSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FrameBegin, flat_top_takes, Layout::FlatTopTakes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FrameBegin, flat_ignore_all, Layout::FlatAllButLowestIgnore)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FrameBegin, chain, Layout::Chain)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
