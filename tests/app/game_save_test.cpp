// Game saves and loads in the player of the real build: a running game
// (images, a tile and a map image, nested parents, focus, a pending event,
// a call stack whose top command waits, locals at two depths, arrays,
// pushed variables, tables; a handler's TextIns half typed with history
// and read marks, a list-mode history and a laid-out one loaded from a
// record, each with a pending page) is saved, changed and loaded back
// whole; loads of damaged records change nothing and tell the player once;
// saves that cannot be stored keep the file and the captions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/player_context.h"
#include "components/base_list.h"
#include "components/component_types.h"
#include "components/nova_mes.h"
#include "components/read_list.h"
#include "core/binary_io.h"
#include "core/log.h"
#include "data/db_manager.h"
#include "data/history_format.h"
#include "expr/param_collection.h"
#include "files/stream.h"
#include "platform/atomic_file.h"
#include "platform/headless/headless_platform.h"
#include "script/callman.h"
#include "script/game_record.h"
#include "script/project.h"
#include "script/save_file.h"
#include "support/in_process_player.h"
#include "text/word_reveal.h"

namespace nova::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// `before_call` runs in the start page before the calls (more components,
// text commands); `more` adds pages.
std::map<std::string, std::string> title_sources(const std::string& project_extra = {},
                                                 const std::string& before_call = {},
                                                 const std::map<std::string, std::string>& more = {}) {
  const fs::path pictures = source_dir() / "tests" / "titles" / "components" / "title";
  std::map<std::string, std::string> sources{
      {"project.nvp", "title: セーブ試験\nscreen: 64x48\nstart: start.nsb\n" + project_extra},
      {"p.bri", read_file(pictures / "p.bri")},
      {"t.bri", read_file(pictures / "t.bri")},
      {"start.nvs",
       "VarNew status int clicks = 0\n"
       "SetProp \"\", color, $204060\n"
       "ImgNew \"a\"; source: \"p.bri\"; left: 2; top: 2; zoomx: 512; zoomy: 512; onlbtnup: \"click.nsb\"\n"
       "ImgNew \"child\"; source: \"p.bri\"; parent: \"a\"; left: 1; top: 3\n"
       "TileNew \"tile\"; source: \"t.bri\"; left: 4; top: 20; width: 7; height: 5; paused: TRUE\n"
       "MapImgNew \"map\"; source: \"p.bri\"; left: 30; top: 5\n"
       "MesNew \"m\"; left: 0; top: 30; width: 64; height: 18; text: \"あいうえおかきくけこさしすせそ\"\n"
       "VarNew int g = 5\n"
       "VarNew str s = \"文字\"\n"
       "VarNew int arr = 0\n"
       "Calc SetArray(arr, 4)\n"
       "Calc arr[2] = 42\n" +
           before_call +
           "Call sub.nsb(3)\n"
           "Wait\n"},
      {"sub.nvs",
       "VarNew local int depth1 = @ParamStr[0]\n"
       "Call deeper.nsb(4)\n"},
      {"deeper.nvs",
       "VarNew local int depth2 = @ParamStr[0]\n"
       "Wait 100000\n"},
      {"click.nvs", "Calc clicks = clicks + 1\n"},
      {"after.nvs", "Calc clicks = clicks + 100\nCalc clicks = clicks + 10\n"},
  };
  for (const auto& [name, text] : more) sources[name] = text;
  return sources;
}

Bytes slot_bytes(const fs::path& save, std::int32_t slot) {
  auto archive = script::TSaveFile(save).open();
  const files::TVrFile* entry = archive->Find(script::game_entry_name(slot));
  if (!entry) return {};
  files::MemoryBlock data;
  archive->ReadEntry(*entry, data);
  return {data.bytes().begin(), data.bytes().end()};
}

// "" for equal records; else where they part, with the bytes around it.
std::string difference(const Bytes& got, const Bytes& want) {
  if (got == want) return {};
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  std::string text = "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size()) + ", first difference at " +
                     std::to_string(at) + ":";
  for (const Bytes* b : {&got, &want}) {
    text += "\n ";
    for (std::size_t i = at >= 8 ? at - 8 : 0; i < std::min(b->size(), at + 24); ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, " %02x", (*b)[i]);
      text += hex;
    }
  }
  return text;
}

