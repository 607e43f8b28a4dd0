// TNovaControl: a visual component. It has a place in the tree of parents
// and children (the screen bases at the roots), a position, size, center,
// clip, the mouse, key and focus events, and screen coordinates computed up
// the parent chain.
//
// The control owns nothing of its tree: its children are registered
// components, owned by the base list like every other, and the child list
// only orders them. The list keeps the links exact: destroying a control
// destroys its children first and takes it out of its parent's list, so a
// parent or child pointer never dangles. Trees are at most kMaxTreeDepth
// levels deep below their root, so the recursive walks stay shallow.
//
// Setters of position, size, center, clip, plus offset and visibility do
// nothing when the value is unchanged, and otherwise invalidate the old
// rectangle, store the value and invalidate the new one. Invalidation,
// painting, hit tests, the mouse operations and the focus upkeep on
// visibility and PR_HANDLEKEY belong to the screen bases and do nothing
// here.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "components/control_motion.h"
#include "components/nova_object.h"

namespace nova::components {

// The deepest a control may lie below the root of its tree (a screen base
// or a control without parent). Deeper records fail to load; a parent
// change that would go deeper is ignored.
constexpr int kMaxTreeDepth = 1024;

// PR_IGNOREMOUSE values.
enum TIgnoreMouse : std::uint8_t { IM_NONE = 0, IM_ALL = 1, IM_CLICK = 2, IM_LCLICK = 3, IM_RCLICK = 4 };

class TNovaControl : public TNovaComponent {
 public:
  TNovaControl() = default;
  ~TNovaControl() override;

  TNovaControl* AsControl() override { return this; }
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  // --- Fields by property ------------------------------------------------------
  std::int32_t Left() const { return m_left; }
  std::int32_t Top() const { return m_top; }
  std::int32_t Width() const { return m_width; }
  std::int32_t Height() const { return m_height; }
  std::int32_t CenterX() const { return m_center_x; }
  std::int32_t CenterY() const { return m_center_y; }
  // The field; PR_VISIBLE may answer otherwise (a cabinet is never visible).
  bool VisibleField() const { return m_visible; }
  std::int32_t Color() const { return m_color; }
  std::uint8_t IgnoreMouse() const { return m_ignore_mouse; }
  const std::string& Cursor() const { return m_cursor; }
  bool PosZoomed() const { return m_pos_zoomed; }
  std::int32_t ClipLeft() const { return m_clip[0]; }
  std::int32_t ClipTop() const { return m_clip[1]; }
  std::int32_t ClipWidth() const { return m_clip[2]; }
  std::int32_t ClipHeight() const { return m_clip[3]; }
  std::int32_t PlusX() const { return m_plus_x; }
  std::int32_t PlusY() const { return m_plus_y; }
  bool AniPaused() const { return m_ani_paused; }
  bool HandleKey() const { return m_handle_key; }
  // True while an attached motion plays.
  bool Playing() const { return m_motion && m_motion->Playing(); }

  void SetLeft(std::int32_t v) { change(m_left, v, Then::NewPosition); }
  void SetTop(std::int32_t v) { change(m_top, v, Then::NewPosition); }
  void SetWidth(std::int32_t v) { change(m_width, v); }
  void SetHeight(std::int32_t v) { change(m_height, v); }
  void SetCenterX(std::int32_t v) { change(m_center_x, v, Then::Position); }
  void SetCenterY(std::int32_t v) { change(m_center_y, v, Then::Position); }
  void SetVisible(bool v);
  void SetColor(std::int32_t v) { change(m_color, v); }
  void SetIgnoreMouse(std::int32_t v) { m_ignore_mouse = static_cast<std::uint8_t>(v); }
  void SetCursor(std::string_view v) { m_cursor = v; }
  void SetPosZoomed(bool v) { change(m_pos_zoomed, v, Then::Position); }
  void SetClipLeft(std::int32_t v) { change(m_clip[0], v, Then::Clip); }
  void SetClipTop(std::int32_t v) { change(m_clip[1], v, Then::Clip); }
  void SetClipWidth(std::int32_t v) { change(m_clip[2], v, Then::Clip); }
  void SetClipHeight(std::int32_t v) { change(m_clip[3], v, Then::Clip); }
  void SetPlusX(std::int32_t v) { change(m_plus_x, v); }
  void SetPlusY(std::int32_t v) { change(m_plus_y, v); }
  void SetAniPaused(bool v) { m_ani_paused = v; }
  void SetHandleKey(bool v);
  // Sets all four, invalidating before and after.
  void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);

