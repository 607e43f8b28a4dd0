// TCustomDIBX: the surface every picture is drawn into, and every pixel
// operation on it.
//
// Sections: the surface's own state (size, layout, clip, key, content
// rectangles); pixel access (Lock/Unlock, GetPixel/SetPixel); solid rectangle
// operations; unscaled draws; stretched and rotated draws; tiles; coverage
// and palette draws.
//
// Conventions of every drawing operation:
// - Rectangles are half-open. The destination position (x, y) is where the
//   source rectangle's top-left pixel lands.
// - Everything is clipped to the clip rectangle (or the whole surface when
//   none is set) before a pixel is touched; a source rectangle reaching
//   outside its surface is cut to it as well, so no operation reads or writes
//   outside a buffer, whatever its arguments.
// - flip_h mirrors the source rectangle left to right, flip_v top to bottom,
//   within the source rectangle.
// - `keyed` skips source pixels equal to the source's transparent value
//   (callers pass keyed = transparent value != −1).
// - An alpha plane is an 8-bit surface laid over the source: its byte at the
//   source pixel's coordinates is that pixel's coverage (0..255). An alpha
//   plane that does not cover the source rectangle draws nothing.
// - Opacity 0 draws nothing. Weights are 8-bit and every blend divides by
//   256 with truncation, so opacity 255 is not a copy.
// - Alpha arguments of DrawRotate, TileStretch and TileZoom use the opacity
//   encoding: 0..254 blend, 255 opaque, 256..511 add with opacity alpha − 256.
// - Sources and destination are expected to share one layout (the image
//   cache converts pictures to the screen's); pixel values are combined as
//   they are.
// - Lock and Unlock bracket the work on the destination and the sources,
//   balanced on every path.
// - Pixel values are compared on their colour bits only (ChannelMasks::
//   colour), for keys and for the skip rules of the blends.
//
// Speed: destinations of 15, 16 and 32 bits with sources of the same layout
// run packed row kernels (see kernels.h); everything else, and the reference
// path that tests compare against, works pixel by pixel through GetPixel and
// SetPixel with the plain formulas.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "graphics/pixel_format.h"

namespace nova::files {
class Stream;
}

namespace nova::graphics {

class TCustomDIBX;

// A drawing context over pixels: what GetDC hands out. Platform drawing code
// copies pictures into it; a surface's context writes into that surface.
class TDeviceContext {
 public:
  virtual ~TDeviceContext() = default;
  // Copies `src_rect` of `src` onto `dst_rect` of the context, stretched by
  // nearest neighbour, converting the layout. Both rectangles are clipped.
  virtual void StretchPixels(const platform::PixelView& src, Rect src_rect, Rect dst_rect) = 0;
  // The pixels behind the context when it has a presentable layout (32, 16
  // or 15 bits), empty otherwise.
  virtual platform::PixelView View() const = 0;
};

// The 32-bit palette of DrawPalette16 and the palette draws: entries already
// in the destination's pixel layout.
using PixelPalette = std::span<const std::uint32_t>;

class TCustomDIBX {
 public:
  TCustomDIBX() = default;
  virtual ~TCustomDIBX();
  TCustomDIBX(const TCustomDIBX&) = delete;
  TCustomDIBX& operator=(const TCustomDIBX&) = delete;

  // --- State -----------------------------------------------------------------
  bool IsEmpty() const { return GetWidth() == 0 || GetHeight() == 0; }
  virtual int GetBitCount() const { return 0; }
  // Changes the layout of the buffer's pixels in place (same storage size);
  // only TDIBX does anything.
  virtual void SetBitCount(int) {}
  virtual std::uint32_t GetRedMask() const { return 0; }
  virtual std::uint32_t GetGreenMask() const { return 0; }
  virtual std::uint32_t GetBlueMask() const { return 0; }
  // Signed byte distance from one row to the next.
  virtual int GetPitch() const { return 0; }
  // Pixel values at (x, y), which must lie inside the surface (not checked).
  virtual std::uint32_t GetPixel(int, int) const { return 0; }
  virtual void SetPixel(int, int, std::uint32_t) {}
  virtual int GetBlueShift() const { return 0; }
  virtual int GetGreenShift() const { return 0; }
  virtual int GetRedShift() const { return 0; }
  virtual int GetHeight() const { return m_height; }
  virtual int GetWidth() const { return m_width; }
  // The surface a wave surface draws into; nullptr for the others.
  virtual TCustomDIBX* GetTarget() const { return nullptr; }
  // Bits of one stored pixel (16 for both 15 and 16).
  virtual int GetStorageBitCount() const { return storage_bits(GetBitCount()); }
  // (Re)allocates the buffer; pixels are black (zero) afterwards.
  virtual void SetSize(int width, int height, int bit_count);

