#include "media/nova_library.h"

#include <algorithm>
#include <chrono>

#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"
#include "platform/codepage.h"
#include "platform/threads.h"

namespace nova::media {

NovaLibrary::NovaLibrary(platform::SoundOutput& output) : m_output(output), m_realtime(output.realtime()) {
  m_output.set_notice_sink([](std::string_view text) {
    core::log(core::Channel::Media, core::Level::Warning, platform::codepage::from_utf8_lossy(text));
  });
  m_acc.resize(8192 * 2);
  m_stream = m_output.open_stream({44100, 2}, [this](std::span<std::int16_t> out) { pull(out); });
  if (!m_stream) throw core::Error("the sound output refused 44100 Hz stereo");
  if (m_realtime) m_streamer = std::thread([this] { stream_loop(); });
}

NovaLibrary::~NovaLibrary() {
  if (m_streamer.joinable()) {
    {
      std::lock_guard lock(m_stream_mutex);
      m_stop = true;
    }
    m_stream_cv.notify_all();
    m_streamer.join();
  }
  m_stream.reset();  // no callback runs after this
  m_output.set_notice_sink(nullptr);
  std::lock_guard lock(m_mutex);
  for (auto& [h, entry] : m_voices) entry.first->retire();
  m_voices.clear();
  m_decoder_streams.clear();
}

// --- Voices ----------------------------------------------------------------------------

std::int32_t NovaLibrary::add_voice(files::Stream* source, bool is_ogg) {
  std::unique_ptr<DecoderStream> decoder;
  if (source) decoder = std::make_unique<DecoderStream>(*source, is_ogg, m_callback_lock);
  auto v = std::make_shared<Voice>(std::move(decoder));
  std::lock_guard lock(m_mutex);
  std::size_t slot = 0;
  while (slot < kMaxVoices && m_slots[slot].load() != nullptr) ++slot;
  if (slot == kMaxVoices) throw core::Error("too many sounds at once (256)");
  const std::int32_t h = m_next_handle++;
  m_slots[slot].store(v.get());
  m_voices.emplace(h, std::make_pair(std::move(v), slot));
  return h;
}

Voice* NovaLibrary::voice(std::int32_t h) const {
  std::lock_guard lock(m_mutex);
  auto it = m_voices.find(h);
  return it == m_voices.end() ? nullptr : it->second.first.get();
}

int NovaLibrary::voice_count() const {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(m_voices.size());
}

void NovaLibrary::remove_voice(std::int32_t h) {
  std::shared_ptr<Voice> v;
  {
    std::lock_guard lock(m_mutex);
    auto it = m_voices.find(h);
    if (it == m_voices.end()) return;
    v = std::move(it->second.first);
    m_slots[it->second.second].store(nullptr);
    m_voices.erase(it);
  }
  wait_for_callback();
  // Waits for the streaming thread's fill of this voice, if one runs.
  v->retire();
}

void NovaLibrary::wait_for_callback() {
  // A callback that began before the slot was emptied may still mix the
  // voice; one that begins later cannot see it.
  const std::uint64_t epoch = m_callback_epoch.load();
  if ((epoch & 1) == 0) return;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (m_callback_epoch.load() == epoch) {
    if (std::chrono::steady_clock::now() >= limit) {
      core::log(core::Channel::Media, core::Level::Error, "the sound output's callback did not return within 2 s");
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void NovaLibrary::pull(std::span<std::int16_t> out) {
  m_callback_epoch.fetch_add(1);
  const std::uint64_t callback = m_callbacks.fetch_add(1) + 1;
  const std::size_t frames = out.size() / 2;
  if (m_acc.size() < frames * 2) m_acc.resize(frames * 2);
  std::fill_n(m_acc.begin(), frames * 2, 0);
  for (auto& slot : m_slots) {
    Voice* v = slot.load(std::memory_order_acquire);
    if (!v) continue;
    // Headless pulls decode what they mix; a real-time pull never does.
    if (!m_realtime) v->fill(frames + Voice::kChunkFrames);
    v->mix_into(m_acc.data(), frames, callback);
  }
  for (std::size_t i = 0; i < frames * 2; ++i) out[i] = static_cast<std::int16_t>(std::clamp(m_acc[i], -32768, 32767));
  m_callback_epoch.fetch_add(1);
}

void NovaLibrary::stream_loop() {
  platform::set_current_thread_priority(platform::ThreadPriority::Normal);
  std::unique_lock lock(m_stream_mutex);
  while (!m_stop) {
    lock.unlock();
    std::vector<std::shared_ptr<Voice>> voices;
    {
      std::lock_guard map_lock(m_mutex);
      voices.reserve(m_voices.size());
      for (auto& [h, entry] : m_voices) voices.push_back(entry.first);
    }
    for (auto& v : voices) v->fill_all();
    voices.clear();
    lock.lock();
    m_stream_cv.wait_for(lock, std::chrono::milliseconds(10), [this] { return m_stop; });
  }
}

// --- Decoder streams -------------------------------------------------------------------

std::int32_t NovaLibrary::novaOggStrmanAdd(files::Stream* stream, bool is_ogg) {
  std::unique_ptr<DecoderStream> d;
  if (stream) {
    d = std::make_unique<DecoderStream>(*stream, is_ogg, m_callback_lock);
  }
  std::lock_guard lock(m_mutex);
  const std::int32_t h = m_next_handle++;
  m_decoder_streams.emplace(h, std::move(d));
  return h;
}

void NovaLibrary::novaOggStrmanDel(std::int32_t h) {
  std::unique_ptr<DecoderStream> d;
  {
    std::lock_guard lock(m_mutex);
    auto it = m_decoder_streams.find(h);
    if (it == m_decoder_streams.end()) return;
    d = std::move(it->second);
    m_decoder_streams.erase(it);
  }
}

DecoderStream* NovaLibrary::decoder_stream(std::int32_t h) const {
  std::lock_guard lock(m_mutex);
  auto it = m_decoder_streams.find(h);
  return it == m_decoder_streams.end() ? nullptr : it->second.get();
}

int NovaLibrary::decoder_stream_count() const {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(m_decoder_streams.size());
}

bool NovaLibrary::novaOggStrGetFormat(std::int32_t h, WaveFormatEx& format) const {
  const DecoderStream* d = decoder_stream(h);
  if (!d || !d->ok()) return false;
  format = d->format();
  return true;
}

std::int64_t NovaLibrary::novaOggStrRead(std::int32_t h, void* buffer, std::int64_t count) {
  DecoderStream* d = decoder_stream(h);
  return d ? d->read_bytes(buffer, count) : 0;
}

std::int64_t NovaLibrary::novaOggStrGetSize(std::int32_t h) const {
  const DecoderStream* d = decoder_stream(h);
  return d ? d->size_bytes() : 0;
}

std::int64_t NovaLibrary::novaOggStrGetPos(std::int32_t h) const {
  const DecoderStream* d = decoder_stream(h);
  return d ? d->position_bytes() : 0;
}

std::int64_t NovaLibrary::novaOggStrSetPos(std::int32_t h, std::int64_t position) {
  DecoderStream* d = decoder_stream(h);
  return d ? d->seek_bytes(position) : 0;
}

std::int32_t NovaLibrary::novaOggStrGetLen(std::int32_t h) const {
  const DecoderStream* d = decoder_stream(h);
  return d ? static_cast<std::int32_t>(d->length_ms()) : 0;
}

std::int32_t NovaLibrary::novaVidmanAdd(std::string_view name, files::Stream*, bool) {
  throw core::Error(std::string(name) + ": video playback is not built yet");
}

}  // namespace nova::media
