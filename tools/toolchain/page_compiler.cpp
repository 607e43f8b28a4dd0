// The page source compiler. Sections:
//   1. names and values (types, scopes, constants, property names)
//   2. reading the lines: directives, commands, nesting, text blocks
//   3. the fields of one command
//   4. targets and loops
//   5. the page: property sets, version, directives
#include "tools/toolchain/page_compiler.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "components/property_table.h"
#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "expr/types.h"
#include "platform/codepage.h"
#include "script/command_table.h"
#include "text/glyph_stream.h"
#include "text/tag_parser.h"

namespace nova::tools {

using script::CommandSpec;
using script::FieldKind;
using script::TCommandField;
using script::TCommandRecord;
using script::TExpression;
using script::TPageFile;

// --- 1. Names and values ----------------------------------------------------------

namespace {

// Page names compare as the file manager finds files: without regard to
// case, "/" standing for "\" (no trail byte is 0x2F).
std::string page_key(std::string_view page) {
  std::string key = core::upper(page);
  std::replace(key.begin(), key.end(), '/', '\\');
  return key;
}

}  // namespace

void TitleLabels::add(std::string_view page, std::map<std::string, int> labels) {
  m_pages[page_key(page)] = std::move(labels);
}

const std::map<std::string, int>* TitleLabels::find(std::string_view page) const {
  auto it = m_pages.find(page_key(page));
  return it == m_pages.end() ? nullptr : &it->second;
}

namespace {

bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool is_identifier(std::string_view s) {
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  return std::all_of(s.begin(), s.end(), is_name_char);
}

}  // namespace

std::string replace_constants(std::string_view s) {
  // Words run between the characters the compiler splits at; a double-byte
  // character is part of the word it stands in.
  auto splits = [](char c) {
    return std::string_view("\"()[],+-*/%|&^=<> \t").find(c) != std::string_view::npos && c != 0;
  };
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] == '"') {
      // A string literal, with the compiler's escapes, passes unchanged.
      std::size_t j = i + 1;
      while (j < s.size() && s[j] != '"') j += (s[j] == '\\' && j + 1 < s.size()) ? 2 : core::char_length(s, j);
      j = std::min(j + 1, s.size());
      out.append(s.substr(i, j - i));
      i = j;
      continue;
    }
    if (splits(s[i])) {
      out.push_back(s[i++]);
      continue;
    }
    std::size_t j = i;
    while (j < s.size() && (core::char_length(s, j) == 2 || !splits(s[j]))) j += core::char_length(s, j);
    const std::string_view word = s.substr(i, j - i);
    std::size_t k = j;
    while (k < s.size() && (s[k] == ' ' || s[k] == '\t')) ++k;
    const bool called = k < s.size() && (s[k] == '(' || s[k] == '[');
    auto value =
        called || word.find('_') == std::string_view::npos ? std::nullopt : components::find_prop_constant(word);
    if (value) {
      out += std::to_string(*value);
    } else {
      out.append(word);
    }
    i = j;
  }
  return out;
}

std::string compile_field_expression(std::string_view sjis_text, FieldUse use) {
  std::string text(sjis_text);
  if (use == FieldUse::Property) {
    const std::string_view t = trim(text);
    if (is_identifier(t)) {
      if (auto id = components::find_property(t)) text = std::to_string(static_cast<int>(*id));
    }
  } else if (use == FieldUse::PropertyValue) {
    text = replace_constants(text);
  }
  return TExpression::compile(text).stream();
}

// --- 2. Reading the lines ------------------------------------------------------------

namespace {

struct FieldText {
  std::string text;  // UTF-8, trimmed
  int line = 0;
  int column = 0;
  bool bare_flag = false;  // "; skip" without a value
};

struct SourceCommand {
  int code = 0;
  int line = 0;
  int column = 0;
  int indent = 0;
  int level = 0;
  std::map<std::string, FieldText> fields;  // by source name; "" never occurs
  std::vector<std::string> properties;      // component commands: property field names in source order
  bool has_text_block = false;
  std::vector<std::pair<int, std::string>> text_lines;  // line number, text (UTF-8)
};

struct Directive {
  std::string value;
  int line = 0;
  int column = 0;
};

}  // namespace

struct ParsedPageData {
  std::string file;
  std::string page_name;
  std::vector<SourceCommand> commands;
  std::map<std::string, int> labels;
  std::map<std::string, Directive> directives;
  std::vector<Directive> records;  // @record CODE BYTES
};

namespace {

// The ")" that closes the "(" at `open`, stepping over quoted strings and
// raw values; npos when there is none.
std::size_t matching_paren(std::string_view text, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < text.size();) {
    const char c = text[i];
    if (c == '"' || c == '`') {
      i = skip_quoted(text, i);
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')' && --depth == 0) return i;
    ++i;
  }
  return std::string_view::npos;
}

class LineReader {
 public:
  LineReader(ParsedPageData& page, Diagnostics& d) : m_page(page), m_d(d) {}

