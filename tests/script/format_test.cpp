// The stored forms: the command table, command records and page files in
// every version, the project settings, the status record and the saved
// command state header.
#include <gtest/gtest.h>

#include <set>

#include "core/error.h"
#include "data/db_manager.h"
#include "script/commands.h"
#include "script/page.h"
#include "script/project_setting.h"
#include "script/save_file.h"
#include "script_fixture.h"

namespace nova::script::testing {
namespace {

std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const core::Error& e) {
    return e.message();
  }
  return "<no error>";
}

std::string text(const std::vector<std::uint8_t>& b) { return std::string(b.begin(), b.end()); }

// A record of the code with every field the version stores filled with a
// value of its own, and, for component commands, three properties.
TCommandRecord filled(int code, int version) {
  TCommandRecord r = TCommandRecord::make(code);
  r.code_byte = static_cast<std::uint8_t>(code);
  r.nesting_level = code % 3;
  r.skip_flag = static_cast<std::uint8_t>(code % 2);
  r.continue_flag = static_cast<std::uint8_t>(code % 5 == 0 ? 1 : 0);
  r.line_number = 1000 + code;
  const auto& spec = r.spec();
  for (std::size_t i = 0; i < spec.fields.size(); ++i) {
    if (!spec.fields[i].present_in(version)) continue;
    TCommandField& f = r.fields[i];
    const std::string n = std::to_string(code * 10 + static_cast<int>(i));
    switch (f.kind) {
      case FieldKind::Expression: f.expression = TExpression::compile("x" + n + " = " + n); break;
      case FieldKind::String:
      case FieldKind::Text: f.bytes = test::sjis("名前") + n; break;
      case FieldKind::Int: f.number = -7 - static_cast<int>(i); break;
      case FieldKind::Byte: f.number = 200 + static_cast<int>(i); break;
      case FieldKind::ExpressionList:
        f.expressions = {TExpression::compile(n), TExpression(), TExpression::compile("\"" + n + "\"")};
        break;
    }
  }
  if (spec.has_properties) {
    for (int id : {0, 3, 164}) r.properties.push_back({id, TExpression::compile(std::to_string(id + code))});
  }
  return r;
}

TPageFile page_of_every_code(int version) {
  TPageFile page;
  page.version = version;
  page.return_type = 4;
  for (int code = 0; code < kCommandCount; ++code) page.commands.push_back(filled(code, version));
  page.set_property_table(property_table_for(page.commands));
  return page;
}

TEST(CommandTable, HoldsEveryCodeInOrder) {
  std::set<std::string_view> names;
  const std::set<int> component_codes = {8,  9,  10, 11, 12, 23, 24, 25, 30, 36, 37, 42,
                                         43, 44, 48, 49, 50, 51, 52, 53, 54, 56, 59, 60};
  for (int code = 0; code < kCommandCount; ++code) {
    const CommandSpec& c = command_spec(code);
    EXPECT_EQ(c.code, code);
    EXPECT_TRUE(names.insert(c.name).second) << c.name;
    EXPECT_EQ(find_command(c.name), code);
    EXPECT_FALSE(display_name(code).empty());
    EXPECT_EQ(c.has_properties, component_codes.count(code) == 1) << c.name;
  }
  EXPECT_EQ(find_command("pcreset"), CC_PCRESET);
  EXPECT_EQ(find_command("nothing"), std::nullopt);
  EXPECT_EQ(display_name(CC_JUMP), test::sjis("ジャンプ"));
  EXPECT_EQ(error_of([] { command_spec(61); }), test::sjis("不正なコマンド"));
}

