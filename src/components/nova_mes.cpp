#include "components/nova_mes.h"

#include <algorithm>

#include "components/base_list.h"
#include "components/component_factory.h"
#include "components/nova_base.h"
#include "components/read_list.h"
#include "core/error.h"
#include "core/log.h"
#include "text/tokenizer.h"
#include "text/word_render.h"
#include "text/word_reveal.h"

namespace nova::components {

namespace {

// The settings a box without an engine reports and keeps.
text::KvWordSettings& fallback_settings() {
  static text::KvWordSettings s;
  return s;
}

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines = text::split_lines(text);
  return lines;
}

// The reveal-state record's fixed part: scroll, row, glyph, complete flag,
// and the pending event text's length.
constexpr std::size_t kStateHead = 4 + 4 + 4 + 1 + 4;

}  // namespace

TNovaMes::TNovaMes() = default;
TNovaMes::~TNovaMes() = default;

const PropertyTable& TNovaMes::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TNovaMes;
    using S = text::KvWordSettings;
    PropertyTable t = TNovaControl::ClassProperties();
    t.set_own_contains([](const TNovaControl& c, Point p, const Rect& r) {
      return static_cast<const C&>(c).LinkContains(p, r);
    });
    t.integer<&C::Alpha, &C::SetAlpha>(PR_ALPHA);
    t.text<&C::FontName, &C::SetFontName>(PR_FONTNAME);
    t.integer<&C::Setting<&S::font_size>, &C::SetSetting<&S::font_size>>(PR_FONTHEIGHT);
    t.integer<&C::Setting<&S::line_spacing>, &C::SetSetting<&S::line_spacing>>(PR_LINESPACE);
    t.integer<&C::Setting<&S::text_color>, &C::SetSetting<&S::text_color>>(PR_FONTCOLOR);
    t.integer<&C::Setting<&S::link_color>, &C::SetSetting<&S::link_color>>(PR_FONTLINKCOLOR);
    t.integer<&C::Setting<&S::border_color>, &C::SetSetting<&S::border_color>>(PR_FONTBORDERCOLOR);
    t.integer<&C::Setting<&S::link_hover_color>, &C::SetSetting<&S::link_hover_color>>(PR_FONTHOVERCOLOR);
    t.integer<&C::Setting<&S::shadow_color>, &C::SetSetting<&S::shadow_color>>(PR_FONTSHADOWCOLOR);
    t.integer<&C::Setting<&S::border_width>, &C::SetSetting<&S::border_width>>(PR_FONTBORDER);
    t.integer<&C::Setting<&S::shadow_width>, &C::SetSetting<&S::shadow_width>>(PR_FONTSHADOW);
    t.flag<&C::AntiAlias, &C::SetAntiAlias>(PR_ANTIALIAS);
    t.integer<&C::Delay, &C::SetDelay>(PR_DELAY);
    t.flag<&C::Paused, &C::SetPaused>(PR_PAUSED);
    t.texts_by_id<&C::Target, &C::SetTarget>(
        {PR_ONPLAYING, PR_ONNOTIFY, PR_ONPLAYEND, PR_ONLINK, PR_ONPLAYSTART, PR_ONIDLE});
    t.integer<&C::Index, &C::SetPage>(PR_INDEX);
    t.integer<&C::Count>(PR_COUNT);
    t.text<&C::GetAllText, &C::SetText>(PR_TEXT);
    t.caret<&C::Caret>();
    t.integer<&C::CaretHeight>(PR_CARETHEIGHT);
    t.flag<&C::TextPaused, &C::SetTextPaused>(PR_TEXTPAUSED);
    t.integer<&C::TextDelay, &C::SetTextDelay>(PR_TEXTDELAY);
    t.integer<&C::ScrollY, &C::SetScrollY>(PR_SCROLLY);
    t.flag<&C::PlayingText>(PR_PLAYING);
    t.flag<&C::CaptureLink, &C::SetCaptureLink>(PR_CAPTURELINK);
    return t;
  }();
  return table;
}

void TNovaMes::Created() {
  TNovaControl::Created();
  const MesServices* s = services();
  if (!s || !s->glyphs) {
    core::logf(core::Channel::Components, core::Level::Error,
               "TNovaMes %s: no glyph manager is given to the component system: the box shows no text", {Name()});
    return;
  }
  m_engine = std::make_unique<text::TKvWord>(*s->glyphs, s->pictures);
  m_engine->set_settings(fallback_settings());
  m_engine->set_event_callback([this](std::string_view text) { NotifyEvent(text); });
  set_speed();
}