class GameSave : public ::testing::Test {
 protected:
  explicit GameSave(InProcessOptions options = {}, const std::string& project_extra = {},
                    const std::string& before_call = {}, const std::map<std::string, std::string>& more = {})
      : player(title_sources(project_extra, before_call, more), options) {
    if (!player.started()) return;
    // Start, the two calls, and the Wait that stays started.
    player.frames(5);
    project = player.project();
  }

  // What only the test can add: the focus, a pushed block, a pending event
  // of "a", and a game table. (The message box "m" is typing its text.)
  void add_state() {
    components::TNovaBaseList& list = player.bases();
    data::TDBTable& t = project->tables().create("scores", false);
    t.add_field("name", data::DBFieldType::String, 8);
    t.append();
    t.set_str(0, 0, "abc");
    auto* a = list.FindControl("a");
    ASSERT_NE(a, nullptr);
    list.SetFocus(a);
    const std::string names[] = {"g", "s"};
    player.context().services.variables()->store.push(names);
    a->RaiseEvent(components::PR_ONLBTNUP, {1, 2});
  }

  Bytes record() { return project->GameRecord(); }
  std::size_t boxes() const { return player.platform().message_boxes().size(); }

  InProcessPlayer player;
  script::TProject* project = nullptr;
};

TEST_F(GameSave, ASavedGameLoadsBackWholeAndSavesAgainIdentically) {
  ASSERT_NE(project, nullptr);
  add_state();
  components::TNovaBaseList& list = player.bases();
  list.Compose();
  const std::vector<std::uint32_t> shown = player.screen();
  const Bytes before = record();
  ASSERT_TRUE(project->SaveGame({1, "first", "", 0}));
  EXPECT_EQ(project->SaveCaption(1), "first");

  // The stored record is the running game's with its head.
  script::GameRecordHead head;
  head.caption = "first";
  EXPECT_EQ(slot_bytes(player.save_file(), 1), project->GameRecord(head));

  // Change what the record holds: a component and the table go, a
  // variable, a local and the screen's colour change, the boxes type on.
  expr::TParamCollection& store = player.context().services.variables()->store;
  list.destroy(*list.FindControl("a"));
  store.find("g")->value().set_int(9);
  store.find("depth2")->value().set_int(40);
  list.front_base().SetColor(0xFF0000);
  project->tables().clear();
  for (int i = 0; i < 5; ++i) list.UpdateAll();
  list.Compose();
  EXPECT_NE(player.screen(), shown) << "the change shows";
  EXPECT_NE(record(), before);

  ASSERT_TRUE(project->LoadGame(1));
  EXPECT_EQ(difference(record(), before), "") << "the loaded game writes the record it was saved from";
  EXPECT_EQ(store.find("g")->value().as_int(), 5);
  EXPECT_EQ(store.find("depth2")->value().as_int(), 4);
  EXPECT_EQ(store.find("arr")->value().count(), 4);
  ASSERT_NE(list.focus(), nullptr);
  EXPECT_EQ(list.focus()->Name(), "a");
  EXPECT_EQ(project->interpreter()->StackCount(), 2);
  EXPECT_TRUE(project->interpreter()->Started()) << "the Wait goes on";
  ASSERT_NE(project->tables().find("scores"), nullptr);
  EXPECT_EQ(project->tables().find("scores")->get_str(0, 0), "abc");
  EXPECT_EQ(boxes(), 0u);

  ASSERT_TRUE(project->SaveGame({2, "first", "", 0}));
  EXPECT_EQ(difference(slot_bytes(player.save_file(), 2), slot_bytes(player.save_file(), 1)), "");
  EXPECT_EQ(project->SaveCaption(2), "first");

  // The boxes typed as far as they had, the image is back in its place.
  list.Compose();
  EXPECT_EQ(player.screen(), shown);
}

