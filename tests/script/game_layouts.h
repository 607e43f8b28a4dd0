// Game records of older versions laid out by hand, part by part, as each
// version's writer laid them out: for the record tests and the fuzzer's
// seeds.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/binary_io.h"
#include "data/db_manager.h"
#include "data/history_format.h"
#include "data/history_records.h"
#include "expr/param_collection.h"
#include "expr/params.h"
#include "record_layouts.h"
#include "script/callman.h"
#include "script/game_record.h"

namespace nova::test {

inline const data::HistoryLayout kBlockSettings{11, 12, 13, 14, 15, 16};
inline const data::HistoryLayout kFormatSettings{21, 22, 23, 24, 25, 26};

inline void write_layout(core::ByteWriter& w, const data::HistoryLayout& l) {
  for (std::int32_t v : {l.font_size, l.border_width, l.shadow_width, l.width, l.height, l.line_spacing}) w.i32(v);
}

// One history as a record of `version` stores it: two list entries (the
// second's key stored empty) and a pending page.
inline void write_history(core::ByteWriter& w, std::int32_t version) {
  const data::HistoryEntries entries = {{"a.nsb", 3, 0, 200, 40}, {"", 5, 1, 200, 40}};
  if (version < data::kHistoryRowsVersion) {
    w.str({});
    data::write_entry_columns(w, entries);
  } else {
    data::write_entry_rows(w, entries);
  }
  w.str("b.nsb");  // the pending page: key, command, page, box size, box
  w.i32(7);
  w.i32(0);
  w.i32(200);
  w.i32(40);
  w.str("mes");
  if (version >= data::kHistoryRowsVersion) {
    w.i32(50);  // the most entries kept
    write_layout(w, {});
    w.i32(0);  // the pending page's first and last character
    w.i32(9);
    w.i32(0);  // no laid-out pages
  }
  if (version >= data::kHistorySnapshotVersion) w.str("x=1");
}

// A record of `version`, laid out as that version's writer laid it out:
// the hand-laid screen of the component tests (64 × 48), one history of
// two entries and a pending page (settings in the variable block from 113
// to 134, in the format record from 135), the interpreter state given
// (written at 140 by an interpreter whose command has not started), the
// game variable g = 5 with the fields of the version (a pushed block from
// 139), and a table "scores" above 122.
inline std::vector<std::uint8_t> old_game_record(std::int32_t version, std::span<const std::uint8_t> interpreter_state) {
  core::ByteWriter w;
  w.i32(version);
  w.str("old");
  w.str("");
  w.i32(0);
  w.bytes(std::span<const std::uint8_t>(test::screen_layout(version)));

  if (version >= data::kHistoryFormatsVersion) {
    w.i32(1);
    w.str("");
    write_layout(w, kFormatSettings);
  }
  write_history(w, version);

  // The interpreter, nothing started: EventLevel is its last field from
  // 116.
  w.bytes(interpreter_state.first(version < script::kEventLevelSaveVersion ? interpreter_state.size() - 4
                                                                           : interpreter_state.size()));

  // The variable records are the same at every version; the fields after
  // them came one by one.
  {
    expr::TParamCollection store;
    bool created = false;
    store.create("g", expr::PT_INT, expr::TVarScope::Global, created).value().set_int(5);
    core::ByteWriter block;
    store.save_game_variables(block);
    std::vector<std::uint8_t> bytes = block.take();
    // What follows the records in an empty store's block of 140: text
    // delay, cursor, selection text and index, temporary name, no pushed
    // blocks.
    bytes.resize(bytes.size() - 24);
    w.bytes(std::span<const std::uint8_t>(bytes));
  }
  w.i32(70);
  w.str("cursor");
  if (version > 102) {
    w.str("sel");
    w.i32(2);
  }
  if (version >= script::kBlockSettingsFirstVersion && version <= script::kBlockSettingsLastVersion) write_layout(w, kBlockSettings);
  if (version > 120) w.str("tmp");
  if (version >= 139) {
    w.i32(1);  // one pushed block holding g = 8
    w.i32(1);
    w.i32(expr::PT_INT);
    w.str("g");
    auto value = expr::make_value(expr::PT_INT);
    value->set_int(8);
    value->save(w);
  }

  if (version > script::kGameTablesAfterVersion) {
    data::TDBManager tables;
    data::TDBTable& t = tables.create("scores", false);
    t.add_field("n", data::DBFieldType::Integer);
    t.append();
    t.set_int(0, 0, 99);
    tables.save(w, data::TDBManager::Form::Game);
  }
  return w.take();
}

}  // namespace nova::test
