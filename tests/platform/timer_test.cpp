// Periodic timers: under the virtual clock they run as advance_ms passes
// their due times, with the sound pulled up to each due time first.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/headless/headless_platform.h"

namespace nova::platform {
namespace {

TEST(HeadlessTimers, RunAtEachDueTimeAfterTheSoundWasPulledUpToIt) {
  HeadlessOptions o;
  o.echo_message_boxes = false;
  HeadlessPlatform p(o);
  std::uint64_t frames = 0;
  auto stream = p.sound().open_stream({44100, 2}, [&](std::span<std::int16_t> out) { frames += out.size() / 2; });
  EXPECT_FALSE(p.sound().realtime());
  std::vector<std::pair<std::uint32_t, std::uint64_t>> runs;
  auto timer = p.create_timer(25, [&] { runs.emplace_back(p.clock().ticks_ms(), frames); });
  std::vector<std::uint32_t> other;
  std::unique_ptr<PeriodicTimer> second;
  second = p.create_timer(40, [&] {
    other.push_back(p.clock().ticks_ms());
    if (other.size() == 2) second->stop();  // from its own callback
  });
  p.advance_ms(60);
  p.advance_ms(60);
  ASSERT_EQ(runs.size(), 4u);
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const std::uint32_t due = static_cast<std::uint32_t>(25 * (i + 1));
    EXPECT_EQ(runs[i].first, due);
    EXPECT_EQ(runs[i].second, std::uint64_t{due} * 44100 / 1000);
  }
  EXPECT_EQ(other, (std::vector<std::uint32_t>{40, 80}));
  EXPECT_EQ(p.clock().ticks_ms(), 120u);
  EXPECT_EQ(frames, 120u * 441 / 10);
  timer->stop();
  p.advance_ms(100);
  EXPECT_EQ(runs.size(), 4u);
}

}  // namespace
}  // namespace nova::platform
