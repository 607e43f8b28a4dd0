#include "tools/toolchain/project_source.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <set>

#include "core/binary_io.h"
#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "expr/number_text.h"
#include "expr/types.h"
#include "platform/codepage.h"
#include "tools/toolchain/command_syntax.h"

namespace nova::tools {
namespace {

using script::TInitialVariable;
using script::TProjectSetting;

// What a source leaves out means what a new title wants: its status kept,
// and the player's own prompts.
constexpr std::uint8_t kDefaultKeepStatus = 1;
const std::string& default_disc_text() { return core::sjis("ディスク%dを入れてから[OK]をクリックしてください"); }
const std::string& default_quit_text() { return core::sjis("終了します"); }
constexpr std::string_view kDefaultStart = "start.nsb";

std::string float_text(long double v) {
  core::ByteWriter want;
  want.f80(v);
  for (int precision = 1; precision <= 21; ++precision) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*Lg", precision, v);
    std::string text = buf;
    if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
    auto back = expr::parse_float(text);
    if (!back) continue;
    core::ByteWriter got;
    got.f80(*back);
    if (got.data() == want.data()) return text;
  }
  std::string hex = "f80:";
  for (std::uint8_t b : want.data()) hex += core::format("%02X", {b});
  return hex;
}

std::optional<long double> parse_float_value(std::string_view text) {
  text = trim(text);
  if (text.substr(0, 4) == "f80:") {
    auto bytes = parse_raw_value("`" + std::string(text.substr(4)) + "`");
    if (!bytes || bytes->size() != 10) return std::nullopt;
    core::ByteReader r(*bytes);
    return r.f80();
  }
  if (auto i = parse_integer(text)) return static_cast<long double>(*i);
  return expr::parse_float(text);
}

class ProjectCompiler {
 public:
  ProjectCompiler(std::string file, Diagnostics& d) : m_file(std::move(file)), m_d(d) {}

  std::optional<std::string> run(std::string_view text) {
    const int before = m_d.error_count();
    for (const SourceLine& l : split_source(text, m_file, m_d)) {
      if (l.blank || l.text[0] == '#') continue;
      line(l);
    }
    if (m_d.error_count() > before) return std::nullopt;
    if (m_exact) {
      try {
        TProjectSetting::Parse(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(m_exact->data()), m_exact->size()));
      } catch (const core::Error& e) {
        m_d.error(m_file, m_exact_line, 0, "exact_bytes is no settings file: " + utf8(e.message()));
        return std::nullopt;
      }
      return m_exact;
    }
    return build();
  }

 private:
  struct Value {
    std::string text;
    int line;
    int column;
  };

  void error(const Value& v, const std::string& message) { m_d.error(m_file, v.line, v.column, message); }

  void line(const SourceLine& l) {
    std::size_t n = 0;
    while (n < l.text.size() && (std::isalnum(static_cast<unsigned char>(l.text[n])) || l.text[n] == '_')) ++n;
    std::size_t colon = n;
    while (colon < l.text.size() && (l.text[colon] == ' ' || l.text[colon] == '\t')) ++colon;
    if (n == 0 || colon >= l.text.size() || l.text[colon] != ':') {
      m_d.error(m_file, l.number, l.indent + 1, "expected a project field as name: value");
      return;
    }
    const std::string key = platform::codepage::to_lower(l.text.substr(0, n));
    std::string_view rest = l.text;
    rest.remove_prefix(colon + 1);
    const std::size_t lead = rest.find_first_not_of(" \t");
    Value v{std::string(trim(rest)), l.number, column_of(l, colon + 1 + (lead == std::string_view::npos ? 0 : lead))};
    static const std::set<std::string> keys = {"version",
                                               "title",
                                               "screen",
                                               "display_options",
                                               "start",
                                               "exit",
                                               "registry_key",
                                               "image_key",
                                               "keep_status",
                                               "idle",
                                               "streamed_extensions",
                                               "pause_when_inactive",
                                               "reserved",
                                               "disc_text",
                                               "quit_text",
                                               "variable",
                                               "folder",
                                               "exact_bytes"};
    if (!keys.count(key)) {
      m_d.error(m_file, l.number, l.indent + 1, "unknown project field \"" + key + "\"");
      return;
    }
    if (key == "variable") {
      variable(v);
    } else if (key == "folder") {
      folder(v);
    } else if (!m_values.emplace(key, v).second) {
      m_d.error(m_file, l.number, l.indent + 1, "the field \"" + key + "\" is given twice");
    }
    if (key == "exact_bytes") {
      m_exact = parse_raw_value(v.text);
      m_exact_line = l.number;
      if (!m_exact) error(v, "exact_bytes takes a raw value `...`");
    }
  }

