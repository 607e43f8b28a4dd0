#include "components/base_list.h"

#include <algorithm>
#include <cassert>
#include <string>
#include <utility>

#include "core/error.h"
#include "core/sjis.h"

namespace nova::components {

namespace {

constexpr std::string_view kByte1("\x01", 1);
constexpr std::string_view kBase0Name(
    "\x01"
    "BASE0",
    6);
constexpr std::string_view kBase1Name(
    "\x01"
    "BASE1",
    6);

// Mouse button, key and idle events are the ones a paused component or a
// screen base never raises.
bool is_input_event(TPropId id) {
  return (id >= PR_ONLBTNDOWN && id <= PR_ONRBTNUP) || (id >= PR_ONKEYDOWN && id <= PR_ONKEYREPEAT) || id == PR_ONIDLE;
}

// The stem and first number of the name another component gets when its
// name is taken: the rightmost "_" from the second byte on whose remainder
// is a decimal number (ASCII digits) from 2 to 2^31 − 1 ends the stem;
// otherwise the whole name is the stem and the number is 2. The scan steps
// over double-byte characters, whose trail byte may be "_".
std::pair<std::string_view, std::int64_t> stem_and_start(std::string_view name) {
  std::size_t underscore = std::string_view::npos;
  core::for_each_char(name, [&](std::size_t at, std::size_t length) {
    if (length == 1 && name[at] == '_' && at >= 1) underscore = at;
  });
  if (underscore != std::string_view::npos) {
    const std::string_view digits = name.substr(underscore + 1);
    std::int64_t n = 0;
    bool number = !digits.empty();
    for (char c : digits) {
      if (c < '0' || c > '9' || n > INT32_MAX) {
        number = false;
        break;
      }
      n = n * 10 + (c - '0');
    }
    if (number && n > 1 && n <= INT32_MAX) return {name.substr(0, underscore), n};
  }
  return {name, 2};
}

}  // namespace

TNovaBaseList::TNovaBaseList(BaseListServices services) : m_services(services) { make_bases(); }

void TNovaBaseList::make_bases() {
  for (int i = 0; i < 2; ++i) {
    m_bases[static_cast<std::size_t>(i)] = std::make_unique<TNovaBase>();
    TNovaBase& b = *m_bases[static_cast<std::size_t>(i)];
    give_handle(b);
    b.m_name = i == 0 ? kBase0Name : kBase1Name;
    b.Created();
  }
}

TNovaBaseList::~TNovaBaseList() {
  // The transition borrows the bases' surfaces.
  m_transition.reset();
  m_events.clear();
  for (auto& b : m_bases) {
    if (b) destroy(*b);
  }
  for (std::size_t i = 0; i < m_registry.size(); ++i) {
    if (m_registry[i]) destroy(*m_registry[i]);
  }
}

// --- Creating -------------------------------------------------------------------------

void TNovaBaseList::give_handle(TNovaObject& o) {
  o.m_list = this;
  o.m_id = m_handles.add(&o);
  o.m_properties = &o.Properties();
}

TNovaComponent& TNovaBaseList::adopt(std::unique_ptr<TNovaComponent> component) {
  assert(component && !component->m_list && "a component is adopted once");
  TNovaComponent& c = *component;
  give_handle(c);
  if (c.WantsAutoName()) c.m_name = "object" + std::to_string(m_names.free_auto_number());
  c.m_sequence = ++m_sequence;
  c.m_registry_index = m_registry.size();
  c.m_registered = true;
  m_registry.push_back(std::move(component));
  index_name(c);
  c.Created();
  return c;
}

TNovaComponent& TNovaBaseList::Create(TComponentType type) { return adopt(m_services.factory.make(type)); }

// --- The registry -------------------------------------------------------------------------

void TNovaBaseList::compact_registry() const {
  if (m_registry_holes == 0) return;
  if (m_updating) {
    // The holes below the update cursor vanish: the cursor moves back by
    // as many, so no component is skipped.
    const auto below = std::count(
        m_registry.begin(),
        m_registry.begin() + static_cast<std::ptrdiff_t>(std::min(m_update_cursor, m_registry.size())), nullptr);
    m_update_cursor -= static_cast<std::size_t>(below);
  }
  std::erase(m_registry, nullptr);
  for (std::size_t i = 0; i < m_registry.size(); ++i) m_registry[i]->m_registry_index = i;
  m_registry_holes = 0;
}

TNovaObject* TNovaBaseList::GetItem(std::int32_t index) const {
  compact_registry();
  if (index < 0 || static_cast<std::size_t>(index) >= m_registry.size()) return nullptr;
  return m_registry[static_cast<std::size_t>(index)].get();
}

std::int32_t TNovaBaseList::ItemCount() const {
  compact_registry();
  return static_cast<std::int32_t>(m_registry.size());
}

TNovaObject* TNovaBaseList::resolve(ComponentId id) const {
  TNovaObject* const* o = m_handles.get(id);
  return o ? *o : nullptr;
}

// --- Names --------------------------------------------------------------------------------

void TNovaBaseList::index_name(TNovaObject& o) {
  if (!o.m_registered || o.m_name.empty()) return;
  m_names.add(o.m_name, {&o, o.m_sequence, o.AsControl() != nullptr, o.m_pending_deletion});
  o.m_indexed = true;
}

void TNovaBaseList::unindex_name(TNovaObject& o) {
  if (!o.m_indexed) return;
  m_names.remove(o.m_name, &o);
  o.m_indexed = false;
}

void TNovaBaseList::set_name(TNovaObject& o, std::string_view name) {
  if (o.m_name == name) return;
  unindex_name(o);
  o.m_name = name;
  index_name(o);
}

TNovaComponent* TNovaBaseList::FindComponent(std::string_view name) const {
  if (name.empty()) return &front_base();
  // Every base name begins with byte 1, which script names seldom do.
  if (name[0] == '\x01') {
    if (name == kBase0Name) return &front_base();
    if (name == kByte1 || name == kBase1Name) return &back_base();
  }
  // Only components are registered.
  return static_cast<TNovaComponent*>(m_names.find(name, false));
}

TNovaControl* TNovaBaseList::FindControl(std::string_view name) const {
  if (name.empty()) return &front_base();
  if (name[0] == '\x01') {
    if (name == kByte1) return &back_base();
    if (name == kBase0Name) return &base(0);
    if (name == kBase1Name) return &base(1);
  }
  return static_cast<TNovaControl*>(m_names.find(name, true));
}

std::optional<std::string> TNovaBaseList::name_of(ComponentId id) const {
  if (const TNovaObject* o = resolve(id)) return o->Name();
  return std::nullopt;
}

ComponentId TNovaBaseList::find(std::string_view name) const {
  if (name.empty()) return {};
  const TNovaComponent* c = FindComponent(name);
  return c ? c->id() : ComponentId();
}

std::string TNovaBaseList::free_numbered_name(std::string_view taken) const {
  const auto [stem, start] = stem_and_start(taken);
  std::string candidate;
  for (std::int64_t n = start;; ++n) {
    candidate.assign(stem);
    candidate += '_';
    candidate += std::to_string(n);
    if (!m_names.contains(candidate)) return candidate;
  }
}

void TNovaBaseList::Rename(TNovaObject& o, std::string_view name) {
  if (o.m_name == name) return;
  // An empty name is no name: it takes nobody's place.
  if (!name.empty()) {
    if (TNovaObject* other = m_names.find_other(name, &o)) {
      if (o.AsControl()) {
        set_name(*other, free_numbered_name(name));
      } else {
        ScheduleDeletion(*other);
      }
    }
  }
  set_name(o, name);
}

// --- Deletion ----------------------------------------------------------------------------

void TNovaBaseList::ScheduleDeletion(TNovaObject& o) {
  if (!registered(o) || o.IsScreenBase()) return;
  // The name goes first: the index keeps the pending flag it was given.
  set_name(o, {});
  if (!o.m_pending_deletion) {
    o.m_pending_deletion = true;
    m_deletions.push_back(o.m_id);
  }
}

std::unique_ptr<TNovaObject> TNovaBaseList::release(TNovaObject& o) {
  std::unique_ptr<TNovaObject> owned;
  if (o.IsScreenBase()) {
    for (auto& b : m_bases) {
      if (b.get() == &o) owned = std::move(b);
    }
  } else if (o.m_registered) {
    unindex_name(o);
    owned = std::move(m_registry[o.m_registry_index]);
    ++m_registry_holes;
    o.m_registered = false;
  }
  m_handles.remove(o.m_id);
  assert(owned && "the list destroys only what it owns");
  return owned;
}

void TNovaBaseList::destroy(TNovaObject& o) {
  if (o.m_list != this || (!o.m_registered && !o.IsScreenBase())) return;
  if (TNovaControl* c = o.AsControl()) {
    // What it drew must be painted over. Its children lie inside its area
    // and are cut loose before they go, so only the top one asks.
    if (!o.IsScreenBase()) c->Invalidate();
    // The children go first, each with its own subtree; the tree is at
    // most kMaxTreeDepth deep, so the recursion is bounded.
    std::vector<TNovaControl*> children = std::exchange(c->m_children, {});
    c->m_top_child = nullptr;
    c->m_child_holes = 0;
    c->m_children_unsorted = false;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      if (*it) {
        (*it)->m_parent = nullptr;
        destroy(**it);
      }
    }
    c->m_motion.reset();
    if (c->m_parent) c->m_parent->RemoveChild(*c);
  }
  if (m_focus == o.m_id) {
    m_focus = {};
    m_focus_dirty = true;
  }
  std::erase(m_right_click, o.m_id);
  m_events.remove_sender(o.m_id);
  o.m_pending_deletion = false;
  std::unique_ptr<TNovaObject> owned = release(o);
  owned.reset();
}

