// Image components against the surface operations they call, and the
// picture cache against a plain hash map:
//
// - a frame of 50 image components on a 1280 × 720 32-bit screen (20
//   unzoomed pictures with planes at alpha 255, 128 and 384, 10 tiles, 10
//   zoomed and 10 rotated pictures; 4-frame animations stepping every
//   frame): the update pass and the composition, against the background
//   fill and the same operations with the same arguments called directly
//   on the same surfaces;
// - Acquire and Release of a loaded key among 1,000 items, against
//   std::unordered_map finding the same case-folded key.
//
// Our side and the baseline run in alternating slices timed by the
// thread's CPU clock; each benchmark reports the counter "ratio" (ours /
// baseline). Run with --benchmark_repetitions=5 and read the medians.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "bench/thread_clock.h"
#include "components/base_list.h"
#include "components/nova_images.h"
#include "core/frame_clock.h"
#include "core/sjis.h"
#include "files/stream.h"
#include "graphics/brio_collection.h"
#include "graphics/brios.h"
#include "graphics/memory_picture_files.h"

namespace {

using nova::bench::thread_seconds;

using namespace nova;
using namespace nova::components;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "images_bench: %s\n", what);
  std::abort();
}

using Files = graphics::MemoryPictureFiles;

// A layered file of `frames` w × h frames, each with a plane (a soft disc)
// or none, written by the product's writer.
std::string picture_file(int w, int h, int frames, bool plane) {
  graphics::TBrioFrameList list;
  for (int f = 0; f < frames; ++f) {
    graphics::TBrioFrame& frame = list.AddFrame();
    frame.delay = 15;
    frame.surface.SetSize(w, h, 24);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        frame.surface.SetPixel(x, y, static_cast<std::uint32_t>((x * 3 + f * 40) << 16 | (y * 2) << 8 | (x ^ y)));
      }
    }
    if (plane) {
      graphics::TDIBX& a = frame.surface.CreateAlpha(0);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const int dx = x - w / 2, dy = y - h / 2, r = w / 2;
          const int d2 = dx * dx + dy * dy;
          a.SetPixel(x, y, d2 >= r * r ? 0 : static_cast<std::uint32_t>(255 - 255 * d2 / (r * r)));
        }
      }
    }
  }
  files::TKvMemoryStream out;
  list.SaveToStream(out, graphics::kBrioRaw, 70);
  return std::string(out.view());
}

// --- A frame of 50 components ---------------------------------------------------------------

struct Scene {
  static constexpr int kW = 1280, kH = 720;

  Scene() {
    files.put("planes.bri", picture_file(96, 96, 4, true));
    files.put("plain.bri", picture_file(64, 64, 4, false));
    register_product_classes(factory);
    list.SetScreenSize(kW, kH);
    list.front_base().SetColor(0x202020);
    screen.SetSize(kW, kH, 32);
    list.SetDisplaySurface(&screen);
    clock.FrameDeltaMs = 15;
    const std::int32_t alphas[] = {255, 128, 384};
    for (int i = 0; i < 20; ++i) add_image("planes.bri", 20 + (i % 10) * 120, 20 + (i / 10) * 120, alphas[i % 3]);
    for (int i = 0; i < 10; ++i) {
      auto& t = static_cast<TNovaTile&>(list.Create(LT_TILE));
      t.SetName("tile" + std::to_string(i));
      t.SetParent(&list.front_base());
      write_str(t, PR_SOURCE, "plain.bri");
      t.SetBounds(20 + i * 120, 280, 110, 100);
      write_int(t, PR_SCROLLX, i * 7);
      write_int(t, PR_SCROLLY, -i * 3);
      tiles.push_back(&t);
    }
    for (int i = 0; i < 10; ++i) {
      TNovaImages& z = add_image("planes.bri", 20 + i * 120, 400, 255);
      write_int(z, PR_ZOOMX, 320);
      write_int(z, PR_ZOOMY, 200);
      zoomed.push_back(&z);
    }
    for (int i = 0; i < 10; ++i) {
      TNovaImages& r = add_image("planes.bri", 70 + i * 120, 600, 255);
      write_int(r, PR_OFFSETX, 48);
      write_int(r, PR_OFFSETY, 48);
      write_int(r, PR_ANGLE, 16 + i * 20);
      rotated.push_back(&r);
    }
  }

  TNovaImages& add_image(const char* source, int x, int y, std::int32_t alpha) {
    auto& c = static_cast<TNovaImages&>(list.Create(LT_IMAGES));
    c.SetName("img" + std::to_string(images.size() + zoomed.size() + rotated.size()));
    c.SetParent(&list.front_base());
    write_str(c, PR_SOURCE, source);
    write_int(c, PR_LEFT, x);
    write_int(c, PR_TOP, y);
    write_int(c, PR_ALPHA, alpha);
    write_flag(c, PR_REPEAT, true);
    if (images.size() < 20) images.push_back(&c);
    return c;
  }