const MesServices* TNovaMes::services() const { return owner() ? owner()->messages() : nullptr; }
TNovaReadList* TNovaMes::read_marks() const { return owner() ? owner()->read_marks() : nullptr; }
data::TNovaHistoryFormatManager* TNovaMes::history() const { return owner() ? owner()->history() : nullptr; }

text::TKvWord& TNovaMes::engine() {
  if (!m_engine) core::throw_error("TNovaMes " + Name() + ": the box has no text engine (no glyph manager)");
  return *m_engine;
}

text::TWdPage* TNovaMes::current() {
  return m_index >= 0 && m_index < Count() ? &m_pages[static_cast<std::size_t>(m_index)] : nullptr;
}
const text::TWdPage* TNovaMes::current() const {
  return m_index >= 0 && m_index < Count() ? &m_pages[static_cast<std::size_t>(m_index)] : nullptr;
}

// --- Forwarded settings ----------------------------------------------------------------------

namespace {

template <typename F>
void change_settings(text::TKvWord* engine, F f) {
  if (!engine) return;
  text::KvWordSettings s = engine->settings();
  f(s);
  engine->set_settings(s);
}

}  // namespace

const text::KvWordSettings& TNovaMes::settings() const { return m_engine ? m_engine->settings() : fallback_settings(); }

bool TNovaMes::AntiAlias() const { return settings().quality != 0; }
void TNovaMes::SetAntiAlias(bool v) {
  change_settings(m_engine.get(), [&](text::KvWordSettings& s) { s.quality = v ? 3 : 0; });
}
std::int32_t TNovaMes::Alpha() const { return settings().opacity; }
void TNovaMes::SetAlpha(std::int32_t v) {
  if (v == Alpha()) return;
  change_settings(m_engine.get(), [&](text::KvWordSettings& s) { s.opacity = v; });
  Invalidate();
}
std::int32_t TNovaMes::Delay() const { return settings().fade_time; }
void TNovaMes::SetDelay(std::int32_t v) {
  if (m_engine) m_engine->set_fade_time(std::max(v, 0));
}
const std::string& TNovaMes::FontName() const { return settings().font_name; }
void TNovaMes::SetFontName(std::string_view v) {
  change_settings(m_engine.get(), [&](text::KvWordSettings& s) { s.font_name = v; });
}
Point TNovaMes::Caret() const { return m_engine ? m_engine->caret() : Point{}; }
std::int32_t TNovaMes::CaretHeight() const { return m_engine ? m_engine->caret_height() : 0; }

void TNovaMes::SetScrollY(std::int32_t v) {
  if (v == m_scroll_y) return;
  m_scroll_y = v;
  if (text::TWdPage* p = current()) p->scroll = v;
  Invalidate();
}

void TNovaMes::set_hold() {
  if (m_engine) m_engine->set_hold(m_paused || m_text_paused);
}
void TNovaMes::SetPaused(bool v) {
  m_paused = v;
  set_hold();
}
void TNovaMes::SetTextPaused(bool v) {
  m_text_paused = v;
  set_hold();
}
void TNovaMes::SetTextDelay(std::int32_t v) {
  m_text_delay = v;
  set_speed();
}

void TNovaMes::set_speed() {
  change_settings(m_engine.get(), [&](text::KvWordSettings& s) { s.speed = m_text_delay; });
}

const std::string& TNovaMes::Target(int id) const {
  switch (id) {
    case PR_ONPLAYING: return m_on_playing;
    case PR_ONPLAYSTART: return m_on_play_start;
    case PR_ONPLAYEND: return m_on_play_end;
    case PR_ONLINK: return m_on_link;
    case PR_ONNOTIFY: return m_on_notify;
    case PR_ONIDLE: return m_on_idle;
    default: return EventTarget(id);
  }
}

void TNovaMes::SetTarget(int id, std::string_view target) {
  switch (id) {
    case PR_ONPLAYING: m_on_playing = target; return;
    case PR_ONPLAYSTART: m_on_play_start = target; return;
    case PR_ONPLAYEND: m_on_play_end = target; return;
    case PR_ONLINK: m_on_link = target; return;
    case PR_ONNOTIFY: m_on_notify = target; return;
    case PR_ONIDLE: m_on_idle = target; return;
    default: SetEventTarget(id, target); return;
  }
}

