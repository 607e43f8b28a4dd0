// The `nova` archive commands, run as a user runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <random>

#include "archive_builder.h"
#include "files/archive.h"
#include "support/test_support.h"

namespace nova::files {
namespace {

namespace fs = std::filesystem;
using test::noise;
using test::read_file;
using test::TempDir;
using test::write_file;

std::string nova() { return (test::binary_dir() / "tools" / "nova").string(); }

int run(const std::string& args, std::string* out = nullptr) {
  std::string text;
  int status = test::run_command(nova() + " " + args + " 2>&1", &text);
  if (out) *out = text;
  return status;
}

std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

std::map<std::string, std::string> tree(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) files[e.path().lexically_relative(root).string()] = read_file(e.path());
  }
  return files;
}

// A folder with every kind of file the writer treats differently.
void make_title(const fs::path& src) {
  write_file(src / "nova.npb", "settings");
  write_file(src / "empty.txt", "");
  write_file(src / "bgm" / "op.ogg", noise(200000, 1));
  write_file(src / u8"画像" / u8"背景.bri", std::string(30000, 'b'));
  std::string script;
  for (int i = 0; i < 4000; ++i) script += "line " + std::to_string(i) + "\n";
  write_file(src / "scene" / "start.nsb", script);
  write_file(src / "movie.mpg", noise(static_cast<std::size_t>(kArchiveLimit) + 5, 2));
}

TEST(ArchiveCommands, PackThenUnpackGivesTheSameFilesByteForByte) {
  TempDir dir;
  make_title(dir / "src");
  std::string out;
  ASSERT_EQ(run("pack " + q(dir / "src") + " " + q(dir / "game.dat"), &out), 0) << out;
  EXPECT_NE(out.find("packed 6 files"), std::string::npos) << out;
  ASSERT_EQ(run("unpack " + q(dir / "game.dat") + " " + q(dir / "out"), &out), 0) << out;
  EXPECT_EQ(tree(dir / "out"), tree(dir / "src"));
  struct stat packed {
  }, unpacked{};
  ASSERT_EQ(::stat((dir / "src" / "nova.npb").c_str(), &packed), 0);
  ASSERT_EQ(::stat((dir / "out" / "nova.npb").c_str(), &unpacked), 0);
  EXPECT_EQ(unpacked.st_mtime, packed.st_mtime - packed.st_mtime % 2)
      << "time stamps come back (to the two seconds the form holds)";

  ASSERT_EQ(run("list " + q(dir / "game.dat"), &out), 0) << out;
  EXPECT_NE(out.find("version 102, file, 6 entries"), std::string::npos) << out;
  EXPECT_NE(out.find("zlib    "), std::string::npos);
  EXPECT_NE(out.find("画像\\背景.bri"), std::string::npos) << out;
  ASSERT_EQ(run("verify " + q(dir / "game.dat"), &out), 0) << out;
  EXPECT_NE(out.find("6 entries checked, 0 bad"), std::string::npos) << out;

  // Packing again into the folder itself does not pack the archive.
  ASSERT_EQ(run("pack " + q(dir / "src") + " " + q(dir / "src" / "game.dat"), &out), 0) << out;
  ASSERT_EQ(run("pack " + q(dir / "src") + " " + q(dir / "src" / "game.dat"), &out), 0) << out;
  EXPECT_NE(out.find("packed 6 files"), std::string::npos) << out;
}

TEST(ArchiveCommands, VerifyNamesAFlippedByteInACompressedAndInAStoredEntry) {
  TempDir dir;
  make_title(dir / "src");
  ASSERT_EQ(run("pack " + q(dir / "src") + " " + q(dir / "game.dat")), 0);
  TVrFileCollection c;
  c.Open(dir / "game.dat");
  const TVrFile& script = *c.Find("scene\\start.nsb");
  const TVrFile& music = *c.Find("bgm\\op.ogg");
  ASSERT_FALSE(script.stored);
  ASSERT_TRUE(music.stored);
  std::string bytes = read_file(dir / "game.dat");
  bytes[static_cast<std::size_t>(script.offset + script.length / 2)] ^= 0x01;
  bytes[static_cast<std::size_t>(music.offset + 1234)] ^= 0x80;
  write_file(dir / "game.dat", bytes);
  std::string out;
  EXPECT_EQ(run("verify " + q(dir / "game.dat"), &out), 1) << out;
  EXPECT_NE(out.find("BAD scene\\start.nsb"), std::string::npos) << out;
  EXPECT_NE(out.find("BAD bgm\\op.ogg"), std::string::npos) << out;
  EXPECT_NE(out.find("2 bad"), std::string::npos) << out;
}

TEST(ArchiveCommands, OldVersionsAreCheckedByInflating) {
  TempDir dir;
  std::vector<test::RawEntry> raw(2);
  raw[0] = {"good.txt", test::zlib_compress("good data"), false};
  raw[1] = {"bad.txt", test::zlib_compress("bad data"), false};
  raw[1].data[raw[1].data.size() / 2] ^= 0x40;
  write_file(dir / "old.dat", test::build_archive(100, raw));
  std::string out;
  EXPECT_EQ(run("verify " + q(dir / "old.dat"), &out), 1) << out;
  EXPECT_NE(out.find("carry no checksums"), std::string::npos) << out;
  EXPECT_NE(out.find("BAD bad.txt"), std::string::npos) << out;
  EXPECT_EQ(out.find("BAD good.txt"), std::string::npos) << out;
}

