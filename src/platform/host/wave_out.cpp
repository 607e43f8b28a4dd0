#include <algorithm>
#include <cstring>

#include "platform/sound.h"

namespace nova::platform {

std::unique_ptr<WaveOut> WaveOut::open(SoundOutput& output, const AudioFormat& format) {
  std::unique_ptr<WaveOut> w(new WaveOut());
  w->m_format = format;
  WaveOut* self = w.get();
  w->m_stream = output.open_stream(format, [self](std::span<std::int16_t> out) { self->pull(out); });
  if (!w->m_stream) return nullptr;
  return w;
}

WaveOut::~WaveOut() {
  // Stop the audio thread before the queue goes away.
  m_stream.reset();
  reset();
}

void WaveOut::write(std::shared_ptr<WaveBlock> block) {
  std::lock_guard lock(m_mutex);
  block->done.store(false);
  m_queue.push_back(std::move(block));
}

void WaveOut::reset() {
  std::lock_guard lock(m_mutex);
  for (auto& b : m_queue) b->done.store(true);
  m_queue.clear();
  m_offset = 0;
}

std::uint64_t WaveOut::bytes_played() const {
  std::lock_guard lock(m_mutex);
  return m_played;
}

void WaveOut::pull(std::span<std::int16_t> out) {
  std::lock_guard lock(m_mutex);
  auto* dst = reinterpret_cast<std::uint8_t*>(out.data());
  std::size_t want = out.size_bytes();
  std::size_t filled = 0;
  while (filled < want && !m_queue.empty()) {
    WaveBlock& b = *m_queue.front();
    std::size_t n = std::min(want - filled, b.bytes.size() - m_offset);
    std::memcpy(dst + filled, b.bytes.data() + m_offset, n);
    filled += n;
    m_offset += n;
    if (m_offset >= b.bytes.size()) {
      b.done.store(true);
      m_queue.erase(m_queue.begin());
      m_offset = 0;
    }
  }
  m_played += filled;
  if (filled < want) std::memset(dst + filled, 0, want - filled);
}

}  // namespace nova::platform