// --- Text and pages ----------------------------------------------------------------------------

void TNovaMes::SetReadMark(std::uint8_t mode, std::string_view key, std::int32_t position) {
  m_read_mode = mode;
  m_read_key = key;
  m_read_position = position;
}

void TNovaMes::commit_history() {
  data::TNovaHistoryFormatManager* h = history();
  if (!h) return;
  const MesServices* s = services();
  h->Commit(Name(), {s ? s->texts : nullptr, s ? s->glyphs : nullptr, s ? s->variables : nullptr,
                     s ? s->pictures : nullptr});
}

void TNovaMes::fit_engine() {
  change_settings(m_engine.get(), [&](text::KvWordSettings& s) {
    s.width = Width();
    s.height = Height();
  });
}

template <typename Lay>
void TNovaMes::replace_text(Lay lay, Leaving leaving) {
  Invalidate();
  if (leaving == Leaving::Commit) commit_history();
  // A read mark is not part of the game: what was pending for this box
  // belongs to the text it leaves (or to the game before a load).
  if (TNovaReadList* marks = read_marks()) marks->DropPending(Name());
  m_history_flag = 0;
  m_history_value = 0;
  m_pages.clear();
  m_index = -1;
  m_scroll_y = 0;
  m_new_page = m_resume = m_finished = false;
  m_start_countdown = 0;
  text::TKvWord& e = engine();
  fit_engine();
  lay(e);
  m_index = 0;
  if (m_pages.empty()) return;
  m_new_page = true;
  m_resume = true;
  raise_start();
  // Page 0 is shown without SetPage, which would take it as unchanged: its
  // history entry and pending mark are made here.
  note_page();
}

void TNovaMes::SetText(std::string_view text) {
  m_data.Reset();
  m_text = text;
  replace_text([&](text::TKvWord& e) { lay_out_text(e); });
}

void TNovaMes::lay_out_text(text::TKvWord& e) {
  const MesServices* s = services();
  text::ParseOptions options;
  options.initial_wait = s && s->text_delay ? s->text_delay() : 50;
  try {
    e.parse(lines_of(m_text), options);
  } catch (const core::Error& err) {
    core::logf(core::Channel::Components, core::Level::Warning, "TNovaMes %s: the text is refused: %s",
               {Name(), err.message()});
    return;
  }
  e.prepare_variables(0, -1, false, s ? s->variables : nullptr);
  e.layout(m_pages);
}

void TNovaMes::lay_out_record(text::TKvWord& e, bool history_variables) {
  const MesServices* s = services();
  m_data.LayOut(e, m_pages, history_variables, {s ? s->texts : nullptr, s ? s->variables : nullptr},
                m_history_flag != 0, m_history_value);
}

void TNovaMes::ShowTextCommand(std::string_view page, std::int32_t command) {
  m_text.clear();
  m_data.SetTextCommand(page, command);
  replace_text([&](text::TKvWord& e) { lay_out_record(e, false); });
}

void TNovaMes::ShowHistory(bool stacking, const std::function<std::int32_t(data::TNovaNewMesData&)>& fill) {
  // A box that last showed a script message would otherwise note the
  // backlog's pages as read under that message's key.
  m_read_mode = 0;
  m_text.clear();
  replace_text([&](text::TKvWord& e) {
    // The pending page is committed by now, so the history it fills from
    // holds it.
    const std::int32_t offset = fill(m_data);
    m_history_flag = stacking ? 1 : 0;
    m_history_value = offset;
    lay_out_record(e, true);
  });
}

std::string TNovaMes::GetAllText() const {
  const text::TWdPage* p = current();
  return p ? text::page_text(*p) : std::string();
}

bool TNovaMes::PlayingText() const {
  const text::TWdPage* p = current();
  if (!p) return false;
  return m_index != Count() - 1 || text::is_revealing(*p) || m_new_page;
}

void TNovaMes::raise_start() {
  if (m_on_play_start.empty()) return;
  const TNovaReadList* marks = read_marks();
  const bool read =
      m_read_mode == 1 && !m_read_key.empty() && marks && marks->IsRead(m_read_key, m_read_position, m_index);
  RaiseEvent(PR_ONPLAYSTART, std::vector<std::string>{read ? "1" : "0"}, PendingRule::WaitingOrRunning);
  m_start_countdown = 1;
}

