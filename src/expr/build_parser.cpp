#include "expr/build_parser.h"

#include <algorithm>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "expr/function_table.h"
#include "expr/number_text.h"
#include "expr/types.h"

namespace nova::expr {

namespace {

[[noreturn]] void syntax_error() { core::throw_error(core::sjis("構文エラー")); }

// For each byte: 0 a one-byte character, 1 a lead byte, 2 a trail byte.
std::vector<std::uint8_t> char_kinds(std::string_view s) {
  std::vector<std::uint8_t> k(s.size(), 0);
  for (std::size_t i = 0; i < s.size();) {
    if (core::char_length(s, i) == 2) {
      k[i] = 1;
      k[i + 1] = 2;
      i += 2;
    } else {
      ++i;
    }
  }
  return k;
}

bool is_blank(char c) { return static_cast<std::uint8_t>(c) <= 0x20; }
bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool is_operator_char(char c) { return std::string_view("%&*+-/<=>^|").find(c) != std::string_view::npos && c != 0; }
// The characters that make a function argument or an index an expression of
// its own.
bool is_expression_char(char c) {
  return std::string_view("+-*/%|&^=[](),<>").find(c) != std::string_view::npos && c != 0;
}

std::string trim(std::string_view s) {
  std::size_t a = 0, b = s.size();
  while (a < b && is_blank(s[a])) ++a;
  while (b > a && is_blank(s[b - 1])) --b;
  return std::string(s.substr(a, b - a));
}

// A one-byte character `c` at byte `i`.
bool is_char(const std::string& s, const std::vector<std::uint8_t>& k, std::size_t i, char c) {
  return k[i] == 0 && s[i] == c;
}

// The last one-byte character `c`, or npos.
std::size_t last_char(const std::string& s, const std::vector<std::uint8_t>& k, char c) {
  for (std::size_t p = s.size(); p-- > 0;) {
    if (is_char(s, k, p, c)) return p;
  }
  return std::string::npos;
}

// The scanners below take `k`, the char_kinds of `s`, from their callers,
// which hold it already for the same text.

// Checks that `open`/`close` pairs balance (a closer first is an error too).
void check_balance(const std::string& s, const std::vector<std::uint8_t>& k, char open, char close) {
  int depth = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (is_char(s, k, i, open)) ++depth;
    if (is_char(s, k, i, close) && --depth < 0) syntax_error();
  }
  if (depth != 0) syntax_error();
}

// Splits at one-byte commas; with `brackets`, commas inside square brackets
// do not split, and unbalanced brackets are an error.
std::vector<std::string> split_commas(std::string_view s, bool brackets) {
  std::vector<std::string> parts;
  auto k = char_kinds(s);
  int depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (k[i] != 0) continue;
    if (brackets && s[i] == '[') ++depth;
    if (brackets && s[i] == ']' && --depth < 0) syntax_error();
    if (s[i] == ',' && depth == 0) {
      parts.push_back(trim(s.substr(start, i - start)));
      start = i + 1;
    }
  }
  if (depth != 0) syntax_error();
  parts.push_back(trim(s.substr(start)));
  return parts;
}

// The position of the matching closer for the opener at `open_pos`.
std::size_t matching(const std::string& s, const std::vector<std::uint8_t>& k, std::size_t open_pos, char open,
                     char close) {
  int depth = 0;
  for (std::size_t i = open_pos; i < s.size(); ++i) {
    if (is_char(s, k, i, open)) ++depth;
    if (is_char(s, k, i, close) && --depth == 0) return i;
  }
  syntax_error();
}

// The deepest nesting of ( and [ together.
int max_nesting(const std::string& s, const std::vector<std::uint8_t>& k) {
  int depth = 0, deepest = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (k[i] != 0) continue;
    if (s[i] == '(' || s[i] == '[') deepest = std::max(deepest, ++depth);
    if (s[i] == ')' || s[i] == ']') --depth;
  }
  return deepest;
}

struct Token {
  std::string text;
  bool op = false;
};

int level_of(const std::string& op) {
  if (op == "*" || op == "/" || op == "%") return 1;
  if (op == "+" || op == "-") return 2;
  if (op == "<<" || op == ">>") return 3;
  if (op == "==" || op == ">=" || op == "<=" || op == ">" || op == "<" || op == "<>") return 4;
  if (op == "++") return 5;
  if (op == "&") return 6;
  if (op == "^") return 7;
  if (op == "|") return 8;
  return 9;  // "="
}

