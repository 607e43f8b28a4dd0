// TNovaMapImage (LT_MAPIMG): a selection picture whose areas come from a
// map file. The pointer over an area shows the hover picture inside that
// area only; a left press selects the area (@SelStr, @SelIndex and
// PR_ONSELECT), a right click closes the component.
//
// Both pictures are acquired with "?m", so every frame has a plane; each is
// drawn through a plane derived from its own (the normal picture without
// the hovered area, the hover picture within it), rebuilt only when the
// hovered area or the frame's generation changes.
//
// Ownership: a registered component; its image lists make it a user of the
// two cache items; it is in the base list's right-click list from its
// creation to its destruction.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "components/image_list.h"
#include "components/map_file.h"
#include "components/nova_control.h"

namespace nova::components {

// Close states: closing began, then the next update; the one after ends it.
constexpr std::int32_t kMapClosing = 100;
constexpr std::int32_t kMapClosingLast = 101;

class TNovaMapImage : public TNovaControl {
 public:
  TNovaMapImage() = default;
  ~TNovaMapImage() override;
  TComponentType ComponentType() const override { return LT_MAPIMG; }
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  const std::string& Source() const { return m_source; }
  void SetSource(std::string_view name);
  const std::string& HoverSource() const { return m_hover_source; }
  void SetHoverSource(std::string_view name);
  const std::string& MapSource() const { return m_map_source; }
  // Reads the map; a missing file gives no areas, a damaged one no areas
  // and a logged error naming it.
  void SetMapSource(std::string_view name);
  std::int32_t Alpha() const { return m_alpha; }
  void SetAlpha(std::int32_t v);
  std::int32_t Brightness() const { return m_brightness; }
  void SetBrightness(std::int32_t v);
  bool AutoScrap() const { return m_auto_scrap; }
  void SetAutoScrap(bool v) { m_auto_scrap = v; }
  bool RClickScrap() const { return m_rclick_scrap; }
  void SetRClickScrap(bool v) { m_rclick_scrap = v; }
  bool Paused() const { return m_paused; }
  void SetPaused(bool v) { m_paused = v; }
  bool RepeatFlag() const { return true; }
  const std::string& Target(int id) const;
  void SetTarget(int id, std::string_view v);

  const std::vector<MapArea>& Areas() const { return m_areas; }
  std::int32_t Hovered() const { return m_hovered; }
  std::int32_t CloseState() const { return m_close_state; }
  // Closing: blocked at once, finished two updates later.
  void StartClosing();

  bool IsEventBlocked() const override { return m_close_state != 0; }
  void Paint(graphics::TCustomDIBX& surface) override;
  bool Update() override;
  void MouseMove() override;
  void MouseOut(ComponentId new_hover) override;
  void LButtonDown() override;
  bool RightClickClose() override;
  void SaveToStream(core::ByteWriter& w) const override;
  void LoadFromStream(core::ByteReader& r, std::int32_t version) override;

 protected:
  void Created() override;

 private:
  // A frame's derived plane and what it was built for.
  struct Derived {
    std::int32_t area = -2;
    std::uint64_t generation = 0;
    std::unique_ptr<graphics::TDIBX> plane;
  };
  void load_list(TNovaImageList& list, std::vector<Derived>& derived, std::string_view name);
  const graphics::TDIBX* derived_plane(TNovaImageList& list, std::vector<Derived>& derived, bool inside);
  void draw_list(graphics::TCustomDIBX& surface, TNovaImageList& list, std::vector<Derived>& derived, bool inside);
  void set_hovered(std::int32_t area);
  void invalidate_area(std::int32_t area);

  TNovaImageList m_normal;
  TNovaImageList m_hover;
  std::vector<Derived> m_normal_planes;
  std::vector<Derived> m_hover_planes;
  std::string m_source;
  std::string m_hover_source;
  std::string m_map_source;
  std::int32_t m_alpha = 255;
  std::int32_t m_brightness = 0;
  bool m_auto_scrap = false;
  bool m_rclick_scrap = false;
  bool m_paused = false;
  std::string m_on_map_in;
  std::string m_on_map_out;
  std::string m_on_select;
  std::string m_on_idle;
  std::vector<MapArea> m_areas;
  std::int32_t m_hovered = -1;
  std::int32_t m_close_state = 0;
};

}  // namespace nova::components
