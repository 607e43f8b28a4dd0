// TNovaControl: fields and setters, the tree, screen coordinates and the
// operations of a visual component. Its record is in component_records.cpp.
#include "components/nova_control.h"

#include <algorithm>
#include <cassert>
#include <utility>
#include <vector>

#include "components/base_list.h"
#include "components/sibling_order.h"
#include "core/error.h"
#include "core/log.h"
#include "graphics/dibx.h"

namespace nova::components {

namespace {

// While a hit test walks down the tree, where the children of the control
// it is testing start from: that control's screen position less its
// scroll. A child adds it instead of computing it again up the whole chain
// (and reading the parent's scroll once per child), so a deep chain costs
// what a flat list does. Set and restored by the walk only (the main
// thread's), and nothing moves during it.
struct WalkedParent {
  const TNovaControl* control = nullptr;
  std::int64_t origin_x = 0;
  std::int64_t origin_y = 0;
};
thread_local WalkedParent t_walked;

// The control a hit test answered, by address and handle (a new control at
// the same address has another handle), with its screen position.
struct HitOrigin {
  const TNovaControl* control = nullptr;
  ComponentId id;
  std::int32_t left = 0;
  std::int32_t top = 0;
  TNovaControl* base = nullptr;
};
thread_local HitOrigin t_hit_origin;
// The control the running hit test started from (a base, usually).
thread_local TNovaControl* t_walk_root = nullptr;
// A HitOriginScope is open.
thread_local bool t_keep_hit_origin = false;

}  // namespace

TNovaControl::~TNovaControl() = default;

const PropertyTable& TNovaControl::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TNovaControl;
    PropertyTable t = TNovaComponent::ClassProperties();
    t.text<&C::ParentName, &C::SetParentName>(PR_PARENT);
    t.integer<&C::Left, &C::SetLeft>(PR_LEFT);
    t.integer<&C::Top, &C::SetTop>(PR_TOP);
    t.integer<&C::Width, &C::SetWidth>(PR_WIDTH);
    t.integer<&C::Height, &C::SetHeight>(PR_HEIGHT);
    t.integer<&C::Color, &C::SetColor>(PR_COLOR);
    t.integer<&C::CenterX, &C::SetCenterX>(PR_OFFSETX);
    t.integer<&C::CenterY, &C::SetCenterY>(PR_OFFSETY);
    t.texts_by_id<&C::EventTarget, &C::SetEventTarget>(
        {PR_ONMOUSEMOVE, PR_ONMOUSEOUT, PR_ONLBTNDOWN, PR_ONLBTNUP, PR_ONRBTNDOWN, PR_ONRBTNUP, PR_ONWHEELDOWN,
         PR_ONWHEELUP, PR_ONMOUSEIN, PR_ONKEYDOWN, PR_ONKEYUP, PR_ONKEYREPEAT, PR_ONFOCUSIN, PR_ONFOCUSOUT});
    t.flag<&C::VisibleField, &C::SetVisible>(PR_VISIBLE);
    t.integer<&C::IgnoreMouse, &C::SetIgnoreMouse>(PR_IGNOREMOUSE);
    t.text<&C::Cursor, &C::SetCursor>(PR_CURSOR);
    t.flag<&C::PosZoomed, &C::SetPosZoomed>(PR_POSZOOMED);
    t.integer<&C::ClipLeft, &C::SetClipLeft>(PR_CLIPLEFT);
    t.integer<&C::ClipTop, &C::SetClipTop>(PR_CLIPTOP);
    t.integer<&C::ClipWidth, &C::SetClipWidth>(PR_CLIPWIDTH);
    t.integer<&C::ClipHeight, &C::SetClipHeight>(PR_CLIPHEIGHT);
    t.flag<&C::AniPaused, &C::SetAniPaused>(PR_ANIPAUSED);
    t.flag<&C::Playing>(PR_PLAYING);
    t.flag<&C::HandleKey, &C::SetHandleKey>(PR_HANDLEKEY);
    t.integer<&C::PlusX, &C::SetPlusX>(PR_PLUSX);
    t.integer<&C::PlusY, &C::SetPlusY>(PR_PLUSY);
    const bool defaults = !t.implements(PR_ZOOMX) && !t.implements(PR_ZOOMY) && !t.implements(PR_FLIPH) &&
                          !t.implements(PR_FLIPV) && !t.implements(PR_SCROLLX) && !t.implements(PR_SCROLLY);
    if (defaults) t.mark_plain_geometry();
    return t;
  }();
  return table;
}