TEST(PageFiles, EveryCommandRoundTripsInEveryVersion) {
  for (int version : {103, 104, 105, 106, 107, 108, 110, 111, 115}) {
    SCOPED_TRACE(version);
    const std::vector<std::uint8_t> written = page_of_every_code(version).bytes();
    const TPageFile read = TPageFile::parse(written);
    EXPECT_EQ(read.bytes(), written) << "the reader keeps what the writer wrote";
    ASSERT_EQ(read.commands.size(), static_cast<std::size_t>(kCommandCount));
    EXPECT_EQ(read.return_type, 4);
    // The player builds every command of its class.
    expr::TParamCollection store;
    TPage page(store);
    ASSERT_EQ(page.Load("all.nsb", written), TPage::LoadResult::Loaded);
    for (int code = 0; code < kCommandCount; ++code) {
      const TCommand& c = page.command(code);
      EXPECT_EQ(c.GetCode(), code);
      EXPECT_EQ(c.line_number(), 1000 + code);
      EXPECT_EQ(c.nesting_level(), code % 3);
      EXPECT_EQ(c.record().properties.size(), command_spec(code).has_properties ? 3u : 0u);
    }
    EXPECT_TRUE(page.command(CC_COMMENT).IsSkipped());
    EXPECT_TRUE(page.command(CC_ELSE).ContinuesTick());
    EXPECT_FALSE(page.command(CC_GAMESAVE).ContinuesTick());
  }
}

TEST(PageFiles, VersionsDecideWhichFieldsAreStored) {
  // field, the last version without it
  const std::pair<std::pair<int, const char*>, int> rules[] = {{{CC_WAIT, "uninterruptible"}, 106},
                                                               {{CC_FLIP, "transition_text"}, 100},
                                                               {{CC_FLIP, "uninterruptible"}, 106},
                                                               {{CC_TEXTINS, "uninterruptible"}, 106},
                                                               {{CC_MOVIESTOP, "uninterruptible"}, 106},
                                                               {{29, "format"}, 110},
                                                               {{CC_GAMESAVE, "after_load_index"}, 104},
                                                               {{57, "paused"}, 107},
                                                               {{58, "format"}, 110}};
  for (const auto& rule : rules) {
    const auto field = rule.first;
    const int last_without = rule.second;
    SCOPED_TRACE(std::string(command_spec(field.first).name) + "." + field.second);
    auto size_at = [&](int version) {
      TPageFile p;
      p.version = version;
      p.commands.push_back(TCommandRecord::make(field.first));
      return p.bytes().size();
    };
    EXPECT_EQ(size_at(last_without + 1) - size_at(last_without), 4u);
    // A value the version cannot store is refused, not dropped.
    TPageFile p;
    p.version = last_without;
    TCommandRecord r = TCommandRecord::make(field.first);
    if (r.field(field.second).kind == FieldKind::Int)
      r.field(field.second).number = 3;
    else
      r.field(field.second).expression = TExpression::compile("1");
    p.commands.push_back(r);
    EXPECT_NE(error_of([&] { p.bytes(); }).find("not stored in pages of version"), std::string::npos);
  }
}

TEST(PageFiles, PropertyRecordsUseTheirFirst21Bytes) {
  core::ByteWriter w;
  w.i32(104);
  w.u8(1);
  w.i32(63);  // two records past code 60, skipped
  w.i32(25);
  for (int code = 0; code < 63; ++code) {
    std::string rec(25, '\0');
    if (code == CC_BOXNEW) rec[0] = 0x09;            // PR_NAME (0) and PR_LEFT (3)
    rec[21] = rec[22] = rec[23] = rec[24] = '\xFF';  // beyond the 168 bits
    if (code > 60) rec.assign(25, '\xFF');
    w.bytes(rec);
  }
  w.i32(1);
  w.u8(CC_BOXNEW);
  w.i32(0);
  w.u8(0);
  w.u8(0);
  w.i32(5);
  TExpression::compile("\"box\"").save(w);
  TExpression::compile("12").save(w);
  const std::vector<std::uint8_t> bytes = w.take();
  const TPageFile page = TPageFile::parse(bytes);
  ASSERT_EQ(page.commands.size(), 1u);
  ASSERT_EQ(page.commands[0].properties.size(), 2u);
  EXPECT_EQ(page.commands[0].properties[0].id, 0);
  EXPECT_EQ(page.commands[0].properties[1].id, 3);
  EXPECT_TRUE(page.property_table()[CC_CALC].empty());
  EXPECT_EQ(page.bytes(), bytes);

  // Shorter records fill the missing bytes with 0.
  core::ByteWriter s;
  s.i32(104);
  s.u8(1);
  s.i32(9);
  s.i32(2);
  for (int code = 0; code < 9; ++code) s.bytes(code == CC_BOXNEW ? std::string("\x01\x01", 2) : std::string(2, '\0'));
  s.i32(0);
  const TPropertyTable table = TPageFile::parse(s.data()).property_table();
  EXPECT_EQ(table[CC_BOXNEW].ids(), (std::vector<int>{0, 8}));
}

