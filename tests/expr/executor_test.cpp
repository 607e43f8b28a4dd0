// Executing compiled expressions against a store: the type rules of
// temporaries, the operators, errors that stop a run, name lookups between
// runs, functions and system variables.
#include <gtest/gtest.h>

#include <optional>

#include "core/error.h"
#include "expr/build_parser.h"
#include "expr/nova_parser.h"
#include "support/test_support.h"

namespace nova::expr {
namespace {

using test::sjis;

class Executor : public ::testing::Test {
 protected:
  TParamCollectionItem& var(std::string_view name, TParamType type) {
    bool created = false;
    return store.create(name, type, TVarScope::Global, created);
  }
  // Runs `text`; answers the result, or nullptr when there is none.
  const TCustomParam* run(std::string_view text) {
    compile_error.clear();
    try {
      parser = compile_expression(text);
    } catch (const core::Error& e) {
      parser = TNovaParser();
      compile_error = e.message();
      ok = false;
      return nullptr;
    }
    ok = parser.execute(store, funcs);
    return parser.result();
  }
  std::string error() const { return test::utf8(compile_error.empty() ? parser.last_error() : compile_error); }

  TParamCollection store;
  TSysFuncMan funcs;
  TNovaParser parser;
  bool ok = false;
  std::string compile_error;
};

TEST_F(Executor, TemporariesTakeTheirTypeFromTheOperation) {
  auto r = run("1 + 2.5");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->type(), PT_FLOAT);
  EXPECT_EQ(r->as_float(), 3.5L);
  r = run("7 / 2");
  EXPECT_EQ(r->type(), PT_INT);
  EXPECT_EQ(r->as_int(), 3);
  r = run("7 / 2.0");
  EXPECT_EQ(r->as_float(), 3.5L);
  EXPECT_TRUE(run("1 == 1.5")->as_flag());  // compared as integers
  EXPECT_FALSE(run("1.5 == 1")->as_flag());
  EXPECT_TRUE(run("1 == TRUE")->as_flag());
  EXPECT_EQ(run("-7 / 2")->as_int(), -3);
  EXPECT_EQ(run("-7 % 3")->as_int(), -1);
  EXPECT_EQ(run("7 % -3")->as_int(), 1);
  EXPECT_EQ(run("-1 >> 28")->as_int(), 15);
  EXPECT_EQ(run("1 << 33")->as_int(), 2);
  EXPECT_EQ(run("2147483647 + 1")->as_int(), INT32_MIN);
  EXPECT_EQ(run("6 & 3 | 8 ^ 1")->as_int(), 2 | (8 ^ 1));
  EXPECT_EQ(run("-(3)")->as_int(), -3);
  EXPECT_EQ(run("\"b\" > \"a\"")->as_flag(), true);
  EXPECT_EQ(run("\"a\" == \"A\"")->as_flag(), false);
  EXPECT_EQ(run("TRUE > FALSE")->as_flag(), true);
}

TEST_F(Executor, PlusNeverConcatenatesAndComboStrDoes) {
  auto r = run("\"abc\" + 1");
  EXPECT_EQ(r->type(), PT_STR);
  EXPECT_EQ(r->as_str(), "1");
  EXPECT_EQ(run("\"10\" ++ 5")->as_str(), "105");
  EXPECT_EQ(run("\"10\" + 5")->as_str(), "15");
  EXPECT_EQ(run("1.5 ++ TRUE")->as_str(), "1.5TRUE");
  var("s", PT_STR).value().set_str("x");
  run("s = s + 2");
  EXPECT_EQ(store.find("s")->value().as_str(), "2");
  var("f", PT_FLOAT);
  run("f = 7 / 2");
  EXPECT_EQ(store.find("f")->value().as_float(), 3.0L);  // integer division, then stored
  run("f = f + 1 / 4");
  EXPECT_EQ(store.find("f")->value().as_float(), 3.0L);
}

TEST_F(Executor, AssignmentsConvertIntoTheTargetAndArraysWork) {
  var("i", PT_INT);
  var("b", PT_BOOL);
  var("s", PT_STR);
  EXPECT_EQ(run("i = 2.9"), nullptr);
  EXPECT_TRUE(ok);
  EXPECT_EQ(store.find("i")->value().as_int(), 2);
  run("b = \"true\"");
  EXPECT_FALSE(store.find("b")->value().as_flag());
  run("s = 1.25E20 * 1");
  EXPECT_EQ(store.find("s")->value().as_str(), "1.25E20");
  TParamCollectionItem& a = var("a", PT_INT);
  std::int32_t dims[] = {2, 3};
  a.value().set_dims(dims);
  run("a[1, 2] = 42");
  EXPECT_TRUE(ok) << error();
  EXPECT_EQ(a.value().int_at(5), 42);
  EXPECT_EQ(run("a[1, 2] + a[0, 0]")->as_int(), 42);
  run("a[2, 0] = 1");
  EXPECT_EQ(error(), "a[2,0]\r\n要素数を超えています");
  run("a[1] = 1");
  EXPECT_EQ(error(), "a[1]\r\n添え字が不正です");
  run("a[0, -1] = 1");  // flat index -1: the element access refuses it
  EXPECT_EQ(error(), "配列の添字が不正です");
  run("a[0, 5] = 7");  // single indexes are not checked, only the flat one
  EXPECT_TRUE(ok);
  EXPECT_EQ(a.value().int_at(5), 7);
  EXPECT_EQ(run("i[0]")->as_int(), 2);  // a scalar is an array of one
  run("a = 5");
  EXPECT_EQ(a.value().count(), 1);
  EXPECT_EQ(a.value().as_int(), 5);
}

TEST_F(Executor, ErrorsStopTheRunAndKeepEarlierTargets) {
  var("x", PT_INT);
  var("y", PT_INT);
  // Three assignments in one text are not possible, so use a call argument
  // to sequence: the argument's assignment runs before the missing name.
  run("x = 1 + 1");
  EXPECT_TRUE(ok);
  TBuildNovaParser b;
  b.compile("x = 5");
  TBuildNovaParser c;
  c.compile("y = missing + 1");
  core::ByteWriter w;
  w.i32(static_cast<std::int32_t>(b.operations().size() + c.operations().size()));
  core::ByteWriter wb, wc;
  b.write(wb);
  c.write(wc);
  w.bytes(std::span<const std::uint8_t>(wb.data()).subspan(4));
  w.bytes(std::span<const std::uint8_t>(wc.data()).subspan(4));
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  TNovaParser p;
  p.load(r);
  EXPECT_FALSE(p.execute(store, funcs));
  EXPECT_EQ(store.find("x")->value().as_int(), 5);
  EXPECT_EQ(store.find("y")->value().as_int(), 0);
  EXPECT_EQ(test::utf8(p.last_error()), "\"missing\" 変数がありません");
  EXPECT_EQ(p.result(), nullptr);

  EXPECT_EQ(run("missing"), nullptr);
  EXPECT_EQ(run("1 / 0"), nullptr);
  EXPECT_FALSE(ok);
  EXPECT_EQ(run("1.0 / 0"), nullptr);
  EXPECT_EQ(run("5 % 0"), nullptr);
  EXPECT_EQ(run("(0 - 2147483647 - 1) / -1"), nullptr);
  run("nothere = 1");
  EXPECT_EQ(error(), "\"nothere\" 変数がありません");
  // No temporary is left behind by a failed run.
  EXPECT_EQ(store.underscore_count(), 0u);
  EXPECT_EQ(store.find("____0"), nullptr);
}

TEST_F(Executor, InvalidOperationCodesAreReported) {
  core::ByteWriter w;
  w.i32(1);
  w.u8(0), w.str("t"), w.i32(2), w.u8(1), w.i32(3), w.u8(4), w.str("s");
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  TNovaParser p;
  p.load(r);
  EXPECT_FALSE(p.execute(store, funcs));
  EXPECT_EQ(test::utf8(p.last_error()), "不正な式\r\n\r\n代入先:t\r\n演算タイプ:ocNone\r\n3\r\ns");
  core::ByteWriter w2;
  w2.i32(1);
  w2.u8(ocPlus), w2.str("____0"), w2.i32(1), w2.u8(1), w2.i32(3);  // one operand short
  core::ByteReader r2(std::span<const std::uint8_t>(w2.data()));
  p.load(r2);
  EXPECT_FALSE(p.execute(store, funcs));
  EXPECT_EQ(test::utf8(p.last_error()).rfind("不正な式\r\n\r\n代入先:____0\r\n演算タイプ:ocPlus\r\n3", 0), 0u);
}

TEST_F(Executor, NamesAreLookedUpAnewOnEveryRun) {
  TNovaParser p = compile_expression("y = x + 1");
  var("y", PT_INT);
  EXPECT_FALSE(p.execute(store, funcs));  // no x yet
  var("x", PT_INT).value().set_int(10);
  EXPECT_TRUE(p.execute(store, funcs));
  EXPECT_EQ(store.find("y")->value().as_int(), 11);
  // A local of the current frame shadows the global from now on.
  store.set_call_depth(1);
  bool created = false;
  store.create("x", PT_INT, TVarScope::Local, created).value().set_int(100);
  EXPECT_TRUE(p.execute(store, funcs));
  EXPECT_EQ(store.find("y")->value().as_int(), 101);
  store.delete_frame(1);
  store.set_call_depth(0);
  EXPECT_TRUE(p.execute(store, funcs));
  EXPECT_EQ(store.find("y")->value().as_int(), 11);
  store.remove("x");
  EXPECT_FALSE(p.execute(store, funcs));
  // Replaced by a variable of another type: its value is read anew.
  var("x", PT_STR).value().set_str("41");
  EXPECT_TRUE(p.execute(store, funcs));
  EXPECT_EQ(store.find("y")->value().as_int(), 42);
  // A user variable with a temporary's name is used instead of a new one.
  var("____0", PT_STR);
  EXPECT_TRUE(p.execute(store, funcs));
  EXPECT_EQ(store.find("____0")->value().as_str(), "42");
  EXPECT_EQ(store.find("y")->value().as_int(), 42);
}

TEST_F(Executor, ResultIsADetachedCopyReplacedEachRun) {
  TParamCollectionItem& a = var("a", PT_STR);
  std::int32_t dims[] = {2};
  a.value().set_dims(dims);
  a.value().set_str_at(1, "one");
  a.value().set_str_at(0, "zero");
  // "____arg = a" is a scalar assignment: the result holds element 0.
  TNovaParser p = compile_expression("a");
  ASSERT_TRUE(p.execute(store, funcs));
  const TCustomParam* r = p.result();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->type(), PT_STR);
  EXPECT_EQ(r->count(), 1);
  EXPECT_EQ(r->as_str(), "zero");
  a.value().set_str_at(0, "changed");
  EXPECT_EQ(r->as_str(), "zero");
  ASSERT_TRUE(p.execute(store, funcs));
  EXPECT_EQ(p.result()->as_str(), "changed");
  store.remove("a");
  EXPECT_FALSE(p.execute(store, funcs));
  EXPECT_EQ(p.result(), nullptr);
}

