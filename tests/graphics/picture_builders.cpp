#include "picture_builders.h"

#include <zlib.h>

#include <numeric>
#include <stdexcept>

namespace nova::graphics::test {

std::string le32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
  return s;
}

std::string le16(std::uint16_t v) { return std::string{static_cast<char>(v), static_cast<char>(v >> 8)}; }

namespace {

std::string be32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(v >> (24 - 8 * i));
  return s;
}

std::string str(const std::string& s) { return le32(static_cast<std::uint32_t>(s.size())) + s; }
std::string i32(std::int32_t v) { return le32(static_cast<std::uint32_t>(v)); }

int storage(int bits) { return bits == 15 ? 16 : bits; }

}  // namespace

// --- Layered files --------------------------------------------------------------------------

int version_number(const RawFile& f) {
  if (!f.magic) return 0;
  return std::stoi(f.version);
}

std::string build_bri(const RawFile& f) {
  const int v = version_number(f);
  std::string out;
  if (f.magic) out += "Brio" + f.version;
  const auto count =
      static_cast<std::int32_t>(f.frame_count != -1 ? f.frame_count : static_cast<std::int32_t>(f.frames.size()));
  if (v < 103) {
    out += i32(count);
    out += '\x01';
    if (v > 101) out += i32(f.background);
  } else {
    const RawFrame* first = f.frames.empty() ? nullptr : &f.frames[0];
    std::string record = i32(v) + i32(first ? first->width : 0) + i32(first ? first->height : 0) +
                         i32(first ? first->bits : 0) + i32(count);
    record += '\x01';
    record += static_cast<char>(f.scrambled ? 1 : 0);
    record += static_cast<char>(f.mode);
    record += '\0';
    record += i32(f.background) + i32(f.block_width) + i32(f.block_height);
    record += static_cast<char>(f.opaque_bottom ? 1 : 0);
    record += static_cast<char>(f.quality);
    record += std::string(2, '\0');
    // A header size other than 40 keeps the record's start (or extends it
    // with filler).
    if (f.header_size >= 0 && static_cast<std::size_t>(f.header_size) < record.size()) {
      record.resize(static_cast<std::size_t>(f.header_size));
    } else if (f.header_size > 40) {
      record += std::string(static_cast<std::size_t>(f.header_size - 40), '\x5A');
    }
    out += i32(f.header_size) + record;
  }
  for (const RawFrame& fr : f.frames) {
    out += str(fr.name) + i32(fr.transparent) + i32(fr.delay);
    out += std::string(5, '\0');
    out += i32(fr.layer_count != -1 ? fr.layer_count : static_cast<std::int32_t>(fr.layers.size()));
    out += i32(fr.width) + i32(fr.height) + i32(fr.bits);
    if (fr.bits >= 1 && fr.bits <= 8) {
      for (std::size_t i = 0; i < (std::size_t{1} << fr.bits); ++i) {
        const PaletteEntry e = i < fr.palette.size() ? fr.palette[i] : PaletteEntry{};
        out += static_cast<char>(e.blue);
        out += static_cast<char>(e.green);
        out += static_cast<char>(e.red);
        out += static_cast<char>(e.reserved);
      }
    }
    for (const RawLayer& l : fr.layers) {
      out += std::string(8, '\0');
      out += static_cast<char>(l.visible ? 1 : 0);
      out += i32(l.transparent) + i32(l.opacity);
      if (v >= 101) out += static_cast<char>(l.alpha_enabled ? 1 : 0);
      out += str(l.name) + str(l.colour);
      if (v >= 100) out += str(l.alpha);
    }
    if (v >= 104) {
      for (const auto* list : {&fr.rects, &fr.rects2}) {
        out += i32(static_cast<std::int32_t>(list->size()));
        for (const Rect& r : *list) out += i32(r.left) + i32(r.top) + i32(r.right) + i32(r.bottom);
      }
    }
  }
  return out;
}

