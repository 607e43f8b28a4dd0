#include "graphics/dx_dibx.h"

#include <algorithm>

#include "core/error.h"

namespace nova::graphics {

TDxDIBX::TDxDIBX() = default;

TDxDIBX::~TDxDIBX() { ReleaseSurface(); }

void TDxDIBX::SetSize(int width, int height, int bit_count) {
  ReleaseSurface();
  if (width <= 0 || height <= 0) core::throw_error("\"CreateSurface\" Failed");
  try {
    m_pixels.SetSize(width, height, bit_count);
  } catch (const core::Error&) {
    core::throw_error("\"CreateSurface\" Failed");
  }
  m_pixels.SetPalette(Palette{});
  m_has_surface = true;
  m_width = width;
  m_height = height;
  m_clip = Rect{};
  m_cache.fill(CacheEntry{});
}

void TDxDIBX::ReleaseSurface() {
  ReleaseDC();
  m_pixels.Clear();
  m_has_surface = false;
  m_width = 0;
  m_height = 0;
}

void TDxDIBX::Clear() {
  m_width = 0;
  m_height = 0;
  m_clip = Rect{};
}

std::uint8_t* TDxDIBX::Lock(int x, int y) {
  if (!m_has_surface || IsEmpty()) return nullptr;
  ++m_locks;
  return m_pixels.Lock(x, y);
}

void TDxDIBX::Unlock() {
  if (m_locks > 0) --m_locks;
}

const std::uint8_t* TDxDIBX::LockRead(int x, int y) const {
  if (!m_has_surface || IsEmpty()) return nullptr;
  ++m_locks;
  return m_pixels.LockRead(x, y);
}

void TDxDIBX::UnlockRead() const {
  if (m_locks > 0) --m_locks;
}

std::uint32_t TDxDIBX::GetPixel(int x, int y) const {
  if (!LockRead(x, y)) return 0;
  const std::uint32_t v = m_pixels.GetPixel(x, y);
  UnlockRead();
  return v;
}

void TDxDIBX::SetPixel(int x, int y, std::uint32_t value) {
  if (!Lock(x, y)) return;
  m_pixels.SetPixel(x, y, value);
  Unlock();
}

TDeviceContext* TDxDIBX::GetDC() { return m_has_surface ? m_pixels.GetDC() : nullptr; }

void TDxDIBX::ReleaseDC() { m_pixels.ReleaseDC(); }

std::int32_t TDxDIBX::ColorToPixel(std::int32_t colour) const {
  if (colour < 0) return -1;
  for (const CacheEntry& e : m_cache) {
    if (e.colour == colour) return e.pixel;
  }
  std::int32_t pixel = color_to_pixel(GetBitCount(), colour);
  if (m_has_surface && !IsEmpty() && GetBitCount() > 8) {
    // The conversion the display itself makes: one pixel drawn through the
    // device context at (0, 0), read back, and the old pixel put back.
    auto& self = const_cast<TDxDIBX&>(*this);
    const std::uint32_t saved = GetPixel(0, 0);
    const std::uint32_t rgb32 = static_cast<std::uint32_t>(color_red(colour)) << 16 |
                                static_cast<std::uint32_t>(color_green(colour)) << 8 |
                                static_cast<std::uint32_t>(color_blue(colour));
    const platform::PixelView one{reinterpret_cast<const std::uint8_t*>(&rgb32), 1, 1, 4,
                                  platform::PixelFormat::Xrgb32};
    if (TDeviceContext* dc = self.GetDC()) {
      dc->StretchPixels(one, Rect{0, 0, 1, 1}, Rect{0, 0, 1, 1});
      pixel = static_cast<std::int32_t>(GetPixel(0, 0));
    }
    self.SetPixel(0, 0, saved);
  }
  m_cache[static_cast<std::size_t>(m_cache_next)] = CacheEntry{colour, pixel};
  m_cache_next = (m_cache_next + 1) % static_cast<int>(m_cache.size());
  return pixel;
}

int TDxDIBX::palette_size() const {
  if (!m_has_surface) return 0;
  switch (GetBitCount()) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

void TDxDIBX::GetPalette(Palette& out) const {
  out.fill(PaletteEntry{});
  Palette all;
  m_pixels.GetPalette(all);
  std::copy_n(all.begin(), palette_size(), out.begin());
}

void TDxDIBX::GetPaletteEntries(std::span<PaletteEntry> out, int first) const {
  Palette all;
  GetPalette(all);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto at = static_cast<std::size_t>(first) + i;
    out[i] = first >= 0 && at < static_cast<std::size_t>(palette_size()) ? all[at] : PaletteEntry{};
  }
}

void TDxDIBX::SetPalette(const Palette& palette) {
  const int n = palette_size();
  if (n == 0) return;
  SetPaletteEntries(std::span<const PaletteEntry>(palette.data(), static_cast<std::size_t>(n)), 0);
}

void TDxDIBX::SetPaletteEntries(std::span<const PaletteEntry> entries, int first) {
  const int n = palette_size();
  if (n == 0) return;
  if (first < 0 || static_cast<std::size_t>(first) + entries.size() > static_cast<std::size_t>(n)) {
    core::throw_error("FPalette.SetEntries Failed");
  }
  m_pixels.SetPaletteEntries(entries, first);
}

}  // namespace nova::graphics
