// The media library, each against its baseline in the same run:
// - one second of 44.1 kHz stereo mixed from 32 voices, in 1024-frame
//   callbacks, against a plain loop that adds the same samples and clips
//   them (required within 3×, aim 1.5×);
// - a Vorbis stream decoded through the library's decoder stream against
//   raw libvorbisfile reading the same bytes from memory (overhead required
//   within 10 %, aim 5 %).
// Run in Release: bench_media --benchmark_repetitions=5
//   --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "files/stream.h"
#include "media/decoder_stream.h"
#include "media/decoders/writers.h"
#include "media/nova_library.h"

namespace {

using namespace nova;

constexpr int kVoices = 32;
constexpr std::size_t kCallback = 1024;

std::vector<std::int32_t> tone(int frames, double freq) {
  std::vector<std::int32_t> s;
  for (int i = 0; i < frames; ++i) {
    const auto v = static_cast<std::int32_t>(3000 * std::sin(6.283185307 * freq * i / 44100));
    s.push_back(v);
    s.push_back(-v);
  }
  return s;
}

class PullOutput final : public platform::SoundOutput {
 public:
  class Stream final : public platform::AudioStream {
   public:
    const platform::AudioFormat& format() const override { return m_format; }
    void pause(bool) override {}
    platform::AudioFormat m_format;
  };
  std::unique_ptr<platform::AudioStream> open_stream(const platform::AudioFormat&, platform::AudioPull pull) override {
    m_pull = std::move(pull);
    return std::make_unique<Stream>();
  }
  bool realtime() const override { return false; }
  platform::AudioPull m_pull;
};

void BM_LibraryMix32Voices(benchmark::State& state) {
  PullOutput output;
  media::NovaLibrary library(output);
  std::vector<std::unique_ptr<files::TKvMemoryStream>> sources;
  for (int v = 0; v < kVoices; ++v) {
    sources.push_back(
        std::make_unique<files::TKvMemoryStream>(media::writers::write_wav({2, 44100, 16}, tone(44100, 200 + 37 * v))));
    const std::int32_t h = library.add_voice(sources.back().get(), false);
    library.novaOggSetAutoRepeat(h, true);
    library.novaOggPlay(h);
  }
  std::vector<std::int16_t> out(kCallback * 2);
  for (auto _ : state) {
    for (std::size_t done = 0; done < 44100; done += kCallback) output.m_pull(out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * 44100);
}
BENCHMARK(BM_LibraryMix32Voices)->Unit(benchmark::kMillisecond);

void BM_CopyAndAddBaseline(benchmark::State& state) {
  std::vector<std::vector<std::int16_t>> voices;
  for (int v = 0; v < kVoices; ++v) {
    const auto s = tone(44100, 200 + 37 * v);
    voices.emplace_back(s.begin(), s.end());
  }
  std::vector<std::int32_t> acc(kCallback * 2);
  std::vector<std::int16_t> out(kCallback * 2);
  for (auto _ : state) {
    for (std::size_t done = 0; done < 44100; done += kCallback) {
      const std::size_t n = std::min(kCallback, 44100 - done);
      std::fill(acc.begin(), acc.end(), 0);
      for (const auto& v : voices) {
        const std::int16_t* s = v.data() + done * 2;
        for (std::size_t i = 0; i < n * 2; ++i) acc[i] += s[i];
      }
      for (std::size_t i = 0; i < n * 2; ++i) out[i] = static_cast<std::int16_t>(std::clamp(acc[i], -32768, 32767));
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * 44100);
}
BENCHMARK(BM_CopyAndAddBaseline)->Unit(benchmark::kMillisecond);

const std::vector<std::uint8_t>& vorbis_file() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<float> s(44100 * 10 * 2);
    for (std::size_t i = 0; i < s.size(); ++i)
      s[i] = 0.4f * static_cast<float>(std::sin(i * 0.013) * std::sin(i * 0.0007));
    return media::writers::write_vorbis(2, 44100, s, 0.5f);
  }();
  return bytes;
}

void BM_VorbisThroughTheLibrary(benchmark::State& state) {
  std::mutex lock;
  std::vector<std::int16_t> buf(4096 * 2);
  for (auto _ : state) {
    files::TKvMemoryStream src(vorbis_file());
    media::DecoderStream d(src, true, lock);
    std::int64_t total = 0;
    while (const std::int64_t n = d.read_frames(buf.data(), 4096)) total += n;
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_VorbisThroughTheLibrary)->Unit(benchmark::kMillisecond);

struct Memory {
  const std::vector<std::uint8_t>* bytes;
  std::size_t at = 0;
};

void BM_VorbisRawLibvorbisfile(benchmark::State& state) {
  const ov_callbacks callbacks{[](void* p, std::size_t size, std::size_t n, void* src) -> std::size_t {
                                 auto* m = static_cast<Memory*>(src);
                                 const std::size_t k = std::min(size * n, m->bytes->size() - m->at);
                                 std::memcpy(p, m->bytes->data() + m->at, k);
                                 m->at += k;
                                 return size ? k / size : 0;
                               },
                               [](void* src, ogg_int64_t off, int whence) -> int {
                                 auto* m = static_cast<Memory*>(src);
                                 const auto size = static_cast<ogg_int64_t>(m->bytes->size());
                                 ogg_int64_t p = whence == SEEK_SET   ? off
                                                 : whence == SEEK_CUR ? static_cast<ogg_int64_t>(m->at) + off
                                                                      : size + off;
                                 m->at = static_cast<std::size_t>(std::clamp<ogg_int64_t>(p, 0, size));
                                 return 0;
                               },
                               nullptr,
                               [](void* src) -> long { return static_cast<long>(static_cast<Memory*>(src)->at); }};
  std::vector<char> buf(4096 * 4);
  for (auto _ : state) {
    Memory m{&vorbis_file()};
    OggVorbis_File vf;
    if (ov_open_callbacks(&m, &vf, nullptr, 0, callbacks) != 0) state.SkipWithError("open");
    int link = 0;
    long total = 0;
    while (const long n = ov_read(&vf, buf.data(), static_cast<int>(buf.size()), 0, 2, 1, &link)) {
      if (n < 0) break;
      total += n;
    }
    ov_clear(&vf);
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_VorbisRawLibvorbisfile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
