// The command classes, one per code, in the system's class tree:
//
//   TCommand
//   ├─ TComIf ─ TComElseif           TComElse
//   ├─ TComLabel ─ TComComment       TComJump, TComCall, TComWait
//   ├─ TComExit ─ TComBreak, TComContinue
//   ├─ TComRuntime ─ TComWhileInit ─ TComWhileLoop
//   ├─ TComPCReset ─ TComReset
//   ├─ TComComponent ─ TComTimer, TComSound, TComControl (every command that
//   │                  creates a visible component), TComCabinet ─ Save, Load
//   └─ every other command directly
//
// Each class reads its fields from its record by the positions of the
// command table (command_table.h).
//
// Commands whose subsystems are not part of this build (property motions
// and cabinets: PropMotion, SaveCabinet, LoadCabinet), and creating
// commands whose class
// the factory lacks, raise an error naming themselves; the interpreter logs it and retries
// at the next tick. They still read their records whole, so every page
// loads, and their saved states are read and written. The component
// commands need the base list (TCallMan::base_list); without one they raise
// "<command>: no component system is running".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "components/component_types.h"
#include "components/events.h"
#include "script/command.h"

namespace nova::components {
class TNovaBaseList;
class TNovaObject;
}

namespace nova::script {

// A class that answers its own code.
template <std::uint8_t Code, typename Base = TCommand>
class TCoded : public Base {
 public:
  using Base::Base;
  int GetCode() const override { return Code; }
};

// Raises "<command>: <what> not built yet" for a command whose effect
// belongs to a subsystem this build does not have.
[[noreturn]] void throw_not_built(const TCommand& command, std::string_view what);

// --- Conditions and blocks --------------------------------------------------

class TComIf : public TCoded<CC_IF> {
 public:
  using TCoded::TCoded;
  // When the condition is false, scans to the next branch of the chain.
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;

 protected:
  bool condition(TCallMan& cm);
  // Reached by execution after a block ran: passes over the branch's block.
  void skip_block(TCallMan& cm, std::int32_t index) const;
};

class TComElseif final : public TComIf {
 public:
  using TComIf::TComIf;
  int GetCode() const override { return CC_ELSEIF; }
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
  // The condition, for the scan of an If whose condition was false.
  bool holds(TCallMan& cm) { return condition(cm); }
};

class TComElse final : public TCoded<CC_ELSE> {
 public:
  using TCoded::TCoded;
  bool ContinuesTick() const override { return true; }
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

// --- Labels and jumps -------------------------------------------------------

class TComLabel : public TCoded<CC_LABEL> {
 public:
  using TCoded::TCoded;
  bool IsLabel(std::string_view name) const override { return text(0) == name; }
};

class TComComment final : public TComLabel {
 public:
  using TComLabel::TComLabel;
  int GetCode() const override { return CC_COMMENT; }
  bool IsSkipped() const override { return true; }
  bool ContinuesTick() const override { return false; }
  // A comment's text is not a label name, whatever it says.
  bool IsLabel(std::string_view) const override { return false; }
};

class TComJump final : public TCoded<CC_JUMP> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

class TComCall final : public TCoded<CC_CALL> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

class TComExit : public TCoded<CC_EXIT> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;

 protected:
  // Goes to the stored index, or ends the page for a negative one.
  void go_to(TCallMan& cm) const;
};

class TComBreak final : public TComExit {
 public:
  using TComExit::TComExit;
  int GetCode() const override { return CC_BREAK; }
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

class TComContinue final : public TComExit {
 public:
  using TComExit::TComExit;
  int GetCode() const override { return CC_CONTINUE; }
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

// --- Waiting ------------------------------------------------------------------

class TComWait final : public TCoded<CC_WAIT> {
 public:
  using TCoded::TCoded;
  void Start(TCallMan& cm) override;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
  bool Yields() const override { return true; }
  bool IsUninterruptible() const override { return m_uninterruptible; }
  // "nova100", remaining time, first-run mark (int32 each), flag (byte).
  void SaveState(core::ByteWriter& w) const override;
  void LoadState(core::ByteReader& r) override;

