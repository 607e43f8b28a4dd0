// The player's window around an unmodified title: the picture scaled into
// the window and the screen, clicks reaching the panel pixel they land on,
// the player's keys and its settings file.
#include <gtest/gtest.h>

#include <random>

#include "app/form_view.h"
#include "app/player_settings.h"
#include "fakes.h"
#include "platform/headless/headless_platform.h"
#include "platform/keys.h"
#include "platform/png_writer.h"
#include "support/test_support.h"

namespace nova::app {
namespace {

namespace fs = std::filesystem;
using testing::FakeFactory;

struct Player {
  explicit Player(platform::HeadlessOptions o) : platform(std::move(o)), ctx(platform, {}, dir.path()) {
    ctx.options.headless = true;
  }
  static platform::HeadlessOptions quiet(const fs::path& home) {
    platform::HeadlessOptions o;
    o.echo_message_boxes = false;
    o.system.user_config_folder = home / "config";
    o.system.pictures_folder = home / "Pictures";
    return o;
  }
  test::TempDir dir;
  platform::HeadlessPlatform platform;
  PlayerContext ctx;
  FakeFactory factory;
};

// The title's composed screen, as the screen manager would present it.
std::vector<std::uint32_t> compose(TFormView& view, std::uint32_t seed) {
  const platform::Rect panel = view.panel();
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(panel.width()) * panel.height());
  std::mt19937 rng(seed);
  for (auto& p : pixels) p = rng() & 0xFFFFFF;
  const platform::PixelView v{reinterpret_cast<const std::uint8_t*>(pixels.data()), panel.width(), panel.height(),
                              panel.width() * 4, platform::PixelFormat::Xrgb32};
  view.window()->draw_pixels(v, {0, 0, panel.width(), panel.height()}, panel);
  view.window()->present(std::span<const platform::Rect>(&panel, 1));
  return pixels;
}

std::uint32_t shown(const platform::Window& w, int x, int y) {
  const platform::PixelView v = w.shown_pixels();
  std::uint32_t p;
  std::memcpy(&p, v.row(y) + static_cast<std::ptrdiff_t>(x) * 4, 4);
  return p & 0xFFFFFF;
}

TEST(PlayerWindow, IntegerShowsBlocksAndClicksReachThePixelTheyLandOn) {
  test::TempDir home;
  Player p(Player::quiet(home.path()));
  p.ctx.options.player.scale = platform::ScaleMode::Integer;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  platform::Window& w = *view.window();
  // 1920 × 1040 of work area: twice the screen, the strip above it.
  ASSERT_EQ(w.drawable_size(), (platform::Size{1280, 982}));
  const auto pixels = compose(view, 5);
  for (int y = 22; y < 982; y += 7) {
    for (int x = 0; x < 1280; x += 3) {
      ASSERT_EQ(shown(w, x, y), pixels[static_cast<std::size_t>((y - 22) / 2) * 640 + x / 2]) << x << "," << y;
    }
  }
  // The user makes the window wider: the picture stays at twice, centred,
  // with black bars.
  w.set_view_size({1500, 982});
  view.handle_event(platform::Event{platform::EventType::Expose});
  EXPECT_EQ(w.picture_transform().target, platform::Rect::from_size(110, 22, 1280, 960));
  EXPECT_EQ(shown(w, 109, 500), 0u);
  EXPECT_EQ(shown(w, 110, 22), pixels[0]);
  // A click on the window pixel showing panel pixel (333, 201), and one on
  // the bar, which lies outside the panel.
  p.platform.push_pointer({110 + 2 * 333 + 1, 22 + 2 * 201});
  p.platform.push_event(platform::Event{platform::EventType::MouseDown, 0, 0, 0, platform::MouseButton::Left});
  p.platform.push_pointer({50, 400});
  p.platform.push_event(platform::Event{platform::EventType::MouseUp, 0, 0, 0, platform::MouseButton::Left});
  p.platform.push_event(platform::Event{platform::EventType::MouseDown, 0, 0, 0, platform::MouseButton::Left});
  platform::Event e;
  while (p.platform.poll_event(e)) view.handle_event(e);
  auto& log = p.factory.log;
  EXPECT_EQ(log.count("move 333,201"), 1);
  EXPECT_EQ(log.count("press L-"), 1) << "the press on the bar reaches nothing";
  // While pressed, the move onto the bar reaches the title outside its panel.
  EXPECT_EQ(log.count("move " + std::to_string(-30) + ",189"), 1);
  // The script moves the pointer through the forward transform.
  w.set_cursor_position({22 + 7, 22 + 5});
  EXPECT_EQ(w.cursor_position(), (platform::Point{29, 27}));
}

TEST(PlayerWindow, ThePlayersKeysComeFirstAndASwitchedOffOneReachesTheTitle) {
  test::TempDir home;
  Player p(Player::quiet(home.path()));
  p.factory.real_screen = true;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  const platform::WindowPlacement before = view.window()->placement();
  const auto pixels = compose(view, 9);
  auto key = [&](int vk, std::uint32_t mods) {
    platform::Event e{platform::EventType::KeyDown};
    e.key = vk;
    e.modifiers = mods;
    view.handle_event(e);
  };
  key(platform::vk::RETURN, platform::modifier::Alt);
  EXPECT_TRUE(view.full_screen());
  EXPECT_EQ(view.window()->view_size(), (platform::Size{1920, 1080}));
  key((platform::vk::F1 + 10), 0);
  EXPECT_FALSE(view.full_screen());
  EXPECT_EQ(view.window()->placement(), before);
  // Return without Alt is the title's.
  key(platform::vk::RETURN, 0);
  EXPECT_FALSE(view.full_screen());
  EXPECT_EQ(p.factory.log.count("keydown 13"), 1);
  EXPECT_EQ(p.factory.log.count("keydown 122"), 0) << "F11 was the player's";
  // F12: the title's own pixels, in the pictures folder, named after the
  // title and the clock (the headless calendar starts at 2000-01-01).
  compose(view, 9);
  key((platform::vk::F1 + 11), 0);
  const fs::path shot = home / "Pictures" / "NovaPlayer" / "テスト-20000101-000000.png";
  ASSERT_TRUE(fs::exists(shot));
  const platform::PixelView want{reinterpret_cast<const std::uint8_t*>(pixels.data()), 640, 480, 640 * 4,
                                 platform::PixelFormat::Xrgb32};
  ASSERT_TRUE(platform::write_png(home / "want.png", want, {0, 0, 640, 480}));
  EXPECT_EQ(test::read_file(shot), test::read_file(home / "want.png"));
  key((platform::vk::F1 + 11), 0);
  EXPECT_TRUE(fs::exists(home / "Pictures" / "NovaPlayer" / "テスト-20000101-000000-2.png")) << "never overwritten";
  EXPECT_EQ(p.factory.log.count("keydown 123"), 0);

  // player.ini switches the screenshot key off and moves full screen to F2.
  test::TempDir home2;
  test::write_file(home2 / "config" / "player.ini", "[keys]\nscreenshot = none\nfull-screen = F2\n");
  Player q(Player::quiet(home2.path()));
  q.factory.real_screen = true;
  TFormView other(q.ctx, q.factory);
  other.FormCreate();
  platform::Event f12{platform::EventType::KeyDown};
  f12.key = (platform::vk::F1 + 11);
  other.handle_event(f12);
  EXPECT_EQ(q.factory.log.count("keydown 123"), 1) << "the title gets F12";
  EXPECT_FALSE(fs::exists(home2 / "Pictures"));
  platform::Event f11 = f12, f2 = f12;
  f11.key = (platform::vk::F1 + 10);
  f2.key = platform::vk::F1 + 1;
  other.handle_event(f11);
  EXPECT_FALSE(other.full_screen());
  other.handle_event(f2);
  EXPECT_TRUE(other.full_screen());
}

TEST(PlayerWindow, HighDensityDesktopsOpenLargerAndKeepTheStripsHeight) {
  test::TempDir home;
  platform::HeadlessOptions o = Player::quiet(home.path());
  o.desktop_scale = 2;
  Player p(o);
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  platform::Window& w = *view.window();
  // 3840 × 2080 real pixels of work area: four times the screen, which is
  // 1280 × 960 points; the strip keeps its 22 points (44 pixels).
  EXPECT_EQ(w.view_size(), (platform::Size{1280, 960 + 22}));
  EXPECT_EQ(w.drawable_size(), (platform::Size{2560, 1964}));
  EXPECT_EQ(w.picture_transform().target, platform::Rect::from_size(0, 44, 2560, 1920));
  EXPECT_EQ(w.chrome_width(), 1280);
  // A click on the strip reaches the tool bar in its own points: "終了".
  p.platform.queue_answer(platform::MessageAnswer::No);
  p.platform.push_pointer({2 * 20, 2 * 11});
  p.platform.push_event(platform::Event{platform::EventType::MouseDown, 0, 0, 0, platform::MouseButton::Left});
  p.platform.push_event(platform::Event{platform::EventType::MouseUp, 0, 0, 0, platform::MouseButton::Left});
  platform::Event e;
  while (p.platform.poll_event(e)) view.handle_event(e);
  EXPECT_EQ(p.platform.message_boxes().size(), 1u);
}

TEST(PlayerSettingsFile, ReadsWritesKeepsUnknownKeysAndTheCommandLineWins) {
  platform::IniFile ini = platform::IniFile::parse(
      "[display]\nscale = stretch\nfilter = sharp\nwindow-scale = 3\n[keys]\nfull-screen = Ctrl+Shift+F, F11\n"
      "screenshot = Alt+Banana\n[mine]\ncolour = blue\n");
  PlayerSettings s = read_player_settings(ini);
  EXPECT_EQ(s.scale, platform::ScaleMode::Stretch);
  EXPECT_EQ(s.filter, platform::ScaleFilter::Auto) << "an unknown filter keeps the default";
  EXPECT_EQ(s.window_scale, 3);
  EXPECT_EQ(s.full_screen_keys, (KeyBindings{{'F', platform::modifier::Control | platform::modifier::Shift},
                                             {(platform::vk::F1 + 10), 0}}));
  EXPECT_EQ(s.screenshot_keys, (KeyBindings{{(platform::vk::F1 + 11), 0}}));
  PlayerSettingsOverrides o;
  o.filter = platform::ScaleFilter::Nearest;
  o.screenshot_keys = KeyBindings{};
  s = apply_overrides(s, o);
  write_player_settings(ini, s);
  const PlayerSettings back = read_player_settings(platform::IniFile::parse(ini.to_text()));
  EXPECT_EQ(back.filter, platform::ScaleFilter::Nearest);
  EXPECT_TRUE(back.screenshot_keys.empty());
  EXPECT_EQ(back.full_screen_keys, s.full_screen_keys);
  EXPECT_EQ(ini.read("mine", "colour"), "blue");
  EXPECT_EQ(ini.read("keys", "screenshot"), "none");
  EXPECT_FALSE(parse_key_bindings("Hyper+A"));
  EXPECT_FALSE(parse_key_bindings("Alt+"));
  EXPECT_EQ(format_key_bindings(*parse_key_bindings("alt+enter,f11")), "Alt+Return, F11");
  // The first window: the largest whole factor whose picture fits and
  // covers at most 80 % of the work area.
  EXPECT_EQ(first_window_factor({640, 480}, 22, {6, 29}, {1920, 1040}), 2);
  EXPECT_EQ(first_window_factor({640, 480}, 22, {0, 0}, {1280, 1024}), 1);
  EXPECT_EQ(first_window_factor({640, 480}, 44, {12, 58}, {3840, 2080}), 4);
  EXPECT_EQ(first_window_factor({800, 600}, 22, {0, 0}, {640, 480}), 1);
}

}  // namespace
}  // namespace nova::app
