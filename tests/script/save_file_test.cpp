// Where "save.dat" lies, how it is rewritten, and that a player killed while
// writing it leaves the previous file whole.
#include "script/save_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "core/error.h"
#include "platform/system.h"
#include "support/test_support.h"

namespace nova::script {
namespace {

namespace fs = std::filesystem;

class SavePaths : public ::testing::Test {
 protected:
  SavePaths() {
    fs::create_directories(exe);
    fs::create_directories(data);
    inputs.executable_folder = exe;
    inputs.user_data_folder = dir / "user";
    inputs.folder_writable = [this](const fs::path& folder) { return system->folder_writable(folder); };
  }
  test::TempDir dir;
  fs::path exe = dir / "player";
  fs::path data = dir / "data";
  std::unique_ptr<platform::System> system = platform::make_system();
  SavePathInputs inputs;
};

TEST_F(SavePaths, AnArgumentKeepsTheSavesInItsFolder) {
  inputs.arguments = {data};
  EXPECT_EQ(locate_save_file(inputs, "t"), data / "save.dat");
  // An archive as argument 1: its folder, not the archive plus a name.
  test::write_file(data / "title.exe", "MZ");
  inputs.arguments = {data / "title.exe", dir / "other"};
  EXPECT_EQ(locate_save_file(inputs, "t"), data / "save.dat");
}

TEST_F(SavePaths, BesideTheExecutableWhenItsFolderIsWritable) {
  EXPECT_EQ(locate_save_file(inputs, "t"), exe / "save.dat");
  EXPECT_TRUE(fs::is_empty(exe)) << "the test file is deleted";
  EXPECT_FALSE(fs::exists(dir / "user"));
  // An install the system calls read-only (as tests running as root cannot
  // make one) keeps its saves in the user's folder.
  platform::SystemOverrides o;
  o.read_only_folders = {exe};
  system = platform::make_system(o);
  EXPECT_EQ(locate_save_file(inputs, "t"), dir / "user" / "t" / "save.dat");
}

TEST_F(SavePaths, BelowAProgramFolderInTheUsersFolderWithTheOldFileCopiedOnce) {
  inputs.program_folders = {dir.path()};
  test::write_file(exe / "save.dat", "old saves");
  const fs::path expected = dir / "user" / "a_b_表" / "save.dat";
  EXPECT_EQ(locate_save_file(inputs, test::sjis("a:b?表")), expected);
  EXPECT_EQ(test::read_file(expected), "old saves");
  test::write_file(exe / "save.dat", "newer file beside the player");
  locate_save_file(inputs, test::sjis("a:b?表"));
  EXPECT_EQ(test::read_file(expected), "old saves") << "copied only when nothing is there";
  // A folder that is an unwritable place: a file stands where it would go.
  test::write_file(dir / "blocked", "x");
  inputs.user_data_folder = dir / "blocked";
  try {
    locate_save_file(inputs, "t");
    FAIL();
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), test::sjis("データファイルを作成することができません"));
  }
  // A folder that cannot hold the test file is no place for saves either.
  inputs.program_folders.clear();
  inputs.executable_folder = dir / "missing";
  inputs.user_data_folder = dir / "user";
  EXPECT_EQ(locate_save_file(inputs, "t").parent_path(), dir / "user" / "t");
}

TEST(SaveFile, ReplacingAnEntryKeepsTheOthers) {
  test::TempDir dir;
  TSaveFile file(dir / "save.dat");
  EXPECT_FALSE(file.exists());
  EXPECT_EQ(file.open()->EntryCount(), 0) << "a missing file is an empty archive";
  const std::vector<std::uint8_t> a = {1, 2, 3}, b = {4}, c = {5, 6};
  file.put_entry("GAMESAVEDATA3", a);
  file.put_entry("save:x", b);
  file.put_entry("GAMESAVEDATA3", c);
  auto archive = file.open();
  EXPECT_EQ(archive->EntryCount(), 2);
  files::MemoryBlock m;
  archive->ReadEntry(*archive->Find("GAMESAVEDATA3"), m);
  EXPECT_EQ(std::vector<std::uint8_t>(m.bytes().begin(), m.bytes().end()), c);
  archive->ReadEntry(*archive->Find("save:x"), m);
  EXPECT_EQ(std::vector<std::uint8_t>(m.bytes().begin(), m.bytes().end()), b);
  file.put_entry("save:x", std::nullopt);
  EXPECT_EQ(file.open()->EntryCount(), 1);
  // A file beside the save file that is named like an entry is not taken
  // for it.
  test::write_file(dir / "GAMESAVEDATA3", "not this");
  file.put_entry("save:y", b);
  archive = file.open();
  archive->ReadEntry(*archive->Find("GAMESAVEDATA3"), m);
  EXPECT_EQ(std::vector<std::uint8_t>(m.bytes().begin(), m.bytes().end()), c);
}

