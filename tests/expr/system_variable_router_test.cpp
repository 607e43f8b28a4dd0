// The router every "@" variable goes through, the variables the store
// answers itself, and @Temp's forwarding with its guards.
#include "expr/system_variable_router.h"

#include <gtest/gtest.h>

#include "expr/nova_parser.h"
#include "expr/store_variables.h"
#include "expr_test_util.h"

namespace nova::expr {
namespace {

// Answers the index it was asked for, so a test sees who answered.
class Echo final : public TSystemVariableProvider {
 public:
  explicit Echo(std::int32_t base) : m_base(base) {}
  TCustomParam* referred(int) override { return nullptr; }
  std::int32_t count(int) override { return 258; }
  void read(int index, std::int32_t element, TSysValue& out) override {
    out.i = m_base + index;
    out.s = std::to_string(m_base + index);
    // An array answers false outside its range, whatever the index.
    out.b = element >= 0 && element < 258 && element % 2 == 1;
  }
  void write(int, std::int32_t, const TSysValue& in) override { written = in.i; }
  std::int32_t written = 0;

 private:
  std::int32_t m_base;
};

TEST(SystemVariableRouter, OneHolderPerIndexAndPlaceholdersGiveWay) {
  TSystemVariableRouter router;
  Echo shell(1000), other(2000), placeholder(3000), midi(4000);
  const int shell_indexes[] = {12, 13};
  router.attach("shell", shell, shell_indexes);
  EXPECT_EQ(router.holder_name(12), "shell");

  // A second real provider of an index is refused, naming both, and
  // registers nothing at all.
  const int clash[] = {14, 13};
  EXPECT_EQ(error_of([&] { router.attach("other", other, clash); }),
            "other: the system variable @ScrHeight is already answered by shell");
  EXPECT_EQ(router.holder_name(14), "");

  // A placeholder gives way to a provider, and comes back when it goes.
  const int history[] = {8, 43};
  router.attach("history placeholder", placeholder, history, TSystemVariableRouter::Claim::Replaceable);
  router.attach("history", midi, history);
  TSysValue v;
  router.read(8, -1, v);
  EXPECT_EQ(v.i, 4008);
  router.detach(midi);
  router.read(8, -1, v);
  EXPECT_EQ(v.i, 3008);
  EXPECT_EQ(router.holder_name(43), "history placeholder");

  // Out of the table, or without a holder: an error that names it.
  const int outside[] = {51};
  EXPECT_EQ(error_of([&] { router.attach("x", other, outside); }), "x: no system variable has the index 51");
  EXPECT_EQ(error_of([&] { router.read(14, -1, v); }),
            "system variable @TickCount is not available (nothing answers it)");
  EXPECT_EQ(error_of([&] { router.read(-1, -1, v); }), "内部エラー");

  const std::vector<int> left = router.unclaimed();
  EXPECT_EQ(left.size(), 51u - 4u);
  const std::string complete = error_of([&] { router.check_complete(); });
  EXPECT_EQ(complete.rfind("system variables without a provider: @Result, @LClick", 0), 0u) << complete;
}

class StoreVariables : public ::testing::Test {
 protected:
  StoreVariables() {
    router.attach("store", provider, TStoreVariables::kIndexes);
    store.set_system_variables(&router);
  }
  ~StoreVariables() override { store.set_system_variables(nullptr); }
  TParamCollectionItem& var(std::string_view name, TParamType type) {
    bool created = false;
    return store.create(name, type, TVarScope::Global, created);
  }
  // Runs each expression of the list (";" between them) and answers whether
  // all ran without an error.
  bool run(std::string_view text) {
    bool ok = true;
    while (!text.empty()) {
      const std::size_t end = text.find("; ");
      parser = compile_expression(text.substr(0, end));
      ok = parser.execute(store, funcs) && ok;
      text = end == std::string_view::npos ? std::string_view() : text.substr(end + 2);
    }
    return ok;
  }
  TCustomParam& sys(std::string_view name) { return store.find(name)->value(); }

