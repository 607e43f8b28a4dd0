// Ordinary streams: the seekable byte streams the layers above read a title's
// files through (memory streams filled by the file manager, range streams
// over archive entries). Sizes and positions are 64-bit throughout.
//
// A stream is used by one thread at a time unless its class says otherwise
// (range streams lock themselves, see range_stream.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace nova::files {

enum class SeekOrigin : std::uint8_t { Begin = 0, Current = 1, End = 2 };

class Stream {
 public:
  virtual ~Stream() = default;

  // Reads up to `count` bytes; answers how many were read (fewer at the end,
  // 0 for a count of 0 or less).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Writes up to `count` bytes; answers how many were written.
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Moves the position and answers the new one.
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  virtual std::int64_t GetSize() = 0;
  virtual std::int64_t GetPosition() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(std::int64_t position) { Seek(position, SeekOrigin::Begin); }

  // Like Read and Write, but anything short raises core::Error.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
};

namespace detail {
// Raise core::Error when a read or write moved fewer bytes than asked.
void require_read(std::int64_t got, std::int64_t want);
void require_written(std::int64_t put, std::int64_t want);
}  // namespace detail

// A growable byte block whose new bytes are left uninitialised where the
// caller overwrites them at once (inflating, reading), so that large entries
// are not cleared before they are filled.
class MemoryBlock {
 public:
  MemoryBlock() = default;
  MemoryBlock(const MemoryBlock& other);
  MemoryBlock& operator=(const MemoryBlock& other);
  MemoryBlock(MemoryBlock&& other) noexcept;
  MemoryBlock& operator=(MemoryBlock&& other) noexcept;

  std::uint8_t* data() { return m_data.get(); }
  const std::uint8_t* data() const { return m_data.get(); }
  std::size_t size() const { return m_size; }
  std::size_t capacity() const { return m_capacity; }
  bool empty() const { return m_size == 0; }
  std::span<const std::uint8_t> bytes() const { return {m_data.get(), m_size}; }
  std::span<std::uint8_t> bytes() { return {m_data.get(), m_size}; }
  std::string_view view() const { return {reinterpret_cast<const char*>(m_data.get()), m_size}; }

  // New bytes are zero.
  void resize(std::size_t n);
  // New bytes are left as they are; for callers that fill them at once.
  void resize_uninitialized(std::size_t n);
  void reserve(std::size_t n);
  void clear() { m_size = 0; }
  // Releases the memory.
  void release();
  void assign(std::span<const std::uint8_t> bytes);
  // Copies up to `count` bytes from `position` (clamped to the size) and
  // answers how many.
  std::int64_t read_at(std::int64_t position, void* buffer, std::int64_t count) const;
  // Copies up to `count` bytes to `position`, growing the block to at most
  // kMaxMemoryStreamSize bytes; bytes between the old end and `position`
  // become zero (the bytes overwritten are not cleared first). Answers how
  // many were written.
  std::int64_t write_at(std::int64_t position, const void* buffer, std::int64_t count);
  void append(std::span<const std::uint8_t> bytes);

 private:
  std::unique_ptr<std::uint8_t[]> m_data;
  std::size_t m_size = 0;
  std::size_t m_capacity = 0;
};

inline std::span<const std::uint8_t> as_bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Memory streams hold less than 2 GiB.
constexpr std::int64_t kMaxMemoryStreamSize = 0x7FFFFFFF;

// The memory stream of entries held in memory and of files read whole by the
// file manager. The position may stand past the end; a write there fills the
// gap with zeros.
class TKvMemoryStream : public Stream {
 public:
  TKvMemoryStream() = default;
  explicit TKvMemoryStream(std::span<const std::uint8_t> bytes) { m_block.assign(bytes); }

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t GetSize() override { return static_cast<std::int64_t>(m_block.size()); }
  std::int64_t GetPosition() override { return m_position; }

  // Empties the stream and moves to 0.
  void Clear();
  // Cuts or extends (with zeros); the position is kept.
  void SetSize(std::int64_t size);

  // Reads the whole file (a host path); raises core::Error when it cannot.
  void LoadFromFile(const std::filesystem::path& path);
  // Writes the whole stream to the file, replacing it atomically (a new
  // file renamed over the old one), so a crash never leaves half a file.
  void SaveToFile(const std::filesystem::path& path) const;

  std::span<const std::uint8_t> bytes() const { return m_block.bytes(); }
  std::string_view view() const { return m_block.view(); }
  // The bytes themselves, for in-place filling by the file layer.
  MemoryBlock& Block() { return m_block; }
  const MemoryBlock& Block() const { return m_block; }

 private:
  MemoryBlock m_block;
  std::int64_t m_position = 0;
};

// Host file helpers shared by the streams.
namespace host {
// Owns a host file descriptor and closes it when it goes (-1: none).
class Fd {
 public:
  explicit Fd(int fd = -1) : m_fd(fd) {}
  ~Fd();
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept;
  Fd& operator=(Fd&& other) noexcept;
  int get() const { return m_fd; }
  // Gives the descriptor up without closing it (to close it by hand and
  // see the result).
  int release() { return std::exchange(m_fd, -1); }

 private:
  int m_fd;
};
// Writes every byte to the descriptor, going on after short writes and
// interruptions. False when a write fails; errno tells why.
bool write_all(int fd, std::span<const std::uint8_t> bytes);
// Reads the whole file; raises core::Error naming it when it cannot.
void read_whole_file(const std::filesystem::path& path, MemoryBlock& out);
// Writes the bytes as the file, atomically (temporary file, fsync, rename).
void write_file_atomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
// The Shift-JIS form of a host path, for messages.
std::string path_text(const std::filesystem::path& path);
}  // namespace host

}  // namespace nova::files
