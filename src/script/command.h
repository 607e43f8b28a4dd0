// TCommand, the base of every command, and TComList, the commands of a page.
//
// A command is built from its stored record (command_record.h) and keeps
// it: the fields are read through the record, and writing the command back
// writes the record. Its virtual operations are the system's slots, in slot
// order; the interpreter (callman.h) calls Start once when it reaches a
// command, then Execute on every step until the command moves the position,
// and SaveState / LoadState when a game save or an event handler interrupts
// a started command. Run-time fields of a command (remaining wait time,
// waiting flags) live in the command object of the cached page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"
#include "script/command_record.h"

namespace nova::script {

class TCallMan;
class TPage;
class TComList;

class TCommand {
 public:
  TCommand(TComList& list, TCommandRecord record) : m_list(list), m_record(std::move(record)) {}
  virtual ~TCommand() = default;
  TCommand(const TCommand&) = delete;
  TCommand& operator=(const TCommand&) = delete;

  virtual int GetCode() const { return 8; }
  // After this command, whether the next one runs in the same tick.
  virtual bool ContinuesTick() const { return m_record.continue_flag != 0; }
  virtual bool IsSkipped() const { return m_record.skip_flag != 0; }
  virtual void SetSkipped(bool flag) { m_record.skip_flag = flag ? 1 : 0; }
  // While started, events wait (they stay pending).
  virtual bool IsUninterruptible() const { return false; }
  virtual bool IsLabel(std::string_view /*name*/) const { return false; }
  virtual void Start(TCallMan& /*cm*/) {}
  // Runs the command at `index` of `page`, which is the interpreter's
  // current page and position; the base advances the position.
  virtual void Execute(TCallMan& cm, TPage& page, std::int32_t index);
  virtual void SaveState(core::ByteWriter& /*w*/) const {}
  virtual void LoadState(core::ByteReader& /*r*/) {}
  virtual void Finish(TCallMan& /*cm*/) {}
  // The command lets nested events run while it waits.
  virtual bool Yields() const { return false; }

  const TCommandRecord& record() const { return m_record; }
  std::int32_t nesting_level() const { return m_record.nesting_level; }
  std::int32_t line_number() const { return m_record.line_number; }
  TComList& list() const { return m_list; }
  // The command's name in the command table ("Wait", "BoxNew" ...).
  std::string_view name() const { return m_record.spec().name; }

 protected:
  TCommandField& field(std::size_t i) { return m_record.fields[i]; }
  const TCommandField& field(std::size_t i) const { return m_record.fields[i]; }
  TExpression& expression(std::size_t i) { return m_record.fields[i].expression; }
  const std::string& text(std::size_t i) const { return m_record.fields[i].bytes; }
  std::int32_t number(std::size_t i) const { return m_record.fields[i].number; }
  TCommandRecord& mutable_record() { return m_record; }

 private:
  TComList& m_list;
  TCommandRecord m_record;
};

// The commands of one page, owned.
class TComList {
 public:
  explicit TComList(TPage& page) : m_page(page) {}
  TComList(const TComList&) = delete;
  TComList& operator=(const TComList&) = delete;

  TPage& page() const { return m_page; }
  std::int32_t count() const { return static_cast<std::int32_t>(m_items.size()); }
  bool contains(std::int32_t index) const { return index >= 0 && index < count(); }
  TCommand& at(std::int32_t index) const { return *m_items[static_cast<std::size_t>(index)]; }
  void add(std::unique_ptr<TCommand> command) { m_items.push_back(std::move(command)); }
  void clear() { m_items.clear(); }

 private:
  TPage& m_page;
  std::vector<std::unique_ptr<TCommand>> m_items;
};

// The factory: a new command of the record's code, of its class. Raises
// "不正なコマンド" for a code above 60.
std::unique_ptr<TCommand> make_command(TComList& list, TCommandRecord record);

// Saved command states begin with "nova" and three digits.
void write_state_header(core::ByteWriter& w, int version = 100);
// The header's number when the next four bytes are "nova" (the reader then
// stands after the seven bytes); otherwise 0 with the reader left where it
// was. Raises core::Error when the digits are not digits.
int read_state_header(core::ByteReader& r);

}  // namespace nova::script
