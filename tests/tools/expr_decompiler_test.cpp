#include "tools/toolchain/expr_decompiler.h"

#include <gtest/gtest.h>

#include "core/binary_io.h"
#include "core/error.h"
#include "expr/op_codes.h"
#include "random_text.h"
#include "support/test_support.h"
#include "tools/toolchain/expr_stream.h"

namespace nova::tools {
namespace {

using test::sjis;

std::string compiled(std::string_view text) { return compile_expression_text(text); }

// Decompiles the compiler's output for `text` and checks that the text found
// compiles to the same bytes.
void expect_round_trip(const std::string& text) {
  const std::string bytes = compiled(text);
  const DecompiledExpression d = decompile_expression(bytes);
  ASSERT_EQ(d.match, DecompileMatch::Exact) << "no text found for: " << test::utf8(text);
  EXPECT_EQ(compiled(d.text), bytes) << test::utf8(text) << " came back as " << test::utf8(d.text);
}

TEST(ExprDecompiler, ReproducesTheTemporariesOfRedundantParentheses) {
  // Each of these differs from its plainest form only in the numbering the
  // parentheses and signs leave behind.
  for (const char* text : {"(a + b) * c",
                           "a = b + c * 2",
                           "-x + 3",
                           "a - -5",
                           "(a == 1) & (b == 2)",
                           "((a == 1) & (b == 2)) | ((c == 3) & (d == 4))",
                           "(a + b) + c",
                           "a + (b + c)",
                           "((a + b))",
                           "x = (a)",
                           "(\"s\") ++ t",
                           "(Max(a, b)) * 2",
                           "a * -b + c * -(d + 1)",
                           "- -a * b",
                           "x = -a",
                           "0 - a * b",
                           "-a * b",
                           "(a[1]) + 2",
                           "a[i + 1] = b[j] * 2",
                           "Max((a + b), (c))",
                           "Copy(s, 1, Length(s) - 1)",
                           "a[b[c[1]]]",
                           "f1 = a[1, 2] + m[x, y]"}) {
    SCOPED_TRACE(text);
    expect_round_trip(text);
  }
}

TEST(ExprDecompiler, WritesConstantsSoTheyReadBackAsTheSameKind) {
  for (const char* text : {"x = $FFFFFFFF", "x = 1.5", "x = 0.001", "x = 123456789.25", "x = 1.0e300", "x = 0.0",
                           "TRUE", "s = \"a\\\"b\\\\c\\nd\"", "s = \"\"", "n = 2147483647"}) {
    SCOPED_TRACE(text);
    expect_round_trip(text);
  }
  // Double-byte characters whose trail byte is a backslash or a bar stay whole.
  expect_round_trip(sjis("s = \"表ソ|\" ++ 変数"));
  expect_round_trip(sjis("表 = 1"));
}

TEST(ExprDecompiler, FindsTextForRandomExpressions) {
  test::RandomText random(20240607);
  int compiled_count = 0, failures = 0;
  for (int i = 0; i < 1200; ++i) {
    const std::string text = random.expression(3);
    std::string bytes;
    try {
      bytes = compiled(text);
    } catch (const core::Error&) {
      continue;  // the generator also makes texts the compiler refuses
    }
    ++compiled_count;
    const DecompiledExpression d = decompile_expression(bytes);
    if (d.match != DecompileMatch::Exact || compiled(d.text) != bytes) {
      if (++failures <= 10) ADD_FAILURE() << "no exact text for: " << test::utf8(text);
    }
  }
  EXPECT_GT(compiled_count, 600);
  EXPECT_EQ(failures, 0) << "of " << compiled_count;
}

ExprOp op(std::uint8_t code, std::string target, std::vector<ExprOperand> operands) {
  ExprOp o;
  o.code = code;
  o.target = std::move(target);
  o.operands = std::move(operands);
  return o;
}
ExprOperand name(std::string n) {
  ExprOperand o;
  o.text = std::move(n);
  return o;
}
ExprOperand integer(std::int32_t v) {
  ExprOperand o;
  o.kind = OperandKind::Int;
  o.int_value = v;
  return o;
}

TEST(ExprDecompiler, TellsStreamsNoCompilerWritesFromEquivalentOnes) {
  // The same addition as the compiler writes it, but with a temporary number
  // no text can give: an equivalent text exists, an exact one does not.
  ExprStream renumbered;
  renumbered.ops = {op(expr::ocPlus, "____7", {name("a"), integer(1)}), op(expr::ocTo, "x", {name("____7")})};
  const std::string bytes = write_expr_stream(renumbered);
  DecompiledExpression d = decompile_expression(bytes);
  EXPECT_EQ(d.match, DecompileMatch::Equivalent);
  EXPECT_EQ(d.text, "x = a + 1");

  // A temporary read before it is written, an unknown operator and a
  // temporary nothing reads have no text at all.
  ExprStream early;
  early.ops = {op(expr::ocMul, "____1", {name("____0"), integer(2)}),
               op(expr::ocPlus, "____0", {name("a"), integer(1)}), op(expr::ocTo, "____arg", {name("____1")})};
  EXPECT_EQ(decompile_expression(write_expr_stream(early)).match, DecompileMatch::None);
  ExprStream unknown;
  unknown.ops = {op(21, "____0", {name("a"), integer(1)}), op(expr::ocTo, "____arg", {name("____0")})};
  EXPECT_EQ(decompile_expression(write_expr_stream(unknown)).match, DecompileMatch::None);
  ExprStream dangling;
  dangling.ops = {op(expr::ocPlus, "____0", {name("a"), integer(1)}), op(expr::ocTo, "____arg", {name("b")})};
  EXPECT_EQ(decompile_expression(write_expr_stream(dangling)).match, DecompileMatch::None);
  // Names that would come back as something else.
  for (const char* n : {"x1", "TRUE", "a b(", "12"}) {
    ExprStream s;
    s.ops = {op(expr::ocTo, "____arg", {name(n)})};
    EXPECT_EQ(decompile_expression(write_expr_stream(s)).match, DecompileMatch::None) << n;
  }
  EXPECT_EQ(decompile_expression(std::string(4, '\0')).match, DecompileMatch::None);
  EXPECT_EQ(decompile_expression("\x01\x00").match, DecompileMatch::None);
}

TEST(ExprStream, ReadsAndWritesEveryOperandKindAsStored) {
  const std::string bytes = compiled(sjis("s = IntToStr(a[1] + 2.5) ++ \"表\" ++ TRUE"));
  const ExprStream s = parse_expr_stream(bytes);
  EXPECT_EQ(write_expr_stream(s), bytes);
  const auto lines = format_operations(s);
  ASSERT_EQ(lines.size(), s.ops.size());
  EXPECT_NE(lines[0].find("ocTo"), std::string::npos);
  EXPECT_NE(lines[0].find("\"" + sjis("表") + "\""), std::string::npos);
  // Truncation and trailing bytes are errors.
  EXPECT_THROW(parse_expr_stream(bytes.substr(0, bytes.size() - 1)), core::Error);
  EXPECT_THROW(parse_expr_stream(bytes + "x"), core::Error);
}

}  // namespace
}  // namespace nova::tools