  void run(const std::vector<SourceLine>& lines) {
    // Open blocks: the indentation of their lines and their level.
    std::vector<std::pair<int, int>> blocks = {{0, 0}};
    SourceCommand* previous = nullptr;
    bool previous_opens = false;
    int text_base = -1;
    for (const SourceLine& l : lines) {
      const bool comment = !l.blank && l.text[0] == '#';
      // Lines indented below a command that opens no block belong to it: the
      // text of a TextIns, the fields of any other.
      if (previous && !previous_opens && (l.blank || l.indent > previous->indent)) {
        if (previous->code == script::CC_TEXTINS && previous->has_text_block) {
          if (l.blank) {
            previous->text_lines.emplace_back(l.number, "");
            continue;
          }
          if (l.indent > previous->indent) {
            if (text_base < 0) text_base = l.indent;
            std::string t(std::max(0, l.indent - text_base), ' ');
            previous->text_lines.emplace_back(l.number, t + l.text);
            continue;
          }
        } else if (!l.blank && l.indent > previous->indent) {
          if (previous->code == script::CC_TEXTINS && previous->fields.count("text") == 0) {
            previous->has_text_block = true;
            text_base = l.indent;
            previous->text_lines.emplace_back(l.number, l.text);
            continue;
          }
          if (comment) continue;
          continuation(*previous, l);
          continue;
        }
      }
      if (l.blank || comment) continue;
      if (l.text[0] == '@') {
        if (l.indent != 0) m_d.error(m_page.file, l.number, l.indent + 1, "a directive (@...) must not be indented");
        directive(l);
        continue;
      }
      finish_text(previous);
      text_base = -1;
      if (previous_opens && l.indent > blocks.back().first) {
        blocks.emplace_back(l.indent, blocks.back().second + 1);
      } else {
        const bool dedented = l.indent < blocks.back().first;
        while (blocks.size() > 1 && l.indent < blocks.back().first) blocks.pop_back();
        if (l.indent != blocks.back().first) {
          m_d.error(m_page.file, l.number, l.indent + 1,
                    dedented ? "bad indentation: the line matches no enclosing block"
                             : "unexpected indentation (only If, Elseif, Else and While open a block)");
        }
      }
      SourceCommand c;
      c.line = l.number;
      c.column = l.indent + 1;
      c.indent = l.indent;
      c.level = blocks.back().second;
      if (!command_line(c, l)) {
        previous = nullptr;
        previous_opens = false;
        continue;
      }
      m_page.commands.push_back(std::move(c));
      previous = &m_page.commands.back();
      previous_opens = command_syntax(previous->code).opens_block;
      if (previous->code == script::CC_LABEL) label(*previous);
    }
    finish_text(previous);
  }

 private:
  // Trailing blank lines are not part of a text.
  static void finish_text(SourceCommand* c) {
    if (!c) return;
    while (!c->text_lines.empty() && trim(c->text_lines.back().second).empty()) c->text_lines.pop_back();
  }

  void directive(const SourceLine& l) {
    std::string_view t = l.text;
    std::size_t n = 1;
    while (n < t.size() && is_name_char(t[n])) ++n;
    const std::string name = platform::codepage::to_lower(t.substr(1, n - 1));
    Directive d{std::string(trim(t.substr(n))), l.number, column_of(l, n)};
    static const std::set<std::string> known = {"version",       "returns",  "line_numbers", "property_records",
                                                "extra_records", "trailing", "body"};
    if (name == "record") {
      m_page.records.push_back(d);
      return;
    }
    if (!known.count(name)) {
      m_d.error(m_page.file, l.number, l.indent + 1, "unknown directive @" + name);
      return;
    }
    if (m_page.directives.count(name)) m_d.error(m_page.file, l.number, l.indent + 1, "@" + name + " given twice");
    m_page.directives[name] = d;
  }

  void label(const SourceCommand& c) {
    auto it = c.fields.find("name");
    // A Label without a name is the label of the empty name.
    StringValue v = it == c.fields.end() ? StringValue{} : parse_string_value(it->second.text);
    if (!v.error.empty()) return;  // reported when the field is compiled
    const int index = static_cast<int>(m_page.commands.size()) - 1;
    if (!m_page.labels.emplace(v.sjis, index).second) {
      m_d.warning(m_page.file, c.line, it == c.fields.end() ? c.column : it->second.column,
                  "the label \"" + (it == c.fields.end() ? std::string() : it->second.text) +
                      "\" is defined twice; targets go to the first");
    }
  }

  // A field segment "name: value" (or a bare flag name); false when the
  // segment is not one.
  static bool named_segment(std::string_view seg, std::string& name, std::string_view& value, bool& bare) {
    std::size_t n = 0;
    while (n < seg.size() && is_name_char(seg[n])) ++n;
    if (n == 0) return false;
    std::size_t k = n;
    while (k < seg.size() && (seg[k] == ' ' || seg[k] == '\t')) ++k;
    name = platform::codepage::to_lower(seg.substr(0, n));
    if (k == seg.size()) {
      bare = true;
      value = {};
      return true;
    }
    if (seg[k] != ':') return false;
    bare = false;
    value = trim(seg.substr(k + 1));
    return true;
  }

  bool known_field(int code, const std::string& name) const {
    if (is_head_field(name) || find_source_field(code, name)) return true;
    const CommandSyntax& syntax = command_syntax(code);
    if (syntax.form == Form::ComponentName && components::find_property(name)) return true;
    if (code == script::CC_GAMESAVE && name == "after_load") return true;
    if (code == script::CC_TEXTINS && (name == "text" || name == "initial_wait" || name == "text_version")) return true;
    if ((syntax.form == Form::Target || syntax.form == Form::CallTarget) && (name == "label" || name == "target")) {
      return true;
    }
    for (std::string_view p : syntax.positional) {
      if (p == name) return true;
    }
    if (syntax.form == Form::VarNew && (name == "name" || name == "initial")) return true;
    if (syntax.form == Form::CallTarget && name == "result") return true;
    return false;
  }

  void add_field(SourceCommand& c, const std::string& name, FieldText v) {
    if (!known_field(c.code, name)) {
      const CommandSpec& spec = script::command_spec(c.code);
      m_d.error(m_page.file, v.line, v.column,
                command_syntax(c.code).form == Form::ComponentName
                    ? "unknown property \"" + name + "\" for " + std::string(spec.name)
                    : "unknown field \"" + name + "\" for " + std::string(spec.name));
      return;
    }
    if (c.fields.count(name)) {
      m_d.error(m_page.file, v.line, v.column, "the field \"" + name + "\" is given twice");
      return;
    }
    if (command_syntax(c.code).form == Form::ComponentName && !is_head_field(name) && name != "mode" &&
        name != "names") {
      c.properties.push_back(name);
    }
    c.fields.emplace(name, std::move(v));
  }

