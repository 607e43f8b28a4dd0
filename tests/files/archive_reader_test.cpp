// Reading archives: versions, container forms, hostile directories.
#include <gtest/gtest.h>

#include "archive_builder.h"
#include "core/error.h"
#include "files/archive.h"
#include "support/test_support.h"

namespace nova::files {
namespace {

namespace fs = std::filesystem;
using test::RawEntry;
using test::TempDir;
using test::write_file;

std::string text_of(TVrFileCollection& c, const std::string& name) {
  TVrFile* f = c.Find(name);
  if (!f) return "<missing>";
  MemoryBlock out;
  c.ReadEntry(*f, out);
  return std::string(out.view());
}

// Entries of every kind: compressed or not, a Shift-JIS name whose second
// byte is "\", an empty entry.
std::vector<RawEntry> sample_entries(int version) {
  const bool all_compressed = version < 101;
  std::vector<RawEntry> e;
  auto add = [&](std::string name, std::string data, bool stored, std::int32_t time, bool mode) {
    RawEntry r;
    r.name = std::move(name);
    r.stored = stored && !all_compressed;
    r.data = r.stored ? data : test::zlib_compress(data);
    r.time_stamp = version >= 101 ? time : 0;
    r.checksum = version >= 101 ? test::crc32_of(mode ? data : r.data) : 0;
    r.checksum_mode = version >= 102 && mode;
    e.push_back(std::move(r));
  };
  add("nova.npb", "project settings", false, 0x58A15C21, true);
  add("bgm\\op.ogg", std::string(3000, 'o'), true, 0x58A15C22, false);
  add(test::sjis("ソ\\画像.bri"), "picture bytes picture bytes", false, 0x58A15C23, false);
  add("empty.txt", "", true, 0, false);
  return e;
}

TEST(ArchiveReading, EveryVersionGivesItsFieldsAndTheSentinel) {
  for (int version : {0, 1, 100, 101, 102}) {
    SCOPED_TRACE(version);
    const auto raw = sample_entries(version);
    TVrFileCollection c;
    c.OpenStream(std::make_unique<TKvBigMemoryStream>(as_bytes(test::build_archive(version, raw))));
    EXPECT_EQ(c.Version(), version);
    ASSERT_EQ(c.Count(), static_cast<int>(raw.size()) + 1);
    std::int64_t offset = test::directory_size(version, raw);
    for (std::size_t i = 0; i < raw.size(); ++i) {
      const TVrFile& f = c.At(static_cast<int>(i));
      EXPECT_EQ(f.Name(), raw[i].name);
      EXPECT_EQ(f.offset, offset);
      EXPECT_EQ(f.length, static_cast<std::int64_t>(raw[i].data.size()));
      EXPECT_EQ(f.stored, raw[i].stored);
      EXPECT_EQ(f.time_stamp, raw[i].time_stamp);
      EXPECT_EQ(f.checksum, raw[i].checksum);
      EXPECT_EQ(f.checksum_mode, raw[i].checksum_mode);
      offset += f.length;
    }
    const TVrFile& sentinel = c.At(c.Count() - 1);
    EXPECT_EQ(sentinel.Name(), "\\EOF\\");
    EXPECT_EQ(sentinel.offset, offset);
    EXPECT_EQ(c.EntryCount(), 4);
    EXPECT_EQ(text_of(c, "NOVA.NPB"), "project settings");
    EXPECT_EQ(text_of(c, "BGM\\OP.OGG"), std::string(3000, 'o'));
    EXPECT_EQ(text_of(c, test::sjis("ソ\\画像.BRI")), "picture bytes picture bytes");
    EXPECT_EQ(text_of(c, "empty.txt"), "");
  }
}

TEST(ArchiveReading, VersionZeroStartsWithTheCountInPlainText) {
  const auto raw = sample_entries(0);
  const std::string bytes = test::build_archive(0, raw);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x04\0\0\0", 4));
  EXPECT_EQ(bytes.substr(8, 8), "nova.npb") << "names are not scrambled";
  TVrFileCollection c;
  c.OpenStream(std::make_unique<TKvBigMemoryStream>(as_bytes(bytes)));
  EXPECT_EQ(c.Version(), 0);
  EXPECT_FALSE(c.At(1).stored) << "every entry of version 0 is a zlib stream";
}

TEST(ArchiveReading, AnEmptyArchiveStillHasTheEndOffset) {
  for (int version : {0, 100, 102}) {
    TVrFileCollection c;
    c.OpenStream(std::make_unique<TKvBigMemoryStream>(as_bytes(test::build_archive(version, {}))));
    ASSERT_EQ(c.Count(), 1);
    EXPECT_TRUE(c.At(0).IsSentinel());
    EXPECT_EQ(c.EntryCount(), 0);
  }
}

TEST(ArchiveReading, TheNameGeneratorRunsOnAcrossNames) {
  std::vector<RawEntry> raw(3);
  raw[0].name = "first.txt";
  raw[1].name = "second.txt";
  raw[2].name = "third.txt";
  const std::string bytes = test::build_archive(102, raw);
  // The second name as a reader that restarted the generator would see it.
  test::RawScrambler fresh;
  std::string restarted;
  const std::size_t second_at = 6 + 4 + 4 + raw[0].name.size() + 4;
  for (std::size_t i = 0; i < raw[1].name.size(); ++i) {
    restarted.push_back(static_cast<char>(bytes[second_at + i] ^ static_cast<char>(fresh.next() & 0xFF)));
  }
  ASSERT_NE(restarted, "second.txt");
  TVrFileCollection c;
  c.OpenStream(std::make_unique<TKvBigMemoryStream>(as_bytes(bytes)));
  EXPECT_EQ(c.At(0).Name(), "first.txt");
  EXPECT_EQ(c.At(1).Name(), "second.txt");
  EXPECT_EQ(c.At(2).Name(), "third.txt");
}

TEST(ArchiveReading, AnOffsetWhoseKeyHasTheTopBitGetsItsHighWordInverted) {
  // Find the first offset key with the top bit set and give the archive
  // enough entries to reach it.
  test::RawScrambler keys;
  std::size_t top = 0;
  while (keys.next() < 0x80000000u) ++top;
  std::vector<RawEntry> raw(top + 1);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    raw[i].name = "e" + std::to_string(i);
    raw[i].data = std::string(i + 1, 'x');
  }
  const std::string bytes = test::build_archive(102, raw);
  std::size_t table = 6 + 4;
  for (const auto& r : raw) table += 4 + r.name.size();
  const std::size_t at = table + top * 8;
  std::uint32_t high = 0;
  for (int k = 3; k >= 0; --k)
    high = high << 8 | static_cast<std::uint8_t>(bytes[at + 4 + static_cast<std::size_t>(k)]);
  EXPECT_EQ(high, 0xFFFFFFFFu) << "a small offset stored with its high word inverted";
  TVrFileCollection c;
  c.OpenStream(std::make_unique<TKvBigMemoryStream>(as_bytes(bytes)));
  EXPECT_EQ(text_of(c, "e" + std::to_string(top)), std::string(top + 1, 'x'));
  EXPECT_EQ(c.At(static_cast<int>(top)).length, static_cast<std::int64_t>(top + 1));
}

TEST(ArchiveReading, TheLastEntryOfANameWins) {
  std::vector<RawEntry> raw(3);
  raw[0] = {"Same.txt", "older", true};
  raw[1] = {"other.txt", "x", true};
  raw[2] = {"SAME.TXT", "newer", true};
  TVrFileCollection c;
  c.OpenStream(std::make_unique<TKvBigMemoryStream>(as_bytes(test::build_archive(102, raw))));
  EXPECT_EQ(text_of(c, "same.txt"), "newer");
}

// Hand-made directories that lie about their sizes.
std::string with_header(std::string_view rest) { return std::string("vf\x66\0\0\0", 6) + std::string(rest); }
std::string le32(std::uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
std::string le64(std::uint64_t v) { return std::string(reinterpret_cast<const char*>(&v), 8); }

TEST(ArchiveReading, HostileDirectoriesGiveAnErrorAndAnEmptyCollection) {
  // A version 101 directory of one entry named "a" with given raw offsets.
  auto one_entry = [](std::uint64_t o0, std::uint64_t o1) {
    test::RawScrambler names, offsets;
    std::string s("vf\x65\0\0\0", 6);
    s += le32(1) + le32(1);
    s.push_back(static_cast<char>('a' ^ (names.next() & 0xFF)));
    for (std::uint64_t o : {o0, o1}) {
      std::uint32_t k = offsets.next();
      s += le64(o ^ (static_cast<std::uint64_t>(k) | (k >= 0x80000000u ? 0xFFFFFFFF00000000ull : 0)));
    }
    s += std::string(9, '\0');  // flags, time stamp, checksum
    s += "data";
    return s;
  };
  const std::size_t dir = 6 + 4 + 5 + 16 + 9;
  ASSERT_NO_THROW({
    TVrFileCollection ok;
    ok.OpenStream(std::make_unique<TKvBigMemoryStream>(as_bytes(one_entry(dir, dir + 4))));
  }) << "the well-formed form of the cases below";

  const std::vector<std::pair<std::string, std::string>> cases = {
      {"huge count", with_header(le32(0x7FFFFFFF) + std::string(64, '\0'))},
      {"negative count", with_header(le32(0xFFFFFFFF) + std::string(64, '\0'))},
      {"negative name length", with_header(le32(1) + le32(0x80000000u) + std::string(64, '\0'))},
      {"name longer than the file", with_header(le32(1) + le32(1000) + std::string(64, '\0'))},
      {"offset past the end", one_entry(dir, dir + 5)},
      {"huge offset", one_entry(dir, 0x7FFFFFFFFFFFFFFFull)},
      {"negative offset", one_entry(static_cast<std::uint64_t>(-8), dir)},
      {"negative length", one_entry(dir + 4, dir)},
      {"unknown version", std::string("vf\x67\0\0\0", 6) + le32(0) + std::string(16, '\0')},
      {"nothing at all", ""},
  };
  for (const auto& [what, bytes] : cases) {
    TVrFileCollection c;
    EXPECT_THROW(c.OpenStream(std::make_unique<TKvBigMemoryStream>(as_bytes(bytes))), core::Error) << what;
    EXPECT_EQ(c.Count(), 0) << what;
    EXPECT_EQ(c.Container(), nullptr) << what;
  }
}

TEST(ArchiveReading, EveryTruncationOfAnArchiveIsAnError) {
  for (int version : {0, 100, 101, 102}) {
    const std::string bytes = test::build_archive(version, sample_entries(version));
    for (std::size_t n = 0; n < bytes.size(); ++n) {
      TVrFileCollection c;
      EXPECT_THROW(c.OpenStream(std::make_unique<TKvBigMemoryStream>(as_bytes(bytes.substr(0, n)))), core::Error)
          << "version " << version << ", " << n << " bytes";
      EXPECT_EQ(c.Count(), 0);
    }
  }
}

TEST(ArchiveReading, ADamagedEntryNamesItselfWhenRead) {
  std::vector<RawEntry> raw(1);
  raw[0] = {"broken.txt", "this is not a zlib stream", false};
  TVrFileCollection c;
  c.OpenStream(std::make_unique<TKvBigMemoryStream>(as_bytes(test::build_archive(102, raw))));
  try {
    MemoryBlock out;
    c.ReadEntry(*c.Find("broken.txt"), out);
    FAIL() << "no error";
  } catch (const core::Error& e) {
    EXPECT_NE(e.message().find("broken.txt"), std::string::npos) << e.message();
  }
}

// --- container forms on disk ---------------------------------------------------

TEST(ArchiveForms, APlainFileAndAMissingName) {
  TempDir dir;
  write_file(dir / "game.dat", test::build_archive(102, sample_entries(102)));
  TVrFileCollection c;
  c.Open(dir / "game.dat");
  EXPECT_EQ(c.Form(), ArchiveForm::File);
  EXPECT_EQ(c.SourceFolder(), dir.path());
  EXPECT_EQ(text_of(c, "nova.npb"), "project settings");

  c.Open(dir / "nothing.dat");
  EXPECT_EQ(c.Count(), 0) << "a missing file gives an empty collection, no error";
  EXPECT_EQ(c.Container(), nullptr);
  EXPECT_EQ(c.SourceFolder(), dir / "nothing.dat") << "the name itself is taken as the source folder";
}

TEST(ArchiveForms, ACompanionDirectoryIsFoundWhateverItsCase) {
  TempDir dir;
  const auto raw = sample_entries(101);
  const auto split = test::build_split_archive(101, raw);
  write_file(dir / "game.dat", split.data);
  write_file(dir / "GAME.EXT", split.directory);
  TVrFileCollection c;
  c.Open(dir / "game.dat");
  EXPECT_EQ(c.Form(), ArchiveForm::Companion);
  EXPECT_EQ(c.At(0).offset, 0) << "offsets refer to the archive file";
  EXPECT_EQ(text_of(c, "bgm\\op.ogg"), std::string(3000, 'o'));
  EXPECT_EQ(text_of(c, "nova.npb"), "project settings");
}

TEST(ArchiveForms, AnAppendedArchiveIsFoundByItsTrailer) {
  TempDir dir;
  const auto raw = sample_entries(102);
  const std::string front = std::string(
                                "\x7F"
                                "ELF",
                                4) +
                            std::string(5000, 'P');
  write_file(dir / "novaplayer", test::build_appended(front, 102, raw));
  write_file(dir / "player.exe", test::build_appended("MZ stub", 102, raw));
  for (const char* name : {"novaplayer", "player.exe"}) {
    TVrFileCollection c;
    c.Open(dir / name);
    EXPECT_EQ(c.Form(), ArchiveForm::Appended) << name;
    EXPECT_EQ(text_of(c, "nova.npb"), "project settings") << name;
    EXPECT_TRUE(has_appended_trailer(dir / name));
  }
  // Without the trailer, or with a start past the end, nothing is mounted.
  write_file(dir / "plain.exe", std::string(100, 'M'));
  std::string bad = test::build_appended("MZ", 102, raw);
  bad[bad.size() - 6] = '\x7F';  // B becomes huge
  bad[bad.size() - 3] = '\x70';
  write_file(dir / "bad.exe", bad);
  for (const char* name : {"plain.exe", "bad.exe"}) {
    TVrFileCollection c;
    EXPECT_THROW(c.Open(dir / name), core::Error) << name;
    EXPECT_EQ(c.Count(), 0);
  }
  EXPECT_FALSE(has_appended_trailer(dir / "plain.exe"));
}

TEST(ArchiveForms, AnArchiveSplitIntoPartsReadsAcrossTheBoundaries) {
  TempDir dir;
  std::vector<RawEntry> raw;
  for (int i = 0; i < 5; ++i) {
    RawEntry e;
    e.name = "part" + std::to_string(i) + ".bin";
    e.data = std::string(700000, static_cast<char>('a' + i));
    e.data[0] = '<';
    e.data.back() = '>';
    raw.push_back(e);
  }
  const std::string bytes = test::build_archive(102, raw);
  constexpr std::size_t kPart = 1 << 20;
  for (std::size_t k = 0; k * kPart < bytes.size(); ++k) {
    write_file(TKvBigFileStream::PartName(dir / "game.dat", static_cast<int>(k)), bytes.substr(k * kPart, kPart));
  }
  ArchiveOptions options;
  options.part_size = kPart;
  TVrFileCollection c(options);
  c.Open(dir / "game.dat");
  ASSERT_EQ(c.EntryCount(), 5);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(text_of(c, raw[static_cast<std::size_t>(i)].name), raw[static_cast<std::size_t>(i)].data) << i;
}

}  // namespace
}  // namespace nova::files
