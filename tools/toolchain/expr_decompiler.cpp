#include "tools/toolchain/expr_decompiler.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "core/binary_io.h"
#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "expr/build_parser.h"
#include "expr/function_table.h"
#include "expr/number_text.h"
#include "expr/op_codes.h"
#include "tools/toolchain/expr_stream.h"

namespace nova::tools {

std::string compile_expression_text(std::string_view text) {
  expr::TBuildNovaParser parser;
  parser.compile(text);
  core::ByteWriter w;
  parser.write(w);
  return w.take_string();
}

namespace {

// --- Operand texts -------------------------------------------------------------

// The characters that end a name or start something else in the compiler's
// stages.
bool is_special(char c) { return std::string_view("\"()[],+-*/%|&^=<>").find(c) != std::string_view::npos && c; }
bool is_blank(char c) { return static_cast<std::uint8_t>(c) <= 0x20; }

// A variable name as an operand: it must come back as the same name, so it
// may hold nothing the compiler splits at, nothing it trims, and nothing that
// reads as a number or a flag.
std::optional<std::string> name_text(std::string_view s, bool blanks_inside) {
  if (s.empty() || is_blank(s.front()) || is_blank(s.back())) return std::nullopt;
  bool ok = true;
  core::for_each_char(s, [&](std::size_t at, std::size_t n) {
    if (n == 2) return;
    const char c = s[at];
    if (is_special(c) || c == '\r' || c == '\n' || c == '`' || c == ';') ok = false;
    if (static_cast<std::uint8_t>(c) < 0x20 && c != '\t') ok = false;
    if (!blanks_inside && is_blank(c)) ok = false;
    if (core::is_lead_byte(c)) ok = false;  // a lead byte without its trail byte
  });
  if (!ok) return std::nullopt;
  if (expr::parse_int(s) || expr::parse_float(s) || s == "TRUE" || s == "FALSE") return std::nullopt;
  return std::string(s);
}

// The decimal form of a float that reads back to the same ten bytes. The
// compiler splits at a sign, so there is no sign and no signed exponent:
// small values are written out with their leading zeros.
std::optional<std::string> float_text(const std::array<std::uint8_t, 10>& bytes) {
  auto value = float_of(bytes);
  if (!value || !std::isfinite(*value) || std::signbit(*value)) return std::nullopt;
  for (int precision = 0; precision <= 21; ++precision) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*Le", precision, *value);
    std::string s = buf;
    const std::size_t e = s.find('e');
    if (e == std::string::npos) return std::nullopt;
    std::string digits;
    for (std::size_t i = 0; i < e; ++i) {
      if (s[i] != '.') digits.push_back(s[i]);
    }
    const int exponent = std::stoi(s.substr(e + 1));
    std::string text;
    if (exponent >= 0 && exponent < 21) {
      while (static_cast<int>(digits.size()) < exponent + 2) digits.push_back('0');
      text = digits.substr(0, static_cast<std::size_t>(exponent) + 1) + "." +
             digits.substr(static_cast<std::size_t>(exponent) + 1);
    } else if (exponent >= 21) {
      text = digits.substr(0, 1) + "." + (digits.size() > 1 ? digits.substr(1) : "0") + "e" + std::to_string(exponent);
    } else {
      if (-exponent > 400) return std::nullopt;
      text = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    auto back = expr::parse_float(text);
    if (!back) continue;
    core::ByteWriter w;
    w.f80(*back);
    if (std::equal(w.data().begin(), w.data().end(), bytes.begin())) return text;
  }
  return std::nullopt;
}

// A string constant as a literal: \" and \\ escaped, CR LF as \n. A lone CR
// or LF has no literal form.
std::optional<std::string> literal_text(std::string_view s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = core::char_length(s, i);
    const char c = s[i];
    if (n == 1 && c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
      out += "\\n";
      i += 2;
      continue;
    }
    if (n == 1 && (c == '\r' || c == '\n')) return std::nullopt;
    if (n == 1 && (c == '"' || c == '\\')) out.push_back('\\');
    out.append(s.substr(i, n));
    i += n;
  }
  return out + "\"";
}

// --- The tree ----------------------------------------------------------------------

enum class Kind : std::uint8_t { Leaf, Literal, Copy, Binary, Call, Array };

struct Node {
  Kind kind = Kind::Leaf;
  const ExprOp* op = nullptr;
  const ExprOperand* leaf = nullptr;
  std::vector<int> children;
  bool arg_root = false;   // a function argument or an array index: its parentheses are stripped
  bool can_unary = false;  // 0 - x, which "-x" also compiles to
  // Leaf and Literal: the text, the same in every candidate; nullopt when
  // there is none.
  std::optional<std::string> text;
};

enum class Mode : std::uint8_t { Value, Assign, AssignAlias };

struct Tree {
  std::vector<Node> nodes;
  Mode mode = Mode::Value;
  std::string assigned;  // Assign: the target name
  int target = -1;       // AssignAlias: the alias node
  int root = -1;
};

bool is_binary(std::uint8_t code) {
  return (code >= expr::ocPlus && code <= expr::ocXor) || (code >= expr::ocEqual && code <= expr::ocNEqual);
}

int level_of(std::uint8_t code) {
  switch (code) {
    case expr::ocMul:
    case expr::ocDiv:
    case expr::ocMod: return 1;
    case expr::ocPlus:
    case expr::ocMinus: return 2;
    case expr::ocShiftL:
    case expr::ocShiftR: return 3;
    case expr::ocEqual:
    case expr::ocEBig:
    case expr::ocESmall:
    case expr::ocBig:
    case expr::ocSmall:
    case expr::ocNEqual: return 4;
    case expr::ocComboStr: return 5;
    case expr::ocAnd: return 6;
    case expr::ocXor: return 7;
    case expr::ocOr: return 8;
    default: return 9;
  }
}

std::string_view symbol_of(std::uint8_t code) {
  switch (code) {
    case expr::ocPlus: return "+";
    case expr::ocMinus: return "-";
    case expr::ocMul: return "*";
    case expr::ocDiv: return "/";
    case expr::ocMod: return "%";
    case expr::ocOr: return "|";
    case expr::ocAnd: return "&";
    case expr::ocXor: return "^";
    case expr::ocEqual: return "==";
    case expr::ocBig: return ">";
    case expr::ocSmall: return "<";
    case expr::ocEBig: return ">=";
    case expr::ocESmall: return "<=";
    case expr::ocShiftL: return "<<";
    case expr::ocShiftR: return ">>";
    case expr::ocComboStr: return "++";
    case expr::ocNEqual: return "<>";
    default: return "?";
  }
}

// The text of an operand; an array's name may hold no blanks.
std::optional<std::string> leaf_text(const ExprOperand& o, bool array_name) {
  switch (o.kind) {
    case OperandKind::Name: return name_text(o.text, !array_name);
    case OperandKind::Int:
      return o.int_value >= 0 ? expr::int_text(o.int_value)
                              : core::format("$%08X", {static_cast<std::uint32_t>(o.int_value)});
    case OperandKind::Float: return float_text(o.float_bytes);
    case OperandKind::Flag:
      if (o.flag <= 1) return o.flag ? "TRUE" : "FALSE";
      return std::nullopt;
    case OperandKind::String: return std::nullopt;
  }
  return std::nullopt;
}

// Reads the operations back into the tree: every temporary must be written
// by one operation and read by exactly one later operation, the last
// operation being the expression's own (a result or an assignment).
std::optional<Tree> build_tree(const ExprStream& s) {
  if (s.ops.empty()) return std::nullopt;
  Tree t;
  std::map<std::string, int> pending;  // written and not yet read
  std::set<std::string> written;
  auto operand_node = [&](const ExprOperand& o) -> int {
    if (o.kind == OperandKind::Name && temp_number(o.text)) {
      auto it = pending.find(o.text);
      if (it != pending.end()) {
        const int id = it->second;
        pending.erase(it);
        return id;
      }
    }
    Node leaf;
    leaf.leaf = &o;
    t.nodes.push_back(leaf);
    return static_cast<int>(t.nodes.size()) - 1;
  };

  for (std::size_t i = 0; i + 1 < s.ops.size(); ++i) {
    const ExprOp& op = s.ops[i];
    if (!temp_number(op.target) || written.count(op.target)) return std::nullopt;
    Node n;
    n.op = &op;
    if (op.code == expr::ocTo) {
      if (op.operands.size() != 1) return std::nullopt;
      if (op.operands[0].kind == OperandKind::String) {
        n.kind = Kind::Literal;
      } else {
        n.kind = Kind::Copy;
        n.children.push_back(operand_node(op.operands[0]));
      }
    } else if (is_binary(op.code)) {
      if (op.operands.size() != 2) return std::nullopt;
      n.kind = Kind::Binary;
      const ExprOperand& zero = op.operands[0];
      n.can_unary = op.code == expr::ocMinus && zero.kind == OperandKind::Int && zero.int_value == 0;
      for (const ExprOperand& o : op.operands) n.children.push_back(operand_node(o));
    } else if (op.code == expr::ocDimTo) {
      if (op.operands.size() < 2 || !is_alias_temp(op.target)) return std::nullopt;
      n.kind = Kind::Array;
      for (const ExprOperand& o : op.operands) n.children.push_back(operand_node(o));
    } else if (op.code == expr::ocFunc) {
      if (op.function >= expr::kSysFuncCount) return std::nullopt;
      n.kind = Kind::Call;
      for (const ExprOperand& o : op.operands) n.children.push_back(operand_node(o));
    } else {
      return std::nullopt;
    }
    t.nodes.push_back(std::move(n));
    const int id = static_cast<int>(t.nodes.size()) - 1;
    written.insert(op.target);
    pending.emplace(op.target, id);
  }

  const ExprOp& last = s.ops.back();
  if (last.code != expr::ocTo || last.operands.size() != 1 || last.operands[0].kind == OperandKind::String) {
    return std::nullopt;
  }
  if (last.target == "____arg") {
    t.mode = Mode::Value;
  } else if (is_alias_temp(last.target)) {
    auto it = pending.find(last.target);
    if (it == pending.end()) return std::nullopt;
    t.mode = Mode::AssignAlias;
    t.target = it->second;
    pending.erase(it);
  } else if (temp_number(last.target)) {
    return std::nullopt;
  } else {
    t.mode = Mode::Assign;
    t.assigned = last.target;
  }
  t.root = operand_node(last.operands[0]);
  if (!pending.empty()) return std::nullopt;

  std::vector<bool> array_name(t.nodes.size(), false);
  for (Node& n : t.nodes) {
    if (n.kind == Kind::Call) {
      for (int c : n.children) t.nodes[static_cast<std::size_t>(c)].arg_root = true;
    } else if (n.kind == Kind::Array) {
      array_name[static_cast<std::size_t>(n.children[0])] = true;
      for (std::size_t k = 1; k < n.children.size(); ++k)
        t.nodes[static_cast<std::size_t>(n.children[k])].arg_root = true;
    }
  }
  for (std::size_t i = 0; i < t.nodes.size(); ++i) {
    Node& n = t.nodes[i];
    if (n.kind == Kind::Leaf) n.text = leaf_text(*n.leaf, array_name[i]);
    if (n.kind == Kind::Literal) n.text = literal_text(n.op->operands[0].text);
  }
  return t;
}

// --- Rendering ----------------------------------------------------------------------

struct Choices {
  std::vector<std::uint8_t> paren;  // redundant parentheses around the node
  std::vector<std::uint8_t> unary;  // "-x" rather than "0 - x"
};

struct Ctx {
  bool arg = false;      // the whole text of an argument or index
  bool lead_op = false;  // an operator stands before the first token (so "-" there is a sign)
};

class Renderer {
 public:
  Renderer(const Tree& t, const Choices& c) : m_t(t), m_c(c) {}

