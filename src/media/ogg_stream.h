// TOggStream: the read-only stream of decoded PCM that the wave mixer plays,
// a decoder stream of the media library over a source stream.
#pragma once

#include <cstdint>

#include "files/stream.h"
#include "media/nova_library.h"
#include "media/wave_format.h"

namespace nova::media {

class TOggStream : public files::Stream {
 public:
  // Raises "サウンドデータが不正です" when the source does not decode; the
  // decoder is released first. The library and the source must outlive
  // this stream.
  TOggStream(NovaLibrary& library, files::Stream* source, bool is_ogg);
  ~TOggStream() override;

  // Integer PCM; extra size 0.
  const WaveFormatEx& Format() const { return m_format; }
  std::int32_t LengthMs() const { return m_library.novaOggStrGetLen(m_handle); }

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, files::SeekOrigin origin) override;
  std::int64_t GetSize() override { return m_library.novaOggStrGetSize(m_handle); }
  std::int64_t GetPosition() override { return m_library.novaOggStrGetPos(m_handle); }

 private:
  NovaLibrary& m_library;
  std::int32_t m_handle;
  WaveFormatEx m_format;
};

}  // namespace nova::media