void TNovaBaseList::destroy_scheduled() {
  // One entry at a time: destroying a component may destroy others on the
  // list (its children), whose handles then resolve to nothing.
  while (!m_deletions.empty()) {
    const ComponentId id = m_deletions.front();
    m_deletions.pop_front();
    if (TNovaObject* o = resolve(id); o && registered(*o)) destroy(*o);
  }
  compact_registry();
}

// --- Events ------------------------------------------------------------------------------

bool TNovaBaseList::raise(TNovaObject& sender, TPropId event, std::vector<std::string> arguments, PendingRule rule) {
  if (sender.m_list != this || sender.m_pending_deletion) return false;
  std::string target = read_str(sender, event);
  if (target.empty()) return false;
  if (is_input_event(event) && (sender.IsScreenBase() || read_flag(sender, PR_PAUSED))) return false;
  if (event == PR_ONIDLE && sender.IsInCabinet()) return false;
  if (m_events.holds(sender.m_id, event, rule == PendingRule::WaitingOnly)) return false;
  if (sender.IsEventBlocked()) return false;
  m_events.append({std::move(target), sender.m_id, event, 0, std::move(arguments)});
  return true;
}

// --- Focus -------------------------------------------------------------------------------

TNovaControl* TNovaBaseList::control(ComponentId id) const {
  TNovaObject* o = resolve(id);
  return o ? o->AsControl() : nullptr;
}

