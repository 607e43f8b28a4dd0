// The DB functions as scripts call them: through the function manager, with
// values for arguments, on the manager of their scope.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "core/error.h"
#include "data/data_functions.h"
#include "data/db_manager.h"
#include "expr/function_table.h"
#include "expr/params.h"

namespace nova::test {
namespace {

using expr::TCustomParam;

std::unique_ptr<TCustomParam> I(std::int32_t v) { return std::make_unique<expr::TParamInt>(v); }
std::unique_ptr<TCustomParam> F(long double v) { return std::make_unique<expr::TParamFloat>(v); }
std::unique_ptr<TCustomParam> B(bool v) { return std::make_unique<expr::TParamFlag>(v); }
std::unique_ptr<TCustomParam> S(std::string_view v) { return std::make_unique<expr::TParamStr>(v); }
std::unique_ptr<TCustomParam> Strings(std::initializer_list<std::string_view> v) {
  auto p = std::make_unique<expr::TParamStr>();
  p->set_count(static_cast<std::int32_t>(v.size()));
  std::int32_t i = 0;
  for (std::string_view s : v) p->set_str_at(i++, s);
  return p;
}
std::unique_ptr<TCustomParam> Flags(std::initializer_list<bool> v) {
  auto p = std::make_unique<expr::TParamFlag>();
  p->set_count(static_cast<std::int32_t>(v.size()));
  std::int32_t i = 0;
  for (bool b : v) p->set_flag_at(i++, b);
  return p;
}

class DBFunctions : public ::testing::Test {
 protected:
  DBFunctions() {
    scope.manager = &m;
    data::register_data_functions(funcs, history, scope);
  }

  // Calls the function by name; the result in the function's result type.
  template <typename... A>
  std::unique_ptr<TCustomParam> call(std::string_view name, A&&... args) {
    int index = -1;
    for (std::size_t i = 0; i < expr::kSysFuncs.size(); ++i) {
      if (expr::kSysFuncs[i].name == name) index = static_cast<int>(i);
    }
    EXPECT_GE(index, 0) << name;
    std::vector<std::unique_ptr<TCustomParam>> held;
    (held.push_back(std::forward<A>(args)), ...);
    std::vector<TCustomParam*> raw;
    for (auto& h : held) raw.push_back(h.get());
    auto target = expr::make_value(static_cast<std::uint8_t>(expr::kSysFuncs[static_cast<std::size_t>(index)].result));
    funcs.call(*target, index, raw);
    return target;
  }
  template <typename... A>
  bool ok(std::string_view name, A&&... args) {
    return call(name, std::forward<A>(args)...)->as_flag();
  }
  template <typename... A>
  std::int32_t num(std::string_view name, A&&... args) {
    return call(name, std::forward<A>(args)...)->as_int();
  }
  template <typename... A>
  std::string str(std::string_view name, A&&... args) {
    return call(name, std::forward<A>(args)...)->as_str();
  }

  // The active table "fruit": id int, name str 10, ripe bool, weight float,
  // with four records.
  void fruit() {
    ASSERT_TRUE(ok("DBCreateTable", S("fruit"), B(false)));
    ASSERT_TRUE(ok("DBAddField", S("id"), I(1)));
    ASSERT_TRUE(ok("DBAddField", S("name"), I(4), I(10)));
    ASSERT_TRUE(ok("DBAddField", S("ripe"), I(3)));
    ASSERT_TRUE(ok("DBAddField", S("weight"), I(2)));
    ASSERT_TRUE(ok("DBInsert", I(1), S("apples"), B(true), F(1.5)));
    ASSERT_TRUE(ok("DBInsert", I(2), S("apple"), B(false), F(0.25)));
    ASSERT_TRUE(ok("DBInsert", I(3), S("Pear"), B(true), F(2.0)));
    ASSERT_TRUE(ok("DBInsert", I(4), S("fig"), B(false), F(0.25)));
  }
  std::vector<std::int32_t> ids(std::string_view table) {
    const data::TDBTable& t = *m.find(table);
    std::vector<std::int32_t> out;
    for (std::int32_t r = 0; r < t.record_count(); ++r) out.push_back(*t.get_int(r, 0));
    return out;
  }

