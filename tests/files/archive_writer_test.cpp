// Writing archives: the entry rules, checksums, progress, errors, parts.
#include <gtest/gtest.h>
#include <sys/time.h>

#include <random>
#include <tuple>

#include "archive_builder.h"
#include "core/error.h"
#include "files/archive.h"
#include "files/names.h"
#include "support/test_support.h"

namespace nova::files {
namespace {

namespace fs = std::filesystem;
using test::noise;
using test::TempDir;
using test::write_file;

// Text-like data that compresses well.
std::string text(std::size_t n) {
  std::string s;
  for (int i = 0; s.size() < n; ++i) s += "line " + std::to_string(i % 97) + " of the script\n";
  s.resize(n);
  return s;
}

// 100 bytes whose zlib level-1 form has exactly `packed` bytes: random bytes
// followed by a run, searched over seeds.
std::string hundred_bytes_packing_to(std::size_t packed) {
  for (std::uint32_t seed = 0; seed < 5000; ++seed) {
    std::mt19937 rng(seed);
    std::size_t k = 50 + rng() % 46;
    std::string d = noise(k, seed) + std::string(100 - k, 'a');
    if (test::zlib_compress(d, 1).size() == packed) return d;
  }
  ADD_FAILURE() << "no sample packs to " << packed << " bytes";
  return {};
}

std::unique_ptr<TVrFileCollection> reread(TKvBigMemoryStream& written) {
  auto c = std::make_unique<TVrFileCollection>();
  c->OpenStream(std::make_unique<TKvBigMemoryStream>(written.bytes()));
  return c;
}

std::string data_of(TVrFileCollection& c, std::string_view name) {
  TVrFile* f = c.Find(name);
  if (!f) return "<missing>";
  MemoryBlock out;
  c.ReadEntry(*f, out);
  return std::string(out.view());
}

void set_mtime(const fs::path& p, std::time_t t) {
  struct timeval times[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(::utimes(p.c_str(), times), 0);
}

TEST(ArchiveWriting, MemoryEntriesAreCompressedBelowTheLimitAndChecksummedByMode) {
  TVrFileCollection c;
  const std::string small = text(20000), big = text(static_cast<std::size_t>(kArchiveLimit));
  c.AddMemoryFile("small.txt", as_bytes(small), true).time_stamp = 0x12345678;
  c.AddMemoryFile("small0.txt", as_bytes(small), false);
  c.AddMemoryFile("big.txt", as_bytes(big), true);
  c.AddMemoryFile("nothing", {}, true);
  TKvBigMemoryStream out;
  ASSERT_TRUE(c.Write(out));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.bytes().data()), 6), std::string("vf\x66\0\0\0", 6));

  auto r = reread(out);
  EXPECT_EQ(r->Version(), 102);
  ASSERT_EQ(r->EntryCount(), 4);
  const TVrFile& s1 = *r->Find("small.txt");
  EXPECT_FALSE(s1.stored);
  EXPECT_TRUE(s1.checksum_mode);
  EXPECT_EQ(s1.checksum, test::crc32_of(small)) << "mode 1: over the data";
  EXPECT_EQ(s1.time_stamp, 0x12345678) << "a memory entry keeps its time stamp";
  const TVrFile& s0 = *r->Find("small0.txt");
  EXPECT_EQ(s0.checksum, test::crc32_of(test::zlib_compress(small, 1))) << "mode 0: over the stored bytes";
  EXPECT_EQ(s0.length, static_cast<std::int64_t>(test::zlib_compress(small, 1).size()));
  const TVrFile& b = *r->Find("big.txt");
  EXPECT_TRUE(b.stored) << "the limit and more is stored as is";
  EXPECT_EQ(b.length, kArchiveLimit);
  EXPECT_EQ(data_of(*r, "small.txt"), small);
  EXPECT_EQ(data_of(*r, "big.txt"), big);
  EXPECT_EQ(data_of(*r, "nothing"), "");
  for (int i = 0; i < r->EntryCount(); ++i) EXPECT_EQ(r->CheckEntry(r->At(i)), "") << r->At(i).Name();
}

