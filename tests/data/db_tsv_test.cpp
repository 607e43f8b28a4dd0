// Tables from tab-separated text: line ends, empty columns, escapes next to
// double-byte characters, the header's words and lengths, and the file
// reached through the script file access.
#include "data/db_tsv.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "data/data_functions.h"
#include "expr/function_table.h"
#include "expr/params.h"
#include "files/file_manager_fixture.h"
#include "files/script_file_access.h"
#include "support/test_support.h"

namespace nova::test {
namespace {

using data::DBFieldType;
using data::TDBManager;
using data::TDBTable;

bool load(TDBTable& t, std::string_view text) {
  return data::load_tsv(t, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

// Every field as "name type size".
std::string fields_of(const TDBTable& t) {
  std::string out;
  for (const data::TDBField& f : t.fields()) {
    out += (out.empty() ? "" : ", ") + f.name() + " " + std::to_string(static_cast<int>(f.type())) + " " +
           std::to_string(f.size());
  }
  return out;
}

std::vector<std::string> row(const TDBTable& t, std::int32_t r) {
  std::vector<std::string> out;
  for (std::int32_t f = 0; f < static_cast<std::int32_t>(t.fields().size()); ++f) out.push_back(*t.get_str(r, f));
  return out;
}

// CR, LF and CR LF line ends, a line without an end, an empty line, empty
// columns, escapes, and "ソ" (0x83 0x5C) before an "n".
std::string fixture() {
  return "id int 3\tname str 6\tnote\trate float\ton bool\r\n"
         "1\tabc\thello\t2.5\tTRUE\r"
         "2\t\t\t\t\n"
         "3\t" + sjis("ソ") + "n\ta\\nb\\\"c\\\\d\\x\t-1.5\tFALSE\r\n"
         "\r\n"
         "4\tabcdefgh\t\t\ttrue";
}

TEST(DBTsv, LinesColumnsAndEscapesBecomeRecords) {
  TDBManager m;
  TDBTable& t = m.create("t", false);
  t.add_field("old", DBFieldType::Integer);
  t.append();
  ASSERT_TRUE(load(t, fixture()));
  EXPECT_EQ(fields_of(t), "id 1 4, name 4 7, note 4 81, rate 2 10, on 3 1");
  ASSERT_EQ(t.record_count(), 4);
  EXPECT_EQ(t.current(), 3) << "the last record read";
  EXPECT_EQ(row(t, 0), (std::vector<std::string>{"1", "abc", "hello", "2.5", "TRUE"}));
  EXPECT_EQ(row(t, 1), (std::vector<std::string>{"2", "", "", "0", "FALSE"})) << "empty columns";
  // The trail byte 0x5C of "ソ" is no backslash: its "n" stays. "\x" keeps
  // its backslash.
  EXPECT_EQ(row(t, 2), (std::vector<std::string>{"3", sjis("ソ") + "n", "a\r\nb\"c\\d\\x", "-1.5", "FALSE"}));
  EXPECT_EQ(row(t, 3), (std::vector<std::string>{"4", "abcdef", "", "0", "FALSE"}))
      << "cut to the declared length; only TRUE is true";
}

TEST(DBTsv, TheHeaderNamesTypesAndLengthsAsWritten) {
  struct Case {
    std::string header;
    std::string fields;
  } cases[] = {
      {"id  int", "id 4 81"},  // two blanks: the type word is empty, "int" the length (80)
      {"a Int\tb str zz\tc str -3\td float 9", "a 4 81, b 4 81, c 4 1, d 2 10"},
      {"a\tb\t", "a 4 81, b 4 81"},  // nothing after the last tab: no column
      {"  x bool", ""},              // a leading blank: the name before it is empty
      {"a str 1048576", "a 4 1048577"},
      {"", ""},
  };
  for (const Case& c : cases) {
    TDBManager m;
    TDBTable& t = m.create("t", false);
    const bool ok = load(t, c.header + "\n1\n");
    if (c.fields.empty() && !c.header.empty()) {
      EXPECT_FALSE(ok) << c.header;
    } else {
      EXPECT_TRUE(ok) << c.header;
    }
    EXPECT_EQ(fields_of(t), c.fields) << c.header;
  }
}

TEST(DBTsv, FailuresLeaveTheTableAsTheyShould) {
  TDBManager m;
  TDBTable& t = m.create("t", false);
  ASSERT_TRUE(load(t, "a int\n5\n"));
  const std::vector<std::uint8_t> before = t.records();
  EXPECT_FALSE(load(t, "")) << "an empty file";
  EXPECT_EQ(fields_of(t), "a 1 4");
  EXPECT_EQ(t.records(), before);
  // A column without a name, or beyond the limits, leaves no fields.
  for (std::string header : {"a int\t\tb int", "\tb", " a int", "a str 1048577"}) {
    ASSERT_TRUE(load(t, "a int\n5\n"));
    EXPECT_FALSE(load(t, header + "\n1\t2\n")) << header;
    EXPECT_EQ(t.fields().size(), 0u) << header;
    EXPECT_EQ(t.record_count(), 0) << header;
    EXPECT_EQ(t.current(), -1) << header;
  }
  // Columns beyond the fields are ignored; records without fields hold no
  // bytes.
  ASSERT_TRUE(load(t, "\n1\t2\n\n3\n"));
  EXPECT_EQ(t.record_count(), 2);
  EXPECT_TRUE(t.records().empty());
}

// DBLoadTsvFile through the script file access of a title folder.
class DBLoadTsvFile : public ::testing::Test {
 protected:
  DBLoadTsvFile() {
    base = files_test.root / "base";
    test::write_file(base / "Data" / "Items.tsv", fixture());
    test::write_file(base / "empty.tsv", "");
    test::write_file(files_test.root / "outside.tsv", "x int\n1\n");
    manager = files_test.make();
    manager->SetBaseFolder(base);
    access = std::make_unique<files::ScriptFileAccess>(*manager);
    scope.manager = &tables;
    scope.access = access.get();
    data::register_db_functions(funcs, scope);
  }

  bool call(std::string_view name, std::initializer_list<expr::TCustomParam*> args) {
    int index = -1;
    for (std::size_t i = 0; i < expr::kSysFuncs.size(); ++i) {
      if (expr::kSysFuncs[i].name == name) index = static_cast<int>(i);
    }
    expr::TParamFlag result(false);
    funcs.call(result, index, std::vector<expr::TCustomParam*>(args));
    return result.as_flag();
  }
  bool load_file(std::string_view file) {
    expr::TParamStr name(file);
    return call("DBLoadTsvFile", {&name});
  }

  files::testing::ManagerTest files_test;
  std::filesystem::path base;
  std::unique_ptr<files::TVrFileManager> manager;
  std::unique_ptr<files::ScriptFileAccess> access;
  TDBManager tables;
  data::DBScope scope;
  expr::TSysFuncMan funcs;
};

TEST_F(DBLoadTsvFile, ReadsThroughTheScriptFileAccessAndAnswersFalseForWhatItRefuses) {
  EXPECT_FALSE(load_file("data\\items.tsv")) << "no active table";
  TDBTable& t = tables.create("items", false);
  t.add_field("keep", DBFieldType::Integer);
  t.set_int(t.append(), 0, 7);
  for (const char* refused : {"missing.tsv", "empty.tsv", "..\\outside.tsv", "C:\\outside.tsv"}) {
    EXPECT_FALSE(load_file(refused)) << refused;
    EXPECT_EQ(fields_of(t), "keep 1 4") << refused;
    EXPECT_EQ(t.get_int(0, 0), 7) << refused;
  }
  EXPECT_TRUE(load_file("DATA\\items.TSV")) << "names without regard to case";
  EXPECT_EQ(t.record_count(), 4);
  EXPECT_EQ(*t.get_str(2, 1), sjis("ソ") + "n");

  scope.access = nullptr;
  EXPECT_THROW(load_file("data\\items.tsv"), core::Error) << "a player without files is a wiring fault";
}

}  // namespace
}  // namespace nova::test