void TNovaMes::note_page() {
  if (m_read_mode != 1 || m_read_key.empty()) return;
  const text::TWdPage* p = current();
  if (!p) return;
  if (data::TNovaHistoryFormatManager* h = history()) {
    data::NotedPage n;
    n.box = Name();
    n.box_width = Width();
    n.box_height = Height();
    n.key = m_read_key;
    n.command = m_read_position;
    n.page = m_index;
    n.first = p->first_position();
    n.last = p->last_position();
    n.snapshot = data::take_snapshot(*m_engine, *p);
    h->NotePage(n);
  }
  if (TNovaReadList* marks = read_marks()) marks->SetPending(Name(), m_read_key, m_index, m_read_position);
}

void TNovaMes::SetPage(std::int32_t index) {
  if (index < 0 || index >= Count() || index == m_index) return;
  commit_history();
  if (TNovaReadList* marks = read_marks()) marks->DropPending(Name());
  m_index = index;
  m_scroll_y = 0;
  raise_start();
  note_page();
  text::TWdPage& p = m_pages[static_cast<std::size_t>(index)];
  p.scroll = 0;
  text::restart_page(p);
  m_new_page = true;
  m_resume = true;
  m_finished = false;
  Invalidate();
}

void TNovaMes::NotifyEvent(std::string_view text) {
  if (m_on_notify.empty()) return;
  RaiseEvent(PR_ONNOTIFY, lines_of(text), PendingRule::WaitingOnly);
}

// --- The frame -----------------------------------------------------------------------------------

void TNovaMes::add_dirty() {
  if (!m_engine || !read_flag(*this, PR_VISIBLE) || !GetBase()) return;
  const Point o = GetDrawOrigin();
  for (const graphics::Rect& r : m_engine->dirty_rects()) InvalidateRect(r.translated(o.x, o.y));
}

bool TNovaMes::Update() {
  if (TNovaControl::Update()) return true;
  if (m_start_countdown >= 1) {
    --m_start_countdown;
    return false;
  }
  if (owner() && owner()->events().holds(id(), PR_ONPLAYSTART, true)) return false;
  text::TWdPage* p = current();
  if (!p) return false;
  if (m_new_page) {
    text::start_page(*p, m_resume);
    m_new_page = m_resume = false;
    m_finished = false;
  }
  const text::StepResult step = text::step(*p, owner() ? owner()->FrameMs() : 0);
  if (!step.revealed.empty() && !m_on_playing.empty()) {
    RaiseEvent(PR_ONPLAYING, std::vector<std::string>{step.revealed}, PendingRule::WaitingOrRunning);
  }
  if (step.complete && !m_finished) {
    m_finished = true;
    if (m_read_mode == 1) {
      if (TNovaReadList* marks = read_marks()) marks->CommitPending(Name());
    }
    if (!m_on_play_end.empty()) RaiseEvent(PR_ONPLAYEND);
  }
  add_dirty();
  return false;
}

void TNovaMes::Paint(graphics::TCustomDIBX& surface) {
  if (const text::TWdPage* p = current(); p && !m_new_page) {
    const Rect saved = surface.ClipRect();
    const Rect area = surface.EffectiveClip().intersected(GetScreenRect());
    if (!area.empty()) {
      surface.SetClipRect(area);
      const Point o = GetDrawOrigin();
      text::draw_page(*p, surface, o.x, o.y, Alpha());
      surface.SetClipRect(saved);
    }
  }
  PaintChildren(surface);
}

void TNovaMes::MouseMove() {
  text::TWdPage* p = current();
  if (p && read_flag(*this, PR_VISIBLE) && GetBase()) {
    Point at{-1, -1};
    if (!m_paused && !m_text_paused && !text::is_revealing(*p) && !m_new_page) at = PointerInControl();
    if (text::hover(*p, at.x, at.y)) add_dirty();
  }
  TNovaControl::MouseMove();
}

void TNovaMes::MouseOut(ComponentId new_hover) {
  if (text::TWdPage* p = current(); p && read_flag(*this, PR_VISIBLE) && GetBase()) {
    if (text::hover(*p, -1, -1)) add_dirty();
  }
  TNovaControl::MouseOut(new_hover);
}