  std::optional<std::string> run() {
    std::string text;
    switch (m_t.mode) {
      case Mode::Value: text = render(m_t.root, {false, false}); break;
      case Mode::Assign: {
        auto name = name_text(m_t.assigned, true);
        if (!name) return std::nullopt;
        text = *name + " = " + render(m_t.root, {false, true});
        break;
      }
      case Mode::AssignAlias: text = bare(m_t.target, {false, false}) + " = " + render(m_t.root, {false, true}); break;
    }
    if (!m_ok) return std::nullopt;
    return text;
  }

 private:
  const Node& node(int id) const { return m_t.nodes[static_cast<std::size_t>(id)]; }

  std::string render(int id, Ctx ctx) {
    const int parens = ctx.arg ? 0 : m_c.paren[static_cast<std::size_t>(id)];
    if (parens == 0) return bare(id, ctx);
    return std::string(static_cast<std::size_t>(parens), '(') + bare(id, {false, true}) +
           std::string(static_cast<std::size_t>(parens), ')');
  }

  bool unary_form(int id, bool lead_op) const {
    const Node& n = node(id);
    return n.kind == Kind::Binary && n.can_unary && m_c.unary[static_cast<std::size_t>(id)] && lead_op;
  }
  // Whether the node is one token at its level once earlier stages ran.
  bool atomic(int id) const {
    const Node& n = node(id);
    if (n.kind != Kind::Binary) return true;
    return m_c.paren[static_cast<std::size_t>(id)] || unary_form(id, true);
  }
  int level(int id, bool lead_op) const {
    const Node& n = node(id);
    if (n.kind != Kind::Binary || unary_form(id, lead_op)) return 0;
    return level_of(n.op->code);
  }

