// Any text is an INI file (a damaged one reads as what can be read). What
// is read must write back to a text that reads the same, and reading every
// key as a number or a string must neither fail nor lose the value.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/player_settings.h"
#include "platform/ini_file.h"

using nova::platform::IniFile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const IniFile ini = IniFile::parse(text);
  const std::string once = ini.to_text();
  const IniFile again = IniFile::parse(once);
  if (again.to_text() != once) std::abort();
  for (const std::string& section : ini.sections()) {
    for (const std::string& key : ini.keys(section)) {
      const auto value = ini.read(section, key);
      if (!value || again.read(section, key) != value) std::abort();
      (void)ini.read_int(section, key, 7);
      (void)ini.read_bool(section, key, false);
    }
  }
  IniFile edited = ini;
  edited.write("Option", "DelayTime", "300");
  if (edited.read_int("option", "delaytime", 0) != 300) std::abort();
  edited.erase("OPTION", "DELAYTIME");
  if (edited.read("Option", "DelayTime")) std::abort();
  // The player's settings: whatever the file holds reads as settings that
  // write back and read the same, and the file's other keys stay.
  const nova::app::PlayerSettings settings = nova::app::read_player_settings(ini);
  IniFile stored = ini;
  nova::app::write_player_settings(stored, settings);
  if (nova::app::read_player_settings(IniFile::parse(stored.to_text())) != settings) std::abort();
  for (const std::string& section : ini.sections()) {
    for (const std::string& key : ini.keys(section)) {
      // Sections compare without regard to case: "[Display]" is the player's.
      std::string lower = section;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (lower == "display" || lower == "keys") continue;
      if (stored.read(section, key) != ini.read(section, key)) std::abort();
      (void)nova::app::parse_key_bindings(*ini.read(section, key));
    }
  }
  return 0;
}