TEST(PageFiles, TheCodeBytesHighBitIsIgnoredAndKept) {
  TPageFile file;
  TCommandRecord jump = TCommandRecord::make(CC_JUMP);
  jump.code_byte = 0x84;
  jump.field("page").bytes = "x.nsb";
  file.commands.push_back(jump);
  const auto bytes = file.bytes();
  expr::TParamCollection store;
  TPage page(store);
  page.Load("p.nsb", bytes);
  EXPECT_NE(dynamic_cast<const TComJump*>(&page.command(0)), nullptr);
  EXPECT_EQ(TPageFile::parse(bytes).bytes(), bytes);
}

TEST(PageFiles, UnknownCodesAndDamagedPagesRaise) {
  for (std::uint8_t code : {std::uint8_t{61}, std::uint8_t{0x7F}, std::uint8_t{0xBD}}) {
    core::ByteWriter w;
    w.i32(104);
    w.u8(1);
    w.i32(0);
    w.i32(21);
    w.i32(1);
    w.u8(code);
    w.bytes(std::string(10, '\0'));
    EXPECT_EQ(error_of([&] { TPageFile::parse(w.data()); }), test::sjis("不正なコマンド")) << int(code);
  }
  const std::vector<std::uint8_t> good = page_of_every_code(115).bytes();
  for (std::size_t n = 0; n < good.size(); n += 7) {
    const std::span<const std::uint8_t> prefix(good.data(), n);
    EXPECT_NE(error_of([&] { TPageFile::parse(prefix); }), "<no error>") << n;
  }
  // Counts that the bytes left cannot hold are refused before anything is
  // allocated.
  const std::tuple<std::int32_t, std::int32_t, std::int32_t> counts[] = {
      {0x7FFFFFFF, 0x7FFFFFFF, 0}, {-1, 21, 0}, {0, -5, 0}, {0, 21, 0x7FFFFFFF}, {0, 21, -1}};
  for (auto [n, r, m] : counts) {
    core::ByteWriter w;
    w.i32(104);
    w.u8(1);
    w.i32(n);
    w.i32(r);
    w.i32(m);
    EXPECT_NE(error_of([&] { TPageFile::parse(w.data()); }), "<no error>");
  }
  // An expression list whose count is far beyond the bytes.
  TPageFile call;
  call.commands.push_back(TCommandRecord::make(CC_CALL));
  std::vector<std::uint8_t> b = call.bytes();
  // The list count is the int32 just before the end.
  b[b.size() - 4] = 0xFF;
  b[b.size() - 3] = 0xFF;
  b[b.size() - 2] = 0xFF;
  b[b.size() - 1] = 0x7F;
  EXPECT_NE(error_of([&] { TPageFile::parse(b); }).find("out of range"), std::string::npos);
}

TEST(PageFiles, NewerPagesAreEmptyAndKeptWhole) {
  const std::vector<std::uint8_t> bytes = {116, 0, 0, 0, 1, 2, 3, 0xFF};
  const TPageFile page = TPageFile::parse(bytes);
  EXPECT_TRUE(page.is_newer());
  EXPECT_TRUE(page.commands.empty());
  EXPECT_EQ(page.bytes(), bytes);
  expr::TParamCollection store;
  TPage p(store);
  EXPECT_EQ(p.Load("n.nsb", bytes), TPage::LoadResult::Newer);
  EXPECT_EQ(p.count(), 0);
}

