// Seeds: INI files as our writer writes them (the settings dialog's
// "game.ini", a registry substitute with Shift-JIS values), and a few as
// people write them by hand.
#include <filesystem>
#include <string>

#include "../common/seeds.h"
#include "app/player_settings.h"
#include "platform/ini_file.h"

using nova::platform::IniFile;

int main(int argc, char** argv) {
  const std::filesystem::path folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  int n = 0;
  IniFile game;
  game.write_bool("Option", "DirectSound", true);
  game.write_int("Option", "DelayTime", 300);
  nova::fuzz::write_seed(folder, n++, game.to_text());
  IniFile registry;
  registry.write("HKEY_CURRENT_USER\\Software\\Title", "Path", "/games/title");
  registry.write("HKEY_CURRENT_USER\\Software\\Title", "Name", "\x83\x5c\x95\x5c");
  registry.write_int("Other", "Count", -12);
  nova::fuzz::write_seed(folder, n++, registry.to_text());
  IniFile player;
  nova::app::write_player_settings(player, {});
  nova::fuzz::write_seed(folder, n++, player.to_text());
  nova::app::PlayerSettings changed;
  changed.scale = nova::platform::ScaleMode::Integer;
  changed.filter = nova::platform::ScaleFilter::Linear;
  changed.window_scale = 3;
  changed.full_screen_keys = *nova::app::parse_key_bindings("Ctrl+Shift+F, F2");
  changed.screenshot_keys = {};
  IniFile player_changed;
  player_changed.write("mine", "colour", "blue");
  nova::app::write_player_settings(player_changed, changed);
  nova::fuzz::write_seed(folder, n++, player_changed.to_text());
  const char* const by_hand[] = {
      "[display]\nscale = zoom\nwindow-scale = 99\n[keys]\nfull-screen = Alt+,F11,,none\nscreenshot = Hyper+F12\n",
      "; comment\r\n[Option]\r\nDelayTime = $1F4\r\nDirectSound=0x1\r\n\r\n[Empty]\r\n",
      "key before any section\n[a]\nx=1\n[A]\nX=2\n=novalue\n[unterminated\nline without equals\n",
      "[Option]\nDelayTime=-2147483648\nDirectSound=99999999999\n",
  };
  for (const char* text : by_hand) nova::fuzz::write_seed(folder, n++, text);
  return 0;
}
