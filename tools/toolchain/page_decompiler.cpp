// The page decompiler. Sections:
//   1. values: expressions, strings, texts, targets
//   2. one command as source lines
//   3. the page, and the exact dump's check by building it
#include "tools/toolchain/page_decompiler.h"

#include <algorithm>
#include <map>

#include "components/property_table.h"
#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "expr/types.h"
#include "platform/codepage.h"
#include "script/command_table.h"
#include "text/glyph_stream.h"
#include "text/tag_parser.h"
#include "text/tag_writer.h"
#include "text/tokenizer.h"
#include "tools/toolchain/command_syntax.h"
#include "tools/toolchain/expr_decompiler.h"
#include "tools/toolchain/expr_stream.h"

namespace nova::tools {

using script::CommandSpec;
using script::FieldKind;
using script::TCommandField;
using script::TCommandRecord;
using script::TExpression;
using script::TPageFile;

std::map<std::string, int> page_labels(const TPageFile& page) {
  std::map<std::string, int> labels;
  for (std::size_t i = 0; i < page.commands.size(); ++i) {
    const TCommandRecord& r = page.commands[i];
    if (r.code() == script::CC_LABEL) labels.emplace(r.field("name").bytes, static_cast<int>(i));
  }
  return labels;
}

namespace {

// Blank lines put in to bring a command to its stored line number; a longer
// gap is written as a line field instead.
constexpr int kMaxPadding = 40;
// Component commands with more properties than this list them one a line.
constexpr std::size_t kPropertiesOnOneLine = 3;

// What the writer must spell out for one command because building the
// plain source gave something else.
struct Forced {
  bool level = false;
  bool line = false;
  bool loop = false;
  bool target_index = false;
};

// --- 1. Values ------------------------------------------------------------------

// A glyph stream as the lines of a text block, or as one "text:" value.
struct TextForm {
  std::vector<std::string> block;  // UTF-8 lines
  std::string field;               // the text: value when there is no block
  std::int32_t initial_wait = kDefaultTextWait;
  std::optional<text::StreamVersion> version;  // when not the current one
};

// Lines that parse back to the same stream: the tagged text, broken after
// line-break tags where the break cannot change what the next line says.
std::optional<std::vector<std::string>> text_lines(const std::string& tagged, const text::ParsedText& stored,
                                                   std::int32_t wait) {
  std::vector<std::string> lines;
  std::string current;
  for (std::size_t i = 0; i < tagged.size();) {
    const std::size_t n = core::char_length(tagged, i);
    current.append(tagged, i, n);
    i += n;
    const bool after_break = current.size() >= 4 && (current.ends_with("<BR>") || current.ends_with("<BR CLEAR>"));
    if (after_break && i < tagged.size() && tagged[i] != ' ') {
      lines.push_back(current);
      current.clear();
    }
  }
  lines.push_back(current);
  std::vector<std::string> utf8;
  for (const std::string& l : lines) {
    auto u = exact_utf8(l);
    if (!u || u->empty() || u->front() == ' ' || u->back() == ' ') return std::nullopt;
    utf8.push_back(*u);
  }
  try {
    const text::ParsedText again = text::parse_tagged_lines(lines, text::ParseOptions{wait});
    if (text::write_glyph_stream(again, stored.version()) != text::write_glyph_stream(stored)) return std::nullopt;
  } catch (const core::Error&) {
    return std::nullopt;
  }
  return utf8;
}

std::optional<TextForm> text_form(const std::string& bytes) {
  text::ParsedText stored;
  try {
    core::ByteReader r(bytes);
    stored = text::read_glyph_stream(r);
    if (!r.at_end()) return std::nullopt;
    // The stream must be what writing its glyphs gives, or no text can be.
    auto again = text::write_glyph_stream(stored);
    if (std::string(again.begin(), again.end()) != bytes) return std::nullopt;
  } catch (const core::Error&) {
    return std::nullopt;
  }
  // The wait every character starts with is the one most of them have.
  std::map<std::int32_t, int> waits;
  for (const text::TWdGlyph& g : stored.glyphs()) {
    if (auto* c = std::get_if<text::TWdChar>(&g)) ++waits[c->wait];
  }
  std::vector<std::int32_t> candidates = {kDefaultTextWait};
  for (const auto& [w, n] : waits) {
    if (w != kDefaultTextWait) candidates.push_back(w);
  }
  std::stable_sort(candidates.begin() + 1, candidates.end(), [&](auto a, auto b) { return waits[a] > waits[b]; });
  for (std::int32_t wait : candidates) {
    auto tagged = text::exact_tagged_text(stored, wait);
    if (!tagged) continue;
    TextForm f;
    f.initial_wait = wait;
    if (stored.version() != text::kCurrentStreamVersion) f.version = stored.version();
    f.field = quoted_source(*tagged);
    if (auto lines = text_lines(*tagged, stored, wait)) f.block = *lines;
    return f;
  }
  return std::nullopt;
}

class Values {
 public:
  Values(const PageDumpOptions& options, PageDumpStats& stats) : m_options(options), m_stats(stats) {}