TNovaControl* TNovaBaseList::focus() const { return control(m_focus); }

void TNovaBaseList::SetFocus(TNovaControl* c) {
  TNovaControl* old = focus();
  if (old == c && (c || m_focus.none())) return;
  if (old && registered(*old) && !old->Name().empty()) old->RaiseEvent(PR_ONFOCUSOUT);
  m_focus = c ? c->id() : ComponentId();
  if (c) c->RaiseEvent(PR_ONFOCUSIN);
  m_focus_dirty = false;
  if (c) c->FocusGained();
}

void TNovaBaseList::visibility_changed(TNovaControl& c) {
  TNovaControl* f = focus();
  if (read_flag(c, PR_VISIBLE)) {
    if (!f) m_focus_dirty = true;
    return;
  }
  if (f && (f == &c || c.Contains(*f))) {
    if (!f->Name().empty()) f->RaiseEvent(PR_ONFOCUSOUT);
    m_focus = {};
    m_focus_dirty = true;
  }
}

void TNovaBaseList::handle_key_changed(TNovaControl& c) {
  TNovaControl* f = focus();
  if ((c.HandleKey() && !f) || (!c.HandleKey() && f == &c)) m_focus_dirty = true;
}

// --- The frame ---------------------------------------------------------------------------

void TNovaBaseList::FrameBegin(std::int32_t elapsed_ms) {
  // A focus whose component is gone is no focus.
  if (!m_focus.none() && !focus()) m_focus_dirty = true;
  if (m_focus_dirty) {
    SetFocus(front_base().FindFocusable());
    m_focus_dirty = false;
  }
  m_key_pressed_now = std::exchange(m_key_pressed, KeyArray{});
  m_key_triggered_now = m_key_triggered;
  dispatch_mouse(front_base());
  dispatch_keys();
  repeat_keys(elapsed_ms);
}

void TNovaBaseList::dispatch_keys() {
  TNovaControl* f = focus();
  if (f && f->HandleKey()) {
    // Each event may run nothing now, but a class may react at once; the
    // focus is looked up again between them.
    if (m_keys_down) f->KeyDown(m_down_codes);
    if (m_keys_repeated && (f = focus())) f->KeyRepeat(m_repeat_codes);
    if (m_keys_up && (f = focus())) f->KeyUp(m_up_codes);
  }
  m_keys_down = m_keys_repeated = m_keys_up = false;
  m_down_codes.clear();
  m_up_codes.clear();
  m_repeat_codes.clear();
}

