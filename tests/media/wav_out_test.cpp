// The wave mixer: its conversion table sample for sample, volumes, clipping,
// loops, positions, the end of a sound, and the output timer.
#include "media/wav_out.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "media/mix_kernels.h"
#include "media_test_util.h"
#include "platform/headless/headless_platform.h"

namespace nova::media {
namespace {

using namespace testing;

// A stream that claims more bytes than it yields.
class ShortStream final : public files::Stream {
 public:
  explicit ShortStream(std::vector<std::uint8_t> bytes, std::int64_t claimed) : m_inner(bytes), m_claimed(claimed) {}
  std::int64_t Read(void* b, std::int64_t n) override { return m_inner.Read(b, n); }
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t o, files::SeekOrigin origin) override {
    if (origin == files::SeekOrigin::End) o += m_claimed, origin = files::SeekOrigin::Begin;
    return m_inner.Seek(std::min(o, m_claimed), origin);
  }
  std::int64_t GetSize() override { return m_claimed; }

 private:
  files::TKvMemoryStream m_inner;
  std::int64_t m_claimed;
};

struct Mixer {
  platform::HeadlessPlatform platform;
  TWavOut out{platform, 100};  // 17640-byte blocks, 4410 frames
  std::vector<std::uint8_t> block = std::vector<std::uint8_t>(17640);
  const std::int16_t* samples() const { return reinterpret_cast<const std::int16_t*>(block.data()); }
};

// Bytes of a source of `frames` frames in the format, a pattern that tells
// every sample apart.
std::vector<std::uint8_t> pattern(const WaveFormatEx& f, int frames) {
  std::vector<std::uint8_t> out;
  for (int i = 0; i < frames * f.channels; ++i) {
    if (f.bits_per_sample == 8) {
      out.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    } else {
      const auto v = static_cast<std::uint16_t>(i * 2311 - 30000);
      out.push_back(static_cast<std::uint8_t>(v));
      out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
  }
  return out;
}

// The reference: the table's conversion, forwards, one source frame at a
// time.
std::vector<std::int16_t> reference(const WaveFormatEx& f, const std::vector<std::uint8_t>& bytes) {
  std::vector<std::int16_t> out;
  const int frames = static_cast<int>(bytes.size()) / f.block_align;
  for (int i = 0; i < frames; ++i) {
    std::int16_t s[2];
    for (int c = 0; c < 2; ++c) {
      const int src = std::min(c, f.channels - 1);
      const std::size_t at = static_cast<std::size_t>(i * f.block_align + src * f.bits_per_sample / 8);
      s[c] = f.bits_per_sample == 8 ? static_cast<std::int16_t>((bytes[at] - 128) * 256)
                                    : static_cast<std::int16_t>(bytes[at] | bytes[at + 1] << 8);
    }
    for (int k = 0; k < (f.samples_per_sec == 22050 ? 2 : 1); ++k) {
      out.push_back(s[0]);
      out.push_back(s[1]);
    }
  }
  return out;
}

TEST(WavOut, EveryRowOfTheTableConvertsSampleForSample) {
  struct Row {
    int channels, rate, bits, divisor;
  };
  for (const Row& r : {Row{2, 44100, 16, 1}, Row{1, 44100, 16, 2}, Row{2, 22050, 16, 2}, Row{2, 44100, 8, 2},
                       Row{1, 44100, 8, 4}, Row{2, 22050, 8, 4}, Row{1, 22050, 16, 4}, Row{1, 22050, 8, 8}}) {
    SCOPED_TRACE(r.channels * 1000000 + r.rate * 10 + r.bits);
    Mixer m;
    const WaveFormatEx f = pcm_format(r.channels, r.rate, r.bits);
    const auto bytes = pattern(f, 6000);
    files::TKvMemoryStream s(bytes);
    TWavBuffer* b = m.out.AddBuffer(f, &s);
    b->Play();
    ASSERT_TRUE(m.out.Mix(m.block.data()));
    EXPECT_EQ(b->ReadPosition(), 17640 / r.divisor);
    const auto expected = reference(f, {bytes.begin(), bytes.begin() + 17640 / r.divisor});
    ASSERT_EQ(expected.size(), 8820u);
    for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(m.samples()[i], expected[i]) << i;
  }
}

TEST(WavOut, VolumesScaleByTheRuleAndSumsClip) {
  const WaveFormatEx f = pcm_format(2, 44100, 16);
  std::vector<std::int32_t> values;
  for (int i = 0; i < 4410 * 2; ++i) values.push_back((i * 977) % 65536 - 32768);
  const auto file = to_i16({});
  std::vector<std::uint8_t> bytes;
  for (std::int32_t v : values) {
    bytes.push_back(static_cast<std::uint8_t>(v));
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  for (int volume : {256, 255, 254, 128, 0}) {
    SCOPED_TRACE(volume);
    Mixer m;
    files::TKvMemoryStream s(bytes);
    TWavBuffer* b = m.out.AddBuffer(f, &s);
    b->SetVolume(volume);
    b->Play();
    m.out.Mix(m.block.data());
    for (std::size_t i = 0; i < values.size(); ++i) {
      const std::int32_t want = volume >= 255 ? values[i] : (values[i] * volume) >> 8;
      ASSERT_EQ(m.samples()[i], want) << i;
    }
  }
  // Two full-scale sounds clip instead of wrapping.
  Mixer m;
  std::vector<std::uint8_t> loud, low;
  for (int i = 0; i < 4410 * 2; ++i) {
    loud.push_back(0xFF);
    loud.push_back(0x7F);
    low.push_back(0x00);
    low.push_back(0x80);
  }
  files::TKvMemoryStream a(loud), b(loud), c(low), d(low);
  for (auto* s : {&a, &b}) m.out.AddBuffer(f, s)->Play();
  m.out.Mix(m.block.data());
  EXPECT_EQ(m.samples()[0], 32767);
  Mixer n;
  for (auto* s : {&c, &d}) n.out.AddBuffer(f, s)->Play();
  n.out.Mix(n.block.data());
  EXPECT_EQ(n.samples()[8819], -32768);
  // The fast adder is the scalar one, bit for bit.
  std::vector<std::int16_t> x(1001), y(1001);
  for (int i = 0; i < 1001; ++i) {
    x[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i * 7919);
    y[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i * 104729);
  }
  auto fast = x, slow = x;
  add_saturating(fast.data(), y.data(), y.size());
  add_saturating_scalar(slow.data(), y.data(), y.size());
  EXPECT_EQ(fast, slow);
}

TEST(WavOut, ALoopContinuesInsideTheBlockAndNeverFinishes) {
  const WaveFormatEx f = pcm_format(2, 44100, 16);
  std::vector<std::uint8_t> bytes;
  for (int i = 0; i < 1000 * 2; ++i) {
    bytes.push_back(static_cast<std::uint8_t>(i / 2));
    bytes.push_back(static_cast<std::uint8_t>((i / 2) >> 8));
  }
  Mixer m;
  files::TKvMemoryStream s(bytes);
  TWavBuffer* b = m.out.AddBuffer(f, &s);
  b->SetLoop(true);
  b->SetRepeatPosition(100 * 4 + 3);  // aligned down to frame 100
  EXPECT_EQ(b->RepeatPosition(), 400);
  b->Play();
  ASSERT_TRUE(m.out.Mix(m.block.data()));
  int expected = 0;
  for (int i = 0; i < 4410; ++i) {
    ASSERT_EQ(m.samples()[i * 2], expected) << i;
    expected = expected == 999 ? 100 : expected + 1;
  }
  EXPECT_FALSE(b->Finished());

  // A loop exactly one block long: the fill ends on the stream's end, and
  // the sound must not stop there.
  Mixer n;
  std::vector<std::uint8_t> one_block(17640, 0x10);
  files::TKvMemoryStream t(one_block);
  TWavBuffer* c = n.out.AddBuffer(f, &t);
  c->SetLoop(true);
  c->Play();
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(n.out.Mix(n.block.data()));
    EXPECT_EQ(n.samples()[8819], 0x1010);
    EXPECT_FALSE(c->Finished());
  }
  // A repeat position past the end counts as 0.
  c->SetRepeatPosition(1 << 30);
  ASSERT_TRUE(n.out.Mix(n.block.data()));
  EXPECT_EQ(c->ReadPosition(), 17640);
}

TEST(WavOut, AZeroByteReadEndsTheSoundEvenWhenItLoops) {
  const WaveFormatEx f = pcm_format(2, 44100, 16);
  Mixer m;
  ShortStream s(std::vector<std::uint8_t>(400, 1), 4000);
  TWavBuffer* b = m.out.AddBuffer(f, &s);
  b->SetLoop(true);
  b->Play();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(m.out.Mix(m.block.data()));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(b->Finished());
  EXPECT_EQ(m.samples()[199], 0x0101);
  EXPECT_EQ(m.samples()[200], 0);
  // Finished buffers mix nothing more; an unstarted one never mixes.
  EXPECT_FALSE(m.out.Mix(m.block.data()));
  files::TKvMemoryStream other(std::vector<std::uint8_t>(17640, 0x22));
  TWavBuffer* idle = m.out.AddBuffer(f, &other);
  EXPECT_FALSE(m.out.Mix(m.block.data()));
  EXPECT_EQ(m.samples()[0], 0);
  EXPECT_EQ(idle->ReadPosition(), 0);
  // A format outside the table stays silent: 48 kHz.
  files::TKvMemoryStream fast(std::vector<std::uint8_t>(17640, 0x22));
  m.out.AddBuffer(pcm_format(2, 48000, 16), &fast)->Play();
  EXPECT_FALSE(m.out.Mix(m.block.data()));
}

TEST(WavOut, PositionEstimateAndDrainFollowTheClock) {
  const WaveFormatEx f = pcm_format(2, 44100, 16);
  Mixer m;
  files::TKvMemoryStream s(std::vector<std::uint8_t>(17640 * 2 + 400, 0));
  TWavBuffer* b = m.out.AddBuffer(f, &s);
  b->Play();
  m.platform.advance_ms(1000);
  m.out.Mix(m.block.data());
  // Right after a fill: one block behind what was read.
  EXPECT_EQ(b->GetPosition(), 0);
  m.out.Mix(m.block.data());
  EXPECT_EQ(b->ReadPosition(), 35280);
  EXPECT_EQ(b->GetPosition(), 17640);
  m.platform.advance_ms(50);
  EXPECT_EQ(b->GetPosition(), 17640 + 8820);
  m.platform.advance_ms(151);
  EXPECT_EQ(b->GetPosition(), 35280);
  m.out.Mix(m.block.data());
  EXPECT_TRUE(b->Finished());
  EXPECT_EQ(b->GetPosition(), 400 + 35280 - 17640);
  m.platform.advance_ms(210);
  EXPECT_FALSE(b->Drained());
  m.platform.advance_ms(1);
  EXPECT_TRUE(b->Drained());
  EXPECT_EQ(b->GetPosition(), 35680);
}

TEST(WavOut, TheTimerPumpsAtAQuarterDelayAndKeepsTwoBlocksQueued) {
  platform::HeadlessPlatform p;
  TWavOut out(p, 500);
  EXPECT_EQ(out.BlockSize(), 88200);
  files::TKvMemoryStream s(std::vector<std::uint8_t>(88200 * 10, 0x01));
  TWavBuffer* b = out.AddBuffer(pcm_format(2, 44100, 16), &s);
  ASSERT_TRUE(out.OpenDevice());
  EXPECT_FALSE(out.OpenDevice());
  EXPECT_GE(out.PoolSize(), 4);
  b->Play();
  p.advance_ms(124);
  EXPECT_EQ(b->ReadPosition(), 0);
  p.advance_ms(1);
  EXPECT_EQ(b->ReadPosition(), 2 * 88200);
  EXPECT_EQ(out.QueuedBlocks(), 2);
  // The device plays one block in 500 ms: the next pump after that refills.
  p.advance_ms(500);
  EXPECT_EQ(b->ReadPosition(), 3 * 88200);
  EXPECT_EQ(out.QueuedBlocks(), 2);
  const auto start = std::chrono::steady_clock::now();
  out.CloseDevice();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(out.BufferCount(), 0);
  EXPECT_EQ(out.QueuedBlocks(), 0);
  EXPECT_FALSE(out.DeviceOpen());
}

}  // namespace
}  // namespace nova::media
