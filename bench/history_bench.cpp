// CallHist's work for 1,000 list entries read from 50 script pages (20
// texts of two rows each, the entries in reading order) shown with the
// stacking flag in a 1280 × 720 message box: the box's page committed,
// the display record filled and every entry laid out onto one page. Cold:
// the box's text cache emptied before each showing, so every page and
// glyph stream is read again; warm: the cache as the last showing left it
// (it keeps 32 pages, so a showing of 50 pages in order still reads the
// first 18 again). The measure is one full composition of the bases'
// 1280 × 720 benchmark scene (compose_scene.h), timed in the same run in
// alternating slices by the thread's CPU clock; the counter "ratio" is
// CallHist / composition. Run with --benchmark_repetitions=5 and read the
// medians.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/compose_scene.h"
#include "bench/thread_clock.h"
#include "components/component_factory.h"
#include "components/nova_mes.h"
#include "core/frame_clock.h"
#include "data/history_format.h"
#include "support/test_font_service.h"
#include "text/font_pixel_manager.h"
#include "text_sources.h"

namespace {

using namespace nova;
using namespace nova::components;

constexpr int kPages = 50, kTexts = 20, kEntries = kPages * kTexts;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "history_bench: %s\n", what);
  std::abort();
}

struct Backlog {
  Backlog() {
    for (int p = 0; p < kPages; ++p) {
      std::vector<std::optional<std::string>> texts;
      for (int t = 0; t < kTexts; ++t) {
        texts.emplace_back("Page " + std::to_string(p) + ", message " + std::to_string(t) +
                           ": the rain had stopped.<BR>Nobody said a word on the way back.");
      }
      source.put("p" + std::to_string(p) + ".nsb", texts);
    }
    for (int i = 0; i < kEntries; ++i) {
      data::NotedPage n;
      n.box = "story";
      n.box_width = 1200;
      n.box_height = 150;
      n.key = "p" + std::to_string(i / kTexts) + ".nsb";
      n.command = i % kTexts;
      history.NotePage(n);
      history.Commit("story", {});
    }
    if (history.Default().History().Count() != kEntries) fail("the history does not hold 1,000 entries");
    register_message_classes(factory);
    messages.glyphs = &glyphs;
    messages.texts = &source;
    list.set_history(&history);
    list.SetScreenSize(bench::kW, bench::kH);
    box = &static_cast<TNovaMes&>(list.Create(LT_MES));
    box->SetName("log");
    box->SetParent(&list.front_base());
    box->SetBounds(0, 0, bench::kW, bench::kH);
    write_int(*box, PR_FONTHEIGHT, 24);
    write_int(*box, PR_LINESPACE, 6);
  }

  void show(bool cold) {
    const data::TNovaHistoryFormat& f = history.Default();
    box->ShowHistory(true, [&](data::TNovaNewMesData& d) {
      if (cold) d.cache().Clear();
      return f.Show(0, kEntries, d);
    });
  }

  test::TestTextSource source;
  data::TNovaHistoryFormatManager history;
  core::FrameClock clock;
  TComponentFactory factory;
  test::TestFontService fonts;
  text::TFontPixelManager glyphs{fonts};
  MesServices messages;
  TNovaBaseList list{{.factory = factory, .clock = &clock, .messages = &messages}};
  TNovaMes* box = nullptr;
};

void BM_CallHistPaired(benchmark::State& state) {
  const bool cold = state.range(0) != 0;
  static Backlog backlog;
  static bench::Scene scene;
  backlog.show(cold);
  if (backlog.box->Count() != 1 || backlog.box->Pages()[0].count() != 2 * kEntries) {
    fail("the box does not show every entry's two rows");
  }
  bench::PairedTimes times;
  for (auto _ : state) times.time([&] { backlog.show(cold); }, [&] { scene.compose_all(); });
  benchmark::DoNotOptimize(scene.screen.GetPixel(100, 600));
  state.counters["ratio"] = times.ratio();
}
BENCHMARK(BM_CallHistPaired)->ArgName("cold")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
