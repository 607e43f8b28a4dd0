#include "files/big_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/error.h"
#include "core/format.h"
#include "files/resource.h"

namespace nova::files {
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kCopyBufferSize = 1 << 20;

[[noreturn]] void fail_io(const fs::path& path, std::string_view what, int err) {
  throw core::Error(core::format("%s: %s (%s)", {host::path_text(path), what, std::strerror(err)}));
}

// pread / pwrite the whole count unless the file ends or fails.
std::int64_t pread_all(int fd, void* buffer, std::int64_t count, std::int64_t offset) {
  auto* p = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(fd, p + done, static_cast<std::size_t>(count - done), offset + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return done == 0 ? -1 : done;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

std::int64_t pwrite_all(int fd, const void* buffer, std::int64_t count, std::int64_t offset) {
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    ssize_t n = ::pwrite(fd, p + done, static_cast<std::size_t>(count - done), offset + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += n;
  }
  return done;
}

template <typename ReadFn, typename WriteFn>
std::int64_t copy_through_buffer(std::int64_t count, ReadFn&& read, WriteFn&& write) {
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[static_cast<std::size_t>(std::min(count, kCopyBufferSize))]);
  std::int64_t done = 0;
  while (done < count) {
    std::int64_t want = std::min(kCopyBufferSize, count - done);
    std::int64_t got = read(buffer.get(), want);
    if (got <= 0) break;
    std::int64_t put = write(buffer.get(), got);
    if (put > 0) done += put;
    if (put != got || got != want) break;
  }
  return done;
}

}  // namespace

// --- TKvBigStream ------------------------------------------------------------

namespace {

// Either kind of source: a count of 0 means the whole source from its start.
template <typename Source>
std::int64_t copy_into(TKvBigStream& target, Source& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  if (count <= 0) return 0;
  return copy_through_buffer(
      count, [&](void* b, std::int64_t n) { return source.Read(b, n); },
      [&](const void* b, std::int64_t n) { return target.Write(b, n); });
}

}  // namespace

std::int64_t TKvBigStream::WriteFromBig(TKvBigStream& source, std::int64_t count) {
  return copy_into(*this, source, count);
}

std::int64_t TKvBigStream::WriteFromStream(Stream& source, std::int64_t count) {
  return copy_into(*this, source, count);
}

std::int64_t TKvBigStream::ReadToStream(Stream& target, std::int64_t count) {
  if (count <= 0) return 0;
  return copy_through_buffer(
      count, [&](void* b, std::int64_t n) { return Read(b, n); },
      [&](const void* b, std::int64_t n) { return target.Write(b, n); });
}

void TKvBigStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count > 0) detail::require_read(Read(buffer, count), count);
}

void TKvBigStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count > 0) detail::require_written(Write(buffer, count), count);
}

bool read_in_chunks(TKvBigStream& source, std::int64_t count,
                    const std::function<bool(std::span<const std::uint8_t> piece)>& piece) {
  if (count <= 0) return true;
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[static_cast<std::size_t>(std::min(count, kCopyBufferSize))]);
  for (std::int64_t done = 0; done < count;) {
    const std::int64_t n = std::min(kCopyBufferSize, count - done);
    source.ReadBuffer(buffer.get(), n);
    if (!piece({buffer.get(), static_cast<std::size_t>(n)})) return false;
    done += n;
  }
  return true;
}

// --- TKvBigFileStream --------------------------------------------------------

fs::path TKvBigFileStream::PartName(const fs::path& file_name, int k) {
  if (k == 0) return file_name;
  fs::path stem = file_name;
  stem.replace_extension();
  return fs::path(core::format("%s.%.3d", {stem.string(), k}));
}

int TKvBigFileStream::DeleteParts(const fs::path& file_name) {
  int k = 0;
  while (::unlink(PartName(file_name, k).c_str()) == 0) ++k;
  return k;
}

