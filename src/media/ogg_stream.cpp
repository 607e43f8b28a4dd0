#include "media/ogg_stream.h"

#include <algorithm>

#include "core/error.h"
#include "core/sjis.h"

namespace nova::media {

TOggStream::TOggStream(NovaLibrary& library, files::Stream* source, bool is_ogg)
    : m_library(library), m_handle(library.novaOggStrmanAdd(source, is_ogg)) {
  if (!m_library.novaOggStrGetFormat(m_handle, m_format)) {
    m_library.novaOggStrmanDel(m_handle);
    throw core::Error(core::sjis("サウンドデータが不正です"));
  }
  m_format.extra_size = 0;
}

TOggStream::~TOggStream() { m_library.novaOggStrmanDel(m_handle); }

std::int64_t TOggStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  return m_library.novaOggStrRead(m_handle, buffer, count);
}

std::int64_t TOggStream::Seek(std::int64_t offset, files::SeekOrigin origin) {
  std::int64_t p = offset;
  if (origin == files::SeekOrigin::Current) p += m_library.novaOggStrGetPos(m_handle);
  if (origin == files::SeekOrigin::End) p += m_library.novaOggStrGetSize(m_handle);
  p = std::clamp<std::int64_t>(p, 0, m_library.novaOggStrGetSize(m_handle));
  return m_library.novaOggStrSetPos(m_handle, p);
}

}  // namespace nova::media
