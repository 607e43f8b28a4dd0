// Decoders: what turns a sound file's bytes into PCM frames.
//
// A decoder reads its source stream (a range stream of the title's data,
// not owned) only inside its own calls; the caller serialises those calls
// with the media library's stream-callback lock, since the library's
// threads and the wave mixer's thread decode while the main thread seeks.
//
// Which decoder takes a file is decided by its content: Ogg Vorbis goes to
// libvorbisfile, RIFF WAVE with integer or float PCM to our own reader, and
// anything else to FFmpeg (Windows Media audio, ADPCM or MP3 inside WAV,
// other containers), under whitelists of demuxers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "files/stream.h"

namespace nova::media::decoders {

// How the samples a decoder delivers are laid out (interleaved).
enum class SampleKind : std::uint8_t { U8, S16, S32, F32, F64 };

struct RawFormat {
  SampleKind kind = SampleKind::S16;
  int channels = 0;
  int rate = 0;
  int bytes_per_sample() const {
    switch (kind) {
      case SampleKind::U8: return 1;
      case SampleKind::S16: return 2;
      case SampleKind::S32:
      case SampleKind::F32: return 4;
      case SampleKind::F64: return 8;
    }
    return 0;
  }
  int frame_bytes() const { return bytes_per_sample() * channels; }
};

class PcmDecoder {
 public:
  virtual ~PcmDecoder() = default;
  // Fixed at creation.
  virtual const RawFormat& format() const = 0;
  // The length in frames, as far as the file tells (cached at creation);
  // reading may end sooner (a truncated file) but never later.
  virtual std::int64_t frames() const = 0;
  // Decodes up to `frames` whole frames into `out`; answers how many, 0 at
  // the end. A decoding error raises core::Error (the sound then ends).
  virtual std::int64_t read(void* out, std::int64_t frames) = 0;
  // Moves to a frame (clamped to 0..frames()), exactly to the sample.
  virtual void seek(std::int64_t frame) = 0;
};

// The range of formats a file may have: 1 to 8 channels, 4 to 192 kHz (the
// oldest titles' 5.5 kHz effects included).
constexpr bool plausible_format(int channels, long rate) {
  return channels >= 1 && channels <= 8 && rate >= 4000 && rate <= 192000;
}

// The decoder of a file by its content; `is_ogg` (from the file's
// extension) is only a hint of where to look first. Raises core::Error
// when nothing decodes the file.
std::unique_ptr<PcmDecoder> open_decoder(files::Stream& source, bool is_ogg);

// Each decoder: raises core::Error when the file is not of its kind or is
// broken.
std::unique_ptr<PcmDecoder> open_vorbis_decoder(files::Stream& source);
std::unique_ptr<PcmDecoder> open_ffmpeg_decoder(files::Stream& source);
// Delivers `inner` as 44100 Hz 16-bit stereo (libswresample).
std::unique_ptr<PcmDecoder> convert_to_output(std::unique_ptr<PcmDecoder> inner);

}  // namespace nova::media::decoders