  data::TDBManager m;
  data::DBScope scope;
  data::HistoryScope history;
  expr::TSysFuncMan funcs;
};

TEST_F(DBFunctions, TablesFieldsAndRecordsAreMadeMovedAndRead) {
  EXPECT_EQ(num("DBRecordCount"), -1) << "no active table";
  EXPECT_EQ(num("DBGetRecNo", I(0)), -1);
  EXPECT_FALSE(ok("DBInsert", I(1)));
  fruit();
  EXPECT_FALSE(ok("DBCreateTable", S("FRUIT"), B(true))) << "names are found without regard to case";
  EXPECT_FALSE(ok("DBCreateTable", S(""), B(true)));
  EXPECT_FALSE(ok("DBAddField", S("bad"), I(5)));
  EXPECT_FALSE(ok("DBAddField", S("bad"), I(4), I(data::TDBTable::kMaxStringLength + 1)));
  EXPECT_EQ(str("DBGetActive"), "fruit");
  EXPECT_EQ(num("DBRecordCount"), 4);
  EXPECT_EQ(num("DBGetRecNo"), 3) << "the last insert is current";
  EXPECT_EQ(str("DBGetStr", S("NAME")), "fig");
  EXPECT_EQ(call("DBGetFloat", S("weight"))->as_float(), 0.25L);
  EXPECT_EQ(num("DBGetInt", S("weight")), 0) << "0.25 rounds to 0";
  EXPECT_EQ(str("DBGetStr", S("missing")), "");

  EXPECT_TRUE(ok("DBSetRecNo", I(-5)));
  EXPECT_EQ(num("DBGetRecNo"), -1);
  EXPECT_EQ(num("DBGetInt", S("id")), 0) << "no current record";
  EXPECT_FALSE(ok("DBSetInt", S("id"), I(9)));
  EXPECT_FALSE(ok("DBSetRecNo", I(4)));
  EXPECT_FALSE(ok("DBFindNext"));
  EXPECT_TRUE(ok("DBFindLast"));
  EXPECT_FALSE(ok("DBFindNext"));
  EXPECT_TRUE(ok("DBFindPrior"));
  EXPECT_EQ(num("DBGetInt", S("id")), 3);
  EXPECT_TRUE(ok("DBFindFirst"));
  EXPECT_FALSE(ok("DBFindPrior"));
  EXPECT_TRUE(ok("DBSetStr", S("name"), S("cherries!")));
  EXPECT_TRUE(ok("DBSetFloat", S("id"), F(6.5)));
  EXPECT_EQ(num("DBGetInt", S("id")), 6) << "halves go to even";
  EXPECT_FALSE(ok("DBSetBool", S("nothing"), B(true)));

  // A string field of length 0 always reads "".
  EXPECT_TRUE(ok("DBAddField", S("x"), I(4)));
  EXPECT_TRUE(ok("DBSetStr", S("x"), S("abc")));
  EXPECT_EQ(str("DBGetStr", S("x")), "");

  // Deleting keeps the number, or takes the last record's when it fell off.
  EXPECT_TRUE(ok("DBSetRecNo", I(1)));
  EXPECT_TRUE(ok("DBDelete"));
  EXPECT_EQ(ids("fruit"), (std::vector<std::int32_t>{6, 3, 4}));
  EXPECT_EQ(num("DBGetRecNo"), 1);
  EXPECT_TRUE(ok("DBFindLast"));
  EXPECT_TRUE(ok("DBDelete"));
  EXPECT_EQ(num("DBGetRecNo"), 1);
  EXPECT_TRUE(ok("DBClearRecord"));
  EXPECT_EQ(num("DBRecordCount", S("fruit")), 0);
  EXPECT_EQ(num("DBGetRecNo"), -1);
  EXPECT_FALSE(ok("DBDelete"));
  EXPECT_FALSE(ok("DBClearRecord", S("nothing")));

  // A negative declared length is 0: the field always reads "".
  EXPECT_TRUE(ok("DBAddField", S("none"), I(4), I(-3)));
  EXPECT_TRUE(ok("DBInsert", I(1), S("x"), B(true), F(1), S("text")));
  EXPECT_EQ(str("DBGetStr", S("none")), "");
  EXPECT_EQ(m.find("fruit")->fields().back().size(), 1);
}

TEST_F(DBFunctions, ATableCopiesIntoItselfWhatItHeldAtTheStart) {
  fruit();
  EXPECT_TRUE(ok("DBInsertTable", S("fruit")));
  EXPECT_EQ(ids("fruit"), (std::vector<std::int32_t>{1, 2, 3, 4, 1, 2, 3, 4})) << "not for ever";
  EXPECT_EQ(num("DBGetRecNo"), 7);
  EXPECT_TRUE(ok("DBInsertTable", S("FRUIT"), Strings({"ripe"}), Flags({true})));
  EXPECT_EQ(ids("fruit"), (std::vector<std::int32_t>{1, 2, 3, 4, 1, 2, 3, 4, 1, 3, 1, 3}));
  EXPECT_TRUE(ok("DBSetRecNo", I(2)));
  EXPECT_TRUE(ok("DBCopy", S("fruit")));
  EXPECT_EQ(num("DBRecordCount"), 13);
  EXPECT_EQ(num("DBGetRecNo"), 12) << "the copy is current";
  EXPECT_EQ(str("DBGetStr", S("name")), "Pear");
  const data::TDBTable& t = *m.find("fruit");
  EXPECT_TRUE(std::ranges::equal(t.record(2), t.record(12)));
}

TEST_F(DBFunctions, AFullTableTakesNoMoreRecords) {
  // Records without fields take no bytes: 2^24 of them cost nothing.
  core::ByteWriter w;
  w.i32(100);
  w.i32(1);
  w.u8(0);
  w.str("full");
  w.u8(0);
  w.i32(0);
  w.i32(data::TDBTable::kMaxRecords);
  w.i32(3);
  w.str("full");
  const auto block = w.take();
  core::ByteReader r(block);
  m.load(r, data::TDBManager::Form::Game);
  ASSERT_TRUE(ok("DBCreateTable", S("few"), B(false)));
  ASSERT_TRUE(ok("DBInsert"));
  ASSERT_TRUE(ok("DBSetActive", S("full")));
  EXPECT_FALSE(ok("DBInsert"));
  EXPECT_FALSE(ok("DBInsertTable", S("few")));
  EXPECT_FALSE(ok("DBCopy", S("full")));
  EXPECT_EQ(num("DBRecordCount"), data::TDBTable::kMaxRecords);
  EXPECT_EQ(num("DBGetRecNo"), 3);
  EXPECT_TRUE(ok("DBSetActive", S("few")));
  EXPECT_FALSE(ok("DBCopy", S("full"))) << "the full table takes no copy";
  EXPECT_TRUE(ok("DBInsertTable", S("few")));
  EXPECT_EQ(num("DBRecordCount"), 2);
}

TEST_F(DBFunctions, DeletingAndClearingTablesKeepsTheActiveOneByName) {
  ASSERT_TRUE(ok("DBCreateTable", S("a"), B(false)));
  ASSERT_TRUE(ok("DBCreateTable", S("b"), B(true)));
  ASSERT_TRUE(ok("DBCreateTable", S("c"), B(false)));
  EXPECT_TRUE(ok("DBSetActive", S("B")));
  EXPECT_FALSE(ok("DBSetActive", S("none")));
  EXPECT_EQ(str("DBGetActive"), "b");
  EXPECT_TRUE(ok("DBDeleteTable", S("a")));
  EXPECT_EQ(str("DBGetActive"), "b");
  EXPECT_FALSE(ok("DBDeleteTable", S("a")));
  EXPECT_TRUE(ok("DBDeleteTable"));
  EXPECT_EQ(str("DBGetActive"), "");
  EXPECT_FALSE(ok("DBDeleteTable")) << "no active table";
  EXPECT_TRUE(ok("DBCreateTable", S("s"), B(true)));
  EXPECT_FALSE(ok("DBClearTable"));
  EXPECT_TRUE(m.tables().empty()) << "status tables go too";
  EXPECT_EQ(m.active(), nullptr);
}

TEST_F(DBFunctions, SearchesMatchByTheValuesTypeAndEndAtAMissingField) {
  fruit();
  // Partial: the record's text is looked for in the value.
  EXPECT_TRUE(ok("DBLocate", Strings({"name"}), Strings({"red apple"}), B(false), B(true)));
  EXPECT_EQ(num("DBGetInt", S("id")), 2) << "apple, not apples";
  EXPECT_FALSE(ok("DBLocate", Strings({"name"}), Strings({"PEAR"}))) << "exact and case-sensitive by default";
  EXPECT_EQ(num("DBGetInt", S("id")), 2) << "a failed search leaves the current record";
  EXPECT_TRUE(ok("DBLocate", Strings({"name"}), Strings({"PEAR"}), B(true)));
  EXPECT_EQ(num("DBGetInt", S("id")), 3);
  EXPECT_TRUE(ok("DBLocate", Strings({"name"}), Strings({"A PEAR TREE"}), B(true), B(true)));
  EXPECT_FALSE(ok("DBLocate", Strings({"nofield"}), Strings({"apple"}))) << "the first criterion has no field";
  // Values of another type compare the field read in that type; pairs up
  // to the shorter array.
  auto weights = std::make_unique<expr::TParamFloat>();
  weights->set_count(2);
  weights->set_float_at(0, 0.25L);
  weights->set_float_at(1, 99.0L);
  EXPECT_TRUE(ok("DBLocate", Strings({"weight"}), std::move(weights)));
  EXPECT_EQ(num("DBGetInt", S("id")), 2);
  EXPECT_FALSE(ok("DBLocate", Strings({"ripe", "weight"}), Flags({false, false}))) << "0.25 reads as the flag TRUE";
  EXPECT_TRUE(ok("DBLocate", Strings({"ripe", "weight"}), Flags({true, true})));
  EXPECT_EQ(num("DBGetInt", S("id")), 1);

  // Direct access leaves the active table and its current record alone.
  ASSERT_TRUE(ok("DBCreateTable", S("other"), B(false)));
  EXPECT_EQ(call("DBDirectGetStr", S("fruit"), Strings({"id"}), Strings({"3"}), B(false), B(false), S("name"),
                 S("none"))
                ->as_str(),
            "Pear");
  EXPECT_EQ(str("DBDirectGetStr", S("fruit"), Strings({"id"}), Strings({"9"}), B(false), B(false), S("name"),
                S("none")),
            "none");
  EXPECT_EQ(num("DBDirectGetInt", S("nofruit"), Strings({"id"}), Strings({"3"}), B(false), B(false), S("id"), I(-7)),
            -7);
  EXPECT_TRUE(ok("DBDirectSetInt", S("fruit"), Strings({"name"}), Strings({"fig"}), B(false), B(false), S("id"),
                 I(40)));
  EXPECT_FALSE(ok("DBDirectSetInt", S("fruit"), Strings({"name"}), Strings({"fig"}), B(false), B(false), S("nope"),
                  I(40)));
  EXPECT_EQ(ids("fruit"), (std::vector<std::int32_t>{1, 2, 3, 40}));
  EXPECT_EQ(str("DBGetActive"), "other");
  EXPECT_EQ(m.find("fruit")->current(), 0);

  // Criteria pair up to the shorter array; a name that is no field ends
  // the search at the first record that reaches it.
  EXPECT_TRUE(ok("DBSetActive", S("fruit")));
  EXPECT_TRUE(ok("DBCopyTable", S("other"), Strings({"ripe", "nofield"}), Flags({false})));
  EXPECT_EQ(ids("other"), (std::vector<std::int32_t>{2, 40}));
  EXPECT_TRUE(ok("DBCopyTable", S("other"), Strings({"ripe", "nofield"}), Flags({false, false})));
  EXPECT_EQ(ids("other"), (std::vector<std::int32_t>{}));
  EXPECT_EQ(m.find("other")->current(), -1);
}

TEST_F(DBFunctions, CopiesNeedTheSameFieldsAndSortingOrdersByEveryKey) {
  fruit();
  ASSERT_TRUE(ok("DBCreateTable", S("copy"), B(false)));
  EXPECT_TRUE(ok("DBSetActive", S("fruit")));
  EXPECT_FALSE(ok("DBCopyTable", S("fruit"))) << "the destination is the active table";
  EXPECT_FALSE(ok("DBCopyTable", S("none")));
  EXPECT_TRUE(ok("DBCopyTable", S("copy"), Strings({"ripe"}), Flags({true})));
  EXPECT_EQ(ids("copy"), (std::vector<std::int32_t>{1, 3}));
  EXPECT_EQ(m.find("copy")->current(), 1);
  EXPECT_EQ(m.find("copy")->fields().size(), 4u);
  EXPECT_TRUE(ok("DBCopyTable", S("copy"))) << "without criteria every record";
  EXPECT_EQ(ids("copy"), (std::vector<std::int32_t>{1, 2, 3, 4}));

  EXPECT_TRUE(ok("DBInsertTable", S("copy"), Strings({"id"}), Strings({"4"})));
  EXPECT_EQ(ids("fruit"), (std::vector<std::int32_t>{1, 2, 3, 4, 4}));
  EXPECT_EQ(num("DBGetRecNo"), 4);
  EXPECT_TRUE(ok("DBSetRecNo", I(0)));
  EXPECT_TRUE(ok("DBCopy", S("copy")));
  EXPECT_EQ(ids("copy"), (std::vector<std::int32_t>{1, 2, 3, 4, 1}));
  EXPECT_EQ(m.find("copy")->current(), 4);
  ASSERT_TRUE(ok("DBCreateTable", S("narrow"), B(false)));
  ASSERT_TRUE(ok("DBAddField", S("id"), I(1)));
  EXPECT_TRUE(ok("DBSetActive", S("fruit")));
  EXPECT_FALSE(ok("DBCopy", S("narrow"))) << "other fields";
  EXPECT_FALSE(ok("DBInsertTable", S("narrow")));
  data::TDBTable& renamed = *m.find("copy");
  renamed.clear();
  renamed.add_field("ID", data::DBFieldType::Integer);
  renamed.add_field("name", data::DBFieldType::String, 10);
  renamed.add_field("ripe", data::DBFieldType::Flag);
  renamed.add_field("weight", data::DBFieldType::Float);
  EXPECT_FALSE(ok("DBCopy", S("copy"))) << "field names are compared case-sensitively";

  // Ripe (TRUE) first, then by weight ascending, then id descending.
  EXPECT_TRUE(ok("DBSetRecNo", I(2)));
  EXPECT_TRUE(ok("DBSort", Strings({"ripe", "nofield", "weight", "id"}), Flags({true, false, false, true})));
  EXPECT_EQ(ids("fruit"), (std::vector<std::int32_t>{1, 3, 4, 4, 2}));
  EXPECT_EQ(num("DBGetRecNo"), 2) << "the current number stays where it was";
  EXPECT_TRUE(ok("DBSort", Strings({"name"}), Flags({false})));
  const data::TDBTable& t = *m.find("fruit");
  std::vector<std::string> names;
  for (std::int32_t r = 0; r < t.record_count(); ++r) names.push_back(*t.get_str(r, 1));
  EXPECT_EQ(names, (std::vector<std::string>{"Pear", "apple", "apples", "fig", "fig"})) << "case-sensitive";
}

TEST_F(DBFunctions, WithoutTablesTheFunctionsRaiseNamingThemselves) {
  scope.manager = nullptr;
  try {
    call("DBRecordCount");
    FAIL();
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), "DBRecordCount: the DB tables do not exist");
  }
}

}  // namespace
}  // namespace nova::test
