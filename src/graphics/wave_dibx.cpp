#include "graphics/wave_dibx.h"

#include <algorithm>

namespace nova::graphics {

std::int32_t TDIBXWave::ColorToPixel(std::int32_t colour) const {
  return m_target ? m_target->ColorToPixel(colour) : color_to_pixel(0, colour);
}

void TDIBXWave::SetSize(int width, int height, int) {
  m_width = std::max(0, width);
  m_height = std::max(0, height);
  m_offsets.resize(static_cast<std::size_t>(m_height), 0);
}

void TDIBXWave::SaveTargetClip() {
  if (m_target) m_saved_clip = m_target->ClipRect();
}

void TDIBXWave::RestoreTargetClip() {
  if (m_target) m_target->SetClipRect(m_saved_clip);
}

void TDIBXWave::IncludeClipRect(const Rect& rect) {
  const Rect window = Rect::from_size(m_origin_x, m_origin_y, m_width, m_height);
  const Rect r = rect.intersected(window);
  if (r.empty()) return;
  m_clip = HasClip() ? m_clip.united(r) : r;
  if (m_target) m_target->IncludeClipRect(m_clip);
}

void TDIBXWave::ResetClip() {
  m_clip = Rect{};
  if (m_target) m_target->ResetClip();
}

template <class DrawBand>
void TDIBXWave::forward(int top, int bottom, DrawBand draw) {
  m_last_bands = 0;
  if (!m_target) return;
  const int table = static_cast<int>(m_offsets.size());
  top = std::max(top, m_origin_y);
  bottom = std::min(bottom, m_origin_y + table);
  if (top >= bottom) return;
  // A local copy: the saved slot belongs to the wave component, which may be
  // holding a clip of its own across this draw.
  const Rect saved = m_target->ClipRect();
  const Rect limit = m_target->EffectiveClip();
  int y = top;
  while (y < bottom) {
    const int offset = m_offsets[static_cast<std::size_t>(y - m_origin_y)];
    int end = y + 1;
    while (end < bottom && m_offsets[static_cast<std::size_t>(end - m_origin_y)] == offset) ++end;
    const Rect band = limit.intersected(Rect{limit.left, y, limit.right, end});
    if (!band.empty()) {
      m_target->SetClipRect(band);
      draw(offset);
      ++m_last_bands;
    }
    y = end;
  }
  m_target->SetClipRect(saved);
}

void TDIBXWave::FillRect(const Rect& r, std::uint32_t v) {
  forward(r.top, r.bottom, [&](int dx) { m_target->FillRect(r.translated(dx, 0), v); });
}
void TDIBXWave::BlendRect(const Rect& r, std::uint32_t v, int o) {
  forward(r.top, r.bottom, [&](int dx) { m_target->BlendRect(r.translated(dx, 0), v, o); });
}
void TDIBXWave::AddRect(const Rect& r, std::uint32_t v) {
  forward(r.top, r.bottom, [&](int dx) { m_target->AddRect(r.translated(dx, 0), v); });
}
void TDIBXWave::SubRect(const Rect& r, std::uint32_t v) {
  forward(r.top, r.bottom, [&](int dx) { m_target->SubRect(r.translated(dx, 0), v); });
}
void TDIBXWave::Draw(int x, int y, bool fv, bool fh, bool keyed, const Rect& sr, const TCustomDIBX& src) {
  forward(y, y + sr.height(), [&](int dx) { m_target->Draw(x + dx, y, fv, fh, keyed, sr, src); });
}
void TDIBXWave::DrawMasked(int x, int y, const TCustomDIBX& a, bool fv, bool fh, const Rect& sr,
                           const TCustomDIBX& src) {
  forward(y, y + sr.height(), [&](int dx) { m_target->DrawMasked(x + dx, y, a, fv, fh, sr, src); });
}
void TDIBXWave::DrawBlend(int x, int y, int o, bool fv, bool fh, bool keyed, const Rect& sr, const TCustomDIBX& src) {
  forward(y, y + sr.height(), [&](int dx) { m_target->DrawBlend(x + dx, y, o, fv, fh, keyed, sr, src); });
}
void TDIBXWave::DrawMaskedBlend(int x, int y, int o, const TCustomDIBX& a, bool fv, bool fh, const Rect& sr,
                                const TCustomDIBX& src) {
  forward(y, y + sr.height(), [&](int dx) { m_target->DrawMaskedBlend(x + dx, y, o, a, fv, fh, sr, src); });
}
void TDIBXWave::DrawAdd(int x, int y, int o, bool fv, bool fh, bool keyed, const Rect& sr, const TCustomDIBX& src) {
  forward(y, y + sr.height(), [&](int dx) { m_target->DrawAdd(x + dx, y, o, fv, fh, keyed, sr, src); });
}
void TDIBXWave::DrawMaskedAdd(int x, int y, int o, const TCustomDIBX& a, bool fv, bool fh, const Rect& sr,
                              const TCustomDIBX& src) {
  forward(y, y + sr.height(), [&](int dx) { m_target->DrawMaskedAdd(x + dx, y, o, a, fv, fh, sr, src); });
}
void TDIBXWave::DrawColorMasked(int x, int y, int o, std::uint32_t v, bool fv, bool fh, const Rect& sr,
                                const TCustomDIBX& mask) {
  forward(y, y + sr.height(), [&](int dx) { m_target->DrawColorMasked(x + dx, y, o, v, fv, fh, sr, mask); });
}
void TDIBXWave::DrawRotate(int x, int y, int alpha, bool fv, bool fh, bool keyed, int angle, int py, int px,
                           const Rect& sr, const TCustomDIBX& src, int zy, int zx) {
  forward_all([&](int dx) { m_target->DrawRotate(x + dx, y, alpha, fv, fh, keyed, angle, py, px, sr, src, zy, zx); });
}
void TDIBXWave::DrawMaskedRotate(int x, int y, int alpha, const TCustomDIBX& a, bool fv, bool fh, int angle, int py,
                                 int px, const Rect& sr, const TCustomDIBX& src, int zy, int zx) {
  forward_all(
      [&](int dx) { m_target->DrawMaskedRotate(x + dx, y, alpha, a, fv, fh, angle, py, px, sr, src, zy, zx); });
}
void TDIBXWave::StretchDraw(const Rect& d, const TCustomDIBX& src, int o, bool fv, bool fh, bool keyed,
                            const Rect& sr) {
  forward(d.top, d.bottom, [&](int dx) { m_target->StretchDraw(d.translated(dx, 0), src, o, fv, fh, keyed, sr); });
}
void TDIBXWave::StretchDrawMasked(const Rect& d, const TCustomDIBX& src, int o, const TCustomDIBX& a, bool fv, bool fh,
                                  const Rect& sr) {
  forward(d.top, d.bottom, [&](int dx) { m_target->StretchDrawMasked(d.translated(dx, 0), src, o, a, fv, fh, sr); });
}
void TDIBXWave::StretchDrawAdd(const Rect& d, const TCustomDIBX& src, int o, bool fv, bool fh, bool keyed,
                               const Rect& sr) {
  forward(d.top, d.bottom, [&](int dx) { m_target->StretchDrawAdd(d.translated(dx, 0), src, o, fv, fh, keyed, sr); });
}
void TDIBXWave::StretchDrawMaskedAdd(const Rect& d, const TCustomDIBX& src, int o, const TCustomDIBX& a, bool fv,
                                     bool fh, const Rect& sr) {
  forward(d.top, d.bottom,
          [&](int dx) { m_target->StretchDrawMaskedAdd(d.translated(dx, 0), src, o, a, fv, fh, sr); });
}
void TDIBXWave::DrawCoverage(int x, int y, int n, int o, bool fv, bool fh, std::uint32_t v, const Rect& sr,
                             const TCustomDIBX& src) {
  forward(y, y + sr.height(), [&](int dx) { m_target->DrawCoverage(x + dx, y, n, o, fv, fh, v, sr, src); });
}
void TDIBXWave::DrawCoverage3(int x, int y, int n, int o, bool fv, bool fh, std::uint32_t v1, std::uint32_t v2,
                              std::uint32_t v3, const Rect& sr, const TCustomDIBX& src) {
  forward(y, y + sr.height(), [&](int dx) { m_target->DrawCoverage3(x + dx, y, n, o, fv, fh, v1, v2, v3, sr, src); });
}
void TDIBXWave::TileDraw(const Rect& d, int gx, int py, int px, bool keyed, const Rect& sr, const TCustomDIBX& src,
                         int gy) {
  forward(d.top, d.bottom, [&](int dx) { m_target->TileDraw(d.translated(dx, 0), gx, py, px, keyed, sr, src, gy); });
}
void TDIBXWave::TileBlend(const Rect& d, int gx, int py, int px, int o, bool keyed, const Rect& sr,
                          const TCustomDIBX& src, int gy) {
  forward(d.top, d.bottom,
          [&](int dx) { m_target->TileBlend(d.translated(dx, 0), gx, py, px, o, keyed, sr, src, gy); });
}
void TDIBXWave::TileAdd(const Rect& d, int gx, int py, int px, int o, bool keyed, const Rect& sr,
                        const TCustomDIBX& src, int gy) {
  forward(d.top, d.bottom, [&](int dx) { m_target->TileAdd(d.translated(dx, 0), gx, py, px, o, keyed, sr, src, gy); });
}
void TDIBXWave::TileMasked(const Rect& d, int gx, int py, int px, const TCustomDIBX& a, const Rect& sr,
                           const TCustomDIBX& src, int gy) {
  forward(d.top, d.bottom, [&](int dx) { m_target->TileMasked(d.translated(dx, 0), gx, py, px, a, sr, src, gy); });
}
void TDIBXWave::TileMaskedBlend(const Rect& d, int gx, int py, int px, const TCustomDIBX& a, const Rect& sr,
                                const TCustomDIBX& src, int gy, int o) {
  forward(d.top, d.bottom,
          [&](int dx) { m_target->TileMaskedBlend(d.translated(dx, 0), gx, py, px, a, sr, src, gy, o); });
}
void TDIBXWave::TileMaskedAdd(const Rect& d, int gx, int py, int px, const TCustomDIBX& a, const Rect& sr,
                              const TCustomDIBX& src, int gy, int o) {
  forward(d.top, d.bottom,
          [&](int dx) { m_target->TileMaskedAdd(d.translated(dx, 0), gx, py, px, a, sr, src, gy, o); });
}
void TDIBXWave::TileStretch(const Rect& d, int ptx, int py, int px, int alpha, bool fv, bool fh, bool keyed,
                            const Rect& sr, const TCustomDIBX& src, int zy, int zx, int pty) {
  forward(d.top, d.bottom, [&](int dx) {
    m_target->TileStretch(d.translated(dx, 0), ptx, py, px, alpha, fv, fh, keyed, sr, src, zy, zx, pty);
  });
}
void TDIBXWave::TileStretchMasked(const Rect& d, int ptx, int py, int px, int alpha, const TCustomDIBX& a, bool fv,
                                  bool fh, const Rect& sr, const TCustomDIBX& src, int zy, int zx, int pty) {
  forward(d.top, d.bottom, [&](int dx) {
    m_target->TileStretchMasked(d.translated(dx, 0), ptx, py, px, alpha, a, fv, fh, sr, src, zy, zx, pty);
  });
}
void TDIBXWave::PatternFrame(const Rect& r, int w, int py, int px, const TCustomDIBX& src) {
  forward(r.top, r.bottom, [&](int dx) { m_target->PatternFrame(r.translated(dx, 0), w, py, px, src); });
}
void TDIBXWave::TileFill(const Rect& d, const TCustomDIBX& src, bool fv, bool fh, int py, int px) {
  forward(d.top, d.bottom, [&](int dx) { m_target->TileFill(d.translated(dx, 0), src, fv, fh, py, px); });
}
void TDIBXWave::TileZoom(const Rect& d, int zx, int alpha, bool fv, bool fh, bool keyed, int py, int px,
                         const TCustomDIBX& src, int zy) {
  forward(d.top, d.bottom,
          [&](int dx) { m_target->TileZoom(d.translated(dx, 0), zx, alpha, fv, fh, keyed, py, px, src, zy); });
}
void TDIBXWave::TileZoomMasked(const Rect& d, int zx, int alpha, const TCustomDIBX& a, bool fv, bool fh, int py,
                               int px, const TCustomDIBX& src, int zy) {
  forward(d.top, d.bottom,
          [&](int dx) { m_target->TileZoomMasked(d.translated(dx, 0), zx, alpha, a, fv, fh, py, px, src, zy); });
}
void TDIBXWave::DrawPalette16(int x, int y, PixelPalette pal, int alpha, bool fv, bool fh, const Rect& sr,
                              const TCustomDIBX& src) {
  forward(y, y + sr.height(), [&](int dx) { m_target->DrawPalette16(x + dx, y, pal, alpha, fv, fh, sr, src); });
}
void TDIBXWave::DrawPaletteAdd(int x, int y, PixelPalette pal, int o, bool fv, bool fh, int threshold, const Rect& sr,
                               const TCustomDIBX& src) {
  forward(y, y + sr.height(),
          [&](int dx) { m_target->DrawPaletteAdd(x + dx, y, pal, o, fv, fh, threshold, sr, src); });
}
void TDIBXWave::StretchPaletteAdd(const Rect& d, const TCustomDIBX& src, PixelPalette pal, int o, bool fv, bool fh,
                                  int threshold, const Rect& sr) {
  forward(d.top, d.bottom,
          [&](int dx) { m_target->StretchPaletteAdd(d.translated(dx, 0), src, pal, o, fv, fh, threshold, sr); });
}

}  // namespace nova::graphics
