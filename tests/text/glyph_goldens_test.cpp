// The glyph manager's pixels on the installed fonts against the stored
// goldens. They hold only for the fonts and the rasterizer they were made
// with: a different font file or rasterizer version fails the test and says
// so, rather than passing or regenerating silently.
#include "glyph_goldens.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace nova::text::goldens {
namespace {

TEST(GlyphGoldens, TheFontsAndTheRasterizerAreTheOnesTheGoldensWereMadeWith) {
  auto fonts = platform::create_font_service();
  const std::string stored = test::read_file(golden_folder() / "fonts.txt");
  ASSERT_FALSE(stored.empty()) << "no tests/text/goldens/fonts.txt";
  EXPECT_EQ(font_manifest(*fonts), stored)
      << "The fonts or the rasterizer differ from those the glyph goldens were made with, so the goldens "
         "cannot be compared. If the change is wanted, run scripts/regenerate-glyph-goldens, review the "
         "contact sheet by eye and commit the new goldens.";
}

TEST(GlyphGoldens, GlyphsAndDecoratedRunsMatchTheirGoldens) {
  auto fonts = platform::create_font_service();
  if (font_manifest(*fonts) != test::read_file(golden_folder() / "fonts.txt")) {
    FAIL() << "not compared: the fonts or the rasterizer differ from the goldens' (see the font check)";
  }
  const std::vector<Picture> stored = read_pictures(golden_folder() / "pictures.bin");
  const std::vector<Picture> now = render_all(*fonts);
  ASSERT_EQ(stored.size(), now.size());
  for (std::size_t i = 0; i < now.size(); ++i) {
    SCOPED_TRACE(now[i].name);
    EXPECT_EQ(now[i].name, stored[i].name);
    EXPECT_EQ(now[i].note, stored[i].note);
    ASSERT_EQ(now[i].width, stored[i].width);
    ASSERT_EQ(now[i].height, stored[i].height);
    ASSERT_EQ(now[i].bits, stored[i].bits);
    for (std::size_t k = 0; k < now[i].pixels.size(); ++k) {
      ASSERT_EQ(now[i].pixels[k], stored[i].pixels[k])
          << "first difference at (" << k % static_cast<std::size_t>(now[i].width) << ", "
          << k / static_cast<std::size_t>(now[i].width) << ")";
    }
  }
}

}  // namespace
}  // namespace nova::text::goldens
