#include "platform/framebuffer.h"

#include <algorithm>
#include <cstring>

namespace nova::platform {
namespace {

template <PixelFormat F>
inline std::uint32_t load(const std::uint8_t* row, int x) {
  if constexpr (F == PixelFormat::Xrgb32) {
    std::uint32_t v;
    std::memcpy(&v, row + static_cast<std::ptrdiff_t>(x) * 4, 4);
    return v & 0x00FFFFFFu;
  } else {
    std::uint16_t v;
    std::memcpy(&v, row + static_cast<std::ptrdiff_t>(x) * 2, 2);
    return to_rgb32(v, F);
  }
}

template <PixelFormat F>
void draw_rows(Framebuffer& fb, const PixelView& src, Rect s, Rect d, Rect clipped) {
  const int sw = s.width(), sh = s.height(), dw = d.width(), dh = d.height();
  const bool unscaled = sw == dw && sh == dh;
  for (int y = clipped.top; y < clipped.bottom; ++y) {
    int sy = unscaled ? s.top + (y - d.top) : s.top + static_cast<int>(static_cast<std::int64_t>(y - d.top) * sh / dh);
    const std::uint8_t* srow = src.row(sy);
    std::uint32_t* drow = fb.row(y);
    if (unscaled && F == PixelFormat::Xrgb32) {
      const int sx0 = s.left + (clipped.left - d.left);
      for (int x = clipped.left; x < clipped.right; ++x) drow[x] = load<F>(srow, sx0 + (x - clipped.left));
      continue;
    }
    for (int x = clipped.left; x < clipped.right; ++x) {
      int sx =
          unscaled ? s.left + (x - d.left) : s.left + static_cast<int>(static_cast<std::int64_t>(x - d.left) * sw / dw);
      drow[x] = load<F>(srow, sx);
    }
  }
}

}  // namespace

void Framebuffer::resize(int width, int height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (width == m_width && height == m_height) return;
  std::vector<std::uint32_t> next(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  const int cw = std::min(width, m_width), ch = std::min(height, m_height);
  for (int y = 0; y < ch; ++y) {
    std::memcpy(next.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), row(y),
                static_cast<std::size_t>(cw) * 4);
  }
  m_pixels = std::move(next);
  m_width = width;
  m_height = height;
}

void Framebuffer::draw(const PixelView& src, Rect s, Rect d) {
  if (!src.pixels || s.empty() || d.empty()) return;
  // The source rectangle must lie inside the source picture; shrink the
  // destination in proportion when it does not, so no byte outside is read.
  Rect inside = s.intersected(Rect{0, 0, src.width, src.height});
  if (inside.empty()) return;
  if (inside != s) {
    const int sw = s.width(), sh = s.height(), dw = d.width(), dh = d.height();
    Rect nd{d.left + static_cast<int>(static_cast<std::int64_t>(inside.left - s.left) * dw / sw),
            d.top + static_cast<int>(static_cast<std::int64_t>(inside.top - s.top) * dh / sh),
            d.left + static_cast<int>(static_cast<std::int64_t>(inside.right - s.left) * dw / sw),
            d.top + static_cast<int>(static_cast<std::int64_t>(inside.bottom - s.top) * dh / sh)};
    s = inside;
    d = nd;
    if (d.empty()) return;
  }
  Rect clipped = d.intersected(Rect{0, 0, m_width, m_height});
  if (clipped.empty()) return;
  switch (src.format) {
    case PixelFormat::Xrgb32: draw_rows<PixelFormat::Xrgb32>(*this, src, s, d, clipped); break;
    case PixelFormat::Rgb565: draw_rows<PixelFormat::Rgb565>(*this, src, s, d, clipped); break;
    case PixelFormat::Xrgb1555: draw_rows<PixelFormat::Xrgb1555>(*this, src, s, d, clipped); break;
  }
}

void Framebuffer::fill(Rect rect, std::uint32_t rgb) {
  Rect r = rect.intersected(Rect{0, 0, m_width, m_height});
  for (int y = r.top; y < r.bottom; ++y) std::fill(row(y) + r.left, row(y) + r.right, rgb & 0x00FFFFFFu);
}

}  // namespace nova::platform
