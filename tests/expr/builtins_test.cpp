// The builtin functions of the expression layer, run through compiled
// expressions as a title runs them: strings and path names, arrays and
// variables, math, dates, Calc, and the dispatcher's checks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/binary_io.h"
#include "core/error.h"
#include "expr/expr_functions.h"
#include "expr/nova_parser.h"
#include "expr/op_codes.h"
#include "expr/store_variables.h"
#include "support/test_support.h"

namespace nova::expr {
namespace {

using test::sjis;

class Builtins : public ::testing::Test {
 protected:
  Builtins() { register_expr_functions(funcs, store, random); }

  TParamCollectionItem& var(std::string_view name, TParamType type) {
    bool created = false;
    return store.create(name, type, TVarScope::Global, created);
  }
  // Runs Shift-JIS text; the result, or nullptr after an error (error()).
  const TCustomParam* run(std::string_view text) {
    parser = compile_expression(text);
    ok = parser.execute(store, funcs);
    return ok ? parser.result() : nullptr;
  }
  std::string str(std::string_view utf8_text) {
    auto r = run(sjis(utf8_text));
    EXPECT_NE(r, nullptr) << utf8_text << ": " << error();
    return r ? r->as_str() : "(error)";
  }
  std::int32_t integer(std::string_view utf8_text) {
    auto r = run(sjis(utf8_text));
    EXPECT_NE(r, nullptr) << utf8_text << ": " << error();
    return r ? r->as_int() : -999999;
  }
  long double real(std::string_view utf8_text) {
    auto r = run(sjis(utf8_text));
    EXPECT_NE(r, nullptr) << utf8_text << ": " << error();
    return r ? r->as_float() : -999999;
  }
  bool flag(std::string_view utf8_text) {
    auto r = run(sjis(utf8_text));
    EXPECT_NE(r, nullptr) << utf8_text << ": " << error();
    return r && r->as_flag();
  }
  // The UTF-8 error of a run that must stop.
  std::string stops(std::string_view utf8_text) {
    run(sjis(utf8_text));
    EXPECT_FALSE(ok) << utf8_text;
    return error();
  }
  std::string error() const { return test::utf8(parser.last_error()); }

