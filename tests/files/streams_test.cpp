// Big streams, the buffered reader and range streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include "archive_builder.h"
#include "core/error.h"
#include "files/big_stream.h"
#include "files/range_stream.h"
#include "files/stream.h"
#include "support/test_support.h"

namespace nova::files {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::TempDir;
using test::write_file;

constexpr std::int64_t kMiB = 1 << 20;

std::string read_all(TKvBigStream& s) {
  std::string out(static_cast<std::size_t>(s.GetSize()), '\0');
  s.SetPosition(0);
  EXPECT_EQ(s.Read(out.data(), s.GetSize()), s.GetSize());
  return out;
}

TEST(MemoryStreams, WritePastTheEndFillsTheGapAndSeeksClamp) {
  TKvMemoryStream m;
  m.Seek(4, SeekOrigin::Begin);
  m.WriteBuffer("ab", 2);
  EXPECT_EQ(m.view(), std::string_view("\0\0\0\0ab", 6));
  EXPECT_EQ(m.Seek(-100, SeekOrigin::Current), 0);
  char b[8];
  EXPECT_EQ(m.Read(b, 8), 6);
  EXPECT_EQ(m.Read(b, 8), 0);
  m.Clear();
  EXPECT_EQ(m.GetSize(), 0);
  EXPECT_EQ(m.GetPosition(), 0);

  TKvBigMemoryStream big;
  big.WriteBuffer("hello", 5);
  big.SetPosition(100);
  EXPECT_EQ(big.GetPosition(), 5) << "a big stream's position is clamped to its size";
  big.SetPosition(-3);
  EXPECT_EQ(big.GetPosition(), 0);
}

TEST(MemoryStreams, SaveToFileReplacesAtomicallyAndLoadsBack) {
  TempDir dir;
  write_file(dir / "save.dat", "old contents");
  TKvMemoryStream m(as_bytes("new"));
  m.SaveToFile(dir / "save.dat");
  EXPECT_EQ(read_file(dir / "save.dat"), "new");
  // No temporary file is left behind.
  int files = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
  TKvBigMemoryStream loaded;
  loaded.LoadFromFile(dir / "save.dat");
  EXPECT_EQ(read_all(loaded), "new");
  EXPECT_THROW(loaded.LoadFromFile(dir / "missing"), core::Error);
}

TEST(BigFileStreams, PartNamesFollowTheThreeDigitPattern) {
  EXPECT_EQ(TKvBigFileStream::PartName("/x/game.dat", 0), fs::path("/x/game.dat"));
  EXPECT_EQ(TKvBigFileStream::PartName("/x/game.dat", 1), fs::path("/x/game.001"));
  EXPECT_EQ(TKvBigFileStream::PartName("/x/game.dat", 12), fs::path("/x/game.012"));
  EXPECT_EQ(TKvBigFileStream::PartName("/x.y/game", 2), fs::path("/x.y/game.002"));
}

TEST(BigFileStreams, WritingSplitsIntoPartsAndReadsBackAsOneStream) {
  TempDir dir;
  const fs::path name = dir / "game.dat";
  const std::string data = test::noise(static_cast<std::size_t>(3 * kMiB + 1000), 1);
  {
    TKvBigFileStream out(name, file_mode::kCreate, kMiB);
    // Uneven pieces so that writes cross the part boundaries.
    std::size_t at = 0;
    for (std::size_t piece : {std::size_t{700000}, std::size_t{900000}, std::size_t{1500000}, data.size()}) {
      std::size_t n = std::min(piece, data.size() - at);
      EXPECT_EQ(out.Write(data.data() + at, static_cast<std::int64_t>(n)), static_cast<std::int64_t>(n));
      at += n;
    }
    EXPECT_EQ(out.PartCount(), 4);
    EXPECT_EQ(out.GetSize(), static_cast<std::int64_t>(data.size()));
  }
  EXPECT_EQ(fs::file_size(name), static_cast<std::uintmax_t>(kMiB));
  EXPECT_EQ(fs::file_size(dir / "game.001"), static_cast<std::uintmax_t>(kMiB));
  EXPECT_EQ(fs::file_size(dir / "game.002"), static_cast<std::uintmax_t>(kMiB));
  EXPECT_EQ(fs::file_size(dir / "game.003"), 1000u);

  TKvBigFileStream in(name, file_mode::kOpenRead, kMiB);
  EXPECT_EQ(in.GetSize(), static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(read_all(in), data);
  // A read that spans a boundary from the middle of a part.
  std::string piece(5000, '\0');
  in.SetPosition(kMiB - 2500);
  EXPECT_EQ(in.Read(piece.data(), 5000), 5000);
  EXPECT_EQ(piece, data.substr(static_cast<std::size_t>(kMiB - 2500), 5000));
  in.SetPosition(in.GetSize() + 10);
  EXPECT_EQ(in.GetPosition(), in.GetSize()) << "SetPosition beyond the end lands at the end";
  EXPECT_EQ(in.Read(piece.data(), 10), 0);
}

TEST(BigFileStreams, AMissingPartEndsTheSetAndCreatingDeletesOldParts) {
  TempDir dir;
  const fs::path name = dir / "game.dat";
  write_file(name, std::string(static_cast<std::size_t>(kMiB), 'a'));
  write_file(dir / "game.002", "late part");
  {
    TKvBigFileStream in(name, file_mode::kOpenRead, kMiB);
    EXPECT_EQ(in.PartCount(), 1) << "part 1 is missing, so part 2 is not read";
    EXPECT_EQ(in.GetSize(), kMiB);
  }
  write_file(dir / "game.001", "b");
  {
    TKvBigFileStream in(name, file_mode::kOpenRead, kMiB);
    EXPECT_EQ(in.PartCount(), 2) << "a short part 1 ends the set before part 2";
    EXPECT_EQ(in.GetSize(), kMiB + 1);
  }
  {
    TKvBigFileStream out(name, file_mode::kCreate, kMiB);
    out.WriteBuffer("new", 3);
  }
  EXPECT_EQ(read_file(name), "new");
  EXPECT_FALSE(fs::exists(dir / "game.001"));
  EXPECT_FALSE(fs::exists(dir / "game.002"));
  EXPECT_THROW(TKvBigFileStream(dir / "absent.dat", file_mode::kOpenRead), core::Error);
}

TEST(BigFileStreams, PositionsNearOneAndTwoGibibytesUseTheRealPartSize) {
  // Sparse parts of the real 1 GiB size cost no disk space.
  TempDir dir;
  const fs::path name = dir / "big.dat";
  for (int k = 0; k < 2; ++k) {
    int fd = ::open(TKvBigFileStream::PartName(name, k).c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, kBigPartSize), 0);
    ::close(fd);
  }
  write_file(dir / "big.002", "0123456789");
  {
    TKvBigFileStream s(name, file_mode::kOpenReadWrite);
    ASSERT_EQ(s.PartCount(), 3);
    EXPECT_EQ(s.GetSize(), 2 * kBigPartSize + 10);
    s.SetPosition(kBigPartSize - 3);
    EXPECT_EQ(s.Write("ABCDEF", 6), 6);
    s.SetPosition((std::int64_t{1} << 31) - 2);
    EXPECT_EQ(s.Write("wxyz", 4), 4);
    char b[6];
    s.SetPosition(kBigPartSize - 3);
    ASSERT_EQ(s.Read(b, 6), 6);
    EXPECT_EQ(std::string(b, 6), "ABCDEF");
    s.SetPosition((std::int64_t{1} << 31) - 2);
    ASSERT_EQ(s.Read(b, 6), 6);
    EXPECT_EQ(std::string(b, 6), "wxyz23");
  }
  EXPECT_EQ(read_file(dir / "big.002"), "yz23456789");
  std::string tail(3, '\0');
  int fd = ::open(name.c_str(), O_RDONLY);
  ASSERT_EQ(::pread(fd, tail.data(), 3, kBigPartSize - 3), 3);
  ::close(fd);
  EXPECT_EQ(tail, "ABC");
}

TEST(BigStreams, CopyOperationsTakeTheWholeSourceForACountOfZero) {
  const std::string data = test::noise(3 * kMiB / 2, 2);
  TKvBigMemoryStream source(as_bytes(data));
  source.SetPosition(100);
  TKvBigMemoryStream target;
  EXPECT_EQ(target.WriteFromBig(source, 0), static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(read_all(target), data);

  TKvMemoryStream plain(as_bytes(data));
  TKvBigMemoryStream from_plain;
  EXPECT_EQ(from_plain.WriteFromStream(plain, 0), static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(read_all(from_plain), data);

  TKvMemoryStream out;
  source.SetPosition(10);
  EXPECT_EQ(source.ReadToStream(out, 20), 20);
  EXPECT_EQ(out.view(), data.substr(10, 20));
  // The base of the family answers 0 and does nothing.
  TKvBigStream base;
  EXPECT_EQ(base.WriteFromBig(source, 0), 0);
  EXPECT_EQ(base.GetSize(), 0);
}

TEST(BufferedReader, HandsBackUnreadBytesWhenItGoes) {
  const std::string data = test::noise(250000, 3);
  TKvBigMemoryStream source(as_bytes(data));
  {
    TKvBuffBigStream reader(source);
    char b[10];
    reader.ReadBuffer(b, 10);
    EXPECT_EQ(source.GetPosition(), TKvBuffBigStream::kBufferSize) << "the first read fills the buffer";
  }
  EXPECT_EQ(source.GetPosition(), 10);
  {
    TKvBuffBigStream reader(source);
    std::string big(200000, '\0');
    reader.ReadBuffer(big.data(), 200000);
    EXPECT_EQ(big, data.substr(10, 200000));
    EXPECT_EQ(reader.Position(), 200010);
    EXPECT_EQ(reader.i32(), static_cast<std::int32_t>(
                                static_cast<std::uint8_t>(data[200010]) | static_cast<std::uint8_t>(data[200011]) << 8 |
                                static_cast<std::uint8_t>(data[200012]) << 16 |
                                static_cast<std::uint32_t>(static_cast<std::uint8_t>(data[200013])) << 24));
    std::string rest(100000, '\0');
    EXPECT_EQ(reader.Read(rest.data(), 100000), 250000 - 200014);
    EXPECT_THROW(reader.u8(), core::Error);
  }
  EXPECT_EQ(source.GetPosition(), 250000);
}

TEST(RangeStreams, ClampSeeksAndReadsToTheRange) {
  TempDir dir;
  write_file(dir / "ten.bin", "0123456789");
  TFileRangeStream whole(dir / "ten.bin", 0, 0);
  EXPECT_EQ(whole.GetSize(), 10) << "a length of 0 covers the whole file";
  EXPECT_EQ(whole.Seek(-5, SeekOrigin::Begin), 0);
  EXPECT_EQ(whole.Seek(8, SeekOrigin::Begin), 8);
  char b[100];
  EXPECT_EQ(whole.Read(b, 100), 2);
  EXPECT_EQ(std::string(b, 2), "89");
  EXPECT_EQ(whole.Write("x", 1), 0);

  TFileRangeStream mid(dir / "ten.bin", 4, 3);
  EXPECT_EQ(mid.GetPosition(), 0) << "a range starts at its start";
  EXPECT_EQ(mid.Read(b, 100), 4);
  EXPECT_EQ(std::string(b, 4), "3456");
  EXPECT_EQ(mid.Seek(-1, SeekOrigin::End), 3);
  EXPECT_EQ(mid.Read(b, 100), 1);
  EXPECT_EQ(b[0], '6');
  EXPECT_EQ(mid.Seek(100, SeekOrigin::Current), 4);
  EXPECT_EQ(mid.Seek(INT64_MAX, SeekOrigin::Current), 4) << "huge offsets saturate";
  EXPECT_EQ(mid.Seek(INT64_MIN, SeekOrigin::End), 0);
  EXPECT_EQ(mid.Seek(2, static_cast<SeekOrigin>(7)), 0) << "an unknown origin keeps the position";

  TFileRangeStream empty(dir / "ten.bin", 0, 5, RangeLength::Exact);
  EXPECT_EQ(empty.GetSize(), 0);
  EXPECT_EQ(empty.Read(b, 10), 0);

  TFileRangeStream past(dir / "ten.bin", 50, 8);
  EXPECT_EQ(past.GetSize(), 2) << "a range is clamped to its source";
}

TEST(RangeStreams, ConcurrentSeeksNeverLetAReadLeaveTheRange) {
  // The file holds consecutive 32-bit numbers and the range a part of them.
  // Readers read while another thread keeps seeking near the range's end:
  // a read that checked the bytes left at one position and read at another
  // would return numbers beyond the range, or torn ones.
  TempDir dir;
  std::string data;
  for (std::uint32_t i = 0; i < 65536; ++i) data.append(reinterpret_cast<const char*>(&i), 4);
  write_file(dir / "counts.bin", data);
  constexpr std::uint32_t kFirst = 1000, kCount = 3000;
  TFileRangeStream range(dir / "counts.bin", kCount * 4, kFirst * 4);
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 2; ++t) {
    readers.emplace_back([&] {
      std::uint32_t v[64];
      for (int k = 0; k < 20000; ++k) {
        std::int64_t n = range.Read(v, sizeof v) / 4;
        for (std::int64_t i = 0; i < n; ++i) {
          if (v[i] < kFirst || v[i] >= kFirst + kCount || (i > 0 && v[i] != v[i - 1] + 1)) ++bad;
        }
      }
    });
  }
  std::thread seeker([&] {
    std::mt19937 rng(5);
    while (!stop) {
      range.Seek(static_cast<std::int64_t>(rng() % 4) * -4, SeekOrigin::End);
      range.Seek(static_cast<std::int64_t>(rng() % 100) * 4, SeekOrigin::Begin);
    }
  });
  for (auto& r : readers) r.join();
  stop = true;
  seeker.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST(WindowStreams, ShowAPartOfTheSourceAndWriteOnlyWhenUnbounded) {
  auto source = std::make_unique<TKvBigMemoryStream>(as_bytes("0123456789"));
  TKvBigWindowStream window(std::move(source), 3, 4);
  EXPECT_EQ(read_all(window), "3456");
  EXPECT_EQ(window.Write("x", 1), 0);

  TKvBigWindowStream open_end(std::make_unique<TKvBigMemoryStream>(as_bytes("head")), 4,
                              TKvBigWindowStream::kUnbounded);
  EXPECT_EQ(open_end.GetSize(), 0);
  open_end.WriteBuffer("tail", 4);
  EXPECT_EQ(open_end.GetSize(), 4);
  EXPECT_EQ(read_all(open_end.Source()), "headtail");
}

}  // namespace
}  // namespace nova::files
