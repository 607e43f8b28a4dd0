// The pages of `nova text` against their goldens, under the rule of the
// glyph goldens: compared only on the fonts and rasterizer they were made
// with, and failing (not passing) on others.
#include "page_goldens.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace nova::text::goldens {
namespace {

TEST(PageGoldens, PagesOfNovaTextMatchTheirGoldens) {
  auto fonts = platform::create_font_service();
  if (font_manifest(*fonts) != test::read_file(golden_folder() / "fonts.txt")) {
    FAIL() << "not compared: the fonts or the rasterizer differ from the goldens' (see the font check of the "
              "glyph goldens)";
  }
  const std::vector<Picture> stored = read_pictures(golden_folder() / "pages" / "pages.bin");
  test::TempDir work;
  const std::vector<Picture> now = render_pages(test::binary_dir() / "tools" / "nova", work.path());
  ASSERT_EQ(now.size(), stored.size());
  for (std::size_t i = 0; i < now.size(); ++i) {
    SCOPED_TRACE(now[i].name);
    EXPECT_EQ(now[i].name, stored[i].name);
    ASSERT_EQ(now[i].width, stored[i].width);
    ASSERT_EQ(now[i].height, stored[i].height);
    for (std::size_t k = 0; k < now[i].pixels.size(); ++k) {
      ASSERT_EQ(now[i].pixels[k], stored[i].pixels[k])
          << "first difference at (" << k % static_cast<std::size_t>(now[i].width) << ", "
          << k / static_cast<std::size_t>(now[i].width) << ")";
    }
  }
}

}  // namespace
}  // namespace nova::text::goldens
