// Sound output.
//
// A backend offers output streams: it pulls interleaved 16-bit samples from
// a callback on its own audio thread. On top of that, WaveOut gives the
// block-queue device the wave mixer is written for (blocks are queued, played
// in order and marked done; completion is found by polling), and the media
// library mixes its sounds into a stream of its own.
//
// Streams are always pulled: with no device (none could be opened, or the
// device went away and none came back) a null output pulls them at the
// clock's rate and discards the samples, so that sounds still advance and
// end and nothing waiting for an end hangs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <vector>

namespace nova::platform {

struct AudioFormat {
  int sample_rate = 44100;
  int channels = 2;  // interleaved 16-bit signed samples
};

// Fills `out` (frames × channels samples) completely; silence is zeros.
// Called on the audio thread.
using AudioPull = std::function<void(std::span<std::int16_t> out)>;

class AudioStream {
 public:
  virtual ~AudioStream() = default;  // stops pulling before it returns
  virtual const AudioFormat& format() const = 0;
  virtual void pause(bool paused) = 0;
};

// What an output is doing now, for diagnostics and tests.
struct SoundStatus {
  // No device: streams are pulled at the clock's rate and discarded.
  bool null_output = false;
  // The backend's id of the open device (0: none).
  std::uint32_t device_id = 0;
  // How often a lost device was replaced (by a device or the null output).
  int device_changes = 0;
};

class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // nullptr only for a format no output takes (no channels, more than 8, no
  // rate); a missing device gives a stream of the null output.
  virtual std::unique_ptr<AudioStream> open_stream(const AudioFormat& format, AudioPull pull) = 0;
  // True when pulls come on a thread of the device, in real time: a pull
  // must then never block or read files. False headless, where pulls run on
  // the thread that advances the clock and may decode.
  virtual bool realtime() const = 0;
  virtual SoundStatus status() const { return {}; }
  // Receives, once per change, notices in UTF-8 about the device ("no sound
  // device ...") that the layers above log; called on any thread.
  void set_notice_sink(std::function<void(std::string_view)> sink) {
    std::lock_guard lock(m_notice_mutex);
    m_notice = std::move(sink);
  }

 protected:
  void notice(std::string_view text) {
    std::lock_guard lock(m_notice_mutex);
    if (m_notice) m_notice(text);
  }

 private:
  std::mutex m_notice_mutex;
  std::function<void(std::string_view)> m_notice;
};

// An output without a device: a thread pulls every stream at the clock's
// rate, 1024 frames at a time, and discards what it gets.
std::unique_ptr<SoundOutput> create_null_sound_output();

// One block handed to a WaveOut device.
struct WaveBlock {
  std::vector<std::uint8_t> bytes;  // 16-bit interleaved PCM of the device format
  std::atomic<bool> done{false};    // set by the device when played (or reset)
};

// The waveOut device: blocks play in the order written.
class WaveOut {
 public:
  // Opens on `output`; nullptr when the device cannot be opened.
  static std::unique_ptr<WaveOut> open(SoundOutput& output, const AudioFormat& format);
  ~WaveOut();

  // Queues a block. The device keeps a reference until it is done.
  void write(std::shared_ptr<WaveBlock> block);
  // Marks every queued block done and stops playing them.
  void reset();
  // Bytes played since opening.
  std::uint64_t bytes_played() const;

 private:
  WaveOut() = default;
  void pull(std::span<std::int16_t> out);

  AudioFormat m_format;
  mutable std::mutex m_mutex;
  std::vector<std::shared_ptr<WaveBlock>> m_queue;
  std::size_t m_offset = 0;  // bytes of m_queue.front() already played
  std::uint64_t m_played = 0;
  std::unique_ptr<AudioStream> m_stream;
};

}  // namespace nova::platform
