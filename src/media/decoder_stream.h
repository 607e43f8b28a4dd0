// A decoded sound: a decoder of a source stream with its PCM format and
// length fixed at creation. The decoder streams of the media library and
// its voices are made of these.
//
// Every call that reaches the decoder (and so the source stream) takes the
// library's stream-callback lock; the source stream must outlive this
// object. A file that does not decode gives a stream that is not `ok()`:
// no format, length 0, nothing to read. A decoding error later ends the
// stream where it happened (logged on the media channel).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "files/stream.h"
#include "media/decoders/pcm_decoder.h"
#include "media/wave_format.h"

namespace nova::media {

class DecoderStream {
 public:
  DecoderStream(files::Stream& source, bool is_ogg, std::mutex& callback_lock);
  ~DecoderStream();
  DecoderStream(const DecoderStream&) = delete;
  DecoderStream& operator=(const DecoderStream&) = delete;

  bool ok() const { return m_decoder != nullptr; }
  // Why it did not open (Shift-JIS), when it did not.
  const std::string& failure() const { return m_failure; }
  // Integer PCM: a format of the mixer's table as the file has it, or
  // 44100 Hz 16-bit stereo. All zero when not ok.
  const WaveFormatEx& format() const { return m_format; }
  std::int64_t frames() const { return m_frames; }
  std::int64_t size_bytes() const { return m_frames * m_format.block_align; }
  std::int64_t length_ms() const;

  // Whole frames into `out`; 0 at the end (or after an error).
  std::int64_t read_frames(void* out, std::int64_t frames);
  void seek_frame(std::int64_t frame);
  std::int64_t position_frames() const { return m_position; }

  // Byte access, as the wave mixer reads a decoder stream: positions are
  // aligned down to whole frames, and a read gives whole frames only.
  std::int64_t read_bytes(void* out, std::int64_t count);
  std::int64_t seek_bytes(std::int64_t position);
  std::int64_t position_bytes() const { return m_position * m_format.block_align; }

 private:
  std::mutex& m_lock;
  std::unique_ptr<decoders::PcmDecoder> m_decoder;
  std::string m_failure;
  WaveFormatEx m_format;
  std::int64_t m_frames = 0;
  std::int64_t m_position = 0;
  bool m_failed_later = false;
};

}  // namespace nova::media
