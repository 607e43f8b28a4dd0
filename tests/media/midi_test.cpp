// The MIDI player: the parser's bounds and timing, what the recording port
// receives (in virtual ms) from files our writer makes, the items and the
// manager with the mended faults, the device list and "@MidiPort(s)".
#include <gtest/gtest.h>

#include "core/sjis.h"
#include "media/decoders/midi_doubles.h"
#include "media/decoders/smf_writer.h"
#include "media/midi_manager.h"
#include "media/midi_port_variables.h"
#include "media/nova_library.h"
#include "media_test_util.h"
#include "platform/headless/headless_platform.h"

namespace nova::media {
namespace {

using namespace testing;
using namespace writers;
using Records = std::vector<platform::HeadlessPlatform::MidiRecord>;

std::vector<std::uint8_t> smf(std::vector<SmfTrack> tracks, int format = 1, std::uint16_t division = 480) {
  SmfSpec spec;
  spec.format = format;
  spec.division = division;
  spec.tracks = std::move(tracks);
  return write_smf(spec);
}

TMidiV parsed(std::span<const std::uint8_t> bytes) {
  TMidiV v;
  v.Parse(bytes);
  return v;
}

std::vector<std::int32_t> times(const TMidiV& v) {
  std::vector<std::int32_t> out;
  for (std::size_t i = 0; i < v.Events().size(); ++i) out.push_back(v.Events()[i].time);
  return out;
}

TEST(MidiFile, TimesFollowTheTempoMapAndTicksKeepParseOrder) {
  const auto bytes = smf({SmfTrack{{note_on(0, 0, 60, 100), note_on(480, 0, 61, 100), tempo(960, 250000),
                                    note_on(960, 0, 62, 100), note_on(1440, 0, 63, 100)}},
                          SmfTrack{{program(0, 1, 7), control(480, 1, 10, 20)}}});
  const TMidiV v = parsed(bytes);
  ASSERT_EQ(v.Events().size(), 9u);  // 7 events and two ends of track
  // Tick 480 at 500 ms; a tempo of 250000 at 960 makes 1440 come 250 ms on.
  EXPECT_EQ(times(v), (std::vector<std::int32_t>{0, 0, 500, 500, 500, 1000, 1000, 1250, 1250}));
  // Equal ticks: the first track's event first, then the second's.
  EXPECT_EQ(v.Events()[0].kind, kMidiNoteOn);
  EXPECT_EQ(v.Events()[1].kind, kMidiProgram);
  EXPECT_EQ(v.Events()[2].track, 0);
  EXPECT_EQ(v.Events()[3].track, 1);
  EXPECT_EQ(v.Events()[4].kind, kMidiEndOfTrack);  // the second track's, not sent
  EXPECT_EQ(v.Events()[5].kind, kMidiTempo);
  EXPECT_EQ(v.Events()[v.Events().size() - 1].kind, kMidiEndOfTrack);
  EXPECT_EQ(v.Length(), 1250);
  EXPECT_EQ(v.Tempo(), 250000u);

  // The same file as format 0 without running status, as format 2, and
  // inside RIFF "RMID" gives the same times.
  SmfSpec plain;
  plain.running_status = false;
  plain.tracks = {SmfTrack{{note_on(0, 0, 60, 100), note_on(480, 0, 61, 100), tempo(960, 250000),
                            note_on(960, 0, 62, 100), note_on(1440, 0, 63, 100)}}};
  EXPECT_EQ(times(parsed(write_smf(plain))), (std::vector<std::int32_t>{0, 500, 1000, 1000, 1250, 1250}));
  EXPECT_EQ(times(parsed(wrap_rmid(bytes))), times(v));
  auto format2 = bytes;
  format2[9] = 2;
  EXPECT_EQ(times(parsed(format2)), times(v));

  // A frame-based division: 25 frames of 40 ticks, one ms a tick.
  const auto frames = smf({SmfTrack{{note_on(0, 0, 60, 1), note_on(250, 0, 61, 1)}}}, 0, 0xE728);
  EXPECT_EQ(times(parsed(frames)), (std::vector<std::int32_t>{0, 250, 250}));
  // Ties go to even: a tick at division 3 and tempo 1500 is 0.5 ms, so
  // one tick adds 0 and three add 2.
  const auto ties = smf({SmfTrack{{tempo(0, 1500), note_on(1, 0, 60, 1), note_on(4, 0, 61, 1)}}}, 0, 3);
  EXPECT_EQ(times(parsed(ties)), (std::vector<std::int32_t>{0, 0, 2, 2}));
}

TEST(MidiFile, RunningStatusChunksAndBadDataEndTracksWithoutFailing) {
  // Running status survives a meta event and a system exclusive; the data
  // of each event is its status, meta type and bytes.
  const std::vector<std::uint8_t> track = {0x00, 0x90, 60,   100,  0x00, 0xFF, 0x01, 0x01, 'x',  0x00, 0xF0,
                                           0x02, 0x7D, 0xF7, 0x10, 61,   100,  0x00, 0xFF, 0x2F, 0x00};
  std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 1, 0xE0};
  // A chunk that is not a track comes first and is skipped by its length.
  file.insert(file.end(), {'X', 'F', 'I', 'H', 0, 0, 0, 2, 0xAA, 0xBB});
  file.insert(file.end(), {'M', 'T', 'r', 'k', 0, 0, 0, static_cast<std::uint8_t>(track.size())});
  file.insert(file.end(), track.begin(), track.end());
  TMidiV v = parsed(file);
  ASSERT_EQ(v.Events().size(), 5u);
  EXPECT_EQ(v.Events()[1].category, kMidiMeta);
  EXPECT_EQ(v.Events()[2].category, kMidiSysEx);
  const auto d = v.Events().data(v.Events()[3]);
  EXPECT_EQ(std::vector<std::uint8_t>(d.begin(), d.end()), (std::vector<std::uint8_t>{0x90, 61, 100}));
  EXPECT_EQ(v.Events()[3].tick, 16);
  const auto sysex_data = v.Events().data(v.Events()[2]);
  EXPECT_EQ(std::vector<std::uint8_t>(sysex_data.begin(), sysex_data.end()),
            (std::vector<std::uint8_t>{0xF0, 0x7D, 0xF7}));

