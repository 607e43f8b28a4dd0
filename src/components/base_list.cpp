#include "components/base_list.h"

#include <algorithm>
#include <cassert>
#include <string>
#include <utility>

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
    // The children go first, each with its own subtree; the tree is at
    // most kMaxTreeDepth deep, so the recursion is bounded.
    std::vector<TNovaControl*> children = std::exchange(c->m_children, {});
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

TNovaControl* TNovaBaseList::focus() const {
  TNovaObject* o = resolve(m_focus);
  return o ? o->AsControl() : nullptr;
}

}  // namespace nova::components
