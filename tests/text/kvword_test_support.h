// Helpers of the text engine tests: an engine on the test font service with
// pictures of the test's own, and readable views of its pages.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_font_service.h"
#include "support/test_support.h"
#include "text/font_pixel_manager.h"
#include "text/kvword.h"
#include "text/tokenizer.h"
#include "text/word_layout.h"

namespace nova::text::support {

// Pictures of one colour per frame, inked in full, with the frames' delays.
class TestPictures final : public InlinePictureSource {
 public:
  struct Shape {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::int32_t> delays{100};  // one per frame
    std::int32_t colour = 0x0000FF;         // of frame 0; frame k adds k to it
  };
  std::map<std::string, Shape, std::less<>> shapes;
  int acquired = 0;
  int released = 0;

  std::unique_ptr<InlinePicture> acquire(std::string_view name) override;
};

// The names of the test fonts' glyph shapes the engine tests use.
// Full boxes: every character inked over its whole cell width (a full-width
// character the size, a half-width one half of it) and the size's height,
// its top at the cell's top, so that what is painted shows where cells are.
test::TestGlyphShape full_box(std::uint16_t code, const platform::FontRequest& request);

class EngineFixture : public ::testing::Test {
 protected:
  EngineFixture();

  // Settings: font size `size`, width × height, fade time 0, speed 256.
  void setup(std::int32_t width, std::int32_t height, std::int32_t size = 10);
  // Parses a UTF-8 text with an initial wait and lays it all out.
  std::vector<TWdPage>& lay(std::string_view utf8, std::int32_t initial_wait = 0);

  // The UTF-8 characters of each row of a page, "|" for a line break, "_"
  // for an indent blank, "*" for a picture, "^" for another operation glyph.
  std::vector<std::string> rows_of(const TWdPage& page) const;
  // The placed glyph of the n-th character (counting characters only) on
  // the page.
  const PlacedGlyph& nth_char(const TWdPage& page, int n) const;
  const TWdRow& row_of_char(const TWdPage& page, int n) const;

  test::TestFontService m_fonts;
  TFontPixelManager m_manager{m_fonts};
  TestPictures m_pictures;
  TKvWord m_word{m_manager, &m_pictures};
  std::vector<TWdPage> m_pages;
};

}  // namespace nova::text::support