  // Every cut of the file parses without reading past it; a cut inside the
  // track ends it, and an end of track is appended at the largest tick.
  for (std::size_t n = 0; n < file.size(); ++n) {
    std::vector<std::uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
    TMidiV c = parsed(cut);
    if (!c.Events().empty()) {
      EXPECT_EQ(c.Events()[c.Events().size() - 1].kind, kMidiEndOfTrack) << n;
    }
  }
  std::vector<std::uint8_t> cut(file.begin(), file.end() - 4);
  cut[31] = static_cast<std::uint8_t>(track.size() - 4);  // the chunk agrees
  TMidiV c = parsed(cut);
  ASSERT_EQ(c.Events().size(), 5u);
  EXPECT_EQ(c.Events()[4].tick, 16);

  // A data byte before any channel status ends the track at once.
  std::vector<std::uint8_t> orphan = {'M',  'T', 'h', 'd', 0,   0, 0, 6, 0, 0,    0,  1,   1,
                                      0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, 4, 0x00, 60, 100, 0};
  EXPECT_TRUE(parsed(orphan).Events().empty());
  // A quantity of five bytes ends the track too.
  std::vector<std::uint8_t> long_delta = {'M', 'T', 'h', 'd', 0, 0, 0, 6,    0,    0,    0,    1,    1,    0xE0, 'M',
                                          'T', 'r', 'k', 0,   0, 0, 8, 0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 60,   1};
  EXPECT_TRUE(parsed(long_delta).Events().empty());
  // Division 0, no "MThd" (a segment file) and nothing: no events.
  auto zero = smf({SmfTrack{{note_on(0, 0, 60, 1)}}}, 0, 0);
  EXPECT_TRUE(parsed(zero).Events().empty());
  const std::string segment = "RIFF\x10\0\0\0DMSGsegh";
  EXPECT_TRUE(
      parsed(std::span(reinterpret_cast<const std::uint8_t*>(segment.data()), segment.size())).Events().empty());
  EXPECT_TRUE(parsed({}).Events().empty());

