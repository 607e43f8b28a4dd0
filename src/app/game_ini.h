// "game.ini": the sound and video settings the settings dialog writes and
// the main window reads.
//
// Where it lies follows the rule of the save file: beside the executable
// when that folder takes files and is no program folder (/usr, /opt, /snap);
// else in the per-user configuration folder, in a folder named after the
// executable's folder as the instance lock is ($XDG_CONFIG_HOME/novaplayer/
// -OPT-GAMES-TITLE-/game.ini). The player reads the per-user copy when it
// exists, else the one beside the executable.
#pragma once

#include <filesystem>

#include "platform/system.h"

namespace nova::app {

struct GameSettings {
  bool direct_sound = true;  // Sound/DirectSound
  int delay_time = 500;      // Sound/DelayTime, ms: 100..500 in steps of 100
  bool use_wmp = false;      // Video/UseWMP
};

struct GameIniPlaces {
  std::filesystem::path beside;    // beside the executable
  std::filesystem::path per_user;  // in the per-user configuration folder
  // Which one the dialog writes: the per-user copy once it exists (it is
  // the one in force), else by the rule above.
  std::filesystem::path write;
  // Which one the player reads.
  std::filesystem::path read;
};

GameIniPlaces game_ini_places(const std::filesystem::path& exe_folder, const platform::System& system);

// Reads the settings as the main window applies them: DelayTime is rounded
// down to a multiple of 100 (integer division, so toward zero) and clamped
// to 100..500. A missing file leaves every default.
GameSettings read_game_settings(const std::filesystem::path& file);

}  // namespace nova::app
