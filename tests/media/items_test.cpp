// The items and managers on the headless platform: deferred play, pausing
// and resuming, the end reports, the mended faults, names, and what the
// recordings hear on both paths.
#include <gtest/gtest.h>

#include "core/error.h"
#include "media/media_system.h"
#include "media_test_util.h"
#include "platform/headless/headless_platform.h"

namespace nova::media {
namespace {

using namespace testing;

std::vector<std::uint8_t> tone_wav(int ms, double amplitude = 0.5, int rate = 44100) {
  return wav16(2, rate, to_i16(sine(rate * ms / 1000, 2, rate, 1000, amplitude)));
}

struct Player {
  explicit Player(bool direct_sound, std::filesystem::path record = {}, int delay_time = 100) {
    platform::HeadlessOptions o;
    o.record_audio = std::move(record);
    o.echo_message_boxes = false;
    platform = std::make_unique<platform::HeadlessPlatform>(o);
    media = std::make_unique<MediaSystem>(*platform, title.files(), SoundSettings{direct_sound, delay_time},
                                          [this](std::string_view s) { trace.emplace_back(s); });
    media->CreateManagers();
  }
  ~Player() {
    media.reset();
    platform.reset();
  }
  // Frames of 15 ms, as the player's loop advances the clock.
  void run_ms(int ms) {
    for (int t = 0; t < ms; t += 15) platform->advance_ms(15);
  }
  TOggManager& ogg() { return *media->OggMan(); }

  TitleFolder title;
  std::unique_ptr<platform::HeadlessPlatform> platform;
  std::unique_ptr<MediaSystem> media;
  std::vector<std::string> trace;
};

// The sound's update as the sound component does it: an end event when the
// ended state turns true; a repeating sound starts again at 0.
struct SoundUpdate {
  TDMediaItem* item;
  bool repeat = false;
  bool ended = false;
  int events = 0;
  void tick() {
    if (!item->IsEnd()) return;
    if (repeat) {
      item->SetPosition(0);
      return;
    }
    if (!ended) ++events;
    ended = true;
  }
};

TEST(MediaSystem, StartAndEndAreTracedStepByStep) {
  std::vector<std::string> trace;
  {
    Player p(true);
    trace = p.trace;
    p.media->MediaFinal();
    p.media->MediaFinal();
    trace = p.trace;
  }
  EXPECT_EQ(trace,
            (std::vector<std::string>{"novaInit", "novaOggmanSetUseThread", "VideoMan.Create", "WmpMan.Create",
                                      "OggMan.Create", "VideoMan.Free", "WmpMan.Free", "OggMan.Free", "novaFinal"}));
  EXPECT_EQ(media_kind_of("bgm\\Op.OGG"), MediaKind::Ogg);
  EXPECT_EQ(media_kind_of("a.WAV"), MediaKind::Ogg);
  EXPECT_EQ(media_kind_of("x.wmv"), MediaKind::MediaPlayer);
  EXPECT_EQ(media_kind_of("x.sgt"), MediaKind::Midi);
  EXPECT_EQ(media_kind_of("CD_3"), MediaKind::CdAudio);
  EXPECT_EQ(media_kind_of("x.mp3"), MediaKind::None);
}

TEST(MediaItems, TheEndEventComesOnceOnEveryPath) {
  for (int path = 0; path < 3; ++path) {
    SCOPED_TRACE(path);
    Player p(path != 1);
    p.title.put("se.wav", tone_wav(100));
    p.title.put("se.wma", writers::write_wma(2, 44100, sine(4410, 2, 44100, 1000, 0.5)));
    TDMediaItem* item = path == 2 ? static_cast<TDMediaItem*>(p.media->WmpMan()->Add("se.wma"))
                                  : static_cast<TDMediaItem*>(p.ogg().Add("se.wav"));
    SoundUpdate sound{item};
    item->Play();
    EXPECT_TRUE(item->IsPlaying());
    for (int t = 0; t < 200; ++t) {
      p.platform->advance_ms(15);
      sound.tick();
    }
    EXPECT_EQ(sound.events, 1);
    EXPECT_FALSE(item->IsPlaying());
    EXPECT_TRUE(item->AtEnd());
  }
}

TEST(MediaItems, AReplayedOggSoundReportsNoSecondEndAMediaPlayerSoundDoes) {
  Player p(true);
  p.title.put("se.ogg", writers::write_vorbis(2, 44100, sine(4410, 2, 44100, 1000, 0.5)));
  p.title.put("se.wma", writers::write_wma(2, 44100, sine(4410, 2, 44100, 1000, 0.5)));
  TDMediaItem* ogg = p.ogg().Add("se.ogg");
  TDMediaItem* wmp = p.media->WmpMan()->Add("se.wma");
  for (TDMediaItem* item : {ogg, wmp}) {
    item->Play();
    p.run_ms(300);
    EXPECT_TRUE(item->IsEnd());
    EXPECT_FALSE(item->IsEnd());
    item->SetPosition(0);
    item->Play();
    EXPECT_TRUE(item->IsPlaying());
    p.run_ms(300);
    EXPECT_TRUE(item->AtEnd());
  }
  EXPECT_FALSE(ogg->IsEnd());
  EXPECT_TRUE(wmp->IsEnd());
}

// An item whose end comes while it still reports playing (the output's
// thread ended it between the two questions).
class EndingItem final : public TDMediaItem {
 public:
  bool IsPlaying() override { return true; }
  bool IsEnd() override { return std::exchange(m_end_unreported, false); }
  bool AtEnd() override { return true; }
  void Pause() override { ++pauses; }
  int pauses = 0;

