// Reading layered pictures: hand-typed files of every version, depth, row
// order and block kind, read to the pixels and fields the format fixes.
#include <gtest/gtest.h>

#include "brio_test_util.h"
#include "picture_builders.h"

namespace nova::graphics {
namespace {

using test::error_of;
using test::hex;
using test::load;
using test::pixels_of;

// The 2 × 1 picture of the documentation: red, green; 24 bits, mode 1.
const std::string kRedGreen = "Brio106" + hex(R"(
  28000000  | header size 40
  6A000000 02000000 01000000 18000000  | version, width, height, bits
  01000000 01 00 01 00  | frames; 1, scrambled, mode 1, 0
  00000000 00000000 00000000  | background, block width, block height
  00 00 0000  | opaque bottom, quality, 0
  00000000 FFFFFFFF 64000000 00 00000000  | frame: name, transparent, delay, ignored
  01000000 02000000 01000000 18000000  | layers, width, height, bits
  0000000000000000 01 FFFFFFFF FF000000 00  | layer: ignored, visible, transparent, opacity, alpha enabled
  00000000  | name
  08000000 0000FF 00FF00 0000  | colour data: blue, green, red per pixel, padding
  00000000  | no alpha data
  00000000 00000000  | no rectangles
)");

TEST(BrioRead, TheHandTypedVersion106FileGivesItsFieldsAndPixels) {
  ASSERT_EQ(kRedGreen.size(), 130u);
  auto list = load(kRedGreen);
  EXPECT_EQ(list->version, 106);
  EXPECT_EQ(list->storage_mode, 1);
  ASSERT_EQ(list->Count(), 1);
  const TBrioFrame& f = list->Frames(0);
  EXPECT_EQ(f.delay, 100);
  EXPECT_EQ(f.transparent, -1);
  EXPECT_EQ(f.transparent_colour, -1);
  EXPECT_EQ(f.end_offset, 130);
  EXPECT_EQ(f.surface.BitCount(), 24);
  EXPECT_EQ(pixels_of(f.surface), (std::vector<std::uint32_t>{0xFF0000, 0x00FF00}));
  EXPECT_FALSE(f.HasAlpha());
  ASSERT_EQ(f.LayerCount(), 1);
  EXPECT_EQ(pixels_of(f.Layers(0).surface), pixels_of(f.surface));
  EXPECT_FALSE(f.Layers(0).surface.IsBorrowed()) << "nothing of the stream stays borrowed";
  EXPECT_TRUE(IsUncompressedBrio(*std::make_unique<files::TKvMemoryStream>(files::as_bytes(kRedGreen))));

  // Without keep layers only the composite remains.
  EXPECT_EQ(load(kRedGreen, BrioLoad::None)->Frames(0).LayerCount(), 0);
}

// A data block as versions before 103 store it: zlib, with its size first.
std::string zblock(const std::string& raw) {
  const std::string z = test::zlib(raw);
  return test::le32(static_cast<std::uint32_t>(z.size())) + z;
}

TEST(BrioRead, HeadsOfTheOlderVersionsAsTyped) {
  // Version 0: no magic; frame count, one ignored byte; layers without the
  // alpha flag and alpha data; no rectangles. One 1 × 1 8-bit frame.
  const std::string palette8 = hex("000000 00") + hex("0000FF 00") + std::string(4 * 254, '\0');
  const std::string v0 = hex(R"(
    01000000 07                                | frame count, ignored
    03000000 41 42 43  05000000 32000000       | name "ABC", transparent 5, delay 50
    00 00000000                                | ignored
    01000000 01000000 01000000 08000000)") +  // layers, width, height, bits
                         palette8 +
                         hex(R"(
    0000000000000000 01 FFFFFFFF FF000000      | layer: ignored, visible, transparent, opacity
    00000000)") +  // name
                         zblock(hex("01 000000"));
  auto list = load(v0);
  EXPECT_EQ(list->version, 0);
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->Frames(0).name, "ABC");
  EXPECT_EQ(list->Frames(0).transparent, 5);
  EXPECT_EQ(list->Frames(0).delay, 50);
  EXPECT_EQ(list->Frames(0).surface.GetPixel(0, 0), 1u);
  EXPECT_EQ(list->Frames(0).transparent_colour, 0) << "index 5 reads back as its palette colour, black";
  EXPECT_EQ(list->Frames(0).end_offset, static_cast<std::int64_t>(v0.size()));

