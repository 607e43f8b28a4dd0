// TCustomDIBX: coverage draws (text rasterized at a multiple of its size)
// and palette draws. These run pixel by pixel on every layout.
#include <algorithm>
#include <bit>

#include "graphics/dibx.h"
#include "graphics/dibx_engine.h"

namespace nova::graphics {

using namespace detail;

namespace {

// Division by a power of two is a shift, as the coverage formulas write it;
// other block sizes divide.
std::uint64_t divide(std::uint64_t v, std::uint64_t by) {
  return std::has_single_bit(by) ? v >> std::countr_zero(by) : v / by;
}

// The plan of a coverage draw in block units: block (bx, by) covers source
// pixels from (s.left + bx × n, s.top + by × n).
bool plan_blocks(const TCustomDIBX& dst, int x, int y, int n, bool flip_v, bool flip_h, const Rect& s,
                 const TCustomDIBX& src, UnscaledPlan& p) {
  if (n < 1 || s.left < 0 || s.top < 0 || s.right > src.GetWidth() || s.bottom > src.GetHeight()) return false;
  return plan_unscaled(dst.EffectiveClip(), x, y, Rect{0, 0, s.width() / n, s.height() / n}, flip_v, flip_h, -1, -1,
                       p);
}

}  // namespace

void TCustomDIBX::DrawCoverage(int x, int y, int factor, int opacity, bool flip_v, bool flip_h, std::uint32_t value,
                               const Rect& src_rect, const TCustomDIBX& src) {
  if (opacity <= 0 || src.GetBitCount() != 1) return;
  opacity = std::min(opacity, 255);
  UnscaledPlan p;
  if (!plan_blocks(*this, x, y, factor, flip_v, flip_h, src_rect, src, p)) return;
  WriteLock dl(*this);
  ReadLock sl(&src);
  if (!dl.base() || !sl.base()) return;
  const ChannelMasks k = Masks();
  const auto area = static_cast<std::uint64_t>(factor) * static_cast<std::uint64_t>(factor);
  visit_unscaled(p, [&](int dx, int dy, int bx, int by) {
    const int sx0 = src_rect.left + bx * factor, sy0 = src_rect.top + by * factor;
    std::uint64_t ink = 0;
    for (int j = 0; j < factor; ++j) {
      for (int i = 0; i < factor; ++i) ink += src.GetPixel(sx0 + i, sy0 + j) == 0 ? 1 : 0;
    }
    if (opacity < 255) ink = (static_cast<std::uint64_t>(opacity) * ink) >> 8;
    if (ink == 0) return;
    const std::uint32_t d = GetPixel(dx, dy);
    std::uint32_t out = 0;
    for (int c = 0; c < k.count; ++c) {
      const std::uint64_t m = k.list[c];
      out |= static_cast<std::uint32_t>(divide((value & m) * ink + (d & m) * (area - ink), area) & m);
    }
    SetPixel(dx, dy, out);
  });
}

void TCustomDIBX::DrawCoverage3(int x, int y, int factor, int opacity, bool flip_v, bool flip_h, std::uint32_t value1,
                                std::uint32_t value2, std::uint32_t value3, const Rect& src_rect,
                                const TCustomDIBX& src) {
  if (opacity <= 0 || src.GetStorageBitCount() != 4) return;
  UnscaledPlan p;
  if (!plan_blocks(*this, x, y, factor, flip_v, flip_h, src_rect, src, p)) return;
  WriteLock dl(*this);
  ReadLock sl(&src);
  if (!dl.base() || !sl.base()) return;
  const ChannelMasks k = Masks();
  const auto area = static_cast<std::uint64_t>(factor) * static_cast<std::uint64_t>(factor);
  const std::uint64_t full = area * 256;
  const std::uint32_t values[4] = {0, value1, value2, value3};
  const bool additive = opacity > 255;
  visit_unscaled(p, [&](int dx, int dy, int bx, int by) {
    const int sx0 = src_rect.left + bx * factor, sy0 = src_rect.top + by * factor;
    std::uint64_t count[4] = {0, 0, 0, 0};
    for (int j = 0; j < factor; ++j) {
      for (int i = 0; i < factor; ++i) ++count[src.GetPixel(sx0 + i, sy0 + j) & 3];
    }
    if (count[0] == area) return;
    if (opacity == 255) {
      for (int c = 1; c < 4; ++c) {
        if (count[c] == area) {
          SetPixel(dx, dy, values[c]);
          return;
        }
      }
    }
    std::uint64_t w[4] = {0, 0, 0, 0};
    for (int c = 1; c < 4; ++c) {
      w[c] = opacity == 255 ? count[c] * 256 : static_cast<std::uint64_t>(opacity & 255) * count[c];
    }
    const std::uint64_t background = additive ? full : full - w[1] - w[2] - w[3];
    const std::uint32_t d = GetPixel(dx, dy);
    std::uint32_t out = 0;
    for (int c = 0; c < k.count; ++c) {
      const std::uint64_t m = k.list[c];
      std::uint64_t sum = (values[1] & m) * w[1] + (values[2] & m) * w[2] + (values[3] & m) * w[3] + (d & m) * background;
      if (additive) sum = std::min(sum, m * full);
      out |= static_cast<std::uint32_t>(divide(sum, full) & m);
    }
    SetPixel(dx, dy, out);
  });
}

void TCustomDIBX::DrawPalette16(int x, int y, PixelPalette palette, int alpha, bool flip_v, bool flip_h,
                                const Rect& src_rect, const TCustomDIBX& src) {
  if (alpha <= 0 || src.GetStorageBitCount() != 4) return;
  UnscaledPlan p;
  if (!plan_unscaled(EffectiveClip(), x, y, src_rect, flip_v, flip_h, src.GetWidth(), src.GetHeight(), p)) return;
  WriteLock dl(*this);
  ReadLock sl(&src);
  if (!dl.base() || !sl.base()) return;
  const ChannelMasks k = Masks();
  const std::int32_t key = src.TransparentValue();
  visit_unscaled(p, [&](int dx, int dy, int sx, int sy) {
    const std::uint32_t index = src.GetPixel(sx, sy);
    if (static_cast<std::int32_t>(index) == key || index >= palette.size()) return;
    const std::uint32_t entry = palette[index];
    if (alpha == 255) {
      SetPixel(dx, dy, entry);
      return;
    }
    const std::uint32_t d = GetPixel(dx, dy);
    if (alpha > 255) {
      // Black adds nothing, and white cannot grow.
      if ((entry & k.colour) == 0 || (d & k.colour) == k.colour) return;
      SetPixel(dx, dy, ref_add(d, entry, static_cast<std::uint32_t>(alpha & 255), k));
      return;
    }
    if (ref_equal(entry, d, k)) return;
    SetPixel(dx, dy, ref_mix(d, entry, static_cast<std::uint32_t>(alpha), k));
  });
}

namespace {

void palette_add(TCustomDIBX& dst, const TCustomDIBX& src, PixelPalette palette, int opacity, int threshold,
                 int dx, int dy, int sx, int sy, const ChannelMasks& k) {
  const std::uint32_t index = src.GetPixel(sx, sy);
  if (static_cast<int>(index) <= threshold || index >= palette.size()) return;
  dst.SetPixel(dx, dy, ref_add(dst.GetPixel(dx, dy), palette[index], static_cast<std::uint32_t>(opacity), k));
}

}  // namespace

void TCustomDIBX::DrawPaletteAdd(int x, int y, PixelPalette palette, int opacity, bool flip_v, bool flip_h,
                                 int threshold, const Rect& src_rect, const TCustomDIBX& src) {
  if (opacity <= 0 || src.GetBitCount() != 8) return;
  opacity = std::min(opacity, 255);
  UnscaledPlan p;
  if (!plan_unscaled(EffectiveClip(), x, y, src_rect, flip_v, flip_h, src.GetWidth(), src.GetHeight(), p)) return;
  WriteLock dl(*this);
  ReadLock sl(&src);
  if (!dl.base() || !sl.base()) return;
  const ChannelMasks k = Masks();
  visit_unscaled(p, [&](int dx, int dy, int sx, int sy) {
    palette_add(*this, src, palette, opacity, threshold, dx, dy, sx, sy, k);
  });
}

void TCustomDIBX::StretchPaletteAdd(const Rect& dst_rect, const TCustomDIBX& src, PixelPalette palette, int opacity,
                                    bool flip_v, bool flip_h, int threshold, const Rect& src_rect) {
  if (opacity <= 0 || src.GetBitCount() != 8) return;
  opacity = std::min(opacity, 255);
  SampledPlan p;
  if (!plan_stretch(EffectiveClip(), dst_rect, src_rect, flip_v, flip_h, p)) return;
  restrict_valid(p, src.GetWidth(), src.GetHeight());
  if (p.valid.empty()) return;
  WriteLock dl(*this);
  ReadLock sl(&src);
  if (!dl.base() || !sl.base()) return;
  const ChannelMasks k = Masks();
  visit_sampled(p, [&](int dx, int dy, int sx, int sy) {
    palette_add(*this, src, palette, opacity, threshold, dx, dy, sx, sy, k);
  });
}

}  // namespace nova::graphics
