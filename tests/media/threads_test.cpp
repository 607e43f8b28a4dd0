// The media library and the wave mixer with real threads: a null output
// pulling on its own thread, the library's streaming thread, and a frame
// driver advancing the clock (and so the mixer's pump) beside the main
// thread. Run under ThreadSanitizer in CI (label "threads").
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "media/media_managers.h"
#include "media/nova_library.h"
#include "media_test_util.h"
#include "platform/headless/headless_platform.h"
#include "platform/timer.h"

namespace nova::media {
namespace {

using namespace testing;
using Clock = std::chrono::steady_clock;

TEST(Threads, VoicesMadePlayedSoughtAndFreedWhilePlaying) {
  auto output = platform::create_null_sound_output();
  NovaLibrary library(*output);
  const auto bytes = wav16(2, 44100, to_i16(sine(4410, 2, 44100, 700, 0.3)));
  std::vector<std::pair<std::int32_t, std::unique_ptr<files::TKvMemoryStream>>> alive;
  std::uint32_t seed = 7;
  for (int i = 0; i < 1000; ++i) {
    auto src = std::make_unique<files::TKvMemoryStream>(bytes);
    const std::int32_t h = library.add_voice(src.get(), false);
    library.novaOggSetAutoRepeat(h, i % 3 == 0);
    library.novaOggPlay(h);
    alive.emplace_back(h, std::move(src));
    seed = seed * 1664525 + 1013904223;
    const auto& pick = alive[seed % alive.size()];
    library.novaOggSetPosition(pick.first, static_cast<std::int32_t>(seed >> 24) % 100);
    library.novaOggSetVol(pick.first, -static_cast<std::int32_t>(seed % 3000));
    if (alive.size() > 8) {
      library.novaOggmanDel(alive.front().first);
      alive.erase(alive.begin());
    }
    if (i % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  for (auto& a : alive) library.novaOggmanDel(a.first);
  EXPECT_EQ(library.voice_count(), 0);
}

TEST(Threads, WithoutADeviceA300msSoundEndsWithinFiveSeconds) {
  auto output = platform::create_null_sound_output();
  EXPECT_TRUE(output->status().null_output);
  NovaLibrary library(*output);
  files::TKvMemoryStream src(wav16(2, 44100, to_i16(sine(13230, 2, 44100, 1000, 0.5))));
  const std::int32_t h = library.add_voice(&src, false);
  const auto start = Clock::now();
  library.novaOggPlay(h);
  ASSERT_TRUE(test::eventually([&] { return library.novaOggIsEnd(h); }, std::chrono::seconds(5)));
  const auto took = Clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(250));
  EXPECT_EQ(library.novaOggGetPosition(h), 300);
  library.novaOggmanDel(h);
}

TEST(Threads, ItemsOnBothPathsComeAndGoWhileTheClockRuns) {
  platform::HeadlessOptions o;
  o.echo_message_boxes = false;
  platform::HeadlessPlatform p(o);
  auto output = platform::create_null_sound_output();
  NovaLibrary library(*output);
  TitleFolder title;
  title.put("se.wav", wav16(2, 22050, to_i16(sine(2205, 2, 22050, 700, 0.3))));
  title.put("se.ogg", writers::write_vorbis(1, 44100, sine(4410, 1, 44100, 700, 0.3)));
  TOggManager direct(library, title.files(), p, {true, 100});
  TOggManager mixed(library, title.files(), p, {false, 100});
  std::atomic<bool> stop{false};
  std::thread driver([&] {
    while (!stop.load()) {
      p.advance_ms(15);
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 1000; ++i) {
    TOggManager& m = i % 2 ? mixed : direct;
    TDMediaItem* item = m.Add(i % 4 < 2 ? "se.wav" : "se.ogg");
    item->SetRepeat(i % 5 == 0);
    item->Play();
    item->SetPosition(i % 50);
    item->SetVolume(-(i % 4000));
    if (i % 7 == 0) item->Pause();
    (void)item->IsEnd();
    (void)item->GetPosition();
    if (m.Count() > 6) m.Remove(m.Items(0));
  }
  direct.Clear();
  mixed.Clear();
  stop.store(true);
  driver.join();
  EXPECT_EQ(library.voice_count(), 0);
  EXPECT_EQ(library.decoder_stream_count(), 0);
  EXPECT_EQ(mixed.Mixer().BufferCount(), 0);
}

TEST(Threads, AThreadTimerRunsAndStopsWithinItsBound) {
  std::atomic<int> runs{0};
  auto timer = platform::start_thread_timer(5, [&] { ++runs; });
  ASSERT_TRUE(test::eventually([&] { return runs.load() >= 5; }, std::chrono::seconds(5)));
  const auto start = Clock::now();
  timer->stop();
  const int after = runs.load();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(runs.load(), after);
}

}  // namespace
}  // namespace nova::media