  std::optional<std::int64_t> integer(const Value& v, std::int64_t low, std::int64_t high) {
    auto n = parse_integer(v.text);
    if (!n || *n < low || *n > high) {
      error(v, core::format("expected a number from %d to %d, not \"%s\"",
                            {static_cast<long long>(low), static_cast<long long>(high), v.text}));
      return std::nullopt;
    }
    return n;
  }

  std::optional<std::uint8_t> flag(const Value& v) {
    auto n = parse_flag(v.text);
    if (!n || *n < 0 || *n > 255) {
      error(v, "expected yes, no or a number, not \"" + v.text + "\"");
      return std::nullopt;
    }
    return static_cast<std::uint8_t>(*n);
  }

  std::optional<std::string> string(const Value& v) {
    StringValue s = parse_string_value(v.text);
    if (!s.error.empty()) {
      error(v, s.error);
      return std::nullopt;
    }
    return s.sjis;
  }

  // TYPE NAME [= VALUE]
  void variable(const Value& v) {
    std::string_view t = v.text;
    const std::size_t space = t.find_first_of(" \t");
    TInitialVariable var;
    std::string_view type = t.substr(0, space);
    if (auto code = parse_type_name(type)) {
      var.type = static_cast<std::uint8_t>(*code);
    } else {
      auto n = parse_integer(type);
      if (!n || *n < 0 || *n > 255) {
        error(v, "a variable is TYPE NAME = VALUE, with the types int, float, bool and str");
        return;
      }
      var.type = static_cast<std::uint8_t>(*n);
    }
    std::string_view rest = space == std::string_view::npos ? std::string_view() : trim(t.substr(space));
    const std::size_t eq = find_unquoted(rest, '=');
    Value name{std::string(trim(rest.substr(0, eq))), v.line, v.column};
    if (name.text.empty()) {
      error(v, "the variable has no name");
      return;
    }
    auto n = string(name);
    if (!n) return;
    var.name = *n;
    Value value{eq == std::string_view::npos ? std::string() : std::string(trim(rest.substr(eq + 1))), v.line,
                v.column};
    if (!value.text.empty()) {
      switch (var.type) {
        case expr::PT_INT:
          if (auto i = integer(value, INT32_MIN, UINT32_MAX)) var.int_value = static_cast<std::int32_t>(*i);
          break;
        case expr::PT_FLOAT:
          if (auto f = parse_float_value(value.text)) {
            var.float_value = *f;
          } else {
            error(value, "expected a number, not \"" + value.text + "\"");
          }
          break;
        case expr::PT_BOOL:
          if (auto f = flag(value)) var.flag_value = *f != 0;
          break;
        case expr::PT_STR:
          if (auto s = string(value)) var.string_value = *s;
          break;
        default: error(value, "a variable of this type has no value"); break;
      }
    }
    m_settings.initial_variables.push_back(std::move(var));
  }

  // PATH = DISC
  void folder(const Value& v) {
    std::string_view t = v.text;
    std::size_t eq = std::string_view::npos;
    for (std::size_t at = find_unquoted(t, '='); at != std::string_view::npos; at = find_unquoted(t, '=', at + 1))
      eq = at;
    if (eq == std::string_view::npos) {
      error(v, "a folder is PATH = DISC");
      return;
    }
    auto path = string({std::string(trim(t.substr(0, eq))), v.line, v.column});
    auto disc = integer({std::string(trim(t.substr(eq + 1))), v.line, v.column}, INT32_MIN, INT32_MAX);
    if (path && disc) m_settings.folders.Add(*path, static_cast<std::int32_t>(*disc));
  }

