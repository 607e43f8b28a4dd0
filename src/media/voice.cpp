#include "media/voice.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace nova::media {
namespace {

// The end and heard position carry the generation they belong to, so that
// an output callback still working on a sound that was sought or restarted
// meanwhile cannot overwrite the new state.
constexpr std::uint64_t pack(std::uint32_t generation, std::int64_t frame) {
  return static_cast<std::uint64_t>(frame) << 16 | (generation & 0xFFFFu);
}

std::int32_t gain_q16(double hundredths_db) {
  if (hundredths_db <= -10000) return 0;
  return static_cast<std::int32_t>(std::lround(65536.0 * std::pow(10.0, hundredths_db / 2000.0)));
}

}  // namespace

Voice::Voice(std::unique_ptr<DecoderStream> decoder) : m_decoder(std::move(decoder)) {
  m_ring = std::make_unique<Chunk[]>(kRingSlots);
  if (m_decoder && m_decoder->ok()) {
    m_format = m_decoder->format();
    m_length = m_decoder->frames();
    m_ratio = m_format.samples_per_sec == 22050 ? 2 : 1;
    m_decode_buffer.resize(kChunkFrames * m_format.block_align);
    m_ended_generation.store(0);
    fill(4410);  // the first 100 ms, so that the first callback after play has them
  } else {
    m_ended_generation.store(m_generation.load());
  }
}

Voice::~Voice() { retire(); }

void Voice::retire() {
  std::lock_guard lock(m_produce);
  m_dead = true;
  m_decoder.reset();
}

bool Voice::is_end() const { return m_ended_generation.load() == m_generation.load(); }

std::int64_t Voice::position_frames() const {
  const std::uint64_t v = m_heard.load();
  if ((v & 0xFFFFu) == (m_generation.load() & 0xFFFFu)) return static_cast<std::int64_t>(v >> 16);
  return m_seek_frame.load();
}

std::int64_t Voice::ms_to_frames(std::int64_t ms) const {
  return std::clamp<std::int64_t>(ms, 0, INT32_MAX) * m_format.samples_per_sec / 1000;
}

std::int32_t Voice::frames_to_ms(std::int64_t frames) const {
  if (!m_format.samples_per_sec) return 0;
  return static_cast<std::int32_t>(frames * 1000 / m_format.samples_per_sec);
}

std::int32_t Voice::length_ms() const { return frames_to_ms(m_length); }
std::int32_t Voice::position_ms() const { return frames_to_ms(position_frames()); }
std::int32_t Voice::repeat_pos_ms() const { return frames_to_ms(m_repeat_pos.load()); }

void Voice::play() {
  if (!m_format.samples_per_sec) return;  // nothing decodes: stays ended
  m_paused = false;
  if (is_end()) restart_at(0);
  m_first_heard.store(0);
  m_running.store(true);
}

void Voice::pause() {
  if (is_end()) return;
  m_running.store(false);
  m_paused = true;
}

void Voice::set_position_ms(std::int64_t ms) {
  if (!m_format.samples_per_sec) return;
  restart_at(std::min(ms_to_frames(ms), m_length));
}

void Voice::restart_at(std::int64_t frame) {
  // An ended voice stays stopped where it is put until it is played.
  if (is_end()) m_running.store(false);
  m_seek_frame.store(frame);
  m_generation.fetch_add(1);
  fill(4410);
}

void Voice::set_volume(std::int32_t v) {
  m_volume = std::clamp(v, -10000, 0);
  update_gains();
}

void Voice::set_pan(std::int32_t p) {
  m_pan = std::clamp(p, -10000, 10000);
  update_gains();
}

void Voice::update_gains() {
  m_gain_left.store(gain_q16(m_volume - std::max(m_pan, 0)));
  m_gain_right.store(gain_q16(m_volume + std::min(m_pan, 0)));
}

