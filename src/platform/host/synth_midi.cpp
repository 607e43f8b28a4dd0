#include "platform/synth_midi.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace nova::platform {
namespace {

constexpr std::uint8_t kGmSystemOn[] = {0x7E, 0x7F, 0x09, 0x01};
constexpr std::uint8_t kGsReset[] = {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41};

template <std::size_t N>
bool body_is(const std::vector<char>& body, const std::uint8_t (&what)[N]) {
  return body.size() == N && std::memcmp(body.data(), what, N) == 0;
}

// Floats to 16 bits without dither: the same input renders the same bytes
// on every run.
void to_s16(const float* left, const float* right, std::span<std::int16_t> out) {
  const std::size_t frames = out.size() / 2;
  for (std::size_t i = 0; i < frames; ++i) {
    out[i * 2] = static_cast<std::int16_t>(std::lrint(std::clamp(left[i] * 32768.0f, -32768.0f, 32767.0f)));
    out[i * 2 + 1] = static_cast<std::int16_t>(std::lrint(std::clamp(right[i] * 32768.0f, -32768.0f, 32767.0f)));
  }
}

class SynthPort final : public MidiPort {
 public:
  SynthPort() = default;
  ~SynthPort() override {
    // The stream first: its thread renders from the synthesizer.
    m_stream.reset();
    if (m_synth) delete_fluid_synth(m_synth);
    if (m_settings) delete_fluid_settings(m_settings);
  }

  bool open(SoundOutput& output, const std::filesystem::path& font) {
    m_settings = new_fluid_settings();
    if (!m_settings) return false;
    fluid_settings_setnum(m_settings, "synth.sample-rate", 44100.0);
    fluid_settings_setint(m_settings, "synth.threadsafe-api", 1);
    // Titles written for the Windows synthesizer select banks the GS way.
    fluid_settings_setstr(m_settings, "synth.midi-bank-select", "gs");
    m_synth = new_fluid_synth(m_settings);
    if (!m_synth) return false;
    if (fluid_synth_sfload(m_synth, font.c_str(), 1) == FLUID_FAILED) return false;
    m_stream = output.open_stream(AudioFormat{44100, 2}, [this](std::span<std::int16_t> out) {
      const std::size_t frames = out.size() / 2;
      if (m_left.size() < frames) {
        m_left.resize(frames);
        m_right.resize(frames);
      }
      fluid_synth_write_float(m_synth, static_cast<int>(frames), m_left.data(), 0, 1, m_right.data(), 0, 1);
      to_s16(m_left.data(), m_right.data(), out);
    });
    return m_stream != nullptr;
  }

  void short_message(std::uint32_t packed) override {
    const int status = static_cast<int>(packed & 0xFF);
    const int d1 = static_cast<int>((packed >> 8) & 0x7F);
    const int d2 = static_cast<int>((packed >> 16) & 0x7F);
    const int ch = status & 0x0F;
    switch (status & 0xF0) {
      case 0x80: fluid_synth_noteoff(m_synth, ch, d1); break;
      case 0x90:
        if (d2 == 0)
          fluid_synth_noteoff(m_synth, ch, d1);
        else
          fluid_synth_noteon(m_synth, ch, d1, d2);
        break;
      case 0xA0: fluid_synth_key_pressure(m_synth, ch, d1, d2); break;
      case 0xB0: fluid_synth_cc(m_synth, ch, d1, d2); break;
      case 0xC0: fluid_synth_program_change(m_synth, ch, d1); break;
      case 0xD0: fluid_synth_channel_pressure(m_synth, ch, d1); break;
      case 0xE0: fluid_synth_pitch_bend(m_synth, ch, d1 | (d2 << 7)); break;
      default:
        if (status == 0xFF) fluid_synth_system_reset(m_synth);
        break;
    }
  }

  void long_message(std::span<const std::uint8_t> bytes) override {
    // FluidSynth takes the system-exclusive body without F0 and F7.
    std::size_t begin = (!bytes.empty() && bytes.front() == 0xF0) ? 1 : 0;
    std::size_t end = (bytes.size() > begin && bytes.back() == 0xF7) ? bytes.size() - 1 : bytes.size();
    if (end <= begin) return;
    std::vector<char> body(bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                           bytes.begin() + static_cast<std::ptrdiff_t>(end));
    // The synthesizer knows neither reset: both mean a system reset here.
    if (body_is(body, kGmSystemOn) || body_is(body, kGsReset)) {
      fluid_synth_system_reset(m_synth);
      return;
    }
    fluid_synth_sysex(m_synth, body.data(), static_cast<int>(body.size()), nullptr, nullptr, nullptr, 0);
  }

  void reset() override {
    for (int ch = 0; ch < 16; ++ch) {
      fluid_synth_all_notes_off(m_synth, ch);
      fluid_synth_cc(m_synth, ch, 121, 0);
    }
  }

 private:
  fluid_settings_t* m_settings = nullptr;
  fluid_synth_t* m_synth = nullptr;
  // The render buffers: only the stream's pull uses them.
  std::vector<float> m_left;
  std::vector<float> m_right;
  std::unique_ptr<AudioStream> m_stream;
};

}  // namespace

std::optional<std::filesystem::path> find_sound_font() {
  std::error_code ec;
  if (const char* env = std::getenv("NOVA_SOUNDFONT"); env && *env) {
    if (std::filesystem::exists(env, ec)) return std::filesystem::path(env);
  }
  for (const char* p : {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2",
                        "/usr/share/sounds/sf2/FluidR3_GM.sf2"}) {
    if (std::filesystem::exists(p, ec)) return std::filesystem::path(p);
  }
  return std::nullopt;
}

std::unique_ptr<MidiPort> open_synth_port(SoundOutput& output, const std::filesystem::path& sound_font) {
  // FluidSynth reports to standard error by default; our log is the place.
  for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level) {
    fluid_set_log_function(level, nullptr, nullptr);
  }
  auto port = std::make_unique<SynthPort>();
  if (!port->open(output, sound_font)) return nullptr;
  return port;
}

}  // namespace nova::platform
