// Test-only writers of picture files, independent of the product's writers:
// layered files of every version, header size, storage mode, block kind and
// scrambling; bitmap files of every header, compression and row order; PNG
// files of every colour type, depth, interlace and tRNS, written chunk by
// chunk with zlib. The tests and the seed generators of the fuzzers use
// them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/pixel_format.h"

namespace nova::graphics::test {

// --- Layered files --------------------------------------------------------------------

struct RawLayer {
  std::string name;
  bool visible = true;
  std::int32_t transparent = -1;
  std::int32_t opacity = 255;
  bool alpha_enabled = false;
  std::string colour;  // the data block as stored
  std::string alpha;   // as stored; empty: no alpha plane
};

struct RawFrame {
  std::string name;
  std::int32_t transparent = -1;
  std::int32_t delay = 100;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t bits = 24;
  std::vector<PaletteEntry> palette;  // written as 2^bits entries (padded with black) when bits <= 8
  std::vector<RawLayer> layers;
  std::vector<Rect> rects;  // written from version 104
  std::vector<Rect> rects2;
  std::int32_t layer_count = -1;  // -1: layers.size()
};

struct RawFile {
  bool magic = true;
  std::string version = "106";    // three characters after the magic
  std::int32_t header_size = 40;  // version 103 and later
  bool scrambled = false;
  std::uint8_t mode = 0;
  std::int32_t background = 0;
  std::int32_t block_width = 0;
  std::int32_t block_height = 0;
  bool opaque_bottom = false;
  std::uint8_t quality = 0;
  std::int32_t frame_count = -1;  // -1: frames.size()
  std::vector<RawFrame> frames;
};

int version_number(const RawFile& f);
std::string build_bri(const RawFile& file);

// The permutation of rows and block tables, computed on a plain list.
std::vector<std::uint32_t> plain_permutation(std::int32_t key, std::size_t n);

// Rows of `row_bytes` bytes in stored order: the i-th stored row is row
// P(i) of `rows` (the identity for key 0).
std::string scramble_rows(const std::string& rows, std::size_t row_bytes, std::int32_t key);
std::string zlib(const std::string& bytes, int level = 6);

struct BlockEntry {
  std::int32_t kind;
  std::int32_t argument;
};
// A block table (entry k for block k) and the raw bytes after it; with a
// key, entry P(i) is stored i-th.
std::string block_data(const std::vector<BlockEntry>& table, const std::string& raw, std::int32_t key = 0);

// Bytes of a bitmap given as pixel values, top row first, rows padded to
// four bytes (1 and 4 bits packed from the most significant bits).
std::string dib_rows(int width, int height, int bits, const std::vector<std::uint32_t>& pixels);
// The bytes of block (x, y, w, h) of such a bitmap as the block encoding
// stores a raw block: rows of (bits × w + 7) / 8 bytes from the byte the
// left edge falls in.
std::string raw_block(int width, int bits, const std::string& rows, int x, int y, int w, int h);

// --- Bitmap files --------------------------------------------------------------------------

struct RawBmp {
  std::uint32_t header_size = 40;  // 12, 40, 108, 124 (or anything, to be refused)
  std::int32_t width = 0;
  std::int32_t height = 0;  // negative: top-down
  std::uint16_t bits = 24;
  std::uint32_t compression = 0;
  std::uint32_t colours_used = 0;
  std::vector<PaletteEntry> palette;
  std::vector<std::uint32_t> masks;  // BI_BITFIELDS (after a 40-byte header, or in V4/V5)
  std::string pixels;                // as stored
  std::int32_t data_offset = -1;     // -1: right after the palette
};
std::string build_bmp(const RawBmp& bmp);
// Rows of a stored bitmap: `rows_top_down` (padded rows) in the order a
// file of this height stores them.
std::string bmp_rows(const std::string& rows_top_down, int height, std::size_t row_bytes);

// --- PNG files -----------------------------------------------------------------------------

struct RawPng {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int depth = 8;
  int colour_type = 2;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
  bool interlaced = false;
  // Samples, row by row, one value per sample (16-bit samples as 0..65535).
  std::vector<std::uint32_t> samples;
  std::vector<std::uint8_t> plte;         // r, g, b, ...
  std::string trns;                       // the tRNS chunk's body; empty: none
  std::vector<std::string> extra_chunks;  // whole chunks inserted before IDAT
};
std::string build_png(const RawPng& png);
// A chunk with its length and CRC.
std::string png_chunk(const std::string& type, const std::string& body);

// Little-endian integers.
std::string le32(std::uint32_t v);
std::string le16(std::uint16_t v);

}  // namespace nova::graphics::test
