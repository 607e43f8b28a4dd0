// The variable store: lookup and scopes, lifetimes, push and pop, the saved
// variable blocks, and the system variable slots.
#include <gtest/gtest.h>

#include <map>

#include "core/error.h"
#include "expr/nova_parser.h"
#include "expr/param_collection.h"
#include "expr_test_util.h"
#include "support/test_support.h"

namespace nova::expr {
namespace {

using test::sjis;

TEST(Store, HashOfNameAndSystemVariablesAtTheHead) {
  EXPECT_EQ(TParamCollection::hash_of_name("a"), 16);
  EXPECT_EQ(TParamCollection::hash_of_name("ab"), (32 + 97 + 97) % 256);
  EXPECT_EQ(TParamCollection::hash_of_name("AB"), TParamCollection::hash_of_name("ab"));
  EXPECT_EQ(TParamCollection::hash_of_name(sjis("ＡB")), TParamCollection::hash_of_name(sjis("ａb")));
  TParamCollection s;
  ASSERT_EQ(s.size(), 51u);
  auto items = s.items();
  EXPECT_EQ(items[0]->name(), "@Result");
  EXPECT_EQ(items[35]->name(), "@KeyPush");
  EXPECT_EQ(items[50]->name(), "@StackCount");
  EXPECT_EQ(s.find("@mousex"), items[5]);
  EXPECT_TRUE(items[5]->is_system());
  EXPECT_EQ(items[5]->type(), PT_INT);
}

TEST(Store, LocalsShadowAndAutoDeleteVariablesAreSeenDeeper) {
  TParamCollection s;
  TParamCollectionItem& global = make(s, "x", PT_INT, TVarScope::Global);
  s.set_call_depth(1);
  TParamCollectionItem& local = make(s, "X", PT_STR, TVarScope::Local);
  TParamCollectionItem& autodel = make(s, "y", PT_INT, TVarScope::AutoDelete);
  EXPECT_EQ(s.find("x"), &local);
  EXPECT_EQ(s.find_for_creation("x", false), &global);
  s.set_call_depth(2);
  EXPECT_EQ(s.find("x"), &global);  // a deeper call does not see the local
  EXPECT_EQ(s.find("y"), &autodel);
  s.delete_frame(2);
  s.set_call_depth(1);
  EXPECT_EQ(s.find("x"), &local);
  s.delete_frame(1);  // the call returns
  s.set_call_depth(0);
  EXPECT_EQ(s.find("x"), &global);
  EXPECT_EQ(s.find("y"), nullptr);
  EXPECT_EQ(s.size(), 52u);
}

TEST(Store, CreationChecksNamesAndKeepsStatusVariables) {
  TParamCollection s;
  EXPECT_EQ(error_of([&] { make(s, "", PT_INT, TVarScope::Global); }), "変数名がありません");
  EXPECT_EQ(error_of([&] { make(s, "a b", PT_INT, TVarScope::Global); }), "\"a b\"：変数名が不正です");
  EXPECT_EQ(error_of([&] { make(s, "1a", PT_INT, TVarScope::Global); }), "\"1a\"：変数名が不正です");
  TSysFuncMan funcs;
  auto init = compile_expression("5 * 3");
  var_new(s, funcs, "st", PT_INT, TVarScope::Status, init);
  EXPECT_EQ(s.find("st")->value().as_int(), 15);
  EXPECT_TRUE(s.find("st")->is_status());
  auto other = compile_expression("99");
  var_new(s, funcs, "st", PT_INT, TVarScope::Status, other);
  EXPECT_EQ(s.find("st")->value().as_int(), 15);  // a status variable keeps its value
  // An existing global of another type converts the initial value to its own.
  var_new(s, funcs, "g", PT_STR, TVarScope::Global, init);
  auto flt = compile_expression("2.5");
  var_new(s, funcs, "g", PT_FLOAT, TVarScope::Global, flt);
  EXPECT_EQ(s.find("g")->type(), PT_STR);
  EXPECT_EQ(s.find("g")->value().as_str(), "2.5");
  s.reset();
  EXPECT_EQ(s.find("g"), nullptr);
  EXPECT_NE(s.find("st"), nullptr);
  EXPECT_EQ(s.size(), 52u);
}

TEST(Store, DetachedCopyAndFrameShift) {
  TParamCollection s;
  TParamCollectionItem& a = make(s, "a", PT_INT, TVarScope::Global);
  a.value().set_int(4);
  auto copy = s.detached_copy("A");
  a.value().set_int(5);
  EXPECT_EQ(copy->as_int(), 4);
  EXPECT_EQ(s.detached_copy("none"), nullptr);
  s.add(PT_NONE, "ref");
  EXPECT_EQ(error_of([&] { s.detached_copy("ref"); }), "ref:不正な変数です");
  s.set_call_depth(3);
  TParamCollectionItem& l = make(s, "l", PT_INT, TVarScope::Local);
  s.shift_frames_above(1);
  EXPECT_EQ(l.frame_id(), 2);
  EXPECT_EQ(s.find("l"), nullptr);
  s.set_call_depth(2);
  EXPECT_EQ(s.find("l"), &l);
}

TEST(Store, PushSkipsMissingNamesAndPopRecreatesDeletedOnes) {
  TParamCollection s;
  make(s, "a", PT_INT, TVarScope::Global).value().set_int(1);
  TParamCollectionItem& b = make(s, "b", PT_STR, TVarScope::Global);
  std::int32_t dims[] = {2};
  b.value().set_dims(dims);
  b.value().set_str_at(1, "two");
  std::vector<std::string> names = {"a", "missing", "b"};
  s.push(names);
  EXPECT_EQ(s.pushed_count(), 1u);
  s.find("a")->value().set_int(100);
  s.remove("b");
  make(s, "a", PT_INT, TVarScope::Global);
  s.pop();
  EXPECT_EQ(s.pushed_count(), 0u);
  EXPECT_EQ(s.find("a")->value().as_int(), 1);
  ASSERT_NE(s.find("b"), nullptr);
  EXPECT_EQ(s.find("b")->value().str_at(1), "two");
  EXPECT_EQ(s.find("missing"), nullptr);
  // A variable whose type changed since is replaced by one of the pushed type.
  s.push(names);
  s.remove("a");
  make(s, "a", PT_STR, TVarScope::Global).value().set_str("x");
  s.pop();
  EXPECT_EQ(s.find("a")->type(), PT_INT);
  EXPECT_EQ(s.find("a")->value().as_int(), 1);
  s.pop();  // nothing pushed: nothing happens
}

// Everything a variable record carries, for comparing stores.
std::map<std::string, std::string> describe(const TParamCollection& s) {
  std::map<std::string, std::string> out;
  for (const TParamCollectionItem* it : s.items()) {
    if (it->is_system()) continue;
    core::ByteWriter w;
    it->value().save(w);
    std::string text = std::to_string(it->class_code()) + "/" + std::to_string(it->is_status()) + "/" +
                       std::to_string(it->frame_id()) + "/" + std::to_string(it->is_local()) + "/" + w.take_string();
    out[it->name()] = text;
  }
  return out;
}

TEST(Store, GameVariablesLoadBackIntoAnEqualStore) {
  TParamCollection s;
  make(s, "i", PT_INT, TVarScope::Global).value().set_int(-3);
  TParamCollectionItem& arr = make(s, "arr", PT_FLOAT, TVarScope::Global);
  std::int32_t dims[] = {2, 3};
  arr.value().set_dims(dims);
  arr.value().set_float_at(5, 0.125L);
  s.set_call_depth(1);
  make(s, "loc", PT_STR, TVarScope::Local).value().set_str(sjis("漢字"));
  make(s, "auto", PT_BOOL, TVarScope::AutoDelete).value().set_flag(true);
  s.set_call_depth(0);
  make(s, "keep", PT_INT, TVarScope::Status).value().set_int(9);
  // Saving visits the newest first: the alias has to wait for its array.
  TParamCollection t;
  TParamCollectionItem& late = make(s, "late", PT_INT, TVarScope::Global);
  TParamCollectionItem& alias = s.add(PT_NONE, "al");
  std::int32_t three[] = {3};
  late.value().set_dims(three);
  late.value().set_int_at(2, 77);
  alias.value().as_reference()->bind_element(&late, 2);
  s.set_text_delay(20);
  s.set_cursor_text("cur");
  s.set_selected_string("sel");
  s.set_selected_index(4);
  s.set_temp_name("i");
  std::vector<std::string> names = {"i"};
  s.push(names);

  core::ByteWriter w;
  s.save_game_variables(w);
  make(t, "gone", PT_INT, TVarScope::Global);
  make(t, "stay", PT_INT, TVarScope::Status);
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  t.load_game_variables(r, 140);
  EXPECT_TRUE(r.at_end());
  EXPECT_EQ(t.find("gone"), nullptr);
  ASSERT_NE(t.find("stay"), nullptr);
  t.remove(*t.find("stay"));
  auto expected = describe(s);
  expected.erase("keep");
  EXPECT_EQ(describe(t), expected);
  EXPECT_EQ(t.find("al")->value().as_int(), 77);
  EXPECT_EQ(t.find("al")->value().as_reference()->bound(), t.find("late"));
  EXPECT_EQ(t.text_delay(), 20);
  EXPECT_EQ(t.cursor_text(), "cur");
  EXPECT_EQ(t.selected_string(), "sel");
  EXPECT_EQ(t.selected_index(), 4);
  EXPECT_EQ(t.temp_name(), "i");
  EXPECT_EQ(t.pushed_count(), 1u);
  // Saving visits the newest first and loading makes the items in the
  // reverse of the block's order, so a loaded store writes the very block
  // it came from, cycle after cycle (a game saved, loaded and saved again
  // gives the same bytes), the alias still after its array.
  core::ByteWriter w2;
  t.save_game_variables(w2);
  core::ByteWriter w3;
  TParamCollection u;
  core::ByteReader r2(std::span<const std::uint8_t>(w2.data()));
  u.load_game_variables(r2, 140);
  u.save_game_variables(w3);
  EXPECT_EQ(w2.data(), w.data());
  EXPECT_EQ(w3.data(), w.data());
  EXPECT_EQ(u.find("al")->value().as_reference()->bound(), u.find("late"));

  core::ByteWriter sw;
  s.save_status_variables(sw);
  TParamCollection v;
  core::ByteReader sr(std::span<const std::uint8_t>(sw.data()));
  v.load_status_variables(sr);
  ASSERT_NE(v.find("keep"), nullptr);
  EXPECT_EQ(v.find("keep")->value().as_int(), 9);
  EXPECT_TRUE(v.find("keep")->is_status());
  EXPECT_EQ(v.find("i"), nullptr);
}

TEST(Store, OlderVersionsReadOnlyTheirFields) {
  // Version 110: no selection, no history settings, no @Temp name, no stack.
  core::ByteWriter w;
  w.i32(1);
  w.u8(PT_INT);
  w.str("v");
  TParamInt(6).save(w);
  w.u8(0), w.u8(0), w.i32(-1), w.u8(0);
  w.i32(30);
  w.str("c");
  w.str("sel");  // belongs to 103 and above
  w.i32(8);
  TParamCollection s;
  s.set_selected_string("old");
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  s.load_game_variables(r, 102);
  EXPECT_EQ(s.find("v")->value().as_int(), 6);
  EXPECT_EQ(s.text_delay(), 30);
  EXPECT_EQ(s.selected_string(), "");
  EXPECT_EQ(r.remaining(), 4u + 3u + 4u);

  // Version 130: six history settings between the selection and @Temp.
  core::ByteWriter h;
  h.i32(0);
  h.i32(50);
  h.str("");
  h.str("s");
  h.i32(2);
  for (int i = 1; i <= 6; ++i) h.i32(i * 10);
  h.str("tmp");
  std::vector<std::int32_t> seen;
  core::ByteReader hr(std::span<const std::uint8_t>(h.data()));
  s.load_game_variables(hr, 130, [&](core::ByteReader& in) {
    for (int i = 0; i < 6; ++i) seen.push_back(in.i32());
  });
  EXPECT_EQ(seen, (std::vector<std::int32_t>{10, 20, 30, 40, 50, 60}));
  EXPECT_EQ(s.temp_name(), "tmp");
  EXPECT_TRUE(hr.at_end());
  EXPECT_EQ(s.find("v"), nullptr);
  // Without a hook they are read and dropped.
  core::ByteReader hr2(std::span<const std::uint8_t>(h.data()));
  s.load_game_variables(hr2, 130);
  EXPECT_TRUE(hr2.at_end());
}

TEST(Store, DamagedBlocksAreRefusedAndChangeNothing) {
  TParamCollection s;
  make(s, "kept", PT_INT, TVarScope::Global).value().set_int(1);
  core::ByteWriter w;
  w.i32(1000000);  // more records than bytes
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  EXPECT_THROW(s.load_game_variables(r, 140), core::Error);
  EXPECT_EQ(s.find("kept")->value().as_int(), 1);

  core::ByteWriter t;  // a good record, then a truncated tail
  t.i32(1);
  t.u8(PT_STR);
  t.str("x");
  TParamStr("v").save(t);
  t.u8(0), t.u8(0), t.i32(-1), t.u8(0);
  t.i32(50);
  core::ByteReader tr(std::span<const std::uint8_t>(t.data()));
  EXPECT_THROW(s.load_game_variables(tr, 140), core::Error);
  EXPECT_EQ(s.find("x"), nullptr);
  EXPECT_NE(s.find("kept"), nullptr);

  core::ByteWriter bad_type;
  bad_type.i32(1);
  bad_type.u8(9);
  for (int i = 0; i < 40; ++i) bad_type.u8(0);
  core::ByteReader br(std::span<const std::uint8_t>(bad_type.data()));
  EXPECT_THROW(s.load_status_variables(br), core::Error);
}

// A provider with plain storage, recording what reaches it.
class FakeSystemVariables : public TSystemVariableProvider {
 public:
  TCustomParam* referred(int index) override { return index == SV_TEMP ? temp : nullptr; }
  std::int32_t count(int) override { return 3; }
  void read(int index, std::int32_t element, TSysValue& out) override {
    out = values[index];
    if (index == SV_PARAMSTR) out.s = element < 0 ? "" : "p" + std::to_string(element);
  }
  void write(int index, std::int32_t, const TSysValue& in) override {
    values[index] = in;
    ++writes;
  }
  std::map<int, TSysValue> values;
  TCustomParam* temp = nullptr;
  int writes = 0;
};

TEST(SystemVariables, FailWithoutAProviderAndConvertWithOne) {
  TParamCollection s;
  TCustomParam& mouse = s.find("@MouseX")->value();
  EXPECT_EQ(mouse.type(), PT_INT);
  EXPECT_THROW(mouse.as_int(), core::Error);
  EXPECT_THROW(mouse.set_int(3), core::Error);

  FakeSystemVariables p;
  s.set_system_variables(&p);
  p.values[5].i = 12;
  EXPECT_EQ(mouse.as_str(), "12");
  mouse.set_str("40");
  EXPECT_EQ(p.values[5].i, 40);
  mouse.set_str("abc");  // ignored, not 0
  EXPECT_EQ(p.values[5].i, 40);
  mouse.set_float(7.9L);
  EXPECT_EQ(p.values[5].i, 7);

  TCustomParam& click = s.find("@LClick")->value();
  click.set_str("TRUE");  // parsed as an integer: FALSE
  EXPECT_FALSE(p.values[1].b);
  click.set_str("2");
  EXPECT_TRUE(p.values[1].b);
  TCustomParam& cursor = s.find("@Cursor")->value();
  cursor.set_flag(true);
  EXPECT_EQ(p.values[27].s, "TRUE");

  int writes = p.writes;
  s.find("@LPush")->value().set_flag(true);  // read-only: ignored
  s.find("@Pi")->value().set_float(3);
  EXPECT_EQ(p.writes, writes);

  TCustomParam& params = s.find("@ParamStr")->value();
  EXPECT_EQ(params.str_at(1), "p1");
  EXPECT_EQ(params.as_str(), "");
  EXPECT_EQ(params.count(), 3);
  EXPECT_EQ(s.find("@ScrWidth")->value().int_at(7), 0);  // a scalar ignores the index

  TCustomParam& temp = s.find("@Temp")->value();
  EXPECT_EQ(temp.type(), PT_NONE);
  EXPECT_EQ(temp.as_int(), 0);
  EXPECT_EQ(temp.as_str(), "");
  TParamStr target("abc");
  p.temp = &target;
  EXPECT_EQ(temp.type(), PT_STR);
  temp.set_int(5);
  EXPECT_EQ(target.as_str(), "5");
  std::int32_t dims[] = {4};
  temp.set_dims(dims);
  EXPECT_EQ(target.count(), 4);
}

}  // namespace
}  // namespace nova::expr