  // A field written without a value is on: the flags skip, continue and
  // full, and every expression (TRUE).
  static bool may_be_bare(int code, const std::string& name) {
    if (name == "skip" || name == "continue") return true;
    if (command_syntax(code).form == Form::ComponentName && components::find_property(name)) return true;
    auto f = find_source_field(code, name);
    if (!f) return false;
    const script::FieldKind kind = script::command_spec(code).fields[f->index].kind;
    return kind == FieldKind::Expression || (kind == FieldKind::Byte && f->use == FieldUse::Plain);
  }

  void named_fields(SourceCommand& c, const SourceLine& l, std::size_t base, const std::vector<Segment>& segments,
                    std::size_t first) {
    for (std::size_t i = first; i < segments.size(); ++i) {
      const Segment& s = segments[i];
      if (s.text.empty()) continue;
      std::string name;
      std::string_view value;
      bool bare = false;
      if (!named_segment(s.text, name, value, bare)) {
        m_d.error(m_page.file, l.number, column_of(l, base + s.offset),
                  "expected a field as name: value, found \"" + s.text + "\"");
        continue;
      }
      FieldText v;
      v.text = bare ? "yes" : std::string(value);
      v.bare_flag = bare;
      v.line = l.number;
      const std::size_t value_offset = bare ? 0 : s.text.size() - value.size();
      v.column = column_of(l, base + s.offset + value_offset);
      if (bare && !may_be_bare(c.code, name)) {
        m_d.error(m_page.file, l.number, v.column, "the field \"" + name + "\" needs a value (" + name + ": ...)");
        continue;
      }
      add_field(c, name, std::move(v));
    }
  }

  void continuation(SourceCommand& c, const SourceLine& l) {
    named_fields(c, l, 0, split_segments(l.text, ';', false), 0);
  }

  bool command_line(SourceCommand& c, const SourceLine& l) {
    const std::string_view t = l.text;
    std::size_t n = 0;
    while (n < t.size() && is_name_char(t[n])) ++n;
    auto code = script::find_command(t.substr(0, n));
    if (n == 0 || !code || (n < t.size() && t[n] != ' ' && t[n] != '\t' && t[n] != ';')) {
      std::size_t end = n;
      while (end < t.size() && t[end] != ' ' && t[end] != '\t') ++end;
      m_d.error(m_page.file, l.number, l.indent + 1,
                "unknown command \"" + std::string(t.substr(0, std::max<std::size_t>(end, 1))) + "\"");
      return false;
    }
    c.code = *code;
    const CommandSyntax& syntax = command_syntax(c.code);
    const std::string_view rest = t.substr(n);
    const std::size_t base = n;

    // A comment's text is the rest of its line, unless it is quoted.
    if (c.code == script::CC_COMMENT && !trim(rest).empty() && trim(rest)[0] != '"') {
      const std::size_t lead = rest.find_first_not_of(" \t");
      c.fields["text"] = {std::string(trim(rest)), l.number, column_of(l, base + lead), false};
      return true;
    }
    std::vector<Segment> segments = split_segments(rest, ';', false);
    std::size_t first_named = 0;
    if (!segments.empty() && syntax.form != Form::None) {
      const Segment& s = segments[0];
      std::string name;
      std::string_view value;
      bool bare = false;
      const bool named =
          named_segment(s.text, name, value, bare) && !bare && known_field(c.code, name) && syntax.form != Form::Rest;
      if (!named) {
        if (!s.text.empty()) positional(c, l, base + s.offset, s.text);
        first_named = 1;
      }
    } else if (!segments.empty() && syntax.form == Form::None && !segments[0].text.empty()) {
      // Commands without positional values take named fields at once.
      std::string name;
      std::string_view value;
      bool bare = false;
      if (!named_segment(segments[0].text, name, value, bare)) {
        m_d.error(
            m_page.file, l.number, column_of(l, base + segments[0].offset),
            std::string(script::command_spec(c.code).name) + " takes no values here; write fields as name: value");
        first_named = 1;
      }
    }
    named_fields(c, l, base, segments, first_named);
    return true;
  }

  void put(SourceCommand& c, const SourceLine& l, std::string name, std::string text, std::size_t offset) {
    if (text.empty()) return;
    FieldText v{std::move(text), l.number, column_of(l, offset), false};
    add_field(c, name, std::move(v));
  }

  void positional(SourceCommand& c, const SourceLine& l, std::size_t offset, const std::string& text) {
    const CommandSyntax& syntax = command_syntax(c.code);
    switch (syntax.form) {
      case Form::None: break;
      case Form::Rest: put(c, l, std::string(syntax.positional[0]), text, offset); break;
      case Form::ComponentName: put(c, l, "name", text, offset); break;
      case Form::Target: put(c, l, "target", text, offset); break;
      case Form::Values: {
        auto values = split_segments(text, ',', true);
        if (values.size() > syntax.positional.size()) {
          m_d.error(m_page.file, l.number, column_of(l, offset + values[syntax.positional.size()].offset),
                    core::format("%s takes at most %d values before the first \";\"",
                                 {script::command_spec(c.code).name, static_cast<int>(syntax.positional.size())}));
          values.resize(syntax.positional.size());
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
          put(c, l, std::string(syntax.positional[i]), values[i].text, offset + values[i].offset);
        }
        break;
      }
      case Form::CallTarget: call_target(c, l, offset, text); break;
      case Form::VarNew: var_new(c, l, offset, text); break;
    }
  }

