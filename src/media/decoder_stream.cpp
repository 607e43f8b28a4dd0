#include "media/decoder_stream.h"

#include <algorithm>

#include "core/error.h"
#include "core/log.h"

namespace nova::media {

DecoderStream::DecoderStream(files::Stream& source, bool is_ogg, std::mutex& callback_lock) : m_lock(callback_lock) {
  std::lock_guard lock(m_lock);
  try {
    m_decoder = decoders::open_decoder(source, is_ogg);
  } catch (const core::Error& e) {
    m_failure = e.message();
    core::log(core::Channel::Media, core::Level::Warning, e.message());
    return;
  }
  const decoders::RawFormat& f = m_decoder->format();
  m_format = pcm_format(f.channels, f.rate, f.kind == decoders::SampleKind::U8 ? 8 : 16);
  m_frames = std::max<std::int64_t>(0, m_decoder->frames());
}

DecoderStream::~DecoderStream() {
  std::lock_guard lock(m_lock);
  m_decoder.reset();
}

std::int64_t DecoderStream::length_ms() const {
  return m_format.samples_per_sec ? m_frames * 1000 / m_format.samples_per_sec : 0;
}

std::int64_t DecoderStream::read_frames(void* out, std::int64_t frames) {
  if (!m_decoder || m_failed_later || frames <= 0) return 0;
  std::lock_guard lock(m_lock);
  try {
    const std::int64_t got = m_decoder->read(out, frames);
    m_position += got;
    return got;
  } catch (const core::Error& e) {
    m_failed_later = true;
    core::log(core::Channel::Media, core::Level::Warning, e.message());
    return 0;
  }
}

void DecoderStream::seek_frame(std::int64_t frame) {
  if (!m_decoder) return;
  frame = std::clamp<std::int64_t>(frame, 0, m_frames);
  std::lock_guard lock(m_lock);
  try {
    m_decoder->seek(frame);
    m_position = frame;
  } catch (const core::Error& e) {
    m_failed_later = true;
    core::log(core::Channel::Media, core::Level::Warning, e.message());
  }
}

std::int64_t DecoderStream::read_bytes(void* out, std::int64_t count) {
  if (!m_format.block_align || count <= 0) return 0;
  return read_frames(out, count / m_format.block_align) * m_format.block_align;
}

std::int64_t DecoderStream::seek_bytes(std::int64_t position) {
  if (!m_format.block_align) return 0;
  seek_frame(std::clamp<std::int64_t>(position, 0, size_bytes()) / m_format.block_align);
  return position_bytes();
}

}  // namespace nova::media