TEST(ArchiveWriting, ABorrowedEntryIsWrittenAsTheSameEntryCopiedIntoMemory) {
  const std::string small = text(30000), big = text(static_cast<std::size_t>(kArchiveLimit) + 10);
  TVrFileCollection copied, borrowed;
  for (TVrFileCollection* c : {&copied, &borrowed}) {
    const bool borrow = c == &borrowed;
    for (const auto& [name, data, mode] :
         {std::tuple{"small.txt", &small, true}, {"small0.txt", &small, false}, {"big.txt", &big, true}}) {
      TVrFile& f = borrow ? c->AddBorrowedFile(name, as_bytes(*data), mode) : c->AddMemoryFile(name, as_bytes(*data), mode);
      f.time_stamp = 0x2468;
    }
  }
  const TVrFile& entry = *borrowed.Find("small.txt");
  EXPECT_TRUE(entry.InMemory());
  EXPECT_EQ(entry.MemoryBytes().data(), reinterpret_cast<const std::uint8_t*>(small.data())) << "not copied";
  MemoryBlock read;
  borrowed.ReadEntry(entry, read);
  EXPECT_EQ(std::string(read.view()), small);
  TKvBigMemoryStream a, b;
  ASSERT_TRUE(copied.Write(a));
  ASSERT_TRUE(borrowed.Write(b));
  EXPECT_TRUE(std::equal(a.bytes().begin(), a.bytes().end(), b.bytes().begin(), b.bytes().end()));
  auto r = reread(b);
  EXPECT_EQ(data_of(*r, "small0.txt"), small);
  EXPECT_EQ(data_of(*r, "big.txt"), big);
  EXPECT_TRUE(r->Find("big.txt")->stored);
}

TEST(ArchiveWriting, SourceFilesFollowTheNineTenthsRuleAndTheExtensionList) {
  TempDir dir;
  const std::string p95 = hundred_bytes_packing_to(95), p90 = hundred_bytes_packing_to(90);
  const std::string compressible = text(50000);
  struct Case {
    std::string name;
    std::string data;
    bool stored;
  };
  const std::vector<Case> cases = {
      {"ninety_five.txt", p95, true},  // 95 > 100 × 9 / 10
      {"ninety.txt", p90, false},      // 90 is not more than 90
      {"music.ogg", compressible, true},
      {"MUSIC2.OGG", compressible, true},
      {"clip.mp", compressible, true},  // ".MP" is part of ".MPG"
      {"data.da", compressible, true},  // ".DA" is part of ".DAT"
      {"table.dat", compressible, true},
      {"noextension", compressible, false},
      {"scene.nsb", compressible, false},
      {"sub\\deep.txt", compressible, false},
      {"limit.txt", text(static_cast<std::size_t>(kArchiveLimit)), true},
      {"under.txt", text(static_cast<std::size_t>(kArchiveLimit - 1)), false},
      {"random.bin", noise(30000, 9), true},  // compressing does not pay
      {"picture.bri", compressible, true},    // no layered image test yet
  };
  TVrFileCollection c;
  c.Open(dir.path());  // a folder: the source folder for the names below
  EXPECT_EQ(c.SourceFolder(), dir.path());
  const std::time_t when = 1700000000;
  for (const auto& k : cases) {
    fs::path host = dir / fs::path(std::string(k.name)).string();
    std::string h = k.name;
    std::replace(h.begin(), h.end(), '\\', '/');
    write_file(dir / h, k.data);
    set_mtime(dir / h, when);
    c.AddSourceName(k.name, false);
  }
  TKvBigMemoryStream out;
  ASSERT_TRUE(c.Write(out));
  auto r = reread(out);
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    const TVrFile* f = r->Find(k.name);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->stored, k.stored);
    EXPECT_EQ(f->time_stamp, names::dos_time_from_unix(when));
    EXPECT_EQ(data_of(*r, k.name), k.data);
    EXPECT_EQ(r->CheckEntry(*f), "");
  }
  // With a layered image test that allows it, a ".bri" file is compressed;
  // the test sees the file itself.
  std::string seen;
  c.SetBriCompressTest([&](Stream& file) {
    seen.resize(static_cast<std::size_t>(file.GetSize()));
    file.ReadBuffer(seen.data(), file.GetSize());
    return true;
  });
  TKvBigMemoryStream out2;
  ASSERT_TRUE(c.Write(out2));
  EXPECT_EQ(seen, compressible);
  EXPECT_FALSE(reread(out2)->Find("picture.bri")->stored);
}

