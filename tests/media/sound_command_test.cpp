// `nova sound`: every option on a title folder, its errors, and the demo
// title's sounds as the demo script records them.
#include <gtest/gtest.h>

#include "media_test_util.h"

namespace nova::media {
namespace {

using namespace testing;

std::string nova() { return (test::binary_dir() / "tools" / "nova").string(); }

struct CommandRun {
  int status;
  std::string out;
};

CommandRun sound(const std::string& args) {
  CommandRun r;
  r.status = test::run_command(nova() + " sound " + args + " 2>&1", &r.out);
  return r;
}

TEST(SoundCommand, RecordsATitlesSoundsWithEveryOption) {
  test::TempDir dir;
  const auto title = dir / "title";
  std::filesystem::create_directories(title / "se");
  test::write_file(title / "se" / "a.wav", as_string(wav16(2, 44100, to_i16(sine(44100, 2, 44100, 1000, 0.5)))));
  test::write_file(title / "b.ogg", as_string(writers::write_vorbis(2, 44100, sine(22050, 2, 44100, 500, 0.5))));
  test::write_file(title / "c.wma", as_string(writers::write_wma(2, 44100, sine(22050, 2, 44100, 500, 0.5))));
  const std::string out = (dir / "out.wav").string();

  CommandRun r = sound("--record-audio " + out + " " + title.string() + " 'se\\a.wav' b.ogg@500 c.wma@100");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("se\\a.wav: length 1000 ms, started at 0 ms, ended at 1005 ms"), std::string::npos) << r.out;
  // Sounds start at the first 15 ms frame at or after their time.
  EXPECT_NE(r.out.find("b.ogg: length 500 ms, started at 500 ms, ended at 1020 ms"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("c.wma: length"), std::string::npos) << r.out;
  auto pcm = read_recording(out);
  EXPECT_GE(pcm.size() / 2, 1020u * 441 / 10);
  EXPECT_NEAR(frequency(channel(std::span(pcm).subspan(0, 2 * 4410), 0), 44100), 1000, 20);

  r = sound("--record-audio " + out + " " + title.string() + " 'se\\a.wav' --volume -2500 --seconds 2");
  ASSERT_EQ(r.status, 0) << r.out;
  pcm = read_recording(out);
  EXPECT_EQ(pcm.size() / 2, 88200u);
  const auto left = channel(pcm, 0);
  EXPECT_NEAR(rms(std::span(left).subspan(4410, 22050)), 0.5 * 32767 / std::sqrt(2.0) * std::pow(10.0, -1.25), 30);
  EXPECT_EQ(rms(std::span(left).subspan(50000, 30000)), 0);

  r = sound("--record-audio " + out + " " + title.string() +
            " b.ogg --wave-mixer --delay-time 200 --repeat --seconds 2 --volume -2500");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("b.ogg: length 500 ms, started at 0 ms, still playing at 2000 ms"), std::string::npos) << r.out;
  pcm = read_recording(out);
  const auto mixed = channel(pcm, 0);
  // The mixer's rule: -2500 is half; the sound repeats to the end.
  EXPECT_NEAR(rms(std::span(mixed).subspan(66150, 17640)), 0.5 * 32767 / std::sqrt(2.0) / 2, 150);

  EXPECT_EQ(sound("--help").status, 0);
  for (const std::string& bad :
       {std::string(" missing.wav"), std::string(" b.ogg --repeat"), std::string(" b.ogg --delay-time 300"),
        std::string(" b.ogg --volume 5"), std::string(" b.ogg@-5")}) {
    r = sound("--record-audio " + out + " " + title.string() + bad);
    EXPECT_EQ(r.status, 1) << bad << r.out;
  }
  EXPECT_NE(sound("--record-audio " + out + " " + title.string() + " missing.wav").out.find("missing.wav"),
            std::string::npos);
  test::write_file(title / "broken.ogg", std::string(400, 'x'));
  r = sound("--record-audio " + out + " " + title.string() + " broken.ogg");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("broken.ogg: the sound does not decode"), std::string::npos) << r.out;
  r = sound("--record-audio " + out + " " + title.string() + " broken.ogg --wave-mixer");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("broken.ogg"), std::string::npos) << r.out;
  EXPECT_EQ(sound("--record-audio " + out).status, 2);
}

TEST(SoundCommand, TheDemoTitlesSoundsRecordAsTheDemoScriptPlaysThem) {
  test::TempDir dir;
  const auto title = dir / "demo-title";
  ASSERT_EQ(test::run_command(nova() + " build " + (test::source_dir() / "demo").string() + " " + title.string() +
                              " >/dev/null"),
            0);
  ASSERT_EQ(test::run_command((test::binary_dir() / "tools" / "demo_audio" / "make_demo_audio").string() + " " +
                              title.string()),
            0);
  const std::string out = (dir / "audio.wav").string();
  const CommandRun r =
      sound("--record-audio " + out + " " + title.string() + " bgm.ogg se.wav@1000 se.wav@2500 --seconds 6");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("bgm.ogg: length 4000 ms, started at 0 ms, ended at 4005 ms"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("se.wav: length 200 ms, started at 1000 ms"), std::string::npos) << r.out;
  const auto pcm = read_recording(out);
  ASSERT_EQ(pcm.size() / 2, 6u * 44100);
  const auto left = channel(pcm, 0);
  EXPECT_GT(rms(std::span(left).subspan(22050, 4410)), 500);     // the music
  EXPECT_EQ(rms(std::span(left).subspan(44100 * 5, 22050)), 0);  // after its end
  // The chime at 1 s rises above the music.
  EXPECT_GT(largest_step(std::span(left).subspan(44100, 2205)), largest_step(std::span(left).subspan(22050, 2205)));
}

}  // namespace
}  // namespace nova::media
