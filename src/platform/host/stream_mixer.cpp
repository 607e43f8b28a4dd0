#include "platform/host/stream_mixer.h"

#include <algorithm>
#include <chrono>

namespace nova::platform::host {

class StreamMixer::Stream final : public AudioStream {
 public:
  Stream(StreamMixer& owner, AudioFormat f, AudioPull pull) : m_owner(owner), m_format(f), m_pull(std::move(pull)) {}
  ~Stream() override { m_owner.remove(this); }
  const AudioFormat& format() const override { return m_format; }
  void pause(bool paused) override { m_paused.store(paused); }

  StreamMixer& m_owner;
  AudioFormat m_format;
  AudioPull m_pull;
  std::atomic<bool> m_paused{false};
  double m_phase = 0;  // source frames owed, for other rates
  std::vector<std::int16_t> m_scratch;
};

std::unique_ptr<AudioStream> StreamMixer::add(const AudioFormat& format, AudioPull pull) {
  auto s = std::make_unique<Stream>(*this, format, std::move(pull));
  std::lock_guard lock(m_mutex);
  m_streams.push_back(s.get());
  return s;
}

void StreamMixer::remove(Stream* s) {
  std::lock_guard lock(m_mutex);
  std::erase(m_streams, s);
}

void StreamMixer::mix(std::int16_t* out, std::size_t frames) {
  std::lock_guard lock(m_mutex);
  m_mix.assign(frames * 2, 0);
  for (Stream* s : m_streams) {
    if (s->m_paused.load()) continue;
    const std::size_t ch = static_cast<std::size_t>(s->m_format.channels);
    // Sources at other rates are stepped by nearest sample; the system's
    // own output is 44100 Hz stereo, so this is the rare case.
    s->m_phase += static_cast<double>(frames) * s->m_format.sample_rate / 44100.0;
    const auto src_frames = static_cast<std::size_t>(s->m_phase);
    s->m_phase -= static_cast<double>(src_frames);
    s->m_scratch.assign(src_frames * ch, 0);
    if (src_frames) s->m_pull(s->m_scratch);
    for (std::size_t i = 0; i < frames && src_frames; ++i) {
      const std::size_t si = src_frames == frames ? i : std::min(src_frames - 1, i * src_frames / frames);
      const std::int32_t l = s->m_scratch[si * ch];
      const std::int32_t r = ch > 1 ? s->m_scratch[si * ch + 1] : l;
      m_mix[i * 2] += l;
      m_mix[i * 2 + 1] += r;
    }
  }
  for (std::size_t i = 0; i < frames * 2; ++i) out[i] = static_cast<std::int16_t>(std::clamp(m_mix[i], -32768, 32767));
}

NullPump::NullPump(StreamMixer& mixer) : m_mixer(mixer) {
  m_thread = std::thread([this] { run(); });
}

NullPump::~NullPump() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_cv.notify_all();
  m_thread.join();
}

void NullPump::run() {
  // The clock decides how much is due: a late wake-up pulls the frames it
  // missed, so streams advance at the clock's rate, as a device would.
  constexpr std::size_t kBlock = 1024;
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  std::uint64_t done = 0;
  std::vector<std::int16_t> out(kBlock * 2);
  std::unique_lock lock(m_mutex);
  for (;;) {
    const auto due_at = start + std::chrono::microseconds((done + kBlock) * 1'000'000 / 44100);
    if (m_cv.wait_until(lock, due_at, [this] { return m_stop; })) return;
    lock.unlock();
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    const std::uint64_t due = static_cast<std::uint64_t>(elapsed) * 44100 / 1'000'000;
    // At most a second at once after a long stall (a stopped process).
    while (done + kBlock <= due) {
      m_mixer.mix(out.data(), kBlock);
      done += kBlock;
      if (due - done > 44100) done = due - due % kBlock;
    }
    lock.lock();
  }
}

namespace {

class NullSoundOutput final : public SoundOutput {
 public:
  NullSoundOutput() : m_pump(m_mixer) {}
  std::unique_ptr<AudioStream> open_stream(const AudioFormat& format, AudioPull pull) override {
    if (format.sample_rate <= 0 || format.channels <= 0 || format.channels > 8) return nullptr;
    return m_mixer.add(format, std::move(pull));
  }
  bool realtime() const override { return true; }
  SoundStatus status() const override { return {true, 0, 0}; }

 private:
  StreamMixer m_mixer;
  NullPump m_pump;
};

}  // namespace
}  // namespace nova::platform::host

namespace nova::platform {

std::unique_ptr<SoundOutput> create_null_sound_output() { return std::make_unique<host::NullSoundOutput>(); }

}  // namespace nova::platform
