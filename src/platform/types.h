// Small value types shared by the platform interfaces.
#pragma once

#include <algorithm>
#include <cstdint>

namespace nova::platform {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// A half-open rectangle [left, right) × [top, bottom), as the system's
// rectangles are.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  static constexpr Rect from_size(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }
  constexpr int width() const { return right - left; }
  constexpr int height() const { return bottom - top; }
  // The same without overflow, for rectangles from scripts whose corners may
  // lie anywhere in the int range.
  constexpr std::int64_t width64() const { return std::int64_t{right} - left; }
  constexpr std::int64_t height64() const { return std::int64_t{bottom} - top; }
  constexpr bool empty() const { return right <= left || bottom <= top; }
  constexpr bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  constexpr Rect intersected(const Rect& o) const {
    Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
    return r.empty() ? Rect{} : r;
  }
  constexpr Rect united(const Rect& o) const {
    if (empty()) return o;
    if (o.empty()) return *this;
    return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
  }
  constexpr Rect translated(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Pixel layouts the display can present. Values are stored little-endian:
// Xrgb32 is bytes B, G, R, X (the top byte is ignored); Rgb565 and Xrgb1555
// are 16-bit words with blue in the low bits.
enum class PixelFormat : std::uint8_t { Xrgb32, Rgb565, Xrgb1555 };

constexpr int bytes_per_pixel(PixelFormat f) { return f == PixelFormat::Xrgb32 ? 4 : 2; }
constexpr int bit_count(PixelFormat f) { return f == PixelFormat::Xrgb32 ? 32 : (f == PixelFormat::Rgb565 ? 16 : 15); }

// Borrowed pixels: `pitch` bytes from one row to the next, top row first.
struct PixelView {
  const std::uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int pitch = 0;
  PixelFormat format = PixelFormat::Xrgb32;

  const std::uint8_t* row(int y) const { return pixels + static_cast<std::ptrdiff_t>(y) * pitch; }
};

// Converts one pixel of `format` to 0x00RRGGBB, widening 5- and 6-bit
// channels by bit replication so that white stays white.
constexpr std::uint32_t to_rgb32(std::uint32_t pixel, PixelFormat format) {
  switch (format) {
    case PixelFormat::Xrgb32: return pixel & 0x00FFFFFFu;
    case PixelFormat::Rgb565: {
      std::uint32_t r = (pixel >> 11) & 0x1F, g = (pixel >> 5) & 0x3F, b = pixel & 0x1F;
      return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
    }
    case PixelFormat::Xrgb1555: {
      std::uint32_t r = (pixel >> 10) & 0x1F, g = (pixel >> 5) & 0x1F, b = pixel & 0x1F;
      return ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
    }
  }
  return 0;
}

}  // namespace nova::platform