void TNovaControl::Created() {
  if (!owner()->focus()) owner()->mark_focus_dirty();
}

// --- Setters ---------------------------------------------------------------------------

void TNovaControl::SetVisible(bool v) {
  if (change(m_visible, v) && owner()) owner()->visibility_changed(*this);
}

void TNovaControl::SetHandleKey(bool v) {
  if (m_handle_key == v) return;
  m_handle_key = v;
  if (owner()) owner()->handle_key_changed(*this);
}

void TNovaControl::SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
  Invalidate();
  m_left = left;
  m_top = top;
  m_width = width;
  m_height = height;
  Invalidate();
}

std::size_t TNovaControl::event_slot(int id) {
  switch (id) {
    case PR_ONMOUSEMOVE: return 0;
    case PR_ONMOUSEIN: return 1;
    case PR_ONMOUSEOUT: return 2;
    case PR_ONLBTNDOWN: return 3;
    case PR_ONLBTNUP: return 4;
    case PR_ONRBTNDOWN: return 5;
    case PR_ONRBTNUP: return 6;
    case PR_ONWHEELDOWN: return 7;
    case PR_ONWHEELUP: return 8;
    case PR_ONKEYDOWN: return 9;
    case PR_ONKEYUP: return 10;
    case PR_ONKEYREPEAT: return 11;
    case PR_ONFOCUSIN: return 12;
    case PR_ONFOCUSOUT: return 13;
    default: break;
  }
  assert(false && "not an event property of a control");
  return 0;
}

const std::string& TNovaControl::target_at(std::size_t slot) const {
  static const std::string kNone;
  return m_targets ? (*m_targets)[slot] : kNone;
}

void TNovaControl::set_target_at(std::size_t slot, std::string_view target) {
  if (!m_targets) {
    if (target.empty()) return;
    m_targets = std::make_unique<std::array<std::string, kEventTargets>>();
  }
  (*m_targets)[slot] = target;
}

// --- The tree ----------------------------------------------------------------------------

std::string TNovaControl::ParentName() const { return m_parent ? m_parent->Name() : std::string(); }

void TNovaControl::SetParentName(std::string_view name) {
  if (IsScreenBase() || !owner()) return;
  if (TNovaControl* parent = owner()->FindControl(name)) SetParent(parent);
}

int TNovaControl::Depth() const {
  int depth = 0;
  for (const TNovaControl* p = m_parent; p; p = p->m_parent) ++depth;
  return depth;
}

int TNovaControl::subtree_height() const {
  if (m_children.empty()) return 0;
  // Level by level, so that no walk recurses.
  int height = 0;
  std::vector<const TNovaControl*> level{this}, next;
  for (;;) {
    next.clear();
    for (const TNovaControl* c : level) {
      for (const TNovaControl* child : c->m_children) {
        if (child) next.push_back(child);
      }
    }
    if (next.empty()) return height;
    ++height;
    level.swap(next);
  }
}

bool TNovaControl::Contains(const TNovaControl& other) const {
  for (const TNovaControl* p = other.m_parent; p; p = p->m_parent) {
    if (p == this) return true;
  }
  return false;
}

void TNovaControl::SetParent(TNovaControl* parent) {
  if (parent == m_parent || parent == this || (parent && Contains(*parent))) return;
  if (parent && parent->owner() != owner()) {
    core::logf(core::Channel::Components, core::Level::Warning, "%s: a parent of another list is ignored", {Name()});
    return;
  }
  if (parent && parent->Depth() + 1 + subtree_height() > kMaxTreeDepth) {
    core::logf(core::Channel::Components, core::Level::Warning,
               "%s: a parent change that makes the tree deeper than %d levels is ignored", {Name(), kMaxTreeDepth});
    return;
  }
  Invalidate();
  if (m_parent) {
    TNovaControl* old = m_parent;
    old->RemoveChild(*this);
    if (old->ComponentType() == LT_CABINET) LeftCabinet();
  }
  m_parent = parent;
  if (parent) {
    parent->AddChild(*this);
    if (parent->ComponentType() == LT_CABINET) EnteredCabinet();
  }
  Invalidate();

  // Focus upkeep: a focus moved off the front base goes; a control arriving
  // there while nothing has the focus may take it.
  TNovaBaseList* list = owner();
  if (!list) return;
  const bool on_front = GetBase() == &list->front_base();
  TNovaControl* focus = list->focus();
  if (focus && (focus == this || Contains(*focus)) && !on_front) {
    list->set_focus_handle({});
    list->mark_focus_dirty();
  } else if (!focus && on_front) {
    list->mark_focus_dirty();
  }
}

