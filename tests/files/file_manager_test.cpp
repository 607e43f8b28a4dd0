// The virtual file manager: lookup order, reading, ranges, work files,
// folders.
#include "files/file_manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/error.h"
#include "file_manager_fixture.h"

namespace nova::files {
namespace {

namespace fs = std::filesystem;
using test::write_file;
using testing::Entry;
using testing::ManagerTest;
using testing::read_text;
using testing::write_archive;

std::string not_found(std::string_view name) { return std::string(name) + test::sjis(":ファイルがありません"); }

std::string read_range(Stream& s) {
  std::string out(static_cast<std::size_t>(s.GetSize()), '\0');
  s.SetPosition(0);
  s.ReadBuffer(out.data(), s.GetSize());
  return out;
}

TEST(FileManager, TheBaseFolderComesFirstThenArchivesInMountOrderThenDiscs) {
  ManagerTest t;
  write_file(t.root / "base" / "A.txt", "base a");
  write_archive(t.root / "one.dat",
                {{"a.txt", "one a"}, {"b.txt", "one b"}, {"d.txt", "one d older"}, {"D.TXT", "one d"}});
  write_archive(t.root / "two.dat", {{"b.txt", "two b"}, {"c.txt", "two c"}});
  write_file(t.root / "cd" / "C.TXT", "disc c");
  write_file(t.root / "cd" / "Movie" / "E.txt", "disc e");
  auto m = t.make({t.root / "cd"});
  m->SetBaseFolder(t.root / "base");
  EXPECT_EQ(m->Mount(t.root / "one.dat"), 1);
  EXPECT_EQ(m->Mount(t.root / "two.dat"), 2);
  EXPECT_EQ(m->Mount(t.root / "ONE.DAT"), -1) << "mounted already";

  EXPECT_EQ(read_text(*m, "a.TXT"), "base a");
  EXPECT_EQ(read_text(*m, "B.txt"), "one b") << "the earlier archive wins";
  EXPECT_EQ(read_text(*m, "c.txt"), "two c") << "archives come before discs";
  EXPECT_EQ(read_text(*m, "d.txt"), "one d") << "inside an archive, the entry named last wins";
  EXPECT_EQ(read_text(*m, "movie\\e.TXT"), "disc e");
  EXPECT_TRUE(m->Exists("MOVIE\\E.TXT"));
  EXPECT_FALSE(m->Exists("f.txt"));
  try {
    m->ReadFile("f.txt");
    FAIL() << "no error";
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), not_found("f.txt"));
  }
  EXPECT_EQ(m->FindEntry("b.txt")->length, m->Archive(1).Find("b.txt")->length);
  EXPECT_EQ(m->FindEntry("\\EOF\\"), nullptr) << "the sentinel is no file";
  EXPECT_EQ(m->FindEntry("a.txt"), m->Archive(1).Find("A.TXT")) << "FindEntry looks in archives only";

  m->Unmount(1);
  EXPECT_EQ(read_text(*m, "b.txt"), "two b");
  m->Unmount(17);  // ignored
  EXPECT_EQ(m->ArchiveCount(), 2);
}

TEST(FileManager, ReadingIntoAnOrdinaryStreamWritesAtItsPositionAndRewinds) {
  // A stream that is not a memory stream: it is not emptied first.
  class Recorder final : public Stream {
   public:
    std::string bytes;
    std::int64_t position = 0;
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void* b, std::int64_t n) override {
      bytes.replace(static_cast<std::size_t>(position), static_cast<std::size_t>(n), static_cast<const char*>(b),
                    static_cast<std::size_t>(n));
      position += n;
      return n;
    }
    std::int64_t Seek(std::int64_t o, SeekOrigin) override { return position = o; }
    std::int64_t GetSize() override { return static_cast<std::int64_t>(bytes.size()); }
  };
  ManagerTest t;
  write_archive(t.root / "game.dat", {{"x.txt", "archive"}});
  write_file(t.root / "base" / "y.txt", "base");
  auto m = t.make();
  m->SetBaseFolder(t.root / "base");
  m->Mount(t.root / "game.dat");
  Recorder r;
  r.bytes = "12";
  r.position = 2;
  m->ReadFile(r, "x.txt");
  EXPECT_EQ(r.bytes, "12archive");
  EXPECT_EQ(r.position, 0);
  m->ReadFile(r, "y.txt");
  EXPECT_EQ(r.bytes, "basechive");

  TKvMemoryStream memory(as_bytes("old content that is longer"));
  memory.SetPosition(5);
  m->ReadFile(memory, "x.txt");
  EXPECT_EQ(memory.view(), "archive") << "a memory stream is emptied first";
  EXPECT_EQ(memory.GetPosition(), 0);
}

