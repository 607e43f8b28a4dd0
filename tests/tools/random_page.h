// Random pages made with the script engine's writers: every command code,
// every version rule, fields of every kind with awkward values (separators,
// quotes, double-byte characters, control bytes), glyph streams of every
// version, property sets beyond what the commands use, records of odd
// shapes, and expressions both from the compiler and from elsewhere.
#pragma once

#include <string>
#include <vector>

#include "core/binary_io.h"
#include "random_text.h"
#include "script/command_table.h"
#include "script/page_file.h"
#include "text/glyph_stream.h"
#include "text/tag_parser.h"
#include "tools/toolchain/expr_stream.h"

namespace nova::test {

class RandomPage {
 public:
  explicit RandomPage(std::uint32_t seed) : m_r(seed) {}

  // How many expressions of the last page did not come from the compiler.
  int foreign_expressions() const { return m_foreign; }
  // How many glyph streams of the last page were not written from a parse.
  int foreign_texts() const { return m_foreign_texts; }

  script::TPageFile page(const std::string& own_name, bool odd_shapes = true) {
    using namespace script;
    m_foreign = 0;
    m_foreign_texts = 0;
    m_odd = odd_shapes;
    TPageFile p;
    static const int kVersions[] = {103, 104, 105, 106, 107, 108, 110, 111, 115, 102, 60};
    p.version = kVersions[m_r.pick(odd_shapes ? 11 : 9)];
    if (odd_shapes && m_r.chance(3)) {
      p.version = 116 + m_r.pick(10);
      p.newer_body = bytes(m_r.pick(40));
      return p;
    }
    p.return_type = static_cast<std::uint8_t>(m_r.chance(80) ? 1 : m_r.pick(7));
    const int n = m_r.pick(30);
    // Component codes and the properties each may hold on this page.
    std::vector<std::vector<int>> sets(kCommandCount);
    for (int code = 0; code < kCommandCount; ++code) {
      const int k = m_r.pick(5);
      for (int i = 0; i < k; ++i) sets[static_cast<std::size_t>(code)].push_back(m_r.pick(kPropertyIdCount));
    }
    int level = 0;
    int line = 1 + m_r.pick(5);
    std::vector<std::string> labels;
    for (int i = 0; i < n; ++i) {
      const int code = m_r.pick(kCommandCount);
      TCommandRecord r = TCommandRecord::make(code);
      if (odd_shapes && m_r.chance(5)) r.code_byte = static_cast<std::uint8_t>(code | 0x80);
      // Mostly a structure that indentation gives, sometimes any level.
      level = std::max(0, level + m_r.pick(3) - 1);
      r.nesting_level = odd_shapes && m_r.chance(5) ? m_r.pick(9) - 2 : level;
      r.skip_flag = static_cast<std::uint8_t>(m_r.chance(85) ? 0 : odd_shapes && m_r.chance(30) ? 2 : 1);
      r.continue_flag = static_cast<std::uint8_t>(m_r.chance(50) ? 1 : odd_shapes && m_r.chance(10) ? 7 : 0);
      line += m_r.chance(10) ? 100 : m_r.pick(3) + 1;
      r.line_number = odd_shapes && m_r.chance(5) ? m_r.pick(1000) - 10 : line;
      const CommandSpec& spec = command_spec(code);
      for (std::size_t f = 0; f < spec.fields.size(); ++f) {
        if (!spec.fields[f].present_in(p.version)) continue;
        fill(r.fields[f], spec.fields[f], own_name, n, labels);
      }
      if (code == CC_LABEL) labels.push_back(r.fields[0].bytes);
      if (spec.has_properties) {
        for (int id : sets[static_cast<std::size_t>(code)]) {
          if (r.property(id)) continue;
          r.properties.push_back({id, m_r.chance(30) ? TExpression() : expression()});
        }
        std::sort(r.properties.begin(), r.properties.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
      }
      p.commands.push_back(std::move(r));
    }
    // Every command of a code holds the same properties: the union.
    TPropertyTable table = property_table_for(p.commands);
    if (odd_shapes && m_r.chance(20)) table[static_cast<std::size_t>(m_r.pick(kCommandCount))].set(m_r.pick(168));
    for (TCommandRecord& r : p.commands) {
      if (!r.spec().has_properties) continue;
      std::vector<TPropertyExpression> full;
      for (int id : table[static_cast<std::size_t>(r.code())].ids()) {
        const TPropertyExpression* have = r.property(id);
        full.push_back(have ? *have : TPropertyExpression{id, {}});
      }
      r.properties = std::move(full);
    }
    p.set_property_table(table);
    p.record_count = kCommandCount;
    if (odd_shapes && m_r.chance(10)) {
      // Longer records, and records of codes that do not exist.
      const int extra = 4;
      p.record_size = kPropertySetBytes + extra;
      for (std::string& rec : p.property_records) {
        rec.resize(static_cast<std::size_t>(p.record_size), '\0');
        if (m_r.chance(10)) rec.back() = 'x';
      }
      p.record_count = kCommandCount + 2;
      p.extra_records = std::string(2 * static_cast<std::size_t>(p.record_size), m_r.chance(50) ? '\0' : 'y');
    }
    if (odd_shapes && m_r.chance(10)) p.trailing = bytes(1 + m_r.pick(8));
    return p;
  }

 private:
  std::string bytes(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(m_r.pick(256)));
    return s;
  }

