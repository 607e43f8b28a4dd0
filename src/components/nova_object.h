// TNovaObject and TNovaComponent: what every component shares. The identity
// (name, tag, priority and order offset), properties by id, the raise
// routine of events, the object part of the save record, and the virtual
// operations every class may override, with the answers of an object that
// is nothing more.
//
// Ownership: a component belongs to the base list that registered it (its
// owner list), which creates it (TNovaBaseList::adopt, through the factory
// or make<T>), and destroys it (TNovaBaseList::destroy, or at the end of the
// update pass after ScheduleDeletion). Nothing else owns or frees it, and
// nothing outside the tree of parents and children holds it by pointer:
// other references are ComponentIds, which resolve to nothing once the
// component is destroyed. An object without owner list (an auxiliary
// object) belongs to whoever made it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "components/component_types.h"
#include "components/events.h"
#include "components/property_access.h"
#include "components/property_table.h"
#include "core/binary_io.h"
#include "platform/types.h"

namespace nova::graphics {
class TCustomDIBX;
}
namespace nova::expr {
class TNovaParser;
}

namespace nova::components {

class TNovaBaseList;
class TNovaComponent;
class TNovaControl;

using Point = platform::Point;
using Rect = platform::Rect;
using Size = platform::Size;

// The play control of sound, movie and menu components (SetPlayControl).
enum TPlayControl : std::int32_t { LP_PLAY = 0, LP_PLAYFADE = 1, LP_STOP = 2, LP_STOPFADE = 3 };

// Which queued entries keep an event from being raised again. Most events
// are not raised while an entry of the same sender and event waits or runs,
// so an event never re-enters its own handler; the ends of motions and
// animations, map in and out and notifications are raised again while their
// handler runs, but never while one still waits.
enum class PendingRule : std::uint8_t { WaitingOrRunning, WaitingOnly };

class TNovaObject {
 public:
  TNovaObject() = default;
  virtual ~TNovaObject();
  TNovaObject(const TNovaObject&) = delete;
  TNovaObject& operator=(const TNovaObject&) = delete;

  // --- Identity ------------------------------------------------------------------
  // The registry the object belongs to; null for an auxiliary object.
  TNovaBaseList* owner() const { return m_list; }
  // Its handle; none without owner list.
  ComponentId id() const { return m_id; }
  const std::string& Name() const { return m_name; }
  // PR_NAME: renames by the rules of the owner list (another component of
  // the name is renamed or deleted, depending on this one's class).
  void SetName(std::string_view name);
  const std::string& Tag() const { return m_tag; }
  void SetTag(std::string_view tag) { m_tag = tag; }
  std::int32_t Priority() const { return m_priority; }
  // Also resets the order offset and re-sorts the siblings.
  void SetPriority(std::int32_t priority);
  std::int32_t OrderOffset() const { return m_order_offset; }
  // Motions and frame lists shift the drawing order by this; re-sorts the
  // siblings.
  void SetOrderOffset(std::int32_t offset);
  // Priority plus order offset, without overflow.
  std::int64_t SortKey() const { return std::int64_t{m_priority} + m_order_offset; }

  // The type code PR_COMPOTYPE answers and records are written with.
  virtual TComponentType ComponentType() const { return LT_NONE; }
  virtual TNovaComponent* AsComponent() { return nullptr; }
  const TNovaComponent* AsComponent() const { return const_cast<TNovaObject*>(this)->AsComponent(); }
  virtual TNovaControl* AsControl() { return nullptr; }
  const TNovaControl* AsControl() const { return const_cast<TNovaObject*>(this)->AsControl(); }
  virtual bool IsScreenBase() const { return false; }
  // Whether the owner list holds it for deletion at the end of the update
  // pass (it is then nameless, not found, not saved and raises nothing).
  bool PendingDeletion() const { return m_pending_deletion; }

  // --- Properties ------------------------------------------------------------------
  // The accessor table of the object's class.
  virtual const PropertyTable& Properties() const { return ClassProperties(); }
  static const PropertyTable& ClassProperties();
  // The same, kept by the owner list once the object's class is complete,
  // since every property access asks for it.
  const PropertyTable& properties() const { return m_properties ? *m_properties : Properties(); }

  // --- Events ----------------------------------------------------------------------
  // The raise routine every event goes through. Reads the event property
  // `event`; queues its target with the arguments (integers as decimal
  // text) unless the target is empty, the object has no owner list, is
  // pending deletion or is event-blocked, an entry of it and that event is
  // queued (by `rule`), or the event is a mouse button, key or idle event
  // of a paused component or of a screen base, or an idle event inside a
  // cabinet. Answers whether an entry was appended.
  bool RaiseEvent(TPropId event, std::initializer_list<std::int32_t> arguments = {},
                  PendingRule rule = PendingRule::WaitingOrRunning);
  bool RaiseEvent(TPropId event, const std::vector<std::int32_t>& arguments,
                  PendingRule rule = PendingRule::WaitingOrRunning);
  bool RaiseEvent(TPropId event, std::vector<std::string> arguments, PendingRule rule);