 private:
  bool m_end_unreported = true;
};

TEST(MediaManagers, PauseAllLeavesTheEndReportToTheSound) {
  Player p(true);
  auto* item = static_cast<EndingItem*>(p.ogg().adopt(std::make_unique<EndingItem>()));
  p.ogg().PauseAll();
  EXPECT_EQ(item->pauses, 0);
  EXPECT_TRUE(item->IsEnd()) << "PauseAll used up the one end report";
}

TEST(MediaManagers, PauseAllResumeAllAndTheMediaFlag) {
  for (bool direct : {true, false}) {
    SCOPED_TRACE(direct);
    Player p(direct);
    p.title.put("a.wav", tone_wav(2000));
    TDMediaItem* a = p.ogg().Add("a.wav");
    TDMediaItem* b = p.ogg().Add("a.wav");
    TDMediaItem* c = p.ogg().Add("a.wav");
    a->Play();
    b->Play();
    b->Pause();
    p.run_ms(30);
    p.ogg().PauseAll();
    p.ogg().PauseAll();
    EXPECT_TRUE(a->IsPaused());
    EXPECT_TRUE(a->ResumeMark());
    EXPECT_FALSE(b->ResumeMark());
    p.ogg().ResumeAll();
    EXPECT_TRUE(a->IsPlaying());
    EXPECT_TRUE(b->IsPaused());
    // ResumeAll without PauseAll does nothing.
    p.ogg().ResumeAll();
    EXPECT_TRUE(b->IsPaused());

    // Switched off: Play is deferred, on every item kind (the wave mixer's
    // too); a Pause meanwhile takes the deferred play back.
    p.media->SetEnabled(false);
    EXPECT_TRUE(a->IsPaused());
    c->Play();
    EXPECT_FALSE(c->IsPlaying());
    EXPECT_TRUE(c->ResumeMark());
    b->Play();
    b->Pause();
    EXPECT_FALSE(b->ResumeMark());
    p.run_ms(60);
    p.media->SetEnabled(true);
    EXPECT_TRUE(a->IsPlaying());
    EXPECT_TRUE(c->IsPlaying());
    EXPECT_FALSE(b->IsPlaying());
    EXPECT_EQ(p.ogg().Count(), 3);
    p.ogg().Remove(b);
    p.ogg().Remove(b);
    EXPECT_EQ(p.ogg().Count(), 2);
    p.ogg().Clear();
    EXPECT_EQ(p.ogg().Count(), 0);
    EXPECT_EQ(p.media->Library()->voice_count(), 0);
    EXPECT_EQ(p.media->Library()->decoder_stream_count(), 0);
  }
}

TEST(WaveMixerItems, PositionsAre64BitAlignedAndVolumesClamp) {
  Player p(false);
  p.title.put("long.wav", tone_wav(3000));
  p.title.put("mono.wav", tone_wav(100, 0.5, 22050));
  auto* item = static_cast<TOggWaveItem*>(p.ogg().Add("long.wav"));
  // 2000 ms of 44.1 kHz stereo is 352800 bytes; 2000 × B overflows 32 bits.
  item->SetPosition(2000);
  EXPECT_EQ(item->Buffer()->ReadPosition(), 352800);
  item->SetPosition(3);  // 529.2 bytes: rounded, then down to a whole frame
  EXPECT_EQ(item->Buffer()->ReadPosition(), 528);
  item->SetRepeatPos(2500);
  EXPECT_EQ(item->Buffer()->RepeatPosition(), 441000);
  EXPECT_EQ(item->GetRepeatPos(), 2500);
  EXPECT_EQ(item->GetLength(), 3000);
  item->SetVolume(-2500);
  EXPECT_EQ(item->Buffer()->Volume(), 128);
  item->SetVolume(-7000);
  EXPECT_EQ(item->Buffer()->Volume(), 0);
  item->SetVolume(800);
  EXPECT_EQ(item->GetVolume(), 0);
  EXPECT_EQ(item->Buffer()->Volume(), 256);
  EXPECT_EQ(item->GetPan(), 0);
  // The level end: asked twice, true twice.
  auto* mono = p.ogg().Add("mono.wav");
  mono->Play();
  p.run_ms(600);
  EXPECT_TRUE(mono->IsEnd());
  EXPECT_TRUE(mono->IsEnd());
}

TEST(WaveMixerItems, UndecodableFilesFailAndLeaveNothingBehind) {
  Player p(false);
  p.title.put("bad.ogg", std::vector<std::uint8_t>(300, 7));
  try {
    p.ogg().Add("bad.ogg");
    FAIL() << "no error";
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), test::sjis("サウンドデータが不正です"));
  }
  EXPECT_EQ(p.ogg().Count(), 0);
  EXPECT_EQ(p.media->Library()->decoder_stream_count(), 0);
  EXPECT_EQ(p.ogg().Mixer().BufferCount(), 0);
  // Through the library, the same file is a sound that has ended.
  Player q(true);
  q.title.put("bad.ogg", std::vector<std::uint8_t>(300, 7));
  TDMediaItem* item = q.ogg().Add("bad.ogg");
  item->Play();
  EXPECT_EQ(item->GetLength(), 0);
  EXPECT_FALSE(item->IsPlaying());
  EXPECT_TRUE(item->IsEnd());
}

