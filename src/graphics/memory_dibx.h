// TDIBX: a surface in ordinary memory, the kind every picture, alpha plane
// and screen surface is.
//
// The buffer is a device-independent bitmap: rows top-down, each rounded up
// to a multiple of four bytes, a 256-entry palette beside it. Three ways to
// own it:
// - its own buffer (SetSize);
// - a buffer shared with other TDIBX surfaces (ShareBufferOf): decoded
//   pictures are shared between components, and the first write through
//   any of them (Lock, every drawing operation) copies the buffer first;
// - an external buffer (SetExternalBuffer): the pixels belong to the caller,
//   are written in place and are never freed by the surface.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "graphics/dibx.h"

namespace nova::graphics {

class TDIBX : public TCustomDIBX {
 public:
  // A 1 × 1 15-bit buffer; width and height report 0 until SetSize.
  TDIBX();
  ~TDIBX() override;

  int GetBitCount() const override { return m_bit_count; }
  // Between 15 and 16 bits the pixels are only read differently; any other
  // change reallocates the buffer (black).
  void SetBitCount(int bit_count) override;
  std::uint32_t GetRedMask() const override;
  std::uint32_t GetGreenMask() const override;
  std::uint32_t GetBlueMask() const override;
  int GetPitch() const override { return m_pitch; }
  std::uint32_t GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, std::uint32_t value) override;
  int GetBlueShift() const override;
  int GetGreenShift() const override;
  int GetRedShift() const override;
  // Bit counts 1, 4, 8, 15, 16, 24 and 32; raises core::Error for others, a
  // negative size or a buffer beyond 1 GiB. Pixels are zero afterwards.
  void SetSize(int width, int height, int bit_count) override;
  std::uint8_t* Lock(int x, int y) override;
  const std::uint8_t* LockRead(int x, int y) const override;
  TDeviceContext* GetDC() override;
  void ReleaseDC() override;
  void Assign(const TCustomDIBX& src) override;
  // Width and height to 0; the buffer shrinks to 8 × 8.
  void Clear() override;
  void GetPalette(Palette& out) const override;
  void GetPaletteEntries(std::span<PaletteEntry> out, int first) const override;
  void SetPalette(const Palette& palette) override;
  void SetPaletteEntries(std::span<const PaletteEntry> entries, int first) override;
  void MakeUnique() override;
  platform::PixelView PresentView() const override;

  // Wraps `pitch`-spaced rows of someone else's pixels (external-buffer
  // flag). They must outlive the surface or the next SetSize.
  void SetExternalBuffer(std::uint8_t* pixels, int width, int height, int bit_count, int pitch);
  bool HasExternalBuffer() const { return m_external != nullptr; }
  // Shares `other`'s pixels (and takes its size, layout, palette and
  // transparent value) until either side writes.
  void ShareBufferOf(const TDIBX& other);
  bool IsBufferShared() const { return !m_external && m_buffer && m_buffer.use_count() > 1; }

 private:
  void allocate(int width, int height, int bit_count, int buffer_width, int buffer_height);
  std::uint8_t* row_address(int y) const;

  std::shared_ptr<std::vector<std::uint8_t>> m_buffer;
  std::uint8_t* m_external = nullptr;
  int m_bit_count = 15;
  int m_pitch = 0;
  Palette m_palette{};
  std::unique_ptr<TDeviceContext> m_dc;
};

}  // namespace nova::graphics
