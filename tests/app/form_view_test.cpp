#include "app/form_view.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fakes.h"
#include "platform/headless/headless_platform.h"
#include "platform/keys.h"
#include "png_size.h"
#include "support/test_support.h"

namespace nova::app {
namespace {

using testing::FakeFactory;

struct Player {
  explicit Player(platform::HeadlessOptions o = quiet(), PlayerOptions po = {})
      : platform(std::move(o)), ctx(platform, std::move(po), dir.path()) {
    ctx.options.headless = true;
    ctx.step_trace.set_sink([this](std::string_view s) { steps.emplace_back(s); });
  }
  static platform::HeadlessOptions quiet() {
    platform::HeadlessOptions o;
    o.echo_message_boxes = false;
    return o;
  }
  test::TempDir dir;
  platform::HeadlessPlatform platform;
  PlayerContext ctx;
  FakeFactory factory;
  std::vector<std::string> steps;
};

TEST(FormView, StartAndShutdownRunInTheSystemsOrder) {
  Player p;
  {
    TFormView view(p.ctx, p.factory);
    view.FormCreate();
    EXPECT_EQ(view.window()->caption(), test::sjis("テスト")) << "the project's title";
    // The client area is the screen plus the tool-bar dock; the window
    // shows it at the largest whole factor that fits the work area (1920 ×
    // 1040: twice), centred in it.
    platform::Window* w = view.window();
    EXPECT_EQ(p.ctx.main_window, w) << "the title's dialogs belong to it";
    EXPECT_EQ(w->client_size(), (platform::Size{640, 480 + 22}));
    EXPECT_EQ(w->view_size(), (platform::Size{1280, 960 + 22}));
    platform::Rect work = p.platform.work_area();
    platform::Rect fe = w->frame_extents();
    EXPECT_EQ(w->position().x, work.left + (work.width() - (1280 + fe.left + fe.right)) / 2);
    EXPECT_EQ(w->position().y, work.top + (work.height() - (982 + fe.top + fe.bottom)) / 2);
    EXPECT_EQ(view.panel(), platform::Rect::from_size(0, 22, 640, 480));
    view.FormClose();
  }
  EXPECT_EQ(p.ctx.main_window, nullptr);
  EXPECT_EQ(p.steps,
            (std::vector<std::string>{"FormCreate", "TBasePanel.Create", "DXSound.Initialize", "NovaInitialize",
                                      "TProject.Create", "MediaInit", "NovaInitColor", "Project.Free",
                                      "SysFuncMan.Free", "ParamMan.Free", "NovaFinalize", "MediaFinal", "FormClose"}));
  // The subsystems go in the shutdown order too.
  auto& calls = p.factory.log.calls;
  auto pos = [&](const char* c) { return std::find(calls.begin(), calls.end(), c) - calls.begin(); };
  EXPECT_LT(pos("mount"), pos("init_colors"));
  EXPECT_LT(pos("project freed"), pos("components freed"));
  EXPECT_LT(pos("components freed"), pos("media finalized"));
  EXPECT_TRUE(p.ctx.clock.TerminateFlag.load());
}

TEST(FormView, FrameTickOrderAndTheFpsDivider) {
  Player p;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  p.ctx.clock.FpsDivider.store(4);
  p.factory.log.calls.clear();
  for (int i = 0; i < 8; ++i) view.FrameTick();
  auto& calls = p.factory.log.calls;
  EXPECT_EQ(p.factory.log.count("update"), 8);
  EXPECT_EQ(p.factory.log.count("draw"), 2);
  EXPECT_EQ(p.factory.log.count("present"), 2);
  EXPECT_EQ(p.ctx.clock.FrameCount.load(), 8);
  // One composing tick, in its exact order.
  // Ticks that do not compose make three calls each.
  std::vector<std::string> fourth(calls.begin() + 3 * 3, calls.begin() + 3 * 3 + 6);
  EXPECT_EQ(fourth, (std::vector<std::string>{"begin_frame", "tick", "update", "draw", "present", "frame_shown"}))
      << "transitions advance through the flip alone";
  // A tick that performs a game load does not compose.
  p.ctx.clock.FpsDivider.store(1);
  p.factory.project->pending_load = true;
  p.factory.log.calls.clear();
  view.FrameTick();
  EXPECT_EQ(p.factory.log.count("draw"), 0);
  view.FrameTick();
  EXPECT_EQ(p.factory.log.count("draw"), 1);
  // With the terminate flag set the tick stops after the interpreter.
  p.ctx.clock.TerminateFlag.store(true);
  p.factory.log.calls.clear();
  view.FrameTick();
  EXPECT_EQ(p.factory.log.count("tick"), 1);
  EXPECT_EQ(p.factory.log.count("update"), 0);
}

TEST(FormView, WithoutAProjectTicksDoNothing) {
  Player p;
  p.factory.with_project = false;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  p.factory.log.calls.clear();
  view.FrameTick();
  EXPECT_TRUE(p.factory.log.calls.empty());
  // The window keeps its designed size.
  EXPECT_EQ(view.window()->client_size(), (platform::Size{640, 480 + 22}));
}

TEST(FormView, ProjectErrorsAreShownAndCloseTheWindow) {
  Player p;
  p.factory.project_error = test::sjis("nova.npb:ファイルがありません");
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  EXPECT_TRUE(view.closed());
  auto boxes = p.platform.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, test::sjis("nova.npb:ファイルがありません"));
  EXPECT_EQ(boxes[0].caption, test::sjis("警告"));
  EXPECT_EQ(boxes[0].icon, platform::MessageIcon::Warning);
}

TEST(FormView, AFailedStartNeverShowsItsWindow) {
  // Damaged data: the mounting raises, the message is shown, the window
  // closes; unattended, the status says so.
  Player p;
  p.factory.mount_error = test::sjis("game.dat: damaged archive directory");
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  EXPECT_TRUE(view.closed());
  EXPECT_FALSE(view.window()->visible());
  auto boxes = p.platform.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, test::sjis("警告"));
  EXPECT_EQ(boxes[0].buttons, platform::MessageButtons::Ok);
  EXPECT_EQ(p.ctx.exit_status, 1);
  // A start that stops after its own message: closed, never shown.
  Player q;
  q.factory.stop_at_start = true;
  TFormView stopped(q.ctx, q.factory);
  stopped.FormCreate();
  EXPECT_FALSE(stopped.window()->visible());
  stopped.run();
  EXPECT_EQ(q.factory.log.count("tick"), 0);
  // A start that succeeds shows it.
  Player r;
  TFormView shown(r.ctx, r.factory);
  shown.FormCreate();
  EXPECT_TRUE(shown.window()->visible());
}