  std::string operand(int child, int parent_level, bool left, bool lead_op) {
    const int l = level(child, lead_op);
    const bool needed = l > 0 && (left ? l > parent_level : l >= parent_level);
    if (needed) return "(" + render(child, {false, true}) + ")";
    return render(child, {false, lead_op});
  }

  // A Leaf or Literal node's text.
  std::string leaf(int id, bool arg) {
    const Node& n = node(id);
    // An argument left out is an empty name, written as nothing.
    if (arg && n.kind == Kind::Leaf && n.leaf->kind == OperandKind::Name && n.leaf->text.empty()) return {};
    if (!n.text) m_ok = false;
    return n.text.value_or("");
  }

  std::string bare(int id, Ctx ctx) {
    const Node& n = node(id);
    switch (n.kind) {
      case Kind::Leaf:
      case Kind::Literal: return leaf(id, ctx.arg);
      case Kind::Copy: {
        const int c = n.children[0];
        // An argument that is an element reference is copied by the
        // compiler itself; anywhere else a copy is a parenthesised group.
        if (ctx.arg && node(c).kind == Kind::Array) return render(c, ctx);
        return "(" + render(c, {false, true}) + ")";
      }
      case Kind::Call: {
        std::string s = std::string(expr::kSysFuncs[n.op->function].name) + "(";
        for (std::size_t k = 0; k < n.children.size(); ++k) {
          if (k) s += ", ";
          s += render(n.children[k], {true, true});
        }
        return s + ")";
      }
      case Kind::Array: {
        const int name = n.children[0];
        std::string s = node(name).kind == Kind::Leaf ? leaf(name, false) : render(name, {false, false});
        s += "[";
        for (std::size_t k = 1; k < n.children.size(); ++k) {
          if (k > 1) s += ", ";
          s += render(n.children[k], {true, true});
        }
        return s + "]";
      }
      case Kind::Binary: {
        if (unary_form(id, ctx.lead_op)) {
          // The sign takes the one token after it: anything longer is grouped.
          const int c = n.children[1];
          if (atomic(c)) return "-" + render(c, {false, true});
          return "-(" + render(c, {false, true}) + ")";
        }
        const int l = level_of(n.op->code);
        std::string a = operand(n.children[0], l, true, ctx.lead_op);
        std::string b = operand(n.children[1], l, false, true);
        return a + " " + std::string(symbol_of(n.op->code)) + " " + b;
      }
    }
    return {};
  }

