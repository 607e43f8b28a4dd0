#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace nova::platform::codepage {
namespace {

constexpr std::uint8_t fold_upper_single(std::uint8_t b) {
  return (b >= 'a' && b <= 'z') ? static_cast<std::uint8_t>(b - 32) : b;
}

// Full-width Latin lower case ａ..ｚ is 0x8281..0x829A, upper case Ａ..Ｚ is
// 0x8260..0x8279: the same trail offset minus 0x21.
constexpr std::uint16_t fold_upper_code(std::uint16_t code) {
  if (code < 0x100) return fold_upper_single(static_cast<std::uint8_t>(code));
  if (code >= 0x8281 && code <= 0x829A) return static_cast<std::uint16_t>(code - 0x21);
  return code;
}

template <typename Map>
std::string map_chars(std::string_view s, Map map) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size();) {
    std::size_t n = char_length(out, i);
    if (n == 1) {
      out[i] = static_cast<char>(map(static_cast<std::uint8_t>(out[i])));
    } else {
      std::uint16_t code =
          static_cast<std::uint16_t>(static_cast<std::uint8_t>(out[i]) << 8 | static_cast<std::uint8_t>(out[i + 1]));
      std::uint16_t m = map(code);
      out[i] = static_cast<char>(m >> 8);
      out[i + 1] = static_cast<char>(m & 0xFF);
    }
    i += n;
  }
  return out;
}

// One converter per thread and direction: iconv descriptors carry state and
// must not be shared between threads.
class Converter {
 public:
  Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
  ~Converter() {
    if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

  // Converts as much as possible. On an unconvertible or malformed sequence,
  // stops and returns the offset of it in `*stopped_at`; returns true when
  // the whole input was converted.
  bool convert(std::string_view in, std::string& out, std::size_t* stopped_at) {
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char buffer[1024];
    while (src_left > 0) {
      char* dst = buffer;
      std::size_t dst_left = sizeof buffer;
      std::size_t r = iconv(m_cd, &src, &src_left, &dst, &dst_left);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (r == static_cast<std::size_t>(-1)) {
        if (errno == E2BIG) continue;
        *stopped_at = static_cast<std::size_t>(src - in.data());
        return false;
      }
    }
    char* dst = buffer;
    std::size_t dst_left = sizeof buffer;
    iconv(m_cd, nullptr, nullptr, &dst, &dst_left);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    return true;
  }

 private:
  iconv_t m_cd;
};

Converter& sjis_to_utf8_converter() {
  thread_local Converter c("UTF-8", "CP932");
  return c;
}

Converter& utf8_to_sjis_converter() {
  thread_local Converter c("CP932", "UTF-8");
  return c;
}

bool is_ascii(std::string_view s) {
  for (char c : s) {
    if (static_cast<std::uint8_t>(c) >= 0x80) return false;
  }
  return true;
}

// Length of a valid UTF-8 sequence at `i`, or 0 when malformed.
std::size_t utf8_length(std::string_view s, std::size_t i, char32_t* cp) {
  auto b = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  std::uint8_t c = b(i);
  std::size_t n;
  char32_t v;
  if (c < 0x80) {
    *cp = c;
    return 1;
  }
  if ((c & 0xE0) == 0xC0) {
    n = 2;
    v = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3;
    v = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4;
    v = c & 0x07;
  } else
    return 0;
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    v = (v << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 2 && v < 0x80) || (n == 3 && v < 0x800) || (n == 4 && v < 0x10000) || v > 0x10FFFF ||
      (v >= 0xD800 && v <= 0xDFFF)) {
    return 0;
  }
  *cp = v;
  return n;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

char32_t cp932_form(char32_t cp) {
  switch (cp) {
    case 0x301C: return 0xFF5E;
    case 0x2016: return 0x2225;
    case 0x2212: return 0xFF0D;
    case 0x00A2: return 0xFFE0;
    case 0x00A3: return 0xFFE1;
    case 0x00AC: return 0xFFE2;
    case 0x2014: return 0x2015;
    default: return cp;
  }
}

// Converts one UTF-8 character (already decoded) to CP932; false when it has
// no CP932 form.
bool one_to_sjis(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
    return true;
  }
  std::string u;
  append_utf8(u, cp932_form(cp));
  std::size_t stop = 0;
  std::string tmp;
  if (!utf8_to_sjis_converter().convert(u, tmp, &stop)) return false;
  out += tmp;
  return true;
}

}  // namespace

