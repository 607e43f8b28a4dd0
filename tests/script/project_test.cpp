// The project's start and end over a real file manager on a temporary
// folder: the failure messages, the status record restored and written,
// initial variables, "save:" files, save captions, the settings' options.
#include "script/project.h"

#include <gtest/gtest.h>

#include "component_fixture.h"
#include "core/error.h"
#include "data/history_format.h"
#include "files/archive.h"
#include "files/file_manager.h"
#include "platform/system.h"
#include "script_fixture.h"

namespace nova::script::testing {
namespace {

namespace fs = std::filesystem;

class Dialogs final : public platform::Dialogs {
 public:
  platform::MessageAnswer message_box(const platform::MessageBoxSpec& spec) override {
    boxes.push_back(spec);
    return platform::MessageAnswer::Cancel;
  }
  std::optional<fs::path> open_file(const platform::FileDialogSpec&) override { return std::nullopt; }
  std::optional<fs::path> save_file(const platform::FileDialogSpec&) override { return std::nullopt; }
  std::optional<fs::path> select_folder(const platform::FileDialogSpec&) override { return std::nullopt; }
  std::vector<platform::MessageBoxSpec> boxes;
};

class Project : public ::testing::Test {
 protected:
  Project() {
    core::set_stderr_logging(false);
    fs::create_directories(title);
    fs::create_directories(exe_folder);
    fs::create_directories(dir / "tmp");
    settings.title = test::sjis("テスト題");
    settings.start_page = "main.nsb";
    settings.keep_status = 1;
  }
  ~Project() override { core::set_stderr_logging(true); }

  void write_settings() {
    const auto b = settings.Bytes();
    test::write_file(title / "nova.npb", std::string(b.begin(), b.end()));
  }
  void write_page(const std::string& name, const std::vector<TCommandRecord>& cmds) {
    const auto b = page_bytes(cmds);
    test::write_file(title / name, std::string(b.begin(), b.end()));
  }
  // A new player: a file manager, an empty store, and the project.
  std::unique_ptr<TProject> start(bool with_arguments = true) {
    files::FileManagerEnvironment env;
    env.temp_folder = dir / "tmp";
    env.executable = exe_folder / "novaplayer";
    env.current_cdrom_roots = [] { return std::vector<fs::path>{}; };
    env.max_prompt_rounds = 1;
    files = std::make_unique<files::TVrFileManager>(dialogs, env);
    store = std::make_unique<expr::TParamCollection>();
    router = std::make_unique<expr::TSystemVariableRouter>();
    store->set_system_variables(router.get());
    ProjectOptions o;
    if (with_arguments) {
      o.save_paths.arguments = {title};
      files->SetBaseFolder(title);
    }
    o.save_paths.executable_folder = exe_folder;
    o.save_paths.user_data_folder = dir / "user";
    o.save_paths.folder_writable = [](const fs::path& folder) {
      return platform::make_system()->folder_writable(folder);
    };
    o.request_close = [this] { ++close_requests; };
    o.on_fatal = [this] { ++fatal; };
    o.trace = [this](std::string_view line) { trace.emplace_back(line); };
    clock.TerminateFlag.store(false);
    if (base_list) {
      o.events = &base_list->events();
      o.directory = base_list;
    }
    return std::make_unique<TProject>(
        ProjectServices{clock, *files, *store, funcs, dialogs, *router, base_list, tables}, std::move(o));
  }
  // Ticks until the script ends the player (at most n ticks).
  void run(TProject& p, int n = 100) {
    for (int k = 0; k < n && !clock.TerminateFlag.load(); ++k) {
      clock.FrameDeltaMs.store(15);
      clock.GameClockMs.store(clock.GameClockMs.load() + 15);
      p.RunTick();
    }
  }
  test::TempDir dir;
  fs::path title = dir / "title";
  fs::path exe_folder = dir / "player";
  TProjectSetting settings;
  core::FrameClock clock;
  expr::TSysFuncMan funcs;
  Dialogs dialogs;
  std::unique_ptr<files::TVrFileManager> files;
  std::unique_ptr<expr::TSystemVariableRouter> router;
  std::unique_ptr<expr::TParamCollection> store;
  // The component system and the tables a test gives the project; none by
  // default (the project then keeps tables of its own).
  components::TNovaBaseList* base_list = nullptr;
  data::TDBManager* tables = nullptr;
  std::vector<std::string> trace;
  int close_requests = 0;
  int fatal = 0;
};

TEST_F(Project, ARunComputesStatusVariablesThatTheNextRunRestores) {
  settings.exit_page = "exit.nsb";
  settings.initial_variables = {{expr::PT_INT, "score", 5, 0, false, ""},
                                {expr::PT_INT, "visits", 0, 0, false, ""},
                                {expr::PT_STR, "who", 0, 0, false, "x"},
                                {9, "odd", 0, 0, false, ""}};
  write_settings();
  write_page("main.nsb", {Cmd("Calc").e("expression", "score = score + 1").go(),
                          Cmd("Calc").e("expression", "who = who ++ \"y\"").go(), Cmd("Terminate")});
  write_page("exit.nsb", {Cmd("Calc").e("expression", "visits = visits + 1")});

  auto p = start();
  EXPECT_FALSE(clock.TerminateFlag.load());
  EXPECT_EQ(p->title(), test::sjis("テスト題"));
  EXPECT_TRUE(p->status_restored());
  EXPECT_EQ(store->find("odd"), nullptr) << "a type that is none of the value types is skipped";
  run(*p);
  EXPECT_EQ(close_requests, 1);
  p.reset();  // the exit page runs once, then the status is written
  EXPECT_TRUE(clock.TerminateFlag.load());
  auto saved = saved_status(title / "save.dat");
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->find("score")->value().as_int(), 6);
  EXPECT_EQ(saved->find("visits")->value().as_int(), 1);
  EXPECT_EQ(saved->find("who")->value().as_str(), "xy");

