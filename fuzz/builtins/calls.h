// The builtin fuzzer's input: a list of function calls, each a function, an
// argument count and arguments of several kinds (integers, floats, texts
// of a table of hostile names, raw texts, variables, huge counts). The
// encoder writes seeds; the decoder turns any bytes into expression text.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "expr/function_table.h"

namespace nova::fuzz::builtins {

// Functions the fuzzer leaves out: the component functions but SaveScreen,
// since the world's base list holds no components for them to find.
inline bool excluded(int index) {
  static constexpr int kPending[] = {2,  3,  19,  24,  25,  32,  33,  34,  35,  36,
                                     47, 69, 131, 132, 140, 141, 145, 146, 147, 154};
  return std::find(std::begin(kPending), std::end(kPending), index) != std::end(kPending);
}

inline const std::vector<int>& candidates() {
  static const std::vector<int> list = [] {
    std::vector<int> v;
    for (int i = 0; i < expr::kSysFuncCount; ++i) {
      if (!excluded(i)) v.push_back(i);
    }
    return v;
  }();
  return list;
}

// Expression fragments of the text kind (Shift-JIS; "\\" is one backslash
// once compiled).
inline const std::vector<std::string>& texts() {
  static const std::vector<std::string> list = {"\"..\\\\x\"",
                                                "\"a\\\\..\\\\..\\\\x\"",
                                                "\"\\\\etc\\\\passwd\"",
                                                "\"/etc/passwd\"",
                                                "\"C:\\\\x\"",
                                                "\"a:b\"",
                                                "\"out\\\\secret.txt\"",
                                                "\"out_file\"",
                                                "\"OUT\\\\deep\\\\x\"",
                                                "\"mem:m.txt\"",
                                                "\"save:s.txt\"",
                                                "\"data.txt\"",
                                                "\"sub\\\\new.txt\"",
                                                "\"*\"",
                                                "\"sub\\\\*.*\"",
                                                "\"http://example.com/\"",
                                                "\"\"",
                                                "\"\\n\"",
                                                "\",\"",
                                                "\"\x83\x5c\\\\\"",
                                                "StringOfChar(\"n\", 5000)",
                                                "\"a\" ++ Chr(0) ++ \"b\"",
                                                "\"v0 = v0 ++ \\\"x\\\"\"",
                                                "\"Calc(\\\"1\\\")\"",
                                                "\"TRUE\"",
                                                "\"@Temp\"",
                                                "\"v1\"",
                                                "\"\x8a\xbf\x8e\x9a\"",
                                                "\".bri\"",
                                                "\"shot.BRI\"",
                                                "\"out\\\\x.bri\"",
                                                "\"..\\\\x.bri\"",
                                                "\"save:t.bri\""};
  return list;
}

inline const std::array<std::string, 8>& floats() {
  static const std::array<std::string, 8> list = {"0.5",    "-1.25",     "36526.9999999", "1e20",
                                                  "-1e300", "2958465.5", "1e-9",          "-693594"};
  return list;
}

inline const std::array<std::string, 8>& huge() {
  static const std::array<std::string, 8> list = {"2147483647", "-2147483648", "65536", "16777216",
                                                  "4097",       "-1",          "4096",  "16777217"};
  return list;
}

enum ArgKind : std::uint8_t { kInt = 0, kFloat, kText, kRaw, kVariable, kHuge, kKinds };

struct Arg {
  ArgKind kind = kInt;
  std::int32_t value = 0;  // the integer, or the table or variable index
  std::string raw;         // kRaw
};

struct Call {
  int index = 0;  // the function index
  std::vector<Arg> args;
};

inline constexpr int kVariables = 4;  // v0 integer, v1 text, v2 float, v3 flag (arrays or scalars)
inline constexpr std::size_t kMaxCalls = 8;
inline constexpr std::size_t kMaxRaw = 32;

inline void encode(const std::vector<Call>& calls, std::string& out) {
  for (const Call& c : calls) {
    const auto& list = candidates();
    out.push_back(static_cast<char>(std::find(list.begin(), list.end(), c.index) - list.begin()));
    const expr::TSysFuncInfo& info = expr::kSysFuncs[static_cast<std::size_t>(c.index)];
    out.push_back(static_cast<char>(c.args.size() - static_cast<std::size_t>(info.min_args)));
    for (const Arg& a : c.args) {
      out.push_back(static_cast<char>(a.kind));
      if (a.kind == kInt) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(static_cast<std::uint32_t>(a.value) >> (8 * i)));
      } else if (a.kind == kRaw) {
        out.push_back(static_cast<char>(a.raw.size()));
        out += a.raw;
      } else {
        out.push_back(static_cast<char>(a.value));
      }
    }
  }
}

// The expression texts of the calls in `data`.
inline std::vector<std::string> decode(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> out;
  std::size_t p = 0;
  auto next = [&]() -> std::uint8_t { return p < size ? data[p++] : 0; };
  while (p < size && out.size() < kMaxCalls) {
    const auto& list = candidates();
    const int index = list[next() % list.size()];
    const expr::TSysFuncInfo& info = expr::kSysFuncs[static_cast<std::size_t>(index)];
    const int spread = info.max_args < 0 ? 3 : info.max_args - info.min_args;
    const int count = info.min_args + (spread > 0 ? next() % (spread + 1) : (next(), 0));
    std::string text = std::string(info.name) + "(";
    for (int a = 0; a < count; ++a) {
      if (a) text += ", ";
      switch (next() % kKinds) {
        case kInt: {
          std::uint32_t v = 0;
          for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(next()) << (8 * i);
          text += std::to_string(static_cast<std::int32_t>(v));
          break;
        }
        case kFloat: text += floats()[next() % floats().size()]; break;
        case kText: text += texts()[next() % texts().size()]; break;
        case kRaw: {
          const std::size_t n = std::min<std::size_t>(next(), kMaxRaw);
          text += '"';
          for (std::size_t i = 0; i < n; ++i) {
            const char c = static_cast<char>(next());
            if (c == '"' || c == '\\') text += '\\';
            text += c == '\0' ? ' ' : c;
          }
          text += '"';
          break;
        }
        case kVariable: text += "v" + std::to_string(next() % kVariables); break;
        default: text += huge()[next() % huge().size()]; break;
      }
    }
    out.push_back(text + ")");
  }
  return out;
}

}  // namespace nova::fuzz::builtins
