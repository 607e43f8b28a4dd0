// The registry substitute: the current user's keys live in an INI file under
// the user's configuration folder (registry.ini), one section per key path
// ("Software\Vendor\Title"), values as strings. Only what the system reads
// and writes is offered.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace nova::platform {

class Registry {
 public:
  // `file` is the substitute's file: the System service's configuration
  // folder + "registry.ini".
  explicit Registry(std::filesystem::path file);

  // Key paths and value names compare without regard to case; values are
  // Shift-JIS bytes.
  std::optional<std::string> read_string(std::string_view key_path, std::string_view value_name) const;
  bool write_string(std::string_view key_path, std::string_view value_name, std::string_view value);

  const std::filesystem::path& file() const { return m_file; }

 private:
  std::filesystem::path m_file;
};

}  // namespace nova::platform
