// Finding title names on the case-sensitive disk.
#include "files/host_lookup.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace nova::files {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::write_file;

TEST(HostLookup, MatchesEveryComponentWithoutRegardToCase) {
  TempDir dir;
  write_file(dir / "Data" / "BGM" / "Op.Ogg", "x");
  write_file(dir / "Data" / u8"ＳＥ" / "hit.wav", "y");
  HostFileFinder finder;
  EXPECT_EQ(finder.FindFile(dir.path(), "data\\bgm\\OP.OGG"), dir / "Data" / "BGM" / "Op.Ogg");
  EXPECT_EQ(finder.FindFile(dir.path(), "DATA/Bgm/op.ogg"), dir / "Data" / "BGM" / "Op.Ogg") << "\"/\" separates too";
  EXPECT_EQ(finder.FindFile(dir.path(), test::sjis("data\\ｓｅ\\HIT.WAV")), dir / "Data" / u8"ＳＥ" / "hit.wav")
      << "full-width letters fold as well";
  EXPECT_EQ(finder.FindFile(dir.path(), "data\\\\bgm\\.\\op.ogg"), dir / "Data" / "BGM" / "Op.Ogg");
  EXPECT_EQ(finder.FindFile(dir.path(), "data\\bgm\\..\\bgm\\op.ogg"), dir / "Data" / "BGM" / "Op.Ogg");
  EXPECT_FALSE(finder.FindFile(dir.path(), "data\\bgm")) << "a folder is not a file";
  EXPECT_EQ(finder.FindFolder(dir.path(), "DATA\\bgm"), dir / "Data" / "BGM");
  EXPECT_FALSE(finder.FindFile(dir.path(), "data\\bgm\\op.ogg\\more"));
  EXPECT_FALSE(finder.FindFile(dir.path(), "missing.txt"));
}

TEST(HostLookup, ForeignAbsoluteNamesAreNeverFound) {
  TempDir dir;
  write_file(dir / "C:" / "x.txt", "x");
  write_file(dir / "x.txt", "x");
  HostFileFinder finder;
  EXPECT_FALSE(finder.FindFile(dir.path(), "C:\\x.txt"));
  EXPECT_FALSE(finder.FindFile(dir.path(), "\\\\server\\x.txt"));
  EXPECT_TRUE(finder.FindFile(dir.path(), "\\x.txt")) << "a single leading separator stays below the root";
}

TEST(HostLookup, AnExactMatchWinsOverOtherFoldings) {
  TempDir dir;
  write_file(dir / "readme.TXT", "upper");
  write_file(dir / "README.txt", "lower");
  HostFileFinder finder;
  EXPECT_EQ(finder.FindFile(dir.path(), "README.txt"), dir / "README.txt");
  EXPECT_EQ(finder.FindFile(dir.path(), "readme.TXT"), dir / "readme.TXT");
  EXPECT_EQ(finder.FindFile(dir.path(), "Readme.Txt"), dir / "README.txt") << "else the first in byte order";
}

TEST(HostLookup, ListingsAreCachedAndRefreshedWhenANameIsMissing) {
  TempDir dir;
  write_file(dir / "a.txt", "a");
  HostFileFinder finder;
  ASSERT_TRUE(finder.FindFile(dir.path(), "A.TXT"));
  const auto listed = finder.ListingCount();
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(finder.FindFile(dir.path(), "a.TXT"));
  EXPECT_EQ(finder.ListingCount(), listed) << "hits do not list the folder again";

  write_file(dir / "New.txt", "n");
  EXPECT_TRUE(finder.FindFile(dir.path(), "new.TXT")) << "a file made after the listing is found";
  fs::remove(dir / "a.txt");
  EXPECT_FALSE(finder.FindFile(dir.path(), "a.txt")) << "a deleted file is not found";
}

TEST(HostLookup, ATrustedListingIsNotReadAgainOnMisses) {
  TempDir dir;
  write_file(dir / "a.txt", "a");
  // Date the folder back, so the listing is known to be current.
  fs::last_write_time(dir.path(), fs::file_time_type::clock::now() - std::chrono::hours(1));
  HostFileFinder finder;
  ASSERT_TRUE(finder.FindFile(dir.path(), "a.txt"));
  const auto listed = finder.ListingCount();
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(finder.FindFile(dir.path(), "other.txt"));
  EXPECT_EQ(finder.ListingCount(), listed);
  write_file(dir / "other.txt", "o");  // changes the folder's time
  EXPECT_TRUE(finder.FindFile(dir.path(), "OTHER.TXT"));
}

}  // namespace
}  // namespace nova::files
