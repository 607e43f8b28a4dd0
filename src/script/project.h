// TProject: one title's run. Its constructor is the whole start of the
// title, in the system's order:
//
//   1. TerminateFlag on, the defaults
//   2. without command-line arguments: locate the title's data
//   3. read "nova.npb" ("プロジェクトがありません" when missing or empty)
//   4. take the settings (a version above 115 raises
//      "このバージョンには対応していません")
//   5. restore the status record from "save.dat" and the "save:" files
//   6. create the initial variables that do not exist, as status variables
//   7. TerminateFlag off
//   8. read the save captions
//   9. "/original_nova.npb", when present, gives the folder-disc list
//  10. create the interpreter and start it at the start page
//      ("スタートページがありません" when it is missing)
//
// A start that stops at steps 2, 3 or 10 leaves TerminateFlag set after its
// message, and the player ends. The destructor runs the exit page for one
// tick and writes the status record, but only when this run restored it
// (step 5), so a failed start never overwrites the real status.
//
// The project is the interpreter's ScriptHost: pages are read through the
// virtual file manager, EnsureFile asks for another disc when the
// folder-disc list says so, and fatal conditions show a warning box.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/frame_clock.h"
#include "data/db_manager.h"
#include "expr/param_collection.h"
#include "expr/sys_func_man.h"
#include "expr/system_variable_router.h"
#include "files/file_manager.h"
#include "platform/dialogs.h"
#include "script/callman.h"
#include "script/game_record.h"
#include "script/project_setting.h"
#include "script/save_file.h"
#include "script/script_host.h"
#include "script/script_variables.h"
#include "script/text_source.h"

namespace nova::components {
class TNovaBaseList;
}
namespace nova::data {
class TDBManager;
}

namespace nova::script {

// The largest screen side a title may ask for; the start refuses more.
inline constexpr std::int32_t kMaxScreenSide = 16384;

struct ProjectServices {
  core::FrameClock& clock;
  files::TVrFileManager& files;
  expr::TParamCollection& store;
  const expr::TSysFuncMan& funcs;
  platform::Dialogs& dialogs;
  // The store's provider of system variables: the interpreter answers its
  // five there while it lives.
  expr::TSystemVariableRouter& system_variables;
  // The component system's base list; null without one.
  components::TNovaBaseList* base_list = nullptr;
  // The player's DB tables (TitleServices owns them); null: the project
  // keeps tables of its own.
  data::TDBManager* tables = nullptr;
};

struct ProjectOptions {
  // The command line's data arguments and where the save file may lie.
  SavePathInputs save_paths;
  // Posts a close request to the main window.
  std::function<void()> request_close;
  // Called after every fatal message (the headless player then ends with a
  // failure status).
  std::function<void()> on_fatal;
  // The interpreter's trace lines and swallowed errors.
  TCallMan::TraceHook trace;
  // How "save.dat" is written (tests interrupt it); default: atomically.
  TSaveFile::Store save_store;
  // The component system's event queue and component names, when it
  // exists.
  EventQueue* events = nullptr;
  const ComponentDirectory* directory = nullptr;
};

class TProject final : public ScriptHost {
 public:
  TProject(ProjectServices services, ProjectOptions options);
  ~TProject() override;
  TProject(const TProject&) = delete;
  TProject& operator=(const TProject&) = delete;

  // --- The settings -------------------------------------------------------------
  const std::string& title() const { return m_setting.title; }
  std::int32_t screen_width() const { return m_setting.screen_width; }
  std::int32_t screen_height() const { return m_setting.screen_height; }
  std::int32_t display_option_a() const { return m_setting.display_option_a; }
  std::int32_t display_option_b() const { return m_setting.display_option_b; }
  const std::string& start_page() const { return m_setting.start_page; }
  const std::string& exit_page() const { return m_setting.exit_page; }
  const std::string& registry_key() const { return m_setting.registry_key; }
  std::int32_t image_key() const { return m_setting.image_key; }
  // The read marks kept with the status, until the component system holds
  // them.
  components::TNovaReadList& ReadMarks() { return m_status_tail.read_marks; }
  bool keep_status() const { return m_setting.keep_status != 0; }
  std::uint8_t idle_option() const { return m_setting.idle_option; }
  const std::string& streamed_extensions() const { return m_setting.streamed_extensions; }
  bool pause_when_inactive() const { return m_setting.pause_when_inactive != 0; }
  const std::string& disc_text() const { return m_setting.disc_text; }
  const std::string& quit_text() const { return m_setting.quit_text; }
  const files::TFolderDiskList& folders() const { return m_setting.folders; }

