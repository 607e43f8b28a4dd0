// What the interpreter needs from the project around it: making a page file
// available (with the disc prompt of multi-disc titles), whether a file
// exists, reading it, the fatal message box, closing the player, and the
// Reset command's restart of the title's data.
// TProject implements it for the player; tests implement it over pages held
// in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"

namespace nova::script {

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
};

inline void ScriptHost::ResetTitle(std::string_view command) {
  throw core::Error(std::string(command) + ": this host holds no title data to reset");
}

}  // namespace nova::script
