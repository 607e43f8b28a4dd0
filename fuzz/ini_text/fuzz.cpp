// Any text is an INI file (a damaged one reads as what can be read). What
// is read must write back to a text that reads the same, and reading every
// key as a number or a string must neither fail nor lose the value.
#include <cstdint>
#include <cstdlib>
#include <string_view>

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
  return 0;
}