  std::int32_t remaining() const { return m_remaining; }

 private:
  std::int32_t m_remaining = 0;
  std::int32_t m_first_run = 0;
  bool m_uninterruptible = false;
};

class TComDoEvent final : public TCoded<CC_DOEVENT> {
 public:
  using TCoded::TCoded;
  bool ContinuesTick() const override { return false; }
  bool Yields() const override { return true; }
};

// --- Loops --------------------------------------------------------------------

class TComWhile final : public TCoded<CC_WHILE> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

// A command that runs one expression.
class TComRuntime : public TCommand {
 public:
  using TCommand::TCommand;

 protected:
  void run_expression(TCallMan& cm);
};

class TComWhileInit : public TComRuntime {
 public:
  using TComRuntime::TComRuntime;
  int GetCode() const override { return CC_WHILEINIT; }
  bool ContinuesTick() const override { return true; }
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

class TComWhileLoop final : public TComWhileInit {
 public:
  using TComWhileInit::TComWhileInit;
  int GetCode() const override { return CC_WHILELOOP; }
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

// --- Variables ----------------------------------------------------------------

class TComCalc final : public TCoded<CC_CALC> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

class TComVarNew final : public TCoded<CC_VARNEW> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

class TComVarDel final : public TCoded<CC_VARDEL> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

// --- Restarting and ending ----------------------------------------------------

class TComPCReset : public TCoded<CC_PCRESET> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

class TComReset final : public TComPCReset {
 public:
  using TComPCReset::TComPCReset;
  int GetCode() const override { return CC_RESET; }
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

class TComTerminate final : public TCoded<CC_TERMINATE> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

// --- Saves, history, read marks -------------------------------------------------

class TComGameSave final : public TCoded<CC_GAMESAVE> {
 public:
  using TCoded::TCoded;
  bool ContinuesTick() const override { return false; }
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

class TComGameLoad final : public TCoded<CC_GAMELOAD> {
 public:
  using TCoded::TCoded;
  bool ContinuesTick() const override { return false; }
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

// Empties every history format's history; the formats stay.
class TComClrHist final : public TCoded<22> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

// Forgets every read mark and the pending one.
class TComClrRead final : public TCoded<47> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

// --- Component commands -------------------------------------------------------

// The holder of property expressions: one optional slot per property id,
// present exactly when the page's property set for the code has it.
//
// Execute is the creating path of every code of the class table: the
// factory of the base list makes the class of the code's LT_* type, the
// present properties are written in the creation order, then the component
// is invalidated and, for media and menus, started. A type the factory
// cannot make raises "<command>: <class> is not built yet" before anything
// runs; an error after the component exists schedules its deletion and is
// raised again with the property named, so that a retried command never
// leaves more than one half-made component behind.
class TComComponent : public TCommand {
 public:
  using TCommand::TCommand;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;

