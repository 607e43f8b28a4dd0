// The component commands: they read their property expressions and fields
// whole, keep their saved states, and raise until the component system
// exists.
#include "script/callman.h"
#include "script/commands.h"

namespace nova::script {

// --- Property expressions ---------------------------------------------------------

void TComComponent::Execute(TCallMan&, TPage&, std::int32_t) { throw_not_built(*this, "components are"); }

TExpression* TComComponent::slot(int id) {
  for (TPropertyExpression& p : mutable_record().properties) {
    if (p.id == id) return &p.expression;
  }
  return nullptr;
}

std::int32_t TComComponent::read_int(TCallMan& cm, int id, std::int32_t fallback) {
  TExpression* e = slot(id);
  return e ? e->int_or(cm.store(), cm.funcs(), fallback) : fallback;
}

long double TComComponent::read_float(TCallMan& cm, int id, long double fallback) {
  TExpression* e = slot(id);
  return e ? e->float_or(cm.store(), cm.funcs(), fallback) : fallback;
}

bool TComComponent::read_flag(TCallMan& cm, int id, bool fallback) {
  TExpression* e = slot(id);
  return e ? e->flag_or(cm.store(), cm.funcs(), fallback) : fallback;
}

std::string TComComponent::read_text(TCallMan& cm, int id, std::string_view fallback) {
  TExpression* e = slot(id);
  return e ? e->text_or(cm.store(), cm.funcs(), fallback) : std::string(fallback);
}

// --- Flip ---------------------------------------------------------------------------

// Nothing of a transition is evaluated before it can run: its expressions
// may have effects, and the command is retried at every tick.
void TComFlip::Start(TCallMan&) { throw_not_built(*this, "screen transitions are"); }
void TComFlip::Execute(TCallMan&, TPage&, std::int32_t) { throw_not_built(*this, "screen transitions are"); }
void TComFlip::Finish(TCallMan&) { throw_not_built(*this, "screen transitions are"); }

void TComFlip::SaveState(core::ByteWriter& w) const {
  write_state_header(w);
  w.u8(m_uninterruptible ? 1 : 0);
  w.u8(m_clear_back ? 1 : 0);
}

void TComFlip::LoadState(core::ByteReader& r) {
  if (read_state_header(r) >= 100) {
    bool uninterruptible = r.u8() != 0;
    m_clear_back = r.u8() != 0;
    m_uninterruptible = uninterruptible;
  }
}

// --- MovieStop and TextIns -------------------------------------------------------

void TComWaitOn::Start(TCallMan&) { throw_not_built(*this, "components are"); }
void TComWaitOn::Execute(TCallMan&, TPage&, std::int32_t) { throw_not_built(*this, "components are"); }

void TComWaitOn::SaveState(core::ByteWriter& w) const {
  write_state_header(w);
  w.str(m_target);
  w.u8(m_waiting ? 1 : 0);
  w.u8(m_uninterruptible ? 1 : 0);
}

void TComWaitOn::LoadState(core::ByteReader& r) {
  const int version = read_state_header(r);
  std::string target = r.str();
  bool waiting = r.u8() != 0;
  if (version >= 100) m_uninterruptible = r.u8() != 0;
  m_target = std::move(target);
  m_waiting = waiting;
}

}  // namespace nova::script
