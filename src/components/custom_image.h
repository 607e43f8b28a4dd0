// TNovaCustomImage and TNovaCustomImages: the base of every component that
// shows a picture (images, tiles, afterimages, and later buttons, preview
// images, particle sprites and the movie), and the frame animation of
// images and tiles.
//
// The custom image draws one picture with zoom, rotation, mirroring,
// opacity or additive strength, through the operation the draw table
// (draw_table.h) names; tests its mask for hits; follows its picture's size
// when its class says so; and leaves afterimages behind while it moves.
// The animated images add the frame index, remaining time, brightness,
// pause and the extra-pause expression of the last frame.
//
// Ownership: the pictures belong to the picture cache. A custom image holds
// its image lists (as one of the item's users) and the own surface that a
// creator may fill; it keeps no cache surface between calls, so a reload of
// the cache never leaves it with a freed picture. Afterimages are registered
// components of their own, held here by handle only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "components/image_list.h"
#include "components/nova_control.h"
#include "expr/nova_parser.h"

namespace nova::components {

// Afterimages one component may have alive at once.
constexpr int kMaxAfterimages = 256;
// Zoomed sizes are held within this, whatever the zoom.
constexpr std::int64_t kMaxZoomedSide = std::int64_t{1} << 24;

// The versions that introduced fields of the image records.
constexpr std::int32_t kImageZoomYVersion = 104;  // zoom y, PR_ONIDLE, map image pause and select
constexpr std::int32_t kMapCloseVersion = 115;    // the map image's close state
constexpr std::int32_t kAfterimageVersion = 140;  // PR_BLURSPAN, PR_BLURDELAY

// picture × zoom ÷ 256 in 64 bits, held within 0 ... kMaxZoomedSide.
std::int32_t zoomed_extent(std::int64_t picture, std::int64_t zoom);

class TNovaCustomImage : public TNovaControl {
 public:
  TNovaCustomImage() = default;
  ~TNovaCustomImage() override;

  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  // --- Properties ------------------------------------------------------------------
  std::int32_t Alpha() const { return m_alpha; }
  void SetAlpha(std::int32_t v);
  std::int32_t ZoomX() const { return m_zoom_x; }
  void SetZoomX(std::int32_t v) { set_zoom(m_zoom_x, v); }
  std::int32_t ZoomY() const { return m_zoom_y; }
  void SetZoomY(std::int32_t v) { set_zoom(m_zoom_y, v); }
  std::int32_t Angle() const { return m_angle; }
  void SetAngle(std::int32_t v);
  bool FlipH() const { return m_flip_h; }
  void SetFlipH(bool v);
  bool FlipV() const { return m_flip_v; }
  void SetFlipV(bool v);
  bool CaptureMask() const { return m_capture_mask; }
  void SetCaptureMask(bool v) { m_capture_mask = v; }
  std::int32_t BlurSpan() const { return m_blur_span; }
  void SetBlurSpan(std::int32_t v) { m_blur_span = v; }
  std::int32_t BlurDelay() const { return m_blur_life; }
  void SetBlurDelay(std::int32_t v) { m_blur_life = v; }
  // PR_ORIGWIDTH, PR_ORIGHEIGHT: the picture's own size.
  std::int32_t OrigWidth() const;
  std::int32_t OrigHeight() const;

  // --- The picture ---------------------------------------------------------------
  // What DrawImage draws: the shown picture of the class, else the own
  // surface when one was filled; none when there is nothing to show.
  virtual const graphics::TCustomDIBX* CurrentPicture();
  virtual const graphics::TCustomDIBX* CurrentAlpha() const { return nullptr; }
  // The size of what is shown, without building anything.
  virtual std::optional<Size> PictureSize() const;
  // The picture's surfaces are released around a display-mode change.
  virtual bool PictureLost() const { return false; }
  // Images, tiles and movies take their width and height from the picture.
  virtual bool SizeFollowsImage() const { return false; }
  // The own surface, filled by a creator (Flip's snapshot); it counts as
  // the picture when no class picture is shown.
  graphics::TDIBX& OwnSurface();
  bool HasOwnSurface() const { return m_own != nullptr; }
  // Where the current frame lies within the component (trimmed frames).
  Point FrameOffset() const { return m_frame_offset; }

  // The size rule: width and height from the picture and the zoom, now or
  // at the next update.
  void RecomputeSize();
  void MarkSizeDirty() { m_size_dirty = true; }
  void SettlePendingSize() override {
    if (m_size_dirty) RecomputeSize();
  }

  // Draws the current picture at the screen position.
  virtual void DrawImage(graphics::TCustomDIBX& target);
  // Before and after DrawImage (the movie's).
  virtual void BeforeDrawImage(graphics::TCustomDIBX&) {}
  virtual void AfterDrawImage(graphics::TCustomDIBX&) {}

  // The screen rectangle the picture covers: the control's without angle,
  // else the bounding box of the rotated, zoomed picture.
  Rect DrawnRect() const;
  // Copies the common fields into a new afterimage.
  void CopyInto(TNovaCustomImage& copy) const;
  // Whether the point, in the unrotated picture, passes the mask test.
  virtual bool MaskHit(Point p) const;