TEST(SaveFile, StoringSeveralEntriesReplacesThemAllInOneFileAndKeepsTheRest) {
  test::TempDir dir;
  TSaveFile file(dir / "save.dat");
  const std::vector<std::uint8_t> old_slot = {1, 2}, kept = {3}, status = {4, 4}, slot = {5, 6, 7}, later = {8};
  file.put_entry("GAMESAVEDATA1", old_slot);
  file.put_entry("save:keep", kept);
  const TSaveFile::Entry entries[] = {
      {"GAMESAVEDATA1", slot}, {"STATUSSAVEDATA", status}, {"GAMESAVEDATA2", old_slot}, {"GAMESAVEDATA2", later}};
  file.store_entries(entries);
  auto archive = file.open();
  auto bytes_of = [&](std::string_view name) {
    const files::TVrFile* e = archive->Find(name);
    if (!e) return std::vector<std::uint8_t>{0xEE};
    files::MemoryBlock m;
    archive->ReadEntry(*e, m);
    return std::vector<std::uint8_t>(m.bytes().begin(), m.bytes().end());
  };
  EXPECT_EQ(archive->EntryCount(), 4);
  EXPECT_EQ(bytes_of("GAMESAVEDATA1"), slot);
  EXPECT_EQ(bytes_of("STATUSSAVEDATA"), status);
  EXPECT_EQ(bytes_of("GAMESAVEDATA2"), later) << "the last of a name wins";
  EXPECT_EQ(bytes_of("save:keep"), kept) << "entries not named stay";
  for (int i = 0; i < archive->Count(); ++i) EXPECT_EQ(archive->CheckEntry(archive->At(i)), "");
}

TEST(SaveFile, AFailedStoreLeavesTheOldFile) {
  test::TempDir dir;
  TSaveFile good(dir / "save.dat");
  good.put_entry("save:a", std::vector<std::uint8_t>{1});
  const std::string before = test::read_file(dir / "save.dat");
  TSaveFile failing(dir / "save.dat",
                    [](const fs::path&, std::span<const std::uint8_t>) { throw core::Error("disk full"); });
  EXPECT_THROW(failing.put_entry("save:b", std::vector<std::uint8_t>{2}), core::Error);
  EXPECT_EQ(test::read_file(dir / "save.dat"), before);
}

// The slot a generation writes: it grows with every generation.
std::string slot_of_generation(int generation) {
  return std::string(static_cast<std::size_t>(generation) * 97 + 1, static_cast<char>('a' + generation % 26));
}
const std::string kOtherSlot(5000, 'z');

// The generation number of the status record and whether the large script
// file, the growing slot (of the same generation: both went in one store)
// and the other slot are intact; raises when the file is not a whole
// archive.
int read_generation(const TSaveFile& file, const std::string& blob) {
  auto archive = file.open();
  files::MemoryBlock m;
  archive->ReadEntry(*archive->Find("save:blob"), m);
  if (m.view() != blob) throw core::Error("the script file is damaged");
  archive->ReadEntry(*archive->Find(kStatusEntryName), m);
  expr::TParamCollection store;
  data::TDBManager tables;
  read_status_record(m.bytes(), store, tables);
  const int generation = store.find("generation")->value().as_int();
  if (const files::TVrFile* slot = archive->Find("GAMESAVEDATA1")) {
    archive->ReadEntry(*slot, m);
    if (m.view() != slot_of_generation(generation)) throw core::Error("the growing slot is not its generation's");
  } else if (generation > 0) {
    throw core::Error("the growing slot is missing");
  }
  if (generation > 0) {
    const files::TVrFile* other = archive->Find("GAMESAVEDATA2");
    if (!other) throw core::Error("the other slot is missing");
    archive->ReadEntry(*other, m);
    if (m.view() != kOtherSlot) throw core::Error("the other slot is damaged");
  }
  return generation;
}

