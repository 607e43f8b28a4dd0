// CD audio from folders of track files: the name parsers, the drive search
// with "CDDrive", lengths and positions, pausing and seeking in whole
// seconds, the line volume as a gain on the sound, seamless repeat, and the
// mended faults, heard in the headless recording.
#include <gtest/gtest.h>

#include <map>

#include "media/cd_folders.h"
#include "media/cdda_manager.h"
#include "media/nova_library.h"
#include "media_test_util.h"
#include "platform/headless/headless_platform.h"

namespace nova::media {
namespace {

using namespace testing;

// `seconds` of a constant left and right value, 44100 Hz 16-bit stereo.
std::vector<std::uint8_t> constant_wav(double seconds, std::int32_t left, std::int32_t right) {
  const auto frames = static_cast<std::size_t>(seconds * 44100);
  std::vector<std::int32_t> s(frames * 2);
  for (std::size_t i = 0; i < frames; ++i) {
    s[i * 2] = left;
    s[i * 2 + 1] = right;
  }
  return wav16(2, 44100, s);
}

struct CdRig {
  // Folders by drive, each a map of file name → bytes.
  explicit CdRig(std::vector<std::map<std::string, std::vector<std::uint8_t>>> discs, std::string cd_drive = {}) {
    std::vector<std::filesystem::path> folders;
    for (std::size_t i = 0; i < discs.size(); ++i) {
      const auto folder = dir / ("disc" + std::to_string(i));
      std::filesystem::create_directories(folder);
      for (const auto& [name, bytes] : discs[i]) test::write_file(folder / name, as_string(bytes));
      folders.push_back(folder);
    }
    platform::HeadlessOptions o;
    o.record_audio = dir / "out.wav";
    platform = std::make_unique<platform::HeadlessPlatform>(o);
    library = std::make_unique<NovaLibrary>(platform->sound());
    audio = std::make_unique<CdFolderAudio>(*library, folders);
    manager = std::make_unique<TCddaManager>(
        *library, title.files(), *audio, "Vendor\\Title",
        [cd_drive](std::string_view key, std::string_view value) -> std::optional<std::string> {
          if (cd_drive.empty() || key != "Software\\Vendor\\Title" || value != "CDDrive") return std::nullopt;
          return cd_drive;
        });
  }
  ~CdRig() { finish(); }
  // Frees everything; the recording is complete afterwards.
  void finish() {
    manager.reset();
    audio.reset();
    library.reset();
    platform.reset();
  }
  void run_ms(int ms) {
    for (int t = 0; t < ms; t += 15) platform->advance_ms(15);
  }
  std::vector<std::int16_t> recording() {
    finish();
    return read_recording(dir / "out.wav");
  }

