// The per-frame cost of every transition type on a 1280 × 720 screen at 32
// and at 16 bits (5-6-5): one iteration draws the 60 frames of a transition
// of duration 60 (elapsed 0 to 59; Prepare is done before timing), so an
// iteration's time over 60 is the mean cost of a frame.
//
// Baselines in the same run, each also over 60 frames:
// - memcpy/<bits>: a copy of the frame, the memory limit every type is
//   measured against;
// - pixman/fade/<bits>: what the cross-fade does, done by pixman: a SRC copy
//   of the old screen, then OVER of the new with a solid mask of the fade's
//   opacity;
// - pixman/small|big/<bits>: the new (old) screen copied, then the other
//   one composited through the same rotation and zoom, nearest neighbour,
//   over the rotated picture's bounds;
// - pixman/remap/<bits>: a full-frame nearest-neighbour transform of the new
//   screen (a 2 % zoom about the centre), the work of displacing every row
//   that the ripple does.
//
// The "paired/<path>/<type>/<bits>" rows time a type's 60 frames and its
// baseline's 60 frames (the memcpy, or the pixman work above for the fade,
// the shrink and grow and the ripple) one after the other in every
// iteration and report ours / baseline as the "ratio" counter (the sums)
// and "ratio_median" (the median of the iterations' own ratios, which a
// burst of load on one side of a few iterations does not move): on a
// shared machine separate rows drift apart by 10-20 %, so those are the
// ratios to read. The separate rows stay for absolute times.
//
// Before timing, each benchmark draws one frame on its path and on the
// per-pixel reference and stops with an error when they differ.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bench/pixman_image.h"
#include "bench/thread_clock.h"
#include "expr/random.h"
#include "graphics/kernels.h"
#include "graphics/memory_dibx.h"
#include "graphics/picture_files.h"
#include "graphics/wipes.h"

namespace {

using nova::graphics::PixelPath;
using nova::graphics::ScopedPixelPath;
using nova::graphics::TCustomDIBX;
using nova::graphics::TDIBX;

constexpr int kW = 1280, kH = 720, kFrames = 60;

// A picture with large flat areas and gradients (as scenes have) and noise,
// so that neither the equal-pixel skips nor the vector paths get it free.
void fill_scene(TDIBX& s, std::uint32_t seed) {
  std::mt19937 rng(seed);
  for (int y = 0; y < s.GetHeight(); ++y) {
    for (int x = 0; x < s.GetWidth(); ++x) {
      const int band = ((x + static_cast<int>(seed)) / 97 + y / 61) % 4;
      const std::uint32_t r = band == 0 ? 255u * static_cast<std::uint32_t>(x) / kW : rng() & 0xFF;
      const std::uint32_t g = band == 1 ? 40u : (static_cast<std::uint32_t>(y) * 255u / kH);
      const std::uint32_t b = band == 2 ? 200u : rng() & 0xFF;
      s.SetPixel(x, y, static_cast<std::uint32_t>(s.ColorToPixel(static_cast<std::int32_t>(r | g << 8 | b << 16))));
    }
  }
}

std::uint64_t checksum(const TCustomDIBX& s) {
  const std::uint32_t colour = s.GetBitCount() == 32 ? 0xFFFFFF : 0xFFFF;
  std::uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < s.GetHeight(); ++y) {
    for (int x = 0; x < s.GetWidth(); ++x) h = (h ^ (s.GetPixel(x, y) & colour)) * 1099511628211ull;
  }
  return h;
}

// A radial mask picture for the mask-picture types, as a bitmap file.
class MaskFiles : public nova::graphics::PictureFiles {
 public:
  MaskFiles() {
    const int w = 320, h = 180;
    const std::uint32_t row_bytes = static_cast<std::uint32_t>(w * 3);
    auto le32 = [&](std::uint32_t v) {
      for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    auto le16 = [&](std::uint16_t v) {
      m_bytes.push_back(static_cast<std::uint8_t>(v));
      m_bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    m_bytes = {'B', 'M'};
    le32(54 + row_bytes * h);
    le32(0);
    le32(54);
    le32(40);
    le32(w);
    le32(static_cast<std::uint32_t>(-h));
    le16(1);
    le16(24);
    for (int i = 0; i < 6; ++i) le32(0);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const double d = std::hypot(x - w / 2.0, y - h / 2.0);
        const auto g = static_cast<std::uint8_t>(static_cast<int>(d * 2) % 256);
        m_bytes.insert(m_bytes.end(), {g, g, g});
      }
    }
  }
  bool exists(const std::string& name) const override { return name == "mask"; }
  std::vector<std::uint8_t> read_all(const std::string&) const override { return m_bytes; }

 private:
  std::vector<std::uint8_t> m_bytes;
};

