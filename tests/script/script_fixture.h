// Helpers of the script tests: records built by field name with
// expressions compiled from text, pages written by the project's own
// writers, a ScriptHost over pages in memory, and an interpreter with its
// store, functions, event queue and trace.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "components/events.h"
#include "core/frame_clock.h"
#include "core/log.h"
#include "expr/param_collection.h"
#include "expr/sys_func_man.h"
#include "script/callman.h"
#include "script/command_record.h"
#include "script/page_file.h"
#include "script/script_host.h"
#include "script/script_variables.h"
#include "support/test_support.h"

namespace nova::script::testing {

using components::ListEventQueue;

// A command record under construction. Texts are UTF-8 and become
// Shift-JIS.
class Cmd {
 public:
  explicit Cmd(std::string_view command_name);

  Cmd& e(std::string_view field, std::string_view expression);
  Cmd& s(std::string_view field, std::string_view text);
  Cmd& i(std::string_view field, std::int32_t value);
  Cmd& list(std::string_view field, std::initializer_list<std::string_view> expressions);
  Cmd& prop(int id, std::string_view expression);
  // Continue flag 1: the next command runs in the same tick.
  Cmd& go(bool on = true);
  Cmd& skip(bool on = true);
  Cmd& level(std::int32_t n);
  Cmd& line(std::int32_t n);

  const TCommandRecord& record() const { return m_record; }
  operator TCommandRecord() const { return m_record; }  // NOLINT: builders read as records

 private:
  TCommandRecord m_record;
};

// The commands as a page file's bytes; line numbers that are 0 become the
// command's index + 1, and the property table is the one they need.
std::vector<std::uint8_t> page_bytes(const std::vector<TCommandRecord>& commands, std::int32_t version = 104,
                                     std::uint8_t return_type = 1);

// The status variables a save file holds, read into a new store; nullptr
// when it has no status record.
std::unique_ptr<expr::TParamCollection> saved_status(const std::filesystem::path& save_file);

// Pages and files by exact name.
class MemoryHost final : public ScriptHost {
 public:
  bool EnsureFile(std::string_view name) override {
    ++ensure_calls;
    return files.count(std::string(name)) > 0;
  }
  bool Exists(std::string_view name) override { return files.count(std::string(name)) > 0; }
  std::vector<std::uint8_t> ReadFile(std::string_view name) override;
  void ShowFatal(std::string_view caption, std::string_view text) override {
    fatal.push_back(std::string(caption) + "|" + std::string(text));
  }
  void RequestClose() override { ++close_requests; }
  void RequestGameSave(GameSaveRequest request) override { saves.push_back(std::move(request)); }
  void RequestGameLoad(std::int32_t slot) override { loads.push_back(slot); }

  std::map<std::string, std::vector<std::uint8_t>> files;
  std::vector<GameSaveRequest> saves;
  std::vector<std::int32_t> loads;
  std::vector<std::string> fatal;
  int close_requests = 0;
  int ensure_calls = 0;
};

// Collects the Script channel's messages at every level.
class ScriptLog {
 public:
  ScriptLog();
  ~ScriptLog();
  // Messages containing the text (at `level` only, when given).
  int count(std::string_view text, std::optional<core::Level> level = std::nullopt) const;
  std::vector<std::string> lines;
  std::vector<core::Level> levels;  // of each line

 private:
  std::unique_ptr<core::LogSink> m_sink;
};

class InterpreterTest : public ::testing::Test {
 protected:
  InterpreterTest();
  ~InterpreterTest() override;

  // Stores a page under its name.
  void page(const std::string& name, const std::vector<TCommandRecord>& commands, std::int32_t version = 104,
            std::uint8_t return_type = 1);
  // Runs ticks at 15 ms each.
  void tick(int n = 1);
  // Variables.
  expr::TParamCollectionItem& var(std::string_view name, expr::TParamType type = expr::PT_INT);
  std::int32_t ivalue(std::string_view name);
  std::string svalue(std::string_view name);
  // The traced lines that contain the text.
  int traced(std::string_view text) const;
  std::int32_t position() const { return cm->Position(); }
  std::string current() const { return cm->CurrentPage() ? cm->CurrentPage()->name() : std::string(); }

  core::FrameClock clock;
  expr::TParamCollection store;
  expr::TSysFuncMan funcs;
  MemoryHost host;
  ListEventQueue events;
  std::unique_ptr<TCallMan> cm;
  std::unique_ptr<TInterpreterVariables> variables;
  std::vector<std::string> trace;
};

}  // namespace nova::script::testing
