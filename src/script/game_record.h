// The game record: one save slot's content in "save.dat".
//
//   version              int32; written as 140, read from 107
//   caption              string
//   after-load page      string, empty: none
//   after-load index     int32
//   components           the base list's screen record
//   message history      the history formats (below 135 one history)
//   interpreter state    TCallMan::SaveState
//   game variables       the store's game block (113 to 134 hold the
//                        default history format's settings inside it)
//   game DB tables       above version 122
//
// Each part is its owner's record; this file only places them and applies
// the version rules. Reading does not protect the running game by itself:
// the parts are replaced one after the other, so a record damaged half-way
// leaves a mixed game. TProject snapshots the game with the writer first
// and loads the snapshot back when a load fails.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/binary_io.h"

namespace nova::components {
class TNovaBaseList;
}
namespace nova::data {
class TNovaHistoryFormatManager;
class TDBManager;
}  // namespace nova::data
namespace nova::expr {
class TParamCollection;
}

namespace nova::script {

class TCallMan;

constexpr std::int32_t kGameRecordVersion = 140;
constexpr std::int32_t kOldestGameRecordVersion = 107;
// Records above this version end with the game tables.
constexpr std::int32_t kGameTablesAfterVersion = 122;
// Records from 113 to 134 keep the history settings in the variable block.
constexpr std::int32_t kBlockSettingsFirstVersion = 113;
constexpr std::int32_t kBlockSettingsLastVersion = 134;

// Everything a game record holds besides its head. All borrowed.
struct GameParts {
  components::TNovaBaseList& list;
  data::TNovaHistoryFormatManager& history;
  TCallMan& interpreter;
  expr::TParamCollection& store;
  data::TDBManager& tables;
  // The project's screen: a record of another size is refused.
  std::int32_t screen_width = 0;
  std::int32_t screen_height = 0;
  // Whether the message boxes lay out their texts after the load (a game
  // that is only inspected has no glyphs to lay them out with).
  bool refresh_boxes = true;
  // Whether the after-load page runs (a game that is only inspected shows
  // the position it was saved at).
  bool enter_after_load = true;
};

struct GameRecordHead {
  std::int32_t version = kGameRecordVersion;
  std::string caption;
  std::string after_load_page;
  std::int32_t after_load_index = 0;
};

// Writes a record of version 140 (the head's version is not used).
void write_game_record(core::ByteWriter& w, const GameParts& parts, const GameRecordHead& head);
std::vector<std::uint8_t> game_record_bytes(const GameParts& parts, const GameRecordHead& head);

// Reads the head; raises core::Error for a version outside 107 ... 140 or
// a truncated head.
GameRecordHead read_game_record_head(core::ByteReader& r);

// Reads a whole record into the game: the components, the history, the
// interpreter (then the after-load page, when the head names one), the
// variables and the tables, and lets every message box lay out its text
// again. Raises core::Error (or a standard exception of the parts) on any
// failure, with the game then partly replaced.
GameRecordHead load_game_record(std::span<const std::uint8_t> record, GameParts& parts);

// A load that is all or nothing: the running game is written into memory
// first and loaded back when the record fails to load.
struct WholeLoad {
  enum class Outcome {
    Loaded,    // the record's game runs now
    Restored,  // the record failed; the game is the one that ran before
    Broken,    // the record failed and so did the restore
  };
  Outcome outcome = Outcome::Loaded;
  std::string error;          // why the record failed
  std::string restore_error;  // why the restore failed too
};
// `buffer`, when given, holds the snapshot (its memory is reused from
// save to save); it must not hold `record`.
WholeLoad load_game_whole(std::span<const std::uint8_t> record, GameParts& parts, core::ByteWriter* buffer = nullptr);

}  // namespace nova::script