// A box that a handler's TextIns types into, with history and read marks:
// two texts of the start page are in the list-mode history already, the
// handler's text is on its second page, half typed, and pending in both
// the history and the read marks. The handler waits on its TextIns.
class TypingGameSave : public GameSave {
 protected:
  TypingGameSave()
      : GameSave({}, {},
                 "MesNew \"t\"; left: 0; top: 0; width: 64; height: 24; fontheight: 10\n"
                 "ImgNew \"b\"; source: \"p.bri\"; left: 40; top: 30; onlbtnup: \"typing.nsb\"\n"
                 "TextIns \"t\"; history: TRUE\n"
                 "    ひとつめ\n"
                 "TextIns \"t\"; history: TRUE\n"
                 "    ふたつめ\n",
                 {{"typing.nvs",
                   "TextIns \"t\"; wait: TRUE; history: TRUE\n"
                   "    あいうえおかきくけこ\n"
                   "    さしすせそたちつてと\n"
                   "    なにぬねのはひふへほ\n"
                   "    まみむめもやゆよらり\n"
                   "    るれろわをんアイウエ\n"
                   "    オカキクケコサシスセ\n"
                   "Calc clicks = clicks + 1000\n"}}) {}

  components::TNovaMes* box() const { return dynamic_cast<components::TNovaMes*>(player.bases().FindControl("t")); }

  // The running game's record with a second history format in laid-out
  // mode after the default one: two history pages of segments from the
  // start page's texts and a pending page of its own.
  Bytes with_laid_out_history() {
    const Bytes game = record();
    core::ByteWriter formats;
    player.bases().history()->Save(formats);
    const Bytes old_formats(formats.data().begin(), formats.data().end());
    const auto at = std::search(game.begin(), game.end(), old_formats.begin(), old_formats.end());
    EXPECT_NE(at, game.end());
    if (at == game.end()) return {};
    core::ByteReader count(old_formats);
    core::ByteWriter w;
    w.i32(count.i32() + 1);
    w.bytes(std::span(old_formats).subspan(4));
    w.str("wide");
    data::HistoryLayout{10, 1, 0, 60, 40, 2}.save(w);
    data::TNovaHistData first, second;
    first.add({"start.nsb", 22, 0, 3, 12, ""});
    first.add({"START.NSB", 23, 0, 3, 12, "n=1"});
    second.add({"start.nsb", 23, 0, 3, 12, ""});
    w.i32(0);            // no list entries
    w.str("start.nsb");  // the pending page: key, command, page, box size, box
    for (std::int32_t v : {22, 0, 0, 0}) w.i32(v);
    w.str("t");
    w.i32(5);  // the most history pages kept
    data::HistoryLayout{10, 1, 0, 60, 40, 2}.save(w);
    w.i32(0);  // the pending page's first and last character
    w.i32(3);
    w.i32(2);
    first.save(w, data::kHistoryWriteVersion);
    second.save(w, data::kHistoryWriteVersion);
    w.str("");  // the pending snapshot
    Bytes spliced(game.begin(), at);
    spliced.insert(spliced.end(), w.data().begin(), w.data().end());
    spliced.insert(spliced.end(), at + static_cast<std::ptrdiff_t>(old_formats.size()), game.end());
    return spliced;
  }
};

