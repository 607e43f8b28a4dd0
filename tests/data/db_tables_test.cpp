// The DB tables' harder edges: the stable sort with its float and
// character-code rules, copies of a table into itself, the size limits,
// cut writes, damaged records, odd float patterns, and the search index
// against a plain scan.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>

#include "core/error.h"
#include "core/sjis.h"
#include "data/db_manager.h"
#include "data/db_search.h"
#include "expr/params.h"
#include "support/test_support.h"

namespace nova::test {
namespace {

using data::DBFieldType;
using data::DBSortKey;
using data::TDBManager;
using data::TDBTable;
using Form = TDBManager::Form;

std::vector<std::uint8_t> saved(const TDBManager& m, Form form) {
  core::ByteWriter w;
  m.save(w, form);
  return w.take();
}

std::vector<std::string> column(const TDBTable& t, std::int32_t field) {
  std::vector<std::string> out;
  for (std::int32_t r = 0; r < t.record_count(); ++r) out.push_back(*t.get_str(r, field));
  return out;
}

// Ten bytes of an 80-bit float: mantissa (with its integer bit) and the
// sign and exponent word.
std::array<std::uint8_t, 10> extended(std::uint64_t mantissa, std::uint16_t sign_exponent) {
  std::array<std::uint8_t, 10> b{};
  for (int i = 0; i < 8; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(mantissa >> (8 * i));
  b[8] = static_cast<std::uint8_t>(sign_exponent);
  b[9] = static_cast<std::uint8_t>(sign_exponent >> 8);
  return b;
}

// A game block of one table "t" with the given fields (size, name, type)
// and raw record bytes.
struct RawField {
  std::int32_t size;
  std::string name;
  std::uint8_t type;
};
std::vector<std::uint8_t> raw_block(const std::vector<RawField>& fields, std::int32_t count,
                                    const std::vector<std::uint8_t>& records, std::uint8_t status_flag = 0,
                                    std::int32_t current = -1) {
  core::ByteWriter w;
  w.i32(100);
  w.i32(1);
  w.u8(0);
  w.str("t");
  w.u8(status_flag);
  w.i32(static_cast<std::int32_t>(fields.size()));
  for (const RawField& f : fields) {
    w.i32(f.size);
    w.str(f.name);
    w.u8(f.type);
  }
  w.i32(count);
  w.bytes(records);
  w.i32(current);
  w.str("t");
  return w.take();
}

TEST(DBSort, IsStableByEveryKeyAndKeepsTheCurrentNumber) {
  TDBManager m;
  TDBTable& t = m.create("t", false);
  t.add_field("group", DBFieldType::Integer);
  t.add_field("order", DBFieldType::Integer);
  t.add_field("on", DBFieldType::Flag);
  // Many equal keys: a stable sort keeps the table order among them.
  for (int i = 0; i < 500; ++i) {
    const std::int32_t r = t.append();
    t.set_int(r, 0, (i * 7) % 5);
    t.set_int(r, 1, i);
    t.set_flag(r, 2, i % 3 == 0);
  }
  t.set_current(17);
  const DBSortKey by_group[] = {{0, false}};
  t.sort(by_group);
  EXPECT_EQ(t.current(), 17);
  for (std::int32_t r = 1; r < t.record_count(); ++r) {
    const auto g0 = *t.get_int(r - 1, 0), g1 = *t.get_int(r, 0);
    ASSERT_LE(g0, g1) << r;
    if (g0 == g1) {
      ASSERT_LT(*t.get_int(r - 1, 1), *t.get_int(r, 1)) << "equal keys keep their order at " << r;
    }
  }
  // Descending reverses one key only: flags TRUE first, then group
  // ascending, ties still in table order.
  const DBSortKey flag_then_group[] = {{2, true}, {0, false}};
  t.sort(flag_then_group);
  for (std::int32_t r = 1; r < t.record_count(); ++r) {
    const auto f0 = *t.get_int(r - 1, 2), f1 = *t.get_int(r, 2);
    ASSERT_GE(f0, f1) << r;
    if (f0 != f1) continue;
    ASSERT_LE(*t.get_int(r - 1, 0), *t.get_int(r, 0)) << r;
    if (*t.get_int(r - 1, 0) == *t.get_int(r, 0)) {
      ASSERT_LT(*t.get_int(r - 1, 1), *t.get_int(r, 1)) << r;
    }
  }
  // A key of a field that does not exist changes nothing.
  const auto before = t.records();
  const DBSortKey missing[] = {{9, false}, {-1, true}};
  t.sort(missing);
  EXPECT_EQ(t.records(), before);
}

TEST(DBSort, FloatsOrderNegativeZeroWithZeroAndNaNAboveInfinity) {
  TDBManager m;
  TDBTable& t = m.create("t", false);
  t.add_field("x", DBFieldType::Float);
  t.add_field("id", DBFieldType::Integer);
  const long double inf = std::numeric_limits<long double>::infinity();
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  const std::vector<long double> values = {nan, 1.0L, -0.0L, inf, 0.0L, -inf, -nan, 0.5L, nan};
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::int32_t r = t.append();
    t.set_float(r, 0, values[i]);
    t.set_int(r, 1, static_cast<std::int32_t>(i));
  }
  // An unnormal pattern (exponent set, integer bit clear) is a NaN too.
  const std::int32_t odd = t.append();
  t.set_int(odd, 1, 99);
  ASSERT_TRUE(std::isnan(core::extended_from_bytes(extended(0x4000000000000000ull, 0x3FFF).data())));
  const DBSortKey ascending[] = {{0, false}};
  // Writing raw bytes: through a block, which keeps them as they are.
  {
    core::ByteWriter w;
    m.save(w, Form::Game);
    std::vector<std::uint8_t> bytes = w.take();
    const auto pattern = extended(0x4000000000000000ull, 0x3FFF);
    // The last record's float starts 14 bytes before its end (10 + 4).
    const std::size_t end_of_records = bytes.size() - 4 - (4 + 1);  // current, active name "t"
    std::memcpy(bytes.data() + end_of_records - 14, pattern.data(), pattern.size());
    core::ByteReader r(bytes);
    m.load(r, Form::Game);
  }
  TDBTable& u = *m.find("t");
  ASSERT_EQ(*u.get_str(9, 0), "NAN");
  u.sort(ascending);
  std::vector<std::int32_t> ids;
  for (std::int32_t r = 0; r < u.record_count(); ++r) ids.push_back(*u.get_int(r, 1));
  // -inf, then -0 and +0 as equals in table order, 0.5, 1, +inf, then every
  // NaN in table order.
  EXPECT_EQ(ids, (std::vector<std::int32_t>{5, 2, 4, 7, 1, 3, 0, 6, 8, 99}));
  // The odd pattern's raw bytes survive the sort and a save.
  const auto cell = u.record(9).subspan(0, 10);
  EXPECT_EQ(std::vector<std::uint8_t>(cell.begin(), cell.end()),
            (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F}));
  const DBSortKey descending[] = {{0, true}};
  u.sort(descending);
  ids.clear();
  for (std::int32_t r = 0; r < u.record_count(); ++r) ids.push_back(*u.get_int(r, 1));
  EXPECT_EQ(ids, (std::vector<std::int32_t>{0, 6, 8, 99, 3, 1, 7, 2, 4, 5}));
}

TEST(DBSort, StringsCompareByCharacterCodeNotByByte) {
  TDBManager m;
  TDBTable& t = m.create("t", false);
  t.add_field("s", DBFieldType::String, 8);
  // Half-width katakana "ｱ" is the single byte 0xB1; "ア" is 0x83 0x41. By
  // bytes 0xB1 sorts after 0x83, by character code 0x00B1 before 0x8341.
  const std::string half = sjis("ｱ"), full = sjis("ア");
  ASSERT_EQ(half, "\xB1");
  for (const std::string& s : {full, std::string("b"), half, std::string("B"), std::string("a") + full,
                               std::string("a") + half, std::string("a")}) {
    t.set_str(t.append(), 0, s);
  }
  const DBSortKey key[] = {{0, false}};
  t.sort(key);
  EXPECT_EQ(column(t, 0), (std::vector<std::string>{"B", "a", "a" + half, "a" + full, "b", half, full}));
  EXPECT_LT(data::compare_by_code(half, full), 0);
  EXPECT_GT(data::compare_by_code(full, half), 0);
  EXPECT_EQ(data::compare_by_code(full, full), 0);
  EXPECT_LT(data::compare_by_code("ab", "abc"), 0);
}

TEST(DBTable, WritesAreCutAtACharacterAndTheRestOfTheFieldIsZeroed) {
  TDBManager m;
  TDBTable& t = m.create("t", false);
  t.add_field("s", DBFieldType::String, 3);
  const std::int32_t r = t.append();
  t.set_str(r, 0, "abc");
  t.set_str(r, 0, sjis("あい"));
  EXPECT_EQ(*t.get_str(r, 0), sjis("あ")) << "no lone lead byte at the cut";
  const auto bytes = t.record(r);
  EXPECT_EQ(bytes[2], 0);
  EXPECT_EQ(bytes[3], 0);
  t.set_str(r, 0, "a" + sjis("あ"));
  EXPECT_EQ(*t.get_str(r, 0), "a" + sjis("あ"));
  t.set_str(r, 0, "ab" + sjis("あ"));
  EXPECT_EQ(*t.get_str(r, 0), "ab");
  EXPECT_EQ(data::cut_text(sjis("ソ") + "n", 2), sjis("ソ"));
  // Equal texts written over different ones give equal records.
  const std::int32_t r2 = t.append();
  t.set_str(r2, 0, "xy");
  t.set_str(r, 0, "xy");
  EXPECT_TRUE(std::ranges::equal(t.record(r), t.record(r2)));
}

TEST(DBManager, RecordsAreCheckedAndForcedToTheirForm) {
  // A string field of length 3 holding four bytes without a zero ends at
  // its field; a flag byte of 7 reads TRUE; the status flag of a game block
  // is forced to 0.
  std::vector<std::uint8_t> rec = {'a', 'b', 'c', 'd', 7};
  TDBManager m;
  const auto block = raw_block({{4, "s", 4}, {1, "b", 3}}, 1, rec, 1, 0);
  core::ByteReader r(block);
  m.load(r, Form::Game);
  const TDBTable& t = *m.find("t");
  EXPECT_FALSE(t.is_status()) << "a game block holds game tables";
  EXPECT_EQ(*t.get_str(0, 0), "abcd");
  EXPECT_EQ(*t.get_flag(0, 1), true);
  EXPECT_EQ(*t.get_int(0, 1), 1);
  // Saved again, the raw bytes stay (the flag too); the status form has no
  // table.
  const auto game = saved(m, Form::Game);
  EXPECT_NE(std::search(game.begin(), game.end(), rec.begin(), rec.end()), game.end());
  EXPECT_EQ(saved(m, Form::Status), saved(TDBManager(), Form::Status));
  // A status block's table is a status table whatever its flag says, and
  // loading the game block again does not take it away.
  const auto status_block = raw_block({{4, "i", 1}}, 0, {}, 0);
  core::ByteReader s(status_block);
  m.load(s, Form::Status);
  EXPECT_EQ(m.tables().size(), 2u);
  EXPECT_TRUE(m.tables()[1]->is_status());
  core::ByteReader again(game);
  m.load(again, Form::Game);
  EXPECT_EQ(m.tables().size(), 2u);

  // Every pattern of a float field decodes without trapping: unnormals,
  // pseudo-infinities and pseudo-NaNs read NaN.
  for (auto [mantissa, se] : {std::pair{0x0000000000000001ull, 0x0001}, {0ull, 0x7FFF}, {0x4000000000000000ull, 0xFFFF},
                              {0x1234ull, 0x4000}, {0x8000000000000001ull, 0x0000}}) {
    const auto b = extended(mantissa, static_cast<std::uint16_t>(se));
    TDBManager f;
    const auto float_block = raw_block({{10, "x", 2}}, 1, std::vector<std::uint8_t>(b.begin(), b.end()));
    core::ByteReader fr(float_block);
    f.load(fr, Form::Game);
    TDBTable& ft = *f.find("t");
    const long double v = *ft.get_float(0, 0);
    if (se != 0) {
      EXPECT_TRUE(std::isnan(v)) << std::hex << mantissa << " " << se;
    }
    (void)ft.get_int(0, 0);
    (void)ft.get_str(0, 0);
    const DBSortKey key[] = {{0, false}};
    ft.sort(key);
    const auto cell = ft.record(0);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), cell.begin())) << "the raw bytes stay";
  }
}

