// TNovaBaseList: the root of the component system. It owns every component
// (its registry), the two screen bases, the event queue and the deletion
// list; it creates components through its factory, names them, finds them
// by name, hands out and resolves their handles, raises their events and
// destroys them.
//
// A list is self-contained: everything it needs comes in through its
// services, so several lists can exist side by side (a cinema's screen
// within the screen, tests). The interpreter takes events from `events()`
// and asks the list itself for sender names (ComponentDirectory).
//
// Lifetimes: a component lives from `adopt` (or Create) to `destroy`, which
// happens at once for a finished component, at the end of the update pass
// for one scheduled for deletion (`destroy_scheduled`), with its parent, or
// with the list. Pointers to components are valid until then; ComponentIds
// stay safe to keep and resolve to nothing afterwards.
//
// The composition, input routing, the update pass, Reset and the screen
// record belong to the screen bases' part of the list and are added there.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "components/component_factory.h"
#include "components/events.h"
#include "components/name_index.h"
#include "components/nova_base.h"
#include "components/nova_control.h"
#include "components/nova_object.h"

namespace nova::components {

// What a base list is given. The factory must outlive the list.
struct BaseListServices {
  const TComponentFactory& factory;
};

class TNovaBaseList : public TNovaComponent, public ComponentDirectory {
 public:
  explicit TNovaBaseList(BaseListServices services);
  // Destroys every component and both bases.
  ~TNovaBaseList() override;

  const TComponentFactory& factory() const { return m_services.factory; }

  // --- Creating ----------------------------------------------------------------
  // Registers a new component at the end of the registry (naming it
  // "object" + the smallest free number first, unless it declines an
  // automatic name) and answers it.
  TNovaComponent& adopt(std::unique_ptr<TNovaComponent> component);
  template <typename T, typename... Args>
  T& make(Args&&... args) {
    return static_cast<T&>(adopt(std::make_unique<T>(std::forward<Args>(args)...)));
  }
  // A component of `type` through the factory; raises core::Error for a
  // type whose class is not built ("TNovaButton is not built yet").
  TNovaComponent& Create(TComponentType type);

  // --- The registry ----------------------------------------------------------------
  // Registered components in registration order (never the bases).
  TNovaObject* GetItem(std::int32_t index) const override;
  std::int32_t ItemCount() const override;
  // The component behind a handle while it exists (bases included).
  TNovaObject* resolve(ComponentId id) const;
  bool registered(const TNovaObject& o) const { return o.m_registered && o.m_list == this; }

  // --- Bases -------------------------------------------------------------------------
  // Base 0 is the one made first (byte 1 + "BASE0").
  TNovaBase& base(int index) const { return *m_bases[index & 1]; }
  std::int32_t front_index() const { return m_front_index; }
  void set_front_index(std::int32_t index) { m_front_index = index & 1; }
  TNovaBase& front_base() const { return base(m_front_index); }
  TNovaBase& back_base() const { return base(m_front_index ^ 1); }

  // --- Names -----------------------------------------------------------------------
  // The component lookup: the empty name and byte 1 + "BASE0" give the
  // front base, byte 1 and byte 1 + "BASE1" the back base; otherwise the
  // first registered component of exactly that name not pending deletion.
  TNovaComponent* FindComponent(std::string_view name) const;
  // The control lookup: the empty name gives the front base and byte 1 the
  // back base, byte 1 + "BASE0" and "BASE1" the base made first and second
  // whatever their roles; otherwise the first registered control of that
  // name not pending deletion.
  TNovaControl* FindControl(std::string_view name) const;
  // ComponentDirectory: the name of a live component; the component lookup
  // of a name (none for the empty name).
  std::optional<std::string> name_of(ComponentId id) const override;
  ComponentId find(std::string_view name) const override;