TEST_F(Executor, FunctionsFailUntilRegisteredThenGetTargetAndArguments) {
  var("s", PT_STR).value().set_str(sjis("漢字ab"));
  EXPECT_EQ(run("JLength(s)"), nullptr);
  EXPECT_EQ(error(), "builtin function JLength is not available (no behaviour registered)");

  std::vector<std::string> seen;
  funcs.set_behaviour(6, [&](TCustomParam& target, std::span<TCustomParam* const> args) {
    seen.push_back(args[0]->as_reference() ? "ref" : "const");
    target.set_int(static_cast<std::int32_t>(args[0]->as_str().size()));
  });
  auto r = run("JLength(s) * 10");
  ASSERT_NE(r, nullptr) << error();
  EXPECT_EQ(r->as_int(), 60);
  run("JLength(12345)");  // a literal text would be a temporary, a number is a constant
  EXPECT_EQ(seen, (std::vector<std::string>{"ref", "const"}));
  // A function without a result leaves its target empty.
  funcs.set_behaviour(9, [](TCustomParam&, std::span<TCustomParam* const> args) { args[0]->set_str("cut"); });
  var("x", PT_INT).value().set_int(3);
  r = run("x = Delete(s, 2)");
  EXPECT_TRUE(ok) << error();
  EXPECT_EQ(store.find("s")->value().as_str(), "cut");
  EXPECT_EQ(store.find("x")->value().as_int(), 0);
}

