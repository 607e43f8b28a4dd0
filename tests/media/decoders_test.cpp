// Decoders: our WAV reader in every PCM format, Vorbis and FFmpeg through
// the decoder streams, conversion of what the mixer does not take, and bad
// data.
#include <gtest/gtest.h>

#include <mutex>

#include "core/error.h"
#include "media/decoder_stream.h"
#include "media/wav_reader.h"
#include "media_test_util.h"

namespace nova::media {
namespace {

using namespace testing;

std::vector<std::int16_t> decode_all(DecoderStream& d) {
  std::vector<std::int16_t> out(static_cast<std::size_t>(d.frames()) * d.format().channels);
  out.resize(static_cast<std::size_t>(d.read_frames(out.data(), d.frames())) * d.format().channels);
  return out;
}

TEST(WavReader, EveryPcmFormatReadsBackExactly) {
  // Integer samples keep their value; 24- and 32-bit come out at 32 bits,
  // floats as they were.
  struct Case {
    int bits;
    bool is_float;
    bool extensible;
    decoders::SampleKind kind;
  };
  for (const Case& c :
       {Case{8, false, false, decoders::SampleKind::U8}, Case{16, false, true, decoders::SampleKind::S16},
        Case{24, false, false, decoders::SampleKind::S32}, Case{32, false, true, decoders::SampleKind::S32},
        Case{32, true, false, decoders::SampleKind::F32}, Case{64, true, true, decoders::SampleKind::F64}}) {
    SCOPED_TRACE(c.bits);
    const writers::PcmSpec spec{3, 11025, c.bits, c.is_float, c.extensible};
    std::vector<std::uint8_t> file;
    std::vector<std::int32_t> ints;
    std::vector<double> floats;
    for (int i = 0; i < 3 * 50; ++i) {
      if (c.bits == 8) ints.push_back(i * 7 % 256);
      if (c.bits == 16) ints.push_back(i * 431 - 32000);
      if (c.bits == 24) ints.push_back(i * 100001 - 8000000);
      if (c.bits == 32 && !c.is_float) ints.push_back(i * 14000001 - 1000000000);
      floats.push_back(i / 200.0 - 0.4);
    }
    file = c.is_float ? writers::write_wav_float(spec, floats) : writers::write_wav(spec, ints);
    files::TKvMemoryStream s(file);
    auto r = open_wav_reader(s);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->format().kind, c.kind);
    EXPECT_EQ(r->format().channels, 3);
    EXPECT_EQ(r->format().rate, 11025);
    ASSERT_EQ(r->frames(), 50);
    std::vector<std::uint8_t> out(50 * 3 * 8);
    ASSERT_EQ(r->read(out.data(), 60), 50);
    for (std::size_t i = 0; i < 150; ++i) {
      switch (c.kind) {
        case decoders::SampleKind::U8: EXPECT_EQ(out[i], ints[i]); break;
        case decoders::SampleKind::S16: EXPECT_EQ(reinterpret_cast<std::int16_t*>(out.data())[i], ints[i]); break;
        case decoders::SampleKind::S32:
          EXPECT_EQ(reinterpret_cast<std::int32_t*>(out.data())[i], c.bits == 24 ? ints[i] * 256 : ints[i]);
          break;
        case decoders::SampleKind::F32:
          EXPECT_EQ(reinterpret_cast<float*>(out.data())[i], static_cast<float>(floats[i]));
          break;
        case decoders::SampleKind::F64: EXPECT_EQ(reinterpret_cast<double*>(out.data())[i], floats[i]); break;
      }
    }
    r->seek(47);
    EXPECT_EQ(r->read(out.data(), 10), 3);
  }
}

TEST(WavReader, BadHeadersAreErrorsAndOtherCodecsAreLeftToFfmpeg) {
  const std::vector<std::uint8_t> data(64, 0);
  auto open = [](const std::vector<std::uint8_t>& bytes) {
    files::TKvMemoryStream s(bytes);
    return open_wav_reader(s) != nullptr;
  };
  EXPECT_FALSE(open(writers::write_wav_raw(2, 2, 22050, 4, 2048, data)));              // ADPCM: not ours
  EXPECT_FALSE(open(writers::write_wav_raw(0x55, 2, 44100, 0, 1, data)));              // MP3: not ours
  EXPECT_THROW(open(writers::write_wav_raw(1, 9, 44100, 16, 18, data)), core::Error);  // 9 channels
  EXPECT_THROW(open(writers::write_wav_raw(1, 2, 3000, 16, 4, data)), core::Error);    // 3 kHz
  EXPECT_THROW(open(writers::write_wav_raw(1, 2, 44100, 16, 3, data)), core::Error);   // block size
  EXPECT_THROW(open(writers::write_wav_raw(1, 2, 44100, 12, 3, data)), core::Error);   // 12 bits
  EXPECT_TRUE(open(writers::write_wav_raw(1, 1, 5512, 8, 1, data)));                   // old 5.5 kHz effect
  auto good = writers::write_wav_raw(1, 2, 44100, 16, 4, data);
  EXPECT_THROW(open({good.begin(), good.begin() + 30}), core::Error);  // cut inside the format chunk
  EXPECT_THROW(open(std::vector<std::uint8_t>(100, 'x')), core::Error);
  // A data chunk longer than the file: what is there plays.
  auto cut = std::vector<std::uint8_t>(good.begin(), good.end() - 10);
  files::TKvMemoryStream s(cut);
  auto r = open_wav_reader(s);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->frames(), (64 - 10) / 4);
}