TEST(PageFiles, TheWriterRefusesRecordsThatDoNotFit) {
  TPageFile page;
  TCommandRecord box = TCommandRecord::make(CC_BOXNEW);
  box.properties.push_back({5, TExpression::compile("1")});
  page.commands.push_back(box);
  EXPECT_NE(error_of([&] { page.bytes(); }).find("property set"), std::string::npos) << "the set lacks id 5";
  page.set_property_table(property_table_for(page.commands));
  EXPECT_NO_THROW(page.bytes());
  page.commands[0].fields.push_back({});
  EXPECT_NE(error_of([&] { page.bytes(); }).find("number of fields"), std::string::npos);
}

TEST(PageFiles, FreeingAPageDeletesItsScopeVariable) {
  expr::TParamCollection store;
  store.add(expr::PT_INT, TPage::scope_variable_name("p.nsb"));
  store.add(expr::PT_INT, TPage::scope_variable_name("q.nsb"));
  {
    TPage page(store);
    page.Load("p.nsb", TPageFile().bytes());
  }
  EXPECT_EQ(store.find(std::string("\x01p.nsb")), nullptr);
  EXPECT_NE(store.find(std::string("\x01q.nsb")), nullptr);
}

TEST(ProjectSettings, RoundTripWithEveryField) {
  TProjectSetting s;
  s.title = test::sjis("題名");
  s.screen_width = 800;
  s.screen_height = 600;
  s.display_option_a = 1024;
  s.display_option_b = 768;
  s.start_page = "start.nsb";
  s.exit_page = "exit.nsb";
  s.registry_key = "Vendor\\Title";
  s.image_key = 0x12345678;
  s.keep_status = 1;
  s.idle_option = 1;
  s.streamed_extensions = ".ogg";
  s.pause_when_inactive = 1;
  s.reserved = 9;
  s.disc_text = "disc %d";
  s.quit_text = "quit";
  s.initial_variables = {{1, "i", 42, 0, false, ""},
                         {2, "f", 0, 2.5L, false, ""},
                         {3, "b", 0, 0, true, ""},
                         {4, "s", 0, 0, false, "txt"},
                         {0, "ref", 0, 0, false, ""}};
  s.folders.Add("bgm\\", 2);
  const auto bytes = s.Bytes();
  const TProjectSetting r = TProjectSetting::Parse(bytes);
  EXPECT_EQ(r.Bytes(), bytes);
  EXPECT_EQ(r.title, s.title);
  EXPECT_EQ(r.exit_page, "exit.nsb");
  EXPECT_EQ(r.initial_variables, s.initial_variables);
  EXPECT_EQ(r.folders.DiscOf("bgm\\a.ogg"), 2);
  EXPECT_EQ(r.pause_when_inactive, 1);
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_NE(error_of([&] { TProjectSetting::Parse(std::span(bytes.data(), n)); }), "<no error>") << n;
  }
}

TEST(ProjectSettings, OlderVersionsLackFieldsAndKeepTheirDefaults) {
  TProjectSetting s;
  s.version = 108;
  s.title = "t";
  s.keep_status = 1;
  s.idle_option = 1;
  const TProjectSetting r108 = TProjectSetting::Parse(s.Bytes());
  EXPECT_EQ(r108.exit_page, "");
  EXPECT_EQ(r108.streamed_extensions, ".wav.wma.ogg.mid");
  EXPECT_EQ(r108.keep_status, 1) << "stored above 103";
  EXPECT_EQ(r108.idle_option, 1);

  TProjectSetting old;
  old.version = 103;
  const auto b103 = old.Bytes();
  const TProjectSetting r103 = TProjectSetting::Parse(b103);
  EXPECT_EQ(r103.keep_status, 0);
  EXPECT_EQ(r103.idle_option, 0);
  old.version = 104;
  EXPECT_EQ(old.Bytes().size(), b103.size() + 1) << "keep status comes in above 103";

  s.exit_page = "exit.nsb";
  EXPECT_NE(error_of([&] { s.Bytes(); }).find("not stored"), std::string::npos);
  std::vector<std::uint8_t> newer = TProjectSetting().Bytes();
  newer[0] = 116;
  EXPECT_EQ(error_of([&] { TProjectSetting::Parse(newer); }), test::sjis("このバージョンには対応していません"));
}

