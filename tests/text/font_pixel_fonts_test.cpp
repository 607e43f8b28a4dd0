// The glyph manager on the installed fonts: real Japanese text in several
// faces and sizes stays within the bounds, every kind of character of the
// code page rasterizes, unknown faces fall back under their own key.
#include <gtest/gtest.h>

#include <set>

#include "core/sjis.h"
#include "platform/fonts.h"
#include "support/test_support.h"
#include "text/decoration.h"
#include "text/font_pixel_manager.h"

namespace nova::text {
namespace {

std::uint16_t code_of(std::string_view utf8) { return core::char_code_at(test::sjis(utf8), 0); }

class InstalledFonts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_fonts = platform::create_font_service().release(); }
  static void TearDownTestSuite() {
    delete s_fonts;
    s_fonts = nullptr;
  }
  static inline platform::FontService* s_fonts = nullptr;
};

// Every distinct character of three hundred sentences of a real manual page,
// in three faces at four sizes: the cache never holds more than its 256
// glyphs, and no font keeps more renderings than its cap.
TEST_F(InstalledFonts, RealTextInThreeFacesAndFourSizesStaysWithinTheBounds) {
  const std::string text = test::read_file(test::source_dir() / "tests/text/fixtures/gawk-ja.cp932.txt");
  ASSERT_GT(text.size(), 10000u);
  std::vector<std::uint16_t> codes;
  std::set<std::uint16_t> seen;
  core::for_each_char(text, [&](std::size_t at, std::size_t) {
    const std::uint16_t code = core::char_code_at(text, at);
    if (code != '\r' && code != '\n' && seen.insert(code).second) codes.push_back(code);
  });
  ASSERT_GT(codes.size(), 500u);

  TFontPixelManager manager(*s_fonts);
  int inked = 0, blank = 0;
  for (const char* face : {"ＭＳ ゴシック", "ＭＳ Ｐ明朝", "Arial"}) {
    for (std::int32_t size : {12, 16, 24, 40}) {
      for (std::uint16_t code : codes) {
        const FontPixelRef g = manager.GetFontPixel(code, test::sjis(face), 0, size);
        ASSERT_EQ(g->code, code);
        ASSERT_LE(manager.cached_glyphs(), TFontPixelManager::kMaxGlyphs);
        (g->empty() ? blank : inked) += 1;
        ASSERT_TRUE(!g->empty() || g->extra_advance > 0) << code << " neither inked nor blank";
      }
      for (std::size_t count : manager.font_cache_counts()) {
        // A font's own renderings and its fallback's, each within the cap.
        EXPECT_LE(count, 2 * platform::kFontGlyphCacheLimit) << face << " " << size;
      }
    }
  }
  EXPECT_EQ(manager.cached_glyphs(), TFontPixelManager::kMaxGlyphs);
  EXPECT_LE(manager.coverage_bytes(), manager.coverage_budget());
  EXPECT_GT(inked, 12 * 500);
  EXPECT_GT(blank, 0);  // the spaces of the text
}