  // The initial values do not replace restored ones.
  p = start();
  EXPECT_EQ(store->find("score")->value().as_int(), 6);
  run(*p);
  p.reset();
  saved = saved_status(title / "save.dat");
  EXPECT_EQ(saved->find("score")->value().as_int(), 7);
  EXPECT_EQ(saved->find("visits")->value().as_int(), 2);
  EXPECT_EQ(saved->find("who")->value().as_str(), "xyy");
  EXPECT_FALSE(trace.empty()) << "the project hands its trace hook to the interpreter";
}

TEST_F(Project, AMissingProjectEndsThePlayerAndKeepsTheSaveFile) {
  // A save file from earlier runs.
  settings.initial_variables = {{expr::PT_INT, "score", 41, 0, false, ""}};
  write_settings();
  write_page("main.nsb", {Cmd("Terminate")});
  start().reset();
  const std::string before = test::read_file(title / "save.dat");
  ASSERT_FALSE(before.empty());

  fs::remove(title / "nova.npb");
  auto p = start();
  EXPECT_TRUE(clock.TerminateFlag.load());
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].caption, test::sjis("警告"));
  EXPECT_EQ(dialogs.boxes[0].text, test::sjis("プロジェクトがありません"));
  EXPECT_EQ(dialogs.boxes[0].icon, platform::MessageIcon::Warning);
  EXPECT_EQ(fatal, 1);
  EXPECT_EQ(p->interpreter(), nullptr);
  EXPECT_FALSE(p->status_restored());
  p.reset();
  EXPECT_EQ(test::read_file(title / "save.dat"), before) << "a failed start writes no status";

  test::write_file(title / "nova.npb", "");
  start().reset();
  EXPECT_EQ(dialogs.boxes.back().text, test::sjis("プロジェクトがありません")) << "an empty file is no project";
}

