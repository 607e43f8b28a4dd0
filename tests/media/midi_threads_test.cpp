// The MIDI player's timer thread against the main thread, with the
// software synthesizer rendering on the null output's thread: items loaded,
// played, paused, sought, switched between ports and freed while the timer
// sends. Run under ThreadSanitizer in CI (label "threads").
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "media/decoders/midi_doubles.h"
#include "media/decoders/smf_writer.h"
#include "media/midi_manager.h"
#include "media/nova_library.h"
#include "media_test_util.h"
#include "platform/synth_midi.h"
#include "platform/timer.h"

namespace nova::media {
namespace {

using namespace testing;
using namespace writers;

// Port 0 the synthesizer, port 1 a counter of what it is sent.
class SynthOutput final : public platform::MidiOutput {
 public:
  SynthOutput(platform::SoundOutput& sound, std::filesystem::path font) : m_sound(sound), m_font(std::move(font)) {}
  class CountingPort final : public platform::MidiPort {
   public:
    explicit CountingPort(std::atomic<int>& n) : m_n(n) {}
    void short_message(std::uint32_t) override { ++m_n; }
    void long_message(std::span<const std::uint8_t>) override { ++m_n; }
    void reset() override {}
    std::atomic<int>& m_n;
  };
  std::vector<platform::MidiPortInfo> ports() override { return {{"Software synthesizer"}, {"Counter"}}; }
  std::unique_ptr<platform::MidiPort> open(int index) override {
    if (index == 1) return std::make_unique<CountingPort>(counted);
    return platform::open_synth_port(m_sound, m_font);
  }
  std::atomic<int> counted{0};

 private:
  platform::SoundOutput& m_sound;
  std::filesystem::path m_font;
};

TEST(Threads, MidiItemsComeAndGoWhileTheTimerSends) {
  const auto font = platform::find_sound_font();
  if (!font) GTEST_SKIP() << "no General MIDI sound font installed";
  auto sound = platform::create_null_sound_output();
  NovaLibrary library(*sound);
  doubles::SteadyClock clock;
  SynthOutput output(*sound, *font);
  TitleFolder title;
  SmfSpec dense;
  dense.tracks.resize(2);
  for (std::uint32_t i = 0; i < 400; ++i) {
    dense.tracks[i % 2].events.push_back(i % 2 ? note_off(i * 5, 0, 60 + i % 12) : note_on(i * 5, 1, 60 + i % 12, 90));
    if (i % 50 == 0) dense.tracks[0].events.push_back(control(i * 5 + 1, 0, 64, i % 100 ? 127 : 0));
  }
  title.put("a.mid", write_smf(dense));
  title.put("b.mid", write_smf(SmfSpec{0, 96, true, {SmfTrack{{program(0, 0, 19), note_on(0, 0, 48, 100)}}}}));
  TMidiManager manager(library, title.files(), output, clock, [](std::uint32_t ms, std::function<void()> cb) {
    return platform::start_thread_timer(ms, std::move(cb), platform::ThreadPriority::TimeCritical);
  });
  for (int i = 0; i < 300; ++i) {
    TMidiItem* item = manager.Add(i % 3 ? "a.mid" : "b.mid");
    item->SetRepeat(i % 4 == 0);
    item->Play();
    item->SetVolume(-(i * 37 % 6000));
    std::this_thread::sleep_for(std::chrono::milliseconds(i % 5));
    if (i % 3 == 0) item->SetPosition(i % 700);
    if (i % 7 == 0) item->Pause();
    if (i % 11 == 0) manager.SelectDevice(1 + i % 3);
    (void)item->IsEnd();
    (void)item->GetPosition();
    if (manager.Count() > 3) manager.Remove(manager.Items(0));
    if (i % 50 == 0) manager.PauseAll();
    if (i % 50 == 25) manager.ResumeAll();
  }
  manager.Clear();
  EXPECT_EQ(manager.CurrentItem(), nullptr);
  EXPECT_FALSE(manager.Player()->DeviceOpen());
  EXPECT_GT(output.counted.load(), 0);
  EXPECT_GT(manager.Player()->Timer().Callbacks(), 10u);
}

}  // namespace
}  // namespace nova::media
