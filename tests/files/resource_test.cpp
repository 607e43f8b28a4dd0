// Resources as ELF sections, and resource archives.
#include "files/resource.h"

#include <gtest/gtest.h>

#include "archive_builder.h"
#include "core/error.h"
#include "files/archive.h"
#include "files/big_stream.h"
#include "files/range_stream.h"
#include "support/test_support.h"

namespace nova::files {
namespace {

using test::TempDir;
using test::write_file;

std::optional<SectionRange> find_in(const std::string& bytes, std::string_view name) {
  TKvBigMemoryStream s(as_bytes(bytes));
  return find_elf_section(s, name);
}

TEST(ElfSections, AreFoundInBothClassesWithoutRegardToCase) {
  for (bool wide : {true, false}) {
    const std::string elf = test::build_elf({{".text", "code"}, {".nvres/BINTYPE/DUMMY", "the archive"}}, wide);
    auto r = find_in(elf, resource_section_name("dummy", "BinType"));
    ASSERT_TRUE(r) << wide;
    EXPECT_EQ(elf.substr(static_cast<std::size_t>(r->offset), static_cast<std::size_t>(r->size)), "the archive");
    EXPECT_TRUE(find_in(elf, ".nvres/bintype/dummy")) << "section names compare without regard to case";
    EXPECT_FALSE(find_in(elf, ".nvres/BINTYPE/OTHER"));
    EXPECT_FALSE(find_in(elf, ".nvres/BINTYPE/DUMM")) << "a prefix of a name is not the name";
  }
  EXPECT_EQ(resource_section_name("Dummy", "bintype"), ".nvres/BINTYPE/DUMMY");
}

TEST(ElfSections, DamagedFilesAreNotFoundRatherThanReadOutside) {
  const std::string elf = test::build_elf({{".nvres/BINTYPE/DUMMY", "payload"}});
  EXPECT_FALSE(find_in("", "x"));
  EXPECT_FALSE(find_in("MZ not an elf file at all, but long enough to hold a header........", ".nvres/BINTYPE/DUMMY"));
  // Cutting the file anywhere, or spoiling any byte of it, never gives a
  // range that reaches past the end of the file.
  for (std::size_t n = 0; n < elf.size(); ++n) {
    auto r = find_in(elf.substr(0, n), ".nvres/BINTYPE/DUMMY");
    if (r) {
      EXPECT_LE(static_cast<std::size_t>(r->offset + r->size), n);
    }
  }
  for (std::size_t i = 0; i < elf.size(); ++i) {
    std::string spoiled = elf;
    spoiled[i] = static_cast<char>(0xFF);
    auto r = find_in(spoiled, ".nvres/BINTYPE/DUMMY");
    if (r) {
      EXPECT_LE(static_cast<std::size_t>(r->offset + r->size), spoiled.size());
    }
  }
}

TEST(ResourceArchives, AreReadFromAModuleFile) {
  TempDir dir;
  std::vector<test::RawEntry> raw(2);
  raw[0] = {"nova.npb", test::zlib_compress("settings"), false};
  raw[1] = {"movie.mpg", "stored movie bytes", true};
  write_file(dir / "module.so", test::build_elf({{".nvres/BINTYPE/DUMMY", test::build_archive(102, raw)}}));
  TVrFileCollection c;
  c.OpenResource(dir / "module.so", "DUMMY", "BINTYPE");
  EXPECT_EQ(c.Form(), ArchiveForm::Resource);
  ASSERT_EQ(c.EntryCount(), 2);
  MemoryBlock out;
  c.ReadEntry(*c.Find("nova.npb"), out);
  EXPECT_EQ(out.view(), "settings");

  const TVrFile& movie = *c.Find("movie.mpg");
  TResourceRangeStream range("DUMMY", movie.length, movie.offset, "BINTYPE", dir / "module.so", RangeLength::Exact);
  std::string bytes(100, '\0');
  bytes.resize(static_cast<std::size_t>(range.Read(bytes.data(), 100)));
  EXPECT_EQ(bytes, "stored movie bytes");

  TKvBigResourceStream missing(dir / "module.so", "OTHER", "BINTYPE");
  EXPECT_FALSE(missing.Found());
  EXPECT_EQ(missing.GetSize(), 0);
}

TEST(ResourceArchives, AMissingResourceIsAnErrorAndAMissingModuleIsEmpty) {
  TempDir dir;
  write_file(dir / "module.so", test::build_elf({{".nvres/BINTYPE/EMPTY", ""}}));
  for (const char* name : {"DUMMY", "EMPTY"}) {
    TVrFileCollection c;
    try {
      c.OpenResource(dir / "module.so", name, "BINTYPE");
      ADD_FAILURE() << name << ": no error";
    } catch (const core::Error& e) {
      EXPECT_EQ(e.message(), test::sjis("リソースが見つかりません")) << name;
    }
  }
  TVrFileCollection c;
  EXPECT_NO_THROW(c.OpenResource(dir / "absent.so", "DUMMY", "BINTYPE"));
  EXPECT_EQ(c.Count(), 0) << "a module that cannot be loaded gives no archive";
}

TEST(ResourceArchives, ASectionAddedToARealExecutableByObjcopyIsFound) {
  if (test::run_command("command -v objcopy >/dev/null 2>&1") != 0) GTEST_SKIP() << "objcopy is not installed";
  TempDir dir;
  std::vector<test::RawEntry> raw(1);
  raw[0] = {"hello.txt", "hello from a section", true};
  write_file(dir / "game.dat", test::build_archive(102, raw));
  const std::string command = "objcopy --add-section '.nvres/BINTYPE/DUMMY=" + (dir / "game.dat").string() +
                              "' /bin/true '" + (dir / "player").string() + "' 2>&1";
  std::string out;
  ASSERT_EQ(test::run_command(command, &out), 0) << out;
  TVrFileCollection c;
  c.OpenResource(dir / "player", "DUMMY", "BINTYPE");
  MemoryBlock data;
  c.ReadEntry(*c.Find("hello.txt"), data);
  EXPECT_EQ(data.view(), "hello from a section");
  EXPECT_EQ(test::run_command("'" + (dir / "player").string() + "'"), 0) << "the executable still runs";
}

}  // namespace
}  // namespace nova::files