TKvBigFileStream::TKvBigFileStream(fs::path file_name, std::uint32_t mode, std::int64_t part_size)
    : m_file_name(std::move(file_name)), m_mode(mode), m_part_size(part_size > 0 ? part_size : kBigPartSize) {
  const std::uint32_t access = file_mode::access(mode);
  if (access == file_mode::kOpenWrite || access == file_mode::kCreate) {
    DeleteParts(m_file_name);
    // Part 0 exists from the start, so an archive of nothing is still a file.
    part_for_write(0);
    return;
  }
  const int flags = (access == file_mode::kOpenReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  for (int k = 0;; ++k) {
    fs::path name = PartName(m_file_name, k);
    int fd = ::open(name.c_str(), flags);
    if (fd < 0) {
      if (k == 0) fail_io(name, "cannot open the file", errno);
      break;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      if (k == 0) throw core::Error(core::format("%s: not a file", {host::path_text(name)}));
      break;
    }
    m_parts.push_back({fd, static_cast<std::int64_t>(st.st_size)});
    if (st.st_size < m_part_size) break;
  }
}

TKvBigFileStream::~TKvBigFileStream() {
  for (auto& p : m_parts) {
    if (p.fd < 0) continue;
    if (m_written) ::fsync(p.fd);
    ::close(p.fd);
  }
}

std::int64_t TKvBigFileStream::GetSize() {
  std::int64_t total = 0;
  for (const auto& p : m_parts) total += p.size;
  return total;
}

void TKvBigFileStream::SetPosition(std::int64_t position) {
  m_position = std::clamp<std::int64_t>(position, 0, GetSize());
}

std::int64_t TKvBigFileStream::Read(void* buffer, std::int64_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    auto k = static_cast<std::size_t>(m_position / m_part_size);
    if (k >= m_parts.size()) break;
    const Part& part = m_parts[k];
    std::int64_t in_part = m_position % m_part_size;
    std::int64_t n = std::min(count - done, part.size - in_part);
    if (n <= 0) break;
    std::int64_t got = pread_all(part.fd, out + done, n, in_part);
    if (got <= 0) break;
    done += got;
    m_position += got;
    if (got < n) break;
  }
  return done;
}

TKvBigFileStream::Part& TKvBigFileStream::part_for_write(std::size_t k) {
  while (m_parts.size() <= k) {
    fs::path name = PartName(m_file_name, static_cast<int>(m_parts.size()));
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) fail_io(name, "cannot create the file", errno);
    m_parts.push_back({fd, 0});
  }
  return m_parts[k];
}

std::int64_t TKvBigFileStream::Write(const void* buffer, std::int64_t count) {
  if (file_mode::access(m_mode) == file_mode::kOpenRead) return 0;
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    auto k = static_cast<std::size_t>(m_position / m_part_size);
    std::int64_t in_part = m_position % m_part_size;
    // A position inside a part that is not full yet can only be its end (the
    // position never passes the size), so parts stay contiguous.
    Part& part = part_for_write(k);
    std::int64_t n = std::min(m_part_size - in_part, count - done);
    std::int64_t put = pwrite_all(part.fd, in + done, n, in_part);
    if (put < 0) fail_io(PartName(m_file_name, static_cast<int>(k)), "cannot write the file", errno);
    m_written = true;
    part.size = std::max(part.size, in_part + put);
    done += put;
    m_position += put;
  }
  return done;
}

// --- TKvBigMemoryStream ------------------------------------------------------

void TKvBigMemoryStream::SetPosition(std::int64_t position) {
  m_position = std::clamp<std::int64_t>(position, 0, static_cast<std::int64_t>(m_block.size()));
}

std::int64_t TKvBigMemoryStream::Write(const void* buffer, std::int64_t count) {
  std::int64_t n = m_block.write_at(m_position, buffer, count);
  m_position += n;
  return n;
}

std::int64_t TKvBigMemoryStream::Read(void* buffer, std::int64_t count) {
  std::int64_t n = m_block.read_at(m_position, buffer, count);
  m_position += n;
  return n;
}

void TKvBigMemoryStream::Clear() {
  m_block.clear();
  m_position = 0;
}

void TKvBigMemoryStream::LoadFromFile(const fs::path& path) {
  host::read_whole_file(path, m_block);
  m_position = 0;
}

void TKvBigMemoryStream::SaveToFile(const fs::path& path) const { host::write_file_atomically(path, m_block.bytes()); }

// --- TKvBigWindowStream ------------------------------------------------------

TKvBigWindowStream::TKvBigWindowStream(std::unique_ptr<TKvBigStream> source, std::int64_t start, std::int64_t length)
    : m_source(std::move(source)), m_start(std::max<std::int64_t>(start, 0)), m_length(length) {
  if (m_length != kUnbounded) {
    std::int64_t size = m_source ? m_source->GetSize() : 0;
    m_start = std::min(m_start, size);
    m_length = std::clamp<std::int64_t>(m_length, 0, size - m_start);
  }
}