TEST(ArchiveCommands, UnpackRefusesNamesThatLeaveTheFolder) {
  TempDir dir;
  for (const char* evil : {"..\\evil.txt", "\\evil.txt", "C:evil.txt", "ok\\..\\..\\evil.txt", "a/../../evil.txt"}) {
    SCOPED_TRACE(evil);
    std::vector<test::RawEntry> raw(2);
    raw[0] = {"fine.txt", "fine", true};
    raw[1] = {evil, "evil", true};
    write_file(dir / "evil.dat", test::build_archive(102, raw));
    std::string out;
    EXPECT_NE(run("unpack " + q(dir / "evil.dat") + " " + q(dir / "out" / "deep"), &out), 0);
    EXPECT_NE(out.find("refusing"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(dir / "out" / "deep" / "fine.txt")) << "nothing is written";
    EXPECT_FALSE(fs::exists(dir / "out" / "evil.txt"));
    EXPECT_FALSE(fs::exists(dir / "evil.txt"));
  }
  // A link planted in the target folder is not followed.
  std::vector<test::RawEntry> raw(1);
  raw[0] = {"link\\x.txt", "through the link", true};
  write_file(dir / "link.dat", test::build_archive(102, raw));
  fs::create_directories(dir / "target");
  fs::create_directories(dir / "elsewhere");
  fs::create_directory_symlink(dir / "elsewhere", dir / "target" / "link");
  EXPECT_NE(run("unpack " + q(dir / "link.dat") + " " + q(dir / "target")), 0);
  EXPECT_FALSE(fs::exists(dir / "elsewhere" / "x.txt"));
}

TEST(ArchiveCommands, UnreadableInputIsAClearErrorNamingTheFile) {
  TempDir dir;
  std::string out;
  EXPECT_EQ(run("list " + q(dir / "missing.dat"), &out), 1);
  EXPECT_NE(out.find("missing.dat: no such file"), std::string::npos) << out;
  write_file(dir / "junk.dat", "this is no archive at all");
  EXPECT_EQ(run("verify " + q(dir / "junk.dat"), &out), 1);
  EXPECT_NE(out.find("junk.dat: damaged archive directory"), std::string::npos) << out;
  EXPECT_EQ(run("pack " + q(dir / "nofolder") + " " + q(dir / "x.dat"), &out), 1);
  EXPECT_NE(out.find("nofolder: no such folder"), std::string::npos) << out;
  EXPECT_EQ(run("list", &out), 2) << "usage";
  EXPECT_EQ(run("list --bogus x", &out), 1);
  EXPECT_NE(out.find("unknown option --bogus"), std::string::npos) << out;
}

TEST(ArchiveCommands, EveryContainerFormIsRead) {
  TempDir dir;
  make_title(dir / "src");
  std::string out;
  // Appended to a real executable, which still runs.
  ASSERT_EQ(run("pack --exe /bin/true " + q(dir / "src") + " " + q(dir / "player"), &out), 0) << out;
  EXPECT_EQ(test::run_command(q(dir / "player")), 0);
  ASSERT_EQ(run("verify " + q(dir / "player"), &out), 0) << out;
  ASSERT_EQ(run("unpack " + q(dir / "player") + " " + q(dir / "from_player"), &out), 0) << out;
  EXPECT_EQ(tree(dir / "from_player"), tree(dir / "src"));

  // Split into parts.
  ASSERT_EQ(run("pack --part-size 1048576 " + q(dir / "src") + " " + q(dir / "split.dat"), &out), 0) << out;
  EXPECT_NE(out.find("in 6 parts"), std::string::npos) << out;
  EXPECT_TRUE(fs::exists(dir / "split.005"));
  ASSERT_EQ(run("verify --part-size 1048576 " + q(dir / "split.dat"), &out), 0) << out;

  // As a resource of an executable.
  ASSERT_EQ(run("pack " + q(dir / "src") + " " + q(dir / "game.dat")), 0);
  if (test::run_command("command -v objcopy >/dev/null") == 0) {
    ASSERT_EQ(test::run_command("objcopy --add-section '.nvres/BINTYPE/DUMMY=" + (dir / "game.dat").string() +
                                "' /bin/true " + q(dir / "with_resource")),
              0);
    ASSERT_EQ(run("list --resource dummy " + q(dir / "with_resource"), &out), 0) << out;
    EXPECT_NE(out.find("resource, 6 entries"), std::string::npos) << out;
  }

  // With a companion directory.
  std::vector<test::RawEntry> raw(1);
  raw[0] = {"x.txt", "companion data", true, 0, test::crc32_of("companion data"), true};
  auto split = test::build_split_archive(102, raw);
  write_file(dir / "c.dat", split.data);
  write_file(dir / "c.ext", split.directory);
  ASSERT_EQ(run("verify " + q(dir / "c.dat"), &out), 0) << out;
  ASSERT_EQ(run("list " + q(dir / "c.dat"), &out), 0) << out;
  EXPECT_NE(out.find("companion directory, 1 entries"), std::string::npos) << out;
}

}  // namespace
}  // namespace nova::files
