// Writing layered pictures: the bytes of the writer, and round trips of
// every depth, storage mode and key, with layers kept or not.
#include <gtest/gtest.h>

#include <random>

#include "brio_test_util.h"
#include "core/sjis.h"
#include "picture_builders.h"
#include "support/test_support.h"

namespace nova::graphics {
namespace {

using test::error_of;
using test::hex;
using test::load;
using test::pixels_of;

constexpr int kW = 24, kH = 16;

// Pixel values of a depth drawn from flat 8 × 8 blocks, with channels chosen
// so that a JPEG round trip (±1 per 8-bit channel) stays within the same
// 5- or 6-bit level.
std::vector<std::uint32_t> flat_blocks(int bits, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint32_t> block_values;
  for (int i = 0; i < (kW / 8) * (kH / 8); ++i) {
    const std::uint32_t r5 = 4 + rng() % 24, g6 = 16 + rng() % 32, b5 = 4 + rng() % 24;
    switch (bits) {
      case 1: block_values.push_back(rng() % 2); break;
      case 4: block_values.push_back(rng() % 16); break;
      case 8: block_values.push_back(rng() % 256); break;
      case 15: block_values.push_back(r5 << 10 | (g6 >> 1) << 5 | b5); break;
      case 16: block_values.push_back(r5 << 11 | g6 << 5 | b5); break;
      default: block_values.push_back(rng() & 0xFFFFFF); break;
    }
  }
  std::vector<std::uint32_t> px;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) px.push_back(block_values[static_cast<std::size_t>((y / 8) * (kW / 8) + x / 8)]);
  }
  return px;
}

// A palette of well separated colours (so the nearest entry of a colour
// off by one is still its own).
std::vector<PaletteEntry> spread_palette() {
  std::vector<PaletteEntry> p;
  for (int i = 0; i < 256; ++i) {
    p.push_back(PaletteEntry{static_cast<std::uint8_t>((i & 7) * 36), static_cast<std::uint8_t>(((i >> 3) & 7) * 36),
                             static_cast<std::uint8_t>((i >> 6) * 80), 0});
  }
  return p;
}

// Two frames: frame 0 of two layers (the bottom one with an alpha plane and
// a name, the top one keyed at opacity 200), frame 1 of one keyed layer.
std::string sample_file(int bits) {
  test::RawFile f;
  f.mode = 1;
  f.background = 0x00123456;
  f.opaque_bottom = true;
  test::RawLayer bottom, top, only;
  const auto a = flat_blocks(bits, 1), b = flat_blocks(bits, 2), c = flat_blocks(bits, 3);
  bottom.name = core::sjis("下地");
  bottom.alpha_enabled = true;
  bottom.colour = test::dib_rows(kW, kH, bits, a);
  std::vector<std::uint32_t> plane;
  for (int i = 0; i < kW * kH; ++i) plane.push_back(static_cast<std::uint32_t>(i * 7 % 256));
  bottom.alpha = test::dib_rows(kW, kH, 8, plane);
  top.name = "top";
  top.opacity = 200;
  top.transparent = static_cast<std::int32_t>(b[0]);
  top.colour = test::dib_rows(kW, kH, bits, b);
  only.transparent = static_cast<std::int32_t>(c[kW * kH - 1]);
  only.colour = test::dib_rows(kW, kH, bits, c);
  const auto palette = bits <= 8 ? spread_palette() : std::vector<PaletteEntry>{};
  f.frames.push_back(test::RawFrame{core::sjis("一"), -1, 120, kW, kH, bits, palette, {bottom, top}, {}, {}});
  f.frames.push_back(test::RawFrame{"two", static_cast<std::int32_t>(c[0]), 80, kW, kH, bits, palette, {only}, {}, {}});
  return test::build_bri(f);
}

// Equal pixels; or, `lossy`, colours within 1 per channel (a JPEG layer
// comes back at 24 bits whatever its depth was).
void expect_close(const TDIBSurface& a, const TDIBSurface& b, bool lossy) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  if (!lossy) {
    ASSERT_EQ(a.BitCount(), b.BitCount());
    ASSERT_EQ(pixels_of(a), pixels_of(b));
    return;
  }
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      const std::int32_t ca = a.PixelToColour(a.GetPixel(x, y)), cb = b.PixelToColour(b.GetPixel(x, y));
      for (int shift : {0, 8, 16}) {
        ASSERT_LE(std::abs(((ca >> shift) & 255) - ((cb >> shift) & 255)), 1) << x << "," << y;
      }
    }
  }
}

void expect_planes(const TDIBSurface& a, const TDIBSurface& b) {
  ASSERT_EQ(a.HasAlpha(), b.HasAlpha());
  if (a.HasAlpha()) {
    EXPECT_EQ(pixels_of(*a.Alpha()), pixels_of(*b.Alpha()));
  }
}

