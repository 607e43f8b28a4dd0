// The streams of one sound output mixed into 44100 Hz 16-bit stereo, and the
// null output's pump. Shared by the SDL backend (its device callback mixes,
// or the pump does when there is no device) and the null output.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/sound.h"

namespace nova::platform::host {

class StreamMixer {
 public:
  StreamMixer() = default;
  StreamMixer(const StreamMixer&) = delete;
  StreamMixer& operator=(const StreamMixer&) = delete;

  // A stream that is mixed until it is destroyed. The mixer must outlive it.
  std::unique_ptr<AudioStream> add(const AudioFormat& format, AudioPull pull);
  // Pulls every stream for `frames` output frames and mixes them into `out`
  // (frames × 2 samples). Takes the mixer's own lock, which only stream
  // creation and removal share.
  void mix(std::int16_t* out, std::size_t frames);

 private:
  class Stream;
  void remove(Stream* s);

  std::mutex m_mutex;
  std::vector<Stream*> m_streams;
  std::vector<std::int32_t> m_mix;
};

// Pulls a mixer at the clock's rate on a thread of its own and discards the
// sound; stops when destroyed.
class NullPump {
 public:
  explicit NullPump(StreamMixer& mixer);
  ~NullPump();
  NullPump(const NullPump&) = delete;
  NullPump& operator=(const NullPump&) = delete;

 private:
  void run();
  StreamMixer& m_mixer;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_stop = false;
  std::thread m_thread;
};

}  // namespace nova::platform::host
