// The SDL backend's sound under SDL's dummy drivers: the first callback
// after Play carries the sound (and how long that takes), a device that
// goes away is replaced with the positions kept, and no device at all
// still lets sounds end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "media/nova_library.h"
#include "media_test_util.h"
#include "platform/sdl/sdl_platform.h"

namespace nova::media {
namespace {

using namespace testing;
using Clock = std::chrono::steady_clock;

std::unique_ptr<platform::Platform> sdl_with_audio(const char* driver) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", driver, 1);
  return platform::create_sdl_platform();
}

TEST(SdlSound, TheFirstCallbackAfterPlayCarriesTheSound) {
  auto p = sdl_with_audio("dummy");
  NovaLibrary library(p->sound());
  ASSERT_FALSE(p->sound().status().null_output);
  files::TKvMemoryStream src(wav16(2, 44100, to_i16(sine(44100, 2, 44100, 1000, 0.5))));
  const std::int32_t h = library.add_voice(&src, false);
  ASSERT_TRUE(test::eventually([&] { return library.callback_count() > 3; }, std::chrono::seconds(5)));
  double worst_ms = 0;
  for (int round = 0; round < 5; ++round) {
    library.novaOggSetPosition(h, 0);
    const std::uint64_t before = library.callback_count();
    const auto t0 = Clock::now();
    library.novaOggPlay(h);
    ASSERT_TRUE(
        test::eventually([&] { return library.voice(h)->first_heard_callback() != 0; }, std::chrono::seconds(5)));
    const auto waited = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    worst_ms = std::max(worst_ms, waited);
    EXPECT_LE(library.voice(h)->first_heard_callback(), before + 1);
    library.novaOggPause(h);
  }
  // Until the callback that takes it, plus the 1024 frames of the device
  // buffer that callback fills.
  std::printf("[latency] Play to the callback carrying it, worst of 5: %.1f ms; with the device buffer: %.1f ms\n",
              worst_ms, worst_ms + 1024 * 1000.0 / 44100);
  library.novaOggmanDel(h);
}

TEST(SdlSound, ALostDeviceIsReplacedAndSoundsKeepTheirPositions) {
  auto p = sdl_with_audio("dummy");
  NovaLibrary library(p->sound());
  files::TKvMemoryStream src(wav16(2, 44100, to_i16(sine(44100 * 3, 2, 44100, 1000, 0.5))));
  const std::int32_t h = library.add_voice(&src, false);
  library.novaOggPlay(h);
  ASSERT_TRUE(test::eventually([&] { return library.novaOggGetPosition(h) > 100; }, std::chrono::seconds(5)));
  const platform::SoundStatus before = p->sound().status();
  ASSERT_NE(before.device_id, 0u);
  platform::push_sound_device_removed(before.device_id);
  platform::Event e;
  while (p->poll_event(e)) {
  }
  const platform::SoundStatus after = p->sound().status();
  EXPECT_EQ(after.device_changes, 1);
  EXPECT_TRUE(after.device_id != 0 || after.null_output);
  const std::int32_t at = library.novaOggGetPosition(h);
  EXPECT_GE(at, 100);
  ASSERT_TRUE(test::eventually([&] { return library.novaOggGetPosition(h) > at + 100; }, std::chrono::seconds(5)));
  library.novaOggmanDel(h);
}

TEST(SdlSound, WithoutADeviceSoundsStillEnd) {
  auto p = sdl_with_audio("no-such-driver");
  NovaLibrary library(p->sound());
  EXPECT_TRUE(p->sound().status().null_output);
  files::TKvMemoryStream src(wav16(2, 44100, to_i16(sine(13230, 2, 44100, 1000, 0.5))));
  const std::int32_t h = library.add_voice(&src, false);
  const auto start = Clock::now();
  library.novaOggPlay(h);
  ASSERT_TRUE(test::eventually([&] { return library.novaOggIsEnd(h); }, std::chrono::seconds(5)));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  library.novaOggmanDel(h);
}

}  // namespace
}  // namespace nova::media
