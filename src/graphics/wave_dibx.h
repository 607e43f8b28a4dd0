// TDIBXWave: a surface that draws into another one with a horizontal offset
// per row (the wave components' rippling pictures).
//
// Coordinates are the target's. The offset table has one entry per row of
// the wave window, whose top-left corner in the target is (OriginX,
// OriginY). Every drawing operation is split into bands of consecutive rows
// with equal offsets; each band is drawn on the target, moved right by its
// offset, with the target's clip narrowed to the band's rows for the
// duration. A flat wave is one forwarded call. Rows outside the table are
// not drawn. The wave surface has no pixels of its own: Lock gives nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/dibx.h"

namespace nova::graphics {

class TDIBXWave : public TCustomDIBX {
 public:
  // The target is borrowed and must outlive the wave surface (or be
  // replaced first).
  explicit TDIBXWave(TCustomDIBX* target = nullptr) : m_target(target) {}

  void SetTarget(TCustomDIBX* target) { m_target = target; }
  TCustomDIBX* GetTarget() const override { return m_target; }
  int GetBitCount() const override { return m_target ? m_target->GetBitCount() : 0; }
  int GetStorageBitCount() const override { return m_target ? m_target->GetStorageBitCount() : 0; }
  std::int32_t ColorToPixel(std::int32_t colour) const override;
  // Records the size of the wave window; the offset table gets `height`
  // entries (new ones 0).
  void SetSize(int width, int height, int bit_count) override;

  std::vector<int>& Offsets() { return m_offsets; }
  const std::vector<int>& Offsets() const { return m_offsets; }
  int OriginX() const { return m_origin_x; }
  int OriginY() const { return m_origin_y; }
  void SetOrigin(int x, int y) {
    m_origin_x = x;
    m_origin_y = y;
  }
  // Copies the target's clip into the saved copy, and back. The slot is the
  // caller's alone: forwarded draws keep their own copy.
  void SaveTargetClip();
  void RestoreTargetClip();

  // Clamps the rectangle to the wave window, keeps the union here and hands
  // the union to the target.
  void IncludeClipRect(const Rect& rect) override;
  void ResetClip() override;

