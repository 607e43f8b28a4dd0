// The control-flow commands: branches, labels, jumps, calls, loops, waits,
// restarts and the end of the player.
#include "core/error.h"
#include "core/format.h"
#include "script/callman.h"
#include "script/commands.h"

namespace nova::script {
namespace {

// Passes over the block of the branch at `index` (the commands after it
// with a greater nesting level).
void skip_block(TCallMan& cm, const TCommand& branch, std::int32_t index) {
  const TComList& list = branch.list();
  std::int32_t i = index + 1;
  while (list.contains(i) && list.at(i).nesting_level() > branch.nesting_level()) ++i;
  cm.SetPosition(i);
}

}  // namespace

void throw_not_built(const TCommand& command, std::string_view what) {
  core::throw_error(core::format("%s: %s not built yet", {command.name(), what}));
}

void TCommand::Execute(TCallMan& cm, TPage&, std::int32_t) { cm.Advance(); }

// --- Branches -----------------------------------------------------------------

bool TComIf::condition(TCallMan& cm) { return expression(0).is_true(cm); }

void TComIf::skip_block(TCallMan& cm, std::int32_t index) const { script::skip_block(cm, *this, index); }

void TComIf::Execute(TCallMan& cm, TPage&, std::int32_t index) {
  cm.Advance();
  if (condition(cm)) return;
  // Look for the branch that runs: deeper commands belong to the block
  // passed over; a false Elseif of the chain is passed over too, so that
  // every later branch stays reachable; a true Elseif or an Else runs its
  // block; anything else at this level (or a shallower command) ends the
  // chain. A branch that is commented out is passed over with its block.
  const TComList& commands = list();
  std::int32_t i = index + 1;
  while (commands.contains(i)) {
    TCommand& c = commands.at(i);
    if (c.nesting_level() > nesting_level()) {
      ++i;
      continue;
    }
    if (c.nesting_level() < nesting_level()) break;
    const int code = c.GetCode();
    if (code != CC_ELSEIF && code != CC_ELSE) break;
    ++i;
    if (c.IsSkipped()) continue;
    if (code == CC_ELSE || static_cast<TComElseif&>(c).holds(cm)) break;
  }
  cm.SetPosition(i);
}

void TComElseif::Execute(TCallMan& cm, TPage&, std::int32_t index) { skip_block(cm, index); }

void TComElse::Execute(TCallMan& cm, TPage&, std::int32_t index) { script::skip_block(cm, *this, index); }

// --- Jumps and calls ------------------------------------------------------------

void TComJump::Execute(TCallMan& cm, TPage&, std::int32_t) {
  cm.Advance();
  if (!expression(2).is_true(cm)) return;
  if (!cm.host().EnsureFile(text(0))) return;
  cm.JumpTo(text(0), number(1));
}

void TComCall::Execute(TCallMan& cm, TPage&, std::int32_t) {
  cm.Advance();
  if (!expression(3).is_true(cm)) return;
  if (!cm.host().EnsureFile(text(0))) return;
  std::vector<std::string> arguments;
  for (TExpression& e : field(4).expressions) {
    // An argument without a value is left out.
    if (const expr::TCustomParam* v = e.run(cm)) arguments.push_back(v->as_str());
  }
  cm.CallPage(text(0), number(1), text(2), std::move(arguments));
}

void TComExit::go_to(TCallMan& cm) const {
  if (number(1) < 0)
    cm.EndPage();
  else
    cm.SetPosition(number(1));
}

void TComExit::Execute(TCallMan& cm, TPage&, std::int32_t) {
  if (expression(0).is_true(cm))
    cm.EndPage();
  else
    cm.Advance();
}

void TComBreak::Execute(TCallMan& cm, TPage&, std::int32_t) {
  if (expression(0).is_true(cm))
    go_to(cm);
  else
    cm.Advance();
}

void TComContinue::Execute(TCallMan& cm, TPage&, std::int32_t) {
  cm.Advance();
  if (expression(0).is_true(cm)) go_to(cm);
}

// --- Loops ------------------------------------------------------------------------

void TComWhile::Execute(TCallMan& cm, TPage&, std::int32_t) {
  cm.Advance();
  if (!expression(0).is_true(cm)) cm.SetPosition(number(1));
}

void TComRuntime::run_expression(TCallMan& cm) { expression(0).run(cm); }

void TComWhileInit::Execute(TCallMan& cm, TPage&, std::int32_t) {
  cm.Advance();
  run_expression(cm);
}

void TComWhileLoop::Execute(TCallMan& cm, TPage&, std::int32_t) {
  cm.SetPosition(number(1));
  run_expression(cm);
}

// --- Waits ------------------------------------------------------------------------

void TComWait::Start(TCallMan& cm) {
  m_remaining = expression(1).int_or(cm, 0);
  m_first_run = 1;
  m_uninterruptible = expression(2).flag_or(cm, false);
}

void TComWait::Execute(TCallMan& cm, TPage&, std::int32_t) {
  const expr::TCustomParam* condition = expression(0).run(cm);
  // A condition with a value that is not true ends the wait at once, with
  // or without time; an absent one holds it.
  if (condition && !condition->as_flag()) {
    cm.Advance();
    return;
  }
  if (m_remaining != 0) {
    // The first run does not count. Later runs test the time left before
    // they take the frame off it, so a wait of 100 ms at 15 ms frames ends on
    // its ninth run. Zero stands for "no time" (a wait that lasts while its
    // condition holds), so time used up exactly is kept as -1.
    if (m_first_run) {
      m_first_run = 0;
    } else if (m_remaining <= 0) {
      cm.Advance();
      return;
    } else {
      m_remaining -= cm.clock().FrameDeltaMs.load();
      if (m_remaining == 0) m_remaining = -1;
    }
  }
  cm.SetContinueFlag(false);
}

void TComWait::SaveState(core::ByteWriter& w) const {
  write_state_header(w);
  w.i32(m_remaining);
  w.i32(m_first_run);
  w.u8(m_uninterruptible ? 1 : 0);
}

void TComWait::LoadState(core::ByteReader& r) {
  read_state_header(r);
  std::int32_t remaining = r.i32();
  std::int32_t first_run = r.i32();
  bool uninterruptible = r.u8() != 0;
  m_remaining = remaining;
  m_first_run = first_run;
  m_uninterruptible = uninterruptible;
}

// --- Variables ----------------------------------------------------------------------

void TComCalc::Execute(TCallMan& cm, TPage&, std::int32_t) {
  cm.Advance();
  expression(0).run(cm);
}

void TComVarNew::Execute(TCallMan& cm, TPage&, std::int32_t) {
  cm.Advance();
  const std::int32_t type = number(1), scope = number(3);
  if (!expr::is_value_type(static_cast<std::uint8_t>(type))) {
    core::throw_error(core::format("VarNew: variable type %d is not a type", {type}));
  }
  if (scope > static_cast<int>(expr::TVarScope::Status)) {
    core::throw_error(core::format("VarNew: variable scope %d is not a scope", {scope}));
  }
  expr::TNovaParser& init = expression(2).parser();
  if (!expr::var_new(cm.store(), cm.funcs(), text(0), static_cast<expr::TParamType>(type),
                     static_cast<expr::TVarScope>(scope), init)) {
    cm.ReportExpressionError(init.last_error());
  }
}

void TComVarDel::Execute(TCallMan& cm, TPage&, std::int32_t) {
  cm.Advance();
  cm.store().remove(text(0));
}

// --- Restarts and the end -----------------------------------------------------------

void TComPCReset::Execute(TCallMan& cm, TPage&, std::int32_t) { cm.ResetTo(text(0), number(1), number(2) != 0); }

void TComReset::Execute(TCallMan& cm, TPage&, std::int32_t) {
  // The title's data is reset before the interpreter restarts, so the page
  // that starts finds only the status data. The call stack's variables are
  // gone with the store's reset; StartAt drops the frames themselves.
  const std::string page = text(0);
  const std::int32_t index = number(1);
  cm.host().ResetTitle(name());
  cm.StartAt(page);
  cm.SetPosition(index);
}

void TComTerminate::Execute(TCallMan& cm, TPage&, std::int32_t) { cm.Terminate(); }

// Both only ask: the project performs them after the tick. The position
// moves on first, so a saved game goes on just after its GameSave.
void TComGameSave::Execute(TCallMan& cm, TPage&, std::int32_t) {
  cm.Advance();
  GameSaveRequest request;
  request.slot = expression(0).int_or(cm, 0);
  request.after_load_page = text(1);
  request.after_load_index = number(2);
  request.caption = expression(3).str_or(cm, "");
  cm.host().RequestGameSave(std::move(request));
}

void TComGameLoad::Execute(TCallMan& cm, TPage&, std::int32_t) {
  cm.Advance();
  cm.host().RequestGameLoad(expression(0).int_or(cm, 0));
}

}  // namespace nova::script