TEST_F(Project, AMissingStartPageEndsThePlayer) {
  write_settings();
  auto p = start();
  EXPECT_TRUE(clock.TerminateFlag.load());
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, test::sjis("スタートページがありません"));
  EXPECT_EQ(dialogs.boxes[0].caption, test::sjis("警告"));
  EXPECT_NE(p->interpreter(), nullptr);
  EXPECT_EQ(fatal, 1);
}

TEST_F(Project, ANewerSettingsFileIsRefused) {
  write_settings();
  std::string b = test::read_file(title / "nova.npb");
  b[0] = 116;
  test::write_file(title / "nova.npb", b);
  try {
    start();
    FAIL() << "no error";
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), test::sjis("このバージョンには対応していません"));
  }
  EXPECT_TRUE(clock.TerminateFlag.load());
  EXPECT_FALSE(fs::exists(title / "save.dat"));
}

TEST_F(Project, AScreenSizeOutOfRangeIsRefusedAtTheStart) {
  // A damaged file would otherwise size the window and the surfaces from it.
  for (auto [w, h] : {std::pair{640, -1}, {-2147483647 - 1, 480}, {kMaxScreenSide + 1, 480}, {640, 1 << 30}}) {
    SCOPED_TRACE(::testing::Message() << w << "x" << h);
    settings.screen_width = w;
    settings.screen_height = h;
    write_settings();
    try {
      start();
      ADD_FAILURE() << "no error";
    } catch (const core::Error& e) {
      EXPECT_NE(e.message().find("screen size"), std::string::npos) << e.message();
    }
    EXPECT_TRUE(clock.TerminateFlag.load());
    EXPECT_FALSE(fs::exists(title / "save.dat"));
  }
  // The bounds themselves are titles like any other (0: no screen).
  for (auto [w, h] : {std::pair{0, 0}, {kMaxScreenSide, 1}}) {
    settings.screen_width = w;
    settings.screen_height = h;
    write_settings();
    EXPECT_EQ(start()->screen_width(), w);
  }
}

TEST_F(Project, WithoutArgumentsTheTitlesDataIsLocated) {
  write_settings();
  auto p = start(false);
  EXPECT_TRUE(clock.TerminateFlag.load());
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, test::sjis("インストールし直してください"));
  EXPECT_EQ(fatal, 1);
}

TEST_F(Project, SettingsDecideTheProjectsOptions) {
  settings.version = 103;  // neither keep status nor idle option
  settings.keep_status = 0;
  write_settings();
  write_page("main.nsb", {Cmd("Terminate")});
  auto p = start();
  EXPECT_FALSE(p->keep_status());
  EXPECT_EQ(p->idle_option(), 0);
  EXPECT_EQ(p->streamed_extensions(), ".wav.wma.ogg.mid");
  EXPECT_EQ(p->disc_text(), "");
  p.reset();
  EXPECT_FALSE(fs::exists(title / "save.dat")) << "keep status off: the status is not stored";

  settings.version = 115;
  settings.pause_when_inactive = 1;
  settings.streamed_extensions = ".ogg";
  settings.folders.Add("bgm\\", 3);
  write_settings();
  // "/original_nova.npb" gives the folder-disc list instead.
  TProjectSetting original = settings;
  original.folders.Clear();
  original.folders.Add("movie\\", 2);
  const auto ob = original.Bytes();
  test::write_file(title / "original_nova.npb", std::string(ob.begin(), ob.end()));
  p = start();
  EXPECT_TRUE(p->pause_when_inactive());
  EXPECT_EQ(p->streamed_extensions(), ".ogg");
  EXPECT_EQ(p->folders().DiscOf("movie\\a.avi"), 2);
  EXPECT_EQ(p->folders().DiscOf("bgm\\a.ogg"), 0);
}