void TNovaControl::AddChild(TNovaControl& child) {
  child.m_parent = this;
  child.m_child_index = m_children.size();
  m_children.push_back(&child);
  m_children_unsorted = true;
}

void TNovaControl::RemoveChild(TNovaControl& child) {
  if (child.m_parent != this) return;
  // The slot stays empty until the list is next tidied, so that removing
  // many children costs one compaction.
  assert(m_children[child.m_child_index] == &child && "a child knows its place");
  m_children[child.m_child_index] = nullptr;
  ++m_child_holes;
  child.m_parent = nullptr;
}

void TNovaControl::tidy_children() const {
  if (!m_children_unsorted && m_child_holes == 0) return;
  if (m_child_holes != 0) std::erase(m_children, nullptr);
  if (m_children_unsorted) {
    std::vector<TNovaControl*> scratch;
    merge_sort(
        std::span<TNovaControl*>(m_children),
        [](const TNovaControl* a, const TNovaControl* b) { return sibling_before(*a, *b); }, scratch);
  }
  for (std::size_t i = 0; i < m_children.size(); ++i) m_children[i]->m_child_index = i;
  m_top_child = m_children.empty() ? nullptr : m_children.back();
  m_child_holes = 0;
  m_children_unsorted = false;
}

void TNovaControl::SortChildren() {
  m_children_unsorted = true;
  tidy_children();
}

TNovaControl* TNovaControl::GetChild(std::int32_t index) const {
  const auto children = Children();
  if (index < 0 || static_cast<std::size_t>(index) >= children.size()) return nullptr;
  return children[static_cast<std::size_t>(index)];
}

std::int32_t TNovaControl::ChildCount() const { return static_cast<std::int32_t>(Children().size()); }

TNovaControl* TNovaControl::GetBase() const {
  if (t_hit_origin.control == this && t_hit_origin.id == id()) return t_hit_origin.base;
  return m_parent ? m_parent->GetBase() : nullptr;
}

graphics::TCustomDIBX* TNovaControl::GetSurface() const { return m_parent ? m_parent->GetSurface() : nullptr; }

bool TNovaControl::IsInCabinet() const {
  for (const TNovaControl* p = m_parent; p; p = p->m_parent) {
    if (p->ComponentType() == LT_CABINET) return true;
  }
  return false;
}

bool TNovaControl::IsShowing() const {
  if (!owner() || GetBase() != &owner()->front_base()) return false;
  for (const TNovaControl* c = this; c; c = c->m_parent) {
    if (!read_flag(*c, PR_VISIBLE)) return false;
  }
  return true;
}

void TNovaControl::PositionChanged() {
  for (TNovaControl* c : m_children) {
    if (c) c->PositionChanged();
  }
}

void TNovaControl::ClipChanged() {
  for (TNovaControl* c : m_children) {
    if (c) c->ClipChanged();
  }
}

void TNovaControl::InvalidateRect(const Rect& rect) {
  if (m_parent) m_parent->InvalidateRect(rect);
}

// --- Screen coordinates ---------------------------------------------------------------
//
// A control places its center at its position inside its parent. All
// divisions truncate towards zero; sums are taken in 64 bits and the
// result wraps to 32 bits as the coordinate registers of the system did.

namespace {

constexpr std::int32_t kNoZoom = 256;

struct AxisProps {
  TPropId zoom, flip, scroll;
};
constexpr AxisProps kAxes[2] = {{PR_ZOOMX, PR_FLIPH, PR_SCROLLX}, {PR_ZOOMY, PR_FLIPV, PR_SCROLLY}};

}  // namespace

