// "game.ini" beside the executable: the sound and video settings the
// settings dialog writes and the main window reads.
#pragma once

#include <filesystem>

namespace nova::app {

struct GameSettings {
  bool direct_sound = true;  // Sound/DirectSound
  int delay_time = 500;      // Sound/DelayTime, ms: 100..500 in steps of 100
  bool use_wmp = false;      // Video/UseWMP
};

// Reads the settings as the main window applies them: DelayTime is rounded
// down to a multiple of 100 (integer division, so toward zero) and clamped
// to 100..500. A missing file leaves every default.
GameSettings read_game_settings(const std::filesystem::path& exe_folder);

std::filesystem::path game_ini_path(const std::filesystem::path& exe_folder);

}  // namespace nova::app