  // TARGET [( ARGUMENTS )] [-> RESULT]
  void call_target(SourceCommand& c, const SourceLine& l, std::size_t offset, const std::string& text) {
    std::size_t open = find_unquoted(text, '(');
    std::size_t arrow = std::string::npos;
    for (std::size_t i = find_unquoted(text, '-'); i != std::string::npos; i = find_unquoted(text, '-', i + 1)) {
      if (i + 1 < text.size() && text[i + 1] == '>' && (open == std::string::npos || i < open)) {
        arrow = i;
        break;
      }
    }
    if (arrow != std::string::npos) open = std::string::npos;
    std::size_t target_end = std::min(open, arrow);
    put(c, l, "target", std::string(trim(std::string_view(text).substr(0, std::min(target_end, text.size())))), offset);
    std::size_t after = text.size();
    if (open != std::string::npos) {
      const std::size_t close = matching_paren(text, open);
      if (close == std::string::npos) {
        m_d.error(m_page.file, l.number, column_of(l, offset + open), "the arguments' \"(\" is not closed");
        return;
      }
      const std::string args = text.substr(open + 1, close - open - 1);
      if (!trim(args).empty()) put(c, l, "args", std::string(trim(args)), offset + open + 1);
      after = close + 1;
      std::string_view rest = trim(std::string_view(text).substr(after));
      if (!rest.empty()) {
        if (rest.substr(0, 2) != "->") {
          m_d.error(m_page.file, l.number, column_of(l, offset + after), "expected \"-> result\" after the arguments");
          return;
        }
        arrow = text.find("->", after);
      }
    }
    if (arrow != std::string::npos) {
      put(c, l, "result", std::string(trim(std::string_view(text).substr(arrow + 2))), offset + arrow + 2);
    }
  }

  // [scope] type name [= initial]
  void var_new(SourceCommand& c, const SourceLine& l, std::size_t offset, const std::string& text) {
    std::size_t i = 0;
    auto word = [&]() -> std::pair<std::string, std::size_t> {
      while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
      std::size_t s = i;
      while (i < text.size() && is_name_char(text[i])) ++i;
      return {text.substr(s, i - s), s};
    };
    auto [first, first_at] = word();
    std::size_t mark = i;
    if (parse_scope_name(first)) {
      put(c, l, "scope", first, offset + first_at);
      std::tie(first, first_at) = word();
      mark = i;
    }
    if (!parse_type_name(first)) {
      m_d.error(m_page.file, l.number, column_of(l, offset + first_at),
                "VarNew needs a type and a name, as in: VarNew int count = 0 (types: int, float, bool, str)");
      return;
    }
    put(c, l, "type", first, offset + first_at);
    std::string_view rest = std::string_view(text).substr(mark);
    const std::size_t eq = find_unquoted(rest, '=');
    const std::size_t lead = rest.find_first_not_of(" \t");
    put(c, l, "name", std::string(trim(rest.substr(0, eq))), offset + mark + (lead == std::string::npos ? 0 : lead));
    if (eq != std::string_view::npos) {
      std::string_view init = rest.substr(eq + 1);
      const std::size_t at = init.find_first_not_of(" \t");
      if (at == std::string_view::npos) {
        m_d.error(m_page.file, l.number, column_of(l, offset + mark + eq), "an initial value must follow \"=\"");
      } else {
        put(c, l, "initial", std::string(trim(init)), offset + mark + eq + 1 + at);
      }
    }
  }

  ParsedPageData& m_page;
  Diagnostics& m_d;
};

}  // namespace

PageSource::PageSource() : m_data(std::make_unique<ParsedPageData>()) {}
PageSource::PageSource(PageSource&&) noexcept = default;
PageSource& PageSource::operator=(PageSource&&) noexcept = default;
PageSource::~PageSource() = default;

const std::string& PageSource::page_name() const { return m_data->page_name; }
const std::map<std::string, int>& PageSource::labels() const { return m_data->labels; }

PageSource PageSource::parse(std::string_view utf8_text, std::string file, std::string page_name, Diagnostics& d) {
  PageSource p;
  p.m_data->file = std::move(file);
  p.m_data->page_name = std::move(page_name);
  const std::vector<SourceLine> lines = split_source(utf8_text, p.m_data->file, d);
  LineReader(*p.m_data, d).run(lines);
  return p;
}

// --- 3. The fields of one command ------------------------------------------------

namespace {

struct Target {
  std::optional<std::string> page;
  std::optional<std::string> label;
  std::optional<std::int32_t> index;
};

// An open While: its command, its level, and the Break and Continue
// commands inside it that wait for its WhileLoop.
struct OpenLoop {
  std::size_t while_index;
  int level;
  std::vector<std::size_t> exits;
};

class Compiler {
 public:
  Compiler(const ParsedPageData& p, const TitleLabels* title, Diagnostics& d) : m_p(p), m_title(title), m_d(d) {}

  TPageFile run() {
    TPageFile page;
    page_header(page);
    for (std::size_t i = 0; i < m_p.commands.size(); ++i) {
      m_records.push_back(command(m_p.commands[i], i));
      loops(m_p.commands[i], i);
    }
    close_loops(SIZE_MAX);
    finish_page(page);
    return page;
  }

 private:
  void error(int line, int column, const std::string& message) { m_d.error(m_p.file, line, column, message); }

  const FieldText* field(const SourceCommand& c, std::string_view name) const {
    auto it = c.fields.find(std::string(name));
    return it == c.fields.end() ? nullptr : &it->second;
  }

  std::optional<std::int64_t> number(const FieldText& v, std::int64_t low, std::int64_t high, std::string_view what) {
    auto n = parse_integer(v.text);
    if (!n || *n < low || *n > high) {
      error(v.line, v.column,
            core::format("%s must be a number from %d to %d, not \"%s\"",
                         {what, static_cast<long long>(low), static_cast<long long>(high), v.text}));
      return std::nullopt;
    }
    return n;
  }

  std::optional<std::int64_t> flag(const FieldText& v, std::int64_t high = 255) {
    auto n = parse_flag(v.text);
    if (!n || *n < 0 || *n > high) {
      error(v.line, v.column, "expected yes, no or a number, not \"" + v.text + "\"");
      return std::nullopt;
    }
    return n;
  }

  std::optional<std::string> string_value(const FieldText& v) {
    StringValue s = parse_string_value(v.text);
    if (!s.error.empty()) {
      error(v.line, v.column, s.error);
      return std::nullopt;
    }
    return s.sjis;
  }

