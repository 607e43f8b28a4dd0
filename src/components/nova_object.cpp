#include "components/nova_object.h"

#include <string>

#include "components/base_list.h"

namespace nova::components {

TNovaObject::~TNovaObject() = default;

void TNovaObject::SetName(std::string_view name) {
  if (m_list) {
    m_list->Rename(*this, name);
  } else {
    m_name = name;
  }
}

void TNovaObject::SetPriority(std::int32_t priority) {
  m_priority = priority;
  m_order_offset = 0;
  if (TNovaControl* c = AsControl(); c && c->Parent()) c->Parent()->mark_children_unsorted();
}

void TNovaObject::SetOrderOffset(std::int32_t offset) {
  m_order_offset = offset;
  if (TNovaControl* c = AsControl(); c && c->Parent()) c->Parent()->mark_children_unsorted();
}

const PropertyTable& TNovaObject::ClassProperties() {
  static const PropertyTable table = [] {
    PropertyTable t;
    t.text<&TNovaObject::Name, &TNovaObject::SetName>(PR_NAME);
    t.integer<&TNovaObject::Priority, &TNovaObject::SetPriority>(PR_PRIORITY);
    t.integer<&TNovaObject::ComponentType>(PR_COMPOTYPE);
    t.text<&TNovaObject::Tag, &TNovaObject::SetTag>(PR_TAG);
    return t;
  }();
  return table;
}

// --- Events ----------------------------------------------------------------------------

namespace {

std::vector<std::string> decimal(auto begin, auto end) {
  std::vector<std::string> texts;
  texts.reserve(static_cast<std::size_t>(end - begin));
  for (auto it = begin; it != end; ++it) texts.push_back(std::to_string(*it));
  return texts;
}

}  // namespace

bool TNovaObject::RaiseEvent(TPropId event, std::initializer_list<std::int32_t> arguments, PendingRule rule) {
  if (!m_list) return false;
  return m_list->raise(*this, event, decimal(arguments.begin(), arguments.end()), rule);
}

bool TNovaObject::RaiseEvent(TPropId event, const std::vector<std::int32_t>& arguments, PendingRule rule) {
  if (!m_list) return false;
  return m_list->raise(*this, event, decimal(arguments.begin(), arguments.end()), rule);
}

bool TNovaObject::RaiseEvent(TPropId event, std::vector<std::string> arguments, PendingRule rule) {
  if (!m_list) return false;
  return m_list->raise(*this, event, std::move(arguments), rule);
}

// --- Operations ---------------------------------------------------------------------------

graphics::TCustomDIBX* TNovaObject::GetSurface() const { return nullptr; }

Rect TNovaObject::GetScreenRect() const { return ScreenRectAt(ScreenLeft(), ScreenTop()); }

Rect TNovaObject::ScreenRectAt(std::int64_t x, std::int64_t y) const {
  const PropertyTable& table = properties();
  return ScreenRectOfSize(x, y, read_int_in(table, *this, PR_WIDTH), read_int_in(table, *this, PR_HEIGHT));
}

bool TNovaObject::ClipToVisible(Rect& rect) const {
  rect = rect.intersected(GetScreenRect());
  return !rect.empty();
}

std::string TNovaObject::GetAllText() const { return read_str(*this, PR_TEXT); }

void TNovaObject::AppendText(std::string_view text) { write_str(*this, PR_TEXT, GetAllText() + std::string(text)); }

std::string TNovaObject::GetEffectiveCursor() const { return read_str(*this, PR_CURSOR); }

}  // namespace nova::components