  const Tree& m_t;
  const Choices& m_c;
  bool m_ok = true;
};

// --- Search -----------------------------------------------------------------------

// Numbers the temporaries' counter skipped: each is a copy the compiler
// dropped, one per parenthesised group or argument whose value was an
// operation.
int gap_count(const ExprStream& s) {
  std::set<int> used;
  for (const ExprOp& op : s.ops) {
    if (auto n = temp_number(op.target)) used.insert(*n);
  }
  if (used.empty()) return 0;
  return *used.rbegin() + 1 - static_cast<int>(used.size());
}

int smallest_operation_number(const Tree& t, int id) {
  const Node& n = t.nodes[static_cast<std::size_t>(id)];
  int best = INT32_MAX;
  if (n.kind == Kind::Binary) {
    if (auto k = temp_number(n.op->target)) best = *k;
  }
  if (n.kind == Kind::Binary || n.kind == Kind::Copy) {
    for (int c : n.children) best = std::min(best, smallest_operation_number(t, c));
  }
  return best;
}

// How near a compiled candidate comes to the target: the length of the run
// of equal operations from the start, the distance between the numbers of
// the first operations that differ and the sum of those distances over all
// places, then the count of equal operations in equal places, then how near
// its count of skipped numbers is.
struct Score {
  int prefix = -1;
  int number_distance = 0;
  int total_distance = 0;
  int equal = 0;
  int gap_distance = 0;