TEST(DBTable, LimitsOfLengthRecordAndTable) {
  TDBManager m;
  TDBTable& t = m.create("t", false);
  EXPECT_TRUE(t.can_add_field(DBFieldType::String, TDBTable::kMaxStringLength));
  EXPECT_FALSE(t.can_add_field(DBFieldType::String, TDBTable::kMaxStringLength + 1));
  EXPECT_TRUE(t.can_add_field(DBFieldType::String, -5)) << "a negative length counts as 0";
  // Fifteen strings of 2^20 bytes fit a record of 2^24; the sixteenth does
  // not (each takes one byte more for its zero).
  for (int i = 0; i < 15; ++i) t.add_field("s" + std::to_string(i), DBFieldType::String, TDBTable::kMaxStringLength);
  EXPECT_FALSE(t.can_add_field(DBFieldType::String, TDBTable::kMaxStringLength));
  EXPECT_THROW(t.add_field("s15", DBFieldType::String, TDBTable::kMaxStringLength), core::Error);
  EXPECT_TRUE(t.can_add_field(DBFieldType::Integer, 0));
  // At about 15 MiB a record, 17 fit in 256 MiB and 18 do not.
  EXPECT_TRUE(t.can_add(17));
  EXPECT_FALSE(t.can_add(18));
  EXPECT_FALSE(t.can_add(-1));

  // Records of one byte: at most 2^24 of them.
  TDBTable& small = m.create("small", false);
  small.add_field("b", DBFieldType::Flag);
  EXPECT_TRUE(small.can_add(TDBTable::kMaxRecords));
  EXPECT_FALSE(small.can_add(TDBTable::kMaxRecords + 1));
}