  // Version 101: the alpha flag and alpha data; no background colour.
  const std::string v101 = "Brio101" + hex(R"(
    01000000 01
    00000000 FFFFFFFF 64000000 00 00000000
    01000000 01000000 01000000 18000000
    0000000000000000 01 FFFFFFFF FF000000 01    | alpha enabled
    00000000)") + zblock(hex("102030 00")) +
                           zblock(hex("80 000000"));
  list = load(v101);
  EXPECT_EQ(list->version, 101);
  EXPECT_EQ(list->background_colour, 0);
  EXPECT_EQ(list->Frames(0).surface.GetPixel(0, 0), 0x302010u);
  ASSERT_TRUE(list->Frames(0).HasAlpha()) << "the bottom layer's plane becomes the composite's";
  EXPECT_EQ(list->Frames(0).surface.Alpha()->GetPixel(0, 0), 0x80u);

  // Version 102: the background colour follows; a frame without layers
  // is that colour (red on a 16-bit frame: 0xF800).
  const std::string v102 = "Brio102" + hex(R"(
    01000000 01 FF000000
    00000000 FFFFFFFF 64000000 00 00000000
    00000000 02000000 01000000 10000000)");
  list = load(v102);
  EXPECT_EQ(list->background_colour, 0xFF);
  EXPECT_EQ(pixels_of(list->Frames(0).surface), (std::vector<std::uint32_t>{0xF800, 0xF800}));

  // Version 103 with a header of 48 bytes: the 8 extra bytes are skipped;
  // opaque bottom is not read before 105, rectangles not before 104.
  const std::string v103 = "Brio103" + hex(R"(
    30000000
    67000000 01000000 01000000 20000000 01000000 01 00 01 00
    00FF0000 00000000 00000000 01 00 0000  EEEEEEEE EEEEEEEE
    00000000 FFFFFFFF 64000000 00 00000000
    00000000 01000000 01000000 20000000)");
  list = load(v103);
  EXPECT_EQ(list->version, 103);
  EXPECT_FALSE(list->opaque_bottom);
  EXPECT_EQ(list->Frames(0).surface.GetPixel(0, 0), 0x00FF00u) << "green background, 32 bits";
  EXPECT_EQ(list->Frames(0).end_offset, static_cast<std::int64_t>(v103.size()));