std::int64_t TNovaControl::scaled_center(Axis axis, std::int32_t zoom) const {
  const std::int64_t center = axis == kHorizontal ? m_center_x : m_center_y;
  const std::int64_t extent = axis == kHorizontal ? m_width : m_height;
  const std::int64_t scaled = zoom == kNoZoom ? center : std::int64_t{zoom} * center / 256;
  if (!read_flag_in(properties(), *this, kAxes[axis].flip)) return scaled;
  return extent - scaled - 1;
}

std::int64_t TNovaControl::position(Axis axis, std::int32_t zoom) const {
  if (m_motion) return axis == kHorizontal ? m_motion_x : m_motion_y;
  const std::int64_t p = axis == kHorizontal ? m_left : m_top;
  return m_pos_zoomed ? std::int64_t{zoom} * p / 256 : p;
}

// A zoomed-position control on a parent that shows a picture at the same
// zoom maps its edges from the parent's picture pixels to the parent's
// displayed size, in 16.16 fixed point rounded at one half: its position,
// and (for a control whose size follows its picture) its size.
std::optional<TNovaControl::ParentPictureMap> TNovaControl::parent_picture_map(Axis axis, std::int32_t zoom) const {
  if (!m_pos_zoomed || !m_parent || m_parent->IsScreenBase() || m_motion) return std::nullopt;
  const std::optional<Size> parent_image = m_parent->ImageSize(), image = ImageSize();
  if (!parent_image || !image || zoom != read_int(*m_parent, kAxes[axis].zoom)) return std::nullopt;
  const bool h = axis == kHorizontal;
  const std::int64_t parent_picture = h ? parent_image->width : parent_image->height;
  const std::int64_t parent_extent = h ? m_parent->m_width : m_parent->m_height;
  const std::int64_t picture = h ? image->width : image->height;
  const std::int64_t pos = h ? m_left : m_top, center = h ? m_center_x : m_center_y;
  ParentPictureMap m;
  m.ratio = parent_extent > 0 ? std::max<std::int64_t>(1, parent_picture * 65536 / parent_extent) : 1;
  m.near_edge = read_flag(*this, kAxes[axis].flip) ? parent_picture + center - pos - picture : pos - center;
  m.picture = picture;
  return m;
}

std::int64_t TNovaControl::ParentPictureMap::map(std::int64_t pixels) const {
  const std::int64_t v = pixels * 65536;
  std::int64_t offset = v / ratio;
  if (v % ratio > 32767) ++offset;
  return offset;
}

std::optional<std::int64_t> TNovaControl::zoomed_on_parent_picture(Axis axis, std::int32_t zoom) const {
  const auto m = parent_picture_map(axis, zoom);
  if (!m) return std::nullopt;
  const bool h = axis == kHorizontal;
  const std::int64_t parent_screen = h ? m_parent->ScreenLeft() : m_parent->ScreenTop();
  const std::int64_t plus = h ? m_plus_x : m_plus_y;
  return m->map(m->near_edge) + parent_screen + plus - read_int(*m_parent, kAxes[axis].scroll);
}

std::optional<std::int64_t> TNovaControl::ExtentOnParentPicture(bool horizontal, std::int32_t zoom) const {
  const auto m = parent_picture_map(horizontal ? kHorizontal : kVertical, zoom);
  if (!m) return std::nullopt;
  return m->map(m->near_edge + m->picture) - m->map(m->near_edge);
}

void TNovaControl::ForgetHitOrigin() { t_hit_origin = {}; }

TNovaControl::HitOriginScope::HitOriginScope() {
  ForgetHitOrigin();
  t_keep_hit_origin = true;
}

TNovaControl::HitOriginScope::~HitOriginScope() {
  t_keep_hit_origin = false;
  ForgetHitOrigin();
}

std::int32_t TNovaControl::screen_coordinate(Axis axis) const {
  if (t_hit_origin.control == this && t_hit_origin.id == id()) {
    return axis == kHorizontal ? t_hit_origin.left : t_hit_origin.top;
  }
  const std::int32_t zoom = read_int_in(properties(), *this, kAxes[axis].zoom);
  // Only a zoomed position maps onto the parent's picture; testing that
  // first spares the common case an answer it would throw away.
  if (m_pos_zoomed) {
    if (const auto mapped = zoomed_on_parent_picture(axis, zoom)) return static_cast<std::int32_t>(*mapped);
  }
  std::int64_t v = position(axis, zoom) - scaled_center(axis, zoom);
  if (m_parent) {
    if (t_walked.control == m_parent) {
      v += axis == kHorizontal ? t_walked.origin_x : t_walked.origin_y;
    } else {
      v += std::int64_t{axis == kHorizontal ? m_parent->ScreenLeft() : m_parent->ScreenTop()} -
           read_int_in(m_parent->properties(), *m_parent, kAxes[axis].scroll);
    }
  }
  return static_cast<std::int32_t>(v + (axis == kHorizontal ? m_plus_x : m_plus_y));
}

