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
// Composition: the main list composes into the display surface it is
// given (the screen manager's), a list without one (a cinema's) into its
// own composition surface. Transitions come from the factory in the
// services; the list owns the running one.
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
#include "components/mes_services.h"
#include "components/name_index.h"
#include "components/nova_base.h"
#include "components/nova_control.h"
#include "components/nova_object.h"
#include "components/system_links.h"
#include "core/frame_clock.h"
#include "graphics/memory_dibx.h"
#include "graphics/screen_manager.h"
#include "graphics/transition.h"

namespace nova::graphics {
class TBrioCollection;
}
namespace nova::data {
class TNovaHistoryFormatManager;
}

namespace nova::components {

class ScriptValues;
class TNovaReadList;

// Shows the pointer shape over the panel. `file` is the cursor file a
// component asks for, empty for none (the title's default cursor or the
// arrow). Called once per frame while the pointer is over a component; an
// implementation loads a file only when it changes.
class PointerShapes {
 public:
  virtual ~PointerShapes() = default;
  virtual void ShowCursor(const std::string& file) = 0;
};

// What a base list is given. Everything given must outlive the list; all
// but the factory may be absent (a cinema's list, tests): without pointer
// shapes the pointer is left alone, without a transition factory every
// flip is immediate, without the links the flags are only kept.
struct BaseListServices {
  const TComponentFactory& factory;
  PointerShapes* pointer_shapes = nullptr;
  graphics::TTransitionFactory* transitions = nullptr;
  PictureCacheLink* picture_cache = nullptr;
  MediaSwitch* media = nullptr;
  // The picture cache of the image components, and the script's values
  // they run expressions on and set selections in; without them images
  // cannot load and pause for no extra time, and choices set nothing.
  graphics::TBrioCollection* pictures = nullptr;
  ScriptValues* script_values = nullptr;
  // The frame clock animations step by; without it they stand still.
  const core::FrameClock* clock = nullptr;
  // What message boxes need; without it they cannot show text.
  const MesServices* messages = nullptr;
};

// The key arrays are indexed by virtual-key code.
constexpr int kKeyCount = 256;
// The player's own key repeat: first after 300 ms, then every 50 ms.
constexpr std::int32_t kKeyRepeatDelayMs = 300;
constexpr std::int32_t kKeyRepeatIntervalMs = 50;
// Screen sizes a list accepts: each side 1 ... kMaxScreenSide, at most
// kMaxScreenPixels in all.
constexpr std::int32_t kMaxScreenSide = 16384;
constexpr std::int64_t kMaxScreenPixels = std::int64_t{1} << 28;

class TNovaBaseList : public TNovaComponent, public ComponentDirectory, public graphics::TPresentSource {
 public:
  explicit TNovaBaseList(BaseListServices services);
  // Destroys every component and both bases.
  ~TNovaBaseList() override;

  const TComponentFactory& factory() const { return m_services.factory; }
  graphics::TBrioCollection* pictures() const { return m_services.pictures; }
  ScriptValues* script_values() const { return m_services.script_values; }
  const MesServices* messages() const { return m_services.messages; }
  // The history formats the boxes record into (the component system's);
  // none: nothing is recorded.
  data::TNovaHistoryFormatManager* history() const { return m_history; }
  void set_history(data::TNovaHistoryFormatManager* history) { m_history = history; }
  // The read marks the boxes keep (the project's status data); none:
  // nothing is marked read and nothing reads as read.
  TNovaReadList* read_marks() const { return m_read_marks; }
  void set_read_marks(TNovaReadList* marks) { m_read_marks = marks; }
  // The last accepted frame interval (ms), 0 without a clock.
  std::int32_t FrameMs() const { return m_services.clock ? m_services.clock->FrameDeltaMs.load() : 0; }

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
  // Moves the focus to `control` (none: no focus), raising PR_ONFOCUSOUT
  // on the old focus and PR_ONFOCUSIN on the new one; nothing when it
  // already has it.
  void SetFocus(TNovaControl* control);
  // Focus upkeep: hiding the focused control or an ancestor takes the focus
  // away at once (with PR_ONFOCUSOUT) and marks it dirty; showing a control
  // or setting PR_HANDLEKEY while there is no focus, or clearing it on the
  // focused control, marks it dirty.
  void visibility_changed(TNovaControl& control);
  void handle_key_changed(TNovaControl& control);