TEST(DecoderStreams, MixerFormatsStayNativeOthersBecomeOutputFormat) {
  std::mutex lock;
  // 22050 Hz 8-bit mono is one of the mixer's own formats: bit for bit.
  std::vector<std::int32_t> bytes;
  for (int i = 0; i < 1000; ++i) bytes.push_back(i % 256);
  files::TKvMemoryStream wav8(writers::write_wav({1, 22050, 8}, bytes));
  DecoderStream d8(wav8, false, lock);
  ASSERT_TRUE(d8.ok());
  EXPECT_EQ(d8.format(), pcm_format(1, 22050, 8));
  std::vector<std::uint8_t> raw(1000);
  ASSERT_EQ(d8.read_bytes(raw.data(), 1000), 1000);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(raw[static_cast<std::size_t>(i)], i % 256);

  // 48 kHz plays (converted) instead of staying silent.
  const auto tone = sine(48000, 2, 48000, 1000, 0.5);
  files::TKvMemoryStream wav48(wav16(2, 48000, to_i16(tone)));
  DecoderStream d48(wav48, false, lock);
  ASSERT_TRUE(d48.ok());
  EXPECT_EQ(d48.format(), kOutputFormat);
  EXPECT_NEAR(static_cast<double>(d48.frames()), 44100, 1);
  auto pcm = decode_all(d48);
  EXPECT_NEAR(static_cast<double>(pcm.size()) / 2, 44100, 64);
  const auto left = channel(pcm, 0);
  EXPECT_NEAR(frequency(left, 44100), 1000, 3);
  EXPECT_NEAR(rms(left), 0.5 * 32767 / std::sqrt(2.0), 300);

  // Float and 24-bit, and six channels, also become 44100 Hz 16-bit stereo.
  files::TKvMemoryStream f32(writers::write_wav_float({6, 44100, 32, true}, std::vector<double>(6 * 441, 0.25)));
  DecoderStream df(f32, false, lock);
  ASSERT_TRUE(df.ok());
  EXPECT_EQ(df.format(), kOutputFormat);
}

TEST(DecoderStreams, VorbisDecodesSeeksToTheSampleAndTheContentDecides) {
  std::mutex lock;
  const auto tone = sine(44100, 2, 44100, 1000, 0.5);
  const auto ogg = writers::write_vorbis(2, 44100, tone, 0.6f);
  // Named like a WAV file (the hint says no Ogg): the content decides.
  files::TKvMemoryStream s(ogg);
  DecoderStream d(s, false, lock);
  ASSERT_TRUE(d.ok()) << test::utf8(d.failure());
  EXPECT_EQ(d.format(), pcm_format(2, 44100, 16));
  EXPECT_EQ(d.frames(), 44100);
  EXPECT_EQ(d.length_ms(), 1000);
  auto all = decode_all(d);
  ASSERT_EQ(all.size(), 88200u);
  EXPECT_NEAR(frequency(channel(all, 0), 44100), 1000, 2);
  // A seek lands on the very frame a straight decode had there.
  d.seek_frame(12345);
  std::vector<std::int16_t> part(200);
  ASSERT_EQ(d.read_frames(part.data(), 100), 100);
  for (std::size_t i = 0; i < 200; ++i) ASSERT_EQ(part[i], all[12345 * 2 + i]) << i;
  // A byte seek falls on a whole frame.
  EXPECT_EQ(d.seek_bytes(4003), 4000);
}

