// TDxDIBX: the surface kind the screen manager composes into when it
// presents through the display backend rather than the window's drawing
// context.
//
// The platform has no display surfaces of its own to lend: every window
// keeps a 32-bit back buffer and converts presented pixels into it, so a
// surface here cannot be shown without a copy. TDxDIBX therefore keeps its
// pixels in system memory, as an off-screen plain surface would, and keeps
// the contract of a display surface: SetSize replaces the surface (palettised
// layouts get a black palette of 2, 16 or 256 entries), Lock and Unlock
// bracket every access and are counted, GetPixel and SetPixel lock for each
// pixel, the device context is cached until ReleaseDC, and ColorToPixel
// converts through the device context with a 16-entry cache.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "graphics/memory_dibx.h"

namespace nova::graphics {

class TDxDIBX : public TCustomDIBX {
 public:
  TDxDIBX();
  ~TDxDIBX() override;

  int GetBitCount() const override { return m_pixels.GetBitCount(); }
  std::uint32_t GetRedMask() const override { return m_pixels.GetRedMask(); }
  std::uint32_t GetGreenMask() const override { return m_pixels.GetGreenMask(); }
  std::uint32_t GetBlueMask() const override { return m_pixels.GetBlueMask(); }
  int GetPitch() const override { return m_pixels.GetPitch(); }
  int GetBlueShift() const override { return m_pixels.GetBlueShift(); }
  int GetGreenShift() const override { return m_pixels.GetGreenShift(); }
  int GetRedShift() const override { return m_pixels.GetRedShift(); }
  std::uint32_t GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, std::uint32_t value) override;
  // Creates the surface; raises "\"CreateSurface\" Failed" when the size or
  // layout cannot be had.
  void SetSize(int width, int height, int bit_count) override;
  std::uint8_t* Lock(int x, int y) override;
  void Unlock() override;
  const std::uint8_t* LockRead(int x, int y) const override;
  void UnlockRead() const override;
  TDeviceContext* GetDC() override;
  void ReleaseDC() override;
  std::int32_t ColorToPixel(std::int32_t colour) const override;
  void Clear() override;
  void ReleaseSurface() override;
  void GetPalette(Palette& out) const override;
  void GetPaletteEntries(std::span<PaletteEntry> out, int first) const override;
  // Sets 2, 16 or 256 entries by the bit count (1, 4, 8); other layouts have
  // no palette and ignore it.
  void SetPalette(const Palette& palette) override;
  // Raises "FPalette.SetEntries Failed" for entries beyond the palette.
  void SetPaletteEntries(std::span<const PaletteEntry> entries, int first) override;
  platform::PixelView PresentView() const override { return m_pixels.PresentView(); }

  // Locks in force (Lock and LockRead not yet undone).
  int LockDepth() const { return m_locks; }
  bool HasSurface() const { return m_has_surface; }

 private:
  int palette_size() const;

  TDIBX m_pixels;
  bool m_has_surface = false;
  mutable int m_locks = 0;
  struct CacheEntry {
    std::int32_t colour = -1;
    std::int32_t pixel = -1;
  };
  mutable std::array<CacheEntry, 16> m_cache{};
  mutable int m_cache_next = 0;
};

}  // namespace nova::graphics
