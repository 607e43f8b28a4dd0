#include "platform/fonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "support/test_support.h"

namespace nova::platform {
namespace {

using test::sjis;

class Fonts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_fonts = create_font_service().release(); }
  static void TearDownTestSuite() {
    delete s_fonts;
    s_fonts = nullptr;
  }
  static std::unique_ptr<Font> font(std::string_view utf8_face, int height, int weight = 400) {
    FontRequest r;
    r.face = sjis(utf8_face);
    r.height = height;
    r.weight = weight;
    return s_fonts->create_font(r);
  }
  static inline FontService* s_fonts = nullptr;
};

std::uint16_t code_of(std::string_view sjis_char) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(sjis_char[0]) << 8 |
                                    static_cast<std::uint8_t>(sjis_char[1]));
}

// Raw level of pixel (x, y) scaled to 0..64, for comparing formats.
int level64(const GlyphBitmap& g, GlyphFormat f, int x, int y) {
  if (f == GlyphFormat::Mono) {
    return (g.data[static_cast<std::size_t>(y * g.pitch + x / 8)] & (0x80 >> (x % 8))) ? 64 : 0;
  }
  return g.data[static_cast<std::size_t>(y * g.pitch + x)] * 64 / glyph_levels(f);
}

TEST_F(Fonts, KanjiRasterizesInsideItsCellInEveryFormat) {
  auto f = font("ＭＳ ゴシック", 24);
  ASSERT_TRUE(f);
  const auto& m = f->metrics();
  EXPECT_EQ(m.height, 24);
  EXPECT_EQ(m.ascent + m.descent, 24);
  EXPECT_GT(m.ascent, m.descent);
  const std::uint16_t kan = code_of(sjis("漢"));
  GlyphBitmap formats[4];
  const GlyphFormat all[] = {GlyphFormat::Mono, GlyphFormat::Gray2, GlyphFormat::Gray4, GlyphFormat::Gray8};
  for (int i = 0; i < 4; ++i) {
    formats[i] = f->glyph(kan, all[i]);
    ASSERT_EQ(formats[i].status, GlyphStatus::Rendered);
    const GlyphMetrics& g = formats[i].metrics;
    EXPECT_GT(g.black_box_x, 8);
    EXPECT_GT(g.black_box_y, 8);
    // The black box lies inside the character cell.
    EXPECT_GE(g.origin_x, 0);
    EXPECT_LE(g.origin_x + g.black_box_x, g.cell_inc_x);
    EXPECT_GE(m.ascent - g.origin_y, 0);
    EXPECT_LE(m.ascent - g.origin_y + g.black_box_y, m.height);
    // A full-width character of a fixed-pitch face advances by the em,
    // which is the cell height less the internal leading.
    EXPECT_NEAR(g.cell_inc_x, m.height - m.internal_leading, 1);
    EXPECT_GE(m.internal_leading, 0);
    const int pitch = all[i] == GlyphFormat::Mono ? ((g.black_box_x + 31) / 32) * 4 : (g.black_box_x + 3) & ~3;
    EXPECT_EQ(formats[i].pitch, pitch);
    EXPECT_EQ(formats[i].data.size(), static_cast<std::size_t>(pitch * g.black_box_y));
    // Raw values stay within the format's levels.
    if (all[i] != GlyphFormat::Mono) {
      EXPECT_LE(*std::max_element(formats[i].data.begin(), formats[i].data.end()), glyph_levels(all[i]));
    }
  }
  // All formats describe the same glyph: same box, and coverage agrees with
  // the finest format within one step of the coarser one.
  const GlyphBitmap& fine = formats[3];
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(formats[i].metrics.black_box_x, fine.metrics.black_box_x);
    ASSERT_EQ(formats[i].metrics.black_box_y, fine.metrics.black_box_y);
    const int step = all[i] == GlyphFormat::Mono ? 64 : 64 / glyph_levels(all[i]);
    int inked = 0;
    for (int y = 0; y < fine.metrics.black_box_y; ++y) {
      for (int x = 0; x < fine.metrics.black_box_x; ++x) {
        const int a = level64(formats[i], all[i], x, y), b = level64(fine, GlyphFormat::Gray8, x, y);
        EXPECT_LE(std::abs(a - b), step) << "format " << i << " at " << x << "," << y;
        inked += b > 0;
      }
    }
    EXPECT_GT(inked, 40);
  }
}