TEST(BrioWrite, RoundTripsOfEveryDepthModeAndKey) {
  for (int bits : {1, 4, 8, 15, 16, 24, 32}) {
    const std::string file = sample_file(bits);
    for (bool keep : {false, true}) {
      auto original = load(file, keep ? BrioLoad::KeepLayers : BrioLoad::None);
      for (int mode : {0, 1, 2}) {
        for (std::int32_t key : {0, 1, -123456789}) {
          SCOPED_TRACE(::testing::Message()
                       << bits << " bits, mode " << mode << ", key " << key << ", layers " << keep);
          original->SetImageKey(key);
          files::TKvMemoryStream out;
          original->SaveToStream(out, mode, 95);
          auto again = load(std::string(out.view()), BrioLoad::KeepLayers, key);
          EXPECT_EQ(again->storage_mode, key != 0 ? 1 : mode) << "a key forces mode 1";
          ASSERT_EQ(again->Count(), 2);
          const bool lossy = mode == 2 && key == 0;
          for (int i = 0; i < 2; ++i) {
            const TBrioFrame& a = original->Frames(i);
            const TBrioFrame& b = again->Frames(i);
            EXPECT_EQ(a.name, b.name);
            EXPECT_EQ(a.delay, b.delay);
            EXPECT_EQ(a.transparent, b.transparent);
            EXPECT_EQ(a.transparent_colour, b.transparent_colour);
            // Keys do not survive JPEG: composites of keyed layers are
            // compared only when they were written as they are.
            if (!lossy || !keep) expect_close(a.surface, b.surface, lossy && a.surface.BitCount() > 16);
            expect_planes(a.surface, b.surface);
            ASSERT_EQ(b.LayerCount(), keep ? a.LayerCount() : 1);
            for (int j = 0; keep && j < a.LayerCount(); ++j) {
              const TBrioLayer& la = a.Layers(j);
              const TBrioLayer& lb = b.Layers(j);
              EXPECT_EQ(la.name, lb.name);
              EXPECT_EQ(la.opacity, lb.opacity);
              EXPECT_EQ(la.transparent, lb.transparent);
              EXPECT_EQ(la.alpha_enabled, lb.alpha_enabled);
              EXPECT_EQ(lb.jpeg, lossy);
              expect_close(la.surface, lb.surface, lossy);
              expect_planes(la.surface, lb.surface);
            }
          }
        }
      }
    }
  }
}

TEST(BrioWrite, TheBytesOfAOneFramePicture) {
  // The 2 × 1 picture (red, green) of the documentation, written from a
  // frame without layers in mode 1: one layer named "Layer".
  TBrioFrameList list;
  TBrioFrame& f = list.AddFrame();
  f.surface.SetSize(2, 1, 24);
  f.surface.SetPixel(0, 0, 0xFF0000);
  f.surface.SetPixel(1, 0, 0x00FF00);
  files::TKvMemoryStream out;
  list.SaveToStream(out, 1, 70);
  const std::string expected = "Brio106" + hex(R"(
    28000000 6A000000 02000000 01000000 18000000 01000000 01 00 01 00
    00000000 00000000 00000000 00 46 0000                      | quality 70
    00000000 FFFFFFFF 64000000 00 00000000
    01000000 02000000 01000000 18000000
    0000000000000000 01 FFFFFFFF FF000000 00
    05000000 4C61796572                                         | "Layer"
    08000000 0000FF 00FF00 0000
    00000000 00000000 00000000)");
  EXPECT_EQ(std::string(out.view()), expected);

  // A key: mode 1 and scrambled whatever mode is asked; rows in the key's
  // order; the rectangle lists are written empty.
  f.surface.SetSize(1, 3, 8);
  for (int y = 0; y < 3; ++y) f.surface.SetPixel(0, y, static_cast<std::uint32_t>(y + 1));
  f.content_rects.push_back(Rect{0, 0, 1, 1});
  list.SetImageKey(2);
  files::TKvMemoryStream keyed;
  list.SaveToStream(keyed, 0, 70);
  const std::string bytes(keyed.view());
  EXPECT_EQ(bytes[7 + 4 + 21], 1) << "scrambled";
  EXPECT_EQ(bytes[7 + 4 + 22], 1) << "mode 1";
  // P over 3 with key 2 is [2, 0, 1]: stored rows are rows 2, 0, 1.
  const std::string rows = bytes.substr(bytes.size() - 8 - 4 - 12, 12);
  EXPECT_EQ(rows, hex("03000000 01000000 02000000"));
  EXPECT_EQ(bytes.substr(bytes.size() - 8), std::string(8, '\0'));
}

TEST(BrioWrite, RefusesWhatTheFormatCannotHold) {
  TBrioFrameList list;
  TBrioFrame& f = list.AddFrame();
  f.AddLayer().surface.SetSize(2, 2, 24);
  f.AddLayer().surface.SetSize(2, 2, 16);
  files::TKvMemoryStream out;
  EXPECT_NE(error_of([&] { list.SaveToStream(out, 0, 70); }).find("layer 1 differs from the first"), std::string::npos);
  EXPECT_NE(error_of([&] { list.SaveToStream(out, 3, 70); }).find("storage mode 3"), std::string::npos);
  EXPECT_NE(error_of([&] { list.SaveToStream(out, 0, 256); }).find("quality 256"), std::string::npos);
}

TEST(BrioWrite, SaveToFileWritesModeZeroAtQuality70AndLoadFromFileGoesByExtension) {
  ::nova::test::TempDir dir;
  TBrioFrameList list;
  TBrioFrame& f = list.AddFrame();
  f.surface.SetSize(3, 2, 32);
  f.surface.Fill(0x00445566);
  list.SaveToFile(dir / "P.BRI");
  TBrioFrameList back;
  back.LoadFromFile(dir / "P.BRI");
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back.storage_mode, 0);
  EXPECT_EQ(back.jpeg_quality, 70);
  EXPECT_EQ(pixels_of(back.Frames(0).surface), pixels_of(f.surface));
  // Another extension leaves the list empty, whatever the content.
  std::filesystem::copy_file(dir / "P.BRI", dir / "p.gif");
  back.LoadFromFile(dir / "p.gif");
  EXPECT_EQ(back.Count(), 0);
  // A missing file is an error naming it.
  EXPECT_NE(error_of([&] { back.LoadFromFile(dir / "missing.bri"); }).find("missing.bri"), std::string::npos);
}

}  // namespace
}  // namespace nova::graphics