  const Value* get(const char* key) const {
    auto it = m_values.find(key);
    return it == m_values.end() ? nullptr : &it->second;
  }

  std::optional<std::string> build() {
    TProjectSetting& s = m_settings;
    if (const Value* v = get("version")) {
      if (auto n = integer(*v, 0, script::kNewestSettingsVersion)) s.version = static_cast<std::int32_t>(*n);
    }
    const std::int32_t version = s.version;
    // A field the version does not store keeps the reader's default.
    auto stored = [&](const char* key, bool stores) -> const Value* {
      const Value* v = get(key);
      if (v && !stores) error(*v, core::format("settings of version %d do not store %s", {version, key}));
      return stores ? v : nullptr;
    };
    if (const Value* v = get("title")) s.title = string(*v).value_or("");
    if (const Value* v = get("screen")) {
      const std::size_t x = v->text.find_first_of("xX");
      auto w = parse_integer(v->text.substr(0, x));
      auto h = x == std::string::npos ? std::nullopt : parse_integer(v->text.substr(x + 1));
      if (!w || !h || *w < INT32_MIN || *w > INT32_MAX || *h < INT32_MIN || *h > INT32_MAX) {
        error(*v, "the screen is WIDTHxHEIGHT, as in 640x480");
      } else {
        s.screen_width = static_cast<std::int32_t>(*w);
        s.screen_height = static_cast<std::int32_t>(*h);
      }
    }
    if (const Value* v = get("display_options")) {
      auto parts = split_segments(v->text, ',', false);
      std::optional<std::int64_t> a = parts.size() == 2 ? parse_integer(parts[0].text) : std::nullopt;
      std::optional<std::int64_t> b = parts.size() == 2 ? parse_integer(parts[1].text) : std::nullopt;
      if (!a || !b) {
        error(*v, "the display options are two numbers: A, B");
      } else {
        s.display_option_a = static_cast<std::int32_t>(*a);
        s.display_option_b = static_cast<std::int32_t>(*b);
      }
    }
    s.start_page = std::string(kDefaultStart);
    if (const Value* v = get("start")) s.start_page = string(*v).value_or("");
    if (const Value* v = stored("exit", script::has_exit_page(version))) s.exit_page = string(*v).value_or("");
    if (const Value* v = get("registry_key")) s.registry_key = string(*v).value_or("");
    if (const Value* v = get("image_key")) {
      s.image_key = static_cast<std::int32_t>(integer(*v, INT32_MIN, UINT32_MAX).value_or(0));
    }
    if (script::has_keep_status(version)) s.keep_status = kDefaultKeepStatus;
    if (const Value* v = stored("keep_status", script::has_keep_status(version))) s.keep_status = flag(*v).value_or(0);
    if (const Value* v = stored("idle", script::has_idle_option(version))) s.idle_option = flag(*v).value_or(0);
    if (const Value* v = stored("streamed_extensions", script::has_streamed_extensions(version))) {
      s.streamed_extensions = string(*v).value_or("");
    }
    if (const Value* v = stored("pause_when_inactive", script::has_pause_when_inactive(version)))
      s.pause_when_inactive = flag(*v).value_or(0);
    if (const Value* v = stored("reserved", script::has_reserved(version))) s.reserved = flag(*v).value_or(0);
    s.disc_text = default_disc_text();
    s.quit_text = default_quit_text();
    if (const Value* v = get("disc_text")) s.disc_text = string(*v).value_or("");
    if (const Value* v = get("quit_text")) s.quit_text = string(*v).value_or("");
    if (m_d.has_errors()) return std::nullopt;
    try {
      auto bytes = s.Bytes();
      return std::string(bytes.begin(), bytes.end());
    } catch (const core::Error& e) {
      m_d.error(m_file, 0, 0, utf8(e.message()));
      return std::nullopt;
    }
  }

  std::string m_file;
  Diagnostics& m_d;
  std::map<std::string, Value> m_values;
  TProjectSetting m_settings;
  std::optional<std::string> m_exact;
  int m_exact_line = 0;
};