void TNovaBaseList::repeat_keys(std::int32_t elapsed_ms) {
  for (std::size_t k = 0; k < kKeyCount; ++k) {
    if (!m_key_held[k]) continue;
    std::int32_t& countdown = m_repeat_countdown[k];
    countdown = static_cast<std::int32_t>(std::max<std::int64_t>(std::int64_t{countdown} - elapsed_ms, INT32_MIN / 2));
    m_key_triggered[k] = countdown <= 0;
    if (countdown <= 0) {
      countdown += kKeyRepeatIntervalMs;
      m_keys_repeated = true;
      m_repeat_codes.push_back(static_cast<std::int32_t>(k));
    }
  }
}

void TNovaBaseList::close_on_right_click(TNovaBase& b) {
  for (const ComponentId id : std::vector<ComponentId>(m_right_click)) {
    TNovaControl* c = control(id);
    if (!c || !read_flag(*c, PR_RCLICKSCRAP) || !read_flag(*c, PR_VISIBLE) || c->GetBase() != &b ||
        read_flag(*c, PR_PAUSED) || c->IsInCabinet() ||
        (c->IgnoreMouse() != IM_NONE && c->IgnoreMouse() != IM_LCLICK)) {
      continue;
    }
    if (c->RightClickClose()) {
      b.right_pressed_now = false;
      return;
    }
  }
}

void TNovaBaseList::dispatch_mouse(TNovaBase& b) {
  const TNovaControl::HitOriginScope keep_hit_origin;
  b.TakeEdges();
  if (b.right_pressed_now) close_on_right_click(b);
  TNovaControl* previous = control(b.hover);
  TNovaControl* target = nullptr;
  if (b.capture != 0 && previous && registered(*previous)) {
    if (b.capture & (CF_LPRESS_CAPTURED | CF_RPRESS_CAPTURED)) {
      if (b.capture & CF_LPRESS_CAPTURED) {
        if (!b.left_held) previous->LButtonUp();
      } else if (!b.right_held) {
        previous->RButtonUp();
      }
      // The release may have destroyed nothing yet (events only queue), but
      // a class may have: look again.
      if (TNovaControl* h = control(b.hover)) {
        if (b.moved) h->MouseMove();
        h->DragMove();
      }
      b.moved = false;
      return;
    }
    target = previous;
  } else {
    const std::uint32_t modes = b.left_pressed_now    ? kLeftPressModes
                                : b.right_pressed_now ? kRightPressModes
                                                      : kHoverModes;
    TNovaObject* hit = b.HitTest(b.pointer(), modes);
    target = hit ? hit->AsControl() : nullptr;
    b.capture = 0;
  }
  if (target) {
    if (m_services.pointer_shapes) {
      b.cursor_file = target->GetEffectiveCursor();
      m_services.pointer_shapes->ShowCursor(b.cursor_file);
    }
    if (b.left_pressed_now) {
      target->LButtonDown();
      if (registered(*target) && !read_flag(*target, PR_PAUSED) && target->HandleKey()) SetFocus(target);
    } else if (b.right_pressed_now) {
      target->RButtonDown();
    } else if ((b.capture & CF_LCLICK_PENDING) && !b.left_held) {
      const Point p = target->PointerInControl();
      target->RaiseEvent(PR_ONLBTNUP, {p.x, p.y});
      b.capture = 0;
    } else if ((b.capture & CF_RCLICK_PENDING) && !b.right_held) {
      const Point p = target->PointerInControl();
      target->RaiseEvent(PR_ONRBTNUP, {p.x, p.y});
      b.capture = 0;
    } else if (b.wheel_down_now) {
      target->RaiseEvent(PR_ONWHEELDOWN);
    } else if (b.wheel_up_now) {
      target->RaiseEvent(PR_ONWHEELUP);
    }
  }
  // The press may have destroyed components through a class's reaction.
  previous = control(b.hover);
  const ComponentId target_id = target && control(target->id()) == target ? target->id() : ComponentId();
  target = control(target_id);
  if (previous && previous != target) previous->MouseOut(target_id);
  if (target && (b.moved || target != previous)) {
    if (target != previous) target->MouseIn(previous ? previous->id() : ComponentId());
    target->MouseMove();
  }
  b.hover = target_id;
  b.moved = false;
}

