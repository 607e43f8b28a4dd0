// What the interpreter needs from the project around it: making a page file
// available (with the disc prompt of multi-disc titles), whether a file
// exists, reading it, the fatal message box, and closing the player.
// TProject implements it for the player; tests implement it over pages held
// in memory.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

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
};

}  // namespace nova::script