std::int64_t TKvBigWindowStream::GetSize() {
  if (m_length != kUnbounded) return m_length;
  if (!m_source) return 0;
  return std::max<std::int64_t>(m_source->GetSize() - m_start, 0);
}

void TKvBigWindowStream::SetPosition(std::int64_t position) {
  m_position = std::clamp<std::int64_t>(position, 0, GetSize());
}

std::int64_t TKvBigWindowStream::Read(void* buffer, std::int64_t count) {
  if (!m_source || count <= 0) return 0;
  count = std::min(count, GetSize() - m_position);
  if (count <= 0) return 0;
  m_source->SetPosition(m_start + m_position);
  if (m_source->GetPosition() != m_start + m_position) return 0;
  std::int64_t n = m_source->Read(buffer, count);
  if (n > 0) m_position += n;
  return n;
}

std::int64_t TKvBigWindowStream::Write(const void* buffer, std::int64_t count) {
  if (!m_source || m_length != kUnbounded || count <= 0) return 0;
  m_source->SetPosition(m_start + m_position);
  if (m_source->GetPosition() != m_start + m_position) return 0;
  std::int64_t n = m_source->Write(buffer, count);
  if (n > 0) m_position += n;
  return n;
}

// --- TKvBigResourceStream ----------------------------------------------------

namespace {

detail::ResourceOpen open_resource(const fs::path& module, std::string_view name, std::string_view type) {
  detail::ResourceOpen r;
  if (module.empty()) return r;
  const fs::path& path = module;
  // The module is opened once: the section is looked up through the stream
  // that then reads it.
  try {
    auto file = std::make_unique<TKvBigFileStream>(path, file_mode::kOpenRead | file_mode::kShareDenyWrite);
    auto range = find_elf_section(*file, resource_section_name(name, type));
    if (!range) return r;
    r.file = std::move(file);
    r.offset = range->offset;
    r.size = range->size;
    r.found = true;
  } catch (const core::Error&) {
    // A module that cannot be read has no resources.
  }
  return r;
}

}  // namespace

TKvBigResourceStream::TKvBigResourceStream(const fs::path& module, std::string_view resource_name,
                                           std::string_view resource_type)
    : TKvBigResourceStream(module, resource_name, resource_type, open_resource(module, resource_name, resource_type)) {}

TKvBigResourceStream::TKvBigResourceStream(const fs::path& module, std::string_view resource_name,
                                           std::string_view resource_type, detail::ResourceOpen opened)
    : TKvBigWindowStream(std::move(opened.file), opened.offset, opened.size),
      m_module(module),
      m_name(resource_name),
      m_type(resource_type),
      m_found(opened.found) {}

// --- TKvBuffBigStream --------------------------------------------------------

TKvBuffBigStream::TKvBuffBigStream(TKvBigStream& source)
    : m_source(source), m_buffer(new std::uint8_t[kBufferSize]), m_source_position(source.GetPosition()) {}

TKvBuffBigStream::~TKvBuffBigStream() {
  if (m_filled > m_used) m_source.SetPosition(m_source.GetPosition() - (m_filled - m_used));
}

std::int64_t TKvBuffBigStream::Read(void* buffer, std::int64_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    if (m_used == m_filled) {
      std::int64_t want = std::min(kBufferSize, m_source.GetSize() - m_source.GetPosition());
      if (want <= 0) break;
      std::int64_t got = m_source.Read(m_buffer.get(), want);
      if (got <= 0) break;
      m_filled = got;
      m_used = 0;
      m_source_position += got;
    }
    std::int64_t n = std::min(count - done, m_filled - m_used);
    std::memcpy(out + done, m_buffer.get() + m_used, static_cast<std::size_t>(n));
    m_used += n;
    done += n;
  }
  return done;
}

void TKvBuffBigStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count > 0) detail::require_read(Read(buffer, count), count);
}

std::uint8_t TKvBuffBigStream::u8() {
  std::uint8_t b;
  ReadBuffer(&b, 1);
  return b;
}

std::uint32_t TKvBuffBigStream::u32() {
  std::uint8_t b[4];
  ReadBuffer(b, 4);
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

std::int32_t TKvBuffBigStream::i32() { return static_cast<std::int32_t>(u32()); }

std::int64_t TKvBuffBigStream::i64() {
  std::uint64_t lo = u32();
  std::uint64_t hi = u32();
  return static_cast<std::int64_t>(lo | hi << 32);
}

}  // namespace nova::files
