// Flip: the screen transition that shows what the script prepared on the
// back base. Flip alone drives the transition's time, by the frame clock.
#include "components/base_list.h"
#include "components/custom_image.h"
#include "core/error.h"
#include "core/format.h"
#include "core/log.h"
#include "graphics/memory_dibx.h"
#include "script/callman.h"
#include "script/commands.h"
#include "script/name_list.h"

namespace nova::script {
namespace {

using components::TNovaBaseList;
using components::TNovaControl;

// The screen copy a surface-mode flip leaves on the front base: two bytes
// of value 1, so that it sorts above every other child.
constexpr std::string_view kSnapshotName = "\x01\x01";
// The transition types run from 1 to 38; anything else is none.
constexpr int kLastTransition = 38;

enum Field : std::size_t {
  kTransition = 0,
  kDuration,
  kReverse,
  kSurfaceMode,
  kNames,
  kClearBack,
  kParam1,
  kParam2,
  kTransitionText,
  kUninterruptible,
};

// The clock is a signed 32-bit count that wraps after some 24.8 days of
// play; differences wrap with it, so a flip across the wrap still ends.
std::int32_t wrapping_sub(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// Composes the screen now and leaves a copy of it on the front base, above
// everything there. The copy is an image whose own surface is its
// picture, so it takes that surface's size.
void take_snapshot(TNovaBaseList& list) {
  list.Compose();
  const graphics::TCustomDIBX* display = list.DisplaySurface();
  auto& snapshot = dynamic_cast<components::TNovaCustomImage&>(list.Create(components::LT_IMAGES));
  snapshot.SetName(kSnapshotName);
  graphics::TDIBX& own = snapshot.OwnSurface();
  own.SetSize(list.ScreenWidth(), list.ScreenHeight(), display ? display->GetBitCount() : list.BitCount());
  if (display) own.Assign(*display);
  own.SetTransparentValue(-1);
  snapshot.RecomputeSize();
  snapshot.SetParent(&list.front_base());
  snapshot.SetVisible(true);
  snapshot.Invalidate();
}

}  // namespace

void TComFlip::Start(TCallMan& cm) {
  TNovaBaseList& list = component_list(cm, *this);
  m_phase = 0;
  m_resumed = false;
  std::int32_t kind = expression(kTransition).int_or(cm, 0);
  if (kind < 0 || kind > kLastTransition) kind = 0;
  const expr::TCustomParam* given = expression(kDuration).run(cm);
  const bool has_duration = given != nullptr;
  const std::int32_t duration_value = given ? given->as_int() : 0;
  const std::int32_t duration = has_duration && duration_value >= 1 ? duration_value : 1;

  const bool reverse = expression(kReverse).flag_or(cm, false);
  m_uninterruptible = expression(kUninterruptible).flag_or(cm, false);
  m_clear_back = expression(kClearBack).flag_or(cm, false);
  const expr::TCustomParam* mode_value = expression(kSurfaceMode).run(cm);
  const std::optional<std::int32_t> mode = mode_value ? std::optional(mode_value->as_int()) : std::nullopt;
  TNameList names;
  for (TExpression& e : field(kNames).expressions) {
    if (const expr::TCustomParam* v = e.run(cm)) names.add_text(v->as_str());
  }

  if (mode) {
    if (!has_duration || duration_value <= 0) {
      m_phase = kNoTransition;
    } else {
      take_snapshot(list);
    }
    // From the last child to the first, since each move takes one away.
    TNovaControl& front = list.front_base();
    TNovaControl& back = list.back_base();
    const auto children = front.Children();
    const std::vector<TNovaControl*> moving(children.begin(), children.end());
    for (auto it = moving.rbegin(); it != moving.rend(); ++it) {
      TNovaControl* child = *it;
      if (child->Name() == kSnapshotName) continue;
      if (names.moves(child->Name(), *mode)) child->SetParent(&back);
    }
  }

  if (m_phase == kNoTransition || kind == 0) return;
  graphics::TTransition* t = list.BeginTransition(list.front_index(), kind, false, 0, duration);
  if (!t) return;
  t->SetReverse(reverse);
  if (const expr::TCustomParam* v = expression(kParam1).run(cm)) t->SetParam(0, v->as_int());
  if (const expr::TCustomParam* v = expression(kParam2).run(cm)) t->SetParam(1, v->as_int());
  if (const expr::TCustomParam* v = expression(kTransitionText).run(cm)) t->SetMaskName(v->as_str());
  try {
    t->Start();
  } catch (const core::Error& e) {
    // The bases are prepared already: the flip goes on without the
    // transition rather than preparing them again at every tick.
    core::logf(core::Channel::Script, core::Level::Warning, "Flip: transition %d cannot start: %s",
               {kind, e.message()});
    list.BeginTransition(list.front_index(), 0, true, 0, 0);
  }
}

void TComFlip::Execute(TCallMan& cm, TPage&, std::int32_t) {
  TNovaBaseList& list = component_list(cm, *this);
  if (m_phase == 0) {
    m_phase = 1;
    return;
  }
  const std::int32_t now = cm.clock().GameClockMs.load();
  if (m_phase == 1) {
    m_start_time = now;
    m_phase = 2;
    return;
  }
  if (m_resumed) {
    // Back from a saved state (an event handler's, or a game's): a
    // transition still running goes on where it stands; after a game load
    // none runs, and the flip completes now.
    m_resumed = false;
    if (const graphics::TTransition* t = list.transition()) m_start_time = wrapping_sub(now, t->Elapsed());
  }
  const std::int32_t elapsed = wrapping_sub(now, m_start_time);
  const std::int32_t length = list.TransitionLength();
  if (m_phase == 2 && length > 0 && elapsed < length) {
    list.SetTransitionTime(elapsed);
    return;
  }
  complete(cm, false);
  cm.Advance();
}

void TComFlip::Finish(TCallMan& cm) { complete(cm, true); }

void TComFlip::complete(TCallMan& cm, bool cabinets_too) {
  TNovaBaseList& list = component_list(cm, *this);
  list.BeginTransition(list.front_index() ^ 1, 0, true, 0, 0);
  if (components::TNovaComponent* snapshot = list.FindComponent(kSnapshotName)) list.ScheduleDeletion(*snapshot);
  if (!m_clear_back) return;
  const auto children = list.back_base().Children();
  const std::vector<TNovaControl*> leaving(children.begin(), children.end());
  for (TNovaControl* child : leaving) {
    // Cabinets keep what the script stored in them, until a full restart.
    if (!cabinets_too && child->ComponentType() == components::LT_CABINET) continue;
    list.ScheduleDeletion(*child);
  }
}

void TComFlip::SaveState(core::ByteWriter& w) const {
  write_state_header(w);
  w.boolean(m_uninterruptible);
  w.boolean(m_clear_back);
}

void TComFlip::LoadState(core::ByteReader& r) {
  if (read_state_header(r) >= 100) {
    bool uninterruptible = r.boolean();
    m_clear_back = r.boolean();
    m_uninterruptible = uninterruptible;
  }
  // Only the flags are kept. Back from an event handler, a flip that was
  // timing its transition still holds its start; one that was not yet
  // takes the time of the transition the list runs. After a game load no
  // transition runs, and the next step completes the flip.
  m_resumed = m_phase != 2;
  m_phase = 2;
}

}  // namespace nova::script