  // A short or zero tempo is ignored; ticks and times cap at INT32_MAX.
  const auto odd_tempo = smf({SmfTrack{{SmfEvent{0, {0xFF, 0x51, 0x01, 0x00}}, tempo(0, 0), note_on(480, 0, 1, 1)}}});
  EXPECT_EQ(parsed(odd_tempo).Events()[2].time, 500);
  const auto far = smf({SmfTrack{{note_on(0x0FFFFFFF, 0, 1, 1), note_on(0x0FFFFFFF, 0, 2, 1)}}}, 0, 1);
  EXPECT_EQ(parsed(far).Length(), INT32_MAX);
}

TEST(MidiPlayer, AGapBetweenTicksAdvancesASecondAtMost) {
  platform::HeadlessPlatform platform;
  doubles::ManualClock clock;
  TMidiPlayV player(platform.midi(), clock, doubles::idle_timers());
  player.Load(smf({SmfTrack{{note_on(0, 0, 60, 1), note_on(480 * 10, 0, 61, 1)}}}));
  player.PlayFrom(0);
  clock.now = 1500;
  player.Tick();
  EXPECT_EQ(player.Position(), 1000);
  clock.now = 1510;
  player.Tick();
  EXPECT_EQ(player.Position(), 1010);
  EXPECT_TRUE(player.IsPlaying());
}

// An output whose ports never open (no sound font, no device).
class ClosedOutput final : public platform::MidiOutput {
 public:
  std::vector<platform::MidiPortInfo> ports() override { return {{"gone"}}; }
  std::unique_ptr<platform::MidiPort> open(int) override { return nullptr; }
};

TEST(MidiPlayer, WithoutAPortTheClockStillRunsToTheEnd) {
  ClosedOutput output;
  doubles::ManualClock clock;
  TMidiPlayV player(output, clock, doubles::idle_timers());
  player.Load(smf({SmfTrack{{note_on(0, 0, 60, 1), note_on(960, 0, 61, 1)}}}));
  EXPECT_FALSE(player.OpenDevice(-1));
  player.ResetDevice();
  player.PlayFrom(0);
  EXPECT_TRUE(player.IsPlaying());
  for (int i = 0; i < 110 && !player.IsEnd(); ++i) {
    clock.now += 10;
    player.Tick();
  }
  EXPECT_TRUE(player.IsEnd());
  EXPECT_EQ(player.Position(), 1010);
}

// The manager on the headless platform: port 0 (the mapper) records.
struct MidiRig {
  explicit MidiRig(std::filesystem::path record = {})
      : platform(options(std::move(record))), library(platform.sound()) {
    manager = std::make_unique<TMidiManager>(
        library, title.files(), platform.midi(), platform.clock(),
        [this](std::uint32_t ms, std::function<void()> cb) { return platform.create_timer(ms, std::move(cb)); });
  }
  ~MidiRig() { manager.reset(); }
  static platform::HeadlessOptions options(std::filesystem::path record) {
    platform::HeadlessOptions o;
    o.record_audio = std::move(record);
    o.echo_message_boxes = false;
    return o;
  }
  void run_ms(int ms) {
    for (int t = 0; t < ms; t += 15) platform.advance_ms(15);
  }
  TMidiItem* add(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    title.put(name, bytes);
    return manager->Add(name);
  }
  // The messages of one kind (status high nibble), with their times.
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> sent(std::uint8_t status_high,
                                                                        std::uint32_t from = 0) {
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> out;
    for (const auto& r : platform.midi_records()) {
      if (r.time_ms >= from && !r.bytes.empty() && (r.bytes[0] & 0xF0) == status_high)
        out.emplace_back(r.time_ms, r.bytes);
    }
    return out;
  }
  std::vector<std::uint32_t> note_times(int key) {
    std::vector<std::uint32_t> out;
    for (const auto& [t, b] : sent(0x90)) {
      if (b.size() == 3 && b[1] == key && b[2] > 0) out.push_back(t);
    }
    return out;
  }

