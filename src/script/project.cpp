#include "script/project.h"

#include <utility>

#include "components/base_list.h"
#include "core/error.h"
#include "core/format.h"
#include "core/log.h"
#include "core/sjis.h"
#include "data/db_manager.h"
#include "data/history_format.h"
#include "files/stream.h"

namespace nova::script {
namespace {

constexpr std::string_view kSettingsName = "nova.npb";
constexpr std::string_view kOriginalSettingsName = "/original_nova.npb";

// What the project answers until "nova.npb" is taken: the data location step
// may already ask for a disc with these texts, and a start that stops before
// the file keeps them (the window's caption is the title).
TProjectSetting built_in_setting() {
  TProjectSetting s;
  s.title = core::sjis("情報");
  s.keep_status = 1;
  s.idle_option = 1;
  s.streamed_extensions = "wav.wma.ogg";
  s.pause_when_inactive = 0;
  s.disc_text = core::sjis("ディスク%dを入れてから[OK]をクリックしてください");
  s.quit_text = core::sjis("終了します");
  return s;
}

}  // namespace

TProject::TProject(ProjectServices services, ProjectOptions options)
    : m_services(services),
      m_options(std::move(options)),
      m_own_tables(services.tables ? nullptr : std::make_unique<data::TDBManager>()),
      m_tables(services.tables ? services.tables : m_own_tables.get()) {
  start();
}

TProject::~TProject() {
  if (m_interpreter && !m_setting.exit_page.empty()) {
    try {
      m_interpreter->StartAt(m_setting.exit_page);
      m_services.clock.TerminateFlag.store(false);
      m_interpreter->RunTick();
    } catch (const std::exception& e) {
      core::logf(core::Channel::Script, core::Level::Warning, "the exit page %s: %s", {m_setting.exit_page, e.what()});
    }
    m_services.clock.TerminateFlag.store(true);
  }
  if (m_status_restored) {
    try {
      WriteStatus();
    } catch (const std::exception& e) {
      core::logf(core::Channel::Script, core::Level::Warning, "the status was not saved: %s", {e.what()});
    }
  }
  if (m_variables) m_services.system_variables.detach(*m_variables);
  m_texts.set_interpreter(nullptr);
  m_interpreter.reset();
}

// --- The start -----------------------------------------------------------------------

void TProject::start() {
  auto& terminate = m_services.clock.TerminateFlag;
  terminate.store(true);
  m_setting = built_in_setting();

  if (m_options.save_paths.arguments.empty() && !m_services.files.LocateStartupData(prompt())) {
    if (m_options.on_fatal) m_options.on_fatal();
    return;
  }

  std::vector<std::uint8_t> bytes;
  if (m_services.files.Exists(kSettingsName)) bytes = ReadFile(kSettingsName);
  if (bytes.empty()) {
    ShowFatal(core::sjis("警告"), core::sjis("プロジェクトがありません"));
    return;
  }
  take_settings(TProjectSetting::Parse(bytes));

  {
    // One opening of the save file serves the status (step 5) and the
    // captions (step 8).
    const auto save_archive = restore_status();
    create_initial_variables();
    terminate.store(false);
    read_save_captions(*save_archive);
  }

  if (m_services.files.Exists(kOriginalSettingsName)) {
    m_setting.folders = TProjectSetting::Parse(ReadFile(kOriginalSettingsName)).folders;
  }

  m_interpreter = std::make_unique<TCallMan>(
      TCallManServices{m_services.clock, m_services.store, m_services.funcs, *this, m_services.base_list});
  m_interpreter->set_event_queue(m_options.events);
  m_interpreter->set_component_directory(m_options.directory);
  m_interpreter->set_trace_hook(m_options.trace);
  m_texts.set_interpreter(m_interpreter.get());
  m_variables = std::make_unique<TInterpreterVariables>(*m_interpreter);
  m_services.system_variables.attach("interpreter", *m_variables, TInterpreterVariables::kIndexes);
  if (m_services.files.Exists(m_setting.start_page)) {
    m_interpreter->StartAt(m_setting.start_page);
  } else {
    ShowFatal(core::sjis("警告"), core::sjis("スタートページがありません"));
  }
}

void TProject::take_settings(const TProjectSetting& s) {
  // The window, the panel and every surface are sized from this; a damaged
  // file must not size them (a negative or huge side overflows the window
  // arithmetic and asks for gigabytes of pixels). 0 stays allowed: it means
  // a title without a screen.
  if (s.screen_width < 0 || s.screen_width > kMaxScreenSide || s.screen_height < 0 ||
      s.screen_height > kMaxScreenSide) {
    core::throw_error(core::format("%s: screen size %dx%d is out of range (0 to %d a side)",
                                   {kSettingsName, s.screen_width, s.screen_height, kMaxScreenSide}));
  }
  m_setting = s;
}

std::unique_ptr<files::TVrFileCollection> TProject::restore_status() {
  TSaveFile file = save_file();
  auto archive = file.open();
  if (files::TVrFile* entry = archive->Find(kStatusEntryName)) {
    files::MemoryBlock record;
    archive->ReadEntry(*entry, record);
    m_status_tail = read_status_record(record.bytes(), m_services.store, *m_tables);
  } else {
    m_status_tail = TStatusTail{};
  }
  // The quality flag lives in the base list from now on.
  if (m_services.base_list) m_services.base_list->SetImageQuality(m_status_tail.image_quality);
  for (int i = 0; i < archive->Count(); ++i) {
    const files::TVrFile& entry = archive->At(i);
    const std::string& name = entry.Name();
    if (entry.IsSentinel() || !core::starts_with_ci(name, kScriptFilePrefix)) continue;
    try {
      files::MemoryBlock data;
      archive->ReadEntry(entry, data);
      m_services.files.SetMemoryFile(name, data.bytes());
    } catch (const core::Error& e) {
      core::logf(core::Channel::Script, core::Level::Warning, "save.dat: %s: %s", {name, e.message()});
      files::TVrFileCollection& memory = m_services.files.MemoryArchive();
      if (int at = memory.IndexOf(name); at >= 0) memory.Delete(at);
    }
  }
  m_status_restored = true;
  return archive;
}

void TProject::create_initial_variables() {
  expr::TParamCollection& store = m_services.store;
  for (const TInitialVariable& v : m_setting.initial_variables) {
    if (store.find(v.name)) continue;  // a restored status variable keeps its value
    if (v.type > expr::PT_STR) {
      core::logf(core::Channel::Script, core::Level::Warning, "nova.npb: the initial variable %s has type %d; skipped",
                 {v.name, v.type});
      continue;
    }
    bool created = false;
    expr::TParamCollectionItem& item =
        store.create(v.name, static_cast<expr::TParamType>(v.type), expr::TVarScope::Status, created);
    switch (v.type) {
      case expr::PT_INT: item.value().set_int(v.int_value); break;
      case expr::PT_FLOAT: item.value().set_float(v.float_value); break;
      case expr::PT_BOOL: item.value().set_flag(v.flag_value); break;
      case expr::PT_STR: item.value().set_str(v.string_value); break;
      default: break;
    }
  }
}

void TProject::read_save_captions(files::TVrFileCollection& archive) {
  for (int i = 0; i < archive.Count(); ++i) {
    const files::TVrFile& entry = archive.At(i);
    const std::optional<std::int32_t> slot = game_slot_of(entry.Name());
    if (!slot || entry.IsSentinel()) continue;
    try {
      files::MemoryBlock data;
      archive.ReadEntry(entry, data);
      core::ByteReader r(data.bytes());
      r.set_context(entry.Name());
      r.i32();  // the record's version
      m_captions[*slot] = r.str();
    } catch (const core::Error& e) {
      core::logf(core::Channel::Script, core::Level::Warning, "save.dat: %s: %s", {entry.Name(), e.message()});
    }
  }
}

// --- Running ---------------------------------------------------------------------------

void TProject::RunTick() {
  if (m_interpreter) m_interpreter->RunTick();
}

// --- Saves -------------------------------------------------------------------------------

const std::filesystem::path& TProject::SaveFilePath() {
  if (!m_save_path) {
    m_save_path = locate_save_file(m_options.save_paths, m_setting.title);
    core::logf(core::Channel::Script, core::Level::Debug, "the save file is %s",
               {files::host::path_text(*m_save_path)});
  }
  return *m_save_path;
}

TSaveFile TProject::save_file() { return TSaveFile(SaveFilePath(), m_options.save_store); }

std::string TProject::SaveCaption(std::int32_t slot) const {
  auto it = m_captions.find(slot);
  return it == m_captions.end() ? std::string() : it->second;
}

std::vector<std::uint8_t> TProject::status_record() {
  core::ByteWriter record;
  if (m_services.base_list) m_status_tail.image_quality = m_services.base_list->ImageQuality();
  write_status_record(record, m_services.store, m_status_tail, *m_tables);
  const auto bytes = record.data();
  return {bytes.begin(), bytes.end()};
}

bool TProject::status_kept() {
  std::error_code ec;
  // The record is only ever stored into an existing folder: a save file
  // whose folder went away is not made anew from the status alone.
  return m_setting.keep_status && std::filesystem::is_directory(SaveFilePath().parent_path(), ec);
}

void TProject::WriteStatus() {
  if (!status_kept()) return;
  try {
    const std::vector<std::uint8_t> status = status_record();
    const TSaveFile::Entry entry{kStatusEntryName, status};
    StoreSaveEntries({&entry, 1});
  } catch (const core::Error& e) {
    core::logf(core::Channel::Script, core::Level::Warning, "the status was not stored: %s", {e.message()});
  }
}

void TProject::StoreSaveEntries(std::span<const TSaveFile::Entry> entries) {
  std::vector<TSaveFile::Entry> all(entries.begin(), entries.end());
  // The "save:" files go in as they are held; one that lives in a
  // container is read into a block kept until the store is done (a block's
  // bytes stay where they are when the list of blocks grows).
  std::vector<files::MemoryBlock> read;
  files::TVrFileCollection& memory = m_services.files.MemoryArchive();
  for (int i = 0; i < memory.Count(); ++i) {
    const files::TVrFile& entry = memory.At(i);
    if (entry.IsSentinel() || !core::starts_with_ci(entry.Name(), kScriptFilePrefix)) continue;
    if (entry.InMemory()) {
      all.push_back({entry.Name(), entry.MemoryBytes()});
    } else {
      files::MemoryBlock& block = read.emplace_back();
      memory.ReadEntry(entry, block);
      all.push_back({entry.Name(), block.bytes()});
    }
  }
  save_file().store_entries(all);
}

// --- Game saves and loads ------------------------------------------------------------------

GameParts TProject::game_parts() {
  components::TNovaBaseList* list = m_services.base_list;
  if (!list || !list->history()) core::throw_error("game saves: no component system is running");
  if (!m_interpreter) core::throw_error("game saves: the script is not running");
  return GameParts{*list, *list->history(), *m_interpreter, m_services.store, *m_tables, screen_width(), screen_height()};
}

std::vector<std::uint8_t> TProject::GameRecord(const GameRecordHead& head) {
  const auto bytes = write_record(head);
  return {bytes.begin(), bytes.end()};
}

std::span<const std::uint8_t> TProject::write_record(const GameRecordHead& head) {
  m_record_buffer.clear();
  write_game_record(m_record_buffer, game_parts(), head);
  return m_record_buffer.data();
}

void TProject::RequestGameSave(GameSaveRequest request) {
  pending_save_slot = request.slot;
  m_pending_save = std::move(request);
}

void TProject::RequestGameLoad(std::int32_t slot) { pending_load_slot = slot; }

bool TProject::PerformPendingSaveLoad() {
  bool loaded = false;
  if (pending_load_slot >= 0) {
    const std::int32_t slot = std::exchange(pending_load_slot, -1);
    LoadGame(slot);
    loaded = true;
  }
  if (pending_save_slot >= 0) {
    GameSaveRequest request = std::move(m_pending_save);
    request.slot = std::exchange(pending_save_slot, -1);
    SaveGame(request);
  }
  return loaded;
}

bool TProject::SaveGame(const GameSaveRequest& request) {
  if (request.caption.empty()) return false;
  const std::string entry = game_entry_name(request.slot);
  try {
    GameRecordHead head;
    head.caption = request.caption;
    head.after_load_page = request.after_load_page;
    head.after_load_index = request.after_load_index;
    std::vector<TSaveFile::Entry> entries;
    entries.push_back({entry, write_record(head)});
    std::vector<std::uint8_t> status;
    if (status_kept()) {
      status = status_record();
      entries.push_back({kStatusEntryName, status});
    }
    const std::filesystem::path folder = SaveFilePath().parent_path();
    if (m_options.save_paths.folder_writable && !m_options.save_paths.folder_writable(folder)) {
      core::throw_error(core::format("%s: the folder is not writable", {files::host::path_text(folder)}));
    }
    StoreSaveEntries(entries);
  } catch (const std::exception& e) {
    // The record is lost, but nothing else is: "save.dat" and the
    // captions stay as they were, and the player is told.
    core::logf(core::Channel::Script, core::Level::Warning, "%s was not saved: %s", {entry, e.what()});
    trace(core::format("%.8x : <SaveError>%s %s",
                       {static_cast<std::uint32_t>(m_services.clock.GameClockMs.load()), entry, e.what()}));
    warn(core::sjis("警告"), e.what());
    return false;
  }
  m_captions[request.slot] = request.caption;
  return true;
}

namespace {

std::string refused_message() {
  return core::sjis("このセーブデータは使用できません") + "\r\n" + core::sjis("終了してください");
}

}  // namespace

void TProject::report_load_failure(std::string_view what) {
  core::logf(core::Channel::Script, core::Level::Warning, "a game could not be loaded: %s", {what});
  trace(core::format("%.8x : <LoadError>%s", {static_cast<std::uint32_t>(m_services.clock.GameClockMs.load()), what}));
}

bool TProject::LoadGame(std::int32_t slot) {
  const std::string entry_name = game_entry_name(slot);
  files::MemoryBlock record;
  try {
    TSaveFile file = save_file();
    if (!file.exists()) return false;
    auto archive = file.open();
    const files::TVrFile* entry = archive->Find(entry_name);
    if (!entry || entry->IsSentinel()) return false;
    archive->ReadEntry(*entry, record);
  } catch (const std::exception& e) {
    // Nothing has changed yet.
    report_load_failure(entry_name + ": " + e.what());
    warn(core::sjis("警告"), refused_message());
    return false;
  }
  return LoadGameRecord(record.bytes());
}

bool TProject::LoadGameRecord(std::span<const std::uint8_t> record) {
  WholeLoad load;
  try {
    GameParts parts = game_parts();
    load = load_game_whole(record, parts, &m_record_buffer);
  } catch (const std::exception& e) {
    // No game to load into, or the running one could not be written:
    // nothing has changed.
    load.outcome = WholeLoad::Outcome::Restored;
    load.error = e.what();
  }
  switch (load.outcome) {
    case WholeLoad::Outcome::Loaded: return true;
    case WholeLoad::Outcome::Restored:
      report_load_failure(load.error);
      warn(core::sjis("警告"), refused_message());
      return false;
    case WholeLoad::Outcome::Broken:
      // The game is neither the one saved nor the one running: the player
      // cannot go on.
      report_load_failure(load.error);
      core::logf(core::Channel::Script, core::Level::Error, "the running game could not be restored: %s",
                 {load.restore_error});
      ShowFatal(core::sjis("警告"), refused_message());
      RequestClose();
      return false;
  }
  return false;
}

void TProject::warn(std::string_view caption, std::string_view text) {
  platform::MessageBoxSpec box;
  box.caption = std::string(caption);
  box.text = std::string(text);
  box.icon = platform::MessageIcon::Warning;
  box.buttons = platform::MessageButtons::Ok;
  m_services.dialogs.message_box(box);
}

void TProject::trace(std::string_view line) {
  if (m_options.trace) m_options.trace(line);
}

// --- ScriptHost --------------------------------------------------------------------------

files::DiscPrompt TProject::prompt() const {
  files::DiscPrompt p;
  p.project_title = m_setting.title;
  p.caption = m_setting.title;
  p.disc_text = m_setting.disc_text;
  p.quit_text = m_setting.quit_text;
  p.clock = &m_services.clock;
  p.request_close = m_options.request_close;
  return p;
}

bool TProject::EnsureFile(std::string_view name) {
  return m_services.files.EnsureFile(name, m_setting.folders, m_setting.streamed_extensions, prompt());
}

bool TProject::Exists(std::string_view name) { return m_services.files.Exists(name); }

std::vector<std::uint8_t> TProject::ReadFile(std::string_view name) {
  auto stream = m_services.files.ReadFile(name);
  auto bytes = stream->bytes();
  return {bytes.begin(), bytes.end()};
}

void TProject::ShowFatal(std::string_view caption, std::string_view text) {
  m_services.clock.TerminateFlag.store(true);
  warn(caption, text);
  if (m_options.on_fatal) m_options.on_fatal();
}

void TProject::RequestClose() {
  if (m_options.request_close) m_options.request_close();
}

void TProject::ResetTitle(std::string_view command) {
  // The components go first: their handlers and boxes may still name
  // variables and history formats that the later steps free.
  components::TNovaBaseList* list = m_services.base_list;
  if (list) list->Reset();
  m_services.store.reset();
  m_tables->delete_game_tables();
  if (list && list->history()) list->history()->Reset();
  core::logf(core::Channel::Script, core::Level::Debug, "%s: components%s, variables, game tables and history reset",
             {command, list ? "" : " (none)"});
}

}  // namespace nova::script