  TParamCollection store;
  StandardRandom random{1};
  TSysFuncMan funcs;
  TNovaParser parser;
  bool ok = false;
};

TEST_F(Builtins, ByteFunctionsCountFromOneAndClampTheirIndexes) {
  EXPECT_EQ(str("IntToStr(5, 3)"), "005");
  EXPECT_EQ(str("IntToStr(-5, 3)"), "-005");
  EXPECT_EQ(str("IntToStr(-2147483648, 12)"), "-002147483648");
  EXPECT_EQ(str("IntToStr(0, 0)"), "0");
  EXPECT_EQ(str("IntToStr(42)"), "42");
  EXPECT_EQ(str("IntToHex(255, 4)"), "00FF");
  EXPECT_EQ(str("IntToHex(-1, 2)"), "FFFFFFFF");
  EXPECT_EQ(str("IntToStr(1, 4096)").size(), 4096u);
  EXPECT_NE(stops("IntToStr(1, 4097)").find("4096"), std::string::npos);
  stops("IntToHex(1, -1)");

  EXPECT_EQ(integer("Length(\"漢字ab\")"), 6);
  EXPECT_EQ(str("Copy(\"abcdef\", 2, 3)"), "bcd");
  EXPECT_EQ(str("Copy(\"abcdef\", -4, 2)"), "ab");  // below 1 counts from 1
  EXPECT_EQ(str("Copy(\"abcdef\", 5)"), "ef");
  EXPECT_EQ(str("Copy(\"abcdef\", 9, 2)"), "");
  EXPECT_EQ(str("Copy(\"abcdef\", 2, -1)"), "");  // a negative count is 0
  var("s", PT_STR).value().set_str("abcdef");
  EXPECT_EQ(str("Delete(s, 2)"), "");  // no result of its own
  EXPECT_EQ(store.find("s")->value().as_str(), "a");
  store.find("s")->value().set_str("abcdef");
  run("Delete(s, 0, 2)");
  run("Delete(s, 7, 2)");
  EXPECT_EQ(store.find("s")->value().as_str(), "abcdef") << "below 1 or past the end deletes nothing";
  run("Delete(s, 2, -3)");
  EXPECT_EQ(store.find("s")->value().as_str(), "abcdef");
  run("Delete(s, 5, 99)");
  EXPECT_EQ(store.find("s")->value().as_str(), "abcd");
  run("Insert(\"XY\", s, -1)");
  run("Insert(\"!\", s, 99)");
  run("Insert(\"-\", s, 3)");
  EXPECT_EQ(store.find("s")->value().as_str(), "XY-abcd!");
  EXPECT_EQ(integer("Pos(\"cd\", \"abcdcd\")"), 3);
  EXPECT_EQ(integer("Pos(\"\", \"abc\")"), 0);
  EXPECT_EQ(integer("Ord(\"\")"), 0);
  EXPECT_EQ(integer("Ord(\"漢\")"), 0x8A);
  EXPECT_EQ(str("Chr(321)"), "A");
  EXPECT_EQ(integer("CompareStr(\"abc\", \"abd\")"), 'c' - 'd');
  EXPECT_EQ(integer("CompareStr(\"ab\", \"abcd\")"), -2);
  EXPECT_EQ(integer("CompareStr(Chr(200), \"a\")"), 200 - 'a') << "bytes compare unsigned";
}

TEST_F(Builtins, CharacterFunctionsNeverSplitOrMisreadADoubleByteCharacter) {
  EXPECT_EQ(integer("JLength(\"漢字かなab\")"), 6);
  EXPECT_EQ(str("JCopy(\"漢字かな\", 2, 2)"), sjis("字か"));
  EXPECT_EQ(str("JCopy(\"漢字かな\", 0, 1)"), sjis("漢"));
  EXPECT_EQ(str("JCopy(\"漢字かな\", 3)"), sjis("かな"));
  EXPECT_EQ(str("JCopy(\"漢字\", 1, -2)"), "");
  var("j", PT_STR).value().set_str(sjis("漢字かな"));
  run(sjis("JDelete(j, 2, 2)"));
  EXPECT_EQ(store.find("j")->value().as_str(), sjis("漢な"));
  run(sjis("JInsert(\"ソ\", j, 2)"));
  run(sjis("JInsert(\"a\", j, 0)"));
  run(sjis("JInsert(\"z\", j, 50)"));
  EXPECT_EQ(store.find("j")->value().as_str(), sjis("a漢ソなz"));
  // ア is 83 41 ("A" as its trail byte), ソ is 83 5C (a backslash).
  EXPECT_EQ(integer("JPos(\"A\", \"アA\")"), 2);
  EXPECT_EQ(integer("Pos(\"A\", \"アA\")"), 2) << "Pos works on bytes and finds the trail byte";
  EXPECT_EQ(integer("JPos(\"か\", \"漢字かな\")"), 3);
  EXPECT_EQ(str("JTrim(\"　\t漢字 　\")"), sjis("\t漢字"));
  EXPECT_EQ(str("Trim(\" \t漢字\r\n\")"), sjis("漢字"));
  EXPECT_EQ(str("UpperCase(\"abｚア\")"), sjis("ABＺア"));
  EXPECT_EQ(str("LowerCase(\"ABＡア\")"), sjis("abａア")) << "the trail byte A of ア stays";
  EXPECT_EQ(integer("CompareText(\"ABC\", \"abd\")"), -1);
  EXPECT_EQ(integer("CompareText(\"Ｂ\", \"ｂ\")"), 0);
  EXPECT_EQ(integer("CompareText(\"b\", \"A\")"), 1);
  EXPECT_FALSE(flag("IsDelimiter(\"\\\\\", \"ソ\", 2)")) << "a trail byte never counts";
  EXPECT_TRUE(flag("IsDelimiter(\",;\", \"a;b\", 2)"));
  EXPECT_FALSE(flag("IsDelimiter(\";\", \"a;b\", 9)"));
  EXPECT_EQ(str("FixStr(\"ab\" ++ Chr(130))"), "ab");
  EXPECT_EQ(str("FixStr(\"漢\")"), sjis("漢"));
  EXPECT_EQ(str("StringOfChar(\"ab\", 3)"), "ababab");
  EXPECT_EQ(str("StringOfChar(\"ab\", -3)"), "");
  EXPECT_NE(stops("StringOfChar(\"abcd\", 20000000)").find("64 MiB"), std::string::npos);
  EXPECT_EQ(str("HanToZen(\"ｶﾞa\")"), sjis("ガａ"));
  EXPECT_EQ(str("ZenToHan(\"ガ漢ａ\")"), sjis("ｶﾞa"));
  EXPECT_EQ(str("AddDelimiter(\",\", \"\")"), "");
  EXPECT_EQ(str("AddDelimiter(\",\", \"a\")"), "a,");
  EXPECT_EQ(integer("StrToIntDef(\" $1F\", 7)"), 31);
  EXPECT_EQ(integer("StrToIntDef(\"1x\", 7)"), 7);
  EXPECT_EQ(real("StrToFloatDef(\"2.5e1\", 0)"), 25.0L);
  EXPECT_EQ(real("StrToFloatDef(\"zz\", 3)"), 3.0L);
}

TEST_F(Builtins, StringReplaceStepsOverTrailBytesAndIgnoresAnEmptyPattern) {
  EXPECT_EQ(str("StringReplace(\"a-b-c\", \"-\", \"+\")"), "a+b-c");
  EXPECT_EQ(str("StringReplace(\"a-b-c\", \"-\", \"+\", TRUE)"), "a+b+c");
  EXPECT_EQ(str("StringReplace(\"aAa\", \"a\", \"x\", TRUE)"), "xAx");
  EXPECT_EQ(str("StringReplace(\"aAａＡ\", \"a\", \"x\", TRUE, TRUE)"), sjis("xxａＡ"));
  EXPECT_EQ(str("StringReplace(\"ａＡ\", \"ａ\", \"x\", TRUE, TRUE)"), "xx");
  EXPECT_EQ(str("StringReplace(\"ソ\\\\\", \"\\\\\", \"/\", TRUE)"), sjis("ソ/"));
  EXPECT_EQ(str("StringReplace(\"アA\", \"A\", \"b\", TRUE, TRUE)"), sjis("アb"));
  EXPECT_EQ(str("StringReplace(\"abc\", \"\", \"x\", TRUE)"), "abc") << "an empty pattern would never end";
  EXPECT_NE(stops("StringReplace(StringOfChar(\"a\", 40000000), StringOfChar(\"a\", 4096), StringOfChar(\"b\", 8192), "
                  "TRUE)")
                .find("64 MiB"),
            std::string::npos);
}

TEST_F(Builtins, PathNamesStepOverTrailBackslashes) {
  EXPECT_EQ(str("ExtractFilePath(\"bgm\\op\\a.ogg\")"), "bgm\\op\\");
  EXPECT_EQ(str("ExtractFilePath(\"a.ogg\")"), "");
  EXPECT_EQ(str("ExtractFileName(\"c:bgm\\a.ogg\")"), "a.ogg");
  EXPECT_EQ(str("ExtractFileName(\"c:a.ogg\")"), "a.ogg");
  EXPECT_EQ(str("ExtractFileName(\"ソ\")"), sjis("ソ"));
  EXPECT_EQ(str("ExtractFilePath(\"表ソ\\x\")"), sjis("表ソ\\"));
  EXPECT_EQ(str("ExtractFileExt(\"a.b\\c\")"), "");
  EXPECT_EQ(str("ExtractFileExt(\"a\\c.tar.gz\")"), ".gz");
  EXPECT_TRUE(flag("IsPathDelimiter(\"a\\b\", 2)"));
  EXPECT_FALSE(flag("IsPathDelimiter(\"ソ\", 2)"));
  EXPECT_FALSE(flag("IsPathDelimiter(\"a\", 0)"));
  EXPECT_EQ(str("AddBackSlash(\"ソ\")"), sjis("ソ\\"));
  EXPECT_EQ(str("AddBackSlash(\"a\\\\\")"), "a\\");
  EXPECT_EQ(str("ChangeFileExt(\"a\\b.txt\", \".dat\")"), "a\\b.dat");
  EXPECT_EQ(str("ChangeFileExt(\"a.d\\b\", \".x\")"), "a.d\\b.x");
}

TEST_F(Builtins, ArraysKeepTheirCapAndTheRulesOfAConstant) {
  var("a", PT_INT);
  run("SetArray(a, 2, 3)");
  EXPECT_EQ(integer("GetArraySize(a)"), 6);
  EXPECT_EQ(integer("GetArraySize(a, 0)"), 2);
  EXPECT_EQ(integer("GetArraySize(a, 1)"), 3);
  EXPECT_EQ(integer("GetArraySize(a, 2)"), 1);
  run("FillMem(a, \"7\")");
  EXPECT_EQ(store.find("a")->value().int_at(5), 7);
  EXPECT_EQ(stops("GetArraySize(3)"), "GetArraySize:変数が見つかりません");
  EXPECT_EQ(stops("SetArray(3, 2)"), "SetArray:変数が見つかりません");
  EXPECT_EQ(stops("FillMem(3, 2)"), "FillMem:変数が見つかりません");
  EXPECT_EQ(stops("CopyMem(a, 2)"), "CopyMem:変数が見つかりません");
  var("f", PT_FLOAT);
  EXPECT_EQ(stops("CopyMem(a, f)"), "CopyMem:変数の型があいません");
  stops("SetArray(a, 65536, 65536)");  // 2^32 elements: the product is taken in 64 bits
  EXPECT_EQ(store.find("a")->value().count(), 6) << "a refused size changes nothing";
  var("b", PT_INT);
  run("CopyMem(b, a)");
  EXPECT_EQ(store.find("b")->value().dims(), (std::vector<std::int32_t>{2, 3}));

  var("l", PT_STR);
  run("StringToArray(\"x\r\ny\rz\n\", l)");
  EXPECT_EQ(store.find("l")->value().count(), 3);
  EXPECT_EQ(store.find("l")->value().str_at(2), "z");
  run(sjis("StringToArray(\"aソb,c,\", l, \"\\,\")"));
  EXPECT_EQ(store.find("l")->value().count(), 2) << "a trail byte is no delimiter; a final one adds nothing";
  EXPECT_EQ(store.find("l")->value().str_at(0), sjis("aソb"));
  EXPECT_EQ(store.find("l")->value().str_at(1), "c");
  EXPECT_EQ(str("ArrayToString(l, \"+\")"), sjis("aソb+c"));
  run("StringToArray(\"\", l)");
  EXPECT_EQ(store.find("l")->value().dims(), std::vector<std::int32_t>{});
  EXPECT_EQ(store.find("l")->value().as_str(), "");

  run("StringToArray(\"b,A,a,c,B\", l, \",\")");
  run("SortStr(l)");
  EXPECT_EQ(str("ArrayToString(l, \"\")"), "AabBc") << "stable, letters folded";
  EXPECT_EQ(integer("IndexOfStr(l, \"C\")"), 4);
  EXPECT_EQ(integer("IndexOfStr(l, \"C\", TRUE)"), -1);
  run("StringToArray(\"xyz,WORD\", l, \",\")");
  EXPECT_EQ(integer("IndexOfStr(l, \"or\", FALSE, TRUE)"), 1);
  EXPECT_EQ(integer("IndexOfStr(l, \"or\", TRUE, TRUE)"), -1);

  var("n", PT_INT);
  EXPECT_EQ(integer("AddArray(n, \"5\")"), 2);
  EXPECT_EQ(integer("InsertArray(n, 1, 9)"), 3);
  EXPECT_EQ(integer("InsertArray(n, -5, 8)"), 4);
  EXPECT_EQ(str("ArrayToString(n, \",\")"), "8,0,9,5");
  EXPECT_EQ(integer("DeleteArray(n, 1, 99)"), 1);
  EXPECT_NE(stops("DeleteArray(n, 0, 1)").find("配列の要素数"), std::string::npos);
  EXPECT_EQ(store.find("n")->value().count(), 1) << "removing every element changes nothing";
  EXPECT_EQ(integer("AddArray(a, n)"), 6) << "a two-dimensional array stays";
  EXPECT_TRUE(flag("CopyArray(n, a)"));
  EXPECT_EQ(store.find("n")->value().dims(), (std::vector<std::int32_t>{2, 3}));
  EXPECT_EQ(integer("GetVarType(f)"), PT_FLOAT);
  EXPECT_TRUE(flag("VarExists(\"F\")"));
  EXPECT_FALSE(flag("VarExists(\"nothing\")"));
}

TEST_F(Builtins, AssignTempRefusesItselfAndPushVarPopVarRestore) {
  var("x", PT_INT).value().set_int(3);
  EXPECT_TRUE(flag("AssignTemp(\"x\")"));
  EXPECT_EQ(store.temp_name(), "x");
  EXPECT_FALSE(flag("AssignTemp(\"@Temp\")"));
  EXPECT_FALSE(flag("AssignTemp(\"@temp\")"));
  EXPECT_FALSE(flag("AssignTemp(\"\")"));
  EXPECT_FALSE(flag("AssignTemp(\"missing\")"));
  EXPECT_EQ(store.temp_name(), "x");
  EXPECT_TRUE(flag("PushVar(\"x\")"));
  run("x = 9");
  EXPECT_TRUE(flag("PopVar()"));
  EXPECT_EQ(store.find("x")->value().as_int(), 3);
}

TEST_F(Builtins, MathWrapsAsThirtyTwoBitIntegers) {
  EXPECT_EQ(integer("Abs(-2147483648)"), INT32_MIN);
  EXPECT_EQ(integer("Abs(-7)"), 7);
  EXPECT_EQ(integer("Int(2.9)"), 2);
  EXPECT_EQ(integer("Int(-2.9)"), -2);
  var("nan", PT_FLOAT).value().set_float(std::numeric_limits<long double>::quiet_NaN());
  EXPECT_EQ(integer("Int(nan)"), 0);
  EXPECT_EQ(integer("Int(1e20)"), 0) << "outside the 64-bit range";
  EXPECT_EQ(integer("Int(4294967298.5)"), 2) << "the low 32 bits";
  EXPECT_FALSE(flag("Not(1)"));
  EXPECT_EQ(real("Hypot(3, 4)"), 5.0L);
  EXPECT_NEAR(static_cast<double>(real("ArcTan2(1, 0)")), M_PI / 2, 1e-15);
  EXPECT_NEAR(static_cast<double>(real("Sin(3.14159265358979323846 / 2)")), 1.0, 1e-15);
  EXPECT_EQ(integer("Min(-3, 2)"), -3);
  EXPECT_EQ(integer("Max(-3, 2)"), 2);
  EXPECT_EQ(real("Fmin(1.5, -0.5)"), -0.5L);
  EXPECT_EQ(real("Fmax(1.5, -0.5)"), 1.5L);
  EXPECT_EQ(real("Fabs(-1.5)"), 1.5L);
  random.set_seed(7);
  const std::int32_t r = integer("Random(10)");
  StandardRandom same(7);
  EXPECT_EQ(r, same.next(10));
  EXPECT_EQ(integer("Random(-1)"), same.next(-1)) << "a negative bound follows the formula";
}

TEST_F(Builtins, DatesReadDayNumbersAndStopOnInvalidParts) {
  EXPECT_EQ(real("EncodeDate(2000, 1, 1)"), 36526.0L);
  EXPECT_EQ(integer("GetWeek(EncodeDate(2000, 1, 1))"), 7);
  EXPECT_EQ(str("GetWeekJStr(36526)"), sjis("土"));
  EXPECT_EQ(str("GetWeekStr(36527)"), "Sunday");
  EXPECT_EQ(real("EncodeDate(1899, 12, 30)"), 0.0L);
  EXPECT_EQ(real("EncodeDate(2024, 2, 29)"), 45351.0L);
  stops("EncodeDate(2023, 2, 29)");
  stops("EncodeDate(0, 1, 1)");
  stops("EncodeDate(10000, 1, 1)");
  stops("EncodeTime(24, 0, 0)");
  EXPECT_EQ(real("EncodeTime(6, 0, 0)"), 0.25L);
  // -1.25: the date truncates toward zero, the time is the absolute fraction.
  EXPECT_EQ(integer("GetYear(-1.25)"), 1899);
  EXPECT_EQ(integer("GetMonth(-1.25)"), 12);
  EXPECT_EQ(integer("GetDay(-1.25)"), 29);
  EXPECT_EQ(integer("GetHour(-1.25)"), 6);
  EXPECT_EQ(integer("GetMin(-1.25)"), 0);
  // Half a millisecond before midnight rounds into the next day.
  var("late", PT_FLOAT).value().set_float(36526.0L + (86400000.0L - 0.4L) / 86400000.0L);
  EXPECT_EQ(integer("GetDay(late)"), 2);
  EXPECT_EQ(integer("GetHour(late)"), 0);
  EXPECT_EQ(integer("GetSec(late)"), 0);
  EXPECT_EQ(integer("GetWeek(late)"), 1);
  var("y", PT_INT);
  var("m", PT_INT);
  var("d", PT_INT);
  run("DecodeDate(EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 59), y, m, d)");
  EXPECT_EQ(store.find("y")->value().as_int() * 10000 + store.find("m")->value().as_int() * 100 +
                store.find("d")->value().as_int(),
            19991231);
  run("DecodeTime(EncodeTime(13, 14, 15), y, m, d)");
  EXPECT_EQ(store.find("d")->value().as_int(), 15);
  stops("GetYear(nan)");
  stops("GetYear(3000000)");
  stops("GetYear(-700000)");
}

TEST_F(Builtins, CalcRunsTextAndStopsNestingBeyondSixtyFour) {
  var("v", PT_INT);
  EXPECT_EQ(str("Calc(\"  v = 4 \")"), "TRUE");
  EXPECT_EQ(store.find("v")->value().as_int(), 4);
  EXPECT_EQ(str("Calc(\"v = (\")"), "");
  EXPECT_EQ(str("Calc(\"v = Copy(1)\")"), "") << "a wrong argument count does not compile";
  EXPECT_EQ(str("Calc(\"v = 1 / 0\")"), "TRUE") << "compiled, stopped while running";
  // A text that calls Calc on itself (the call runs before the sum): the
  // 64th level's call is the 65th Calc and stops that level; the 63 levels
  // above it count v up as they return.
  var("t", PT_STR).value().set_str("v = v + 1 + Length(Calc(t)) * 0");
  store.find("v")->value().set_int(0);
  EXPECT_EQ(str("Calc(t)"), "TRUE");
  EXPECT_EQ(store.find("v")->value().as_int(), 63);
}

TEST_F(Builtins, TheDispatcherChecksCountsAndTheLoaderRefusesUnknownIndexes) {
  // Every index of this layer has a behaviour; argument counts outside a
  // row stop the call before the behaviour reads.
  TParamStr target;
  TParamInt one(1);
  std::vector<TCustomParam*> none;
  try {
    funcs.call(target, 7, none);  // Copy takes 2 or 3
    FAIL();
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), "Copy: called with 0 arguments");
  }
  std::vector<TCustomParam*> four(4, &one);
  EXPECT_THROW(funcs.call(target, 0, four), core::Error);  // IntToStr takes 1 or 2
  std::vector<TCustomParam*> many(40, &one);
  TParamInt int_target;
  EXPECT_THROW(funcs.call(int_target, 21, many), core::Error) << "SetArray: a constant is refused, not overrun";

  // A stream whose ocFunc names index 159 or above is refused as damaged.
  for (std::uint8_t index : {std::uint8_t{158}, std::uint8_t{159}, std::uint8_t{255}}) {
    core::ByteWriter w;
    w.i32(1);
    w.u8(ocFunc);
    w.str("____arg");
    w.i32(0);
    w.u8(index);
    TNovaParser p;
    core::ByteReader r(std::span<const std::uint8_t>(w.data()));
    if (index < kSysFuncCount) {
      EXPECT_NO_THROW(p.load(r));
    } else {
      EXPECT_THROW(p.load(r), core::Error) << int(index);
    }
  }
}

}  // namespace
}  // namespace nova::expr