TEST(MediaItems, NamesOutsideTheTitleAreMissingFiles) {
  Player p(true);
  p.title.put("se\\a.wav", tone_wav(50));
  test::write_file(p.title.root() / "outside.wav", as_string(tone_wav(50)));
  EXPECT_NO_THROW(p.ogg().Add("se\\a.wav"));
  EXPECT_NO_THROW(p.ogg().Add("se\\..\\se\\a.wav"));
  for (std::string name : {std::string("..\\outside.wav"), std::string("se\\..\\..\\outside.wav"),
                           (p.title.root() / "outside.wav").string(), std::string("c:outside.wav"),
                           std::string("\\\\server\\outside.wav"), std::string("\\outside.wav")}) {
    SCOPED_TRACE(name);
    try {
      p.ogg().Add(name);
      FAIL() << "opened";
    } catch (const core::Error& e) {
      EXPECT_NE(e.message().find(test::sjis("ファイルがありません")), std::string::npos);
    }
    EXPECT_THROW(p.media->WmpMan()->Add(name), core::Error);
  }
  EXPECT_THROW(p.media->VideoMan()->Add("movie.mpg", false), core::Error);
}

// --- What is heard ---------------------------------------------------------------------

std::vector<std::int16_t> record(bool direct, int volume, const std::vector<std::uint8_t>& file,
                                 const std::string& name, int ms = 1000) {
  test::TempDir dir;
  {
    Player p(direct, dir / "out.wav");
    p.title.put(name, file);
    TDMediaItem* item = p.ogg().Add(name);
    item->SetVolume(volume);
    item->Play();
    p.run_ms(ms);
  }
  return read_recording(dir / "out.wav");
}

