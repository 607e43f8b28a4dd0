// Reading pictures from memory against the libraries doing the same work,
// in one run:
// - a 1280 × 720 24-bit layered frame in storage mode 0 of two layers (a
//   character whose sprite-shaped alpha plane becomes the picture's, and an
//   overlay keyed outside a small area at opacity 128), against libpng
//   decoding the same composite with its plane, saved by libpng's defaults
//   as 8-bit RGBA;
// - a one-layer 1280 × 720 frame in storage mode 2 (JPEG at quality 90),
//   against libjpeg-turbo decoding the same JPEG stream to 24-bit rows.
// Pictures are gradients, shapes and noise. Each side makes a new picture
// every iteration, as a reader does. Before timing, each of our results is
// checked against the library's decoding of the same picture.
#include <benchmark/benchmark.h>
// jpeglib.h needs the definitions of stdio.h before it.
#include <cstdio>
// clang-format off
#include <jpeglib.h>
// clang-format on
#include <png.h>

#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "files/stream.h"
#include "graphics/brios.h"

namespace {

using nova::graphics::BrioLoad;
using nova::graphics::TBrioFrameList;
using nova::graphics::TDIBSurface;

constexpr int kW = 1280, kH = 720;
// The overlay's visible area; everything else is its key colour.
constexpr int kBoxX = 900, kBoxY = 520, kBoxW = 240, kBoxH = 120;
constexpr std::uint32_t kKey = 0xFF00FF;

// Gradients, shapes (discs and bars) and a band of noise.
void paint(TDIBSurface& s, std::uint32_t seed) {
  std::mt19937 rng(seed);
  for (int y = 0; y < kH; ++y) {
    std::uint8_t* row = s.Row(y);
    for (int x = 0; x < kW; ++x) {
      std::uint8_t* p = row + 3 * x;
      p[0] = static_cast<std::uint8_t>(x * 255 / kW);
      p[1] = static_cast<std::uint8_t>(y * 255 / kH);
      p[2] = static_cast<std::uint8_t>((x + y + seed) & 255);
      const int cx = x % 320 - 160, cy = y % 240 - 120;
      if (cx * cx + cy * cy < 90 * 90) p[0] = p[1] = static_cast<std::uint8_t>(seed * 40 + 60);
      if (y % 180 < 20) p[2] = 0xE0;
      if (y >= 300 && y < 380) {
        for (int i = 0; i < 3; ++i) p[i] = static_cast<std::uint8_t>(rng());
      }
    }
  }
}

// An upright silhouette with a four-pixel soft edge.
void sprite_plane(nova::graphics::TDIBX& a) {
  const double cx = kW / 2.0, cy = kH / 2.0, rx = kW * 0.22, ry = kH * 0.46;
  for (int y = 0; y < kH; ++y) {
    std::uint8_t* row = a.Lock(0, y);
    for (int x = 0; x < kW; ++x) {
      const double dx = (x - cx) / rx, dy = (y - cy) / ry;
      const double edge = (1.0 - std::sqrt(dx * dx + dy * dy)) * rx / 4;
      row[x] = edge <= 0 ? 0 : edge >= 1 ? 255 : static_cast<std::uint8_t>(edge * 255);
    }
  }
}

struct Pictures {
  std::vector<std::uint8_t> layered;    // mode 0, two layers
  std::vector<std::uint8_t> png;        // the composite with its plane, RGBA
  std::vector<std::uint8_t> jpeg_file;  // mode 2, one layer
  std::vector<std::uint8_t> jpeg;       // its JPEG stream
};

std::vector<std::uint8_t> encode_png(const TDIBSurface& c) {
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kW) * kH * 4);
  for (int y = 0; y < kH; ++y) {
    const std::uint8_t* s = c.Row(y);
    const std::uint8_t* a = c.Alpha()->LockRead(0, y);
    for (int x = 0; x < kW; ++x) {
      std::uint8_t* d = rgba.data() + (static_cast<std::size_t>(y) * kW + x) * 4;
      d[0] = s[3 * x + 2];
      d[1] = s[3 * x + 1];
      d[2] = s[3 * x];
      d[3] = a[x];
    }
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kW;
  image.height = kH;
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr)) throw std::runtime_error("png");
  std::vector<std::uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr))
    throw std::runtime_error("png");
  out.resize(size);
  return out;
}