void Voice::set_repeat(bool on) {
  m_repeat.store(on);
  if (!on) return;
  {
    // The end may already be in the ring, not yet heard: take it back, and
    // the producer goes on at the repeat position without a gap.
    std::lock_guard lock(m_produce);
    const std::uint64_t write = m_write.load();
    if (!m_dead && m_produce_done && m_produced_generation == m_generation.load() && write > 0) {
      std::uint8_t expected = 1;
      if (m_ring[(write - 1) % kRingSlots].end.compare_exchange_strong(expected, 2)) m_produce_done = false;
    }
  }
  fill(4410);
}

void Voice::set_repeat_pos_ms(std::int64_t ms) { m_repeat_pos.store(ms_to_frames(ms)); }

void Voice::convert(const std::uint8_t* src, std::int64_t frames, std::int16_t* dst) const {
  const int channels = m_format.channels;
  if (channels == 2 && m_ratio == 1 && m_format.bits_per_sample == 16) {
    std::memcpy(dst, src, static_cast<std::size_t>(frames) * 4);  // the output's own format
    return;
  }
  const bool eight = m_format.bits_per_sample == 8;
  for (std::int64_t i = 0; i < frames; ++i) {
    std::int16_t l, r;
    if (eight) {
      l = static_cast<std::int16_t>((src[i * channels] - 128) * 256);
      r = channels > 1 ? static_cast<std::int16_t>((src[i * channels + 1] - 128) * 256) : l;
    } else {
      const std::uint8_t* p = src + i * channels * 2;
      l = static_cast<std::int16_t>(p[0] | p[1] << 8);
      r = channels > 1 ? static_cast<std::int16_t>(p[2] | p[3] << 8) : l;
    }
    for (int k = 0; k < m_ratio; ++k) {
      *dst++ = l;
      *dst++ = r;
    }
  }
}

void Voice::fill(std::size_t frames) {
  std::lock_guard lock(m_produce);
  if (m_dead || !m_decoder || !m_decoder->ok()) return;
  const std::uint32_t generation = m_generation.load();
  if (generation != m_produced_generation) {
    m_produced_generation = generation;
    m_produce_pos = m_seek_frame.load();
    m_decoder->seek_frame(m_produce_pos);
    m_produce_done = false;
  }
  bool looped_without_sound = false;
  // What the ring holds ahead: chunks end early at loop points, so count
  // their frames, not the chunks.
  std::size_t ahead_frames = 0;
  for (std::uint64_t i = m_read.load(std::memory_order_acquire), w = m_write.load(std::memory_order_relaxed); i < w;
       ++i) {
    const Chunk& c = m_ring[i % kRingSlots];
    if (c.generation == generation) ahead_frames += c.frames;
  }
  while (!m_produce_done) {
    if (m_generation.load() != generation) return;  // sought again: the next fill starts there
    const std::uint64_t write = m_write.load(std::memory_order_relaxed);
    const std::uint64_t ahead = write - m_read.load(std::memory_order_acquire);
    if (ahead >= kRingSlots || ahead_frames >= frames) return;
    Chunk& c = m_ring[write % kRingSlots];
    c.frames = 0;
    c.source_start = m_produce_pos;
    c.generation = generation;
    c.end.store(0, std::memory_order_relaxed);
    while (c.frames < kChunkFrames) {
      const auto want = static_cast<std::int64_t>((kChunkFrames - c.frames) / static_cast<std::size_t>(m_ratio));
      const std::int64_t got = m_decoder->read_frames(m_decode_buffer.data(), want);
      if (got > 0) {
        convert(m_decode_buffer.data(), got, c.samples.data() + static_cast<std::size_t>(c.frames) * 2);
        c.frames += static_cast<std::uint32_t>(got * m_ratio);
        m_produce_pos += got;
        looped_without_sound = false;
        continue;
      }
      if (m_repeat.load() && m_length > 0 && !looped_without_sound) {
        std::int64_t at = m_repeat_pos.load();
        if (at < 0 || at >= m_length) at = 0;
        m_decoder->seek_frame(at);
        m_produce_pos = at;
        // A repeat that yields nothing (a decoding error) ends the sound
        // instead of spinning.
        looped_without_sound = true;
        if (c.frames > 0) break;  // the chunk ends at the loop point
        c.source_start = at;
        continue;
      }
      c.end.store(1, std::memory_order_relaxed);
      m_produce_done = true;
      break;
    }
    ahead_frames += c.frames;
    m_write.store(write + 1, std::memory_order_release);
  }
}

