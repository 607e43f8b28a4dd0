// A compiled expression stream taken apart field by field, for tools that
// show, compare and decompile what pages store. Unlike the executable form
// (expr::TNovaParser) it keeps every field as stored: float operands as their
// ten bytes, flag operands as their byte, function indexes that the table
// does not have.
//
//   op count                int32
//   per operation: code     byte
//                  target   int32 length + bytes
//                  operand count  int32 (for ocFunc: the arguments)
//                  function index byte, only for ocFunc (code 11)
//                  operands kind byte, then by kind: 0 name and 4 string
//                           (int32 length + bytes), 1 int32, 2 ten bytes,
//                           3 one byte
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nova::tools {

enum class OperandKind : std::uint8_t { Name = 0, Int = 1, Float = 2, Flag = 3, String = 4 };

struct ExprOperand {
  OperandKind kind = OperandKind::Name;
  std::string text;  // Name and String
  std::int32_t int_value = 0;
  std::array<std::uint8_t, 10> float_bytes{};
  std::uint8_t flag = 0;

  bool operator==(const ExprOperand&) const = default;
};

struct ExprOp {
  std::uint8_t code = 0;
  std::string target;
  std::uint8_t function = 0;  // meaningful for ocFunc only
  std::vector<ExprOperand> operands;

  bool operator==(const ExprOp&) const = default;
};

struct ExprStream {
  std::vector<ExprOp> ops;
  bool operator==(const ExprStream&) const = default;
};

// Reads one whole stream; raises core::Error for a truncated or malformed
// one, or for bytes left after it.
ExprStream parse_expr_stream(std::string_view bytes);
std::string write_expr_stream(const ExprStream& stream);

// The compiler's temporaries: "____N" values and "____d_N" element aliases
// answer their number; "____arg" and every other name answer nullopt.
std::optional<int> temp_number(std::string_view name);
bool is_alias_temp(std::string_view name);

// Whether two streams hold the same operations once the numbered
// temporaries of each are renamed in order of first appearance (values and
// aliases apart): what compiling equivalent texts gives.
bool equivalent_streams(const ExprStream& a, const ExprStream& b);

// The operations as lines of text in Shift-JIS, one per operation:
//   "ocPlus   ____0 := a, 1"   "ocFunc   ____1 := IntToStr(____0)"
// Constants are written by kind: 12, 1.5, TRUE, "text" (with \" and \\),
// names as they stand.
std::vector<std::string> format_operations(const ExprStream& stream);

// The float of ten stored bytes; nullopt when writing that value back would
// not give the same bytes (an encoding the processor never produces).
std::optional<long double> float_of(const std::array<std::uint8_t, 10>& bytes);

}  // namespace nova::tools