  // Address of pixel (x, y) for reading and writing, valid until Unlock;
  // nullptr when the surface is empty or cannot be locked. Writing through it
  // is allowed: a shared buffer is made unique first.
  virtual std::uint8_t* Lock(int x, int y);
  virtual void Unlock() {}
  // The same for reading only (sources of draws); never copies a buffer.
  virtual const std::uint8_t* LockRead(int x, int y) const;
  virtual void UnlockRead() const {}

  // A drawing context over the pixels, owned by the surface and cached until
  // ReleaseDC; nullptr when the surface cannot give one.
  virtual TDeviceContext* GetDC() { return nullptr; }
  virtual void ReleaseDC() {}
  // The canvas is the device context under another name here.
  TDeviceContext* GetCanvas() { return GetDC(); }
  void ReleaseCanvas() { ReleaseDC(); }

  // --- Clip rectangle and update region ----------------------------------------
  // The clip rectangle; a right edge of 0 means none is set.
  const Rect& ClipRect() const { return m_clip; }
  bool HasClip() const { return m_clip.right != 0; }
  // The clip rectangle, or the whole surface when none is set.
  Rect EffectiveClip() const;
  virtual void ResetClip() { m_clip = Rect{}; }
  // Clamps `rect` to the surface; when something is left, the clip becomes
  // it (none set) or the union with it.
  virtual void IncludeClipRect(const Rect& rect);
  // Installs a clip rectangle as it stands (tile operations save, replace
  // and restore it).
  virtual void SetClipRect(const Rect& rect) { m_clip = rect; }

  // Transparent value (colour key) in this surface's layout, −1 for none.
  std::int32_t TransparentValue() const { return m_transparent; }
  void SetTransparentValue(std::int32_t v) { m_transparent = v; }

  // Filled from the layered image format; the image components draw only
  // these parts when the list is not empty.
  std::vector<Rect>& ContentRects() { return m_content_rects; }
  const std::vector<Rect>& ContentRects() const { return m_content_rects; }
  std::vector<Rect>& SecondRects() { return m_second_rects; }

  // The colour word as a pixel of this surface (see color_to_pixel).
  virtual std::int32_t ColorToPixel(std::int32_t colour) const;

  // --- Solid operations ----------------------------------------------------------
  virtual void Fill(std::uint32_t value);
  virtual void FillRect(const Rect& rect, std::uint32_t value);
  // Pixels equal to the value stay; others blend towards it with `opacity`.
  virtual void BlendRect(const Rect& rect, std::uint32_t value, int opacity);
  // Per-channel saturating addition and subtraction of a value.
  virtual void AddRect(const Rect& rect, std::uint32_t value);
  virtual void SubRect(const Rect& rect, std::uint32_t value);
  // Borders of width `width`: top and bottom strips over the full width, the
  // side strips between them.
  virtual void FrameRect(const Rect& rect, int width, std::uint32_t value);
  virtual void BlendFrameRect(const Rect& rect, int width, int opacity, std::uint32_t value);
  virtual void AddFrameRect(const Rect& rect, int width, std::uint32_t value);

  // --- Unscaled draws ----------------------------------------------------------------
  // The whole source to (0, 0).
  virtual void Assign(const TCustomDIBX& src);
  virtual void Draw(int x, int y, bool flip_v, bool flip_h, bool keyed, const Rect& src_rect, const TCustomDIBX& src);
  virtual void DrawMasked(int x, int y, const TCustomDIBX& alpha, bool flip_v, bool flip_h, const Rect& src_rect,
                          const TCustomDIBX& src);
  // Skips pixels equal to the destination (blending them would darken).
  virtual void DrawBlend(int x, int y, int opacity, bool flip_v, bool flip_h, bool keyed, const Rect& src_rect,
                         const TCustomDIBX& src);
  virtual void DrawMaskedBlend(int x, int y, int opacity, const TCustomDIBX& alpha, bool flip_v, bool flip_h,
                               const Rect& src_rect, const TCustomDIBX& src);
  // Applies the source's key whatever `keyed` says. On an 8-bit destination
  // the opacity is not applied.
  virtual void DrawAdd(int x, int y, int opacity, bool flip_v, bool flip_h, bool keyed, const Rect& src_rect,
                       const TCustomDIBX& src);
  virtual void DrawMaskedAdd(int x, int y, int opacity, const TCustomDIBX& alpha, bool flip_v, bool flip_h,
                             const Rect& src_rect, const TCustomDIBX& src);
  // One pixel value painted through an 8-bit mask (text, shapes); gives up
  // when the clipped rectangle leaves the mask.
  virtual void DrawColorMasked(int x, int y, int opacity, std::uint32_t value, bool flip_v, bool flip_h,
                               const Rect& src_rect, const TCustomDIBX& mask);