void Voice::mix_into(std::int32_t* acc, std::size_t frames, std::uint64_t callback) {
  const std::uint32_t generation = m_generation.load(std::memory_order_acquire);
  std::uint64_t read = m_read.load(std::memory_order_relaxed);
  const std::uint64_t write = m_write.load(std::memory_order_acquire);
  const std::int32_t target_left = m_gain_left.load(std::memory_order_relaxed);
  const std::int32_t target_right = m_gain_right.load(std::memory_order_relaxed);
  const bool running = m_running.load(std::memory_order_acquire) && m_ended_generation.load() != generation;
  // A sound that starts (or resumes) starts at its volume: the glide is
  // only for changes while it is heard.
  if (m_first_heard.load(std::memory_order_relaxed) == 0) {
    m_current_left = target_left;
    m_current_right = target_right;
  }
  std::size_t done = 0;
  bool heard = false;
  while (read < write) {
    Chunk& c = m_ring[read % kRingSlots];
    if (c.generation != generation) {  // before a seek: never heard
      ++read;
      m_read_offset = 0;
      continue;
    }
    if (!running || done == frames) break;
    const std::size_t n = std::min<std::size_t>(c.frames - m_read_offset, frames - done);
    const std::int16_t* s = c.samples.data() + static_cast<std::size_t>(m_read_offset) * 2;
    std::int32_t* a = acc + done * 2;
    if (m_current_left == target_left && m_current_right == target_right) {
      if (target_left == 65536 && target_right == 65536) {
        for (std::size_t i = 0; i < n * 2; ++i) a[i] += s[i];
      } else {
        for (std::size_t i = 0; i < n; ++i) {
          a[i * 2] += (s[i * 2] * target_left) >> 16;
          a[i * 2 + 1] += (s[i * 2 + 1] * target_right) >> 16;
        }
      }
    } else {
      // A change of volume or pan glides over this callback.
      const auto span = static_cast<std::int64_t>(frames);
      for (std::size_t i = 0; i < n; ++i) {
        const auto k = static_cast<std::int64_t>(done + i + 1);
        const auto gl = static_cast<std::int32_t>(m_current_left + (target_left - m_current_left) * k / span);
        const auto gr = static_cast<std::int32_t>(m_current_right + (target_right - m_current_right) * k / span);
        a[i * 2] += static_cast<std::int32_t>((static_cast<std::int64_t>(s[i * 2]) * gl) >> 16);
        a[i * 2 + 1] += static_cast<std::int32_t>((static_cast<std::int64_t>(s[i * 2 + 1]) * gr) >> 16);
      }
    }
    heard = heard || n > 0;
    done += n;
    m_read_offset += static_cast<std::uint32_t>(n);
    m_heard.store(pack(generation, c.source_start + m_read_offset / static_cast<std::uint32_t>(m_ratio)));
    if (m_read_offset < c.frames) break;
    ++read;
    m_read_offset = 0;
    std::uint8_t expected = 1;
    if (c.end.load(std::memory_order_acquire) == 1 && c.end.compare_exchange_strong(expected, 3)) {
      m_ended_generation.store(generation);
      break;
    }
  }
  if (running) {
    m_current_left = target_left;
    m_current_right = target_right;
  }
  m_read.store(read, std::memory_order_release);
  if (heard && m_first_heard.load(std::memory_order_relaxed) == 0) m_first_heard.store(callback);
}

}  // namespace nova::media
