#include "platform/ini_file.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <fstream>
#include <sstream>

#include "platform/atomic_file.h"

namespace nova::platform {
namespace fs = std::filesystem;
namespace {

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

IniFile::IniFile(fs::path path) : m_path(std::move(path)) {
  std::ifstream in(m_path, std::ios::binary);
  if (!in) return;
  std::stringstream ss;
  ss << in.rdbuf();
  IniFile parsed = parse(ss.str());
  m_sections = std::move(parsed.m_sections);
}

IniFile IniFile::parse(std::string_view text) {
  IniFile ini;
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    line = trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::size_t close = line.find(']');
      std::string_view name =
          trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      current = ini.find_section(name);
      if (!current) {
        ini.m_sections.push_back(Section{std::string(name), {}});
        current = &ini.m_sections.back();
      }
      continue;
    }
    if (!current) continue;
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = trim(line.substr(0, eq));
    std::string_view value = trim(line.substr(eq + 1));
    bool found = false;
    for (auto& e : current->entries) {
      if (iequal(e.key, key)) {
        e.value = std::string(value);
        found = true;
      }
    }
    if (!found) current->entries.push_back(Entry{std::string(key), std::string(value)});
  }
  return ini;
}

std::string IniFile::to_text() const {
  std::string out;
  for (const auto& s : m_sections) {
    out += "[" + s.name + "]\r\n";
    for (const auto& e : s.entries) out += e.key + "=" + e.value + "\r\n";
    out += "\r\n";
  }
  return out;
}

const IniFile::Section* IniFile::find_section(std::string_view name) const {
  for (const auto& s : m_sections) {
    if (iequal(s.name, name)) return &s;
  }
  return nullptr;
}

IniFile::Section* IniFile::find_section(std::string_view name) {
  for (auto& s : m_sections) {
    if (iequal(s.name, name)) return &s;
  }
  return nullptr;
}

std::optional<std::string> IniFile::read(std::string_view section, std::string_view key) const {
  const Section* s = find_section(section);
  if (!s) return std::nullopt;
  for (const auto& e : s->entries) {
    if (iequal(e.key, key)) return e.value;
  }
  return std::nullopt;
}

std::string IniFile::read_string(std::string_view section, std::string_view key, std::string_view def) const {
  auto v = read(section, key);
  return v ? *v : std::string(def);
}

std::optional<int> IniFile::parse_int(std::string_view t) {
  t = trim(t);
  if (t.empty()) return std::nullopt;
  bool negative = false;
  if (t.front() == '-' || t.front() == '+') {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  int base = 10;
  if (!t.empty() && t.front() == '$') {
    base = 16;
    t.remove_prefix(1);
  } else if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  }
  if (t.empty()) return std::nullopt;
  long long v = 0;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
  if (ec != std::errc() || p != t.data() + t.size()) return std::nullopt;
  if (negative) v = -v;
  // Hex constants may name the full 32-bit range ($FFFFFFFF is -1).
  if (base == 16 && v > INT_MAX && v <= 0xFFFFFFFFll) v -= 0x100000000ll;
  if (v < INT_MIN || v > INT_MAX) return std::nullopt;
  return static_cast<int>(v);
}

int IniFile::read_int(std::string_view section, std::string_view key, int def) const {
  auto v = read(section, key);
  if (!v) return def;
  return parse_int(*v).value_or(def);
}

bool IniFile::read_bool(std::string_view section, std::string_view key, bool def) const {
  return read_int(section, key, def ? 1 : 0) != 0;
}

void IniFile::write(std::string_view section, std::string_view key, std::string_view value) {
  Section* s = find_section(section);
  if (!s) {
    m_sections.push_back(Section{std::string(section), {}});
    s = &m_sections.back();
  }
  for (auto& e : s->entries) {
    if (iequal(e.key, key)) {
      e.value = std::string(value);
      return;
    }
  }
  s->entries.push_back(Entry{std::string(key), std::string(value)});
}

void IniFile::write_int(std::string_view section, std::string_view key, int value) {
  write(section, key, std::to_string(value));
}

void IniFile::erase(std::string_view section, std::string_view key) {
  if (Section* s = find_section(section)) std::erase_if(s->entries, [&](const Entry& e) { return iequal(e.key, key); });
}

bool IniFile::has_section(std::string_view section) const { return find_section(section) != nullptr; }

std::vector<std::string> IniFile::sections() const {
  std::vector<std::string> out;
  for (const auto& s : m_sections) out.push_back(s.name);
  return out;
}

std::vector<std::string> IniFile::keys(std::string_view section) const {
  std::vector<std::string> out;
  if (const Section* s = find_section(section)) {
    for (const auto& e : s->entries) out.push_back(e.key);
  }
  return out;
}

bool IniFile::save() const { return !m_path.empty() && save(m_path); }

bool IniFile::save(const fs::path& path) const {
  const int err = write_file_atomically(path, to_text());
  // Callers report the cause from errno.
  if (err != 0) errno = err;
  return err == 0;
}

}  // namespace nova::platform
