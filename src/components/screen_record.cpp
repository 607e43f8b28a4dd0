// The screen record of TNovaBaseList.
#include <algorithm>

#include "components/base_list.h"
#include "components/component_records.h"
#include "components/component_types.h"
#include "core/binary_io.h"
#include "core/format.h"

namespace nova::components {

namespace {

// The version from which the record ends with the focused control's name.
constexpr std::int32_t kFocusNameVersion = 119;
// The fewest bytes a component record takes (type byte, empty name,
// priority): a bound for counts read before anything is allocated.
constexpr std::size_t kMinComponentBytes = 1 + 4 + 4;

bool saved_top_level(const TNovaComponent& c) { return !c.AsControl() && is_saved(c); }

}  // namespace

void TNovaBaseList::WriteScreen(core::ByteWriter& w) const {
  w.i32(m_screen_width);
  w.i32(m_screen_height);
  w.i32(m_front_index);
  base(0).SaveToStream(w);
  base(1).SaveToStream(w);
  compact_registry();
  const auto count =
      std::count_if(m_registry.begin(), m_registry.end(), [](const auto& c) { return c && saved_top_level(*c); });
  w.i32(static_cast<std::int32_t>(count));
  for (const auto& c : m_registry) {
    if (c && saved_top_level(*c)) WriteComponent(w, *c);
  }
  m_events.save(w, *this);
  const TNovaControl* f = focus();
  w.str(f ? f->Name() : std::string());
}

void TNovaBaseList::ReadScreen(core::ByteReader& r, std::int32_t version, TrialRead trial_read) {
  check_component_record_version(version);
  if (trial_read == TrialRead::Skip) {
    read_screen(r, version);
    return;
  }
  // A trial read into a list of its own: reading resets first, and a
  // damaged record must not cost the running game its screen.
  {
    TNovaBaseList trial(m_services);
    trial.m_services.pointer_shapes = nullptr;
    trial.m_services.picture_cache = nullptr;
    trial.m_services.media = nullptr;
    trial.m_services.transitions = nullptr;
    // Only the record is tried; its pictures would be made for nothing.
    trial.m_surfaces_released = true;
    core::ByteReader probe = r;
    trial.read_screen(probe, version);
  }
  read_screen(r, version);
}

void TNovaBaseList::read_screen(core::ByteReader& r, std::int32_t version) {
  const std::int32_t width = r.i32();
  const std::int32_t height = r.i32();
  if (!ValidScreenSize(width, height)) r.fail(core::format("screen size %d x %d out of range", {width, height}));
  const std::int32_t front = r.i32();
  if (front != 0 && front != 1) r.fail(core::format("front base index %d", {front}));

  m_screen_width = 0;
  Reset();
  SetScreenSize(8, 8);
  SetScreenSize(width, height);
  m_front_index = front;
  base(0).LoadFromStream(r, version);
  base(1).LoadFromStream(r, version);
  // The bases' records hold their own sizes; the list's surfaces follow
  // the screen.
  for (auto& b : m_bases) b->SetBounds(0, 0, width, height);
  make_surfaces();
  for (auto& b : m_bases) b->InvalidateAll();

  const std::int32_t count = r.i32();
  if (count < 0 || static_cast<std::size_t>(count) > r.remaining() / kMinComponentBytes) {
    r.fail("component count out of range");
  }
  for (std::int32_t i = 0; i < count; ++i) {
    const TNovaComponent& c = ReadComponent(r, version, nullptr);
    if (c.AsControl()) r.fail("a visual component outside the bases");
  }
  m_events.load(r, version, *this);
  m_focus = {};
  m_focus_dirty = false;
  if (version >= kFocusNameVersion) {
    const std::string name = r.str();
    if (!name.empty()) {
      if (TNovaControl* c = FindControl(name)) {
        m_focus = c->id();
        c->FocusGained();
      }
    }
  }
}

}  // namespace nova::components
