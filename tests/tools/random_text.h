// Random expression and tagged texts for the round-trip tests: the kinds of
// text authors write, with the redundant parentheses, signs and spacing that
// change the compiler's numbering but not the result.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace nova::test {

class RandomText {
 public:
  explicit RandomText(std::uint32_t seed) : m_rng(seed) {}

  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
  bool chance(int percent) { return pick(100) < percent; }
  std::mt19937& rng() { return m_rng; }

  // An expression as a value (no assignment), in Shift-JIS.
  std::string value(int depth = 3) {
    std::string e = value_text(depth);
    return chance(10) ? "(" + e + ")" : e;
  }

  // A whole expression: a value, or an assignment to a name or an element.
  std::string expression(int depth = 3) {
    switch (pick(4)) {
      case 0: return name() + " = " + value(depth);
      case 1: return name() + "[" + value(1) + "] = " + value(depth);
      default: return value(depth);
    }
  }

  std::string name() {
    static const char* const kNames[] = {"a", "b", "count", "total", "@MouseX", "@LClick", "flag_1", "s"};
    if (chance(10)) return sjis("変数");
    if (chance(5)) return sjis("表");  // trail byte 0x5C
    return kNames[pick(8)];
  }

 private:
  std::string atom(int depth) {
    switch (pick(depth > 0 ? 9 : 6)) {
      case 0:
      case 1: return name();
      case 2: return std::to_string(pick(1000));
      case 3: {
        static const char* const kFloats[] = {"1.5", "0.25", "3.0", "100.125", "0.001"};
        return kFloats[pick(5)];
      }
      case 4: return chance(50) ? "TRUE" : "FALSE";
      case 5: return literal();
      case 6: return call(depth - 1);
      case 7: return name() + "[" + value(depth - 1) + (chance(30) ? ", " + value(0) : "") + "]";
      default: return "(" + value_text(depth - 1) + ")";
    }
  }

  std::string literal() {
    static const char* const kParts[] = {"abc", "x y", "\\\"", "\\\\", "\\n", "a,b", "(", "]", "+", "-1"};
    std::string s = "\"";
    int n = pick(3);
    for (int i = 0; i < n; ++i) s += chance(20) ? sjis("ソ表") : kParts[pick(10)];
    return s + "\"";
  }

  std::string call(int depth) {
    struct F {
      const char* name;
      int args;
    };
    static const F kFuncs[] = {{"IntToStr", 1}, {"Max", 2}, {"Abs", 1}, {"Copy", 3}, {"Length", 1}, {"Random", 1}};
    const F& f = kFuncs[pick(6)];
    std::string s = f.name;
    s += chance(20) ? " (" : "(";
    for (int i = 0; i < f.args; ++i) {
      if (i) s += chance(50) ? ", " : ",";
      std::string a = value(depth);
      s += chance(15) ? "(" + a + ")" : a;
    }
    return s + ")";
  }

  std::string value_text(int depth) {
    if (depth <= 0 || chance(25)) {
      std::string a = atom(depth);
      return chance(10) ? "-" + a : a;
    }
    static const char* const kOps[] = {
        "+", "-", "*", "/", "%", "|", "&", "^", "==", ">", "<", ">=", "<=", "<<", ">>", "++", "<>"};
    std::string a = value_text(depth - 1);
    std::string b = value_text(depth - 1);
    if (chance(30)) a = "(" + a + ")";
    if (chance(30)) b = "(" + b + ")";
    if (chance(10)) b = "-" + b;
    const char* op = kOps[pick(17)];
    return a + (chance(80) ? " " : "") + op + (chance(80) ? " " : "") + b;
  }

  std::mt19937 m_rng;
};

}  // namespace nova::test
