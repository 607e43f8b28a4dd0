#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>

#include "platform/error.h"
#include "platform/headless/headless_platform.h"
#include "platform/keys.h"
#include "platform/synth_midi.h"
#include "support/test_support.h"

namespace nova::platform {
namespace {

using test::sjis;

HeadlessOptions quiet() {
  HeadlessOptions o;
  o.echo_message_boxes = false;
  return o;
}

TEST(HeadlessDialogs, AnswerFromTheQueueThenByDefault) {
  HeadlessOptions o = quiet();
  o.answer_yes = false;
  HeadlessPlatform p(o);
  p.queue_answer(MessageAnswer::Yes);
  MessageBoxSpec q{sjis("題名"), sjis("「題名」を終了しますか？"), MessageIcon::Question, MessageButtons::YesNo};
  EXPECT_EQ(p.dialogs().message_box(q), MessageAnswer::Yes);
  EXPECT_EQ(p.dialogs().message_box(q), MessageAnswer::No);
  EXPECT_EQ(p.dialogs().message_box({sjis("警告"), "x", MessageIcon::Warning, MessageButtons::OkCancel}),
            MessageAnswer::Cancel);
  EXPECT_EQ(p.dialogs().message_box({"", "", MessageIcon::None, MessageButtons::Ok}), MessageAnswer::Ok);
  auto boxes = p.message_boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].caption, sjis("題名"));
  EXPECT_EQ(boxes[0].icon, MessageIcon::Question);
  EXPECT_EQ(boxes[1].text, sjis("「題名」を終了しますか？"));
}

// Random pictures of each format, presented at scale 100 and 200.
template <typename Pixel>
std::vector<Pixel> random_pixels(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Pixel> v(static_cast<std::size_t>(w * h));
  for (auto& p : v) p = static_cast<Pixel>(rng());
  return v;
}

TEST(HeadlessWindow, PresentedPixelsArriveUnchanged) {
  HeadlessPlatform p(quiet());
  auto w = p.create_window({"t", {64, 48}});
  auto px = random_pixels<std::uint32_t>(64, 48, 1);
  PixelView src{reinterpret_cast<const std::uint8_t*>(px.data()), 64, 48, 64 * 4, PixelFormat::Xrgb32};
  w->draw_pixels(src, {0, 0, 64, 48}, {0, 0, 64, 48});
  // Nothing shows before present.
  EXPECT_EQ(w->back_buffer().row(0)[0], 0);
  w->present({});
  PixelView shown = w->back_buffer();
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      std::uint32_t got;
      std::memcpy(&got, shown.row(y) + x * 4, 4);
      ASSERT_EQ(got, px[static_cast<std::size_t>(y * 64 + x)] & 0xFFFFFF) << x << "," << y;
    }
  }
}

TEST(HeadlessWindow, DirtyRectanglesAndScalingAndSixteenBitSources) {
  HeadlessPlatform p(quiet());
  auto w = p.create_window({"t", {80, 60}});
  auto px = random_pixels<std::uint16_t>(20, 10, 2);
  PixelView src{reinterpret_cast<const std::uint8_t*>(px.data()), 20, 10, 40, PixelFormat::Rgb565};
  // Doubled into the client area at (10, 5).
  w->draw_pixels(src, {0, 0, 20, 10}, {10, 5, 50, 25});
  Rect dirty[] = {{10, 5, 30, 15}};
  w->present(dirty);
  PixelView shown = w->back_buffer();
  auto at = [&](int x, int y) {
    std::uint32_t v;
    std::memcpy(&v, shown.row(y) + x * 4, 4);
    return v;
  };
  for (int y = 5; y < 15; ++y) {
    for (int x = 10; x < 30; ++x) {
      std::uint32_t expected =
          to_rgb32(px[static_cast<std::size_t>((y - 5) / 2 * 20 + (x - 10) / 2)], PixelFormat::Rgb565);
      ASSERT_EQ(at(x, y), expected);
    }
  }
  // Outside the presented rectangle the screen still shows the old pixels.
  EXPECT_EQ(at(40, 20), 0u);
  // 5-6-5 white is white; 1-5-5-5 red is full red.
  EXPECT_EQ(to_rgb32(0xFFFF, PixelFormat::Rgb565), 0xFFFFFFu);
  EXPECT_EQ(to_rgb32(0x7C00, PixelFormat::Xrgb1555), 0xFF0000u);
  // A source rectangle beyond the picture reads nothing outside it.
  w->draw_pixels(src, {-5, -5, 100, 100}, {0, 0, 80, 60});
  w->present({});
}