  // The event properties of the control, by id (PR_ONMOUSEMOVE ...
  // PR_ONWHEELUP, PR_ONMOUSEIN, PR_ONKEYDOWN ... PR_ONFOCUSOUT).
  const std::string& EventTarget(int id) const { return target_at(event_slot(id)); }
  void SetEventTarget(int id, std::string_view target) { set_target_at(event_slot(id), target); }

  // --- The tree -------------------------------------------------------------------
  TNovaControl* Parent() const { return m_parent; }
  // PR_PARENT's name, or empty without parent.
  std::string ParentName() const;
  // PR_PARENT: writing to a screen base is ignored; otherwise the control
  // the control lookup finds becomes the parent (a name it does not find
  // changes nothing).
  void SetParentName(std::string_view name);
  // Moves the control under `parent` (none: out of the tree). Nothing
  // happens for the current parent, the control itself, one of its
  // descendants, a control of another list, or a parent under which the
  // tree would grow deeper than kMaxTreeDepth (logged).
  void SetParent(TNovaControl* parent);
  // The children in sibling order (the list is sorted and compacted first
  // when it changed). The span is valid until the children change.
  std::span<TNovaControl* const> Children() const {
    if (m_children_unsorted || m_child_holes != 0) tidy_children();
    return m_children;
  }
  void AddChild(TNovaControl& child);
  void RemoveChild(TNovaControl& child);
  // Sorts the children by the sibling order now. Sorting otherwise waits
  // until the children are next looked at.
  void SortChildren();
  // Number of controls above this one up to the root.
  int Depth() const;

  // The attached motion file, if any.
  ControlMotion* GetMotion() const { return m_motion.get(); }
  // Attaches a motion (none: detaches).
  void SetMotion(std::unique_ptr<ControlMotion> motion) { m_motion = std::move(motion); }

  // --- Screen coordinates -------------------------------------------------------
  // The clip rectangle on the base, when PR_CLIPWIDTH and PR_CLIPHEIGHT are
  // both at least 1.
  std::optional<Rect> ClipRect() const;

