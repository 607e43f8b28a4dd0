// Bad pictures: every read is checked, sizes are refused before anything
// is allocated, and no prefix or one-field change of a valid file crashes,
// hangs or allocates beyond the limits. This program counts the largest
// allocation through the global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "brio_test_util.h"
#include "core/format.h"
#include "picture_builders.h"

namespace {
std::atomic<std::size_t> g_largest{0};
}

void* operator new(std::size_t n) {
  std::size_t seen = g_largest.load(std::memory_order_relaxed);
  while (n > seen && !g_largest.compare_exchange_weak(seen, n)) {
  }
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace nova::graphics {
namespace {

using test::error_of;
using test::load;

std::string refusal(const std::string& bytes, const PictureLimits& limits = {}, BrioLoad flags = BrioLoad::None) {
  TBrioFrameList list;
  list.SetLimits(limits);
  auto s = test::stream_of(bytes);
  const std::string e = error_of([&] { list.LoadFromStream(s, flags, "bad.bri"); });
  EXPECT_EQ(list.Count(), 0) << "a failed read leaves nothing";
  return e;
}

test::RawFile one_layer(int w, int h, int bits, std::uint8_t mode = 1) {
  test::RawFile f;
  f.mode = mode;
  test::RawLayer l;
  std::string rows = test::dib_rows(w, h, bits, std::vector<std::uint32_t>(static_cast<std::size_t>(w * h), 1));
  l.colour = mode == 0 ? test::zlib(rows) : rows;
  f.frames.push_back(test::RawFrame{"", -1, 100, w, h, bits, {}, {l}, {}, {}});
  return f;
}

#define EXPECT_REFUSED(bytes, text, ...)                                        \
  do {                                                                          \
    const std::string got_ = refusal(bytes __VA_OPT__(, ) __VA_ARGS__);         \
    EXPECT_NE(got_.find(text), std::string::npos) << "got: \"" << got_ << "\""; \
    EXPECT_EQ(got_.rfind("bad.bri: ", 0), 0u) << "the error names the file";    \
  } while (0)

TEST(PictureHardening, SizesAndCountsAreRefusedBeforeAnythingIsAllocated) {
  for (int bits : {0, 2, 3, 7, 9, 12, 17, 31, 33, -1}) {
    test::RawFile f = one_layer(1, 1, 8);
    f.frames[0].bits = bits;
    f.frames[0].layers.clear();
    EXPECT_REFUSED(test::build_bri(f), "is not 1, 4, 8, 15, 16, 24 or 32");
  }
  g_largest = 0;
  test::RawFile f = one_layer(1, 1, 24);
  f.frames[0].layers.clear();
  f.frames[0].width = -3;
  EXPECT_REFUSED(test::build_bri(f), "negative size -3 x 1");
  f.frames[0].width = 16385;
  EXPECT_REFUSED(test::build_bri(f), "has a side above 16384");
  f.frames[0].width = 1;
  f.frames[0].height = 0x7FFFFFFF;
  EXPECT_REFUSED(test::build_bri(f), "has a side above 16384");
  f.frames[0].width = 5000;
  f.frames[0].height = 5000;
  PictureLimits small;
  small.max_pixels = 1 << 20;
  EXPECT_REFUSED(test::build_bri(f), "is more than 1048576 pixels", small);
  EXPECT_LT(g_largest.load(), std::size_t{1} << 20) << "refused before the bitmap was made";

  // Counts that cannot fit in the bytes left: 33 per frame, 25 per layer,
  // 16 per rectangle.
  f = one_layer(1, 1, 24);
  f.frame_count = 3;
  EXPECT_REFUSED(test::build_bri(f), "3 frames cannot fit");
  f.frame_count = -1;
  f.frames[0].layer_count = 1000000;
  EXPECT_REFUSED(test::build_bri(f), "1000000 layers cannot fit");
  f.frames[0].layer_count = -2;
  EXPECT_REFUSED(test::build_bri(f), "-2 layers cannot fit");
  f = one_layer(1, 1, 24);
  std::string bytes = test::build_bri(f);
  bytes.replace(bytes.size() - 8, 4, test::le32(0x10000000));
  EXPECT_REFUSED(bytes, "268435456 rectangles cannot fit");
  f.frame_count = static_cast<std::int32_t>(0x80000000);
  EXPECT_REFUSED(test::build_bri(f), "-2147483648 frames cannot fit");

  // One file's bitmaps together: 40 frames of 64 × 64 × 32 bits against a
  // limit of 300 000 bytes.
  test::RawFile many;
  for (int i = 0; i < 40; ++i) many.frames.push_back(test::RawFrame{"", -1, 1, 64, 64, 32, {}, {}, {}, {}});
  PictureLimits total;
  total.max_total_bytes = 300000;
  EXPECT_REFUSED(test::build_bri(many), "bitmaps need more than 300000 bytes in all", total);
  EXPECT_EQ(load(test::build_bri(many), BrioLoad::None)->Count(), 40) << "within the default limit";
}

TEST(PictureHardening, DataThatDoesNotHoldTheBitmapIsAnError) {
  // Mode 1: fewer bytes than the rows need.
  test::RawFile f = one_layer(4, 4, 24);
  f.frames[0].layers[0].colour.resize(40);
  EXPECT_REFUSED(test::build_bri(f), "the colour data holds 40 bytes where the bitmap needs 48");
  // Mode 0: inflating to fewer bytes.
  f = one_layer(4, 4, 24, 0);
  f.frames[0].layers[0].colour = test::zlib(std::string(47, 'x'));
  EXPECT_REFUSED(test::build_bri(f), "inflates to 47 bytes where the bitmap needs 48");
  // A bomb: far more than the bitmap can need is refused, not inflated.
  f.frames[0].layers[0].colour = test::zlib(std::string(50 << 20, '\0'), 9);
  g_largest = 0;
  EXPECT_REFUSED(test::build_bri(f), "inflates to more than 48 bytes");
  EXPECT_LT(g_largest.load(), std::size_t{1} << 20);
  // Scrambled, or in blocks: the limit is the table plus every block raw.
  f.scrambled = true;
  EXPECT_REFUSED(test::build_bri(f), "inflates to more than 48 bytes", PictureLimits{}, BrioLoad::None);
  f.block_width = 3;
  f.block_height = 3;
  f.scrambled = false;
  EXPECT_REFUSED(test::build_bri(f), core::format("inflates to more than %d bytes", {4 * 8 + 4 * 12}));
  // Damaged zlib, a damaged alpha block.
  f = one_layer(4, 4, 24, 0);
  f.frames[0].layers[0].colour[5] ^= 0x40;
  EXPECT_REFUSED(test::build_bri(f), "the colour data: compressed data is damaged");
  f = one_layer(4, 4, 24, 0);
  f.frames[0].layers[0].alpha = "garbage";
  EXPECT_REFUSED(test::build_bri(f), "the alpha data: compressed data is damaged");
  // A colour block that claims more than the file holds.
  std::string bytes = test::build_bri(one_layer(2, 2, 24));
  bytes.resize(bytes.size() - 10);
  EXPECT_REFUSED(bytes, "the file ends");
  // Versions are three digits; storage modes 0, 1 or 2.
  for (const char* v : {"1x6", "+12", " 99", "10"}) {
    f = one_layer(1, 1, 24);
    f.version = v;
    EXPECT_REFUSED(test::build_bri(f).substr(0, 7) + std::string(60, '\0'), "is not three digits");
  }
  f = one_layer(1, 1, 24);
  f.mode = 3;
  EXPECT_REFUSED(test::build_bri(f), "storage mode 3 is not 0, 1 or 2");
  // Negative lengths.
  f = one_layer(1, 1, 24);
  f.frames[0].layers[0].name = "n";
  bytes = test::build_bri(f);
  const std::size_t at = bytes.find(test::le32(1) + "n");
  bytes.replace(at, 4, test::le32(0xFFFFFFF0));
  EXPECT_REFUSED(bytes, "the layer name: negative length -16");
  // A JPEG layer cut short.
  const std::string jpeg = test::flat_jpeg(16, 16, 0x808080, 80);
  f = one_layer(16, 16, 24, 2);
  f.frames[0].layers[0].colour = jpeg.substr(0, jpeg.size() / 2);
  EXPECT_REFUSED(test::build_bri(f), "JPEG data is damaged");
  f.frames[0].layers[0].colour = "";
  EXPECT_REFUSED(test::build_bri(f), "JPEG data is damaged");
}

TEST(PictureHardening, BitmapsWithoutPixelsReadMaskAndWriteBack) {
  // Zero columns of three rows, in every mode: data is there but unused.
  for (std::uint8_t mode : {0, 1}) {
    test::RawFile f = one_layer(0, 3, 24, mode);
    f.frames[0].layers[0].alpha = mode == 0 ? test::zlib("x") : "x";
    f.frames[0].transparent = 5;
    TBrioFrameList list;
    auto s = test::stream_of(test::build_bri(f));
    list.LoadFromStream(s, BrioLoad::KeepLayers);
    TBrioFrame& fr = list.Frames(0);
    EXPECT_EQ(fr.surface.Width(), 0);
    EXPECT_EQ(fr.surface.Height(), 3);
    list.MakeMasks(true);
    EXPECT_EQ(fr.Trim(), (Rect{0, 0, 0, 3}));
    files::TKvMemoryStream out;
    list.SaveToStream(out, mode, 70);
    EXPECT_EQ(test::load(std::string(out.view()))->Frames(0).surface.Height(), 3);
  }
  // A 32-bit bitmap file of no columns.
  test::RawBmp b;
  b.width = 0;
  b.height = 2;
  b.bits = 32;
  TBrioFrameList list;
  list.LoadPicture(files::as_bytes(test::build_bmp(b)), false);
  EXPECT_TRUE(list.Frames(0).HasAlpha());
  EXPECT_EQ(list.Frames(0).surface.Height(), 2);
}

// Valid files of every kind, for the prefixes and the changed fields.
std::vector<std::string> valid_files() {
  std::vector<std::string> out;
  out.push_back(test::build_bri(one_layer(3, 2, 8, 0)));
  test::RawFile f = one_layer(5, 3, 16, 1);
  f.scrambled = true;
  f.frames[0].layers[0].alpha = test::dib_rows(5, 3, 8, std::vector<std::uint32_t>(15, 9));
  f.frames[0].layers[0].alpha_enabled = true;
  f.frames[0].rects = {Rect{0, 0, 1, 1}};
  out.push_back(test::build_bri(f));
  test::RawFile b;
  b.mode = 0;
  b.block_width = 2;
  b.block_height = 2;
  test::RawLayer l0, l1;
  l0.colour = test::zlib(test::block_data({{-1, 0}, {-2, 0}}, std::string(8, '\x05')));
  l1.colour = test::zlib(test::block_data({{0, 0}, {-1, 0}}, std::string(8, '\x06')));
  l1.opacity = 100;
  b.frames.push_back(test::RawFrame{"a", -1, 1, 4, 2, 8, {}, {l0, l1}, {}, {}});
  b.frames.push_back(test::RawFrame{"b", 3, 1, 4, 2, 8, {}, {l1}, {}, {}});
  out.push_back(test::build_bri(b));
  f = one_layer(8, 8, 24, 2);
  f.frames[0].layers[0].colour = test::flat_jpeg(8, 8, 0x102030, 50);
  f.frames[0].layers[0].alpha = test::zlib(std::string(64, '\x40'));
  out.push_back(test::build_bri(f));
  test::RawFile v0 = one_layer(2, 2, 4, 0);
  v0.magic = false;
  out.push_back(test::build_bri(v0));
  return out;
}

TEST(PictureHardening, EveryPrefixAndEveryChangedFieldGivesAnErrorOrAPicture) {
  PictureLimits limits;
  limits.max_side = 4096;
  limits.max_pixels = 1 << 20;
  limits.max_total_bytes = 8 << 20;
  auto try_load = [&](const std::string& bytes, std::int32_t key) {
    TBrioFrameList list(key);
    list.SetLimits(limits);
    auto s = test::stream_of(bytes);
    try {
      list.LoadFromStream(s, BrioLoad::KeepLayers);
    } catch (const core::Error& e) {
      EXPECT_FALSE(e.message().empty());
      EXPECT_EQ(list.Count(), 0);
      return false;
    }
    // A picture: every frame's composite is whole.
    for (int i = 0; i < list.Count(); ++i) {
      const TBrioFrame& f = list.Frames(i);
      for (int y = 0; f.surface.Width() > 0 && y < f.surface.Height(); ++y) {
        (void)f.surface.GetPixel(f.surface.Width() - 1, y);
      }
    }
    return true;
  };
  int errors = 0, pictures = 0;
  g_largest = 0;
  for (const std::string& file : valid_files()) {
    ASSERT_TRUE(try_load(file, 77));
    for (std::size_t n = 0; n < file.size(); ++n) (try_load(file.substr(0, n), 77) ? pictures : errors)++;
    for (std::size_t i = 0; i < file.size(); ++i) {
      for (std::uint8_t v : {0x00, 0x01, 0x7F, 0x80, 0xFF, 0x40}) {
        std::string changed = file;
        changed[i] = static_cast<char>(v);
        (try_load(changed, 77) ? pictures : errors)++;
      }
      // A whole 32-bit field at this place.
      if (i + 4 <= file.size()) {
        for (std::uint32_t v : {0x7FFFFFFFu, 0x80000000u, 0x00004001u, 0xFFFFFFFEu}) {
          std::string changed = file;
          changed.replace(i, 4, test::le32(v));
          (try_load(changed, 77) ? pictures : errors)++;
        }
      }
    }
  }
  EXPECT_GT(errors, 1000);
  EXPECT_GT(pictures, 1000) << "changed fields often still give pictures";
  // Bitmaps stay within the total; the one scratch block of a layer's
  // inflated blocks is bounded by the same bitmap sizes.
  EXPECT_LE(g_largest.load(), 2 * static_cast<std::size_t>(limits.max_total_bytes))
      << "no allocation beyond the limits";
}

}  // namespace
}  // namespace nova::graphics
