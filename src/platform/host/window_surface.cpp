#include "platform/window_surface.h"

#include <algorithm>
#include <cstring>

namespace nova::platform {
namespace {

void copy_rect(const Framebuffer& from, Framebuffer& to, Rect r) {
  r = r.intersected(Rect{0, 0, std::min(from.width(), to.width()), std::min(from.height(), to.height())});
  for (int y = r.top; y < r.bottom; ++y) {
    std::memcpy(to.row(y) + r.left, from.row(y) + r.left, static_cast<std::size_t>(r.width()) * 4);
  }
}

}  // namespace

WindowSurface::WindowSurface(Size logical, int desktop_scale) : m_scale(std::max(1, desktop_scale)) {
  m_logical.resize(logical.width, logical.height);
  m_shown.resize(logical.width, logical.height);
  m_drawable.resize(logical.width, logical.height);
}

void WindowSurface::set_logical_size(Size s) {
  m_logical.resize(s.width, s.height);
  m_shown.resize(s.width, s.height);
  if (!scaled()) m_drawable.resize(s.width, s.height);
  m_stale = true;
}

void WindowSurface::set_drawable_size(Size s) {
  if (s == drawable_size()) return;
  m_drawable.resize(s.width, s.height);
  m_stale = true;
}

void WindowSurface::set_desktop_scale(int scale) {
  scale = std::max(1, scale);
  if (scale == m_scale) return;
  m_scale = scale;
  m_stale = true;
}

void WindowSurface::set_layout(const PictureLayout& layout) {
  const bool was_scaled = scaled();
  m_layout = layout;
  if (!layout.scaled && was_scaled) m_drawable.resize(m_logical.width(), m_logical.height());
  m_stale = true;
}

void WindowSurface::set_chrome(const PixelView* strip) {
  const bool was_shown = m_chrome_shown;
  m_chrome_shown = strip != nullptr && strip->pixels != nullptr;
  if (m_chrome_shown) {
    m_chrome.resize(strip->width, strip->height);
    const Rect all{0, 0, strip->width, strip->height};
    m_chrome.draw(*strip, all, all);
  }
  // A strip above the picture is redrawn alone; where it lies (or lay)
  // over the picture, the picture comes back too.
  if (!m_layout.chrome_overlays && was_shown == m_chrome_shown)
    m_chrome_dirty = true;
  else
    m_stale = true;
}

int WindowSurface::chrome_width() const {
  if (!scaled()) return m_logical.width();
  return (m_drawable.width() + m_scale - 1) / m_scale;
}

int WindowSurface::chrome_rows() const { return scaled() ? m_layout.chrome_height * m_scale : 0; }

Rect WindowSurface::picture_area() const {
  const Rect all{0, 0, m_drawable.width(), m_drawable.height()};
  if (m_layout.chrome_overlays) return all;
  return Rect{0, std::min(chrome_rows(), all.bottom), all.right, all.bottom};
}

PictureTransform WindowSurface::transform() const {
  if (!scaled()) {
    const Size s = logical_size();
    return PictureTransform::make(s, Rect{0, 0, s.width, s.height}, ScaleMode::None, ScaleFilter::Nearest);
  }
  return PictureTransform::make({m_layout.panel.width(), m_layout.panel.height()}, picture_area(), m_layout.mode,
                                m_layout.filter);
}

void WindowSurface::render_chrome(Rect clip) {
  const Rect strip = Rect{0, 0, m_drawable.width(), chrome_rows()}.intersected(clip);
  const bool shown = m_chrome_shown;
  for (int y = strip.top; y < strip.bottom; ++y) {
    std::uint32_t* row = m_drawable.row(y);
    const int cy = y / m_scale;
    for (int x = strip.left; x < strip.right; ++x) {
      const int cx = x / m_scale;
      row[x] = shown && cy < m_chrome.height() && cx < m_chrome.width() ? m_chrome.pixel(cx, cy) : 0u;
    }
  }
}

std::vector<Rect> WindowSurface::present(std::span<const Rect> rects) {
  const Rect bounds{0, 0, m_logical.width(), m_logical.height()};
  std::vector<Rect> logical_rects;
  if (rects.empty()) {
    logical_rects.push_back(bounds);
  } else {
    for (const Rect& r : rects) {
      const Rect c = r.intersected(bounds);
      if (!c.empty()) logical_rects.push_back(c);
    }
  }
  for (const Rect& r : logical_rects) copy_rect(m_logical, m_shown, r);
  if (m_stale) return repaint();
  if (!scaled()) {
    for (const Rect& r : logical_rects) copy_rect(m_shown, m_drawable, r);
    return logical_rects;
  }
  const PictureTransform t = transform();
  const Rect panel = m_layout.panel;
  const PixelView source = m_shown.view();
  PixelView picture = source;
  const Rect inside = panel.intersected(bounds);
  if (inside != panel) return repaint();
  picture.pixels = source.row(panel.top) + static_cast<std::ptrdiff_t>(panel.left) * 4;
  picture.width = panel.width();
  picture.height = panel.height();
  std::vector<Rect> changed;
  if (m_chrome_dirty) {
    m_chrome_dirty = false;
    const Rect strip{0, 0, m_drawable.width(), std::min(chrome_rows(), m_drawable.height())};
    render_chrome(strip);
    if (!strip.empty()) changed.push_back(strip);
  }
  const bool strip_over = m_layout.chrome_overlays && m_chrome_shown;
  for (const Rect& r : logical_rects) {
    const Rect d = t.drawable_rect_of(r.intersected(panel).translated(-panel.left, -panel.top));
    if (d.empty()) continue;
    m_scaler.render(picture, t, m_drawable, d);
    if (strip_over) render_chrome(d);
    changed.push_back(d);
  }
  return changed;
}

std::vector<Rect> WindowSurface::repaint() {
  m_stale = false;
  m_chrome_dirty = false;
  const Rect all{0, 0, m_drawable.width(), m_drawable.height()};
  if (!scaled()) {
    copy_rect(m_shown, m_drawable, all);
    return {all};
  }
  m_drawable.fill(all, 0);
  const PictureTransform t = transform();
  const Rect panel = m_layout.panel;
  const Rect inside = panel.intersected(Rect{0, 0, m_shown.width(), m_shown.height()});
  PixelView picture = m_shown.view();
  if (inside == panel && !panel.empty()) {
    picture.pixels = m_shown.view().row(panel.top) + static_cast<std::ptrdiff_t>(panel.left) * 4;
    picture.width = panel.width();
    picture.height = panel.height();
  } else {
    picture.pixels = nullptr;
  }
  m_scaler.render(picture, t, m_drawable, t.area);
  render_chrome(all);
  return {all};
}

PointerPosition WindowSurface::to_logical(Point p) const {
  if (!scaled()) return {p, false};
  const int rows = chrome_rows();
  const bool on_strip = p.y >= 0 && p.y < rows && (!m_layout.chrome_overlays || m_chrome_shown);
  if (on_strip) {
    return {{static_cast<int>(floor_div(p.x, m_scale)), static_cast<int>(floor_div(p.y, m_scale))}, true};
  }
  const Point q = transform().to_panel(p);
  return {{q.x + m_layout.panel.left, q.y + m_layout.panel.top}, false};
}

Point WindowSurface::to_drawable(Point l) const {
  if (!scaled()) return l;
  const bool strip = m_layout.chrome_overlays ? (m_chrome_shown && l.y >= 0 && l.y < m_layout.chrome_height)
                                              : (l.y < m_layout.panel.top && m_layout.chrome_height > 0);
  if (strip) return {l.x * m_scale + m_scale / 2, l.y * m_scale + m_scale / 2};
  return transform().to_drawable({l.x - m_layout.panel.left, l.y - m_layout.panel.top});
}

}  // namespace nova::platform
