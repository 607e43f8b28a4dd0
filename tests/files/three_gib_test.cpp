// A real archive of 3 GiB through a big file stream with 1 GiB parts (long:
// it writes 3 GiB to the temporary folder).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "files/archive.h"
#include "files/range_stream.h"
#include "support/test_support.h"

namespace nova::files {
namespace {

namespace fs = std::filesystem;

// A sparse file of that size with markers at both ends.
void make_sparse(const fs::path& p, std::int64_t size, const std::string& mark) {
  int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, size), 0);
  ASSERT_EQ(::pwrite(fd, mark.data(), mark.size(), 0), static_cast<ssize_t>(mark.size()));
  ASSERT_EQ(::pwrite(fd, mark.data(), mark.size(), size - static_cast<std::int64_t>(mark.size())),
            static_cast<ssize_t>(mark.size()));
  ::close(fd);
}

std::string ends_of(const fs::path& archive, const TVrFile& f, std::size_t n) {
  TFileRangeStream r(archive, f.length, f.offset, RangeLength::Exact);
  std::string head(n, '\0'), tail(n, '\0');
  r.ReadBuffer(head.data(), static_cast<std::int64_t>(n));
  r.Seek(-static_cast<std::int64_t>(n), SeekOrigin::End);
  r.ReadBuffer(tail.data(), static_cast<std::int64_t>(n));
  return head + "|" + tail;
}

TEST(ThreeGibibytes, AnArchiveOfThreePartsReadsBackAsOneStream) {
  test::TempDir dir;
  // The directory of three entries named "?.ogg" takes 99 bytes, so the
  // archive is exactly 3 GiB.
  const std::int64_t gib = kBigPartSize;
  const std::vector<std::pair<std::string, std::int64_t>> entries = {
      {"a.ogg", gib - 99}, {"b.ogg", gib}, {"c.ogg", gib}};
  TVrFileCollection c;
  c.SetSourceFolder(dir / "src");
  fs::create_directories(dir / "src");
  for (const auto& [name, size] : entries) {
    make_sparse(dir / "src" / name, size, "<" + name + ">");
    c.AddSourceName(name, false);
  }
  {
    TKvBigFileStream out(dir / "game.dat", file_mode::kCreate);
    ASSERT_TRUE(c.Write(out));
    EXPECT_EQ(out.GetSize(), 3 * gib);
  }
  EXPECT_EQ(fs::file_size(dir / "game.dat"), static_cast<std::uintmax_t>(gib));
  EXPECT_EQ(fs::file_size(dir / "game.001"), static_cast<std::uintmax_t>(gib));
  EXPECT_EQ(fs::file_size(dir / "game.002"), static_cast<std::uintmax_t>(gib));
  EXPECT_FALSE(fs::exists(dir / "game.003"));

  TVrFileCollection r;
  r.Open(dir / "game.dat");
  ASSERT_EQ(r.EntryCount(), 3);
  for (const auto& [name, size] : entries) {
    const TVrFile& f = *r.Find(name);
    EXPECT_EQ(f.length, size);
    EXPECT_TRUE(f.stored);
    EXPECT_EQ(ends_of(dir / "game.dat", f, 7), "<" + name + ">|<" + name + ">") << name;
  }
  EXPECT_EQ(r.Find("c.ogg")->offset + r.Find("c.ogg")->length, 3 * gib);
}

}  // namespace
}  // namespace nova::files
