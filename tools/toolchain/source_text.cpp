#include "tools/toolchain/source_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "expr/number_text.h"
#include "files/stream.h"
#include "platform/codepage.h"

namespace nova::tools {

// --- Diagnostics ------------------------------------------------------------

void Diagnostics::error(std::string file, int line, int column, std::string message) {
  m_items.push_back({Diagnostic::Severity::Error, std::move(file), line, column, std::move(message)});
  ++m_errors;
}

void Diagnostics::warning(std::string file, int line, int column, std::string message) {
  m_items.push_back({Diagnostic::Severity::Warning, std::move(file), line, column, std::move(message)});
}

std::vector<Diagnostic> Diagnostics::sorted() const {
  std::map<std::string, std::size_t> file_order;
  for (const Diagnostic& d : m_items) file_order.emplace(d.file, file_order.size());
  std::vector<Diagnostic> out = m_items;
  std::stable_sort(out.begin(), out.end(), [&](const Diagnostic& a, const Diagnostic& b) {
    const std::size_t fa = file_order[a.file], fb = file_order[b.file];
    if (fa != fb) return fa < fb;
    if (a.line != b.line) return a.line < b.line;
    return a.column < b.column;
  });
  return out;
}

std::string Diagnostics::format() const {
  std::string out;
  for (const Diagnostic& d : sorted()) {
    out += d.file;
    if (d.line > 0) out += ":" + std::to_string(d.line);
    if (d.line > 0 && d.column > 0) out += ":" + std::to_string(d.column);
    out += d.severity == Diagnostic::Severity::Error ? ": error: " : ": warning: ";
    out += d.message + "\n";
  }
  return out;
}

// --- Source files -----------------------------------------------------------

namespace {

// The length of the UTF-8 sequence at `i`, or 0 when it is not one.
std::size_t utf8_length(std::string_view s, std::size_t i) {
  const auto b = static_cast<std::uint8_t>(s[i]);
  std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((static_cast<std::uint8_t>(s[i + k]) >> 6) != 2) return 0;
  }
  return n;
}

}  // namespace

std::vector<SourceLine> split_source(std::string_view text, const std::string& file, Diagnostics& diagnostics) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<SourceLine> lines;
  std::size_t start = 0;
  int number = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(start, end - start);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    ++number;
    SourceLine line;
    line.number = number;
    std::size_t i = 0;
    while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t')) {
      if (raw[i] == '\t') {
        diagnostics.error(file, number, static_cast<int>(i) + 1, "a tab in the indentation (indent with spaces)");
      }
      ++i;
    }
    line.indent = static_cast<int>(i);
    std::string_view rest = raw.substr(i);
    for (std::size_t k = 0; k < rest.size();) {
      std::size_t n = utf8_length(rest, k);
      if (n == 0) {
        diagnostics.error(file, number, column_of(line, k), "the line is not UTF-8 text");
        rest = rest.substr(0, k);
        break;
      }
      k += n;
    }
    line.text = std::string(rest);
    line.blank = trim(line.text).empty();
    lines.push_back(std::move(line));
    if (end == text.size()) break;
    start = end + 1;
  }
  // A final line break does not start another line.
  if (!lines.empty() && lines.back().blank && lines.back().text.empty() && !text.empty() && text.back() == '\n') {
    lines.pop_back();
  }
  return lines;
}

int column_of(const SourceLine& line, std::size_t offset) {
  int column = line.indent + 1;
  for (std::size_t i = 0; i < offset && i < line.text.size(); ++i) {
    if ((static_cast<std::uint8_t>(line.text[i]) >> 6) != 2) ++column;
  }
  return column;
}

// --- Segments ---------------------------------------------------------------

std::string_view trim(std::string_view s) {
  std::size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
  return s.substr(a, b - a);
}

std::size_t skip_quoted(std::string_view s, std::size_t i) {
  const char quote = s[i];
  for (++i; i < s.size(); ++i) {
    if (quote == '"' && s[i] == '\\') {
      ++i;
      continue;
    }
    if (s[i] == quote) return i + 1;
  }
  return s.size();
}

