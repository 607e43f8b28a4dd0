// Writers of sound files: WAV in every PCM format, Ogg Vorbis (libvorbisenc)
// and Windows Media audio (FFmpeg's wmav2 encoder in an ASF file). The
// tests, the fuzzers' seeds and the demo title make all their sounds with
// these; the player never links them (library nova_media_writers).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace nova::media::writers {

struct PcmSpec {
  int channels = 2;
  int rate = 44100;
  int bits = 16;            // integer: 8, 16, 24, 32; float: 32, 64
  bool is_float = false;    // format 3 instead of 1
  bool extensible = false;  // the extensible header (format 0xFFFE)
};

// Integer samples, interleaved, as stored: 8-bit samples 0..255, the others
// signed in their width.
std::vector<std::uint8_t> write_wav(const PcmSpec& spec, std::span<const std::int32_t> samples);
// Float samples, interleaved (spec.is_float is implied).
std::vector<std::uint8_t> write_wav_float(const PcmSpec& spec, std::span<const double> samples);
// A WAVE file of any format tag with the given data bytes, for the codecs
// our reader leaves to FFmpeg (and for broken headers in tests).
std::vector<std::uint8_t> write_wav_raw(std::uint16_t format_tag, int channels, int rate, int bits, int block_align,
                                        std::span<const std::uint8_t> data);

// Interleaved samples in -1..1; quality -0.1..1. `serial` numbers the
// logical stream (concatenated files with different serials chain).
std::vector<std::uint8_t> write_vorbis(int channels, int rate, std::span<const float> samples, float quality = 0.4f,
                                       int serial = 1);

// Interleaved samples in -1..1, as wmav2 in ASF.
std::vector<std::uint8_t> write_wma(int channels, int rate, std::span<const float> samples, int bit_rate = 128000);

}  // namespace nova::media::writers
