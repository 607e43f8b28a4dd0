#include "media/midi_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace nova::media {
namespace {

constexpr std::int64_t kCap = INT32_MAX;

std::int32_t capped(std::int64_t v) { return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, kCap)); }

bool tag_at(std::span<const std::uint8_t> b, std::size_t at, const char* tag) {
  return b.size() >= at + 4 && std::memcmp(b.data() + at, tag, 4) == 0;
}

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The SMF inside a RIFF "RMID" file: its "data" chunk (bounded by the file).
std::span<const std::uint8_t> rmid_data(std::span<const std::uint8_t> file) {
  std::size_t at = 12;
  while (at + 8 <= file.size()) {
    const std::uint64_t size = le32(file, at + 4);
    const std::size_t body = at + 8;
    const std::size_t end = static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), body + size));
    if (tag_at(file, at, "data")) return file.subspan(body, end - body);
    at = static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), body + size + (size & 1)));
  }
  return {};
}

// A non-negative product to the nearest integer, ties to even (without
// a library call per event).
std::int64_t round_even(double v) {
  auto q = static_cast<std::int64_t>(v);
  const double d = v - static_cast<double>(q);
  if (d > 0.5 || (d == 0.5 && (q & 1))) ++q;
  return q;
}

std::uint8_t channel_kind(std::uint8_t status, std::span<const std::uint8_t> body) {
  switch (status & 0xF0) {
    case 0x80: return kMidiNoteOff;
    case 0x90: return body.size() >= 2 && body[1] > 0 ? kMidiNoteOn : kMidiNoteOff;
    case 0xA0: return kMidiKeyPressure;
    case 0xB0: return kMidiControl;
    case 0xC0: return kMidiProgram;
    case 0xD0: return kMidiChannelPressure;
    case 0xE0: return kMidiPitchBend;
    default: return kMidiOther;
  }
}

constexpr std::uint8_t kGsReset[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};

}  // namespace

// --- TMidiStream --------------------------------------------------------------------------

std::optional<std::uint32_t> TMidiStream::be16() {
  if (left() < 2) return std::nullopt;
  const std::uint32_t v = static_cast<std::uint32_t>(m_bytes[m_pos]) << 8 | m_bytes[m_pos + 1];
  m_pos += 2;
  return v;
}

std::optional<std::uint32_t> TMidiStream::be32() {
  if (left() < 4) return std::nullopt;
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = v << 8 | m_bytes[m_pos++];
  return v;
}

bool TMidiStream::skip(std::size_t n) {
  if (left() < n) return false;
  m_pos += n;
  return true;
}

// --- TMidiV ---------------------------------------------------------------------------------

std::uint8_t classify_midi_event(std::uint8_t category, std::span<const std::uint8_t> data) {
  if (data.empty()) return kMidiOther;
  if (category == kMidiMeta) {
    if (data.size() < 2) return kMidiOther;
    const std::uint8_t type = data[1];
    if (type == 0x51) return kMidiTempo;
    if (type <= 0x07) return static_cast<std::uint8_t>(10 + type);
    if (type == 0x2F) return kMidiEndOfTrack;
    if (type == 0x52) return 19;
    if (type == 0x58) return 20;
    if (type == 0x59) return 21;
    return kMidiOther;
  }
  if (category == kMidiSysEx) {
    return data.size() == sizeof kGsReset && std::equal(data.begin(), data.end(), kGsReset) ? kMidiGsReset : kMidiOther;
  }
  return channel_kind(data[0], data.subspan(1));
}

void TMidiV::Parse(std::span<const std::uint8_t> file) {
  m_events.clear();
  m_format = m_track_count = m_division = 0;
  m_length = 0;
  m_tempo = 500000;
  if (tag_at(file, 0, "RIFF") && tag_at(file, 8, "RMID")) file = rmid_data(file);
  parse_smf(file);
}

void TMidiV::parse_smf(std::span<const std::uint8_t> smf) {
  if (!tag_at(smf, 0, "MThd")) return;
  TMidiStream head(smf, 4, smf.size());
  const auto header_length = head.be32();
  const auto format = head.be16();
  const auto tracks = head.be16();
  const auto division = head.be16();
  if (!header_length || !format || !tracks || !division) return;
  m_format = static_cast<int>(*format);
  m_track_count = static_cast<int>(*tracks);
  m_division = static_cast<int>(*division);
  if (m_division == 0) return;
  // A longer header has fields of later versions; the tracks follow it.
  std::size_t at = 8 + static_cast<std::size_t>(std::max<std::uint32_t>(6, *header_length));
  if (at > smf.size()) return;
  std::int32_t sequence = 0;
  std::vector<std::size_t> starts;
  // An event takes at least two bytes of the file (a delta and a running
  // data byte); its data is never longer than what it took.
  m_events.m_events.reserve((smf.size() - at) / 2 + 1);
  m_events.m_bytes.reserve(smf.size() - at + 2);
  for (int track = 0; track < m_track_count && at + 8 <= smf.size();) {
    const bool is_track = tag_at(smf, at, "MTrk");
    TMidiStream chunk(smf, at + 4, smf.size());
    const std::uint64_t length = *chunk.be32();
    const std::size_t body = at + 8;
    const std::size_t end = static_cast<std::size_t>(std::min<std::uint64_t>(smf.size(), body + length));
    at = end;
    if (!is_track) continue;  // not a track, and not counted as one
    starts.push_back(m_events.m_events.size());
    TMidiStream s(smf, body, end);
    read_track(s, track, sequence);
    ++track;
  }
  // Each track is in tick order; merging keeps equal ticks in parse order.
  auto& ev = m_events.m_events;
  for (std::size_t i = 1; i < starts.size(); ++i) {
    const auto mid = ev.begin() + static_cast<std::ptrdiff_t>(starts[i]);
    const auto last = i + 1 < starts.size() ? ev.begin() + static_cast<std::ptrdiff_t>(starts[i + 1]) : ev.end();
    if (mid == ev.begin() || mid == last || (mid - 1)->tick <= mid->tick) continue;
    // Into a buffer kept between files (a stable merge: the earlier range
    // first on equal ticks), then back.
    m_merge.resize(static_cast<std::size_t>(last - ev.begin()));
    std::merge(ev.begin(), mid, mid, last, m_merge.begin(),
               [](const TMidiMsgEvent& a, const TMidiMsgEvent& b) { return a.tick < b.tick; });
    std::copy(m_merge.begin(), m_merge.end(), ev.begin());
  }
  if (!ev.empty() && ev.back().kind != kMidiEndOfTrack) {
    constexpr std::uint8_t kEnd[] = {0xFF, 0x2F};
    add(ev.back().tick, 0, ev.back().track, sequence, kMidiMeta, kEnd, {});
  }
  time_events();
}

