#include "app/player_settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "core/log.h"
#include "platform/keys.h"

namespace nova::app {
namespace {

namespace modifier = platform::modifier;

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool same_text(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<KeyBinding> parse_binding(std::string_view text) {
  KeyBinding b;
  for (;;) {
    const std::size_t plus = text.find('+');
    // A lone "+" is not a key of its own here; "Shift+" ends in nothing.
    if (plus == std::string_view::npos) break;
    const std::string_view m = trim(text.substr(0, plus));
    if (same_text(m, "alt"))
      b.modifiers |= modifier::Alt;
    else if (same_text(m, "ctrl") || same_text(m, "control"))
      b.modifiers |= modifier::Control;
    else if (same_text(m, "shift"))
      b.modifiers |= modifier::Shift;
    else
      return std::nullopt;
    text = text.substr(plus + 1);
  }
  const std::string_view name = trim(text);
  if (name.empty()) return std::nullopt;
  b.key = same_text(name, "enter") ? platform::vk::RETURN : platform::vk_from_name(name);
  if (b.key <= 0 || b.key > 255) return std::nullopt;
  return b;
}

std::string title_case(std::string_view upper) {
  std::string s(upper);
  for (std::size_t i = 1; i < s.size(); ++i) s[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
  return s;
}

template <typename T>
void read_choice(const platform::IniFile& ini, std::string_view key, T& out,
                 std::optional<T> (*parse)(std::string_view)) {
  auto text = ini.read("display", key);
  if (!text) return;
  if (auto v = parse(trim(*text))) {
    out = *v;
  } else {
    core::logf(core::Channel::App, core::Level::Warning, "player.ini: [display] %s: \"%s\" is not known; kept %s",
               {std::string(key), *text, std::string(platform::to_string(out))});
  }
}

void read_keys(const platform::IniFile& ini, std::string_view key, KeyBindings& out) {
  auto text = ini.read("keys", key);
  if (!text) return;
  if (auto v = parse_key_bindings(*text)) {
    out = *v;
  } else {
    core::logf(core::Channel::App, core::Level::Warning, "player.ini: [keys] %s: cannot read \"%s\"; kept %s",
               {std::string(key), *text, format_key_bindings(out)});
  }
}

}  // namespace

std::optional<KeyBindings> parse_key_bindings(std::string_view text) {
  KeyBindings out;
  text = trim(text);
  if (text.empty() || same_text(text, "none")) return out;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    auto b = parse_binding(text.substr(0, comma));
    if (!b) return std::nullopt;
    if (std::find(out.begin(), out.end(), *b) == out.end()) out.push_back(*b);
    if (comma == std::string_view::npos) break;
    text = text.substr(comma + 1);
  }
  return out;
}

std::string format_key_bindings(const KeyBindings& keys) {
  if (keys.empty()) return "none";
  std::string out;
  for (const KeyBinding& b : keys) {
    if (!out.empty()) out += ", ";
    if (b.modifiers & modifier::Control) out += "Ctrl+";
    if (b.modifiers & modifier::Alt) out += "Alt+";
    if (b.modifiers & modifier::Shift) out += "Shift+";
    const std::string_view name = platform::vk_name(b.key);
    out += name.empty() ? std::to_string(b.key) : title_case(name);
  }
  return out;
}

bool bound(const KeyBindings& keys, const platform::Event& e) {
  if (e.type != platform::EventType::KeyDown) return false;
  const std::uint32_t held = e.modifiers & (modifier::Shift | modifier::Control | modifier::Alt);
  // Extra modifiers do not matter: a modifier whose release was lost while
  // the window changed (Alt after Alt+Return) must not block F11.
  return std::any_of(keys.begin(), keys.end(),
                     [&](const KeyBinding& b) { return b.key == e.key && (held & b.modifiers) == b.modifiers; });
}

PlayerSettings read_player_settings(const platform::IniFile& ini) {
  PlayerSettings s;
  read_choice(ini, "scale", s.scale, &platform::parse_scale_mode);
  read_choice(ini, "filter", s.filter, &platform::parse_scale_filter);
  if (auto text = ini.read("display", "window-scale")) {
    auto v = platform::IniFile::parse_int(trim(*text));
    if (v && *v >= 0 && *v <= 16) {
      s.window_scale = *v;
    } else {
      core::logf(core::Channel::App, core::Level::Warning,
                 "player.ini: [display] window-scale: \"%s\" is not a factor from 0 to 16; kept %d",
                 {*text, s.window_scale});
    }
  }
  read_keys(ini, "full-screen", s.full_screen_keys);
  read_keys(ini, "screenshot", s.screenshot_keys);
  return s;
}

void write_player_settings(platform::IniFile& ini, const PlayerSettings& s) {
  ini.write("display", "scale", platform::to_string(s.scale));
  ini.write("display", "filter", platform::to_string(s.filter));
  ini.write_int("display", "window-scale", s.window_scale);
  ini.write("keys", "full-screen", format_key_bindings(s.full_screen_keys));
  ini.write("keys", "screenshot", format_key_bindings(s.screenshot_keys));
}

PlayerSettings apply_overrides(PlayerSettings s, const PlayerSettingsOverrides& o) {
  if (o.scale) s.scale = *o.scale;
  if (o.filter) s.filter = *o.filter;
  if (o.window_scale) s.window_scale = *o.window_scale;
  if (o.full_screen_keys) s.full_screen_keys = *o.full_screen_keys;
  if (o.screenshot_keys) s.screenshot_keys = *o.screenshot_keys;
  return s;
}

std::filesystem::path player_settings_path(const std::filesystem::path& user_config_folder) {
  return user_config_folder / "player.ini";
}

PlayerSettings load_player_settings(const std::filesystem::path& user_config_folder,
                                    const PlayerSettingsOverrides& overrides) {
  const platform::IniFile ini(player_settings_path(user_config_folder));
  return apply_overrides(read_player_settings(ini), overrides);
}

std::optional<std::string> save_player_settings(const std::filesystem::path& user_config_folder,
                                                const PlayerSettingsOverrides& overrides) {
  const std::filesystem::path path = player_settings_path(user_config_folder);
  platform::IniFile ini(path);
  write_player_settings(ini, apply_overrides(read_player_settings(ini), overrides));
  std::error_code ec;
  std::filesystem::create_directories(user_config_folder, ec);
  if (!ini.save(path))
    return "cannot write " + path.string() + ": " + std::error_code(errno, std::generic_category()).message();
  return std::nullopt;
}

int first_window_factor(platform::Size screen, int dock_px, platform::Size frame_px, platform::Size work_px) {
  if (screen.width <= 0 || screen.height <= 0) return 1;
  const std::int64_t work_area = std::int64_t{work_px.width} * work_px.height;
  int best = 1;
  for (int n = 2; n <= 16; ++n) {
    const std::int64_t w = std::int64_t{screen.width} * n, h = std::int64_t{screen.height} * n;
    const bool fits = w + frame_px.width <= work_px.width && h + dock_px + frame_px.height <= work_px.height;
    // At most 80 % of the work area's surface: 5 × picture ≤ 4 × work.
    if (!fits || 5 * w * h > 4 * work_area) break;
    best = n;
  }
  return best;
}

std::filesystem::path screenshot_path(const std::filesystem::path& pictures, std::string_view title_utf8, int year,
                                      int month, int day, int hour, int minute, int second) {
  std::string name;
  for (char c : title_utf8) {
    const auto u = static_cast<unsigned char>(c);
    name += (c == '/' || c == '\\' || u < 0x20 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
             c == '>' || c == '|')
                ? '_'
                : c;
  }
  if (name.empty() || name == "." || name == "..") name = "NovaPlayer";
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", year, month, day, hour, minute, second);
  const std::filesystem::path folder = pictures / "NovaPlayer";
  std::filesystem::path p = folder / (name + stamp + ".png");
  std::error_code ec;
  for (int n = 2; std::filesystem::exists(p, ec) && n < 1000; ++n) {
    p = folder / (name + stamp + "-" + std::to_string(n) + ".png");
  }
  return p;
}

}  // namespace nova::app