struct Screens {
  TDIBX target, old_screen, new_screen;
  explicit Screens(int bits) {
    for (TDIBX* s : {&target, &old_screen, &new_screen}) s->SetSize(kW, kH, bits);
    fill_scene(old_screen, 1);
    fill_scene(new_screen, 2);
  }
};

struct Wipe {
  nova::graphics::WipeGreyTables greys;
  nova::expr::StandardRandom random{12345};
  MaskFiles files;
  std::unique_ptr<nova::graphics::TCustomWipe> wipe;
  Wipe(Screens& s, int type, int bits) : greys(nova::graphics::make_wipe_grey_tables(bits)) {
    wipe = nova::graphics::CreateTransition(type, {&s.target, &s.old_screen, &s.new_screen},
                                            {&files, 0, &greys, &random}, kFrames);
    wipe->SetMaskName("mask");
    wipe->Prepare();
  }
};

// A prepared transition on the current path, after one frame of it was
// drawn and compared with the per-pixel reference; none when they differ
// (the benchmark then stops with that error).
std::unique_ptr<Wipe> checked_wipe(benchmark::State& state, Screens& s, int type, int bits) {
  std::uint64_t want = 0;
  {
    ScopedPixelPath reference(PixelPath::Reference);
    Wipe ref(s, type, bits);
    ref.wipe->SetElapsed(kFrames / 3);
    ref.wipe->DrawStep();
    want = checksum(s.target);
  }
  auto w = std::make_unique<Wipe>(s, type, bits);
  w->wipe->SetElapsed(kFrames / 3);
  w->wipe->DrawStep();
  if (checksum(s.target) != want) {
    state.SkipWithError("differs from the reference");
    return nullptr;
  }
  return w;
}

void draw_all_frames(Wipe& w) {
  for (int e = 0; e < kFrames; ++e) {
    w.wipe->SetElapsed(e);
    w.wipe->DrawStep();
  }
}

