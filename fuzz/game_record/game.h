// What the game record fuzzer and its seeds share: a running game of its
// own (the product's classes and the test classes on a 64 × 48 screen, the
// history, the tables, and an interpreter over the sample pages) and the
// state it is given before each input loads.
#pragma once

#include <cstdint>
#include <vector>

#include "../component_record/stream.h"
#include "../script_common/samples.h"
#include "data/db_manager.h"
#include "data/history_format.h"
#include "game_layouts.h"
#include "script/game_record.h"

namespace nova::fuzz {

struct FuzzGame {
  FuzzGame() {
    list.ReleaseSurfaces();
    list.SetScreenSize(64, 48);
    list.set_history(&history);
    cm.set_event_queue(&list.events());
    cm.set_component_directory(&list);
  }
  script::GameParts parts() { return script::GameParts{list, history, cm, store, tables, 64, 48, false}; }
  std::vector<std::uint8_t> record() { return script::game_record_bytes(parts(), {}); }

  // The interpreter's state at the start of main.nsb, nothing started.
  std::vector<std::uint8_t> fresh_state() {
    cm.StartAt("main.nsb");
    core::ByteWriter w;
    cm.SaveState(w);
    return w.take();
  }

  // A game with a little of everything: the hand-laid record of 139, then
  // a table, an array, a local of a call in progress and a started Wait.
  void populate() {
    const std::vector<std::uint8_t> state = fresh_state();
    script::GameParts p = parts();
    script::load_game_record(test::old_game_record(139, state), p);
    data::TDBTable& t = tables.create("t", false);
    t.add_field("name", data::DBFieldType::String, 8);
    t.add_field("n", data::DBFieldType::Integer);
    t.append();
    t.set_str(0, 0, "abc");
    bool created = false;
    store.create("i", expr::PT_INT, expr::TVarScope::Global, created);  // the sample page counts in it
    expr::TCustomParam& a = store.create("arr", expr::PT_INT, expr::TVarScope::Global, created).value();
    const std::int32_t three[] = {3};
    a.set_dims(three);
    cm.StartAt("main.nsb");
    for (int i = 0; i < 3; ++i) {
      clock.GameClockMs.store(clock.GameClockMs.load() + 15);
      cm.RunTick();
    }
  }

  core::FrameClock clock;
  expr::TParamCollection store;
  expr::TSysFuncMan funcs;
  MemoryHost host{sample_pages()};
  components::TNovaBaseList list{{record_factory()}};
  data::TNovaHistoryFormatManager history;
  data::TDBManager tables;
  script::TCallMan cm{{clock, store, funcs, host, &list}};
};

}  // namespace nova::fuzz