  // --- Rotated, zoomed and stretched draws --------------------------------------------
  // The source's pivot (pivot_x, pivot_y) lands on (x, y); angle in 1/256 of
  // a turn, clockwise on screen; zooms in 1/256.
  virtual void DrawRotate(int x, int y, int alpha, bool flip_v, bool flip_h, bool keyed, int angle, int pivot_y,
                          int pivot_x, const Rect& src_rect, const TCustomDIBX& src, int zoom_y, int zoom_x);
  virtual void DrawMaskedRotate(int x, int y, int alpha, const TCustomDIBX& alpha_plane, bool flip_v, bool flip_h,
                                int angle, int pivot_y, int pivot_x, const Rect& src_rect, const TCustomDIBX& src,
                                int zoom_y, int zoom_x);
  // Nearest-neighbour stretch of `src_rect` onto `dst_rect`: opacity 255
  // copies, below blends (without the equal-pixel skip).
  virtual void StretchDraw(const Rect& dst_rect, const TCustomDIBX& src, int opacity, bool flip_v, bool flip_h,
                           bool keyed, const Rect& src_rect);
  virtual void StretchDrawMasked(const Rect& dst_rect, const TCustomDIBX& src, int opacity, const TCustomDIBX& alpha,
                                 bool flip_v, bool flip_h, const Rect& src_rect);
  virtual void StretchDrawAdd(const Rect& dst_rect, const TCustomDIBX& src, int opacity, bool flip_v, bool flip_h,
                              bool keyed, const Rect& src_rect);
  virtual void StretchDrawMaskedAdd(const Rect& dst_rect, const TCustomDIBX& src, int opacity,
                                    const TCustomDIBX& alpha, bool flip_v, bool flip_h, const Rect& src_rect);

  // --- Coverage draws ----------------------------------------------------------------
  // A 1-bit source drawn at 1/factor of its size: each factor × factor block
  // counts its 0 bits (ink). Factor 1, 2 or 4.
  virtual void DrawCoverage(int x, int y, int factor, int opacity, bool flip_v, bool flip_h, std::uint32_t value,
                            const Rect& src_rect, const TCustomDIBX& src);
  // A 4-bit source whose low two bits choose background (0) or one of three
  // values; opacity above 255 adds.
  virtual void DrawCoverage3(int x, int y, int factor, int opacity, bool flip_v, bool flip_h, std::uint32_t value1,
                             std::uint32_t value2, std::uint32_t value3, const Rect& src_rect, const TCustomDIBX& src);

  // --- Tiles ----------------------------------------------------------------------------
  // Tiles of `src_rect` over `dst_rect`, the phase choosing where in the tile
  // the top-left destination pixel falls, gaps between the tiles.
  virtual void TileDraw(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, bool keyed, const Rect& src_rect,
                        const TCustomDIBX& src, int gap_y);
  virtual void TileBlend(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, int opacity, bool keyed,
                         const Rect& src_rect, const TCustomDIBX& src, int gap_y);
  virtual void TileAdd(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, int opacity, bool keyed,
                       const Rect& src_rect, const TCustomDIBX& src, int gap_y);
  virtual void TileMasked(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, const TCustomDIBX& alpha,
                          const Rect& src_rect, const TCustomDIBX& src, int gap_y);
  virtual void TileMaskedBlend(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, const TCustomDIBX& alpha,
                               const Rect& src_rect, const TCustomDIBX& src, int gap_y, int opacity);
  virtual void TileMaskedAdd(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, const TCustomDIBX& alpha,
                             const Rect& src_rect, const TCustomDIBX& src, int gap_y, int opacity);
  // Zoomed tiles on a 16.16 lattice whose pitch includes the tile.
  virtual void TileStretch(const Rect& dst_rect, int pitch_x, int phase_y, int phase_x, int alpha, bool flip_v,
                           bool flip_h, bool keyed, const Rect& src_rect, const TCustomDIBX& src, int zoom_y,
                           int zoom_x, int pitch_y);
  virtual void TileStretchMasked(const Rect& dst_rect, int pitch_x, int phase_y, int phase_x, int alpha,
                                 const TCustomDIBX& alpha_plane, bool flip_v, bool flip_h, const Rect& src_rect,
                                 const TCustomDIBX& src, int zoom_y, int zoom_x, int pitch_y);
  // A border filled with the whole pattern repeated.
  virtual void PatternFrame(const Rect& rect, int width, int phase_y, int phase_x, const TCustomDIBX& src);
  // The whole source repeated over the rectangle, source coordinates
  // wrapping; copies only.
  virtual void TileFill(const Rect& dst_rect, const TCustomDIBX& src, bool flip_v, bool flip_h, int phase_y,
                        int phase_x);
  // A zoomed fill that wraps source coordinates.
  virtual void TileZoom(const Rect& dst_rect, int zoom_x, int alpha, bool flip_v, bool flip_h, bool keyed, int phase_y,
                        int phase_x, const TCustomDIBX& src, int zoom_y);
  virtual void TileZoomMasked(const Rect& dst_rect, int zoom_x, int alpha, const TCustomDIBX& alpha_plane, bool flip_v,
                              bool flip_h, int phase_y, int phase_x, const TCustomDIBX& src, int zoom_y);

