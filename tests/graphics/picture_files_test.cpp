// PNG and bitmap files into frames, and the file operations of surfaces.
// The PNG files are written by the tests' own writer (zlib and CRCs by
// hand), independent of the library that reads them.
#include <gtest/gtest.h>

#include "brio_test_util.h"
#include "graphics/bmp_codec.h"
#include "graphics/memory_dibx.h"
#include "picture_builders.h"
#include "support/test_support.h"

namespace nova::graphics {
namespace {

using test::error_of;
using test::pixels_of;

std::unique_ptr<TBrioFrameList> picture(const std::string& bytes, bool png) {
  auto list = std::make_unique<TBrioFrameList>();
  list->LoadPicture(files::as_bytes(bytes), png, "pic");
  return list;
}

// --- PNG -------------------------------------------------------------------------------

// A 5 × 3 PNG whose sample k of pixel i is a function of both, within the
// depth's range.
test::RawPng sample_png(int colour_type, int depth, bool interlaced) {
  test::RawPng p;
  p.width = 5;
  p.height = 3;
  p.depth = depth;
  p.colour_type = colour_type;
  p.interlaced = interlaced;
  const int channels = colour_type == 0 || colour_type == 3 ? 1 : colour_type == 4 ? 2 : colour_type == 2 ? 3 : 4;
  const std::uint32_t top = (1u << depth) - 1;
  for (std::uint32_t i = 0; i < 15; ++i) {
    for (int c = 0; c < channels; ++c)
      p.samples.push_back((i * 37 + static_cast<std::uint32_t>(c) * 91 + 5) * 2654435761u % (top + 1));
  }
  if (colour_type == 3) {
    for (int i = 0; i < (1 << depth); ++i) {
      p.plte.push_back(static_cast<std::uint8_t>(i * 16));
      p.plte.push_back(static_cast<std::uint8_t>(255 - i));
      p.plte.push_back(static_cast<std::uint8_t>(i * 3));
    }
  }
  return p;
}

// A sample as 8 bits: the high byte of 16, replicated up from 1, 2, 4.
std::uint32_t to8(std::uint32_t v, int depth) {
  if (depth == 16) return v >> 8;
  return v * 255 / ((1u << depth) - 1);
}

TEST(PngFiles, EveryColourTypeDepthAndInterlace) {
  const std::vector<std::pair<int, std::vector<int>>> types = {
      {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
  for (const auto& [type, depths] : types) {
    for (int depth : depths) {
      for (bool interlaced : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "type " << type << ", depth " << depth << ", interlaced " << interlaced);
        const test::RawPng p = sample_png(type, depth, interlaced);
        auto list = picture(test::build_png(p), true);
        const TBrioFrame& f = list->Frames(0);
        EXPECT_EQ(list->version, 0);
        EXPECT_EQ(f.transparent, -1);
        const int channels = type == 0 || type == 3 ? 1 : type == 4 ? 2 : type == 2 ? 3 : 4;
        for (std::uint32_t i = 0; i < 15; ++i) {
          const int x = static_cast<int>(i % 5), y = static_cast<int>(i / 5);
          auto s = [&](int c) {
            return p.samples[i * static_cast<std::uint32_t>(channels) + static_cast<std::uint32_t>(c)];
          };
          if (type == 3) {
            EXPECT_EQ(f.surface.BitCount(), depth == 2 ? 4 : depth);
            EXPECT_EQ(f.surface.GetPixel(x, y), s(0));
            EXPECT_EQ(f.surface.GetPalette()[s(0)],
                      (PaletteEntry{static_cast<std::uint8_t>(s(0) * 3), static_cast<std::uint8_t>(255 - s(0)),
                                    static_cast<std::uint8_t>(s(0) * 16), 0}));
            continue;
          }
          EXPECT_EQ(f.surface.BitCount(), 24);
          const bool grey = type == 0 || type == 4;
          const std::uint32_t r = to8(s(0), depth), g = to8(grey ? s(0) : s(1), depth),
                              b = to8(grey ? s(0) : s(2), depth);
          ASSERT_EQ(f.surface.GetPixel(x, y), r << 16 | g << 8 | b) << i;
          const bool alpha = type == 4 || type == 6;
          ASSERT_EQ(f.HasAlpha(), alpha);
          if (alpha) {
            EXPECT_EQ(f.surface.Alpha()->GetPixel(x, y), to8(s(channels - 1), depth));
          }
        }
      }
    }
  }
}

TEST(PngFiles, TransparencyChunks) {
  // A palette with exactly one transparent entry keeps the palette and
  // names that index.
  test::RawPng p = sample_png(3, 4, false);
  p.trns = std::string(3, '\xFF') + '\0';
  auto list = picture(test::build_png(p), true);
  EXPECT_EQ(list->Frames(0).surface.BitCount(), 4);
  EXPECT_EQ(list->Frames(0).transparent, 3);
  EXPECT_EQ(list->Frames(0).transparent_colour, rgb(48, 252, 9));
  EXPECT_FALSE(list->Frames(0).HasAlpha());
  // Any other palette tRNS: 24 bits and a plane.
  for (const std::string& trns : {std::string("\x00\x00", 2), std::string("\xFF\x80", 2), std::string("\xFF\xFF", 2)}) {
    p.trns = trns;
    list = picture(test::build_png(p), true);
    const TBrioFrame& f = list->Frames(0);
    EXPECT_EQ(f.surface.BitCount(), 24);
    EXPECT_EQ(f.transparent, -1);
    ASSERT_TRUE(f.HasAlpha());
    for (int i = 0; i < 15; ++i) {
      const std::uint32_t index = p.samples[static_cast<std::size_t>(i)];
      const std::uint32_t a = index < trns.size() ? static_cast<std::uint8_t>(trns[index]) : 255u;
      EXPECT_EQ(f.surface.Alpha()->GetPixel(i % 5, i / 5), a);
      EXPECT_EQ(f.surface.GetPixel(i % 5, i / 5), (index * 16) << 16 | (255 - index) << 8 | index * 3);
    }
  }
  // A grey tRNS: the transparent colour, scaled as the pixels are.
  test::RawPng g = sample_png(0, 2, true);
  g.trns = std::string("\x00\x02", 2);
  list = picture(test::build_png(g), true);
  EXPECT_EQ(list->Frames(0).transparent, 0xAAAAAA);
  EXPECT_EQ(list->Frames(0).transparent_colour, 0xAAAAAA);
  EXPECT_FALSE(list->Frames(0).HasAlpha()) << "a tRNS colour is a key, not a plane";
  // A 16-bit RGB tRNS keeps the high bytes.
  test::RawPng c = sample_png(2, 16, false);
  c.trns = std::string("\x12\x34\x56\x78\x9A\xBC", 6);
  list = picture(test::build_png(c), true);
  EXPECT_EQ(list->Frames(0).transparent, 0x12569A);
  EXPECT_EQ(list->Frames(0).transparent_colour, rgb(0x12, 0x56, 0x9A));
}

TEST(PngFiles, DamageAndSizesAreRefused) {
  const std::string good = test::build_png(sample_png(6, 8, false));
  std::string bad_crc = good;
  bad_crc[good.find("IDAT") + 6] ^= 1;
  EXPECT_NE(error_of([&] { picture(bad_crc, true); }).find("pic: PNG file is damaged"), std::string::npos);
  for (std::size_t n : {std::size_t{0}, std::size_t{8}, std::size_t{30}, good.size() - 13, good.size() - 1}) {
    EXPECT_NE(error_of([&] { picture(good.substr(0, n), true); }), "") << n;
  }
  test::RawPng wide = sample_png(0, 8, false);
  wide.width = 16385;
  wide.height = 1;
  wide.samples.assign(16385, 0);
  EXPECT_NE(error_of([&] { picture(test::build_png(wide), true); }).find("PNG file is damaged"), std::string::npos);
  // Gamma is ignored.
  test::RawPng gamma = sample_png(2, 8, false);
  const std::string plain = test::build_png(gamma);
  gamma.extra_chunks.push_back(test::png_chunk("gAMA", std::string("\x00\x00\xB1\x8F", 4)));
  EXPECT_EQ(pixels_of(picture(test::build_png(gamma), true)->Frames(0).surface),
            pixels_of(picture(plain, true)->Frames(0).surface));
  TBrioFrameList limited;
  PictureLimits l;
  l.max_pixels = 10;
  limited.SetLimits(l);
  EXPECT_NE(error_of([&] { limited.LoadPicture(files::as_bytes(plain), true); }).find("more than 10 pixels"),
            std::string::npos);
}

// --- Bitmap files ----------------------------------------------------------------------

std::vector<PaletteEntry> grey_palette(int n) {
  std::vector<PaletteEntry> p;
  for (int i = 0; i < n; ++i) {
    const auto v = static_cast<std::uint8_t>(i * 255 / std::max(1, n - 1));
    p.push_back(PaletteEntry{v, static_cast<std::uint8_t>(255 - v), v, 0});
  }
  return p;
}

TEST(BmpFiles, EveryHeaderDepthAndRowOrder) {
  const int w = 3, h = 2;
  for (std::uint32_t header : {12u, 40u, 108u, 124u}) {
    for (int bits : {1, 4, 8, 16, 24, 32}) {
      for (bool top_down : {false, true}) {
        if (header == 12 && (bits > 24 || top_down)) continue;  // the core header has neither
        SCOPED_TRACE(::testing::Message() << header << "-byte header, " << bits << " bits, top down " << top_down);
        std::vector<std::uint32_t> px;
        for (int i = 0; i < w * h; ++i) {
          const std::uint32_t v = static_cast<std::uint32_t>(i) * 0x9E3779B1u;
          px.push_back(bits < 32 ? v & ((1u << bits) - 1) & (bits == 16 ? 0x7FFFu : ~0u) : v);
        }
        const int stored = bits;
        const std::string rows = test::dib_rows(w, h, stored == 16 ? 15 : stored, px);
        test::RawBmp b;
        b.header_size = header;
        b.width = w;
        b.height = top_down ? -h : h;
        b.bits = static_cast<std::uint16_t>(bits);
        if (bits <= 8) b.palette = grey_palette(1 << bits);
        b.pixels = top_down ? rows : test::bmp_rows(rows, h, rows.size() / h);
        auto list = picture(test::build_bmp(b), false);
        const TDIBSurface& s = list->Frames(0).surface;
        EXPECT_EQ(s.BitCount(), bits == 16 ? 15 : bits == 32 ? 24 : bits);
        if (bits == 32) {
          for (int i = 0; i < w * h; ++i) {
            EXPECT_EQ(s.GetPixel(i % w, i / w), px[static_cast<std::size_t>(i)] & 0xFFFFFF);
            EXPECT_EQ(s.Alpha()->GetPixel(i % w, i / w), px[static_cast<std::size_t>(i)] >> 24) << "fourth bytes";
          }
        } else {
          EXPECT_EQ(pixels_of(s), px);
          EXPECT_FALSE(s.HasAlpha());
        }
        if (bits <= 8) {
          EXPECT_EQ(s.GetPalette()[1], grey_palette(1 << bits)[1]);
        }
      }
    }
  }
}

TEST(BmpFiles, BitFieldsAndAnInvisible32BitPicture) {
  // 5-6-5 in a V4 header stays 16 bits; other masks become 24 bits.
  test::RawBmp b;
  b.header_size = 108;
  b.width = 2;
  b.height = 1;
  b.bits = 16;
  b.compression = 3;
  b.masks = {0xF800, 0x07E0, 0x001F};
  b.pixels = test::le16(0xF800) + test::le16(0x07FF);
  auto list = picture(test::build_bmp(b), false);
  EXPECT_EQ(list->Frames(0).surface.BitCount(), 16);
  EXPECT_EQ(pixels_of(list->Frames(0).surface), (std::vector<std::uint32_t>{0xF800, 0x07FF}));
  b.header_size = 40;
  b.masks = {0x0F00, 0x00F0, 0x000F};  // 4-4-4
  b.pixels = test::le16(0x0F80) + test::le16(0x001F);
  list = picture(test::build_bmp(b), false);
  EXPECT_EQ(list->Frames(0).surface.BitCount(), 24);
  EXPECT_EQ(pixels_of(list->Frames(0).surface), (std::vector<std::uint32_t>{0xFF8800, 0x0011FF}));
  b.masks = {0x0F00, 0x00F0, 0x0505};
  EXPECT_NE(error_of([&] { picture(test::build_bmp(b), false); }).find("is not one run of bits"), std::string::npos);
  // 32 bits whose fourth bytes are all 0: an invisible picture, plane and all.
  test::RawBmp z;
  z.width = 2;
  z.height = 1;
  z.bits = 32;
  z.pixels = test::le32(0x00FFFFFF) + test::le32(0x00010203);
  list = picture(test::build_bmp(z), false);
  ASSERT_TRUE(list->Frames(0).HasAlpha());
  EXPECT_EQ(pixels_of(*list->Frames(0).surface.Alpha()), (std::vector<std::uint32_t>{0, 0}));
}

TEST(BmpFiles, RunLengthEncodings) {
  // 8 bits, 6 × 3 stored bottom up: a run, an absolute run (padded), the
  // end of a line, a delta, the end.
  test::RawBmp b;
  b.width = 6;
  b.height = 3;
  b.bits = 8;
  b.compression = 1;
  b.palette = grey_palette(256);
  b.pixels = test::hex("03 07  00 03 01 02 03 00  00 00  00 02 02 01  02 09  00 01");
  auto list = picture(test::build_bmp(b), false);
  EXPECT_EQ(pixels_of(list->Frames(0).surface),
            (std::vector<std::uint32_t>{0, 0, 9, 9, 0, 0,  // line 2 (top): after the delta (2, 1)
                                        0, 0, 0, 0, 0, 0,  // line 1
                                        7, 7, 7, 1, 2, 3}));
  // 4 bits: a run alternates its two nibbles; an absolute run of 3 nibbles
  // takes two bytes, padded to a word.
  b.bits = 4;
  b.compression = 2;
  b.height = 1;
  b.palette = grey_palette(16);
  b.pixels = test::hex("03 AB  00 03 CD E0  00 01");
  list = picture(test::build_bmp(b), false);
  EXPECT_EQ(pixels_of(list->Frames(0).surface), (std::vector<std::uint32_t>{0xA, 0xB, 0xA, 0xC, 0xD, 0xE}));
  // Top-down runs, clipped at the edges.
  b.height = -1;
  b.pixels = test::hex("09 12  00 01");
  list = picture(test::build_bmp(b), false);
  EXPECT_EQ(pixels_of(list->Frames(0).surface), (std::vector<std::uint32_t>{1, 2, 1, 2, 1, 2}));
  b.pixels = test::hex("09 12");
  EXPECT_NE(error_of([&] { picture(test::build_bmp(b), false); }).find("the RLE data ends before its end mark"),
            std::string::npos);
}

TEST(BmpFiles, WhatIsNotReadIsRefusedByName) {
  test::RawBmp b;
  b.width = 1;
  b.height = 1;
  b.pixels = std::string(4, '\0');
  auto refused = [&](const std::string& why) {
    const std::string e = error_of([&] { picture(test::build_bmp(b), false); });
    EXPECT_NE(e.find(why), std::string::npos) << e;
    EXPECT_EQ(e.rfind("pic: bitmap file: ", 0), 0u) << e;
  };
  b.header_size = 64;
  refused("the OS/2 2.x header is not read");
  b.header_size = 52;
  refused("the V2 info header is not read");
  b.header_size = 40;
  b.compression = 4;
  refused("BI_JPEG is not read");
  b.compression = 5;
  refused("BI_PNG is not read");
  b.compression = 1;
  refused("24 bits per pixel do not go with BI_RLE8");
  b.compression = 0;
  b.bits = 2;
  refused("2 bits per pixel do not go with BI_RGB");
  b.bits = 24;
  b.width = 16385;
  refused("has a side above 16384");
  b.width = 100;
  refused("the pixel rows are cut short");
  b.width = 1;
  b.height = std::numeric_limits<std::int32_t>::min();
  refused("has a side above 16384");
  b.height = 1;
  std::string moved = test::build_bmp(b);
  moved.replace(10, 4, test::le32(5000));
  EXPECT_NE(error_of([&] { picture(moved, false); }).find("beyond the end of the file"), std::string::npos);
  EXPECT_NE(error_of([&] { picture("BM", false); }).find("truncated"), std::string::npos);
}

// --- Surfaces --------------------------------------------------------------------------

TEST(SurfaceFiles, LoadFromStreamGoesByContent) {
  // A 24-bit bitmap into a 16-bit surface: sized, converted, bit count kept.
  test::RawBmp b;
  b.width = 2;
  b.height = 1;
  b.pixels = test::hex("0000FF 00FF00 0000");
  TDIBX s;
  s.SetSize(1, 1, 16);
  auto bmp = test::stream_of(test::build_bmp(b));
  s.LoadFromStream(bmp, 0);
  EXPECT_EQ(s.GetBitCount(), 16);
  EXPECT_EQ(pixels_of(s), (std::vector<std::uint32_t>{0xF800, 0x07E0}));
  // PNG, with "PNG" at byte 1.
  test::RawPng p;
  p.width = 1;
  p.height = 1;
  p.samples = {0, 0, 255};
  auto png = test::stream_of(test::build_png(p));
  s.LoadFromStream(png, 0);
  EXPECT_EQ(pixels_of(s), (std::vector<std::uint32_t>{0x001F}));
  // A layered file's first frame, rows in the key's order.
  test::RawFile f;
  f.mode = 1;
  f.scrambled = true;
  test::RawLayer l;
  l.colour = test::scramble_rows(test::dib_rows(1, 3, 24, {0xFF0000, 0x00FF00, 0x0000FF}), 4, 99);
  f.frames.push_back(test::RawFrame{"", -1, 100, 1, 3, 24, {}, {l}, {}, {}});
  f.frames.push_back(f.frames[0]);
  TDIBX t;
  t.SetSize(1, 1, 32);
  auto bri = test::stream_of(test::build_bri(f));
  t.LoadFromStream(bri, 99);
  EXPECT_EQ(pixels_of(t), (std::vector<std::uint32_t>{0xFF0000, 0x00FF00, 0x0000FF}));
  // Anything else: surface and stream untouched.
  auto other = test::stream_of("GIF89a");
  other.SetPosition(1);
  t.LoadFromStream(other, 0);
  EXPECT_EQ(t.GetHeight(), 3);
  EXPECT_EQ(other.GetPosition(), 1);
  auto broken = test::stream_of("BM" + std::string(10, '\0'));
  EXPECT_NE(error_of([&] { t.LoadFromStream(broken, 0); }), "");
}

TEST(SurfaceFiles, BmpFilesLoadAndSaveAt24Bits) {
  ::nova::test::TempDir dir;
  TDIBX s;
  s.SetSize(3, 2, 8);
  Palette pal{};
  pal[1] = PaletteEntry{0x10, 0x20, 0x30, 0};
  s.SetPalette(pal);
  s.SetPixel(1, 1, 1);
  s.SaveToFile((dir / "out.BMP").string());
  s.SaveToFile((dir / "out.png").string());
  EXPECT_FALSE(std::filesystem::exists(dir / "out.png")) << "only .bmp is written";
  const std::string bytes = ::nova::test::read_file(dir / "out.BMP");
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[28]), 24);
  TDIBX back;
  back.SetSize(1, 1, 32);
  back.LoadFromFile((dir / "out.BMP").string());
  EXPECT_EQ(pixels_of(back), (std::vector<std::uint32_t>{0, 0, 0, 0, 0x302010, 0}));
  back.LoadFromFile((dir / "missing.bmp").string());
  EXPECT_EQ(back.GetWidth(), 3) << "a missing file changes nothing";
  std::filesystem::copy_file(dir / "out.BMP", dir / "out.dat");
  TDIBX other;
  other.LoadFromFile((dir / "out.dat").string());
  EXPECT_EQ(other.GetWidth(), 0) << "only .bmp is read";
  EXPECT_EQ(bytes, test::bytes_of(write_bmp24(s)));
}

TEST(SurfaceFiles, IsUncompressedBrioReadsTheHeadOnly) {
  auto check = [](const std::string& bytes) {
    auto s = test::stream_of("xx" + bytes);
    s.SetPosition(2);
    const bool r = IsUncompressedBrio(s);
    EXPECT_EQ(s.GetPosition(), 2);
    return r;
  };
  test::RawFile f;
  f.mode = 1;
  f.frames.push_back(test::RawFrame{"", -1, 100, 1, 1, 24, {}, {}, {}, {}});
  EXPECT_TRUE(check(test::build_bri(f)));
  f.mode = 0;
  EXPECT_FALSE(check(test::build_bri(f)));
  f.mode = 2;
  EXPECT_FALSE(check(test::build_bri(f)));
  f.mode = 1;
  f.version = "102";
  EXPECT_FALSE(check(test::build_bri(f)));
  f.version = "103";
  EXPECT_TRUE(check(test::build_bri(f)));
  f.header_size = 22;
  EXPECT_FALSE(check(test::build_bri(f))) << "the record ends before the mode";
  f.magic = false;
  EXPECT_FALSE(check(test::build_bri(f)));
  EXPECT_FALSE(check("Brio"));
}

}  // namespace
}  // namespace nova::graphics
