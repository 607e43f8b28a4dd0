// Operator codes of compiled expressions (one byte in the stream). What each
// computes is in nova_parser.cpp; "T" is the target variable, "a" and "b"
// operands 0 and 1.
#pragma once

#include <cstdint>
#include <string>

namespace nova::expr {

enum TOpeCode : std::uint8_t {
  ocNone = 0,       // invalid
  ocTo = 1,         // T := a, in T's type
  ocPlus = 2,       // T := a + b (float when T is a float, else integer)
  ocMinus = 3,      // T := a - b (also unary minus as 0 - x)
  ocMul = 4,        // T := a * b
  ocDiv = 5,        // T := a / b (integer division truncates toward zero)
  ocMod = 6,        // T := a mod b (integers, sign of the dividend)
  ocOr = 7,         // T := a | b (32-bit)
  ocAnd = 8,        // T := a & b
  ocXor = 9,        // T := a ^ b
  ocDimTo = 10,     // T := alias of element a[b, c, ...]
  ocFunc = 11,      // T := builtin function (operands are the arguments)
  ocEqual = 12,     // T := a == b, compared in a's type
  ocBig = 13,       // T := a > b
  ocSmall = 14,     // T := a < b
  ocEBig = 15,      // T := a >= b
  ocESmall = 16,    // T := a <= b
  ocShiftL = 17,    // T := a << (b mod 32)
  ocShiftR = 18,    // T := a >> (b mod 32), logical
  ocComboStr = 19,  // T := a as string followed by b as string
  ocNEqual = 20,    // T := a <> b
};

constexpr std::uint8_t kLastOpeCode = ocNEqual;

// "ocPlus" and so on; "ocNone" for 0 and the decimal code past the last.
std::string ope_code_name(std::uint8_t code);

}  // namespace nova::expr
