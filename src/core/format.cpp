#include "core/format.h"

#include <algorithm>
#include <cstdio>

namespace nova::core {
namespace {

struct Spec {
  bool left = false, zero = false, plus = false, space = false, alt = false;
  int width = -1;
  int precision = -1;
  char conv = 0;
};

void pad_and_append(std::string& out, std::string_view sign, std::string_view prefix, std::string_view body,
                    const Spec& s, bool numeric) {
  const std::size_t len = sign.size() + prefix.size() + body.size();
  const std::size_t width = s.width > 0 ? static_cast<std::size_t>(s.width) : 0;
  const std::size_t fill = width > len ? width - len : 0;
  // The zero flag is ignored for numbers with a precision, as in C.
  const bool zero_pad = s.zero && !s.left && numeric && s.precision < 0;
  if (!s.left && !zero_pad) out.append(fill, ' ');
  out.append(sign);
  out.append(prefix);
  if (zero_pad) out.append(fill, '0');
  out.append(body);
  if (s.left) out.append(fill, ' ');
}

std::string digits_of(std::uint64_t v, unsigned base, bool upper) {
  const char* table = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string d;
  do {
    d.push_back(table[v % base]);
    v /= base;
  } while (v != 0);
  std::reverse(d.begin(), d.end());
  return d;
}

void format_integer(std::string& out, const FormatArg& arg, const Spec& s) {
  std::int64_t sv = 0;
  std::uint64_t uv = 0;
  bool negative = false;
  if (auto* i = std::get_if<std::int64_t>(&arg.value())) {
    sv = *i;
    negative = sv < 0;
    uv = negative ? static_cast<std::uint64_t>(0) - static_cast<std::uint64_t>(sv) : static_cast<std::uint64_t>(sv);
  } else if (auto* u = std::get_if<std::uint64_t>(&arg.value())) {
    uv = *u;
  } else {
    // A string for a numeric conversion prints as the string.
    pad_and_append(out, "", "", std::get<std::string_view>(arg.value()), s, false);
    return;
  }
  unsigned base = 10;
  bool is_signed = s.conv == 'd' || s.conv == 'i';
  if (s.conv == 'x' || s.conv == 'X') base = 16;
  if (s.conv == 'o') base = 8;
  if (!is_signed && negative) {
    // %u / %x of a negative int shows its 32-bit two's complement, as the
    // system's 32-bit formatter did.
    uv = static_cast<std::uint32_t>(static_cast<std::int32_t>(sv));
    negative = false;
  }
  std::string body = (s.precision == 0 && uv == 0) ? std::string() : digits_of(uv, base, s.conv == 'X');
  if (s.precision > 0 && body.size() < static_cast<std::size_t>(s.precision)) {
    body.insert(0, static_cast<std::size_t>(s.precision) - body.size(), '0');
  }
  std::string_view sign = negative ? "-" : (is_signed && s.plus ? "+" : (is_signed && s.space ? " " : ""));
  std::string_view prefix;
  if (s.alt && uv != 0) prefix = base == 16 ? (s.conv == 'X' ? "0X" : "0x") : (base == 8 ? "0" : "");
  pad_and_append(out, sign, prefix, body, s, true);
}

void format_string(std::string& out, const FormatArg& arg, const Spec& s) {
  std::string text;
  if (auto* sv = std::get_if<std::string_view>(&arg.value())) {
    text.assign(*sv);
  } else if (auto* i = std::get_if<std::int64_t>(&arg.value())) {
    text = std::to_string(*i);
  } else {
    text = std::to_string(std::get<std::uint64_t>(arg.value()));
  }
  if (s.precision >= 0 && text.size() > static_cast<std::size_t>(s.precision))
    text.resize(static_cast<std::size_t>(s.precision));
  pad_and_append(out, "", "", text, s, false);
}

}  // namespace

std::string format(std::string_view pattern, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(pattern.size() + 16);
  auto next_arg = args.begin();
  std::size_t i = 0;
  while (i < pattern.size()) {
    char c = pattern[i];
    if (c != '%') {
      out.push_back(c);
      ++i;
      continue;
    }
    ++i;
    if (i < pattern.size() && pattern[i] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    Spec s;
    for (; i < pattern.size(); ++i) {
      char f = pattern[i];
      if (f == '-')
        s.left = true;
      else if (f == '0')
        s.zero = true;
      else if (f == '+')
        s.plus = true;
      else if (f == ' ')
        s.space = true;
      else if (f == '#')
        s.alt = true;
      else
        break;
    }
    auto read_number = [&](int& target) {
      if (i < pattern.size() && pattern[i] == '*') {
        ++i;
        target = 0;
        if (next_arg != args.end()) {
          if (auto* v = std::get_if<std::int64_t>(&next_arg->value()))
            target = static_cast<int>(std::clamp<std::int64_t>(*v, 0, 4096));
          ++next_arg;
        }
        return;
      }
      bool any = false;
      int n = 0;
      while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
        n = std::min(n * 10 + (pattern[i] - '0'), 4096);
        any = true;
        ++i;
      }
      if (any) target = n;
    };
    read_number(s.width);
    if (i < pattern.size() && pattern[i] == '.') {
      ++i;
      s.precision = 0;
      read_number(s.precision);
    }
    // Length modifiers carry no meaning here: every integer is 64-bit.
    while (i < pattern.size() && (pattern[i] == 'l' || pattern[i] == 'h' || pattern[i] == 'z' || pattern[i] == 'j'))
      ++i;
    if (i >= pattern.size()) {
      out.push_back('%');
      break;
    }
    s.conv = pattern[i++];
    switch (s.conv) {
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'o':
        if (next_arg != args.end()) format_integer(out, *next_arg++, s);
        break;
      case 's':
        if (next_arg != args.end()) format_string(out, *next_arg++, s);
        break;
      case 'c':
        if (next_arg != args.end()) {
          char ch = 0;
          if (auto* v = std::get_if<std::int64_t>(&next_arg->value()))
            ch = static_cast<char>(*v);
          else if (auto* u = std::get_if<std::uint64_t>(&next_arg->value()))
            ch = static_cast<char>(*u);
          else if (auto* t = std::get_if<std::string_view>(&next_arg->value()); t && !t->empty())
            ch = (*t)[0];
          ++next_arg;
          pad_and_append(out, "", "", std::string_view(&ch, 1), s, false);
        }
        break;
      default:
        // Unknown conversion: keep the text as written so the fault is visible.
        out.push_back('%');
        out.push_back(s.conv);
        break;
    }
  }
  return out;
}

}  // namespace nova::core