  void FillRect(const Rect& rect, std::uint32_t value) override;
  void BlendRect(const Rect& rect, std::uint32_t value, int opacity) override;
  void AddRect(const Rect& rect, std::uint32_t value) override;
  void SubRect(const Rect& rect, std::uint32_t value) override;
  void Draw(int x, int y, bool flip_v, bool flip_h, bool keyed, const Rect& src_rect, const TCustomDIBX& src) override;
  void DrawMasked(int x, int y, const TCustomDIBX& alpha, bool flip_v, bool flip_h, const Rect& src_rect,
                  const TCustomDIBX& src) override;
  void DrawBlend(int x, int y, int opacity, bool flip_v, bool flip_h, bool keyed, const Rect& src_rect,
                 const TCustomDIBX& src) override;
  void DrawMaskedBlend(int x, int y, int opacity, const TCustomDIBX& alpha, bool flip_v, bool flip_h,
                       const Rect& src_rect, const TCustomDIBX& src) override;
  void DrawAdd(int x, int y, int opacity, bool flip_v, bool flip_h, bool keyed, const Rect& src_rect,
               const TCustomDIBX& src) override;
  void DrawMaskedAdd(int x, int y, int opacity, const TCustomDIBX& alpha, bool flip_v, bool flip_h,
                     const Rect& src_rect, const TCustomDIBX& src) override;
  void DrawColorMasked(int x, int y, int opacity, std::uint32_t value, bool flip_v, bool flip_h, const Rect& src_rect,
                       const TCustomDIBX& mask) override;
  void DrawRotate(int x, int y, int alpha, bool flip_v, bool flip_h, bool keyed, int angle, int pivot_y, int pivot_x,
                  const Rect& src_rect, const TCustomDIBX& src, int zoom_y, int zoom_x) override;
  void DrawMaskedRotate(int x, int y, int alpha, const TCustomDIBX& alpha_plane, bool flip_v, bool flip_h, int angle,
                        int pivot_y, int pivot_x, const Rect& src_rect, const TCustomDIBX& src, int zoom_y,
                        int zoom_x) override;
  void StretchDraw(const Rect& dst_rect, const TCustomDIBX& src, int opacity, bool flip_v, bool flip_h, bool keyed,
                   const Rect& src_rect) override;
  void StretchDrawMasked(const Rect& dst_rect, const TCustomDIBX& src, int opacity, const TCustomDIBX& alpha,
                         bool flip_v, bool flip_h, const Rect& src_rect) override;
  void StretchDrawAdd(const Rect& dst_rect, const TCustomDIBX& src, int opacity, bool flip_v, bool flip_h, bool keyed,
                      const Rect& src_rect) override;
  void StretchDrawMaskedAdd(const Rect& dst_rect, const TCustomDIBX& src, int opacity, const TCustomDIBX& alpha,
                            bool flip_v, bool flip_h, const Rect& src_rect) override;
  void DrawCoverage(int x, int y, int factor, int opacity, bool flip_v, bool flip_h, std::uint32_t value,
                    const Rect& src_rect, const TCustomDIBX& src) override;
  void DrawCoverage3(int x, int y, int factor, int opacity, bool flip_v, bool flip_h, std::uint32_t value1,
                     std::uint32_t value2, std::uint32_t value3, const Rect& src_rect, const TCustomDIBX& src) override;
  void TileDraw(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, bool keyed, const Rect& src_rect,
                const TCustomDIBX& src, int gap_y) override;
  void TileBlend(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, int opacity, bool keyed,
                 const Rect& src_rect, const TCustomDIBX& src, int gap_y) override;
  void TileAdd(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, int opacity, bool keyed, const Rect& src_rect,
               const TCustomDIBX& src, int gap_y) override;
  void TileMasked(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, const TCustomDIBX& alpha,
                  const Rect& src_rect, const TCustomDIBX& src, int gap_y) override;
  void TileMaskedBlend(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, const TCustomDIBX& alpha,
                       const Rect& src_rect, const TCustomDIBX& src, int gap_y, int opacity) override;
  void TileMaskedAdd(const Rect& dst_rect, int gap_x, int phase_y, int phase_x, const TCustomDIBX& alpha,
                     const Rect& src_rect, const TCustomDIBX& src, int gap_y, int opacity) override;
  void TileStretch(const Rect& dst_rect, int pitch_x, int phase_y, int phase_x, int alpha, bool flip_v, bool flip_h,
                   bool keyed, const Rect& src_rect, const TCustomDIBX& src, int zoom_y, int zoom_x,
                   int pitch_y) override;
  void TileStretchMasked(const Rect& dst_rect, int pitch_x, int phase_y, int phase_x, int alpha,
                         const TCustomDIBX& alpha_plane, bool flip_v, bool flip_h, const Rect& src_rect,
                         const TCustomDIBX& src, int zoom_y, int zoom_x, int pitch_y) override;
  void PatternFrame(const Rect& rect, int width, int phase_y, int phase_x, const TCustomDIBX& src) override;
  void TileFill(const Rect& dst_rect, const TCustomDIBX& src, bool flip_v, bool flip_h, int phase_y,
                int phase_x) override;
  void TileZoom(const Rect& dst_rect, int zoom_x, int alpha, bool flip_v, bool flip_h, bool keyed, int phase_y,
                int phase_x, const TCustomDIBX& src, int zoom_y) override;
  void TileZoomMasked(const Rect& dst_rect, int zoom_x, int alpha, const TCustomDIBX& alpha_plane, bool flip_v,
                      bool flip_h, int phase_y, int phase_x, const TCustomDIBX& src, int zoom_y) override;
  void DrawPalette16(int x, int y, PixelPalette palette, int alpha, bool flip_v, bool flip_h, const Rect& src_rect,
                     const TCustomDIBX& src) override;
  void DrawPaletteAdd(int x, int y, PixelPalette palette, int opacity, bool flip_v, bool flip_h, int threshold,
                      const Rect& src_rect, const TCustomDIBX& src) override;
  void StretchPaletteAdd(const Rect& dst_rect, const TCustomDIBX& src, PixelPalette palette, int opacity, bool flip_v,
                         bool flip_h, int threshold, const Rect& src_rect) override;

  // Bands forwarded by the last operation (for tests of the banding).
  int LastBandCount() const { return m_last_bands; }

 private:
  // Runs draw(offset) once per band of rows [top, bottom) on the target.
  template <class DrawBand>
  void forward(int top, int bottom, DrawBand draw);
  // All rows of the table.
  template <class DrawBand>
  void forward_all(DrawBand draw) {
    forward(m_origin_y, m_origin_y + static_cast<int>(m_offsets.size()), draw);
  }

  TCustomDIBX* m_target = nullptr;
  std::vector<int> m_offsets;
  int m_origin_x = 0;
  int m_origin_y = 0;
  Rect m_saved_clip{};
  int m_last_bands = 0;
};

}  // namespace nova::graphics