  bool operator<(const Score& o) const {
    if (prefix != o.prefix) return prefix < o.prefix;
    if (number_distance != o.number_distance) return number_distance > o.number_distance;
    if (total_distance != o.total_distance) return total_distance > o.total_distance;
    if (equal != o.equal) return equal < o.equal;
    return gap_distance > o.gap_distance;
  }
};

class Search {
 public:
  Search(const ExprStream& target, std::string_view bytes, const Tree& tree, const DecompileOptions& options)
      : m_target(target), m_bytes(bytes), m_tree(tree), m_options(options), m_target_gaps(gap_count(target)) {
    const std::size_t n = tree.nodes.size();
    m_choices.paren.assign(n, 0);
    m_choices.unary.assign(n, 0);
    std::set<int> used;
    for (const ExprOp& op : target.ops) {
      if (auto k = temp_number(op.target)) used.insert(*k);
    }
    std::vector<int> likely, unlikely;
    for (std::size_t i = 0; i < n; ++i) {
      const Node& node = tree.nodes[i];
      if (node.can_unary) {
        m_unary_points.push_back(static_cast<int>(i));
        m_choices.unary[i] = 1;
      }
      if (node.kind == Kind::Leaf || node.kind == Kind::Array || node.arg_root) continue;
      // Parentheses around an operation take the number just before its
      // first one: points whose number follows a gap go first.
      const int first = smallest_operation_number(tree, static_cast<int>(i));
      const bool follows_gap = first != INT32_MAX && first > 0 && !used.count(first - 1);
      (follows_gap ? likely : unlikely).push_back(static_cast<int>(i));
    }
    m_paren_points = likely;
    m_paren_points.insert(m_paren_points.end(), unlikely.begin(), unlikely.end());
  }

  DecompiledExpression run() {
    Score plain;
    if (evaluate(m_choices, &plain)) return m_result;
    if (!m_options.want_exact && m_result.match != DecompileMatch::None) return m_result;
    const int points = static_cast<int>(m_paren_points.size());
    const int r0 = std::clamp(m_target_gaps - m_plain_gaps, 0, points);
    // Small searches are done in full: every choice of r0 points (single
    // parentheses) with every sign form, then one more and one fewer, since a
    // group can make a sign inside it need no parentheses of its own.
    const int exhaustive_budget = std::min(m_options.budget / 4, 3000);
    for (int r : {r0, r0 + 1, r0 - 1}) {
      if (r < 0 || r > points) continue;
      if (try_subsets(r, exhaustive_budget)) return m_result;
    }
    beam(plain);
    return m_result;
  }

 private:
  bool out_of_budget(int budget) const { return m_result.compilations >= budget || m_work >= m_options.work; }

  bool try_subsets(int r, int budget) {
    const int n = static_cast<int>(m_paren_points.size());
    std::vector<int> pick(static_cast<std::size_t>(r));
    for (int i = 0; i < r; ++i) pick[static_cast<std::size_t>(i)] = i;
    Choices c = m_choices;
    for (;;) {
      std::fill(c.paren.begin(), c.paren.end(), 0);
      for (int i : pick) c.paren[static_cast<std::size_t>(m_paren_points[static_cast<std::size_t>(i)])] = 1;
      if (try_sign_forms(c, budget)) return true;
      if (out_of_budget(budget)) return false;
      int i = r - 1;
      while (i >= 0 && pick[static_cast<std::size_t>(i)] == n - r + i) --i;
      if (i < 0) return false;
      ++pick[static_cast<std::size_t>(i)];
      for (int j = i + 1; j < r; ++j) pick[static_cast<std::size_t>(j)] = pick[static_cast<std::size_t>(j - 1)] + 1;
    }
  }

  bool try_sign_forms(Choices& c, int budget) {
    const std::size_t u = m_unary_points.size();
    // All combinations when there are few signs, else each one flipped alone.
    const std::size_t combos = u <= 6 ? (std::size_t{1} << u) : u + 1;
    for (std::size_t mask = 0; mask < combos; ++mask) {
      for (std::size_t k = 0; k < u; ++k) {
        const bool flipped = u <= 6 ? ((mask >> k) & 1) != 0 : mask == k + 1;
        c.unary[static_cast<std::size_t>(m_unary_points[k])] = flipped ? 0 : 1;
      }
      if (evaluate(c, nullptr)) return true;
      if (out_of_budget(budget)) return false;
    }
    return false;
  }