// A settings file laid out by hand, field by field, as an older editor wrote
// it (not by our writer): each field only where its version has it.
std::vector<std::uint8_t> hand_settings(std::int32_t version) {
  core::ByteWriter w;
  w.i32(version);
  w.str("T");
  w.i32(800);
  w.i32(600);
  w.i32(1024);
  w.i32(768);
  w.str("start.nsb");
  if (version >= 110) w.str("exit.nsb");
  w.str("Reg");
  w.i32(-5);
  if (version > 103) w.u8(1);         // keep status
  if (version >= 106) w.u8(1);        // idle option
  if (version >= 109) w.str(".ogg");  // streamed extensions
  if (version > 112) w.u8(1);         // pause when inactive
  if (version >= 114) w.u8(9);        // reserved
  w.str("disc %d");
  w.str("quit");
  w.i32(1);  // one initial variable
  w.u8(expr::PT_INT);
  w.str("v");
  w.i32(42);
  w.i32(1);  // one folder on disc 2
  w.str("movie\\");
  w.i32(2);
  return w.take();
}

TEST(ProjectSettings, EachVersionBoundaryReadsItsFieldsFromHandLaidBytes) {
  for (std::int32_t v : {105, 106, 108, 109, 110, 112, 113, 114}) {
    SCOPED_TRACE(v);
    const std::vector<std::uint8_t> bytes = hand_settings(v);
    const TProjectSetting s = TProjectSetting::Parse(bytes);
    EXPECT_EQ(s.version, v);
    EXPECT_EQ(s.title, "T");
    EXPECT_EQ(s.display_option_a, 1024);
    EXPECT_EQ(s.image_key, -5);
    EXPECT_EQ(s.keep_status, 1);
    EXPECT_EQ(s.idle_option, v >= 106 ? 1 : 0);
    EXPECT_EQ(s.streamed_extensions, v >= 109 ? ".ogg" : ".wav.wma.ogg.mid");
    EXPECT_EQ(s.exit_page, v >= 110 ? "exit.nsb" : "");
    EXPECT_EQ(s.pause_when_inactive, v >= 113 ? 1 : 0);
    EXPECT_EQ(s.reserved, v >= 114 ? 9 : 0);
    EXPECT_EQ(s.disc_text, "disc %d");
    EXPECT_EQ(s.quit_text, "quit");
    ASSERT_EQ(s.initial_variables.size(), 1u);
    EXPECT_EQ(s.initial_variables[0].int_value, 42);
    EXPECT_EQ(s.folders.DiscOf("movie\\a.mpg"), 2);
    // Our writer lays out the same bytes for the version.
    EXPECT_EQ(s.Bytes(), bytes);
  }
}

class StatusRecords : public ::testing::Test {
 protected:
  StatusRecords() {
    bool c = false;
    store.create("score", expr::PT_INT, expr::TVarScope::Status, c).value().set_int(77);
    store.create("name", expr::PT_STR, expr::TVarScope::Status, c).value().set_str(test::sjis("表示"));
    store.create("game", expr::PT_INT, expr::TVarScope::Global, c).value().set_int(5);
  }
  std::vector<std::uint8_t> record(const TStatusTail& tail) {
    core::ByteWriter w;
    write_status_record(w, store, tail, tables);
    return w.take();
  }
  // A record laid by hand: header (none for version 0), variables, then
  // `rest` as it stands.
  std::vector<std::uint8_t> laid(std::int32_t version, const std::string& rest) {
    core::ByteWriter w;
    if (version > 0) w.bytes(core::format("Status%.3d", {version}));
    store.save_status_variables(w);
    w.bytes(rest);
    return w.take();
  }
  expr::TParamCollection store;
  data::TDBManager tables;
};

// A status-form table block of one table with a record, and the bytes the
// manager writes for it.
std::string status_tables() {
  data::TDBManager m;
  data::TDBTable& t = m.create(test::sjis("設定"), true);
  t.add_field("volume", data::DBFieldType::Integer);
  t.add_field("name", data::DBFieldType::String, 6);
  t.set_int(t.append(), 0, 80);
  t.set_str(0, 1, "abc");
  core::ByteWriter w;
  m.save(w, data::TDBManager::Form::Status);
  return w.take_string();
}

