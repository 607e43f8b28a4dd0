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
// ListEventQueue is a complete queue and directory over plain lists, for
// tests and for players without a component system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

class ListEventQueue final : public EventQueue, public ComponentDirectory {
 public:
  EventEntry* first_pending() override;
  void remove(const EventEntry& entry) override;
  void remove_level(std::int32_t level) override;
  void remove_running() override;
  void clear() override { m_entries.clear(); }

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

  const std::vector<EventEntry>& entries() const { return m_entries; }

 private:
  struct Slot {
    std::uint32_t generation = 0;
    bool used = false;
    std::string name;
  };
  const Slot* resolve(ComponentId id) const;

  std::vector<EventEntry> m_entries;
  std::vector<Slot> m_slots;
};

}  // namespace nova::components