namespace nova::expr {
namespace {

TEST(Store, AnAliasOfAVariableOutsideTheBlockDoesNotWaitForever) {
  TParamCollection s;
  TParamCollectionItem& st = make(s, "st", PT_INT, TVarScope::Status);
  std::int32_t dims[] = {2};
  st.value().set_dims(dims);
  st.value().set_int_at(1, 3);
  TParamCollectionItem& alias = s.add(PT_NONE, "al");
  alias.value().as_reference()->bind_element(&st, 1);
  make(s, "g", PT_INT, TVarScope::Global);
  core::ByteWriter w;
  s.save_game_variables(w);  // "st" is not in the game block; "al" is written anyway
  TParamCollection t;
  make(t, "st", PT_INT, TVarScope::Status).value().set_dims(dims);
  t.find("st")->value().set_int_at(1, 8);
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  t.load_game_variables(r, 140);
  ASSERT_NE(t.find("al"), nullptr);
  EXPECT_EQ(t.find("al")->class_code(), PT_NONE);
  EXPECT_EQ(t.find("al")->value().as_int(), 8);  // bound again by name
}

TEST(Store, PopWritesSystemVariablesAndNeverReplacesThem) {
  TParamCollection s;
  FakeSystemVariables p;
  s.set_system_variables(&p);
  p.values[5].i = 33;
  TParamInt referred(7);
  p.temp = &referred;
  std::vector<std::string> names = {"@MouseX", "@Temp"};
  s.push(names);
  p.values[5].i = 0;
  TParamStr other("text");
  p.temp = &other;  // @Temp is a string now: its pushed integer is skipped
  s.pop();
  EXPECT_EQ(p.values[5].i, 33);
  EXPECT_EQ(other.as_str(), "text");
  EXPECT_EQ(s.size(), 51u);
  EXPECT_TRUE(s.find("@Temp")->is_system());
  s.set_system_variables(nullptr);
}

}  // namespace
}  // namespace nova::expr

