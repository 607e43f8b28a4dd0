// The font service: faces by their Windows names, outline metrics, glyph
// bitmaps at the system's four antialiasing formats, character widths.
//
// Titles name the fonts of the system they were made on ("ＭＳ ゴシック",
// "ＭＳ Ｐ明朝", "Arial"); a substitution table maps those names onto fonts
// installed here (the IPA fonts for the Japanese faces), and fontconfig finds
// the files. Names and text are Shift-JIS; the service converts at its edge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nova::platform {

struct FontFamily {
  std::string name;  // Shift-JIS
  bool fixed_pitch = false;
};

struct FontRequest {
  std::string face;  // Shift-JIS face name as the title gives it
  int height = 16;   // cell height in pixels (ascent + descent), as a positive Windows height
  int weight = 400;  // 400 normal, 700 bold
  bool italic = false;
  bool underline = false;
  bool strike_out = false;
};

struct OutlineTextMetrics {
  int height = 0;  // ascent + descent
  int ascent = 0;
  int descent = 0;
  int internal_leading = 0;  // height − the em size
  int average_char_width = 0;
  int max_char_width = 0;
  int underscore_size = 0;
  int underscore_position = 0;  // above the baseline; negative below it
  int strikeout_size = 0;
  int strikeout_position = 0;  // above the baseline
  // The width a synthesized style adds to a line of text: the emboldening of
  // a bold made from a regular face (what it widens each stroke and advance
  // by) plus the lean of an italic made by slanting one (how far the top of
  // the cell leans right). 0 for a face that has the style itself. Callers
  // that fit text into a box add it once, as the system's overhang.
  int overhang = 0;
  bool fixed_pitch = false;
  std::string face_used;  // the installed family actually used (UTF-8)
  std::string file_used;  // its font file (UTF-8 path; empty when there is none)
};

// The bitmap formats of glyph outlines. Gray formats carry raw levels
// 0..4, 0..16 and 0..64 per byte with rows padded to 4 bytes; Mono carries
// one bit per pixel, most significant bit first, rows padded to 4 bytes.
enum class GlyphFormat : std::uint8_t { Mono, Gray2, Gray4, Gray8 };

constexpr int glyph_levels(GlyphFormat f) {
  return f == GlyphFormat::Gray2 ? 4 : (f == GlyphFormat::Gray4 ? 16 : (f == GlyphFormat::Gray8 ? 64 : 1));
}

struct GlyphMetrics {
  int black_box_x = 0;  // width of the inked box
  int black_box_y = 0;  // height of the inked box
  int origin_x = 0;     // left edge of the box relative to the pen position
  int origin_y = 0;     // top edge of the box above the baseline
  int cell_inc_x = 0;   // advance of the pen
  int cell_inc_y = 0;
};

// What became of a glyph request.
enum class GlyphStatus : std::uint8_t {
  Rendered,  // the bitmap; a character without ink (a space) has no data
  Unmapped,  // the code is no character of the code page: no data, every metric 0
  Refused,   // the character exists but could not be produced in that format
};

struct GlyphBitmap {
  GlyphStatus status = GlyphStatus::Rendered;
  GlyphMetrics metrics;
  std::vector<std::uint8_t> data;  // empty for blank characters (a space)
  int pitch = 0;                   // bytes per row
};

// Characters a font keeps rendered, at most (its fallback's counted apart).
inline constexpr std::size_t kFontGlyphCacheLimit = 256;

struct AbcWidths {
  int a = 0;       // space before the inked part
  unsigned b = 0;  // inked width
  int c = 0;       // space after it; a + b + c is the advance
};

class Font {
 public:
  virtual ~Font() = default;
  virtual const FontRequest& request() const = 0;
  virtual const OutlineTextMetrics& metrics() const = 0;

  // The outline bitmap of one character. `code` is a Shift-JIS character
  // code (a byte, or lead × 256 + trail). A code that is no character (an
  // unassigned code, a lone lead byte) is Unmapped; a character that cannot
  // be produced in the format is Refused. A character of the code page that
  // no face has keeps the face's missing-glyph shape.
  virtual GlyphBitmap glyph(std::uint16_t code, GlyphFormat format) = 0;

  // How many characters this font keeps rendered, its fallback's included;
  // each of the two keeps at most kFontGlyphCacheLimit.
  virtual std::size_t cached_glyphs() const = 0;

  virtual AbcWidths abc_widths(std::uint16_t code) = 0;
  // The advance width of a Shift-JIS text, character by character.
  virtual int text_width(std::string_view sjis) = 0;
};

class FontService {
 public:
  virtual ~FontService() = default;

  // The Windows names of the substitution table whose substitutes are
  // installed, in the table's order, then the installed families whose
  // names have a Shift-JIS form, sorted by their bytes; each name once, no
  // vertical ("@") faces.
  virtual std::vector<FontFamily> families() = 0;

  // True when a face of exactly this name (without regard to case) can be
  // served: installed, or a Windows name whose substitute is installed.
  virtual bool has_face(std::string_view sjis_face) = 0;

  // Makes a font. An unknown face falls back to the substitute of
  // "ＭＳ ゴシック"; nullptr only when no usable font file exists at all.
  virtual std::unique_ptr<Font> create_font(const FontRequest& request) = 0;

  // The name and version of the rasterizer, for checks of stored pixels.
  virtual std::string rasterizer_version() const = 0;
};

// The FreeType + fontconfig service. Both backends use it.
std::unique_ptr<FontService> create_font_service();

}  // namespace nova::platform
