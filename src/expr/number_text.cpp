#include "expr/number_text.h"

#include <locale.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace nova::expr {

std::optional<std::int32_t> parse_int(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < s.size() && s[i] == '$') {
    hex = true;
    ++i;
  } else if (i < s.size() && (s[i] == 'x' || s[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return std::nullopt;
  std::uint64_t value = 0;
  for (; i < s.size(); ++i) {
    int d = hex ? hex_digit(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
    if (d < 0) return std::nullopt;
    value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
    // Past any value that could still be in range: stop before the
    // accumulator itself could overflow.
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  if (hex) {
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
  }
  if (negative) {
    if (value > 2147483648ull) return std::nullopt;
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(value));
  }
  if (value > 2147483647ull) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<long double> parse_float(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exp_digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++exp_digits;
    if (exp_digits == 0) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  // The syntax is checked above; strtold in the C locale does the correctly
  // rounded conversion, giving an infinity on overflow and the nearest
  // (possibly subnormal or zero) value on underflow.
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  std::string z(s);
  long double v = strtold_l(z.c_str(), nullptr, c_locale);
  return v;
}

std::string int_text(std::int32_t v) {
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string float_text(long double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0) return "0";
  // Fifteen significant digits in scientific form: "d.dddddddddddddde±x".
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
  std::string_view sci(buf, static_cast<std::size_t>(r.ptr - buf));
  bool negative = sci[0] == '-';
  if (negative) sci.remove_prefix(1);
  std::size_t epos = sci.find('e');
  std::string digits;
  for (std::size_t i = 0; i < epos; ++i) {
    if (sci[i] != '.') digits.push_back(sci[i]);
  }
  int exponent = 0;
  std::from_chars(sci.data() + epos + 1 + (sci[epos + 1] == '+' ? 1 : 0), sci.data() + sci.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out;
  if (negative) out.push_back('-');
  if (exponent >= -5 && exponent <= 14) {
    if (exponent >= 0) {
      std::size_t int_len = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= int_len) {
        out += digits;
        out.append(int_len - digits.size(), '0');
      } else {
        out.append(digits, 0, int_len);
        out.push_back('.');
        out.append(digits, int_len);
      }
    } else {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    }
    return out;
  }
  out.push_back(digits[0]);
  if (digits.size() > 1) {
    out.push_back('.');
    out.append(digits, 1);
  }
  out.push_back('E');
  char ebuf[16];
  auto er = std::to_chars(ebuf, ebuf + sizeof ebuf, exponent);
  out.append(ebuf, er.ptr);
  return out;
}

std::int32_t float_to_int(long double v) {
  if (!(v > -9223372036854775808.0L && v < 9223372036854775808.0L)) return 0;
  std::int64_t t = static_cast<std::int64_t>(v);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(t)));
}

}  // namespace nova::expr