namespace nova::expr {
namespace {

// A game variable block laid out by hand as the version had it: one integer
// "v" = 6, then the fields each version adds.
std::vector<std::uint8_t> hand_game_block(std::int32_t version) {
  core::ByteWriter w;
  w.i32(1);
  w.u8(PT_INT);
  w.str("v");
  w.i32(0);  // no dimensions
  w.i32(1);  // one element
  w.i32(6);
  w.u8(0), w.u8(0), w.i32(-1), w.u8(0);
  w.i32(70);     // text delay
  w.str("cur");  // cursor text
  if (version > 102) {
    w.str("sel");
    w.i32(4);
  }
  if (version > 112 && version < 135) {
    for (int i = 1; i <= 6; ++i) w.i32(i);
  }
  if (version > 120) w.str("tname");
  if (version >= 139) {
    w.i32(1);  // one pushed block of one integer
    w.i32(1);
    w.i32(PT_INT);
    w.str("p");
    w.i32(0);
    w.i32(1);
    w.i32(99);
  }
  return w.take();
}

TEST(Store, EachGameBlockVersionBoundaryReadsItsFieldsFromHandLaidBytes) {
  for (std::int32_t v : {112, 113, 120, 121, 134, 135, 138, 139}) {
    SCOPED_TRACE(v);
    const std::vector<std::uint8_t> bytes = hand_game_block(v);
    TParamCollection s;
    int history_fields = 0;
    core::ByteReader r(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
    s.load_game_variables(r, v, [&](core::ByteReader& in) {
      for (int i = 0; i < 6; ++i) history_fields += in.i32() == i + 1;
    });
    EXPECT_TRUE(r.at_end());
    EXPECT_EQ(s.find("v")->value().as_int(), 6);
    EXPECT_EQ(s.text_delay(), 70);
    EXPECT_EQ(s.cursor_text(), "cur");
    EXPECT_EQ(s.selected_string(), "sel");
    EXPECT_EQ(history_fields, (v > 112 && v < 135) ? 6 : 0);
    EXPECT_EQ(s.temp_name(), v > 120 ? "tname" : "");
    EXPECT_EQ(s.pushed_count(), v >= 139 ? 1u : 0u);
    if (v >= 139) {
      s.pop();
      EXPECT_EQ(s.find("p")->value().as_int(), 99);
    }
  }
}

TEST(Store, TheSaveOrderInBytesAndANamelessRecordDropped) {
  TParamCollection s;
  bool c = false;
  s.create("first", PT_INT, TVarScope::Global, c).value().set_int(1);
  TParamCollectionItem& alias = s.create("alias", PT_NONE, TVarScope::Global, c);
  TParamCollectionItem& arr = s.create("arr", PT_INT, TVarScope::Global, c);
  std::int32_t dims[] = {3};
  arr.value().set_dims(dims);
  arr.value().set_int_at(2, 5);
  alias.value().as_reference()->bind_element(&arr, 2);
  s.create("last", PT_STR, TVarScope::Global, c).value().set_str("z");
  s.create("st1", PT_INT, TVarScope::Status, c).value().set_int(10);
  s.create("st2", PT_INT, TVarScope::Status, c).value().set_int(20);

  // Newest first, except that an alias comes after the array it refers to.
  core::ByteWriter game;
  s.save_game_variables(game);
  core::ByteReader r(std::span<const std::uint8_t>(game.data()));
  ASSERT_EQ(r.i32(), 4);
  std::vector<std::string> names;
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t type = r.u8();
    names.push_back(r.str());
    if (type == PT_NONE) {
      EXPECT_EQ(names.back(), "alias");
      EXPECT_EQ(r.i32(), 0);
      r.str();
      EXPECT_EQ(r.str(), "arr") << "the alias names its array";
      r.u8();
      EXPECT_EQ(r.i32(), 2);
    } else {
      make_value(type)->load(r);
    }
    r.skip(7);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"last", "arr", "alias", "first"}));
  // The status block: newest first too.
  core::ByteWriter status;
  s.save_status_variables(status);
  core::ByteReader sr(std::span<const std::uint8_t>(status.data()));
  ASSERT_EQ(sr.i32(), 2);
  sr.u8();
  EXPECT_EQ(sr.str(), "st2");

  // A record with an empty name is read and dropped; the next one loads.
  core::ByteWriter w;
  w.i32(2);
  for (const char* name : {"", "kept"}) {
    w.u8(PT_INT);
    w.str(name);
    TParamInt(3).save(w);
    w.u8(1), w.u8(0), w.i32(-1), w.u8(0);
  }
  TParamCollection t;
  core::ByteReader tr(std::span<const std::uint8_t>(w.data()));
  t.load_status_variables(tr);
  EXPECT_TRUE(tr.at_end());
  EXPECT_EQ(t.size(), kSystemVariableCount + 1u);
  EXPECT_EQ(t.find("kept")->value().as_int(), 3);
}

}  // namespace
}  // namespace nova::expr
