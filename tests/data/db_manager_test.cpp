// The DB tables: the conversions of the field accessors, the record layout
// as fields are added, and the saved block of each form, read back whole or
// not at all.
#include "data/db_manager.h"

#include <gtest/gtest.h>

#include <climits>

#include "core/error.h"
#include "support/test_support.h"

namespace nova::test {
namespace {

using data::DBFieldType;
using data::TDBManager;
using data::TDBTable;
using Form = TDBManager::Form;

// A table with one field of every type and two records.
TDBTable& typed_table(TDBManager& m, std::string name, bool status) {
  TDBTable& t = m.create(std::move(name), status);
  t.add_field("i", DBFieldType::Integer);
  t.add_field("f", DBFieldType::Float);
  t.add_field("b", DBFieldType::Flag);
  t.add_field("s", DBFieldType::String, 3);
  t.append();
  t.append();
  return t;
}

std::vector<std::uint8_t> saved(const TDBManager& m, Form form) {
  core::ByteWriter w;
  m.save(w, form);
  return w.take();
}

// Everything a manager holds, as both forms and the active table see it.
std::string state_of(const TDBManager& m) {
  const auto g = saved(m, Form::Game);
  const auto s = saved(m, Form::Status);
  return std::string(g.begin(), g.end()) + "|" + std::string(s.begin(), s.end()) + "|" +
         std::to_string(m.active_index()) + "|" + std::to_string(m.tables().size());
}

std::string load_error(TDBManager& m, std::span<const std::uint8_t> bytes, Form form) {
  core::ByteReader r(bytes);
  r.set_context("tables");
  try {
    m.load(r, form);
  } catch (const core::Error& e) {
    return e.message();
  }
  return "<no error>";
}

TEST(DBTable, EveryAccessorConvertsBetweenTheFieldTypeAndTheRequestedOne) {
  TDBManager m;
  TDBTable& t = typed_table(m, "t", false);
  const int I = 0, F = 1, B = 2, S = 3;

  // Integer field.
  ASSERT_TRUE(t.set_int(0, I, -42));
  EXPECT_EQ(t.get_int(0, I), -42);
  EXPECT_EQ(t.get_float(0, I), -42.0L);
  EXPECT_EQ(t.get_flag(0, I), true);
  EXPECT_EQ(t.get_str(0, I), "-42");
  t.set_float(0, I, 2.5L);
  EXPECT_EQ(t.get_int(0, I), 2);
  t.set_float(0, I, 3.5L);
  EXPECT_EQ(t.get_int(0, I), 4);
  t.set_float(0, I, -2.5L);
  EXPECT_EQ(t.get_int(0, I), -2);
  t.set_flag(0, I, true);
  EXPECT_EQ(t.get_int(0, I), 1);
  t.set_str(0, I, "$10");
  EXPECT_EQ(t.get_int(0, I), 16);
  t.set_str(0, I, "12x");
  EXPECT_EQ(t.get_int(0, I), 0);
  EXPECT_EQ(t.get_flag(0, I), false);

  // Float field: integers are rounded halves to even, text parses or is 0.
  t.set_float(0, F, 2.5L);
  EXPECT_EQ(t.get_int(0, F), 2);
  EXPECT_EQ(t.get_str(0, F), "2.5");
  t.set_float(0, F, 3.5L);
  EXPECT_EQ(t.get_int(0, F), 4);
  t.set_float(0, F, 0.1L);
  EXPECT_EQ(t.get_float(0, F), 0.1L);  // all 80 bits survive the record
  EXPECT_EQ(t.get_flag(0, F), true);
  t.set_int(0, F, 7);
  EXPECT_EQ(t.get_float(0, F), 7.0L);
  t.set_flag(0, F, true);
  EXPECT_EQ(t.get_float(0, F), 1.0L);
  t.set_str(0, F, "1.5e2");
  EXPECT_EQ(t.get_float(0, F), 150.0L);
  t.set_str(0, F, "abc");
  EXPECT_EQ(t.get_float(0, F), 0.0L);
  EXPECT_EQ(t.get_flag(0, F), false);

  // Flag field.
  t.set_int(0, B, -5);
  EXPECT_EQ(t.get_int(0, B), 1);
  EXPECT_EQ(t.get_str(0, B), "TRUE");
  t.set_float(0, B, 0.0L);
  EXPECT_EQ(t.get_float(0, B), 0.0L);
  EXPECT_EQ(t.get_str(0, B), "FALSE");
  t.set_str(0, B, "true");  // only "TRUE" exactly is true
  EXPECT_EQ(t.get_flag(0, B), false);
  t.set_str(0, B, "TRUE");
  EXPECT_EQ(t.get_flag(0, B), true);

  // String field of length 3: every write is cut to it.
  t.set_str(0, S, "abcdef");
  EXPECT_EQ(t.get_str(0, S), "abc");
  t.set_flag(0, S, true);
  EXPECT_EQ(t.get_str(0, S), "TRU");
  EXPECT_EQ(t.get_flag(0, S), false);
  t.set_int(0, S, 12345);
  EXPECT_EQ(t.get_str(0, S), "123");
  EXPECT_EQ(t.get_int(0, S), 123);
  t.set_float(0, S, 2.75L);
  EXPECT_EQ(t.get_str(0, S), "2.7");
  EXPECT_EQ(t.get_float(0, S), 2.7L);
  t.set_str(0, S, "x");
  EXPECT_EQ(t.get_str(0, S), "x");  // a shorter text leaves nothing of the longer one
  EXPECT_EQ(t.get_int(0, S), 0);

  // The second record was never written: zero bytes read as zero values.
  EXPECT_EQ(t.get_int(1, I), 0);
  EXPECT_EQ(t.get_str(1, F), "0");
  EXPECT_EQ(t.get_str(1, B), "FALSE");
  EXPECT_EQ(t.get_str(1, S), "");
}

TEST(DBTable, AccessOutsideTheRecordsOrFieldsFailsAndChangesNothing) {
  TDBManager m;
  TDBTable& t = typed_table(m, "t", false);
  t.set_int(1, 0, 9);
  const std::vector<std::uint8_t> before = t.records();
  for (auto [rec, field] : {std::pair{-1, 0}, {2, 0}, {0, -1}, {0, 4}, {INT_MAX, 0}, {0, INT_MIN}}) {
    EXPECT_FALSE(t.get_int(rec, field)) << rec << "," << field;
    EXPECT_FALSE(t.get_float(rec, field));
    EXPECT_FALSE(t.get_flag(rec, field));
    EXPECT_FALSE(t.get_str(rec, field));
    EXPECT_FALSE(t.set_int(rec, field, 1));
    EXPECT_FALSE(t.set_float(rec, field, 1));
    EXPECT_FALSE(t.set_flag(rec, field, true));
    EXPECT_FALSE(t.set_str(rec, field, "zz"));
  }
  EXPECT_EQ(t.records(), before);
}

TEST(DBTable, FieldsLieWithoutGapsAndAddingOneGrowsEveryRecordWithZeros) {
  TDBManager m;
  TDBTable& t = m.create("t", false);
  t.add_field("Name", DBFieldType::String, 5);
  t.append();
  t.set_str(0, 0, "hello");
  t.append();
  t.set_str(1, 0, "bye");
  t.add_field("score", DBFieldType::Integer);
  t.add_field("name", DBFieldType::Float);  // names may repeat; the first wins
  t.add_field("empty", DBFieldType::String, 0);
  EXPECT_EQ(t.record_size(), 6 + 4 + 10 + 1);
  EXPECT_EQ(t.field_offset(1), 6);
  EXPECT_EQ(t.field_offset(2), 10);
  EXPECT_EQ(t.field_offset(3), 20);
  EXPECT_EQ(t.records().size(), 2u * 21u);
  EXPECT_EQ(t.get_str(0, t.field_index("NAME")), "hello");
  EXPECT_EQ(t.get_str(1, 0), "bye");
  EXPECT_EQ(t.get_int(0, 1), 0);
  EXPECT_EQ(t.field_index("nothing"), -1);
  // A string of declared length 0 holds nothing, whatever is written.
  t.set_str(0, 3, "abc");
  EXPECT_EQ(t.get_str(0, 3), "");
  t.set_int(1, 1, 77);
  EXPECT_EQ(t.get_int(1, 1), 77);
  EXPECT_EQ(t.get_str(1, 0), "bye");  // the neighbour's bytes stay its own

  // A negative length counts as 0; a string longer than 2^20 is refused.
  t.add_field("neg", DBFieldType::String, -1);
  EXPECT_EQ(t.fields().back().size(), 1);
  EXPECT_THROW(t.add_field("huge", DBFieldType::String, TDBTable::kMaxStringLength + 1), core::Error);
  EXPECT_EQ(t.fields().size(), 5u);

  t.delete_record(0);
  EXPECT_EQ(t.record_count(), 1);
  EXPECT_EQ(t.get_str(0, 0), "bye");
  EXPECT_EQ(t.current(), 0);  // it was 1, now past the end

  // Records added before any field hold no bytes; the first field gives
  // each of them its zeros.
  TDBTable& bare = m.create("bare", false);
  bare.append();
  bare.append();
  bare.add_field("n", DBFieldType::Integer);
  EXPECT_EQ(bare.records(), std::vector<std::uint8_t>(8, 0));
  EXPECT_TRUE(bare.set_str(1, 0, std::string_view()));
  EXPECT_EQ(bare.get_int(1, 0), 0);
}

TEST(DBManager, TablesAreFoundWithoutRegardToCaseAndResetKeepsOnlyStatusTables) {
  TDBManager m;
  m.create("Items", false);
  m.create(sjis("アイテム"), true);
  m.create("items", true);
  EXPECT_EQ(m.index_of("ITEMS"), 0);
  EXPECT_EQ(m.find(sjis("アイテム")), m.tables()[1].get());
  EXPECT_EQ(m.active_index(), 2);
  // Deleting a table before the active one keeps the active one by name:
  // the first table of that name, now "items" at 1.
  m.remove(0);
  EXPECT_EQ(m.active()->name(), "items");
  m.create("game", false);
  m.delete_game_tables();
  ASSERT_EQ(m.tables().size(), 2u);
  EXPECT_TRUE(m.tables()[0]->is_status());
  EXPECT_TRUE(m.tables()[1]->is_status());
  EXPECT_EQ(m.active(), nullptr);
  m.set_active(1);
  m.remove(1);
  EXPECT_EQ(m.active(), nullptr);
}

// Game and status tables interleaved, with data in every type, a current
// record and an active status table.
void fill(TDBManager& m) {
  TDBTable& a = typed_table(m, "alpha", false);
  a.set_int(0, 0, 1234567);
  a.set_float(1, 1, -3.25L);
  a.set_flag(0, 2, true);
  a.set_str(1, 3, "xy");
  a.set_current(0);
  TDBTable& s = typed_table(m, "Flags", true);
  s.set_str(0, 3, sjis("字"));
  m.create("empty", false);
  TDBTable& b = m.create("beta", false);
  b.add_field(sjis("名前"), DBFieldType::String, 8);
  b.set_current(-1);
  m.create("nofields", true).append();
  m.set_active(1);
}

TEST(DBManager, BothFormsReadBackIntoTheSameBytesAndReplaceOnlyTheirOwnTables) {
  TDBManager source;
  fill(source);
  const auto game = saved(source, Form::Game);
  const auto status = saved(source, Form::Status);

  // A manager holding other tables of both forms.
  TDBManager target;
  target.create("old game", false);
  target.create("old status", true);
  {
    core::ByteReader r(status);
    target.load(r, Form::Status);
    EXPECT_TRUE(r.at_end());
  }
  // The old status table went, the old game one stays; the last stored
  // table is active.
  ASSERT_EQ(target.tables().size(), 3u);
  EXPECT_EQ(target.tables()[0]->name(), "old game");
  EXPECT_EQ(target.active()->name(), "nofields");
  {
    core::ByteReader r(game);
    target.load(r, Form::Game);
    EXPECT_TRUE(r.at_end());
  }
  // The game tables follow the status ones now; the stored active name
  // (a status table's) is found.
  ASSERT_EQ(target.tables().size(), 5u);
  EXPECT_EQ(target.tables()[0]->name(), "Flags");
  EXPECT_EQ(target.active_index(), 0);
  EXPECT_EQ(target.find("old game"), nullptr);
  EXPECT_EQ(target.find("old status"), nullptr);
  EXPECT_EQ(saved(target, Form::Game), game);
  EXPECT_EQ(saved(target, Form::Status), status);
  const TDBTable& a = *target.find("alpha");
  EXPECT_EQ(a.current(), 0);
  EXPECT_EQ(a.get_int(0, 0), 1234567);
  EXPECT_EQ(a.get_float(1, 1), -3.25L);
  EXPECT_EQ(a.get_str(1, 3), "xy");
  EXPECT_EQ(target.find("BETA")->fields()[0].string_length(), 8);
  EXPECT_EQ(target.find("nofields")->record_count(), 1);

  // The exact empty forms.
  TDBManager none;
  EXPECT_EQ(saved(none, Form::Game), (std::vector<std::uint8_t>{100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(saved(none, Form::Status), (std::vector<std::uint8_t>{100, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(DBManager, AGameLoadSelectsTheFirstTableOfTheStoredActiveName) {
  TDBManager saver;
  saver.create("Score", false);
  const auto game = saved(saver, Form::Game);

  TDBManager m;
  m.create("SCORE", true);  // a status table of the same name comes first
  m.create("other", true);
  core::ByteReader r(game);
  m.load(r, Form::Game);
  EXPECT_EQ(m.active_index(), 0);
  EXPECT_TRUE(m.active()->is_status());

  // A stored name that matches nothing, or none at all, leaves no table
  // active, although loading made tables active on the way.
  TDBManager empty_name;
  empty_name.create("x", false);
  empty_name.set_active(-1);
  const auto unnamed = saved(empty_name, Form::Game);
  core::ByteReader r2(unnamed);
  m.load(r2, Form::Game);
  EXPECT_EQ(m.active(), nullptr);
  EXPECT_NE(m.find("x"), nullptr);
}

TEST(DBManager, ADamagedBlockRaisesAndChangesNothing) {
  TDBManager source;
  fill(source);
  for (Form form : {Form::Game, Form::Status}) {
    const auto bytes = saved(source, form);
    TDBManager m;
    fill(m);
    m.find("alpha")->set_int(0, 0, -1);  // differs from the source
    const std::string before = state_of(m);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
      const std::string error = load_error(m, std::span(bytes.data(), n), form);
      ASSERT_NE(error, "<no error>") << n;
      EXPECT_NE(error.find("tables"), std::string::npos) << error;
      ASSERT_EQ(state_of(m), before) << n;
    }
  }
}

// A game block with one table of one integer field holding one record,
// each part given.
std::vector<std::uint8_t> one_table(std::int32_t version, std::int32_t tables, std::uint8_t code,
                                    std::int32_t fields, std::int32_t field_size, std::uint8_t type,
                                    std::int32_t records, std::int32_t current) {
  core::ByteWriter w;
  w.i32(version);
  w.i32(tables);
  w.u8(code);
  w.str("t");
  w.u8(0);
  w.i32(fields);
  w.i32(field_size);
  w.str("f");
  w.u8(type);
  w.i32(records);
  w.i32(5);
  w.i32(current);
  w.str("t");
  return w.take();
}

TEST(DBManager, CountsSizesTypesAndCodesFromTheFileAreCheckedBeforeUse) {
  TDBManager m;
  ASSERT_EQ(load_error(m, one_table(100, 1, 0, 1, 4, 1, 1, 0), Form::Game), "<no error>");
  EXPECT_EQ(m.find("t")->get_int(0, 0), 5);
  const std::string before = state_of(m);
  struct Case {
    std::vector<std::uint8_t> bytes;
    const char* expected;
  } cases[] = {
      {one_table(99, 1, 0, 1, 4, 1, 1, 0), "version 99"},
      {one_table(100, INT_MAX, 0, 1, 4, 1, 1, 0), "DB table count"},
      {one_table(100, -1, 0, 1, 4, 1, 1, 0), "DB table count"},
      {one_table(100, 1, 1, 1, 4, 1, 1, 0), "class code 1"},
      {one_table(100, 1, 0, 0x10000000, 4, 1, 1, 0), "DB field count"},
      {one_table(100, 1, 0, 1, -4, 1, 1, 0), "size -4"},
      {one_table(100, 1, 0, 1, 2, 1, 1, 0), "size 2"},
      {one_table(100, 1, 0, 1, 0, 4, 1, 0), "size 0"},
      {one_table(100, 1, 0, 1, 4, 5, 1, 0), "unknown type 5"},
      {one_table(100, 1, 0, 1, 4, 0, 1, 0), "unknown type 0"},
      {one_table(100, 1, 0, 1, 4, 1, INT_MAX, 0), "2147483647 records"},
      {one_table(100, 1, 0, 1, 4, 1, -1, 0), "-1 records"},
      // The longest string field is 2^20 bytes of text and its zero byte.
      {one_table(100, 1, 0, 1, TDBTable::kMaxStringLength + 2, 4, 1, 0), "size 1048578"},
      {one_table(100, 1, 0, 1, TDBTable::kMaxRecordSize, 4, 256, 0), "size 16777216"},
      // A record count times size that overflows 32 bits: the product is
      // taken in 64.
      {one_table(100, 1, 0, 1, TDBTable::kMaxStringLength + 1, 4, 0x1000, 0), "4096 records"},
  };
  for (const Case& c : cases) {
    const std::string error = load_error(m, c.bytes, Form::Game);
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.expected << ": " << error;
    EXPECT_EQ(state_of(m), before) << c.expected;
  }
  // A current record out of range reads as none.
  for (std::int32_t current : {1, -2, INT_MIN}) {
    ASSERT_EQ(load_error(m, one_table(100, 1, 0, 1, 4, 1, 1, current), Form::Game), "<no error>");
    EXPECT_EQ(m.find("t")->current(), -1) << current;
  }
  ASSERT_EQ(load_error(m, one_table(100, 1, 0, 1, 4, 1, 1, 0), Form::Game), "<no error>");
  EXPECT_EQ(m.find("t")->current(), 0);
}

}  // namespace
}  // namespace nova::test