TEST(FormView, ADisplayChangeCoversTheNewDesktopOrFallsBackToTheWindow) {
  Player p;
  p.factory.real_screen = true;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  const platform::Size windowed = view.window()->view_size();
  view.SetFullScreen(true);
  ASSERT_TRUE(view.full_screen());
  EXPECT_EQ(view.window()->view_size(), (platform::Size{1920, 1080}));
  platform::Event display_change;
  display_change.type = platform::EventType::DisplayChange;
  // The desktop became larger: the covering window follows it, and the
  // picture with it; the screen manager's mode stays as it was.
  p.platform.set_desktop({2560, 1440, 32, 60}, {0, 0, 2560, 1400});
  p.factory.log.calls.clear();
  view.handle_event(display_change);
  EXPECT_TRUE(view.full_screen());
  EXPECT_EQ(view.window()->view_size(), (platform::Size{2560, 1440}));
  EXPECT_EQ(view.window()->picture_transform().target, platform::Rect::from_size(320, 0, 1920, 1440));
  EXPECT_EQ(view.window()->fullscreen_mode(), 0);
  EXPECT_EQ(p.factory.log.count("free_surfaces"), 1);
  EXPECT_EQ(p.factory.log.count("reload_surfaces"), 1);
  // When the display refuses, back to the window as a failed switch, at the
  // window's former size.
  p.platform.set_refuse_full_screen(true);
  view.handle_event(display_change);
  EXPECT_FALSE(view.full_screen());
  EXPECT_TRUE(view.toolbar_visible());
  EXPECT_EQ(view.window()->client_size(), (platform::Size{640, 480 + 22}));
  EXPECT_EQ(view.window()->view_size(), windowed);
  EXPECT_EQ(view.window()->fullscreen_mode(), -1);
  // In the window a display change changes nothing.
  p.factory.log.calls.clear();
  view.handle_event(display_change);
  EXPECT_EQ(p.factory.log.count("free_surfaces"), 0);
}