TEST_F(Fonts, AdvanceIsTheSumOfAbcWidths) {
  auto f = font("ＭＳ Ｐゴシック", 16);
  ASSERT_TRUE(f);
  for (std::string_view ch : {"A", "i", "W", "g"}) {
    auto code = static_cast<std::uint16_t>(static_cast<unsigned char>(ch[0]));
    const GlyphBitmap g = f->glyph(code, GlyphFormat::Gray8);
    ASSERT_EQ(g.status, GlyphStatus::Rendered);
    AbcWidths abc = f->abc_widths(code);
    EXPECT_EQ(abc.a + static_cast<int>(abc.b) + abc.c, g.metrics.cell_inc_x) << ch;
    EXPECT_EQ(static_cast<int>(abc.b), g.metrics.black_box_x) << ch;
  }
  // A proportional face gives narrow and wide letters different advances.
  EXPECT_LT(f->text_width("i"), f->text_width("W"));
  EXPECT_EQ(f->text_width("iW"), f->text_width("i") + f->text_width("W"));
  EXPECT_EQ(f->text_width(sjis("あい")), f->text_width(sjis("あ")) + f->text_width(sjis("い")));
}

TEST_F(Fonts, SpaceHasNoInkButAnAdvance) {
  auto f = font("ＭＳ ゴシック", 20);
  ASSERT_TRUE(f);
  const GlyphBitmap g = f->glyph(' ', GlyphFormat::Gray8);
  ASSERT_EQ(g.status, GlyphStatus::Rendered);
  EXPECT_TRUE(g.data.empty());
  EXPECT_EQ(g.metrics.black_box_x, 0);
  EXPECT_GT(g.metrics.cell_inc_x, 0);
  const int em = f->metrics().height - f->metrics().internal_leading;
  EXPECT_NEAR(f->text_width(" "), em / 2, 1);  // half the em in a dual-width face
  EXPECT_EQ(f->text_width(sjis("　")), f->text_width(sjis("漢")));
}

TEST_F(Fonts, WindowsFacesMapOntoInstalledOnesAndUnknownFacesFallBack) {
  EXPECT_EQ(font("ＭＳ ゴシック", 16)->metrics().face_used, "IPAGothic");
  EXPECT_EQ(font("ms gothic", 16)->metrics().face_used, "IPAGothic");
  EXPECT_EQ(font("ＭＳ Ｐゴシック", 16)->metrics().face_used, "IPAPGothic");
  EXPECT_EQ(font("ＭＳ 明朝", 16)->metrics().face_used, "IPAMincho");
  EXPECT_EQ(font("ＭＳ Ｐ明朝", 16)->metrics().face_used, "IPAPMincho");
  EXPECT_EQ(font("IPA明朝", 16)->metrics().face_used, "IPAMincho");
  EXPECT_TRUE(s_fonts->has_face(sjis("ＭＳ ゴシック")));
  EXPECT_TRUE(s_fonts->has_face(sjis("IPAPGothic")));
  EXPECT_FALSE(s_fonts->has_face(sjis("存在しない書体")));
  EXPECT_FALSE(s_fonts->has_face(""));
  auto unknown = font("存在しない書体", 16);
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->metrics().face_used, "IPAGothic");
  EXPECT_EQ(unknown->request().face, sjis("存在しない書体"));
}