std::size_t find_unquoted(std::string_view text, char c, std::size_t from) {
  for (std::size_t i = from; i < text.size();) {
    if (text[i] == c) return i;
    if (text[i] == '"' || text[i] == '`') {
      i = skip_quoted(text, i);
      continue;
    }
    ++i;
  }
  return std::string_view::npos;
}

std::vector<Segment> split_segments(std::string_view text, char separator, bool nested) {
  std::vector<Segment> out;
  if (trim(text).empty()) return out;
  auto push = [&](std::size_t a, std::size_t b) {
    std::string_view part = text.substr(a, b - a);
    std::size_t lead = 0;
    while (lead < part.size() && (part[lead] == ' ' || part[lead] == '\t')) ++lead;
    out.push_back({std::string(trim(part)), a + lead});
  };
  int depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '"' || c == '`') {
      i = skip_quoted(text, i);
      continue;
    }
    if (nested && (c == '(' || c == '[')) ++depth;
    if (nested && (c == ')' || c == ']') && depth > 0) --depth;
    if (c == separator && depth == 0) {
      push(start, i);
      start = i + 1;
    }
    ++i;
  }
  push(start, text.size());
  return out;
}

// --- Values -----------------------------------------------------------------

std::string utf8(std::string_view sjis) { return platform::codepage::to_utf8(sjis); }

std::optional<std::string> to_sjis(std::string_view utf8, std::string* error) {
  if (auto s = platform::codepage::from_utf8(utf8)) return s;
  if (error) {
    auto bad = platform::codepage::first_unconvertible(utf8);
    std::size_t at = bad.value_or(0);
    int column = 1;
    for (std::size_t i = 0; i < at; ++i) {
      if ((static_cast<std::uint8_t>(utf8[i]) >> 6) != 2) ++column;
    }
    std::size_t n = at < utf8.size() ? std::max<std::size_t>(utf8_length(utf8, at), 1) : 0;
    *error = core::format("the character \"%s\" (character %d) has no Shift-JIS form",
                          {std::string(utf8.substr(at, n)), column});
  }
  return std::nullopt;
}

std::optional<std::string> exact_utf8(std::string_view sjis) {
  std::string utf8 = platform::codepage::to_utf8(sjis);
  auto back = platform::codepage::from_utf8(utf8);
  if (!back || *back != sjis) return std::nullopt;
  return utf8;
}

StringValue parse_quoted_prefix(std::string_view text, std::size_t& length) {
  StringValue v;
  v.quoted = true;
  std::string pending;  // UTF-8 not yet converted
  auto flush = [&] {
    if (pending.empty()) return true;
    std::string err;
    auto s = to_sjis(pending, &err);
    if (!s) {
      v.error = err;
      return false;
    }
    v.sjis += *s;
    pending.clear();
    return true;
  };
  std::size_t i = 1;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      if (!flush()) return v;
      length = i + 1;
      return v;
    }
    if (c != '\\') {
      pending.push_back(c);
      continue;
    }
    if (++i >= text.size()) break;
    switch (text[i]) {
      case '"': pending.push_back('"'); break;
      case '\\': pending.push_back('\\'); break;
      case 'n': pending.push_back('\n'); break;
      case 'r': pending.push_back('\r'); break;
      case 't': pending.push_back('\t'); break;
      case 'x': {
        int hi = i + 1 < text.size() ? expr::hex_digit(text[i + 1]) : -1;
        int lo = i + 2 < text.size() ? expr::hex_digit(text[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
          v.error = "\\x needs two hexadecimal digits";
          return v;
        }
        if (!flush()) return v;
        v.sjis.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        break;
      }
      default: v.error = core::format("unknown escape \\%s in a quoted string", {std::string(1, text[i])}); return v;
    }
  }
  v.error = "the quoted string is not closed";
  length = text.size();
  return v;
}