void TNovaMes::LButtonDown() {
  const text::TWdPage* p = current();
  if (!m_on_link.empty() && p && p->hovered_link >= 0 && !owner()->events().holds(id(), PR_ONLINK, false)) {
    std::vector<std::string> arguments{text::link_text(*p)};
    for (std::string& line : lines_of(text::link_value(*p))) arguments.push_back(std::move(line));
    RaiseEvent(PR_ONLINK, std::move(arguments), PendingRule::WaitingOrRunning);
    return;
  }
  TNovaControl::LButtonDown();
}

bool TNovaMes::LinkContains(Point p, const Rect& screen_rect) const {
  if (!m_capture_link) return screen_rect.contains(p);
  const text::TWdPage* page = current();
  if (!page || !screen_rect.contains(p)) return false;
  const Point o = GetDrawOrigin();
  return !text::link_at(*page, p.x - o.x, p.y - o.y).empty();
}

void TNovaMes::RecreateSurfaces() {
  if (text::TWdPage* p = current(); p && !m_new_page) text::render_page(*p);
  Invalidate();
}

// --- Records ---------------------------------------------------------------------------------------

namespace {

constexpr std::int32_t kHistoryValueVersion = 113;
constexpr std::int32_t kOnIdleVersion = 104;
constexpr std::int32_t kCaptureLinkVersion = 120;

}  // namespace

void TNovaMes::SaveToStream(core::ByteWriter& w) const {
  TNovaControl::SaveToStream(w);
  SaveFields(w);
}

void TNovaMes::LoadFromStream(core::ByteReader& r, std::int32_t version) {
  TNovaControl::LoadFromStream(r, version);
  LoadFields(r, version);
}

void TNovaMes::SaveFields(core::ByteWriter& w) const {
  if (!m_engine) core::throw_error("TNovaMes " + Name() + ": the box has no text engine to save");
  // The page being read goes into the saved history as it stands now.
  const_cast<TNovaMes*>(this)->note_page();
  m_engine->save_settings(w);
  m_data.save(w);
  w.u8(m_history_flag);
  w.i32(m_history_value);
  w.str(m_text);
  w.i32(m_index);
  w.i32(m_scroll_y);
  w.i32(m_hover);
  for (const std::string& a : m_aux) w.str(a);
  for (const std::string* t : {&m_on_playing, &m_on_play_start, &m_on_play_end, &m_on_link, &m_on_notify}) w.str(*t);
  w.boolean(m_paused);
  w.boolean(m_text_paused);
  w.i32(m_text_delay);
  w.u8(m_read_mode);
  w.str(m_read_key);
  w.i32(m_read_position);
  w.str(m_on_idle);
  w.boolean(m_capture_link);
  core::ByteWriter states;
  for (const text::TWdPage& p : m_pages) text::save_reveal_state(p, states);
  w.i32(static_cast<std::int32_t>(states.size()));
  w.bytes(states.data());
}

void TNovaMes::LoadFields(core::ByteReader& r, std::int32_t version) {
  text::TKvWord& e = engine();
  const text::KvWordSettings before = e.settings();
  e.load_settings(r, version);
  try {
    data::TNovaNewMesData d;
    d.load(r, version);
    const std::uint8_t history_flag = r.u8();
    const std::int32_t history_value = version >= kHistoryValueVersion ? r.i32() : 0;
    std::string text = r.str();
    const std::int32_t index = r.i32(), scroll = r.i32(), hover = r.i32();
    std::array<std::string, 3> aux;
    for (std::string& a : aux) a = r.str();
    std::array<std::string, 5> targets;
    for (std::string& t : targets) t = r.str();
    const bool paused = r.boolean(), text_paused = r.boolean();
    const std::int32_t text_delay = r.i32();
    const std::uint8_t read_mode = r.u8();
    std::string read_key = r.str();
    const std::int32_t read_position = r.i32();
    std::string on_idle = version >= kOnIdleVersion ? r.str() : std::string();
    const bool capture = version >= kCaptureLinkVersion ? r.boolean() : false;
    const std::int32_t n = r.i32();
    if (n < 0 || static_cast<std::uint64_t>(n) > r.remaining()) {
      r.fail("message box: the page states do not fit the record");
    }
    const auto states = r.span(static_cast<std::size_t>(n));

    m_data = std::move(d);
    m_history_flag = history_flag;
    m_history_value = history_value;
    m_text = std::move(text);
    m_index = index;
    m_scroll_y = scroll;
    m_hover = hover;
    m_aux = std::move(aux);
    m_on_playing = std::move(targets[0]);
    m_on_play_start = std::move(targets[1]);
    m_on_play_end = std::move(targets[2]);
    m_on_link = std::move(targets[3]);
    m_on_notify = std::move(targets[4]);
    m_paused = paused;
    m_text_paused = text_paused;
    m_text_delay = text_delay;
    m_read_mode = read_mode;
    m_read_key = std::move(read_key);
    m_read_position = read_position;
    m_on_idle = std::move(on_idle);
    m_capture_link = capture;
    m_saved_states.assign(states.begin(), states.end());
    m_pages.clear();
    e.clear();
    set_speed();
    set_hold();
  } catch (...) {
    e.set_settings(before);
    throw;
  }
}