TEST(FileManager, MemoryFilesLiveInTheFirstArchive) {
  ManagerTest t;
  write_archive(t.root / "game.dat", {{"mem:shot.bmp", "from the archive"}});
  auto m = t.make();
  EXPECT_EQ(m->Mount({}), -1) << "the in-memory archive exists from the start";
  m->Mount(t.root / "game.dat");
  m->SetMemoryFile("mem:shot.bmp", as_bytes("first"));
  m->SetMemoryFile("MEM:Shot.bmp", as_bytes("second"));
  EXPECT_EQ(m->MemoryArchive().Count(), 1) << "a memory file replaces its older self";
  EXPECT_EQ(read_text(*m, "mem:shot.bmp"), "second");
  EXPECT_EQ(read_range(*m->OpenRange("mem:shot.bmp")), "second") << "a range shows the memory file too";
  m->Unmount(0);
  EXPECT_EQ(read_text(*m, "mem:shot.bmp"), "from the archive");
  m->SetMemoryFile("save:x", as_bytes("y"));
  EXPECT_EQ(m->Archive(0).Form(), ArchiveForm::None);
  EXPECT_EQ(read_text(*m, "save:x"), "y");
}

TEST(FileManager, RangesShowStoredEntriesInPlaceAndOthersInflated) {
  ManagerTest t;
  const std::string movie(static_cast<std::size_t>(kArchiveLimit) + 100, 'm');
  write_archive(t.root / "game.dat",
                {{"movie.mpg", movie}, {"script.txt", "compressed text text text"}, {"empty.wav", ""}});
  write_file(t.root / "base" / "loose.ogg", "loose file");
  auto m = t.make();
  m->SetBaseFolder(t.root / "base");
  m->Mount(t.root / "game.dat");
  ASSERT_TRUE(m->FindEntry("movie.mpg")->stored);

  auto range = m->OpenRange("MOVIE.MPG");
  EXPECT_NE(dynamic_cast<TFileRangeStream*>(range.get()), nullptr) << "read in place from the archive file";
  EXPECT_EQ(range->GetSize(), static_cast<std::int64_t>(movie.size()));
  EXPECT_EQ(read_range(*range), movie);
  EXPECT_EQ(read_range(*m->OpenRange("script.txt")), "compressed text text text");
  EXPECT_EQ(m->OpenRange("empty.wav")->GetSize(), 0) << "an empty entry is not the whole archive";
  EXPECT_EQ(read_range(*m->OpenRange("loose.OGG")), "loose file");
  try {
    m->OpenRange("nothing.ogg");
    FAIL() << "no error";
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), not_found("nothing.ogg"));
  }
}

TEST(FileManager, WorkFilesAreMadeOnceInAFolderOfTheirOwn) {
  ManagerTest t;
  write_archive(t.root / "game.dat", {{"bgm\\op.ogg", "ogg data"}, {"voice.wav", "wav data"}, {"noext", "n"}});
  write_file(t.root / "base" / "loose.wav", "loose");
  fs::path folder;
  {
    auto m = t.make();
    m->SetBaseFolder(t.root / "base");
    m->Mount(t.root / "game.dat");
    EXPECT_EQ(m->RealFileName("LOOSE.wav"), t.root / "base" / "loose.wav");
    const fs::path op = m->RealFileName("bgm\\op.ogg");
    EXPECT_EQ(op.filename(), "~nv00000000.ogg");
    folder = op.parent_path();
    EXPECT_EQ(folder.parent_path(), t.root / "tmp");
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "the work folder is private";
    EXPECT_EQ(test::read_file(op), "ogg data");

    test::write_file(op, "changed");
    EXPECT_EQ(m->RealFileName("bgm\\op.ogg"), op);
    EXPECT_EQ(test::read_file(op), "changed") << "the second call does not write the file again";
    EXPECT_EQ(m->WorkFiles().Items()[0].use_count, 2);
    EXPECT_EQ(m->RealFileName("BGM\\OP.OGG").filename(), "~nv00000001.OGG")
        << "work files are matched by the exact name";
    EXPECT_EQ(m->RealFileName("voice.wav").filename(), "~nv00000002.wav");
    EXPECT_EQ(m->RealFileName("noext").filename(), "~nv00000003");
    EXPECT_EQ(m->RealFileName("unknown\\x.ogg"), fs::path("unknown/x.ogg")) << "an unknown name comes back";

    // A second player has a folder of its own.
    auto other = t.make();
    other->Mount(t.root / "game.dat");
    EXPECT_NE(other->RealFileName("bgm\\op.ogg").parent_path(), folder);
  }
  EXPECT_FALSE(fs::exists(folder)) << "the work folder goes with the manager";
}