  TExpression expression(const FieldText& v, FieldUse use) {
    if (v.bare_flag) return TExpression::compile("TRUE");
    if (v.text.empty()) return {};
    if (is_raw_value(v.text)) {
      auto bytes = parse_raw_value(v.text);
      if (!bytes) {
        error(v.line, v.column, "a raw value holds hexadecimal digits only");
        return {};
      }
      try {
        return TExpression::from_stream(*bytes);
      } catch (const core::Error& e) {
        error(v.line, v.column, "the raw expression is no compiled expression: " + utf8(e.message()));
        return {};
      }
    }
    std::string message;
    auto text = to_sjis(v.text, &message);
    if (!text) {
      error(v.line, v.column, message);
      return {};
    }
    try {
      return TExpression::from_stream(compile_field_expression(*text, use));
    } catch (const core::Error& e) {
      error(v.line, v.column, "in the expression \"" + v.text + "\": " + utf8(e.message()));
      return {};
    }
  }

  std::vector<TExpression> expression_list(const FieldText& v) {
    std::vector<TExpression> out;
    for (const Segment& s : split_segments(v.text, ',', true)) {
      FieldText item{s.text, v.line, v.column + static_cast<int>(s.offset), false};
      out.push_back(expression(item, FieldUse::Plain));
    }
    return out;
  }

  Target target(const FieldText& v) {
    Target t;
    std::string_view text = trim(v.text);
    std::string_view rest;
    if (!text.empty() && text[0] == '"') {
      std::size_t length = 0;
      StringValue page = parse_quoted_prefix(text, length);
      if (!page.error.empty()) {
        error(v.line, v.column, page.error);
        return t;
      }
      t.page = page.sjis;
      rest = trim(text.substr(length));
    } else {
      const std::size_t colon = text.find(':');
      std::string_view page = trim(text.substr(0, colon));
      if (!page.empty()) {
        StringValue s = parse_string_value(page);
        if (!s.error.empty()) {
          error(v.line, v.column, s.error);
          return t;
        }
        t.page = s.sjis;
      }
      rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
    }
    if (rest.empty()) return t;
    if (rest[0] != ':') {
      error(v.line, v.column, "expected \":label\" after the page in \"" + v.text + "\"");
      return t;
    }
    rest = trim(rest.substr(1));
    if (!rest.empty() && rest[0] == '#') {
      auto n = parse_integer(rest.substr(1));
      if (!n || *n < INT32_MIN || *n > INT32_MAX) {
        error(v.line, v.column, "expected a command index after \"#\" in \"" + v.text + "\"");
      } else {
        t.index = static_cast<std::int32_t>(*n);
      }
      return t;
    }
    StringValue label = parse_string_value(rest);
    if (!label.error.empty()) {
      error(v.line, v.column, label.error);
    } else {
      t.label = label.sjis;
    }
    return t;
  }

  // The stored page and index of a target (the page field, the index field).
  void resolve(const SourceCommand& c, Target t, const FieldText* at, TCommandField& page_field,
               TCommandField& index_field) {
    if (!t.page && (t.label || t.index)) t.page = m_p.page_name;
    page_field.bytes = t.page.value_or("");
    if (t.index) {
      index_field.number = *t.index;
      return;
    }
    index_field.number = 0;
    if (!t.label) return;
    const std::map<std::string, int>* labels = nullptr;
    if (page_key(*t.page) == page_key(m_p.page_name)) {
      labels = &m_p.labels;
    } else if (m_title) {
      labels = m_title->find(*t.page);
    }
    const int line = at ? at->line : c.line;
    const int column = at ? at->column : c.column;
    if (!labels) {
      error(line, column,
            "the page \"" + utf8(*t.page) + "\" is not part of this title, so its labels are unknown (give #index)");
      return;
    }
    auto it = labels->find(*t.label);
    if (it == labels->end()) {
      error(line, column, "undefined label \"" + utf8(*t.label) + "\" on the page \"" + utf8(*t.page) + "\"");
      return;
    }
    index_field.number = it->second;
  }

  // The target of Jump, Call, PCReset, Reset and GameSave's after-load place.
  void targets(const SourceCommand& c, TCommandRecord& r) {
    const bool save = c.code == script::CC_GAMESAVE;
    const FieldText* t = field(c, save ? "after_load" : "target");
    Target target;
    if (t) target = this->target(*t);
    if (const FieldText* p = field(c, save ? "after_load_page" : "page")) {
      if (auto s = string_value(*p)) target.page = *s;
    }
    if (const FieldText* l = field(c, "label"); l && !save) {
      if (auto s = string_value(*l)) target.label = *s;
    }
    if (const FieldText* n = field(c, save ? "after_load_index" : "index")) {
      if (auto v = number(*n, INT32_MIN, INT32_MAX, "the index")) target.index = static_cast<std::int32_t>(*v);
    }
    resolve(c, target, t, r.field(save ? "after_load_page" : "page"), r.field(save ? "after_load_index" : "index"));
  }

  // An explicit loop index: ":label", ":#N" or N.
  std::optional<std::int32_t> loop_index(const FieldText& v) {
    std::string_view text = trim(v.text);
    if (!text.empty() && text[0] == ':') {
      Target t = target(v);
      if (t.page) error(v.line, v.column, "a loop index names a label of this page, without a page");
      if (t.index) return t.index;
      if (!t.label) return std::nullopt;
      auto it = m_p.labels.find(*t.label);
      if (it == m_p.labels.end()) {
        error(v.line, v.column, "undefined label \"" + utf8(*t.label) + "\"");
        return std::nullopt;
      }
      return it->second;
    }
    auto n = number(v, INT32_MIN, INT32_MAX, "the index");
    if (!n) return std::nullopt;
    return static_cast<std::int32_t>(*n);
  }

