// TMidiPlayV: the one MIDI player. It parses a file (TMidiV), sends the due
// events to an output port every 10 ms from its timer, chases the
// controllers, programs, pitch bends and system-exclusive messages when it
// starts in the middle, and scales each channel's controllers by
// percentages (the script's volume reaches the port as controller 7).
//
// Ports: device −1 (the mapper) is platform port 0, device k ≥ 0 is port k.
// A port that does not open leaves the device closed: nothing is sent, but
// the clock runs, so a file still advances and ends.
//
// Threads: the timer's callback (Tick) runs under the player mutex; every
// public operation from the main thread takes that mutex for its run. The
// port is only used under it. Owned by the MIDI manager (or by whoever
// measures a file's length); the output and clock must outlive it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "media/midi_file.h"
#include "media/mm_timer.h"
#include "platform/clock.h"
#include "platform/midi.h"

namespace nova::media {

class TMidiPlayV final : public TMidiV {
 public:
  static constexpr std::uint32_t kInterval = 10;

  // Starts the timer (disabled).
  TMidiPlayV(platform::MidiOutput& output, platform::Clock& clock, const TimerFactory& make_timer);
  // The timer first (no callback after it), then the port.
  ~TMidiPlayV() override;

  // Stops, parses the file and resets the controllers (channel volume 127,
  // the rest 0), the next event and the position.
  void Load(std::span<const std::uint8_t> file);
  bool OpenDevice(int device);
  void CloseDevice();
  bool DeviceOpen() const;
  void PlayFrom(std::int32_t ms);
  // Silences the channels: all notes off, then the sustain pedal released.
  void Stop();
  // The timer runs and the end has not been reached.
  bool IsPlaying();
  bool IsEnd();
  std::int32_t Position();
  bool Repeat();
  void SetRepeat(bool on);
  void SetControllerPercent(int channel, int controller, int percent);
  void SetControllerPercentAll(int controller, int percent);
  // General MIDI System On, sent at once; nothing to wait for.
  void ResetDevice();
  std::int32_t NextEvent();

  // The timer's callback (public for the benchmark and tests that drive a
  // clock of their own).
  void Tick();
  TMMTimer& Timer() { return *m_timer; }

 private:
  // All under the player mutex.
  void send(const TMidiMsgEvent& e);
  void send_controller(int channel, int controller);
  void short_message(std::uint8_t status, std::uint8_t d1, std::uint8_t d2);
  void all_notes_off();
  bool is_end_locked() const;
  void reset_controllers();

  platform::MidiOutput& m_output;
  platform::Clock& m_clock;
  std::int32_t m_next = 0;
  std::int32_t m_position = 0;
  std::uint32_t m_last_tick_time = 0;
  std::unique_ptr<platform::MidiPort> m_port;
  bool m_repeat = false;
  std::array<std::array<std::int32_t, 128>, 16> m_values{};
  std::array<std::array<std::int32_t, 128>, 16> m_percent{};
  std::unique_ptr<TMMTimer> m_timer;
};

}  // namespace nova::media