TEST_F(Fonts, FamilyListCarriesPitchAndWindowsNames) {
  auto families = s_fonts->families();
  auto find = [&](std::string_view utf8) -> const FontFamily* {
    for (const auto& f : families) {
      if (f.name == sjis(utf8)) return &f;
    }
    return nullptr;
  };
  ASSERT_NE(find("IPAGothic"), nullptr);
  ASSERT_NE(find("IPAPGothic"), nullptr);
  ASSERT_NE(find("ＭＳ ゴシック"), nullptr);
  ASSERT_NE(find("IPAゴシック"), nullptr);
  EXPECT_TRUE(find("IPAGothic")->fixed_pitch);
  EXPECT_TRUE(find("ＭＳ ゴシック")->fixed_pitch);
  EXPECT_FALSE(find("IPAPGothic")->fixed_pitch);
  EXPECT_FALSE(find("ＭＳ Ｐ明朝")->fixed_pitch);
  // The Windows names first, in the substitution table's order, then the
  // installed families sorted by their bytes; each name once, no vertical
  // faces.
  ASSERT_GE(families.size(), 3u);
  EXPECT_EQ(families[0].name, sjis("ＭＳ ゴシック"));
  EXPECT_EQ(families[1].name, sjis("MS Gothic"));
  EXPECT_EQ(families[2].name, sjis("ＭＳ Ｐゴシック"));
  std::set<std::string> seen;
  for (const auto& f : families) {
    EXPECT_TRUE(seen.insert(f.name).second) << f.name;
    EXPECT_NE(f.name.front(), '@');
  }
  std::size_t sorted_from = families.size() - 1;
  while (sorted_from > 0 && families[sorted_from - 1].name < families[sorted_from].name) --sorted_from;
  std::set<std::string> installed_part;
  for (std::size_t i = sorted_from; i < families.size(); ++i) installed_part.insert(families[i].name);
  for (const char* name : {"IPAGothic", "IPAPGothic", "IPAゴシック"}) EXPECT_EQ(installed_part.count(sjis(name)), 1u);
  EXPECT_EQ(installed_part.count(sjis("ＭＳ ゴシック")), 0u);
}

TEST_F(Fonts, StylesChangeTheGlyphs) {
  auto regular = font("ＭＳ Ｐゴシック", 20);
  auto bold = font("ＭＳ Ｐゴシック", 20, 700);
  ASSERT_TRUE(regular && bold);
  const GlyphBitmap r = regular->glyph('H', GlyphFormat::Gray8);
  const GlyphBitmap b = bold->glyph('H', GlyphFormat::Gray8);
  ASSERT_EQ(r.status, GlyphStatus::Rendered);
  ASSERT_EQ(b.status, GlyphStatus::Rendered);
  EXPECT_GT(b.metrics.cell_inc_x, r.metrics.cell_inc_x);
  EXPECT_GT(b.metrics.black_box_x, r.metrics.black_box_x);
  FontRequest req;
  req.face = sjis("ＭＳ Ｐゴシック");
  req.height = 20;
  req.italic = true;
  auto italic = s_fonts->create_font(req);
  const GlyphBitmap i = italic->glyph('l', GlyphFormat::Gray8);
  const GlyphBitmap l = regular->glyph('l', GlyphFormat::Gray8);
  EXPECT_GT(i.metrics.black_box_x, l.metrics.black_box_x);  // the slant widens a vertical stroke
  const auto& m = regular->metrics();
  EXPECT_GE(m.underscore_size, 1);
  EXPECT_LT(m.underscore_position, 0);
  EXPECT_GT(m.strikeout_position, 0);
  EXPECT_LT(m.strikeout_position, m.ascent);
}

// The overhang is what synthesis adds to a line: nothing for a regular face,
// the emboldening (1/24 of the em, at least a pixel) for a bold made from the
// regular face, and the slant's reach at the ascent for a slanted italic,
// about a fifth of the ascent. The slanted stroke of "l" leans that far over
// the height it spans.
TEST_F(Fonts, SynthesizedStylesReportTheirOverhang) {
  auto make = [](int weight, bool italic) {
    FontRequest r;
    r.face = sjis("ＭＳ Ｐゴシック");
    r.height = 48;
    r.weight = weight;
    r.italic = italic;
    return s_fonts->create_font(r);
  };
  const auto regular = make(400, false), bold = make(700, false), italic = make(400, true), both = make(700, true);
  ASSERT_TRUE(regular && bold && italic && both);
  EXPECT_EQ(regular->metrics().overhang, 0);
  const int ppem = regular->metrics().height - regular->metrics().internal_leading;
  const int embolden = std::max(1, (ppem * 64 / 24 + 32) / 64);
  EXPECT_EQ(bold->metrics().overhang, embolden);
  const int ascent = italic->metrics().ascent;
  EXPECT_NEAR(italic->metrics().overhang, ascent * 0.2125, 0.5);
  EXPECT_EQ(both->metrics().overhang, embolden + italic->metrics().overhang);
  // The lean of a vertical stroke over its own height, within the
  // antialiased edge pixels.
  const GlyphBitmap l = regular->glyph('l', GlyphFormat::Gray8), il = italic->glyph('l', GlyphFormat::Gray8);
  const int lean = il.metrics.black_box_x - l.metrics.black_box_x;
  EXPECT_NEAR(lean, italic->metrics().overhang * il.metrics.black_box_y / ascent, 2);
}

