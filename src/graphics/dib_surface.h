// TDIBSurface: the device-independent bitmap of a picture file's frames and
// layers, with its optional 8-bit alpha plane, and the operations the
// layered format composes layers with.
//
// Sections: size limits of pictures read from outside; pixel and colour
// conversion (the rules a platform blit follows); the surface; layer drawing.
//
// A bitmap is a TDIBX: rows top-down, (width × stored bits + 31) / 32 × 4
// bytes each (15-bit pixels take 16 bits), a 256-entry palette for 1, 4 and
// 8 bits, pixels of 1 and 4 bits packed most significant bits first. Buffers
// are shared copy-on-write between surfaces (a frame's composite and the
// layer it was copied from share one until either is written), or borrowed
// from the bytes of a memory stream until MakeUnique.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "graphics/memory_dibx.h"

namespace nova::graphics {

// --- Limits ------------------------------------------------------------------------

// What a picture read from outside may ask for. Every reader checks a bitmap
// against these before it allocates anything; tests and fuzzers lower them.
struct PictureLimits {
  int max_side = 16384;
  std::int64_t max_pixels = std::int64_t{1} << 28;
  // All bitmaps (and alpha planes) one file makes, together.
  std::int64_t max_total_bytes = std::int64_t{2} << 30;
};

// Bit counts a bitmap may have: 1, 4, 8, 15, 16, 24, 32.
bool is_dib_bit_count(int bit_count);
// Bytes of one row of a bitmap.
std::int64_t dib_row_bytes(std::int64_t width, int bit_count);
// Raises core::Error naming `what` when the size or bit count is not one a
// picture may have under `limits` (negative sides included).
void check_picture_size(std::int64_t width, std::int64_t height, int bit_count, const PictureLimits& limits,
                        std::string_view what);

// --- Pixels and colours ----------------------------------------------------------------
//
// Conversions between layouts follow the platform's blit: palettised pixels
// give their palette colours; 5- and 6-bit channels widen by replicating
// their high bits (v << 3 | v >> 2; v << 2 | v >> 4); narrowing truncates as
// ColorToPixel does; a colour becomes the first palette entry at the least
// squared RGB distance. No dithering.

// The bits a pixel value of this bit count is compared on (keys, masks):
// the colour bits, so the ignored top bits of 15- and 32-bit pixels and the
// bits beyond a pixel's width do not count.
std::uint32_t pixel_compare_mask(int bit_count);
// Whether `pixel` is the transparent value `key` (−1: nothing is).
inline bool pixel_is_key(std::uint32_t pixel, std::int32_t key, std::uint32_t compare_mask) {
  return key != -1 && ((pixel ^ static_cast<std::uint32_t>(key)) & compare_mask) == 0;
}
// The colour word (red in the low byte) of a pixel value.
std::int32_t pixel_to_colour(int bit_count, const Palette& palette, std::uint32_t pixel);
// A colour word (not negative) as a pixel value of the layout: 24 bits
// r << 16 | g << 8 | b; 15, 16 and 32 bits as ColorToPixel; 1, 4 and 8 bits
// the nearest of the 2^bits palette entries.
std::uint32_t colour_to_pixel(int bit_count, const Palette& palette, std::int32_t colour);
int nearest_palette_index(const Palette& palette, int entries, std::int32_t colour);
// Copies `src` into `dst` (same size, any layouts; dst keeps its layout and
// palette), converting every pixel.
void convert_pixels(const TCustomDIBX& src, const Palette& src_palette, TCustomDIBX& dst, const Palette& dst_palette);

// --- The surface ---------------------------------------------------------------------------

class TDIBSurface {
 public:
  TDIBSurface();
  TDIBSurface(const TDIBSurface&) = delete;
  TDIBSurface& operator=(const TDIBSurface&) = delete;

  // (Re)allocates the bitmap, black (pixels 0), and drops the alpha plane;
  // the palette stays. Raises core::Error for a bit count or size TDIBX
  // refuses.
  void SetSize(int width, int height, int bit_count);
  // Empties the surface (0 × 0) and drops the plane.
  void Clear();
  int Width() const { return m_bits.GetWidth(); }
  int Height() const { return m_bits.GetHeight(); }
  // 15 for a 16-bit buffer of 5-5-5 pixels.
  int BitCount() const { return m_bits.GetBitCount(); }
  int StorageBitCount() const { return m_bits.GetStorageBitCount(); }
  std::size_t RowBytes() const { return static_cast<std::size_t>(m_bits.GetPitch()); }
  std::int64_t Bytes() const { return static_cast<std::int64_t>(RowBytes()) * Height(); }
  bool IsEmpty() const { return m_bits.IsEmpty(); }