  std::string string_value() {
    static const char* const kParts[] = {"abc", "sub.nsb", " lead", "trail ", "a;b", "a:b", "\"q\"",     "x,y",
                                         "#1",  "(p)",     "a->b",  "`",      "\\",  "",    "tab\there", "="};
    if (m_odd && m_r.chance(5)) return bytes(1 + m_r.pick(6));
    std::string s;
    const int k = 1 + m_r.pick(2);
    for (int i = 0; i < k; ++i) s += m_r.chance(15) ? sjis("名前表") : kParts[m_r.pick(16)];
    return s;
  }

  script::TExpression expression() {
    if (m_odd && m_r.chance(8)) {
      // Not from the compiler: a renumbered temporary, or bytes of no use.
      ++m_foreign;
      tools::ExprStream s;
      tools::ExprOp plus;
      plus.code = 2;
      plus.target = "____" + std::to_string(10 + m_r.pick(50));
      plus.operands.resize(2);
      plus.operands[0].text = "a";
      plus.operands[1].kind = tools::OperandKind::Int;
      plus.operands[1].int_value = m_r.pick(100);
      tools::ExprOp to;
      to.code = 1;
      to.target = "____arg";
      to.operands.resize(1);
      to.operands[0].text = plus.target;
      s.ops = {plus, to};
      if (m_r.chance(30)) s.ops[0].code = 0;
      return script::TExpression::from_stream(tools::write_expr_stream(s));
    }
    for (;;) {
      try {
        return script::TExpression::compile(m_r.expression(2));
      } catch (const core::Error&) {
      }
    }
  }

  std::string glyph_stream() {
    static const char* const kTexts[] = {"plain text",
                                         "<B>bold</B> and <I>italic</I>",
                                         "a<BR>b<BR CLEAR>c",
                                         "<FONT SIZE=20 COLOR=#FF0000>red</FONT>",
                                         "<RUBY VALUE=\"ruby\">漢字</RUBY>",
                                         "<A HREF=\"x\">link</A>",
                                         "<WAIT VALUE=10>slow</WAIT> fast",
                                         "<DIV ALIGN=CENTER>mid</DIV>",
                                         "<VAR NAME=\"score\"> points",
                                         "<IMG SRC=\"a.png\" ALIGN=TOP>",
                                         "two  spaces",
                                         "\\<not a tag\\>",
                                         "<EVENT VALUE=\"go\" END>",
                                         "<NOBR>together</NOBR>",
                                         "<INDENT>in<UNDENT>",
                                         "表ソ|ポ"};
    if (m_odd && m_r.chance(5)) {
      ++m_foreign_texts;
      return bytes(m_r.pick(30));
    }
    std::vector<std::string> lines;
    const int k = 1 + m_r.pick(3);
    for (int i = 0; i < k; ++i) lines.push_back(sjis(kTexts[m_r.pick(16)]));
    text::ParseOptions o;
    o.initial_wait = m_r.chance(80) ? 50 : m_r.pick(200);
    text::ParsedText t = text::parse_tagged_lines(lines, o);
    static const text::StreamVersion kVersions[] = {
        text::kCurrentStreamVersion, {101, true}, {100, true}, text::StreamVersion::headerless()};
    const text::StreamVersion v = m_odd ? kVersions[m_r.pick(4)] : text::kCurrentStreamVersion;
    try {
      auto out = text::write_glyph_stream(t, v);
      return std::string(out.begin(), out.end());
    } catch (const core::Error&) {
      auto out = text::write_glyph_stream(t, text::kCurrentStreamVersion);
      return std::string(out.begin(), out.end());
    }
  }

  void fill(script::TCommandField& f, const script::FieldSpec& spec, const std::string& own_name, int n,
            const std::vector<std::string>& labels) {
    using script::FieldKind;
    switch (f.kind) {
      case FieldKind::Expression:
        if (m_r.chance(70)) f.expression = m_r.chance(10) ? script::TExpression::compile("TRUE") : expression();
        break;
      case FieldKind::ExpressionList: {
        const int k = m_r.pick(4);
        for (int i = 0; i < k; ++i) f.expressions.push_back(m_r.chance(15) ? script::TExpression() : expression());
        break;
      }
      case FieldKind::String:
        if (spec.name == "page" || spec.name == "after_load_page") {
          f.bytes = m_r.chance(60) ? own_name : m_r.chance(50) ? "other.nsb" : string_value();
        } else if (spec.name == "name" && !labels.empty() && m_r.chance(20)) {
          f.bytes = labels[static_cast<std::size_t>(m_r.pick(static_cast<int>(labels.size())))];  // a duplicate label
        } else if (m_r.chance(80)) {
          f.bytes = string_value();
        }
        break;
      case FieldKind::Text:
        if (m_r.chance(85)) f.bytes = glyph_stream();
        break;
      case FieldKind::Int: f.number = m_r.chance(80) ? m_r.pick(n + 2) - 1 : m_r.pick(100000) - 50000; break;
      case FieldKind::Byte: f.number = m_r.chance(70) ? m_r.pick(5) : m_r.pick(256); break;
    }
  }

  RandomText m_r;
  bool m_odd = true;
  int m_foreign = 0;
  int m_foreign_texts = 0;
};

}  // namespace nova::test
