// What the interpreter needs from the project around it: making a page file
// available (with the disc prompt of multi-disc titles), whether a file
// exists, reading it, the fatal message box, closing the player, the
// Reset command's restart of the title's data, and taking the requests of
// game saves and loads (performed after the tick, when no command is
// half-way through its work).
// TProject implements it for the player; tests implement it over pages held
// in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"

namespace nova::script {

// A GameSave request: the slot, the caption (empty: nothing is saved) and
// where the script goes on after this save is loaded (no page: it goes on
// just after the GameSave).
struct GameSaveRequest {
  std::int32_t slot = 0;
  std::string caption;
  std::string after_load_page;
  std::int32_t after_load_index = 0;
};

class ScriptHost {
 public:
  virtual ~ScriptHost() = default;

  // True when the file exists or was made available (a disc inserted).
  virtual bool EnsureFile(std::string_view name) = 0;
  // True when the title's files hold the name now; never asks for a disc.
  virtual bool Exists(std::string_view name) = 0;
  // The file's bytes; raises "%s:ファイルがありません" when nothing holds it.
  virtual std::vector<std::uint8_t> ReadFile(std::string_view name) = 0;
  // A warning box (warning icon, OK) of a condition that ends the player.
  virtual void ShowFatal(std::string_view caption, std::string_view text) = 0;
  // Posts a close request to the main window.
  virtual void RequestClose() = 0;
  // The Reset command's part outside the interpreter: every component goes,
  // the store keeps only its status variables, every game table goes and no
  // table is active, and the history holds one empty default format. A host
  // without that data raises core::Error naming `command`.
  virtual void ResetTitle(std::string_view command);
  // GameSave and GameLoad: the request replaces one of its kind made
  // earlier in the same tick.
  virtual void RequestGameSave(GameSaveRequest request) = 0;
  virtual void RequestGameLoad(std::int32_t slot) = 0;
};

inline void ScriptHost::ResetTitle(std::string_view command) {
  throw core::Error(std::string(command) + ": this host holds no title data to reset");
}

}  // namespace nova::script
