// The image components: TNovaImages (LT_IMAGES, a still or animated
// picture), TNovaTile (LT_TILE, a picture repeated over an area), TNovaImage
// (the sprite that frame lists place), and the afterimages TNovaBlurImage
// and TNovaBlurTile that images and tiles leave behind while they move.
//
// Ownership: each is a registered component of its base list; its image
// list makes it a user of its cache item (owner id: its handle). An
// afterimage is a user of the same item and shares its source's brightness
// copies, holding the source by handle only, so it draws safely after the
// source is re-sourced or destroyed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "components/custom_image.h"

namespace nova::components {

class TComponentFactory;

// What a source name asks for, by its extension (without regard to case).
enum class SourceKind : std::uint8_t { None, Picture, Motion };
SourceKind source_kind(std::string_view name);

class TNovaImages : public TNovaCustomImages {
 public:
  TNovaImages();
  TComponentType ComponentType() const override { return LT_IMAGES; }
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  TNovaImageList& List() override { return *m_lists.front(); }
  bool Repeats() const override { return m_repeat; }
  bool AtEnd() override;
  bool SizeFollowsImage() const override { return true; }

  const std::string& Source() const { return m_source; }
  // PR_SOURCE: ".bri" loads through the cache (frame 0 selected), ".nmt"
  // would attach a motion, anything else leaves the image empty (0 × 0).
  void SetSource(std::string_view name);
  bool Repeat() const { return m_repeat; }
  // Setting it restarts the animation at frame 0 when no frame is selected.
  void SetRepeat(bool v);
  bool AutoScrap() const { return m_auto_scrap; }
  void SetAutoScrap(bool v) { m_auto_scrap = v; }
  const std::string& OnPlayEnd() const { return m_on_play_end; }
  void SetOnPlayEnd(std::string_view v) { m_on_play_end = v; }
  const std::string& OnIdle() const { return m_on_idle; }
  void SetOnIdle(std::string_view v) { m_on_idle = v; }

  bool Update() override;
  void SaveToStream(core::ByteWriter& w) const override;
  void LoadFromStream(core::ByteReader& r, std::int32_t version) override;

 protected:
  TNovaCustomImage* MakeAfterimage() override;

 private:
  std::vector<std::unique_ptr<TNovaImageList>> m_lists;
  bool m_repeat = false;
  bool m_auto_scrap = false;
  std::string m_source;
  std::string m_on_play_end;
  std::string m_on_idle;
};

class TNovaTile : public TNovaCustomImages {
 public:
  TComponentType ComponentType() const override { return LT_TILE; }
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  TNovaImageList& List() override { return m_list; }
  // A tile always repeats.
  bool Repeats() const override { return true; }
  bool RepeatFlag() const { return true; }
  bool SizeFollowsImage() const override { return true; }

  const std::string& Source() const { return m_source; }
  // As an image's, except that another extension loads nothing and keeps
  // the size.
  void SetSource(std::string_view name);
  std::int32_t ScrollX() const { return m_scroll_x; }
  void SetScrollX(std::int32_t v);
  std::int32_t ScrollY() const { return m_scroll_y; }
  void SetScrollY(std::int32_t v);
  std::int32_t DistanceX() const { return m_distance_x; }
  void SetDistanceX(std::int32_t v);
  std::int32_t DistanceY() const { return m_distance_y; }
  void SetDistanceY(std::int32_t v);
  const std::string& OnIdle() const { return m_on_idle; }
  void SetOnIdle(std::string_view v) { m_on_idle = v; }

  // Parent's screen position plus the tile's own (or its motion position),
  // minus the parent's scroll: no center and no zoom of the position.
  std::int32_t ScreenLeft() const override;
  std::int32_t ScreenTop() const override;
  Point GetDrawOrigin() const override { return {ScreenLeft(), ScreenTop()}; }

  // Fills the screen rectangle with the current frame repeated.
  void DrawImage(graphics::TCustomDIBX& target) override;
  bool Update() override;
  void SaveToStream(core::ByteWriter& w) const override;
  void LoadFromStream(core::ByteReader& r, std::int32_t version) override;