  // Ours: the update pass steps every animation, the composition draws the
  // whole screen.
  void ours() {
    list.UpdateAll();
    list.front_base().InvalidateAll();
    list.Compose();
    list.ClearDirtyRects();
  }

  // The baseline: the same operations with the same arguments, the frames
  // stepping alike.
  void baseline() {
    frame = (frame + 1) % 4;
    const graphics::TBrioItem& planes = *cache.Find("planes.bri");
    const graphics::TBrioItem& plain = *cache.Find("plain.bri");
    const graphics::TDIBX& pic = *planes.Frames(frame).picture;
    const graphics::TDIBX& plane = *planes.Frames(frame).alpha;
    const graphics::TDIBX& tile = *plain.Frames(frame).picture;
    const graphics::Rect src{0, 0, 96, 96};
    screen.ResetClip();
    screen.FillRect({0, 0, kW, kH}, static_cast<std::uint32_t>(screen.ColorToPixel(0x202020)));
    for (const TNovaImages* c : images) {
      const int x = c->ScreenLeft(), y = c->ScreenTop();
      if (c->Alpha() == 255) {
        screen.DrawMasked(x, y, plane, false, false, src, pic);
      } else if (c->Alpha() < 255) {
        screen.DrawMaskedBlend(x, y, c->Alpha(), plane, false, false, src, pic);
      } else {
        screen.DrawMaskedAdd(x, y, c->Alpha() - 256, plane, false, false, src, pic);
      }
    }
    for (const TNovaTile* t : tiles) {
      screen.TileFill(t->GetScreenRect(), tile, false, false, t->ScrollY(), t->ScrollX());
    }
    for (const TNovaImages* z : zoomed)
      screen.StretchDrawMasked(z->GetScreenRect(), pic, 255, plane, false, false, src);
    for (const TNovaImages* r : rotated) {
      const Point o = r->GetDrawOrigin();
      screen.DrawMaskedRotate(o.x, o.y, 255, plane, false, false, r->Angle(), 48, 48, src, pic, 256, 256);
    }
  }

  Files files;
  graphics::TBrioCollection cache{files, 0, 32};
  core::FrameClock clock;
  TComponentFactory factory;
  TNovaBaseList list{{.factory = factory, .pictures = &cache, .clock = &clock}};
  graphics::TDIBX screen;
  std::vector<TNovaImages*> images, zoomed, rotated;
  std::vector<TNovaTile*> tiles;
  int frame = 0;
};

void BM_ImageFramePaired(benchmark::State& state) {
  static Scene scene;
  if (scene.list.ItemCount() != 50) fail("the scene has not 50 components");
  nova::bench::PairedTimes times;
  for (auto _ : state) times.time([&] { scene.ours(); }, [&] { scene.baseline(); });
  benchmark::DoNotOptimize(scene.screen.GetPixel(100, 100));
  state.counters["ratio"] = times.ratio();
}
BENCHMARK(BM_ImageFramePaired)->Unit(benchmark::kMillisecond);

// --- Cache hits ------------------------------------------------------------------------------

void BM_CacheHitPaired(benchmark::State& state) {
  static Files files;
  static graphics::TBrioCollection cache(files, 0, 32);
  static std::unordered_map<std::string, int> map;
  static std::vector<std::string> names;
  if (names.empty()) {
    for (int i = 0; i < 1000; ++i) {
      names.push_back("Pictures\\Scene" + std::to_string(i) + ".BRI");
      cache.Acquire(1, names.back(), false, false);
      map.emplace(core::upper(names.back()), i);
    }
    if (cache.Count() != 1000) fail("the cache has not 1000 items");
  }
  std::size_t ours_found = 0, theirs_found = 0;
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    const double t0 = thread_seconds();
    for (const std::string& name : names) {
      graphics::TBrioItem& item = cache.Acquire(2, name, false, false);
      ours_found += static_cast<std::size_t>(item.UserCount());
      cache.Release(&item, 2);
    }
    const double t1 = thread_seconds();
    for (const std::string& name : names) theirs_found += map.find(core::upper(name)) != map.end() ? 2 : 0;
    const double t2 = thread_seconds();
    ours += t1 - t0;
    theirs += t2 - t1;
  }
  if (ours_found != theirs_found || cache.Count() != 1000) fail("the lookups disagree");
  state.counters["ratio"] = ours / theirs;
}
BENCHMARK(BM_CacheHitPaired);

}  // namespace

BENCHMARK_MAIN();