  TitleFolder title;
  platform::HeadlessPlatform platform;
  NovaLibrary library;
  std::unique_ptr<TMidiManager> manager;
};

TEST(MidiItems, MessagesReachThePortAtTheirTimesOneTickLate) {
  MidiRig rig;
  TMidiItem* item = rig.add(
      "a.mid", smf({SmfTrack{{program(0, 0, 5), note_on(0, 0, 60, 100), note_on(480, 0, 61, 100), tempo(960, 250000),
                              note_on(960, 0, 62, 100), note_on(1440, 0, 63, 100), note_off(1500, 0, 63)}}}));
  EXPECT_EQ(item->GetLength(), 1281);  // parsed without the player
  EXPECT_EQ(rig.manager->CurrentItem(), nullptr);
  item->Play();
  EXPECT_TRUE(item->IsPlaying());
  rig.run_ms(2000);
  // The first message: General MIDI System On, as the device's reset.
  const Records all = rig.platform.midi_records();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all[0].bytes, (std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
  // An event at t ms goes out at the first 10 ms tick after t.
  EXPECT_EQ(rig.note_times(60), (std::vector<std::uint32_t>{10}));
  EXPECT_EQ(rig.note_times(61), (std::vector<std::uint32_t>{510}));
  EXPECT_EQ(rig.note_times(62), (std::vector<std::uint32_t>{1010}));
  EXPECT_EQ(rig.note_times(63), (std::vector<std::uint32_t>{1260}));
  // Program before note at one tick, in file order.
  const auto programs = rig.sent(0xC0);
  ASSERT_EQ(programs.size(), 1u);
  EXPECT_EQ(programs[0].first, 10u);
  // An ended file is not playing (it would read as playing for ever).
  EXPECT_TRUE(item->IsEnd());
  EXPECT_FALSE(item->IsPlaying());
  EXPECT_EQ(rig.manager->DeviceName(-1), core::sjis("MIDIマッパー"));
  EXPECT_EQ(rig.manager->DeviceName(99), core::sjis("MIDIマッパー"));
}

TEST(MidiItems, PlayFromTheMiddleChasesAllButNotesAndVolumeScalesChannelVolume) {
  MidiRig rig;
  const std::uint8_t gs[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
  TMidiItem* item = rig.add("b.mid", smf({SmfTrack{{program(0, 1, 20), control(0, 1, 7, 100), note_on(0, 1, 50, 90),
                                                    sysex(100, gs), pitch_bend(200, 1, 9000), note_off(400, 1, 50),
                                                    note_on(960, 1, 52, 90), note_off(1920, 1, 52)}}}));
  item->SetVolume(-2500);
  item->SetPosition(1000);  // not current: kept for the play
  item->Play();
  // The chase leaves the position at the last event it passed (416 ms:
  // each delta is rounded on its own).
  EXPECT_EQ(item->GetPosition(), 416);
  const Records chased = rig.platform.midi_records();
  // Program, controller, system exclusive and pitch bend; no note.
  std::vector<std::uint8_t> statuses;
  for (const auto& r : chased) statuses.push_back(r.bytes[0]);
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), 0xC1), statuses.end());
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), 0xE1), statuses.end());
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 0xF0), 2);  // the reset and the file's
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 0x91), 0);
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 0x81), 0);
  // Channel volume 100 at 75 %: 75 is the last word on channel 1.
  std::optional<int> volume;
  for (const auto& r : chased) {
    if (r.bytes.size() == 3 && r.bytes[0] == 0xB1 && r.bytes[1] == 7) volume = r.bytes[2];
  }
  EXPECT_EQ(volume, 75);
  // The note at 1000 ms still comes.
  rig.run_ms(700);
  EXPECT_EQ(rig.sent(0x90).size(), 1u);

  // Volume above full puts no status byte where data goes; below -10000
  // is silence.
  item->SetVolume(2000);
  EXPECT_EQ(item->GetVolume(), 0);
  item->SetVolume(-20000);
  EXPECT_EQ(item->GetVolume(), -10000);
  for (const auto& [t, b] : rig.sent(0xB0)) {
    for (std::size_t i = 1; i < b.size(); ++i) EXPECT_LT(b[i], 0x80);
  }
  std::optional<int> last;
  for (const auto& [t, b] : rig.sent(0xB0)) {
    if (b[0] == 0xB1 && b[1] == 7) last = b[2];
  }
  EXPECT_EQ(last, 0);
}

TEST(MidiItems, RepeatLoopsAfterATrailingRestAndStaysWithItsItem) {
  MidiRig rig;
  // The end of track lies well after the last note.
  SmfTrack loop{{note_on(0, 0, 60, 100), note_off(96, 0, 60)}};
  loop.end_tick = 960;
  TMidiItem* bgm = rig.add("bgm.mid", smf({loop}));
  TMidiItem* jingle = rig.add("jingle.mid", smf({SmfTrack{{note_on(0, 0, 70, 100), note_off(480, 0, 70)}}}));
  // Set before the item is current: kept by the item.
  bgm->SetRepeat(true);
  EXPECT_TRUE(bgm->GetRepeat());
  bgm->Play();
  rig.run_ms(2600);
  // Again after the end of track at 1000 ms, at the times Tick gives: the
  // loop starts over at the tick after the end (1010), its first note one
  // tick later.
  EXPECT_EQ(rig.note_times(60), (std::vector<std::uint32_t>{10, 1020, 2030}));
  EXPECT_FALSE(bgm->IsEnd());
  EXPECT_TRUE(bgm->IsPlaying());

  // A jingle after the looping music plays once and ends.
  jingle->Play();
  EXPECT_FALSE(jingle->GetRepeat());
  rig.run_ms(1500);
  EXPECT_EQ(rig.note_times(70).size(), 1u);
  EXPECT_TRUE(jingle->IsEnd());
  EXPECT_FALSE(bgm->IsPlaying());
  EXPECT_TRUE(bgm->GetRepeat());
}