TEST_F(Project, SaveFilesCaptionsAndStatusTablesAreRestoredAndWrittenBack) {
  settings.initial_variables = {{expr::PT_INT, "score", 1, 0, false, ""}};
  write_settings();
  write_page("main.nsb", {Cmd("Calc").e("expression", "score = score + 1").go(), Cmd("Terminate")});
  // A save file with script files, slots and a status record with read
  // marks, the quality flag and a status table.
  files::TVrFileCollection archive;
  const std::string script_file = "saved by a script";
  archive.AddMemoryFile("save:notes.txt", files::as_bytes(script_file));
  archive.AddMemoryFile("SAVE:upper.bin", files::as_bytes("U"));
  archive.AddMemoryFile("mem:not_kept", files::as_bytes("M"));
  auto slot = [](std::int32_t version, std::string caption) {
    core::ByteWriter w;
    w.i32(version);
    w.str(caption);
    return w.take();
  };
  archive.AddMemoryFile("GAMESAVEDATA3", slot(140, test::sjis("第三章")));
  archive.AddMemoryFile("GAMESAVEDATA12", slot(107, "twelve"));
  archive.AddMemoryFile("GAMESAVEDATA-1", slot(140, "no slot"));
  archive.AddMemoryFile("GAMESAVEDATAx", slot(140, "no slot"));
  TStatusTail tail;
  tail.read_marks.Add("ep").positions = {5};
  tail.read_marks.Add("ep").pages = {1};
  tail.read_marks.pending_box = "mes";
  tail.image_quality = true;
  data::TDBManager stored_tables;
  data::TDBTable& status_table = stored_tables.create("kept", true);
  status_table.add_field("n", data::DBFieldType::Integer);
  status_table.set_int(status_table.append(), 0, 31);
  core::ByteWriter status;
  {
    expr::TParamCollection s;
    bool c = false;
    s.create("score", expr::PT_INT, expr::TVarScope::Status, c).value().set_int(10);
    write_status_record(status, s, tail, stored_tables);
  }
  archive.AddMemoryFile(std::string(kStatusEntryName), status.data());
  TSaveFile(title / "save.dat").store(archive);

  auto p = start();
  EXPECT_EQ(store->find("score")->value().as_int(), 10);
  EXPECT_TRUE(files->Exists("save:notes.txt"));
  EXPECT_EQ(std::string(files->ReadFile("save:notes.txt")->view()), script_file);
  EXPECT_TRUE(files->Exists("save:upper.bin")) << "the prefix is compared without regard to case";
  EXPECT_FALSE(files->Exists("mem:not_kept"));
  EXPECT_EQ(p->SaveCaption(3), test::sjis("第三章"));
  EXPECT_EQ(p->SaveCaption(12), "twelve");
  EXPECT_EQ(p->SaveCaptions().size(), 2u);
  ASSERT_NE(p->tables().find("KEPT"), nullptr) << "the status tables are restored into the project's manager";
  EXPECT_EQ(p->tables().find("kept")->get_int(0, 0), 31);
  p->tables().find("kept")->set_int(0, 0, 32);
  run(*p);
  p.reset();

  auto after = TSaveFile(title / "save.dat").open();
  files::MemoryBlock b;
  after->ReadEntry(*after->Find(kStatusEntryName), b);
  expr::TParamCollection s;
  data::TDBManager back_tables;
  const TStatusTail back = read_status_record(b.bytes(), s, back_tables);
  EXPECT_TRUE(back.read_marks == tail.read_marks) << "the parts after the variables are written back";
  EXPECT_EQ(back.image_quality, tail.image_quality);
  ASSERT_EQ(back_tables.tables().size(), 1u);
  EXPECT_EQ(back_tables.find("kept")->get_int(0, 0), 32) << "the tables as the run left them";
  EXPECT_EQ(s.find("score")->value().as_int(), 11);
  for (const char* kept : {"save:notes.txt", "GAMESAVEDATA3", "GAMESAVEDATA12", "mem:not_kept"}) {
    EXPECT_NE(after->Find(kept), nullptr) << kept << " stays in the file";
  }
  EXPECT_EQ(after->EntryCount(), archive.EntryCount());
}

