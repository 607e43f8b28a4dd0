#include "components/component_records.h"

#include "components/base_list.h"
#include "core/error.h"
#include "core/format.h"

namespace nova::components {

namespace {

// The least a child occupies: its type byte, an empty name and the priority.
constexpr std::size_t kMinChildBytes = 1 + 4 + 4;

}  // namespace

void check_component_record_version(std::int32_t version) {
  if (version < kOldestComponentRecordVersion || version > kComponentRecordVersion) {
    throw core::Error(core::format("component record version %d is not supported", {version}));
  }
}

bool is_saved(const TNovaObject& o) {
  return !o.PendingDeletion() && o.ComponentType() != LT_NONE && (o.Name().empty() || o.Name()[0] != '\x01');
}

// --- The object part -------------------------------------------------------------

void TNovaObject::SaveToStream(core::ByteWriter& w) const {
  w.str(m_name);
  w.i32(m_priority);
  w.i32(m_order_offset);
  w.str(m_tag);
}

void TNovaObject::LoadFromStream(core::ByteReader& r, std::int32_t version) {
  std::string name = r.str();
  const std::int32_t priority = r.i32();
  const std::int32_t offset = version >= kOrderOffsetVersion ? r.i32() : 0;
  std::string tag = version >= kTagVersion ? r.str() : std::string();
  if (m_list) {
    m_list->set_name(*this, name);
  } else {
    m_name = std::move(name);
  }
  m_priority = priority;
  m_order_offset = offset;
  m_tag = std::move(tag);
}

// --- The control part --------------------------------------------------------------
//
// left, top, width, height, center x and y (int32); position zoomed (byte);
// from 130 motion x and y, plus x and y; from 104 the clip rectangle and
// animation paused (byte); visible (byte); color; the reserved rectangle
// (4 int32); ignore-mouse mode (byte); cursor; PR_ONMOUSEMOVE; from 102
// PR_ONMOUSEIN; PR_ONMOUSEOUT ... PR_ONWHEELUP (7 strings); from 118
// PR_HANDLEKEY (byte) and PR_ONKEYDOWN ... PR_ONFOCUSOUT (5 strings); the
// child count and the children; then the class's fields.

namespace {

// Positions in the control's event array (record order).
constexpr std::size_t kMouseIn = 1, kFirstKeyEvent = 9;

}  // namespace

void TNovaControl::SaveToStream(core::ByteWriter& w) const {
  TNovaComponent::SaveToStream(w);
  for (std::int32_t v : {m_left, m_top, m_width, m_height, m_center_x, m_center_y}) w.i32(v);
  w.boolean(m_pos_zoomed);
  for (std::int32_t v : {m_motion_x, m_motion_y, m_plus_x, m_plus_y}) w.i32(v);
  for (std::int32_t v : m_clip) w.i32(v);
  w.boolean(m_ani_paused);
  w.boolean(m_visible);
  w.i32(m_color);
  for (int v : {m_reserved.left, m_reserved.top, m_reserved.right, m_reserved.bottom}) w.i32(v);
  w.u8(m_ignore_mouse);
  w.str(m_cursor);
  for (std::size_t i = 0; i < kFirstKeyEvent; ++i) w.str(target_at(i));
  w.boolean(m_handle_key);
  for (std::size_t i = kFirstKeyEvent; i < kEventTargets; ++i) w.str(target_at(i));

  const auto children = Children();
  const auto count =
      std::count_if(children.begin(), children.end(), [](const TNovaControl* c) { return is_saved(*c); });
  w.i32(static_cast<std::int32_t>(count));
  for (const TNovaControl* c : children) {
    if (is_saved(*c)) owner()->WriteComponent(w, *c);
  }
}

void TNovaControl::LoadFromStream(core::ByteReader& r, std::int32_t version) {
  TNovaComponent::LoadFromStream(r, version);
  m_left = r.i32();
  m_top = r.i32();
  m_width = r.i32();
  m_height = r.i32();
  m_center_x = r.i32();
  m_center_y = r.i32();
  m_pos_zoomed = r.boolean();
  if (version >= kMotionPositionVersion) {
    m_motion_x = r.i32();
    m_motion_y = r.i32();
    m_plus_x = r.i32();
    m_plus_y = r.i32();
  }
  if (version >= kOrderOffsetVersion) {
    for (std::int32_t& v : m_clip) v = r.i32();
    m_ani_paused = r.boolean();
  }
  m_visible = r.boolean();
  m_color = r.i32();
  m_reserved.left = r.i32();
  m_reserved.top = r.i32();
  m_reserved.right = r.i32();
  m_reserved.bottom = r.i32();
  m_ignore_mouse = r.u8();
  m_cursor = r.str();
  for (std::size_t i = 0; i < kFirstKeyEvent; ++i) {
    if (i != kMouseIn || version >= kMouseInVersion) set_target_at(i, r.str());
  }
  if (version >= kKeyEventsVersion) {
    m_handle_key = r.boolean();
    for (std::size_t i = kFirstKeyEvent; i < kEventTargets; ++i) set_target_at(i, r.str());
  }

  const std::int32_t count = r.i32();
  if (count < 0 || static_cast<std::size_t>(count) > r.remaining() / kMinChildBytes) r.fail("child count out of range");
  if (count > 0 && !owner()) r.fail("children of a control without list");
  for (std::int32_t i = 0; i < count; ++i) owner()->ReadComponent(r, version, this);
  SortChildren();
}

// --- Type byte and record ---------------------------------------------------------------

void TNovaBaseList::WriteComponent(core::ByteWriter& w, const TNovaComponent& c) const {
  w.u8(c.ComponentType());
  c.SaveToStream(w);
}

TNovaComponent& TNovaBaseList::ReadComponent(core::ByteReader& r, std::int32_t version, TNovaControl* parent) {
  check_component_record_version(version);
  const std::uint8_t stored = r.u8();
  const std::optional<TComponentType> type = factory_type(stored);
  if (!type) r.fail(core::format("component type %d has no class", {static_cast<int>(stored)}));
  if (!factory().has_class(*type)) throw core::Error(TComponentFactory::not_built_message(*type));
  if (parent && !component_type_info(*type).visual) {
    r.fail(core::format("%s cannot be a child", {component_type_info(*type).name}));
  }
  if (parent && parent->Depth() + 1 > kMaxTreeDepth) {
    r.fail(core::format("components nested deeper than %d levels", {kMaxTreeDepth}));
  }
  TNovaComponent& c = Create(*type);
  try {
    if (parent) c.AsControl()->SetParent(parent);
    c.LoadFromStream(r, version);
  } catch (...) {
    // A failed record leaves nothing behind: the component goes with the
    // children it had read.
    destroy(c);
    throw;
  }
  return c;
}

}  // namespace nova::components