  // PR_NAME of `o`: a name equal to the current one changes nothing;
  // otherwise another registered component of that name, if any, is
  // renamed (when `o` is a control) to its stem + "_" + the first free
  // number, or scheduled for deletion (when `o` is not), and `o` takes the
  // name. The empty name takes no other component's place.
  void Rename(TNovaObject& o, std::string_view name);
  // Sets the name as it stands (names read from a stream).
  void set_name(TNovaObject& o, std::string_view name);

  // --- Deletion --------------------------------------------------------------------
  bool IsPendingDeletion(const TNovaObject& o) const { return o.m_pending_deletion; }
  // Puts a registered component on the deletion list (once) and clears its
  // name at once. Does nothing for a screen base, the list itself or an
  // object the list did not register.
  void ScheduleDeletion(TNovaObject& o);
  // Destroys a component (or a screen base) now: its children first, then
  // it leaves its parent, the focus, the queue (its waiting events), the
  // name index, the registry and its handle, and is freed.
  void destroy(TNovaObject& o);
  // The deletion step at the end of the update pass: every component still
  // registered on the deletion list is destroyed, then the registry is
  // compacted once.
  void destroy_scheduled();
  std::size_t scheduled_count() const { return m_deletions.size(); }

  // --- Events ------------------------------------------------------------------------
  TTimerList& events() { return m_events; }
  const TTimerList& events() const { return m_events; }
  // The raise routine (TNovaObject::RaiseEvent).
  bool raise(TNovaObject& sender, TPropId event, std::vector<std::string> arguments, PendingRule rule);

  // --- Focus -----------------------------------------------------------------------
  // The control receiving key events, while it exists.
  TNovaControl* focus() const;
  void set_focus_handle(ComponentId id) { m_focus = id; }
  bool focus_dirty() const { return m_focus_dirty; }
  void mark_focus_dirty() { m_focus_dirty = true; }
  void clear_focus_dirty() { m_focus_dirty = false; }
  // Focus upkeep when a control is hidden or shown, or PR_HANDLEKEY
  // changes: part of the input routing of the screen bases.
  void visibility_changed(TNovaControl&) {}
  void handle_key_changed(TNovaControl&) {}

  // --- Records ---------------------------------------------------------------------
  // Writes the component's type byte and record.
  void WriteComponent(core::ByteWriter& w, const TNovaComponent& c) const;
  // Reads a type byte and record: creates the component through the
  // factory, puts it under `parent` (a control's child) and reads its
  // record. Raises core::Error for a version outside 101 ... 140, a type
  // byte without a built class, a non-visual child, a tree deeper than
  // kMaxTreeDepth or a damaged record; what the call created is destroyed
  // then.
  TNovaComponent& ReadComponent(core::ByteReader& r, std::int32_t version, TNovaControl* parent);

 private:
  friend class TNovaObject;
  friend class TNovaControl;

  // Makes the two bases, named and with handles, outside the registry (at
  // construction, and again when a reset has destroyed them).
  void make_bases();
  void give_handle(TNovaObject& o);
  void index_name(TNovaObject& o);
  void unindex_name(TNovaObject& o);
  // A name of the form stem + "_" + N that no registered component bears.
  std::string free_numbered_name(std::string_view taken) const;
  void compact_registry() const;
  std::unique_ptr<TNovaObject> release(TNovaObject& o);

  BaseListServices m_services;
  std::array<std::unique_ptr<TNovaBase>, 2> m_bases;
  std::int32_t m_front_index = 0;
  TTimerList m_events;
  // Registration order; a destroyed component leaves nullptr until the
  // next compaction.
  mutable std::vector<std::unique_ptr<TNovaComponent>> m_registry;
  mutable std::size_t m_registry_holes = 0;
  std::uint64_t m_sequence = 0;
  // Handles of the components scheduled for deletion, oldest first.
  std::deque<ComponentId> m_deletions;
  HandleTable<TNovaObject*> m_handles;
  NameIndex m_names;
  ComponentId m_focus;
  bool m_focus_dirty = false;
};

}  // namespace nova::components