  // --- Overrides --------------------------------------------------------------------
  void Paint(graphics::TCustomDIBX& surface) override;
  void Invalidate() override;
  // The hit test of images (registered in the table): the drawn rectangle,
  // the children, then the picture's mask, back through the rotation.
  TNovaObject* HitTestImage(Point p, std::uint32_t modes);
  std::optional<Size> ImageSize() const override { return PictureSize(); }
  // The base update, the afterimages, then a deferred size.
  bool Update() override;
  void SaveToStream(core::ByteWriter& w) const override;
  void LoadFromStream(core::ByteReader& r, std::int32_t version) override;

 protected:
  void set_frame_offset(Point p) { m_frame_offset = p; }
  // The unzoomed, unrotated picture at (x, y) drawn content rectangle by
  // content rectangle (mirrored within the picture for the flips), each
  // with the operation of the draw table, so that empty areas cost nothing
  // and the pixels are those of one whole draw.
  void DrawContentRects(graphics::TCustomDIBX& target, const graphics::TCustomDIBX& pic,
                        const graphics::TCustomDIBX* plane, int x, int y, std::int32_t alpha) const;
  // The values an afterimage copies and the snapshot compares.
  virtual std::int32_t SnapshotIndex() const { return -1; }
  virtual std::int32_t ScrollXValue() const { return 0; }
  virtual std::int32_t ScrollYValue() const { return 0; }
  // Makes the afterimage component of this class (registered, unnamed).
  virtual TNovaCustomImage* MakeAfterimage();
  // The picture's own alpha plane at (x, y) of the picture, or none outside
  // it (the tile wraps).
  virtual std::optional<std::uint8_t> PlaneAt(const graphics::TCustomDIBX& plane, std::int64_t x, std::int64_t y) const;
  std::int32_t ElapsedMs() const;

 private:
  void set_zoom(std::int32_t& field, std::int32_t v);
  void update_afterimages();

  Point m_frame_offset{};
  std::unique_ptr<graphics::TDIBX> m_own;
  std::int32_t m_alpha = 255;
  std::int32_t m_zoom_x = 256;
  std::int32_t m_zoom_y = 256;
  std::int32_t m_angle = 0;
  bool m_flip_h = false;
  bool m_flip_v = false;
  bool m_capture_mask = false;
  bool m_size_dirty = false;
  std::int32_t m_blur_span = 0;
  std::int32_t m_blur_life = 0;
  std::int32_t m_blur_timer = 0;
  std::array<std::int32_t, 8> m_snapshot{};
  bool m_snapshot_taken = false;
  std::vector<ComponentId> m_afterimages;
};

class TNovaCustomImages : public TNovaCustomImage {
 public:
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  // The image list the animation steps through (images: the first).
  virtual TNovaImageList& List() = 0;
  const TNovaImageList& List() const { return const_cast<TNovaCustomImages*>(this)->List(); }
  virtual bool Repeats() const = 0;
  // Answers whether the component is finished (auto scrap at the end).
  virtual bool AtEnd();

  std::int32_t Index() const { return m_index; }
  // PR_INDEX: selects the frame (brightness applied), its offset, adds its
  // delay and resizes a component whose size follows the picture.
  void SetIndex(std::int32_t index);
  std::int32_t Count() const { return List().Count(); }
  std::int32_t Brightness() const { return m_brightness; }
  void SetBrightness(std::int32_t v);
  bool Paused() const { return m_paused; }
  void SetPaused(bool v);
  std::int32_t Remaining() const { return m_remaining; }
  void SetRemaining(std::int32_t ms) { m_remaining = ms; }
  bool AnimationPlaying() const;
  // The extra pause of the last frame: a copy of the creating command's
  // compiled PR_DELAY expression.
  void SetExtraPause(const expr::TNovaParser& expression) { m_extra.assign(expression); }
  void TakeExpression(TPropId id, const expr::TNovaParser& expression) override {
    if (id == PR_DELAY) SetExtraPause(expression);
  }
  const expr::TNovaParser& ExtraPause() const { return m_extra; }

  const graphics::TCustomDIBX* CurrentPicture() override;
  const graphics::TCustomDIBX* CurrentAlpha() const override;
  // PR_VISIBLE also restarts the frame's time.
  void SetVisibleResetting(bool v);
  std::optional<Size> PictureSize() const override;
  bool PictureLost() const override { return List().Lost(); }

  void SaveToStream(core::ByteWriter& w) const override;
  void LoadFromStream(core::ByteReader& r, std::int32_t version) override;

 protected:
  // The frame animation; answers true when the component is finished.
  bool Animate();
  std::int32_t SnapshotIndex() const override { return m_index; }
  // Clears the index, the pictures and the list (a new source).
  void ClearPictures();
  void set_index_field(std::int32_t v) { m_index = v; }

 private:
  std::int32_t extra_pause();

  std::int32_t m_remaining = 0;
  std::int32_t m_index = -1;
  std::int32_t m_brightness = 0;
  bool m_paused = false;
  bool m_finished = false;
  expr::TNovaParser m_extra;
};

}  // namespace nova::components
