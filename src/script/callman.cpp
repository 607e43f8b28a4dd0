// The interpreter: the page cache, one step, event dispatch, the tick loop,
// and the moves commands make (jumps, calls, restarts).
#include "script/callman.h"

#include <algorithm>

#include "core/error.h"
#include "core/format.h"
#include "core/log.h"
#include "core/sjis.h"
#include "expr/params.h"
#include "script/expression.h"

namespace nova::script {
namespace {

struct Target {
  std::string page;
  std::optional<std::string> label;
};

// An event target is a page name, optionally followed by ":" and a label.
// The separator is the last ":" that no "." or "\" follows, so a page in a
// folder or with an extension keeps them ("menu.src:onclick", "sub\a.nsb").
// The page's last three characters become "nsb": authors name the source.
Target split_target(std::string_view target) {
  std::size_t colon = std::string_view::npos;
  core::for_each_char(target, [&](std::size_t at, std::size_t n) {
    if (n != 1) return;
    if (target[at] == ':')
      colon = at;
    else if (target[at] == '.' || target[at] == '\\')
      colon = std::string_view::npos;
  });
  Target t;
  std::string_view page = target;
  if (colon != std::string_view::npos) {
    t.label = std::string(target.substr(colon + 1));
    page = target.substr(0, colon);
  }
  std::vector<std::size_t> starts;
  core::for_each_char(page, [&](std::size_t at, std::size_t) { starts.push_back(at); });
  const std::size_t keep = starts.size() >= 3 ? starts[starts.size() - 3] : 0;
  t.page = std::string(page.substr(0, keep)) + "nsb";
  return t;
}

// The text of a string literal of the expression language: a double quote
// and a backslash are escaped, so the text stays one literal whatever it
// holds. Double-byte characters pass whole (a trail byte 0x5C is not a
// backslash).
std::string literal(std::string_view text) {
  std::string out = "\"";
  core::for_each_char(text, [&](std::size_t at, std::size_t n) {
    if (n == 1 && (text[at] == '"' || text[at] == '\\')) out += '\\';
    out.append(text.substr(at, n));
  });
  out += '"';
  return out;
}

std::uint32_t clock_bits(const core::FrameClock& clock) { return static_cast<std::uint32_t>(clock.GameClockMs.load()); }

}  // namespace

TCallMan::TCallMan(TCallManServices services) : m_services(services), m_stack(services.store) {}

TCallMan::~TCallMan() {
  FlushExpressionErrors();
  m_current = nullptr;
  m_stack.clear();
  m_pages.clear();
}

// --- Pages ----------------------------------------------------------------------

bool TCallMan::Cached(const TPage* page) const {
  return std::any_of(m_pages.begin(), m_pages.end(), [&](const auto& p) { return p.get() == page; });
}

std::vector<std::string> TCallMan::LoadedPageNames() const {
  std::vector<std::string> names;
  for (const auto& p : m_pages) names.push_back(p->name());
  return names;
}

const TPage* TCallMan::CachedPage(std::string_view name) const {
  for (const auto& p : m_pages) {
    if (core::equal_ci(p->name(), name)) return p.get();
  }
  return nullptr;
}

TPage& TCallMan::LoadPage(std::string_view name, bool make_current) {
  if (make_current) m_position = 0;
  for (auto it = m_pages.begin(); it != m_pages.end(); ++it) {
    if ((*it)->name() != name) continue;
    if (make_current && it != m_pages.begin()) m_pages.splice(m_pages.begin(), m_pages, it);
    return **it;
  }
  auto page = std::make_unique<TPage>(store());
  const std::vector<std::uint8_t> bytes = host().ReadFile(name);
  if (page->Load(std::string(name), bytes) == TPage::LoadResult::Refused) {
    clock().TerminateFlag.store(true);
    host().ShowFatal(core::sjis("警告"), std::string(name) + "\r\n" + core::sjis("リビルドしてください"));
    host().RequestClose();
  }
  TPage& loaded = *page;
  if (!make_current) {
    m_pages.push_back(std::move(page));
    return loaded;
  }
  m_pages.push_front(std::move(page));
  // The page being left (still current while this runs) may be executing
  // the command that asked for this one, so it is never removed here.
  while (m_pages.size() > kPageCacheSize && m_pages.back().get() != m_current && m_pages.back().get() != &loaded) {
    m_pages.pop_back();
  }
  return loaded;
}

// --- Accessors ------------------------------------------------------------------

std::string TCallMan::ParamStr(std::int32_t i) const {
  if (i < 0 || i >= ParamCount()) return {};
  return m_arguments[static_cast<std::size_t>(i)];
}

std::string TCallMan::SenderName() const {
  if (m_state == 0 || !m_sender || !m_directory) return {};
  return m_directory->name_of(m_sender).value_or(std::string());
}

expr::TCustomParam* TCallMan::ResultValue() {
  if (m_stack.empty()) return nullptr;
  return m_stack.top().return_value.get();
}

// --- Diagnostics ----------------------------------------------------------------

void TCallMan::Trace(std::string_view line) {
  core::log(core::Channel::Script, core::Level::Trace, line);
  if (m_trace) m_trace(line);
}

void TCallMan::ReportError(const TPage& page, std::int32_t position, std::string_view message) {
  const std::int32_t line = page.commands().contains(position) ? page.command(position).line_number() : 0;
  std::string key = core::format("%s\n%d\n%s", {page.name(), position, message});
  // A command that fails again at every tick is reported each time; after
  // the first, at debug level, so that the log shows it without drowning.
  const bool repeat = key == m_last_error;
  m_last_error = std::move(key);
  core::logf(core::Channel::Script, repeat ? core::Level::Debug : core::Level::Warning, "%s(%d): %s",
             {page.name(), line, message});
  if (m_trace) m_trace(core::format("%.8x : <Error>%s(%d) %s", {clock_bits(clock()), page.name(), line, message}));
}

// --- Steps ------------------------------------------------------------------------

void TCallMan::ReportExpressionError(std::string_view message) {
  // Outside a command (a result being stored on return), or when the
  // command's page has left the cache, the place is where the script stands.
  const bool running = m_running_page && Cached(m_running_page);
  const TPage* page = running ? m_running_page : m_current;
  const std::int32_t position = running ? m_running_position : m_position;
  const std::string page_name = page ? page->name() : std::string();
  const std::int32_t line = page && page->commands().contains(position) ? page->command(position).line_number() : 0;
  std::string key = core::format("%s\n%d\n%s", {page_name, position, message});
  if (auto it = m_expr_error_index.find(key); it != m_expr_error_index.end()) {
    ++m_expr_errors[it->second].repeats;
    core::logf(core::Channel::Script, core::Level::Debug, "%s(%d): %s", {page_name, line, message});
    return;
  }
  if (m_expr_errors.size() >= kExprErrorPlaces) {
    ++m_expr_errors_elsewhere;
    core::logf(core::Channel::Script, core::Level::Debug, "%s(%d): %s", {page_name, line, message});
    return;
  }
  m_expr_error_index.emplace(std::move(key), m_expr_errors.size());
  m_expr_errors.push_back({page_name, line, std::string(message), 0});
  core::logf(core::Channel::Script, core::Level::Warning, "%s(%d): %s", {page_name, line, message});
  if (m_trace) {
    m_trace(core::format("%.8x : <ExprError>%s(%d) %s", {clock_bits(clock()), page_name, line, message}));
  }
}

void TCallMan::FlushExpressionErrors() {
  if (m_trace) {
    for (const ExprErrorPlace& p : m_expr_errors) {
      if (p.repeats == 0) continue;
      m_trace(core::format("<ExprError>%s(%d) %s: %d more",
                           {p.page, p.line, p.message, static_cast<std::int64_t>(p.repeats)}));
    }
    if (m_expr_errors_elsewhere > 0) {
      m_trace(core::format("<ExprError>%d more at other places", {static_cast<std::int64_t>(m_expr_errors_elsewhere)}));
    }
  }
  m_expr_errors.clear();
  m_expr_error_index.clear();
  m_expr_errors_elsewhere = 0;
}

void TCallMan::RunCommand() {
  TPage* page = m_current;
  const std::int32_t position = m_position;
  m_yield = false;
  if (!page->commands().contains(position)) {
    m_current = nullptr;  // the page has ended
    return;
  }
  TCommand& command = page->command(position);
  if (m_trace && (position != m_traced_position || page->name() != m_traced_page)) {
    m_traced_page = page->name();
    m_traced_position = position;
    Trace(core::format("%.8x : %s(%d)", {clock_bits(clock()), page->name(), command.line_number()}));
  }
  // The command's expressions report their errors at its place; a page
  // the command evicts must not be named afterwards.
  struct Running {
    TCallMan& cm;
    Running(TCallMan& c, const TPage* p, std::int32_t at) : cm(c) {
      cm.m_running_page = p;
      cm.m_running_position = at;
    }
    ~Running() { cm.m_running_page = nullptr; }
  } running(*this, page, position);
  try {
    if (!m_started) {
      if (command.IsSkipped()) {
        ++m_position;
        return;
      }
      command.Start(*this);
      m_started = true;
    }
    m_continue = command.ContinuesTick() ? 1 : 0;
    m_yield = command.Yields();
    command.Execute(*this, *page, position);
    if (m_current != page || m_position != position) {
      m_started = false;
    } else if (m_started) {
      // The command waits where it is; nothing changes within this tick.
      m_end_tick = true;
    }
  } catch (const std::exception& e) {
    const auto* error = dynamic_cast<const core::Error*>(&e);
    ReportError(*page, position, error ? std::string_view(error->message()) : std::string_view(e.what()));
    // Commands advance before they fail: back to the failed command, which
    // runs again at the next tick (started stays set once Start succeeded,
    // so it is executed again rather than restarted).
    if (Cached(page)) {
      m_current = page;
      m_position = position;
    }
    m_yield = false;
    m_end_tick = true;
  }
}

int TCallMan::Step() {
  if (!m_current) {
    m_continue = 0;
    // A handler with nothing under it (only a damaged saved state gives
    // one) is back in the ended main script.
    return (m_state != 0 && m_stack.empty()) ? 1 : 0;
  }
  RunCommand();
  const int r = m_yield ? 2 : 0;
  if (m_current) return r;
  if (m_stack.empty()) {
    m_continue = 0;
    return m_state != 0 ? 1 : r;
  }
  store().delete_frame(m_stack.count());
  TStack& frame = m_stack.pop();
  AssignResult(frame);
  Restore(frame);
  if (!frame.sender) return 1;
  return r == 0 ? -1 : r;
}

void TCallMan::AssignResult(const TStack& frame) {
  if (frame.result_variable.empty() || !frame.return_value) return;
  try {
    if (expr::TParamCollectionItem* item = store().find(frame.result_variable)) {
      // In the variable's own type; an unbound reference takes nothing.
      expr::set_scalar_as(item->value(), item->value().type(), *frame.return_value);
      return;
    }
    // Not a variable: maybe an element ("a[2]"); the expression language
    // assigns it, and stops silently when the name is not there at all.
    TExpression::compile(frame.result_variable + " = " + literal(frame.return_value->as_str())).run(store(), funcs());
  } catch (const core::Error& e) {
    core::logf(core::Channel::Script, core::Level::Warning, "the result of a call to %s(%d) was not stored in %s: %s",
               {frame.page, frame.position, frame.result_variable, e.message()});
  }
}

void TCallMan::Restore(const TStack& frame) {
  m_current = nullptr;
  if (!frame.page.empty()) {
    try {
      m_current = &LoadPage(frame.page, true);
    } catch (const core::Error& e) {
      core::logf(core::Channel::Script, core::Level::Warning, "cannot return to %s: %s", {frame.page, e.message()});
    }
  }
  m_position = frame.position;
  m_started = frame.started;
  m_continue = frame.continue_flag;
  m_arguments = frame.arguments;
  m_sender = frame.sender;
  if (frame.saved_state && Inside()) {
    core::ByteReader r(*frame.saved_state);
    try {
      m_current->command(m_position).LoadState(r);
    } catch (const core::Error& e) {
      ReportError(*m_current, m_position, e.message());
    }
  }
}

void TCallMan::PushCurrent(bool with_state) {
  TStack frame;
  frame.page = m_current ? m_current->name() : std::string();
  frame.position = m_position;
  frame.started = m_started;
  frame.arguments = m_arguments;
  frame.sender = m_sender;
  frame.continue_flag = m_continue;
  if (with_state && m_started && Inside()) {
    core::ByteWriter w;
    m_current->command(m_position).SaveState(w);
    if (w.size() > 0) frame.saved_state = w.take_string();
  }
  m_stack.push(std::move(frame));
}

void TCallMan::EnterAfterLoad(std::string_view page, std::int32_t index) {
  LoadPage(page, false);
  if (m_current) PushCurrent(true);
  m_current = &LoadPage(page, true);
  m_position = std::max(0, index);
  m_started = false;
  m_traced_position = -1;
}

// --- Events ----------------------------------------------------------------------

int TCallMan::DispatchEvent(std::int32_t level) {
  if (!m_events) return 0;
  if (m_started && Inside() && m_current->command(m_position).IsUninterruptible()) return 0;
  EventEntry* entry = m_events->first_pending();
  if (!entry) return 0;
  const Target target = split_target(entry->target);
  bool available = false;
  try {
    available = host().EnsureFile(target.page);
  } catch (const core::Error& e) {
    core::logf(core::Channel::Script, core::Level::Warning, "event %s: %s", {entry->target, e.message()});
  }
  // An event whose page cannot be had is dropped: left pending it would
  // hold back every later event for the rest of the run.
  if (!available) {
    core::logf(core::Channel::Script, core::Level::Warning, "event %s: the page %s is not available; dropped",
               {entry->target, target.page});
    m_events->remove(*entry);
    return 0;
  }
  try {
    LoadPage(target.page, false);
  } catch (const core::Error& e) {
    core::logf(core::Channel::Script, core::Level::Warning, "event %s: %s; dropped", {entry->target, e.message()});
    m_events->remove(*entry);
    return 0;
  }
  PushCurrent(true);
  m_current = &LoadPage(target.page, true);
  m_position = 0;
  if (target.label) m_position = std::max(0, m_current->FindLabel(*target.label));
  if (m_trace) {
    const std::int32_t line = Inside() ? m_current->command(m_position).line_number() : 0;
    Trace(core::format("%.8x : <Event>%s(%d)", {clock_bits(clock()), m_current->name(), line}));
  }
  m_started = false;
  entry->level = level;
  m_arguments = entry->arguments;
  m_sender = entry->sender;
  m_state = 1;
  return 1;
}

// --- The tick ------------------------------------------------------------------------

void TCallMan::RunTick() {
  const auto& terminate = clock().TerminateFlag;
  if (terminate.load()) return;
  m_end_tick = false;
  const std::uint32_t limit = m_pass_limit;
  std::uint32_t passes = 0;
  do {
    switch (m_state) {
      case 0:
        if (DispatchEvent(1) == 1) break;
        Step();
        break;
      case 1: {
        const int b = Step();
        if (b == 1) {
          if (m_events) m_events->remove_level(1);
          m_state = 0;
          m_continue = 1;
        } else if (b == 2) {
          m_event_level = 2;
          m_state = 2;
          m_cut_reported = false;
          return;
        } else if (m_state != 1) {
          m_continue = 1;
        }
        break;
      }
      case 2:
        if (DispatchEvent(m_event_level) == 1) {
          ++m_event_level;
          m_state = 3;
        } else {
          m_state = m_event_level > 2 ? 3 : 1;
        }
        break;
      default: {
        const int b = Step();
        if (b == 1 || b == -1) {
          --m_event_level;
          if (m_events) m_events->remove_level(m_event_level);
          if (m_event_level <= 2) m_state = 2;
        } else if (b == 2) {
          m_state = 2;
          m_cut_reported = false;
          return;
        }
        break;
      }
    }
    if (m_end_tick) break;
  } while ((m_continue == 1 || m_state != 0) && !terminate.load() && ++passes < limit);
  // Only the limit ends the loop with passes at the limit.
  if (passes >= limit) [[unlikely]] {
    ReportCutTick(passes);
    return;
  }
  m_cut_reported = false;
}

void TCallMan::ReportCutTick(std::uint32_t passes) {
  if (m_cut_reported) return;
  m_cut_reported = true;
  const std::string where = m_current ? m_current->name() : std::string();
  core::logf(core::Channel::Script, core::Level::Warning,
             "%s: %u commands without yielding; the rest runs in the next frames", {where, passes});
}

// --- Moves ------------------------------------------------------------------------------

void TCallMan::StartAt(std::string_view name) {
  m_current = &LoadPage(name, true);
  m_position = 0;
  m_started = false;
  m_arguments.clear();
  m_state = 0;
  m_stack.clear();
  m_sender = {};
  if (m_events) {
    for (std::int32_t level = 1; level <= m_event_level; ++level) m_events->remove_level(level);
  }
  m_event_level = 2;
}

void TCallMan::EndPage() { m_position = m_current ? m_current->count() : 0; }

void TCallMan::JumpTo(std::string_view page, std::int32_t index) {
  m_current = &LoadPage(page, true);
  m_position = index;
}

void TCallMan::CallPage(std::string_view page, std::int32_t index, std::string result_variable,
                        std::vector<std::string> arguments) {
  // Everything that can fail comes before the push, so a failed call leaves
  // the stack as it was.
  TPage& callee = LoadPage(page, false);
  std::unique_ptr<expr::TCustomParam> result = expr::make_value(callee.return_type());
  TStack frame;
  frame.page = m_current ? m_current->name() : std::string();
  frame.position = m_position;
  frame.result_variable = std::move(result_variable);
  frame.arguments = std::move(m_arguments);
  frame.sender = m_sender;
  frame.continue_flag = m_continue;
  frame.return_value = std::move(result);
  m_stack.push(std::move(frame));
  m_arguments = std::move(arguments);
  m_current = &LoadPage(page, true);
  m_position = index;
}

void TCallMan::ResetTo(std::string_view page, std::int32_t index, bool full) {
  if (full) {
    store().delete_frame(m_stack.count());
    for (std::int32_t i = m_stack.count() - 1; i >= 0; --i) {
      store().delete_frame(i);
      const TStack& frame = m_stack.at(i);
      if (frame.sender || !frame.started || frame.page.empty()) continue;
      // A command the main script had started is finished (a transition
      // completes), so nothing is left half done.
      TPage& p = LoadPage(frame.page, false);
      if (p.commands().contains(frame.position)) p.command(frame.position).Finish(*this);
    }
    StartAt(page);
    m_position = index;
    if (m_events) m_events->clear();
    return;
  }
  store().delete_frame(m_stack.count());
  std::optional<std::int32_t> lowest;
  for (std::int32_t i = 0; i < m_stack.count(); ++i) {
    if (m_stack.at(i).sender) {
      lowest = i;
      break;
    }
  }
  if (!lowest && m_state != 0 && m_sender && m_directory && m_directory->name_of(m_sender)) {
    lowest = m_stack.count();
  }
  std::optional<std::int32_t> main_frame;
  if (lowest) {
    for (std::int32_t i = *lowest - 1; i >= 0; --i) {
      if (!m_stack.at(i).sender) {
        main_frame = i;
        break;
      }
    }
  }
  if (main_frame) {
    // The running handler goes on; when it returns, the main script
    // continues at the new place.
    store().delete_frame(*main_frame + 1);
    TStack& frame = m_stack.at(*main_frame);
    frame.page = std::string(page);
    frame.position = index;
    frame.started = false;
    frame.result_variable.clear();
    frame.arguments.clear();
    frame.saved_state.reset();
    Advance();
  } else {
    JumpTo(page, index);
  }
  if (m_events) m_events->remove_running();
}

void TCallMan::Terminate() {
  clock().TerminateFlag.store(true);
  host().RequestClose();
}

bool TCallMan::DeleteStack(std::int32_t index) {
  if (index < 0 || index >= m_stack.count()) return false;
  store().delete_frame(index);
  m_stack.remove_at(index);
  store().shift_frames_above(index);
  return true;
}

}  // namespace nova::script