std::string status_form(const data::TDBManager& m) {
  core::ByteWriter w;
  m.save(w, data::TDBManager::Form::Status);
  return w.take_string();
}

// Read marks laid by hand: two items ("ep1" with two pages read, "ep2" with
// none) and a pending mark in box "mes".
std::string laid_marks() {
  core::ByteWriter w;
  w.i32(2);
  w.str("ep1");
  w.i32(2);
  for (std::int32_t v : {40, 90, 0, 3}) w.i32(v);  // positions, then pages
  w.str("ep2");
  w.i32(0);
  w.str("ep1");
  w.i32(120);
  w.i32(4);
  w.str("mes");
  return w.take_string();
}

void expect_laid_marks(const components::TNovaReadList& m) {
  ASSERT_EQ(m.Count(), 2);
  ASSERT_NE(m.Find("EP1"), nullptr) << "keys without regard to case";
  EXPECT_EQ(m.Find("ep1")->positions, (std::vector<std::int32_t>{40, 90}));
  EXPECT_EQ(m.Find("ep1")->pages, (std::vector<std::int32_t>{0, 3}));
  EXPECT_TRUE(m.Items(1).positions.empty());
  EXPECT_EQ(m.pending_key, "ep1");
  EXPECT_EQ(m.pending_position, 120);
  EXPECT_EQ(m.pending_page, 4);
  EXPECT_EQ(m.pending_box, "mes");
}

TEST_F(StatusRecords, WriteAndReadBackWithTheEmptyForms) {
  const auto bytes = record({});
  EXPECT_EQ(text(bytes).substr(0, 9), "Status103");
  expr::TParamCollection fresh;
  data::TDBManager fresh_tables;
  fresh_tables.create("status", true);
  fresh_tables.create("game", false);
  const TStatusTail tail = read_status_record(bytes, fresh, fresh_tables);
  EXPECT_EQ(tail.version, 103);
  EXPECT_EQ(tail.read_marks.Count(), 0);
  EXPECT_FALSE(tail.image_quality);
  ASSERT_EQ(fresh_tables.tables().size(), 1u) << "the stored (no) status tables replace the status tables";
  EXPECT_EQ(fresh_tables.tables()[0]->name(), "game");
  ASSERT_NE(fresh.find("score"), nullptr);
  EXPECT_EQ(fresh.find("score")->value().as_int(), 77);
  EXPECT_TRUE(fresh.find("score")->is_status());
  EXPECT_EQ(fresh.find("name")->value().as_str(), test::sjis("表示"));
  EXPECT_EQ(fresh.find("game"), nullptr) << "only status variables";
  // The empty forms: read marks (20 bytes of zeros), quality flag 0,
  // table block version 100 with no tables.
  std::string expected(21, '\0');
  expected += std::string("\x64\0\0\0\0\0\0\0", 8);
  EXPECT_EQ(text(bytes).substr(bytes.size() - expected.size()), expected);
}