  TParamCollection store;
  TSysFuncMan funcs;
  TSystemVariableRouter router;
  TStoreVariables provider{store};
  TNovaParser parser;
};

TEST_F(StoreVariables, BackingValuesAndConstants) {
  EXPECT_EQ(sys("@TextDelay").as_int(), 50);
  ASSERT_TRUE(run("@TextDelay = \"abc\""));
  EXPECT_EQ(store.text_delay(), 50) << "a text that is no number leaves it";
  ASSERT_TRUE(run("@TextDelay = 70; @SelStr = 12; @SelIndex = \"3\""));
  EXPECT_EQ(store.text_delay(), 70);
  EXPECT_EQ(store.selected_string(), "12");
  EXPECT_EQ(store.selected_index(), 3);
  EXPECT_EQ(sys("@Pi").as_float(), 3.14159265358979323846264338327950288L);
  EXPECT_EQ(sys("@1Hour").as_float(), 1.0L / 24);
  EXPECT_EQ(sys("@1Min").as_float(), 1.0L / 1440);
  EXPECT_EQ(sys("@1Sec").as_float(), 1.0L / 86400);
  ASSERT_TRUE(run("@Pi = 3"));
  EXPECT_EQ(sys("@Pi").as_float(), 3.14159265358979323846264338327950288L) << "read-only: ignored";
  store.reset();
  EXPECT_EQ(store.text_delay(), 50);
}

TEST_F(StoreVariables, TempStandsForTheNamedVariable) {
  // Before any name: 0, "", no type, writes ignored.
  EXPECT_EQ(sys("@Temp").as_int(), 0);
  EXPECT_EQ(sys("@Temp").as_str(), "");
  EXPECT_EQ(sys("@Temp").type(), PT_NONE);
  ASSERT_TRUE(run("@Temp = 5"));

  TParamCollectionItem& a = var("a", PT_INT);
  std::int32_t dims[] = {2, 3};
  a.value().set_dims(dims);
  ASSERT_TRUE(assign_temp_name(store, "A"));  // names compare without case
  EXPECT_EQ(sys("@Temp").type(), PT_INT);
  EXPECT_EQ(sys("@Temp").count(), 6);
  EXPECT_EQ(sys("@Temp").dims(), (std::vector<std::int32_t>{2, 3}));
  var("x", PT_INT);
  ASSERT_TRUE(run("@Temp[1, 2] = 42; x = @Temp[1, 2] + 1")) << test::utf8(parser.last_error());
  EXPECT_EQ(a.value().int_at(5), 42);
  EXPECT_EQ(store.find("x")->value().as_int(), 43);
  // Dimensions and fills go to the variable too.
  std::int32_t four[] = {4};
  sys("@Temp").set_dims(four);
  EXPECT_EQ(a.value().count(), 4);
  sys("@Temp").fill_int(7);
  EXPECT_EQ(a.value().int_at(3), 7);
  // Ordinary arrays keep their index check through @Temp.
  var("y", PT_INT);
  EXPECT_FALSE(run("y = @Temp[9]"));
  EXPECT_FALSE(parser.last_error().empty());
}

TEST_F(StoreVariables, TempNeverStandsForItselfAndStopsAfterEightSteps) {
  EXPECT_FALSE(assign_temp_name(store, "@temp")) << "AssignTemp refuses @Temp itself";
  EXPECT_EQ(store.temp_name(), "");
  // A name loaded from a save may still be "@Temp": it stands for nothing.
  store.set_temp_name("@Temp");
  EXPECT_EQ(sys("@Temp").as_int(), 0);
  EXPECT_EQ(sys("@Temp").type(), PT_NONE);
  var("z", PT_INT);
  ASSERT_TRUE(run("@Temp = 1; z = @Temp")) << test::utf8(parser.last_error());
  // A reference bound to @Temp while @Temp names the reference: the chain
  // is cut after eight steps and reads as nothing.
  bool created = false;
  TParamCollectionItem& r = store.create("r", PT_NONE, TVarScope::Global, created);
  r.value().as_reference()->bind_whole(store.find("@Temp"));
  store.set_temp_name("r");
  EXPECT_EQ(sys("@Temp").as_int(), 0);
  EXPECT_EQ(sys("@Temp").as_str(), "");
  sys("@Temp").set_int(3);
  EXPECT_EQ(sys("@Temp").count(), 1);
  EXPECT_EQ(sys("@Temp").type(), PT_NONE);
}

TEST_F(StoreVariables, SystemArraysAnswerEmptyOutsideTheirRange) {
  Echo keys(0);
  const int key_push[] = {SV_KEYPUSH};
  router.attach("keys", keys, key_push);
  for (const char* name : {"a", "b", "c", "d"}) var(name, PT_BOOL);
  ASSERT_TRUE(run("a = @KeyPush[1]; b = @KeyPush[300]; c = @KeyPush[-4]; d = @KeyPush[2]"))
      << test::utf8(parser.last_error());
  EXPECT_TRUE(store.find("a")->value().as_flag());
  EXPECT_FALSE(store.find("b")->value().as_flag()) << "no index error for the system's arrays";
  EXPECT_FALSE(store.find("c")->value().as_flag());
  EXPECT_FALSE(store.find("d")->value().as_flag());
}

}  // namespace
}  // namespace nova::expr
