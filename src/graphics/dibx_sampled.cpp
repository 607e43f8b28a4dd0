// TCustomDIBX: the rotated, zoomed and stretched draws.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "graphics/dibx.h"
#include "graphics/dibx_engine.h"

namespace nova::graphics {

using namespace detail;

namespace {

// The rotation of `src_rect` about the pivot, which lands on (x, y). False
// when nothing is drawn.
bool plan_rotate(const Rect& clip, int x, int y, int angle, int pivot_x, int pivot_y, const Rect& s, int zoom_x,
                 int zoom_y, bool flip_v, bool flip_h, SampledPlan& out) {
  if (zoom_x < 1 || zoom_y < 1 || s.right <= s.left || s.bottom <= s.top) return false;
  const double theta = static_cast<double>(angle) * 2 * std::numbers::pi / 256;
  const double c = std::cos(theta), sn = std::sin(theta);
  const double zx = zoom_x / 256.0, zy = zoom_y / 256.0;
  // Corners relative to the pivot, zoomed: the pivot sits at its offset from
  // the rectangle's top-left corner, the far corners one pixel inside.
  const double left = -zx * (static_cast<double>(pivot_x) - s.left), top = -zy * (static_cast<double>(pivot_y) - s.top);
  const double right = left + static_cast<double>(s.width64()) * zx - 1;
  const double bottom = top + static_cast<double>(s.height64()) * zy - 1;
  double min_x = 0, max_x = 0, min_y = 0, max_y = 0;
  bool first = true;
  for (double cx : {left, right}) {
    for (double cy : {top, bottom}) {
      const double px = cx * c - cy * sn + x, py = cx * sn + cy * c + y;
      if (first) {
        min_x = max_x = px;
        min_y = max_y = py;
        first = false;
      }
      min_x = std::min(min_x, px);
      max_x = std::max(max_x, px);
      min_y = std::min(min_y, py);
      max_y = std::max(max_y, py);
    }
  }
  // Far outside any surface: nothing to draw, and no overflow below.
  if (min_x < -1e9 || max_x > 1e9 || min_y < -1e9 || max_y > 1e9) return false;
  const Rect bounds{static_cast<int>(min_x), static_cast<int>(min_y), static_cast<int>(max_x) + 1,
                    static_cast<int>(max_y) + 1};
  const Rect b = bounds.intersected(clip);
  if (b.empty()) return false;
  const double ic = std::cos(-theta), is = std::sin(-theta);
  out = SampledPlan{};
  out.dst = b;
  out.dudx = static_cast<std::int64_t>(ic / zx * 65536);
  out.dvdx = static_cast<std::int64_t>(is / zy * 65536);
  out.dudy = static_cast<std::int64_t>(-is / zx * 65536);
  out.dvdy = static_cast<std::int64_t>(ic / zy * 65536);
  const std::int64_t bx = std::int64_t{b.left} - x, by = std::int64_t{b.top} - y;
  out.u0 = static_cast<std::int64_t>(pivot_x) * 65536 + bx * out.dudx + by * out.dudy;
  out.v0 = static_cast<std::int64_t>(pivot_y) * 65536 + bx * out.dvdx + by * out.dvdy;
  out.valid = s;
  // Mirroring happens within the source rectangle.
  out.mirror_h = flip_h;
  out.mirror_x = s.left + s.right - 1;
  out.mirror_v = flip_v;
  out.mirror_y = s.top + s.bottom - 1;
  return true;
}

}  // namespace

void TCustomDIBX::DrawRotate(int x, int y, int alpha, bool flip_v, bool flip_h, bool keyed, int angle, int pivot_y,
                             int pivot_x, const Rect& src_rect, const TCustomDIBX& src, int zoom_y, int zoom_x) {
  if (alpha <= 0) return;
  SampledPlan p;
  if (!plan_rotate(EffectiveClip(), x, y, angle, pivot_x, pivot_y, src_rect, zoom_x, zoom_y, flip_v, flip_h, p)) return;
  const bool has_key = keyed && src.TransparentValue() != -1;
  draw_sampled(*this, src, nullptr, p,
               compose_for_alpha(alpha, false, has_key, static_cast<std::uint32_t>(src.TransparentValue()), false));
}

void TCustomDIBX::DrawMaskedRotate(int x, int y, int alpha, const TCustomDIBX& alpha_plane, bool flip_v, bool flip_h,
                                   int angle, int pivot_y, int pivot_x, const Rect& src_rect, const TCustomDIBX& src,
                                   int zoom_y, int zoom_x) {
  if (alpha <= 0) return;
  SampledPlan p;
  if (!plan_rotate(EffectiveClip(), x, y, angle, pivot_x, pivot_y, src_rect, zoom_x, zoom_y, flip_v, flip_h, p)) return;
  draw_sampled(*this, src, &alpha_plane, p, compose_for_alpha(alpha, true, false, 0, false));
}

namespace {

void stretch(TCustomDIBX& dst, const Rect& dst_rect, const TCustomDIBX& src, const TCustomDIBX* alpha, bool flip_v,
             bool flip_h, const Rect& src_rect, const Compose& c) {
  SampledPlan p;
  if (!plan_stretch(dst.EffectiveClip(), dst_rect, src_rect, flip_v, flip_h, p)) return;
  draw_sampled(dst, src, alpha, p, c);
}

}  // namespace

void TCustomDIBX::StretchDraw(const Rect& dst_rect, const TCustomDIBX& src, int opacity, bool flip_v, bool flip_h,
                              bool keyed, const Rect& src_rect) {
  if (opacity <= 0) return;
  stretch(*this, dst_rect, src, nullptr, flip_v, flip_h, src_rect,
          source_compose(opacity >= 255 ? Mode::Copy : Mode::Blend, opacity, keyed, src));
}

void TCustomDIBX::StretchDrawMasked(const Rect& dst_rect, const TCustomDIBX& src, int opacity, const TCustomDIBX& alpha,
                                    bool flip_v, bool flip_h, const Rect& src_rect) {
  if (opacity <= 0) return;
  stretch(*this, dst_rect, src, &alpha, flip_v, flip_h, src_rect,
          source_compose(opacity >= 255 ? Mode::Masked : Mode::MaskedBlend, opacity, false, src));
}

void TCustomDIBX::StretchDrawAdd(const Rect& dst_rect, const TCustomDIBX& src, int opacity, bool flip_v, bool flip_h,
                                 bool keyed, const Rect& src_rect) {
  if (opacity <= 0) return;
  stretch(*this, dst_rect, src, nullptr, flip_v, flip_h, src_rect,
          source_compose(GetBitCount() == 8 ? Mode::AddPlain : Mode::Add, opacity, keyed, src));
}

void TCustomDIBX::StretchDrawMaskedAdd(const Rect& dst_rect, const TCustomDIBX& src, int opacity,
                                       const TCustomDIBX& alpha, bool flip_v, bool flip_h, const Rect& src_rect) {
  if (opacity <= 0) return;
  stretch(*this, dst_rect, src, &alpha, flip_v, flip_h, src_rect, source_compose(Mode::MaskedAdd, opacity, false, src));
}

}  // namespace nova::graphics