void TNovaBaseList::UpdateAll() {
  for (auto& b : m_bases) b->Update();
  m_updating = true;
  m_update_cursor = 0;
  while (m_update_cursor < m_registry.size()) {
    TNovaComponent* c = m_registry[m_update_cursor].get();
    if (!c) {
      ++m_update_cursor;
      continue;
    }
    if (!read_str(*c, PR_ONIDLE).empty() && !c->IsInCabinet() && !c->IsEventBlocked()) {
      c->RaiseEvent(PR_ONIDLE);
    }
    if (read_flag(*c, PR_PAUSED) || c->m_pending_deletion || c->IsInCabinet()) {
      ++m_update_cursor;
      continue;
    }
    const bool finished = c->Update();
    // Update may have compacted the registry (the cursor moved with it);
    // a finished component leaves a hole where it stood.
    if (finished && registered(*c)) destroy(*c);
    ++m_update_cursor;
  }
  m_updating = false;
  destroy_scheduled();
}

void TNovaBaseList::Compose() {
  m_transition_area = {};
  for (int i = 0; i < 2; ++i) {
    if (graphics::TCustomDIBX* target = PaintTarget(i)) base(i).Paint(*target);
  }
  if (m_transition && m_transition->Started()) {
    m_transition->DrawStep();
    m_transition_area = m_transition->Bounds();
  }
}

graphics::TCustomDIBX* TNovaBaseList::PaintTarget(int index) const {
  if ((index & 1) == m_front_index && m_transition_type == 0) return DisplaySurface();
  return base(index).surface();
}

// --- Surfaces ----------------------------------------------------------------------------

void TNovaBaseList::make_surfaces() {
  if (m_surfaces_released || m_screen_width <= 0) return;
  if (!m_display) {
    if (!m_composition) m_composition = std::make_unique<graphics::TDIBX>();
    if (m_composition->GetWidth() != m_screen_width || m_composition->GetHeight() != m_screen_height ||
        m_composition->GetBitCount() != m_bit_count) {
      m_composition->SetSize(m_screen_width, m_screen_height, m_bit_count);
    }
  } else {
    m_composition.reset();
  }
  for (auto& b : m_bases) {
    b->MakeSurfaces(m_bit_count);
    b->InvalidateAll();
  }
}

void TNovaBaseList::SetDisplaySurface(graphics::TCustomDIBX* display) {
  if (display == m_display && (!display || display->GetBitCount() == m_bit_count)) return;
  m_display = display;
  const int bits = display ? display->GetBitCount() : m_bit_count;
  // The transition borrowed the old target.
  m_transition.reset();
  m_bit_count = bits;
  make_surfaces();
  for (auto& b : m_bases) b->InvalidateAll();
}

void TNovaBaseList::ReleaseSurfaces() {
  m_transition.reset();
  m_transition_area = {};
  m_composition.reset();
  m_display = nullptr;
  for (auto& b : m_bases) b->ReleaseSurfaces();
  for (std::size_t i = 0; i < m_registry.size(); ++i) {
    if (m_registry[i]) m_registry[i]->ReleaseSurfaces();
  }
  if (m_services.picture_cache) m_services.picture_cache->ReleaseSurfaces();
  m_surfaces_released = true;
}

void TNovaBaseList::RecreateSurfaces(int bit_count) {
  m_surfaces_released = false;
  m_bit_count = bit_count;
  if (m_services.picture_cache) m_services.picture_cache->RecreateSurfaces(bit_count);
  make_surfaces();
  for (std::size_t i = 0; i < m_registry.size(); ++i) {
    if (m_registry[i]) m_registry[i]->RecreateSurfaces();
  }
  for (auto& b : m_bases) b->InvalidateAll();
}

// --- Transitions --------------------------------------------------------------------------