TEST_F(TypingGameSave, AHandlerTypingATextCommandLoadsBackWholeAndSavesAgainIdentically) {
  ASSERT_NE(project, nullptr);
  components::TNovaBaseList& list = player.bases();
  // A game loaded with a laid-out history beside the list-mode one.
  const Bytes laid_out = with_laid_out_history();
  ASSERT_FALSE(laid_out.empty());
  ASSERT_TRUE(project->LoadGameRecord(laid_out));
  ASSERT_NE(list.history()->Find("wide"), nullptr);
  ASSERT_TRUE(list.history()->Find("wide")->History().laid_out());
  components::TNovaMes* t = box();
  ASSERT_NE(t, nullptr);
  list.FindControl("b")->RaiseEvent(components::PR_ONLBTNUP, {});
  player.frames(3);
  ASSERT_GE(t->Count(), 2) << "the handler's text takes pages";
  t->SetPage(1);
  player.frames(4);
  add_state();

  // What the round trip has to keep.
  script::TCallMan& cm = *project->interpreter();
  auto state = [&] {
    // A load replaces the formats: looked up each time.
    const data::TNovaNewHistory& history = list.history()->Default().History();
    components::TNovaMes* m = box();
    std::string s = "page " + std::to_string(m ? m->Index() : -2) + " of " + std::to_string(m ? m->Count() : -2);
    if (m && m->Index() >= 0)
      s += text::is_revealing(m->Pages()[static_cast<std::size_t>(m->Index())]) ? ", typing" : ", typed";
    s += "; history " + std::to_string(history.entries().size()) + " + " + history.pending_key() + ":" +
         std::to_string(history.pending().command) + "/" + std::to_string(history.pending().page);
    if (const data::TNovaHistoryFormat* wide = list.history()->Find("wide")) {
      const data::TNovaNewHistory& w = wide->History();
      s += "; laid out " + std::to_string(w.pages().size()) + " pages " + std::to_string(w.Count()) + " high + " +
           w.pending_key() + ":" + std::to_string(w.pending().command);
    }
    const components::TNovaReadList& marks = *list.read_marks();
    s += "; mark " + marks.pending_key + ":" + std::to_string(marks.pending_position) + "/" +
         std::to_string(marks.pending_page) + " " + marks.pending_box;
    s += "; level " + std::to_string(cm.EventLevel()) + " state " + std::to_string(cm.State()) + " at " +
         (cm.CurrentPage() ? cm.CurrentPage()->name() : std::string("-")) + ":" + std::to_string(cm.Position()) +
         (cm.Started() ? " started" : "");
    return s;
  };
  const std::string held = state();
  // The laid-out format recorded the handler's first page when the box
  // moved on: twelve characters at five a row of 12 with 2 between, and 2
  // after, 42 pixels on a history page of its own (the newest held 12 of
  // its 40).
  // Its pending page of the record named no text command and was replaced.
  EXPECT_EQ(held, "page 1 of " + std::to_string(t->Count()) +
                      ", typing; history 3 + typing.nsb:0/1; laid out 3 pages 78 high + typing.nsb:0; mark "
                      "typing.nsb:0/1 t; level 2 state 2 at typing.nsb:0 started")
      << "the game under test";
  list.Compose();
  const std::vector<std::uint32_t> shown = player.screen();
  const Bytes before = record();
  ASSERT_TRUE(project->SaveGame({1, "typing", "", 0}));

  // The box types on to its last page and the handler's text is cleared;
  // the history moves on with it.
  t->SetPage(t->Count() - 1);
  for (int i = 0; i < 200; ++i) list.UpdateAll();
  t->SetText({});
  list.Compose();
  EXPECT_NE(player.screen(), shown);
  EXPECT_NE(state(), held);
  EXPECT_NE(record(), before);

  ASSERT_TRUE(project->LoadGame(1));
  EXPECT_EQ(state(), held);
  EXPECT_EQ(difference(record(), before), "") << "the loaded game writes the record it was saved from";
  ASSERT_TRUE(project->SaveGame({2, "typing", "", 0}));
  EXPECT_EQ(difference(slot_bytes(player.save_file(), 2), slot_bytes(player.save_file(), 1)), "");
  list.Compose();
  EXPECT_EQ(player.screen(), shown) << "the box shows its half-typed page as it was";

  // The game goes on from there: the page types to its end, the handler's
  // TextIns waits on, and clearing the box lets the handler finish.
  EXPECT_EQ(player.context().services.variables()->store.find("clicks")->value().as_int(), 0);
  for (int i = 0; i < 200; ++i) player.frames(1);
  EXPECT_EQ(box()->Index(), 1);
  EXPECT_FALSE(text::is_revealing(box()->Pages()[1])) << "the loaded page types on";
  box()->SetText({});
  player.frames(3);
  EXPECT_GE(player.context().services.variables()->store.find("clicks")->value().as_int(), 1000)
      << "the handler's TextIns ended with its text";
}

TEST_F(GameSave, TheAfterLoadPageRunsAndReturnsToTheRestoredWait) {
  ASSERT_NE(project, nullptr);
  ASSERT_TRUE(project->SaveGame({1, "c", "after.nsb", 1}));
  ASSERT_TRUE(project->LoadGame(1));
  script::TCallMan& cm = *project->interpreter();
  ASSERT_NE(cm.CurrentPage(), nullptr);
  EXPECT_EQ(cm.CurrentPage()->name(), "after.nsb");
  EXPECT_EQ(cm.Position(), 1) << "from the after-load index";
  EXPECT_EQ(cm.StackCount(), 3) << "the restored position was pushed";
  player.frames(1);
  // The page ran from its second command and ended; the deeper page's Wait
  // resumed with its saved state, so the game is the saved one again (with
  // the clicks, a status variable, outside the record).
  EXPECT_EQ(player.context().services.variables()->store.find("clicks")->value().as_int(), 10);
  ASSERT_NE(cm.CurrentPage(), nullptr);
  EXPECT_EQ(cm.CurrentPage()->name(), "deeper.nsb");
  EXPECT_TRUE(cm.Started());
  EXPECT_EQ(cm.StackCount(), 2);
  EXPECT_EQ(cm.Position(), 1) << "at the Wait";
}