TEST_F(Project, ADamagedSaveFileStopsTheStartAndStaysAsItIs) {
  write_settings();
  write_page("main.nsb", {Cmd("Terminate")});
  test::write_file(title / "save.dat", std::string("vf\x66\0\0\0garbage", 13));
  const std::string before = test::read_file(title / "save.dat");
  EXPECT_THROW(start(), core::Error);
  EXPECT_EQ(test::read_file(title / "save.dat"), before);
}

TEST_F(Project, TheExitPageRunsOnceEvenWhenTheScriptTerminated) {
  settings.exit_page = "exit.nsb";
  write_settings();
  write_page("main.nsb", {Cmd("Wait")});
  write_page("exit.nsb", {Cmd("VarNew").s("name", "bye").i("type", 1).e("initial", "1").i("scope", 3).go(),
                          Cmd("Calc").e("expression", "bye = bye + 1").go(), Cmd("Wait").go(),
                          Cmd("Calc").e("expression", "bye = 100")});
  auto p = start();
  run(*p, 5);
  clock.TerminateFlag.store(true);  // the window closes
  p.reset();
  EXPECT_TRUE(clock.TerminateFlag.load());
  auto saved = saved_status(title / "save.dat");
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->find("bye")->value().as_int(), 2) << "one tick: up to the wait";
}

TEST_F(Project, TheInterpreterAnswersItsVariablesWhileItLives) {
  write_settings();
  write_page("main.nsb", {Cmd("Wait")});
  auto p = start();
  for (int index : {0, 9, 10, 11, 50}) EXPECT_EQ(router->holder_name(index), "interpreter") << index;
  EXPECT_EQ(router->holder_name(12), "") << "the shell's are not the project's";
  EXPECT_EQ(store->find("@StackCount")->value().as_int(), 0);
  p.reset();
  EXPECT_EQ(router->holder_name(9), "") << "detached with the project";
  EXPECT_THROW(store->find("@ParamCount")->value().as_int(), core::Error);
}

TEST_F(Project, ResetLeavesOnlyTheStatusDataAndRestartsAtThePageAndIndex) {
  settings.initial_variables = {{expr::PT_INT, "steps", 0, 0, false, ""}};
  write_settings();
  write_page("main.nsb", {Cmd("Call").s("page", "sub.nsb").e("condition", "TRUE").go(),
                          Cmd("Calc").e("expression", "steps = 1000")});
  write_page("sub.nsb", {Cmd("Reset").s("page", "after.nsb").i("index", 2)});
  write_page("after.nsb", {Cmd("Calc").e("expression", "steps = steps + 10").go(),
                           Cmd("Calc").e("expression", "steps = steps + 100").go(),
                           Cmd("Calc").e("expression", "steps = steps + 1"), Cmd("Wait")});
  // Components on both bases, a second history format and a pending page
  // in the default one, game and status tables with a game table active.
  components::TComponentFactory factory;
  components::TNovaBaseList list{{.factory = factory}};
  list.SetScreenSize(32, 24);
  data::TNovaHistoryFormatManager history;
  list.set_history(&history);
  base_list = &list;
  data::TDBManager db;
  tables = &db;
  TTestCabinet& on_front = list.make<TTestCabinet>();
  on_front.SetParent(&list.front_base());
  list.make<TTestCabinet>().SetParent(&on_front);
  list.make<TTestCabinet>().SetParent(&list.back_base());
  history.FindOrCreate("log");
  data::NotedPage noted;
  noted.box = "mes";
  noted.key = "main.nsb";
  history.Default().History().Note(noted, {});
  db.create("game1", false);
  db.create("kept", true).add_field("n", data::DBFieldType::Integer);
  db.create("game2", false);

  auto p = start();
  bool created = false;
  store->create("global", expr::PT_INT, expr::TVarScope::Global, created);
  store->create("gone", expr::PT_STR, expr::TVarScope::AutoDelete, created);
  ASSERT_EQ(list.ItemCount(), 3);
  ASSERT_EQ(db.active()->name(), "game2");

  run(*p, 1);  // the call and the reset
  EXPECT_EQ(list.ItemCount(), 0);
  EXPECT_EQ(list.front_base().ChildCount(), 0);
  std::vector<std::string> variables;
  for (const expr::TParamCollectionItem* item : store->items()) {
    if (!item->is_system()) variables.push_back(item->name() + (item->is_status() ? ":status" : ""));
  }
  EXPECT_EQ(variables, std::vector<std::string>{"steps:status"});
  ASSERT_EQ(db.tables().size(), 1u);
  EXPECT_EQ(db.tables()[0]->name(), "kept");
  EXPECT_EQ(db.active(), nullptr);
  ASSERT_EQ(history.FormatCount(), 1u);
  EXPECT_EQ(history.Format(0).Name(), "");
  EXPECT_EQ(history.Format(0).History().pending_key(), "");
  EXPECT_EQ(history.Format(0).History().Count(), 0);
  TCallMan& cm = *p->interpreter();
  ASSERT_NE(cm.CurrentPage(), nullptr);
  EXPECT_EQ(cm.CurrentPage()->name(), "after.nsb");
  EXPECT_EQ(cm.Position(), 2);
  EXPECT_EQ(cm.StackCount(), 0) << "the call into sub.nsb is forgotten";

  run(*p, 3);
  EXPECT_EQ(store->find("steps")->value().as_int(), 1) << "the page runs from the index, and never returns to main";
  EXPECT_EQ(cm.Position(), 3);
  for (const std::string& line : trace) {
    for (const char* never : {"after.nsb(1)", "after.nsb(2)", "main.nsb(2)"}) {
      EXPECT_EQ(line.find(never), std::string::npos) << line;
    }
  }
  p.reset();
}

}  // namespace
}  // namespace nova::script::testing