TEST(ArchiveWriting, TheProgressCallbackSeesEveryEntryTwiceAndCanStop) {
  TVrFileCollection c;
  for (int i = 0; i < 4; ++i) c.AddMemoryFile("e" + std::to_string(i), as_bytes(text(1000)));
  std::vector<std::string> calls;
  c.SetProgress([&](const TVrFileCollection&, const TVrFile& e, bool& stop, int count, int index, std::int64_t bytes) {
    EXPECT_EQ(count, 4);
    calls.push_back(e.Name() + ":" + std::to_string(index) + ":" + (bytes > 0 ? "after" : "before"));
    if (index == 2 && bytes > 0) stop = true;
  });
  TKvBigMemoryStream out;
  EXPECT_FALSE(c.Write(out));
  const std::vector<std::string> expected = {"e0:0:before", "e0:0:after",  "e1:1:before",
                                             "e1:1:after",  "e2:2:before", "e2:2:after"};
  EXPECT_EQ(calls, expected);
}

TEST(ArchiveWriting, AnEntryThatCannotBeWrittenNamesItself) {
  TVrFileCollection c;
  c.AddMemoryFile("fine.txt", as_bytes("x"));
  c.AddSourceName("missing.txt");  // no source file, no container
  TKvBigMemoryStream out;
  try {
    c.Write(out);
    FAIL() << "no error";
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message().rfind(test::sjis("エラー:missing.txt"), 0), 0u) << test::utf8(e.message());
  }
}

TEST(ArchiveWriting, NamesThatLeaveTheSourceFolderAreNotTakenFromDisk) {
  TempDir dir;
  write_file(dir / "secret.txt", "outside");
  fs::create_directories(dir / "src");
  TVrFileCollection c;
  c.SetSourceFolder(dir / "src");
  c.AddSourceName("..\\secret.txt");
  TKvBigMemoryStream out;
  EXPECT_THROW(c.Write(out), core::Error);
}

TEST(ArchiveWriting, RewritingAnOpenedArchiveKeepsEveryChecksumTrue) {
  TempDir dir;
  TVrFileCollection first;
  first.AddMemoryFile("script.nsb", as_bytes(text(30000)), true);
  first.AddMemoryFile("raw.bin", as_bytes(text(30000)), false);
  first.AddMemoryFile("movie.mpg", as_bytes(noise(static_cast<std::size_t>(kArchiveLimit + 10), 4)), true);
  {
    TKvBigFileStream out(dir / "save.dat", file_mode::kCreate);
    ASSERT_TRUE(first.Write(out));
  }
  TVrFileCollection c;
  c.Open(dir / "save.dat");
  ASSERT_EQ(c.Count(), 4) << "three entries and the sentinel";
  c.Delete(c.IndexOf("raw.bin"));
  c.AddMemoryFile("GAMESAVEDATA1", as_bytes("slot one"));
  TKvBigMemoryStream out;
  ASSERT_TRUE(c.Write(out));
  auto r = reread(out);
  EXPECT_EQ(r->EntryCount(), 3) << "the sentinel is not written";
  EXPECT_EQ(data_of(*r, "script.nsb"), text(30000));
  EXPECT_EQ(data_of(*r, "GAMESAVEDATA1"), "slot one");
  EXPECT_TRUE(r->Find("movie.mpg")->stored);
  for (int i = 0; i < r->EntryCount(); ++i) EXPECT_EQ(r->CheckEntry(r->At(i)), "") << r->At(i).Name();
}

TEST(ArchiveWriting, AnArchiveWrittenThroughPartsReadsBack) {
  // 3 MiB in 1 MiB parts; the stored entries cross the part boundaries.
  TempDir dir;
  constexpr std::int64_t kPart = 1 << 20;
  TVrFileCollection c;
  std::vector<std::string> data;
  for (int i = 0; i < 5; ++i) {
    data.push_back(noise(600000, static_cast<std::uint32_t>(i)));
    c.AddMemoryFile("voice" + std::to_string(i) + ".ogg", as_bytes(data.back()));
  }
  {
    TKvBigFileStream out(dir / "game.dat", file_mode::kCreate, kPart);
    ASSERT_TRUE(c.Write(out));
    EXPECT_EQ(out.PartCount(), 3);
  }
  EXPECT_EQ(fs::file_size(dir / "game.dat"), static_cast<std::uintmax_t>(kPart));
  EXPECT_EQ(fs::file_size(dir / "game.001"), static_cast<std::uintmax_t>(kPart));
  EXPECT_TRUE(fs::exists(dir / "game.002"));
  ArchiveOptions options;
  options.part_size = kPart;
  TVrFileCollection r(options);
  r.Open(dir / "game.dat");
  ASSERT_EQ(r.EntryCount(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(data_of(r, "voice" + std::to_string(i) + ".ogg"), data[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(r.CheckEntry(r.At(i)), "");
  }
}

}  // namespace
}  // namespace nova::files
