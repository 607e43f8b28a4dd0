// The media library: Ogg, WAV and Windows Media sound played through one
// 44100 Hz 16-bit stereo output stream, and the decoder streams the wave
// mixer reads. Its families of operations are the interface the media items
// were written against (the Ogg player, the media-player sound, the decoder
// streams, video), as methods with their arguments and results.
//
// Owned by the media system; created at the media start-up (`novaInit`)
// and destroyed at its end (`novaFinal`). The items' source streams are
// theirs: a stream handed to an add function must outlive the handle's Del.
//
// Threads and locks. Items call in from the main thread; the decoder-stream
// functions are also called from the wave mixer's output thread. Every read
// of a source stream happens under the one stream-callback lock. With a
// real-time output a streaming thread keeps each voice's ring filled and
// the output callback only mixes rings, taking none of the locks; headless,
// the output's pull decodes what it mixes, so runs repeat exactly. Lock
// order: the wave mixer's lock, then this library's locks, then the
// stream-callback lock, then the range streams' own.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "files/stream.h"
#include "media/decoder_stream.h"
#include "media/voice.h"
#include "platform/sound.h"

namespace nova::media {

class NovaLibrary {
 public:
  // novaInit: opens the output stream on `output` (which must outlive the
  // library) and, with a real-time output, starts the streaming thread.
  explicit NovaLibrary(platform::SoundOutput& output);
  // novaFinal: stops the output and the thread and frees every voice and
  // decoder stream still there.
  ~NovaLibrary();
  NovaLibrary(const NovaLibrary&) = delete;
  NovaLibrary& operator=(const NovaLibrary&) = delete;

  std::mutex& callback_lock() { return m_callback_lock; }
  bool realtime() const { return m_realtime; }

  // --- Voices ------------------------------------------------------------------------
  // A voice of the source (not owned). Never fails for bad data: a file that
  // does not decode gives a voice that is ended, of length 0. Raises
  // core::Error only when 256 voices exist already.
  std::int32_t add_voice(files::Stream* source, bool is_ogg);
  // The voice of a handle, or nullptr. Valid until its Del.
  Voice* voice(std::int32_t h) const;
  // Stops mixing the voice, waits for an output callback that may still
  // hold it (at most 2 s, logged) and for its streaming work, then frees
  // its decoder; the source may go after this returns.
  void remove_voice(std::int32_t h);
  int voice_count() const;
  // Output callbacks started so far (the first is 1).
  std::uint64_t callback_count() const { return m_callbacks.load(); }

  // --- Media-player sound ------------------------------------------------------------
  std::int32_t novaWmpmanAdd(files::Stream* stream) { return add_voice(stream, false); }
  void novaWmpmanDel(std::int32_t h) { remove_voice(h); }
  // The output replaces a lost device itself; nothing to restore.
  void novaWmpmanRestore() {}
  void novaWmpmanProcessEvent() {}
  void novaWmpPlay(std::int32_t h) {
    with(h, [](Voice& v) { v.play(); });
  }
  void novaWmpPause(std::int32_t h) {
    with(h, [](Voice& v) { v.pause(); });
  }
  bool novaWmpIsPlaying(std::int32_t h) const {
    return ask(h, [](const Voice& v) { return v.is_playing(); });
  }
  bool novaWmpIsPaused(std::int32_t h) const {
    return ask(h, [](const Voice& v) { return v.is_paused(); });
  }
  bool novaWmpIsEnd(std::int32_t h) const {
    return ask(h, [](const Voice& v) { return v.is_end(); });
  }
  std::int32_t novaWmpGetLen(std::int32_t h) const {
    return ask(h, [](const Voice& v) { return v.length_ms(); });
  }
  std::int32_t novaWmpGetPosition(std::int32_t h) const {
    return ask(h, [](const Voice& v) { return v.position_ms(); });
  }
  void novaWmpSetPosition(std::int32_t h, std::int32_t ms) {
    with(h, [ms](Voice& v) { v.set_position_ms(ms); });
  }
  std::int32_t novaWmpGetVol(std::int32_t h) const {
    return ask(h, [](const Voice& v) { return v.volume(); });
  }
  void novaWmpSetVol(std::int32_t h, std::int32_t vol) {
    with(h, [vol](Voice& v) { v.set_volume(vol); });
  }
  std::int32_t novaWmpGetPan(std::int32_t h) const {
    return ask(h, [](const Voice& v) { return v.pan(); });
  }
  void novaWmpSetPan(std::int32_t h, std::int32_t pan) {
    with(h, [pan](Voice& v) { v.set_pan(pan); });
  }
  bool novaWmpGetAutoRepeat(std::int32_t h) const {
    return ask(h, [](const Voice& v) { return v.repeat(); });
  }
  void novaWmpSetAutoRepeat(std::int32_t h, bool on) {
    with(h, [on](Voice& v) { v.set_repeat(on); });
  }

