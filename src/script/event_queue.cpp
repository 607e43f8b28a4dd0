#include "script/event_queue.h"

#include <algorithm>

#include "core/sjis.h"

namespace nova::script {

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

std::optional<std::string> ListEventQueue::component_name(ComponentId id) const {
  for (const Component& c : m_components) {
    if (c.id == id) return c.name;
  }
  return std::nullopt;
}

ComponentId ListEventQueue::find_component(std::string_view name) const {
  for (const Component& c : m_components) {
    if (core::equal_ci(c.name, name)) return c.id;
  }
  return 0;
}

ComponentId ListEventQueue::add_component(std::string name) {
  m_components.push_back({m_next_id, std::move(name)});
  return m_next_id++;
}

void ListEventQueue::remove_component(ComponentId id) {
  std::erase_if(m_components, [&](const Component& c) { return c.id == id; });
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

}  // namespace nova::script