  // An expression as source text (UTF-8); a raw value when no text gives its
  // bytes (or, for plain dumps, its operations).
  std::string expression(const TExpression& e, FieldUse use) {
    ++m_stats.expressions;
    const std::string& stream = e.stream();
    const auto key = std::make_pair(stream, use);
    auto it = m_cache.find(key);
    if (it == m_cache.end()) it = m_cache.emplace(key, find_text(stream, use)).first;
    if (!it->second) {
      ++m_stats.raw_expressions;
      return raw_value(stream);
    }
    return *it->second;
  }

  // The text form of a glyph stream. Every write round asks for the same
  // texts again, so each is worked out once.
  const std::optional<TextForm>& text(const std::string& bytes) {
    auto it = m_texts.find(bytes);
    if (it == m_texts.end()) it = m_texts.emplace(bytes, text_form(bytes)).first;
    return it->second;
  }

  std::vector<std::string> operations(const TExpression& e) const {
    try {
      std::vector<std::string> out;
      for (const std::string& l : format_operations(parse_expr_stream(e.stream()))) {
        out.push_back(platform::codepage::to_utf8(l));
      }
      return out;
    } catch (const core::Error&) {
      return {"(not a compiled expression)"};
    }
  }

 private:
  static bool placeable(std::string_view utf8) {
    return !utf8.empty() && find_unquoted(utf8, ';') == std::string_view::npos && utf8.front() != '`';
  }

  std::optional<std::string> find_text(const std::string& stream, FieldUse use) const {
    auto compile = [use](std::string_view text) { return compile_field_expression(text, use); };
    // A property id is shown by the property's name.
    if (use == FieldUse::Property) {
      try {
        const ExprStream s = parse_expr_stream(stream);
        if (s.ops.size() == 1 && s.ops[0].target == "____arg" && s.ops[0].operands.size() == 1 &&
            s.ops[0].operands[0].kind == OperandKind::Int &&
            components::is_property_id(s.ops[0].operands[0].int_value)) {
          const auto& row = components::kProperties[static_cast<std::size_t>(s.ops[0].operands[0].int_value)];
          std::string name = platform::codepage::to_lower(row.short_name());
          if (compile(name) == stream) return name;
        }
      } catch (const core::Error&) {
      }
    }
    DecompileOptions o;
    o.compile = compile;
    o.acceptable = [](std::string_view sjis) {
      auto u = exact_utf8(sjis);
      return u && placeable(*u);
    };
    o.want_exact = m_options.exact;
    o.budget = m_options.expression_budget;
    DecompiledExpression d = decompile_expression(stream, o);
    if (d.match == DecompileMatch::None || (m_options.exact && d.match != DecompileMatch::Exact)) return std::nullopt;
    return exact_utf8(d.text);
  }

