// A voice: one sound of the media library, mixed into the library's one
// output stream. This is the public voice interface the media items and the
// CD audio folders play through: a decoded stream with gain, pan, repeat,
// seek and end.
//
// Threads. The main thread controls a voice (play, pause, seek, volume,
// repeat). A producer decodes ahead into the voice's ring of about half a
// second: the library's streaming thread, the main thread itself for the
// first 100 ms after creation and after a seek (so the next callback has
// the sound), or, headless, the output's pull. The output callback only
// consumes the ring, without locks: an empty ring is silence. Stale ring
// contents after a seek are told apart by a generation number.
//
// Positions are what was heard (consumed by the output), in frames of the
// decoder's format; the end is the last frame consumed; a repeat continues
// at the repeat position with no gap (a repeat position at or past the
// length counts as 0).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "media/decoder_stream.h"

namespace nova::media {

class Voice {
 public:
  // Takes the decoder; a decoder that is not ok gives a voice that is
  // ended from the start, with length 0.
  explicit Voice(std::unique_ptr<DecoderStream> decoder);
  ~Voice();
  Voice(const Voice&) = delete;
  Voice& operator=(const Voice&) = delete;

  // --- Main thread -------------------------------------------------------------
  // Starts, or continues after pause; an ended voice starts again from 0.
  void play();
  void pause();
  bool is_playing() const { return m_running.load() && !is_end(); }
  bool is_paused() const { return m_paused; }
  // The level: the last frame was heard (and no play or seek since).
  bool is_end() const;
  std::int32_t length_ms() const;
  std::int32_t position_ms() const;
  // Sample-accurate; clamped to 0..length. A playing voice goes on from
  // there, a paused one stays paused, an ended one waits for play.
  void set_position_ms(std::int64_t ms);
  // Hundredths of a decibel, clamped to -10000..0 (-10000 is silence).
  void set_volume(std::int32_t v);
  std::int32_t volume() const { return m_volume; }
  // -10000..10000: the other channel is attenuated by |pan| hundredths of a
  // decibel.
  void set_pan(std::int32_t p);
  std::int32_t pan() const { return m_pan; }
  void set_repeat(bool on);
  bool repeat() const { return m_repeat.load(); }
  void set_repeat_pos_ms(std::int64_t ms);
  std::int32_t repeat_pos_ms() const;
  const WaveFormatEx& format() const { return m_format; }
  std::int64_t length_frames() const { return m_length; }
  std::int64_t position_frames() const;

  // --- Producers --------------------------------------------------------------
  // Decodes until the ring holds `frames` output frames ahead (or is full,
  // or the sound's end is in it). Takes the voice's producer lock and, for
  // each read, the stream-callback lock.
  void fill(std::size_t frames);
  // Fills the ring completely (the streaming thread).
  void fill_all() { fill(kRingChunks * kChunkFrames); }
  // Stops every producer for good and frees the decoder; waits for a fill
  // in progress. The library calls it before it forgets the voice.
  void retire();

  // --- Output callback -----------------------------------------------------------
  // Adds `frames` frames of 44100 Hz stereo to `acc`; no locks.
  void mix_into(std::int32_t* acc, std::size_t frames, std::uint64_t callback);
  // The number of the first callback that carried this voice's sound since
  // the last play (0: none yet).
  std::uint64_t first_heard_callback() const { return m_first_heard.load(); }

  static constexpr std::size_t kChunkFrames = 1024;
  static constexpr std::size_t kRingChunks = 22;  // about half a second ahead
  // Room beyond that for what a seek left behind, so that the first 100 ms
  // after a seek always fit before the output drops the old chunks.
  static constexpr std::size_t kRingSlots = 32;

 private:
  struct Chunk {
    std::array<std::int16_t, kChunkFrames * 2> samples{};
    std::uint32_t frames = 0;       // output frames in samples
    std::int64_t source_start = 0;  // decoder frame of samples[0]
    std::uint32_t generation = 0;
    // 0 none; 1 the sound ends after this chunk; 2 that end was taken back
    // (repeat switched on in time); 3 the output took the end.
    std::atomic<std::uint8_t> end{0};
  };

  void restart_at(std::int64_t frame);
  void convert(const std::uint8_t* src, std::int64_t frames, std::int16_t* dst) const;
  std::int64_t ms_to_frames(std::int64_t ms) const;
  std::int32_t frames_to_ms(std::int64_t frames) const;
  void update_gains();

  std::unique_ptr<DecoderStream> m_decoder;
  WaveFormatEx m_format;
  std::int64_t m_length = 0;
  int m_ratio = 1;  // output frames per decoder frame (2 at 22050 Hz)

  // Main thread.
  bool m_paused = false;
  std::int32_t m_volume = 0;
  std::int32_t m_pan = 0;

  // Shared.
  std::atomic<std::uint32_t> m_generation{1};
  std::atomic<std::int64_t> m_seek_frame{0};
  std::atomic<bool> m_running{false};
  std::atomic<std::uint32_t> m_ended_generation{0};  // the generation whose end was heard
  std::atomic<bool> m_repeat{false};
  std::atomic<std::int64_t> m_repeat_pos{0};
  std::atomic<std::int32_t> m_gain_left{65536};  // Q16
  std::atomic<std::int32_t> m_gain_right{65536};
  std::atomic<std::uint64_t> m_heard{0};  // frame << 16 | generation's low bits
  std::atomic<std::uint64_t> m_first_heard{0};

  // Producers (under m_produce).
  std::mutex m_produce;
  bool m_dead = false;
  std::uint32_t m_produced_generation = 0;
  std::int64_t m_produce_pos = 0;
  bool m_produce_done = false;
  std::vector<std::uint8_t> m_decode_buffer;

  // The ring: the producer publishes with m_write, the output consumes
  // with m_read.
  std::unique_ptr<Chunk[]> m_ring;
  std::atomic<std::uint64_t> m_write{0};
  std::atomic<std::uint64_t> m_read{0};
  std::uint32_t m_read_offset = 0;  // output callback only
  std::int32_t m_current_left = 65536;
  std::int32_t m_current_right = 65536;
};

}  // namespace nova::media
