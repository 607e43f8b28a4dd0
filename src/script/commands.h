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
// What components, the message history, read marks, DB tables and game
// saves do is not part of this build: the commands that need them (every
// component command, GameSave, GameLoad, ClrHist, ClrRead, Reset) raise an
// error naming themselves when they run, which the interpreter logs and
// retries at the next tick. They still read their records whole, so every
// page loads, and their saved states are read and written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/command.h"

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

class TComClrHist final : public TCoded<22> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

class TComClrRead final : public TCoded<47> {
 public:
  using TCoded::TCoded;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

// --- Component commands -------------------------------------------------------

// The holder of property expressions: one optional slot per property id,
// present exactly when the page's property set for the code has it.
class TComComponent : public TCommand {
 public:
  using TCommand::TCommand;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
};

class TComControl : public TComComponent {
 public:
  using TComComponent::TComComponent;
};

class TComCabinet : public TComComponent {
 public:
  using TComComponent::TComComponent;
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

// The component commands without property expressions (GetProp, SetProp,
// ObjDel, MenuClose, TextClr, CallHist, MediaPlay, PropMotion, FormatHist).
template <std::uint8_t Code>
class TComOnComponent final : public TCoded<Code> {
 public:
  using TCoded<Code>::TCoded;
  void Execute(TCallMan&, TPage&, std::int32_t) override { throw_not_built(*this, "components are"); }
};

// The screen transition; its run-time state is what a game save keeps.
class TComFlip final : public TCoded<CC_FLIP> {
 public:
  using TCoded::TCoded;
  void Start(TCallMan& cm) override;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
  void Finish(TCallMan& cm) override;
  // Nested events would run during a flip's wait, and that wait (a positive
  // duration) comes with the transition itself, which is not built yet.
  bool Yields() const override { return false; }
  bool IsUninterruptible() const override { return m_uninterruptible; }
  // "nova100", uninterruptible, clear back (bytes).
  void SaveState(core::ByteWriter& w) const override;
  void LoadState(core::ByteReader& r) override;

 private:
  bool m_uninterruptible = false;
  bool m_clear_back = false;
};

// MovieStop and TextIns wait on a component; a game save keeps the
// component's name and the flags.
class TComWaitOn : public TCommand {
 public:
  using TCommand::TCommand;
  void Start(TCallMan& cm) override;
  void Execute(TCallMan& cm, TPage& page, std::int32_t index) override;
  bool Yields() const override { return m_waiting; }
  bool IsUninterruptible() const override { return m_uninterruptible; }
  // "nova100", target name (string), waiting, uninterruptible (bytes).
  void SaveState(core::ByteWriter& w) const override;
  void LoadState(core::ByteReader& r) override;

 private:
  std::string m_target;
  bool m_waiting = false;
  bool m_uninterruptible = false;
};

class TComTextIns final : public TCoded<CC_TEXTINS, TComWaitOn> {
 public:
  using TCoded::TCoded;
};
class TComMovieStop final : public TCoded<CC_MOVIESTOP, TComWaitOn> {
 public:
  using TCoded::TCoded;
};

}  // namespace nova::script
