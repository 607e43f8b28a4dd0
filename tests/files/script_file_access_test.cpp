// The script file access against a hostile title: every refused name is
// refused by every operation, nothing is read from outside the roots, and a
// folder outside the base folder (reached by planted links) stays
// byte-identical. Then what a title may do: the in-memory archive, the base
// folder without regard to case, and the paths the player chose.
#include "files/script_file_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "file_manager_fixture.h"
#include "support/test_support.h"

namespace nova::files {
namespace {

namespace fs = std::filesystem;
using testing::ManagerTest;
using testing::write_archive;

std::span<const std::uint8_t> bytes_of(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::string text_of(const std::optional<std::vector<std::uint8_t>>& b) {
  return b ? std::string(b->begin(), b->end()) : std::string("(none)");
}

// Every entry below a folder: its relative path and what it is (a link's
// target, a file's bytes), without following links.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path rel = fs::relative(it->path(), root);
    if (it->is_symlink()) {
      out[rel.string()] = "link:" + fs::read_symlink(it->path()).string();
    } else if (it->is_regular_file()) {
      out[rel.string()] = "file:" + test::read_file(it->path());
    } else {
      out[rel.string()] = "dir";
    }
  }
  return out;
}

class ScriptFiles : public ::testing::Test {
 protected:
  ScriptFiles() {
    base = t.root / "base";
    outside = t.root / "outside";
    test::write_file(base / "Data" / "Note.txt", "note");
    test::write_file(outside / "secret.txt", "secret");
    test::write_file(outside / "deep" / "x", "x");
    fs::create_symlink(outside / "secret.txt", base / "link_file");
    fs::create_symlink(outside, base / "link_dir");
    fs::create_symlink(outside / "new.txt", base / "dangling");
    write_archive(t.root / "game.dat", {{"arc\\inside.txt", "archived"}});
    manager = t.make();
    manager->SetBaseFolder(base);
    manager->Mount(t.root / "game.dat");
    access = std::make_unique<ScriptFileAccess>(*manager);
  }