 protected:
  // The expression of a property, or nullptr when the property set lacks it.
  TExpression* property_expression(int id);
};

class TComControl : public TComComponent {
 public:
  using TComComponent::TComComponent;
};

// SaveCabinet and LoadCabinet: cabinets are not built yet.
class TComCabinet : public TComComponent {
 public:
  using TComComponent::TComComponent;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

class TComTimer final : public TCoded<11, TComComponent> {
 public:
  using TCoded::TCoded;
};
class TComSound final : public TCoded<42, TComComponent> {
 public:
  using TCoded::TCoded;
};
class TComCabinetSave final : public TCoded<CC_SAVECABINET, TComCabinet> {
 public:
  using TCoded::TCoded;
};
class TComCabinetLoad final : public TCoded<CC_LOADCABINET, TComCabinet> {
 public:
  using TCoded::TCoded;
};

// The commands that create a visible component.
template <std::uint8_t Code>
class TComCreator final : public TCoded<Code, TComControl> {
 public:
  using TCoded<Code, TComControl>::TCoded;
};
using TComBoxNew = TComCreator<8>;
using TComImgNew = TComCreator<9>;
using TComMesNew = TComCreator<10>;
using TComMovie = TComCreator<12>;
using TComCinema = TComCreator<23>;
using TComCaption = TComCreator<24>;
using TComMenu = TComCreator<25>;
using TComBtnNew = TComCreator<30>;
using TComParticleNew = TComCreator<36>;
using TComFireNew = TComCreator<37>;
using TComEditNew = TComCreator<43>;
using TComMemoNew = TComCreator<44>;
using TComMapImgNew = TComCreator<48>;
using TComWaveNew = TComCreator<49>;
using TComTileNew = TComCreator<50>;
using TComSliderNew = TComCreator<51>;
using TComScrollbarNew = TComCreator<52>;
using TComGaugeNew = TComCreator<53>;
using TComCGCaption = TComCreator<54>;
using TComPrevMenuNew = TComCreator<56>;

// The base list the component commands drive; raises "<command>: no
// component system is running" without one.
components::TNovaBaseList& component_list(TCallMan& cm, const TCommand& command);

// The type a creating command's code makes (BoxNew: LT_BOX ...); nullopt
// for the other codes.
std::optional<components::TComponentType> created_type(int code);

// The component commands that act once and move on; each code's Execute
// is its own (commands_component.cpp).
template <std::uint8_t Code>
class TComOnComponent final : public TCoded<Code> {
 public:
  using TCoded<Code>::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};
template <>
void TComOnComponent<17>::Execute(TCallMan& cm, TPage& page, std::int32_t index);
template <>
void TComOnComponent<18>::Execute(TCallMan& cm, TPage& page, std::int32_t index);
template <>
void TComOnComponent<19>::Execute(TCallMan& cm, TPage& page, std::int32_t index);
template <>
void TComOnComponent<26>::Execute(TCallMan& cm, TPage& page, std::int32_t index);
template <>
void TComOnComponent<55>::Execute(TCallMan& cm, TPage& page, std::int32_t index);
template <>
void TComOnComponent<57>::Execute(TCallMan& cm, TPage& page, std::int32_t index);
// The property into the variable of the stored name.
using TComGetProp = TComOnComponent<17>;
// The value into the property.
using TComSetProp = TComOnComponent<18>;
// Schedules the named component's deletion.
using TComObjDel = TComOnComponent<19>;
// Play control LP_STOPFADE.
using TComMenuClose = TComOnComponent<26>;
// Restarts the component's medium (RestartMotion).
using TComMediaPlay = TComOnComponent<55>;
// Property motions are not built yet.
using TComPropMotion = TComOnComponent<57>;

// The text commands without a wait act once on a message box, in the same
// way (their Execute is in commands_text.cpp).
template <>
void TComOnComponent<28>::Execute(TCallMan& cm, TPage& page, std::int32_t index);
template <>
void TComOnComponent<29>::Execute(TCallMan& cm, TPage& page, std::int32_t index);
template <>
void TComOnComponent<58>::Execute(TCallMan& cm, TPage& page, std::int32_t index);
// The message box a name finds: read-mark mode 0, its text emptied (which
// ends a TextIns waiting on it).
using TComTextClr = TComOnComponent<28>;
// Shows a format's entries, or its pixels in laid-out mode, in a message
// box: the range cut to what the format holds (an empty one does
// nothing), the box showing it (TNovaMes::ShowHistory).
using TComCallHist = TComOnComponent<29>;
// A format, made when missing, takes a component's six settings as GetProp
// reads them (font height, border, shadow, width, height, line spacing),
// or all 0 when no component has the name.
using TComFormatHist = TComOnComponent<58>;

// The screen transition (commands_flip.cpp). Start prepares it (snapshot
// and moves between the bases in surface mode, then the transition made
// by the base list and started); Execute stays for two steps, then drives
// the transition's time by the frame clock until its duration, and
// completes the flip: the other base becomes the front one, the snapshot
// goes, and with clear back the children of the base now at the back go.
// Finish (a full PCReset) completes it too, cabinets included.
class TComFlip final : public TCoded<CC_FLIP> {
 public:
  using TCoded::TCoded;
  void Start(TCallMan& cm) override;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
  void Finish(TCallMan& cm) override;
  // Whenever a transition was asked for, so that a handler's flip lets
  // nested events run while it lasts.
  bool Yields() const override { return m_phase != kNoTransition; }
  bool IsUninterruptible() const override { return m_uninterruptible; }
  // "nova100", uninterruptible, clear back (bytes). Reading one leaves the
  // flip at phase 2: its next Execute goes on with the transition the base
  // list still runs (an event handler came between), or completes the
  // flip when none runs (a game was loaded).
  void SaveState(core::ByteWriter& w) const override;
  void LoadState(core::ByteReader& r) override;

