// Sound output.
//
// A backend offers output streams: it pulls interleaved 16-bit samples from
// a callback on its own audio thread. On top of that, WaveOut gives the
// block-queue device the wave mixer is written for (blocks are queued, played
// in order and marked done; completion is found by polling), and the media
// library mixes its sounds into a stream of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
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

class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // nullptr when no device can be opened.
  virtual std::unique_ptr<AudioStream> open_stream(const AudioFormat& format, AudioPull pull) = 0;
};

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