TOpeCode code_of(const std::string& op) {
  static const std::pair<std::string_view, TOpeCode> table[] = {
      {"=", ocTo},    {"+", ocPlus},    {"-", ocMinus},   {"*", ocMul},     {"/", ocDiv},       {"%", ocMod},
      {"|", ocOr},    {"&", ocAnd},     {"^", ocXor},     {"==", ocEqual},  {">", ocBig},       {"<", ocSmall},
      {">=", ocEBig}, {"<=", ocESmall}, {"<<", ocShiftL}, {">>", ocShiftR}, {"++", ocComboStr}, {"<>", ocNEqual},
  };
  for (const auto& [text, code] : table) {
    if (text == op) return code;
  }
  syntax_error();
}

bool begins_with_any(const std::string& s, std::string_view chars) {
  return !s.empty() && chars.find(s[0]) != std::string_view::npos;
}

}  // namespace

std::string TBuildNovaParser::new_temp() { return "____" + std::to_string(m_counter++); }
std::string TBuildNovaParser::new_alias() { return "____d_" + std::to_string(m_counter++); }

void TBuildNovaParser::compile(std::string_view text) {
  m_ops.clear();
  m_counter = 0;
  compile_text(std::string(text), 0);

  // Stage 8, once over the whole list: a copy from one temporary into
  // another is dropped and later uses of its target read the source instead.
  // Run inside a nested compilation it would drop a copy before the
  // operation that uses it exists.
  for (std::size_t i = 0; i < m_ops.size();) {
    TBuildOpeData& op = m_ops[i];
    bool removable = op.code == ocTo && !op.operands.empty() && is_temporary_name(op.target) &&
                     is_temporary_name(op.operands[0]) && op.target.rfind("____d_", 0) != 0 &&
                     op.operands[0].rfind("____d_", 0) != 0 && op.target != "____arg" && op.operands[0] != "____arg";
    if (!removable) {
      ++i;
      continue;
    }
    std::string from = op.target, to = op.operands[0];
    m_ops.erase(m_ops.begin() + static_cast<std::ptrdiff_t>(i));
    for (std::size_t j = i; j < m_ops.size(); ++j) {
      if (m_ops[j].target == from) m_ops[j].target = to;
      for (std::string& o : m_ops[j].operands) {
        if (o == from) o = to;
      }
    }
  }
}

std::string TBuildNovaParser::process_argument(std::string_view arg, int depth) {
  std::string a = trim(arg);
  auto k = char_kinds(a);
  while (!a.empty() && a[0] == '(' && matching(a, k, 0, '(', ')') == a.size() - 1) {
    a = trim(a.substr(1, a.size() - 2));
    k = char_kinds(a);
  }
  if (a.empty()) return a;
  bool expression = false;
  for (std::size_t i = 0; i < a.size() && !expression; ++i) expression = k[i] == 0 && is_expression_char(a[i]);
  if (!expression) return a;
  std::string t = new_temp();
  compile_text(core::format("%s = %s", {t, a}), depth + 1);
  return t;
}

