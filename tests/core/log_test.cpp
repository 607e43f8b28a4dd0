#include "core/log.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace nova::core {
namespace {

struct Captured {
  Channel channel;
  Level level;
  std::string message;
};

TEST(Logging, ChannelsFilterByLevelAndReachSinks) {
  set_stderr_logging(false);
  std::vector<Captured> got;
  {
    LogSink sink([&](Channel c, Level l, std::string_view m) { got.push_back({c, l, std::string(m)}); });
    set_log_level_all(Level::Warning);
    log(Channel::Files, Level::Info, "hidden");
    log(Channel::Files, Level::Warning, "shown");
    set_log_level(Channel::Script, Level::Trace);
    logf(Channel::Script, Level::Trace, "%s:%d", {"page", 12});
    EXPECT_FALSE(log_enabled(Channel::Files, Level::Debug));
    EXPECT_TRUE(log_enabled(Channel::Script, Level::Debug));
  }
  log(Channel::Files, Level::Error, "after the sink is gone");
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].message, "shown");
  EXPECT_EQ(got[1].channel, Channel::Script);
  EXPECT_EQ(got[1].message, "page:12");
  set_log_level_all(Level::Warning);
  set_stderr_logging(true);
}

TEST(Logging, SettingsTextIsParsedOrRefusedWhole) {
  EXPECT_TRUE(configure_log_levels("script=trace,files=debug"));
  EXPECT_TRUE(log_enabled(Channel::Script, Level::Trace));
  EXPECT_TRUE(log_enabled(Channel::Files, Level::Debug));
  EXPECT_FALSE(log_enabled(Channel::Graphics, Level::Info));
  EXPECT_FALSE(configure_log_levels("script=loud"));
  EXPECT_FALSE(configure_log_levels("nochannel=debug,files=error"));
  EXPECT_TRUE(log_enabled(Channel::Files, Level::Debug));  // unchanged by the refused text
  EXPECT_TRUE(configure_log_levels("warning"));
  EXPECT_FALSE(log_enabled(Channel::Script, Level::Info));
}

TEST(Logging, ManyThreadsLogWithoutLosingLines) {
  set_stderr_logging(false);
  std::atomic<int> count{0};
  LogSink sink([&](Channel, Level, std::string_view) { ++count; });
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 250; ++i) log(Channel::Media, Level::Error, "x");
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(count.load(), 1000);
  set_stderr_logging(true);
}

}  // namespace
}  // namespace nova::core