const Pictures& pictures() {
  static const Pictures p = [] {
    Pictures out;
    TBrioFrameList list;
    auto& frame = list.AddFrame();
    auto& character = frame.AddLayer();
    character.surface.SetSize(kW, kH, 24);
    paint(character.surface, 1);
    sprite_plane(character.surface.CreateAlpha(0));
    character.alpha_enabled = true;
    auto& overlay = frame.AddLayer();
    overlay.surface.SetSize(kW, kH, 24);
    overlay.surface.Fill(kKey);
    TDIBSurface box;
    box.SetSize(kW, kH, 24);
    paint(box, 2);
    for (int y = kBoxY; y < kBoxY + kBoxH; ++y)
      std::memcpy(overlay.surface.Row(y) + 3 * kBoxX, box.Row(y) + 3 * kBoxX, 3 * kBoxW);
    overlay.transparent = static_cast<std::int32_t>(kKey);
    overlay.opacity = 128;
    nova::files::TKvMemoryStream s;
    list.SaveToStream(s, nova::graphics::kBrioZlib, 70);
    out.layered.assign(s.bytes().begin(), s.bytes().end());
    TBrioFrameList read;
    s.SetPosition(0);
    read.LoadFromStream(s);
    out.png = encode_png(read.Frames(0).surface);

    TBrioFrameList photo;
    photo.AddFrame().surface.SetSize(kW, kH, 24);
    paint(photo.Frames(0).surface, 3);
    nova::files::TKvMemoryStream j;
    photo.SaveToStream(j, nova::graphics::kBrioJpeg, 90);
    out.jpeg_file.assign(j.bytes().begin(), j.bytes().end());
    // The stream: the first layer's colour data (after the layer's name
    // "Layer"), found by its JPEG start marker.
    const auto& f = out.jpeg_file;
    for (std::size_t i = 4; i + 1 < f.size(); ++i) {
      if (f[i] == 0xFF && f[i + 1] == 0xD8) {
        std::uint32_t n;
        std::memcpy(&n, f.data() + i - 4, 4);
        out.jpeg.assign(f.begin() + static_cast<std::ptrdiff_t>(i), f.begin() + static_cast<std::ptrdiff_t>(i + n));
        break;
      }
    }
    return out;
  }();
  return p;
}

// --- The libraries ---------------------------------------------------------------------

// libpng from memory to fresh RGBA rows.
std::vector<std::uint8_t> libpng_decode(const std::vector<std::uint8_t>& file) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) throw std::runtime_error("png");
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) throw std::runtime_error("png");
  return rgba;
}

// libjpeg-turbo from memory to fresh 24-bit rows (blue, green, red, as the
// bitmaps hold them).
std::vector<std::uint8_t> libjpeg_decode(const std::vector<std::uint8_t>& stream) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, stream.data(), static_cast<unsigned long>(stream.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&cinfo);
  const std::size_t row_bytes = (static_cast<std::size_t>(cinfo.output_width) * 3 + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> rows(row_bytes * cinfo.output_height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = rows.data() + row_bytes * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return rows;
}

// --- Checks against the libraries ----------------------------------------------------------

void check_layered(const std::vector<std::uint8_t>& rgba, const TBrioFrameList& list) {
  const TDIBSurface& c = list.Frames(0).surface;
  if (c.Width() != kW || c.Height() != kH || c.BitCount() != 24 || !c.HasAlpha()) throw std::runtime_error("shape");
  for (int y = 0; y < kH; ++y) {
    const std::uint8_t* s = c.Row(y);
    const std::uint8_t* a = c.Alpha()->LockRead(0, y);
    for (int x = 0; x < kW; ++x) {
      const std::uint8_t* e = rgba.data() + (static_cast<std::size_t>(y) * kW + x) * 4;
      if (e[0] != s[3 * x + 2] || e[1] != s[3 * x + 1] || e[2] != s[3 * x] || e[3] != a[x]) {
        throw std::runtime_error("the layered picture differs from libpng's decoding");
      }
    }
  }
}

void check_jpeg(const std::vector<std::uint8_t>& rows, const TBrioFrameList& list) {
  const TDIBSurface& c = list.Frames(0).surface;
  for (int y = 0; y < kH; ++y) {
    if (std::memcmp(c.Row(y), rows.data() + c.RowBytes() * static_cast<std::size_t>(y), kW * 3) != 0) {
      throw std::runtime_error("the JPEG layer differs from libjpeg's decoding");
    }
  }
}

// --- Benchmarks ----------------------------------------------------------------------------

void BM_Layered(benchmark::State& state, bool jpeg) {
  const Pictures& p = pictures();
  nova::files::TKvMemoryStream stream(jpeg ? p.jpeg_file : p.layered);
  {
    TBrioFrameList list;
    list.LoadFromStream(stream);
    if (jpeg) {
      check_jpeg(libjpeg_decode(p.jpeg), list);
    } else {
      check_layered(libpng_decode(p.png), list);
    }
  }
  for (auto _ : state) {
    stream.SetPosition(0);
    TBrioFrameList list;
    list.LoadFromStream(stream);
    benchmark::DoNotOptimize(list.Frames(0).surface.Row(kH - 1));
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
  state.counters["bytes"] = static_cast<double>(jpeg ? p.jpeg_file.size() : p.layered.size());
}

void BM_Libpng(benchmark::State& state) {
  const Pictures& p = pictures();
  for (auto _ : state) {
    auto rgba = libpng_decode(p.png);
    benchmark::DoNotOptimize(rgba.data());
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
  state.counters["bytes"] = static_cast<double>(p.png.size());
}

void BM_Libjpeg(benchmark::State& state) {
  const Pictures& p = pictures();
  for (auto _ : state) {
    auto rows = libjpeg_decode(p.jpeg);
    benchmark::DoNotOptimize(rows.data());
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
  state.counters["bytes"] = static_cast<double>(p.jpeg.size());
}

BENCHMARK_CAPTURE(BM_Layered, mode0_two_layers, false)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libpng)->Name("libpng/rgba_composite")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Layered, mode2_jpeg90, true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libjpeg)->Name("libjpeg/bgr_rows")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