  test::TempDir dir;
  TitleFolder title;
  std::unique_ptr<platform::HeadlessPlatform> platform;
  std::unique_ptr<NovaLibrary> library;
  std::unique_ptr<CdFolderAudio> audio;
  std::unique_ptr<TCddaManager> manager;
};

TEST(CdNames, TrackNumbersAndTrackFilesParseStrictly) {
  EXPECT_EQ(cd_track_number("CD_1"), 1);
  EXPECT_EQ(cd_track_number("CD_07"), 7);
  EXPECT_EQ(cd_track_number("CD_99"), 99);
  for (const char* bad : {"CD_0", "CD_x", "CD_100", "CD_", "CD_-1", "CD_+3", "CD_1a", "CD_ 1"})
    EXPECT_EQ(cd_track_number(bad), -1) << bad;
  EXPECT_EQ(track_file_number("track01.wav"), 1);
  EXPECT_EQ(track_file_number("TRACK02.OGG"), 2);
  EXPECT_EQ(track_file_number("Track99.cdda.wav"), 99);
  for (const char* bad : {"track00.wav", "track1.wav", "track01", "track001.wav", "tracks01.wav", "xtrack01.wav",
                          "track0a.wav", "track01wav"})
    EXPECT_EQ(track_file_number(bad), -1) << bad;
}

TEST(CdItems, LengthsPositionsAndNamesThatNeverPlay) {
  CdRig rig({{{"track01.wav", constant_wav(2.5, 1000, 1000)},
              {"TRACK03.cdda.wav", constant_wav(1.2, 1000, 1000)},
              {"notes.txt", {'x'}}}});
  TCddaItem* one = rig.manager->Add("CD_1");
  TCddaItem* two = rig.manager->Add("CD_2");
  TCddaItem* three = rig.manager->Add("CD_3");
  EXPECT_EQ(one->GetLength(), 2000);
  EXPECT_EQ(two->GetLength(), 0);  // the missing number: a data track
  EXPECT_EQ(three->GetLength(), 1000);
  // Lengths are asked without touching the player.
  EXPECT_EQ(rig.manager->CurrentItem(), nullptr);
  EXPECT_EQ(rig.manager->DriveState(), 0);
  for (const char* name : {"CD_0", "CD_x", "CD_100", "CD_4"}) {
    TCddaItem* item = rig.manager->Add(name);
    EXPECT_EQ(item->GetLength(), 0) << name;
    item->Play();
    EXPECT_FALSE(item->IsPlaying()) << name;
    EXPECT_FALSE(item->IsEnd()) << name;
  }
  one->Play();
  EXPECT_TRUE(one->IsPlaying());
  rig.run_ms(1500);
  EXPECT_EQ(one->GetPosition(), 1000);  // whole seconds played
  rig.run_ms(1200);
  EXPECT_FALSE(one->IsPlaying());
  EXPECT_TRUE(one->IsEnd());
}

TEST(CdItems, PauseAndSeekKeepWholeSeconds) {
  CdRig rig({{{"track01.wav", constant_wav(12, 800, 800)}}});
  TCddaItem* item = rig.manager->Add("CD_1");
  item->Play();
  rig.run_ms(10050);
  item->Pause();
  EXPECT_TRUE(item->IsPaused());
  EXPECT_FALSE(item->IsPlaying());
  // Paused by the media flag or a pause: not the end.
  EXPECT_FALSE(item->IsEnd());
  item->Play();
  rig.run_ms(100);
  EXPECT_EQ(item->GetPosition(), 9000);  // 10 s in saves 9 s
  item->Pause();
  item->SetPosition(2500);  // paused: stored as 2 s
  EXPECT_EQ(item->GetPosition(), 0);
  item->Play();
  rig.run_ms(100);
  EXPECT_EQ(item->GetPosition(), 2000);
  // Not paused: plays from there at once.
  item->SetPosition(5900);
  rig.run_ms(100);
  EXPECT_EQ(item->GetPosition(), 5000);
}

TEST(CdItems, TheLineVolumeScalesTheSoundAndIsGivenBack) {
  CdRig rig({{{"track01.wav", constant_wav(3, 10000, -6000)}}});
  TCddaItem* item = rig.manager->Add("CD_1");
  item->SetVolume(-2500);
  item->Play();
  rig.run_ms(1000);
  EXPECT_EQ(rig.audio->line_volume().left, 32767);
  item->SetVolume(-5000);
  rig.run_ms(1000);
  EXPECT_EQ(rig.audio->line_volume().left, 0);
  item->SetVolume(-20000);  // clamped; still silence
  EXPECT_EQ(item->GetVolume(), -10000);
  // Deactivated: the line is given back, and read again on the way back.
  rig.manager->PauseAll();
  rig.manager->RestoreLineVolume();
  EXPECT_EQ(rig.audio->line_volume().left, 65535);
  rig.manager->ReadLineVolume();
  rig.manager->ResumeAll();
  EXPECT_EQ(rig.audio->line_volume().left, 0);
  rig.manager->Remove(item);
  rig.manager.reset();
  EXPECT_EQ(rig.audio->line_volume().right, 65535);
  const auto pcm = rig.recording();
  ASSERT_GT(pcm.size(), 2u * 44100 * 2);
  // sample × 32767 ÷ 65535 on each channel, then silence.
  EXPECT_EQ(pcm[2 * 22050], 10000 * 32767 / 65535);
  EXPECT_EQ(pcm[2 * 22050 + 1], -6000 * 32767 / 65535);
  EXPECT_EQ(pcm[2 * 66150], 0);
  EXPECT_EQ(pcm[2 * 66150 + 1], 0);
}

TEST(CdItems, RepeatIsSeamless) {
  CdRig rig({{{"track01.wav", constant_wav(1, 7000, 7000)}}});
  TCddaItem* item = rig.manager->Add("CD_1");
  item->SetRepeat(true);
  item->Play();
  rig.run_ms(2600);
  EXPECT_TRUE(item->IsPlaying());
  EXPECT_FALSE(item->IsEnd());
  const auto pcm = rig.recording();
  // Every sample from the start to 2.5 s is the track's: no gap at the
  // loop points.
  std::size_t gaps = 0;
  for (std::size_t i = 2 * 4410; i < 2 * 110250; ++i) gaps += pcm[i] != 7000;
  EXPECT_EQ(gaps, 0u);
}

TEST(CdDrives, CdDriveValuePicksOneDriveOnly) {
  const std::map<std::string, std::vector<std::uint8_t>> empty;
  const std::map<std::string, std::vector<std::uint8_t>> disc = {{"track01.wav", constant_wav(1, 100, 100)}};
  {
    // Without a value every drive is tried: D: has no tracks, E: does.
    CdRig rig({empty, disc});
    EXPECT_EQ(rig.manager->Add("CD_1")->GetLength(), 1000);
    EXPECT_EQ(rig.manager->DriveState(), 1);
  }
  {
    CdRig rig({disc, disc}, "e");
    EXPECT_EQ(rig.manager->DriveList(), (std::vector<std::string>{"D:", "E:"}));
    EXPECT_EQ(rig.manager->Add("CD_1")->GetLength(), 1000);
    EXPECT_EQ(rig.manager->DriveState(), 1);
  }
  {
    // "E" without tracks: no other drive is tried, for the whole run.
    CdRig rig({disc, empty}, "E");
    TCddaItem* item = rig.manager->Add("CD_1");
    EXPECT_EQ(item->GetLength(), 0);
    item->Play();
    EXPECT_FALSE(item->IsPlaying());
    EXPECT_EQ(rig.manager->DriveState(), -2);
    rig.manager->FindDrive();
    EXPECT_EQ(rig.manager->DriveState(), -2);
  }
  {
    // A value naming no drive: every drive is tried.
    CdRig rig({disc}, "Q:");
    EXPECT_EQ(rig.manager->Add("CD_1")->GetLength(), 1000);
  }
}

TEST(CdItems, AFailedPrepareDoesNotPlayTheTrackAnotherItemLeft) {
  CdRig rig({{{"track01.wav", constant_wav(3, 500, 500)}}});
  TCddaItem* music = rig.manager->Add("CD_1");
  TCddaItem* beyond = rig.manager->Add("CD_9");
  music->Play();
  rig.run_ms(300);
  beyond->Play();
  EXPECT_EQ(rig.manager->CurrentItem(), nullptr);
  EXPECT_FALSE(beyond->IsPlaying());
  EXPECT_FALSE(beyond->IsEnd());
  EXPECT_FALSE(music->IsPlaying());
  rig.run_ms(300);
  EXPECT_EQ(rig.manager->Drive()->mode(), platform::CdMode::Stopped);
  // A disabled manager defers the play to its enabling.
  rig.manager->SetEnabled(false);
  music->Play();
  EXPECT_FALSE(music->IsPlaying());
  rig.manager->SetEnabled(true);
  EXPECT_TRUE(music->IsPlaying());
}

}  // namespace
}  // namespace nova::media