  // Larger ones grow the choices one step at a time (a parenthesis more
  // somewhere, or a sign form changed), keeping the candidates that come
  // nearest the target.
  void beam(const Score& plain) {
    constexpr std::size_t kWidth = 8;
    std::vector<std::pair<Score, Choices>> frontier = {{plain, m_choices}};
    const int steps = m_target_gaps + static_cast<int>(m_unary_points.size()) + 4;
    for (int step = 0; step < steps; ++step) {
      std::vector<std::pair<Score, Choices>> next;
      for (const auto& [score, choices] : frontier) {
        for (int p : m_paren_points) {
          Choices c = choices;
          auto& count = c.paren[static_cast<std::size_t>(p)];
          if (count >= 3) continue;
          ++count;
          Score s;
          if (evaluate(c, &s)) return;
          if (s.prefix >= 0) next.emplace_back(s, std::move(c));
          if (out_of_budget(m_options.budget)) return;
        }
        for (int u : m_unary_points) {
          Choices c = choices;
          c.unary[static_cast<std::size_t>(u)] ^= 1;
          Score s;
          if (evaluate(c, &s)) return;
          if (s.prefix >= 0) next.emplace_back(s, std::move(c));
          if (out_of_budget(m_options.budget)) return;
        }
      }
      if (next.empty()) return;
      std::stable_sort(next.begin(), next.end(), [](const auto& a, const auto& b) { return b.first < a.first; });
      if (next.size() > kWidth) next.resize(kWidth);
      frontier = std::move(next);
    }
  }

  Score score_of(const ExprStream& got, int gaps) const {
    Score s;
    const std::size_t n = std::min(got.ops.size(), m_target.ops.size());
    std::size_t prefix = 0;
    while (prefix < n && got.ops[prefix] == m_target.ops[prefix]) ++prefix;
    s.prefix = static_cast<int>(prefix);
    if (prefix < n) {
      auto a = temp_number(got.ops[prefix].target);
      auto b = temp_number(m_target.ops[prefix].target);
      if (a && b) s.number_distance = std::abs(*a - *b);
    }
    for (std::size_t i = 0; i < n; ++i) {
      s.equal += got.ops[i] == m_target.ops[i];
      auto a = temp_number(got.ops[i].target);
      auto b = temp_number(m_target.ops[i].target);
      if (a && b) s.total_distance += std::abs(*a - *b);
    }
    s.gap_distance = std::abs(gaps - m_target_gaps);
    return s;
  }

  // Renders and compiles; true when the bytes match. `score` (when given)
  // receives how near the candidate came; its prefix stays -1 when the
  // candidate could not be compiled. A text seen before is not compiled
  // again.
  bool evaluate(const Choices& c, Score* score) {
    auto text = Renderer(m_tree, c).run();
    if (!text) return false;
    auto seen = m_tried.find(*text);
    if (seen != m_tried.end()) {
      if (score) *score = seen->second;
      return false;
    }
    Score& memo = m_tried[*text];
    memo = Score{};
    if (m_options.acceptable && !m_options.acceptable(*text)) return false;
    ++m_result.compilations;
    m_work += text->size();
    std::string bytes;
    try {
      bytes = m_options.compile(*text);
    } catch (const core::Error&) {
      return false;
    }
    if (bytes == m_bytes) {
      m_result.match = DecompileMatch::Exact;
      m_result.text = *text;
      return true;
    }
    try {
      const ExprStream got = parse_expr_stream(bytes);
      const int gaps = gap_count(got);
      if (m_result.compilations == 1) m_plain_gaps = gaps;
      if (m_result.match == DecompileMatch::None && equivalent_streams(got, m_target)) {
        m_result.match = DecompileMatch::Equivalent;
        m_result.text = *text;
      }
      memo = score_of(got, gaps);
      if (score) *score = memo;
    } catch (const core::Error&) {
    }
    return false;
  }

  const ExprStream& m_target;
  std::string_view m_bytes;
  const Tree& m_tree;
  const DecompileOptions& m_options;
  const int m_target_gaps;
  int m_plain_gaps = 0;
  std::size_t m_work = 0;
  Choices m_choices;
  std::vector<int> m_unary_points;
  std::vector<int> m_paren_points;
  std::map<std::string, Score> m_tried;
  DecompiledExpression m_result;
};

}  // namespace

DecompiledExpression decompile_expression(std::string_view stream, const DecompileOptions& options) {
  ExprStream parsed;
  try {
    parsed = parse_expr_stream(stream);
  } catch (const core::Error&) {
    return {};
  }
  auto tree = build_tree(parsed);
  if (!tree) return {};
  return Search(parsed, stream, *tree, options).run();
}

}  // namespace nova::tools