// The DB functions on a table that is full: a table of no fields (whose
// records take no bytes) loaded with 2^24 records.
class FullTable : public ::testing::Test {
 protected:
  FullTable() {
    const auto block = raw_block({}, TDBTable::kMaxRecords, {}, 0, 5);
    core::ByteReader r(block);
    m.load(r, Form::Game);
  }
  TDBManager m;
};

TEST_F(FullTable, AcceptsNoMoreRecords) {
  TDBTable& t = *m.find("t");
  ASSERT_EQ(t.record_count(), TDBTable::kMaxRecords);
  EXPECT_FALSE(t.can_add(1));
  EXPECT_THROW(t.append(), core::Error);
  EXPECT_THROW(t.append_raw({}), core::Error);
  EXPECT_EQ(t.record_count(), TDBTable::kMaxRecords);
  EXPECT_EQ(t.current(), 5);
  // A stored table of more records than that is damaged, although its
  // records take no bytes.
  const auto block = raw_block({}, TDBTable::kMaxRecords + 1, {});
  core::ByteReader r(block);
  EXPECT_THROW(m.load(r, Form::Game), core::Error);
  EXPECT_EQ(m.find("t")->record_count(), TDBTable::kMaxRecords) << "and changes nothing";
}

// --- Searching ------------------------------------------------------------------------

