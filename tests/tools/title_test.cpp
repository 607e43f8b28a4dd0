// Whole titles: building source trees into folders and archives, dumping
// titles back into source trees, and the nova command's subcommands.
#include "tools/toolchain/title.h"

#include <gtest/gtest.h>

#include <map>

#include "core/sjis.h"
#include "files/archive.h"
#include "files/big_stream.h"
#include "files/file_manager.h"
#include "files/title_mount.h"
#include "platform/headless/headless_platform.h"
#include "script/page_file.h"
#include "script/save_file.h"
#include "support/test_support.h"
#include "tools/toolchain/page_decompiler.h"
#include "tools/toolchain/save_report.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::TempDir;
using test::write_file;

void write_sample_tree(const fs::path& src) {
  write_file(src / "project.nvp", "title: サンプル\nstart: start.nsb\nvariable: int score = 0\n");
  write_file(src / "start.nvs",
             "VarNew int i = 0\n"
             "Call sub/menu.nsb:add(2) -> i\n"
             "Jump sub\\menu.nsb:again\n");
  write_file(src / "sub" / "menu.nvs",
             "Label add\n"
             "Calc @Result = StrToIntDef(@ParamStr[0], 0) + 1\n"
             "Exit\n"
             "Label again\n"
             "Jump start.nsb\n");
  write_file(src / "OLD.NSB.nvs", "Comment kept as it is named\n");
  write_file(src / "pictures" / "bg.png", std::string("\x89PNG\r\n\x1a\n", 8) + "data");
  write_file(src / ".hidden" / "skip.nvs", "this is not compiled\n");
}

std::map<std::string, std::string> files_of(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) out[e.path().lexically_relative(root).generic_string()] = read_file(e.path());
  }
  return out;
}

TEST(Title, BuildsSourceTreesIntoFoldersAndArchives) {
  TempDir dir;
  write_sample_tree(dir / "src");
  Diagnostics d;
  BuildReport report;
  ASSERT_TRUE(build_title(dir / "src", dir / "out", {}, d, report)) << d.format();
  EXPECT_EQ(report.pages, 3);
  EXPECT_EQ(report.assets, 1);
  const auto files = files_of(dir / "out");
  EXPECT_EQ(files.size(), 5u);
  for (const char* name : {"nova.npb", "start.nsb", "sub/menu.nsb", "OLD.NSB", "pictures/bg.png"}) {
    EXPECT_TRUE(files.count(name)) << name;
  }
  // Targets on other pages found their labels ("sub/menu" and "sub\menu"
  // name the same page).
  const std::string start = files.at("start.nsb");
  const auto page = script::TPageFile::parse(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(start.data()), start.size()));
  EXPECT_EQ(page.commands[1].field("index").number, 0);
  EXPECT_EQ(page.commands[2].field("index").number, 3);

  ASSERT_TRUE(build_title(dir / "src", dir / "packed", {true}, d, report)) << d.format();
  EXPECT_EQ(files_of(dir / "packed").size(), 1u);
  files::TVrFileCollection archive;
  archive.Open(dir / "packed" / "game.dat");
  EXPECT_EQ(archive.EntryCount(), 5);
  files::MemoryBlock block;
  archive.ReadEntry(*archive.Find("start.nsb"), block);
  EXPECT_EQ(std::string(block.view()), start);
}

TEST(Title, ExactDumpsOfFoldersAndArchivesBuildBackToTheSameFiles) {
  TempDir dir;
  write_sample_tree(dir / "src");
  Diagnostics d;
  BuildReport built;
  ASSERT_TRUE(build_title(dir / "src", dir / "out", {}, d, built)) << d.format();
  ASSERT_TRUE(build_title(dir / "src", dir / "packed", {true}, d, built)) << d.format();
  const auto original = files_of(dir / "out");
  for (const fs::path& title : {dir / "out", dir / "packed" / "game.dat"}) {
    SCOPED_TRACE(title.string());
    const fs::path src = dir / ("dump-" + title.filename().string());
    const fs::path again = dir / ("again-" + title.filename().string());
    DumpReport report;
    ASSERT_TRUE(dump_title({title}, src, {true, false}, d, report)) << d.format();
    EXPECT_EQ(report.pages, 3);
    EXPECT_EQ(report.raw_expressions, 0);
    EXPECT_EQ(report.unverified_pages, 0);
    EXPECT_TRUE(report.project_verified);
    ASSERT_TRUE(build_title(src, again, {}, d, built)) << d.format();
    EXPECT_EQ(files_of(again), original);
  }
}