std::vector<std::uint32_t> plain_permutation(std::int32_t key, std::size_t n) {
  std::vector<std::uint32_t> deck(n);
  std::iota(deck.begin(), deck.end(), 0u);
  std::vector<std::uint32_t> out;
  std::uint32_t state = 0;
  while (!deck.empty()) {
    state = state * 5u + static_cast<std::uint32_t>(key);
    const std::size_t i = state % deck.size();
    out.push_back(deck[i]);
    deck.erase(deck.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return out;
}

std::string scramble_rows(const std::string& rows, std::size_t row_bytes, std::int32_t key) {
  const std::size_t n = row_bytes ? rows.size() / row_bytes : 0;
  const auto p = plain_permutation(key, n);
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += rows.substr(p[i] * row_bytes, row_bytes);
  return out;
}

std::string zlib(const std::string& bytes, int level) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                static_cast<uLong>(bytes.size()), level) != Z_OK) {
    throw std::runtime_error("zlib");
  }
  out.resize(size);
  return out;
}

std::string block_data(const std::vector<BlockEntry>& table, const std::string& raw, std::int32_t key) {
  const auto p = plain_permutation(key, table.size());
  std::string out;
  for (std::size_t i = 0; i < table.size(); ++i) out += i32(table[p[i]].kind) + i32(table[p[i]].argument);
  return out + raw;
}

std::string dib_rows(int width, int height, int bits, const std::vector<std::uint32_t>& pixels) {
  const int sb = storage(bits);
  const std::size_t row_bytes = static_cast<std::size_t>((width * sb + 31) / 32 * 4);
  std::string out(row_bytes * static_cast<std::size_t>(height), '\0');
  for (int y = 0; y < height; ++y) {
    char* row = out.data() + row_bytes * static_cast<std::size_t>(y);
    for (int x = 0; x < width; ++x) {
      const std::uint32_t v = pixels.at(static_cast<std::size_t>(y * width + x));
      if (sb < 8) {
        const int bit = x * sb;
        const int shift = 8 - sb - bit % 8;
        row[bit / 8] = static_cast<char>(static_cast<std::uint8_t>(row[bit / 8]) | ((v & ((1u << sb) - 1)) << shift));
      } else {
        for (int i = 0; i < sb / 8; ++i) row[x * sb / 8 + i] = static_cast<char>(v >> (8 * i));
      }
    }
  }
  return out;
}

std::string raw_block(int width, int bits, const std::string& rows, int x, int y, int w, int h) {
  const int sb = storage(bits);
  const std::size_t row_bytes = static_cast<std::size_t>((width * sb + 31) / 32 * 4);
  const std::size_t n = static_cast<std::size_t>((w * sb + 7) / 8);
  std::string out;
  for (int j = 0; j < h; ++j)
    out += rows.substr(row_bytes * static_cast<std::size_t>(y + j) + static_cast<std::size_t>(x * sb / 8), n);
  return out;
}

// --- Bitmap files ------------------------------------------------------------------------------

std::string build_bmp(const RawBmp& b) {
  std::string header;
  if (b.header_size == 12) {
    header = le32(12) + le16(static_cast<std::uint16_t>(b.width)) + le16(static_cast<std::uint16_t>(b.height)) +
             le16(1) + le16(b.bits);
  } else {
    header = le32(b.header_size) + i32(b.width) + i32(b.height) + le16(1) + le16(b.bits) + le32(b.compression) +
             le32(static_cast<std::uint32_t>(b.pixels.size())) + i32(2835) + i32(2835) + le32(b.colours_used) + le32(0);
    if (b.header_size >= 108) {
      for (std::size_t i = 0; i < 4; ++i) header += le32(i < b.masks.size() ? b.masks[i] : 0);
      header += std::string(b.header_size - 56, '\0');
    } else if (b.header_size == 40) {
      for (std::uint32_t m : b.masks) header += le32(m);
    } else {
      header.resize(b.header_size, '\0');
    }
  }
  std::string table;
  for (const PaletteEntry& e : b.palette) {
    table += static_cast<char>(e.blue);
    table += static_cast<char>(e.green);
    table += static_cast<char>(e.red);
    if (b.header_size != 12) table += '\0';
  }
  const std::uint32_t offset = b.data_offset >= 0 ? static_cast<std::uint32_t>(b.data_offset)
                                                  : static_cast<std::uint32_t>(14 + header.size() + table.size());
  std::string body = header + table;
  if (14 + body.size() < offset) body.resize(offset - 14, '\0');
  const std::string file_header =
      "BM" + le32(static_cast<std::uint32_t>(14 + body.size() + b.pixels.size())) + le32(0) + le32(offset);
  return file_header + body + b.pixels;
}

