// The script layer's builtin functions on a real project and file manager:
// save captions, the save file's "save:" entries, DeleteStack, the text
// loader and the copies, and ExtractFile with its folder and its five-answer
// question.
#include "script/script_functions.h"

#include <gtest/gtest.h>

#include <deque>

#include "core/error.h"
#include "expr/expr_functions.h"
#include "expr/nova_parser.h"
#include "files/archive.h"
#include "platform/system.h"
#include "script_fixture.h"

namespace nova::script::testing {
namespace {

namespace fs = std::filesystem;
using platform::MessageAnswer;

class NoDialogs final : public platform::Dialogs {
 public:
  MessageAnswer message_box(const platform::MessageBoxSpec&) override { return MessageAnswer::Cancel; }
  std::optional<fs::path> open_file(const platform::FileDialogSpec&) override { return std::nullopt; }
  std::optional<fs::path> save_file(const platform::FileDialogSpec&) override { return std::nullopt; }
  std::optional<fs::path> select_folder(const platform::FileDialogSpec&) override { return std::nullopt; }
};

class ScriptedExtract final : public ExtractDialogs {
 public:
  std::optional<fs::path> choose_folder() override {
    ++folder_dialogs;
    return folder;
  }
  MessageAnswer ask_overwrite(const std::string& text) override {
    questions.push_back(text);
    if (answers.empty()) return MessageAnswer::No;
    MessageAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  std::optional<fs::path> folder;
  std::deque<MessageAnswer> answers;
  std::vector<std::string> questions;
  int folder_dialogs = 0;
};

std::vector<std::uint8_t> caption_record(std::string_view caption) {
  core::ByteWriter w;
  w.i32(1);
  w.str(std::string(caption));
  return w.data();
}

class ScriptFunctions : public ::testing::Test {
 protected:
  ScriptFunctions() {
    core::set_stderr_logging(false);
    fs::create_directories(title);
    fs::create_directories(dir / "tmp");
    fs::create_directories(dir / "player");
    settings.title = "t";
    settings.start_page = "main.nsb";
    settings.keep_status = 1;
    write_page("main.nsb", {Cmd("Call").s("page", "sub.nsb").e("condition", "TRUE").go(), Cmd("Wait")});
    write_page("sub.nsb",
               {Cmd("VarNew").s("name", "loc").i("type", 1).e("initial", "7").i("scope", 2).go(), Cmd("Wait")});
    test::write_file(title / "data.txt", "a\r\nb\rc\n");
    test::write_file(title / "empty.txt", "");
    test::write_file(title / "last.txt", "x\n\n");
    files::TVrFileCollection archive;
    for (const char* name : {"pics\\a.bri", "pics\\b.bri", "snd\\c.ogg"}) {
      const std::string data = std::string("data of ") + name;
      archive.AddMemoryFile(
          name, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
    }
    files::TKvBigFileStream out(title / "game.dat", files::file_mode::kCreate);
    archive.Write(out);
  }
  ~ScriptFunctions() override {
    if (project) unregister_script_functions(funcs, *access);
    core::set_stderr_logging(true);
  }

  void write_page(const std::string& name, const std::vector<TCommandRecord>& cmds) {
    const auto b = page_bytes(cmds);
    test::write_file(title / name, std::string(b.begin(), b.end()));
  }

  void start() {
    const auto b = settings.Bytes();
    test::write_file(title / "nova.npb", std::string(b.begin(), b.end()));
    files::FileManagerEnvironment env;
    env.temp_folder = dir / "tmp";
    env.executable = dir / "player" / "novaplayer";
    env.current_cdrom_roots = [] { return std::vector<fs::path>{}; };
    file_manager = std::make_unique<files::TVrFileManager>(dialogs, env);
    file_manager->SetBaseFolder(title);
    file_manager->Mount(title / "game.dat");
    router.emplace();
    store.set_system_variables(&*router);
    ProjectOptions o;
    o.save_paths.arguments = {title};
    o.save_paths.executable_folder = dir / "player";
    o.save_paths.user_data_folder = dir / "user";
    o.save_paths.folder_writable = [](const fs::path& f) { return platform::make_system()->folder_writable(f); };
    clock.TerminateFlag.store(false);
    project =
        std::make_unique<TProject>(ProjectServices{clock, *file_manager, store, funcs, dialogs, *router}, std::move(o));
    access = std::make_unique<files::ScriptFileAccess>(*file_manager);
    expr::register_expr_functions(funcs, store, random);
    register_script_functions(funcs, *project, *access, extract);
  }

  const expr::TCustomParam* run(std::string_view utf8_text) {
    parser = expr::compile_expression(test::sjis(utf8_text));
    ok = parser.execute(store, funcs);
    EXPECT_TRUE(ok) << utf8_text << ": " << test::utf8(parser.last_error());
    return parser.result();
  }
  expr::TCustomParam& var(std::string_view name, expr::TParamType type) {
    bool created = false;
    return store.create(name, type, expr::TVarScope::Global, created).value();
  }
  std::vector<std::string> entries_of_save_file() {
    TSaveFile file(title / "save.dat");
    auto archive = file.open();
    std::vector<std::string> names;
    for (int i = 0; i < archive->Count(); ++i) {
      if (!archive->At(i).IsSentinel()) names.push_back(archive->At(i).Name());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempDir dir;
  fs::path title = dir / "title";
  TProjectSetting settings;
  core::FrameClock clock;
  expr::TParamCollection store;
  std::optional<expr::TSystemVariableRouter> router;
  expr::TSysFuncMan funcs;
  expr::StandardRandom random{1};
  NoDialogs dialogs;
  ScriptedExtract extract;
  std::unique_ptr<files::TVrFileManager> file_manager;
  std::unique_ptr<TProject> project;
  std::unique_ptr<files::ScriptFileAccess> access;
  expr::TNovaParser parser;
  bool ok = false;
};

TEST_F(ScriptFunctions, CaptionsListInSlotOrderAndSaveEntriesJoinTheSaveFile) {
  TSaveFile(title / "save.dat").put_entry("GAMESAVEDATA3", caption_record("three"));
  TSaveFile(title / "save.dat").put_entry("GAMESAVEDATA1", caption_record("one"));
  TSaveFile(title / "save.dat").put_entry("OTHER", std::vector<std::uint8_t>{1, 2});
  start();
  EXPECT_EQ(run("GetSaveCaption(3)")->as_str(), "three");
  EXPECT_EQ(run("GetSaveCaption(2)")->as_str(), "");
  auto& captions = var("c", expr::PT_STR);
  auto& slots = var("s", expr::PT_INT);
  EXPECT_EQ(run("ListSaveCaption(c, s)")->as_int(), 2);
  EXPECT_EQ(captions.str_at(0), "one");
  EXPECT_EQ(captions.str_at(1), "three");
  EXPECT_EQ(slots.int_at(0), 1);
  EXPECT_EQ(slots.int_at(1), 3);
  EXPECT_EQ(run("ListSaveCaption()")->as_int(), 2);

  EXPECT_TRUE(run("CopyFile(\"data.txt\", \"mem:copy.txt\")")->as_flag());
  EXPECT_TRUE(run("CopyFile(\"MEM:copy.txt\", \"save:kept.txt\")")->as_flag());
  const std::vector<std::uint8_t> five = caption_record("five");
  const TSaveFile::Entry entry{"GAMESAVEDATA5", five};
  project->StoreSaveEntries({&entry, 1});
  EXPECT_EQ(entries_of_save_file(),
            (std::vector<std::string>{"GAMESAVEDATA1", "GAMESAVEDATA3", "GAMESAVEDATA5", "OTHER", "save:kept.txt"}));
  // The next run finds the "save:" file again.
  unregister_script_functions(funcs, *access);
  project.reset();
  start();
  EXPECT_TRUE(run("FileExists(\"save:kept.txt\")")->as_flag());
  EXPECT_TRUE(run("CopyFile(\"save:kept.txt\", \"back.txt\")")->as_flag());
  EXPECT_EQ(test::read_file(title / "back.txt"), "a\r\nb\rc\n");
}

TEST_F(ScriptFunctions, DeleteStackRemovesAFrameAndMovesLaterVariablesDown) {
  start();
  for (int i = 0; i < 3; ++i) project->RunTick();
  ASSERT_EQ(project->interpreter()->StackCount(), 1);
  ASSERT_NE(store.find("loc"), nullptr);
  EXPECT_FALSE(run("DeleteStack(1)")->as_flag());
  EXPECT_FALSE(run("DeleteStack(-1)")->as_flag());
  EXPECT_EQ(project->interpreter()->StackCount(), 1);
  EXPECT_TRUE(run("DeleteStack(0)")->as_flag());
  EXPECT_EQ(project->interpreter()->StackCount(), 0);
  EXPECT_EQ(store.call_depth(), 0);
  // The local made at depth 1 now belongs to frame 0, the depth in force.
  ASSERT_NE(store.find("loc"), nullptr);
  EXPECT_EQ(store.find("loc")->frame_id(), 0);
  EXPECT_FALSE(run("DeleteStack(0)")->as_flag());
}

TEST_F(ScriptFunctions, TextFilesLoadAsLinesAndHostileNamesAreRefused) {
  start();
  auto& lines = var("l", expr::PT_STR);
  EXPECT_TRUE(run("LoadTextFile(l, \"DATA.TXT\")")->as_flag());
  ASSERT_EQ(lines.count(), 3);
  EXPECT_EQ(lines.str_at(1), "b");
  EXPECT_EQ(lines.str_at(2), "c");
  EXPECT_TRUE(run("LoadTextFile(l, \"empty.txt\")")->as_flag());
  EXPECT_EQ(lines.count(), 1);
  EXPECT_EQ(lines.str_at(0), "");
  EXPECT_TRUE(run("LoadTextFile(l, \"last.txt\")")->as_flag());
  EXPECT_EQ(lines.count(), 2) << "a final line break adds no line; the empty line before it stays";
  EXPECT_TRUE(run("LoadTextFile(l, \"pics\\\\a.bri\")")->as_flag()) << "archives are read too";
  EXPECT_FALSE(run("LoadTextFile(l, \"missing.txt\")")->as_flag());
  EXPECT_FALSE(run("LoadTextFile(l, \"..\\\\title\\\\data.txt\")")->as_flag());
  EXPECT_FALSE(run("FileExists(\"\\\\etc\\\\passwd\")")->as_flag());
  EXPECT_FALSE(run("CopyFile(\"/etc/passwd\", \"stolen.txt\")")->as_flag());
  EXPECT_FALSE(run("CopyFile(\"data.txt\", \"..\\\\out.txt\")")->as_flag());
  EXPECT_FALSE(run("CopyFile(\"data.txt\", \"C:\\\\out.txt\")")->as_flag());
  EXPECT_FALSE(fs::exists(dir / "out.txt"));
  EXPECT_FALSE(fs::exists(title / "stolen.txt"));
}

TEST_F(ScriptFunctions, ExtractFileKeepsSubfoldersAndAsksWithFiveAnswers) {
  start();
  // Into a folder of the base folder, by pattern, creating the subfolders.
  EXPECT_TRUE(run("ExtractFile(\"pics\\\\*.BRI\", FALSE, \"out\")")->as_flag());
  EXPECT_EQ(test::read_file(title / "out" / "pics" / "a.bri"), "data of pics\\a.bri");
  EXPECT_TRUE(fs::exists(title / "out" / "pics" / "b.bri"));
  EXPECT_FALSE(fs::exists(title / "out" / "snd"));
  EXPECT_EQ(extract.folder_dialogs, 0);
  EXPECT_TRUE(extract.questions.empty()) << "inside the base folder FALSE does not ask";

  // Asked, with the confirm flag: yes to all stops asking.
  var("n", expr::PT_STR);
  run("StringToArray(\"pics\\\\a.bri,pics\\\\b.bri\", n, \",\")");
  test::write_file(title / "out" / "pics" / "a.bri", "old");
  test::write_file(title / "out" / "pics" / "b.bri", "old");
  extract.answers = {MessageAnswer::YesToAll};
  EXPECT_TRUE(run("ExtractFile(n, TRUE, \"out\")")->as_flag());
  EXPECT_EQ(extract.questions.size(), 1u);
  EXPECT_NE(extract.questions[0].find(test::sjis("既に同名のファイルが存在します。上書きしますか？")),
            std::string::npos);
  EXPECT_EQ(test::read_file(title / "out" / "pics" / "b.bri"), "data of pics\\b.bri");

  // A folder a3 outside the base folder that nobody chose: the dialog is
  // shown; outside the base folder the question comes even with FALSE.
  const fs::path elsewhere = dir / "elsewhere";
  test::write_file(elsewhere / "pics" / "a.bri", "mine");
  test::write_file(elsewhere / "pics" / "b.bri", "mine too");
  extract.folder = elsewhere;
  extract.questions.clear();
  extract.answers = {MessageAnswer::NoToAll};
  EXPECT_TRUE(run("ExtractFile(n, FALSE, \"\\\\tmp\")")->as_flag());
  EXPECT_EQ(extract.folder_dialogs, 1);
  EXPECT_EQ(extract.questions.size(), 1u);
  EXPECT_EQ(test::read_file(elsewhere / "pics" / "a.bri"), "mine");
  EXPECT_EQ(test::read_file(elsewhere / "pics" / "b.bri"), "mine too");
  extract.answers = {MessageAnswer::No, MessageAnswer::Cancel};
  EXPECT_FALSE(run("ExtractFile(n)")->as_flag()) << "cancel ends the function";
  EXPECT_EQ(extract.folder_dialogs, 2);
  extract.folder.reset();
  EXPECT_FALSE(run("ExtractFile(n)")->as_flag()) << "a cancelled folder dialog";
  // Names that leave the folder are not extracted.
  EXPECT_TRUE(run("ExtractFile(\"..\\\\x\", FALSE, \"out\")")->as_flag());
  EXPECT_FALSE(fs::exists(title / "x"));
  EXPECT_TRUE(matches_pattern(test::sjis("ソa.BRI"), test::sjis("ソ*.bri")));
  EXPECT_FALSE(matches_pattern("a.bri", "?.bri.x"));
  EXPECT_TRUE(matches_pattern("abc", "a*?c"));
}

}  // namespace
}  // namespace nova::script::testing
