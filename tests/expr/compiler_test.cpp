// The compiler: the operations each construct becomes, its errors, and the
// compiled stream.
#include <gtest/gtest.h>

#include "core/error.h"
#include "expr/build_parser.h"
#include "expr/nova_parser.h"
#include "support/test_support.h"

namespace nova::expr {
namespace {

using test::sjis;

// The operations as one line each: "target = code operand, operand".
std::vector<std::string> ops_of(std::string_view text) {
  TBuildNovaParser b;
  b.compile(text);
  std::vector<std::string> out;
  for (const TBuildOpeData& op : b.operations()) {
    std::string line = op.target + " = " + ope_code_name(op.code);
    for (std::size_t i = 0; i < op.operands.size(); ++i) line += (i ? ", " : " ") + op.operands[i];
    out.push_back(line);
  }
  return out;
}

std::string compile_error(std::string_view text) {
  try {
    TBuildNovaParser b;
    b.compile(text);
    core::ByteWriter w;
    b.write(w);
  } catch (const core::Error& e) {
    return test::utf8(e.message());
  }
  return "(compiled)";
}

using Ops = std::vector<std::string>;

TEST(Compiler, PrecedenceAndAssignment) {
  EXPECT_EQ(ops_of("a = b + c * 2"), (Ops{"____0 = ocMul c, 2", "____1 = ocPlus b, ____0", "a = ocTo ____1"}));
  // The group's copy into its temporary goes in the final pass.
  EXPECT_EQ(ops_of("(a + b) * c"), (Ops{"____1 = ocPlus a, b", "____2 = ocMul ____1, c", "____arg = ocTo ____2"}));
  // "&" binds more loosely than the comparisons.
  EXPECT_EQ(ops_of("a == 1 & b == 2"), (Ops{"____0 = ocEqual a, 1", "____1 = ocEqual b, 2",
                                            "____2 = ocAnd ____0, ____1", "____arg = ocTo ____2"}));
  EXPECT_EQ(ops_of("x = 1 - 2 - 3"), (Ops{"____0 = ocMinus 1, 2", "____1 = ocMinus ____0, 3", "x = ocTo ____1"}));
  EXPECT_EQ(ops_of("s ++ 1 < 2 | 3 ^ 4 << 1"),
            (Ops{"____0 = ocShiftL 4, 1", "____1 = ocSmall 1, 2", "____2 = ocComboStr s, ____1",
                 "____3 = ocXor 3, ____0", "____4 = ocOr ____2, ____3", "____arg = ocTo ____4"}));
  EXPECT_EQ(ops_of("a <> b"), (Ops{"____0 = ocNEqual a, b", "____arg = ocTo ____0"}));
  EXPECT_EQ(ops_of("x"), (Ops{"____arg = ocTo x"}));
  EXPECT_EQ(ops_of(""), (Ops{"____arg = ocTo "}));
}

TEST(Compiler, UnarySigns) {
  EXPECT_EQ(ops_of("-x + 3"), (Ops{"____0 = ocMinus 0, x", "____1 = ocPlus ____0, 3", "____arg = ocTo ____1"}));
  EXPECT_EQ(ops_of("a - -5"), (Ops{"____0 = ocMinus 0, 5", "____1 = ocMinus a, ____0", "____arg = ocTo ____1"}));
  EXPECT_EQ(ops_of("x = +y"), (Ops{"x = ocTo y"}));
  EXPECT_EQ(ops_of("x = - - y"), (Ops{"____0 = ocMinus 0, y", "____1 = ocMinus 0, ____0", "x = ocTo ____1"}));
  // A signed exponent splits: "1e" is then just a name.
  EXPECT_EQ(ops_of("1e+5"), (Ops{"____0 = ocPlus 1e, 5", "____arg = ocTo ____0"}));
}

TEST(Compiler, StringLiteralsAndEscapes) {
  EXPECT_EQ(ops_of("s = \"a\\\"b\""), (Ops{"____0 = ocTo \"a\"b\"", "s = ocTo ____0"}));
  EXPECT_EQ(ops_of("s = \"x\\ny\\\\\""), (Ops{"____0 = ocTo \"x\r\ny\\\"", "s = ocTo ____0"}));
  EXPECT_EQ(ops_of("\"a+b\" ++ \"(\""), (Ops{"____0 = ocTo \"a+b\"", "____1 = ocTo \"(\"",
                                             "____2 = ocComboStr ____0, ____1", "____arg = ocTo ____2"}));
  // A trail byte 0x5C inside a literal is not an escape.
  std::string text = "s = \"" + sjis("表") + "\"";
  EXPECT_EQ(ops_of(text), (Ops{"____0 = ocTo \"" + sjis("表") + "\"", "s = ocTo ____0"}));
  EXPECT_EQ(compile_error("s = \"open"), "構文エラー");
}

TEST(Compiler, CallsAndArguments) {
  EXPECT_EQ(ops_of("x = Copy(s, 2, 3)"), (Ops{"____0 = ocFunc Copy, s, 2, 3", "x = ocTo ____0"}));
  EXPECT_EQ(ops_of("PopVar()"), (Ops{"____0 = ocFunc PopVar", "____arg = ocTo ____0"}));
  // One pair of parentheses around a name passes the name.
  EXPECT_EQ(ops_of("Length((s))"), (Ops{"____0 = ocFunc Length, s", "____arg = ocTo ____0"}));
  // Parentheses around two groups joined by an operator pass the operation.
  // (Copies of plain names into temporaries stay: only copies between two
  // temporaries are dropped.)
  EXPECT_EQ(ops_of("Abs(((a) - (b)))"), (Ops{"____2 = ocTo b", "____3 = ocTo a", "____4 = ocMinus ____3, ____2",
                                             "____0 = ocFunc Abs, ____4", "____arg = ocTo ____0"}));
  // Inner calls first; a call's own temporary is numbered before its
  // arguments'.
  EXPECT_EQ(ops_of("Max(Abs(x), y + 1)"), (Ops{"____0 = ocFunc Abs, x", "____3 = ocPlus y, 1",
                                               "____1 = ocFunc Max, ____0, ____3", "____arg = ocTo ____1"}));
  EXPECT_EQ(ops_of("Min (-1, 2)"),
            (Ops{"____2 = ocMinus 0, 1", "____0 = ocFunc Min, ____2, 2", "____arg = ocTo ____0"}));
  // An alias is never a copy to drop.
  EXPECT_EQ(ops_of("f(a[1, 2], )"), (Ops{"____d_2 = ocDimTo a, 1, 2", "____1 = ocTo ____d_2",
                                         "____0 = ocFunc f, ____1, ", "____arg = ocTo ____0"}));
}

TEST(Compiler, ArrayReferences) {
  EXPECT_EQ(ops_of("a[i + 1] = 5"), (Ops{"____2 = ocPlus i, 1", "____d_0 = ocDimTo a, ____2", "____d_0 = ocTo 5"}));
  EXPECT_EQ(ops_of("(a[1] + 2) * 3"), (Ops{"____d_0 = ocDimTo a, 1", "____2 = ocPlus ____d_0, 2",
                                           "____3 = ocMul ____2, 3", "____arg = ocTo ____3"}));
  EXPECT_EQ(ops_of("m[1, a[2]]"),
            (Ops{"____d_0 = ocDimTo a, 2", "____d_1 = ocDimTo m, 1, ____d_0", "____arg = ocTo ____d_1"}));
  EXPECT_EQ(ops_of("@KeyPush[13]"), (Ops{"____d_0 = ocDimTo @KeyPush, 13", "____arg = ocTo ____d_0"}));
  EXPECT_EQ(compile_error("a[]"), "配列の添え字が不正です");
  EXPECT_EQ(compile_error("1 + [2]"), "構文エラー");
  EXPECT_EQ(compile_error("[2]"), "構文エラー");
}

TEST(Compiler, SyntaxErrors) {
  for (const char* text :
       {"a = b = c", "a +", "* a", "(a", "a)", ")(", "a[1", "a]", "= 1", "a = ()", "f(a]", "a + * b", "a[1][2]"}) {
    EXPECT_EQ(compile_error(text), "構文エラー") << text;
  }
  // Blanks do not separate operands: "1 b" is one (odd) operand text.
  EXPECT_EQ(ops_of("a = 1 b"), (Ops{"a = ocTo 1 b"}));
}

TEST(Compiler, NestingIsLimited) {
  std::string deep = std::string(256, '(') + "1" + std::string(256, ')');
  EXPECT_EQ(compile_error(deep), "(compiled)");
  std::string deeper = std::string(257, '(') + "1" + std::string(257, ')');
  EXPECT_EQ(compile_error(deeper), "構文エラー");
  std::string calls;
  for (int i = 0; i < 300; ++i) calls += "Abs(";
  calls += "1" + std::string(300, ')');
  EXPECT_EQ(compile_error(calls), "構文エラー");
  std::string brackets;
  for (int i = 0; i < 300; ++i) brackets += "a[";
  brackets += "0" + std::string(300, ']');
  EXPECT_EQ(compile_error(brackets), "構文エラー");
  // Many groups side by side are not deep.
  std::string wide;
  for (int i = 0; i < 400; ++i) wide += "(1)+";
  EXPECT_EQ(compile_error(wide + "1"), "(compiled)");
}

TEST(Compiler, WritingChecksFunctionsAndChoosesOperandKinds) {
  EXPECT_EQ(compile_error("Copy(s)"), "Copy 引数の数が不正です");
  EXPECT_EQ(compile_error("copy(s, 1, 2, 3)"), "Copy 引数の数が不正です");
  EXPECT_EQ(compile_error("Nothing(1)"), "\"Nothing\" 関数名がありません");
  EXPECT_EQ(compile_error("SetArray(a, 1, 2, 3, 4, 5, 6)"), "(compiled)");

  TBuildNovaParser b;
  b.compile("x = Length(\"ab\") + 1e3 + $10 + 2147483648 + TRUE + name");
  core::ByteWriter w;
  b.write(w);
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  TNovaParser p;
  p.load(r);
  const auto& ops = p.operations();
  ASSERT_EQ(ops.size(), 8u);
  EXPECT_EQ(ops[1].code, ocFunc);
  EXPECT_EQ(ops[1].func_index, 5);  // Length
  ASSERT_EQ(ops[1].operands.size(), 1u);
  EXPECT_EQ(ops[0].operands[0]->type(), PT_STR);
  EXPECT_EQ(ops[0].operands[0]->as_str(), "ab");
  EXPECT_EQ(ops[2].operands[1]->type(), PT_FLOAT);
  EXPECT_EQ(ops[2].operands[1]->as_float(), 1000.0L);
  EXPECT_EQ(ops[3].operands[1]->type(), PT_INT);
  EXPECT_EQ(ops[3].operands[1]->as_int(), 16);
  EXPECT_EQ(ops[4].operands[1]->type(), PT_FLOAT);
  EXPECT_EQ(ops[5].operands[1]->type(), PT_BOOL);
  ASSERT_NE(ops[6].operands[1]->as_reference(), nullptr);
  EXPECT_EQ(ops[6].operands[1]->as_reference()->name(), "name");

  // The stream layout, byte for byte, for a small expression.
  TBuildNovaParser small;
  small.compile("Not(f)");
  core::ByteWriter sw;
  small.write(sw);
  core::ByteWriter expected;
  expected.i32(2);
  expected.u8(ocFunc), expected.str("____0"), expected.i32(1), expected.u8(20), expected.u8(0), expected.str("f");
  expected.u8(ocTo), expected.str("____arg"), expected.i32(1), expected.u8(0), expected.str("____0");
  EXPECT_EQ(sw.data(), expected.data());
}

TEST(Compiler, CompileWriteLoadSaveGivesIdenticalBytes) {
  for (const char* text :
       {"a = b + c * 2", "x = Copy(s, 2, 3) ++ \"z\\n\"", "m[1, a[2]] = -0.1 / 3.25e-3", "Not(f) & 1 <> 2",
        "y = $7FFFFFFF >> 31 << 2 % 3", "StringReplace(s, \"a\", \"b\", TRUE, FALSE)", "", "1.5"}) {
    TBuildNovaParser b;
    b.compile(text);
    core::ByteWriter w;
    b.write(w);
    core::ByteReader r(std::span<const std::uint8_t>(w.data()));
    TNovaParser p;
    p.load(r);
    EXPECT_TRUE(r.at_end());
    core::ByteWriter again;
    p.save(again);
    EXPECT_EQ(again.data(), w.data()) << text;
    TNovaParser copy;
    copy.assign(p);
    core::ByteWriter copied;
    copy.save(copied);
    EXPECT_EQ(copied.data(), w.data()) << text;
  }
}

TEST(Compiler, LoadRefusesDamagedStreams) {
  TNovaParser p;
  core::ByteWriter w;
  w.i32(0x7FFFFFFF);
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  EXPECT_THROW(p.load(r), core::Error);
  EXPECT_TRUE(p.empty());
  core::ByteWriter kind;
  kind.i32(1), kind.u8(ocTo), kind.str("x"), kind.i32(1), kind.u8(7), kind.i32(0);
  core::ByteReader kr(std::span<const std::uint8_t>(kind.data()));
  EXPECT_THROW(p.load(kr), core::Error);
  core::ByteWriter cut;
  cut.i32(1), cut.u8(ocTo), cut.str("x"), cut.i32(2), cut.u8(1), cut.i32(5);
  core::ByteReader cr(std::span<const std::uint8_t>(cut.data()));
  EXPECT_THROW(p.load(cr), core::Error);
}

}  // namespace
}  // namespace nova::expr

