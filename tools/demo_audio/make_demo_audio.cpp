// make_demo_audio FOLDER: writes the demo title's sounds into FOLDER.
// bgm.ogg is a four-second loop of a soft arpeggio over a held chord; every
// frequency makes a whole number of cycles in the loop, so it repeats
// without a seam. se.wav is a 200 ms chime at 22050 Hz, mono, 16-bit (one of
// the wave mixer's own formats).
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "media/decoders/writers.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

bool save(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_audio FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);

  const int rate = 44100, frames = rate * 4;
  // Quarter-hertz steps: 4 s hold a whole number of cycles of each.
  const double chord[] = {110.0, 164.75, 220.0};
  const double notes[] = {440.0, 523.25, 659.25, 880.0, 659.25, 523.25, 440.0, 329.5};
  std::vector<float> bgm(static_cast<std::size_t>(frames) * 2);
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    double pad = 0;
    for (double f : chord) pad += std::sin(2 * kPi * f * t);
    const int step = i / (frames / 8);
    const double in_step = static_cast<double>(i % (frames / 8)) / (frames / 8);
    const double arp = std::sin(2 * kPi * notes[step] * t) * std::exp(-4 * in_step) * std::sin(kPi * in_step);
    const double left = 0.10 * pad + 0.25 * arp;
    const double right = 0.10 * pad + 0.20 * arp;
    bgm[static_cast<std::size_t>(i) * 2] = static_cast<float>(left);
    bgm[static_cast<std::size_t>(i) * 2 + 1] = static_cast<float>(right);
  }
  const int se_rate = 22050, se_frames = se_rate / 5;
  std::vector<std::int32_t> se;
  for (int i = 0; i < se_frames; ++i) {
    const double t = static_cast<double>(i) / se_rate;
    const double v = (std::sin(2 * kPi * 1318.5 * t) + 0.5 * std::sin(2 * kPi * 1975.5 * t)) * std::exp(-25 * t);
    se.push_back(static_cast<std::int32_t>(std::lround(v * 12000)));
  }
  if (!save(folder / "bgm.ogg", nova::media::writers::write_vorbis(2, rate, bgm, 0.4f)) ||
      !save(folder / "se.wav", nova::media::writers::write_wav({1, se_rate, 16}, se))) {
    std::fprintf(stderr, "make_demo_audio: cannot write into %s\n", folder.c_str());
    return 1;
  }
  return 0;
}