// Both JIS levels, the NEC special characters and the NEC-selected and IBM
// extensions, half-width kana, ASCII and blanks.
TEST_F(InstalledFonts, EveryKindOfCharacterOfTheCodePageRasterizes) {
  TFontPixelManager manager(*s_fonts);
  const std::string gothic = test::sjis("ＭＳ ゴシック");
  const std::uint16_t inked[] = {
      0x889F, 0x9872,          // 亜 and the last of level 1
      0x989F, 0xEAA4,          // 弌 and the last of level 2
      0x8740, 0x8782, 0x8794,  // ① № ∑
      0xED40, 0xEEEC,          // NEC-selected IBM extensions
      0xFA40, 0xFA55, 0xFC4B,  // IBM extensions: ⅰ ￤ and the last
      0xB1,   0xDF,   0xA1,    // ｱ ﾟ ｡
      'A',    '~',    '0',
  };
  for (std::uint16_t code : inked) {
    const FontPixelRef g = manager.GetFontPixel(code, gothic, 0, 24);
    EXPECT_FALSE(g->empty()) << std::hex << code;
    EXPECT_LE(g->coverage_width(), 24) << std::hex << code;
    EXPECT_EQ(manager.Quality(), 3);
  }
  // Half-width and full-width spaces: no coverage, half and whole the em
  // (the advance of a kanji).
  const int em = manager.GetFontPixel(0x8ABF, gothic, 0, 24)->advance();
  EXPECT_GT(em, 18);
  EXPECT_TRUE(manager.GetFontPixel(' ', gothic, 0, 24)->empty());
  EXPECT_EQ(manager.GetFontPixel(' ', gothic, 0, 24)->extra_advance, em / 2);
  EXPECT_TRUE(manager.GetFontPixel(0x8140, gothic, 0, 24)->empty());
  EXPECT_EQ(manager.GetFontPixel(0x8140, gothic, 0, 24)->extra_advance, em);
  // Codes without a character: empty, every metric 0, the quality kept.
  for (std::uint16_t code : {std::uint16_t{0x8540}, std::uint16_t{0x86A0}, std::uint16_t{0x82}, std::uint16_t{0xFC}}) {
    const FontPixelRef g = manager.GetFontPixel(code, gothic, FS_UNDERLINE, 24);
    EXPECT_TRUE(g->empty()) << std::hex << code;
    EXPECT_EQ(g->extra_advance + g->left_bearing + g->top_offset + g->underline_thickness, 0);
    EXPECT_EQ(manager.Quality(), 3);
  }
  // The user-defined area: characters that no face has keep the face's
  // missing-glyph shape, the same for each of them.
  const FontPixelRef user = manager.GetFontPixel(0xF040, gothic, 0, 24);
  const int user_advance = user->advance();
  EXPECT_GT(user_advance, 0);
  EXPECT_EQ(manager.GetFontPixel(0xF19E, gothic, 0, 24)->advance(), user_advance);
  EXPECT_EQ(manager.Quality(), 3);
}

TEST_F(InstalledFonts, AnUnknownFaceRendersAsTheDefaultUnderItsOwnKey) {
  TFontPixelManager manager(*s_fonts);
  const std::uint16_t kan = code_of("漢");
  const FontPixelRef unknown = manager.GetFontPixel(kan, test::sjis("存在しない書体"), FS_BOLD, 24);
  EXPECT_EQ(unknown->font_name, test::sjis("存在しない書体"));
  const int w = unknown->coverage_width(), h = unknown->coverage_height();
  std::vector<std::uint32_t> pixels;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) pixels.push_back(unknown->coverage.GetPixel(x, y));
  }
  const int left = unknown->left_bearing, top = unknown->top_offset;
  const FontPixelRef known = manager.GetFontPixel(kan, test::sjis("ＭＳ ゴシック"), FS_BOLD, 24);
  EXPECT_EQ(manager.cached_glyphs(), 2u);
  ASSERT_EQ(known->coverage_width(), w);
  ASSERT_EQ(known->coverage_height(), h);
  EXPECT_EQ(known->left_bearing, left);
  EXPECT_EQ(known->top_offset, top);
  std::size_t i = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) ASSERT_EQ(known->coverage.GetPixel(x, y), pixels[i++]);
  }
}

// With the fonts the setup installs, the Japanese system faces are the IPA
// fonts.
TEST_F(InstalledFonts, TheJapaneseSystemFacesAreTheIpaFonts) {
  const std::pair<const char*, const char*> faces[] = {{"ＭＳ ゴシック", "IPAGothic"},
                                                       {"ＭＳ Ｐゴシック", "IPAPGothic"},
                                                       {"ＭＳ 明朝", "IPAMincho"},
                                                       {"ＭＳ Ｐ明朝", "IPAPMincho"}};
  for (const auto& [windows, installed] : faces) {
    platform::FontRequest r;
    r.face = test::sjis(windows);
    r.height = 24;
    const auto font = s_fonts->create_font(r);
    ASSERT_TRUE(font) << windows;
    EXPECT_EQ(font->metrics().face_used, installed) << windows;
    // The em size makes the cell of the requested height.
    EXPECT_EQ(font->metrics().ascent + font->metrics().descent, 24);
  }
}

}  // namespace
}  // namespace nova::text