TEST(Title, RefusesTreesWithoutProjectOrWithClashingNames) {
  TempDir dir;
  write_file(dir / "a" / "start.nvs", "Calc a = 1\n");
  Diagnostics d;
  BuildReport report;
  EXPECT_FALSE(build_title(dir / "a", dir / "out-a", {}, d, report));
  EXPECT_NE(d.format().find("project source is missing"), std::string::npos) << d.format();
  EXPECT_FALSE(fs::exists(dir / "out-a"));

  write_file(dir / "b" / "project.nvp", "title: b\n");
  write_file(dir / "b" / "x.nvs", "Calc a = 1\n");
  write_file(dir / "b" / "X.nsb", "an asset that would overwrite the page\n");
  write_file(dir / "b" / "y.nvs", "Calc a = (\n");
  Diagnostics e;
  EXPECT_FALSE(build_title(dir / "b", dir / "out-b", {}, e, report));
  EXPECT_NE(e.format().find("gives already"), std::string::npos) << e.format();
  EXPECT_NE(e.format().find("y.nvs:1:6"), std::string::npos) << e.format();
  EXPECT_FALSE(fs::exists(dir / "out-b"));
}

TEST(Title, NamesPagesAfterTheirSourceFiles) {
  EXPECT_EQ(page_name_of_source("sub/menu.nvs"), "sub\\menu.nsb");
  EXPECT_EQ(page_name_of_source("OLD.NSB.nvs"), "OLD.NSB");
  EXPECT_EQ(source_of_page_name("sub\\menu.nsb"), fs::path("sub/menu.nvs"));
  EXPECT_EQ(source_of_page_name("OLD.NSB"), fs::path("OLD.NSB.nvs"));
  // A trail byte 0x5C is not a folder separator.
  const std::string hyo = test::sjis("表.nsb");
  EXPECT_EQ(page_name_of_source(source_of_page_name(hyo)), hyo);
}

std::string nova(const std::string& args, int* status) {
  std::string out;
  *status = test::run_command((test::binary_dir() / "tools" / "nova").string() + " " + args + " 2>&1", &out);
  return out;
}

TEST(NovaCommand, ExprPrintsOperationsOrTheCompilersMessage) {
  int status = 0;
  std::string out = nova("expr 'a = b + c * 2'", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out,
            "ocMul      ____0 := c, 2\n"
            "ocPlus     ____1 := b, ____0\n"
            "ocTo       a := ____1\n");
  out = nova("expr --hex 'x'", &status);
  EXPECT_EQ(status, 0);
  // One operation: ocTo, target "____arg", one operand, the name "x".
  EXPECT_EQ(out,
            "01000000"
            "01"
            "07000000"
            "5F5F5F5F617267"
            "01000000"
            "00"
            "01000000"
            "78"
            "\n");
  out = nova("expr 'a = (1 +'", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("構文エラー"), std::string::npos) << out;
  // --sjis takes the bytes as they are: 0x95 0x5C is one character.
  out = nova("expr --sjis \"$(printf '\\225\\134 = 1')\"", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("表 := 1"), std::string::npos) << out;
}

TEST(NovaCommand, DumpNamesWhatItKeptAsRawBytes) {
  TempDir dir;
  write_sample_tree(dir / "src");
  int status = 0;
  std::string out = nova("build " + (dir / "src").string() + " " + (dir / "out").string(), &status);
  ASSERT_EQ(status, 0) << out;
  out = nova("dump --exact " + (dir / "out" / "start.nsb").string(), &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("Call sub/menu.nsb:add(2) -> i"), std::string::npos) << out;
  EXPECT_NE(out.find("(0 kept as raw bytes)"), std::string::npos) << out;
  out = nova("dump " + (dir / "out").string(), &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("give -o SRC"), std::string::npos) << out;
  out = nova("build " + (dir / "missing").string() + " " + (dir / "x").string(), &status);
  EXPECT_EQ(status, 1);
}

}  // namespace
}  // namespace nova::tools

