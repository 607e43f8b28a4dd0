#include "media/decoders/smf_writer.h"

#include <string_view>

namespace nova::media::writers {
namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}
void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
void put_le32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int s = 0; s < 32; s += 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}
void put_tag(std::vector<std::uint8_t>& out, std::string_view tag) { out.insert(out.end(), tag.begin(), tag.end()); }

void put_quantity(std::vector<std::uint8_t>& out, std::uint32_t v) {
  std::uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = static_cast<std::uint8_t>(v & 0x7F);
    v >>= 7;
  } while (v != 0 && n < 5);
  while (n-- > 0) out.push_back(static_cast<std::uint8_t>(groups[n] | (n > 0 ? 0x80 : 0)));
}

std::vector<std::uint8_t> track_bytes(const SmfTrack& track, bool running_status) {
  std::vector<std::uint8_t> out;
  std::uint32_t last_tick = 0;
  int running = -1;
  for (const SmfEvent& e : track.events) {
    if (e.bytes.empty()) continue;
    put_quantity(out, e.tick >= last_tick ? e.tick - last_tick : 0);
    last_tick = std::max(last_tick, e.tick);
    const std::uint8_t status = e.bytes[0];
    if (status == 0xFF && e.bytes.size() >= 2) {
      out.push_back(0xFF);
      out.push_back(e.bytes[1]);
      put_quantity(out, static_cast<std::uint32_t>(e.bytes.size() - 2));
      out.insert(out.end(), e.bytes.begin() + 2, e.bytes.end());
    } else if (status == 0xF0 || status == 0xF7) {
      out.push_back(status);
      put_quantity(out, static_cast<std::uint32_t>(e.bytes.size() - 1));
      out.insert(out.end(), e.bytes.begin() + 1, e.bytes.end());
    } else {
      if (!(running_status && running == status)) out.push_back(status);
      running = status;
      out.insert(out.end(), e.bytes.begin() + 1, e.bytes.end());
    }
  }
  if (track.end_of_track) {
    put_quantity(out, track.end_tick > last_tick ? track.end_tick - last_tick : 0);
    out.insert(out.end(), {0xFF, 0x2F, 0x00});
  }
  return out;
}

}  // namespace

std::vector<std::uint8_t> write_smf(const SmfSpec& spec) {
  std::vector<std::uint8_t> out;
  put_tag(out, "MThd");
  put32(out, 6);
  put16(out, static_cast<std::uint32_t>(spec.format));
  put16(out, static_cast<std::uint32_t>(spec.tracks.size()));
  put16(out, spec.division);
  for (const SmfTrack& t : spec.tracks) {
    const std::vector<std::uint8_t> body = track_bytes(t, spec.running_status);
    put_tag(out, "MTrk");
    put32(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
  }
  return out;
}

std::vector<std::uint8_t> wrap_rmid(std::span<const std::uint8_t> smf) {
  std::vector<std::uint8_t> out;
  const auto size = static_cast<std::uint32_t>(smf.size());
  const std::uint32_t pad = size & 1;
  put_tag(out, "RIFF");
  put_le32(out, 4 + 8 + size + pad);
  put_tag(out, "RMID");
  put_tag(out, "data");
  put_le32(out, size);
  out.insert(out.end(), smf.begin(), smf.end());
  if (pad) out.push_back(0);
  return out;
}

SmfEvent note_on(std::uint32_t tick, int channel, int key, int velocity) {
  return {tick,
          {static_cast<std::uint8_t>(0x90 | (channel & 15)), static_cast<std::uint8_t>(key & 0x7F),
           static_cast<std::uint8_t>(velocity & 0x7F)}};
}
SmfEvent note_off(std::uint32_t tick, int channel, int key) {
  return {tick, {static_cast<std::uint8_t>(0x80 | (channel & 15)), static_cast<std::uint8_t>(key & 0x7F), 0x40}};
}
SmfEvent control(std::uint32_t tick, int channel, int controller, int value) {
  return {tick,
          {static_cast<std::uint8_t>(0xB0 | (channel & 15)), static_cast<std::uint8_t>(controller & 0x7F),
           static_cast<std::uint8_t>(value & 0x7F)}};
}
SmfEvent program(std::uint32_t tick, int channel, int number) {
  return {tick, {static_cast<std::uint8_t>(0xC0 | (channel & 15)), static_cast<std::uint8_t>(number & 0x7F)}};
}
SmfEvent pitch_bend(std::uint32_t tick, int channel, int value14) {
  return {tick,
          {static_cast<std::uint8_t>(0xE0 | (channel & 15)), static_cast<std::uint8_t>(value14 & 0x7F),
           static_cast<std::uint8_t>((value14 >> 7) & 0x7F)}};
}
SmfEvent tempo(std::uint32_t tick, std::uint32_t us_per_quarter) {
  return {tick,
          {0xFF, 0x51, static_cast<std::uint8_t>(us_per_quarter >> 16), static_cast<std::uint8_t>(us_per_quarter >> 8),
           static_cast<std::uint8_t>(us_per_quarter)}};
}
SmfEvent sysex(std::uint32_t tick, std::span<const std::uint8_t> with_f0_and_f7) {
  return {tick, {with_f0_and_f7.begin(), with_f0_and_f7.end()}};
}

}  // namespace nova::media::writers