  // --- Records -----------------------------------------------------------------
  // The object part: name, priority, order offset (from version 104), tag
  // (from version 120). A class writes its base's part first and its own
  // fields after it; loading reads in the same order and may raise
  // core::Error for a damaged record. Names read are set as they stand.
  virtual void SaveToStream(core::ByteWriter& w) const;
  virtual void LoadFromStream(core::ByteReader& r, std::int32_t version);

  // --- The object model's virtual operations (the answers of an object) -------
  virtual graphics::TCustomDIBX* GetSurface() const;
  virtual TNovaObject* GetItem(std::int32_t) const { return nullptr; }
  virtual std::int32_t ItemCount() const { return 0; }
  virtual TNovaControl* GetChild(std::int32_t) const { return nullptr; }
  virtual std::int32_t ChildCount() const { return 0; }
  virtual TNovaControl* GetBase() const { return nullptr; }
  virtual bool GetFocusFrame() const { return false; }
  virtual void SetFocusFrame(bool) {}
  Rect GetScreenRect() const;
  // The same for a screen position already worked out.
  Rect ScreenRectAt(std::int64_t x, std::int64_t y) const;
  // The rectangle of a size at a screen position, its far corner held
  // inside the int32 range.
  // (Sizes and positions come from scripts and may lie anywhere in the
  // int32 range.)
  static Rect ScreenRectOfSize(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height) {
    const auto clamp = [](std::int64_t v) {
      return static_cast<int>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
    };
    return {clamp(x), clamp(y), clamp(x + width), clamp(y + height)};
  }
  // Menus and map images block their events while they open or close.
  virtual bool IsEventBlocked() const { return false; }
  virtual std::int32_t ScreenLeft() const { return 0; }
  virtual std::int32_t ScreenTop() const { return 0; }
  virtual std::int32_t LocalLeft() const { return 0; }
  virtual std::int32_t LocalTop() const { return 0; }
  virtual Rect GetReservedRect() const { return {0, 0, 1, 1}; }
  virtual void SetReservedRect(const Rect&) {}
  virtual std::int32_t MotionX() const { return 0; }
  virtual void SetMotionX(std::int32_t) {}
  virtual std::int32_t MotionY() const { return 0; }
  virtual void SetMotionY(std::int32_t) {}
  virtual Point GetDrawOrigin() const { return {}; }
  // PR_TEXT, and PR_TEXT := PR_TEXT + text (the message box overrides both).
  virtual std::string GetAllText() const;
  virtual void AppendText(std::string_view text);
  // A SetProp of PR_TEXT calls this before the write; a message box resets
  // its typing state.
  virtual void ResetTypingState() {}
  // Invalidation, drawing and hit tests belong to the screen bases and do
  // nothing for an object.
  virtual void Invalidate() {}
  virtual void Paint(graphics::TCustomDIBX&) {}
  // `modes`: a set of IM_* values as bits (1 << IM_NONE ...).
  virtual TNovaObject* HitTest(Point, std::uint32_t /*modes*/) { return nullptr; }
  // The per-frame step; answers true when the component has finished and
  // is to be destroyed.
  virtual bool Update() { return false; }
  // The mouse operations of the input routing (the screen bases fill them).
  virtual void LButtonDown() {}
  virtual void LButtonUp() {}
  virtual void RButtonDown() {}
  virtual void RButtonUp() {}
  virtual void MouseMove() {}
  virtual void MouseOut(ComponentId /*new_hover*/) {}
  virtual void MouseIn(ComponentId /*old_hover*/) {}
  virtual void DragMove() {}
  virtual Point ClientToScreen(Point p) const { return p; }
  virtual Point ScreenToClient(Point p) const { return p; }
  // Particle sprites take no automatic name.
  virtual bool WantsAutoName() const { return true; }
  // Attaching and restarting a motion file (visual components).
  virtual void LoadMotion(std::string_view) {}
  virtual void RestartMotion() {}
  // Menus, map images and preview menus close on a right click and answer
  // true.
  virtual bool RightClickClose() { return false; }
  // Intersects `rect` with the screen rectangle; answers whether anything
  // remains.
  bool ClipToVisible(Rect& rect) const;
  virtual void ReleaseSurfaces() {}
  virtual void RecreateSurfaces() {}
  virtual TNovaControl* FindFocusable() { return nullptr; }
  // `codes`: the virtual-key codes of the frame.
  virtual void KeyDown(const std::vector<std::int32_t>&) {}
  virtual void KeyUp(const std::vector<std::int32_t>&) {}
  virtual void KeyRepeat(const std::vector<std::int32_t>&) {}
  virtual bool Contains(const TNovaControl&) const { return false; }
  // Passes the rectangle to the parent's InvalidateRect; the screen base at
  // the top adds it to its dirty rectangles. An ancestor may widen it.
  virtual void InvalidateRect(const Rect&) {}
  virtual bool IsInCabinet() const { return false; }
  virtual std::string GetEffectiveCursor() const;
  // Edit and memo components take the native focus.
  virtual void FocusGained() {}
  // Movies pause inside a cabinet.
  virtual void EnteredCabinet() {}
  virtual void LeftCabinet() {}
  virtual bool IsShowing() const { return false; }
  virtual void PositionChanged() {}
  // Play control of sound, movie and menu components. A class that
  // overrides SetPlayControl answers true from HasPlayControl, so that the
  // commands can tell a stop that did nothing from one that stopped.
  virtual std::int32_t GetPlayState() const { return LP_STOP; }
  virtual void SetPlayControl(std::int32_t) {}
  virtual bool HasPlayControl() const { return false; }
  // Whether the component's medium has played to its end (a play state of
  // LP_PLAY that no longer plays).
  virtual bool HasEnded() const { return false; }