TEST(FormView, ExitQuestionStopsTicksAndNoResumesThem) {
  Player p;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  setenv("LANG", "ja_JP.UTF-8", 1);
  unsetenv("LC_MESSAGES");
  p.platform.queue_answer(platform::MessageAnswer::No);
  view.exit_button();
  auto boxes = p.platform.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, test::sjis("テスト"));
  EXPECT_EQ(boxes[0].text, test::sjis("「テスト」を終了しますか？"));
  EXPECT_EQ(boxes[0].buttons, platform::MessageButtons::YesNo);
  EXPECT_EQ(boxes[0].icon, platform::MessageIcon::Question);
  EXPECT_FALSE(p.ctx.clock.TerminateFlag.load());
  EXPECT_FALSE(view.closed());
  setenv("LANG", "en_US.UTF-8", 1);
  p.platform.queue_answer(platform::MessageAnswer::Yes);
  view.exit_button();
  EXPECT_EQ(p.platform.message_boxes()[1].text, test::sjis("Do you want to exit テスト?"));
  // Yes keeps the flag set, so no further tick runs the interpreter's steps.
  EXPECT_TRUE(p.ctx.clock.TerminateFlag.load());
  p.factory.log.calls.clear();
  view.FrameTick();
  EXPECT_EQ(p.factory.log.count("update"), 0);
  unsetenv("LANG");
}

TEST(FormView, TheExitButtonAsksThroughTheToolBar) {
  // Clicking "終了" in the tool bar (panel coordinates: the bar lies above y 0).
  platform::HeadlessOptions o = Player::quiet();
  o.answer_yes = false;
  o.input_script = "3 mouse 20 -11\n4 ldown\n5 lup\n8 mouse 90 -11\n9 ldown\n9 lup\n";
  Player p(o);
  p.ctx.options.max_ticks = 20;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  view.run();
  auto boxes = p.platform.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].buttons, platform::MessageButtons::YesNo);
  // "No": the ticks went on to --max-ticks; the second button switches to
  // full screen without a question.
  EXPECT_EQ(p.factory.log.count("tick"), 20);
  EXPECT_EQ(std::count(p.steps.begin(), p.steps.end(), "SetFullScreen.Full"), 1);
}

TEST(FormView, InputReachesTheComponentsInPanelCoordinates) {
  platform::HeadlessOptions o = Player::quiet();
  o.input_script =
      "0 mouse 100 50\n"
      "1 ldown\n"
      "1 lup\n"
      "2 rdown\n"
      "3 key A down\n"
      "3 key A repeat\n"
      "3 key 0x41 up\n"
      "4 wheel -1\n"
      "4 wheel 1\n";
  Player p(o);
  p.ctx.options.max_ticks = 6;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  view.run();
  auto& c = p.factory.log;
  EXPECT_EQ(c.count("move 100,50"), 1);
  EXPECT_EQ(c.count("buttons L-"), 1);
  EXPECT_EQ(c.count("press L-"), 1);
  EXPECT_EQ(c.count("buttons --"), 1);
  EXPECT_EQ(c.count("buttons -R"), 1);
  EXPECT_EQ(c.count("press -R"), 1);
  // The auto-repeat is not a new press.
  EXPECT_EQ(c.count("keydown 65"), 1);
  EXPECT_EQ(c.count("keyup 65"), 1);
  EXPECT_EQ(c.count("wheel down"), 1);
  EXPECT_EQ(c.count("wheel up"), 1);
}

TEST(FormView, KeyCodesOf256AndMoreAndInactiveKeysAreIgnored) {
  Player p;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  platform::Event e;
  e.type = platform::EventType::KeyDown;
  e.key = 256;
  view.handle_event(e);
  e.key = 300;
  view.handle_event(e);
  e.type = platform::EventType::KeyUp;
  view.handle_event(e);
  EXPECT_EQ(p.factory.log.count("keydown 256"), 0);
  EXPECT_EQ(p.factory.log.count("keyup 300"), 0);
  e.type = platform::EventType::KeyDown;
  e.key = 255;
  view.handle_event(e);
  EXPECT_EQ(p.factory.log.count("keydown 255"), 1);
  // While inactive, presses are not taken; releases are.
  view.ApplicationEventsDeactivate();
  EXPECT_FALSE(p.ctx.clock.ActiveFlag.load());
  e.key = 'B';
  view.handle_event(e);
  EXPECT_EQ(p.factory.log.count("keydown 66"), 0);
  e.type = platform::EventType::KeyUp;
  view.handle_event(e);
  EXPECT_EQ(p.factory.log.count("keyup 66"), 1);
}