 protected:
  TNovaCustomImage* MakeAfterimage() override;
  std::int32_t ScrollXValue() const override { return m_scroll_x; }
  std::int32_t ScrollYValue() const override { return m_scroll_y; }
  // The plane wraps by the picture's size, moved by the scroll phase.
  std::optional<std::uint8_t> PlaneAt(const graphics::TCustomDIBX& plane, std::int64_t x,
                                      std::int64_t y) const override;
  std::int32_t axis_screen(bool horizontal) const;

 private:
  friend class TNovaBlurTile;
  TNovaImageList m_list;
  std::string m_source;
  std::int32_t m_scroll_x = 0;
  std::int32_t m_scroll_y = 0;
  std::string m_on_idle;
  std::int32_t m_distance_x = 0;
  std::int32_t m_distance_y = 0;
};

// The sprite of frame lists: one cache item and its current frame.
class TNovaImage : public TNovaCustomImage {
 public:
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();
  bool SizeFollowsImage() const override { return true; }

  const std::string& Source() const { return m_source; }
  void SetSource(std::string_view name);
  std::int32_t Brightness() const { return m_brightness; }
  void SetBrightness(std::int32_t v);
  std::int32_t Frame() const { return m_frame; }
  void SetFrame(std::int32_t index);

  const graphics::TCustomDIBX* CurrentPicture() override;
  const graphics::TCustomDIBX* CurrentAlpha() const override { return m_list.Alpha(m_frame); }
  std::optional<Size> PictureSize() const override;
  bool PictureLost() const override { return m_list.Lost(); }

 private:
  TNovaImageList m_list;
  std::string m_source;
  std::int32_t m_brightness = 0;
  std::int32_t m_frame = -1;
};

// What an afterimage keeps of its source and its own fading.
struct AfterimageLife {
  ComponentId source;
  std::int32_t start_alpha = 0;
  std::int32_t life = 1;
  std::int32_t elapsed = 0;
  std::int32_t source_width = 0;
  std::int32_t source_height = 0;
  // Adds the frame's time; answers the alpha to show, or none when the life
  // is over.
  std::optional<std::int32_t> step(std::int32_t elapsed_ms);
};

// The alpha an afterimage starts with: the source's range kept, its
// strength halved.
constexpr std::int32_t afterimage_start_alpha(std::int32_t alpha) { return alpha / 256 * 256 + alpha % 256 / 2; }

class TNovaBlurImage : public TNovaCustomImage {
 public:
  // Shows the source's current pictures from now on.
  void Start(TNovaCustomImages& source, TNovaImageList& list);
  bool IsAfterimage() const override { return true; }
  std::int32_t AfterimageAlpha() const override { return Alpha(); }
  ComponentId AfterimageSource() const override { return m_life.source; }
  const graphics::TCustomDIBX* CurrentPicture() override { return m_list.Picture(m_frame, m_brightness); }
  const graphics::TCustomDIBX* CurrentAlpha() const override { return m_list.Alpha(m_frame); }
  std::optional<Size> PictureSize() const override;
  bool PictureLost() const override { return m_list.Lost(); }
  bool Update() override;

 private:
  TNovaImageList m_list;
  std::int32_t m_frame = -1;
  std::int32_t m_brightness = 0;
  AfterimageLife m_life;
};

class TNovaBlurTile : public TNovaTile {
 public:
  void Start(TNovaTile& source);
  bool IsAfterimage() const override { return true; }
  std::int32_t AfterimageAlpha() const override { return Alpha(); }
  ComponentId AfterimageSource() const override { return m_life.source; }
  // Fades; never animates.
  bool Update() override;

 private:
  AfterimageLife m_life;
};

// Adds LT_IMAGES, LT_TILE and LT_MAPIMG to the factory.
void register_image_classes(TComponentFactory& factory);

}  // namespace nova::components