  // --- The frame --------------------------------------------------------------------
  // The start of a frame: focus upkeep, this frame's key edges, the mouse
  // dispatch on the front base, the key events of the focus and the
  // player's key repeat, counted against `elapsed_ms` since the last frame.
  void FrameBegin(std::int32_t elapsed_ms);
  // The update pass: both bases, then every registered component once (a
  // finished one is destroyed at once), then the deletion step.
  void UpdateAll();

  // Clears the transition area, paints both bases' dirty rectangles into
  // their surfaces (see nova_base.h) and lets a started transition draw
  // its step into the display surface, whose bounds become the transition
  // area.
  void Compose();

  // --- Surfaces -------------------------------------------------------------------------
  // The surface the list composes into: the one given (borrowed; the main
  // list's is the screen manager's), else the list's own composition
  // surface. nullptr while released or before a screen size.
  graphics::TCustomDIBX* DisplaySurface() const { return m_display ? m_display : m_composition.get(); }
  // Composes into `display` from now on (nullptr: into the list's own
  // surface). A different bit depth remakes the bases' surfaces; both
  // bases become wholly dirty. The same surface at the same depth changes
  // nothing.
  void SetDisplaySurface(graphics::TCustomDIBX* display);
  // The bit depth of the list's and the bases' surfaces (32 until a
  // display surface says otherwise).
  int BitCount() const { return m_bit_count; }
  // The surface base `index` paints into this frame.
  graphics::TCustomDIBX* PaintTarget(int index) const;
  // Around a display-mode change: the list's and the bases' surfaces are
  // freed, every registered component and the picture cache are told, a
  // running transition is dropped; RecreateSurfaces makes them again at
  // `bit_count` (the display surface's when one is given) and marks both
  // bases wholly dirty.
  void ReleaseSurfaces() override;
  void RecreateSurfaces(int bit_count);
  void RecreateSurfaces() override { RecreateSurfaces(m_display ? m_display->GetBitCount() : m_bit_count); }

  // --- Transitions ------------------------------------------------------------------------
  // Sets the front index. With `force`, or a `type` other than 0 while none
  // runs: drops the running transition, marks both bases wholly dirty and,
  // for a type, makes the transition through the factory (after copying
  // the display surface into the front base's own surface when the front
  // base painted there) from the front base's own surface to the back
  // base's; then the focus is cleared without events, and marked dirty,
  // when it is not on the new front base. The type stored is the one
  // asked for, or 0 when nothing could be made. A running transition gets
  // `elapsed`.
  //
  // Answers the transition made by this call, unstarted: the caller sets
  // its reverse flag, parameters and mask name and starts it; Compose
  // draws it once started. nullptr when none was made.
  graphics::TTransition* BeginTransition(std::int32_t front_index, int type, bool force, std::int32_t elapsed,
                                         std::int32_t duration);
  // The running transition's duration, 0 without one.
  std::int32_t TransitionLength() const { return m_transition ? m_transition->Duration() : 0; }
  void SetTransitionTime(std::int32_t elapsed) {
    if (m_transition) m_transition->SetElapsed(elapsed);
  }
  int TransitionType() const { return m_transition_type; }
  graphics::TTransition* transition() const { return m_transition.get(); }

  // --- What the screen manager presents ---------------------------------------------------
  Rect WholeScreenDirtyRect() const override { return m_transition_area; }
  std::vector<Rect> FrontDirtyRects() const override { return front_base().dirty().rects(); }
  int DisplayScale() const override { return m_display_scale; }
  void SetDisplayScale(int percent) { m_display_scale = percent; }
  Rect TransitionArea() const { return m_transition_area; }
  void ClearDirtyRects() override;

  // --- Keys (the window's calls) ---------------------------------------------------------
  // A key went down or up. The desktop's own auto-repeats must not come
  // here: the player repeats by its own clock.
  void SetKeyState(std::int32_t code, bool down);
  void RecordKeyPress(std::int32_t code);
  // Forgets every key and both bases' buttons and capture.
  void ReleaseInput();
  bool KeyHeld(std::int32_t code) const { return key_at(m_key_held, code); }
  bool KeyPressedThisFrame(std::int32_t code) const { return key_at(m_key_pressed_now, code); }
  bool KeyTriggeredThisFrame(std::int32_t code) const { return key_at(m_key_triggered_now, code); }

  // --- Right-click list ------------------------------------------------------------------
  // Controls that close on a right click register while they exist.
  void AddRightClickControl(TNovaControl& control);
  void RemoveRightClickControl(TNovaControl& control);