namespace nova::tools {
namespace {

// An executable-like file with an archive behind it, found by its "nv"
// trailer: front, archive, int32 start, "nv".
std::string appended_archive(const std::vector<std::pair<std::string, std::string>>& entries) {
  files::TVrFileCollection c;
  for (const auto& [name, data] : entries) c.AddMemoryFile(name, files::as_bytes(data));
  files::TKvBigMemoryStream out;
  c.Write(out);
  const std::string front = "MZ the front of a program";
  std::string file = front + std::string(reinterpret_cast<const char*>(out.bytes().data()), out.bytes().size());
  const auto start = static_cast<std::uint32_t>(front.size());
  for (int i = 0; i < 4; ++i) file += static_cast<char>(start >> (8 * i) & 0xFF);
  return file + "nv";
}

// Every name a title holds, with the bytes the player's lookup gives.
std::map<std::string, std::string> as_played(const std::vector<fs::path>& arguments,
                                             const std::vector<std::string>& names) {
  test::TempDir work;
  files::FileManagerEnvironment env;
  env.temp_folder = work.path();
  env.current_cdrom_roots = [] { return std::vector<fs::path>{}; };
  platform::HeadlessPlatform platform{platform::HeadlessOptions{}};
  files::TVrFileManager manager(platform.dialogs(), env);
  files::mount_title_data(manager, {}, arguments);
  std::map<std::string, std::string> out;
  for (const std::string& name : names) {
    if (!manager.Exists(name)) continue;
    const auto stream = manager.ReadFile(name);
    const auto bytes = stream->bytes();
    out[core::upper(name)] = std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  return out;
}

std::string listing(const fs::path& root) {
  std::string out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    out += e.path().lexically_relative(root).generic_string() + " " +
           std::to_string(static_cast<int>(e.status().permissions())) + " " +
           (e.is_regular_file() ? read_file(e.path()) : std::string()) + "\n";
  }
  return out;
}

TEST(Title, ADumpIsTheTitleThatPlays) {
  TempDir dir;
  // Two builds give the pages: the loose ones win where the player looks
  // first, the packed ones stand behind them.
  write_file(dir / "loose-src" / "project.nvp", "title: loose\nstart: start.nsb\n");
  write_file(dir / "loose-src" / "start.nvs", "VarNew status int from_loose = 1\nCall only.nsb\nWait\n");
  write_file(dir / "packed-src" / "project.nvp", "title: packed\nstart: start.nsb\n");
  write_file(dir / "packed-src" / "start.nvs", "VarNew status int from_pack = 1\n");
  write_file(dir / "packed-src" / "only.nvs", "VarNew status int only = 2\n");
  write_file(dir / "packed-src" / "BG" / "A.BRI", "packed picture");
  Diagnostics d;
  BuildReport built;
  ASSERT_TRUE(build_title(dir / "loose-src", dir / "loose", {}, d, built)) << d.format();
  ASSERT_TRUE(build_title(dir / "packed-src", dir / "packed", {true}, d, built)) << d.format();

  const fs::path t = dir / "title";
  fs::create_directories(t / "bg");
  fs::copy_file(dir / "loose" / "nova.npb", t / "nova.npb");
  fs::copy_file(dir / "loose" / "start.nsb", t / "Start.nsb");
  write_file(t / "bg" / "a.bri", "loose picture");
  fs::copy_file(dir / "packed" / "game.dat", t / "game.dat");
  write_file(dir / "extra.exe", appended_archive({{"extra.txt", "from behind a program"}}));
  const std::vector<fs::path> arguments = {t, dir / "extra.exe"};
  const std::string before = listing(t);

  const fs::path nova = test::binary_dir() / "tools" / "nova";
  std::string log;
  ASSERT_EQ(test::run_command("'" + nova.string() + "' dump --exact '" + t.string() + "' '" +
                                  (dir / "extra.exe").string() + "' -o '" + (dir / "src").string() + "' 2>&1",
                              &log),
            0)
      << log;
  EXPECT_NE(log.find("is shadowed by the file " + (t / "nova.npb").string()), std::string::npos) << log;
  EXPECT_NE(log.find("\"start.nsb\" is shadowed by the file " + (t / "Start.nsb").string()), std::string::npos) << log;
  EXPECT_NE(log.find("\"BG\\A.BRI\" is shadowed by the file " + (t / "bg" / "a.bri").string()), std::string::npos)
      << log;
  EXPECT_EQ(listing(t), before) << "the dump changes nothing in the title";

  const std::vector<std::string> names = {"nova.npb", "start.nsb", "bg\\a.bri", "only.nsb", "extra.txt"};
  const auto original = as_played(arguments, names);
  ASSERT_EQ(original.size(), names.size());
  EXPECT_EQ(original.at("BG\\A.BRI"), "loose picture");
  for (bool pack : {false, true}) {
    SCOPED_TRACE(pack ? "packed" : "loose");
    const fs::path rebuilt = dir / (pack ? "rebuilt-packed" : "rebuilt-loose");
    ASSERT_TRUE(build_title(dir / "src", rebuilt, {pack}, d, built)) << d.format();
    EXPECT_EQ(as_played({rebuilt}, names), original);
  }

  // The player plays both the same way.
  const fs::path player = test::binary_dir() / "src" / "app" / "novaplayer";
  auto play = [&](const std::string& args, const fs::path& trace) {
    std::string out;
    EXPECT_EQ(test::run_command("'" + player.string() + "' --headless --max-ticks 20 --trace '" + trace.string() +
                                    "' " + args + " 2>&1",
                                &out),
              0)
        << out;
    return read_file(trace);
  };
  const std::string trace_original =
      play("'" + t.string() + "' '" + (dir / "extra.exe").string() + "'", dir / "original.trace");
  const std::string trace_rebuilt = play("'" + (dir / "rebuilt-loose").string() + "'", dir / "rebuilt.trace");
  EXPECT_EQ(trace_original, trace_rebuilt);
  EXPECT_NE(trace_original.find("only.nsb(1)"), std::string::npos);
  EXPECT_EQ(read_file(t / "save.dat"), read_file(dir / "rebuilt-loose" / "save.dat"));
}

TEST(SaveReport, ShowsTheStatusReadMarksAndTheQualityFlag) {
  TempDir dir;
  script::TStatusTail tail;
  components::TNovaRead& read = tail.read_marks.Add(core::sjis("一章"));
  read.positions = {40, 90};
  read.pages = {0, 2};
  tail.read_marks.pending_key = "ep2";
  tail.read_marks.pending_position = 7;
  tail.read_marks.pending_page = 1;
  tail.read_marks.pending_box = "mes";
  tail.image_quality = true;
  expr::TParamCollection store;
  core::ByteWriter record;
  data::TDBManager tables;
  tables.create("game", false).add_field("ignored", data::DBFieldType::Integer);
  data::TDBTable& options = tables.create(core::sjis("設定"), true);
  options.add_field("volume", data::DBFieldType::Integer);
  options.add_field("name", data::DBFieldType::String, 20);
  options.add_field("rate", data::DBFieldType::Float);
  options.add_field("on", data::DBFieldType::Flag);
  options.append();
  options.append();
  tables.create("empty", true);
  script::write_status_record(record, store, tail, tables);
  const fs::path save = dir.path() / "save.dat";
  script::TSaveFile(save).put_entry(script::kStatusEntryName, record.take());
  const std::string report = save_report(save);
  EXPECT_NE(report.find("status record: version 103"), std::string::npos) << report;
  EXPECT_NE(report.find("read \"一章\": 40/0 90/2"), std::string::npos) << report;
  EXPECT_NE(report.find("read pending \"ep2\" at 7/1 in \"mes\""), std::string::npos) << report;
  EXPECT_NE(report.find("image quality 1"), std::string::npos) << report;
  EXPECT_NE(report.find("status table \"設定\": 2 records, current 1; fields \"volume\" int, \"name\" str 20, "
                        "\"rate\" float, \"on\" bool"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("status table \"empty\": 0 records, current -1; fields none"), std::string::npos) << report;
  EXPECT_EQ(report.find("game"), std::string::npos) << "game tables are not in the status record";
}

}  // namespace
}  // namespace nova::tools
