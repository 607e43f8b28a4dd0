// TNovaBase: a screen base, one of the two full-screen layers of a base
// list on which visual components are placed. The list makes both at its
// construction, names them byte 1 + "BASE0" and byte 1 + "BASE1", owns
// them and keeps them out of its registry: they are reached through the
// list and the base names only, are never updated by the registry's pass,
// saved among its components or deleted by ObjDel. Which one is the front
// base is the list's front index.
//
// A base keeps its dirty rectangles and the pointer and button state the
// window gives it between frames; the front base's mouse dispatch turns
// them into the components' mouse operations once per frame. The hover
// component is held by handle: it may be destroyed at any time, and a
// reused slot is not taken for it.
//
// Surfaces: a base owns its own picture and a work surface, both at the
// base's size and the list's bit depth (the work surface's colour key is
// 0x800080). The front base paints into the list's display surface while
// no transition runs; otherwise, and always for the back base, it paints
// into its own surface, which a transition reads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "components/clip_list.h"
#include "components/nova_control.h"
#include "graphics/memory_dibx.h"

namespace nova::components {

// Bits of TNovaBase::capture.
enum TCaptureFlags : std::uint8_t {
  CF_LCLICK_PENDING = 1,
  CF_RCLICK_PENDING = 2,
  CF_LPRESS_CAPTURED = 4,
  CF_RPRESS_CAPTURED = 8,
};

// Hit-test mode sets (bits 1 << IM_*).
constexpr std::uint32_t im_bit(TIgnoreMouse m) { return 1u << m; }
constexpr std::uint32_t kLeftPressModes = im_bit(IM_NONE) | im_bit(IM_RCLICK);
constexpr std::uint32_t kRightPressModes = im_bit(IM_NONE) | im_bit(IM_LCLICK);
constexpr std::uint32_t kHoverModes = im_bit(IM_NONE) | im_bit(IM_CLICK) | im_bit(IM_LCLICK) | im_bit(IM_RCLICK);

class TNovaBase final : public TNovaControl {
 public:
  bool IsScreenBase() const override { return true; }
  TNovaControl* GetBase() const override { return const_cast<TNovaBase*>(this); }
  // A base is the top of the chain: the rectangle goes to its dirty list.
  void InvalidateRect(const Rect& rect) override { AddDirtyRect(rect); }
  // Clips to the base and adds to the dirty list.
  void AddDirtyRect(const Rect& rect) override;
  // For each dirty rectangle: the base's colour (PR_COLOR at least 0),
  // then the children. Nothing when the base is hidden.
  void Paint(graphics::TCustomDIBX& target) override;
  // The whole base the same way, whatever is dirty (a screen shot); the
  // dirty list is left as it is.
  void PaintWhole(graphics::TCustomDIBX& target);
  // The whole base becomes dirty.
  void InvalidateAll();
  Rect Bounds() const { return {0, 0, Width(), Height()}; }

  TClipList& dirty() { return m_dirty; }
  const TClipList& dirty() const { return m_dirty; }

  // Stores the pointer position (base coordinates) and notes a move.
  void SetPointer(std::int32_t x, std::int32_t y);
  Point pointer() const { return {m_pointer_x, m_pointer_y}; }

  // The window's input, kept between frames. `*_now` are this frame's
  // edges, taken by TakeEdges at the frame start.
  bool left_pressed = false, left_pressed_now = false;
  bool right_pressed = false, right_pressed_now = false;
  bool left_held = false, right_held = false;
  bool moved = false;
  bool wheel_down = false, wheel_down_now = false;
  bool wheel_up = false, wheel_up_now = false;
  std::uint8_t capture = 0;
  // The component under the pointer in the last frame.
  ComponentId hover;
  // The cursor file shown over the panel.
  std::string cursor_file;

  // Step 1 of the mouse dispatch: this frame's edges from the window's
  // flags, which are cleared.
  void TakeEdges();
  // Forgets the buttons, wheel and capture (deactivation, ReleaseInput).
  void ReleaseButtons();

  // The base's own picture and work surface; nullptr while released or
  // before the base has a size.
  graphics::TDIBX* surface() const { return m_surface.get(); }
  graphics::TDIBX* work_surface() const { return m_work.get(); }
  // (Re)makes both surfaces at the base's size and `bit_count` when both
  // sides are positive (black afterwards).
  void MakeSurfaces(int bit_count);
  // Frees both surfaces (before a display-mode change).
  void ReleaseSurfaces() override;

 private:
  // The colour and the children inside `area`, clipped to it.
  void paint_area(graphics::TCustomDIBX& target, const Rect& area);

  TClipList m_dirty;
  std::unique_ptr<graphics::TDIBX> m_surface;
  std::unique_ptr<graphics::TDIBX> m_work;
  std::int32_t m_pointer_x = 0;
  std::int32_t m_pointer_y = 0;
};

}  // namespace nova::components