graphics::TTransition* TNovaBaseList::BeginTransition(std::int32_t front_index, int type, bool force,
                                                      std::int32_t elapsed, std::int32_t duration) {
  // Which surface the front base painted into, before anything changes.
  graphics::TCustomDIBX* const shown = PaintTarget(m_front_index);
  m_front_index = front_index & 1;
  graphics::TTransition* made = nullptr;
  if (force || (type != 0 && !m_transition)) {
    m_transition.reset();
    m_transition_type = 0;
    for (auto& b : m_bases) b->InvalidateAll();
    if (type != 0) {
      TNovaBase& front = front_base();
      graphics::TCustomDIBX* display = DisplaySurface();
      if (m_services.transitions && display && front.surface() && back_base().surface()) {
        if (shown && shown != front.surface()) front.surface()->Assign(*shown);
        m_transition =
            m_services.transitions->Create(type, *display, *front.surface(), *back_base().surface(), duration);
        made = m_transition.get();
      }
      if (!made) type = 0;
    }
    TNovaControl* f = focus();
    if (!f || f->GetBase() != &front_base()) {
      m_focus = {};
      m_focus_dirty = true;
    }
  }
  m_transition_type = static_cast<std::uint8_t>(m_transition ? type : 0);
  if (m_transition) m_transition->SetElapsed(elapsed);
  return made;
}

void TNovaBaseList::ClearDirtyRects() {
  for (auto& b : m_bases) b->dirty().Clear();
}

// --- Keys ----------------------------------------------------------------------------------

void TNovaBaseList::SetKeyState(std::int32_t code, bool down) {
  if (code < 0 || code >= kKeyCount) return;
  const auto k = static_cast<std::size_t>(code);
  if ((m_key_held[k] != 0) == down) return;
  m_key_held[k] = down;
  m_key_triggered[k] = down;
  if (down) {
    m_repeat_countdown[k] = kKeyRepeatDelayMs;
    m_keys_down = m_keys_repeated = true;
    m_down_codes.push_back(code);
    m_repeat_codes.push_back(code);
  } else {
    m_keys_up = true;
    m_up_codes.push_back(code);
  }
}

void TNovaBaseList::RecordKeyPress(std::int32_t code) {
  if (code >= 0 && code < kKeyCount) m_key_pressed[static_cast<std::size_t>(code)] = 1;
}

void TNovaBaseList::ReleaseInput() {
  m_key_held = m_key_pressed = m_key_pressed_now = m_key_triggered = m_key_triggered_now = KeyArray{};
  m_repeat_countdown = {};
  m_keys_down = m_keys_repeated = m_keys_up = false;
  m_down_codes.clear();
  m_up_codes.clear();
  m_repeat_codes.clear();
  for (auto& b : m_bases) b->ReleaseButtons();
}

// --- Right-click list ----------------------------------------------------------------------

void TNovaBaseList::AddRightClickControl(TNovaControl& c) {
  if (std::find(m_right_click.begin(), m_right_click.end(), c.id()) == m_right_click.end())
    m_right_click.push_back(c.id());
}

void TNovaBaseList::RemoveRightClickControl(TNovaControl& c) { std::erase(m_right_click, c.id()); }

// --- Screen ----------------------------------------------------------------------------------

bool TNovaBaseList::ValidScreenSize(std::int64_t width, std::int64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxScreenSide && height <= kMaxScreenSide &&
         width * height <= kMaxScreenPixels;
}

void TNovaBaseList::SetScreenSize(std::int32_t width, std::int32_t height) {
  if (!ValidScreenSize(width, height)) {
    throw core::Error("screen size " + std::to_string(width) + " x " + std::to_string(height) + " is out of range");
  }
  m_screen_width = width;
  m_screen_height = height;
  for (auto& b : m_bases) b->SetBounds(0, 0, width, height);
  make_surfaces();
  for (auto& b : m_bases) b->InvalidateAll();
}

void TNovaBaseList::Reset() {
  const Point pointer = front_base().pointer();
  m_transition.reset();
  m_transition_type = 0;
  m_transition_area = {};
  m_events.clear();
  for (auto& b : m_bases) {
    if (b) destroy(*b);
  }
  for (std::size_t i = 0; i < m_registry.size(); ++i) {
    if (m_registry[i]) destroy(*m_registry[i]);
  }
  m_deletions.clear();
  compact_registry();
  m_right_click.clear();
  make_bases();
  if (m_screen_width > 0) SetScreenSize(m_screen_width, m_screen_height);
  for (auto& b : m_bases) {
    b->SetPointer(pointer.x, pointer.y);
    b->moved = false;
  }
}

void TNovaBaseList::SetImageQuality(bool quality) {
  if (m_image_quality == quality) return;
  m_image_quality = quality;
  if (m_services.picture_cache) m_services.picture_cache->SetImageQuality(quality);
  for (auto& b : m_bases) b->InvalidateAll();
}

void TNovaBaseList::SetMediaEnabled(bool enabled) {
  if (m_media_enabled == enabled) return;
  m_media_enabled = enabled;
  if (m_services.media) m_services.media->SetMediaEnabled(enabled);
}

}  // namespace nova::components
