// printf-style formatting for the system's message and name patterns
// ("%s:ファイルがありません", "%s.%.3d", "~nv%08X.ext"). The patterns come from
// the file formats and messages the system defines, so they are data rather
// than compile-time literals; this formatter is type-safe and never reads
// past its arguments. Supported: flags "-0+ #", width, precision, conversions
// d i u x X o c s %. A missing argument formats as nothing; an argument of the
// wrong kind is converted (a number for %s prints its decimal form).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace nova::core {

class FormatArg {
 public:
  FormatArg(int v) : m_value(static_cast<std::int64_t>(v)) {}
  FormatArg(long v) : m_value(static_cast<std::int64_t>(v)) {}
  FormatArg(long long v) : m_value(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned v) : m_value(static_cast<std::uint64_t>(v)) {}
  FormatArg(unsigned long v) : m_value(static_cast<std::uint64_t>(v)) {}
  FormatArg(unsigned long long v) : m_value(static_cast<std::uint64_t>(v)) {}
  FormatArg(std::string_view v) : m_value(v) {}
  FormatArg(const std::string& v) : m_value(std::string_view(v)) {}
  FormatArg(const char* v) : m_value(std::string_view(v ? v : "")) {}

  const std::variant<std::int64_t, std::uint64_t, std::string_view>& value() const { return m_value; }

 private:
  std::variant<std::int64_t, std::uint64_t, std::string_view> m_value;
};

// Formats `pattern` with `args`. Bytes of the pattern other than conversions
// are copied unchanged, so Shift-JIS patterns stay intact (no Shift-JIS
// trail byte is 0x25 '%').
std::string format(std::string_view pattern, std::initializer_list<FormatArg> args);

}  // namespace nova::core
