// A writer of standard MIDI files for the tests, the fuzzers' seeds and the
// benchmarks: formats 0 and 1, running status, tempo maps, system-exclusive
// and meta events, and the RIFF "RMID" wrapping. Part of nova_media_writers;
// the player never links it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace nova::media::writers {

struct SmfEvent {
  std::uint32_t tick = 0;  // absolute
  // A channel message (status 8n..En and its data), F0/F7 followed by the
  // system-exclusive body (the length is written for it), or FF, type,
  // data (the length is written for it).
  std::vector<std::uint8_t> bytes;
};

struct SmfTrack {
  std::vector<SmfEvent> events;  // in tick order
  // An end-of-track event is written after the last event (at `end_tick`
  // when it is later) unless this is false.
  bool end_of_track = true;
  std::uint32_t end_tick = 0;
};

struct SmfSpec {
  int format = 1;
  // Ticks per quarter note, or a frame-based division word (top bit set).
  std::uint16_t division = 480;
  // Channel messages of the same status after the first omit it.
  bool running_status = true;
  std::vector<SmfTrack> tracks;
};

std::vector<std::uint8_t> write_smf(const SmfSpec& spec);
// The SMF in a RIFF "RMID" file's "data" chunk.
std::vector<std::uint8_t> wrap_rmid(std::span<const std::uint8_t> smf);

// Event helpers.
SmfEvent note_on(std::uint32_t tick, int channel, int key, int velocity);
SmfEvent note_off(std::uint32_t tick, int channel, int key);
SmfEvent control(std::uint32_t tick, int channel, int controller, int value);
SmfEvent program(std::uint32_t tick, int channel, int number);
SmfEvent pitch_bend(std::uint32_t tick, int channel, int value14);
SmfEvent tempo(std::uint32_t tick, std::uint32_t us_per_quarter);
SmfEvent sysex(std::uint32_t tick, std::span<const std::uint8_t> with_f0_and_f7);

}  // namespace nova::media::writers