namespace nova::script::testing {
namespace {

TEST_F(Project, TheStatusWriteCarriesTheScriptFilesAndClearsLeftoverTemporaries) {
  write_settings();
  write_page("main.nsb", {Cmd("Wait")});
  // An entry only the file holds, and a writer's temporaries left beside
  // it by a kill (and a file that merely looks like one).
  TSaveFile(title / "save.dat").put_entry("save:old", std::vector<std::uint8_t>{1});
  test::write_file(title / "save.dat.nvtmp-a1b2c3", "torn");
  test::write_file(title / "save.dat.nvtmp-zzzzzz", "torn");
  test::write_file(title / "save.dat.nvtmp-toolong", "not ours");
  test::write_file(title / "other.dat.nvtmp-a1b2c3", "not ours");
  {
    auto p = start();
    files->SetMemoryFile("save:new", std::vector<std::uint8_t>{7, 8});
    p->WriteStatus();
  }
  auto archive = TSaveFile(title / "save.dat").open();
  ASSERT_NE(archive->Find("save:new"), nullptr) << "in-memory script files reach the file";
  files::MemoryBlock data;
  archive->ReadEntry(*archive->Find("save:new"), data);
  EXPECT_EQ(std::vector<std::uint8_t>(data.bytes().begin(), data.bytes().end()), (std::vector<std::uint8_t>{7, 8}));
  EXPECT_NE(archive->Find("save:old"), nullptr) << "entries only the file holds stay";
  EXPECT_NE(archive->Find(kStatusEntryName), nullptr);
  EXPECT_FALSE(fs::exists(title / "save.dat.nvtmp-a1b2c3"));
  EXPECT_FALSE(fs::exists(title / "save.dat.nvtmp-zzzzzz"));
  EXPECT_TRUE(fs::exists(title / "save.dat.nvtmp-toolong")) << "not the writer's naming";
  EXPECT_TRUE(fs::exists(title / "other.dat.nvtmp-a1b2c3")) << "another file's temporary";
}

}  // namespace
}  // namespace nova::script::testing