std::unique_ptr<expr::TCustomParam> strings(std::initializer_list<std::string> v) {
  auto p = std::make_unique<expr::TParamStr>();
  p->set_count(static_cast<std::int32_t>(v.size()));
  std::int32_t i = 0;
  for (const std::string& s : v) p->set_str_at(i++, s);
  return p;
}

std::vector<std::int32_t> find(const TDBTable& t, const expr::TCustomParam& names, const expr::TCustomParam& values,
                               bool ci, bool partial) {
  return data::find_records(t, {&names, &values, ci, partial}, data::DBFindMode::All);
}

TEST(DBSearch, FoldingAndPartialMatchesRespectCharacters) {
  TDBManager m;
  TDBTable& t = m.create("t", false);
  t.add_field("s", DBFieldType::String, 20);
  for (const std::string& s : {sjis("ａｂｃ"), std::string("A"), sjis("Ａ"), std::string("abc"), std::string("")}) {
    t.set_str(t.append(), 0, s);
  }
  const auto name = strings({"S"});
  EXPECT_EQ(find(t, *name, *strings({sjis("ＡＢＣ")}), true, false), (std::vector<std::int32_t>{0}))
      << "full-width letters fold";
  EXPECT_EQ(find(t, *name, *strings({sjis("ＡＢＣ")}), false, false), (std::vector<std::int32_t>{}));
  EXPECT_EQ(find(t, *name, *strings({"ABC"}), true, false), (std::vector<std::int32_t>{3}))
      << "ASCII and full-width letters are different characters";
  // "ア" is 0x83 0x41: the record "A" (0x41) is not found at its trail byte.
  EXPECT_EQ(find(t, *name, *strings({sjis("ア")}), false, true), (std::vector<std::int32_t>{}));
  EXPECT_EQ(find(t, *name, *strings({"xA" + sjis("ア")}), false, true), (std::vector<std::int32_t>{1}));
  EXPECT_EQ(find(t, *name, *strings({sjis("ｘａｂｃｄ")}), true, true), (std::vector<std::int32_t>{0, 2}))
      << "partial and case-insensitive: both folded";
  EXPECT_EQ(find(t, *name, *strings({sjis("ｘａｂｃｄ")}), false, true), (std::vector<std::int32_t>{0}));
  EXPECT_EQ(find(t, *name, *strings({"zabcz"}), true, true), (std::vector<std::int32_t>{1, 3}))
      << "an empty record text never matches";
  // A criterion naming no field matches nothing, wherever it stands.
  EXPECT_EQ(find(t, *strings({"S", "none"}), *strings({"A", "A"}), false, false), (std::vector<std::int32_t>{}));
  EXPECT_EQ(find(t, *strings({"none"}), *strings({"A"}), false, false), (std::vector<std::int32_t>{}));
}

