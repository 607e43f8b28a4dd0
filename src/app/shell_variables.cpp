#include "app/shell_variables.h"

#include "app/title_host.h"
#include "app/title_services.h"
#include "core/error.h"
#include "core/format.h"
#include "core/frame_clock.h"
#include "core/log.h"
#include "data/history_format.h"
#include "platform/platform.h"

namespace nova::app {
namespace {

enum : int {
  kScrWidth = 12,
  kScrHeight = 13,
  kTickCount = 14,
  kPcTickCount = 15,
  kUpdateCount = 16,
  kYear = 17,
  kMonth = 18,
  kDay = 19,
  kWeek = 20,
  kHour = 21,
  kMin = 22,
  kSec = 23,
  kFonts = 24,
  kFixedFonts = 25,
  kFullScr = 26,
  kDisplayModeCount = 37,
  kDisplayModeIndex = 38,
  kTitle = 39,
  kMidiPort = 45,
  kMidiPorts = 46,
  kIsDebug = 49,
  kHistoryCount = 8,
  kHistoryMaxCount = 43,
};

}  // namespace

void ShellVariables::set_project(std::string title, std::int32_t width, std::int32_t height) {
  m_title = std::move(title);
  m_width = width;
  m_height = height;
}

const platform::DateTime& ShellVariables::now() {
  // The game clock moves once per tick (before the tick runs), so it tells
  // the ticks apart.
  const std::int32_t tick = m_clock.GameClockMs.load();
  if (m_read_at != tick) {
    m_now = m_platform.clock().local_time();
    m_read_at = tick;
  }
  return m_now;
}

const std::string& ShellVariables::fonts(bool fixed_only) {
  std::optional<std::string>& cached = fixed_only ? m_fixed_fonts : m_fonts;
  if (!cached) {
    // Fonts are not installed while a title runs; one listing serves.
    std::string list;
    for (const platform::FontFamily& f : m_platform.fonts().families()) {
      if (fixed_only && !f.fixed_pitch) continue;
      if (!list.empty()) list += "\r\n";
      list += f.name;
    }
    cached = std::move(list);
  }
  return *cached;
}

std::int32_t ShellVariables::count(int index) {
  // @MidiPorts without a MIDI manager has no ports.
  return index == kMidiPorts ? 0 : 1;
}

void ShellVariables::read(int index, std::int32_t, expr::TSysValue& out) {
  switch (index) {
    case kScrWidth: out.i = m_width; return;
    case kScrHeight: out.i = m_height; return;
    case kTickCount: out.i = m_clock.GameClockMs.load(); return;
    case kPcTickCount: out.i = static_cast<std::int32_t>(m_platform.clock().ticks_ms()); return;
    case kUpdateCount: out.i = m_clock.FrameCount.load(); return;
    case kYear: out.i = now().year; return;
    case kMonth: out.i = now().month; return;
    case kDay: out.i = now().day; return;
    case kWeek: out.i = now().day_of_week + 1; return;  // 1 is Sunday
    case kHour: out.i = now().hour; return;
    case kMin: out.i = now().minute; return;
    case kSec: out.i = now().second; return;
    case kFonts: out.s = fonts(false); return;
    case kFixedFonts: out.s = fonts(true); return;
    case kFullScr: out.b = m_hooks.full_screen(); return;
    case kDisplayModeCount: {
      ScreenHost* s = m_hooks.screen();
      out.i = s ? s->mode_count() : 0;
      return;
    }
    case kDisplayModeIndex: {
      ScreenHost* s = m_hooks.screen();
      out.i = s ? s->preferred_mode() : -1;
      return;
    }
    case kTitle: out.s = m_title; return;
    case kMidiPort:
    case kMidiPorts: out.s.clear(); return;
    case kIsDebug: out.b = false; return;
    default: core::throw_error(core::format("the shell does not answer the system variable %d", {index}));
  }
}

void ShellVariables::write(int index, std::int32_t, const expr::TSysValue& in) {
  switch (index) {
    case kFullScr:
      if (in.b != m_hooks.full_screen()) m_hooks.set_full_screen(in.b);
      return;
    case kDisplayModeIndex: {
      ScreenHost* s = m_hooks.screen();
      // A mode outside the list would be looked up with the index: ignored.
      if (!s || in.i < 0 || in.i >= s->mode_count()) return;
      s->set_preferred_mode(in.i);
      if (m_hooks.full_screen() && s->current_mode() != in.i) m_hooks.reselect_full_screen();
      return;
    }
    case kMidiPort: return;  // no port to select without MIDI
    default: core::throw_error(core::format("the shell does not answer the system variable %d", {index}));
  }
}

data::TNovaHistoryFormatManager& HistoryVariables::manager(int index) const {
  ComponentHost* c = m_services.components();
  data::TNovaHistoryFormatManager* m = c ? c->history() : nullptr;
  if (!m) {
    core::throw_error(core::format("%s: the message history does not exist (no component system)",
                                   {expr::kSystemVariables[static_cast<std::size_t>(index)].name}));
  }
  return *m;
}

void HistoryVariables::read(int index, std::int32_t, expr::TSysValue& out) {
  const data::TNovaNewHistory& h = manager(index).Default().History();
  out.i = index == kHistoryMaxCount ? h.MaxCount() : h.Count();
}

void HistoryVariables::write(int index, std::int32_t, const expr::TSysValue& in) {
  // @HistoryCount is read-only.
  if (index == kHistoryMaxCount) manager(index).Default().History().SetMaxCount(in.i);
}

namespace {

[[noreturn]] void needs_components(int index) {
  const std::string_view name = index >= 0 && index < expr::kSystemVariableCount
                                    ? expr::kSystemVariables[static_cast<std::size_t>(index)].name
                                    : std::string_view("?");
  core::throw_error(core::format("%s: needs the component system (not built yet)", {name}));
}

}  // namespace

expr::TCustomParam* ComponentPlaceholder::referred(int index) { needs_components(index); }
std::int32_t ComponentPlaceholder::count(int index) { needs_components(index); }
void ComponentPlaceholder::read(int index, std::int32_t, expr::TSysValue&) { needs_components(index); }
void ComponentPlaceholder::write(int index, std::int32_t, const expr::TSysValue&) { needs_components(index); }

}  // namespace nova::app