void BM_Wipe(benchmark::State& state, int type, int bits, PixelPath path) {
  ScopedPixelPath scoped(path);
  if (!scoped.ok()) {
    state.SkipWithError("path not available");
    return;
  }
  Screens s(bits);
  const std::unique_ptr<Wipe> w = checked_wipe(state, s, type, bits);
  if (!w) return;
  for (auto _ : state) {
    draw_all_frames(*w);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
}

struct MemcpyWork {
  std::vector<std::uint8_t> from, to;
  explicit MemcpyWork(int bits)
      : from(static_cast<std::size_t>(kW) * kH * (bits == 32 ? 4 : 2), 1), to(from.size()) {}
  void run() {
    for (int e = 0; e < kFrames; ++e) {
      std::memcpy(to.data(), from.data(), to.size());
      benchmark::ClobberMemory();
    }
  }
};

void BM_Memcpy(benchmark::State& state, int bits) {
  MemcpyWork work(bits);
  for (auto _ : state) work.run();
  state.SetItemsProcessed(state.iterations() * kFrames);
}

// --- pixman -----------------------------------------------------------------------

using nova::bench::PixmanImage;

enum class Baseline { Fade, Small, Big, Remap };

// Destination → source of a draw that turns the source by `angle` (1/256
// turn) and zooms it by zoom / 256 about the frame's centre.
pixman_f_transform turn_and_zoom(int angle, int zoom) {
  pixman_f_transform t;
  pixman_f_transform_init_identity(&t);
  const double theta = angle * 2 * std::numbers::pi / 256, z = zoom / 256.0;
  pixman_f_transform_translate(&t, nullptr, -(kW / 2), -(kH / 2));
  pixman_f_transform_rotate(&t, nullptr, std::cos(-theta), std::sin(-theta));
  pixman_f_transform_scale(&t, nullptr, 1 / z, 1 / z);
  pixman_f_transform_translate(&t, nullptr, kW / 2, kH / 2);
  return t;
}

void set_transform(pixman_image_t* image, const pixman_f_transform& ft) {
  pixman_transform t;
  pixman_transform_from_pixman_f_transform(&t, &ft);
  pixman_image_set_transform(image, &t);
  pixman_image_set_filter(image, PIXMAN_FILTER_NEAREST, nullptr, 0);
}

// The frame's part that a turned and zoomed frame covers.
void turned_bounds(int angle, int zoom, int& x, int& y, int& w, int& h) {
  const double theta = angle * 2 * std::numbers::pi / 256, z = zoom / 256.0;
  double lo_x = 1e9, lo_y = 1e9, hi_x = -1e9, hi_y = -1e9;
  for (double u : {-kW / 2.0, kW / 2.0}) {
    for (double v : {-kH / 2.0, kH / 2.0}) {
      const double px = (u * std::cos(theta) - v * std::sin(theta)) * z + kW / 2;
      const double py = (u * std::sin(theta) + v * std::cos(theta)) * z + kH / 2;
      lo_x = std::min(lo_x, px);
      hi_x = std::max(hi_x, px);
      lo_y = std::min(lo_y, py);
      hi_y = std::max(hi_y, py);
    }
  }
  x = std::max(0, static_cast<int>(std::floor(lo_x)));
  y = std::max(0, static_cast<int>(std::floor(lo_y)));
  w = std::min(kW, static_cast<int>(std::ceil(hi_x)) + 1) - x;
  h = std::min(kH, static_cast<int>(std::ceil(hi_y)) + 1) - y;
}

// A baseline's 60 frames done by pixman on its own screens.
class PixmanWork {
 public:
  PixmanWork(Baseline what, int bits)
      : m_what(what),
        m_screens(bits),
        m_format(bits == 32 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5),
        m_dst(m_screens.target, m_format),
        m_old(m_screens.old_screen, m_format),
        m_new(m_screens.new_screen, m_format) {
    // Per frame: the opacity of the fade, the zoom and turn of the shrink
    // and grow (parameter 0 of 256: one whole turn over the transition).
    for (int e = 0; e < kFrames; ++e) {
      const int opacity = e * 256 / kFrames;
      pixman_color_t c{0, 0, 0, static_cast<std::uint16_t>(opacity * 257)};
      m_masks.push_back(std::make_unique<PixmanImage>(pixman_image_create_solid_fill(&c)));
      const double r = static_cast<double>(kFrames - e - 1) / kFrames;
      const int zoom = what == Baseline::Small
                           ? static_cast<int>(std::nearbyint(r * 255))
                           : static_cast<int>(std::nearbyint(static_cast<double>(e) / kFrames * 255));
      const int angle = what == Baseline::Small ? static_cast<int>(std::nearbyint(256.0 * e / kFrames))
                                                : static_cast<int>(std::nearbyint(256.0 * r));
      m_turns.push_back(zoom > 0 ? turn_and_zoom(angle, zoom) : pixman_f_transform{});
      std::array<int, 4> b{0, 0, 0, 0};
      if (zoom > 0) turned_bounds(angle, zoom, b[0], b[1], b[2], b[3]);
      m_bounds.push_back(b);
    }
    if (what == Baseline::Remap) {
      pixman_f_transform remap;
      pixman_f_transform_init_identity(&remap);
      pixman_f_transform_translate(&remap, nullptr, -(kW / 2), -(kH / 2));
      pixman_f_transform_scale(&remap, nullptr, 1 / 1.02, 1 / 1.02);
      pixman_f_transform_translate(&remap, nullptr, kW / 2, kH / 2);
      set_transform(m_new.image, remap);
    }
  }

  void run() {
    for (int e = 0; e < kFrames; ++e) {
      const auto frame = static_cast<std::size_t>(e);
      switch (m_what) {
        case Baseline::Fade:
          pixman_image_composite32(PIXMAN_OP_SRC, m_old.image, nullptr, m_dst.image, 0, 0, 0, 0, 0, 0, kW, kH);
          pixman_image_composite32(PIXMAN_OP_OVER, m_new.image, m_masks[frame]->image, m_dst.image, 0, 0, 0, 0, 0, 0,
                                   kW, kH);
          break;
        case Baseline::Small:
        case Baseline::Big: {
          pixman_image_t* under = m_what == Baseline::Small ? m_new.image : m_old.image;
          pixman_image_t* over = m_what == Baseline::Small ? m_old.image : m_new.image;
          pixman_image_set_transform(over, nullptr);
          pixman_image_composite32(PIXMAN_OP_SRC, under, nullptr, m_dst.image, 0, 0, 0, 0, 0, 0, kW, kH);
          const auto& b = m_bounds[frame];
          if (b[2] > 0 && b[3] > 0) {
            set_transform(over, m_turns[frame]);
            pixman_image_composite32(PIXMAN_OP_OVER, over, nullptr, m_dst.image, b[0], b[1], 0, 0, b[0], b[1], b[2],
                                     b[3]);
          }
          break;
        }
        case Baseline::Remap:
          pixman_image_composite32(PIXMAN_OP_SRC, m_new.image, nullptr, m_dst.image, 0, 0, 0, 0, 0, 0, kW, kH);
          break;
      }
    }
    benchmark::ClobberMemory();
  }

 private:
  Baseline m_what;
  Screens m_screens;
  pixman_format_code_t m_format;
  PixmanImage m_dst, m_old, m_new;
  std::vector<std::unique_ptr<PixmanImage>> m_masks;
  std::vector<pixman_f_transform> m_turns;
  std::vector<std::array<int, 4>> m_bounds;
};

void BM_Pixman(benchmark::State& state, Baseline what, int bits) {
  PixmanWork work(what, bits);
  for (auto _ : state) work.run();
  state.SetItemsProcessed(state.iterations() * kFrames);
}

// What a type is held against: pixman for the fade and the types that
// transform the whole frame, a copy of the frame for the others.
std::optional<Baseline> pixman_baseline(int type) {
  switch (type) {
    case nova::graphics::WP_FADE: return Baseline::Fade;
    case nova::graphics::WP_SMALL: return Baseline::Small;
    case nova::graphics::WP_BIG: return Baseline::Big;
    case nova::graphics::WP_RIPPLE: return Baseline::Remap;
    default: return std::nullopt;
  }
}

template <class Work>
void time_paired(benchmark::State& state, Wipe& ours, Work& theirs) {
  nova::bench::PairedTimes times;
  for (auto _ : state) {
    times.time([&] { draw_all_frames(ours); }, [&] { theirs.run(); });
    benchmark::ClobberMemory();
  }
  state.counters["ratio"] = times.ratio();
  state.counters["ratio_median"] = times.median_ratio();
  state.SetItemsProcessed(state.iterations() * kFrames);
}

void BM_Paired(benchmark::State& state, int type, int bits, PixelPath path) {
  ScopedPixelPath scoped(path);
  if (!scoped.ok()) {
    state.SkipWithError("path not available");
    return;
  }
  Screens s(bits);
  const std::unique_ptr<Wipe> w = checked_wipe(state, s, type, bits);
  if (!w) return;
  if (const auto baseline = pixman_baseline(type)) {
    PixmanWork theirs(*baseline, bits);
    time_paired(state, *w, theirs);
  } else {
    MemcpyWork theirs(bits);
    time_paired(state, *w, theirs);
  }
}

int register_all() {
  const auto us = benchmark::kMicrosecond;
  const PixelPath best = nova::graphics::best_pixel_path();
  for (int bits : {32, 16}) {
    const std::string b = "/" + std::to_string(bits);
    // Every type against its baseline in the same iteration, on the path
    // the player chooses and on each vector path (SSE2 is what a processor
    // without AVX2 runs).
    for (const auto& info : nova::graphics::wipe_types()) {
      benchmark::RegisterBenchmark(("paired/auto/" + std::string(info.name) + b).c_str(), BM_Paired, info.value, bits,
                                   best)
          ->Unit(us);
      for (PixelPath path : nova::graphics::available_pixel_paths()) {
        if (path == PixelPath::Reference || path == PixelPath::Portable) continue;
        const std::string name =
            "paired/" + std::string(nova::graphics::pixel_path_name(path)) + "/" + info.name + b;
        benchmark::RegisterBenchmark(name.c_str(), BM_Paired, info.value, bits, path)->Unit(us);
      }
    }
    benchmark::RegisterBenchmark(("memcpy" + b).c_str(), BM_Memcpy, bits)->Unit(us);
    benchmark::RegisterBenchmark(("pixman/fade" + b).c_str(), BM_Pixman, Baseline::Fade, bits)->Unit(us);
    benchmark::RegisterBenchmark(("pixman/small" + b).c_str(), BM_Pixman, Baseline::Small, bits)->Unit(us);
    benchmark::RegisterBenchmark(("pixman/big" + b).c_str(), BM_Pixman, Baseline::Big, bits)->Unit(us);
    benchmark::RegisterBenchmark(("pixman/remap" + b).c_str(), BM_Pixman, Baseline::Remap, bits)->Unit(us);
    for (const auto& info : nova::graphics::wipe_types()) {
      const std::string name = std::string(nova::graphics::pixel_path_name(best)) + "/" + info.name + b;
      benchmark::RegisterBenchmark(name.c_str(), BM_Wipe, info.value, bits, best)->Unit(us);
    }
    // Every type on the x86-64 baseline too, and the mask family's
    // composition on the portable path.
    for (PixelPath path : nova::graphics::available_pixel_paths()) {
      if (path == PixelPath::Reference || path == best) continue;
      for (const auto& info : nova::graphics::wipe_types()) {
        if (path != PixelPath::Sse2 && info.value != nova::graphics::WP_BLINDH &&
            info.value != nova::graphics::WP_MASKFADE) {
          continue;
        }
        const std::string name = std::string(nova::graphics::pixel_path_name(path)) + "/" + info.name + b;
        benchmark::RegisterBenchmark(name.c_str(), BM_Wipe, info.value, bits, path)->Unit(us);
      }
    }
  }
  return 0;
}

const int registered = register_all();

}  // namespace

BENCHMARK_MAIN();