void TNovaMes::RefreshAfterLoad() {
  const std::int32_t index = m_index, scroll = m_scroll_y, position = m_read_position;
  const std::uint8_t mode = m_read_mode;
  // A new text clears the history flags; the loaded ones lay this one out
  // and stay the box's.
  const std::uint8_t history_flag = m_history_flag;
  const std::int32_t history_value = m_history_value;
  const std::string key = m_read_key;
  const std::vector<std::uint8_t> states = std::move(m_saved_states);
  m_saved_states.clear();
  // Laid out again without raising the start event or noting the page: the
  // save holds both as they were.
  const std::string on_start = std::move(m_on_play_start);
  m_on_play_start.clear();
  m_read_mode = 0;
  try {
    if (m_data.Empty()) {
      m_data.Reset();
      replace_text([&](text::TKvWord& e) { lay_out_text(e); }, Leaving::KeepPending);
    } else {
      replace_text(
          [&](text::TKvWord& e) {
            m_history_flag = history_flag;
            m_history_value = history_value;
            // Everything but one text command shown normally is history.
            lay_out_record(e, !m_data.SingleText());
          },
          Leaving::KeepPending);
    }
  } catch (const core::Error& err) {
    core::logf(core::Channel::Components, core::Level::Error, "TNovaMes %s: %s", {Name(), err.message()});
    m_pages.clear();
  }
  m_on_play_start = on_start;
  m_history_flag = history_flag;
  m_history_value = history_value;
  m_read_mode = mode;
  m_read_key = key;
  m_read_position = position;
  m_index = index >= 0 && index < Count() ? index : (Count() > 0 ? 0 : -1);
  m_scroll_y = scroll;
  m_new_page = m_resume = false;
  m_start_countdown = 0;
  for (text::TWdPage& p : m_pages) text::restart_page(p);
  apply_saved_states(states);
  if (text::TWdPage* p = current()) {
    p->scroll = scroll;
    text::start_page(*p, true);
    m_finished = p->reveal.complete;
    if (m_read_mode == 1 && !m_read_key.empty()) {
      if (TNovaReadList* marks = read_marks()) marks->SetPending(Name(), m_read_key, m_index, m_read_position);
    }
  }
  Invalidate();
}

void TNovaMes::apply_saved_states(std::span<const std::uint8_t> states) {
  // Each page's state is read within the stored bytes only: a layout that
  // differs from the saved one takes what fits and stops at their end.
  core::ByteReader r(states);
  for (text::TWdPage& p : m_pages) {
    if (r.remaining() < kStateHead) break;
    // The levels this page's layout holds: what its own record takes
    // beyond the fixed part and its pending text.
    core::ByteWriter now;
    text::save_reveal_state(p, now);
    core::ByteReader head(now.data());
    head.skip(kStateHead - 4);
    const std::size_t levels = now.size() - kStateHead - head.str().size();
    core::ByteReader stored(r.data().subspan(r.position()));
    stored.skip(kStateHead - 4);
    const std::uint64_t bytes = std::uint64_t{kStateHead} + stored.u32() + levels;
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, r.remaining()));
    try {
      text::load_reveal_state(p, r.span(take));
    } catch (const core::Error& e) {
      core::logf(core::Channel::Components, core::Level::Warning, "TNovaMes %s: a saved page state is cut short: %s",
                 {Name(), e.message()});
      break;
    }
  }
}

void register_message_classes(TComponentFactory& factory) {
  factory.add(LT_MES, [] { return std::make_unique<TNovaMes>(); });
}

}  // namespace nova::components