  // Phases: 0 and 1 are the two steps before the clock starts, 2 runs the
  // transition, 3 (no transition asked for) completes at the next step.
  static constexpr int kNoTransition = 3;
  int phase() const { return m_phase; }

 private:
  // Makes the other base the front one, deletes the snapshot and, with
  // clear back, the children of the base now at the back (cabinets only
  // when `cabinets_too`).
  void complete(TCallMan& cm, bool cabinets_too);

  int m_phase = 0;
  std::int32_t m_start_time = 0;
  // LoadState ran: the next Execute takes the time of the running
  // transition, if any.
  bool m_resumed = false;
  bool m_uninterruptible = false;
  bool m_clear_back = false;
};

// MovieStop and TextIns wait on a component. The target is held by handle,
// so the wait lasts until that very component is destroyed, whatever it is
// renamed to; a game save keeps its current name, which is looked up once,
// at the next Execute after the state is read.
class TComWaitOn : public TCommand {
 public:
  using TCommand::TCommand;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
  bool Yields() const override { return m_waiting; }
  bool IsUninterruptible() const override { return m_uninterruptible; }
  // "nova100", target name (string; empty when gone), waiting,
  // uninterruptible (bytes).
  void SaveState(core::ByteWriter& w) const override;
  void LoadState(core::ByteReader& r) override;

  components::ComponentId target() const { return m_target; }
  bool waiting() const { return m_waiting; }

 protected:
  // Whether a component that a saved name finds is one this command waits
  // on.
  virtual bool accepts(const components::TNovaObject&) const { return true; }
  // Whether the existing target still holds the command.
  virtual bool holds(const components::TNovaObject&) const { return true; }
  void set_target(const components::TNovaBaseList& list, components::ComponentId id);
  void set_waiting(bool on) { m_waiting = on; }
  void set_uninterruptible(bool on) { m_uninterruptible = on; }

 private:
  const components::TNovaBaseList* m_list = nullptr;
  components::ComponentId m_target;
  // A name read from a saved state, looked up at the next Execute.
  std::optional<std::string> m_pending_name;
  bool m_waiting = false;
  bool m_uninterruptible = false;
};

// TextIns: the message box a name finds shows the text stored in this
// command, which it reads back by (page name, command index); nothing is
// parsed here. With the history expression true the box takes part in read
// marks and the history under this page's name and this command's index.
// The wait lasts while the box has pages: a handler's TextClr or the box's
// deletion ends it, a fully revealed text does not. A name that finds no
// message box skips everything, does not wait and logs a warning.
class TComTextIns final : public TCoded<CC_TEXTINS, TComWaitOn> {
 public:
  using TCoded::TCoded;
  void Start(TCallMan& cm) override;

 protected:
  bool accepts(const components::TNovaObject& o) const override;
  bool holds(const components::TNovaObject& o) const override;
};

// MovieStop: stops a medium (with a fade, waiting for its end when asked),
// or deletes it at once.
class TComMovieStop final : public TCoded<CC_MOVIESTOP, TComWaitOn> {
 public:
  using TCoded::TCoded;
  void Start(TCallMan& cm) override;
};

}  // namespace nova::script
