// The event queue as the interpreter sees it.
//
// The queue belongs to the component system: components append an entry
// when they raise an event (a click, a key, a timer ...), and the entry
// stays until the handler it started returns. The interpreter takes the
// first pending entry, marks it with the call level it runs at, and removes
// entries by level when handlers return or the script restarts. Components
// are never held by the interpreter: a sender is an id that the component
// system answers names for while the component exists.
//
// ListEventQueue is a complete queue over a plain list, with a table of
// named senders; tests fill it, and it serves until the component system
// brings its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nova::script {

// A component as the interpreter refers to it; 0 is none. Ids are never
// reused within a run, so a stale id answers "gone".
using ComponentId = std::uint64_t;

struct EventEntry {
  // A page name, optionally followed by ":" and a label name.
  std::string target;
  ComponentId sender = 0;
  std::uint8_t event_id = 0;  // the property id of the event property
  // 0 while pending; the call level of the interpreter once it runs.
  std::int32_t level = 0;
  std::vector<std::string> arguments;
};

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

  // The name of a component that still exists, else nullopt.
  virtual std::optional<std::string> component_name(ComponentId id) const = 0;
  // The component of that name, or 0.
  virtual ComponentId find_component(std::string_view name) const = 0;
};

class ListEventQueue final : public EventQueue {
 public:
  EventEntry* first_pending() override;
  void remove(const EventEntry& entry) override;
  void remove_level(std::int32_t level) override;
  void remove_running() override;
  void clear() override { m_entries.clear(); }
  std::optional<std::string> component_name(ComponentId id) const override;
  ComponentId find_component(std::string_view name) const override;

  // A sender of that name (names are compared without regard to case).
  ComponentId add_component(std::string name);
  // The sender is gone; its pending entries go with it, as a component's
  // destructor removes them.
  void remove_component(ComponentId id);

  // Raises an event as components do: nothing is queued when the target is
  // empty or when an entry of the same sender and event id is pending or
  // running (an event never re-enters its own handler). Answers whether the
  // entry was appended.
  bool raise(ComponentId sender, std::uint8_t event_id, std::string target, std::vector<std::string> arguments = {});

  const std::vector<EventEntry>& entries() const { return m_entries; }

 private:
  struct Component {
    ComponentId id;
    std::string name;
  };
  std::vector<EventEntry> m_entries;
  std::vector<Component> m_components;
  ComponentId m_next_id = 1;
};

}  // namespace nova::script