  // The interpreter; null when the start stopped before step 10.
  TCallMan* interpreter() const { return m_interpreter.get(); }
  // Where message boxes read the texts of text commands: the interpreter's
  // pages, else the page files. It lives as long as the project.
  data::TextCommandSource& TextSource() { return m_texts; }
  // One interpreter tick (nothing without an interpreter).
  void RunTick();
  // The start passed the status restore: the status is written at the end.
  bool status_restored() const { return m_status_restored; }
  // The DB tables: the status record's and the game record's.
  data::TDBManager& tables() const { return *m_tables; }

  // --- Saves ----------------------------------------------------------------------
  // The save file's path, computed on first use and kept.
  const std::filesystem::path& SaveFilePath();
  std::string SaveCaption(std::int32_t slot) const;
  void SetSaveCaption(std::int32_t slot, std::string caption) { m_captions[slot] = std::move(caption); }
  const std::map<std::int32_t, std::string>& SaveCaptions() const { return m_captions; }
  // Writes the status record into "save.dat" when keep status is on and the
  // save file's folder exists; errors while storing are logged, not raised.
  void WriteStatus();
  // Stores "save.dat" with these entries (a game slot, the status ...) and
  // every in-memory "save:" file, each replacing the entry of its name or
  // added; other entries are kept. The file is replaced atomically. Raises
  // core::Error when it cannot be stored (the old file is then untouched).
  void StoreSaveEntries(std::span<const TSaveFile::Entry> entries);

  // Requests of GameSave and GameLoad, performed after the tick; -1: none.
  std::int32_t pending_load_slot = -1;
  std::int32_t pending_save_slot = -1;
  // The frame's save and load step: a requested load first, then a
  // requested save. Answers whether a load was requested (that frame is not
  // composed). Nothing raises: failures are shown in a warning box.
  bool PerformPendingSaveLoad();
  // Loads a slot now. A slot that "save.dat" lacks changes nothing. A load
  // is all or nothing: the running game is written into memory first and
  // loaded back when the record cannot be loaded whole; the player is told
  // so ("このセーブデータは使用できません" / "終了してください") and goes on
  // with the game it had. Only when that restore fails too is TerminateFlag
  // set. Answers whether the slot was loaded.
  bool LoadGame(std::int32_t slot);
  // The same with a record in memory.
  bool LoadGameRecord(std::span<const std::uint8_t> record);
  // Saves a slot now with the request's caption and after-load place: the
  // record, the status (when it is kept) and the "save:" files in one
  // store. An empty caption saves nothing. A store that fails shows a
  // warning box with its error and leaves the captions and "save.dat" as
  // they were. Answers whether the slot was saved.
  bool SaveGame(const GameSaveRequest& request);
  // The running game's record (what SaveGame stores, with this head).
  std::vector<std::uint8_t> GameRecord(const GameRecordHead& head = {});

  // --- ScriptHost -------------------------------------------------------------------
  bool EnsureFile(std::string_view name) override;
  bool Exists(std::string_view name) override;
  std::vector<std::uint8_t> ReadFile(std::string_view name) override;
  void ShowFatal(std::string_view caption, std::string_view text) override;
  void RequestClose() override;
  void ResetTitle(std::string_view command) override;
  void RequestGameSave(GameSaveRequest request) override;
  void RequestGameLoad(std::int32_t slot) override;

 private:
  void start();
  void take_settings(const TProjectSetting& s);
  // Returns the opened save file, which step 8 reads again.
  std::unique_ptr<files::TVrFileCollection> restore_status();
  void create_initial_variables();
  void read_save_captions(files::TVrFileCollection& archive);
  files::DiscPrompt prompt() const;
  TSaveFile save_file();
  // The parts of a game record; raises when the component system or the
  // tables are missing.
  GameParts game_parts();
  std::vector<std::uint8_t> status_record();
  // Writes the running game's record into m_record_buffer and answers it.
  std::span<const std::uint8_t> write_record(const GameRecordHead& head);
  // Whether the status is written: keep status is on and the save file's
  // folder exists.
  bool status_kept();
  void warn(std::string_view caption, std::string_view text);
  void trace(std::string_view line);
  void report_load_failure(std::string_view what);

  ProjectServices m_services;
  ProjectOptions m_options;
  std::unique_ptr<data::TDBManager> m_own_tables;
  data::TDBManager* m_tables;

  // The built-in values until "nova.npb" is taken (a start that stops
  // before it shows them), then the file's, with step 9's folder-disc list.
  TProjectSetting m_setting;
  std::map<std::int32_t, std::string> m_captions;
  GameSaveRequest m_pending_save;
  std::optional<std::filesystem::path> m_save_path;
  TStatusTail m_status_tail;
  // The buffer every game record is written into, kept between saves: a
  // save is a megabyte of records in a large game, and memory the process
  // already has is filled far faster than fresh pages.
  core::ByteWriter m_record_buffer;
  bool m_status_restored = false;

  std::unique_ptr<TCallMan> m_interpreter;
  std::unique_ptr<TInterpreterVariables> m_variables;
  TScriptTextSource m_texts{*this};
};

}  // namespace nova::script