// The rules of a search written plainly, record by record, as the
// reference the index must agree with.
std::vector<std::int32_t> reference(const TDBTable& t, const std::vector<std::string>& names,
                                    const expr::TCustomParam& values, bool ci, bool partial) {
  std::vector<std::int32_t> out;
  for (std::int32_t r = 0; r < t.record_count(); ++r) {
    bool all = true;
    for (std::size_t i = 0; i < names.size() && all; ++i) {
      const std::int32_t f = t.field_index(names[i]);
      if (f < 0) return {};
      const auto k = static_cast<std::int32_t>(i);
      switch (values.type()) {
        case expr::PT_INT: all = *t.get_int(r, f) == values.int_at(k); break;
        case expr::PT_FLOAT: all = *t.get_float(r, f) == values.float_at(k); break;
        case expr::PT_BOOL: all = *t.get_flag(r, f) == values.flag_at(k); break;
        default: {
          std::string text = *t.get_str(r, f), want = values.str_at(k);
          if (ci) {
            text = core::upper(text);
            want = core::upper(want);
          }
          if (!partial) {
            all = text == want;
          } else {
            bool at_char = false;
            for (std::size_t p = 0; !text.empty() && p + text.size() <= want.size(); p += core::char_length(want, p)) {
              at_char = at_char || want.compare(p, text.size(), text) == 0;
            }
            all = at_char;
          }
        }
      }
    }
    if (all) out.push_back(r);
  }
  return out;
}

