// zlib streams of archive entries: inflating on reading, compressing at
// level 1 on writing, and the CRC-32 of the checksums.
//
// Entries do not record their inflated size, so the inflater guesses a
// buffer from the ratios it has seen and grows it on demand. The fast path
// is libdeflate; zlib's streaming inflate is the reference, used when asked
// for and whenever libdeflate rejects the data, so that which data is
// accepted and what it inflates to is always zlib's answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "files/stream.h"

struct libdeflate_decompressor;

namespace nova::files {

enum class InflateBackend : std::uint8_t { Libdeflate, Zlib };

// Entries live in memory streams, which hold less than 2 GiB.
constexpr std::size_t kMaxInflatedSize = 0x7FFFFFFF;

// Not thread-safe: one inflater per thread.
class Inflater {
 public:
  explicit Inflater(InflateBackend backend = InflateBackend::Libdeflate);
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Inflates the zlib stream at the start of `in` up to its end (bytes after
  // it are ignored) into `out`, replacing its contents. Raises core::Error
  // when the data is damaged or truncated, or would inflate to more than
  // `max_size` bytes.
  void Inflate(std::span<const std::uint8_t> in, MemoryBlock& out, std::size_t max_size = kMaxInflatedSize);

  // Inflates the zlib stream at the start of `in` into `out`, whose size is
  // the limit (pictures know the largest size a block can need, and decode
  // straight into their bitmaps). Answers the number of bytes produced.
  // Raises core::Error when the data is damaged or truncated, or would
  // inflate to more than out.size() bytes; `out` may then hold anything.
  std::size_t InflateInto(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

  // The reference: zlib's streaming inflate.
  static void InflateWithZlib(std::span<const std::uint8_t> in, MemoryBlock& out,
                              std::size_t max_size = kMaxInflatedSize);
  static std::size_t InflateIntoWithZlib(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

 private:
  InflateBackend m_backend;
  libdeflate_decompressor* m_decompressor = nullptr;
  // The largest inflated/compressed ratio seen, for the first guess.
  std::size_t m_ratio = 4;
};

// Compresses with zlib at level 1 (the writer's rule: the nine-tenths test
// depends on zlib's sizes).
void DeflateLevel1(std::span<const std::uint8_t> in, MemoryBlock& out);

// CRC-32 (IEEE 802.3, reflected, initial all ones, final complement), as
// zlib's crc32: start with 0 and feed the bytes in order.
std::uint32_t Crc32(std::uint32_t crc, std::span<const std::uint8_t> bytes);

}  // namespace nova::files
