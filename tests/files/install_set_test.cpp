// "install.dat" and the folder-disc list.
#include "files/install_set.h"

#include <gtest/gtest.h>

#include "archive_builder.h"
#include "core/binary_io.h"
#include "core/error.h"
#include "support/test_support.h"

namespace nova::files {
namespace {

using test::build_install_file;

TEST(InstallSets, EveryVersionReadsItsFieldsAndIsRewrittenWhole) {
  for (int version : {0, 99, 100, 101, 102, 103, 104, 105, 106, 107, 108}) {
    SCOPED_TRACE(version);
    const auto bytes = build_install_file(version, {"a.txt", "", "b.txt"});
    TNovaInstallSet s = TNovaInstallSet::Parse(bytes);
    EXPECT_EQ(s.version, version);
    EXPECT_EQ(s.disc, 2);
    EXPECT_EQ(s.title, "Title");
    EXPECT_EQ(s.data_installed, version > 102);
    EXPECT_EQ(s.written_files,
              (version > 101 ? std::vector<std::string>{"a.txt", "b.txt"} : std::vector<std::string>{}))
        << "empty names are skipped";
    ASSERT_EQ(s.records14.size(), 2u);
    EXPECT_EQ(s.records14[1][3], -1007) << "4-byte values below version 100 keep their sign";
    EXPECT_EQ(s.values15[3], -1011);
    EXPECT_EQ(s.byte17, version > 100 ? 17 : 0);
    EXPECT_EQ(s.string23, version > 106 ? "s23" : "");

    // Written back as "is108": everything read is kept.
    const auto rewritten = s.Bytes();
    EXPECT_EQ(std::string(rewritten.begin(), rewritten.begin() + 5), "is108");
    TNovaInstallSet again = TNovaInstallSet::Parse(rewritten);
    EXPECT_EQ(again.Bytes(), rewritten);
    EXPECT_EQ(again.strings13[1], "s13b");
    EXPECT_EQ(again.bytes12[1], 13);
    EXPECT_EQ(again.records14, s.records14);
    EXPECT_EQ(again.list22, s.list22);
    EXPECT_EQ(again.strings24, s.strings24);
    EXPECT_EQ(again.written_files, s.written_files);
  }
  // A file of the newest version comes back byte for byte (bar the empty
  // written-file name, which is not kept).
  const auto current = build_install_file(108, {"a.txt", "b.txt"});
  EXPECT_EQ(TNovaInstallSet::Parse(current).Bytes(), current);
}

TEST(InstallSets, ANewerVersionKeepsWhatFollowsTheKnownFields) {
  auto bytes = build_install_file(108, {});
  bytes[4] = '9';  // is109
  for (char c : std::string("future")) bytes.push_back(static_cast<std::uint8_t>(c));
  TNovaInstallSet s = TNovaInstallSet::Parse(bytes);
  EXPECT_EQ(s.version, 109);
  EXPECT_EQ(s.Bytes(), bytes);
}

TEST(InstallSets, DamagedFilesAreErrors) {
  const auto bytes = build_install_file(108, {"a.txt"});
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_THROW(TNovaInstallSet::Parse(std::span(bytes).first(n)), core::Error) << n << " bytes";
  }
  core::ByteWriter w;
  w.bytes("is108");
  w.i32(0);
  w.str("t");
  for (int i = 0; i < 3; ++i) w.str("");
  w.u8(0);
  w.str("");
  w.u8(0);
  w.i32(0x7FFFFFFF);  // a record count no file holds
  w.bytes(std::string(64, '\0'));
  EXPECT_THROW(TNovaInstallSet::Parse(w.data()), core::Error);
  EXPECT_THROW(TNovaInstallSet::Parse(std::vector<std::uint8_t>{'i', 's', '1', 'x', '8'}), core::Error);
}

TEST(InstallSets, WrittenFilesAreAddedOnce) {
  TNovaInstallSet s = TNovaInstallSet::Parse(build_install_file(108, {"Save\\Shot.bmp"}));
  EXPECT_FALSE(s.AddWrittenFile("save\\shot.BMP"));
  EXPECT_FALSE(s.AddWrittenFile(""));
  EXPECT_TRUE(s.AddWrittenFile("save\\shot2.bmp"));
  EXPECT_EQ(TNovaInstallSet::Parse(s.Bytes()).written_files.size(), 2u);
}

TEST(FolderDiskLists, DiscOfLooksUpTheNearestFolder) {
  TFolderDiskList l;
  l.Add("BGM", 2);
  l.Add("bgm\\ed\\", 3);
  l.Add(test::sjis("画像\\ソ"), 4);
  EXPECT_EQ(l.DiscOf("bgm\\op\\title.ogg"), 2);
  EXPECT_EQ(l.DiscOf("BGM\\ED\\x.ogg"), 3);
  EXPECT_EQ(l.DiscOf("bgm"), 2);
  EXPECT_EQ(l.DiscOf("se\\hit.wav"), 0);
  EXPECT_EQ(l.DiscOf(""), 0);
  EXPECT_EQ(l.DiscOf("bgmx\\a.ogg"), 0) << "folders match whole";
  // "ソ" ends in the byte "\": it is no separator.
  EXPECT_EQ(l.DiscOf(test::sjis("画像\\ソ\\a.bri")), 4);
  EXPECT_EQ(l.DiscOf(test::sjis("画像\\ソa.bri")), 0);
}

TEST(FolderDiskLists, ReadAndWriteTheirStreamForm) {
  TFolderDiskList l;
  l.Add("bgm", 2);
  l.Add("movie", 3);
  core::ByteWriter w;
  l.Write(w);
  EXPECT_EQ(w.size(), 4u + (4 + 3 + 4) + (4 + 5 + 4));
  core::ByteReader r(w.data());
  TFolderDiskList back;
  back.Read(r);
  ASSERT_EQ(back.Pairs().size(), 2u);
  EXPECT_EQ(back.Pairs()[1].folder, "movie");
  EXPECT_EQ(back.Pairs()[1].disc, 3);
  for (std::size_t n = 0; n < w.size(); ++n) {
    core::ByteReader cut(std::span(w.data()).first(n));
    TFolderDiskList damaged;
    EXPECT_THROW(damaged.Read(cut), core::Error) << n;
  }
}

}  // namespace
}  // namespace nova::files