void TMidiV::add(std::int64_t tick, std::int64_t delta, std::int32_t track, std::int32_t sequence,
                 std::uint8_t category, std::span<const std::uint8_t> head, std::span<const std::uint8_t> body) {
  TMidiMsgEvent& e = m_events.m_events.emplace_back();
  e.tick = capped(tick);
  e.delta = capped(delta);
  e.sequence = sequence;
  e.length = static_cast<std::int32_t>(head.size() + body.size());
  e.category = category;
  e.track = track;
  std::vector<std::uint8_t>& pool = m_events.m_bytes;
  e.offset = static_cast<std::uint32_t>(pool.size());
  // Channel messages are most of a file: a byte or two, no library call.
  for (const std::uint8_t b : head) pool.push_back(b);
  if (body.size() <= 2) {
    for (const std::uint8_t b : body) pool.push_back(b);
  } else {
    pool.insert(pool.end(), body.begin(), body.end());
  }
  e.kind = category == kMidiChannel ? channel_kind(head[0], body)
                                    : classify_midi_event(category, {pool.data() + e.offset, pool.size() - e.offset});
}

void TMidiV::read_track(TMidiStream& s, std::int32_t track, std::int32_t& sequence) {
  std::int64_t tick = 0;
  std::uint8_t running = 0;  // the last channel status, 0 before one
  for (;;) {
    const auto delta = s.quantity();
    if (!delta) return;
    tick = std::min<std::int64_t>(tick + *delta, kCap);
    auto first = s.byte();
    if (!first) return;
    std::uint8_t status = *first;
    if (!(status & 0x80)) {
      if (!running) return;  // data with no status to run on
      s.back();
      status = running;
    }
    std::uint8_t head[2] = {status, 0};
    if (status < 0xF0) {
      running = status;
      const std::size_t n = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
      const std::size_t at = s.position();
      if (!s.skip(n)) return;
      add(tick, *delta, track, sequence++, kMidiChannel, std::span<const std::uint8_t>(head, 1), s.bytes_at(at, n));
      continue;
    }
    if (status == 0xFF) {
      const auto type = s.byte();
      if (!type) return;
      head[1] = *type;
      const auto length = s.quantity();
      if (!length) return;
      const std::size_t at = s.position();
      if (!s.skip(*length)) return;
      add(tick, *delta, track, sequence++, kMidiMeta, head, s.bytes_at(at, *length));
      if (*type == 0x2F) return;
      continue;
    }
    const auto length = s.quantity();
    if (!length) return;
    const std::size_t at = s.position();
    if (!s.skip(*length)) return;
    add(tick, *delta, track, sequence++, kMidiSysEx, std::span<const std::uint8_t>(head, 1), s.bytes_at(at, *length));
  }
}

void TMidiV::time_events() {
  auto& ev = m_events.m_events;
  const bool frames = (m_division & 0x8000) != 0;
  float f = 0;
  if (frames) {
    const int fps = -static_cast<std::int8_t>(static_cast<std::uint8_t>(m_division >> 8));
    const int per_frame = m_division & 0xFF;
    if (fps <= 0 || per_frame <= 0) {
      m_events.clear();
      return;
    }
    f = 1000.0f / static_cast<float>(fps * per_frame);
  }
  std::uint32_t tempo = 500000;
  auto factor = [&] { return frames ? f : static_cast<float>(tempo) / static_cast<float>(m_division) / 1000.0f; };
  float current = factor();
  std::int64_t t = 0;
  std::int64_t previous = 0;
  for (TMidiMsgEvent& e : ev) {
    const double product = static_cast<double>(e.tick - previous) * static_cast<double>(current);
    t = std::min<std::int64_t>(t + round_even(product), kCap);
    e.time = static_cast<std::int32_t>(t);
    previous = e.tick;
    if (e.kind == kMidiTempo && e.length >= 5) {
      const auto d = m_events.data(e);
      const std::uint32_t v = static_cast<std::uint32_t>(d[2]) << 16 | static_cast<std::uint32_t>(d[3]) << 8 | d[4];
      if (v != 0) {
        tempo = v;
        current = factor();
      }
    }
  }
  m_tempo = tempo;
  m_length = ev.empty() ? 0 : ev.back().time;
}

}  // namespace nova::media