class PropertyTypes : public TPropertyTypes {
 public:
  TParamType property_type(int id) const override { return id == 3 ? PT_STR : PT_INT; }
};

TEST_F(Executor, GetPropTakesItsTypeFromTheProperty) {
  funcs.set_behaviour(2, [](TCustomParam& t, std::span<TCustomParam* const>) { t.set_str("7"); });
  run("GetProp(\"c\", 3)");
  EXPECT_EQ(error(), "GetProp: the property types are not available (no provider attached)");
  PropertyTypes types;
  funcs.set_property_types(&types);
  EXPECT_EQ(run("GetProp(\"c\", 3)")->type(), PT_STR);
  EXPECT_EQ(run("GetProp(\"c\", 4)")->type(), PT_INT);
  EXPECT_EQ(run("GetProp(\"c\", 4)")->as_int(), 7);
  run("GetProp(\"c\", 165)");
  EXPECT_EQ(error(), "GetPropの引数が違います");
}

TEST_F(Executor, SystemVariablesFailUntilProvided) {
  EXPECT_EQ(run("@MouseX + 1"), nullptr);
  EXPECT_EQ(error(), "system variable @MouseX is not available (no provider attached)");
  run("@TextDelay = 3");
  EXPECT_FALSE(ok);
}

TEST_F(Executor, NestedAndRepeatedRunsShareNothing) {
  // A function that runs another expression (as Calc does) while the outer
  // one is running, and one that runs the very same parser again.
  var("n", PT_INT);
  TNovaParser inner = compile_expression("n = n + 1 + 0 * (2 + 3)");
  funcs.set_behaviour(136, [&](TCustomParam& t, std::span<TCustomParam* const>) {
    inner.execute(store, funcs);
    t.set_str("TRUE");
  });
  auto r = run("Calc(\"\") ++ (1 + 2)");
  ASSERT_NE(r, nullptr) << error();
  EXPECT_EQ(r->as_str(), "TRUE3");
  EXPECT_EQ(store.find("n")->value().as_int(), 1);
  int depth = 0;
  TNovaParser* self = nullptr;
  funcs.set_behaviour(20, [&](TCustomParam& t, std::span<TCustomParam* const> args) {
    if (++depth < 3) self->execute(store, funcs);
    t.set_flag(!args[0]->as_flag());
  });
  TNovaParser again = compile_expression("n = n + Not(n)");
  self = &again;
  EXPECT_TRUE(again.execute(store, funcs)) << test::utf8(again.last_error());
  // The innermost run sees n = 0 and sets n = 1; the two outer runs read n
  // after it, so Not(n) is FALSE for them and n stays 1.
  EXPECT_EQ(depth, 3);
  EXPECT_EQ(store.find("n")->value().as_int(), 1);
  EXPECT_EQ(store.underscore_count(), 0u);
  EXPECT_EQ(store.size(), 52u);
}

