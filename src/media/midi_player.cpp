#include "media/midi_player.h"

#include <algorithm>

namespace nova::media {
namespace {

constexpr std::uint8_t kGmSystemOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

}  // namespace

TMidiPlayV::TMidiPlayV(platform::MidiOutput& output, platform::Clock& clock, const TimerFactory& make_timer)
    : m_output(output), m_clock(clock) {
  for (auto& channel : m_percent) channel.fill(100);
  reset_controllers();
  m_timer = std::make_unique<TMMTimer>(make_timer, kInterval, [this] { Tick(); });
}

TMidiPlayV::~TMidiPlayV() {
  m_timer.reset();
  m_port.reset();
}

void TMidiPlayV::reset_controllers() {
  // A new file inherits nothing of the last one (its pedal least of all).
  for (auto& channel : m_values) {
    channel.fill(0);
    channel[7] = 127;
  }
}

void TMidiPlayV::Load(std::span<const std::uint8_t> file) {
  std::lock_guard hold(m_timer->Mutex());
  if (m_timer->Enabled()) {
    m_timer->SetEnabled(false);
    all_notes_off();
  }
  Parse(file);
  reset_controllers();
  m_next = 0;
  m_position = 0;
}

bool TMidiPlayV::OpenDevice(int device) {
  std::lock_guard hold(m_timer->Mutex());
  m_port = m_output.open(std::max(device, 0));
  return m_port != nullptr;
}

void TMidiPlayV::CloseDevice() {
  std::lock_guard hold(m_timer->Mutex());
  if (!m_port) return;
  m_timer->SetEnabled(false);
  m_port->reset();
  m_port.reset();
}

bool TMidiPlayV::DeviceOpen() const { return m_port != nullptr; }

void TMidiPlayV::PlayFrom(std::int32_t ms) {
  std::lock_guard hold(m_timer->Mutex());
  m_timer->SetEnabled(false);
  const auto count = static_cast<std::int32_t>(m_events.size());
  std::int32_t start = 0;
  std::int32_t later = count;
  for (std::int32_t i = 0; i < count; ++i) {
    if (m_events[static_cast<std::size_t>(i)].time == ms) {
      later = -1;
      start = i;
      break;
    }
    if (m_events[static_cast<std::size_t>(i)].time > ms) {
      later = i;
      break;
    }
  }
  if (later >= 0) start = later == count || later == 0 ? 0 : later - 1;
  auto chase_to = [&](std::int32_t to) {
    for (; m_next < to; ++m_next) {
      const TMidiMsgEvent& e = m_events[static_cast<std::size_t>(m_next)];
      m_position = e.time;
      if (e.kind != kMidiNoteOn && e.kind != kMidiNoteOff) send(e);
    }
  };
  if (start < m_next) {
    all_notes_off();
    m_next = 0;
    m_position = 0;
    chase_to(start);
  } else if (start > m_next) {
    all_notes_off();
    chase_to(start);
  }
  // Stop released the pedals; a held one goes down again.
  for (int ch = 0; ch < 16; ++ch) {
    if (m_values[static_cast<std::size_t>(ch)][64] != 0) send_controller(ch, 64);
  }
  m_last_tick_time = m_clock.ticks_ms();
  m_timer->SetEnabled(true);
}

void TMidiPlayV::Stop() {
  std::lock_guard hold(m_timer->Mutex());
  if (!m_timer->Enabled()) return;
  m_timer->SetEnabled(false);
  all_notes_off();
  // All notes off spares the notes the pedal holds.
  for (std::uint8_t ch = 0; ch < 16; ++ch) short_message(static_cast<std::uint8_t>(0xB0 | ch), 64, 0);
}

bool TMidiPlayV::is_end_locked() const {
  // Nothing to play ends at once, repeat or not.
  return m_events.empty() || (!m_repeat && m_next >= static_cast<std::int32_t>(m_events.size()) - 1);
}

bool TMidiPlayV::IsPlaying() {
  std::lock_guard hold(m_timer->Mutex());
  return m_timer->Enabled() && !is_end_locked();
}

bool TMidiPlayV::IsEnd() {
  std::lock_guard hold(m_timer->Mutex());
  return is_end_locked();
}

std::int32_t TMidiPlayV::Position() {
  std::lock_guard hold(m_timer->Mutex());
  return m_position;
}

std::int32_t TMidiPlayV::NextEvent() {
  std::lock_guard hold(m_timer->Mutex());
  return m_next;
}

bool TMidiPlayV::Repeat() {
  std::lock_guard hold(m_timer->Mutex());
  return m_repeat;
}

void TMidiPlayV::SetRepeat(bool on) {
  std::lock_guard hold(m_timer->Mutex());
  m_repeat = on;
}

void TMidiPlayV::SetControllerPercent(int channel, int controller, int percent) {
  if (channel < 0 || channel > 15 || controller < 0 || controller > 127) return;
  std::lock_guard hold(m_timer->Mutex());
  m_percent[static_cast<std::size_t>(channel)][static_cast<std::size_t>(controller)] = percent;
  if (m_timer->Enabled() && !is_end_locked()) send_controller(channel, controller);
}

void TMidiPlayV::SetControllerPercentAll(int controller, int percent) {
  for (int ch = 0; ch < 16; ++ch) SetControllerPercent(ch, controller, percent);
}

void TMidiPlayV::ResetDevice() {
  std::lock_guard hold(m_timer->Mutex());
  if (m_port) m_port->long_message(kGmSystemOn);
}

void TMidiPlayV::Tick() {
  const auto count = static_cast<std::int32_t>(m_events.size());
  if (count == 0) return;
  // Without repeat the end stops the clock; with it the clock must run on
  // to the end-of-track, however long the rest before it.
  if (!m_repeat && m_next >= count - 1) return;
  const std::uint32_t now = m_clock.ticks_ms();
  const std::uint32_t elapsed = std::min<std::uint32_t>(1000, now - m_last_tick_time);
  m_position = static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{m_position} + elapsed, INT32_MAX));
  m_last_tick_time = now;
  while (m_next < count) {
    const TMidiMsgEvent& e = m_events[static_cast<std::size_t>(m_next)];
    if (e.time >= m_position) break;
    if (m_next < count - 1) {
      send(e);
      ++m_next;
      continue;
    }
    if (!m_repeat) break;
    all_notes_off();
    m_next = 0;
    m_position = m_events[0].time;
  }
}