  ManagerTest t;
  fs::path base, outside;
  std::unique_ptr<TVrFileManager> manager;
  std::unique_ptr<ScriptFileAccess> access;
};

TEST_F(ScriptFiles, EveryHostileNameIsRefusedByEveryOperationAndTheOutsideStaysAsItWas) {
  const auto before = snapshot(outside);
  const std::vector<std::string> hostile = {
      "..\\x",
      "a\\..\\..\\x",
      "..\\outside\\secret.txt",
      "\\etc\\passwd",
      "/etc/passwd",
      "C:\\x",
      "a:b",
      std::string("a\0b", 3),
      std::string(5000, 'n'),
      std::string(300, 'p') + "\\x",
      "mem:..\\x",
      "save:a:b",
      "link_file",
      "link_dir\\secret.txt",
      "LINK_DIR\\deep\\x",
      "dangling",
      "link_dir\\new.txt",
  };
  for (const std::string& name : hostile) {
    SCOPED_TRACE(test::utf8(name.substr(0, 40)));
    EXPECT_FALSE(access->Exists(name));
    EXPECT_FALSE(access->Read(name));
    EXPECT_FALSE(access->Write(name, bytes_of("overwritten"), true));
    EXPECT_FALSE(access->HostPathForWrite(name, true));
    EXPECT_FALSE(access->WritableFolder(name));
  }
  EXPECT_EQ(snapshot(outside), before);
  EXPECT_EQ(test::read_file(outside / "secret.txt"), "secret");
  EXPECT_TRUE(fs::is_symlink(base / "link_file")) << "a link as destination is refused, not replaced";
  EXPECT_FALSE(access->refusal("a:b").empty());
  EXPECT_TRUE(access->refusal("bgm\\op.ogg").empty());
  EXPECT_TRUE(access->refusal("mem:thumb.bri").empty());
}

TEST_F(ScriptFiles, ReadsGoThroughTheFileManagerWithoutRegardToCase) {
  EXPECT_TRUE(access->Exists("data\\NOTE.TXT"));
  EXPECT_EQ(text_of(access->Read("DATA\\note.txt")), "note");
  EXPECT_EQ(text_of(access->Read("ARC\\Inside.txt")), "archived");
  EXPECT_FALSE(access->Exists("data\\missing.txt"));
  // A file over 64 MiB is not read (a sparse file costs no disk).
  {
    test::write_file(base / "huge.bin", "");
    fs::resize_file(base / "huge.bin", (64u << 20) + 1);
  }
  EXPECT_FALSE(access->Read("huge.bin"));
  fs::resize_file(base / "huge.bin", 64u << 20);
  EXPECT_EQ(access->Read("huge.bin")->size(), 64u << 20);
}

TEST_F(ScriptFiles, WritesReachTheMemoryArchiveTheBaseFolderAndNothingElse) {
  EXPECT_TRUE(access->Write("mem:a.txt", bytes_of("m")));
  EXPECT_EQ(text_of(access->Read("MEM:A.TXT")), "m");
  EXPECT_FALSE(access->Write("save:s.txt", bytes_of("s"))) << "no save file without a project";
  int stored = 0;
  access->set_save_hook([&stored] {
    ++stored;
    return true;
  });
  EXPECT_TRUE(access->Write("save:s.txt", bytes_of("s")));
  EXPECT_EQ(stored, 1);
  EXPECT_EQ(text_of(access->Read("save:s.txt")), "s");

  // An existing file in another case is replaced; folders match without
  // regard to case; the mode is 0644 (before the umask).
  ::umask(022);
  EXPECT_TRUE(access->Write("DATA\\NOTE.TXT", bytes_of("new")));
  EXPECT_EQ(test::read_file(base / "Data" / "Note.txt"), "new");
  EXPECT_FALSE(fs::exists(base / "DATA"));
  struct stat st {};
  ASSERT_EQ(::stat((base / "Data" / "Note.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_FALSE(access->Write("sub\\x.txt", bytes_of("x"))) << "missing folders are made only when asked";
  EXPECT_TRUE(access->Write("sub\\x.txt", bytes_of("x"), true));
  EXPECT_EQ(test::read_file(base / "sub" / "x.txt"), "x");

  manager->SetBaseFolder({});
  EXPECT_FALSE(access->Write("y.txt", bytes_of("y"))) << "no base folder, no write";
}

TEST_F(ScriptFiles, ChosenPathsMapBackAndConfineWhatLiesBelowThem) {
  const fs::path chosen_dir = t.root / "chosen";
  fs::create_directories(chosen_dir);
  const std::string folder = access->NoteChosenFolder(chosen_dir);
  EXPECT_EQ(folder, ScriptFileAccess::ScriptNameOf(chosen_dir, true));
  EXPECT_EQ(folder.front(), '\\');
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_TRUE(access->Write(folder + "a.txt", bytes_of("a")));
  EXPECT_EQ(test::read_file(chosen_dir / "a.txt"), "a");
  EXPECT_EQ(text_of(access->Read(folder + "A.TXT")), "a");
  EXPECT_FALSE(access->Write(folder + "..\\escape.txt", bytes_of("e")));
  EXPECT_FALSE(fs::exists(t.root / "escape.txt"));
  fs::create_symlink(outside, chosen_dir / "out");
  EXPECT_FALSE(access->Write(folder + "out\\secret.txt", bytes_of("e")));
  EXPECT_EQ(test::read_file(outside / "secret.txt"), "secret");

  const fs::path file = t.root / "picked.txt";
  const std::string name = access->NoteChosenFile(file);
  EXPECT_TRUE(access->Write(name, bytes_of("p")));
  EXPECT_EQ(test::read_file(file), "p");
  EXPECT_FALSE(access->Write(name + "x", bytes_of("p"))) << "only the chosen file itself";
  EXPECT_TRUE(access->WritableFolder(folder + "made\\"));
  EXPECT_TRUE(fs::is_directory(chosen_dir / "made"));
  EXPECT_TRUE(access->InsideBaseFolder(base / "Data"));
  EXPECT_FALSE(access->InsideBaseFolder(base / "link_dir"));
  EXPECT_EQ(ScriptFileAccess::ScriptNameOf("/tmp/a\xE2\x82\xAC/b", false), "\\tmp\\a?\\b")
      << "a character Shift-JIS lacks becomes ?";
}

}  // namespace
}  // namespace nova::files
