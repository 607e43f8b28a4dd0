// Component handles, the event queue as the interpreter sees it, and the
// component names it asks for.
//
// The queue belongs to the component system: components append an entry
// when they raise an event (a click, a key, a timer ...), and the entry
// stays until the handler it started returns. The interpreter takes the
// first pending entry, marks it with the call level it runs at, and removes
// entries by level when handlers return or the script restarts.
//
// Nothing outside the registry ever holds a component itself: senders,
// interpreter frames, hover, focus and wait targets are ComponentIds, which
// resolve to nothing once their component is destroyed, even after its slot
// holds another component.
//
// TTimerList is the queue a base list owns; ListEventQueue is a complete
// queue and directory over plain lists, for tests and for players without a
// component system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"

namespace nova::components {

// A non-owning reference to a component: the registry slot it occupies and
// the generation of that slot when it was made. A slot's generation changes
// whenever its component goes, so an old handle never finds the next
// occupant. The default handle (all bits 0) is "none".
class ComponentId {
 public:
  constexpr ComponentId() = default;
  // `generation` must not be 0 (that would make the handle "none").
  constexpr ComponentId(std::uint32_t slot, std::uint32_t generation)
      : m_bits((static_cast<std::uint64_t>(generation) << 32) | slot) {}

  constexpr std::uint32_t slot() const { return static_cast<std::uint32_t>(m_bits); }
  constexpr std::uint32_t generation() const { return static_cast<std::uint32_t>(m_bits >> 32); }
  constexpr bool none() const { return m_bits == 0; }
  constexpr explicit operator bool() const { return m_bits != 0; }
  constexpr std::uint64_t bits() const { return m_bits; }

  friend constexpr bool operator==(ComponentId, ComponentId) = default;

 private:
  std::uint64_t m_bits = 0;
};

// The slots behind ComponentIds: each live value has a slot and the
// generation the slot had when the value arrived. A freed slot is taken
// again by the next value, with a new generation; generations start at 1
// and skip 0 when they wrap, so a live handle is never "none".
template <typename T>
class HandleTable {
 public:
  ComponentId add(T value) {
    std::uint32_t slot;
    if (!m_free.empty()) {
      slot = m_free.back();
      m_free.pop_back();
    } else {
      slot = static_cast<std::uint32_t>(m_slots.size());
      m_slots.emplace_back();
    }
    Slot& s = m_slots[slot];
    if (++s.generation == 0) s.generation = 1;
    s.used = true;
    s.value = std::move(value);
    return ComponentId(slot, s.generation);
  }
  // The value of a live handle, else nullptr.
  T* get(ComponentId id) {
    if (id.none() || id.slot() >= m_slots.size()) return nullptr;
    Slot& s = m_slots[id.slot()];
    return (s.used && s.generation == id.generation()) ? &s.value : nullptr;
  }
  const T* get(ComponentId id) const { return const_cast<HandleTable*>(this)->get(id); }
  // Frees the slot of a live handle; answers whether it was live.
  bool remove(ComponentId id) {
    if (!get(id)) return false;
    Slot& s = m_slots[id.slot()];
    s.used = false;
    s.value = T{};
    m_free.push_back(id.slot());
    return true;
  }
  // Calls fn(id, value) for every live value in slot order, until fn
  // answers true; answers that handle, or none.
  template <typename Fn>
  ComponentId find_if(Fn&& fn) const {
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
      const Slot& s = m_slots[i];
      const ComponentId id(static_cast<std::uint32_t>(i), s.generation);
      if (s.used && fn(s.value)) return id;
    }
    return {};
  }

 private:
  struct Slot {
    std::uint32_t generation = 0;
    bool used = false;
    T value{};
  };
  std::vector<Slot> m_slots;
  std::vector<std::uint32_t> m_free;
};

struct EventEntry {
  // A page name, optionally followed by ":" and a label name.
  std::string target;
  ComponentId sender;
  std::uint8_t event_id = 0;  // the property id of the event property
  // 0 while pending; the call level of the interpreter once it runs.
  std::int32_t level = 0;
  std::vector<std::string> arguments;
};