void TBuildNovaParser::compile_text(std::string s, int depth) {
  if (depth > kMaxNesting) syntax_error();

  // Stage 1: string literals.
  for (;;) {
    auto k = char_kinds(s);
    std::size_t open = std::string::npos;
    for (std::size_t i = 0; i < s.size() && open == std::string::npos; ++i) {
      if (is_char(s, k, i, '"')) open = i;
    }
    if (open == std::string::npos) break;
    std::string content = "\"";
    std::size_t i = open + 1, close = std::string::npos;
    while (i < s.size()) {
      if (k[i] != 0) {
        content.push_back(s[i++]);
        continue;
      }
      if (s[i] == '"') {
        close = i;
        break;
      }
      if (s[i] == '\\' && i + 1 < s.size() && k[i + 1] == 0) {
        char n = s[i + 1];
        if (n == '"' || n == '\\') {
          content.push_back(n);
          i += 2;
          continue;
        }
        if (n == 'n') {
          content += "\r\n";
          i += 2;
          continue;
        }
      }
      content.push_back(s[i++]);
    }
    if (close == std::string::npos) syntax_error();
    content.push_back('"');
    std::string t = new_temp();
    m_ops.push_back({ocTo, t, {std::move(content)}});
    s.replace(open, close - open + 1, t);
  }

  {
    const auto k = char_kinds(s);
    // Only the outermost text can nest; what recursion sees is a part of it.
    if (depth == 0 && max_nesting(s, k) > kMaxNesting) syntax_error();
    check_balance(s, k, '(', ')');
  }

  // Stage 2: function calls, innermost (last) first.
  for (;;) {
    auto k = char_kinds(s);
    std::size_t open = std::string::npos, name_start = 0;
    for (std::size_t p = s.size(); p-- > 0;) {
      if (!is_char(s, k, p, '(')) continue;
      std::size_t q = p;
      while (q > 0 && k[q - 1] == 0 && is_blank(s[q - 1])) --q;
      if (q == 0 || k[q - 1] != 0 || !is_name_char(s[q - 1])) continue;
      while (q > 0 && k[q - 1] == 0 && is_name_char(s[q - 1])) --q;
      open = p;
      name_start = q;
      break;
    }
    if (open == std::string::npos) break;
    std::size_t name_end = open;
    while (name_end > name_start && is_blank(s[name_end - 1])) --name_end;
    std::string name = s.substr(name_start, name_end - name_start);
    std::size_t close = matching(s, k, open, '(', ')');
    std::string args = s.substr(open + 1, close - open - 1);
    std::string t = new_temp();
    s.replace(name_start, close - name_start + 1, t);
    TBuildOpeData op{ocFunc, t, {name}};
    // "f()" calls with no arguments.
    if (!trim(args).empty()) {
      for (const std::string& a : split_commas(args, true)) op.operands.push_back(process_argument(a, depth));
    }
    m_ops.push_back(std::move(op));
  }

  // Stage 3: array references, innermost (last) first.
  check_balance(s, char_kinds(s), '[', ']');
  for (;;) {
    auto k = char_kinds(s);
    std::size_t open = last_char(s, k, '[');
    if (open == std::string::npos) break;
    std::size_t q = open;
    while (q > 0 && k[q - 1] == 0 && is_blank(s[q - 1])) --q;
    if (q == 0 || (k[q - 1] == 0 && is_operator_char(s[q - 1]))) syntax_error();
    std::size_t name_end = q;
    // The name runs back to a blank, an operator, or the "[", "(" or ","
    // before it (so "(a[1] + 2)" names "a", and "@" names qualify).
    while (q > 0 && !(k[q - 1] == 0 && (is_blank(s[q - 1]) || is_operator_char(s[q - 1]) || s[q - 1] == '[' ||
                                        s[q - 1] == '(' || s[q - 1] == ','))) {
      --q;
    }
    if (q == name_end) syntax_error();
    std::string name = s.substr(q, name_end - q);
    std::size_t close = matching(s, k, open, '[', ']');
    std::string indexes = s.substr(open + 1, close - open - 1);
    std::string t = new_alias();
    s.replace(q, close - q + 1, t);
    if (trim(indexes).empty()) core::throw_error(core::sjis("配列の添え字が不正です"));
    TBuildOpeData op{ocDimTo, t, {name}};
    for (const std::string& index : split_commas(indexes, false)) op.operands.push_back(process_argument(index, depth));
    m_ops.push_back(std::move(op));
  }

  // Stage 4: parenthesised groups, innermost (last) first.
  for (;;) {
    auto k = char_kinds(s);
    std::size_t open = last_char(s, k, '(');
    if (open == std::string::npos) break;
    std::size_t close = matching(s, k, open, '(', ')');
    std::string inner = s.substr(open + 1, close - open - 1);
    std::string t = new_temp();
    s.replace(open, close - open + 1, t);
    compile_text(core::format("%s = %s", {t, inner}), depth + 1);
  }

  // Stage 5: tokens.
  std::vector<Token> tokens;
  {
    auto k = char_kinds(s);
    std::string current;
    auto flush = [&] {
      std::string t = trim(current);
      if (!t.empty()) tokens.push_back({std::move(t), false});
      current.clear();
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (k[i] == 0 && is_operator_char(s[i])) {
        flush();
        std::string op(1, s[i]);
        if (i + 1 < s.size() && k[i + 1] == 0) {
          std::string pair = op + s[i + 1];
          if (pair == "==" || pair == ">=" || pair == "<=" || pair == "++" || pair == "<>" || pair == "<<" ||
              pair == ">>") {
            op = pair;
            ++i;
          }
        }
        tokens.push_back({std::move(op), true});
      } else {
        current.push_back(s[i]);
      }
    }
    flush();
  }
  if (tokens.empty()) {
    m_ops.push_back({ocTo, "____arg", {s}});
    return;
  }
  // An operator with nothing after it.
  if (tokens.back().op) syntax_error();

  // Stage 6: unary signs.
  for (std::size_t k = tokens.size() >= 2 ? tokens.size() - 2 : 0; k >= 1 && k < tokens.size(); --k) {
    const Token& t = tokens[k];
    if (!t.op || (t.text != "+" && t.text != "-")) continue;
    if (!begins_with_any(tokens[k - 1].text, "=+-*/%&^|[(,<>")) continue;
    if (t.text == "+") {
      tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(k));
      continue;
    }
    if (k + 1 >= tokens.size() || tokens[k + 1].op) syntax_error();
    std::string temp = new_temp();
    m_ops.push_back({ocMinus, temp, {"0", tokens[k + 1].text}});
    tokens[k] = {temp, false};
    tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(k + 1));
  }

  // Stage 7: reduction by precedence.
  bool assigned = false;
  for (;;) {
    std::size_t best = tokens.size();
    int best_level = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      if (!tokens[i].op) continue;
      int level = level_of(tokens[i].text);
      if (best == tokens.size() || level < best_level) {
        best = i;
        best_level = level;
      }
    }
    if (best == tokens.size()) break;
    const std::string op = tokens[best].text;
    if (best + 1 >= tokens.size()) syntax_error();
    if (op == "=") {
      if (best == 0) syntax_error();
      m_ops.push_back({ocTo, tokens[best - 1].text, {tokens[best + 1].text}});
      tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(best - 1),
                   tokens.begin() + static_cast<std::ptrdiff_t>(best + 2));
      assigned = true;
      continue;
    }
    TOpeCode code = code_of(op);
    std::string temp = new_temp();
    if (best == 0) {
      if (op != "+" && op != "-") syntax_error();
      m_ops.push_back({code, temp, {"0", tokens[1].text}});
      tokens[0] = {temp, false};
      tokens.erase(tokens.begin() + 1);
      continue;
    }
    if (begins_with_any(tokens[best - 1].text, "+-*/%|&^=[(<>")) syntax_error();
    m_ops.push_back({code, temp, {tokens[best - 1].text, tokens[best + 1].text}});
    tokens[best - 1] = {temp, false};
    tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(best),
                 tokens.begin() + static_cast<std::ptrdiff_t>(best + 2));
  }
  if (tokens.empty()) return;
  if (!assigned && tokens.size() == 1) {
    m_ops.push_back({ocTo, "____arg", {tokens[0].text}});
    return;
  }
  syntax_error();
}