  // A header size below 40 leaves the rest of the record zero (mode 0,
  // background black); a negative one is refused.
  test::RawFile small;
  small.version = "106";
  small.header_size = 20;
  small.background = 0xFF;
  small.mode = 1;
  small.frames.push_back(test::RawFrame{"", -1, 100, 1, 1, 24, {}, {}, {}, {}});
  list = load(test::build_bri(small));
  EXPECT_EQ(list->storage_mode, 0);
  EXPECT_EQ(list->Frames(0).surface.GetPixel(0, 0), 0u);
  small.header_size = -4;
  EXPECT_NE(error_of([&] { load(test::build_bri(small)); }).find("header size -4 is negative"), std::string::npos);
}

TEST(BrioRead, VersionsDecideRectanglesAndTheOpaqueBottomFlag) {
  for (int v : {103, 104, 105, 106}) {
    SCOPED_TRACE(v);
    test::RawFile f;
    f.version = std::to_string(v);
    f.opaque_bottom = true;
    f.mode = 1;
    // One layer keyed on its only colour: drawn only when the flag counts.
    test::RawLayer l;
    l.transparent = 0x112233;
    l.colour = test::dib_rows(1, 1, 24, {0x112233});
    f.frames.push_back(test::RawFrame{"", -1, 100, 1, 1, 24, {}, {l}, {Rect{0, 0, 1, 1}}, {Rect{1, 2, 3, 4}}});
    f.background = 0x0000FF;  // red
    auto list = load(test::build_bri(f));
    const TBrioFrame& fr = list->Frames(0);
    EXPECT_EQ(list->opaque_bottom, v >= 105);
    EXPECT_EQ(fr.surface.GetPixel(0, 0), v >= 105 ? 0x112233u : 0xFF0000u);
    EXPECT_EQ(fr.content_rects.size(), v >= 104 ? 1u : 0u);
    if (v >= 104) {
      EXPECT_EQ(fr.second_rects.at(0), (Rect{1, 2, 3, 4}));
    }
  }
}

TEST(BrioRead, EveryDepthWithPaddedRows) {
  struct Case {
    int bits;
    std::vector<std::uint32_t> pixels;  // 3 × 2
  };
  const Case cases[] = {{1, {1, 0, 1, 0, 1, 1}},
                        {4, {0xF, 0x1, 0x8, 0x0, 0x7, 0xA}},
                        {8, {0x00, 0x7F, 0xFF, 0x12, 0x34, 0x56}},
                        {15, {0x7FFF, 0x0001, 0x7C00, 0x03E0, 0x001F, 0x4210}},
                        {16, {0xFFFF, 0xF800, 0x07E0, 0x001F, 0x8410, 0x0001}},
                        {24, {0xFFFFFF, 0x123456, 0xABCDEF, 0x000001, 0x800000, 0x00FF00}},
                        {32, {0x00FFFFFF, 0x00123456, 0x00ABCDEF, 0x00000001, 0x00800000, 0x0000FF00}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    for (std::uint8_t mode : {0, 1}) {
      test::RawFile f;
      f.mode = mode;
      test::RawFrame fr{"", -1, 100, 3, 2, c.bits, {}, {}, {}, {}};
      for (int i = 0; i < 16; ++i) fr.palette.push_back(PaletteEntry{static_cast<std::uint8_t>(i), 0x22, 0x33, 0});
      const std::string rows = test::dib_rows(3, 2, c.bits, c.pixels);
      // Rows are padded to four bytes; the padding is stored too.
      ASSERT_EQ(rows.size() % 4, 0u);
      test::RawLayer l;
      l.colour = mode == 0 ? test::zlib(rows) : rows;
      fr.layers.push_back(l);
      f.frames.push_back(fr);
      auto list = load(test::build_bri(f));
      const TDIBSurface& s = list->Frames(0).surface;
      EXPECT_EQ(s.BitCount(), c.bits);
      EXPECT_EQ(pixels_of(s), c.pixels);
      if (c.bits >= 4 && c.bits <= 8) {
        EXPECT_EQ(s.GetPalette()[3], (PaletteEntry{3, 0x22, 0x33, 0}));
      }
    }
  }
}

TEST(BrioRead, ScrambledRowsFollowTheKeysPermutation) {
  const int w = 2, h = 7;
  std::vector<std::uint32_t> px;
  for (int i = 0; i < w * h; ++i) px.push_back(static_cast<std::uint32_t>(i * 0x010203));
  const std::string rows = test::dib_rows(w, h, 24, px);
  const std::size_t row_bytes = rows.size() / h;
  const std::int32_t key = -123456789;
  ASSERT_NE(test::scramble_rows(rows, row_bytes, key), rows);
  for (std::uint8_t mode : {0, 1}) {
    test::RawFile f;
    f.mode = mode;
    f.scrambled = true;
    test::RawLayer l;
    const std::string stored = test::scramble_rows(rows, row_bytes, key);
    l.colour = mode == 0 ? test::zlib(stored) : stored;
    std::string alpha_rows;
    for (int y = 0; y < h; ++y) alpha_rows += std::string(2, static_cast<char>(y * 30)) + std::string(2, '\0');
    const std::string alpha_stored = test::scramble_rows(alpha_rows, 4, key);
    l.alpha = mode == 0 ? test::zlib(alpha_stored) : alpha_stored;
    l.alpha_enabled = true;
    f.frames.push_back(test::RawFrame{"", -1, 100, w, h, 24, {}, {l}, {}, {}});
    const std::string file = test::build_bri(f);
    auto list = load(file, BrioLoad::KeepLayers, key);
    EXPECT_EQ(pixels_of(list->Frames(0).surface), px) << "mode " << int{mode};
    for (int y = 0; y < h; ++y)
      EXPECT_EQ(list->Frames(0).surface.Alpha()->GetPixel(1, y), static_cast<std::uint32_t>(y * 30));
    // Another key misplaces rows without noticing.
    EXPECT_NE(pixels_of(load(file, BrioLoad::None, key + 1)->Frames(0).surface), px);
  }
  // The flag with key 0 keeps the natural order.
  test::RawFile f;
  f.mode = 1;
  f.scrambled = true;
  test::RawLayer l;
  l.colour = rows;
  f.frames.push_back(test::RawFrame{"", -1, 100, w, h, 24, {}, {l}, {}, {}});
  EXPECT_EQ(pixels_of(load(test::build_bri(f), BrioLoad::None, 0)->Frames(0).surface), px);
}

// Frame 0: layer 0 raw blocks, layer 1 of every kind; frame 1 copies both
// frames' layers. 5 × 3 pixels of 8 bits in blocks of 2 × 2 (3 × 2 blocks,
// the last column and row cut).
TEST(BrioRead, AScrambledBlockTableOfEveryKind) {
  const int w = 5, h = 3, bw = 2, bh = 2;
  std::vector<std::uint32_t> a, b;
  for (int i = 0; i < w * h; ++i) {
    a.push_back(static_cast<std::uint32_t>(10 + i));
    b.push_back(static_cast<std::uint32_t>(100 + i));
  }
  const std::string ra = test::dib_rows(w, h, 8, a), rb = test::dib_rows(w, h, 8, b);
  auto block = [&](const std::string& rows, int k) {
    const int x = (k % 3) * bw, y = (k / 3) * bh;
    return test::raw_block(w, 8, rows, x, y, std::min(bw, w - x), std::min(bh, h - y));
  };
  const std::int32_t key = 0x7FFFFFFF;
  for (std::uint8_t mode : {0, 1}) {
    SCOPED_TRACE(int{mode});
    auto data = [&](const std::string& d) { return mode == 0 ? test::zlib(d) : d; };
    test::RawFile f;
    f.mode = mode;
    f.scrambled = true;
    f.block_width = bw;
    f.block_height = bh;
    test::RawLayer l0, l1, l2;
    std::string raw0;
    std::vector<test::BlockEntry> t0;
    for (int k = 0; k < 6; ++k) {
      t0.push_back({-1, 0});
      raw0 += block(ra, k);
    }
    l0.colour = data(test::block_data(t0, raw0, key));
    // Layer 1: block 0 raw from b, block 1 a copy of block 0 (-2), block 2
    // from layer 0 (kind 0 = frame 0, argument = layer 0), block 3 raw,
    // block 4 a copy of block 0 (its top-left part), block 5 from layer 0.
    l1.colour =
        data(test::block_data({{-1, 0}, {-2, 0}, {0, 0}, {-1, 0}, {-2, 0}, {0, 0}}, block(rb, 0) + block(rb, 3), key));
    l1.visible = false;
    test::RawFrame f0{"", -1, 100, w, h, 8, {}, {l0, l1}, {}, {}};
    // Frame 1: everything from frame 0, layer 1, except block 5 from layer 0.
    l2.colour = data(test::block_data({{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 0}}, "", key));
    test::RawFrame f1{"", -1, 100, w, h, 8, {}, {l2}, {}, {}};
    f.frames = {f0, f1};
    auto list = load(test::build_bri(f), BrioLoad::KeepLayers, key);
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(pixels_of(list->Frames(0).Layers(0).surface), a);
    std::vector<std::uint32_t> expected(static_cast<std::size_t>(w * h));
    auto at = [&](int x, int y) -> std::uint32_t& { return expected[static_cast<std::size_t>(y * w + x)]; };
    auto from = [&](const std::vector<std::uint32_t>& v, int x, int y) {
      return v[static_cast<std::size_t>(y * w + x)];
    };
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int k = (y / bh) * 3 + x / bw, lx = x % bw, ly = y % bh;
        switch (k) {
          case 0: at(x, y) = from(b, x, y); break;
          case 1:
          case 4: at(x, y) = from(b, lx, ly); break;  // block 0's top-left part
          case 3: at(x, y) = from(b, x, y); break;
          default: at(x, y) = from(a, x, y); break;
        }
      }
    }
    EXPECT_EQ(pixels_of(list->Frames(0).Layers(1).surface), expected);
    EXPECT_EQ(pixels_of(list->Frames(0).surface), a) << "layer 1 is invisible";
    std::vector<std::uint32_t> frame1 = expected;
    for (int y = 2; y < 3; ++y) frame1[static_cast<std::size_t>(y * w + 4)] = from(a, 4, y);
    EXPECT_EQ(pixels_of(list->Frames(1).surface), frame1);
    // Read without keeping layers, the copies still find them.
    EXPECT_EQ(pixels_of(load(test::build_bri(f), BrioLoad::None, key)->Frames(1).surface), frame1);
  }
}