  const PageDumpOptions& m_options;
  PageDumpStats& m_stats;
  std::map<std::pair<std::string, FieldUse>, std::optional<std::string>> m_cache;
  std::map<std::string, std::optional<TextForm>> m_texts;
};

// A page or label of a target, bare when it reads back the same.
std::string target_part(std::string_view sjis, std::string_view separators) {
  std::string s = string_source(sjis, separators);
  if (!s.empty() && s[0] != '"' && (s[0] == '#' || s.find("->") != std::string::npos)) return quoted_source(sjis);
  return s;
}

// --- 2. One command -------------------------------------------------------------

struct CommandLines {
  std::string head;                   // name and positional values
  std::vector<std::string> named;     // "name: value" on the command's line
  std::vector<std::string> below;     // "name: value" on lines of their own
  std::vector<std::string> text;      // a text block
  std::string text_field;             // the same text as a "text:" value
  std::vector<std::string> comments;  // --ops
};

class CommandWriter {
 public:
  CommandWriter(const TPageFile& page, const PageDumpOptions& options, Values& values, PageDumpStats& stats,
                const std::map<std::string, int>& own_labels)
      : m_page(page), m_options(options), m_values(values), m_stats(stats) {
    for (const auto& [name, index] : own_labels) m_own_by_index.emplace(index, name);
  }