TEST(MidiItems, ALoadStartsTheNewFileFromItsFirstEventAndAnEmptyFilePlaysNothing) {
  MidiRig rig;
  TMidiItem* a = rig.add("a.mid", smf({SmfTrack{{note_on(0, 0, 60, 100), note_on(960, 0, 61, 100),
                                                 note_on(1920, 0, 62, 100), note_off(2880, 0, 62)}}}));
  TMidiItem* b = rig.add("b.mid", smf({SmfTrack{{program(0, 2, 48), note_on(0, 2, 40, 100), note_off(480, 2, 40)}}}));
  TMidiItem* empty = rig.add("empty.mid", {});
  TMidiItem* missing = rig.manager->Add("missing.mid");
  a->Play();
  rig.run_ms(1500);
  // The second file's program change comes before its notes.
  b->Play();
  rig.run_ms(30);
  const auto programs = rig.sent(0xC0);
  ASSERT_EQ(programs.size(), 1u);
  EXPECT_EQ(programs[0].second, (std::vector<std::uint8_t>{0xC2, 48}));
  EXPECT_EQ(rig.sent(0x90).back().second[1], 40);

  // An empty file becomes current and ends at once, with repeat too; the
  // previous file is not heard again. So does a missing one, without error.
  for (TMidiItem* item : {empty, missing}) {
    item->SetRepeat(true);
    const std::size_t before = rig.sent(0x90).size();
    item->Play();
    EXPECT_EQ(rig.manager->CurrentItem(), item);
    rig.run_ms(600);
    EXPECT_EQ(rig.sent(0x90).size(), before);
    EXPECT_FALSE(item->IsPlaying());
    EXPECT_EQ(item->GetLength(), 0);
  }
}

