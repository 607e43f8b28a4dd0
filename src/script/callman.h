// TCallMan: the interpreter. It runs the commands of the current page, keeps
// the call stack, and interleaves the script with event handlers.
//
// Once per frame tick, RunTick executes commands one after another until a
// command ends the tick (its continue flag is 0, it waits, or it failed).
// Components queue events; at the next step the interpreter pushes its
// position, runs the handler (a label on some page) and returns when that
// page ends. A handler that waits on a yielding command lets further events
// run as nested handlers; `EventLevel` keeps the levels apart. The four
// states of RunTick: 0 main script, 1 event handler, 2 a handler waits
// (check for nested events), 3 nested handler.
//
// The interpreter owns its page cache (at most 10 pages besides the current
// one) and its call stack. Everything else it reaches through the services
// it is given, which outlive it; the event queue is optional (there is none
// before the component system exists).
//
// Errors raised by a command are swallowed, as the system does for the
// author's scripts: they are logged on the Script channel and sent to the
// trace hook with the page and line, the page and position go back to where
// they were before the step, and the tick ends, so the command runs again at
// the next tick. A command that stays started at its position (it waits)
// also ends the tick. So a command that keeps failing or waiting never
// freezes the player.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/binary_io.h"
#include "core/frame_clock.h"
#include "expr/param_collection.h"
#include "expr/sys_func_man.h"
#include "script/call_stack.h"
#include "script/page.h"
#include "script/script_host.h"

namespace nova::components {
class TNovaBaseList;
}

namespace nova::script {

// The most pages the cache keeps (the current page is never removed).
constexpr std::size_t kPageCacheSize = 10;
// The version the saved interpreter state has been written with since it
// stores EventLevel.
constexpr std::int32_t kEventLevelSaveVersion = 116;

struct TCallManServices {
  core::FrameClock& clock;
  expr::TParamCollection& store;
  const expr::TSysFuncMan& funcs;
  ScriptHost& host;
  // The component system's base list, which the component commands drive;
  // null without one.
  components::TNovaBaseList* base_list = nullptr;
};

class TCallMan {
 public:
  // A line of the trace: each newly executed command, each started event,
  // each swallowed command error.
  using TraceHook = std::function<void(std::string_view line)>;

  explicit TCallMan(TCallManServices services);
  ~TCallMan();
  TCallMan(const TCallMan&) = delete;
  TCallMan& operator=(const TCallMan&) = delete;

  // Not owned; either may be null (there is no queue before the component
  // system exists, and tests may give a queue without names).
  void set_event_queue(EventQueue* queue) { m_events = queue; }
  void set_component_directory(const ComponentDirectory* directory) { m_directory = directory; }
  void set_trace_hook(TraceHook hook) { m_trace = std::move(hook); }

  // Restarts at the beginning of a page: no arguments, no frames (call
  // depth 0), no sender, state 0; the queue entries of running handlers go.
  // A page that cannot be loaded raises its error.
  void StartAt(std::string_view name);
  // One frame tick. Returns at once while TerminateFlag is set.
  //
  // A tick also ends after `pass_limit()` passes of its loop, though the
  // script would go on: a loop that never yields (a script mistake, or a
  // damaged page) must not freeze the player, whose window, exit button and
  // frame limit are served between ticks. The interpreter is whole between
  // passes, so the next tick carries on exactly where this one stopped; only
  // a script running millions of commands in one frame can tell.
  void RunTick();
  static constexpr std::uint32_t kDefaultPassLimit = 1'000'000;
  std::uint32_t pass_limit() const { return m_pass_limit; }
  void set_pass_limit(std::uint32_t passes) { m_pass_limit = passes == 0 ? 1 : passes; }
  // The cached page of exactly this name, loaded when missing; when making
  // it current the position becomes 0 first. A page of version 102 or below
  // sets TerminateFlag, shows "リビルドしてください" and closes the player;
  // it stays loaded as an empty page.
  TPage& LoadPage(std::string_view name, bool make_current);

  // --- What system variables read ------------------------------------------
  std::int32_t ParamCount() const { return static_cast<std::int32_t>(m_arguments.size()); }
  // Argument i, or empty outside the range.
  std::string ParamStr(std::int32_t i) const;
  // The sender's name while a handler runs and the sender still exists.
  std::string SenderName() const;
  // The top frame's return value, or nullptr with an empty stack.
  expr::TCustomParam* ResultValue();
  std::int32_t StackCount() const { return m_stack.count(); }

  // --- The saved interpreter state (inside a game save) ---------------------
  void SaveState(core::ByteWriter& w) const;
  // `save_version` is the game record's version; below 116 EventLevel is
  // not stored and becomes 2. Raises core::Error for a damaged state.
  void LoadState(core::ByteReader& r, std::int32_t save_version);
  // A loaded game's after-load page: the restored position is pushed as an
  // event handler's caller is, with the started command's own state, so
  // that a Wait, TextIns or Flip under way resumes where it stood even when
  // the page cache has dropped its page meanwhile; the page then runs from
  // the index (from 0 when not above 0). Raises when the page cannot be
  // loaded (nothing has changed then).
  void EnterAfterLoad(std::string_view page, std::int32_t index);

