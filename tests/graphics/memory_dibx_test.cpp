// Memory surfaces: buffers of their own, shared and external; pixel access
// in every layout; locks balanced on every path.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/error.h"
#include "graphics/memory_dibx.h"
#include "surface_helpers.h"

namespace nova::graphics {
namespace {

TEST(MemorySurface, StartsEmptyAndReportsItsLayout) {
  TDIBX s;
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_EQ(s.GetBitCount(), 15);
  EXPECT_EQ(s.Lock(0, 0), nullptr) << "an empty surface cannot be locked";
  s.Unlock();
  s.SetSize(5, 3, 16);
  EXPECT_EQ(s.GetPitch(), 12) << "rows are rounded up to four bytes";
  EXPECT_EQ(s.GetGreenMask(), 0x07E0u);
  EXPECT_EQ(s.GetRedShift(), 11);
  s.SetBitCount(15);
  EXPECT_EQ(s.GetGreenMask(), 0x03E0u);
  EXPECT_EQ(s.GetRedShift(), 10);
  EXPECT_EQ(s.GetStorageBitCount(), 16);
  s.SetSize(3, 2, 24);
  EXPECT_EQ(s.GetPitch(), 12);
  EXPECT_EQ(s.GetRedMask(), 0xFF0000u);
  s.Clear();
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_EQ(s.GetWidth(), 0);
}

TEST(MemorySurface, RejectsImpossibleSizesWithAnError) {
  TDIBX s;
  EXPECT_THROW(s.SetSize(4, 4, 12), core::Error);
  EXPECT_THROW(s.SetSize(-1, 4, 32), core::Error);
  EXPECT_THROW(s.SetSize(100000, 100000, 32), core::Error);
  EXPECT_TRUE(s.IsEmpty()) << "a refused size leaves the surface as it was";
}

TEST(MemorySurface, PixelsOfEveryLayoutRoundTrip) {
  for (int bits : {1, 4, 8, 15, 16, 24, 32}) {
    TDIBX s;
    s.SetSize(11, 3, bits);
    const std::uint32_t all = bits == 32 ? 0xFFFFFFFFu : (1u << storage_bits(bits)) - 1;
    for (int x = 0; x < 11; ++x) s.SetPixel(x, 1, (0x9E3779B9u * static_cast<std::uint32_t>(x + 1)) & all);
    for (int x = 0; x < 11; ++x) {
      EXPECT_EQ(s.GetPixel(x, 1), (0x9E3779B9u * static_cast<std::uint32_t>(x + 1)) & all) << bits << " bits, x " << x;
      EXPECT_EQ(s.GetPixel(x, 0), 0u) << "neighbouring rows untouched";
    }
  }
  // Sub-byte layouts put the leftmost pixel in the high bits.
  TDIBX one;
  one.SetSize(8, 1, 1);
  one.SetPixel(0, 0, 1);
  EXPECT_EQ(*one.LockRead(0, 0), 0x80);
  TDIBX four;
  four.SetSize(2, 1, 4);
  four.SetPixel(0, 0, 0xA);
  four.SetPixel(1, 0, 0x3);
  EXPECT_EQ(*four.LockRead(0, 0), 0xA3);
}

TEST(MemorySurface, SharedBuffersAreCopiedBeforeTheFirstWrite) {
  TDIBX a;
  a.SetSize(4, 4, 32);
  a.Fill(0x123456);
  a.SetTransparentValue(7);
  TDIBX b;
  b.ShareBufferOf(a);
  EXPECT_TRUE(a.IsBufferShared());
  EXPECT_EQ(b.LockRead(0, 0), a.LockRead(0, 0)) << "one buffer for both";
  EXPECT_EQ(b.TransparentValue(), 7);
  b.FillRect(Rect{0, 0, 1, 1}, 0xABCDEF);
  EXPECT_FALSE(b.IsBufferShared());
  EXPECT_EQ(a.GetPixel(0, 0), 0x123456u) << "the other holder keeps its pixels";
  EXPECT_EQ(b.GetPixel(0, 0), 0xABCDEFu);
  EXPECT_EQ(b.GetPixel(1, 1), 0x123456u);
  // A lock for writing detaches as well.
  TDIBX c;
  c.ShareBufferOf(a);
  std::uint8_t* p = c.Lock(0, 0);
  c.Unlock();
  EXPECT_NE(p, a.LockRead(0, 0));
}

TEST(MemorySurface, ExternalBuffersAreWrittenInPlaceAndNeverFreed) {
  std::vector<std::uint16_t> pixels(6 * 2, 0);
  {
    TDIBX s;
    s.SetExternalBuffer(reinterpret_cast<std::uint8_t*>(pixels.data()), 5, 2, 16, 12);
    EXPECT_TRUE(s.HasExternalBuffer());
    s.FillRect(Rect{1, 1, 3, 2}, 0xF800);
    TDIBX copy;
    copy.ShareBufferOf(s);
    copy.SetPixel(0, 0, 1);
    EXPECT_EQ(pixels[0], 0u) << "a share of someone else's pixels is a copy";
  }
  EXPECT_EQ(pixels[6 + 1], 0xF800u);
  EXPECT_EQ(pixels[6 + 2], 0xF800u);
  EXPECT_EQ(pixels[6 + 3], 0u);
  TDIBX bad;
  EXPECT_THROW(bad.SetExternalBuffer(reinterpret_cast<std::uint8_t*>(pixels.data()), 5, 2, 16, 4), core::Error);
}

TEST(MemorySurface, AssignCopiesTheWholePictureAndTheDeviceContextConverts) {
  test::Rng rng(5);
  TDIBX a, b;
  a.SetSize(7, 5, 32);
  b.SetSize(7, 5, 32);
  test::fill_random(a, rng);
  b.Assign(a);
  EXPECT_EQ(test::first_difference(a, b), "");
  TDIBX small;
  small.SetSize(3, 2, 32);
  small.Assign(a);
  EXPECT_EQ(small.GetPixel(2, 1), a.GetPixel(2, 1));

  TDIBX screen;
  screen.SetSize(4, 2, 16);
  TDeviceContext* dc = screen.GetDC();
  ASSERT_NE(dc, nullptr);
  const std::uint32_t red_and_white[2] = {0x00FF0000, 0x00FFFFFF};
  const platform::PixelView view{reinterpret_cast<const std::uint8_t*>(red_and_white), 2, 1, 8,
                                 platform::PixelFormat::Xrgb32};
  dc->StretchPixels(view, Rect{0, 0, 2, 1}, Rect{0, 0, 4, 2});
  screen.ReleaseDC();
  EXPECT_EQ(screen.GetPixel(1, 1), 0xF800u);
  EXPECT_EQ(screen.GetPixel(2, 0), 0xFFFFu);
}

TEST(MemorySurface, PaletteEntriesRoundTrip) {
  TDIBX s;
  s.SetSize(2, 2, 8);
  const PaletteEntry two[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  s.SetPaletteEntries(two, 254);
  s.SetPaletteEntries(two, 255);  // the second entry falls off the end
  Palette p;
  s.GetPalette(p);
  EXPECT_EQ(p[254], two[0]);
  EXPECT_EQ(p[255], two[0]);
  PaletteEntry out[2];
  s.GetPaletteEntries(out, 255);
  EXPECT_EQ(out[0], two[0]);
  EXPECT_EQ(out[1], PaletteEntry{});
}

// Counts the locks of a surface.
struct CountingSurface : TDIBX {
  mutable int locks = 0, unlocks = 0, read_locks = 0, read_unlocks = 0;
  std::uint8_t* Lock(int x, int y) override {
    ++locks;
    return TDIBX::Lock(x, y);
  }
  void Unlock() override { ++unlocks; }
  const std::uint8_t* LockRead(int x, int y) const override {
    ++read_locks;
    return TDIBX::LockRead(x, y);
  }
  void UnlockRead() const override { ++read_unlocks; }
};

TEST(MemorySurface, DrawsOutsideTheClipTouchNothingAndLocksStayBalanced) {
  using Draw = std::function<void(TCustomDIBX&, const TCustomDIBX&, const TCustomDIBX&, int x)>;
  const std::vector<Draw> draws = {
      [](TCustomDIBX& d, const TCustomDIBX& s, const TCustomDIBX&, int x) {
        d.Draw(x, 2, false, true, false, Rect{0, 0, 6, 4}, s);
      },
      [](TCustomDIBX& d, const TCustomDIBX& s, const TCustomDIBX& a, int x) {
        d.DrawMaskedBlend(x, 2, 90, a, true, false, Rect{0, 0, 6, 4}, s);
      },
      [](TCustomDIBX& d, const TCustomDIBX& s, const TCustomDIBX& a, int x) {
        d.DrawMaskedRotate(x, 2, 300, a, false, false, 20, 1, 1, Rect{0, 0, 6, 4}, s, 256, 300);
      },
      [](TCustomDIBX& d, const TCustomDIBX& s, const TCustomDIBX&, int x) {
        d.StretchDraw(Rect{x, 2, x + 9, 7}, s, 100, false, false, true, Rect{0, 0, 6, 4});
      },
      [](TCustomDIBX& d, const TCustomDIBX& s, const TCustomDIBX&, int x) {
        d.TileAdd(Rect{x, 0, x + 8, 8}, 1, 0, 0, 200, false, Rect{0, 0, 6, 4}, s, 1);
      },
      [](TCustomDIBX& d, const TCustomDIBX&, const TCustomDIBX& a, int x) {
        d.DrawColorMasked(x, 2, 255, 0xFFFFFF, false, false, Rect{0, 0, 6, 4}, a);
      },
      [](TCustomDIBX& d, const TCustomDIBX&, const TCustomDIBX&, int x) { d.BlendRect(Rect{x, 0, x + 5, 5}, 9, 50); },
  };
  test::Rng rng(9);
  CountingSurface src;
  src.SetSize(6, 4, 32);
  test::fill_random(src, rng);
  src.SetTransparentValue(static_cast<std::int32_t>(src.GetPixel(0, 0)));
  TDIBX alpha;
  alpha.SetSize(6, 4, 8);
  test::fill_alpha_runs(alpha, rng);
  for (std::size_t i = 0; i < draws.size(); ++i) {
    for (int x : {30, 12}) {  // first outside the clip, then inside
      CountingSurface dst;
      dst.SetSize(20, 8, 32);
      dst.IncludeClipRect(Rect{10, 0, 20, 8});
      TDIBX before;
      test::copy_into(before, dst);
      const int reads = src.read_locks;
      draws[i](dst, src, alpha, x);
      EXPECT_EQ(dst.locks, dst.unlocks) << "draw " << i;
      EXPECT_EQ(src.read_locks, src.read_unlocks) << "draw " << i;
      for (int py = 0; py < 8; ++py) {
        for (int px = 0; px < 10; ++px) ASSERT_EQ(dst.GetPixel(px, py), 0u) << "outside the clip, draw " << i;
      }
      if (x == 30) {
        EXPECT_EQ(test::first_difference(before, dst), "") << "draw " << i;
      } else {
        EXPECT_GT(dst.locks, 0) << "a draw that touches pixels locks its destination, draw " << i;
        EXPECT_NE(test::first_difference(before, dst), "") << "draw " << i;
        if (i < 5) {
          EXPECT_GT(src.read_locks, reads) << "draw " << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace nova::graphics