void write_generation(const TSaveFile& file, int generation, const std::string& blob) {
  auto archive = file.open();
  for (int i = archive->IndexOf(kStatusEntryName); i >= 0; i = archive->IndexOf(kStatusEntryName)) archive->Delete(i);
  expr::TParamCollection store;
  bool created = false;
  store.create("generation", expr::PT_INT, expr::TVarScope::Status, created).value().set_int(generation);
  core::ByteWriter w;
  write_status_record(w, store, {}, data::TDBManager());
  archive->AddMemoryFile(std::string(kStatusEntryName), w.data());
  if (!archive->Find("save:blob")) archive->AddMemoryFile("save:blob", files::as_bytes(blob));
  if (generation > 0) {
    for (int i = archive->IndexOf("GAMESAVEDATA1"); i >= 0; i = archive->IndexOf("GAMESAVEDATA1")) archive->Delete(i);
    archive->AddMemoryFile("GAMESAVEDATA1", files::as_bytes(slot_of_generation(generation)));
    if (!archive->Find("GAMESAVEDATA2")) archive->AddMemoryFile("GAMESAVEDATA2", files::as_bytes(kOtherSlot));
  }
  file.store(*archive);
}

// Counts the writer's temporaries beside "save.dat"; removes them unless
// told to leave them (for the next store to clear).
int leftover_temporaries(const fs::path& folder, bool remove = true) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(folder)) {
    if (e.path().filename().string().rfind("save.dat.", 0) == 0) {
      ++n;
      if (remove) fs::remove(e.path());
    }
  }
  return n;
}

TEST(SaveFile, AKillWhileWritingLeavesTheLastWholeFile) {
  test::TempDir dir;
  const TSaveFile file(dir / "save.dat");
  // A script file large enough to be stored as is makes every write long,
  // so that kills land at many points of it.
  std::string blob(6 << 20, '\0');
  std::mt19937 random(12345);
  for (char& c : blob) c = static_cast<char>(random());
  write_generation(file, 0, blob);

  // How long one whole write takes on this machine, so that the kills fall
  // before, during and between writes however fast or slow it is.
  using Clock = std::chrono::steady_clock;
  Clock::duration one_write{};
  for (int i = 0; i < 3; ++i) {
    const auto start = Clock::now();
    write_generation(file, 0, blob);
    one_write = std::max(one_write, Clock::now() - start);
  }

  int last = 0, completed = 0, mid_write = 0;
  std::uniform_real_distribution<double> fraction(0.0, 2.5);
  for (int round = 0; round < 40; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      try {
        // The writing starts now: the parent times its kill from here, not
        // from the fork, whose cost varies much more than a write's.
        const char go = 1;
        if (write(ready[1], &go, 1) != 1) _exit(4);
        for (int generation = last + 1;; ++generation) write_generation(file, generation, blob);
      } catch (...) {
        _exit(3);
      }
    }
    close(ready[1]);
    char go = 0;
    ASSERT_EQ(read(ready[0], &go, 1), 1);
    close(ready[0]);
    std::this_thread::sleep_for(std::chrono::duration_cast<Clock::duration>(one_write * fraction(random)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed by itself";
    // Every eighth round leaves the killed writer's temporary for the next
    // store to clear.
    const bool cleared_by_store = round % 8 == 7;
    mid_write += leftover_temporaries(dir.path(), !cleared_by_store) > 0;
    int generation = -1;
    ASSERT_NO_THROW(generation = read_generation(file, blob)) << "round " << round;
    EXPECT_GE(generation, last);
    completed += generation - last;
    last = generation;
    if (cleared_by_store) {
      write_generation(file, last, blob);
      EXPECT_EQ(leftover_temporaries(dir.path(), false), 0) << "round " << round;
    }
  }
  EXPECT_GT(completed, 0) << "some writes finished between the kills";
  EXPECT_GT(mid_write, 0) << "some kills landed while the file was being written";
  std::printf("one write: %lld ms; kills: 40, of them while a file was written: %d; writes completed: %d\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(one_write).count()),
              mid_write, completed);
}

}  // namespace
}  // namespace nova::script
