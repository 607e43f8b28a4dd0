// The script engine as the player assembles it: the mounting rules of the
// title's data, the project host's pending requests, the trace file.
#include "app/script_title.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "files/archive.h"
#include "files/title_mount.h"
#include "platform/headless/headless_platform.h"
#include "script/page_file.h"
#include "support/test_support.h"

namespace nova::app {
namespace {

namespace fs = std::filesystem;

std::string archive_of(const std::string& entry, const std::string& data) {
  files::TVrFileCollection c;
  c.AddMemoryFile(entry, files::as_bytes(data));
  files::TKvBigMemoryStream out;
  c.Write(out);
  return std::string(reinterpret_cast<const char*>(out.bytes().data()), out.bytes().size());
}

// An executable with an archive behind it: front, archive, int32 start, "nv".
std::string appended(const std::string& entry) {
  const std::string front = "MZ front of an executable";
  std::string file = front + archive_of(entry, "inside");
  const auto start = static_cast<std::uint32_t>(front.size());
  for (int i = 0; i < 4; ++i) file += static_cast<char>(start >> (8 * i) & 0xFF);
  return file + "nv";
}

struct Files {
  Files() {
    env.temp_folder = dir.path();
    env.executable = dir / "player" / "novaplayer";
    env.current_cdrom_roots = [] { return std::vector<fs::path>{}; };
    fs::create_directories(dir / "player");
  }
  files::TVrFileManager make() { return files::TVrFileManager(platform.dialogs(), env); }
  test::TempDir dir;
  platform::HeadlessPlatform platform{platform::HeadlessOptions{}};
  files::FileManagerEnvironment env;
};

TEST(ScriptTitle, ArgumentsMountTheirGameDataAndArchives) {
  Files f;
  fs::create_directories(f.dir / "a");
  test::write_file(f.dir / "a" / "GAME.DAT", archive_of("in_game.txt", "g"));
  test::write_file(f.dir / "a" / "beside.txt", "b");
  test::write_file(f.dir / "b.exe", appended("in_exe.txt"));
  test::write_file(f.dir / "c.dat", archive_of("in_plain.txt", "c"));
  auto files = f.make();
  files::mount_title_data(files, f.env.executable, {f.dir / "a", f.dir / "b.exe", f.dir / "c.dat"});
  EXPECT_TRUE(files.Exists("beside.txt")) << "argument 1 is the base folder";
  EXPECT_TRUE(files.Exists("in_game.txt"));
  EXPECT_TRUE(files.Exists("in_exe.txt"));
  EXPECT_FALSE(files.Exists("in_plain.txt")) << "an archive without the trailer is not mounted";
}

TEST(ScriptTitle, WithoutArgumentsThePlayersFolderAndItsAppendedArchive) {
  Files f;
  test::write_file(f.dir / "player" / "beside.txt", "b");
  f.env.executable = f.dir / "player" / "title.exe";
  test::write_file(f.env.executable, appended("in_exe.txt"));
  auto files = f.make();
  files::mount_title_data(files, f.env.executable, {});
  EXPECT_TRUE(files.Exists("beside.txt"));
  EXPECT_TRUE(files.Exists("in_exe.txt"));
}

TEST(ScriptTitle, TheFrameStepPerformsTheLoadThenTheSaveAndReportsTheLoad) {
  Files f;
  script::TProjectSetting settings;
  settings.start_page = "main.nsb";
  const auto npb = settings.Bytes();
  test::write_file(f.dir / "nova.npb", std::string(npb.begin(), npb.end()));
  script::TPageFile page;
  page.commands.push_back(script::TCommandRecord::make(script::CC_WAIT));
  const auto nsb = page.bytes();
  test::write_file(f.dir / "main.nsb", std::string(nsb.begin(), nsb.end()));
  auto files = f.make();
  files.SetBaseFolder(f.dir.path());
  core::FrameClock clock;
  VariableStore variables;
  SystemFunctions functions(1, variables.store, &files);
  script::ProjectOptions options;
  options.save_paths.arguments = {f.dir.path()};
  ScriptProjectHost host(nullptr, std::make_unique<script::TProject>(
                                      script::ProjectServices{clock, files, variables.store, functions.funcs,
                                                              f.platform.dialogs(), variables.router},
                                      std::move(options)));
  EXPECT_FALSE(host.perform_pending_save_load()) << "nothing requested";
  host.project().RequestGameLoad(2);
  host.project().RequestGameSave({1, "caption", "", 0});
  // The load of a slot save.dat lacks changes nothing, but the frame is
  // still not composed; the save needs components this title has none of,
  // so it fails into a warning box and keeps the captions.
  EXPECT_TRUE(host.perform_pending_save_load());
  EXPECT_EQ(host.project().pending_load_slot, -1);
  EXPECT_EQ(host.project().pending_save_slot, -1);
  EXPECT_TRUE(host.project().SaveCaptions().empty());
  const auto boxes = f.platform.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, test::sjis("警告"));
  EXPECT_NE(boxes[0].text.find("no component system"), std::string::npos) << boxes[0].text;
  EXPECT_FALSE(fs::exists(f.dir / "save.dat"));
  EXPECT_FALSE(host.perform_pending_save_load()) << "each request runs once";
}

TEST(ScriptTitle, TheTraceFileHoldsOneUtf8LineEach) {
  test::TempDir dir;
  {
    TraceFile trace(dir / "trace.txt");
    trace.write("0000000f : main.nsb(3)");
    trace.write(test::sjis("0000000f : <Error>表.nsb(4) エラー"));
  }
  EXPECT_EQ(test::read_file(dir / "trace.txt"), "0000000f : main.nsb(3)\n0000000f : <Error>表.nsb(4) エラー\n");
}

}  // namespace
}  // namespace nova::app
