// The media library's voices, pulled by hand: what the output hears, when,
// and where a sound is.
#include <gtest/gtest.h>

#include "core/error.h"
#include "media/nova_library.h"
#include "media_test_util.h"

namespace nova::media {
namespace {

using namespace testing;

// Stereo frames whose left sample counts up from 1 and right counts down,
// so every frame says where it came from.
std::vector<std::int32_t> counting(int frames) {
  std::vector<std::int32_t> s;
  for (int i = 0; i < frames; ++i) {
    s.push_back(i % 30000 + 1);
    s.push_back(-(i % 30000) - 1);
  }
  return s;
}

struct Library {
  ManualOutput output;
  NovaLibrary library{output};
  std::vector<std::unique_ptr<files::TKvMemoryStream>> sources;
  std::int32_t add(const std::vector<std::uint8_t>& bytes, bool is_ogg = false) {
    sources.push_back(std::make_unique<files::TKvMemoryStream>(bytes));
    return library.add_voice(sources.back().get(), is_ogg);
  }
};

TEST(Voices, FirstCallbackAfterPlayCarriesTheSoundAndPositionIsWhatWasHeard) {
  Library lib;
  const auto h = lib.add(wav16(2, 44100, counting(1000)));
  Voice& v = *lib.library.voice(h);
  EXPECT_EQ(v.length_ms(), 22);
  EXPECT_FALSE(v.is_playing());
  EXPECT_EQ(lib.output.pull(256)[0], 0) << "nothing before play";
  v.play();
  EXPECT_TRUE(v.is_playing());
  auto out = lib.output.pull(400);
  EXPECT_EQ(v.first_heard_callback(), lib.library.callback_count());
  for (int i = 0; i < 400; ++i) {
    ASSERT_EQ(out[static_cast<std::size_t>(i) * 2], i + 1);
    ASSERT_EQ(out[static_cast<std::size_t>(i) * 2 + 1], -i - 1);
  }
  EXPECT_EQ(v.position_frames(), 400);
  v.pause();
  EXPECT_TRUE(v.is_paused());
  EXPECT_FALSE(v.is_playing());
  EXPECT_EQ(lib.output.pull(300)[0], 0);
  EXPECT_EQ(v.position_frames(), 400);
  v.play();
  out = lib.output.pull(1024);
  EXPECT_EQ(out[0], 401);
  // The end is the last frame heard; silence follows.
  EXPECT_EQ(out[599 * 2], 1000);
  EXPECT_EQ(out[600 * 2], 0);
  EXPECT_TRUE(v.is_end());
  EXPECT_FALSE(v.is_playing());
  EXPECT_EQ(v.position_frames(), 1000);
  // Play after the end starts again from the beginning.
  v.play();
  EXPECT_FALSE(v.is_end());
  EXPECT_EQ(lib.output.pull(10)[0], 1);
}

TEST(Voices, SeeksAreSampleAccurateAndRepeatIsSeamless) {
  Library lib;
  const auto h = lib.add(wav16(2, 44100, counting(1000)));
  Voice& v = *lib.library.voice(h);
  v.set_repeat(true);
  v.set_repeat_pos_ms(5);  // frame 220
  v.set_position_ms(10);   // frame 441
  v.play();
  const auto out = lib.output.pull_many(3000, 333);
  std::int32_t expected = 442;
  for (std::size_t i = 0; i < 3000; ++i) {
    ASSERT_EQ(out[i * 2], expected) << i;
    expected = expected == 1000 ? 221 : expected + 1;
  }
  EXPECT_FALSE(v.is_end());
  // A repeat position at or past the length counts as 0.
  v.set_repeat_pos_ms(5000);
  v.set_position_ms(22);  // frame 970
  auto again = lib.output.pull(100);
  EXPECT_EQ(again[29 * 2], 1000);
  EXPECT_EQ(again[30 * 2], 1);
}

TEST(Voices, RepeatSwitchedOnAfterTheEndWasDecodedStillLoops) {
  // 300 frames: shorter than what Add decodes at once, so the end is in the
  // ring before the sound repeats.
  Library lib;
  const auto h = lib.add(wav16(2, 44100, counting(300)));
  Voice& v = *lib.library.voice(h);
  v.set_repeat(true);
  v.play();
  const auto out = lib.output.pull(1024);
  for (std::size_t i = 0; i < 1024; ++i) ASSERT_EQ(out[i * 2], static_cast<std::int32_t>(i % 300) + 1) << i;
  EXPECT_FALSE(v.is_end());
}

TEST(Voices, AnOggLoopHasNoStep) {
  // 0.5 s of a 1 kHz sine is a whole number of periods: the loop joins it
  // without a jump.
  Library lib;
  const auto h = lib.add(writers::write_vorbis(2, 44100, sine(22050, 2, 44100, 1000, 0.5), 0.8f), true);
  Voice& v = *lib.library.voice(h);
  v.set_repeat(true);
  v.play();
  const auto out = lib.output.pull_many(44100 * 2);
  const auto left = channel(out, 0);
  // A 1 kHz sine at half scale steps at most 2π·1000/44100·16384 ≈ 2334.
  EXPECT_LT(largest_step(left), 2700);
  EXPECT_NEAR(frequency(left, 44100), 1000, 2);
  EXPECT_FALSE(v.is_end());
}

TEST(Voices, VolumeAndPanFollowTheDecibelRuleAndGlideOverOneCallback) {
  Library lib;
  std::vector<std::int32_t> flat(2 * 44100, 20000);
  const auto h = lib.add(wav16(2, 44100, flat));
  Voice& v = *lib.library.voice(h);
  v.play();
  EXPECT_EQ(lib.output.pull(512)[0], 20000);
  v.set_volume(-2000);  // a tenth
  auto glide = lib.output.pull(512);
  EXPECT_GT(glide[0], 19000);
  EXPECT_NEAR(glide[511 * 2], 2000, 2);
  EXPECT_NEAR(lib.output.pull(64)[0], 2000, 2);
  v.set_volume(0);
  v.set_pan(2000);  // left down by 20 dB
  lib.output.pull(512);
  auto panned = lib.output.pull(64);
  EXPECT_NEAR(panned[0], 2000, 2);
  EXPECT_EQ(panned[1], 20000);
  v.set_pan(-10000);
  lib.output.pull(512);
  panned = lib.output.pull(64);
  EXPECT_EQ(panned[0], 20000);
  EXPECT_EQ(panned[1], 0);
  // Above 0 does not amplify; -10000 is silence.
  v.set_pan(0);
  v.set_volume(600);
  EXPECT_EQ(v.volume(), 0);
  lib.output.pull(512);
  EXPECT_EQ(lib.output.pull(64)[0], 20000);
  v.set_volume(-10000);
  lib.output.pull(512);
  EXPECT_EQ(lib.output.pull(64)[0], 0);
}

TEST(Voices, ABrokenFileIsEndedWithLengthZeroAndTheCountsReturnToZero) {
  Library lib;
  const auto bad = lib.add(std::vector<std::uint8_t>(500, 0x41));
  Voice& v = *lib.library.voice(bad);
  EXPECT_EQ(v.length_ms(), 0);
  v.play();
  EXPECT_FALSE(v.is_playing());
  EXPECT_TRUE(v.is_end());
  EXPECT_EQ(lib.library.novaOggIsEnd(bad), true);
  const auto good = lib.add(wav16(2, 44100, counting(44100)));
  lib.library.novaOggPlay(good);
  lib.output.pull(1024);
  EXPECT_EQ(lib.library.voice_count(), 2);
  lib.library.novaOggmanDel(good);
  lib.library.novaWmpmanDel(bad);
  EXPECT_EQ(lib.library.voice_count(), 0);
  EXPECT_EQ(lib.output.pull(64)[0], 0);
  // Unknown handles answer nothing.
  EXPECT_FALSE(lib.library.novaOggIsPlaying(good));
  EXPECT_EQ(lib.library.novaOggGetLen(good), 0);
}

TEST(Voices, TwoVoicesAddAndClip) {
  Library lib;
  const auto a = lib.add(wav16(2, 44100, std::vector<std::int32_t>(2000, 30000)));
  const auto b = lib.add(wav16(1, 22050, std::vector<std::int32_t>(500, 10000)));
  lib.library.novaOggPlay(a);
  lib.library.novaOggPlay(b);
  auto out = lib.output.pull(1000);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[999 * 2 + 1], 32767);
  // The 22050 Hz mono sound lasts 1000 output frames.
  EXPECT_TRUE(lib.library.novaOggIsEnd(b));
  EXPECT_EQ(lib.library.novaOggGetPosition(b), 22);
  EXPECT_EQ(lib.library.voice(b)->position_frames(), 500);
}

}  // namespace
}  // namespace nova::media
