// Inflating (libdeflate against the zlib reference), compressing, CRC-32.
#include "files/codec.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "archive_builder.h"
#include "core/error.h"

namespace nova::files {
namespace {

// Data between random and very repetitive: runs of a random length of one
// random byte, mixed with noise.
std::string sample(std::size_t n, std::uint32_t seed, int noise_percent) {
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) {
    if (static_cast<int>(rng() % 100) < noise_percent) {
      s.push_back(static_cast<char>(rng()));
    } else {
      s.append(1 + rng() % 40, static_cast<char>(rng() % 8));
    }
  }
  s.resize(n);
  return s;
}

std::string inflate_with(InflateBackend backend, const std::string& z, std::size_t max = kMaxInflatedSize) {
  Inflater inflater(backend);
  MemoryBlock out;
  inflater.Inflate(as_bytes(z), out, max);
  return std::string(out.view());
}

TEST(Inflating, TheFastPathMatchesTheReferenceOnVariedData) {
  std::mt19937 rng(11);
  Inflater fast(InflateBackend::Libdeflate);  // one inflater, so its size guess adapts across calls
  for (int round = 0; round < 60; ++round) {
    std::size_t n = round < 5 ? round : 1 + rng() % 300000;
    std::string data = sample(n, static_cast<std::uint32_t>(round), static_cast<int>(rng() % 101));
    std::string z = test::zlib_compress(data, 1 + round % 9);
    MemoryBlock a;
    fast.Inflate(as_bytes(z), a);
    MemoryBlock b;
    Inflater::InflateWithZlib(as_bytes(z), b);
    ASSERT_EQ(a.view(), data) << "round " << round;
    ASSERT_EQ(b.view(), data) << "round " << round;
  }
}

TEST(Inflating, GrowsItsGuessForHighlyCompressedData) {
  const std::string data(30u << 20, 'z');  // about 1000 to 1
  const std::string z = test::zlib_compress(data, 9);
  ASSERT_LT(z.size() * 500, data.size());
  EXPECT_EQ(inflate_with(InflateBackend::Libdeflate, z), data);
  EXPECT_EQ(inflate_with(InflateBackend::Zlib, z), data);
}

TEST(Inflating, StopsAtTheStreamEndAndRejectsDamagedData) {
  const std::string data = sample(50000, 3, 30);
  std::string z = test::zlib_compress(data);
  for (auto backend : {InflateBackend::Libdeflate, InflateBackend::Zlib}) {
    EXPECT_EQ(inflate_with(backend, z + "trailing bytes"), data) << "bytes after the stream are ignored";
    EXPECT_THROW(inflate_with(backend, z.substr(0, z.size() / 2)), core::Error) << "truncated";
    std::string damaged = z;
    damaged[damaged.size() - 2] ^= 0x55;  // the Adler-32 check
    EXPECT_THROW(inflate_with(backend, damaged), core::Error);
    EXPECT_THROW(inflate_with(backend, "not zlib at all"), core::Error);
    EXPECT_THROW(inflate_with(backend, ""), core::Error);
    // A stream that inflates beyond the limit is refused, not allocated.
    EXPECT_THROW(inflate_with(backend, z, 1000), core::Error);
    EXPECT_EQ(inflate_with(backend, z, data.size()), data) << "exactly the limit is fine";
  }
}

TEST(Inflating, IntoAFixedBufferStopsAtItsEndOnEveryBackend) {
  const std::string data = sample(70000, 5, 25);
  const std::string z = test::zlib_compress(data, 6);
  for (auto backend : {InflateBackend::Libdeflate, InflateBackend::Zlib}) {
    Inflater inflater(backend);
    std::vector<std::uint8_t> exact(data.size());
    ASSERT_EQ(inflater.InflateInto(as_bytes(z + "tail"), exact), data.size());
    EXPECT_EQ(std::string(exact.begin(), exact.end()), data);
    std::vector<std::uint8_t> roomy(data.size() + 100, 0xEE);
    EXPECT_EQ(inflater.InflateInto(as_bytes(z), roomy), data.size()) << "less than the buffer is answered";
    EXPECT_EQ(roomy.back(), 0xEE);
    std::vector<std::uint8_t> small(data.size() - 1);
    EXPECT_THROW(inflater.InflateInto(as_bytes(z), small), core::Error) << "one byte past the limit";
    std::vector<std::uint8_t> none;
    EXPECT_THROW(inflater.InflateInto(as_bytes(z), none), core::Error);
    EXPECT_EQ(inflater.InflateInto(as_bytes(test::zlib_compress("")), none), 0u);
    EXPECT_THROW(inflater.InflateInto(as_bytes(z.substr(0, z.size() - 9)), exact), core::Error) << "truncated";
    std::string damaged = z;
    damaged[damaged.size() - 1] ^= 1;
    EXPECT_THROW(inflater.InflateInto(as_bytes(damaged), exact), core::Error) << "the Adler-32 check";
  }
  // A bomb: a megabyte of zeros into a kilobyte.
  const std::string bomb = test::zlib_compress(std::string(1 << 20, '\0'), 9);
  std::vector<std::uint8_t> kilo(1024);
  EXPECT_THROW(Inflater().InflateInto(as_bytes(bomb), kilo), core::Error);
  EXPECT_THROW(Inflater::InflateIntoWithZlib(as_bytes(bomb), kilo), core::Error);
}

TEST(Compressing, Level1IsZlibsLevel1AndTheCrcIsZlibs) {
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{100}, std::size_t{700000}}) {
    const std::string data = sample(n, static_cast<std::uint32_t>(n), 20);
    MemoryBlock packed;
    DeflateLevel1(as_bytes(data), packed);
    EXPECT_EQ(packed.view(), test::zlib_compress(data, 1)) << n;
    EXPECT_EQ(Crc32(0, as_bytes(data)), test::crc32_of(data)) << n;
  }
  EXPECT_EQ(Crc32(0, as_bytes("123456789")), 0xCBF43926u) << "the standard check value";
  // Fed in pieces, the CRC is the same.
  EXPECT_EQ(Crc32(Crc32(0, as_bytes("1234")), as_bytes("56789")), 0xCBF43926u);
}

}  // namespace
}  // namespace nova::files
