// The PCM format record every sound is described by (the WAVEFORMATEX
// record of the media library's interface), and the few facts the mixers
// need of it.
#pragma once

#include <cstdint>

namespace nova::media {

struct WaveFormatEx {
  std::uint16_t format_tag = 0;  // 1: integer PCM
  std::uint16_t channels = 0;
  std::uint32_t samples_per_sec = 0;
  std::uint32_t avg_bytes_per_sec = 0;
  std::uint16_t block_align = 0;
  std::uint16_t bits_per_sample = 0;
  std::uint16_t extra_size = 0;

  bool operator==(const WaveFormatEx&) const = default;
};

constexpr std::uint16_t kWaveFormatPcm = 1;

// Integer PCM of this many channels, rate and bits.
constexpr WaveFormatEx pcm_format(int channels, int rate, int bits) {
  WaveFormatEx f;
  f.format_tag = kWaveFormatPcm;
  f.channels = static_cast<std::uint16_t>(channels);
  f.samples_per_sec = static_cast<std::uint32_t>(rate);
  f.bits_per_sample = static_cast<std::uint16_t>(bits);
  f.block_align = static_cast<std::uint16_t>(channels * bits / 8);
  f.avg_bytes_per_sec = f.samples_per_sec * f.block_align;
  return f;
}

// The formats the wave mixer converts itself (one or two channels, 44100 or
// 22050 Hz, 8 or 16 bits); every other sound is converted to 44100 Hz 16-bit
// stereo by its decoder.
constexpr bool is_mixer_format(const WaveFormatEx& f) {
  return f.format_tag == kWaveFormatPcm && (f.channels == 1 || f.channels == 2) &&
         (f.samples_per_sec == 44100 || f.samples_per_sec == 22050) &&
         (f.bits_per_sample == 8 || f.bits_per_sample == 16) && f.block_align == f.channels * f.bits_per_sample / 8;
}

// The player's output: 44100 Hz, 16-bit, stereo.
constexpr WaveFormatEx kOutputFormat = pcm_format(2, 44100, 16);

}  // namespace nova::media