  CommandLines write(std::size_t index, const Forced& forced, const std::vector<int>& extra_empty) {
    const TCommandRecord& r = m_page.commands[index];
    const int code = r.code();
    const CommandSpec& spec = script::command_spec(code);
    const CommandSyntax& syntax = command_syntax(code);
    CommandLines out;
    out.head = std::string(spec.name);
    std::map<std::string, std::string> present;  // source field name -> value
    std::vector<std::string> order;              // table order of present fields
    auto set = [&](std::string_view name, std::string value) {
      present[std::string(name)] = std::move(value);
      order.emplace_back(name);
    };

    for (std::size_t i = 0; i < spec.fields.size(); ++i) {
      const TCommandField& f = r.fields[i];
      const FieldUse use = use_of(code, i);
      const std::string_view name = source_name_of(code, i);
      if (use == FieldUse::TargetPage || use == FieldUse::TargetIndex || use == FieldUse::LoopIndex) continue;
      switch (f.kind) {
        case FieldKind::Expression:
          if (name == "if" && condition_defaults_true(code)) {
            if (f.expression == TExpression::compile("TRUE")) break;
            if (f.expression.empty()) {
              set(name, "");
              break;
            }
          }
          if (f.expression.empty()) break;
          set(name, m_values.expression(f.expression, use));
          if (m_options.ops) add_ops(out, name, f.expression);
          break;
        case FieldKind::ExpressionList: {
          if (f.expressions.empty()) break;
          std::string list;
          for (std::size_t k = 0; k < f.expressions.size(); ++k) {
            if (k) list += ", ";
            list += f.expressions[k].empty() ? raw_value(f.expressions[k].stream())
                                             : m_values.expression(f.expressions[k], FieldUse::Plain);
            if (m_options.ops) add_ops(out, core::format("%s[%d]", {name, static_cast<int>(k)}), f.expressions[k]);
          }
          set(name, list);
          break;
        }
        case FieldKind::String:
          // A variable's name is spelled out even when empty: sources name
          // their variables.
          if (!f.bytes.empty() || code == script::CC_VARNEW) {
            set(name, f.bytes.empty() ? "\"\"" : string_source(f.bytes, ";,"));
          }
          break;
        case FieldKind::Byte:
          if (use == FieldUse::VarType || use == FieldUse::VarScope) {
            const auto& names = use == FieldUse::VarType ? std::span<const std::string_view>(kTypeNames)
                                                         : std::span<const std::string_view>(kScopeNames);
            if (use == FieldUse::VarScope && f.number == 0) break;
            set(name, static_cast<std::size_t>(f.number) < names.size()
                          ? std::string(names[static_cast<std::size_t>(f.number)])
                          : std::to_string(f.number));
          } else if (f.number != 0) {
            set(name, f.number == 1 ? "yes" : std::to_string(f.number));
          }
          break;
        case FieldKind::Text: text(out, f.bytes, present, order); break;
        case FieldKind::Int: break;
      }
    }

    // Positional values, by the command's form.
    std::string positional;
    auto take = [&](const std::string& name) {
      auto it = present.find(name);
      if (it == present.end()) return std::optional<std::string>();
      std::string v = it->second;
      present.erase(it);
      order.erase(std::find(order.begin(), order.end(), name));
      return std::optional<std::string>(v);
    };
    switch (syntax.form) {
      case Form::None: break;
      case Form::Rest:
        if (code == script::CC_COMMENT) {
          positional = comment_text(r.field("text").bytes, forced, r);
          take("text");
        } else if (auto v = take(std::string(syntax.positional[0]))) {
          positional = *v;
        }
        break;
      case Form::Values: {
        std::vector<std::string> values;
        for (std::string_view p : syntax.positional) {
          if (!present.count(std::string(p))) break;
          values.push_back(*take(std::string(p)));
        }
        for (std::size_t k = 0; k < values.size(); ++k) positional += (k ? ", " : "") + values[k];
        break;
      }
      case Form::ComponentName: break;  // the name property, below
      case Form::Target: positional = target(r, forced, "page", "index"); break;
      case Form::CallTarget: {
        positional = target(r, forced, "page", "index");
        if (auto args = take("args")) positional += "(" + *args + ")";
        if (present.count("result")) {
          const std::string& result = r.field("result").bytes;
          auto bare = exact_utf8(result);
          if (bare && !bare->empty() && bare->find_first_of(";\"`") == std::string::npos && trim(*bare) == *bare) {
            positional += " -> " + *bare;
            take("result");
          }
        }
        break;
      }
      case Form::VarNew: positional = var_new(r, present, order); break;
    }
    if (code == script::CC_GAMESAVE) {
      const std::string t = target(r, forced, "after_load_page", "after_load_index");
      if (!t.empty()) set("after_load", t);
    }

    std::vector<std::string> named;
    for (const std::string& name : order) named.push_back(name + ": " + present[name]);

    // Component properties, in id order; the name goes first, positionally.
    if (syntax.form == Form::ComponentName) {
      std::vector<std::string> props;
      for (const script::TPropertyExpression& p : r.properties) {
        const bool keep = std::find(extra_empty.begin(), extra_empty.end(), p.id) != extra_empty.end();
        if (p.expression.empty() && !keep) continue;
        const std::string name =
            platform::codepage::to_lower(components::kProperties[static_cast<std::size_t>(p.id)].short_name());
        std::string value = p.expression.empty() ? "" : m_values.expression(p.expression, FieldUse::PropertyValue);
        if (m_options.ops && !p.expression.empty()) add_ops(out, name, p.expression);
        if (p.id == components::PR_NAME && !p.expression.empty() && positional.empty()) {
          positional = value;
          continue;
        }
        props.push_back(name + ":" + (value.empty() ? "" : " " + value));
      }
      if (props.size() > kPropertiesOnOneLine) {
        out.below = props;
      } else {
        named.insert(named.begin(), props.begin(), props.end());
      }
    }

    head_fields(r, syntax, forced, named);
    if (!positional.empty()) out.head += " " + positional;
    out.named = std::move(named);
    return out;
  }

  void line_field(CommandLines& lines, std::int32_t line) { lines.named.push_back(core::format("line: %d", {line})); }

 private:
  void add_ops(CommandLines& out, std::string_view field, const TExpression& e) {
    for (const std::string& l : m_values.operations(e)) out.comments.push_back("#   " + std::string(field) + ": " + l);
  }