// Block copies the format does not allow, each refused by name.
TEST(BrioRead, BlockCopiesOutOfBoundsOrThroughNothingAreRefused) {
  const int w = 4, h = 2;
  // Layer 0 of a frame `width` wide: every block raw.
  auto raw_layer = [&](int width, int bits, bool plane) {
    test::RawLayer l;
    std::vector<test::BlockEntry> table;
    std::string raw;
    for (int x = 0; x < width; x += 2) {
      table.push_back({-1, 0});
      raw += std::string(static_cast<std::size_t>(2 * ((std::min(2, width - x) * (bits == 15 ? 16 : bits) + 7) / 8)),
                         '\x11');
    }
    l.colour = test::block_data(table, raw);
    if (plane) l.alpha = test::block_data(table, std::string(static_cast<std::size_t>(2 * width), '\x22'));
    return l;
  };
  auto file = [&](std::vector<test::BlockEntry> last, int last_bits = 8, bool plane_in_0 = false, int last_width = 4) {
    test::RawFile f;
    f.mode = 1;
    f.block_width = 2;
    f.block_height = 2;
    const test::RawLayer l0 = raw_layer(w, 8, plane_in_0);
    test::RawLayer l1;
    const int row = (last_width * (last_bits == 15 ? 16 : last_bits) + 7) / 8;
    std::string raw;
    for (const auto& e : last) {
      if (e.kind == -1) raw += std::string(static_cast<std::size_t>(2 * std::min(2, row)), '\x33');
    }
    l1.colour = test::block_data(last, raw);
    l1.alpha = test::block_data(last, raw);
    f.frames.push_back(test::RawFrame{"", -1, 100, w, h, 8, {}, {l0}, {}, {}});
    f.frames.push_back(test::RawFrame{
        "", -1, 100, last_width, h, last_bits, {}, {raw_layer(last_width, last_bits, plane_in_0), l1}, {}, {}});
    return test::build_bri(f);
  };
  auto refused = [&](const std::string& bytes, const std::string& why) {
    const std::string e = error_of([&] { load(bytes); });
    EXPECT_NE(e.find(why), std::string::npos) << "got: " << e;
  };
  EXPECT_EQ(error_of([&] { load(file({{-1, 0}, {-2, 0}})); }), "") << "a valid file to start from";
  refused(file({{-2, 1}, {-1, 0}}), "block 0: copies block 1, which is not filled yet");
  refused(file({{-1, 0}, {-2, -1}}), "block 1: copies block -1, which is not filled yet");
  refused(file({{0, 2}, {-1, 0}}), "copies frame 0, layer 2, which does not exist");
  refused(file({{1, 1}, {-1, 0}}), "copies frame 1, layer 1, which is not read before it");  // itself
  refused(file({{1, 5}, {-1, 0}}), "copies frame 1, layer 5, which is not read before it");  // a later layer
  refused(file({{2, 0}, {-1, 0}}), "copies frame 2, layer 0, which is not read before it");  // a later frame
  refused(file({{1, 0}, {-3, 0}}), "kind -3 is not a kind of block");
  refused(file({{0, 0}, {-1, 0}}, 16), "whose size or bit count differs");
  refused(file({{0, 0}, {-1, 0}, {-1, 0}}, 8, false, 6), "whose size or bit count differs");
  refused(file({{1, 0}, {-1, 0}}), "alpha plane of frame 1, layer 0, which has none");
  EXPECT_EQ(error_of([&] { load(file({{1, 0}, {-1, 0}}, 8, true)); }), "") << "with a plane to copy it is fine";
  // Blocks of 2 × 1 over 3 × 2: blocks 1 and 3 are cut to one pixel, so
  // block 1 cannot fill block 2.
  test::RawFile f;
  f.mode = 1;
  f.block_width = 2;
  f.block_height = 1;
  test::RawLayer small;
  small.colour = test::block_data({{-1, 0}, {-1, 0}, {-2, 1}, {-1, 0}}, "\x01\x02\x03\x04");
  f.frames.push_back(test::RawFrame{"", -1, 100, 3, 2, 8, {}, {small}, {}, {}});
  refused(test::build_bri(f), "block 2: copies block 1, which is smaller");
  f = test::RawFile{};
  f.mode = 1;
  f.block_width = 2;
  f.block_height = 1;
  test::RawLayer l;
  l.colour = test::block_data({{-1, 0}, {-2, 1}}, "\x01");
  f.frames.push_back(test::RawFrame{"", -1, 100, 3, 1, 8, {}, {l}, {}, {}});
  l.colour = test::block_data({{-1, 0}, {-2, 0}}, "\x01\x02");
  refused(test::build_bri(f), "the raw block data is cut short");
  f.frames[0].layers[0] = l;
  EXPECT_EQ(pixels_of(load(test::build_bri(f))->Frames(0).surface), (std::vector<std::uint32_t>{1, 2, 1}))
      << "a copy takes the top-left part of a larger block";
}