  // --- What the creating commands hand over -------------------------------------
  // A copy of the creating command's compiled expression of property `id`,
  // for the classes that run it again later (an image's extra pause of
  // its last frame, PR_DELAY). Others ignore it.
  virtual void TakeExpression(TPropId /*id*/, const expr::TNovaParser& /*expression*/) {}
  // A size that waits for the next update is settled now (an image whose
  // picture changed), so that a position written next sees it.
  virtual void SettlePendingSize() {}

  // --- Hooks of the sibling order and screen coordinates ---------------------------
  // Image afterimages sort by their alpha and before the component they
  // were copied from.
  virtual bool IsAfterimage() const { return false; }
  virtual std::int32_t AfterimageAlpha() const { return 0; }
  virtual ComponentId AfterimageSource() const { return {}; }
  // The size of the component's own picture, for PR_POSZOOMED; none for a
  // component without one.
  virtual std::optional<Size> ImageSize() const { return std::nullopt; }

 protected:
  // Called once the owner list has registered the object (or, for a screen
  // base, made it); the object's class is complete by then.
  virtual void Created() {}

 private:
  friend class TNovaBaseList;

  TNovaBaseList* m_list = nullptr;
  // Beside the object's virtual table: a hit test reads both of every
  // control it passes.
  const PropertyTable* m_properties = nullptr;
  std::string m_name;
  std::string m_tag;
  std::int32_t m_priority = 0;
  std::int32_t m_order_offset = 0;

  // The owner list's bookkeeping.
  ComponentId m_id;
  std::uint64_t m_sequence = 0;      // registration order
  std::size_t m_registry_index = 0;  // position in the registry while registered
  bool m_registered = false;
  bool m_indexed = false;  // in the name index under m_name
  bool m_pending_deletion = false;
};

// --- The script's reads and writes -------------------------------------------------
//
// Both are inline: the table slot and its one call are the whole dispatch.

// Raises "GetPropエラー" (or, for `set`, "SetPropエラー").
[[noreturn]] void throw_prop_id_error(bool set);

// Reads property `id` into `variable` with the property's type (the
// variable converts it to its own). An id outside 0 ... 164 fails with
// "GetPropエラー" and changes nothing.
inline void GetProp(const TNovaObject& o, int id, expr::TCustomParam& variable) {
  if (!is_property_id(id)) throw_prop_id_error(false);
  const PropertySlot& s = o.properties().slot(static_cast<TPropId>(id));
  s.get_param(o, s.index, variable);
}

// Converts `value` to the property's type and writes it. An id outside
// 0 ... 164 fails with "SetPropエラー", as do PR_APPEARX and PR_APPEARY;
// writes to read-only and unimplemented properties are ignored.
inline void SetProp(TNovaObject& o, int id, const expr::TCustomParam& value) {
  if (!is_property_id(id)) throw_prop_id_error(true);
  const PropertySlot& s = o.properties().slot(static_cast<TPropId>(id));
  s.set_param(o, s.index, value);
}

// A component: an object a script can name. Its destruction takes its
// waiting events out of the queue (the owner list does it).
class TNovaComponent : public TNovaObject {
 public:
  TNovaComponent* AsComponent() override { return this; }
};

}  // namespace nova::components