  // --- Ogg player (the same voices, with a repeat position) ----------------------------
  std::int32_t novaOggmanAdd(files::Stream* stream, bool is_ogg) { return add_voice(stream, is_ogg); }
  void novaOggmanDel(std::int32_t h) { remove_voice(h); }
  void novaOggmanRestore() {}
  // The library always streams on threads of its own (or, headless, in the
  // output's pull).
  void novaOggmanSetUseThread(bool) {}
  void novaOggPlay(std::int32_t h) { novaWmpPlay(h); }
  void novaOggPause(std::int32_t h) { novaWmpPause(h); }
  bool novaOggIsPlaying(std::int32_t h) const { return novaWmpIsPlaying(h); }
  bool novaOggIsPaused(std::int32_t h) const { return novaWmpIsPaused(h); }
  bool novaOggIsEnd(std::int32_t h) const { return novaWmpIsEnd(h); }
  std::int32_t novaOggGetLen(std::int32_t h) const { return novaWmpGetLen(h); }
  std::int32_t novaOggGetPosition(std::int32_t h) const { return novaWmpGetPosition(h); }
  void novaOggSetPosition(std::int32_t h, std::int32_t ms) { novaWmpSetPosition(h, ms); }
  std::int32_t novaOggGetVol(std::int32_t h) const { return novaWmpGetVol(h); }
  void novaOggSetVol(std::int32_t h, std::int32_t vol) { novaWmpSetVol(h, vol); }
  std::int32_t novaOggGetPan(std::int32_t h) const { return novaWmpGetPan(h); }
  void novaOggSetPan(std::int32_t h, std::int32_t pan) { novaWmpSetPan(h, pan); }
  bool novaOggGetAutoRepeat(std::int32_t h) const { return novaWmpGetAutoRepeat(h); }
  void novaOggSetAutoRepeat(std::int32_t h, bool on) { novaWmpSetAutoRepeat(h, on); }
  std::int32_t novaOggGetRepeatPos(std::int32_t h) const {
    return ask(h, [](const Voice& v) { return v.repeat_pos_ms(); });
  }
  void novaOggSetRepeatPos(std::int32_t h, std::int32_t ms) {
    with(h, [ms](Voice& v) { v.set_repeat_pos_ms(ms); });
  }

  // --- Decoder streams -------------------------------------------------------------------
  // Never fails for bad data: GetFormat then answers false.
  std::int32_t novaOggStrmanAdd(files::Stream* stream, bool is_ogg);
  void novaOggStrmanDel(std::int32_t h);
  // False when the stream does not decode.
  bool novaOggStrGetFormat(std::int32_t h, WaveFormatEx& format) const;
  std::int64_t novaOggStrRead(std::int32_t h, void* buffer, std::int64_t count);
  std::int64_t novaOggStrGetSize(std::int32_t h) const;
  std::int64_t novaOggStrGetPos(std::int32_t h) const;
  std::int64_t novaOggStrSetPos(std::int32_t h, std::int64_t position);
  std::int32_t novaOggStrGetLen(std::int32_t h) const;
  int decoder_stream_count() const;

  // --- Video -----------------------------------------------------------------------------
  // Video is not built yet: raises core::Error naming the file.
  std::int32_t novaVidmanAdd(std::string_view name, files::Stream* stream, bool capture);
  void novaVidmanSuspend() {}
  void novaVidmanResume() {}
  void novaVidmanProcessEvent() {}

 private:
  static constexpr std::size_t kMaxVoices = 256;

  template <typename Fn>
  void with(std::int32_t h, Fn fn) {
    if (Voice* v = voice(h)) fn(*v);
  }
  template <typename Fn>
  auto ask(std::int32_t h, Fn fn) const -> decltype(fn(std::declval<const Voice&>())) {
    const Voice* v = voice(h);
    return v ? fn(*v) : decltype(fn(*v)){};
  }
  DecoderStream* decoder_stream(std::int32_t h) const;
  void pull(std::span<std::int16_t> out);
  void stream_loop();
  void wait_for_callback();

  platform::SoundOutput& m_output;
  bool m_realtime;
  std::mutex m_callback_lock;

  mutable std::mutex m_mutex;                                                       // the handle maps
  std::map<std::int32_t, std::pair<std::shared_ptr<Voice>, std::size_t>> m_voices;  // voice, slot
  std::map<std::int32_t, std::unique_ptr<DecoderStream>> m_decoder_streams;
  std::int32_t m_next_handle = 1;

  // What the output callback mixes: a slot per voice, read without locks.
  std::array<std::atomic<Voice*>, kMaxVoices> m_slots{};
  std::atomic<std::uint64_t> m_callbacks{0};
  // Odd while a callback runs.
  std::atomic<std::uint64_t> m_callback_epoch{0};
  std::vector<std::int32_t> m_acc;

  std::mutex m_stream_mutex;
  std::condition_variable m_stream_cv;
  bool m_stop = false;
  std::thread m_streamer;

  std::unique_ptr<platform::AudioStream> m_stream;
};

}  // namespace nova::media
