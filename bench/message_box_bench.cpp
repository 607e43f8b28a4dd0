// One frame of a message box typing in a 1280 × 720 scene of a background,
// a character with a soft plane and a translucent window: the box's update
// and the composition of the rectangles it changed, against the full
// recomposition of the same frame (what a player that redraws everything
// would pay). The box types one character a frame; a page that is done is
// set again between the timed slices.
//
// Our side and the baseline run in alternating slices timed by the
// thread's CPU clock; the counter "ratio" is ours / baseline. Run with
// --benchmark_repetitions=5 and read the medians.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "bench/thread_clock.h"
#include "components/base_list.h"
#include "components/nova_images.h"
#include "components/nova_mes.h"
#include "core/frame_clock.h"
#include "files/stream.h"
#include "graphics/brio_collection.h"
#include "graphics/brios.h"
#include "graphics/memory_picture_files.h"
#include "support/test_font_service.h"
#include "text/font_pixel_manager.h"
#include "text/word_reveal.h"

namespace {

using namespace nova;
using namespace nova::components;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "message_box_bench: %s\n", what);
  std::abort();
}

// A one-frame layered file of w × h, with a plane when `plane_alpha` is
// not negative: that alpha inside, falling to 0 over `edge` pixels.
std::string picture_file(int w, int h, int plane_alpha, int edge) {
  graphics::TBrioFrameList list;
  graphics::TBrioFrame& frame = list.AddFrame();
  frame.surface.SetSize(w, h, 24);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      frame.surface.SetPixel(x, y, static_cast<std::uint32_t>((x * 255 / w) << 16 | (y * 255 / h) << 8 | 0x40));
    }
  }
  if (plane_alpha >= 0) {
    graphics::TDIBX& a = frame.surface.CreateAlpha(0);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int d = std::min(std::min(x, w - 1 - x), std::min(y, h - 1 - y));
        a.SetPixel(x, y, static_cast<std::uint32_t>(d >= edge ? plane_alpha : plane_alpha * d / edge));
      }
    }
  }
  files::TKvMemoryStream out;
  list.SaveToStream(out, graphics::kBrioRaw, 70);
  return std::string(out.view());
}

struct Scene {
  static constexpr int kW = 1280, kH = 720;

  Scene() {
    files.put("bg.bri", picture_file(kW, kH, -1, 0));
    files.put("chara.bri", picture_file(420, 640, 255, 24));
    files.put("window.bri", picture_file(1200, 200, 160, 8));
    register_product_classes(factory);
    messages.glyphs = &glyphs;
    messages.text_delay = [] { return 15; };
    list.SetScreenSize(kW, kH);
    screen.SetSize(kW, kH, 32);
    list.SetDisplaySurface(&screen);
    clock.FrameDeltaMs = 15;
    image("bg.bri", 0, 0);
    image("chara.bri", 430, 60);
    image("window.bri", 40, 500);
    box = &static_cast<TNovaMes&>(list.Create(LT_MES));
    box->SetName("mes");
    box->SetParent(&list.front_base());
    box->SetBounds(80, 530, 1120, 150);
    write_int(*box, PR_FONTHEIGHT, 24);
    write_int(*box, PR_FONTCOLOR, 0xFFFFFF);
    write_int(*box, PR_FONTBORDER, 2);
    box->SetDelay(120);
    restart();
  }

  void image(const char* source, int x, int y) {
    auto& c = static_cast<TNovaImages&>(list.Create(LT_IMAGES));
    c.SetParent(&list.front_base());
    write_str(c, PR_SOURCE, source);
    write_int(c, PR_LEFT, x);
    write_int(c, PR_TOP, y);
  }

  // A new page of text, the screen composed whole once.
  void restart() {
    std::string text;
    for (int i = 0; i < 120; ++i) text += static_cast<char>('A' + i % 26);
    box->SetText(text);
    list.UpdateAll();
    list.front_base().InvalidateAll();
    list.Compose();
    list.ClearDirtyRects();
  }

  // Ours: the box's frame and the rectangles it changed.
  void ours() {
    list.UpdateAll();
    list.Compose();
    list.ClearDirtyRects();
  }
  // The baseline: the same frame composed whole.
  void baseline() {
    list.front_base().InvalidateAll();
    list.Compose();
    list.ClearDirtyRects();
  }

  graphics::MemoryPictureFiles files;
  graphics::TBrioCollection cache{files, 0, 32};
  core::FrameClock clock;
  TComponentFactory factory;
  test::TestFontService fonts;
  text::TFontPixelManager glyphs{fonts};
  MesServices messages;
  TNovaBaseList list{{.factory = factory, .pictures = &cache, .clock = &clock, .messages = &messages}};
  graphics::TDIBX screen;
  TNovaMes* box = nullptr;
};

void BM_TypingFramePaired(benchmark::State& state) {
  static Scene scene;
  if (scene.box->Count() != 1) fail("the box has not one page");
  nova::bench::PairedTimes times;
  for (auto _ : state) {
    if (!text::is_revealing(scene.box->Pages()[0])) scene.restart();
    times.time([&] { scene.ours(); }, [&] { scene.baseline(); });
  }
  benchmark::DoNotOptimize(scene.screen.GetPixel(100, 600));
  state.counters["ratio"] = times.ratio();
}
BENCHMARK(BM_TypingFramePaired)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
