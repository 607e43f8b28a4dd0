#include "platform/registry.h"

#include "platform/ini_file.h"
#include "platform/system.h"

namespace nova::platform {

Registry::Registry(std::filesystem::path file) : m_file(std::move(file)) {}

std::optional<std::string> Registry::read_string(std::string_view key_path, std::string_view value_name) const {
  IniFile ini(m_file);
  return ini.read(key_path, value_name);
}

bool Registry::write_string(std::string_view key_path, std::string_view value_name, std::string_view value) {
  std::error_code ec;
  std::filesystem::create_directories(m_file.parent_path(), ec);
  IniFile ini(m_file);
  ini.write(key_path, value_name, value);
  return ini.save(m_file);
}

}  // namespace nova::platform
