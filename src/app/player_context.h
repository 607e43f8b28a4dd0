// The objects one player shares: the platform, its options, the frame clock
// and flags, the settings. Owned by the entry and handed down by reference;
// several players can exist in one test process.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "app/command_line.h"
#include "app/game_ini.h"
#include "app/player_settings.h"
#include "app/step_trace.h"
#include "app/title_services.h"
#include "core/frame_clock.h"
#include "platform/platform.h"

namespace nova::app {

struct PlayerContext {
  PlayerContext(platform::Platform& p, PlayerOptions o, std::filesystem::path exe)
      : platform(p), options(std::move(o)), exe_folder(std::move(exe)) {}

  platform::Platform& platform;
  PlayerOptions options;
  // "game.ini", the data beside the player and the lock name are found here.
  std::filesystem::path exe_folder;
  core::FrameClock clock;
  StepTrace step_trace;
  GameSettings settings;
  // The player's scaling and keys (player.ini with the command line over
  // it), read when the main window is created.
  PlayerSettings player;
  // The seed of the standard random generator, from the time of day at start
  // or --seed.
  std::uint32_t random_seed = 0;
  // Posts a close request to the main window while it exists (the script's
  // Terminate, a refused page, a declined disc); set by the main window.
  std::function<void()> request_close;
  // The main window while it is open (set by it): the dialogs a title opens
  // belong to it, so that the desktop keeps them above it and centres them
  // on it.
  const platform::Window* main_window = nullptr;
  // The process's exit status; a headless start that fails with a fatal
  // message sets it, so that automation sees the failure.
  int exit_status = 0;
  // The title's subsystems. Declared last, so that they go first and find
  // the clock and the settings still there.
  TitleServices services;
};

}  // namespace nova::app