  void head_fields(const TCommandRecord& r, const CommandSyntax& syntax, const Forced& forced,
                   std::vector<std::string>& named) {
    if (r.skip_flag) named.push_back(r.skip_flag == 1 ? "skip" : core::format("skip: %d", {r.skip_flag}));
    if (r.continue_flag != syntax.continue_default) {
      named.push_back(r.continue_flag <= 1 ? std::string(r.continue_flag ? "continue: yes" : "continue: no")
                                           : core::format("continue: %d", {r.continue_flag}));
    }
    if (r.code_byte != r.code()) named.push_back(core::format("code_byte: %d", {r.code_byte}));
    if (forced.level) named.push_back(core::format("level: %d", {r.nesting_level}));
    if (forced.loop) {
      const int code = r.code();
      if (code == script::CC_WHILE) named.push_back(core::format("exit: %d", {r.field("exit_index").number}));
      if (code == script::CC_WHILELOOP) named.push_back(core::format("loop: %d", {r.field("loop_index").number}));
      if (code == script::CC_BREAK || code == script::CC_CONTINUE) {
        named.push_back(core::format("to: %d", {r.field("index").number}));
      }
    }
  }

  // A comment's text runs to the end of its line; quoted when it would not
  // come back the same or when fields must follow it.
  std::string comment_text(const std::string& text, const Forced& forced, const TCommandRecord& r) {
    auto u = exact_utf8(text);
    const bool fields = r.skip_flag || r.continue_flag != command_syntax(script::CC_COMMENT).continue_default ||
                        r.code_byte != r.code() || forced.level || forced.line || m_options.exact;
    if (text.empty()) return fields ? "\"\"" : "";
    if (u && !fields && trim(*u) == *u && u->front() != '"' &&
        std::none_of(u->begin(), u->end(), [](char c) { return static_cast<std::uint8_t>(c) < 0x20; })) {
      return *u;
    }
    return quoted_source(text);
  }

  void text(CommandLines& out, const std::string& bytes, std::map<std::string, std::string>& present,
            std::vector<std::string>& order) {
    if (bytes.empty()) return;
    ++m_stats.texts;
    const std::optional<TextForm>& form = m_values.text(bytes);
    auto set = [&](const std::string& name, std::string value) {
      present[name] = std::move(value);
      order.push_back(name);
    };
    if (!form) {
      ++m_stats.raw_texts;
      set("text", raw_value(bytes));
      return;
    }
    if (form->initial_wait != kDefaultTextWait) set("initial_wait", std::to_string(form->initial_wait));
    if (form->version) set("text_version", form->version->header ? std::to_string(form->version->number) : "none");
    if (form->block.empty()) {
      set("text", form->field);
    } else {
      out.text = form->block;
      out.text_field = form->field;
    }
  }

  // The label of `index` on `page`, or nullopt.
  std::optional<std::string> label_at(std::string_view page, std::int32_t index) const {
    if (page == m_options.page_name) {
      auto it = m_own_by_index.find(index);
      if (it != m_own_by_index.end()) return it->second;
      return std::nullopt;
    }
    if (!m_options.title) return std::nullopt;
    const std::map<std::string, int>* labels = m_options.title->find(page);
    if (!labels) return std::nullopt;
    for (const auto& [name, at] : *labels) {
      if (at == index) return name;
    }
    return std::nullopt;
  }

  std::string target(const TCommandRecord& r, const Forced& forced, std::string_view page_field,
                     std::string_view index_field) {
    const std::string& page = r.field(page_field).bytes;
    const std::int32_t index = r.field(index_field).number;
    const bool call = r.code() == script::CC_CALL;
    const std::string separators = call ? ":;(" : ":;";
    if (page.empty() && index == 0) return {};
    std::string out;
    const bool own = page == m_options.page_name;
    if (page.empty()) {
      out = "\"\"";
    } else if (!own) {
      out = target_part(page, separators);
    }
    auto label = forced.target_index ? std::nullopt : label_at(page, index);
    if (label) return out + ":" + target_part(*label, separators);
    if (index == 0 && !own && !page.empty()) return out;
    return out + core::format(":#%d", {index});
  }