TEST_F(Executor, FunctionsMayFreeVariablesDuringARun) {
  var("a", PT_INT).value().set_int(4);
  var("keep", PT_INT);
  funcs.set_behaviour(50, [&](TCustomParam& t, std::span<TCustomParam* const> args) {
    store.remove(args[0]->as_str());
    t.set_flag(true);
  });
  // The alias stays usable (it points at the freed variable until the run ends).
  TParamCollectionItem& arr = var("arr", PT_INT);
  std::int32_t dims[] = {2};
  arr.value().set_dims(dims);
  run("keep = arr[1] + VarExists(\"arr\") + arr[1]");
  EXPECT_FALSE(ok);  // the second reference no longer finds arr
  EXPECT_EQ(store.find("arr"), nullptr);
  run("keep = VarExists(\"a\") + a");
  EXPECT_EQ(error(), "\"a\" 変数がありません");
}

TEST_F(Executor, CheckRoutineAndVarNew) {
  var("v", PT_INT);
  EXPECT_TRUE(check_expression("  v = 3  ", store, funcs));
  EXPECT_EQ(store.find("v")->value().as_int(), 3);
  EXPECT_FALSE(check_expression("   ", store, funcs));
  EXPECT_FALSE(check_expression("v = = 3", store, funcs));
  EXPECT_FALSE(check_expression("v = nope", store, funcs));
  EXPECT_FALSE(check_expression("Copy(v)", store, funcs));
  TNovaParser init = compile_expression("\"12\" ++ 3");
  var_new(store, funcs, "w", PT_INT, TVarScope::Global, init);
  EXPECT_EQ(store.find("w")->value().as_int(), 123);
  TNovaParser none = compile_expression("v = 1");
  var_new(store, funcs, "w", PT_INT, TVarScope::Global, none);  // no result: value stays
  EXPECT_EQ(store.find("w")->value().as_int(), 123);
}

}  // namespace
}  // namespace nova::expr