namespace nova::expr {
namespace {

TEST(Compiler, TrailBytesNeverActAsOperatorsOrBrackets) {
  // "ー" is 0x81 0x5B (a "[" as trail byte), "−" 0x81 0x7C ("|"), "／"
  // 0x81 0x5E ("^"), "表" 0x95 0x5C (a backslash).
  std::string ramen = sjis("ラーメン");
  EXPECT_EQ(ops_of(ramen + " = 1"), (Ops{ramen + " = ocTo 1"}));
  std::string odd = sjis("a−／");
  EXPECT_EQ(ops_of(odd + " + 1"), (Ops{"____0 = ocPlus " + odd + ", 1", "____arg = ocTo ____0"}));
  std::string array = sjis("配列ー");
  EXPECT_EQ(ops_of(array + "[1] = \"" + sjis("表") + "\""),
            (Ops{"____0 = ocTo \"" + sjis("表") + "\"", "____d_1 = ocDimTo " + array + ", 1", "____d_1 = ocTo ____0"}));
  // A call name is ASCII: a kanji before "(" makes a group.
  EXPECT_EQ(ops_of(sjis("表") + "(1)"), (Ops{"____0 = ocTo 1", "____arg = ocTo " + sjis("表") + "____0"}));
}

}  // namespace
}  // namespace nova::expr
