#include "files/names.h"

#include <cstdio>
#include <ctime>

#include "core/sjis.h"

namespace nova::files::names {

std::size_t last_separator(std::string_view name) {
  std::size_t last = std::string_view::npos;
  core::for_each_char(name, [&](std::size_t i, std::size_t n) {
    if (n == 1 && name[i] == '\\') last = i;
  });
  return last;
}

std::string extension(std::string_view name) {
  std::size_t dot = std::string_view::npos;
  core::for_each_char(name, [&](std::size_t i, std::size_t n) {
    if (n != 1) return;
    if (name[i] == '.')
      dot = i;
    else if (name[i] == '\\' || name[i] == ':')
      dot = std::string_view::npos;
  });
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string folder_of(std::string_view name) {
  const bool platform_form = name.starts_with("\\\\") || (name.size() >= 2 && name[1] == ':');
  std::size_t end = 0;
  core::for_each_char(name, [&](std::size_t i, std::size_t n) {
    if (n == 1 && (name[i] == '\\' || (platform_form && name[i] == ':'))) end = i + 1;
  });
  return std::string(name.substr(0, end));
}

bool is_foreign_absolute(std::string_view name) {
  if (name.starts_with("\\\\")) return true;
  return name.size() >= 2 && name[1] == ':' &&
         ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

std::vector<std::string> components(std::string_view name) {
  std::vector<std::string> parts;
  std::string current;
  core::for_each_char(name, [&](std::size_t i, std::size_t n) {
    if (n == 1 && (name[i] == '\\' || name[i] == '/')) {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
    } else {
      current.append(name.substr(i, n));
    }
  });
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

std::string unsafe_reason(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return "a NUL byte";
  if (name.starts_with("\\") || name.starts_with("/")) return "a leading separator";
  if (name.size() >= 2 && name[1] == ':') return "a drive colon";
  auto parts = components(name);
  if (parts.empty()) return "no file name";
  for (const auto& p : parts) {
    if (p == "..") return "a \"..\" component";
  }
  return {};
}

std::string with_separator(std::string_view folder) {
  std::string s(folder);
  if (!s.empty() && last_separator(s) != s.size() - 1) s.push_back('\\');
  return s;
}

std::int32_t dos_time_from_unix(std::int64_t unix_seconds) {
  std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return 0;
  int year = tm.tm_year + 1900;
  // The form covers 1980 to 2107.
  if (year < 1980) return (1 << 5 | 1) << 16;
  if (year > 2107) year = 2107;
  auto date = static_cast<std::uint32_t>((year - 1980) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
  auto time = static_cast<std::uint32_t>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
  return static_cast<std::int32_t>(date << 16 | time);
}

namespace {

bool split_dos_time(std::int32_t dos_time, std::tm& tm) {
  auto v = static_cast<std::uint32_t>(dos_time);
  std::uint32_t date = v >> 16, time = v & 0xFFFF;
  tm = {};
  tm.tm_year = static_cast<int>(date >> 9) + 80;
  tm.tm_mon = static_cast<int>((date >> 5) & 15) - 1;
  tm.tm_mday = static_cast<int>(date & 31);
  tm.tm_hour = static_cast<int>(time >> 11);
  tm.tm_min = static_cast<int>((time >> 5) & 63);
  tm.tm_sec = static_cast<int>(time & 31) * 2;
  tm.tm_isdst = -1;
  return tm.tm_mon >= 0 && tm.tm_mon < 12 && tm.tm_mday >= 1 && tm.tm_hour < 24 && tm.tm_min < 60 && tm.tm_sec < 60;
}

}  // namespace

std::int64_t unix_from_dos_time(std::int32_t dos_time) {
  std::tm tm;
  if (!split_dos_time(dos_time, tm)) return -1;
  return static_cast<std::int64_t>(std::mktime(&tm));
}

std::string format_dos_time(std::int32_t dos_time) {
  std::tm tm;
  if (dos_time == 0 || !split_dos_time(dos_time, tm)) return "-";
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

}  // namespace nova::files::names