  std::string var_new(const TCommandRecord& r, std::map<std::string, std::string>& present,
                      std::vector<std::string>& order) {
    const std::int32_t type = r.field("type").number;
    const std::int32_t scope = r.field("scope").number;
    const std::string& name = r.field("name").bytes;
    auto u = exact_utf8(name);
    const bool bare_name = u && !u->empty() && std::all_of(u->begin(), u->end(), [](char c) {
                             return static_cast<std::uint8_t>(c) > 0x20 && c != '=' && c != ';' && c != '"' && c != '`';
                           });
    if (type < 0 || type > 4 || scope < 0 || scope > 3 || !bare_name) return {};
    auto drop = [&](const std::string& n) {
      present.erase(n);
      order.erase(std::remove(order.begin(), order.end(), n), order.end());
    };
    std::string out;
    if (scope != 0) out += std::string(kScopeNames[static_cast<std::size_t>(scope)]) + " ";
    out += std::string(kTypeNames[static_cast<std::size_t>(type)]) + " " + *u;
    auto init = present.find("initial");
    if (init != present.end()) out += " = " + init->second;
    drop("scope");
    drop("type");
    drop("name");
    drop("initial");
    return out;
  }

  const TPageFile& m_page;
  const PageDumpOptions& m_options;
  Values& m_values;
  PageDumpStats& m_stats;
  std::map<int, std::string> m_own_by_index;
};

// --- 3. The page ------------------------------------------------------------------

// The levels open blocks give, as the compiler reads indentation.
struct Indentation {
  std::vector<int> levels = {0};  // of the open blocks, outermost first
  bool previous_opens = false;

  // The depth (number of blocks in) to write a command at so that it gets
  // `level`, or the nearest one (then the level must be written).
  std::pair<std::size_t, bool> place(int level) {
    if (previous_opens && level == levels.back() + 1) {
      levels.push_back(level);
      return {levels.size() - 1, true};
    }
    for (std::size_t d = levels.size(); d-- > 0;) {
      if (levels[d] == level) {
        levels.resize(d + 1);
        return {d, true};
      }
    }
    // No depth gives it: stay where the nearest lower block is.
    std::size_t d = levels.size() - 1;
    while (d > 0 && levels[d] > level) --d;
    levels.resize(d + 1);
    return {d, false};
  }
};

class PageWriter {
 public:
  PageWriter(const TPageFile& page, const PageDumpOptions& options, PageDumpStats& stats)
      : m_page(page), m_options(options), m_stats(stats), m_values(options, stats), m_labels(page_labels(page)) {}

  enum class Lines : std::uint8_t { Source, Index };

  std::string write(const std::vector<Forced>& forced, Lines lines, int index_base, int* explicit_lines) {
    m_out.clear();
    m_stats.expressions = m_stats.raw_expressions = m_stats.texts = m_stats.raw_texts = 0;
    if (explicit_lines) *explicit_lines = 0;
    header(lines, index_base);
    if (m_page.is_newer()) return finish();
    const auto empty_props = all_empty_properties();
    std::vector<bool> code_seen(script::kCommandCount, false);
    CommandWriter writer(m_page, m_options, m_values, m_stats, m_labels);
    Indentation indentation;
    for (std::size_t i = 0; i < m_page.commands.size(); ++i) {
      const TCommandRecord& r = m_page.commands[i];
      Forced f = forced[i];
      auto [depth, exact_level] = indentation.place(r.nesting_level);
      if (!exact_level) f.level = true;
      std::vector<int> extra;
      if (!code_seen[static_cast<std::size_t>(r.code())]) {
        code_seen[static_cast<std::size_t>(r.code())] = true;
        extra = empty_props[static_cast<std::size_t>(r.code())];
      }
      CommandLines c = writer.write(i, f, extra);
      indentation.previous_opens = command_syntax(r.code()).opens_block;
      const std::string indent(depth * 4, ' ');
      for (const std::string& comment : c.comments) m_out.push_back(indent + comment);
      if (m_options.exact) {
        bool explicit_line = f.line;
        if (lines == Lines::Index) {
          explicit_line = explicit_line || r.line_number != static_cast<int>(i) + index_base;
        } else if (!explicit_line) {
          const int next = static_cast<int>(m_out.size()) + 1;
          if (r.line_number >= next && r.line_number - next <= kMaxPadding) {
            while (static_cast<int>(m_out.size()) + 1 < r.line_number) m_out.emplace_back();
          } else {
            explicit_line = true;
          }
        }
        if (explicit_line) {
          writer.line_field(c, r.line_number);
          if (explicit_lines) ++*explicit_lines;
        }
      }
      // Properties and texts go on lines of their own unless that would
      // push the next command past its stored line.
      if (m_options.exact && i + 1 < m_page.commands.size()) {
        const int next_line = m_page.commands[i + 1].line_number;
        if (!c.below.empty() && next_line <= static_cast<int>(m_out.size() + 1 + c.below.size() + c.text.size())) {
          c.named.insert(c.named.begin(), c.below.begin(), c.below.end());
          c.below.clear();
        }
        if (!c.text.empty() && next_line <= static_cast<int>(m_out.size() + 1 + c.text.size())) {
          c.named.push_back("text: " + c.text_field);
          c.text.clear();
        }
      }
      std::string line = indent + c.head;
      for (std::size_t k = 0; k < c.named.size(); ++k) line += (k == 0 && c.head.empty() ? " " : "; ") + c.named[k];
      m_out.push_back(line);
      for (const std::string& b : c.below) m_out.push_back(indent + "    " + b);
      for (const std::string& t : c.text) m_out.push_back(indent + "    " + t);
    }
    return finish();
  }