TEST_F(GameSave, ADamagedRecordChangesNothingAndTellsThePlayerOnce) {
  ASSERT_NE(project, nullptr);
  // Thousands of refused loads, each logged.
  core::set_stderr_logging(false);
  struct Restore {
    ~Restore() { core::set_stderr_logging(true); }
  } restore;
  add_state();
  script::GameRecordHead head;
  head.caption = "c";
  const Bytes good = project->GameRecord(head);
  const Bytes before = record();
  const std::string refused = sjis("このセーブデータは使用できません") + "\r\n" + sjis("終了してください");
  core::FrameClock& clock = player.context().clock;

  std::size_t shown = boxes();
  auto refuses = [&](const Bytes& bytes, const std::string& what) {
    EXPECT_FALSE(project->LoadGameRecord(bytes)) << what;
    const auto all = player.platform().message_boxes();
    ASSERT_EQ(all.size(), shown + 1) << what;
    EXPECT_EQ(all.back().text, refused) << what;
    EXPECT_EQ(all.back().icon, platform::MessageIcon::Warning);
    shown = all.size();
    EXPECT_FALSE(clock.TerminateFlag.load()) << what;
    ASSERT_EQ(difference(record(), before), "") << what;
  };

  Bytes old = good;
  old[0] = 106;
  refuses(old, "version 106");
  Bytes newer = good;
  newer[0] = 141;
  refuses(newer, "version 141");

  // The screen record follows the head (version, caption "c", empty
  // after-load page, index): its width first.
  const std::size_t width_at = 4 + 4 + 1 + 4 + 4;
  Bytes other_size = good;
  other_size[width_at] = 65;
  refuses(other_size, "another screen size");

  // The tile's type byte stands before its name; a type without a class
  // leaves the rest unreadable.
  const std::string tile_name = std::string("\x04\0\0\0tile", 8);
  auto at = std::search(good.begin(), good.end(), tile_name.begin(), tile_name.end());
  ASSERT_NE(at, good.end());
  const auto type_at = static_cast<std::size_t>(at - good.begin()) - 1;
  ASSERT_EQ(good[type_at], components::LT_TILE);
  Bytes unknown = good;
  unknown[type_at] = components::LT_BUTTON;
  refuses(unknown, "a type byte without a class");

  // Every truncation of the first 16 KiB, then a few hundred beyond.
  const std::size_t dense = std::min<std::size_t>(good.size(), 16384);
  for (std::size_t n = 0; n < dense; ++n) {
    refuses(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)), "cut at " + std::to_string(n));
    if (::testing::Test::HasFatalFailure()) return;
  }
  for (std::size_t n = dense; n < good.size(); n += std::max<std::size_t>(1, (good.size() - dense) / 300)) {
    refuses(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)), "cut at " + std::to_string(n));
    if (::testing::Test::HasFatalFailure()) return;
  }
  // The whole record still loads.
  EXPECT_TRUE(project->LoadGameRecord(good));
  EXPECT_EQ(record(), before);
}