void TMidiPlayV::send(const TMidiMsgEvent& e) {
  const auto d = m_events.data(e);
  if (d.empty()) return;
  if (e.category == kMidiChannel) {
    if (e.kind == kMidiControl && d.size() >= 3) {
      const int ch = d[0] & 15;
      const int controller = d[1] & 0x7F;
      m_values[static_cast<std::size_t>(ch)][static_cast<std::size_t>(controller)] = d[2];
      send_controller(ch, controller);
      return;
    }
    short_message(d[0], d.size() > 1 ? d[1] : 0, d.size() > 2 ? d[2] : 0);
  } else if (e.category == kMidiSysEx) {
    if (m_port) m_port->long_message(d);
  }
}

void TMidiPlayV::send_controller(int channel, int controller) {
  const auto c = static_cast<std::size_t>(channel);
  const auto k = static_cast<std::size_t>(controller);
  const std::int64_t v = std::int64_t{m_values[c][k]} * m_percent[c][k] / 100;
  short_message(static_cast<std::uint8_t>(0xB0 | channel), static_cast<std::uint8_t>(controller),
                static_cast<std::uint8_t>(std::clamp<std::int64_t>(v, 0, 127)));
}

void TMidiPlayV::short_message(std::uint8_t status, std::uint8_t d1, std::uint8_t d2) {
  if (m_port)
    m_port->short_message(status | static_cast<std::uint32_t>(d1) << 8 | static_cast<std::uint32_t>(d2) << 16);
}

void TMidiPlayV::all_notes_off() {
  for (std::uint8_t ch = 0; ch < 16; ++ch) short_message(static_cast<std::uint8_t>(0xB0 | ch), 123, 0);
}

}  // namespace nova::media
