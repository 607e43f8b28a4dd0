// Range streams: a read-only ordinary stream that shows one byte range of a
// big stream. Media players read stored archive entries through them, from
// their decoding threads, while the main thread may seek the same stream.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>

#include "files/big_stream.h"
#include "files/stream.h"

namespace nova::files {

// How a length of 0 given to a range kind is read. The kinds keep the
// system's rule that 0 means "up to the end of the source"; the file manager
// asks for exact ranges, so that an empty archive entry shows nothing rather
// than the whole archive.
enum class RangeLength : std::uint8_t { ZeroMeansToEnd, Exact };

// Owns its source. Seek and Read happen under the stream's own lock, so one
// thread's seek never lands between another thread's seek and read. The
// range is clamped to the source's size when the stream is made.
class TRangeStream : public Stream {
 public:
  // Shows exactly [start, start + length) of the source (clamped).
  TRangeStream(std::unique_ptr<TKvBigStream> source, std::int64_t start, std::int64_t length)
      : TRangeStream(std::move(source), start, length, RangeLength::Exact) {}
  TRangeStream(std::unique_ptr<TKvBigStream> source, std::int64_t start, std::int64_t length, RangeLength rule);

  // The target (from the start of the range, from the current position or
  // from its end; any other origin keeps the position) is clamped to the
  // range. Answers the position within the range.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  // The range is read-only: writes nothing.
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t GetSize() override { return m_length; }
  std::int64_t GetPosition() override;

 private:
  std::unique_ptr<TKvBigStream> m_source;
  std::int64_t m_start;
  std::int64_t m_length;
  std::mutex m_lock;
};

// A range of a file set opened read-only (deny-write sharing).
// Raises core::Error when the file cannot be opened.
class TFileRangeStream : public TRangeStream {
 public:
  TFileRangeStream(const std::filesystem::path& file_name, std::int64_t length, std::int64_t start,
                   RangeLength rule = RangeLength::ZeroMeansToEnd, std::int64_t part_size = kBigPartSize);
};

// A range of a resource of a module (empty: the executable). A missing
// resource gives an empty range.
class TResourceRangeStream : public TRangeStream {
 public:
  TResourceRangeStream(std::string_view resource_name, std::int64_t length, std::int64_t start,
                       std::string_view resource_type, const std::filesystem::path& module = {},
                       RangeLength rule = RangeLength::ZeroMeansToEnd);
};

}  // namespace nova::files