TEST(FileManager, QueuedFilesAreDeletedAtTheNextTick) {
  ManagerTest t;
  write_file(t.root / "old.tmp", "x");
  auto m = t.make();
  m->QueueForDeletion(t.root / "old.tmp");
  EXPECT_TRUE(fs::exists(t.root / "old.tmp"));
  m->DeleteWorkFiles();
  EXPECT_FALSE(fs::exists(t.root / "old.tmp"));
  m->NoteWrittenFile(t.root / "shot.bmp");
  m->NoteWrittenFile(t.root / "shot.bmp");
  EXPECT_EQ(m->WrittenFiles().size(), 1u);
}

TEST(FileManager, ListFolderGivesArchiveEntriesOnceThenFilesOnDisk) {
  ManagerTest t;
  write_archive(t.root / "one.dat", {{"bgm\\a.ogg", "1"}, {"bgm\\sub\\deep.ogg", "2"}, {"se\\x.wav", "3"}});
  write_archive(t.root / "two.dat", {{"BGM\\A.OGG", "1"}, {"bgm\\b.ogg", "2"}});
  write_file(t.root / "base" / "Bgm" / "c.ogg", "c");
  write_file(t.root / "base" / "Bgm" / "folder" / "no.ogg", "-");
  write_file(t.root / "cd" / "bgm" / "d.ogg", "d");
  fs::permissions(t.root / "base" / "Bgm" / "c.ogg", fs::perms::owner_read);
  auto m = t.make({t.root / "cd"});
  m->SetBaseFolder(t.root / "base");
  m->Mount(t.root / "one.dat");
  m->Mount(t.root / "two.dat");
  std::vector<std::string> list;
  m->ListFolder("bgm\\", list);
  const std::vector<std::string> expected = {"bgm\\a.ogg", "bgm\\b.ogg", "bgm\\c.ogg", "bgm\\d.ogg"};
  EXPECT_EQ(list, expected);
  EXPECT_EQ(fs::status(t.root / "base" / "Bgm" / "c.ogg").permissions() & fs::perms::all, fs::perms::owner_read)
      << "listing changes no file mode";
  std::vector<std::string> same;
  m->ListFolder("BGM", same);
  EXPECT_EQ(same.size(), 4u) << "the folder may be given without its \"\\\"";

  EXPECT_EQ(TVrFileManager::FolderOfName("bgm\\op\\title.ogg"), "bgm\\op\\");
  EXPECT_EQ(TVrFileManager::FolderOfName("title.ogg"), "");
  EXPECT_EQ(TVrFileManager::FolderOfName("C:title.ogg"), "C:");
  EXPECT_EQ(TVrFileManager::FolderOfName(test::sjis("ソ")), "") << "a trail byte \"\\\" is no separator";
}

TEST(FileManager, ADamagedArchiveIsNotMounted) {
  ManagerTest t;
  write_file(t.root / "bad.dat", std::string("vf\x66\0\0\0\xFF\xFF\xFF\x7F", 10));
  auto m = t.make();
  EXPECT_THROW(m->Mount(t.root / "bad.dat"), core::Error);
  EXPECT_EQ(m->ArchiveCount(), 1);
}

}  // namespace
}  // namespace nova::files