TEST_F(StatusRecords, HandBuiltRecordsOfEveryVersionReadAndWriteBackAs103) {
  const std::string stored = status_tables();
  struct Case {
    std::int32_t version;
    std::string rest;
    bool marks, quality, tables;
  };
  for (const Case& c : {Case{0, "", false, false, false}, Case{100, laid_marks(), true, false, false},
                        Case{101, laid_marks() + "\x01", true, true, false},
                        Case{103, laid_marks() + "\x01" + stored, true, true, true}}) {
    SCOPED_TRACE(c.version);
    expr::TParamCollection s;
    data::TDBManager m;
    const TStatusTail t = read_status_record(laid(c.version, c.rest), s, m);
    EXPECT_EQ(t.version, c.version);
    EXPECT_EQ(s.find("score")->value().as_int(), 77);
    if (c.marks) {
      expect_laid_marks(t.read_marks);
    } else {
      EXPECT_EQ(t.read_marks.Count(), 0);
    }
    EXPECT_EQ(t.image_quality, c.quality);
    EXPECT_EQ(m.tables().size(), c.tables ? 1u : 0u);
    if (c.tables) {
      EXPECT_EQ(m.find(test::sjis("設定"))->get_str(0, 1), "abc");
    }
    // Written back as 103 with what it held; read again, the same.
    core::ByteWriter w;
    write_status_record(w, store, t, m);
    const auto rewritten = w.take();
    EXPECT_EQ(text(rewritten).substr(0, 9), "Status103");
    expr::TParamCollection s2;
    data::TDBManager m2;
    const TStatusTail again = read_status_record(rewritten, s2, m2);
    EXPECT_TRUE(again.read_marks == t.read_marks);
    EXPECT_EQ(again.image_quality, c.quality);
    EXPECT_EQ(status_form(m2), status_form(m));
  }
  // The store writes its variables from the last to the first, so a record
  // read and written again lists them the other way round; twice gives the
  // record back.
  const auto bytes = laid(103, laid_marks() + "\x01" + stored);
  expr::TParamCollection first, second;
  data::TDBManager first_tables, second_tables;
  const TStatusTail t1 = read_status_record(bytes, first, first_tables);
  core::ByteWriter once;
  write_status_record(once, first, t1, first_tables);
  const TStatusTail t2 = read_status_record(once.data(), second, second_tables);
  core::ByteWriter twice;
  write_status_record(twice, second, t2, second_tables);
  EXPECT_EQ(twice.data(), bytes);
  EXPECT_EQ(text(record({104, {}, false})).substr(0, 9), "Status104") << "a newer version keeps its number";
}

TEST_F(StatusRecords, DamagedRecordsRaiseAndChangeNothing) {
  const auto bytes = laid(103, laid_marks() + "\x01" + status_tables());
  auto bad = bytes;
  bad[7] = 'x';
  expr::TParamCollection fresh;
  EXPECT_NE(error_of([&] { read_status_record(bad, fresh, tables); }).find("version"), std::string::npos);
  // Cut anywhere (in the tables too), the record changes neither the store
  // nor the tables it would have replaced.
  tables.create("held", true);
  const std::string held = status_form(tables);
  for (std::size_t n = 9; n < bytes.size(); ++n) {
    expr::TParamCollection s;
    EXPECT_NE(error_of([&] { read_status_record(std::span(bytes.data(), n), s, tables); }), "<no error>") << n;
    EXPECT_EQ(s.find("score"), nullptr) << "the store is left as it was";
    ASSERT_EQ(status_form(tables), held) << n;
  }
  core::ByteWriter huge;
  huge.i32(0x7FFFFFFF);
  expr::TParamCollection s;
  EXPECT_NE(error_of([&] { read_status_record(laid(100, huge.take_string()), s, tables); }).find("read-mark count"),
            std::string::npos);
  core::ByteWriter pairs;
  pairs.i32(1);
  pairs.str("k");
  pairs.i32(0x20000000);
  EXPECT_NE(error_of([&] {
              read_status_record(laid(100, pairs.take_string() + std::string(20, '\0')), s, tables);
            }).find("pair count"),
            std::string::npos);
  EXPECT_EQ(s.find("score"), nullptr);
}

TEST(SavedCommandStates, HeadersAreNovaAndThreeDigits) {
  core::ByteWriter w;
  write_state_header(w, 100);
  EXPECT_EQ(w.take_string(), "nova100");
  core::ByteReader r(std::string_view("nova107rest"));
  EXPECT_EQ(read_state_header(r), 107);
  EXPECT_EQ(r.position(), 7u);
  core::ByteReader none(std::string_view("abcd123"));
  EXPECT_EQ(read_state_header(none), 0);
  EXPECT_EQ(none.position(), 0u) << "left where it was";
  core::ByteReader bad(std::string_view("nova1x0"));
  EXPECT_NE(error_of([&] { read_state_header(bad); }), "<no error>");
}