// A code without a character is told apart from a glyph that failed: it is
// unmapped, with no data and every metric 0, and it costs no fallback font.
// A code of the user-defined area is a character (a private-use code point)
// that no face has: it keeps the face's missing-glyph shape.
TEST_F(Fonts, UnmappedCodesAreToldApartFromCharactersNoFaceHas) {
  auto f = font("ＭＳ ゴシック", 16);
  for (std::uint16_t code : {std::uint16_t{0x8540}, std::uint16_t{0x86A0}, std::uint16_t{0x82}, std::uint16_t{0xFC}}) {
    for (GlyphFormat format : {GlyphFormat::Mono, GlyphFormat::Gray8}) {
      const GlyphBitmap g = f->glyph(code, format);
      EXPECT_EQ(g.status, GlyphStatus::Unmapped) << code;
      EXPECT_TRUE(g.data.empty());
      EXPECT_EQ(g.metrics.black_box_x, 0);
      EXPECT_EQ(g.metrics.cell_inc_x, 0);
      EXPECT_EQ(g.metrics.origin_y, 0);
    }
    EXPECT_EQ(f->abc_widths(code).c, 0);
  }
  EXPECT_EQ(f->text_width("\x85\x40"), 0);
  const GlyphBitmap user = f->glyph(0xF040, GlyphFormat::Gray8);
  EXPECT_EQ(user.status, GlyphStatus::Rendered);
  EXPECT_GT(user.metrics.cell_inc_x, 0);
}

// Each font keeps a bounded number of renderings, and a font that borrows
// characters from its fallback keeps no copies of them.
TEST_F(Fonts, RenderedCharactersAreKeptWithinABound) {
  auto gothic = font("ＭＳ ゴシック", 20);
  auto latin = font("Arial", 20);
  ASSERT_TRUE(gothic && latin);
  std::vector<std::uint16_t> kanji;
  for (std::uint16_t code = 0x889F; kanji.size() < 600; ++code) {
    if ((code & 0xFF) >= 0x40 && (code & 0xFF) != 0x7F && (code & 0xFF) <= 0xFC) kanji.push_back(code);
  }
  const GlyphBitmap first = gothic->glyph(kanji[0], GlyphFormat::Gray8);
  for (std::uint16_t code : kanji) {
    EXPECT_EQ(gothic->glyph(code, GlyphFormat::Gray8).status, GlyphStatus::Rendered);
    EXPECT_EQ(latin->glyph(code, GlyphFormat::Gray4).status, GlyphStatus::Rendered);
  }
  for (std::uint16_t code = 0x20; code < 0x7F; ++code) latin->glyph(code, GlyphFormat::Gray8);
  EXPECT_LE(gothic->cached_glyphs(), kFontGlyphCacheLimit);
  EXPECT_GE(gothic->cached_glyphs(), kFontGlyphCacheLimit / 2);
  EXPECT_LE(latin->cached_glyphs(), 2 * kFontGlyphCacheLimit);
  // Rendered again after it left, a character is the same.
  const GlyphBitmap again = gothic->glyph(kanji[0], GlyphFormat::Gray8);
  EXPECT_EQ(again.data, first.data);
  EXPECT_EQ(again.metrics.origin_x, first.metrics.origin_x);
  EXPECT_EQ(again.metrics.cell_inc_x, first.metrics.cell_inc_x);
}

TEST_F(Fonts, FontsNameTheirFileAndTheServiceItsRasterizer) {
  auto f = font("ＭＳ ゴシック", 16);
  EXPECT_TRUE(std::filesystem::is_regular_file(f->metrics().file_used)) << f->metrics().file_used;
  EXPECT_EQ(s_fonts->rasterizer_version().rfind("FreeType 2.", 0), 0u) << s_fonts->rasterizer_version();
}

}  // namespace
}  // namespace nova::platform
