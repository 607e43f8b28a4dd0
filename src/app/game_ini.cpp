#include "app/game_ini.h"

#include <algorithm>

#include "app/lock_name.h"
#include "platform/ini_file.h"
#include "script/save_file.h"

namespace nova::app {

GameIniPlaces game_ini_places(const std::filesystem::path& exe_folder, const platform::System& system) {
  GameIniPlaces p;
  p.beside = exe_folder / "game.ini";
  // The lock name of the folder, kept to a file name's length as the lock
  // file's is.
  std::string folder = platform::InstanceLock::file_name_for(instance_lock_name(exe_folder.string() + "/"));
  folder.erase(0, std::string_view("novaplayer-lock").size());
  p.per_user = system.user_config_folder() / folder / "game.ini";
  std::error_code ec;
  const bool per_user_exists = std::filesystem::is_regular_file(p.per_user, ec);
  const script::SavePathInputs programs;
  const bool beside_allowed =
      !script::is_program_files_folder(exe_folder, programs.program_folders) && system.folder_writable(exe_folder);
  p.write = per_user_exists || !beside_allowed ? p.per_user : p.beside;
  p.read = per_user_exists ? p.per_user : p.beside;
  return p;
}

GameSettings read_game_settings(const std::filesystem::path& file) {
  GameSettings s;
  // A missing file reads as an empty one: every value its default.
  platform::IniFile ini(file);
  s.direct_sound = ini.read_bool("Sound", "DirectSound", true);
  s.delay_time = std::clamp(ini.read_int("Sound", "DelayTime", s.delay_time) / 100 * 100, 100, 500);
  s.use_wmp = ini.read_bool("Video", "UseWMP", s.use_wmp);
  return s;
}

}  // namespace nova::app
