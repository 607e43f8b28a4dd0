// Every fast path against the per-pixel reference, bit for bit on the colour
// bits, over random pictures, rectangles, clips, flips, keys and opacities.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "graphics/kernels.h"
#include "graphics/memory_dibx.h"
#include "surface_helpers.h"

namespace nova::graphics {
namespace {

using test::Rng;
using test::uniform;

struct Case {
  TDIBX dst, src, alpha;
  int x = 0, y = 0;
  Rect src_rect, dst_rect, clip;
  bool use_clip = false, flip_v = false, flip_h = false, keyed = false;
  int opacity = 255, alpha_code = 255, angle = 0, pivot_x = 0, pivot_y = 0, zoom_x = 256, zoom_y = 256;
  int gap_x = 0, gap_y = 0, phase_x = 0, phase_y = 0;
  std::uint32_t value = 0;
};

Rect random_rect_in(Rng& rng, int w, int h, int slack) {
  const int l = uniform(rng, -slack, w - 1), t = uniform(rng, -slack, h - 1);
  return Rect{l, t, uniform(rng, l + 1, w + slack), uniform(rng, t + 1, h + slack)};
}

void make_case(Case& c, int bits, Rng& rng) {
  const int dw = uniform(rng, 1, 90), dh = uniform(rng, 1, 24);
  const int sw = uniform(rng, 1, 70), sh = uniform(rng, 1, 24);
  c.dst.SetSize(dw, dh, bits);
  c.src.SetSize(sw, sh, bits);
  c.alpha.SetSize(sw, sh, 8);
  // A small shared palette makes keys, equal pixels and the value of the
  // rectangle operations occur in the pictures.
  const bool few = uniform(rng, 0, 1) == 1;
  Rng palette_rng(static_cast<unsigned>(rng()));
  Rng same = palette_rng;
  test::fill_random(c.dst, palette_rng, few ? 4 : 0);
  test::fill_random(c.src, same, few ? 4 : 0);
  test::fill_alpha_runs(c.alpha, rng);
  if (uniform(rng, 0, 3) == 0) c.alpha.Fill(255);
  c.src.SetTransparentValue(uniform(rng, 0, 3) == 0 ? -1 : static_cast<std::int32_t>(c.src.GetPixel(0, 0)));
  c.keyed = uniform(rng, 0, 3) != 0;
  c.flip_h = uniform(rng, 0, 1) == 1;
  c.flip_v = uniform(rng, 0, 1) == 1;
  c.src_rect = uniform(rng, 0, 2) == 0 ? Rect{0, 0, sw, sh} : random_rect_in(rng, sw, sh, 3);
  c.x = uniform(rng, -sw / 2, dw - 1);
  c.y = uniform(rng, -sh / 2, dh - 1);
  c.dst_rect = Rect::from_size(uniform(rng, -20, dw - 1), uniform(rng, -10, dh - 1), uniform(rng, 1, 140), uniform(rng, 1, 40));
  c.use_clip = uniform(rng, 0, 2) == 0;
  c.clip = random_rect_in(rng, dw, dh, 4);
  static const int kOpacities[] = {1, 64, 127, 128, 200, 254, 255};
  c.opacity = uniform(rng, 0, 2) == 0 ? uniform(rng, 1, 255) : kOpacities[uniform(rng, 0, 6)];
  static const int kCodes[] = {1, 100, 254, 255, 256, 300, 511};
  c.alpha_code = uniform(rng, 0, 1) == 0 ? uniform(rng, 1, 511) : kCodes[uniform(rng, 0, 6)];
  c.angle = uniform(rng, 0, 3) == 0 ? 64 * uniform(rng, 0, 3) : uniform(rng, 0, 255);
  c.pivot_x = uniform(rng, c.src_rect.left, c.src_rect.right);
  c.pivot_y = uniform(rng, c.src_rect.top, c.src_rect.bottom);
  c.zoom_x = uniform(rng, 0, 2) == 0 ? 256 : uniform(rng, 40, 700);
  c.zoom_y = uniform(rng, 0, 2) == 0 ? c.zoom_x : uniform(rng, 40, 700);
  c.gap_x = uniform(rng, -2, 6);
  c.gap_y = uniform(rng, -2, 6);
  c.phase_x = uniform(rng, -100, 100);
  c.phase_y = uniform(rng, -100, 100);
  c.value = uniform(rng, 0, 1) == 0 ? c.dst.GetPixel(0, 0) : static_cast<std::uint32_t>(rng()) & test::colour_bits(bits);
}

using Op = std::function<void(TCustomDIBX&, const Case&)>;

struct NamedOp {
  const char* name;
  Op op;
};

const std::vector<NamedOp>& operations() {
  static const std::vector<NamedOp> ops = {
      {"Draw", [](TCustomDIBX& d, const Case& c) { d.Draw(c.x, c.y, c.flip_v, c.flip_h, c.keyed, c.src_rect, c.src); }},
      {"DrawBlend",
       [](TCustomDIBX& d, const Case& c) {
         d.DrawBlend(c.x, c.y, c.opacity, c.flip_v, c.flip_h, c.keyed, c.src_rect, c.src);
       }},
      {"DrawMasked",
       [](TCustomDIBX& d, const Case& c) { d.DrawMasked(c.x, c.y, c.alpha, c.flip_v, c.flip_h, c.src_rect, c.src); }},
      {"DrawMaskedBlend",
       [](TCustomDIBX& d, const Case& c) {
         d.DrawMaskedBlend(c.x, c.y, c.opacity, c.alpha, c.flip_v, c.flip_h, c.src_rect, c.src);
       }},
      {"DrawAdd",
       [](TCustomDIBX& d, const Case& c) {
         d.DrawAdd(c.x, c.y, c.opacity, c.flip_v, c.flip_h, c.keyed, c.src_rect, c.src);
       }},
      {"DrawMaskedAdd",
       [](TCustomDIBX& d, const Case& c) {
         d.DrawMaskedAdd(c.x, c.y, c.opacity, c.alpha, c.flip_v, c.flip_h, c.src_rect, c.src);
       }},
      {"DrawColorMasked",
       [](TCustomDIBX& d, const Case& c) {
         d.DrawColorMasked(c.x, c.y, c.opacity, c.value, c.flip_v, c.flip_h, c.src_rect, c.alpha);
       }},
      {"FillRect", [](TCustomDIBX& d, const Case& c) { d.FillRect(c.dst_rect, c.value); }},
      {"BlendRect", [](TCustomDIBX& d, const Case& c) { d.BlendRect(c.dst_rect, c.value, c.opacity); }},
      {"AddRect", [](TCustomDIBX& d, const Case& c) { d.AddRect(c.dst_rect, c.value); }},
      {"SubRect", [](TCustomDIBX& d, const Case& c) { d.SubRect(c.dst_rect, c.value); }},
      {"FrameRect", [](TCustomDIBX& d, const Case& c) { d.BlendFrameRect(c.dst_rect, c.gap_x + 3, c.opacity, c.value); }},
      {"StretchDraw",
       [](TCustomDIBX& d, const Case& c) {
         d.StretchDraw(c.dst_rect, c.src, c.opacity, c.flip_v, c.flip_h, c.keyed, c.src_rect);
       }},
      {"StretchDrawMasked",
       [](TCustomDIBX& d, const Case& c) {
         d.StretchDrawMasked(c.dst_rect, c.src, c.opacity, c.alpha, c.flip_v, c.flip_h, c.src_rect);
       }},
      {"StretchDrawAdd",
       [](TCustomDIBX& d, const Case& c) {
         d.StretchDrawAdd(c.dst_rect, c.src, c.opacity, c.flip_v, c.flip_h, c.keyed, c.src_rect);
       }},
      {"StretchDrawMaskedAdd",
       [](TCustomDIBX& d, const Case& c) {
         d.StretchDrawMaskedAdd(c.dst_rect, c.src, c.opacity, c.alpha, c.flip_v, c.flip_h, c.src_rect);
       }},
      {"DrawRotate",
       [](TCustomDIBX& d, const Case& c) {
         d.DrawRotate(c.x, c.y, c.alpha_code, c.flip_v, c.flip_h, c.keyed, c.angle, c.pivot_y, c.pivot_x, c.src_rect,
                      c.src, c.zoom_y, c.zoom_x);
       }},
      {"DrawMaskedRotate",
       [](TCustomDIBX& d, const Case& c) {
         d.DrawMaskedRotate(c.x, c.y, c.alpha_code, c.alpha, c.flip_v, c.flip_h, c.angle, c.pivot_y, c.pivot_x,
                            c.src_rect, c.src, c.zoom_y, c.zoom_x);
       }},
      {"TileZoom",
       [](TCustomDIBX& d, const Case& c) {
         d.TileZoom(c.dst_rect, c.zoom_x, c.alpha_code, c.flip_v, c.flip_h, c.keyed, c.phase_y, c.phase_x, c.src,
                    c.zoom_y);
       }},
      {"TileZoomMasked",
       [](TCustomDIBX& d, const Case& c) {
         d.TileZoomMasked(c.dst_rect, c.zoom_x, c.alpha_code, c.alpha, c.flip_v, c.flip_h, c.phase_y, c.phase_x,
                          c.src, c.zoom_y);
       }},
      {"TileFill",
       [](TCustomDIBX& d, const Case& c) { d.TileFill(c.dst_rect, c.src, c.flip_v, c.flip_h, c.phase_y, c.phase_x); }},
      {"TileBlend",
       [](TCustomDIBX& d, const Case& c) {
         d.TileBlend(c.dst_rect, c.gap_x, c.phase_y, c.phase_x, c.opacity, c.keyed, c.src_rect, c.src, c.gap_y);
       }},
      {"TileMaskedAdd",
       [](TCustomDIBX& d, const Case& c) {
         d.TileMaskedAdd(c.dst_rect, c.gap_x, c.phase_y, c.phase_x, c.alpha, c.src_rect, c.src, c.gap_y, c.opacity);
       }},
      {"TileStretch",
       [](TCustomDIBX& d, const Case& c) {
         d.TileStretch(c.dst_rect, c.gap_x + 20, c.phase_y, c.phase_x, c.alpha_code, c.flip_v, c.flip_h, c.keyed,
                       c.src_rect, c.src, c.zoom_y / 2 + 1, c.zoom_x / 2 + 1, c.gap_y + 12);
       }},
  };
  return ops;
}

std::vector<PixelPath> fast_paths() {
  std::vector<PixelPath> out;
  for (PixelPath p : available_pixel_paths()) {
    if (p != PixelPath::Reference) out.push_back(p);
  }
  return out;
}

class FastPathTest : public ::testing::TestWithParam<int> {};

// Runs every operation on many random cases through the reference and
// through each fast path, and requires equal colour bits. It also requires
// that the operations really drew in most cases, so an operation that draws
// nothing on either path cannot pass.
TEST_P(FastPathTest, EveryOperationMatchesTheReference) {
  const int bits = GetParam();
  const std::vector<PixelPath> paths = fast_paths();
  ASSERT_GE(paths.size(), 2u) << "at least the portable and the SSE2 paths exist on x86-64";
  for (std::size_t k = 0; k < operations().size(); ++k) {
    const NamedOp& named = operations()[k];
    int changed = 0;
    constexpr int kTrials = 120;
    for (int trial = 0; trial < kTrials; ++trial) {
      Rng rng(static_cast<unsigned>(bits * 100003 + static_cast<int>(k) * 1009 + trial));
      Case c;
      make_case(c, bits, rng);
      TDIBX expected;
      test::copy_into(expected, c.dst);
      if (c.use_clip) expected.IncludeClipRect(c.clip);
      {
        ScopedPixelPath reference(PixelPath::Reference);
        ASSERT_TRUE(reference.ok());
        named.op(expected, c);
      }
      if (!test::first_difference(expected, c.dst).empty()) ++changed;
      for (PixelPath path : paths) {
        TDIBX actual;
        test::copy_into(actual, c.dst);
        if (c.use_clip) actual.IncludeClipRect(c.clip);
        {
          ScopedPixelPath fast(path);
          ASSERT_TRUE(fast.ok());
          named.op(actual, c);
        }
        const std::string diff = test::first_difference(expected, actual);
        ASSERT_EQ(diff, "") << named.name << " on " << bits << " bits, path " << pixel_path_name(path) << ", trial "
                            << trial;
      }
    }
    EXPECT_GT(changed, kTrials / 4) << named.name << " drew in too few cases to prove anything";
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, FastPathTest, ::testing::Values(32, 16, 15),
                         [](const ::testing::TestParamInfo<int>& p) { return std::to_string(p.param) + "bit"; });

// The vector paths must agree with the reference on wide rows too, where the
// vector loops (not the tails) do the work and runs of transparent and
// opaque mask bytes line up with the vector width.
TEST(FastPathWideRows, MaskedDrawsOverLongRuns) {
  for (int bits : {32, 16, 15}) {
    Rng rng(static_cast<unsigned>(bits));
    TDIBX dst, src, alpha;
    dst.SetSize(301, 7, bits);
    src.SetSize(301, 7, bits);
    alpha.SetSize(301, 7, 8);
    test::fill_random(dst, rng);
    test::fill_random(src, rng);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 301; ++x) alpha.SetPixel(x, y, (x / 32) % 3 == 0 ? 0 : (x / 32) % 3 == 1 ? 255 : x & 255);
    }
    for (int op = 0; op < 3; ++op) {
      TDIBX expected;
      test::copy_into(expected, dst);
      auto run = [&](TDIBX& d) {
        if (op == 0) d.DrawMasked(0, 0, alpha, false, false, Rect{0, 0, 301, 7}, src);
        if (op == 1) d.DrawMaskedBlend(0, 0, 77, alpha, false, false, Rect{0, 0, 301, 7}, src);
        if (op == 2) d.DrawMaskedAdd(0, 0, 200, alpha, false, true, Rect{0, 0, 301, 7}, src);
      };
      {
        ScopedPixelPath r(PixelPath::Reference);
        run(expected);
      }
      for (PixelPath path : fast_paths()) {
        TDIBX actual;
        test::copy_into(actual, dst);
        ScopedPixelPath f(path);
        run(actual);
        EXPECT_EQ(test::first_difference(expected, actual), "") << bits << " bits, op " << op << ", "
                                                                  << pixel_path_name(path);
      }
    }
  }
}

// Stretches and rotations over rows wide enough for the column blocks and
// the strips of turned rows: scales from strong reduction to strong
// enlargement, mirrored, clipped, through every compose (a direct copy,
// which gathers into the destination and copies repeated rows, and the
// keyed, blended, masked and additive forms, which reuse a gathered row),
// with sources that end at the last pixel read.
TEST(FastPathWideRows, StretchesAndRotationsAtManyScales) {
  const double scales[] = {0.2, 0.5, 0.75, 1.0, 1.5, 2.37, 4.0, 9.0};
  for (int bits : {32, 16, 15}) {
    Rng rng(static_cast<unsigned>(bits * 31));
    for (double scale : scales) {
      for (int trial = 0; trial < 4; ++trial) {
        const int sw = uniform(rng, 1, 260), sh = uniform(rng, 1, 30);
        const int dw = std::clamp(static_cast<int>(sw * scale) + uniform(rng, -3, 3), 1, 700);
        const int dh = std::clamp(static_cast<int>(sh * scale) + uniform(rng, -3, 3), 1, 60);
        TDIBX dst, src, alpha;
        dst.SetSize(dw + 8, dh + 4, bits);
        src.SetSize(sw, sh, bits);
        alpha.SetSize(sw, sh, 8);
        test::fill_random(dst, rng);
        test::fill_random(src, rng, trial % 2 == 0 ? 3 : 0);
        test::fill_alpha_runs(alpha, rng);
        src.SetTransparentValue(static_cast<std::int32_t>(src.GetPixel(0, 0)));
        const bool flip_h = trial % 2 == 1, flip_v = trial >= 2;
        const Rect to = Rect::from_size(uniform(rng, -6, 6), uniform(rng, -2, 2), dw, dh);
        const Rect from = trial == 3 ? Rect{uniform(rng, 0, sw / 3), 0, sw, sh} : Rect{0, 0, sw, sh};
        const bool clip = trial == 1;
        const Rect clip_rect{uniform(rng, 0, 10), 1, dw - uniform(rng, 0, 10), dh + 3};
        const int angle = uniform(rng, 1, 255), zoom = static_cast<int>(256 * scale);
        const std::vector<std::function<void(TCustomDIBX&)>> ops = {
            [&](TCustomDIBX& d) { d.StretchDraw(to, src, 255, flip_v, flip_h, false, from); },
            [&](TCustomDIBX& d) { d.StretchDraw(to, src, 255, flip_v, flip_h, true, from); },
            [&](TCustomDIBX& d) { d.StretchDraw(to, src, 77, flip_v, flip_h, false, from); },
            [&](TCustomDIBX& d) { d.StretchDrawMasked(to, src, 255, alpha, flip_v, flip_h, from); },
            [&](TCustomDIBX& d) { d.StretchDrawMaskedAdd(to, src, 180, alpha, flip_v, flip_h, from); },
            [&](TCustomDIBX& d) { d.StretchDrawAdd(to, src, 255, flip_v, flip_h, false, from); },
            [&](TCustomDIBX& d) {
              d.DrawRotate(dw / 2, dh / 2, 255, flip_v, flip_h, false, angle, sh / 2, sw / 2, from, src, zoom, zoom);
            },
            [&](TCustomDIBX& d) {
              d.DrawMaskedRotate(dw / 2, dh / 2, 200, alpha, flip_v, flip_h, angle, sh / 2, sw / 2, from, src, zoom,
                                 zoom);
            },
        };
        for (std::size_t k = 0; k < ops.size(); ++k) {
          TDIBX expected;
          test::copy_into(expected, dst);
          if (clip) expected.IncludeClipRect(clip_rect);
          {
            ScopedPixelPath reference(PixelPath::Reference);
            ops[k](expected);
          }
          for (PixelPath path : fast_paths()) {
            TDIBX actual;
            test::copy_into(actual, dst);
            if (clip) actual.IncludeClipRect(clip_rect);
            {
              ScopedPixelPath fast(path);
              ops[k](actual);
            }
            ASSERT_EQ(test::first_difference(expected, actual), "")
                << "operation " << k << ", " << bits << " bits, scale " << scale << ", trial " << trial << ", "
                << pixel_path_name(path);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace nova::graphics