TEST(BrioRead, BlockPositionsInsideABytesAreFlooredToIt) {
  // 1-bit pixels in blocks 3 wide: block 1 starts at bit 3 and is stored
  // from byte 0, as whole bytes (so it also rewrites block 0's bits).
  test::RawFile f;
  f.mode = 1;
  f.block_width = 3;
  f.block_height = 1;
  test::RawLayer l;
  l.colour = test::block_data({{-1, 0}, {-1, 0}}, std::string("\xE0") + "\x1C");
  f.frames.push_back(test::RawFrame{"", -1, 100, 6, 1, 1, {}, {l}, {}, {}});
  auto list = load(test::build_bri(f));
  EXPECT_EQ(pixels_of(list->Frames(0).surface), (std::vector<std::uint32_t>{0, 0, 0, 1, 1, 1}));
}

TEST(BrioRead, FirstFrameOnlyReadsOneAndLeavesTheStreamAfterIt) {
  test::RawFile f;
  f.mode = 1;
  for (int i = 0; i < 3; ++i) {
    test::RawLayer l;
    l.colour = test::dib_rows(1, 1, 24, {static_cast<std::uint32_t>(i)});
    f.frames.push_back(test::RawFrame{"f" + std::to_string(i), -1, 10 * i, 1, 1, 24, {}, {l}, {}, {}});
  }
  const std::string bytes = test::build_bri(f) + "after";
  auto all = load(bytes);
  ASSERT_EQ(all->Count(), 3);
  TBrioFrameList one;
  auto s = test::stream_of(bytes);
  one.LoadFromStream(s, BrioLoad::FirstFrameOnly);
  ASSERT_EQ(one.Count(), 1);
  EXPECT_EQ(one.Frames(0).name, "f0");
  EXPECT_EQ(s.GetPosition(), all->Frames(0).end_offset);
  EXPECT_EQ(all->Frames(2).end_offset, static_cast<std::int64_t>(bytes.size()) - 5);
  // A whole read leaves it after the last frame, wherever the file started.
  auto shifted = test::stream_of("xyz" + bytes);
  shifted.SetPosition(3);
  one.LoadFromStream(shifted);
  EXPECT_EQ(one.Count(), 3);
  EXPECT_EQ(shifted.GetPosition(), 3 + all->Frames(2).end_offset);
  EXPECT_EQ(one.Frames(0).end_offset, 3 + all->Frames(0).end_offset);
}

