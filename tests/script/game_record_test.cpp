// The game record outside the player: records of every version from 107,
// laid out by hand part by part, load into the state each version holds
// (the single history and its settings in the variable block before 135,
// the tables only above 122), and what loaded writes a record of 140 that
// loads and writes again to the same bytes.
#include <gtest/gtest.h>

#include <memory>

#include "components/base_list.h"
#include "core/error.h"
#include "components/component_factory.h"
#include "data/db_manager.h"
#include "data/history_format.h"
#include "data/history_records.h"
#include "game_layouts.h"
#include "script/game_record.h"
#include "script_fixture.h"
#include "test_classes.h"

namespace nova::script::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A game of its own: the test classes on a 64 × 48 screen, the history,
// the tables, and an interpreter over one page.
struct Game {
  Game() {
    test::register_test_classes(factory);
    list.ReleaseSurfaces();
    list.SetScreenSize(64, 48);
    list.set_history(&history);
    host.files["main.nsb"] = page_bytes({Cmd("Wait").e("time", "100000"), Cmd("Calc").e("expression", "g = 1")});
    cm.set_event_queue(&list.events());
    cm.set_component_directory(&list);
  }
  GameParts parts() { return GameParts{list, history, cm, store, tables, 64, 48, false}; }
  Bytes record() { return game_record_bytes(parts(), {}); }

  components::TComponentFactory factory;
  core::FrameClock clock;
  expr::TParamCollection store;
  expr::TSysFuncMan funcs;
  MemoryHost host;
  components::TNovaBaseList list{{factory}};
  data::TNovaHistoryFormatManager history;
  data::TDBManager tables;
  TCallMan cm{{clock, store, funcs, host, &list}};
};

// A record of `version` with the interpreter state of a game just started
// at main.nsb.
Bytes old_record(std::int32_t version) {
  Game source;
  source.cm.StartAt("main.nsb");
  core::ByteWriter state;
  source.cm.SaveState(state);
  return test::old_game_record(version, state.data());
}

TEST(GameRecord, EveryVersionFrom107LoadsWhatItHoldsAndWritesBackAt140) {
  for (std::int32_t version : {107, 112, 113, 116, 118, 119, 122, 123, 124, 134, 135, 138, 139, 140}) {
    SCOPED_TRACE(version);
    Game game;
    // A table of the running game: a record without tables leaves it.
    game.tables.create("running", false);
    const Bytes bytes = old_record(version);
    GameParts parts = game.parts();
    GameRecordHead head;
    ASSERT_NO_THROW(head = load_game_record(bytes, parts));
    EXPECT_EQ(head.version, version);
    EXPECT_EQ(head.caption, "old");

    ASSERT_NE(game.list.FindComponent("w"), nullptr);
    ASSERT_NE(game.list.FindComponent("clock"), nullptr);
    EXPECT_EQ(game.list.front_index(), 1);
    EXPECT_EQ(game.list.events().entries().size(), 1u);
    EXPECT_EQ(game.list.focus() != nullptr, version >= 119) << "the focus is stored from 119";

    ASSERT_EQ(game.history.FormatCount(), 1u);
    const data::TNovaHistoryFormat& format = game.history.Default();
    ASSERT_EQ(format.History().entries().size(), 2u);
    EXPECT_EQ(data::effective_key(format.History().entries(), 1), "a.nsb");
    const data::HistoryLayout settings = version >= 135 ? test::kFormatSettings
                                         : version >= 113 ? test::kBlockSettings
                                                          : data::HistoryLayout{};
    EXPECT_EQ(format.Settings(), settings) << "below 135 the settings come from the variable block";

    ASSERT_NE(game.cm.CurrentPage(), nullptr);
    EXPECT_EQ(game.cm.CurrentPage()->name(), "main.nsb");
    EXPECT_EQ(game.cm.EventLevel(), 2);

    ASSERT_NE(game.store.find("g"), nullptr);
    EXPECT_EQ(game.store.find("g")->value().as_int(), 5);
    EXPECT_EQ(game.store.text_delay(), 70);
    EXPECT_EQ(game.store.selected_string(), "sel");
    EXPECT_EQ(game.store.temp_name(), version > 120 ? "tmp" : "");
    EXPECT_EQ(game.store.pushed_count(), version >= 139 ? 1u : 0u);

    EXPECT_EQ(game.tables.find("scores") != nullptr, version > 122);
    EXPECT_EQ(game.tables.find("running") != nullptr, version <= 122) << "tables are replaced only above 122";

    // Written at 140, loaded into a new game and written again: the same.
    const Bytes first = game.record();
    Game again;
    GameParts again_parts = again.parts();
    ASSERT_NO_THROW(load_game_record(first, again_parts));
    EXPECT_EQ(again.record(), first);
  }
}