std::int32_t TNovaControl::local_coordinate(Axis axis) const {
  const std::int32_t zoom = read_int(*this, kAxes[axis].zoom);
  return static_cast<std::int32_t>(position(axis, zoom) - scaled_center(axis, zoom) +
                                   (axis == kHorizontal ? m_plus_x : m_plus_y));
}

Point TNovaControl::GetDrawOrigin() const {
  std::int64_t xy[2];
  for (Axis axis : {kHorizontal, kVertical}) {
    std::int64_t v = position(axis, read_int(*this, kAxes[axis].zoom)) + (axis == kHorizontal ? m_plus_x : m_plus_y);
    if (m_parent) {
      v += (axis == kHorizontal ? m_parent->ScreenLeft() : m_parent->ScreenTop()) -
           read_int(*m_parent, kAxes[axis].scroll);
    }
    xy[axis] = v;
  }
  return {static_cast<std::int32_t>(xy[0]), static_cast<std::int32_t>(xy[1])};
}

std::optional<Rect> TNovaControl::ClipRect() const {
  if (m_clip[2] < 1 || m_clip[3] < 1) return std::nullopt;
  const std::int64_t x = std::int64_t{ScreenLeft()} + m_clip[0], y = std::int64_t{ScreenTop()} + m_clip[1];
  const auto clamp = [](std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); };
  return Rect{clamp(x), clamp(y), clamp(x + m_clip[2]), clamp(y + m_clip[3])};
}

Point TNovaControl::ClientToScreen(Point p) const {
  return {static_cast<int>(static_cast<std::uint32_t>(p.x) + static_cast<std::uint32_t>(ScreenLeft())),
          static_cast<int>(static_cast<std::uint32_t>(p.y) + static_cast<std::uint32_t>(ScreenTop()))};
}

Point TNovaControl::ScreenToClient(Point p) const {
  return {static_cast<int>(static_cast<std::uint32_t>(p.x) - static_cast<std::uint32_t>(ScreenLeft())),
          static_cast<int>(static_cast<std::uint32_t>(p.y) - static_cast<std::uint32_t>(ScreenTop()))};
}

// --- Operations --------------------------------------------------------------------------

bool TNovaControl::Update() {
  if (!m_motion || !m_motion->Step(*this)) return false;
  if (read_flag(*this, PR_AUTOSCRAP)) return true;
  RaiseEvent(PR_ONPLAYEND, {}, PendingRule::WaitingOnly);
  return false;
}

void TNovaControl::LoadMotion(std::string_view file) {
  if (file.empty()) {
    m_motion.reset();
    return;
  }
  throw core::Error("TNovaMotion is not built yet");
}

void TNovaControl::KeyDown(const std::vector<std::int32_t>& codes) { RaiseEvent(PR_ONKEYDOWN, codes); }
void TNovaControl::KeyUp(const std::vector<std::int32_t>& codes) { RaiseEvent(PR_ONKEYUP, codes); }
void TNovaControl::KeyRepeat(const std::vector<std::int32_t>& codes) { RaiseEvent(PR_ONKEYREPEAT, codes); }

}  // namespace nova::components

// --- Invalidation, hit tests, the mouse ------------------------------------------------

