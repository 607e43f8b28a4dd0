#include "script/game_record.h"

#include "components/base_list.h"
#include "components/component_types.h"
#include "components/nova_mes.h"
#include "core/error.h"
#include "core/format.h"
#include "data/db_manager.h"
#include "data/history_format.h"
#include "expr/param_collection.h"
#include "script/callman.h"

namespace nova::script {

void write_game_record(core::ByteWriter& w, const GameParts& parts, const GameRecordHead& head) {
  w.i32(kGameRecordVersion);
  w.str(head.caption);
  w.str(head.after_load_page);
  w.i32(head.after_load_index);
  parts.list.WriteScreen(w);
  parts.history.Save(w);
  parts.interpreter.SaveState(w);
  parts.store.save_game_variables(w);
  parts.tables.save(w, data::TDBManager::Form::Game);
}

std::vector<std::uint8_t> game_record_bytes(const GameParts& parts, const GameRecordHead& head) {
  core::ByteWriter w;
  write_game_record(w, parts, head);
  return w.take();
}

GameRecordHead read_game_record_head(core::ByteReader& r) {
  GameRecordHead head;
  head.version = r.i32();
  if (head.version < kOldestGameRecordVersion || head.version > kGameRecordVersion) {
    r.fail(core::format("game record version %d (this player reads %d to %d)",
                        {head.version, kOldestGameRecordVersion, kGameRecordVersion}));
  }
  head.caption = r.str();
  head.after_load_page = r.str();
  head.after_load_index = r.i32();
  return head;
}

GameRecordHead load_game_record(std::span<const std::uint8_t> record, GameParts& parts) {
  core::ByteReader r(record);
  r.set_context("game record");
  const GameRecordHead head = read_game_record_head(r);
  const std::int32_t version = head.version;

  {
    // The screen's size is the project's: pictures, the panel and every
    // position in the record were made for it.
    core::ByteReader size = r;
    const std::int32_t width = size.i32();
    const std::int32_t height = size.i32();
    if (width != parts.screen_width || height != parts.screen_height) {
      r.fail(core::format("the saved screen is %d x %d, the title's %d x %d",
                          {width, height, parts.screen_width, parts.screen_height}));
    }
  }
  // The parts are replaced one after the other here anyway (see the
  // header): a trial read of the screen would protect nothing, and costs as
  // much as the read itself.
  parts.list.ReadScreen(r, version, components::TNovaBaseList::TrialRead::Skip);
  parts.history.Load(r, version);
  parts.interpreter.LoadState(r, version);
  if (parts.enter_after_load && !head.after_load_page.empty()) parts.interpreter.EnterAfterLoad(head.after_load_page, head.after_load_index);
  const bool block_settings = version >= kBlockSettingsFirstVersion && version <= kBlockSettingsLastVersion;
  parts.store.load_game_variables(r, version, [&parts](core::ByteReader& settings) {
    parts.history.ReadVariableBlockSettings(settings);
  });
  if (block_settings) parts.history.ApplyVariableBlockSettings();
  // An older record leaves the game tables as they are: it has none.
  if (version > kGameTablesAfterVersion) parts.tables.load(r, data::TDBManager::Form::Game);

  for (std::int32_t i = 0; parts.refresh_boxes && i < parts.list.ItemCount(); ++i) {
    components::TNovaObject* o = parts.list.GetItem(i);
    if (!o || o->ComponentType() != components::LT_MES || parts.list.IsPendingDeletion(*o)) continue;
    static_cast<components::TNovaMes*>(o)->RefreshAfterLoad();
  }
  return head;
}

WholeLoad load_game_whole(std::span<const std::uint8_t> record, GameParts& parts, core::ByteWriter* buffer) {
  WholeLoad result;
  core::ByteWriter own;
  core::ByteWriter& writer = buffer ? *buffer : own;
  writer.clear();
  write_game_record(writer, parts, {});
  const std::span<const std::uint8_t> snapshot = writer.data();
  try {
    load_game_record(record, parts);
    return result;
  } catch (const std::exception& e) {
    result.error = e.what();
  }
  try {
    load_game_record(snapshot, parts);
    result.outcome = WholeLoad::Outcome::Restored;
  } catch (const std::exception& e) {
    result.outcome = WholeLoad::Outcome::Broken;
    result.restore_error = e.what();
  }
  return result;
}

}  // namespace nova::script