  // --- Palette draws ----------------------------------------------------------------------
  // A 4-bit source (high nibble first) through 16 entries.
  virtual void DrawPalette16(int x, int y, PixelPalette palette, int alpha, bool flip_v, bool flip_h,
                             const Rect& src_rect, const TCustomDIBX& src);
  // An 8-bit source added through a palette; indices not above the threshold
  // are skipped.
  virtual void DrawPaletteAdd(int x, int y, PixelPalette palette, int opacity, bool flip_v, bool flip_h, int threshold,
                              const Rect& src_rect, const TCustomDIBX& src);
  virtual void StretchPaletteAdd(const Rect& dst_rect, const TCustomDIBX& src, PixelPalette palette, int opacity,
                                 bool flip_v, bool flip_h, int threshold, const Rect& src_rect);

  // --- Files ------------------------------------------------------------------------------
  // By the content at the stream's position: "BM" a bitmap file, "PNG" at
  // byte 1 a PNG file, "Brio" the first frame's picture of a layered file
  // (`image_key` orders its rows). The surface is sized to the picture,
  // keeping its bit count, and the picture converted into it; anything
  // else leaves the surface and the stream as they are. A damaged picture
  // raises core::Error.
  virtual void LoadFromStream(files::Stream& stream, std::int32_t image_key);
  // Loads a ".bmp" file (the extension in any case) that exists; does
  // nothing for other names.
  virtual void LoadFromFile(const std::string& name);
  // Writes the surface as a 24-bit ".bmp" file (replaced atomically); does
  // nothing for other names.
  virtual void SaveToFile(const std::string& name);

  // --- Buffer management -------------------------------------------------------------------
  // Width and height to 0.
  virtual void Clear();
  // Frees platform objects behind the surface (platform-backed surfaces).
  virtual void ReleaseSurface() {}
  virtual void GetPalette(Palette& out) const;
  virtual void GetPaletteEntries(std::span<PaletteEntry> out, int first) const;
  virtual void SetPalette(const Palette& palette);
  virtual void SetPaletteEntries(std::span<const PaletteEntry> entries, int first);
  // Presents the pixels to a context (a window's, for instance).
  virtual void StretchToDC(TDeviceContext& dc, const Rect& dst_rect, const Rect& src_rect);
  // Detaches a shared pixel buffer before it is written.
  virtual void MakeUnique() {}

  // The pixels as the platform can present them (32, 16 or 15 bits), or an
  // empty view. Valid while the surface is not resized.
  virtual platform::PixelView PresentView() const;

 protected:
  // What a generic operation needs of a surface's layout.
  ChannelMasks Masks() const;

  int m_width = 0;
  int m_height = 0;
  Rect m_clip{};
  std::int32_t m_transparent = -1;
  std::vector<Rect> m_content_rects;
  std::vector<Rect> m_second_rects;
};

// Where TileStretch puts its tiles: every cell of the lattice over
// `dst_rect` that reaches `visible`, in drawing order, at the zoomed size of
// `src_rect`. Callers that draw a cell's picture in parts of their own (the
// content rectangles of an unzoomed picture) place the parts by it.
void ForEachTileCell(const Rect& dst_rect, const Rect& visible, const Rect& src_rect, int zoom_x, int zoom_y,
                     int pitch_x, int pitch_y, int phase_x, int phase_y, const std::function<void(const Rect&)>& cell);

}  // namespace nova::graphics
