#include "files/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include "core/error.h"
#include "core/format.h"
#include "platform/atomic_file.h"
#include "platform/codepage.h"
#include "platform/fd_io.h"

namespace nova::files {
namespace fs = std::filesystem;

void detail::require_read(std::int64_t got, std::int64_t want) {
  if (got != want) core::throw_error("stream read error: the data ends early");
}

void detail::require_written(std::int64_t put, std::int64_t want) {
  if (put != want) core::throw_error("stream write error");
}

void Stream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count > 0) detail::require_read(Read(buffer, count), count);
}

void Stream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count > 0) detail::require_written(Write(buffer, count), count);
}

// --- MemoryBlock -------------------------------------------------------------

MemoryBlock::MemoryBlock(const MemoryBlock& other) { assign(other.bytes()); }

MemoryBlock& MemoryBlock::operator=(const MemoryBlock& other) {
  if (this != &other) assign(other.bytes());
  return *this;
}

MemoryBlock::MemoryBlock(MemoryBlock&& other) noexcept
    : m_data(std::move(other.m_data)), m_size(other.m_size), m_capacity(other.m_capacity) {
  other.m_size = other.m_capacity = 0;
}

MemoryBlock& MemoryBlock::operator=(MemoryBlock&& other) noexcept {
  if (this != &other) {
    m_data = std::move(other.m_data);
    m_size = other.m_size;
    m_capacity = other.m_capacity;
    other.m_size = other.m_capacity = 0;
  }
  return *this;
}

void MemoryBlock::reserve(std::size_t n) {
  if (n <= m_capacity) return;
  // Growing by half again keeps repeated appends linear.
  std::size_t grown = m_capacity + m_capacity / 2;
  std::size_t capacity = std::max(n, grown);
  std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[capacity]);
  if (m_size) std::memcpy(data.get(), m_data.get(), m_size);
  m_data = std::move(data);
  m_capacity = capacity;
}

void MemoryBlock::resize(std::size_t n) {
  std::size_t old = m_size;
  resize_uninitialized(n);
  if (n > old) std::memset(m_data.get() + old, 0, n - old);
}

void MemoryBlock::resize_uninitialized(std::size_t n) {
  reserve(n);
  m_size = n;
}

void MemoryBlock::release() {
  m_data.reset();
  m_size = m_capacity = 0;
}

void MemoryBlock::assign(std::span<const std::uint8_t> bytes) {
  resize_uninitialized(bytes.size());
  if (!bytes.empty()) std::memcpy(m_data.get(), bytes.data(), bytes.size());
}

std::int64_t MemoryBlock::read_at(std::int64_t position, void* buffer, std::int64_t count) const {
  const auto size = static_cast<std::int64_t>(m_size);
  if (count <= 0 || position < 0 || position >= size) return 0;
  std::int64_t n = std::min(count, size - position);
  std::memcpy(buffer, m_data.get() + position, static_cast<std::size_t>(n));
  return n;
}

std::int64_t MemoryBlock::write_at(std::int64_t position, const void* buffer, std::int64_t count) {
  count = std::min(count, kMaxMemoryStreamSize - position);
  if (count <= 0 || position < 0) return 0;
  const auto at = static_cast<std::size_t>(position);
  const std::size_t old = m_size;
  if (at + static_cast<std::size_t>(count) > old) resize_uninitialized(at + static_cast<std::size_t>(count));
  if (at > old) std::memset(m_data.get() + old, 0, at - old);
  std::memcpy(m_data.get() + at, buffer, static_cast<std::size_t>(count));
  return count;
}

void MemoryBlock::append(std::span<const std::uint8_t> bytes) {
  std::size_t old = m_size;
  resize_uninitialized(old + bytes.size());
  if (!bytes.empty()) std::memcpy(m_data.get() + old, bytes.data(), bytes.size());
}

// --- TKvMemoryStream ---------------------------------------------------------

std::int64_t TKvMemoryStream::Read(void* buffer, std::int64_t count) {
  std::int64_t n = m_block.read_at(m_position, buffer, count);
  m_position += n;
  return n;
}

std::int64_t TKvMemoryStream::Write(const void* buffer, std::int64_t count) {
  std::int64_t n = m_block.write_at(m_position, buffer, count);
  m_position += n;
  return n;
}

std::int64_t TKvMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  std::int64_t target = m_position;
  switch (origin) {
    case SeekOrigin::Begin: target = offset; break;
    case SeekOrigin::Current: target = m_position + std::min<std::int64_t>(offset, kMaxMemoryStreamSize); break;
    case SeekOrigin::End:
      target = static_cast<std::int64_t>(m_block.size()) + std::min<std::int64_t>(offset, kMaxMemoryStreamSize);
      break;
  }
  // Memory streams stay below 2 GiB; a position beyond that is clamped so a
  // later write cannot ask for an absurd block.
  m_position = std::clamp<std::int64_t>(target, 0, kMaxMemoryStreamSize);
  return m_position;
}

void TKvMemoryStream::Clear() {
  m_block.clear();
  m_position = 0;
}

void TKvMemoryStream::SetSize(std::int64_t size) {
  m_block.resize(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
}

void TKvMemoryStream::LoadFromFile(const fs::path& path) {
  host::read_whole_file(path, m_block);
  m_position = 0;
}

void TKvMemoryStream::SaveToFile(const fs::path& path) const { host::write_file_atomically(path, m_block.bytes()); }

// --- host helpers -----------------------------------------------------------

namespace host {

std::string path_text(const fs::path& path) { return platform::codepage::from_utf8_lossy(path.string()); }

namespace {

[[noreturn]] void fail_io(const fs::path& path, std::string_view what, int err) {
  throw core::Error(core::format("%s: %s (%s)", {path_text(path), what, std::strerror(err)}));
}

}  // namespace

Fd::~Fd() {
  if (m_fd >= 0) ::close(m_fd);
}

Fd::Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

bool write_all(int fd, std::span<const std::uint8_t> bytes) { return platform::write_all(fd, bytes); }

void read_whole_file(const fs::path& path, MemoryBlock& out) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) fail_io(path, "cannot open the file", errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) fail_io(path, "cannot read the file", errno);
  if (!S_ISREG(st.st_mode)) throw core::Error(core::format("%s: not a file", {path_text(path)}));
  out.resize_uninitialized(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (true) {
    if (done == out.size()) out.resize_uninitialized(done + 65536);  // the file grew meanwhile
    ssize_t n = ::read(fd.get(), out.data() + done, out.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail_io(path, "cannot read the file", errno);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  out.resize_uninitialized(done);
}

void write_file_atomically(const fs::path& path, std::span<const std::uint8_t> bytes) {
  if (const int err = platform::write_file_atomically(path, bytes)) fail_io(path, "cannot write the file", err);
}

}  // namespace host
}  // namespace nova::files