namespace nova::components {

void TNovaControl::Invalidate() {
  ForgetHitOrigin();
  if (!m_visible || !owner()) return;
  if (!GetBase()) return;
  Rect r = GetScreenRect();
  if (m_parent) {
    r = r.intersected(m_parent->GetScreenRect());
    if (r.empty()) return;
  }
  if (const auto clip = ClipRect()) {
    r = r.intersected(*clip);
    if (r.empty()) return;
  }
  InvalidateRect(r);
}

void TNovaControl::remember_hit(std::int32_t left, std::int32_t top) const {
  if (!t_keep_hit_origin || !owner() || !t_walk_root || !t_walk_root->IsScreenBase()) return;
  t_hit_origin = {this, id(), left, top, t_walk_root};
}

namespace {

// A hit test through the class's own test, when it registers one, else
// through `walk`; a control without a parent is the walk's root, and a
// control that belongs to it has it for its base when it is a base.
template <class Walk>
TNovaObject* walk_from(TNovaControl& control, bool is_root, Point p, std::uint32_t modes, Walk walk) {
  const PropertyTable::HitTestFn own = control.properties().own_hit_test();
  if (!is_root) return own ? own(control, p, modes) : walk();
  TNovaControl* outer_root = std::exchange(t_walk_root, &control);
  TNovaObject* hit = own ? own(control, p, modes) : walk();
  t_walk_root = outer_root;
  return hit;
}

}  // namespace

TNovaObject* TNovaControl::HitTest(Point p, std::uint32_t modes) {
  return walk_from(*this, !m_parent, p, modes, [&] { return hit_test(p, modes); });
}

// One control the walk has gone into: what it answers when none of its
// children does, where its children start from, and how many of them are
// still to test (they go from the last).
struct TNovaControl::HitLevel {
  TNovaControl* control = nullptr;
  TNovaObject* found = nullptr;
  std::int64_t origin_x = 0;
  std::int64_t origin_y = 0;
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::size_t next = 0;
  // The topmost child while it is still to test.
  TNovaControl* top_child = nullptr;
};

TNovaControl::Visit TNovaControl::visit(Point p, std::uint32_t modes, const TNovaControl* parent,
                                        std::int64_t parent_x, std::int64_t parent_y, HitLevel& level) {
  const PropertyTable& table = properties();
  // A control of plain geometry below the control being walked has its
  // screen position from its own fields and the parent's origin: no reads
  // through the property table, so a deep chain costs about what a flat
  // list of the same length does. Anything else takes the general reads.
  const bool plain = table.plain_geometry() && m_parent && parent == m_parent && !m_motion && !m_pos_zoomed &&
                     t_hit_origin.control != this;
  if (!(plain ? m_visible : read_flag_in(table, *this, PR_VISIBLE))) return Visit::Miss;
  TNovaObject* found = (modes & (1u << m_ignore_mouse)) ? this : nullptr;
  const auto children = Children();
  // A childless control the modes pass over answers none wherever the
  // point lies (layers of such controls are common over a scene).
  if (!found && children.empty()) return Visit::Miss;
  // The screen position once, worked out while the parent's is known: for
  // the containment test, and as what the children start from.
  std::int32_t left, top;
  Rect rect;
  if (plain) {
    left = plain_screen_coordinate(kHorizontal, parent_x);
    top = plain_screen_coordinate(kVertical, parent_y);
    rect = ScreenRectOfSize(left, top, m_width, m_height);
  } else {
    // The general reads take the parent's origin from where the walk
    // leaves it.
    if (parent && parent == m_parent) t_walked = {parent, parent_x, parent_y};
    left = ScreenLeft();
    top = ScreenTop();
    rect = ScreenRectAt(left, top);
  }
  if (!HitContains(p, rect)) return Visit::Miss;
  if (children.empty()) {
    remember_hit(left, top);
    level.found = found;
    return Visit::Answer;
  }
  level = {this,
           found,
           std::int64_t{left} - (plain ? 0 : read_int_in(table, *this, PR_SCROLLX)),
           std::int64_t{top} - (plain ? 0 : read_int_in(table, *this, PR_SCROLLY)),
           left,
           top,
           children.size(),
           m_top_child};
  return Visit::Descend;
}

TNovaObject* TNovaControl::hit_test(Point p, std::uint32_t modes) {
  // The levels of the running walks, an explicit stack, so that a chain of
  // any depth costs no nested calls. A walk started inside another (an
  // image testing its children) stacks above it and leaves it as it was.
  static thread_local std::vector<HitLevel> levels;
  const WalkedParent outer = t_walked;
  HitLevel first;
  const Visit v = visit(p, modes, outer.control, outer.origin_x, outer.origin_y, first);
  if (v != Visit::Descend) {
    t_walked = outer;
    return v == Visit::Answer ? first.found : nullptr;
  }
  std::vector<HitLevel>& stack = levels;
  const std::size_t bottom = stack.size();
  stack.push_back(first);
  // The remembered answer of an earlier walk takes the general reads; it
  // changes only when this walk answers.
  const TNovaControl* const remembered = t_hit_origin.control;
  TNovaObject* answer = nullptr;
  while (stack.size() > bottom) {
    HitLevel& level = stack.back();
    if (level.next == 0) {
      // No child answered: the control itself, when the modes take it,
      // and that answer ends the walk at every level above.
      if (level.found) {
        level.control->remember_hit(level.left, level.top);
        answer = level.found;
        break;
      }
      stack.pop_back();
      continue;
    }
    --level.next;
    TNovaControl* child = std::exchange(level.top_child, nullptr);
    if (!child) child = level.control->m_children[level.next];
    assert(child == level.control->m_children[level.next] && "the top child is the last");
    const PropertyTable& table = child->properties();
    if (const PropertyTable::HitTestFn own = table.own_hit_test()) {
      t_walked = {level.control, level.origin_x, level.origin_y};
      if ((answer = own(*child, p, modes))) break;
      continue;
    }
    if (table.plain_geometry() && !child->m_motion && !child->m_pos_zoomed && child != remembered) {
      // visit's plain case, in line: a chain's levels are mostly these.
      if (!child->m_visible) continue;
      TNovaObject* found = (modes & (1u << child->m_ignore_mouse)) ? child : nullptr;
      const std::size_t count = child->Children().size();
      if (!found && count == 0) continue;
      const std::int32_t left = child->plain_screen_coordinate(kHorizontal, level.origin_x);
      const std::int32_t top = child->plain_screen_coordinate(kVertical, level.origin_y);
      const Rect rect = ScreenRectOfSize(left, top, child->m_width, child->m_height);
      if (!(table.own_contains() ? table.own_contains()(*child, p, rect) : rect.contains(p))) continue;
      if (count == 0) {
        child->remember_hit(left, top);
        answer = found;
        break;
      }
      stack.push_back({child, found, left, top, left, top, count, child->m_top_child});
      continue;
    }
    HitLevel below;
    const Visit cv = child->visit(p, modes, level.control, level.origin_x, level.origin_y, below);
    if (cv == Visit::Answer) {
      answer = below.found;
      break;
    }
    if (cv == Visit::Descend) stack.push_back(below);
  }
  stack.resize(bottom);
  t_walked = outer;
  return answer;
}

TNovaObject* TNovaControl::RecursiveHitTest(Point p, std::uint32_t modes) {
  return walk_from(*this, !m_parent, p, modes, [&] { return recursive_hit_test(p, modes); });
}

TNovaObject* TNovaControl::recursive_hit_test(Point p, std::uint32_t modes) {
  HitLevel mine;
  const WalkedParent outer = t_walked;
  const Visit v = visit(p, modes, outer.control, outer.origin_x, outer.origin_y, mine);
  if (v != Visit::Descend) {
    t_walked = outer;
    return v == Visit::Answer ? mine.found : nullptr;
  }
  const WalkedParent here{this, mine.origin_x, mine.origin_y};
  TNovaObject* hit = nullptr;
  const auto children = Children();
  for (auto it = children.rbegin(); it != children.rend() && !hit; ++it) {
    t_walked = here;
    hit = (*it)->RecursiveHitTest(p, modes);
  }
  t_walked = outer;
  if (hit) return hit;
  if (mine.found) remember_hit(mine.left, mine.top);
  return mine.found;
}

TNovaControl* TNovaControl::FindFocusable() {
  const auto children = Children();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (!read_flag(**it, PR_VISIBLE)) continue;
    if (TNovaControl* f = (*it)->FindFocusable()) return f;
  }
  return m_handle_key && !read_flag(*this, PR_PAUSED) ? this : nullptr;
}

