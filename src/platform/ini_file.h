// An INI file held in memory and written back whole, in the manner of the
// system's memory INI files: sections and keys compare without regard to
// ASCII case, values are kept as the bytes they are (Shift-JIS in "game.ini"),
// and writing replaces the file atomically so a crash never leaves half a file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nova::platform {

class IniFile {
 public:
  IniFile() = default;
  // Reads the file; a missing or unreadable file gives an empty INI.
  explicit IniFile(std::filesystem::path path);

  static IniFile parse(std::string_view text);
  std::string to_text() const;

  std::optional<std::string> read(std::string_view section, std::string_view key) const;
  std::string read_string(std::string_view section, std::string_view key, std::string_view def) const;
  // Integers as the system reads them: optional sign, decimal, or hex with
  // "$" or "0x"; anything else gives the default.
  int read_int(std::string_view section, std::string_view key, int def) const;
  // A boolean is an integer: non-zero is true.
  bool read_bool(std::string_view section, std::string_view key, bool def) const;

  void write(std::string_view section, std::string_view key, std::string_view value);
  void write_int(std::string_view section, std::string_view key, int value);
  void write_bool(std::string_view section, std::string_view key, bool value) {
    write(section, key, value ? "1" : "0");
  }
  void erase(std::string_view section, std::string_view key);

  bool has_section(std::string_view section) const;
  std::vector<std::string> sections() const;
  std::vector<std::string> keys(std::string_view section) const;

  // Writes to the path given at construction (or `path`). Returns false when
  // the file cannot be written; the old file then stays as it was.
  bool save() const;
  bool save(const std::filesystem::path& path) const;

  static std::optional<int> parse_int(std::string_view text);

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  const Section* find_section(std::string_view name) const;
  Section* find_section(std::string_view name);

  std::filesystem::path m_path;
  std::vector<Section> m_sections;
};

}  // namespace nova::platform
