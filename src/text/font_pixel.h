// TFontPixel: one character rasterized for one font, size, style and
// antialiasing level, as an 8-bit coverage picture with the metrics that
// place it in a character cell.
//
// Glyphs are made and owned by the glyph manager (font_pixel_manager.h);
// tests and the drawing code may build their own.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/memory_dibx.h"

namespace nova::text {

class TFontPixel {
 public:
  // The key: a single byte, or lead byte × 256 + trail byte.
  std::uint16_t code = 0;
  std::string font_name;     // as asked for (not the face used)
  std::int32_t size = 0;     // cell height in pixels as asked for (after the manager's limit)
  std::uint8_t style = 0;    // FS_* bits
  std::int32_t quality = 0;  // at the time it was made

  // The glyph's black box, one coverage byte (0..255) per pixel; width 0 for
  // blank characters and for characters that could not be rasterized.
  graphics::TDIBX coverage;

  std::int32_t left_bearing = 0;         // max(0, x of the glyph origin)
  std::int32_t top_offset = 0;           // max(0, ascent − y of the glyph origin)
  std::int32_t underline_thickness = 0;  // when underlined, else 0
  std::int32_t strike_position = 0;      // ascent − the strike-out position, when struck out
  std::int32_t strike_thickness = 0;     // when struck out, else 0
  // Cell advance − coverage width − left bearing when positive, else 0; for
  // a blank character its text width.
  std::int32_t extra_advance = 0;

  TFontPixel() = default;
  TFontPixel(const TFontPixel&) = delete;
  TFontPixel& operator=(const TFontPixel&) = delete;

  bool empty() const { return coverage.IsEmpty(); }
  std::int32_t coverage_width() const { return coverage.GetWidth(); }
  std::int32_t coverage_height() const { return coverage.GetHeight(); }
  // Bytes the coverage occupies (its rows as stored).
  std::int64_t coverage_bytes() const;
  // What callers that place characters proportionally advance by.
  std::int32_t advance() const { return coverage_width() + left_bearing + extra_advance; }
};

}  // namespace nova::text