TEST(Recordings, ASineIsHeardAtItsFrequencyAndLevelOnBothPaths) {
  const auto wav = tone_wav(1500);
  const auto ogg = writers::write_vorbis(2, 44100, sine(66150, 2, 44100, 1000, 0.5), 0.8f);
  const double full = 0.5 * 32767 / std::sqrt(2.0);
  for (bool direct : {true, false}) {
    for (int volume : {0, -2500, -10000}) {
      for (int kind = 0; kind < 2; ++kind) {
        SCOPED_TRACE(std::to_string(direct) + " " + std::to_string(volume) + " " + std::to_string(kind));
        const auto out = record(direct, volume, kind ? ogg : wav, kind ? "t.ogg" : "t.wav", 1200);
        auto left = channel(out, 0);
        // The middle of the sound: past the mixer's latency, before its end.
        std::vector<double> middle(left.begin() + 22050, left.begin() + 44100);
        const double gain = volume == 0 ? 1.0 : volume == -10000 ? 0.0 : direct ? std::pow(10.0, -1.25) : 0.5;
        EXPECT_NEAR(rms(middle), full * gain, full * 0.03 + 2);
        if (gain > 0) {
          EXPECT_NEAR(frequency(middle, 44100), 1000, 3);
        }
      }
    }
  }
}

TEST(Recordings, AFadeThroughSetVolumeRisesWithoutClicksAndRunsRepeatExactly) {
  // The fade-in of a sound component: from halfway (-5000) up to 0 over
  // 1000 ms, its volume set at every tick.
  auto run = [](bool direct, const std::filesystem::path& out) {
    Player p(direct, out);
    p.title.put("bgm.ogg", writers::write_vorbis(2, 44100, sine(88200, 2, 44100, 440, 0.5), 0.5f));
    TDMediaItem* item = p.ogg().Add("bgm.ogg");
    item->SetRepeat(true);
    item->SetVolume(-10000);
    item->Play();
    for (int e = 0; e <= 1500; e += 15) {
      const int s = -10000, t = 0, d = 1000, r = (t - s) / 2;
      item->SetVolume(e >= d ? t : s + r + e * r / d);
      p.platform->advance_ms(15);
    }
  };
  for (bool direct : {true, false}) {
    test::TempDir dir;
    run(direct, dir / "a.wav");
    run(direct, dir / "b.wav");
    EXPECT_EQ(test::read_file(dir / "a.wav"), test::read_file(dir / "b.wav"));
    const auto out = read_recording(dir / "a.wav");
    const auto left = channel(out, 0);
    double last = 0;
    const std::size_t start = direct ? 0 : 8820;  // the mixer's first block comes later
    for (std::size_t w = start; w + 4410 <= 44100 + start; w += 4410) {
      const double level = rms(std::span(left).subspan(w, 4410));
      EXPECT_GE(level, last * 0.98) << w;
      last = level;
    }
    EXPECT_NEAR(rms(std::span(left).subspan(52920, 8820)), 0.5 * 32767 / std::sqrt(2.0), 400);
    // 440 Hz at half scale steps at most about 1027 per sample; the library
    // glides each volume change over a callback (the mixer changes it a
    // block at a time, by its own rule).
    if (direct) {
      EXPECT_LT(largest_step(left), 1300);
    }
  }
}

}  // namespace
}  // namespace nova::media
