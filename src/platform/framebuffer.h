// The 32-bit client-area back buffer both backends keep for each window, and
// the conversion and stretching of presented pixels into it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"

namespace nova::platform {

class Framebuffer {
 public:
  Framebuffer() = default;
  Framebuffer(int width, int height) { resize(width, height); }

  // Keeps the overlapping top-left part; new pixels are black.
  void resize(int width, int height);

  int width() const { return m_width; }
  int height() const { return m_height; }
  std::uint32_t* row(int y) {
    return m_pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
  }
  const std::uint32_t* row(int y) const {
    return m_pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
  }
  std::uint32_t pixel(int x, int y) const { return row(y)[x]; }
  PixelView view() const {
    return PixelView{reinterpret_cast<const std::uint8_t*>(m_pixels.data()), m_width, m_height, m_width * 4,
                     PixelFormat::Xrgb32};
  }

  // Copies src_rect of src to dst_rect, stretching by nearest neighbour:
  // destination pixel (x, y) takes source pixel
  // (src.left + (x − dst.left) × src_w ÷ dst_w, likewise for y). Pixels
  // become 0x00RRGGBB. Rectangles outside either picture are clipped
  // without changing that mapping.
  void draw(const PixelView& src, Rect src_rect, Rect dst_rect);
  void fill(Rect rect, std::uint32_t rgb);

 private:
  int m_width = 0;
  int m_height = 0;
  std::vector<std::uint32_t> m_pixels;
};

}  // namespace nova::platform
