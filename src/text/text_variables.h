// Variables in text: the VAR and HISTCHAR glyphs of a parsed text are
// replaced by the characters of their values when the text is prepared for
// display, and those characters are taken out again before the next
// preparation.
//
// A value comes from the owning component's name/value list when that holds
// the name (every byte 1 of the value standing for a CR), otherwise from
// evaluating the name as an expression through a TextVariableSource.
// ExpressionVariables is the source over the variable store; tests and tools
// supply their own.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/glyphs.h"

namespace nova::expr {
class TParamCollection;
class TSysFuncMan;
}  // namespace nova::expr

namespace nova::text {

class TextVariableSource {
 public:
  virtual ~TextVariableSource() = default;
  // The value of an expression (a variable name being the plain case) read
  // as a string; nullopt when it does not compile, fails or has no result.
  virtual std::optional<std::string> text_of(std::string_view expression) = 0;
  // The same for the compiled expression that streams older than version
  // 102 store in place of the name.
  virtual std::optional<std::string> text_of_compiled(std::span<const std::uint8_t> compiled) = 0;
};

// The name=value pairs an owning component may supply. Names are compared
// without regard to case; setting a name again replaces its value.
class NameValueList {
 public:
  void set(std::string name, std::string value);
  const std::string* find(std::string_view name) const;
  void clear() { m_pairs.clear(); }
  bool empty() const { return m_pairs.empty(); }

 private:
  std::vector<std::pair<std::string, std::string>> m_pairs;
};

struct VariableContext {
  const NameValueList* names = nullptr;  // not owned; may be absent
  TextVariableSource* source = nullptr;  // not owned; absent: only names resolve
};

// Expands the variable glyphs among glyphs [first, last] (last -1, or past the
// end: to the last glyph): history variables only when `history` is set.
// Every expansion of an earlier preparation is removed first, so the range
// counts the glyphs of the text as parsed. Each CR of a value
// becomes a TWdVarReturn, each character from the space up a TWdVarChar with
// the variable glyph's decoration, wait and link; other control characters
// are dropped. Answers the index of the range's last glyph afterwards.
std::int32_t prepare_variables(ParsedText& text, std::int32_t first, std::int32_t last, bool history,
                               const VariableContext& context);

// The same for the glyphs from `first` to the end only, keeping what the
// glyphs before it produced: a history display appends one recorded page
// after another to rows already placed, whose glyph indices must stay.
std::int32_t prepare_appended_variables(ParsedText& text, std::int32_t first, bool history,
                                        const VariableContext& context);

// Removes the produced glyphs among [first, last] (as above); answers the
// index of the range's last glyph afterwards.
std::int32_t remove_variable_expansions(ParsedText& text, std::int32_t first, std::int32_t last);

// Evaluates through the expression compiler and executor against a variable
// store. Both must outlive this object.
class ExpressionVariables final : public TextVariableSource {
 public:
  ExpressionVariables(expr::TParamCollection& store, const expr::TSysFuncMan& functions)
      : m_store(store), m_functions(functions) {}

  std::optional<std::string> text_of(std::string_view expression) override;
  std::optional<std::string> text_of_compiled(std::span<const std::uint8_t> compiled) override;

 private:
  expr::TParamCollection& m_store;
  const expr::TSysFuncMan& m_functions;
};

}  // namespace nova::text