namespace {

// A one-pixel frame around `r` in the focus pattern (white where x + y is
// even, black elsewhere), inside the surface's clip.
void dotted_frame(graphics::TCustomDIBX& s, const Rect& r) {
  if (r.empty()) return;
  const Rect clip = s.EffectiveClip();
  const auto white = static_cast<std::uint32_t>(s.ColorToPixel(0xFFFFFF));
  const auto black = static_cast<std::uint32_t>(s.ColorToPixel(0));
  const auto dot = [&](int x, int y) {
    if (clip.contains({x, y})) s.SetPixel(x, y, ((x + y) & 1) == 0 ? white : black);
  };
  for (int x = std::max(r.left, clip.left); x < std::min(r.right, clip.right); ++x) {
    dot(x, r.top);
    dot(x, r.bottom - 1);
  }
  for (int y = std::max(r.top + 1, clip.top); y < std::min(r.bottom - 1, clip.bottom); ++y) {
    dot(r.left, y);
    dot(r.right - 1, y);
  }
}

}  // namespace

void TNovaControl::PaintChildren(graphics::TCustomDIBX& surface) {
  const Rect saved = surface.ClipRect();
  const Rect visible = surface.EffectiveClip().intersected(GetScreenRect());
  if (visible.empty()) return;
  for (TNovaControl* child : Children()) {
    if (child->Name().empty() || !read_flag(*child, PR_VISIBLE)) continue;
    Rect r = visible;
    if (const auto clip = child->ClipRect()) r = r.intersected(*clip);
    if (r.empty()) continue;
    surface.SetClipRect(r);
    child->Paint(surface);
    surface.SetClipRect(saved);
  }
  if (GetFocusFrame()) dotted_frame(surface, GetScreenRect());
}