TEST(HeadlessWindow, FullScreenUsesTheListedModes) {
  HeadlessOptions o = quiet();
  o.modes = {{640, 480, 32, 60}, {800, 600, 16, 75}};
  HeadlessPlatform p(o);
  auto w = p.create_window({"t", {640, 502}});
  EXPECT_EQ(p.display_modes().size(), 2u);
  Rect wa = p.work_area();
  Rect fe = w->frame_extents();
  // New windows are centred in the work area.
  EXPECT_EQ(w->position().x, wa.left + (wa.width() - (640 + fe.left + fe.right)) / 2);
  EXPECT_EQ(w->set_fullscreen(1), 1);
  EXPECT_EQ(w->fullscreen_mode(), 1);
  EXPECT_EQ(w->set_fullscreen(5), -1);
  EXPECT_EQ(w->set_fullscreen(-1), -1);
}

TEST(HeadlessInput, ScriptDeliversEventsAtTheirTicks) {
  HeadlessOptions o = quiet();
  o.input_script =
      "# comment\n"
      "0 mouse 10 20\n"
      "2 ldown\n"
      "2 key RETURN down\n"
      "3 key 0x41 repeat\n"
      "3 wheel -2\n"
      "3 text 日本\n"
      "1 lup\n"
      "4 close\n";
  HeadlessPlatform p(o);
  auto w = p.create_window({"t", {100, 100}});
  Event e;
  p.begin_tick(0);
  ASSERT_TRUE(p.poll_event(e));
  EXPECT_EQ(e.type, EventType::MouseMove);
  EXPECT_EQ(e.window, w->id());
  EXPECT_EQ(w->cursor_position(), (Point{10, 20}));
  EXPECT_FALSE(p.poll_event(e));
  p.begin_tick(1);
  ASSERT_TRUE(p.poll_event(e));
  EXPECT_EQ(e.type, EventType::MouseUp);
  EXPECT_EQ(e.x, 10);
  p.begin_tick(3);  // ticks 2 and 3 together
  std::vector<Event> got;
  while (p.poll_event(e)) got.push_back(e);
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].type, EventType::MouseDown);
  EXPECT_EQ(got[0].button, MouseButton::Left);
  EXPECT_EQ(got[1].key, vk::RETURN);
  EXPECT_FALSE(got[1].repeat);
  EXPECT_TRUE(got[2].repeat);
  EXPECT_EQ(got[3].wheel, -240);
  EXPECT_EQ(got[4].text, sjis("日本"));
  EXPECT_TRUE(p.has_pending_script());
  p.begin_tick(4);
  ASSERT_TRUE(p.poll_event(e));
  EXPECT_EQ(e.type, EventType::Close);
  EXPECT_FALSE(p.has_pending_script());
}

TEST(HeadlessInput, BadScriptsNameTheLine) {
  HeadlessOptions o = quiet();
  o.input_script = "0 mouse 1 2\n1 key NOSUCHKEY down\n";
  try {
    HeadlessPlatform p(o);
    FAIL() << "accepted a bad script";
  } catch (const PlatformError& e) {
    EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos) << e.what();
  }
  for (const char* bad : {"x mouse 1 2", "1 mouse 1", "1 fly", "-1 close", "1 key A sideways", "5 wheel 333333331"}) {
    EXPECT_THROW(parse_input_script(bad), PlatformError) << bad;
  }
}

TEST(HeadlessThreads, PostedTasksRunOnTheMainThread) {
  HeadlessPlatform p(quiet());
  std::thread::id main_id = std::this_thread::get_id(), ran_on;
  bool posted = false;
  std::thread worker([&] { posted = p.post_and_wait([&] { ran_on = std::this_thread::get_id(); }); });
  Event e;
  // The worker's post wakes the main thread's wait.
  ASSERT_TRUE(p.wait_event(e, 5000));
  EXPECT_EQ(e.type, EventType::Wake);
  while (p.run_posted_tasks() == 0) std::this_thread::yield();
  worker.join();
  EXPECT_TRUE(posted);
  EXPECT_EQ(ran_on, main_id);
  // After shutting down, posts are refused instead of blocking forever.
  p.shut_down_posting();
  EXPECT_FALSE(p.post_and_wait([] {}));
}

