// The picture cache: one item per key shared by its users, loading with
// planes and trim offsets, the empty picture for missing and damaged files,
// and the reloads that change an item's generation.
#include "graphics/brio_collection.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "memory_pictures.h"

namespace nova::graphics {
namespace {

using test::MemoryPictures;
using test::plain_bri;
using test::PlainFrame;
using test::solid_frame;

TEST(BrioCollection, UsersShareOneItemByCaseFreeKeyUntilTheLastRelease) {
  MemoryPictures files;
  files.put("a.bri", plain_bri({solid_frame(4, 3, 0x112233)}));
  TBrioCollection cache(files, 0, 32);
  TBrioItem& one = cache.Acquire(1, "A.BRI", false, false);
  TBrioItem& two = cache.Acquire(2, "a.bri", false, false);
  EXPECT_EQ(&one, &two);
  EXPECT_EQ(files.reads(), 1) << "a file is read once per key";
  cache.Acquire(2, "a.Bri", false, false);
  EXPECT_EQ(one.UserCount(), 2) << "an owner is a user once";
  TBrioItem& masked = cache.Acquire(3, "a.bri", false, true);
  EXPECT_NE(&masked, &one) << "?m is another key";
  EXPECT_EQ(masked.Key(), "a.bri?m");
  EXPECT_EQ(cache.Count(), 2);

  cache.Release(&one, 1);
  cache.Release(&one, 7);  // no user: nothing
  ASSERT_EQ(cache.Find("a.bri"), &one);
  cache.Release(&one, 2);
  ASSERT_EQ(cache.Find("a.bri"), &one) << "owner 2 acquired it twice (a map image's two pictures of one file)";
  EXPECT_TRUE(one.HasUser(2));
  cache.Release(&one, 2);
  EXPECT_EQ(cache.Find("a.bri"), nullptr);
  EXPECT_EQ(cache.Count(), 1);
  cache.Release(&masked, 3);
  EXPECT_EQ(cache.Count(), 0);
}

TEST(BrioCollection, FramesKeepDelaysKeysPlanesAndTrimOffsets) {
  MemoryPictures files;
  PlainFrame keyed = solid_frame(6, 5, 0x0000FF, 0);
  for (int y = 1; y < 4; ++y) {
    for (int x = 2; x < 5; ++x) keyed.pixels[static_cast<std::size_t>(y * 6 + x)] = 0x804020;
  }
  keyed.key = 0x0000FF;
  PlainFrame planed = solid_frame(6, 5, 0x102030, 40);
  for (std::size_t i = 0; i < planed.pixels.size(); ++i) planed.plane.push_back(static_cast<std::uint32_t>(i * 8));
  files.put("f.bri", plain_bri({keyed, planed, solid_frame(6, 5, 0x405060)}));
  TBrioCollection cache(files, 0, 32);

  const TBrioItem& plain = cache.Acquire(1, "f.bri", false, false);
  ASSERT_EQ(plain.Count(), 3);
  EXPECT_EQ(plain.Frames(0).delay, 1) << "a delay of 0 becomes 1";
  EXPECT_EQ(plain.Frames(1).delay, 40);
  EXPECT_EQ(plain.TotalDelay(), 141);
  EXPECT_EQ(plain.Width(), 6);
  const TDIBX& p0 = *plain.Frames(0).picture;
  EXPECT_EQ(p0.GetBitCount(), 32);
  EXPECT_EQ(p0.GetPixel(3, 2), 0x804020u);
  EXPECT_EQ(p0.TransparentValue(), 0x0000FF) << "the key in the screen's layout";
  EXPECT_EQ(plain.Frames(0).transparent_colour, 0xFF0000) << "as a colour word, red low";
  ASSERT_NE(plain.Frames(0).alpha, nullptr) << "the conversion gives a keyed frame its plane";
  EXPECT_EQ(plain.Frames(0).alpha->GetPixel(0, 0), 0u) << "keyed pixels 0";
  EXPECT_EQ(plain.Frames(0).alpha->GetPixel(3, 2), 255u) << "the others 255";
  ASSERT_NE(plain.Frames(1).alpha, nullptr) << "a frame's own plane is kept";
  EXPECT_EQ(plain.Frames(1).alpha->GetPixel(3, 1), 72u);
  EXPECT_EQ(plain.Frames(2).alpha, nullptr) << "no plane for a plain frame without ?m";

  const TBrioItem& masked = cache.Acquire(1, "f.bri", false, true);
  ASSERT_NE(masked.Frames(2).alpha, nullptr);
  EXPECT_EQ(masked.Frames(2).alpha->GetPixel(0, 0), 255u) << "?m: every frame has a plane";
  EXPECT_EQ(masked.Frames(1).alpha->GetPixel(3, 1), 72u) << "an own plane stays as it is";

  const TBrioItem& trimmed = cache.Acquire(1, "f.bri", true, false);
  EXPECT_EQ(trimmed.Key(), "f.bri?t");
  EXPECT_EQ(trimmed.Frames(0).offset_x, 2);
  EXPECT_EQ(trimmed.Frames(0).offset_y, 1);
  EXPECT_EQ(trimmed.Frames(0).picture->GetWidth(), 3);
  EXPECT_EQ(trimmed.Frames(0).picture->GetPixel(0, 0), 0x804020u);
  EXPECT_EQ(trimmed.Width(), 3);
}

TEST(BrioCollection, MissingAndDamagedFilesGiveTheEmptyPictureDamagedOnesLogged) {
  MemoryPictures files;
  std::string damaged = plain_bri({solid_frame(16, 16, 0x445566)});
  damaged.resize(damaged.size() / 2);
  files.put("bad.bri", damaged);
  std::vector<std::string> errors;
  core::LogSink sink([&](core::Channel c, core::Level l, std::string_view m) {
    if (c == core::Channel::Graphics && l == core::Level::Error) errors.emplace_back(m);
  });
  TBrioCollection cache(files, 0, 16);
  for (const char* name : {"none.bri", "bad.bri"}) {
    SCOPED_TRACE(name);
    const TBrioItem& item = cache.Acquire(1, name, false, true);
    ASSERT_EQ(item.Count(), 1);
    EXPECT_TRUE(item.Empty());
    const TDIBX& p = *item.Frames(0).picture;
    EXPECT_EQ(p.GetWidth(), 8);
    EXPECT_EQ(p.GetHeight(), 8);
    EXPECT_EQ(p.GetBitCount(), 16);
    EXPECT_EQ(p.GetPixel(7, 7), 0u);
    EXPECT_EQ(p.TransparentValue(), 0) << "keyed black: it shows nothing";
    ASSERT_NE(item.Frames(0).alpha, nullptr);
    EXPECT_EQ(item.Frames(0).alpha->GetPixel(3, 3), 0u);
  }
  ASSERT_EQ(errors.size(), 1u) << "a missing file is no error; a damaged one is logged";
  EXPECT_NE(errors[0].find("bad.bri"), std::string::npos);
}

TEST(BrioCollection, ReloadsChangeTheGenerationAndStaleItemsShowNewBytes) {
  MemoryPictures files;
  files.put("s.bri", plain_bri({solid_frame(2, 2, 0x010203)}));
  TBrioCollection cache(files, 0, 32);
  TBrioItem& item = cache.Acquire(1, "s.bri", false, false);
  const std::uint64_t g0 = item.Generation();

  cache.SetQuality(false);
  EXPECT_EQ(item.Generation(), g0) << "an unchanged flag reloads nothing";
  cache.SetQuality(true);
  const std::uint64_t g1 = item.Generation();
  EXPECT_NE(g1, g0);
  EXPECT_EQ(item.Frames(0).picture->GetPixel(1, 1), 0x010203u);

  cache.ReleaseSurfaces();
  EXPECT_TRUE(item.Lost());
  EXPECT_EQ(item.Frames(0).picture, nullptr);
  cache.RecreateSurfaces(16);
  EXPECT_FALSE(item.Lost());
  EXPECT_NE(item.Generation(), g1);
  EXPECT_EQ(item.Frames(0).picture->GetBitCount(), 16);
  const std::uint64_t g2 = item.Generation();

  files.put("s.bri", plain_bri({solid_frame(3, 2, 0xF8F8F8)}));
  cache.MarkStale("S.BRI");
  EXPECT_EQ(item.Generation(), g2) << "users keep the old frames until the next Acquire";
  TBrioItem& again = cache.Acquire(2, "s.bri", false, false);
  EXPECT_EQ(&again, &item);
  EXPECT_NE(item.Generation(), g2);
  EXPECT_EQ(item.Width(), 3);
  const TDIBX& now = *item.Frames(0).picture;
  EXPECT_EQ(now.GetPixel(0, 0), static_cast<std::uint32_t>(now.ColorToPixel(0xF8F8F8)));
}

}  // namespace
}  // namespace nova::graphics
