// The string and path-name functions. Every scan that looks for a byte value
// (a blank, a delimiter, a backslash, a letter) steps over double-byte
// characters, so a trail byte such as the 0x5C of ソ or the 0x41 of ア is never
// taken for one; only Length, Copy, Pos, Delete, Insert, Ord and Chr work
// on plain bytes.
#include <algorithm>
#include <cstdio>
#include <string>

#include "core/error.h"
#include "core/sjis.h"
#include "expr/builtin_groups.h"
#include "expr/function_args.h"
#include "expr/kana.h"
#include "expr/number_text.h"
#include "expr/sjis_string.h"
#include "platform/codepage.h"

namespace nova::expr {

namespace {

using Args = FunctionArgs;
namespace cp = platform::codepage;

constexpr std::int32_t kMaxDigits = 4096;

std::int32_t digit_count(std::string_view function, const TCustomParam& a) {
  const std::int32_t n = a.as_int();
  if (n < 0 || n > kMaxDigits) {
    core::throw_error(std::string(function) + ": a digit count must lie between 0 and 4096 (" + std::to_string(n) +
                      ")");
  }
  return n;
}

std::string pad_digits(std::string digits, std::int32_t width) {
  if (static_cast<std::int32_t>(digits.size()) < width)
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return digits;
}

// The 0-based byte offset of a 1-based index whose values below 1 count
// from 1, clamped to the end.
std::size_t start_of(std::int32_t index, std::size_t size) {
  if (index < 1) index = 1;
  return std::min<std::size_t>(static_cast<std::size_t>(index) - 1, size);
}

// Whether the byte at 0-based `pos` is a character of its own (not a lead
// byte of a double-byte character, not a trail byte).
bool single_byte_char_at(std::string_view s, std::size_t pos) {
  std::size_t b = 0;
  while (b < pos) b += core::char_length(s, b);
  return b == pos && core::char_length(s, pos) == 1;
}

// The offset of the last "\" or ":" that is a character of its own, or npos.
std::size_t last_path_delimiter(std::string_view s) {
  std::size_t found = std::string_view::npos;
  for (std::size_t pos = 0; pos < s.size(); pos += core::char_length(s, pos)) {
    if (core::char_length(s, pos) == 1 && (s[pos] == '\\' || s[pos] == ':')) found = pos;
  }
  return found;
}

// The offset of the extension's "." (after the last path delimiter), or npos.
std::size_t extension_dot(std::string_view s) {
  const std::size_t after = last_path_delimiter(s);
  std::size_t found = std::string_view::npos;
  for (std::size_t pos = after == std::string_view::npos ? 0 : after + 1; pos < s.size();
       pos += core::char_length(s, pos)) {
    if (core::char_length(s, pos) == 1 && s[pos] == '.') found = pos;
  }
  return found;
}

bool ends_with_backslash(std::string_view s) {
  std::size_t last = std::string_view::npos;
  for (std::size_t pos = 0; pos < s.size(); pos += core::char_length(s, pos)) last = pos;
  return last != std::string_view::npos && core::char_length(s, last) == 1 && s[last] == '\\';
}

std::string string_replace(std::string_view text, std::string_view from, std::string_view to, bool all,
                           bool ignore_case) {
  if (from.empty()) return std::string(text);
  // Case folding keeps every character's length, so offsets found in the
  // folded text are offsets in the original.
  std::string folded_text, folded_from;
  std::string_view hay = text, needle = from;
  if (ignore_case) {
    folded_text = cp::to_upper(text);
    folded_from = cp::to_upper(from);
    hay = folded_text;
    needle = folded_from;
  }
  std::string out;
  std::size_t done = 0;
  std::size_t at = find_on_boundary(hay, needle, 0);
  if (at == std::string_view::npos) return std::string(text);
  out.reserve(text.size());
  while (at != std::string_view::npos) {
    out.append(text.substr(done, at - done));
    out.append(to);
    check_text_size("StringReplace", static_cast<std::uint64_t>(out.size()) + (text.size() - at - from.size()));
    done = at + from.size();
    if (!all) break;
    at = find_on_boundary(hay, needle, done);
  }
  out.append(text.substr(done));
  return out;
}

void add(TSysFuncMan& funcs, int index, TSysFuncMan::Behaviour b) { funcs.set_behaviour(index, std::move(b)); }

}  // namespace

void register_string_functions(TSysFuncMan& funcs) {
  // --- Numbers as text ---
  add(funcs, 0, [](TCustomParam& t, Args a) {  // IntToStr
    const std::int32_t v = a[0]->as_int();
    if (a.size() < 2) {
      t.set_str(int_text(v));
      return;
    }
    const std::int32_t width = digit_count("IntToStr", *a[1]);
    const std::uint32_t mag = v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
    std::string s = pad_digits(std::to_string(mag), width);
    if (v < 0) s.insert(0, 1, '-');
    write_text(t, std::move(s));
  });
  add(funcs, 1, [](TCustomParam& t, Args a) {  // IntToHex
    const auto v = static_cast<std::uint32_t>(a[0]->as_int());
    const std::int32_t width = digit_count("IntToHex", *a[1]);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", v);
    write_text(t, pad_digits(buf, width));
  });
  add(funcs, 138, [](TCustomParam& t, Args a) {  // StrToIntDef
    std::string hold;
    const auto v = parse_int(text_arg(*a[0], hold));
    t.set_int(v ? *v : a[1]->as_int());
  });
  add(funcs, 139, [](TCustomParam& t, Args a) {  // StrToFloatDef
    std::string hold;
    const auto v = parse_float(text_arg(*a[0], hold));
    t.set_float(v ? *v : a[1]->as_float());
  });

  // --- Bytes ---
  add(funcs, 5, [](TCustomParam& t, Args a) {  // Length
    std::string hold;
    t.set_int(static_cast<std::int32_t>(text_arg(*a[0], hold).size()));
  });
  add(funcs, 7, [](TCustomParam& t, Args a) {  // Copy
    std::string hold;
    const std::string_view s = text_arg(*a[0], hold);
    const std::size_t start = start_of(a[1]->as_int(), s.size());
    std::size_t count = s.size() - start;
    if (a.size() > 2) count = std::min<std::size_t>(count, static_cast<std::size_t>(std::max(0, a[2]->as_int())));
    write_text(t, std::string(s.substr(start, count)));
  });
  add(funcs, 9, [](TCustomParam&, Args a) {  // Delete
    TCustomParam* v = written_variable(a, 0);
    if (!v) return;
    const std::int32_t index = a[1]->as_int();
    std::string s = v->as_str();
    if (index < 1 || static_cast<std::size_t>(index) > s.size()) return;
    std::size_t count = s.size();
    if (a.size() > 2) count = static_cast<std::size_t>(std::max(0, a[2]->as_int()));
    s.erase(static_cast<std::size_t>(index) - 1, count);
    v->set_str(s);
  });
  add(funcs, 11, [](TCustomParam&, Args a) {  // Insert
    TCustomParam* v = written_variable(a, 1);
    if (!v) return;
    std::string hold;
    const std::string_view part = text_arg(*a[0], hold);
    std::string s = v->as_str();
    check_text_size("Insert", static_cast<std::uint64_t>(s.size()) + part.size());
    const std::size_t at = start_of(a[2]->as_int(), s.size());
    s.insert(at, part);
    v->set_str(s);
  });
  add(funcs, 13, [](TCustomParam& t, Args a) {  // CompareStr
    std::string h1, h2;
    const std::string_view x = text_arg(*a[0], h1), y = text_arg(*a[1], h2);
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
      if (x[i] != y[i]) {
        t.set_int(static_cast<std::uint8_t>(x[i]) - static_cast<std::uint8_t>(y[i]));
        return;
      }
    }
    const std::int64_t d = static_cast<std::int64_t>(x.size()) - static_cast<std::int64_t>(y.size());
    t.set_int(static_cast<std::int32_t>(std::clamp<std::int64_t>(d, INT32_MIN, INT32_MAX)));
  });
  add(funcs, 15, [](TCustomParam& t, Args a) {  // Pos
    std::string h1, h2;
    const std::string_view part = text_arg(*a[0], h1), s = text_arg(*a[1], h2);
    const std::size_t at = part.empty() ? std::string_view::npos : s.find(part);
    t.set_int(at == std::string_view::npos ? 0 : static_cast<std::int32_t>(at) + 1);
  });
  add(funcs, 152, [](TCustomParam& t, Args a) {  // Chr
    t.set_str(std::string(1, static_cast<char>(a[0]->as_int() & 0xFF)));
  });
  add(funcs, 153, [](TCustomParam& t, Args a) {  // Ord
    std::string hold;
    const std::string_view s = text_arg(*a[0], hold);
    t.set_int(s.empty() ? 0 : static_cast<std::uint8_t>(s[0]));
  });

