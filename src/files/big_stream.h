// Big streams: a small stream family with 64-bit sizes and positions over a
// set of part files, a memory block or a resource of an executable. Archives
// are read and written through them (archive.h); range streams show a byte
// range of one (range_stream.h).
//
// Big streams are not locked: one thread uses a big stream at a time. Range
// streams, which other threads read, own a big stream of their own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/stream.h"

namespace nova::files {

// A part file holds at most 1 GiB; position p lies in part p / 2^30 at
// offset p % 2^30.
constexpr std::int64_t kBigPartSize = std::int64_t{1} << 30;

// The open modes of big file streams, in the platform's numbering: the low 4
// bits are the access, bits 4..7 the sharing.
namespace file_mode {
constexpr std::uint32_t kOpenRead = 0;
constexpr std::uint32_t kOpenWrite = 1;
constexpr std::uint32_t kOpenReadWrite = 2;
constexpr std::uint32_t kCreate = 15;
constexpr std::uint32_t kShareExclusive = 0x10;
constexpr std::uint32_t kShareDenyWrite = 0x20;
constexpr std::uint32_t kShareDenyRead = 0x30;
constexpr std::uint32_t kShareDenyNone = 0x40;
constexpr std::uint32_t access(std::uint32_t mode) { return mode & 0x0F; }
}  // namespace file_mode

// The base of the family. Every operation of the base itself answers 0 or
// does nothing; the copy operations are built on Read and Write.
class TKvBigStream {
 public:
  virtual ~TKvBigStream() = default;

  virtual std::int64_t GetSize() { return 0; }
  virtual std::int64_t GetPosition() { return 0; }
  // Kinds clamp the position to [0, size].
  virtual void SetPosition(std::int64_t /*position*/) {}
  virtual std::int64_t Write(const void* /*buffer*/, std::int64_t /*count*/) { return 0; }
  virtual std::int64_t Read(void* /*buffer*/, std::int64_t /*count*/) { return 0; }
  // Copies `count` bytes from the source's position (a count of 0: the whole
  // source from its start) into this stream at its position. Answers the
  // count copied, which is short when the source ends early or a write
  // fails.
  virtual std::int64_t WriteFromBig(TKvBigStream& source, std::int64_t count);
  virtual std::int64_t WriteFromStream(Stream& source, std::int64_t count);
  // Copies `count` bytes from this stream's position into the target.
  virtual std::int64_t ReadToStream(Stream& target, std::int64_t count);

  // Like Read and Write, but anything short raises core::Error.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
};

// Reads `count` bytes from the source's position in pieces of at most 1 MiB
// and hands each to `piece` in order, so that large entries never sit in
// memory whole. Stops when `piece` answers false and then answers false; a
// source that ends early raises core::Error.
bool read_in_chunks(TKvBigStream& source, std::int64_t count,
                    const std::function<bool(std::span<const std::uint8_t> piece)>& piece);

// A file set: part 0 is the file itself, part k >= 1 is the file name
// without its extension, a dot and k in three digits ("game.dat",
// "game.001", "game.002" ...). Read as one stream of the parts' total size.
//
// Opening for write or create deletes every existing part (0, 1, 2 ... while
// the part exists); parts are created as writing reaches them. Opening for
// read or read-and-write opens parts 0, 1, 2 ... up to the first missing one;
// a missing part 0 raises core::Error. A part shorter than the part size ends
// the set (a later part could not be reached by position), so a damaged set
// reads as its intact beginning.
//
// Sharing bits are accepted and not enforced: the host has no mandatory
// sharing modes, and every reader here opens its own descriptor.
// Parts written through the stream are flushed to the disk when it is
// destroyed.
class TKvBigFileStream final : public TKvBigStream {
 public:
  // `part_size` is 1 GiB except under test.
  TKvBigFileStream(std::filesystem::path file_name, std::uint32_t mode, std::int64_t part_size = kBigPartSize);
  ~TKvBigFileStream() override;
  TKvBigFileStream(const TKvBigFileStream&) = delete;
  TKvBigFileStream& operator=(const TKvBigFileStream&) = delete;

  std::int64_t GetSize() override;
  std::int64_t GetPosition() override { return m_position; }
  void SetPosition(std::int64_t position) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Read(void* buffer, std::int64_t count) override;

  int PartCount() const { return static_cast<int>(m_parts.size()); }

  // The name of part k of a file set ("%s.%.3d" on the name without its
  // extension; part 0 is the name itself).
  static std::filesystem::path PartName(const std::filesystem::path& file_name, int k);
  // Deletes part 0, 1, 2 ... while it exists. Answers how many went.
  static int DeleteParts(const std::filesystem::path& file_name);