  void text_field(const SourceCommand& c, TCommandRecord& r) {
    const FieldText* text = field(c, "text");
    if (!c.has_text_block && !text) return;
    std::int32_t wait = kDefaultTextWait;
    if (const FieldText* w = field(c, "initial_wait")) {
      if (auto n = number(*w, INT32_MIN, INT32_MAX, "the initial wait")) wait = static_cast<std::int32_t>(*n);
    }
    text::StreamVersion version = text::kCurrentStreamVersion;
    if (const FieldText* v = field(c, "text_version")) {
      if (core::equal_ci(v->text, "none")) {
        version = text::StreamVersion::headerless();
      } else if (auto n = number(*v, 0, 999, "the text version")) {
        version = {static_cast<int>(*n), true};
      }
    }
    std::vector<std::string> lines;
    int line = c.line;
    if (text) {
      line = text->line;
      if (is_raw_value(text->text)) {
        auto bytes = parse_raw_value(text->text);
        if (!bytes) {
          error(text->line, text->column, "a raw value holds hexadecimal digits only");
        } else {
          r.field("text").bytes = *bytes;
        }
        return;
      }
      auto s = string_value(*text);
      if (!s) return;
      lines = text::split_lines(*s);
    } else {
      bool ok = true;
      for (const auto& [number, t] : c.text_lines) {
        std::string message;
        auto s = to_sjis(t, &message);
        if (!s) {
          error(number, 0, message);
          ok = false;
          continue;
        }
        lines.push_back(*s);
      }
      if (!ok) return;
    }
    try {
      const text::ParsedText parsed = text::parse_tagged_lines(lines, text::ParseOptions{wait});
      auto bytes = text::write_glyph_stream(parsed, version);
      r.field("text").bytes.assign(bytes.begin(), bytes.end());
    } catch (const core::Error& e) {
      error(line, 0, "in the text: " + utf8(e.message()));
    }
  }