namespace nova::expr {
namespace {

// @Temp standing for the variable a name gives, as AssignTemp makes it.
class NamedTemp : public TSystemVariableProvider {
 public:
  explicit NamedTemp(TParamCollection& s) : store(s) {}
  TCustomParam* referred(int) override {
    TParamCollectionItem* item = store.find(store.temp_name());
    return item ? &item->value() : nullptr;
  }
  std::int32_t count(int) override { return 1; }
  void read(int, std::int32_t, TSysValue&) override {}
  void write(int, std::int32_t, const TSysValue&) override {}
  TParamCollection& store;
};

TEST_F(Executor, FunctionsAndForwardingSystemVariablesSeeTheRunsTemporaries) {
  // "____0" holds the literal; the function looks it up by name in the store.
  funcs.set_behaviour(50, [&](TCustomParam& t, std::span<TCustomParam* const> args) {
    t.set_flag(store.find(args[0]->as_str()) != nullptr);
  });
  auto r = run("VarExists(\"____0\") ++ VarExists(\"____9\")");
  ASSERT_NE(r, nullptr) << error();
  EXPECT_EQ(r->as_str(), "TRUEFALSE");
  // @Temp named after the run's first temporary finds it.
  NamedTemp temp(store);
  store.set_system_variables(&temp);
  store.set_temp_name("____0");
  r = run("\"x\" ++ @Temp");
  ASSERT_NE(r, nullptr) << error();
  EXPECT_EQ(r->as_str(), "xx");
  store.set_temp_name("");
  store.set_system_variables(nullptr);
  EXPECT_EQ(store.find("____0"), nullptr);
  EXPECT_EQ(store.size(), 51u);
}

}  // namespace
}  // namespace nova::expr

namespace nova::expr {
namespace {

TEST(ExecutorStores, ACachedLookupIsNeverTakenIntoAnotherStore) {
  // Two stores built in the same place, with the same history: the second
  // must not inherit what the parser found in the first.
  std::optional<TParamCollection> store;
  TSysFuncMan funcs;
  TNovaParser p = compile_expression("x = 1");
  bool created = false;
  store.emplace();
  store->create("x", PT_INT, TVarScope::Global, created);
  ASSERT_TRUE(p.execute(*store, funcs));
  store.reset();
  store.emplace();
  TParamCollectionItem& x = store->create("x", PT_INT, TVarScope::Global, created);
  ASSERT_TRUE(p.execute(*store, funcs));
  EXPECT_EQ(x.value().as_int(), 1);
}

}  // namespace
}  // namespace nova::expr

namespace nova::expr {
namespace {

// @Temp stands for a variable of the store, as AssignTemp will make it.
class TempVariables : public TSystemVariableProvider {
 public:
  explicit TempVariables(TParamCollection& s) : store(s) {}
  TCustomParam* referred(int index) override {
    TParamCollectionItem* item = index == SV_TEMP ? store.find(store.temp_name()) : nullptr;
    return item ? &item->value() : nullptr;
  }
  std::int32_t count(int) override { return 1; }
  void read(int, std::int32_t, TSysValue& out) override { out.i = 640; }
  void write(int, std::int32_t, const TSysValue&) override {}
  TParamCollection& store;
};

TEST_F(Executor, ForwardingSystemVariablesActOnWhatTheyStandFor) {
  TempVariables provider(store);
  store.set_system_variables(&provider);
  EXPECT_EQ(run("@Temp + 1")->as_int(), 1);  // stands for nothing: 0
  TParamCollectionItem& t = var("target", PT_STR);
  std::int32_t dims[] = {3};
  t.value().set_dims(dims);
  store.set_temp_name("target");
  run("@Temp[2] = 5 * 5");
  EXPECT_TRUE(ok) << error();
  EXPECT_EQ(t.value().str_at(2), "25");
  EXPECT_EQ(run("@Temp[2] ++ @ScrWidth")->as_str(), "25640");
  run("@ScrWidth = 1");  // read-only: ignored, not an error
  EXPECT_TRUE(ok);
  store.set_system_variables(nullptr);
}

TEST_F(Executor, StringsCompareByUnsignedBytes) {
  var("k", PT_STR).value().set_str(sjis("漢"));
  EXPECT_TRUE(run("k > \"z\"")->as_flag());
  EXPECT_TRUE(run("\"ab\" < \"b\"")->as_flag());
  EXPECT_TRUE(run("\"ab\" > \"a\"")->as_flag());
  EXPECT_FALSE(run("k <> k")->as_flag());
}

TEST(StorePop, APushedBlockSurvivesASaveAndPopsInTheLoadingStore) {
  TParamCollection store;
  bool created = false;
  store.create("a", PT_INT, TVarScope::Global, created).value().set_int(5);
  std::vector<std::string> names = {"a"};
  store.push(names);
  TParamCollection other;
  other.create("x", PT_INT, TVarScope::Global, created);
  core::ByteWriter w;
  store.save_game_variables(w);
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  other.load_game_variables(r, 140);
  other.remove("a");
  other.pop();  // recreates "a" from the loaded stack
  ASSERT_NE(other.find("a"), nullptr);
  EXPECT_EQ(other.find("a")->value().as_int(), 5);
  EXPECT_EQ(other.find("x"), nullptr);  // loading freed it
}

}  // namespace
}  // namespace nova::expr