 private:
  struct Part {
    int fd = -1;
    std::int64_t size = 0;
  };
  Part& part_for_write(std::size_t k);

  std::filesystem::path m_file_name;
  std::uint32_t m_mode;
  std::int64_t m_part_size;
  std::vector<Part> m_parts;
  std::int64_t m_position = 0;
  bool m_written = false;
};

// A big stream in memory (sizes below 2 GiB).
class TKvBigMemoryStream final : public TKvBigStream {
 public:
  TKvBigMemoryStream() = default;
  explicit TKvBigMemoryStream(std::span<const std::uint8_t> bytes) { m_block.assign(bytes); }
  explicit TKvBigMemoryStream(MemoryBlock block) : m_block(std::move(block)) {}

  std::int64_t GetSize() override { return static_cast<std::int64_t>(m_block.size()); }
  std::int64_t GetPosition() override { return m_position; }
  void SetPosition(std::int64_t position) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Read(void* buffer, std::int64_t count) override;

  void Clear();
  void LoadFromFile(const std::filesystem::path& path);
  // Replaces the file atomically (see TKvMemoryStream::SaveToFile).
  void SaveToFile(const std::filesystem::path& path) const;

  std::span<const std::uint8_t> bytes() const { return m_block.bytes(); }
  MemoryBlock& Block() { return m_block; }

 private:
  MemoryBlock m_block;
  std::int64_t m_position = 0;
};

// A window of another big stream: position p here is position start + p
// there. With a length it is read-only and ends at start + length; without
// one (kUnbounded) it reaches as far as the source and writes go through,
// which is how an archive is written behind an executable.
class TKvBigWindowStream : public TKvBigStream {
 public:
  static constexpr std::int64_t kUnbounded = -1;
  TKvBigWindowStream(std::unique_ptr<TKvBigStream> source, std::int64_t start, std::int64_t length);

  std::int64_t GetSize() override;
  std::int64_t GetPosition() override { return m_position; }
  void SetPosition(std::int64_t position) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Read(void* buffer, std::int64_t count) override;

  TKvBigStream& Source() { return *m_source; }

 private:
  std::unique_ptr<TKvBigStream> m_source;
  std::int64_t m_start;
  std::int64_t m_length;
  std::int64_t m_position = 0;
};

namespace detail {
// What opening a resource found: the module file's stream and the range.
struct ResourceOpen {
  std::unique_ptr<TKvBigStream> file;
  std::int64_t offset = 0;
  std::int64_t size = 0;
  bool found = false;
};
}  // namespace detail

// A read-only stream over a resource (name, type) of a module: on this
// platform an ELF section of the module file (see resource.h). An empty
// module name means the running executable. A resource that is not there
// gives a stream of size 0 (Found() answers false).
class TKvBigResourceStream final : public TKvBigWindowStream {
 public:
  TKvBigResourceStream(const std::filesystem::path& module, std::string_view resource_name,
                       std::string_view resource_type);

  bool Found() const { return m_found; }
  const std::filesystem::path& Module() const { return m_module; }
  const std::string& ResourceName() const { return m_name; }
  const std::string& ResourceType() const { return m_type; }

 private:
  TKvBigResourceStream(const std::filesystem::path& module, std::string_view resource_name,
                       std::string_view resource_type, detail::ResourceOpen opened);
  std::filesystem::path m_module;
  std::string m_name;
  std::string m_type;
  bool m_found;
};

// Reads a big stream sequentially through a 102400-byte buffer (archive
// directories: thousands of small fields). The source is borrowed and must
// outlive the reader. When the reader goes with unread bytes in its buffer,
// it moves the source back by that many, so the source stands at the
// reader's logical position.
class TKvBuffBigStream {
 public:
  static constexpr std::int64_t kBufferSize = 102400;
  explicit TKvBuffBigStream(TKvBigStream& source);
  ~TKvBuffBigStream();
  TKvBuffBigStream(const TKvBuffBigStream&) = delete;
  TKvBuffBigStream& operator=(const TKvBuffBigStream&) = delete;

  // Answers the count read (short at the end of the source).
  std::int64_t Read(void* buffer, std::int64_t count);
  // Raises core::Error when the source ends early.
  void ReadBuffer(void* buffer, std::int64_t count);
  std::uint8_t u8();
  std::int32_t i32();
  std::uint32_t u32();
  std::int64_t i64();

  // The logical position in the source.
  std::int64_t Position() const { return m_source_position - (m_filled - m_used); }

 private:
  TKvBigStream& m_source;
  std::unique_ptr<std::uint8_t[]> m_buffer;
  std::int64_t m_filled = 0;
  std::int64_t m_used = 0;
  std::int64_t m_source_position;
};

}  // namespace nova::files