TEST(BrioRead, JpegLayersAreCroppedOrPaddedAndConvertedToTheFrame) {
  // A flat 8 × 8 JPEG, read into a 16-bit frame of 10 × 4.
  test::RawFile f;
  f.mode = 2;
  test::RawLayer l;
  l.colour = test::flat_jpeg(8, 8, 0x40C080, 95);
  l.alpha = test::zlib(std::string(48, '\x7F'));
  l.alpha_enabled = true;
  f.frames.push_back(test::RawFrame{"", -1, 100, 10, 4, 16, {}, {l}, {}, {}});
  auto list = load(test::build_bri(f));
  const TBrioLayer& layer = list->Frames(0).Layers(0);
  EXPECT_TRUE(layer.jpeg);
  EXPECT_EQ(layer.surface.BitCount(), 24);
  EXPECT_EQ(layer.surface.Width(), 10);
  EXPECT_NEAR(static_cast<int>(layer.surface.GetPixel(3, 3) >> 16), 0x40, 2);
  EXPECT_NEAR(static_cast<int>(layer.surface.GetPixel(3, 3) & 0xFF), 0x80, 2);
  EXPECT_EQ(layer.surface.GetPixel(9, 3), 0u) << "black beyond the picture";
  const TDIBSurface& c = list->Frames(0).surface;
  EXPECT_EQ(c.BitCount(), 16);
  EXPECT_EQ(c.GetPixel(3, 3),
            static_cast<std::uint32_t>(color_to_pixel(16, layer.surface.PixelToColour(layer.surface.GetPixel(3, 3)))));
  EXPECT_EQ(c.Alpha()->GetPixel(9, 3), 0x7Fu) << "alpha data is plain zlib rows";
  // A damaged stream is an error, not a half picture.
  l.colour[l.colour.size() / 2] ^= 0x5A;
  l.colour.resize(l.colour.size() - 20);
  f.frames[0].layers[0] = l;
  EXPECT_NE(error_of([&] { load(test::build_bri(f)); }).find("JPEG data is damaged"), std::string::npos);
}

}  // namespace
}  // namespace nova::graphics
