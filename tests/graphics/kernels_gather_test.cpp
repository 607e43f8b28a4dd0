// The gathers of every kernel set against plain per-pixel reads: column
// tables at scales from strong reduction to strong enlargement, mirrored,
// in any order, with sources that end right after the furthest sample, and
// affine walks in every direction. The outputs past the count must stay
// untouched, since a direct stretch gathers into the destination row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/kernels.h"
#include "surface_helpers.h"

namespace nova::graphics::detail {
namespace {

using test::Rng;
using test::uniform;

constexpr std::uint8_t kGuard = 0xA5;
constexpr int kGuardBytes = 64;

struct NamedSet {
  PixelPath path;
  const KernelSet* set;
};

std::vector<NamedSet> kernel_sets() {
  std::vector<NamedSet> out;
  for (PixelPath p : available_pixel_paths()) {
    if (const KernelSet* ks = kernels_for(p)) out.push_back({p, ks});
  }
  return out;
}

std::vector<std::uint8_t> random_bytes(Rng& rng, std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(rng());
  return v;
}

// The outputs, then the guard bytes after them.
std::string check_output(const std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& expected) {
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (out[i] != expected[i]) return "byte " + std::to_string(i) + " differs";
  }
  for (std::size_t i = expected.size(); i < out.size(); ++i) {
    if (out[i] != kGuard) return "byte " + std::to_string(i) + " past the outputs was written";
  }
  return "";
}

// Columns as a stretch samples them: (u0 + i × du) >> 16, mirrored to
// mirror − x when asked.
std::vector<int> stretch_columns(std::int64_t u0, std::int64_t du, int count, bool mirrored, int mirror) {
  std::vector<int> cols(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int x = static_cast<int>((u0 + i * du) >> 16);
    cols[static_cast<std::size_t>(i)] = mirrored ? mirror - x : x;
  }
  return cols;
}

void expect_table_gathers(const std::vector<int>& cols, int width, Rng& rng, const std::string& what) {
  const int count = static_cast<int>(cols.size());
  for (int bytes : {1, 2, 4}) {
    // The source row is the last row of its buffer and ends at its last
    // pixel, so a load that passes `end` reads outside the allocation (the
    // sanitizer build reports it).
    const std::vector<std::uint8_t> source = random_bytes(rng, static_cast<std::size_t>(width) * bytes * 3);
    const std::uint8_t* row = source.data() + static_cast<std::ptrdiff_t>(width) * bytes * 2;
    std::vector<std::uint8_t> expected(static_cast<std::size_t>(count) * bytes);
    for (int i = 0; i < count; ++i) {
      std::memcpy(expected.data() + static_cast<std::ptrdiff_t>(i) * bytes,
                  row + static_cast<std::ptrdiff_t>(cols[static_cast<std::size_t>(i)]) * bytes,
                  static_cast<std::size_t>(bytes));
    }
    for (const NamedSet& named : kernel_sets()) {
      const int size = KernelSet::size_index(bytes);
      ColumnPlan plan;
      plan.cols = cols.data();
      plan.count = count;
      plan.bytes = bytes;
      named.set->plan_columns[size](plan);
      ASSERT_LE(plan.planned, count);
      // The same plan serves every row: the last one, which ends the
      // buffer, and one in the middle, which does not.
      for (const std::uint8_t* r : {row, row - static_cast<std::ptrdiff_t>(width) * bytes}) {
        std::vector<std::uint8_t> out(expected.size() + kGuardBytes, kGuard);
        GatherJob g;
        g.out = out.data();
        g.row = r;
        g.plan = &plan;
        g.end = source.data() + source.size();
        g.count = count;
        named.set->gather_table[size](g);
        std::vector<std::uint8_t> want(expected);
        if (r != row) {
          for (int i = 0; i < count; ++i) {
            std::memcpy(want.data() + static_cast<std::ptrdiff_t>(i) * bytes,
                        r + static_cast<std::ptrdiff_t>(cols[static_cast<std::size_t>(i)]) * bytes,
                        static_cast<std::size_t>(bytes));
          }
        }
        ASSERT_EQ(check_output(out, want), "")
            << what << ", " << bytes << "-byte pixels, " << pixel_path_name(named.path)
            << (r == row ? ", last row" : ", inner row");
      }
    }
  }
}

TEST(ColumnGathers, StretchTablesAtEveryScale) {
  Rng rng(7);
  // Reductions below a quarter leave blocks that yield too little; the sets
  // fall back to pixel-by-pixel reads there, which must agree too.
  const double scales[] = {0.03, 0.13, 0.26, 0.5, 0.75, 0.99, 1.0, 1.01, 1.5, 2.0, 2.37, 3.3, 8.0, 41.0};
  for (double scale : scales) {
    for (bool mirrored : {false, true}) {
      for (int trial = 0; trial < 6; ++trial) {
        const int count = trial == 0 ? uniform(rng, 1, 40) : uniform(rng, 40, 700);
        const auto du = static_cast<std::int64_t>(65536 / scale);
        const std::int64_t u0 = uniform(rng, 0, 65535) + std::int64_t{uniform(rng, 0, 5)} * 65536;
        const int last = static_cast<int>((u0 + (count - 1) * du) >> 16);
        const std::vector<int> cols = stretch_columns(u0, du, count, mirrored, last + uniform(rng, 0, 9));
        // Sometimes the furthest sample is the row's last pixel.
        const int width = *std::max_element(cols.begin(), cols.end()) + 1 + (trial % 2 == 0 ? 0 : uniform(rng, 1, 40));
        expect_table_gathers(cols, width, rng,
                             "scale " + std::to_string(scale) + (mirrored ? " mirrored" : "") + ", trial " +
                                 std::to_string(trial) + ", count " + std::to_string(count));
      }
    }
  }
}

TEST(ColumnGathers, TablesInAnyOrder) {
  Rng rng(11);
  for (int trial = 0; trial < 40; ++trial) {
    const int width = uniform(rng, 1, 60), count = uniform(rng, 1, 300);
    // Columns clustered within a few pixels of a wandering centre, so some
    // blocks fit a window and others do not.
    std::vector<int> cols(static_cast<std::size_t>(count));
    int centre = uniform(rng, 0, width - 1);
    for (int& c : cols) {
      centre = std::clamp(centre + uniform(rng, -2, 2), 0, width - 1);
      c = std::clamp(centre + uniform(rng, -4, 4), 0, width - 1);
    }
    expect_table_gathers(cols, width, rng, "clustered table, trial " + std::to_string(trial));
  }
}

TEST(AffineGathers, WalksInEveryDirection) {
  Rng rng(13);
  for (int trial = 0; trial < 300; ++trial) {
    const int width = uniform(rng, 1, 80), height = uniform(rng, 1, 80);
    const int count = uniform(rng, 1, 200);
    const bool mirror_h = uniform(rng, 0, 1) == 1, mirror_v = uniform(rng, 0, 1) == 1;
    // A walk from a random start in a random direction, shortened so that
    // every sample stays inside the source.
    std::int64_t du = uniform(rng, -3 * 65536, 3 * 65536), dv = uniform(rng, -3 * 65536, 3 * 65536);
    if (trial % 5 == 0) dv = 0;
    const std::int64_t u0 = uniform(rng, 0, width * 65536 - 1), v0 = uniform(rng, 0, height * 65536 - 1);
    int n = count;
    while (n > 1) {
      const std::int64_t ul = u0 + (n - 1) * du, vl = v0 + (n - 1) * dv;
      if (ul >= 0 && ul < width * 65536 && vl >= 0 && vl < height * 65536) break;
      --n;
    }
    for (int bytes : {1, 2, 4}) {
      const int pitch = width * bytes + uniform(rng, 0, 1) * 4;
      const std::vector<std::uint8_t> source =
          random_bytes(rng, static_cast<std::size_t>(pitch) * (height - 1) + static_cast<std::size_t>(width) * bytes);
      std::vector<std::uint8_t> expected(static_cast<std::size_t>(n) * bytes);
      for (int i = 0; i < n; ++i) {
        int x = static_cast<int>((u0 + i * du) >> 16), y = static_cast<int>((v0 + i * dv) >> 16);
        if (mirror_h) x = width - 1 - x;
        if (mirror_v) y = height - 1 - y;
        std::memcpy(expected.data() + static_cast<std::ptrdiff_t>(i) * bytes,
                    source.data() + static_cast<std::ptrdiff_t>(y) * pitch + static_cast<std::ptrdiff_t>(x) * bytes,
                    static_cast<std::size_t>(bytes));
      }
      for (const NamedSet& named : kernel_sets()) {
        std::vector<std::uint8_t> out(expected.size() + kGuardBytes, kGuard);
        GatherJob g;
        g.out = out.data();
        g.base = source.data();
        g.end = source.data() + source.size();
        g.pitch = pitch;
        g.u0 = u0;
        g.v0 = v0;
        g.du = du;
        g.dv = dv;
        g.mirror_h = mirror_h;
        g.mirror_v = mirror_v;
        g.mirror_x = width - 1;
        g.mirror_y = height - 1;
        g.count = n;
        named.set->gather_affine[KernelSet::size_index(bytes)](g);
        ASSERT_EQ(check_output(out, expected), "")
            << "trial " << trial << ", " << bytes << "-byte pixels, " << pixel_path_name(named.path);
      }
    }
  }
}

}  // namespace
}  // namespace nova::graphics::detail
