#include "tools/toolchain/expr_stream.h"

#include <map>

#include "core/binary_io.h"
#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "expr/function_table.h"
#include "expr/number_text.h"
#include "expr/op_codes.h"

namespace nova::tools {
namespace {

// The smallest operation: code, empty target, operand count.
constexpr std::size_t kMinOpBytes = 1 + 4 + 4;
// The smallest operand: a kind byte and a flag byte.
constexpr std::size_t kMinOperandBytes = 2;

ExprOperand read_operand(core::ByteReader& r) {
  ExprOperand o;
  const std::uint8_t kind = r.u8();
  switch (kind) {
    case 0:
    case 4:
      o.kind = static_cast<OperandKind>(kind);
      o.text = r.str();
      break;
    case 1:
      o.kind = OperandKind::Int;
      o.int_value = r.i32();
      break;
    case 2: {
      o.kind = OperandKind::Float;
      auto s = r.span(10);
      std::copy(s.begin(), s.end(), o.float_bytes.begin());
      break;
    }
    case 3:
      o.kind = OperandKind::Flag;
      o.flag = r.u8();
      break;
    default: r.fail(core::format("operand kind %d", {kind}));
  }
  return o;
}

void write_operand(core::ByteWriter& w, const ExprOperand& o) {
  w.u8(static_cast<std::uint8_t>(o.kind));
  switch (o.kind) {
    case OperandKind::Name:
    case OperandKind::String: w.str(o.text); break;
    case OperandKind::Int: w.i32(o.int_value); break;
    case OperandKind::Float: w.bytes(std::span<const std::uint8_t>(o.float_bytes)); break;
    case OperandKind::Flag: w.u8(o.flag); break;
  }
}

// A string constant as the expression language writes it.
std::string quoted_constant(std::string_view s) {
  std::string out = "\"";
  core::for_each_char(s, [&](std::size_t at, std::size_t n) {
    if (n == 1 && (s[at] == '"' || s[at] == '\\')) out.push_back('\\');
    out.append(s.substr(at, n));
  });
  return out + "\"";
}

std::string operand_text(const ExprOperand& o) {
  switch (o.kind) {
    case OperandKind::Name: return o.text;
    case OperandKind::String: return quoted_constant(o.text);
    case OperandKind::Int: return expr::int_text(o.int_value);
    case OperandKind::Float: {
      auto v = float_of(o.float_bytes);
      if (!v) {
        std::string hex = "f80:";
        for (int i = 9; i >= 0; --i) hex += core::format("%02X", {o.float_bytes[static_cast<std::size_t>(i)]});
        return hex;
      }
      std::string t = expr::float_text(*v);
      return t.find_first_of(".EN") == std::string::npos ? t + ".0" : t;
    }
    case OperandKind::Flag: return o.flag == 1 ? "TRUE" : o.flag == 0 ? "FALSE" : core::format("flag:%d", {o.flag});
  }
  return {};
}

}  // namespace

ExprStream parse_expr_stream(std::string_view bytes) {
  core::ByteReader r(bytes);
  r.set_context("expression");
  ExprStream s;
  const std::int32_t n = r.i32();
  if (n < 0 || static_cast<std::size_t>(n) > r.remaining() / kMinOpBytes) r.fail("operation count out of range");
  s.ops.reserve(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) {
    ExprOp op;
    op.code = r.u8();
    op.target = r.str();
    const std::int32_t count = r.i32();
    if (op.code == expr::ocFunc) op.function = r.u8();
    if (count < 0 || static_cast<std::size_t>(count) > r.remaining() / kMinOperandBytes) {
      r.fail("operand count out of range");
    }
    op.operands.reserve(static_cast<std::size_t>(count));
    for (std::int32_t k = 0; k < count; ++k) op.operands.push_back(read_operand(r));
    s.ops.push_back(std::move(op));
  }
  if (!r.at_end()) r.fail("bytes after the expression");
  return s;
}

std::string write_expr_stream(const ExprStream& stream) {
  core::ByteWriter w;
  w.i32(static_cast<std::int32_t>(stream.ops.size()));
  for (const ExprOp& op : stream.ops) {
    w.u8(op.code);
    w.str(op.target);
    w.i32(static_cast<std::int32_t>(op.operands.size()));
    if (op.code == expr::ocFunc) w.u8(op.function);
    for (const ExprOperand& o : op.operands) write_operand(w, o);
  }
  return w.take_string();
}

std::optional<int> temp_number(std::string_view name) {
  if (name.size() < 5 || name.substr(0, 4) != "____") return std::nullopt;
  std::string_view digits = name.substr(4);
  if (digits.substr(0, 2) == "d_") digits.remove_prefix(2);
  if (digits.empty() || digits.size() > 9) return std::nullopt;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

bool is_alias_temp(std::string_view name) { return name.substr(0, 6) == "____d_" && temp_number(name).has_value(); }

bool equivalent_streams(const ExprStream& a, const ExprStream& b) {
  if (a.ops.size() != b.ops.size()) return false;
  // Each side's temporaries get canonical names in order of appearance.
  auto canonical = [](const ExprStream& s) {
    std::map<std::string, std::string> names;
    int values = 0, aliases = 0;
    auto rename = [&](const std::string& n) -> std::string {
      if (!temp_number(n)) return n;
      auto it = names.find(n);
      if (it != names.end()) return it->second;
      std::string c = is_alias_temp(n) ? "____d_" + std::to_string(aliases++) : "____" + std::to_string(values++);
      names.emplace(n, c);
      return c;
    };
    ExprStream out = s;
    for (ExprOp& op : out.ops) {
      op.target = rename(op.target);
      for (ExprOperand& o : op.operands) {
        if (o.kind == OperandKind::Name) o.text = rename(o.text);
      }
    }
    return out;
  };
  return canonical(a) == canonical(b);
}

std::vector<std::string> format_operations(const ExprStream& stream) {
  std::vector<std::string> lines;
  for (const ExprOp& op : stream.ops) {
    std::string line = core::format("%-10s %s := ", {expr::ope_code_name(op.code), op.target});
    std::string args;
    for (std::size_t i = 0; i < op.operands.size(); ++i) {
      if (i) args += ", ";
      args += operand_text(op.operands[i]);
    }
    if (op.code == expr::ocFunc) {
      std::string name = op.function < expr::kSysFuncCount ? std::string(expr::kSysFuncs[op.function].name)
                                                           : core::format("function#%d", {op.function});
      line += name + "(" + args + ")";
    } else {
      line += args;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::optional<long double> float_of(const std::array<std::uint8_t, 10>& bytes) {
  core::ByteReader r(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
  const long double v = r.f80();
  core::ByteWriter w;
  w.f80(v);
  if (!std::equal(w.data().begin(), w.data().end(), bytes.begin())) return std::nullopt;
  return v;
}

}  // namespace nova::tools
