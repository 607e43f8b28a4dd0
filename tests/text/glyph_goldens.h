// The stored pixels of the glyph manager on the installed fonts: single
// glyphs in every quality and decorated runs in 32- and 16-bit surfaces,
// with the fonts and the rasterizer they were made with.
//
// The golden test (glyph_goldens_test.cpp) renders them again and compares;
// make_glyph_goldens (scripts/regenerate-glyph-goldens) writes them and an
// enlarged contact sheet for review by eye.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/fonts.h"

namespace nova::text::goldens {

// One stored picture: pixel values row by row in a layout of 8 (coverage or
// mask), 16 or 32 bits.
struct Picture {
  std::string name;  // UTF-8
  std::string note;  // the glyph's metrics, for glyphs
  int width = 0;
  int height = 0;
  int bits = 8;
  std::vector<std::uint32_t> pixels;
  bool operator==(const Picture&) const = default;
};

// Every golden picture, rendered now with these fonts.
std::vector<Picture> render_all(platform::FontService& fonts);

// What the pictures depend on: the rasterizer's version, and per face the
// family and file used with the file's SHA-256, one a line.
std::string font_manifest(platform::FontService& fonts);

// The pictures file (compressed). Reading raises core::Error for a damaged
// file.
void write_pictures(const std::filesystem::path& path, const std::vector<Picture>& pictures);
std::vector<Picture> read_pictures(const std::filesystem::path& path);

// The pictures enlarged `scale` times on one sheet, named in its log line
// order, as a PNG. Returns false when it cannot be written.
bool write_contact_sheet(const std::filesystem::path& path, const std::vector<Picture>& pictures, int scale);

// Where the goldens live in the source tree.
std::filesystem::path golden_folder();

}  // namespace nova::text::goldens
