#include "components/events.h"

#include <algorithm>

#include "components/property_table.h"

namespace nova::components {

// --- TTimerList ----------------------------------------------------------------------

EventEntry* TTimerList::first_pending() {
  for (EventEntry& e : m_entries) {
    if (e.level == 0) return &e;
  }
  return nullptr;
}

void TTimerList::remove(const EventEntry& entry) {
  std::erase_if(m_entries, [&](const EventEntry& e) { return &e == &entry; });
}

void TTimerList::remove_level(std::int32_t level) {
  std::erase_if(m_entries, [&](const EventEntry& e) { return e.level == level; });
}

void TTimerList::remove_running() {
  std::erase_if(m_entries, [](const EventEntry& e) { return e.level != 0; });
}

bool TTimerList::holds(ComponentId sender, std::uint8_t event_id, bool waiting_only) const {
  return std::any_of(m_entries.begin(), m_entries.end(), [&](const EventEntry& e) {
    return e.sender == sender && e.event_id == event_id && (!waiting_only || e.level == 0);
  });
}

void TTimerList::remove_sender(ComponentId sender) {
  std::erase_if(m_entries, [&](const EventEntry& e) { return e.sender == sender && e.level == 0; });
}

void TTimerList::save(core::ByteWriter& w, const ComponentDirectory& names) const {
  w.i32(static_cast<std::int32_t>(m_entries.size()));
  for (const EventEntry& e : m_entries) write_event_entry(w, e, names);
}

namespace {

// The smallest entry: target and sender name empty, event id, run level
// (one byte in the oldest form) and an argument count of 0.
constexpr std::size_t kMinEntryBytes = 4 + 4 + 1 + 1 + 4;

std::int32_t read_count(core::ByteReader& r, std::size_t min_bytes, std::string_view what) {
  const std::int32_t n = r.i32();
  if (n < 0 || static_cast<std::size_t>(n) > r.remaining() / min_bytes) r.fail(what);
  return n;
}

}  // namespace

void TTimerList::load(core::ByteReader& r, std::int32_t version, const ComponentDirectory& names) {
  const std::int32_t n = read_count(r, kMinEntryBytes, "event count out of range");
  std::vector<EventEntry> entries;
  entries.reserve(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) entries.push_back(read_event_entry(r, version, names));
  m_entries = std::move(entries);
}

void write_event_entry(core::ByteWriter& w, const EventEntry& entry, const ComponentDirectory& names) {
  w.str(entry.target);
  w.str(entry.sender ? names.name_of(entry.sender).value_or(std::string()) : std::string());
  w.u8(entry.event_id);
  w.i32(entry.level);
  w.i32(static_cast<std::int32_t>(entry.arguments.size()));
  for (const std::string& a : entry.arguments) w.str(a);
}

EventEntry read_event_entry(core::ByteReader& r, std::int32_t version, const ComponentDirectory& names) {
  EventEntry e;
  e.target = r.str();
  const std::string sender = r.str();
  if (!sender.empty()) e.sender = names.find(sender);
  e.event_id = r.u8();
  if (!is_property_id(e.event_id)) r.fail("event id out of range");
  if (version >= kRunLevelInt32Version) {
    e.level = r.i32();
    if (e.level < 0) r.fail("negative run level");
  } else {
    e.level = r.u8() != 0 ? 1 : 0;
  }
  const std::int32_t n = read_count(r, 4, "argument count out of range");
  e.arguments.reserve(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) e.arguments.push_back(r.str());
  return e;
}

// --- ListEventQueue --------------------------------------------------------------------

std::optional<std::string> ListEventQueue::name_of(ComponentId id) const {
  if (const std::string* name = m_names.get(id)) return *name;
  return std::nullopt;
}

ComponentId ListEventQueue::find(std::string_view name) const {
  return m_names.find_if([&](const std::string& n) { return n == name; });
}

ComponentId ListEventQueue::add_component(std::string name) { return m_names.add(std::move(name)); }

void ListEventQueue::remove_component(ComponentId id) {
  if (m_names.remove(id)) remove_sender(id);
}

bool ListEventQueue::raise(ComponentId sender, std::uint8_t event_id, std::string target,
                           std::vector<std::string> arguments) {
  if (target.empty() || holds(sender, event_id, false)) return false;
  append({std::move(target), sender, event_id, 0, std::move(arguments)});
  return true;
}

}  // namespace nova::components