TEST(HeadlessSoundTest, WaveOutPlaysBlocksAtTheVirtualClocksRate) {
  test::TempDir dir;
  HeadlessOptions o = quiet();
  o.record_audio = dir / "out.wav";
  {
    HeadlessPlatform p(o);
    EXPECT_EQ(p.clock().ticks_ms(), 0u);
    auto wave = WaveOut::open(p.sound(), AudioFormat{44100, 2});
    ASSERT_TRUE(wave);
    // Two blocks of 100 ms each.
    auto a = std::make_shared<WaveBlock>();
    auto b = std::make_shared<WaveBlock>();
    a->bytes.assign(17640, 0);
    b->bytes.assign(17640, 0);
    for (std::size_t i = 0; i < a->bytes.size(); i += 2) a->bytes[i + 1] = 0x10;  // samples of 0x1000
    wave->write(a);
    wave->write(b);
    p.advance_ms(99);
    EXPECT_FALSE(a->done.load());
    p.advance_ms(2);
    EXPECT_TRUE(a->done.load());
    EXPECT_FALSE(b->done.load());
    p.advance_ms(100);
    EXPECT_TRUE(b->done.load());
    EXPECT_EQ(p.clock().ticks_ms(), 201u);
    EXPECT_EQ(wave->bytes_played(), 2u * 17640u);
    auto c = std::make_shared<WaveBlock>();
    c->bytes.assign(400, 0);
    wave->write(c);
    wave->reset();
    EXPECT_TRUE(c->done.load());
  }
  std::string wav = test::read_file(dir / "out.wav");
  ASSERT_GE(wav.size(), 44u + 17640u);
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
  // The first recorded sample is the first block's.
  EXPECT_EQ(static_cast<unsigned char>(wav[44]), 0x00);
  EXPECT_EQ(static_cast<unsigned char>(wav[45]), 0x10);
}

TEST(HeadlessMidiTest, RecordingPortKeepsWhatWasSent) {
  HeadlessPlatform p(quiet());
  auto ports = p.midi().ports();
  ASSERT_GE(ports.size(), 1u);
  EXPECT_EQ(ports[0].name, "Recording port");
  auto port = p.midi().open(0);
  ASSERT_TRUE(port);
  EXPECT_FALSE(p.midi().open(7));
  port->short_message(0x7F3C90);  // note on, middle C, velocity 127
  p.advance_ms(15);
  port->short_message(0x05C0);  // program change carries one data byte
  const std::uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
  port->long_message(sysex);
  auto rec = p.midi_records();
  ASSERT_EQ(rec.size(), 3u);
  EXPECT_EQ(rec[0].bytes, (std::vector<std::uint8_t>{0x90, 0x3C, 0x7F}));
  EXPECT_EQ(rec[0].time_ms, 0u);
  EXPECT_EQ(rec[1].bytes, (std::vector<std::uint8_t>{0xC0, 0x05}));
  EXPECT_EQ(rec[1].time_ms, 15u);
  EXPECT_EQ(rec[2].bytes.size(), 6u);
}

}  // namespace
}  // namespace nova::platform

namespace nova::platform {
namespace {

TEST(HeadlessMidiTest, SynthesizerPortIsHeardInTheRecordedOutput) {
  if (!find_sound_font()) GTEST_SKIP() << "no General MIDI sound font installed";
  test::TempDir dir;
  {
    HeadlessOptions o = quiet();
    o.record_audio = dir / "midi.wav";
    HeadlessPlatform p(o);
    ASSERT_EQ(p.midi().ports().size(), 2u);
    auto synth = p.midi().open(1);
    ASSERT_TRUE(synth);
    p.advance_ms(100);               // silence first
    synth->short_message(0x0000C0);  // piano
    synth->short_message(0x7F3C90);  // middle C, full velocity
    p.advance_ms(300);
    synth->short_message(0x003C80);
    synth->reset();
    p.advance_ms(50);
  }
  std::string wav = test::read_file(dir / "midi.wav");
  ASSERT_GT(wav.size(), 44u + 4u * 44100u * 400u / 1000u);
  auto peak = [&](std::size_t from_ms, std::size_t to_ms) {
    int m = 0;
    for (std::size_t i = 44 + from_ms * 44100 / 1000 * 4; i + 1 < 44 + to_ms * 44100 / 1000 * 4 && i + 1 < wav.size();
         i += 2) {
      int v =
          static_cast<std::int16_t>(static_cast<unsigned char>(wav[i]) | static_cast<unsigned char>(wav[i + 1]) << 8);
      m = std::max(m, std::abs(v));
    }
    return m;
  };
  EXPECT_LT(peak(0, 90), 8);  // the synthesizer dithers its silence
  EXPECT_GT(peak(110, 400), 1000);
}

}  // namespace
}  // namespace nova::platform