TEST(GameRecord, HeadsOutsideTheReadableVersionsAndOtherScreensAreRefused) {
  Game game;
  const Bytes before = game.record();
  for (std::int32_t version : {106, 141}) {
    Bytes bytes = old_record(140);
    bytes[0] = static_cast<std::uint8_t>(version);
    GameParts parts = game.parts();
    EXPECT_THROW(load_game_record(bytes, parts), core::Error) << version;
    EXPECT_EQ(game.record(), before) << "refused before anything was read";
  }
  GameParts other = game.parts();
  other.screen_width = 65;
  EXPECT_THROW(load_game_record(old_record(140), other), core::Error);
  EXPECT_EQ(game.record(), before);
}

TEST(GameRecord, AWholeLoadThatFailsLeavesTheRunningGame) {
  Game game;
  GameParts parts = game.parts();
  ASSERT_NO_THROW(load_game_record(old_record(139), parts));
  game.list.SetFocus(nullptr);
  const Bytes before = game.record();
  const Bytes good = old_record(140);
  for (std::size_t n = 0; n < good.size(); n += 7) {
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    const WholeLoad load = load_game_whole(cut, parts);
    ASSERT_EQ(load.outcome, WholeLoad::Outcome::Restored) << n;
    EXPECT_FALSE(load.error.empty());
    ASSERT_EQ(game.record(), before) << "cut at " << n;
  }
  EXPECT_EQ(load_game_whole(good, parts).outcome, WholeLoad::Outcome::Loaded);
  EXPECT_NE(game.record(), before);
}

class SaveCommands : public InterpreterTest {};

TEST_F(SaveCommands, GameSaveAndGameLoadHandTheirRequestsOverAndEndTheTick) {
  var("slot").value().set_int(4);
  var("after");
  page("main.nsb", {Cmd("GameSave")
                        .e("slot", "slot + 1")
                        .s("after_load_page", "after.nsb")
                        .i("after_load_index", 2)
                        .e("caption", "\"c\" ++ \"d\"")
                        .go(),
                    Cmd("Calc").e("expression", "after = 1").go(), Cmd("GameLoad").e("slot", "").go(),
                    Cmd("Calc").e("expression", "after = 2")},
       110);
  cm->StartAt("main.nsb");
  tick();
  ASSERT_EQ(host.saves.size(), 1u);
  EXPECT_EQ(host.saves[0].slot, 5);
  EXPECT_EQ(host.saves[0].caption, "cd");
  EXPECT_EQ(host.saves[0].after_load_page, "after.nsb");
  EXPECT_EQ(host.saves[0].after_load_index, 2);
  EXPECT_EQ(ivalue("after"), 0) << "the request ends the tick";
  EXPECT_EQ(position(), 1) << "a loaded game goes on after its GameSave";
  tick();
  EXPECT_EQ(ivalue("after"), 1);
  EXPECT_EQ(host.loads, std::vector<std::int32_t>{0}) << "no slot is slot 0";
  EXPECT_EQ(position(), 3);
  tick();
  EXPECT_EQ(ivalue("after"), 2);
  EXPECT_EQ(host.saves.size(), 1u);
}

}  // namespace
}  // namespace nova::script::testing
