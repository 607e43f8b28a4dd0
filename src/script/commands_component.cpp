// The component commands: they read their property expressions and fields
// whole, keep their saved states, and raise until the component system
// exists.
#include "script/callman.h"
#include "script/commands.h"

namespace nova::script {

// --- Components ----------------------------------------------------------------------

void TComComponent::Execute(TCallMan&, TPage&, std::int32_t) { throw_not_built(*this, "components are"); }

// --- Flip ---------------------------------------------------------------------------

// Nothing of a transition is evaluated before it can run: its expressions
// may have effects, and the command is retried at every tick.
void TComFlip::Start(TCallMan&) { throw_not_built(*this, "screen transitions are"); }
void TComFlip::Execute(TCallMan&, TPage&, std::int32_t) { throw_not_built(*this, "screen transitions are"); }
void TComFlip::Finish(TCallMan&) { throw_not_built(*this, "screen transitions are"); }

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
}

// --- MovieStop and TextIns -------------------------------------------------------

void TComWaitOn::Start(TCallMan&) { throw_not_built(*this, "components are"); }
void TComWaitOn::Execute(TCallMan&, TPage&, std::int32_t) { throw_not_built(*this, "components are"); }

void TComWaitOn::SaveState(core::ByteWriter& w) const {
  write_state_header(w);
  w.str(m_target);
  w.boolean(m_waiting);
  w.boolean(m_uninterruptible);
}

void TComWaitOn::LoadState(core::ByteReader& r) {
  const int version = read_state_header(r);
  std::string target = r.str();
  bool waiting = r.boolean();
  if (version >= 100) m_uninterruptible = r.boolean();
  m_target = std::move(target);
  m_waiting = waiting;
}

}  // namespace nova::script