Point TNovaControl::PointerInControl() const {
  const auto* base = static_cast<const TNovaBase*>(GetBase());
  if (!base) return {};
  return ScreenToClient(base->pointer());
}

namespace {

TNovaBase* base_of(const TNovaControl& c) {
  TNovaControl* b = c.GetBase();
  return b && b->IsScreenBase() ? static_cast<TNovaBase*>(b) : nullptr;
}

}  // namespace

// What differs between the buttons: the IM_* value that lets the press
// through as well as IM_NONE, the events, the capture bit and the edge.
struct TNovaControl::Button {
  std::uint8_t takes_also;
  TPropId down, up;
  std::uint8_t captured;
  bool TNovaBase::*pressed_now;
};

constexpr TNovaControl::Button TNovaControl::kLeft{IM_RCLICK, PR_ONLBTNDOWN, PR_ONLBTNUP, CF_LPRESS_CAPTURED,
                                                   &TNovaBase::left_pressed_now};
constexpr TNovaControl::Button TNovaControl::kRight{IM_LCLICK, PR_ONRBTNDOWN, PR_ONRBTNUP, CF_RPRESS_CAPTURED,
                                                    &TNovaBase::right_pressed_now};

void TNovaControl::button_down(const Button& button) {
  TNovaBase* base = base_of(*this);
  if (!base || IsScreenBase()) return;
  const bool takes = m_ignore_mouse == IM_NONE || m_ignore_mouse == button.takes_also;
  if (takes && !read_flag(*this, PR_PAUSED) && !owner()->events().holds(id(), button.down, false) &&
      !IsEventBlocked()) {
    const Point p = PointerInControl();
    RaiseEvent(button.down, {p.x, p.y});
    base->capture |= button.captured;
  }
  if (takes) base->*button.pressed_now = false;
}

void TNovaControl::button_up(const Button& button) {
  if (!IsEventBlocked()) {
    const Point p = PointerInControl();
    RaiseEvent(button.up, {p.x, p.y});
  }
  if (TNovaBase* base = base_of(*this)) base->capture &= static_cast<std::uint8_t>(~button.captured);
}

void TNovaControl::LButtonDown() { button_down(kLeft); }
void TNovaControl::LButtonUp() { button_up(kLeft); }
void TNovaControl::RButtonDown() { button_down(kRight); }
void TNovaControl::RButtonUp() { button_up(kRight); }

void TNovaControl::MouseMove() {
  if (IsEventBlocked() || owner()->events().holds(id(), PR_ONMOUSEMOVE, false)) return;
  const Point p = PointerInControl();
  RaiseEvent(PR_ONMOUSEMOVE, {p.x, p.y});
}

void TNovaControl::MouseOut(ComponentId) { RaiseEvent(PR_ONMOUSEOUT); }

void TNovaControl::MouseIn(ComponentId) { RaiseEvent(PR_ONMOUSEIN); }

}  // namespace nova::components
