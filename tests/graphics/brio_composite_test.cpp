// Layers composited into frames: the drawing formulas of every depth, the
// rules of the first and bottom layers, masks, trimming, the conversion
// after reading, and the transfer of frames to surfaces.
#include <gtest/gtest.h>

#include "brio_test_util.h"
#include "graphics/dib_surface.h"
#include "picture_builders.h"

namespace nova::graphics {
namespace {

using test::load;
using test::pixels_of;

void fill(TDIBSurface& s, int w, int h, int bits, std::uint32_t v) {
  s.SetSize(w, h, bits);
  s.Fill(v);
}

std::uint32_t px(int bits, std::uint32_t d, std::uint32_t s, int opacity, std::int32_t key = -1) {
  TDIBSurface dst, src;
  fill(dst, 1, 1, bits, d);
  fill(src, 1, 1, bits, s);
  dst.BlendLayer(src, opacity, key);
  return dst.GetPixel(0, 0);
}

std::uint32_t through(int bits, std::uint32_t d, std::uint32_t s, std::uint8_t m, int opacity = 255) {
  TDIBSurface dst, src;
  fill(dst, 1, 1, bits, d);
  fill(src, 1, 1, bits, s);
  TDIBX plane;
  plane.SetSize(1, 1, 8);
  plane.SetPixel(0, 0, m);
  dst.DrawMasked(src, plane, opacity);
  return dst.GetPixel(0, 0);
}

// Per byte of a 24-bit pixel.
std::uint32_t bytes3(std::uint32_t a, std::uint32_t b,
                     const std::function<std::uint32_t(std::uint32_t, std::uint32_t)>& f) {
  std::uint32_t out = 0;
  for (int i = 0; i < 3; ++i) out |= (f((a >> (8 * i)) & 255, (b >> (8 * i)) & 255) & 255) << (8 * i);
  return out;
}

TEST(LayerDrawing, SixteenDitherPatternsBelowFifteenBits) {
  // Level k (opacity / 16) has k + 1 cells of the 4 × 4 pattern set.
  const char* patterns[16] = {"1000000000000000", "1000000000100000", "1010000000100000", "1010000010100000",
                              "1010010010100000", "1010010010100001", "1010010110100001", "1010010110100101",
                              "1110010110100101", "1110010110110101", "1111010110110101", "1111010111110101",
                              "1111110111110101", "1111110111110111", "1111111111110111", "1111111111111111"};
  for (int bits : {1, 4, 8}) {
    for (int level = 0; level < 16; ++level) {
      for (int opacity : {std::max(1, level * 16), level * 16 + 15}) {
        TDIBSurface dst, src;
        fill(dst, 8, 5, bits, 0);
        fill(src, 8, 5, bits, 1);
        src.SetPixel(6, 4, 0);  // the key below
        dst.BlendLayer(src, opacity, 0);
        for (int y = 0; y < 5; ++y) {
          for (int x = 0; x < 8; ++x) {
            const bool set = patterns[level][(y % 4) * 4 + x % 4] == '1' && !(x == 6 && y == 4);
            ASSERT_EQ(dst.GetPixel(x, y), set ? 1u : 0u)
                << bits << " bits, opacity " << opacity << " at " << x << "," << y;
          }
        }
      }
    }
  }
  EXPECT_TRUE(dither_draws(8, 1, 0)) << "128 gives level 8: 1110/0101/1010/0101";
  EXPECT_FALSE(dither_draws(8, 3, 0));
}

TEST(LayerDrawing, OpacityBlendsDivideBy255ExceptAt32Bits) {
  const std::uint32_t d24 = 0x10F080, s24 = 0xF0107F;
  for (int a : {1, 128, 254}) {
    EXPECT_EQ(px(24, d24, s24, a),
              bytes3(d24, s24, [a](std::uint32_t d, std::uint32_t s) { return ((255 - a) * d + a * s) / 255; }))
        << a;
  }
  EXPECT_EQ(px(24, d24, s24, 255), s24) << "255 copies";
  EXPECT_EQ(px(24, 0x000000, 0xFFFFFF, 1), 0x010101u);
  EXPECT_EQ(px(24, 0xFFFFFF, 0x000000, 254), 0x010101u);
  // 24-bit keys are the three low bytes; the top byte does not count.
  EXPECT_EQ(px(24, 0x000000, 0x112233, 128, 0x7F112233), 0x000000u);
  EXPECT_NE(px(24, 0x000000, 0x112234, 128, 0x7F112233), 0x000000u);
  EXPECT_EQ(px(24, 0x000000, 0x112233, 255, 0x112233), 0x000000u) << "255 copies with the key";
  // 5-6-5: each channel on its mask, divided by 255.
  const std::uint32_t d16 = 0xF81F, s16 = 0x07E0;
  auto channel = [](std::uint32_t d, std::uint32_t s, std::uint32_t m, int a) {
    return (((255 - a) * (d & m) + a * (s & m)) / 255) & m;
  };
  for (int a : {1, 100, 254}) {
    EXPECT_EQ(px(16, d16, s16, a),
              channel(d16, s16, 0xF800, a) | channel(d16, s16, 0x07E0, a) | channel(d16, s16, 0x1F, a));
    EXPECT_EQ(px(15, 0x7C1F, 0x03E0, a), channel(0x7C1F, 0x03E0, 0x7C00, a) | channel(0x7C1F, 0x03E0, 0x03E0, a) |
                                             channel(0x7C1F, 0x03E0, 0x1F, a));
  }
  // 32 bits: two groups, >> 8; white over white at 128 darkens, the top
  // byte becomes 0.
  EXPECT_EQ(px(32, 0xFFFFFFFF, 0xFFFFFFFF, 128), 0x00FEFEFEu);
  EXPECT_EQ(px(32, 0x00000000, 0x00FFFFFF, 255), 0x00FFFFFFu);
  auto mix32 = [](std::uint32_t dv, std::uint32_t sv, std::uint32_t a) {
    return ((((dv & 0xFF00FF) * (255 - a) + a * (sv & 0xFF00FF)) >> 8) & 0xFF00FF) |
           ((((dv & 0xFF00) * (255 - a) + a * (sv & 0xFF00)) >> 8) & 0xFF00);
  };
  for (int a : {1, 77, 254}) EXPECT_EQ(px(32, 0x80102030, 0x00FFF0FF, a), mix32(0x80102030, 0x00FFF0FF, a)) << a;
  for (int bits : {1, 4, 8, 15, 16, 24, 32}) {
    EXPECT_EQ(px(bits, 0, 1, 0), 0u) << "opacity 0 draws nothing at " << bits;
    EXPECT_EQ(px(bits, 0, 1, -5), 0u);
  }
}

TEST(LayerDrawing, ThroughAnAlphaPlane) {
  const std::uint32_t d = 0x204060, s = 0xE0C0A0;
  EXPECT_EQ(through(24, d, s, 0), d);
  EXPECT_EQ(through(24, d, s, 255), s);
  for (std::uint32_t m : {1u, 254u}) {
    EXPECT_EQ(through(24, d, s, static_cast<std::uint8_t>(m)),
              bytes3(d, s, [m](std::uint32_t dv, std::uint32_t sv) { return (dv * (255 - m) + m * sv) >> 8; }))
        << m;
  }
  // An opacity below 255 at 24 bits weights by (opacity × m) >> 8 and skips
  // what weighs less than 1.
  EXPECT_EQ(through(24, d, s, 1, 128), d) << "128 × 1 < 256";
  EXPECT_EQ(through(24, d, s, 255, 128),
            bytes3(d, s, [](std::uint32_t dv, std::uint32_t sv) { return (dv * (255 - 127) + 127 * sv) >> 8; }));
  EXPECT_EQ(through(24, d, s, 2, 128),
            bytes3(d, s, [](std::uint32_t dv, std::uint32_t sv) { return (dv * 254 + sv) >> 8; }));
  // Up to 8 bits: copied where m >= 128.
  EXPECT_EQ(through(8, 1, 2, 127), 1u);
  EXPECT_EQ(through(8, 1, 2, 128), 2u);
  EXPECT_EQ(through(4, 1, 2, 200), 2u);
  // 15 and 16 bits: every channel ANDed with its mask after the shift.
  auto ch = [](std::uint32_t dv, std::uint32_t sv, std::uint32_t mask, std::uint32_t m) {
    return (((dv & mask) * (255 - m) + m * (sv & mask)) >> 8) & mask;
  };
  EXPECT_EQ(through(16, 0xFFFF, 0x0000, 1),
            ch(0xFFFF, 0, 0xF800, 1) | ch(0xFFFF, 0, 0x07E0, 1) | ch(0xFFFF, 0, 0x1F, 1));
  EXPECT_EQ(through(16, 0xFFFF, 0x0000, 1), 0xF7DEu);
  EXPECT_EQ(through(15, 0x7FFF, 0x0000, 200),
            ch(0x7FFF, 0, 0x7C00, 200) | ch(0x7FFF, 0, 0x03E0, 200) | ch(0x7FFF, 0, 0x1F, 200));
  EXPECT_EQ(through(32, 0x00FFFFFF, 0x00FFFFFF, 128), 0x00FEFEFEu);
  EXPECT_EQ(through(32, 0xAA000000, 0xBB123456, 255), 0xBB123456u) << "255 copies the word";
  for (int bits : {8, 16, 24, 32}) EXPECT_EQ(through(bits, 0, 1, 255, 0), 0u) << "opacity 0 at " << bits;
}

// A two-layer file: layer 0 keyed and with an alpha plane, layer 1 through
// its plane.
test::RawFile two_layers(int bits) {
  test::RawFile f;
  f.mode = 1;
  f.background = 0x0000FF;
  test::RawLayer bottom;
  bottom.transparent = 0x000001;
  bottom.alpha_enabled = true;
  bottom.colour = test::dib_rows(2, 1, bits, {0x000001, 0x00ABCD});
  bottom.alpha = test::dib_rows(2, 1, 8, {0x40, 0x80});
  test::RawLayer top;
  top.alpha_enabled = true;
  top.colour = test::dib_rows(2, 1, bits, {0x00FFFF, 0x00FFFF});
  top.alpha = test::dib_rows(2, 1, 8, {0, 128});
  f.frames.push_back(test::RawFrame{"", -1, 100, 2, 1, bits, {}, {bottom, top}, {}, {}});
  return f;
}

TEST(Compositing, TheBottomPlaneIsCopiedAndAlphaEnabledLayersLoseTheirKey) {
  auto list = load(test::build_bri(two_layers(24)));
  const TBrioFrame& f = list->Frames(0);
  EXPECT_EQ(f.Layers(0).transparent, -1) << "alpha enabled with alpha data";
  EXPECT_EQ(f.Layers(0).stored_transparent, 1);
  // Layer 0 is copied whole (no key, no blend), its plane becomes the
  // composite's; layer 1 blends through its own plane.
  ASSERT_TRUE(f.HasAlpha());
  EXPECT_EQ(pixels_of(*f.surface.Alpha()), (std::vector<std::uint32_t>{0x40, 0x80}));
  EXPECT_EQ(f.surface.GetPixel(0, 0), 0x000001u);
  EXPECT_EQ(f.surface.GetPixel(1, 0),
            bytes3(0x00ABCD, 0x00FFFF, [](std::uint32_t d, std::uint32_t s) { return (d * 127 + 128 * s) >> 8; }));
  // The same layer without its alpha flag keeps the key and its plane stays
  // its own.
  test::RawFile g = two_layers(24);
  g.frames[0].layers[0].alpha_enabled = false;
  list = load(test::build_bri(g));
  EXPECT_EQ(list->Frames(0).Layers(0).transparent, 1);
  EXPECT_FALSE(list->Frames(0).HasAlpha());
  EXPECT_EQ(list->Frames(0).surface.GetPixel(0, 0), 0xFF0000u) << "keyed: the red background stays";
  // An invisible bottom layer: the top one is the first visible, its plane
  // becomes the composite's, and being layer 1 it still blends through it.
  g = two_layers(24);
  g.frames[0].layers[0].visible = false;
  list = load(test::build_bri(g));
  EXPECT_EQ(pixels_of(*list->Frames(0).surface.Alpha()), (std::vector<std::uint32_t>{0, 128}));
  EXPECT_EQ(list->Frames(0).surface.GetPixel(0, 0), 0xFF0000u);
}

TEST(Compositing, EightBitFramesDitherAFileLayerAt128) {
  test::RawFile f;
  f.mode = 0;
  test::RawLayer l;
  l.opacity = 128;
  l.transparent = 9;
  std::vector<std::uint32_t> v(16, 5);
  v[3] = 9;  // keyed
  l.colour = test::zlib(test::dib_rows(4, 4, 8, v));
  f.frames.push_back(test::RawFrame{"", -1, 100, 4, 4, 8, {}, {l}, {}, {}});
  auto list = load(test::build_bri(f));
  const char* level8 = "1110010110100101";
  for (int i = 0; i < 16; ++i) {
    const bool drawn = level8[i] == '1' && i != 3;
    EXPECT_EQ(list->Frames(0).surface.GetPixel(i % 4, i / 4), drawn ? 5u : 0u) << i;
  }
}

TEST(FrameOperations, MakeMaskAndTrim) {
  test::RawFile f;
  f.mode = 1;
  test::RawLayer l;
  // 4 × 3, the frame's key 7 everywhere but (1, 1) and (2, 1).
  std::vector<std::uint32_t> v(12, 7);
  v[5] = 1;
  v[6] = 2;
  l.colour = test::dib_rows(4, 3, 8, v);
  test::RawLayer own_key;
  own_key.visible = false;
  own_key.transparent = 2;
  own_key.colour = l.colour;
  f.frames.push_back(test::RawFrame{
      "", 7, 100, 4, 3, 8, {}, {l, own_key}, {Rect{0, 0, 2, 2}, Rect{3, 2, 4, 3}}, {Rect{-5, -5, 50, 50}}});
  auto list = load(test::build_bri(f));
  TBrioFrame& fr = list->Frames(0);
  fr.MakeMask(true);
  const std::vector<std::uint32_t> mask = {0, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 0};
  EXPECT_EQ(pixels_of(*fr.surface.Alpha()), mask);
  EXPECT_EQ(pixels_of(*fr.Layers(0).surface.Alpha()), mask) << "keyed by the frame's value";
  EXPECT_EQ(pixels_of(*fr.Layers(1).surface.Alpha()),
            (std::vector<std::uint32_t>{255, 255, 255, 255, 255, 255, 0, 255, 255, 255, 255, 255}))
      << "keyed by its own";
  // A plane already there is kept.
  fr.surface.Alpha()->SetPixel(0, 0, 9);
  fr.MakeMask(false);
  EXPECT_EQ(fr.surface.Alpha()->GetPixel(0, 0), 9u);
  fr.surface.Alpha()->SetPixel(0, 0, 0);

  const Rect r = fr.Trim();
  EXPECT_EQ(r, (Rect{1, 1, 3, 2}));
  EXPECT_EQ(fr.surface.Width(), 2);
  EXPECT_EQ(pixels_of(fr.surface), (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(pixels_of(*fr.surface.Alpha()), (std::vector<std::uint32_t>{255, 255}));
  EXPECT_EQ(fr.content_rects, (std::vector<Rect>{Rect{1, 1, 2, 2}})) << "intersected, the one that misses dropped";
  EXPECT_EQ(fr.second_rects, (std::vector<Rect>{Rect{1, 1, 3, 2}}));
  EXPECT_EQ(fr.Layers(0).surface.Width(), 4) << "layers are not cropped";

  // All transparent: 1 × 1 at (0, 0). No transparent colour: nothing cut.
  auto all = load(test::build_bri(f));
  all->Frames(0).surface.Fill(7);
  EXPECT_EQ(all->Frames(0).Trim(), (Rect{0, 0, 1, 1}));
  EXPECT_EQ(all->Frames(0).surface.Width(), 1);
  f.frames[0].transparent = -1;
  auto plain = load(test::build_bri(f));
  EXPECT_EQ(plain->Frames(0).Trim(), (Rect{0, 0, 4, 3}));
}

TEST(FrameOperations, ConversionAfterReading) {
  // An 8-bit frame keyed on index 2 (blue).
  test::RawFile f;
  f.mode = 1;
  test::RawLayer l;
  l.colour = test::dib_rows(2, 1, 8, {1, 2});
  test::RawFrame fr{
      "",  2,  100, 2, 1, 8, {PaletteEntry{0, 0, 0, 0}, PaletteEntry{0, 0xFF, 0, 0}, PaletteEntry{0xFF, 0, 0, 0}},
      {l}, {}, {}};
  f.frames.push_back(fr);
  TBrioFrameList list;
  auto s = test::stream_of(test::build_bri(f));
  list.LoadFromStream(s, BrioLoad::Convert | BrioLoad::KeepLayers);
  TBrioFrame& c = list.Frames(0);
  EXPECT_EQ(c.surface.BitCount(), 24);
  EXPECT_EQ(pixels_of(c.surface), (std::vector<std::uint32_t>{0x00FF00, 0x0000FF}));
  EXPECT_EQ(c.transparent, 0x0000FF) << "the key follows its pixel";
  EXPECT_EQ(pixels_of(*c.surface.Alpha()), (std::vector<std::uint32_t>{255, 0})) << "masked before converting";
  EXPECT_EQ(c.Layers(0).surface.BitCount(), 24);

  // A positive target converts to it (the image cache's screen depth).
  TBrioFrameList to16;
  to16.target_bit_count = 16;
  auto s2 = test::stream_of(test::build_bri(f));
  to16.LoadFromStream(s2, BrioLoad::Convert);
  EXPECT_EQ(to16.Frames(0).surface.BitCount(), 16);
  EXPECT_EQ(pixels_of(to16.Frames(0).surface), (std::vector<std::uint32_t>{0x07E0, 0x001F}));
  EXPECT_EQ(to16.Frames(0).transparent, 0x001F);
}

TEST(Transfer, FramesAndPlanesIntoSurfaces) {
  test::RawFile f;
  f.mode = 1;
  test::RawLayer l;
  l.colour = test::dib_rows(2, 1, 24, {0x123456, 0xFFFFFF});
  l.alpha = test::dib_rows(2, 1, 8, {7, 250});
  l.alpha_enabled = true;
  f.frames.push_back(test::RawFrame{"", -1, 100, 2, 1, 24, {}, {l}, {Rect{0, 0, 1, 1}}, {Rect{1, 0, 2, 1}}});
  test::RawLayer l32;
  l32.colour = test::dib_rows(1, 1, 32, {0xAB123456});
  f.frames.push_back(test::RawFrame{"", -1, 100, 1, 1, 32, {}, {l32}, {}, {}});
  auto list = load(test::build_bri(f));
  TDIBX s32, s16, a;
  s32.SetSize(1, 1, 32);
  s16.SetSize(1, 1, 16);
  CopyFrameToSurface(list->Frames(0), s32);
  EXPECT_EQ(pixels_of(s32), (std::vector<std::uint32_t>{0x123456, 0xFFFFFF}));
  EXPECT_EQ(s32.ContentRects(), (std::vector<Rect>{Rect{0, 0, 1, 1}}));
  EXPECT_EQ(s32.SecondRects(), (std::vector<Rect>{Rect{1, 0, 2, 1}}));
  CopyFrameToSurface(list->Frames(0), s16);
  EXPECT_EQ(s16.GetBitCount(), 16);
  EXPECT_EQ(pixels_of(s16),
            (std::vector<std::uint32_t>{static_cast<std::uint32_t>(color_to_pixel(16, 0x563412)), 0xFFFF}));
  CopyAlphaToSurface(list->Frames(0), a);
  EXPECT_EQ(a.GetBitCount(), 8);
  EXPECT_EQ(pixels_of(a), (std::vector<std::uint32_t>{7, 250}));
  CopyFrameToSurface(list->Frames(1), s32);
  EXPECT_EQ(s32.GetPixel(0, 0), 0x123456u) << "32 into 32 clears the top byte";
  // Into 15 and 16 bits, the channels truncate as ColorToPixel does, from
  // 24 and from 32 bits alike; and back up they widen by replication.
  TDIBX s15;
  s15.SetSize(1, 1, 15);
  for (int i : {0, 1}) {
    CopyFrameToSurface(list->Frames(i), s15);
    CopyFrameToSurface(list->Frames(i), s16);
    EXPECT_EQ(s15.GetPixel(0, 0), static_cast<std::uint32_t>(color_to_pixel(15, 0x563412)));
    EXPECT_EQ(s16.GetPixel(0, 0), static_cast<std::uint32_t>(color_to_pixel(16, 0x563412)));
  }
  TBrioFrameList wide;
  TBrioFrame& w = wide.AddFrame();
  w.surface.SetSize(2, 1, 16);
  w.surface.SetPixel(0, 0, 0xFFFF);
  w.surface.SetPixel(1, 0, 0x8410);  // 10000 100000 10000
  CopyFrameToSurface(w, s32);
  EXPECT_EQ(pixels_of(s32), (std::vector<std::uint32_t>{0xFFFFFF, 0x848284}));
  TDIBX untouched;
  untouched.SetSize(3, 3, 8);
  CopyAlphaToSurface(list->Frames(1), untouched);
  EXPECT_EQ(untouched.GetWidth(), 3) << "no plane, nothing done";
}

}  // namespace
}  // namespace nova::graphics
