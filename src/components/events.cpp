#include "components/events.h"

#include <algorithm>

namespace nova::components {

EventEntry* ListEventQueue::first_pending() {
  for (EventEntry& e : m_entries) {
    if (e.level == 0) return &e;
  }
  return nullptr;
}

void ListEventQueue::remove(const EventEntry& entry) {
  std::erase_if(m_entries, [&](const EventEntry& e) { return &e == &entry; });
}

void ListEventQueue::remove_level(std::int32_t level) {
  std::erase_if(m_entries, [&](const EventEntry& e) { return e.level == level; });
}

void ListEventQueue::remove_running() {
  std::erase_if(m_entries, [](const EventEntry& e) { return e.level != 0; });
}

const ListEventQueue::Slot* ListEventQueue::resolve(ComponentId id) const {
  if (id.none() || id.slot() >= m_slots.size()) return nullptr;
  const Slot& s = m_slots[id.slot()];
  return (s.used && s.generation == id.generation()) ? &s : nullptr;
}

std::optional<std::string> ListEventQueue::name_of(ComponentId id) const {
  if (const Slot* s = resolve(id)) return s->name;
  return std::nullopt;
}

ComponentId ListEventQueue::find(std::string_view name) const {
  for (std::size_t i = 0; i < m_slots.size(); ++i) {
    const Slot& s = m_slots[i];
    if (s.used && s.name == name) return ComponentId(static_cast<std::uint32_t>(i), s.generation);
  }
  return {};
}

ComponentId ListEventQueue::add_component(std::string name) {
  auto free = std::find_if(m_slots.begin(), m_slots.end(), [](const Slot& s) { return !s.used; });
  if (free == m_slots.end()) free = m_slots.insert(m_slots.end(), Slot{});
  // Generations start at 1 and skip 0 when they wrap, so a live handle is
  // never "none".
  if (++free->generation == 0) free->generation = 1;
  free->used = true;
  free->name = std::move(name);
  return ComponentId(static_cast<std::uint32_t>(free - m_slots.begin()), free->generation);
}

void ListEventQueue::remove_component(ComponentId id) {
  if (!resolve(id)) return;
  Slot& s = m_slots[id.slot()];
  s.used = false;
  s.name.clear();
  std::erase_if(m_entries, [&](const EventEntry& e) { return e.sender == id && e.level == 0; });
}

bool ListEventQueue::raise(ComponentId sender, std::uint8_t event_id, std::string target,
                           std::vector<std::string> arguments) {
  if (target.empty()) return false;
  if (std::any_of(m_entries.begin(), m_entries.end(),
                  [&](const EventEntry& e) { return e.sender == sender && e.event_id == event_id; })) {
    return false;
  }
  m_entries.push_back({std::move(target), sender, event_id, 0, std::move(arguments)});
  return true;
}

}  // namespace nova::components