  TCommandRecord command(const SourceCommand& c, std::size_t index) {
    TCommandRecord r = TCommandRecord::make(c.code);
    const CommandSpec& spec = script::command_spec(c.code);
    const CommandSyntax& syntax = command_syntax(c.code);
    r.nesting_level = c.level;
    r.line_number = line_number(c, index);
    r.continue_flag = syntax.continue_default;
    if (const FieldText* v = field(c, "skip")) r.skip_flag = static_cast<std::uint8_t>(flag(*v).value_or(0));
    if (const FieldText* v = field(c, "continue")) r.continue_flag = static_cast<std::uint8_t>(flag(*v).value_or(0));
    if (const FieldText* v = field(c, "line")) {
      r.line_number = static_cast<std::int32_t>(number(*v, INT32_MIN, INT32_MAX, "the line number").value_or(0));
    }
    if (const FieldText* v = field(c, "level")) {
      r.nesting_level = static_cast<std::int32_t>(number(*v, INT32_MIN, INT32_MAX, "the level").value_or(0));
    }
    if (const FieldText* v = field(c, "code_byte")) {
      if (auto n = number(*v, 0, 255, "the code byte")) {
        if ((*n & 0x7F) != c.code) {
          error(v->line, v->column, "the code byte must hold the command's code in its low 7 bits");
        } else {
          r.code_byte = static_cast<std::uint8_t>(*n);
        }
      }
    }

    if (syntax.form == Form::ComponentName) {
      std::map<int, std::string> seen;
      for (const std::string& name : c.properties) {
        const FieldText& v = c.fields.at(name);
        const auto id = static_cast<int>(*components::find_property(name));
        if (seen.count(id)) {
          error(v.line, v.column, "the property " + name + " is given twice (also as " + seen[id] + ")");
          continue;
        }
        seen[id] = name;
        r.properties.push_back({id, expression(v, FieldUse::PropertyValue)});
      }
      std::sort(r.properties.begin(), r.properties.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    }

    for (std::size_t i = 0; i < spec.fields.size(); ++i) {
      TCommandField& f = r.fields[i];
      const FieldUse use = use_of(c.code, i);
      if (use == FieldUse::TargetPage || use == FieldUse::TargetIndex || use == FieldUse::LoopIndex) continue;
      const std::string_view name = source_name_of(c.code, i);
      const FieldText* v = field(c, name);
      switch (f.kind) {
        case FieldKind::Expression:
          if (v) {
            f.expression = expression(*v, use);
          } else if (name == "if" && condition_defaults_true(c.code)) {
            f.expression = TExpression::compile("TRUE");
          }
          break;
        case FieldKind::ExpressionList:
          if (v) f.expressions = expression_list(*v);
          break;
        case FieldKind::String:
          if (v) f.bytes = string_value(*v).value_or("");
          break;
        case FieldKind::Byte:
          if (!v) break;
          if (use == FieldUse::VarType || use == FieldUse::VarScope) {
            auto k = use == FieldUse::VarType ? parse_type_name(v->text) : parse_scope_name(v->text);
            if (k) {
              f.number = *k;
            } else if (auto n = number(*v, 0, 255, use == FieldUse::VarType ? "the type" : "the scope")) {
              f.number = static_cast<std::int32_t>(*n);
            }
          } else {
            f.number = static_cast<std::int32_t>(flag(*v).value_or(0));
          }
          break;
        case FieldKind::Text: text_field(c, r); break;
        case FieldKind::Int: break;
      }
    }
    if (c.code == script::CC_VARNEW && !field(c, "name")) {
      error(c.line, c.column, "VarNew needs a variable name");
    }
    if (syntax.form == Form::Target || syntax.form == Form::CallTarget || c.code == script::CC_GAMESAVE) {
      targets(c, r);
    }
    return r;
  }

  int line_number(const SourceCommand& c, std::size_t index) {
    auto it = m_p.directives.find("line_numbers");
    if (it == m_p.directives.end() || it->second.value == "source") return c.line;
    if (!m_line_base) {
      std::string_view v = it->second.value;
      if (v.substr(0, 5) == "index") {
        v = trim(v.substr(5));
        if (v.empty()) m_line_base = 0;
        if (!v.empty() && (v[0] == '+' || v[0] == '-')) {
          if (auto n = parse_integer(v)) m_line_base = static_cast<int>(*n);
        }
      }
      if (!m_line_base) {
        error(it->second.line, it->second.column, "@line_numbers takes \"source\" or \"index+N\"");
        m_line_base = 0;
      }
    }
    return static_cast<int>(index) + *m_line_base;
  }

  // --- 4. Loops ---------------------------------------------------------------

  void close_loops(std::size_t below_level) {
    while (!m_loops.empty() &&
           (below_level == SIZE_MAX || static_cast<std::size_t>(m_loops.back().level) >= below_level)) {
      const OpenLoop& open = m_loops.back();
      const SourceCommand& w = m_p.commands[open.while_index];
      if (!field(w, "exit")) error(w.line, w.column, "While without a WhileLoop at its indentation after its block");
      for (std::size_t e : open.exits) {
        const SourceCommand& b = m_p.commands[e];
        if (!field(b, "to")) error(b.line, b.column, "the loop around this command has no WhileLoop");
      }
      m_loops.pop_back();
    }
  }

  void loops(const SourceCommand& c, std::size_t index) {
    TCommandRecord& r = m_records[index];
    if (c.code == script::CC_WHILELOOP) {
      while (!m_loops.empty() && m_loops.back().level > c.level)
        close_loops(static_cast<std::size_t>(m_loops.back().level));
      const FieldText* explicit_loop = field(c, "loop");
      if (!m_loops.empty() && m_loops.back().level == c.level) {
        const OpenLoop open = m_loops.back();
        m_loops.pop_back();
        TCommandRecord& w = m_records[open.while_index];
        if (!field(m_p.commands[open.while_index], "exit"))
          w.field("exit_index").number = static_cast<std::int32_t>(index + 1);
        for (std::size_t e : open.exits) {
          if (!field(m_p.commands[e], "to")) {
            m_records[e].field("index").number =
                static_cast<std::int32_t>(m_p.commands[e].code == script::CC_BREAK ? index + 1 : index);
          }
        }
        r.field("loop_index").number = static_cast<std::int32_t>(open.while_index);
      } else if (!explicit_loop) {
        error(c.line, c.column, "WhileLoop without a While at its indentation");
      }
      if (explicit_loop) {
        if (auto n = loop_index(*explicit_loop)) r.field("loop_index").number = *n;
      }
      return;
    }
    close_loops(static_cast<std::size_t>(std::max(c.level, 0)));
    if (c.code == script::CC_WHILE) {
      m_loops.push_back({index, c.level, {}});
      if (const FieldText* v = field(c, "exit")) {
        if (auto n = loop_index(*v)) r.field("exit_index").number = *n;
      }
    }
    if (c.code == script::CC_BREAK || c.code == script::CC_CONTINUE) {
      if (const FieldText* v = field(c, "to")) {
        if (auto n = loop_index(*v)) r.field("index").number = *n;
      } else if (m_loops.empty()) {
        error(c.line, c.column,
              std::string(script::command_spec(c.code).name) + " outside a loop (give to: :label or to: #-1)");
      } else {
        m_loops.back().exits.push_back(index);
      }
    }
  }

  // --- 5. The page --------------------------------------------------------------

  std::optional<std::string> raw_directive(const Directive& d, std::string_view name) {
    auto bytes = parse_raw_value(d.value);
    if (!bytes) error(d.line, d.column, "@" + std::string(name) + " takes a raw value `...`");
    return bytes;
  }

  // The directive @name of the page, or null.
  const Directive* dir(const char* name) const {
    auto it = m_p.directives.find(name);
    return it == m_p.directives.end() ? nullptr : &it->second;
  }

  void page_header(TPageFile& page) {
    if (const Directive* d = dir("returns")) {
      if (auto k = parse_type_name(d->value)) {
        page.return_type = static_cast<std::uint8_t>(*k);
      } else if (auto n = parse_integer(d->value); n && *n >= 0 && *n <= 255) {
        page.return_type = static_cast<std::uint8_t>(*n);
      } else {
        error(d->line, d->column, "@returns takes int, float, bool, str, none or a number");
      }
    }
    if (const Directive* d = dir("version")) {
      auto n = parse_integer(d->value);
      if (!n || *n < INT32_MIN || *n > INT32_MAX) {
        error(d->line, d->column, "@version takes a number");
      } else {
        m_version = static_cast<std::int32_t>(*n);
      }
    }
  }

  void finish_page(TPageFile& page) {
    // The version: as given, or the lowest that stores every field used.
    page.version = m_version.value_or(needed_page_version(m_records));
    if (page.is_newer()) {
      const Directive* body = dir("body");
      if (!m_p.commands.empty()) {
        error(m_p.commands[0].line, 1, "a page newer than the player (@version above 115) holds no commands");
      }
      if (body) page.newer_body = raw_directive(*body, "body").value_or("");
      return;
    }
    if (m_version) {
      for (std::size_t i = 0; i < m_records.size(); ++i) {
        const CommandSpec& spec = m_records[i].spec();
        for (std::size_t k = 0; k < spec.fields.size(); ++k) {
          if (!spec.fields[k].present_in(page.version) && !script::field_is_empty(m_records[i].fields[k])) {
            error(m_p.commands[i].line, m_p.commands[i].column,
                  core::format("the field %s of %s is stored only by pages of version %d and above (the page "
                               "says @version %d)",
                               {source_name_of(m_records[i].code(), k), spec.name, spec.fields[k].above_version + 1,
                                page.version}));
          }
        }
      }
    }

    // Property sets: the union of what each code's commands give, unless a
    // record says otherwise; every command then holds one expression per
    // property of its code's set.
    script::TPropertyTable table = script::property_table_for(m_records);
    std::int32_t count = script::kCommandCount, size = script::kPropertySetBytes;
    if (const Directive* d = dir("property_records")) {
      auto parts = split_segments(d->value, ' ', false);
      std::vector<std::int64_t> n;
      for (const Segment& s : parts) {
        if (s.text.empty()) continue;
        if (auto v = parse_integer(s.text)) n.push_back(*v);
      }
      // A page may claim any number of empty records, but the bytes the
      // directive makes must stay within what a page file can hold.
      constexpr std::int64_t kMaxRecordBytes = std::int64_t{1} << 28;
      if (n.size() != 2 || n[0] < 0 || n[1] < 0 || n[0] > INT32_MAX || n[1] > INT32_MAX ||
          (n[1] > 0 && n[0] > kMaxRecordBytes / n[1])) {
        error(d->line, d->column, "@property_records takes a count and a size (at most 256 MiB of records)");
      } else {
        count = static_cast<std::int32_t>(n[0]);
        size = static_cast<std::int32_t>(n[1]);
      }
    }
    std::map<int, std::string> stored;
    for (const Directive& d : m_p.records) {
      const std::size_t space = d.value.find_first_of(" \t");
      auto code = parse_integer(d.value.substr(0, space));
      auto bytes = space == std::string::npos ? std::nullopt : parse_raw_value(d.value.substr(space));
      if (!code || *code < 0 || *code >= std::min(count, script::kCommandCount) || !bytes ||
          bytes->size() != static_cast<std::size_t>(size)) {
        error(d.line, d.column,
              core::format("@record takes a code below %d and `...` of %d bytes",
                           {std::min(count, script::kCommandCount), size}));
        continue;
      }
      const auto c = static_cast<std::size_t>(*code);
      const script::TPropertySet used = table[c];
      auto& set = table[c].bytes();
      std::fill(set.begin(), set.end(), 0);
      std::copy_n(bytes->begin(), std::min<std::size_t>(bytes->size(), set.size()), set.begin());
      for (int id : used.ids()) {
        if (!table[c].has(id)) {
          error(
              d.line, d.column,
              core::format("the record of code %d leaves out the property %s that its commands give",
                           {static_cast<int>(c), components::kProperties[static_cast<std::size_t>(id)].short_name()}));
        }
      }
      stored[static_cast<int>(c)] = *bytes;
    }
    page.record_count = count;
    page.record_size = size;
    page.property_records.clear();
    for (int c = 0; c < std::min(count, script::kCommandCount); ++c) {
      auto it = stored.find(c);
      if (it != stored.end()) {
        page.property_records.push_back(it->second);
        continue;
      }
      const auto& set = table[static_cast<std::size_t>(c)].bytes();
      std::string rec(reinterpret_cast<const char*>(set.data()), set.size());
      if (static_cast<std::size_t>(size) < rec.size()) {
        if (rec.find_first_not_of('\0', static_cast<std::size_t>(size)) != std::string::npos) {
          error(0, 0,
                core::format("property-set records of %d bytes cannot hold the properties of code %d", {size, c}));
        }
      }
      rec.resize(static_cast<std::size_t>(size), '\0');
      page.property_records.push_back(std::move(rec));
    }
    for (int c = count; c < script::kCommandCount; ++c) {
      if (!table[static_cast<std::size_t>(c)].empty()) {
        error(0, 0, core::format("%d property-set records leave no room for the properties of code %d", {count, c}));
      }
      table[static_cast<std::size_t>(c)] = {};
    }
    if (const Directive* d = dir("extra_records")) {
      page.extra_records = raw_directive(*d, "extra_records").value_or("");
    } else if (count > script::kCommandCount) {
      page.extra_records.assign(
          static_cast<std::size_t>(count - script::kCommandCount) * static_cast<std::size_t>(size), '\0');
    }
    if (count > script::kCommandCount &&
        page.extra_records.size() !=
            static_cast<std::size_t>(count - script::kCommandCount) * static_cast<std::size_t>(size)) {
      error(dir("extra_records") ? dir("extra_records")->line : 0, 0,
            "@extra_records must hold the records of the codes above 60");
    }
    const script::TPropertyTable final_table = page.property_table();
    for (TCommandRecord& r : m_records) {
      if (!r.spec().has_properties) continue;
      std::vector<script::TPropertyExpression> full;
      for (int id : final_table[static_cast<std::size_t>(r.code())].ids()) {
        const script::TPropertyExpression* p = r.property(id);
        full.push_back(p ? *p : script::TPropertyExpression{id, {}});
      }
      r.properties = std::move(full);
    }
    if (const Directive* d = dir("trailing")) page.trailing = raw_directive(*d, "trailing").value_or("");
    if (dir("body")) error(dir("body")->line, 1, "@body belongs to pages newer than the player (@version above 115)");
    page.commands = std::move(m_records);
  }

  const ParsedPageData& m_p;
  const TitleLabels* m_title;
  Diagnostics& m_d;
  std::vector<TCommandRecord> m_records;
  std::vector<OpenLoop> m_loops;
  std::optional<std::int32_t> m_version;
  std::optional<int> m_line_base;
};

}  // namespace

std::int32_t needed_page_version(std::span<const TCommandRecord> commands) {
  std::int32_t needed = script::kNewPageVersion;
  for (const TCommandRecord& r : commands) {
    const CommandSpec& spec = r.spec();
    for (std::size_t k = 0; k < spec.fields.size(); ++k) {
      if (spec.fields[k].above_version >= 0 && !script::field_is_empty(r.fields[k])) {
        needed = std::max(needed, spec.fields[k].above_version + 1);
      }
    }
  }
  return needed;
}

TPageFile PageSource::compile(const TitleLabels* title, Diagnostics& diagnostics) const {
  return Compiler(*m_data, title, diagnostics).run();
}

std::optional<TPageFile> compile_page_source(std::string_view utf8_text, const std::string& file,
                                             const std::string& page_name, Diagnostics& diagnostics) {
  const int before = diagnostics.error_count();
  PageSource source = PageSource::parse(utf8_text, file, page_name, diagnostics);
  TPageFile page = source.compile(nullptr, diagnostics);
  if (diagnostics.error_count() > before) return std::nullopt;
  return page;
}

}  // namespace nova::tools
