// Standard MIDI files: TMidiStream reads big-endian numbers and quantities
// within bounds; TMidiV parses a file (SMF formats 0, 1 and 2, or the SMF in
// a RIFF "RMID" file) into one list of events sorted by tick, each with its
// time in milliseconds from the tempo map.
//
// Every read is bounded by its chunk and by the file: data that ends early
// ends the track, a chunk that is not "MTrk" is skipped by its length, and a
// file without "MThd" (or with division 0) gives no events. Ticks and times
// are formed in 64 bits and capped at INT32_MAX. A non-empty list always
// ends with an end-of-track event (one is appended at the largest tick when
// the file has none), which the player never sends.
//
// A plain value type; no threads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace nova::media {

// A cursor over bytes in memory; every read fails (nullopt / false) rather
// than pass `end`.
class TMidiStream {
 public:
  TMidiStream(std::span<const std::uint8_t> bytes, std::size_t begin, std::size_t end)
      : m_bytes(bytes), m_pos(begin), m_end(std::min(end, bytes.size())) {}

  std::size_t position() const { return m_pos; }
  std::size_t left() const { return m_end > m_pos ? m_end - m_pos : 0; }
  std::optional<std::uint8_t> byte() {
    if (m_pos >= m_end) return std::nullopt;
    return m_bytes[m_pos++];
  }
  std::optional<std::uint32_t> be16();
  std::optional<std::uint32_t> be32();
  // At most four bytes of 7 bits, most significant first.
  std::optional<std::uint32_t> quantity() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4 && m_pos < m_end; ++i) {
      const std::uint8_t b = m_bytes[m_pos++];
      v = v << 7 | (b & 0x7Fu);
      if (!(b & 0x80)) return v;
    }
    return std::nullopt;  // cut short, or a fifth byte: not a quantity
  }
  bool skip(std::size_t n);
  void back() { --m_pos; }
  // Bytes already passed (within the buffer).
  std::span<const std::uint8_t> bytes_at(std::size_t at, std::size_t n) const { return m_bytes.subspan(at, n); }

 private:
  std::span<const std::uint8_t> m_bytes;
  std::size_t m_pos;
  std::size_t m_end;
};

enum : std::uint8_t { kMidiChannel = 0, kMidiSysEx = 1, kMidiMeta = 2 };

// Kinds of events.
enum : std::uint8_t {
  kMidiOther = 0,
  kMidiNoteOn = 1,
  kMidiNoteOff = 2,
  kMidiKeyPressure = 3,
  kMidiControl = 4,
  kMidiProgram = 5,
  kMidiChannelPressure = 6,
  kMidiPitchBend = 7,
  kMidiGsReset = 8,
  kMidiTempo = 9,
  kMidiEndOfTrack = 18,
};

struct TMidiMsgEvent {
  std::int32_t tick = 0;
  std::int32_t time = 0;  // ms from the start
  std::int32_t delta = 0;
  std::int32_t sequence = 0;  // parse order over the whole file
  std::int32_t length = 0;    // data bytes
  std::uint8_t category = kMidiChannel;
  std::uint8_t kind = kMidiOther;
  std::int32_t track = 0;
  std::uint32_t offset = 0;  // of the data in the list's byte pool
};

// The events and, in one pool, their data: the status byte, for a meta
// event its type, then the data bytes (no length bytes).
class TMidiMsgEvents {
 public:
  std::size_t size() const { return m_events.size(); }
  bool empty() const { return m_events.empty(); }
  const TMidiMsgEvent& operator[](std::size_t i) const { return m_events[i]; }
  std::span<const std::uint8_t> data(const TMidiMsgEvent& e) const {
    return {m_bytes.data() + e.offset, static_cast<std::size_t>(e.length)};
  }
  void clear() {
    m_events.clear();
    m_bytes.clear();
  }

 private:
  friend class TMidiV;
  std::vector<TMidiMsgEvent> m_events;
  std::vector<std::uint8_t> m_bytes;
};

class TMidiV {
 public:
  TMidiV() = default;
  virtual ~TMidiV() = default;

  // Replaces the events with the file's; never fails (bad data gives fewer
  // events, or none).
  void Parse(std::span<const std::uint8_t> file);

  int Format() const { return m_format; }
  int TrackCount() const { return m_track_count; }
  int Division() const { return m_division; }
  const TMidiMsgEvents& Events() const { return m_events; }
  // The time of the last event.
  std::int32_t Length() const { return m_length; }
  // Microseconds per quarter note at the end of the timing pass.
  std::uint32_t Tempo() const { return m_tempo; }

 protected:
  TMidiMsgEvents m_events;

 private:
  void parse_smf(std::span<const std::uint8_t> smf);
  void read_track(TMidiStream& s, std::int32_t track, std::int32_t& sequence);
  void add(std::int64_t tick, std::int64_t delta, std::int32_t track, std::int32_t sequence, std::uint8_t category,
           std::span<const std::uint8_t> head, std::span<const std::uint8_t> body);
  void time_events();

  std::vector<TMidiMsgEvent> m_merge;
  int m_format = 0;
  int m_track_count = 0;
  int m_division = 0;
  std::int32_t m_length = 0;
  std::uint32_t m_tempo = 500000;
};

// The kind of an event from its category and data.
std::uint8_t classify_midi_event(std::uint8_t category, std::span<const std::uint8_t> data);

}  // namespace nova::media