TEST(DBSearch, TheIndexAnswersAsTheScanThroughRandomChanges) {
  std::mt19937 rng(1234);
  TDBManager m;
  TDBTable& t = m.create("t", false);
  t.add_field("i", DBFieldType::Integer);
  t.add_field("s", DBFieldType::String, 6);
  t.add_field("f", DBFieldType::Float);
  t.add_field("b", DBFieldType::Flag);
  const std::vector<std::string> words = {"a", "A", "b", "ab", sjis("ａ"), sjis("Ａ"), "", "12", sjis("ソ")};
  auto random_word = [&] { return words[rng() % words.size()]; };
  auto fill = [&](std::int32_t r) {
    t.set_int(r, 0, static_cast<std::int32_t>(rng() % 6) - 2);
    t.set_str(r, 1, random_word());
    const long double floats[] = {0.0L, -0.0L, 1.5L, std::numeric_limits<long double>::quiet_NaN(), 12.0L};
    t.set_float(r, 2, floats[rng() % 5]);
    t.set_flag(r, 3, rng() % 2 != 0);
  };
  for (int i = 0; i < 60; ++i) fill(t.append());
  int indexed = 0;
  for (int round = 0; round < 400; ++round) {
    // A change now and then: the next search must not use a stale index.
    switch (rng() % 8) {
      case 0:
        if (t.record_count() > 0) fill(static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(t.record_count())));
        break;
      case 1: fill(t.append()); break;
      case 2:
        if (t.record_count() > 0) {
          t.delete_record(static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(t.record_count())));
        }
        break;
      case 3: {
        const DBSortKey key[] = {{static_cast<std::int32_t>(rng() % 4), rng() % 2 != 0}};
        t.sort(key);
        break;
      }
      default: break;
    }
    const std::string field_names[] = {"i", "S", "f", "B", "s"};
    std::vector<std::string> names = {field_names[rng() % 5]};
    if (rng() % 3 == 0) names.push_back(field_names[rng() % 5]);
    auto name_param = std::make_unique<expr::TParamStr>();
    name_param->set_count(static_cast<std::int32_t>(names.size()));
    for (std::size_t k = 0; k < names.size(); ++k) name_param->set_str_at(static_cast<std::int32_t>(k), names[k]);
    std::unique_ptr<expr::TCustomParam> values;
    switch (rng() % 4) {
      case 0: values = std::make_unique<expr::TParamInt>(); break;
      case 1: values = std::make_unique<expr::TParamFloat>(); break;
      case 2: values = std::make_unique<expr::TParamFlag>(); break;
      default: values = std::make_unique<expr::TParamStr>(); break;
    }
    values->set_count(static_cast<std::int32_t>(names.size()));
    for (std::int32_t k = 0; k < values->count(); ++k) {
      switch (values->type()) {
        case expr::PT_INT: values->set_int_at(k, static_cast<std::int32_t>(rng() % 6) - 2); break;
        case expr::PT_FLOAT: values->set_float_at(k, rng() % 2 ? 1.5L : -0.0L); break;
        case expr::PT_BOOL: values->set_flag_at(k, rng() % 2 != 0); break;
        default: values->set_str_at(k, random_word()); break;
      }
    }
    const bool ci = rng() % 2 != 0, partial = rng() % 4 == 0;
    const auto expected = reference(t, names, *values, ci, partial);
    // The same search three times: scan, build, look up.
    for (int repeat = 0; repeat < 3; ++repeat) {
      ASSERT_EQ(find(t, *name_param, *values, ci, partial), expected) << "round " << round << " repeat " << repeat;
      const auto first = data::find_records(t, {name_param.get(), values.get(), ci, partial}, data::DBFindMode::First);
      ASSERT_EQ(first, expected.empty() ? std::vector<std::int32_t>{} : std::vector<std::int32_t>{expected.front()});
      ASSERT_EQ(data::find_first(t, {name_param.get(), values.get(), ci, partial}),
                expected.empty() ? -1 : expected.front());
    }
    if (t.search_cache().built) ++indexed;
  }
  EXPECT_GT(indexed, 100) << "the repeated exact searches use the index";
}

TEST(DBSearch, TheIndexIsBuiltOnTheSecondSearchAndDroppedAtAChange) {
  TDBManager m;
  TDBTable& t = m.create("t", false);
  t.add_field("s", DBFieldType::String, 6);
  for (const char* s : {"x", "y", "X"}) t.set_str(t.append(), 0, s);
  const auto names = strings({"s"});
  const auto values = strings({"x"});
  EXPECT_EQ(find(t, *names, *values, true, false), (std::vector<std::int32_t>{0, 2}));
  EXPECT_FALSE(t.search_cache().built) << "the first search scans";
  EXPECT_EQ(find(t, *names, *values, true, false), (std::vector<std::int32_t>{0, 2}));
  EXPECT_TRUE(t.search_cache().built);
  EXPECT_EQ(t.search_cache().records.size(), 3u) << "every record has a key";
  // Another case flag is another search: it scans and keeps the index.
  EXPECT_EQ(find(t, *names, *values, false, false), (std::vector<std::int32_t>{0}));
  EXPECT_TRUE(t.search_cache().built);
  t.set_str(1, 0, "x");
  EXPECT_FALSE(t.search_cache().built) << "a change drops the index";
  EXPECT_EQ(find(t, *names, *values, true, false), (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_EQ(find(t, *names, *values, true, false), (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_TRUE(t.search_cache().built);
  // Partial searches never build one.
  TDBTable& u = m.create("u", false);
  u.add_field("s", DBFieldType::String, 6);
  u.set_str(u.append(), 0, "x");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(find(u, *names, *strings({"axb"}), false, true), (std::vector<std::int32_t>{0}));
  EXPECT_FALSE(u.search_cache().built);
}

}  // namespace
}  // namespace nova::test