  int index_base() const { return m_page.commands.empty() ? 0 : m_page.commands[0].line_number; }
  bool index_lines_fit() const {
    for (std::size_t i = 0; i < m_page.commands.size(); ++i) {
      if (m_page.commands[i].line_number != static_cast<int>(i) + index_base()) return false;
    }
    return !m_page.commands.empty();
  }

 private:
  std::string finish() const {
    std::string s;
    for (const std::string& l : m_out) s += l + "\n";
    return s;
  }

  // Per code: properties in the page's set that no command of the code
  // gives a value; the first command of the code names them (empty) so
  // that the set comes back whole.
  std::vector<std::vector<int>> all_empty_properties() const {
    std::vector<std::vector<int>> out(script::kCommandCount);
    const script::TPropertyTable table = m_page.property_table();
    for (int code = 0; code < script::kCommandCount; ++code) {
      if (!script::command_spec(code).has_properties) continue;
      for (int id : table[static_cast<std::size_t>(code)].ids()) {
        bool given = false;
        for (const TCommandRecord& r : m_page.commands) {
          if (r.code() != code) continue;
          const script::TPropertyExpression* p = r.property(id);
          given = given || (p && !p->expression.empty());
        }
        if (!given) out[static_cast<std::size_t>(code)].push_back(id);
      }
    }
    return out;
  }

  void header(Lines lines, int index_base) {
    const bool exact = m_options.exact;
    const std::int32_t needed = needed_page_version(m_page.commands);
    const std::int32_t v = m_page.version;
    if (m_page.is_newer() || v <= script::kRefusedPageVersion || (exact && v != needed)) {
      m_out.push_back(core::format("@version %d", {v}));
    }
    if (m_page.is_newer()) {
      m_out.push_back("@body " + raw_value(m_page.newer_body));
      return;
    }
    if (m_page.return_type != 1) {
      m_out.push_back(m_page.return_type <= 4 ? "@returns " + std::string(kTypeNames[m_page.return_type])
                                              : core::format("@returns %d", {m_page.return_type}));
    }
    if (!exact) return;
    if (lines == Lines::Index) {
      m_out.push_back(index_base >= 0 ? core::format("@line_numbers index+%d", {index_base})
                                      : core::format("@line_numbers index%d", {index_base}));
    }
    // Records: their count, their size, and those that differ from what the
    // commands give.
    const bool standard_shape =
        m_page.record_count == script::kCommandCount && m_page.record_size == script::kPropertySetBytes;
    if (!standard_shape)
      m_out.push_back(core::format("@property_records %d %d", {m_page.record_count, m_page.record_size}));
    // The property table that building the written commands gives.
    const script::TPropertyTable derived = script::property_table_for(m_page.commands);
    for (std::size_t c = 0; c < m_page.property_records.size(); ++c) {
      const auto& set = derived[c].bytes();
      std::string expected(reinterpret_cast<const char*>(set.data()), set.size());
      expected.resize(static_cast<std::size_t>(m_page.record_size), '\0');
      if (m_page.property_records[c] != expected) {
        m_out.push_back(core::format("@record %d %s", {static_cast<int>(c), raw_value(m_page.property_records[c])}));
      }
    }
    if (!m_page.extra_records.empty() && m_page.extra_records.find_first_not_of('\0') != std::string::npos) {
      m_out.push_back("@extra_records " + raw_value(m_page.extra_records));
    }
    if (!m_page.trailing.empty()) m_out.push_back("@trailing " + raw_value(m_page.trailing));
  }