TEST(DecoderStreams, ChainedOggPlaysInTheFirstLinksFormat) {
  std::mutex lock;
  auto first = writers::write_vorbis(2, 44100, sine(4410, 2, 44100, 440, 0.3), 0.4f, 1);
  const auto second = writers::write_vorbis(1, 44100, sine(4410, 1, 44100, 880, 0.3), 0.4f, 2);
  first.insert(first.end(), second.begin(), second.end());
  files::TKvMemoryStream s(first);
  DecoderStream d(s, true, lock);
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d.format().channels, 2);
  EXPECT_EQ(d.frames(), 8820);
  auto all = decode_all(d);
  ASSERT_EQ(all.size(), 8820u * 2);
  // The mono link comes out on both channels.
  for (std::size_t i = 4410 * 2; i < all.size(); i += 2) ASSERT_EQ(all[i], all[i + 1]);
}

TEST(DecoderStreams, WindowsMediaAudioDecodesThroughFfmpeg) {
  std::mutex lock;
  const auto wma = writers::write_wma(2, 44100, sine(44100, 2, 44100, 1000, 0.5));
  files::TKvMemoryStream s(wma);
  DecoderStream d(s, false, lock);
  ASSERT_TRUE(d.ok()) << test::utf8(d.failure());
  EXPECT_EQ(d.format(), kOutputFormat);
  EXPECT_NEAR(static_cast<double>(d.length_ms()), 1000, 60);
  auto all = decode_all(d);
  const auto left = channel(all, 0);
  std::vector<double> middle(left.begin() + 4410, left.end() - 4410);
  EXPECT_NEAR(frequency(middle, 44100), 1000, 5);
  EXPECT_NEAR(rms(middle), 0.5 * 32767 / std::sqrt(2.0), 1500);
  // Back to the start: the same sound again.
  d.seek_frame(0);
  std::vector<std::int16_t> again(20000);
  ASSERT_EQ(d.read_frames(again.data(), 10000), 10000);
  for (std::size_t i = 0; i < 20000; ++i) ASSERT_NEAR(again[i], all[i], 2) << i;
}

TEST(DecoderStreams, TruncatedAndGarbageDataFailOrEndWithoutHanging) {
  std::mutex lock;
  const auto tone = sine(22050, 2, 44100, 500, 0.5);
  const std::vector<std::vector<std::uint8_t>> sources = {
      writers::write_vorbis(2, 44100, tone), writers::write_wma(2, 44100, tone), wav16(2, 44100, to_i16(tone))};
  std::uint32_t seed = 1;
  for (const auto& whole : sources) {
    for (std::size_t cut : {std::size_t{0}, std::size_t{3}, std::size_t{40}, whole.size() / 3, whole.size() - 7}) {
      std::vector<std::uint8_t> bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
      files::TKvMemoryStream s(bytes);
      DecoderStream d(s, true, lock);
      if (!d.ok()) {
        EXPECT_FALSE(d.failure().empty());
        EXPECT_EQ(d.frames(), 0);
        continue;
      }
      std::vector<std::int16_t> out(4096 * 2);
      std::int64_t total = 0;
      for (int i = 0; i < 1000; ++i) {
        const std::int64_t n = d.read_frames(out.data(), 4096);
        if (n == 0) break;
        total += n;
      }
      EXPECT_LE(total, d.frames());
    }
    // The same length of noise after a good beginning.
    std::vector<std::uint8_t> noisy(whole);
    for (std::size_t i = noisy.size() / 4; i < noisy.size(); ++i) {
      seed = seed * 1103515245 + 12345;
      noisy[i] = static_cast<std::uint8_t>(seed >> 16);
    }
    files::TKvMemoryStream s(noisy);
    DecoderStream d(s, true, lock);
    std::vector<std::int16_t> out(4096 * 2);
    int reads = 0;
    while (d.read_frames(out.data(), 4096) > 0 && reads < 1000) ++reads;
    EXPECT_LT(reads, 1000);
  }
}

}  // namespace
}  // namespace nova::media
