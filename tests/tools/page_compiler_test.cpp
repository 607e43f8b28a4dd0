// The page source language: what each construct compiles to, and the
// errors of broken sources with the lines they name.
#include "tools/toolchain/page_compiler.h"

#include <gtest/gtest.h>

#include "components/property_table.h"
#include "core/sjis.h"
#include "script/command_table.h"
#include "support/test_support.h"
#include "text/glyph_stream.h"
#include "tools/toolchain/expr_decompiler.h"

namespace nova::tools {
namespace {

using script::TCommandRecord;
using script::TExpression;
using script::TPageFile;
using test::sjis;

TPageFile compile_ok(const std::string& source, const std::string& name = "main.nsb",
                     const TitleLabels* title = nullptr) {
  Diagnostics d;
  PageSource p = PageSource::parse(source, "main.nvs", name, d);
  TPageFile page = p.compile(title, d);
  EXPECT_FALSE(d.has_errors()) << d.format();
  return page;
}

Diagnostics compile_errors(const std::string& source) {
  Diagnostics d;
  PageSource p = PageSource::parse(source, "main.nvs", "main.nsb", d);
  p.compile(nullptr, d);
  return d;
}

std::string expr_bytes(const char* text) { return TExpression::compile(text).stream(); }

TEST(PageCompiler, NestsByIndentationAndStoresSourceLines) {
  const TPageFile page = compile_ok(
      "# a comment\n"
      "If a == 1\n"
      "    Calc b = 2\n"
      "\n"
      "    If c\n"
      "        Calc d = 3\n"
      "Elseif a == 2\n"
      "    Calc b = 4\n"
      "Else\n"
      "    Calc b = 5\n"
      "Calc e = 6\n");
  ASSERT_EQ(page.commands.size(), 9u);
  const int levels[] = {0, 1, 1, 2, 0, 1, 0, 1, 0};
  const int lines[] = {2, 3, 5, 6, 7, 8, 9, 10, 11};
  for (std::size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(page.commands[i].nesting_level, levels[i]) << i;
    EXPECT_EQ(page.commands[i].line_number, lines[i]) << i;
  }
  EXPECT_EQ(page.commands[0].field("condition").expression.stream(), expr_bytes("a == 1"));
  EXPECT_EQ(page.commands[6].code(), script::CC_ELSE);
  EXPECT_EQ(page.version, 104);
}

TEST(PageCompiler, TurnsLabelsIntoIndexesOnThisPageAndOthers) {
  TitleLabels title;
  title.add("SUB\\Menu.nsb", {{"open", 4}});
  const TPageFile page = compile_ok(
      "Label top\n"
      "Jump :later; if: x > 1\n"
      "Jump sub\\menu.nsb:open\n"
      "Call sub\\menu.nsb:open(1, \"a,b\", Max(2, 3)) -> answer\n"
      "Jump other.nsb\n"
      "Label later\n"
      "PCReset :top; full\n"
      "GameSave 3, \"caption\"; after_load: :later\n"
      "Jump :#9\n",
      "main.nsb", &title);
  ASSERT_EQ(page.commands.size(), 9u);
  const TCommandRecord& jump = page.commands[1];
  EXPECT_EQ(jump.field("page").bytes, "main.nsb");
  EXPECT_EQ(jump.field("index").number, 5);
  EXPECT_EQ(jump.field("condition").expression.stream(), expr_bytes("x > 1"));
  EXPECT_EQ(page.commands[2].field("page").bytes, "sub\\menu.nsb");
  EXPECT_EQ(page.commands[2].field("index").number, 4);
  // An unconditional jump carries the condition TRUE: an empty one is false.
  EXPECT_EQ(page.commands[2].field("condition").expression.stream(), expr_bytes("TRUE"));
  const TCommandRecord& call = page.commands[3];
  EXPECT_EQ(call.field("index").number, 4);
  EXPECT_EQ(call.field("result").bytes, "answer");
  ASSERT_EQ(call.field("arguments").expressions.size(), 3u);
  EXPECT_EQ(call.field("arguments").expressions[1].stream(), expr_bytes("\"a,b\""));
  EXPECT_EQ(call.field("arguments").expressions[2].stream(), expr_bytes("Max(2, 3)"));
  EXPECT_EQ(page.commands[4].field("page").bytes, "other.nsb");
  EXPECT_EQ(page.commands[4].field("index").number, 0);
  EXPECT_EQ(page.commands[6].field("index").number, 0);
  EXPECT_EQ(page.commands[6].field("full").number, 1);
  EXPECT_EQ(page.commands[7].field("after_load_page").bytes, "main.nsb");
  EXPECT_EQ(page.commands[7].field("after_load_index").number, 5);
  EXPECT_EQ(page.commands[8].field("index").number, 9);
  // The after-load index needs a version above 104.
  EXPECT_EQ(page.version, 105);
}

TEST(PageCompiler, GivesLoopsTheirIndexes) {
  const TPageFile page = compile_ok(
      "WhileInit i = 0\n"          // 0
      "While i < 10\n"             // 1
      "    If i == 5\n"            // 2
      "        Break\n"            // 3
      "    While j\n"              // 4
      "        Continue; if: k\n"  // 5
      "    WhileLoop j = j - 1\n"  // 6
      "    Continue\n"             // 7
      "WhileLoop i = i + 1\n"      // 8
      "Calc done = TRUE\n");       // 9
  ASSERT_EQ(page.commands.size(), 10u);
  EXPECT_EQ(page.commands[1].field("exit_index").number, 9);
  EXPECT_EQ(page.commands[3].field("index").number, 9);  // Break: after the loop's WhileLoop
  EXPECT_EQ(page.commands[4].field("exit_index").number, 7);
  EXPECT_EQ(page.commands[5].field("index").number, 6);  // Continue: the inner WhileLoop
  EXPECT_EQ(page.commands[6].field("loop_index").number, 4);
  EXPECT_EQ(page.commands[7].field("index").number, 8);
  EXPECT_EQ(page.commands[8].field("loop_index").number, 1);
  EXPECT_EQ(page.commands[8].nesting_level, 0);
  EXPECT_EQ(page.commands[5].field("condition").expression.stream(), expr_bytes("k"));
}

TEST(PageCompiler, SetsFlagsByDefaultAndAsWritten) {
  const TPageFile page = compile_ok(
      "Calc a = 1\n"
      "Calc a = 2; skip\n"
      "Calc a = 3; continue: no\n"
      "TextIns \"box\"\n"
      "TextIns \"box\"; continue: yes\n"
      "Wait 100; uninterruptible\n"
      "Flip 3, 500\n");
  const int skips[] = {0, 1, 0, 0, 0, 0, 0};
  const int conts[] = {1, 1, 0, 0, 1, 1, 0};
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(page.commands[i].skip_flag, skips[i]) << i;
    EXPECT_EQ(page.commands[i].continue_flag, conts[i]) << i;
  }
  EXPECT_EQ(page.commands[5].field("time").expression.stream(), expr_bytes("100"));
  // A field without a value is on.
  EXPECT_EQ(page.commands[5].field("uninterruptible").expression.stream(), expr_bytes("TRUE"));
  EXPECT_EQ(page.version, 107);  // the uninterruptible expression
  EXPECT_EQ(page.commands[6].field("transition").expression.stream(), expr_bytes("3"));
  EXPECT_EQ(page.commands[6].field("duration").expression.stream(), expr_bytes("500"));
}

TEST(PageCompiler, MakesThePropertySetTheUnionOfItsCommands) {
  const TPageFile page = compile_ok(
      "MesNew \"m1\"; left: 10\n"
      "MesNew \"m2\"\n"
      "    PR_TOP: 20\n"
      "    HAlign: HA_CENTER\n"
      "    fontstyle: FS_BOLD | FS_ITALIC\n"
      "GetProp \"m1\", Left, x\n"
      "SetProp \"m1\", fontheight, 24\n");
  const script::TPropertyTable table = page.property_table();
  using namespace components;
  EXPECT_EQ(table[script::CC_BOXNEW + 2].ids(), (std::vector<int>{PR_NAME, PR_LEFT, PR_TOP, PR_FONTSTYLE, PR_HALIGN}));
  // Each message box holds every property of the set; what it does not give
  // is empty.
  const TCommandRecord& first = page.commands[0];
  ASSERT_EQ(first.properties.size(), 5u);
  EXPECT_EQ(first.property(PR_LEFT)->expression.stream(), expr_bytes("10"));
  EXPECT_TRUE(first.property(PR_TOP)->expression.empty());
  const TCommandRecord& second = page.commands[1];
  EXPECT_EQ(second.property(PR_HALIGN)->expression.stream(), expr_bytes("1"));
  EXPECT_EQ(second.property(PR_FONTSTYLE)->expression.stream(), expr_bytes("1 | 2"));
  EXPECT_EQ(page.commands[2].field("property").expression.stream(), expr_bytes("3"));
  EXPECT_EQ(page.commands[2].field("variable").bytes, "x");
  EXPECT_EQ(page.commands[3].field("property").expression.stream(), expr_bytes("16"));
}

TEST(PageCompiler, StoresTextBlocksAsGlyphStreamsWithDoubleByteCharactersWhole) {
  // 表 and ソ end in 0x5C, ポ in 0x7C: none of them is a backslash or a bar.
  const TPageFile page = compile_ok(
      "TextIns \"box\"; wait: TRUE\n"
      "    表示<B>ソ</B>\n"
      "    ポ|<BR>\n"
      "Calc a = 1\n");
  ASSERT_EQ(page.commands.size(), 2u);
  const std::string& bytes = page.commands[0].field("text").bytes;
  const text::ParsedText t = text::read_glyph_stream(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  std::vector<std::uint16_t> codes;
  for (const text::TWdGlyph& g : t.glyphs()) {
    if (auto* c = std::get_if<text::TWdChar>(&g)) codes.push_back(c->code);
  }
  // A line break after a tag adds no space.
  const std::string want = sjis("表示ソポ|");
  std::vector<std::uint16_t> expected;
  core::for_each_char(want, [&](std::size_t at, std::size_t) { expected.push_back(core::char_code_at(want, at)); });
  EXPECT_EQ(codes, expected);
  EXPECT_TRUE(std::holds_alternative<text::TWdOpeReturn>(t.glyphs().back()));
  EXPECT_EQ(page.commands[0].field("wait").expression.stream(), expr_bytes("TRUE"));
}

TEST(PageCompiler, ReadsVarNewAndItsScopes) {
  const TPageFile page = compile_ok(
      "VarNew int count = 0\n"
      "VarNew status str name = \"x = y\"\n"
      "VarNew local float f\n"
      "VarNew; name: v; type: 7; scope: 9\n");
  EXPECT_EQ(page.commands[0].field("type").number, 1);
  EXPECT_EQ(page.commands[0].field("name").bytes, "count");
  EXPECT_EQ(page.commands[0].field("initial").expression.stream(), expr_bytes("0"));
  EXPECT_EQ(page.commands[1].field("scope").number, 3);
  EXPECT_EQ(page.commands[1].field("initial").expression.stream(), expr_bytes("\"x = y\""));
  EXPECT_EQ(page.commands[2].field("scope").number, 2);
  EXPECT_TRUE(page.commands[2].field("initial").expression.empty());
  EXPECT_EQ(page.commands[3].field("type").number, 7);
  EXPECT_EQ(page.commands[3].field("scope").number, 9);
}

struct Broken {
  const char* source;
  int line;
  const char* message;
};

TEST(PageCompiler, NamesTheLineOfEachErrorAndReportsThemAll) {
  const Broken cases[] = {
      {"Calc a = 1\nJump :nowhere\n", 2, "undefined label \"nowhere\""},
      {"Calc a = 1\n\nCalc a = (1 +\n", 3, "構文エラー"},
      {"MesNew \"m\"\n    left: 1\n    colour: 2\n", 3, "unknown property \"colour\""},
      {"# start\nCalcc a = 1\n", 2, "unknown command \"Calcc\""},
      {"If a\n    Calc b = 1\n  Calc c = 2\n", 3, "bad indentation"},
      {"Calc a = 1\n    Calc b = 2\n", 2, "expected a field"},
      {"Calc a = 1\nBreak\n", 2, "Break outside a loop"},
      {"While a\n    Calc b = 1\nCalc c = 2\n", 1, "While without a WhileLoop"},
      {"Calc a = \"\xE2\x82\xAC\"\n", 1, "has no Shift-JIS form"},
      {"Calc x = Copy(s)\n", 1, "Copy 引数の数が不正です"},
      {"Wait 10; sometime: 2\n", 1, "unknown field \"sometime\""},
      {"@version 104\nWait 10; uninterruptible: TRUE\n", 2, "version 107"},
      {"TextIns \"b\"\n    <A>link</A>\n", 1, "<A>タグにHREF値がありません"},
      {"Calc a = 1\nVarDel; name\n", 2, "needs a value"},
  };
  for (const Broken& b : cases) {
    SCOPED_TRACE(b.source);
    const Diagnostics d = compile_errors(b.source);
    ASSERT_TRUE(d.has_errors());
    const Diagnostic first = d.sorted().front();
    EXPECT_EQ(first.line, b.line) << d.format();
    EXPECT_NE(d.format().find(test::utf8(sjis(b.message))), std::string::npos) << d.format();
    EXPECT_EQ(first.file, "main.nvs");
  }
  // Every error of a source, not only the first; columns point at the value.
  const Diagnostics d = compile_errors("Calc a = (\nJump :x\nFoo\nCalc b = )\n");
  ASSERT_EQ(d.error_count(), 4) << d.format();
  const auto items = d.sorted();
  EXPECT_EQ(items[0].line, 1);
  EXPECT_EQ(items[0].column, 6);
  EXPECT_EQ(items[2].line, 3);
  EXPECT_EQ(items[3].line, 4);
}

TEST(PageCompiler, ReplacesConstantsOnlyOutsideStringsAndCalls) {
  EXPECT_EQ(replace_constants("HA_CENTER | FS_BOLD"), "1 | 1");
  EXPECT_EQ(replace_constants("\"HA_CENTER\" ++ ha_right"), "\"HA_CENTER\" ++ 2");
  EXPECT_EQ(replace_constants("@HA_CENTER + MY_HA_CENTER + LP_PLAY(1)"), "@HA_CENTER + MY_HA_CENTER + LP_PLAY(1)");
  EXPECT_EQ(replace_constants(sjis("表HA_LEFT")), sjis("表HA_LEFT"));
}

}  // namespace
}  // namespace nova::tools
