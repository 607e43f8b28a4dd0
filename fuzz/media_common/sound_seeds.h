// Seeds of the sound fuzzers, all made by the project's own writers: WAV in
// every PCM format and with other codecs' tags, Ogg Vorbis (one link and
// chained) and Windows Media audio.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "media/decoders/writers.h"

namespace nova::fuzz {

inline std::vector<float> seed_tone(int frames, int channels, int rate) {
  std::vector<float> s(static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels));
  for (std::size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i / static_cast<std::size_t>(channels)) / rate;
    s[i] = 0.4f * static_cast<float>(std::sin(t * 3000.0));
  }
  return s;
}

inline std::vector<std::vector<std::uint8_t>> wav_seeds() {
  namespace w = media::writers;
  std::vector<std::vector<std::uint8_t>> out;
  for (int bits : {8, 16, 24, 32}) {
    for (int channels : {1, 2, 6}) {
      std::vector<std::int32_t> s;
      for (int i = 0; i < 40 * channels; ++i) s.push_back(bits == 8 ? i * 5 % 256 : (i * 977) % 2000 - 1000);
      out.push_back(w::write_wav({channels, channels == 6 ? 48000 : 22050, bits, false, bits == 24}, s));
    }
  }
  for (int bits : {32, 64}) out.push_back(w::write_wav_float({2, 44100, bits, true}, std::vector<double>(80, 0.25)));
  const std::vector<std::uint8_t> adpcm(256, 0x33);
  out.push_back(w::write_wav_raw(2, 1, 22050, 4, 256, adpcm));
  out.push_back(w::write_wav_raw(0x55, 2, 44100, 0, 1, adpcm));
  return out;
}

inline std::vector<std::vector<std::uint8_t>> coded_seeds() {
  namespace w = media::writers;
  std::vector<std::vector<std::uint8_t>> out;
  out.push_back(w::write_vorbis(2, 44100, seed_tone(3000, 2, 44100), 0.1f));
  out.push_back(w::write_vorbis(1, 22050, seed_tone(2000, 1, 22050), 0.1f));
  auto chained = w::write_vorbis(2, 44100, seed_tone(1500, 2, 44100), 0.1f, 1);
  const auto link = w::write_vorbis(1, 32000, seed_tone(1500, 1, 32000), 0.1f, 2);
  chained.insert(chained.end(), link.begin(), link.end());
  out.push_back(chained);
  out.push_back(w::write_wma(2, 44100, seed_tone(4096, 2, 44100), 64000));
  out.push_back(w::write_wma(1, 22050, seed_tone(4096, 1, 22050), 32000));
  return out;
}

}  // namespace nova::fuzz
