// Variables in text: expansion from the name/value list and from
// expressions, history variables, ranges, and removal of the expansions.
#include "text/text_variables.h"

#include <gtest/gtest.h>

#include <map>

#include "core/binary_io.h"
#include "expr/build_parser.h"
#include "expr/param_collection.h"
#include "expr/params.h"
#include "expr/sys_func_man.h"
#include "text_test_support.h"

namespace nova::text {
namespace {

using support::chars_of;
using support::parse_utf8;
using support::shown_text;

// A source that answers from a map and records what it was asked.
class MapSource final : public TextVariableSource {
 public:
  std::map<std::string, std::string> values;
  std::vector<std::string> asked;
  std::vector<std::vector<std::uint8_t>> asked_compiled;

  std::optional<std::string> text_of(std::string_view expression) override {
    asked.emplace_back(expression);
    auto it = values.find(std::string(expression));
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::string> text_of_compiled(std::span<const std::uint8_t> compiled) override {
    asked_compiled.emplace_back(compiled.begin(), compiled.end());
    return std::string("old");
  }
};

TEST(TextVariables, NameValueListIsCaseInsensitiveAndReplaces) {
  NameValueList names;
  names.set("Who", "a");
  names.set("WHO", "b");
  names.set("x", "");
  ASSERT_NE(names.find("who"), nullptr);
  EXPECT_EQ(*names.find("who"), "b");
  EXPECT_EQ(*names.find("X"), "");
  EXPECT_EQ(names.find("y"), nullptr);
}

TEST(TextVariables, ValuesFromTheListBecomeCharactersAndBreaks) {
  ParsedText text = parse_utf8("<FONT SIZE=8><A HREF=l><WAIT VALUE=4><VAR NAME=who></A>!");
  NameValueList names;
  // Byte 1 stands for a line break; a CR breaks too; other control
  // characters are dropped.
  names.set("WHO", test::sjis("太郎\x01次\r\tz\n"));
  MapSource source;
  const std::int32_t last = prepare_variables(text, 0, -1, false, {&names, &source});
  EXPECT_TRUE(source.asked.empty());
  EXPECT_EQ(shown_text(text), test::sjis("太郎|次|z!"));
  // A lead byte at the end of a value is no character.
  ParsedText dangling = parse_utf8("<VAR NAME=v>");
  NameValueList lead;
  lead.set("v", "ab\x82");
  prepare_variables(dangling, 0, -1, false, {&lead, nullptr});
  EXPECT_EQ(shown_text(dangling), "ab");
  EXPECT_EQ(last, static_cast<std::int32_t>(text.size()) - 1);

  const auto& var = std::get<TWdOpeVar>(text[0]);
  ASSERT_TRUE(std::holds_alternative<TWdVarChar>(text[1]));
  const auto& produced = std::get<TWdVarChar>(text[1]);
  EXPECT_EQ(produced.code, 0x91BE);  // 太
  EXPECT_EQ(produced.decoration, var.decoration);
  EXPECT_EQ(produced.wait, 4);
  EXPECT_EQ(produced.link, "l");
  EXPECT_TRUE(std::holds_alternative<TWdVarReturn>(text[3]));
  // Produced characters hold no reference of their own.
  support::expect_counts_match_references(text);
}

TEST(TextVariables, OtherNamesAreEvaluatedAndMissingValuesShowNothing) {
  ParsedText text = parse_utf8("[<VAR NAME=a>,<VAR NAME=\"b + 1\">,<VAR NAME=none>]");
  MapSource source;
  source.values = {{"a", "1"}, {"b + 1", "3"}};
  prepare_variables(text, 0, -1, false, {nullptr, &source});
  EXPECT_EQ(source.asked, (std::vector<std::string>{"a", "b + 1", "none"}));
  EXPECT_EQ(shown_text(text), "[1,3,]");
  // Without a source only the list answers.
  ParsedText alone = parse_utf8("<VAR NAME=a>");
  prepare_variables(alone, 0, -1, false, {});
  EXPECT_EQ(alone.size(), 1u);
}

TEST(TextVariables, HistoryVariablesExpandOnlyForTheHistory) {
  MapSource source;
  source.values = {{"h", "H"}, {"v", "V"}};
  ParsedText text = parse_utf8("<HISTCHAR VALUE=h><VAR NAME=v>");
  prepare_variables(text, 0, -1, false, {nullptr, &source});
  EXPECT_EQ(shown_text(text), "V");
  prepare_variables(text, 0, -1, true, {nullptr, &source});
  EXPECT_EQ(shown_text(text), "HV");
}

TEST(TextVariables, PreparingAgainReplacesAndRemovalRestoresTheParsedText) {
  ParsedText text = parse_utf8("a<VAR NAME=n>b<VAR NAME=m>c");
  const ParsedText parsed = text;
  MapSource source;
  source.values = {{"n", "12"}, {"m", "x"}};
  prepare_variables(text, 0, -1, false, {nullptr, &source});
  EXPECT_EQ(shown_text(text), "a12bxc");
  source.values["n"] = "7";
  prepare_variables(text, 0, -1, false, {nullptr, &source});
  EXPECT_EQ(shown_text(text), "a7bxc");
  EXPECT_EQ(remove_variable_expansions(text, 0, -1), static_cast<std::int32_t>(parsed.size()) - 1);
  EXPECT_EQ(text.glyphs(), parsed.glyphs());
}

TEST(TextVariables, OnlyTheRangeIsExpandedAndItsEndMoves) {
  // Glyphs: 0 a, 1 VAR n, 2 b, 3 VAR m, 4 c.
  ParsedText text = parse_utf8("a<VAR NAME=n>b<VAR NAME=m>c");
  MapSource source;
  source.values = {{"n", "12"}, {"m", "xyz"}};
  EXPECT_EQ(prepare_variables(text, 0, 2, false, {nullptr, &source}), 4);
  EXPECT_EQ(shown_text(text), "a12bc");
  // The range counts the parsed glyphs, whatever was expanded before.
  EXPECT_EQ(prepare_variables(text, 3, 3, false, {nullptr, &source}), 6);
  EXPECT_EQ(shown_text(text), "abxyzc");
  EXPECT_EQ(prepare_variables(text, 2, 99, false, {nullptr, &source}), 7);
  // Removal works on the range only, here x and y.
  EXPECT_EQ(remove_variable_expansions(text, 0, 3), 3);
  EXPECT_EQ(shown_text(text), "abxyzc");
  EXPECT_EQ(remove_variable_expansions(text, 4, 5), 3);
  EXPECT_EQ(shown_text(text), "abzc");
}

TEST(TextVariables, OldStreamsEvaluateTheirCompiledForm) {
  TWdOpeVar var;
  var.compiled = std::vector<std::uint8_t>{0, 0, 0, 0};
  TDecorateList decorations;
  decorations.append_record({TDecorate{}, 1});
  ParsedText text = ParsedText::from_stored(std::move(decorations), {var}, {101, true});
  MapSource source;
  prepare_variables(text, 0, -1, false, {nullptr, &source});
  ASSERT_EQ(source.asked_compiled.size(), 1u);
  EXPECT_EQ(source.asked_compiled[0], *var.compiled);
  EXPECT_TRUE(source.asked.empty());
  EXPECT_EQ(shown_text(text), "old");
}

TEST(TextVariables, ExpressionsRunAgainstTheVariableStore) {
  expr::TParamCollection store;
  expr::TSysFuncMan functions;
  store.add(expr::PT_INT, "score").value().set_int(42);
  store.add(expr::PT_STR, "who").value().set_str(test::sjis("花子"));
  store.add(expr::PT_INT, "spare");
  ExpressionVariables source(store, functions);

  EXPECT_EQ(source.text_of("score"), "42");
  EXPECT_EQ(source.text_of("SCORE + 1"), "43");
  EXPECT_EQ(source.text_of("who ++ \"!\""), test::sjis("花子!"));
  EXPECT_EQ(source.text_of("missing"), std::nullopt);
  EXPECT_EQ(source.text_of("(score"), std::nullopt);     // does not compile
  EXPECT_EQ(source.text_of("spare = 1"), std::nullopt);  // an assignment has no result

  expr::TBuildNovaParser compiler;
  compiler.compile("score * 2");
  core::ByteWriter w;
  compiler.write(w);
  EXPECT_EQ(source.text_of_compiled(w.data()), "84");
  const std::vector<std::uint8_t> broken = {5, 0, 0, 0};
  EXPECT_EQ(source.text_of_compiled(broken), std::nullopt);

  ParsedText text = parse_utf8("<VAR NAME=who>: <VAR NAME=\"score / 2\">");
  prepare_variables(text, 0, -1, false, {nullptr, &source});
  EXPECT_EQ(shown_text(text), test::sjis("花子: 21"));
}

}  // namespace
}  // namespace nova::text