TEST(SavedCommandStates, WaitingCommandsKeepTheirFlags) {
  // MovieStop and TextIns: target, waiting, and from version 100 the
  // uninterruptible flag; Flip: both flags from version 100.
  expr::TParamCollection store;
  TPageFile file;
  for (int code : {CC_MOVIESTOP, CC_TEXTINS, CC_FLIP, CC_WAIT}) file.commands.push_back(TCommandRecord::make(code));
  TPage page(store);
  page.Load("p.nsb", file.bytes());
  core::ByteReader old_form(std::string_view("\x03\0\0\0box\x01", 8));
  page.command(0).LoadState(old_form);
  EXPECT_TRUE(old_form.at_end());
  EXPECT_TRUE(page.command(0).Yields()) << "waiting";
  EXPECT_FALSE(page.command(0).IsUninterruptible());
  core::ByteReader new_form(std::string_view("nova100\x03\0\0\0box\x01\x01", 16));
  page.command(1).LoadState(new_form);
  EXPECT_TRUE(new_form.at_end());
  EXPECT_TRUE(page.command(1).IsUninterruptible());
  core::ByteWriter w;
  page.command(1).SaveState(w);
  EXPECT_EQ(w.take_string(), std::string("nova100\x03\0\0\0box\x01\x01", 16));
  core::ByteReader flip(std::string_view("nova100\x01\x00", 9));
  page.command(2).LoadState(flip);
  EXPECT_TRUE(page.command(2).IsUninterruptible());
  core::ByteWriter fw;
  page.command(2).SaveState(fw);
  EXPECT_EQ(fw.take_string(), std::string("nova100\x01\x00", 9));
  core::ByteReader wait(std::string_view("nova100\x50\0\0\0\0\0\0\0\x01", 16));
  page.command(3).LoadState(wait);
  EXPECT_TRUE(page.command(3).IsUninterruptible());
  EXPECT_EQ(static_cast<const TComWait&>(page.command(3)).remaining(), 0x50);
}

TEST(SaveNames, SlotsAndUserFolders) {
  EXPECT_EQ(game_slot_of("GAMESAVEDATA0"), 0);
  EXPECT_EQ(game_slot_of("GAMESAVEDATA12"), 12);
  EXPECT_EQ(game_slot_of("gamesavedata3"), 3);
  EXPECT_EQ(game_slot_of("GAMESAVEDATA-1"), std::nullopt);
  EXPECT_EQ(game_slot_of("GAMESAVEDATAx"), std::nullopt);
  EXPECT_EQ(game_slot_of("GAMESAVEDATA"), std::nullopt);
  EXPECT_EQ(game_slot_of("GAMESAVEDATA99999999999"), std::nullopt);
  EXPECT_EQ(game_slot_of("GAMESAVEDATA2147483647"), 2147483647);
  EXPECT_EQ(game_slot_of("GAMESAVEDATA2147483648"), std::nullopt);
  // Canonical decimals only, so that two names never claim one slot.
  EXPECT_EQ(game_slot_of("GAMESAVEDATA007"), std::nullopt);
  EXPECT_EQ(game_slot_of("GAMESAVEDATA00"), std::nullopt);
  EXPECT_EQ(game_slot_of("GAMESAVEDATA+7"), std::nullopt);
  EXPECT_EQ(game_entry_name(12), "GAMESAVEDATA12");

  EXPECT_EQ(user_folder_name("a\\b/c:d,e;f*g?h<i>j|k\"l"), "a_b_c_d_e_f_g_h_i_j_k_l");
  // 表 is 0x95 0x5C and ソ is 0x83 0x5C: their trail bytes are no separators.
  EXPECT_EQ(user_folder_name(test::sjis("表ソ|")), "表ソ_");
  EXPECT_EQ(user_folder_name(std::string("a\tb\x01\x7F", 5)), "ab");
  for (const char* empty : {"", ".", "..", "\x01\x02"}) EXPECT_EQ(user_folder_name(empty), "_") << empty;
  EXPECT_EQ(user_folder_name("..."), "...");

  const std::vector<std::filesystem::path> roots = {"/usr", "/opt/"};
  EXPECT_TRUE(is_program_files_folder("/usr/games", roots));
  EXPECT_TRUE(is_program_files_folder("/opt", roots));
  EXPECT_TRUE(is_program_files_folder("/usr/local/../games/x", roots));
  EXPECT_FALSE(is_program_files_folder("/usrlocal/x", roots));
  EXPECT_FALSE(is_program_files_folder("/home/u/games", roots));
}

}  // namespace
}  // namespace nova::script::testing
