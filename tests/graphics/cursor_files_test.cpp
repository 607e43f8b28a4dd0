// Cursor files: every bitmap depth with its mask, PNG entries, the choice
// among entries, animated cursors with their rates and sequences, and
// damaged files of every kind.
#include "graphics/cursor_files.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "picture_builders.h"
#include "support/cursor_writer.h"

namespace nova::test {
namespace {

using graphics::CursorFrame;

std::uint32_t at(const CursorFrame& f, int x, int y) {
  return f.argb[static_cast<std::size_t>(y) * static_cast<std::size_t>(f.width) + static_cast<std::size_t>(x)];
}

// A 4 × 2 entry: row 0 colours 0..3 of the palette (or their RGB), row 1
// masked, with colour 0 (transparent) and colour 1 (inverting) alternating.
CurEntry small(int bits) {
  CurEntry e;
  e.width = 4;
  e.height = 2;
  e.bits = bits;
  e.hot_x = 3;
  e.hot_y = 1;
  const std::vector<std::uint32_t> colours = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  if (bits <= 8) {
    e.palette = colours;
    if (bits == 1) e.palette = {0x000000, 0xFFFFFF};
    e.pixels = {0, 1, bits == 1 ? 0u : 2u, bits == 1 ? 1u : 3u, 0, 1, 0, 1};
  } else {
    e.pixels = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x000000, 0xFFFFFF, 0x000000, 0xFFFFFF};
  }
  e.mask = {0, 0, 0, 0, 1, 1, 1, 1};
  return e;
}

std::vector<std::uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

TEST(CursorFiles, BitmapsOfEveryDepthWithTheirMasks) {
  for (int bits : {1, 4, 8, 24, 32}) {
    SCOPED_TRACE(bits);
    const CursorFrame f = graphics::read_cursor_file(write_cur({small(bits)}));
    ASSERT_EQ(f.width, 4);
    ASSERT_EQ(f.height, 2);
    EXPECT_EQ(f.hotspot, (platform::Point{3, 1}));
    EXPECT_EQ(at(f, 0, 0), 0xFF000000u) << "opaque black";
    EXPECT_EQ(at(f, 1, 0), bits == 1 ? 0xFFFFFFFFu : 0xFFFF0000u);
    if (bits != 1) {
      EXPECT_EQ(at(f, 3, 0), 0xFF0000FFu);
    }
    EXPECT_EQ(at(f, 0, 1), 0u) << "the mask over black is transparent";
    EXPECT_EQ(at(f, 1, 1), 0xFF000000u) << "an inverting pixel becomes black";
  }
  // A 32-bit bitmap with alpha keeps it and ignores the mask.
  CurEntry e = small(32);
  e.pixels = {0x80FF0000, 0xFF00FF00, 0x00000000, 0x10FFFFFF, 0, 0, 0, 0};
  const CursorFrame f = graphics::read_cursor_file(write_cur({e}));
  EXPECT_EQ(at(f, 0, 0), 0x80FF0000u);
  EXPECT_EQ(at(f, 3, 0), 0x10FFFFFFu);
}

TEST(CursorFiles, TheEntryNearestThirtyTwoWithTheMostColoursWins) {
  CurEntry big = small(8), near = small(4), nearer = small(8), nearer_rich = small(24);
  big.width = big.height = 64;
  big.pixels.assign(64 * 64, 1);
  near.width = near.height = 16;
  near.pixels.assign(16 * 16, 1);
  for (CurEntry* e : {&nearer, &nearer_rich}) {
    e->width = e->height = 32;
    e->pixels.assign(32 * 32, e == &nearer ? 1u : 0x00FF00u);
    e->mask.clear();
  }
  const CursorFrame f = graphics::read_cursor_file(write_cur({big, near, nearer, nearer_rich}));
  EXPECT_EQ(f.width, 32);
  EXPECT_EQ(at(f, 5, 5), 0xFF00FF00u) << "24 bits over 8 at the same size";
  // PNG entries count as the richest.
  graphics::test::RawPng png;
  png.width = png.height = 32;
  png.colour_type = 6;
  png.samples.assign(32 * 32 * 4, 0);
  for (std::size_t i = 0; i < 32 * 32; ++i) {
    png.samples[i * 4] = 0x12;
    png.samples[i * 4 + 3] = 0x80;
  }
  CurEntry p;
  p.width = p.height = 32;
  p.hot_x = 40;  // beyond the picture: kept inside
  p.png = bytes_of(graphics::test::build_png(png));
  const CursorFrame g = graphics::read_cursor_file(write_cur({nearer_rich, p}));
  EXPECT_EQ(at(g, 0, 0), 0x80120000u);
  EXPECT_EQ(g.hotspot.x, 31);
}

TEST(CursorFiles, AnimatedCursorsStepWithTheirRatesAndSequence) {
  CurEntry red = small(24), blue = small(24);
  red.pixels.assign(8, 0xFF0000);
  blue.pixels.assign(8, 0x0000FF);
  red.mask.clear();
  blue.mask.clear();
  const auto r = write_cur({red}), b = write_cur({blue});
  const auto plain = graphics::read_animated_cursor(write_ani({r, b}, 6));
  ASSERT_EQ(plain.size(), 2u);
  EXPECT_EQ(at(plain[1], 0, 0), 0xFF0000FFu);
  EXPECT_EQ(plain[0].display_ms, 100) << "6 / 60 s";
  const auto stepped = graphics::read_animated_cursor(write_ani({r, b}, 6, {3, 6, 12}, {1, 0, 1}));
  ASSERT_EQ(stepped.size(), 3u);
  EXPECT_EQ(at(stepped[0], 0, 0), 0xFF0000FFu);
  EXPECT_EQ(at(stepped[1], 0, 0), 0xFFFF0000u);
  EXPECT_EQ(stepped[2].display_ms, 200);
  EXPECT_EQ(graphics::read_any_cursor(r).size(), 1u);
}

TEST(CursorFiles, DamagedFilesFailCleanly) {
  const auto good = write_cur({small(8)});
  auto fails = [](std::vector<std::uint8_t> bytes, const char* why) {
    SCOPED_TRACE(why);
    EXPECT_THROW(graphics::read_any_cursor(bytes), core::Error);
  };
  for (std::size_t cut = 0; cut < good.size(); cut += 7) {
    fails(std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)), "cut");
  }
  auto patched = [&](std::size_t at_, std::uint8_t v) {
    auto b = good;
    b[at_] = v;
    return b;
  };
  fails(patched(4, 0xFF), "a count beyond the file");
  fails(patched(2, 7), "not a cursor type");
  fails(patched(6 + 12, 0xF0), "an offset beyond the file");
  fails(patched(6 + 16 + 14, 7), "a bit count of 7");
  fails(patched(6 + 16 + 16, 1), "compressed");
  CurEntry huge = small(1);
  huge.width = 300;
  huge.height = 2;
  fails(write_cur({huge}), "wider than 256");
  const auto icon = write_cur({small(24)});
  fails(write_ani({}, 6), "no frames");
  fails(write_ani({icon}, 6, {}, {0, 5}), "a step naming a missing frame");
  fails(write_ani({icon}, 6, {1, 2, 3}, {0, 0}), "rates for other steps");
  const auto ani = write_ani({icon, icon}, 6);
  for (std::size_t cut = 8; cut < ani.size(); cut += 11) {
    fails(std::vector<std::uint8_t>(ani.begin(), ani.begin() + static_cast<std::ptrdiff_t>(cut)), "cut animation");
  }
  std::vector<std::uint32_t> many(1025, 0);
  fails(write_ani({icon}, 6, {}, many), "more than 1024 steps");
}

}  // namespace
}  // namespace nova::test
