// The player's own conveniences around a title: how the picture fills the
// window and the screen, the window's first size, and the player's keys (full
// screen, screenshot). They live in the per-user file
// $XDG_CONFIG_HOME/novaplayer/player.ini and the command line, which wins:
//
//   [display]
//   scale = fit | integer | stretch | none
//   filter = auto | nearest | linear
//   window-scale = 0 (the largest whole factor that fits) | N
//   [keys]
//   full-screen = Alt+Return, F11      (a list; "none" switches it off)
//   screenshot = F12
//
// A value that cannot be read is logged and the default stays. Writing
// keeps every other key and section of the file as it was.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/events.h"
#include "platform/ini_file.h"
#include "platform/presentation.h"

namespace nova::app {

struct KeyBinding {
  int key = 0;                  // virtual-key code
  std::uint32_t modifiers = 0;  // platform::modifier bits that must be held (others may be)
  friend bool operator==(const KeyBinding&, const KeyBinding&) = default;
};

using KeyBindings = std::vector<KeyBinding>;

// "Alt+Return, F11" → bindings; "none" (or nothing) → no binding; nullopt
// for a name or modifier that is not known.
std::optional<KeyBindings> parse_key_bindings(std::string_view text);
std::string format_key_bindings(const KeyBindings& keys);
// Whether a key-down event is one of the bindings (with at least the
// binding's Shift, Ctrl and Alt held).
bool bound(const KeyBindings& keys, const platform::Event& e);

struct PlayerSettings {
  platform::ScaleMode scale = platform::ScaleMode::Fit;
  platform::ScaleFilter filter = platform::ScaleFilter::Auto;
  // 0: the largest whole factor that fits the work area.
  int window_scale = 0;
  KeyBindings full_screen_keys{{0x0D, platform::modifier::Alt}, {0x7A, 0}};  // Alt+Return, F11
  KeyBindings screenshot_keys{{0x7B, 0}};                                    // F12
  friend bool operator==(const PlayerSettings&, const PlayerSettings&) = default;
};

// What the command line sets; unset fields keep the file's value.
struct PlayerSettingsOverrides {
  std::optional<platform::ScaleMode> scale;
  std::optional<platform::ScaleFilter> filter;
  std::optional<int> window_scale;
  std::optional<KeyBindings> full_screen_keys;
  std::optional<KeyBindings> screenshot_keys;
};

PlayerSettings read_player_settings(const platform::IniFile& ini);
// Writes every setting into the INI (keeping its other keys and sections).
void write_player_settings(platform::IniFile& ini, const PlayerSettings& s);
PlayerSettings apply_overrides(PlayerSettings s, const PlayerSettingsOverrides& o);

std::filesystem::path player_settings_path(const std::filesystem::path& user_config_folder);
// Reads the file (a missing one is empty) with the overrides applied.
PlayerSettings load_player_settings(const std::filesystem::path& user_config_folder,
                                    const PlayerSettingsOverrides& overrides);
// Stores the file's settings with the overrides, keeping the file's other
// keys, atomically; answers an error message, or nothing.
std::optional<std::string> save_player_settings(const std::filesystem::path& user_config_folder,
                                                const PlayerSettingsOverrides& overrides);

// The whole factor a window of the screen's size (plus the dock and the
// window frame, in real pixels) opens at: the largest that fits in the work
// area, whose picture covers at most 80 % of the work area's surface; 1 when
// none does.
int first_window_factor(platform::Size screen, int dock_px, platform::Size frame_px, platform::Size work_px);

// Where the screenshot key writes: `pictures`/NovaPlayer/<title>-<date>-<time>.png,
// with "-2", "-3" ... before ".png" when that name is taken. The title is
// UTF-8; characters a file name cannot hold become "_".
std::filesystem::path screenshot_path(const std::filesystem::path& pictures, std::string_view title_utf8, int year,
                                      int month, int day, int hour, int minute, int second);

}  // namespace nova::app
