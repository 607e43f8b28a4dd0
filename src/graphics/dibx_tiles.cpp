// TCustomDIBX: tiles, zoomed tiles, pattern frames and wrapped fills.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "graphics/dibx.h"
#include "graphics/dibx_engine.h"

namespace nova::graphics {

using namespace detail;

namespace {

// Installs the intersection of a rectangle and the clip as the clip for the
// life of the object, and puts the previous clip back afterwards.
class TileClip {
 public:
  TileClip(TCustomDIBX& s, const Rect& r) : m_surface(s), m_saved(s.ClipRect()), m_area(r.intersected(s.EffectiveClip())) {
    if (!m_area.empty()) m_surface.SetClipRect(m_area);
  }
  ~TileClip() {
    if (!m_area.empty()) m_surface.SetClipRect(m_saved);
  }
  TileClip(const TileClip&) = delete;
  TileClip& operator=(const TileClip&) = delete;
  bool empty() const { return m_area.empty(); }
  const Rect& area() const { return m_area; }

 private:
  TCustomDIBX& m_surface;
  Rect m_saved;
  Rect m_area;
};

// Calls draw(x, y, part) for every tile of `s` over `dst` (the first row and
// column partial, according to the phase), skipping tiles outside `area`.
constexpr std::int64_t kMaxTile = 1 << 24;

template <class DrawTile>
void for_each_tile(const Rect& dst, const Rect& area, const Rect& s, int phase_x, int phase_y, int gap_x, int gap_y,
                   DrawTile draw) {
  // A tile wider than any surface is bad input; nothing sensible to draw.
  const std::int64_t w64 = s.width64(), h64 = s.height64();
  if (w64 <= 0 || h64 <= 0 || w64 > kMaxTile || h64 > kMaxTile) return;
  const int w = static_cast<int>(w64), h = static_cast<int>(h64);
  // A gap that would put a tile on top of the previous one is no gap.
  gap_x = std::max(gap_x, 1 - w);
  gap_y = std::max(gap_y, 1 - h);
  const int start_x = phase_x >= 0 ? s.left + phase_x % w : s.right + phase_x % w;
  const int start_y = phase_y >= 0 ? s.top + phase_y % h : s.bottom + phase_y % h;
  // Tiles before the visible area are stepped over in one move, so a
  // rectangle reaching far outside the surface costs nothing.
  // Whole tile k starts at pos + k × period and ends `size` later.
  auto skip = [](std::int64_t pos, std::int64_t period, std::int64_t visible_start, int size) {
    const std::int64_t hidden = visible_start - size - pos;
    return hidden <= 0 ? pos : pos + hidden / period * period;
  };
  const std::int64_t period_x = std::int64_t{w} + gap_x, period_y = std::int64_t{h} + gap_y;
  std::int64_t y = dst.top;
  Rect part{0, start_y, 0, s.bottom};
  bool first_row = true;
  while (y < area.bottom) {
    const int th = part.height();
    if (y + th > area.top) {
      std::int64_t x = dst.left;
      part.left = start_x;
      part.right = s.right;
      bool first_column = true;
      while (x < area.right) {
        const int tw = part.width();
        if (x + tw > area.left && tw > 0 && th > 0) draw(static_cast<int>(x), static_cast<int>(y), part);
        x += std::int64_t{tw} + gap_x;
        if (first_column) x = skip(x, period_x, area.left, w);
        first_column = false;
        part.left = s.left;
      }
    }
    y += std::int64_t{th} + gap_y;
    if (first_row) y = skip(y, period_y, area.top, h);
    first_row = false;
    part.top = s.top;
  }
}

}  // namespace

void TCustomDIBX::TileDraw(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, bool keyed, const Rect& src_rect,
                           const TCustomDIBX& src, int gap_y) {
  TileClip clip(*this, dst_rect);
  if (clip.empty()) return;
  for_each_tile(dst_rect, clip.area(), src_rect, phase_x, phase_y, gap_x, gap_y,
                [&](int x, int y, const Rect& part) { Draw(x, y, false, false, keyed, part, src); });
}

void TCustomDIBX::TileBlend(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, int opacity, bool keyed,
                            const Rect& src_rect, const TCustomDIBX& src, int gap_y) {
  if (opacity <= 0) return;
  TileClip clip(*this, dst_rect);
  if (clip.empty()) return;
  for_each_tile(dst_rect, clip.area(), src_rect, phase_x, phase_y, gap_x, gap_y,
                [&](int x, int y, const Rect& part) { DrawBlend(x, y, opacity, false, false, keyed, part, src); });
}

void TCustomDIBX::TileAdd(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, int opacity, bool keyed,
                          const Rect& src_rect, const TCustomDIBX& src, int gap_y) {
  if (opacity <= 0) return;
  TileClip clip(*this, dst_rect);
  if (clip.empty()) return;
  for_each_tile(dst_rect, clip.area(), src_rect, phase_x, phase_y, gap_x, gap_y,
                [&](int x, int y, const Rect& part) { DrawAdd(x, y, opacity, false, false, keyed, part, src); });
}

void TCustomDIBX::TileMasked(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, const TCustomDIBX& alpha,
                             const Rect& src_rect, const TCustomDIBX& src, int gap_y) {
  TileClip clip(*this, dst_rect);
  if (clip.empty()) return;
  for_each_tile(dst_rect, clip.area(), src_rect, phase_x, phase_y, gap_x, gap_y,
                [&](int x, int y, const Rect& part) { DrawMasked(x, y, alpha, false, false, part, src); });
}

void TCustomDIBX::TileMaskedBlend(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, const TCustomDIBX& alpha,
                                  const Rect& src_rect, const TCustomDIBX& src, int gap_y, int opacity) {
  if (opacity <= 0) return;
  TileClip clip(*this, dst_rect);
  if (clip.empty()) return;
  for_each_tile(dst_rect, clip.area(), src_rect, phase_x, phase_y, gap_x, gap_y, [&](int x, int y, const Rect& part) {
    DrawMaskedBlend(x, y, opacity, alpha, false, false, part, src);
  });
}

void TCustomDIBX::TileMaskedAdd(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, const TCustomDIBX& alpha,
                                const Rect& src_rect, const TCustomDIBX& src, int gap_y, int opacity) {
  if (opacity <= 0) return;
  TileClip clip(*this, dst_rect);
  if (clip.empty()) return;
  for_each_tile(dst_rect, clip.area(), src_rect, phase_x, phase_y, gap_x, gap_y, [&](int x, int y, const Rect& part) {
    DrawMaskedAdd(x, y, opacity, alpha, false, false, part, src);
  });
}

namespace {

// The 16.16 lattice of zoomed tiles along one axis: the first point at or
// before `edge`, and the step.
struct Lattice {
  std::int64_t origin = 0;
  std::int64_t step = 65536;
};

Lattice lattice(int edge, int zoom, int pitch, int phase) {
  Lattice l;
  l.step = std::max<std::int64_t>(65536, std::llround(zoom / 256.0 * pitch * 65536));
  const std::int64_t p = static_cast<std::int64_t>(phase) * 65536;
  const std::int64_t r = p % l.step;
  l.origin = static_cast<std::int64_t>(edge) * 65536 - r - (p < 0 ? l.step : 0);
  return l;
}

template <class DrawTile>
void for_each_zoomed_tile(const Rect& dst, const Rect& area, const Rect& s, int zoom_x, int zoom_y, int pitch_x,
                          int pitch_y, int phase_x, int phase_y, DrawTile draw) {
  const std::int64_t sw = s.width64(), sh = s.height64();
  if (zoom_x < 1 || zoom_y < 1 || sw <= 0 || sh <= 0 || sw > kMaxTile || sh > kMaxTile) return;
  const int tw = static_cast<int>(std::clamp(zoom_x / 256.0 * static_cast<double>(sw), 1.0, 1e9));
  const int th = static_cast<int>(std::clamp(zoom_y / 256.0 * static_cast<double>(sh), 1.0, 1e9));
  const Lattice lx = lattice(dst.left, zoom_x, pitch_x, phase_x);
  const Lattice ly = lattice(dst.top, zoom_y, pitch_y, phase_y);
  // The first lattice point whose tile can reach the visible area. Tiles
  // far larger than their lattice step all overlap the area; only the last
  // kMaxOverlap of them are drawn, so absurd zooms cannot stall a frame.
  constexpr std::int64_t kMaxOverlap = 4096;
  auto first_point = [](const Lattice& l, int visible_start, int size) {
    const std::int64_t before = (static_cast<std::int64_t>(visible_start) - size) * 65536 - l.origin;
    std::int64_t k = before > 0 ? before / l.step : 0;
    // Points that start before the visible area, beyond the last kMaxOverlap.
    const std::int64_t start = static_cast<std::int64_t>(visible_start) * 65536 - l.origin;
    if (start > 0) k = std::max(k, start / l.step - kMaxOverlap);
    return l.origin + k * l.step;
  };
  for (std::int64_t y = first_point(ly, area.top, th); (y >> 16) < area.bottom; y += ly.step) {
    const int ty = static_cast<int>(y >> 16);
    if (ty + th <= area.top) continue;
    for (std::int64_t x = first_point(lx, area.left, tw); (x >> 16) < area.right; x += lx.step) {
      const int tx = static_cast<int>(x >> 16);
      if (tx + tw <= area.left) continue;
      draw(Rect::from_size(tx, ty, tw, th));
    }
  }
}

}  // namespace

void ForEachTileCell(const Rect& dst_rect, const Rect& visible, const Rect& src_rect, int zoom_x, int zoom_y,
                     int pitch_x, int pitch_y, int phase_x, int phase_y, const std::function<void(const Rect&)>& cell) {
  const Rect area = dst_rect.intersected(visible);
  if (area.empty()) return;
  for_each_zoomed_tile(dst_rect, area, src_rect, zoom_x, zoom_y, pitch_x, pitch_y, phase_x, phase_y, cell);
}

void TCustomDIBX::TileStretch(const Rect& dst_rect, int pitch_x, int phase_y, int phase_x, int alpha, bool flip_v,
                              bool flip_h, bool keyed, const Rect& src_rect, const TCustomDIBX& src, int zoom_y,
                              int zoom_x, int pitch_y) {
  if (alpha <= 0) return;
  TileClip clip(*this, dst_rect);
  if (clip.empty()) return;
  for_each_zoomed_tile(dst_rect, clip.area(), src_rect, zoom_x, zoom_y, pitch_x, pitch_y, phase_x, phase_y,
                       [&](const Rect& tile) {
                         if (alpha > 255) StretchDrawAdd(tile, src, alpha - 256, flip_v, flip_h, keyed, src_rect);
                         else StretchDraw(tile, src, alpha, flip_v, flip_h, keyed, src_rect);
                       });
}

void TCustomDIBX::TileStretchMasked(const Rect& dst_rect, int pitch_x, int phase_y, int phase_x, int alpha,
                                    const TCustomDIBX& alpha_plane, bool flip_v, bool flip_h, const Rect& src_rect,
                                    const TCustomDIBX& src, int zoom_y, int zoom_x, int pitch_y) {
  if (alpha <= 0) return;
  TileClip clip(*this, dst_rect);
  if (clip.empty()) return;
  for_each_zoomed_tile(dst_rect, clip.area(), src_rect, zoom_x, zoom_y, pitch_x, pitch_y, phase_x, phase_y,
                       [&](const Rect& tile) {
                         if (alpha > 255) StretchDrawMaskedAdd(tile, src, alpha - 256, alpha_plane, flip_v, flip_h, src_rect);
                         else StretchDrawMasked(tile, src, alpha, alpha_plane, flip_v, flip_h, src_rect);
                       });
}

void TCustomDIBX::PatternFrame(const Rect& rect, int width, int phase_y, int phase_x, const TCustomDIBX& src) {
  const std::int64_t w64 = rect.width64(), h64 = rect.height64();
  if (width <= 0 || w64 <= 0 || h64 <= 0 || w64 > INT32_MAX || h64 > INT32_MAX) return;
  const int w = static_cast<int>(w64), h = static_cast<int>(h64);
  width = std::min(width, std::max(w, h));
  TileFill(Rect::from_size(rect.left, rect.top, w, width), src, false, false, phase_y, phase_x);
  TileFill(Rect::from_size(rect.left, rect.bottom - width, w, width), src, false, false, phase_y, phase_x);
  TileFill(Rect::from_size(rect.left, rect.top, width, h), src, false, false, phase_y, phase_x);
  TileFill(Rect::from_size(rect.right - width, rect.top, width, h), src, false, false, phase_y, phase_x);
}

void TCustomDIBX::TileFill(const Rect& dst_rect, const TCustomDIBX& src, bool flip_v, bool flip_h, int phase_y,
                           int phase_x) {
  WrappedPlan p;
  p.dst = dst_rect.intersected(EffectiveClip());
  if (p.dst.empty()) return;
  p.origin = {dst_rect.left, dst_rect.top};
  p.u0 = static_cast<std::int64_t>(phase_x) * 65536;
  p.v0 = static_cast<std::int64_t>(phase_y) * 65536;
  p.mirror_h = flip_h;
  p.mirror_v = flip_v;
  draw_wrapped(*this, src, nullptr, p, Compose{});
}

namespace {

void tile_zoom(TCustomDIBX& dst, const Rect& dst_rect, int zoom_x, int zoom_y, int alpha, const TCustomDIBX* plane,
               bool flip_v, bool flip_h, bool keyed, int phase_y, int phase_x, const TCustomDIBX& src) {
  const int sw = src.GetWidth(), sh = src.GetHeight();
  if (zoom_x < 1 || zoom_y < 1 || sw <= 0 || sh <= 0) return;
  const Compose c = compose_for_alpha(alpha, plane != nullptr, keyed && src.TransparentValue() != -1,
                                      static_cast<std::uint32_t>(src.TransparentValue()), false);
  if (c.opacity <= 0) return;
  WrappedPlan p;
  p.dst = dst_rect.intersected(dst.EffectiveClip());
  if (p.dst.empty()) return;
  p.origin = {dst_rect.left, dst_rect.top};
  const std::int64_t step_x = std::min<std::int64_t>(static_cast<std::int64_t>(256.0 / zoom_x * 65536),
                                                     static_cast<std::int64_t>(sw) * 65536);
  const std::int64_t step_y = std::min<std::int64_t>(static_cast<std::int64_t>(256.0 / zoom_y * 65536),
                                                     static_cast<std::int64_t>(sh) * 65536);
  p.dudx = flip_h ? -step_x : step_x;
  p.dvdy = flip_v ? -step_y : step_y;
  p.u0 = static_cast<std::int64_t>(phase_x) * 65536;
  p.v0 = static_cast<std::int64_t>(phase_y) * 65536;
  draw_wrapped(dst, src, plane, p, c);
}

}  // namespace

void TCustomDIBX::TileZoom(const Rect& dst_rect, int zoom_x, int alpha, bool flip_v, bool flip_h, bool keyed,
                           int phase_y, int phase_x, const TCustomDIBX& src, int zoom_y) {
  if (alpha <= 0) return;
  tile_zoom(*this, dst_rect, zoom_x, zoom_y, alpha, nullptr, flip_v, flip_h, keyed, phase_y, phase_x, src);
}

void TCustomDIBX::TileZoomMasked(const Rect& dst_rect, int zoom_x, int alpha, const TCustomDIBX& alpha_plane,
                                 bool flip_v, bool flip_h, int phase_y, int phase_x, const TCustomDIBX& src,
                                 int zoom_y) {
  if (alpha <= 0) return;
  tile_zoom(*this, dst_rect, zoom_x, zoom_y, alpha, &alpha_plane, flip_v, flip_h, false, phase_y, phase_x, src);
}

}  // namespace nova::graphics