std::string to_upper(std::string_view sjis) {
  return map_chars(sjis, [](std::uint16_t c) { return fold_upper_code(c); });
}

std::string to_lower(std::string_view sjis) {
  return map_chars(sjis, [](std::uint16_t c) -> std::uint16_t {
    if (c < 0x100) return (c >= 'A' && c <= 'Z') ? static_cast<std::uint16_t>(c + 32) : c;
    if (c >= 0x8260 && c <= 0x8279) return static_cast<std::uint16_t>(c + 0x21);
    return c;
  });
}

int compare(std::string_view a, std::string_view b, bool ignore_case) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    std::size_t na = char_length(a, i), nb = char_length(b, j);
    std::uint16_t ca =
        na == 1
            ? static_cast<std::uint8_t>(a[i])
            : static_cast<std::uint16_t>(static_cast<std::uint8_t>(a[i]) << 8 | static_cast<std::uint8_t>(a[i + 1]));
    std::uint16_t cb =
        nb == 1
            ? static_cast<std::uint8_t>(b[j])
            : static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[j]) << 8 | static_cast<std::uint8_t>(b[j + 1]));
    if (ignore_case) {
      ca = fold_upper_code(ca);
      cb = fold_upper_code(cb);
    }
    if (ca != cb) return ca < cb ? -1 : 1;
    i += na;
    j += nb;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool equal_ignore_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return compare(a, b, true) == 0;
}

std::string to_utf8(std::string_view sjis) {
  if (is_ascii(sjis)) return std::string(sjis);
  std::string out;
  out.reserve(sjis.size() * 3 / 2);
  Converter& conv = sjis_to_utf8_converter();
  while (!sjis.empty()) {
    std::size_t stop = 0;
    if (conv.ok() && conv.convert(sjis, out, &stop)) break;
    if (!conv.ok()) stop = 0;
    // Skip the offending character: a whole double-byte pair when it looks
    // like one, else one byte.
    std::size_t skip = char_length(sjis, stop);
    append_utf8(out, 0xFFFD);
    sjis.remove_prefix(stop + skip);
  }
  return out;
}

std::optional<std::string> from_utf8(std::string_view utf8) {
  if (is_ascii(utf8)) return std::string(utf8);
  // Validate and map the JIS-style forms first, then convert in one call.
  std::string normalized;
  normalized.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    std::size_t n = utf8_length(utf8, i, &cp);
    if (n == 0) return std::nullopt;
    append_utf8(normalized, cp932_form(cp));
    i += n;
  }
  std::string out;
  out.reserve(utf8.size());
  std::size_t stop = 0;
  Converter& conv = utf8_to_sjis_converter();
  if (!conv.ok() || !conv.convert(normalized, out, &stop)) return std::nullopt;
  return out;
}

std::string from_utf8_lossy(std::string_view utf8, char replacement) {
  if (is_ascii(utf8)) return std::string(utf8);
  // Most texts convert whole; only a text that does not pays for going
  // character by character.
  if (auto whole = from_utf8(utf8)) return std::move(*whole);
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    std::size_t n = utf8_length(utf8, i, &cp);
    if (n == 0) {
      out.push_back(replacement);
      ++i;
      continue;
    }
    if (!one_to_sjis(cp, out)) out.push_back(replacement);
    i += n;
  }
  return out;
}

std::optional<std::size_t> first_unconvertible(std::string_view utf8) {
  std::string scratch;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    std::size_t n = utf8_length(utf8, i, &cp);
    if (n == 0 || !one_to_sjis(cp, scratch)) return i;
    i += n;
  }
  return std::nullopt;
}

std::optional<char32_t> code_to_unicode(std::uint16_t code) {
  char bytes[2];
  std::string_view in;
  if (code < 0x100) {
    bytes[0] = static_cast<char>(code);
    in = std::string_view(bytes, 1);
    if (code < 0x80) return static_cast<char32_t>(code);
    if (is_lead_byte(static_cast<std::uint8_t>(code))) return std::nullopt;
  } else {
    bytes[0] = static_cast<char>(code >> 8);
    bytes[1] = static_cast<char>(code & 0xFF);
    if (!is_lead_byte(bytes[0])) return std::nullopt;
    in = std::string_view(bytes, 2);
  }
  std::string out;
  std::size_t stop = 0;
  if (!sjis_to_utf8_converter().convert(in, out, &stop) || out.empty()) return std::nullopt;
  char32_t cp = 0;
  if (utf8_length(out, 0, &cp) != out.size()) return std::nullopt;
  return cp;
}

}  // namespace nova::platform::codepage