TEST(MidiItems, PauseReleasesThePedalAndResumePressesItAgain) {
  MidiRig rig;
  TMidiItem* item = rig.add("p.mid", smf({SmfTrack{{control(0, 3, 64, 127), note_on(0, 3, 60, 100),
                                                    note_off(240, 3, 60), note_on(1920, 3, 62, 100)}}}));
  item->Play();
  rig.run_ms(600);
  const std::size_t before = rig.platform.midi_records().size();
  item->Pause();
  EXPECT_TRUE(item->IsPaused());
  EXPECT_FALSE(item->IsPlaying());
  const Records all = rig.platform.midi_records();
  const Records stop(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
  ASSERT_EQ(stop.size(), 32u);
  for (std::uint8_t ch = 0; ch < 16; ++ch) {
    EXPECT_EQ(stop[ch].bytes, (std::vector<std::uint8_t>{static_cast<std::uint8_t>(0xB0 | ch), 123, 0}));
    EXPECT_EQ(stop[16 + ch].bytes, (std::vector<std::uint8_t>{static_cast<std::uint8_t>(0xB0 | ch), 64, 0}));
  }
  item->Play();
  const Records resumed = rig.platform.midi_records();
  bool pedal = false;
  for (std::size_t i = all.size(); i < resumed.size(); ++i) {
    pedal = pedal || resumed[i].bytes == std::vector<std::uint8_t>{0xB3, 64, 127};
  }
  EXPECT_TRUE(pedal);
  rig.run_ms(2100);
  EXPECT_EQ(rig.note_times(62).size(), 1u);
}

TEST(MidiItems, DisabledManagerDefersAndPauseAllResumes) {
  MidiRig rig;
  TMidiItem* item = rig.add("d.mid", smf({SmfTrack{{note_on(0, 0, 60, 100), note_on(2000, 0, 61, 100)}}}));
  rig.manager->SetEnabled(false);
  item->Play();
  rig.run_ms(100);
  EXPECT_TRUE(rig.platform.midi_records().empty());
  rig.manager->SetEnabled(true);
  rig.run_ms(100);
  EXPECT_EQ(rig.note_times(60).size(), 1u);
  rig.manager->PauseAll();
  EXPECT_TRUE(item->IsPaused());
  rig.manager->ResumeAll();
  EXPECT_TRUE(item->IsPlaying());
  rig.manager->Remove(item);
  EXPECT_EQ(rig.manager->CurrentItem(), nullptr);
  EXPECT_FALSE(rig.manager->Player()->DeviceOpen());
}

// The synthesizer's recording: the organ held by the pedal, paused,
// resumed, then a fade by a volume step each tick. Returns the samples.
std::vector<std::int16_t> synthesized_run(const std::filesystem::path& out) {
  {
    MidiRig rig(out);
    if (rig.manager->DeviceCount() < 3) return {};
    rig.manager->SelectDevice(2);
    EXPECT_EQ(rig.manager->CurrentDeviceName(), "Software synthesizer");
    TMidiItem* item =
        rig.add("organ.mid", smf({SmfTrack{{program(0, 0, 19), control(0, 0, 64, 127), note_on(480, 0, 60, 110),
                                            note_off(720, 0, 60), note_on(2880, 0, 67, 110), note_off(4800, 0, 67)}}}));
    item->Play();
    rig.run_ms(1200);  // the note from 500 ms, held by the pedal after 750
    item->Pause();
    rig.run_ms(1500);
    item->Play();
    rig.run_ms(3600);  // the second note from about 3 s after the resume
    for (int v = 0; v >= -10000; v -= 250) {
      item->SetVolume(v);
      rig.run_ms(15);
    }
  }
  return read_recording(out);
}

double window_rms(const std::vector<std::int16_t>& pcm, int from_ms, int to_ms) {
  const auto left = channel(pcm, 0);
  const auto a = static_cast<std::size_t>(from_ms) * 441 / 10;
  const auto b = std::min(left.size(), static_cast<std::size_t>(to_ms) * 441 / 10);
  return a < b ? rms(std::span(left).subspan(a, b - a)) : 0;
}

TEST(MidiSynthesizer, NotesSoundOnTimePausesSilenceThePedalAndRunsRepeat) {
  test::TempDir dir;
  const auto pcm = synthesized_run(dir / "one.wav");
  if (pcm.empty()) GTEST_SKIP() << "no General MIDI sound font installed";
  // Silence until the note's event (500 ms, sent at 510), sound after it.
  EXPECT_EQ(window_rms(pcm, 0, 500), 0);
  const double held = window_rms(pcm, 900, 1200);
  EXPECT_GT(held, 100);
  // Paused at 1200: below -60 dB of the held note within a second, although
  // the pedal held it.
  EXPECT_LT(window_rms(pcm, 2100, 2200), held / 1000) << held;
  // Resumed at 2700: the chase restarts the file and its second note comes.
  EXPECT_GT(window_rms(pcm, 5900, 6200), 100);
  // The fade: each 15 ms step lowers the level, to silence at the end.
  const int fade = 6300;
  double previous = window_rms(pcm, fade, fade + 60);
  EXPECT_GT(previous, 100);
  int falls = 0;
  for (int at = fade + 60; at + 60 <= fade + 600; at += 60) {
    const double now = window_rms(pcm, at, at + 60);
    falls += now < previous;
    previous = now;
  }
  EXPECT_GE(falls, 7);
  EXPECT_LT(window_rms(pcm, fade + 570, fade + 615), held / 100);
  // Two runs give the same bytes.
  EXPECT_EQ(test::read_file(dir / "one.wav"), (synthesized_run(dir / "two.wav"), test::read_file(dir / "two.wav")));
}

TEST(MidiPorts, TheVariablesListSelectAndFallBackToTheMapper) {
  MidiRig rig;
  MidiPortVariables vars(*rig.manager);
  const int count = vars.count(46);
  ASSERT_GE(count, 2);
  expr::TSysValue v;
  vars.read(46, 0, v);
  EXPECT_EQ(v.s, core::sjis("MIDIマッパー"));
  vars.read(46, 1, v);
  EXPECT_EQ(v.s, "Recording port");
  vars.read(46, count, v);
  EXPECT_EQ(v.s, "");
  expr::TSysValue name;
  name.s = "recording PORT";
  vars.write(45, -1, name);
  vars.read(45, -1, v);
  EXPECT_EQ(v.s, "Recording port");
  name.s = "no such port";
  vars.write(45, -1, name);
  vars.read(45, -1, v);
  EXPECT_EQ(v.s, core::sjis("MIDIマッパー"));
  EXPECT_EQ(rig.manager->SelectedDevice(), 0);
}

}  // namespace
}  // namespace nova::media