void write_op_header(core::ByteWriter& w, TOpeCode code, std::string_view target, std::int32_t operand_count,
                     std::uint8_t func_index) {
  w.u8(code);
  w.str(target);
  w.i32(operand_count);
  if (code == ocFunc) w.u8(func_index);
}

void TBuildNovaParser::write(core::ByteWriter& out) const {
  core::ByteWriter w;
  w.i32(static_cast<std::int32_t>(m_ops.size()));
  for (const TBuildOpeData& op : m_ops) {
    std::size_t first = 0;
    std::uint8_t func_index = 0;
    if (op.code == ocFunc) {
      const std::string& name = op.operands.at(0);
      auto index = find_sys_func(name);
      if (!index) core::throw_error(core::format(core::sjis("\"%s\" 関数名がありません"), {name}));
      const TSysFuncInfo& info = kSysFuncs[static_cast<std::size_t>(*index)];
      auto args = static_cast<std::int32_t>(op.operands.size() - 1);
      if (args < info.min_args || (info.max_args >= 0 && args > info.max_args)) {
        core::throw_error(std::string(info.name) + core::sjis(" 引数の数が不正です"));
      }
      func_index = static_cast<std::uint8_t>(*index);
      first = 1;
    }
    write_op_header(w, op.code, op.target, static_cast<std::int32_t>(op.operands.size() - first), func_index);
    for (std::size_t i = first; i < op.operands.size(); ++i) {
      const std::string& t = op.operands[i];
      if (auto n = parse_int(t)) {
        w.u8(PT_INT);
        w.i32(*n);
      } else if (auto f = parse_float(t)) {
        w.u8(PT_FLOAT);
        w.f80(*f);
      } else if (t == "TRUE" || t == "FALSE") {
        w.u8(PT_BOOL);
        w.u8(t == "TRUE" ? 1 : 0);
      } else if (t.size() > 1 && t.front() == '"' && t.back() == '"') {
        w.u8(PT_STR);
        w.str(std::string_view(t).substr(1, t.size() - 2));
      } else {
        w.u8(PT_NONE);  // a variable, by name
        w.str(t);
      }
    }
  }
  out.bytes(w.data());
}

}  // namespace nova::expr