  // Row y for writing (a shared buffer is copied first) and for reading.
  std::uint8_t* Row(int y) { return m_bits.Lock(0, y); }
  const std::uint8_t* Row(int y) const { return m_bits.LockRead(0, y); }
  std::uint32_t GetPixel(int x, int y) const { return m_bits.GetPixel(x, y); }
  void SetPixel(int x, int y, std::uint32_t v) { m_bits.SetPixel(x, y, v); }

  const Palette& GetPalette() const { return m_palette; }
  void SetPalette(const Palette& palette);

  // The bitmap as a surface (for drawing it elsewhere).
  TDIBX& Bitmap() { return m_bits; }
  const TDIBX& Bitmap() const { return m_bits; }

  // The alpha plane: 8 bits, the bitmap's size, 0 transparent to 255 opaque.
  bool HasAlpha() const { return m_alpha != nullptr; }
  TDIBX* Alpha() { return m_alpha.get(); }
  const TDIBX* Alpha() const { return m_alpha.get(); }
  // A new plane of the bitmap's size, every byte `fill`.
  TDIBX& CreateAlpha(std::uint8_t fill);
  // The plane becomes a (copy-on-write) copy of `plane`, which must have the
  // bitmap's size.
  void ShareAlpha(const TDIBX& plane);
  void DropAlpha() { m_alpha.reset(); }

  // This surface becomes a copy-on-write copy of `other` (bitmap, palette
  // and plane).
  void ShareFrom(const TDIBSurface& other);
  // The same for the bitmap and palette only; the plane stays.
  void ShareBitmapOf(const TDIBSurface& other);
  // Keeps only `rect` (inside the bitmap) of the bitmap and the plane.
  void Crop(const Rect& rect);
  // Uses `height` rows at `rows`, dib_row_bytes(width, bit_count) apart, in
  // place as the bitmap (they must outlive the surface or its next MakeUnique, and are never
  // written through it: every write copies them first).
  void BorrowRows(const std::uint8_t* rows, int width, int height, int bit_count);
  // Copies borrowed rows into a buffer of its own.
  void MakeUnique();
  bool IsBorrowed() const { return m_bits.HasExternalBuffer(); }

  // Every pixel := value (cut to the pixel's width).
  void Fill(std::uint32_t value);
  // Converts the bitmap to another bit count by the platform's rules, with
  // the palette kept as the table of the new layout; the plane stays.
  void ConvertTo(int bit_count);
  std::int32_t PixelToColour(std::uint32_t pixel) const { return pixel_to_colour(BitCount(), m_palette, pixel); }
  std::uint32_t ColourToPixel(std::int32_t colour) const { return colour_to_pixel(BitCount(), m_palette, colour); }

  // --- Layer drawing -------------------------------------------------------------------
  // Each draws `src` at (0, 0); src must have this surface's size and
  // layout (the reader converts JPEG layers first).

  // Copies, skipping pixels equal to `key` (−1: copies all).
  void CopyLayer(const TDIBSurface& src, std::int32_t key);
  // Draws with an opacity: 0 or less draws nothing, 255 and above copies
  // with the key. 15, 16 and 24 bits divide by 255; 32 bits weight the
  // 0xFF00FF and 0xFF00 groups and shift by 8 (the top byte becomes 0);
  // 1, 4 and 8 bits copy through one of 16 ordered-dither patterns
  // (opacity / 16; level 15 copies).
  void BlendLayer(const TDIBSurface& src, int opacity, std::int32_t key);
  // Draws through the 8-bit `plane` (src's size): m = 0 skips, 255 copies,
  // otherwise (d × (255 − m) + s × m) >> 8 per channel. At 24 bits an
  // opacity below 255 weights by (opacity × m) >> 8 and skips pixels with
  // opacity × m below 256 (the other depths have no caller that passes
  // one and ignore it). 1, 4 and 8 bits copy where m >= 128.
  void DrawMasked(const TDIBSurface& src, const TDIBX& plane, int opacity = 255);

 private:
  TDIBX m_bits;
  Palette m_palette{};
  std::unique_ptr<TDIBX> m_alpha;
};

// The 16 ordered-dither patterns of layer drawing below 15 bits: whether
// level `level` (0..15) draws the pixel at (x, y).
bool dither_draws(int level, int x, int y);

}  // namespace nova::graphics