TEST(FormView, ActivationPausesOnlyWhenTheProjectSaysSo) {
  Player p;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  view.ApplicationEventsDeactivate();
  EXPECT_FALSE(p.ctx.clock.ActiveFlag.load());
  EXPECT_EQ(p.factory.log.count("pause_all"), 1);
  EXPECT_EQ(p.factory.log.count("release_input"), 1);
  p.platform.advance_ms(40);
  view.ApplicationEventsActivate();
  EXPECT_TRUE(p.ctx.clock.ActiveFlag.load());
  EXPECT_EQ(p.ctx.clock.LastTickMs.load(), 40u);
  EXPECT_EQ(p.factory.log.count("resume_all"), 1);

  Player q;
  q.factory.pause_inactive = false;
  TFormView keep(q.ctx, q.factory);
  keep.FormCreate();
  keep.ApplicationEventsDeactivate();
  EXPECT_TRUE(q.ctx.clock.ActiveFlag.load());
  EXPECT_EQ(q.factory.log.count("pause_all"), 0);
  keep.ApplicationEventsActivate();
  EXPECT_EQ(q.factory.log.count("resume_all"), 0);
}

TEST(FormView, DeactivationSuspendsTheTicksInTheHeadlessLoop) {
  platform::HeadlessOptions o = Player::quiet();
  o.input_script = "5 deactivate\n40 activate\n";
  Player p(o);
  p.ctx.options.max_ticks = 60;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  view.run();
  // Ticks 0..4 ran, 5..39 were suspended; the first interval after waking
  // is 35 × 15 ms and so a stall; then ticks 41..59 ran.
  EXPECT_EQ(p.factory.log.count("tick"), 5 + 19);
  EXPECT_EQ(p.ctx.clock.GameClockMs.load(), (5 + 19) * 15);
}

TEST(FormView, FullScreenSwitchStepsAndFallback) {
  Player p;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  p.factory.media->midi_open = true;
  const platform::WindowPlacement before = view.window()->placement();
  p.steps.clear();
  view.SetFullScreen(true);
  EXPECT_TRUE(view.full_screen());
  EXPECT_EQ(p.steps, (std::vector<std::string>{"SetFullScreen", "SetFullScreen.Full", "SetFullScreen.Full.Bases.FreeDX",
                                               "SetFullScreen.Full.MediaSuspend", "SetFullScreen.Full.ScreenMan.FreeDX",
                                               "SetFullScreen.Full.StoreWindow", "SetFullScreen.Full.SetScreenManIndex",
                                               "SetFullScreen.SetBounds", "SetFullScreen.Bases.Reload",
                                               "SetFullScreen.MediaResume"}));
  EXPECT_FALSE(view.window()->bordered());
  EXPECT_EQ(view.window()->client_size(), (platform::Size{640, 480}));
  EXPECT_EQ(view.window()->position(), (platform::Point{0, 0}));
  EXPECT_EQ(view.panel(), platform::Rect::from_size(0, 0, 640, 480));
  EXPECT_FALSE(view.toolbar_visible());
  EXPECT_EQ(p.factory.log.count("midi closed"), 1);
  EXPECT_EQ(p.factory.log.count("midi reopened"), 1);
  EXPECT_FALSE(p.ctx.clock.SwitchingScreen.load());
  // Switching to the mode in force changes nothing.
  p.steps.clear();
  view.SetFullScreen(true);
  EXPECT_EQ(p.steps, (std::vector<std::string>{"SetFullScreen"}));
  // Back to the window, at its former placement.
  view.SetFullScreen(false);
  EXPECT_FALSE(view.full_screen());
  EXPECT_EQ(view.window()->placement().position, before.position);
  EXPECT_EQ(view.window()->client_size(), (platform::Size{640, 502}));
  EXPECT_TRUE(view.window()->bordered());
  EXPECT_TRUE(view.toolbar_visible());
  EXPECT_EQ(view.panel(), platform::Rect::from_size(0, 22, 640, 480));
  EXPECT_EQ(p.factory.media->screen_host.current, -1);

  // A refused mode returns to the window.
  p.factory.media->screen_host.refuse_full_screen = true;
  p.steps.clear();
  view.SetFullScreen(true);
  EXPECT_FALSE(view.full_screen());
  EXPECT_NE(std::find(p.steps.begin(), p.steps.end(), "SetFullScreen.Full.SetScreenManIndexFail"), p.steps.end());
  EXPECT_EQ(view.window()->client_size(), (platform::Size{640, 502}));
  EXPECT_TRUE(view.window()->bordered());
  // No usable mode: nothing happens, and the paused music plays on.
  p.factory.media->screen_host.preferred = -1;
  p.factory.media->midi_open = true;
  view.SetFullScreen(true);
  EXPECT_FALSE(view.full_screen());
  EXPECT_TRUE(p.factory.media->midi_open);
}