  const TPageFile& m_page;
  const PageDumpOptions& m_options;
  PageDumpStats& m_stats;
  Values m_values;
  std::map<std::string, int> m_labels;
  std::vector<std::string> m_out;
};

}  // namespace

std::string dump_page(const TPageFile& page, const PageDumpOptions& options, PageDumpStats& stats) {
  PageWriter writer(page, options, stats);
  std::vector<Forced> forced(page.commands.size());
  const std::vector<std::uint8_t> want = page.bytes();
  std::string source;
  // Write, build what was written, and spell out whatever came back
  // otherwise: nesting levels, indexes and (for exact dumps) line numbers.
  for (int round = 0; round < 4; ++round) {
    int explicit_lines = 0;
    PageWriter::Lines mode = PageWriter::Lines::Source;
    source = writer.write(forced, mode, 0, options.exact ? &explicit_lines : nullptr);
    if (explicit_lines > 0 && writer.index_lines_fit()) {
      mode = PageWriter::Lines::Index;
      source = writer.write(forced, mode, writer.index_base(), nullptr);
    }
    Diagnostics d;
    PageSource parsed = PageSource::parse(source, "dump", options.page_name, d);
    TPageFile built = parsed.compile(options.title, d);
    if (options.exact && !d.has_errors() && built.bytes() == want) {
      stats.verified = true;
      return source;
    }
    bool changed = false;
    bool differs = d.has_errors() || built.commands.size() != page.commands.size();
    for (std::size_t i = 0; i < page.commands.size() && i < built.commands.size(); ++i) {
      const TCommandRecord& a = page.commands[i];
      const TCommandRecord& b = built.commands[i];
      Forced& f = forced[i];
      auto force = [&](bool& flag) {
        differs = true;
        if (!flag) changed = true;
        flag = true;
      };
      if (a.nesting_level != b.nesting_level) force(f.level);
      if (options.exact && a.line_number != b.line_number && mode == PageWriter::Lines::Source) force(f.line);
      for (std::size_t k = 0; k < a.fields.size() && k < b.fields.size(); ++k) {
        if (a.fields[k].kind != FieldKind::Int || a.fields[k].number == b.fields[k].number) continue;
        force(use_of(a.code(), k) == FieldUse::LoopIndex ? f.loop : f.target_index);
      }
    }
    // A loop the structure cannot pair up (one without its WhileLoop) shows
    // as an error rather than as a difference: spell out every loop index.
    if (d.has_errors()) {
      for (std::size_t i = 0; i < page.commands.size(); ++i) {
        const int code = page.commands[i].code();
        if (code == script::CC_WHILE || code == script::CC_WHILELOOP || code == script::CC_BREAK ||
            code == script::CC_CONTINUE) {
          if (!forced[i].loop) changed = true;
          forced[i].loop = true;
        }
      }
    }
    if (!options.exact && !differs) return source;
    if (!changed) break;
  }
  return source;
}

}  // namespace nova::tools
