// The surface operations on a 1280 × 720 frame against pixman doing the same
// work, and a plain copy of the frame as the memory limit.
//
// Each of our benchmarks runs on one pixel path (portable, sse2, avx2) or on
// "auto", the path and kernels the player picks on this processor, and
// checks, once, that its result has the checksum of the per-pixel reference.
// Alpha planes come in two shapes: "soft", every pixel partly transparent
// (the worst case), and "sprite", mostly 0 and 255 with soft edges, as
// character pictures are. Stretches fill the frame from a source of 1 / 0.75,
// 1 / 1.5 and 1 / 2.37 of its size, plain and mirrored both ways; pixman
// scales the same source by the same transform with its nearest filter.
// The "paired/" rows time ours and pixman one after the other in every
// iteration and report the ratio: on a shared machine pixman's own time
// moves by half between separate rows, so those ratios are the ones to read.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench/pixman_image.h"
#include "bench/thread_clock.h"
#include "graphics/kernels.h"
#include "graphics/memory_dibx.h"

namespace {

using nova::graphics::PixelPath;
using nova::graphics::Rect;
using nova::graphics::ScopedPixelPath;
using nova::graphics::TCustomDIBX;
using nova::graphics::TDIBX;

constexpr int kW = 1280, kH = 720;
constexpr double kScales[] = {0.75, 1.5, 2.37};
// 30 degrees in 1/256 of a turn, rounded; pixman turns by the same angle.
constexpr int kAngle = 21;

enum class Plane { Soft, Sprite };

void fill_random(TDIBX& s, std::uint32_t seed) {
  std::mt19937 rng(seed);
  for (int y = 0; y < s.GetHeight(); ++y) {
    auto* row = s.Lock(0, y);
    const int bytes = s.GetStorageBitCount() / 8 * s.GetWidth();
    for (int i = 0; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(rng());
    s.Unlock();
  }
}

void fill_plane(TDIBX& a, Plane kind) {
  std::mt19937 rng(99);
  const double cx = a.GetWidth() / 2.0, cy = a.GetHeight() / 2.0;
  const double rx = a.GetWidth() * 0.3, ry = a.GetHeight() * 0.45;
  for (int y = 0; y < a.GetHeight(); ++y) {
    std::uint8_t* row = a.Lock(0, y);
    for (int x = 0; x < a.GetWidth(); ++x) {
      if (kind == Plane::Soft) {
        row[x] = static_cast<std::uint8_t>(1 + rng() % 254);
        continue;
      }
      // An upright silhouette with a four-pixel soft edge.
      const double dx = (x - cx) / rx, dy = (y - cy) / ry;
      const double edge = (1.0 - std::sqrt(dx * dx + dy * dy)) * rx / 4;
      row[x] = edge <= 0 ? 0 : edge >= 1 ? 255 : static_cast<std::uint8_t>(edge * 255);
    }
    a.Unlock();
  }
}

std::uint64_t checksum(const TCustomDIBX& s) {
  const std::uint32_t colour = s.GetBitCount() == 32 ? 0xFFFFFF : s.GetBitCount() == 16 ? 0xFFFF : 0x7FFF;
  std::uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < s.GetHeight(); ++y) {
    for (int x = 0; x < s.GetWidth(); ++x) h = (h ^ (s.GetPixel(x, y) & colour)) * 1099511628211ull;
  }
  return h;
}

enum class Op { Masked, Blend128, Add, MaskedAdd, Stretch, StretchMasked, Rotate, MaskedRotate };

// One benchmarked operation: what it does, on which layout, with which alpha
// plane, and for stretches the scale and whether it is mirrored.
struct Work {
  Op op = Op::Masked;
  int bits = 32;
  Plane kind = Plane::Soft;
  double scale = 1;
  bool mirrored = false;
};

bool stretches(Op op) { return op == Op::Stretch || op == Op::StretchMasked; }

// The source of a stretch at `scale` fills the frame.
int source_width(const Work& w) { return stretches(w.op) ? static_cast<int>(std::lround(kW / w.scale)) : kW; }
int source_height(const Work& w) { return stretches(w.op) ? static_cast<int>(std::lround(kH / w.scale)) : kH; }

struct Scene {
  TDIBX dst, src, plane;
  explicit Scene(const Work& w) {
    dst.SetSize(kW, kH, w.bits);
    src.SetSize(source_width(w), source_height(w), w.bits);
    plane.SetSize(source_width(w), source_height(w), 8);
    fill_random(dst, 1);
    fill_random(src, 2);
    fill_plane(plane, w.kind);
  }
};

void run_op(const Work& w, Scene& s) {
  TDIBX& d = s.dst;
  const Rect all{0, 0, kW, kH}, source{0, 0, source_width(w), source_height(w)};
  const bool m = w.mirrored;
  switch (w.op) {
    case Op::Masked: d.DrawMasked(0, 0, s.plane, false, false, all, s.src); break;
    case Op::Blend128: d.DrawBlend(0, 0, 128, false, false, false, all, s.src); break;
    case Op::Add: d.DrawAdd(0, 0, 255, false, false, false, all, s.src); break;
    case Op::MaskedAdd: d.DrawMaskedAdd(0, 0, 255, s.plane, false, false, all, s.src); break;
    case Op::Stretch: d.StretchDraw(all, s.src, 255, m, m, false, source); break;
    case Op::StretchMasked: d.StretchDrawMasked(all, s.src, 255, s.plane, m, m, source); break;
    case Op::Rotate:
      d.DrawRotate(kW / 2, kH / 2, 255, false, false, false, kAngle, kH / 2, kW / 2, all, s.src, 256, 256);
      break;
    case Op::MaskedRotate:
      d.DrawMaskedRotate(kW / 2, kH / 2, 255, s.plane, false, false, kAngle, kH / 2, kW / 2, all, s.src, 256, 256);
      break;
  }
}

void BM_Ours(benchmark::State& state, Work w, PixelPath path) {
  ScopedPixelPath forced(path);
  if (!forced.ok()) {
    state.SkipWithError("path not available on this processor");
    return;
  }
  // The result of one run must match the reference's; checked at the first
  // repetition only, since the reference goes pixel by pixel.
  static std::set<std::string> checked;
  const std::string key = std::to_string(static_cast<int>(w.op)) + "/" + std::to_string(w.bits) + "/" +
                          std::to_string(static_cast<int>(w.kind)) + "/" + std::to_string(w.scale) + "/" +
                          std::to_string(w.mirrored) + "/" + std::string(nova::graphics::pixel_path_name(path));
  if (checked.insert(key).second) {
    Scene fast(w), ref(w);
    run_op(w, fast);
    {
      ScopedPixelPath reference(PixelPath::Reference);
      run_op(w, ref);
    }
    if (checksum(fast.dst) != checksum(ref.dst)) {
      checked.erase(key);
      state.SkipWithError("result differs from the reference");
      return;
    }
  }
  Scene s(w);
  for (auto _ : state) {
    run_op(w, s);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

// --- pixman -----------------------------------------------------------------------

pixman_format_code_t pixman_format(int bits) {
  return bits == 32 ? PIXMAN_x8r8g8b8 : bits == 16 ? PIXMAN_r5g6b5 : PIXMAN_x1r5g5b5;
}

using nova::bench::PixmanImage;

void set_transform(pixman_image_t* image, const pixman_f_transform& ft) {
  pixman_transform t;
  pixman_transform_from_pixman_f_transform(&t, &ft);
  pixman_image_set_transform(image, &t);
  pixman_image_set_filter(image, PIXMAN_FILTER_NEAREST, nullptr, 0);
}

pixman_image_t* half_solid() {
  pixman_color_t half{0, 0, 0, 128 * 257};
  return pixman_image_create_solid_fill(&half);
}

// pixman doing an operation on a scene's surfaces, with its transform set.
struct PixmanDraw {
  PixmanImage dst, src, plane, solid;
  pixman_op_t pop = PIXMAN_OP_OVER;
  pixman_image_t *a = nullptr, *m = nullptr;

  PixmanDraw(Scene& s, const Work& w)
      : dst(s.dst, pixman_format(w.bits)),
        src(s.src, pixman_format(w.bits)),
        plane(s.plane, PIXMAN_a8),
        solid(half_solid()),
        a(src.image) {
    // Destination to source: x × sw / W, mirrored to sw − x × sw / W.
    const double fx = static_cast<double>(source_width(w)) / kW, fy = static_cast<double>(source_height(w)) / kH;
    pixman_f_transform scale;
    pixman_f_transform_init_scale(&scale, w.mirrored ? -fx : fx, w.mirrored ? -fy : fy);
    if (w.mirrored) pixman_f_transform_translate(&scale, nullptr, source_width(w), source_height(w));
    pixman_f_transform rotate;
    pixman_f_transform_init_identity(&rotate);
    const double theta = kAngle * 2 * std::numbers::pi / 256;
    pixman_f_transform_translate(&rotate, nullptr, -kW / 2.0, -kH / 2.0);
    pixman_f_transform_rotate(&rotate, nullptr, std::cos(-theta), std::sin(-theta));
    pixman_f_transform_translate(&rotate, nullptr, kW / 2.0, kH / 2.0);
    switch (w.op) {
      case Op::Masked: m = plane.image; break;
      case Op::Blend128: m = solid.image; break;
      case Op::Add: pop = PIXMAN_OP_ADD; break;
      case Op::MaskedAdd:
        pop = PIXMAN_OP_ADD;
        m = plane.image;
        break;
      case Op::Stretch:
        pop = PIXMAN_OP_SRC;
        set_transform(a, scale);
        break;
      case Op::StretchMasked:
        m = plane.image;
        set_transform(a, scale);
        set_transform(m, scale);
        break;
      case Op::Rotate:
        // Outside the rotated picture the destination stays, as ours does.
        set_transform(a, rotate);
        break;
      case Op::MaskedRotate:
        m = plane.image;
        set_transform(a, rotate);
        set_transform(m, rotate);
        break;
    }
  }
  void run() { pixman_image_composite32(pop, a, m, dst.image, 0, 0, 0, 0, 0, 0, kW, kH); }
};

void BM_Pixman(benchmark::State& state, Work w) {
  Scene s(w);
  PixmanDraw draw(s, w);
  for (auto _ : state) {
    draw.run();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

// Ours on a path and pixman timed one after the other in every iteration,
// each on its own scene: pixman's time here moves by half from run to run,
// and separate benchmarks see different machine states. The ratio counter
// is ours over pixman's.
void BM_Paired(benchmark::State& state, Work w, PixelPath path) {
  ScopedPixelPath forced(path);
  if (!forced.ok()) {
    state.SkipWithError("path not available on this processor");
    return;
  }
  Scene ours(w), theirs(w);
  PixmanDraw draw(theirs, w);
  nova::bench::PairedTimes times;
  for (auto _ : state) {
    times.time([&] { run_op(w, ours); }, [&] { draw.run(); });
    benchmark::ClobberMemory();
  }
  state.counters["ratio"] = times.ratio();
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<std::uint32_t> a(static_cast<std::size_t>(kW) * kH, 1), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size() * 4);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

std::string op_name(const Work& w) {
  switch (w.op) {
    case Op::Masked: return "DrawMasked";
    case Op::Blend128: return "DrawBlend128";
    case Op::Add: return "DrawAdd";
    case Op::MaskedAdd: return "DrawMaskedAdd";
    case Op::Stretch:
    case Op::StretchMasked: {
      std::string scale = std::to_string(w.scale);
      scale.erase(scale.find_last_not_of('0') + 1);
      return std::string(w.op == Op::Stretch ? "StretchDraw" : "StretchDrawMasked") + scale +
             (w.mirrored ? "mirrored" : "");
    }
    case Op::Rotate: return "DrawRotate30";
    case Op::MaskedRotate: return "DrawMaskedRotate30";
  }
  return "?";
}

bool uses_plane(Op op) {
  return op == Op::Masked || op == Op::MaskedAdd || op == Op::StretchMasked || op == Op::MaskedRotate;
}

int register_all() {
  // Read before any benchmark forces a path: what the player would use.
  const PixelPath chosen = nova::graphics::pixel_path();
  benchmark::RegisterBenchmark("memcpy/frame32", BM_Memcpy)->Unit(benchmark::kMicrosecond);
  const Op all_ops[] = {Op::Masked,  Op::Blend128,      Op::Add,    Op::MaskedAdd,
                        Op::Stretch, Op::StretchMasked, Op::Rotate, Op::MaskedRotate};
  for (int bits : {32, 16, 15}) {
    for (Op op : all_ops) {
      const bool packed16 = bits != 32;
      if (packed16 && (op == Op::Rotate || op == Op::MaskedRotate || op == Op::StretchMasked)) continue;
      std::vector<Work> works;
      for (Plane kind : {Plane::Soft, Plane::Sprite}) {
        if (!uses_plane(op) && kind == Plane::Sprite) continue;
        if (!stretches(op)) {
          works.push_back(Work{op, bits, kind});
          continue;
        }
        for (double scale : kScales) {
          for (bool mirrored : {false, true}) works.push_back(Work{op, bits, kind, scale, mirrored});
        }
      }
      for (const Work& w : works) {
        const std::string suffix = op_name(w) + "/" + std::to_string(bits) +
                                   (uses_plane(op) ? (w.kind == Plane::Soft ? "/soft" : "/sprite") : "");
        benchmark::RegisterBenchmark(("pixman/" + suffix).c_str(), BM_Pixman, w)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("auto/" + suffix).c_str(), BM_Ours, w, chosen)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("paired/auto/" + suffix).c_str(), BM_Paired, w, chosen)
            ->Unit(benchmark::kMicrosecond);
        for (PixelPath path : nova::graphics::available_pixel_paths()) {
          if (path == PixelPath::Reference || path == PixelPath::Portable || path == chosen) continue;
          const std::string name = "paired/" + std::string(nova::graphics::pixel_path_name(path)) + "/" + suffix;
          benchmark::RegisterBenchmark(name.c_str(), BM_Paired, w, path)->Unit(benchmark::kMicrosecond);
        }
        for (PixelPath path : nova::graphics::available_pixel_paths()) {
          if (path == PixelPath::Reference) continue;
          const std::string name = std::string(nova::graphics::pixel_path_name(path)) + "/" + suffix;
          benchmark::RegisterBenchmark(name.c_str(), BM_Ours, w, path)->Unit(benchmark::kMicrosecond);
        }
      }
    }
  }
  return 0;
}

const int registered = register_all();

}  // namespace

BENCHMARK_MAIN();