  // --- Overrides of the object model ----------------------------------------------
  TNovaControl* GetChild(std::int32_t index) const override;
  std::int32_t ChildCount() const override;
  TNovaControl* GetBase() const override;
  graphics::TCustomDIBX* GetSurface() const override;
  bool GetFocusFrame() const override { return m_focus_frame; }
  void SetFocusFrame(bool v) override { m_focus_frame = v; }
  std::int32_t ScreenLeft() const override { return screen_coordinate(kHorizontal); }
  std::int32_t ScreenTop() const override { return screen_coordinate(kVertical); }
  std::int32_t LocalLeft() const override { return local_coordinate(kHorizontal); }
  std::int32_t LocalTop() const override { return local_coordinate(kVertical); }
  Point GetDrawOrigin() const override;
  // A zoomed-position control's extent along one axis when the parent shows
  // a picture at the same zoom (`zoom`): the distance between its two
  // edges mapped onto the parent's displayed size. nullopt otherwise.
  std::optional<std::int64_t> ExtentOnParentPicture(bool horizontal, std::int32_t zoom) const;
  Rect GetReservedRect() const override { return m_reserved; }
  void SetReservedRect(const Rect& r) override { m_reserved = r; }
  std::int32_t MotionX() const override { return m_motion_x; }
  void SetMotionX(std::int32_t v) override { m_motion_x = v; }
  std::int32_t MotionY() const override { return m_motion_y; }
  void SetMotionY(std::int32_t v) override { m_motion_y = v; }
  Point ClientToScreen(Point p) const override;
  Point ScreenToClient(Point p) const override;
  // Steps the attached motion; when it ends, answers true with PR_AUTOSCRAP
  // set and otherwise raises PR_ONPLAYEND.
  bool Update() override;
  // Loading motion files is not built yet: an empty name detaches the
  // motion, any other raises "TNovaMotion is not built yet".
  void LoadMotion(std::string_view file) override;
  void KeyDown(const std::vector<std::int32_t>& codes) override;
  void KeyUp(const std::vector<std::int32_t>& codes) override;
  void KeyRepeat(const std::vector<std::int32_t>& codes) override;
  bool Contains(const TNovaControl& other) const override;
  // The screen rectangle, cut to the parent's and to the clip rectangle,
  // goes up the parent chain to the base's dirty list.
  void Invalidate() override;
  void InvalidateRect(const Rect& rect) override;
  // The topmost control under `p` whose PR_IGNOREMOUSE is in `modes`: the
  // children from the last, then the control itself. A hidden control or
  // one not containing the point answers none, children included. A class
  // testing otherwise registers its test in its property table
  // (PropertyTable::set_own_hit_test).
  TNovaObject* HitTest(Point p, std::uint32_t modes) final;
  // The walk of the default hit test, kept recursive as the reference the
  // iterative one is tested against.
  TNovaObject* RecursiveHitTest(Point p, std::uint32_t modes);
  // While the list's mouse dispatch holds one of these, a hit test leaves
  // the screen position and base of the control it answered, so that the
  // events raised on it at once (which ask for the pointer within it) need
  // not work them out again up a deep chain. Whatever invalidates a control
  // forgets them (ForgetHitOrigin), and so does the end of the scope.
  class HitOriginScope {
   public:
    HitOriginScope();
    ~HitOriginScope();
    HitOriginScope(const HitOriginScope&) = delete;
    HitOriginScope& operator=(const HitOriginScope&) = delete;
  };
  static void ForgetHitOrigin();
  // Whether `p` counts as over the control, given its screen rectangle: a
  // class registers its own test in its property table.
  bool HitContains(Point p, const Rect& screen_rect) const {
    const PropertyTable::ContainsFn own = properties().own_contains();
    return own ? own(*this, p, screen_rect) : screen_rect.contains(p);
  }
  // The deepest topmost visible, unpaused control with PR_HANDLEKEY, this
  // control last.
  TNovaControl* FindFocusable() override;
  // The default mouse operations: the press raises its event and captures
  // the release on the base, and is consumed unless the component lets
  // that button through.
  void LButtonDown() override;
  void LButtonUp() override;
  void RButtonDown() override;
  void RButtonUp() override;
  void MouseMove() override;
  void MouseOut(ComponentId new_hover) override;
  void MouseIn(ComponentId old_hover) override;
  // Draws the control (a class draws itself first) and its children.
  void Paint(graphics::TCustomDIBX& surface) override { PaintChildren(surface); }
  // The named, visible children in sibling order, each clipped to the
  // part of this control inside the surface's clip and to its own clip
  // rectangle, then the dotted focus frame when the flag is set.
  void PaintChildren(graphics::TCustomDIBX& surface);
  // The pointer relative to the control, as the mouse events report it.
  Point PointerInControl() const;
  bool IsInCabinet() const override;
  bool IsShowing() const override;
  // Both pass on to every child.
  void PositionChanged() override;
  virtual void ClipChanged();
  // A screen base adds the rectangle to its dirty list.
  virtual void AddDirtyRect(const Rect&) {}

  void SaveToStream(core::ByteWriter& w) const override;
  void LoadFromStream(core::ByteReader& r, std::int32_t version) override;

 protected:
  void Created() override;

 private:
  friend class TNovaBaseList;
  friend class TNovaObject;

  struct Button;
  static const Button kLeft;
  static const Button kRight;
  void button_down(const Button& button);
  void button_up(const Button& button);

  enum Axis { kHorizontal, kVertical };
  std::int32_t screen_coordinate(Axis axis) const;
  // screen_coordinate for a control of plain geometry (no zoom, flip or
  // motion, position not zoomed) whose parent's origin is known: the same
  // sum without a read through the property table.
  std::int32_t plain_screen_coordinate(Axis axis, std::int64_t parent_origin) const {
    const bool h = axis == kHorizontal;
    const std::int64_t v = std::int64_t{h ? m_left : m_top} - (h ? m_center_x : m_center_y) + parent_origin;
    return static_cast<std::int32_t>(v + (h ? m_plus_x : m_plus_y));
  }
  // HitTest below its root, and the note of the answer's position.
  TNovaObject* hit_test(Point p, std::uint32_t modes);
  TNovaObject* recursive_hit_test(Point p, std::uint32_t modes);
  struct HitLevel;
  enum class Visit { Miss, Answer, Descend };
  // The control as a walk reaches it, below a parent whose origin is
  // `parent_x`, `parent_y` when `parent` is its parent: missed, answering
  // (`level.found`), or to be descended into (`level` filled).
  Visit visit(Point p, std::uint32_t modes, const TNovaControl* parent, std::int64_t parent_x,
              std::int64_t parent_y, HitLevel& level);
  void remember_hit(std::int32_t left, std::int32_t top) const;
  std::int32_t local_coordinate(Axis axis) const;
  std::int64_t scaled_center(Axis axis, std::int32_t zoom) const;
  std::int64_t position(Axis axis, std::int32_t zoom) const;
  std::optional<std::int64_t> zoomed_on_parent_picture(Axis axis, std::int32_t zoom) const;
  struct ParentPictureMap {
    std::int64_t ratio = 1;      // parent picture pixels per displayed pixel, 16.16
    std::int64_t near_edge = 0;  // the control's near edge in parent picture pixels
    std::int64_t picture = 0;    // the control's picture extent
    std::int64_t map(std::int64_t pixels) const;
  };
  std::optional<ParentPictureMap> parent_picture_map(Axis axis, std::int32_t zoom) const;

