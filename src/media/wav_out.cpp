#include "media/wav_out.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "core/log.h"
#include "media/mix_kernels.h"

namespace nova::media {
namespace {

// Output bytes per source byte for the formats of the mixer's table.
int expansion(const WaveFormatEx& f) {
  return (2 / f.channels) * static_cast<int>(44100 / f.samples_per_sec) * (16 / f.bits_per_sample);
}

// Rounds num / den to the nearest integer, ties to even (den > 0).
std::int64_t round_half_even(std::int64_t num, std::int64_t den) {
  std::int64_t q = num / den;
  std::int64_t r = num % den;
  if (r < 0) {
    r += den;
    --q;
  }
  if (2 * r > den || (2 * r == den && (q & 1) != 0)) ++q;
  return q;
}

std::int64_t align_down(std::int64_t bytes, int block_align) {
  if (block_align <= 0) return bytes;
  return bytes - bytes % block_align;
}

}  // namespace

// --- TWavBuffer ------------------------------------------------------------------------

TWavBuffer::TWavBuffer(TWavOut& mixer, const WaveFormatEx& format, files::Stream* stream)
    : m_mixer(mixer), m_format(format), m_stream(stream) {
  m_scratch.resize(static_cast<std::size_t>(mixer.BlockSize()));
}

void TWavBuffer::Play() {
  std::lock_guard lock(m_mixer.m_lock);
  m_started = true;
  m_paused = false;
  m_finished = false;
  if (std::find(m_mixer.m_active.begin(), m_mixer.m_active.end(), this) == m_mixer.m_active.end()) {
    m_mixer.m_active.push_back(this);
  }
}

void TWavBuffer::Pause() {
  std::lock_guard lock(m_mixer.m_lock);
  m_paused = true;
  std::erase(m_mixer.m_active, this);
}

void TWavBuffer::SetReadPosition(std::int64_t bytes) {
  std::lock_guard lock(m_mixer.m_lock);
  m_read_position = align_down(std::max<std::int64_t>(0, bytes), m_format.block_align);
}

std::int64_t TWavBuffer::ReadPosition() const {
  std::lock_guard lock(m_mixer.m_lock);
  return m_read_position;
}

void TWavBuffer::SetVolume(int volume) {
  std::lock_guard lock(m_mixer.m_lock);
  m_volume = std::clamp(volume, 0, 256);
}

int TWavBuffer::Volume() const {
  std::lock_guard lock(m_mixer.m_lock);
  return m_volume;
}

bool TWavBuffer::Drained() const {
  std::lock_guard lock(m_mixer.m_lock);
  const auto since = static_cast<std::int32_t>(m_mixer.Now() - m_last_fill);
  return m_finished && since > 2 * m_mixer.DelayTime() + 10;
}

std::int64_t TWavBuffer::GetPosition() const {
  std::lock_guard lock(m_mixer.m_lock);
  const std::int32_t e = std::max<std::int32_t>(0, static_cast<std::int32_t>(m_mixer.Now() - m_last_fill));
  const int delay = m_mixer.DelayTime();
  if (e > 2 * delay) return m_read_position;
  // What was filled last is heard one block later.
  const std::int64_t bits_per_second = static_cast<std::int64_t>(m_format.bits_per_sample) * m_format.channels *
                                       static_cast<std::int64_t>(m_format.samples_per_sec);
  const std::int64_t p =
      m_read_position - round_half_even(bits_per_second * delay, 8000) + round_half_even(bits_per_second * e, 8000);
  const std::int64_t size = m_stream ? m_stream->GetSize() : 0;
  return std::clamp<std::int64_t>(p, 0, std::max<std::int64_t>(0, size));
}

bool TWavBuffer::Loop() const {
  std::lock_guard lock(m_mixer.m_lock);
  return m_loop;
}

void TWavBuffer::SetLoop(bool on) {
  std::lock_guard lock(m_mixer.m_lock);
  m_loop = on;
}

std::int64_t TWavBuffer::RepeatPosition() const {
  std::lock_guard lock(m_mixer.m_lock);
  return m_repeat_position;
}

void TWavBuffer::SetRepeatPosition(std::int64_t bytes) {
  std::lock_guard lock(m_mixer.m_lock);
  m_repeat_position = align_down(bytes, m_format.block_align);
}

bool TWavBuffer::Started() const {
  std::lock_guard lock(m_mixer.m_lock);
  return m_started;
}

bool TWavBuffer::Paused() const {
  std::lock_guard lock(m_mixer.m_lock);
  return m_paused;
}

bool TWavBuffer::Finished() const {
  std::lock_guard lock(m_mixer.m_lock);
  return m_finished;
}

// --- TWavOut ---------------------------------------------------------------------------

TWavOut::TWavOut(platform::Platform& platform, int delay_time)
    : m_platform(platform), m_delay_time(delay_time), m_block_size(delay_time * 176400 / 1000) {}

TWavOut::~TWavOut() { CloseDevice(); }

bool TWavOut::OpenDevice() {
  {
    std::lock_guard lock(m_lock);
    if (m_device) return false;
    m_device = platform::WaveOut::open(m_platform.sound(), {44100, 2});
    if (!m_device) return false;
    while (m_pool.size() < 4) m_pool.push_back({std::make_shared<platform::WaveBlock>(), false});
  }
  m_thread = m_platform.create_timer(
      static_cast<std::uint32_t>(m_delay_time / 4), [this] { Pump(); }, platform::ThreadPriority::TimeCritical);
  return true;
}

bool TWavOut::DeviceOpen() const {
  std::lock_guard lock(m_lock);
  return m_device != nullptr;
}

void TWavOut::CloseDevice() {
  // The timer first, without the lock: its pump waits for the lock, so
  // joining it while holding the lock would never end.
  if (m_thread) {
    m_thread->stop();
    m_thread.reset();
  }
  std::unique_lock lock(m_lock);
  if (m_device) m_device->reset();
  m_active.clear();
  m_buffers.clear();
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (;;) {
    Reclaim();
    if (m_queued.empty()) break;
    if (std::chrono::steady_clock::now() >= limit) {
      core::log(core::Channel::Media, core::Level::Error, "the sound device kept blocks for 2 s after its reset");
      for (std::size_t e : m_queued) m_pool[e].in_use = false;
      m_queued.clear();
      break;
    }
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    lock.lock();
  }
  m_device.reset();
}

TWavBuffer* TWavOut::AddBuffer(const WaveFormatEx& format, files::Stream* stream) {
  std::lock_guard lock(m_lock);
  m_buffers.push_back(std::make_unique<TWavBuffer>(*this, format, stream));
  return m_buffers.back().get();
}

void TWavOut::RemoveBuffer(TWavBuffer* buffer) {
  std::lock_guard lock(m_lock);
  std::erase(m_active, buffer);
  std::erase_if(m_buffers, [buffer](const auto& b) { return b.get() == buffer; });
}

int TWavOut::BufferCount() const {
  std::lock_guard lock(m_lock);
  return static_cast<int>(m_buffers.size());
}

int TWavOut::QueuedBlocks() const {
  std::lock_guard lock(m_lock);
  return static_cast<int>(m_queued.size());
}

int TWavOut::PoolSize() const {
  std::lock_guard lock(m_lock);
  return static_cast<int>(m_pool.size());
}

void TWavOut::Reclaim() {
  for (std::size_t i = m_queued.size(); i-- > 0;) {
    const std::size_t e = m_queued[i];
    if (!m_device || m_pool[e].block->done.load()) {
      FreeBlock(e);
      m_queued.erase(m_queued.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

std::size_t TWavOut::TakeBlock() {
  std::size_t e = 0;
  while (e < m_pool.size() && m_pool[e].in_use) ++e;
  if (e == m_pool.size()) m_pool.push_back({std::make_shared<platform::WaveBlock>(), false});
  m_pool[e].in_use = true;
  m_pool[e].block->bytes.resize(static_cast<std::size_t>(m_block_size));
  m_pool[e].block->done.store(false);
  return e;
}

void TWavOut::FreeBlock(std::size_t entry) { m_pool[entry].in_use = false; }

void TWavOut::Pump() {
  std::lock_guard lock(m_lock);
  Reclaim();
  for (int i = 0; i < 2; ++i) {
    if (m_queued.size() > 1 || m_active.empty()) continue;
    const std::size_t e = TakeBlock();
    auto& block = m_pool[e].block;
    if (Mix(block->bytes.data())) {
      m_queued.push_back(e);
      if (m_device) m_device->write(block);
    } else {
      FreeBlock(e);
    }
  }
}

bool TWavOut::Mix(std::uint8_t* block) {
  std::memset(block, 0, static_cast<std::size_t>(m_block_size));
  bool any = false;
  for (auto& b : m_buffers) {
    // A buffer never started is not heard (it would sound for a moment
    // before the fade-in that starts it).
    if (!b->m_started) continue;
    if (FillAndAdd(*b, block)) any = true;
  }
  return any;
}

bool TWavOut::FillAndAdd(TWavBuffer& b, std::uint8_t* block) {
  const std::int64_t size = b.m_stream ? b.m_stream->GetSize() : 0;
  if (size <= 0) {
    // Nothing to mix, ever: the sound ends rather than stays for good.
    if (!b.m_finished) {
      b.m_finished = true;
      b.m_last_fill = Now();
    }
    return false;
  }
  if (b.m_finished || b.m_paused) return false;
  if (!is_mixer_format(b.m_format)) return false;
  const int factor = expansion(b.m_format);
  const int align = b.m_format.block_align;
  bool ended = false;
  std::int64_t n = Fill(b, m_block_size / factor, ended);
  n = align_down(n, align);  // a short read converts whole frames only

  auto* out = reinterpret_cast<std::int16_t*>(b.m_scratch.data());
  const std::uint8_t* src = b.m_scratch.data();
  const std::int64_t frames = n / align;
  const int ratio = b.m_format.samples_per_sec == 22050 ? 2 : 1;
  const bool stereo = b.m_format.channels == 2;
  const bool eight = b.m_format.bits_per_sample == 8;
  if (factor != 1) {
    // From the end backwards, so that the wider output never overwrites
    // source bytes not yet read.
    for (std::int64_t i = frames - 1; i >= 0; --i) {
      const std::uint8_t* p = src + i * align;
      std::int16_t l, r;
      if (eight) {
        l = static_cast<std::int16_t>((p[0] - 128) * 256);
        r = stereo ? static_cast<std::int16_t>((p[1] - 128) * 256) : l;
      } else {
        l = static_cast<std::int16_t>(p[0] | p[1] << 8);
        r = stereo ? static_cast<std::int16_t>(p[2] | p[3] << 8) : l;
      }
      for (int k = ratio - 1; k >= 0; --k) {
        out[(i * ratio + k) * 2] = l;
        out[(i * ratio + k) * 2 + 1] = r;
      }
    }
  }
  const auto samples = static_cast<std::size_t>(frames * ratio * 2);
  if (b.m_volume < 255) {
    for (std::size_t i = 0; i < samples; ++i) out[i] = static_cast<std::int16_t>((out[i] * b.m_volume) >> 8);
  }
  add_saturating(reinterpret_cast<std::int16_t*>(block), out, samples);
  // A repeating sound is never finished by reaching the end: it goes on at
  // the repeat position in the next block.
  b.m_finished = ended || (!b.m_loop && b.m_read_position >= size);
  b.m_last_fill = Now();
  return true;
}

std::int64_t TWavOut::Fill(TWavBuffer& b, std::int64_t count, bool& ended) {
  files::Stream& s = *b.m_stream;
  const std::int64_t size = s.GetSize();
  s.Seek(b.m_read_position, files::SeekOrigin::Begin);
  std::int64_t total = 0;
  while (count > 0) {
    if (s.GetPosition() >= size) {
      if (!b.m_loop) break;
      std::int64_t at = b.m_repeat_position;
      if (at < 0 || at > size - 1) at = 0;
      s.Seek(at, files::SeekOrigin::Begin);
    }
    const std::int64_t got = s.Read(b.m_scratch.data() + total, count);
    if (got <= 0) {
      // A source that yields nothing before its end would spin here: the
      // sound ends instead.
      ended = true;
      break;
    }
    total += got;
    count -= got;
  }
  b.m_read_position = s.GetPosition();
  return total;
}

}  // namespace nova::media