TEST_F(GameSave, SlotsCaptionsAndTheSaveFilesOtherEntries) {
  ASSERT_NE(project, nullptr);
  expr::TParamCollection& store = player.context().services.variables()->store;
  const fs::path save = player.save_file();

  EXPECT_FALSE(project->SaveGame({3, "", "", 0})) << "an empty caption saves nothing";
  EXPECT_FALSE(fs::exists(save));
  EXPECT_TRUE(project->SaveCaptions().empty());

  ASSERT_TRUE(project->SaveGame({3, "one", "", 0}));
  store.find("g")->value().set_int(6);
  ASSERT_TRUE(project->SaveGame({4, "four", "", 0}));
  const Bytes four = slot_bytes(save, 4);
  store.find("g")->value().set_int(7);
  ASSERT_TRUE(project->SaveGame({3, "two", "", 0}));
  EXPECT_EQ(project->SaveCaption(3), "two");
  EXPECT_EQ(slot_bytes(save, 4), four) << "another slot stays as it was";
  auto archive = script::TSaveFile(save).open();
  int slot3 = 0;
  for (int i = 0; i < archive->Count(); ++i) slot3 += archive->At(i).Name() == "GAMESAVEDATA3" ? 1 : 0;
  EXPECT_EQ(slot3, 1) << "saving a slot twice leaves one entry";
  EXPECT_NE(archive->Find(script::kStatusEntryName), nullptr) << "the status goes with every save";

  // Loading slot 3 gives the later content; a missing slot changes
  // nothing and tells nothing.
  ASSERT_TRUE(project->LoadGame(3));
  EXPECT_EQ(store.find("g")->value().as_int(), 7);
  const Bytes before = record();
  EXPECT_FALSE(project->LoadGame(12));
  EXPECT_EQ(record(), before);
  EXPECT_EQ(boxes(), 0u);
}

TEST_F(GameSave, AStoreThatFailsKeepsTheFileAndTheCaptions) {
  ASSERT_NE(project, nullptr);
  ASSERT_TRUE(project->SaveGame({1, "kept", "", 0}));
  const std::string file = read_file(player.save_file());
  const auto captions = project->SaveCaptions();

  platform::set_atomic_write_fault([](const fs::path&) { return ENOSPC; });
  EXPECT_FALSE(project->SaveGame({1, "lost", "", 0}));
  EXPECT_FALSE(project->SaveGame({2, "lost", "", 0}));
  platform::set_atomic_write_fault({});
  EXPECT_EQ(read_file(player.save_file()), file);
  EXPECT_EQ(project->SaveCaptions(), captions);
  const auto all = player.platform().message_boxes();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].caption, sjis("警告"));
  EXPECT_NE(all[0].text.find(std::strerror(ENOSPC)), std::string::npos) << all[0].text;
}

class ReadOnlyGameSave : public GameSave {
 protected:
  ReadOnlyGameSave() : GameSave(read_only()) {}
  static InProcessOptions read_only() {
    InProcessOptions o;
    o.read_only_title = true;
    return o;
  }
};

TEST_F(ReadOnlyGameSave, AFolderThatTakesNoFilesKeepsTheFileAndTheCaptions) {
  ASSERT_NE(project, nullptr);
  // A save file from before (the System service only answers for new
  // files; the test runs as root and could write anyway).
  script::TSaveFile(player.save_file()).put_entry("save:kept", Bytes{1, 2, 3});
  const std::string file = read_file(player.save_file());
  EXPECT_FALSE(project->SaveGame({1, "lost", "", 0}));
  EXPECT_EQ(read_file(player.save_file()), file);
  EXPECT_TRUE(project->SaveCaptions().empty());
  const auto all = player.platform().message_boxes();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].caption, sjis("警告"));
  EXPECT_NE(all[0].text.find("not writable"), std::string::npos) << all[0].text;
}

class KeepStatusOff : public GameSave {
 protected:
  KeepStatusOff() : GameSave({}, "keep_status: no\n") {}
};

TEST_F(KeepStatusOff, GamesAreSavedAndTheStatusEntryIsLeftAsItWas) {
  ASSERT_NE(project, nullptr);
  const Bytes old_status = {'o', 'l', 'd'};
  script::TSaveFile(player.save_file()).put_entry(script::kStatusEntryName, old_status);
  ASSERT_TRUE(project->SaveGame({1, "c", "", 0}));
  EXPECT_FALSE(slot_bytes(player.save_file(), 1).empty());
  auto archive = script::TSaveFile(player.save_file()).open();
  const files::TVrFile* status = archive->Find(script::kStatusEntryName);
  ASSERT_NE(status, nullptr);
  files::MemoryBlock data;
  archive->ReadEntry(*status, data);
  EXPECT_EQ(Bytes(data.bytes().begin(), data.bytes().end()), old_status);
}

}  // namespace
}  // namespace nova::test
