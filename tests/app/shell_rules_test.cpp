#include <gtest/gtest.h>

#include <array>
#include <clocale>

#include "app/command_line.h"
#include "app/game_ini.h"
#include "app/lock_name.h"
#include "app/loop_thread.h"
#include "platform/headless/headless_platform.h"
#include "support/test_support.h"

namespace nova::app {
namespace {

TEST(LockName, FollowsTheRuleOnHostPaths) {
  EXPECT_EQ(instance_lock_name("/games/title/"), "-GAMES-TITLE-");
  EXPECT_EQ(instance_lock_name("/games/title"), "-GAMES-TITLE-");
  EXPECT_EQ(instance_lock_name("/Games/TITLE/"), instance_lock_name("/games/title"));
  EXPECT_EQ(instance_lock_name("/config"), "-CONFIG-");
  EXPECT_EQ(instance_lock_name("/CONFIG"), instance_lock_name("/config"));
  EXPECT_EQ(instance_lock_name("data"), "DATA-");
  EXPECT_EQ(instance_lock_name(""), "-");
  // Only "/" is a delimiter; other characters stay.
  EXPECT_EQ(instance_lock_name("/a:b\\c d/"), "-A:B\\C D-");
}

TEST(LockName, UpperCasesInTheUsersLocale) {
  const char* old = std::setlocale(LC_CTYPE, nullptr);
  std::string saved = old ? old : "C";
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
  EXPECT_EQ(instance_lock_name("/jeux/été/"), "-JEUX-ÉTÉ-");
  // Japanese has no case; malformed bytes are kept as they are.
  EXPECT_EQ(instance_lock_name("/ゲーム/x"), "-ゲーム-X-");
  EXPECT_EQ(instance_lock_name("/bad\xFF/"), "-BAD\xFF-");
  std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(GameIni, DefaultsRoundingAndClamping) {
  test::TempDir dir;
  GameSettings d = read_game_settings(dir / "game.ini");
  EXPECT_TRUE(d.direct_sound);
  EXPECT_EQ(d.delay_time, 500);
  EXPECT_FALSE(d.use_wmp);
  auto delay_for = [&](const std::string& value) {
    test::write_file(dir / "game.ini", "[Sound]\r\nDelayTime=" + value + "\r\n");
    return read_game_settings(dir / "game.ini").delay_time;
  };
  EXPECT_EQ(delay_for("1234"), 500);
  EXPECT_EQ(delay_for("50"), 100);
  EXPECT_EQ(delay_for("-150"), 100);
  EXPECT_EQ(delay_for("250"), 200);
  EXPECT_EQ(delay_for("399"), 300);
  EXPECT_EQ(delay_for("junk"), 500);
  test::write_file(dir / "game.ini", "[Sound]\nDirectSound=0\n[Video]\nUseWMP=1\n");
  GameSettings s = read_game_settings(dir / "game.ini");
  EXPECT_FALSE(s.direct_sound);
  EXPECT_TRUE(s.use_wmp);
}

TEST(GameIni, BesideAWritableInstallElseInTheUsersFolder) {
  test::TempDir dir;
  std::filesystem::create_directories(dir / "games" / "title");
  platform::SystemOverrides o;
  o.user_config_folder = dir / "config";
  const std::filesystem::path exe = dir / "games" / "title";
  const GameIniPlaces writable = game_ini_places(exe, *platform::make_system(o));
  EXPECT_EQ(writable.write, exe / "game.ini");
  EXPECT_EQ(writable.read, exe / "game.ini");
  // The per-user folder is named after the executable's folder as the
  // instance lock is.
  EXPECT_EQ(writable.per_user, dir / "config" / instance_lock_name(exe.string() + "/") / "game.ini");
  o.read_only_folders = {exe};
  const GameIniPlaces read_only = game_ini_places(exe, *platform::make_system(o));
  EXPECT_EQ(read_only.write, read_only.per_user);
  EXPECT_EQ(read_only.read, exe / "game.ini") << "nothing written per user yet";
  test::write_file(read_only.per_user, "[Sound]\r\nDelayTime=200\r\n");
  const GameIniPlaces both = game_ini_places(exe, *platform::make_system(o));
  EXPECT_EQ(both.read, both.per_user);
  EXPECT_EQ(read_game_settings(both.read).delay_time, 200);
  // Once a per-user copy exists, the dialog writes it even when the
  // install takes files again, since it is the one the player reads.
  o.read_only_folders.clear();
  EXPECT_EQ(game_ini_places(exe, *platform::make_system(o)).write, both.per_user);
}

TEST(LoopThread, StallRuleAndWaits) {
  platform::HeadlessPlatform p;
  core::FrameClock clock;
  int ticks = 0;
  TLoopThread loop(clock, p.clock(), [](const TLoopThread::Tick& t) {
    t();
    return true;
  });
  loop.set_tick([&] { ++ticks; });
  loop.reset_previous(1000);
  // 299 ms is a (long) tick and counts.
  EXPECT_EQ(loop.step(1299), 15 - 299);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(clock.GameClockMs.load(), 299);
  EXPECT_EQ(clock.FrameDeltaMs.load(), 299);
  EXPECT_EQ(clock.LastTickMs.load(), 1299u);
  // 300 ms is a stall: no tick, no time.
  EXPECT_EQ(loop.step(1599), 1);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(clock.GameClockMs.load(), 299);
  EXPECT_EQ(clock.FrameDeltaMs.load(), 299);
  // An ordinary 15 ms frame, then one across the timer's wrap at 2^32.
  EXPECT_EQ(loop.step(1614), 0);
  EXPECT_EQ(clock.GameClockMs.load(), 314);
  loop.reset_previous(0xFFFFFFF8u);
  EXPECT_EQ(loop.step(7), 0);
  EXPECT_EQ(clock.FrameDeltaMs.load(), 15);
  EXPECT_EQ(ticks, 3);
}

TEST(LoopThread, RealThreadTicksAndStopsWhileATickIsPosted) {
  platform::HeadlessPlatform p;
  core::FrameClock clock;
  std::atomic<int> ticks{0};
  // Ticks reach the "main thread" through post_and_wait; stop() must not
  // deadlock on one that is waiting.
  TLoopThread loop(
      clock, p.clock(), [&](const TLoopThread::Tick& t) { return p.post_and_wait(t); }, [&] { p.run_posted_tasks(); });
  loop.set_tick([&] { ++ticks; });
  loop.start();
  for (int i = 0; i < 200 && ticks.load() < 3; ++i) {
    p.advance_ms(15);
    p.run_posted_tasks();
    platform::sleep_ms(5);
  }
  EXPECT_GE(ticks.load(), 3);
  loop.suspend();
  loop.stop();
}

TEST(CommandLine, OptionsThenData) {
  const char* argv[] = {
      "novaplayer", "--headless", "--max-ticks", "50",     "--screenshot", "10:a.png", "--screenshot",
      "20:b.png",   "--answer",   "no",          "--seed", "42",           "--modes",  "640x480x32@60,800x600x16",
      "/data/one",  "--headless", "two.dat"};
  auto r = parse_command_line(17, argv);
  ASSERT_TRUE(r.options) << r.message;
  const PlayerOptions& o = *r.options;
  EXPECT_TRUE(o.headless);
  EXPECT_EQ(o.max_ticks, std::optional<std::int64_t>(50));
  ASSERT_EQ(o.screenshots.size(), 2u);
  EXPECT_EQ(o.screenshots[1].tick, 20);
  EXPECT_EQ(o.screenshots[1].file, "b.png");
  EXPECT_FALSE(o.answer_yes);
  EXPECT_EQ(o.seed, std::optional<std::uint32_t>(42));
  ASSERT_EQ(o.modes.size(), 2u);
  EXPECT_EQ(o.modes[1], (platform::DisplayMode{800, 600, 16, 60}));
  // Everything from the first data argument on is data, even option-like text.
  EXPECT_EQ(o.data, (std::vector<std::string>{"/data/one", "--headless", "two.dat"}));

  // CD folders, repeatable, each a drive in order.
  const char* cd[] = {"novaplayer", "--cd-folder", "/cd/one", "--headless", "--cd-folder", "/cd/two", "/title"};
  auto with_cd = parse_command_line(7, cd);
  ASSERT_TRUE(with_cd.options) << with_cd.message;
  EXPECT_EQ(with_cd.options->cd_folders, (std::vector<std::filesystem::path>{"/cd/one", "/cd/two"}));
  EXPECT_EQ(with_cd.options->data, (std::vector<std::string>{"/title"}));

  const char* dialogs[] = {"novaplayer", "--dialog", "cancel", "--dialog", "/home/u/picked file.txt", "t"};
  auto dr = parse_command_line(6, dialogs);
  ASSERT_TRUE(dr.options) << dr.message;
  EXPECT_EQ(dr.options->dialog_answers, (std::vector<std::string>{"cancel", "/home/u/picked file.txt"}));

  const char* config[] = {"novaplayer", "/CONFIG"};
  EXPECT_EQ(parse_command_line(2, config).options->data.front(), "/CONFIG");
  const char* dashdash[] = {"novaplayer", "--", "--odd-folder"};
  EXPECT_EQ(parse_command_line(3, dashdash).options->data.front(), "--odd-folder");
  for (std::vector<const char*> bad : {std::vector<const char*>{"p", "--nope"},
                                       {"p", "--max-ticks", "-1"},
                                       {"p", "--screenshot", "x.png"},
                                       {"p", "--modes", "640x480"},
                                       {"p", "--modes", "640x480x12"},
                                       {"p", "--answer", "maybe"},
                                       {"p", "--date", "2024-02-30 10:00:00"},
                                       {"p", "--date", "2024-03-10T10:00:00"},
                                       {"p", "--date", "2024-03-10 24:00:00"}}) {
    auto e = parse_command_line(static_cast<int>(bad.size()), bad.data());
    EXPECT_FALSE(e.options) << bad[1];
    EXPECT_FALSE(e.message.empty());
  }
  const char* dated[] = {"novaplayer", "--date", "2024-02-29 23:59:59.950", "t"};
  auto d = parse_command_line(4, dated);
  ASSERT_TRUE(d.options && d.options->date) << d.message;
  EXPECT_EQ(d.options->date->day, 29);
  EXPECT_EQ(d.options->date->millisecond, 950);
  EXPECT_EQ(d.options->date->day_of_week, 4) << "a Thursday";
  // The calendar goes on with the timer, across days, months and years.
  const platform::DateTime later = platform::calendar_after(*d.options->date, 60);
  EXPECT_EQ((std::array<int, 5>{later.year, later.month, later.day, later.day_of_week, later.millisecond}),
            (std::array<int, 5>{2024, 3, 1, 5, 10}));
  const platform::DateTime year_end{1999, 12, 31, 0, 23, 59, 59, 999};
  const platform::DateTime y2k = platform::calendar_after(year_end, 1);
  EXPECT_EQ((std::array<int, 4>{y2k.year, y2k.month, y2k.day, y2k.day_of_week}), (std::array<int, 4>{2000, 1, 1, 6}));
  const platform::DateTime before = platform::calendar_after(y2k, -86'400'001);
  EXPECT_EQ((std::array<int, 3>{before.day, before.hour, before.millisecond}), (std::array<int, 3>{30, 23, 999}));
  const char* help[] = {"novaplayer", "--help"};
  auto h = parse_command_line(2, help);
  ASSERT_TRUE(h.options);
  EXPECT_TRUE(h.options->show_help);
  EXPECT_NE(h.message.find("--max-ticks"), std::string::npos);
}

}  // namespace
}  // namespace nova::app
