// A font service for tests: every character is a box whose size, place,
// advance, ABC widths and raw levels the test chooses, with no font files
// behind it. On demand it refuses bitmap formats or makes no font at all,
// and it counts what it was asked.
//
// Codes that are no character of the code page (a lone lead byte, 0x8540)
// are answered as unmapped, as the real service answers them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/fonts.h"

namespace nova::test {

struct TestGlyphShape {
  int width = 0;  // black box; 0 (or a height of 0) makes a blank
  int height = 0;
  int origin_x = 0;  // left edge of the box from the pen
  int origin_y = 0;  // top edge of the box above the baseline
  int advance = 0;
  // The ABC widths; without them A is origin_x, B the box width and C the
  // rest of the advance.
  std::optional<platform::AbcWidths> abc;
  // The raw level of box pixel (x, y) in a format of `levels` levels (1 for
  // the monochrome one: any value above 0 sets the bit); without it every
  // pixel is fully inked.
  std::function<int(int x, int y, int levels)> level;
};

class TestFontService final : public platform::FontService {
 public:
  using ShapeFn = std::function<TestGlyphShape(std::uint16_t code, const platform::FontRequest& request)>;

  TestFontService();

  // The shape of every character; by default a box of three quarters of the
  // height, inked in full, advancing by the height, with blanks for the
  // half-width and full-width spaces.
  ShapeFn shape;
  // Metrics of every font: the ascent is the height less a fifth; these
  // fields are taken as they stand.
  int underscore_size = 2;
  int strikeout_size = 2;
  int strikeout_position = 5;  // above the baseline
  // The overhang of fonts asked for in bold or italic (regular ones have
  // none), as a face without those styles reports it.
  int synthetic_overhang = 0;
  // Formats the fonts refuse to produce.
  std::set<platform::GlyphFormat> refused;
  // create_font answers nullptr.
  bool no_font = false;

  // What was asked: every font request, and the number of glyph requests.
  std::vector<platform::FontRequest> font_requests;
  int glyph_requests = 0;

  static TestGlyphShape default_shape(std::uint16_t code, const platform::FontRequest& request);

  std::vector<platform::FontFamily> families() override;
  bool has_face(std::string_view sjis_face) override;
  std::unique_ptr<platform::Font> create_font(const platform::FontRequest& request) override;
  std::string rasterizer_version() const override { return "test boxes"; }
};

}  // namespace nova::test