TEST(FormView, TicksDoNotRunWhileSwitching) {
  Player p;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  p.ctx.clock.SwitchingScreen.store(true);
  view.tick_wrapper();
  EXPECT_EQ(p.factory.log.count("tick"), 0);
  p.ctx.clock.SwitchingScreen.store(false);
  view.tick_wrapper();
  EXPECT_EQ(p.factory.log.count("tick"), 1);
}

TEST(FormView, DisplayRateIsMeasuredEveryTwoSeconds) {
  Player p;
  p.ctx.options.max_ticks = 300;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  view.run();
  const auto& rates = p.factory.log.rates;
  // 300 ticks of 15 ms: two full measurement windows of 2010 ms. The first
  // counts the present of the tick that opened it.
  ASSERT_EQ(rates.size(), 2u);
  EXPECT_DOUBLE_EQ(rates[0], 135.0 * 2000.0 / 2010.0);
  EXPECT_DOUBLE_EQ(rates[1], 134.0 * 2000.0 / 2010.0);
}

}  // namespace
}  // namespace nova::app

namespace nova::app {
namespace {

using testing::png_size;

TEST(FormView, ScreenshotsAreOfTheProjectsScreen) {
  Player p;
  p.factory.real_screen = true;
  p.factory.width = 320;
  p.factory.height = 200;
  p.ctx.options.max_ticks = 5;
  p.ctx.options.screenshots = {{2, p.dir / "two.png"}, {4, p.dir / "four.png"}, {9, p.dir / "never.png"}};
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  view.run();
  EXPECT_EQ(png_size(test::read_file(p.dir / "two.png")), std::make_pair(320, 200));
  EXPECT_EQ(png_size(test::read_file(p.dir / "four.png")), std::make_pair(320, 200));
  EXPECT_FALSE(std::filesystem::exists(p.dir / "never.png"));
}

TEST(FormView, FullScreenRunsThroughTheScreenManager) {
  platform::HeadlessOptions o = Player::quiet();
  o.modes = {{640, 480, 32, 60}, {1024, 768, 32, 60}};
  Player p(o);
  p.factory.real_screen = true;
  TFormView view(p.ctx, p.factory);
  view.FormCreate();
  const platform::WindowPlacement before = view.window()->placement();
  view.SetFullScreen(true);
  ASSERT_TRUE(view.full_screen());
  EXPECT_EQ(view.window()->fullscreen_mode(), 0);
  // The title's client area stays its screen; the window covers the
  // 1920 × 1080 desktop and the picture fills its height.
  EXPECT_EQ(view.window()->client_size(), (platform::Size{640, 480}));
  EXPECT_EQ(view.window()->drawable_size(), (platform::Size{1920, 1080}));
  EXPECT_EQ(view.window()->picture_transform().target, platform::Rect::from_size(240, 0, 1440, 1080));
  view.SetFullScreen(false);
  EXPECT_EQ(view.window()->fullscreen_mode(), -1);
  EXPECT_EQ(view.window()->placement(), before);
  EXPECT_EQ(view.window()->client_size(), (platform::Size{640, 502}));
  // A mode larger than the screen changes nothing either: the same covering
  // window, the panel filling the client area.
  platform::HeadlessOptions big = Player::quiet();
  big.modes = {{1024, 768, 32, 60}};
  Player q(big);
  q.factory.real_screen = true;
  TFormView wide(q.ctx, q.factory);
  wide.FormCreate();
  wide.SetFullScreen(true);
  ASSERT_TRUE(wide.full_screen());
  EXPECT_EQ(wide.window()->client_size(), (platform::Size{640, 480}));
  EXPECT_EQ(wide.window()->view_size(), (platform::Size{1920, 1080}));
  EXPECT_EQ(wide.panel(), platform::Rect::from_size(0, 0, 640, 480));
  // A display without a mode of the screen's size has no full screen.
  platform::HeadlessOptions small = Player::quiet();
  small.modes = {{320, 240, 32, 60}};
  Player r(small);
  r.factory.real_screen = true;
  TFormView none(r.ctx, r.factory);
  none.FormCreate();
  none.SetFullScreen(true);
  EXPECT_FALSE(none.full_screen());
}

}  // namespace
}  // namespace nova::app
