// The player's command line: our own options first, then the data arguments
// the title's rules apply to (nothing, data folders or archives, "/config").
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/player_settings.h"
#include "platform/clock.h"
#include "platform/window.h"

namespace nova::app {

struct Screenshot {
  std::int64_t tick = 0;
  std::filesystem::path file;
};

struct PlayerOptions {
  bool headless = false;
  std::optional<std::int64_t> max_ticks;
  std::vector<Screenshot> screenshots;
  std::filesystem::path input_script;
  std::filesystem::path trace_file;
  bool answer_yes = true;
  std::filesystem::path record_audio;
  std::optional<std::uint32_t> seed;
  // Headless display modes ("640x480x32@60,800x600x16@60"); empty keeps the
  // backend's list.
  std::vector<platform::DisplayMode> modes;
  // How the screen surface is made (0, 1 or 2; see the screen manager).
  int surface_setting = 0;
  // --date: the calendar at timer value 0, advancing with the timer (no
  // time zone); headless runs without it start at 2000-01-01 00:00:00.
  std::optional<platform::DateTime> date;

  // The picture's scaling, the window's first factor and the player's keys,
  // over what player.ini says.
  PlayerSettingsOverrides player;
  // The window's first client size in points (instead of the whole factor).
  std::optional<platform::Size> window_size;
  // What the window shows (its real pixels) at a tick, as PNG.
  std::vector<Screenshot> window_shots;
  // Headless: real pixels per point of the virtual desktop.
  int desktop_scale = 1;
  // Write the player's settings (player.ini with the command line's
  // changes) and exit.
  bool save_settings = false;

  // The data arguments, in order, as given (host paths or "/config").
  std::vector<std::string> data;

  bool show_help = false;
  bool show_version = false;
};

struct ParseResult {
  std::optional<PlayerOptions> options;  // nullopt on an error
  std::string message;                   // the help text, or the error
};

// Parses argv[1..]. Options end at the first argument that is not one of
// ours (or at "--"); everything from there on is data.
ParseResult parse_command_line(int argc, const char* const* argv);

std::string help_text();

// "640x480x32@60" → a mode; nullopt when malformed.
std::optional<platform::DisplayMode> parse_display_mode(const std::string& text);

}  // namespace nova::app