  // What else a setter's change calls for.
  enum class Then { Nothing, Position, NewPosition, Clip };
  // The pattern of the setters: nothing for an unchanged value; otherwise
  // invalidate, store, (drop the motion position for a new position),
  // invalidate, and pass a position or clip change on.
  template <typename T>
  bool change(T& field, T v, Then then = Then::Nothing);
  static std::size_t event_slot(int id);
  const std::string& target_at(std::size_t slot) const;
  void set_target_at(std::size_t slot, std::string_view target);
  void mark_children_unsorted() { m_children_unsorted = true; }
  void tidy_children() const;
  int subtree_height() const;

  // What a hit test reads of every control it passes, together, so that a
  // walk down a deep chain waits for as few memory lines per level as it
  // can.
  // In sibling order once tidied; a removed child leaves nullptr until then.
  mutable std::vector<TNovaControl*> m_children;
  // The last of m_children (the topmost, which a hit test tries first)
  // while they are tidy, so that a walk reaches it from this line.
  mutable TNovaControl* m_top_child = nullptr;
  TNovaControl* m_parent = nullptr;
  std::unique_ptr<ControlMotion> m_motion;
  mutable std::size_t m_child_holes = 0;
  std::int32_t m_left = 0;
  std::int32_t m_top = 0;
  std::int32_t m_width = 0;
  std::int32_t m_height = 0;
  std::int32_t m_center_x = 0;
  std::int32_t m_center_y = 0;
  std::int32_t m_plus_x = 0;
  std::int32_t m_plus_y = 0;
  bool m_visible = true;
  std::uint8_t m_ignore_mouse = IM_NONE;
  bool m_pos_zoomed = false;
  mutable bool m_children_unsorted = false;

  std::int32_t m_color = 0;
  Rect m_reserved{0, 0, 1, 1};
  // PR_ONMOUSEMOVE, PR_ONMOUSEIN, PR_ONMOUSEOUT, PR_ONLBTNDOWN, PR_ONLBTNUP,
  // PR_ONRBTNDOWN, PR_ONRBTNUP, PR_ONWHEELDOWN, PR_ONWHEELUP, then
  // PR_ONKEYDOWN, PR_ONKEYUP, PR_ONKEYREPEAT, PR_ONFOCUSIN, PR_ONFOCUSOUT.
  // Made when the first is set: most controls handle no event of their
  // own, and the fourteen strings would more than double a control's size.
  static constexpr std::size_t kEventTargets = 14;
  std::unique_ptr<std::array<std::string, kEventTargets>> m_targets;
  std::string m_cursor;
  bool m_focus_frame = false;
  std::array<std::int32_t, 4> m_clip{};  // left, top, width, height
  std::int32_t m_motion_x = 0;
  std::int32_t m_motion_y = 0;
  bool m_ani_paused = false;
  bool m_handle_key = false;

  // The tree's bookkeeping.
  std::size_t m_child_index = 0;  // position in the parent's list
};

template <typename T>
bool TNovaControl::change(T& field, T v, Then then) {
  if (field == v) return false;
  Invalidate();
  field = v;
  if (then == Then::NewPosition) m_motion_x = m_motion_y = 0;
  Invalidate();
  if (then == Then::Position || then == Then::NewPosition) PositionChanged();
  if (then == Then::Clip) ClipChanged();
  return true;
}

}  // namespace nova::components