  // --- Inspection -------------------------------------------------------------
  TPage* CurrentPage() const { return m_current; }
  std::int32_t Position() const { return m_position; }
  bool Started() const { return m_started; }
  int State() const { return m_state; }
  std::int32_t EventLevel() const { return m_event_level; }
  bool ContinueFlag() const { return m_continue != 0; }
  ComponentId Sender() const { return m_sender; }
  const std::vector<std::string>& Arguments() const { return m_arguments; }
  const TStackList& Stack() const { return m_stack; }
  // DeleteStack: removes frame `index` (0-based, bottom first) with the
  // variables of its frame id; the variables of later frames move down one
  // frame id. False, changing nothing, outside 0 ... StackCount() - 1.
  bool DeleteStack(std::int32_t index);
  // Cached page names, most recently used first.
  std::vector<std::string> LoadedPageNames() const;
  // The cached page of that name, compared without regard to case as file
  // names are; nullptr when none is cached. Never loads.
  const TPage* CachedPage(std::string_view name) const;

  // --- For the commands ------------------------------------------------------
  expr::TParamCollection& store() const { return m_services.store; }
  const expr::TSysFuncMan& funcs() const { return m_services.funcs; }
  core::FrameClock& clock() const { return m_services.clock; }
  ScriptHost& host() const { return m_services.host; }
  // The base list the component commands drive; null without components.
  components::TNovaBaseList* base_list() const { return m_services.base_list; }

  void Advance() { ++m_position; }
  void SetPosition(std::int32_t index) { m_position = index; }
  // Ends the current page: the next step returns to the caller.
  void EndPage();
  void SetContinueFlag(bool on) { m_continue = on ? 1 : 0; }
  // The page becomes current at the index.
  void JumpTo(std::string_view page, std::int32_t index);
  // Pushes the caller (at the position already advanced) and runs the page
  // from the index with these arguments; its result goes to the variable
  // named `result_variable` when it returns.
  void CallPage(std::string_view page, std::int32_t index, std::string result_variable,
                std::vector<std::string> arguments);
  // PCReset: `full` restarts everything at the page, otherwise only the
  // main script is moved there and a running handler goes on.
  void ResetTo(std::string_view page, std::int32_t index, bool full);
  // Sets TerminateFlag and asks the main window to close.
  void Terminate();
  // An expression of the running command stopped at an error (which the
  // command swallows). The first time for a command position and message
  // it is logged as a warning and traced as "<ExprError>"; repeats are
  // logged at debug level and counted, and the counts are traced as
  // "<ExprError>PAGE(LINE) MESSAGE: N more" when the interpreter ends. At
  // most kExprErrorPlaces pairs are remembered; errors beyond them are
  // counted in one closing line.
  void ReportExpressionError(std::string_view message);
  static constexpr std::size_t kExprErrorPlaces = 1000;

 private:
  struct Checkpoint;
  int Step();
  void RunCommand();
  int DispatchEvent(std::int32_t level);
  void ReturnFrom(TStack& frame);
  void AssignResult(const TStack& frame);
  void Restore(const TStack& frame);
  void PushCurrent(bool with_state);
  [[gnu::cold]] void ReportCutTick(std::uint32_t passes);
  void FlushExpressionErrors();
  void ReportError(const TPage& page, std::int32_t position, std::string_view message);
  void Trace(std::string_view line);
  bool Inside() const { return m_current && m_current->commands().contains(m_position); }
  bool Cached(const TPage* page) const;

  TCallManServices m_services;
  EventQueue* m_events = nullptr;
  const ComponentDirectory* m_directory = nullptr;
  TraceHook m_trace;

  std::list<std::unique_ptr<TPage>> m_pages;
  TPage* m_current = nullptr;
  std::int32_t m_position = 0;
  std::uint8_t m_continue = 0;
  TStackList m_stack;
  bool m_started = false;
  std::vector<std::string> m_arguments;
  int m_state = 0;
  ComponentId m_sender;
  std::int32_t m_event_level = 2;

  // The step's command yields; set from the command each step runs.
  bool m_yield = false;
  // The tick ends after this pass (a command failed or stays waiting).
  bool m_end_tick = false;
  std::uint32_t m_pass_limit = kDefaultPassLimit;
  // Whether a tick was cut at the pass limit since the script last yielded
  // (reported once per run of such a loop).
  bool m_cut_reported = false;
  // The command traced last (page name and position).
  std::string m_traced_page;
  std::int32_t m_traced_position = -1;
  // The last error reported, so that a command failing again at every tick
  // is logged as a repeat.
  std::string m_last_error;

  // The command running now (its page and position), for the reports of
  // its expressions.
  const TPage* m_running_page = nullptr;
  std::int32_t m_running_position = 0;
  // Expression errors by place, in the order first seen.
  struct ExprErrorPlace {
    std::string page;
    std::int32_t line = 0;
    std::string message;
    std::uint64_t repeats = 0;
  };
  std::vector<ExprErrorPlace> m_expr_errors;
  std::unordered_map<std::string, std::size_t> m_expr_error_index;
  std::uint64_t m_expr_errors_elsewhere = 0;
};

}  // namespace nova::script
