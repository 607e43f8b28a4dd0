// What the media tests share: signals, measures of a sound, a title folder
// behind a file manager, and a sound output the test pulls by hand.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "files/file_manager.h"
#include "files/file_manager_fixture.h"
#include "files/stream.h"
#include "media/decoders/writers.h"
#include "media/wav_reader.h"
#include "platform/sound.h"
#include "support/test_support.h"

namespace nova::media::testing {

constexpr double kPi = 3.14159265358979323846;

// A sine of `amplitude` (0..1 of full scale) on every channel.
inline std::vector<float> sine(int frames, int channels, int rate, double freq, double amplitude) {
  std::vector<float> out(static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels));
  for (int i = 0; i < frames; ++i) {
    const auto v = static_cast<float>(amplitude * std::sin(2 * kPi * freq * i / rate));
    for (int c = 0; c < channels; ++c) out[static_cast<std::size_t>(i * channels + c)] = v;
  }
  return out;
}

// The same as 16-bit integers.
inline std::vector<std::int32_t> to_i16(std::span<const float> s) {
  std::vector<std::int32_t> out;
  out.reserve(s.size());
  for (float v : s) out.push_back(static_cast<std::int32_t>(std::lround(v * 32767.0)));
  return out;
}

inline std::vector<std::uint8_t> wav16(int channels, int rate, std::span<const std::int32_t> samples) {
  return writers::write_wav({channels, rate, 16}, samples);
}

inline std::string as_string(const std::vector<std::uint8_t>& v) { return {v.begin(), v.end()}; }

// Samples of one channel of interleaved stereo.
inline std::vector<double> channel(std::span<const std::int16_t> stereo, int c) {
  std::vector<double> out;
  for (std::size_t i = static_cast<std::size_t>(c); i < stereo.size(); i += 2) out.push_back(stereo[i]);
  return out;
}

inline double rms(std::span<const double> s) {
  double sum = 0;
  for (double v : s) sum += v * v;
  return s.empty() ? 0 : std::sqrt(sum / static_cast<double>(s.size()));
}

// Rising zero crossings per second.
inline double frequency(std::span<const double> s, int rate) {
  int crossings = 0;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i - 1] < 0 && s[i] >= 0) ++crossings;
  }
  return s.empty() ? 0 : crossings * static_cast<double>(rate) / static_cast<double>(s.size());
}

// The largest step between neighbouring samples: a click or a gap shows as
// a step far above a smooth sine's.
inline double largest_step(std::span<const double> s) {
  double m = 0;
  for (std::size_t i = 1; i < s.size(); ++i) m = std::max(m, std::abs(s[i] - s[i - 1]));
  return m;
}

// The 16-bit stereo samples of a WAV file our recorder wrote.
inline std::vector<std::int16_t> read_recording(const std::filesystem::path& path) {
  const std::string bytes = test::read_file(path);
  files::TKvMemoryStream s(files::as_bytes(bytes));
  auto r = open_wav_reader(s);
  std::vector<std::int16_t> out(static_cast<std::size_t>(r->frames()) * 2);
  r->read(out.data(), r->frames());
  return out;
}

// An output whose pulls the test makes (not real-time, like the headless
// backend's).
class ManualOutput final : public platform::SoundOutput {
 public:
  class Stream final : public platform::AudioStream {
   public:
    explicit Stream(ManualOutput& o) : m_owner(o) {}
    ~Stream() override { m_owner.m_pull = nullptr; }
    const platform::AudioFormat& format() const override { return m_format; }
    void pause(bool) override {}

   private:
    ManualOutput& m_owner;
    platform::AudioFormat m_format;
  };
  std::unique_ptr<platform::AudioStream> open_stream(const platform::AudioFormat&, platform::AudioPull pull) override {
    m_pull = std::move(pull);
    return std::make_unique<Stream>(*this);
  }
  bool realtime() const override { return false; }
  // One callback of `frames` frames.
  std::vector<std::int16_t> pull(std::size_t frames) {
    std::vector<std::int16_t> out(frames * 2);
    if (m_pull) m_pull(out);
    return out;
  }
  // Several callbacks, joined.
  std::vector<std::int16_t> pull_many(std::size_t frames, std::size_t per_callback = 1024) {
    std::vector<std::int16_t> out;
    while (frames > 0) {
      const std::size_t n = std::min(frames, per_callback);
      auto part = pull(n);
      out.insert(out.end(), part.begin(), part.end());
      frames -= n;
    }
    return out;
  }

 private:
  platform::AudioPull m_pull;
};

// A title folder behind a file manager.
class TitleFolder {
 public:
  TitleFolder() {
    std::filesystem::create_directories(m_dir / "title");
    std::filesystem::create_directories(m_dir / "tmp");
    files::FileManagerEnvironment env;
    env.temp_folder = m_dir / "tmp";
    env.executable = m_dir / "novaplayer";
    env.current_cdrom_roots = [] { return std::vector<std::filesystem::path>{}; };
    m_files = std::make_unique<files::TVrFileManager>(m_dialogs, env);
    m_files->SetBaseFolder(m_dir / "title");
  }
  void put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string host = name;
    std::replace(host.begin(), host.end(), '\\', '/');
    const auto path = m_dir / "title" / host;
    std::filesystem::create_directories(path.parent_path());
    test::write_file(path, as_string(bytes));
  }
  std::filesystem::path folder() const { return m_dir / "title"; }
  std::filesystem::path root() const { return m_dir.path(); }
  files::TVrFileManager& files() { return *m_files; }

 private:
  test::TempDir m_dir;
  files::testing::ScriptedDialogs m_dialogs;
  std::unique_ptr<files::TVrFileManager> m_files;
};

}  // namespace nova::media::testing