  // --- Screen ------------------------------------------------------------------------------
  std::int32_t ScreenWidth() const { return m_screen_width; }
  std::int32_t ScreenHeight() const { return m_screen_height; }
  // Sets the size of both bases; raises core::Error outside the accepted
  // sizes. Both bases become wholly dirty.
  void SetScreenSize(std::int32_t width, std::int32_t height);
  static bool ValidScreenSize(std::int64_t width, std::int64_t height);
  // Destroys every component and both bases, empties the queue and the
  // deletion list and makes two new bases at the same size, given the
  // pointer position of the old front base.
  void Reset();
  bool MediaEnabled() const { return m_media_enabled; }
  // Stores the flag; a change goes to the media managers.
  void SetMediaEnabled(bool enabled);
  bool ImageQuality() const { return m_image_quality; }
  // Stores the flag; a change goes to the picture cache and marks both
  // bases wholly dirty.
  void SetImageQuality(bool quality);
  // The links may be given after the list is made (the media managers
  // come later than the component system) and taken back.
  void set_picture_cache(PictureCacheLink* link) { m_services.picture_cache = link; }
  void set_media_switch(MediaSwitch* link) { m_services.media = link; }
  void set_transition_factory(graphics::TTransitionFactory* f) { m_services.transitions = f; }

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

  // The screen record (a save file's component section): screen size,
  // front index, both bases with their children, the top-level non-visual
  // components, the event queue and the focused control's name. Written
  // at kComponentRecordVersion, read at every version from 101.
  void WriteScreen(core::ByteWriter& w) const;
  // Replaces everything with what the record holds. The record is read
  // into a list of its own first: a damaged one raises core::Error and
  // leaves the screen, the components, the queue and the focus as they
  // were. Sizes outside ValidScreenSize, a front index other than 0 or 1,
  // and counts beyond the bytes left are damage.
  //
  // TrialRead::Skip reads straight into the list, at half the cost: a
  // damaged record still raises, but leaves the list partly replaced. It is
  // for callers that restore the whole game when a load fails.
  enum class TrialRead : std::uint8_t { First, Skip };
  void ReadScreen(core::ByteReader& r, std::int32_t version, TrialRead trial = TrialRead::First);

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
  using KeyArray = std::array<std::uint8_t, kKeyCount>;
  static bool key_at(const KeyArray& keys, std::int32_t code) {
    return code >= 0 && code < kKeyCount && keys[static_cast<std::size_t>(code)] != 0;
  }
  void dispatch_mouse(TNovaBase& base);
  void close_on_right_click(TNovaBase& base);
  void dispatch_keys();
  void repeat_keys(std::int32_t elapsed_ms);
  // The live control behind a handle (bases included).
  TNovaControl* control(ComponentId id) const;

  BaseListServices m_services;
  data::TNovaHistoryFormatManager* m_history = nullptr;
  TNovaReadList* m_read_marks = nullptr;
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

  std::int32_t m_screen_width = 0;
  std::int32_t m_screen_height = 0;
  // Index of the component being updated while the update pass runs;
  // compaction moves it back over the holes below it.
  mutable std::size_t m_update_cursor = 0;
  bool m_updating = false;
  std::vector<ComponentId> m_right_click;
  KeyArray m_key_held{};
  KeyArray m_key_pressed{};
  KeyArray m_key_pressed_now{};
  KeyArray m_key_triggered{};
  KeyArray m_key_triggered_now{};
  std::array<std::int32_t, kKeyCount> m_repeat_countdown{};
  bool m_keys_down = false;
  bool m_keys_repeated = false;
  bool m_keys_up = false;
  std::vector<std::int32_t> m_down_codes;
  std::vector<std::int32_t> m_up_codes;
  std::vector<std::int32_t> m_repeat_codes;
  // What the running transition changed this frame; empty without one.
  Rect m_transition_area;
  std::uint8_t m_transition_type = 0;
  std::unique_ptr<graphics::TTransition> m_transition;
  graphics::TCustomDIBX* m_display = nullptr;
  std::unique_ptr<graphics::TDIBX> m_composition;
  int m_bit_count = 32;
  bool m_surfaces_released = false;
  void make_surfaces();
  // The screen record's reading, without the trial.
  void read_screen(core::ByteReader& r, std::int32_t version);
  int m_display_scale = 100;
  bool m_media_enabled = true;
  bool m_image_quality = false;
};

}  // namespace nova::components
