// Numbers as text: the parsing and formatting rules that every conversion
// between strings and numbers follows (values, the compiler's operand kinds,
// the builtin functions).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nova::expr {

// The value of one hexadecimal digit (either case), -1 for any other byte.
constexpr int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Integer text: blanks (0x20) before the number, an optional sign, then
// decimal digits, or hexadecimal digits after "$", "x" or "0x" (either case).
// Decimal values must fit 32 signed bits; hexadecimal ones may use all 32 bits
// (so "$FFFFFFFF" is -1). Nothing may follow the digits. nullopt when the text
// does not parse.
std::optional<std::int32_t> parse_int(std::string_view text);

// Float text: an optional sign, digits with "." as the decimal point (digits
// on at least one side of it), and an optional exponent "e" or "E" with an
// optional sign and at least one digit. No blanks. Read into 80-bit extended
// precision, correctly rounded. nullopt when the text does not parse.
std::optional<long double> parse_float(std::string_view text);

// Decimal text of an integer.
std::string int_text(std::int32_t v);

// The general text of a float. It is the shortest text that reads back to the
// same value within 15 significant digits: the value is rounded to 15
// significant digits and trailing zeros are dropped. When the decimal
// exponent of the first digit lies between -5 and 14 (inclusive) the text is
// plain ("0.00001", "123456789012345", "-2.5"); otherwise it is the mantissa,
// "E", a minus sign only for negative exponents and the exponent without
// leading zeros ("1E15", "1.5E-7", "-3.25E100"). Zero is "0" whatever its
// sign; infinities are "INF" and "-INF", not-a-number is "NAN".
std::string float_text(long double v);

// A float converted to a 32-bit integer: truncated toward zero, keeping the
// low 32 bits of the 64-bit result. Values outside the 64-bit range and NaN
// give 0, as the processor's "integer indefinite" does.
std::int32_t float_to_int(long double v);

}  // namespace nova::expr