std::string value_source(std::string_view sjis) { return string_source(sjis, ""); }

std::string name_source(std::string_view sjis) {
  auto u = exact_utf8(sjis);
  if (u && !u->empty() && u->find_first_of(" \t=\"`") == std::string::npos) return *u;
  return quoted_source(sjis);
}

std::string flag_source(std::uint8_t v) { return v == 0 ? "no" : v == 1 ? "yes" : std::to_string(v); }

std::string fields_of(const TProjectSetting& s) {
  std::string out = "# The project: what nova.npb holds.\n";
  auto put = [&](std::string_view key, const std::string& value) { out += std::string(key) + ": " + value + "\n"; };
  const std::int32_t v = s.version;
  put("version", std::to_string(v));
  put("title", s.title.empty() ? "\"\"" : value_source(s.title));
  put("screen", core::format("%dx%d", {s.screen_width, s.screen_height}));
  if (s.display_option_a || s.display_option_b) {
    put("display_options", core::format("%d, %d", {s.display_option_a, s.display_option_b}));
  }
  put("start", s.start_page.empty() ? "\"\"" : value_source(s.start_page));
  if (script::has_exit_page(v) && !s.exit_page.empty()) put("exit", value_source(s.exit_page));
  if (!s.registry_key.empty()) put("registry_key", value_source(s.registry_key));
  if (s.image_key) put("image_key", std::to_string(s.image_key));
  if (script::has_keep_status(v) && s.keep_status != kDefaultKeepStatus) put("keep_status", flag_source(s.keep_status));
  if (script::has_idle_option(v) && s.idle_option) put("idle", flag_source(s.idle_option));
  if (script::has_streamed_extensions(v) && s.streamed_extensions != TProjectSetting().streamed_extensions) {
    put("streamed_extensions", s.streamed_extensions.empty() ? "\"\"" : value_source(s.streamed_extensions));
  }
  if (script::has_pause_when_inactive(v) && s.pause_when_inactive)
    put("pause_when_inactive", flag_source(s.pause_when_inactive));
  if (script::has_reserved(v) && s.reserved) put("reserved", std::to_string(s.reserved));
  if (s.disc_text != default_disc_text()) put("disc_text", s.disc_text.empty() ? "\"\"" : value_source(s.disc_text));
  if (s.quit_text != default_quit_text()) put("quit_text", s.quit_text.empty() ? "\"\"" : value_source(s.quit_text));
  for (const TInitialVariable& var : s.initial_variables) {
    std::string line = var.type < std::size(kTypeNames) ? std::string(kTypeNames[var.type]) : std::to_string(var.type);
    line += " " + name_source(var.name);
    switch (var.type) {
      case expr::PT_INT: line += " = " + std::to_string(var.int_value); break;
      case expr::PT_FLOAT: line += " = " + float_text(var.float_value); break;
      case expr::PT_BOOL: line += var.flag_value ? " = TRUE" : " = FALSE"; break;
      case expr::PT_STR:
        line += " = " + (var.string_value.empty() ? std::string("\"\"") : value_source(var.string_value));
        break;
      default: break;
    }
    put("variable", line);
  }
  for (const auto& pair : s.folders.Pairs()) {
    put("folder", string_source(pair.folder, "=") + " = " + std::to_string(pair.disc));
  }
  return out;
}

}  // namespace

std::optional<std::string> compile_project_source(std::string_view utf8_text, const std::string& file,
                                                  Diagnostics& diagnostics) {
  return ProjectCompiler(file, diagnostics).run(utf8_text);
}

std::string dump_project(std::string_view bytes, bool exact, bool* verified) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const TProjectSetting s = TProjectSetting::Parse(std::span<const std::uint8_t>(data, bytes.size()));
  std::string source = fields_of(s);
  Diagnostics d;
  auto built = compile_project_source(source, "dump", d);
  bool same = built && *built == bytes;
  if (!same && exact) {
    source += "# The fields above cannot give the file's very bytes; these do.\n";
    source += "exact_bytes: " + raw_value(bytes) + "\n";
    same = true;
  }
  if (verified) *verified = same;
  return source;
}

}  // namespace nova::tools
