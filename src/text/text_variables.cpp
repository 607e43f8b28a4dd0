#include "text/text_variables.h"

#include <algorithm>

#include "core/binary_io.h"
#include "core/error.h"
#include "core/sjis.h"
#include "expr/nova_parser.h"

namespace nova::text {

namespace {

// Clamps a glyph range to the text: last -1 or past the end is the last glyph.
std::pair<std::int32_t, std::int32_t> clamp_range(const ParsedText& text, std::int32_t first, std::int32_t last) {
  const auto count = static_cast<std::int32_t>(text.size());
  if (last < 0 || last >= count) last = count - 1;
  return {std::max(first, 0), last};
}

std::optional<std::string> resolve(const TWdOpeVar& var, const VariableContext& context) {
  if (var.compiled) {
    if (!context.source) return std::nullopt;
    return context.source->text_of_compiled(*var.compiled);
  }
  if (context.names) {
    if (const std::string* value = context.names->find(var.name)) {
      std::string text = *value;
      std::replace(text.begin(), text.end(), '\x01', '\r');
      return text;
    }
  }
  if (!context.source) return std::nullopt;
  return context.source->text_of(var.name);
}

std::vector<TWdGlyph> expand(std::string_view value, const TWdOpeVar& var) {
  std::vector<TWdGlyph> produced;
  core::for_each_char(value, [&](std::size_t at, std::size_t n) {
    const auto byte = static_cast<std::uint8_t>(value[at]);
    if (n == 1 && byte == '\r') {
      produced.emplace_back(TWdVarReturn{});
    } else if (n == 2 || (byte >= 0x20 && !core::is_lead_byte(value[at]))) {
      // (A lead byte alone can only be the value's last byte: half a
      // character, no glyph.)
      TWdVarChar c;
      c.link = var.link;
      c.wait = var.wait;
      c.code = core::char_code_at(value, at);
      c.decoration = var.decoration;
      produced.emplace_back(std::move(c));
    }
  });
  return produced;
}

std::optional<std::string> result_text(expr::TNovaParser& parser, expr::TParamCollection& store,
                                       const expr::TSysFuncMan& functions) {
  parser.execute(store, functions);
  if (const expr::TCustomParam* result = parser.result()) return result->as_str();
  return std::nullopt;
}

}  // namespace

void NameValueList::set(std::string name, std::string value) {
  for (auto& pair : m_pairs) {
    if (core::equal_ci(pair.first, name)) {
      pair.second = std::move(value);
      return;
    }
  }
  m_pairs.emplace_back(std::move(name), std::move(value));
}

const std::string* NameValueList::find(std::string_view name) const {
  for (const auto& pair : m_pairs) {
    if (core::equal_ci(pair.first, name)) return &pair.second;
  }
  return nullptr;
}

std::int32_t remove_variable_expansions(ParsedText& text, std::int32_t first, std::int32_t last) {
  std::tie(first, last) = clamp_range(text, first, last);
  if (first > last) return last;
  const std::size_t removed = text.erase_produced(static_cast<std::size_t>(first), static_cast<std::size_t>(last) + 1);
  return last - static_cast<std::int32_t>(removed);
}

namespace {

std::int32_t expand_range(ParsedText& text, std::int32_t first, std::int32_t last, bool history,
                          const VariableContext& context) {
  std::tie(first, last) = clamp_range(text, first, last);
  for (std::int32_t i = first; i <= last; ++i) {
    const TWdGlyph& g = text[static_cast<std::size_t>(i)];
    const TWdOpeVar* var = std::get_if<TWdOpeVar>(&g);
    if (!var && history) var = std::get_if<TWdOpeHistChar>(&g);
    if (!var) continue;
    const std::optional<std::string> value = resolve(*var, context);
    if (!value) continue;
    std::vector<TWdGlyph> produced = expand(*value, *var);
    const auto added = static_cast<std::int32_t>(produced.size());
    text.insert_produced(static_cast<std::size_t>(i) + 1, std::move(produced));
    i += added;
    last += added;
  }
  return last;
}

}  // namespace

std::int32_t prepare_variables(ParsedText& text, std::int32_t first, std::int32_t last, bool history,
                               const VariableContext& context) {
  // Every earlier expansion goes first, so that the range counts the glyphs
  // of the text as parsed, whatever was prepared before.
  remove_variable_expansions(text, 0, -1);
  return expand_range(text, first, last, history, context);
}

std::int32_t prepare_appended_variables(ParsedText& text, std::int32_t first, bool history,
                                        const VariableContext& context) {
  remove_variable_expansions(text, first, -1);
  return expand_range(text, first, -1, history, context);
}

std::optional<std::string> ExpressionVariables::text_of(std::string_view expression) {
  try {
    expr::TNovaParser parser = expr::compile_expression(expression);
    return result_text(parser, m_store, m_functions);
  } catch (const core::Error&) {
    return std::nullopt;
  }
}

std::optional<std::string> ExpressionVariables::text_of_compiled(std::span<const std::uint8_t> compiled) {
  try {
    core::ByteReader r(compiled);
    expr::TNovaParser parser;
    parser.load(r);
    return result_text(parser, m_store, m_functions);
  } catch (const core::Error&) {
    return std::nullopt;
  }
}

}  // namespace nova::text
