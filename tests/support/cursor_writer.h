// Writers of cursor files for the tests and the fuzz seeds: ".cur" icon
// directories with bitmap entries (1, 4, 8, 24 or 32 bits with their AND
// mask) or PNG entries, and ".ani" RIFF files around them.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace nova::test {

struct CurEntry {
  int width = 32;
  int height = 32;
  int bits = 32;
  int hot_x = 0;
  int hot_y = 0;
  // 0xRRGGBB, for 8 bits or fewer.
  std::vector<std::uint32_t> palette;
  // Per pixel, rows top-down: a palette index, or 0xAARRGGBB.
  std::vector<std::uint32_t> pixels;
  // Per pixel: 1 where the AND mask is set (empty: all 0).
  std::vector<std::uint8_t> mask;
  // A PNG entry's bytes; the fields above then only size the directory.
  std::vector<std::uint8_t> png;
};

namespace cursor_detail {
inline void u16(std::vector<std::uint8_t>& o, std::uint32_t v) {
  o.push_back(static_cast<std::uint8_t>(v));
  o.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void u32(std::vector<std::uint8_t>& o, std::uint32_t v) {
  u16(o, v & 0xFFFF);
  u16(o, v >> 16);
}
inline void tag(std::vector<std::uint8_t>& o, std::string_view four) { o.insert(o.end(), four.begin(), four.end()); }

inline std::vector<std::uint8_t> bitmap(const CurEntry& e) {
  std::vector<std::uint8_t> o;
  u32(o, 40);
  u32(o, static_cast<std::uint32_t>(e.width));
  u32(o, static_cast<std::uint32_t>(e.height * 2));
  u16(o, 1);
  u16(o, static_cast<std::uint32_t>(e.bits));
  for (int i = 0; i < 6; ++i) u32(o, 0);  // compression ... important colours
  if (e.bits <= 8) {
    for (std::size_t i = 0; i < (std::size_t{1} << e.bits); ++i) {
      const std::uint32_t c = i < e.palette.size() ? e.palette[i] : 0;
      o.push_back(static_cast<std::uint8_t>(c));
      o.push_back(static_cast<std::uint8_t>(c >> 8));
      o.push_back(static_cast<std::uint8_t>(c >> 16));
      o.push_back(0);
    }
  }
  const std::size_t row = (static_cast<std::size_t>(e.width) * static_cast<std::size_t>(e.bits) + 31) / 32 * 4;
  const std::size_t mask_row = (static_cast<std::size_t>(e.width) + 31) / 32 * 4;
  const auto at = [&](int x, int y) {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(e.width) + static_cast<std::size_t>(x);
  };
  for (int y = e.height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> r(row, 0);
    for (int x = 0; x < e.width; ++x) {
      const std::uint32_t v = at(x, y) < e.pixels.size() ? e.pixels[at(x, y)] : 0;
      if (e.bits <= 8) {
        const int per_byte = 8 / e.bits;
        r[static_cast<std::size_t>(x / per_byte)] |= static_cast<std::uint8_t>(v << (8 - e.bits * (x % per_byte + 1)));
      } else {
        const std::size_t p = static_cast<std::size_t>(x) * static_cast<std::size_t>(e.bits / 8);
        r[p] = static_cast<std::uint8_t>(v);
        r[p + 1] = static_cast<std::uint8_t>(v >> 8);
        r[p + 2] = static_cast<std::uint8_t>(v >> 16);
        if (e.bits == 32) r[p + 3] = static_cast<std::uint8_t>(v >> 24);
      }
    }
    o.insert(o.end(), r.begin(), r.end());
  }
  for (int y = e.height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> r(mask_row, 0);
    for (int x = 0; x < e.width; ++x) {
      if (at(x, y) < e.mask.size() && e.mask[at(x, y)])
        r[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    o.insert(o.end(), r.begin(), r.end());
  }
  return o;
}
}  // namespace cursor_detail

inline std::vector<std::uint8_t> write_cur(const std::vector<CurEntry>& entries) {
  using namespace cursor_detail;
  std::vector<std::vector<std::uint8_t>> data;
  for (const CurEntry& e : entries) data.push_back(e.png.empty() ? bitmap(e) : e.png);
  std::vector<std::uint8_t> o;
  u16(o, 0);
  u16(o, 2);
  u16(o, static_cast<std::uint32_t>(entries.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const CurEntry& e = entries[i];
    o.push_back(static_cast<std::uint8_t>(e.width & 0xFF));
    o.push_back(static_cast<std::uint8_t>(e.height & 0xFF));
    o.push_back(0);
    o.push_back(0);
    u16(o, static_cast<std::uint32_t>(e.hot_x));
    u16(o, static_cast<std::uint32_t>(e.hot_y));
    u32(o, static_cast<std::uint32_t>(data[i].size()));
    u32(o, offset);
    offset += static_cast<std::uint32_t>(data[i].size());
  }
  for (const auto& d : data) o.insert(o.end(), d.begin(), d.end());
  return o;
}

// An animated cursor of `icons` (cursor files): the header with the
// default rate in 1/60 s, then the rate and sequence tables when given.
inline std::vector<std::uint8_t> write_ani(const std::vector<std::vector<std::uint8_t>>& icons,
                                           std::uint32_t default_rate, const std::vector<std::uint32_t>& rates = {},
                                           const std::vector<std::uint32_t>& sequence = {}) {
  using namespace cursor_detail;
  std::vector<std::uint8_t> body;
  tag(body, "ACON");
  tag(body, "anih");
  u32(body, 36);
  const std::uint32_t steps = static_cast<std::uint32_t>(sequence.empty() ? icons.size() : sequence.size());
  for (std::uint32_t v : {36u, static_cast<std::uint32_t>(icons.size()), steps, 0u, 0u, 0u, 0u, default_rate,
                          sequence.empty() ? 1u : 3u}) {
    u32(body, v);
  }
  const auto table = [&](std::string_view id, const std::vector<std::uint32_t>& t) {
    if (t.empty()) return;
    tag(body, id);
    u32(body, static_cast<std::uint32_t>(t.size() * 4));
    for (std::uint32_t v : t) u32(body, v);
  };
  table("rate", rates);
  table("seq ", sequence);
  std::vector<std::uint8_t> list;
  tag(list, "fram");
  for (const auto& icon : icons) {
    tag(list, "icon");
    u32(list, static_cast<std::uint32_t>(icon.size()));
    list.insert(list.end(), icon.begin(), icon.end());
    if (icon.size() % 2 != 0) list.push_back(0);
  }
  tag(body, "LIST");
  u32(body, static_cast<std::uint32_t>(list.size()));
  body.insert(body.end(), list.begin(), list.end());
  std::vector<std::uint8_t> o;
  tag(o, "RIFF");
  u32(o, static_cast<std::uint32_t>(body.size()));
  o.insert(o.end(), body.begin(), body.end());
  return o;
}

}  // namespace nova::test