  // --- Characters ---
  add(funcs, 6, [](TCustomParam& t, Args a) {  // JLength
    std::string hold;
    t.set_int(j_length(text_arg(*a[0], hold)));
  });
  add(funcs, 8, [](TCustomParam& t, Args a) {  // JCopy
    std::string hold;
    const std::string_view s = text_arg(*a[0], hold);
    const std::int32_t count = a.size() > 2 ? std::max(0, a[2]->as_int()) : INT32_MAX;
    write_text(t, j_copy(s, a[1]->as_int(), count));
  });
  add(funcs, 10, [](TCustomParam&, Args a) {  // JDelete
    TCustomParam* v = written_variable(a, 0);
    if (!v) return;
    const std::int32_t count = a.size() > 2 ? a[2]->as_int() : INT32_MAX;
    v->set_str(j_delete(v->as_str(), a[1]->as_int(), count));
  });
  add(funcs, 12, [](TCustomParam&, Args a) {  // JInsert
    TCustomParam* v = written_variable(a, 1);
    if (!v) return;
    std::string hold;
    const std::string_view part = text_arg(*a[0], hold);
    const std::string s = v->as_str();
    check_text_size("JInsert", static_cast<std::uint64_t>(s.size()) + part.size());
    v->set_str(j_insert(part, s, a[2]->as_int()));
  });
  add(funcs, 14, [](TCustomParam& t, Args a) {  // CompareText
    std::string h1, h2;
    const int c = cp::compare(text_arg(*a[0], h1), text_arg(*a[1], h2), true);
    t.set_int(c < 0 ? -1 : c > 0 ? 1 : 0);
  });
  add(funcs, 16, [](TCustomParam& t, Args a) {  // JPos
    std::string h1, h2;
    t.set_int(j_pos(text_arg(*a[0], h1), text_arg(*a[1], h2)));
  });
  add(funcs, 17, [](TCustomParam& t, Args a) {  // Trim
    std::string hold;
    std::string_view s = text_arg(*a[0], hold);
    // Bytes up to 0x20 are never trail bytes, so both ends trim by byte.
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<std::uint8_t>(s[b]) <= 0x20) ++b;
    while (e > b && static_cast<std::uint8_t>(s[e - 1]) <= 0x20) --e;
    write_text(t, std::string(s.substr(b, e - b)));
  });
  add(funcs, 18, [](TCustomParam& t, Args a) {  // JTrim
    std::string hold;
    write_text(t, j_trim(text_arg(*a[0], hold)));
  });
  add(funcs, 64, [](TCustomParam& t, Args a) {  // FixStr
    std::string s = a[0]->as_str();
    if (s.size() >= 2) {
      std::size_t last = 0;
      for (std::size_t pos = 0; pos < s.size(); pos += core::char_length(s, pos)) last = pos;
      if (last == s.size() - 1 && core::is_lead_byte(s[last])) s.pop_back();
    }
    write_text(t, std::move(s));
  });
  add(funcs, 73, [](TCustomParam& t, Args a) {  // LowerCase
    std::string hold;
    write_text(t, cp::to_lower(text_arg(*a[0], hold)));
  });
  add(funcs, 74, [](TCustomParam& t, Args a) {  // UpperCase
    std::string hold;
    write_text(t, cp::to_upper(text_arg(*a[0], hold)));
  });
  add(funcs, 81, [](TCustomParam& t, Args a) {  // IsDelimiter
    std::string h1, h2;
    const std::string_view delims = text_arg(*a[0], h1), s = text_arg(*a[1], h2);
    const std::int32_t index = a[2]->as_int();
    bool hit = false;
    if (index >= 1 && static_cast<std::size_t>(index) <= s.size() &&
        single_byte_char_at(s, static_cast<std::size_t>(index) - 1)) {
      const char c = s[static_cast<std::size_t>(index) - 1];
      for (std::size_t d = 0; d < delims.size() && !hit; d += core::char_length(delims, d))
        hit = core::char_length(delims, d) == 1 && delims[d] == c;
    }
    t.set_flag(hit);
  });
  add(funcs, 82, [](TCustomParam& t, Args a) {  // StringOfChar
    std::string hold;
    const std::string_view s = text_arg(*a[0], hold);
    const std::int64_t n = std::max(0, a[1]->as_int());
    check_text_size("StringOfChar", static_cast<std::uint64_t>(n) * s.size());
    std::string out;
    out.reserve(static_cast<std::size_t>(n) * s.size());
    for (std::int64_t i = 0; i < n; ++i) out.append(s);
    write_text(t, std::move(out));
  });
  add(funcs, 83, [](TCustomParam& t, Args a) {  // StringReplace
    std::string h1, h2, h3;
    const bool all = a.size() > 3 && a[3]->as_flag();
    const bool ignore_case = a.size() > 4 && a[4]->as_flag();
    write_text(t, string_replace(text_arg(*a[0], h1), text_arg(*a[1], h2), text_arg(*a[2], h3), all, ignore_case));
  });
  add(funcs, 85, [](TCustomParam& t, Args a) {  // HanToZen
    std::string hold;
    const std::string_view s = text_arg(*a[0], hold);
    check_text_size("HanToZen", static_cast<std::uint64_t>(s.size()) * 2);
    write_text(t, han_to_zen(s));
  });
  add(funcs, 86, [](TCustomParam& t, Args a) {  // ZenToHan
    std::string hold;
    write_text(t, zen_to_han(text_arg(*a[0], hold)));
  });
  add(funcs, 133, [](TCustomParam& t, Args a) {  // AddDelimiter
    std::string s = a[1]->as_str();
    if (!s.empty()) {
      std::string hold;
      const std::string_view d = text_arg(*a[0], hold);
      check_text_size("AddDelimiter", static_cast<std::uint64_t>(s.size()) + d.size());
      s.append(d);
    }
    write_text(t, std::move(s));
  });

  // --- Path names ---
  add(funcs, 75, [](TCustomParam& t, Args a) {  // ExtractFilePath
    std::string hold;
    const std::string_view s = text_arg(*a[0], hold);
    const std::size_t at = last_path_delimiter(s);
    write_text(t, at == std::string_view::npos ? std::string() : std::string(s.substr(0, at + 1)));
  });
  add(funcs, 76, [](TCustomParam& t, Args a) {  // ExtractFileName
    std::string hold;
    const std::string_view s = text_arg(*a[0], hold);
    const std::size_t at = last_path_delimiter(s);
    write_text(t, std::string(at == std::string_view::npos ? s : s.substr(at + 1)));
  });
  add(funcs, 77, [](TCustomParam& t, Args a) {  // ExtractFileExt
    std::string hold;
    const std::string_view s = text_arg(*a[0], hold);
    const std::size_t dot = extension_dot(s);
    write_text(t, dot == std::string_view::npos ? std::string() : std::string(s.substr(dot)));
  });
  add(funcs, 78, [](TCustomParam& t, Args a) {  // IsPathDelimiter
    std::string hold;
    const std::string_view s = text_arg(*a[0], hold);
    const std::int32_t index = a[1]->as_int();
    t.set_flag(index >= 1 && static_cast<std::size_t>(index) <= s.size() &&
               s[static_cast<std::size_t>(index) - 1] == '\\' &&
               single_byte_char_at(s, static_cast<std::size_t>(index) - 1));
  });
  add(funcs, 79, [](TCustomParam& t, Args a) {  // AddBackSlash
    std::string s = a[0]->as_str();
    if (!ends_with_backslash(s)) s.push_back('\\');
    write_text(t, std::move(s));
  });
  add(funcs, 80, [](TCustomParam& t, Args a) {  // ChangeFileExt
    std::string s = a[0]->as_str();
    std::string hold;
    const std::string_view ext = text_arg(*a[1], hold);
    const std::size_t dot = extension_dot(s);
    if (dot != std::string_view::npos) s.resize(dot);
    check_text_size("ChangeFileExt", static_cast<std::uint64_t>(s.size()) + ext.size());
    s.append(ext);
    write_text(t, std::move(s));
  });
}

}  // namespace nova::expr