// What the interpreter does with the queue.
class EventQueue {
 public:
  virtual ~EventQueue() = default;

  // The oldest entry whose level is 0, or nullptr. The pointer is valid
  // until the queue changes.
  virtual EventEntry* first_pending() = 0;
  // Removes that entry.
  virtual void remove(const EventEntry& entry) = 0;
  // Removes every entry of that level.
  virtual void remove_level(std::int32_t level) = 0;
  // Removes every entry whose level is not 0 (all running handlers).
  virtual void remove_running() = 0;
  virtual void clear() = 0;
};

// Component names, as the interpreter needs them for @Sender and for the
// senders of a saved state (which stores names, not handles). Names are
// compared byte for byte.
class ComponentDirectory {
 public:
  virtual ~ComponentDirectory() = default;
  // The name of the component while it exists, else nullopt.
  virtual std::optional<std::string> name_of(ComponentId id) const = 0;
  // The component of exactly that name, or none.
  virtual ComponentId find(std::string_view name) const = 0;
};

// The queue of a base list (the system's TTimerList): the entries in the
// order they were raised, with the operations the raise routine and the
// destruction of a component need besides the interpreter's. The raising
// rules themselves belong to the base list, which knows the senders.
class TTimerList : public EventQueue {
 public:
  EventEntry* first_pending() override;
  void remove(const EventEntry& entry) override;
  void remove_level(std::int32_t level) override;
  void remove_running() override;
  void clear() override { m_entries.clear(); }

  // Whether an entry of this sender and event id is in the queue: waiting
  // or running, or with `waiting_only` only waiting (level 0).
  bool holds(ComponentId sender, std::uint8_t event_id, bool waiting_only) const;
  void append(EventEntry entry) { m_entries.push_back(std::move(entry)); }
  // The sender is destroyed: its waiting entries go; running ones stay and
  // run on without it.
  void remove_sender(ComponentId sender);

  const std::vector<EventEntry>& entries() const { return m_entries; }

  // The entries of a screen record: an int32 count, then each entry (see
  // write_event_entry). `load` reads every entry before it replaces the
  // queue, so a damaged record leaves the queue as it was.
  void save(core::ByteWriter& w, const ComponentDirectory& names) const;
  void load(core::ByteReader& r, std::int32_t version, const ComponentDirectory& names);

 private:
  std::vector<EventEntry> m_entries;
};

// The record of one entry: target (string), the sender's name (string;
// empty when the sender is gone), event id (one byte), run level (int32;
// one byte before version 114, where any value but 0 means 1), arguments
// (int32 count, then the strings). On reading, the sender is found by name
// (none for an empty name); an event id outside 0 ... 164 or a negative run
// level is an error.
void write_event_entry(core::ByteWriter& w, const EventEntry& entry, const ComponentDirectory& names);
EventEntry read_event_entry(core::ByteReader& r, std::int32_t version, const ComponentDirectory& names);
// The stream version from which the run level is an int32.
constexpr std::int32_t kRunLevelInt32Version = 114;

// A complete queue and directory over plain lists, for tests and for
// players without a component system.
class ListEventQueue final : public TTimerList, public ComponentDirectory {
 public:
  std::optional<std::string> name_of(ComponentId id) const override;
  ComponentId find(std::string_view name) const override;

  // A sender of that name, in the first free slot.
  ComponentId add_component(std::string name);
  // The sender is gone: its pending entries go with it, as a component's
  // destruction removes them, and its slot becomes free for the next one.
  void remove_component(ComponentId id);

  // Raises an event as components do: nothing is queued when the target is
  // empty or when an entry of the same sender and event id is pending or
  // running (an event never re-enters its own handler). Answers whether the
  // entry was appended.
  bool raise(ComponentId sender, std::uint8_t event_id, std::string target, std::vector<std::string> arguments = {});

 private:
  HandleTable<std::string> m_names;
};

}  // namespace nova::components
