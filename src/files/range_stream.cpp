#include "files/range_stream.h"

#include <algorithm>
#include <cstdint>

namespace nova::files {
namespace {

// Seek offsets come from outside (the media library's callbacks): saturate
// instead of overflowing.
std::int64_t add_saturating(std::int64_t a, std::int64_t b) {
  std::int64_t r;
  if (__builtin_add_overflow(a, b, &r)) return b > 0 ? INT64_MAX : INT64_MIN;
  return r;
}

}  // namespace

TRangeStream::TRangeStream(std::unique_ptr<TKvBigStream> source, std::int64_t start, std::int64_t length,
                           RangeLength rule)
    : m_source(std::move(source)) {
  const std::int64_t size = m_source ? m_source->GetSize() : 0;
  m_start = std::clamp<std::int64_t>(start, 0, size);
  if (length == 0 && rule == RangeLength::ZeroMeansToEnd) length = size - m_start;
  m_length = std::clamp<std::int64_t>(length, 0, size - m_start);
  if (m_source) m_source->SetPosition(m_start);
}

std::int64_t TRangeStream::Seek(std::int64_t offset, SeekOrigin origin) {
  std::lock_guard lock(m_lock);
  if (!m_source) return 0;
  std::int64_t target = m_source->GetPosition();
  switch (origin) {
    case SeekOrigin::Begin: target = add_saturating(m_start, offset); break;
    case SeekOrigin::Current: target = add_saturating(m_source->GetPosition(), offset); break;
    case SeekOrigin::End: target = add_saturating(m_start + m_length, offset); break;
  }
  target = std::clamp(target, m_start, m_start + m_length);
  m_source->SetPosition(target);
  return target - m_start;
}

std::int64_t TRangeStream::Read(void* buffer, std::int64_t count) {
  std::lock_guard lock(m_lock);
  if (!m_source || count <= 0) return 0;
  const std::int64_t left = m_start + m_length - m_source->GetPosition();
  count = std::min(count, left);
  if (count <= 0) return 0;
  return m_source->Read(buffer, count);
}

std::int64_t TRangeStream::Write(const void* /*buffer*/, std::int64_t /*count*/) { return 0; }

std::int64_t TRangeStream::GetPosition() {
  std::lock_guard lock(m_lock);
  return m_source ? m_source->GetPosition() - m_start : 0;
}

TFileRangeStream::TFileRangeStream(const std::filesystem::path& file_name, std::int64_t length, std::int64_t start,
                                   RangeLength rule, std::int64_t part_size)
    : TRangeStream(
          std::make_unique<TKvBigFileStream>(file_name, file_mode::kOpenRead | file_mode::kShareDenyWrite, part_size),
          start, length, rule) {}

TResourceRangeStream::TResourceRangeStream(std::string_view resource_name, std::int64_t length, std::int64_t start,
                                           std::string_view resource_type, const std::filesystem::path& module,
                                           RangeLength rule)
    : TRangeStream(std::make_unique<TKvBigResourceStream>(module, resource_name, resource_type), start, length, rule) {}

}  // namespace nova::files