StringValue parse_string_value(std::string_view text) {
  text = trim(text);
  if (!text.empty() && text.front() == '"') {
    std::size_t length = 0;
    StringValue v = parse_quoted_prefix(text, length);
    if (v.error.empty() && length != text.size()) v.error = "text after the closing quote";
    return v;
  }
  StringValue v;
  std::string err;
  auto s = to_sjis(text, &err);
  if (!s) {
    v.error = err;
  } else {
    v.sjis = *s;
  }
  return v;
}

bool is_raw_value(std::string_view text) {
  text = trim(text);
  return text.size() >= 2 && text.front() == '`' && text.back() == '`';
}

std::optional<std::string> parse_raw_value(std::string_view text) {
  text = trim(text);
  if (!is_raw_value(text)) return std::nullopt;
  std::string out;
  int high = -1;
  for (char c : text.substr(1, text.size() - 2)) {
    if (c == ' ' || c == '\t') continue;
    const int d = expr::hex_digit(c);
    if (d < 0) return std::nullopt;
    if (high < 0) {
      high = d;
    } else {
      out.push_back(static_cast<char>(high * 16 + d));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return out;
}

std::string raw_value(std::string_view bytes) {
  std::string out = "`";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i && i % 4 == 0) out.push_back(' ');
    out += core::format("%02X", {static_cast<std::uint8_t>(bytes[i])});
  }
  return out + "`";
}

std::string quoted_source(std::string_view sjis) {
  std::string out = "\"";
  for (std::size_t i = 0; i < sjis.size();) {
    const std::size_t n = core::char_length(sjis, i);
    std::string_view ch = sjis.substr(i, n);
    const auto b = static_cast<std::uint8_t>(sjis[i]);
    std::optional<std::string> u = (n == 1 && b < 0x80) ? std::optional<std::string>(std::string(ch)) : exact_utf8(ch);
    if (n == 1 && b < 0x20) u.reset();
    if (!u) {
      for (char c : ch) {
        switch (c) {
          case '\n': out += "\\n"; break;
          case '\r': out += "\\r"; break;
          case '\t': out += "\\t"; break;
          default: out += core::format("\\x%02X", {static_cast<std::uint8_t>(c)}); break;
        }
      }
    } else if (*u == "\"" || *u == "\\") {
      out += "\\" + *u;
    } else {
      out += *u;
    }
    i += n;
  }
  return out + "\"";
}

std::string string_source(std::string_view sjis, std::string_view separators) {
  auto u = exact_utf8(sjis);
  bool bare = u && !u->empty();
  if (bare) {
    const char first = u->front(), last = u->back();
    if (first == ' ' || first == '\t' || last == ' ' || last == '\t') bare = false;
    // Quotes anywhere would start a quoted part for the cutting of the line.
    for (char c : *u) {
      if (static_cast<std::uint8_t>(c) < 0x20 || c == '"' || c == '`' || separators.find(c) != std::string_view::npos) {
        bare = false;
      }
    }
  }
  return bare ? *u : quoted_source(sjis);
}

std::optional<std::int64_t> parse_integer(std::string_view text) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t v = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    for (char c : text.substr(2)) {
      const int d = expr::hex_digit(c);
      if (d < 0 || v > (INT64_C(1) << 40)) return std::nullopt;
      v = v * 16 + d;
    }
  } else {
    for (char c : text) {
      if (c < '0' || c > '9' || v > (INT64_C(1) << 40)) return std::nullopt;
      v = v * 10 + (c - '0');
    }
  }
  return negative ? -v : v;
}

std::optional<std::int64_t> parse_flag(std::string_view text) {
  text = trim(text);
  if (core::equal_ci(text, "yes") || core::equal_ci(text, "true") || core::equal_ci(text, "on")) return 1;
  if (core::equal_ci(text, "no") || core::equal_ci(text, "false") || core::equal_ci(text, "off")) return 0;
  return parse_integer(text);
}

std::string read_host_file(const std::filesystem::path& path) {
  files::MemoryBlock block;
  files::host::read_whole_file(path, block);
  return std::string(block.view());
}

void write_host_file(const std::filesystem::path& path, std::string_view bytes) {
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    core::throw_error_utf8(path.string() + ": cannot write the file (" + std::strerror(errno) + ")");
  }
}

}  // namespace nova::tools