std::string bmp_rows(const std::string& rows_top_down, int height, std::size_t row_bytes) {
  std::string out;
  for (int y = height - 1; y >= 0; --y) out += rows_top_down.substr(row_bytes * static_cast<std::size_t>(y), row_bytes);
  return out;
}

// --- PNG files ---------------------------------------------------------------------------------

std::string png_chunk(const std::string& type, const std::string& body) {
  const std::string typed = type + body;
  const auto crc = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size())));
  return be32(static_cast<std::uint32_t>(body.size())) + typed + be32(crc);
}

std::string build_png(const RawPng& p) {
  const int channels = p.colour_type == 0 || p.colour_type == 3 ? 1
                       : p.colour_type == 4                     ? 2
                       : p.colour_type == 2                     ? 3
                                                                : 4;
  auto sample = [&](std::uint32_t x, std::uint32_t y, int c) {
    return p.samples.at((static_cast<std::size_t>(y) * p.width + x) * static_cast<std::size_t>(channels) +
                        static_cast<std::size_t>(c));
  };
  // One scanline (with its filter byte 0) of the pixels at x0, x0 + dx, ...
  auto scanline = [&](std::uint32_t y, std::uint32_t x0, std::uint32_t dx) {
    std::string line(1, '\0');
    int bit = 0;
    std::uint8_t acc = 0;
    for (std::uint32_t x = x0; x < p.width; x += dx) {
      for (int c = 0; c < channels; ++c) {
        const std::uint32_t v = sample(x, y, c);
        if (p.depth == 16) {
          line += static_cast<char>(v >> 8);
          line += static_cast<char>(v);
        } else if (p.depth == 8) {
          line += static_cast<char>(v);
        } else {
          acc = static_cast<std::uint8_t>(acc | (v << (8 - p.depth - bit)));
          bit += p.depth;
          if (bit == 8) {
            line += static_cast<char>(acc);
            acc = 0;
            bit = 0;
          }
        }
      }
    }
    if (bit) line += static_cast<char>(acc);
    return line;
  };
  std::string raw;
  if (!p.interlaced) {
    for (std::uint32_t y = 0; y < p.height; ++y) raw += scanline(y, 0, 1);
  } else {
    static const std::uint32_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                               {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    for (const auto& pass : passes) {
      if (pass[0] >= p.width) continue;
      for (std::uint32_t y = pass[1]; y < p.height; y += pass[3]) raw += scanline(y, pass[0], pass[2]);
    }
  }
  std::string ihdr = be32(p.width) + be32(p.height);
  ihdr += static_cast<char>(p.depth);
  ihdr += static_cast<char>(p.colour_type);
  ihdr += '\0';
  ihdr += '\0';
  ihdr += static_cast<char>(p.interlaced ? 1 : 0);
  std::string out = "\x89PNG\r\n\x1A\n" + png_chunk("IHDR", ihdr);
  for (const std::string& c : p.extra_chunks) out += c;
  if (!p.plte.empty()) out += png_chunk("PLTE", std::string(p.plte.begin(), p.plte.end()));
  if (!p.trns.empty()) out += png_chunk("tRNS", p.trns);
  out += png_chunk("IDAT", zlib(raw));
  out += png_chunk("IEND", "");
  return out;
}

}  // namespace nova::graphics::test
