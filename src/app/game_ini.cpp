#include "app/game_ini.h"

#include <algorithm>

#include "platform/ini_file.h"

namespace nova::app {

std::filesystem::path game_ini_path(const std::filesystem::path& exe_folder) { return exe_folder / "game.ini"; }

GameSettings read_game_settings(const std::filesystem::path& exe_folder) {
  GameSettings s;
  // A missing file reads as an empty one: every value its default.
  platform::IniFile ini(game_ini_path(exe_folder));
  s.direct_sound = ini.read_bool("Sound", "DirectSound", true);
  s.delay_time = std::clamp(ini.read_int("Sound", "DelayTime", s.delay_time) / 100 * 100, 100, 500);
  s.use_wmp = ini.read_bool("Video", "UseWMP", s.use_wmp);
  return s;
}

}  // namespace nova::app
