#include "platform/codepage.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace nova::platform::codepage {
namespace {

using test::sjis;

TEST(CodePage, LeadBytesAreTheCp932Ranges) {
  int count = 0;
  for (int b = 0; b < 256; ++b) {
    bool expected = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    EXPECT_EQ(is_lead_byte(static_cast<std::uint8_t>(b)), expected) << b;
    count += expected;
  }
  EXPECT_EQ(count, 31 + 29);
  // A lead byte at the end of the text stands alone.
  std::string s = "a\x82";
  EXPECT_EQ(char_length(s, 1), 1u);
  EXPECT_EQ(char_length(sjis("あ"), 0), 2u);
}

TEST(CodePage, RealJapaneseTextRoundTrips) {
  // Characters whose trail byte is a backslash (表, ソ, 能) or a pipe, and
  // half-width katakana, survive both ways.
  const std::string texts[] = {"吾輩は猫である。名前はまだ無い。", "表示ソフト能力\\パス", "ﾊﾝｶｸｶﾅ", "①②Ⅲ㈱～－",
                               "Ｃ：￥ＡＢＣ"};
  for (const std::string& utf8 : texts) {
    auto s = from_utf8(utf8);
    ASSERT_TRUE(s.has_value()) << utf8;
    EXPECT_EQ(to_utf8(*s), utf8);
  }
  auto hyo = from_utf8("表");
  ASSERT_TRUE(hyo);
  EXPECT_EQ(*hyo, "\x95\x5C");
  EXPECT_EQ(from_utf8("ｱ").value(), "\xB1");
}

TEST(CodePage, JisFormsMapOntoCp932AndTheRestIsRefused) {
  // WAVE DASH as typed on Linux becomes the full-width tilde of CP932.
  EXPECT_EQ(from_utf8("〜").value(), "\x81\x60");
  EXPECT_EQ(from_utf8("−").value(), "\x81\x7C");
  EXPECT_FALSE(from_utf8("smile 😀").has_value());
  EXPECT_FALSE(from_utf8("bad \xC3").has_value());  // truncated UTF-8
  EXPECT_EQ(first_unconvertible("ab😀c"), std::optional<std::size_t>(2));
  EXPECT_EQ(first_unconvertible("日本"), std::nullopt);
  EXPECT_EQ(from_utf8_lossy("a😀b"), "a?b");
}

TEST(CodePage, MalformedShiftJisBecomesReplacementCharacters) {
  // 0x85 0x40 is an unassigned double-byte code; 0xA0 is no character.
  std::string out = to_utf8(std::string("x\x85\x40y\xA0z"));
  EXPECT_EQ(out, "x\xEF\xBF\xBDy\xEF\xBF\xBDz");
  EXPECT_EQ(to_utf8(std::string("\x82")), "\xEF\xBF\xBD");
}

TEST(CodePage, CaseMappingTouchesLettersOnly) {
  EXPECT_EQ(to_upper("abcXYZ019"), "ABCXYZ019");
  EXPECT_EQ(to_upper(sjis("ａｂｚ")), sjis("ＡＢＺ"));
  EXPECT_EQ(to_lower(sjis("ＡＢＺ")), sjis("ａｂｚ"));
  // ャ is 0x83 0x61: its trail byte is ASCII "a" and must stay.
  EXPECT_EQ(to_upper(sjis("ャa")), sjis("ャA"));
  EXPECT_EQ(to_lower(sjis("ソA")), sjis("ソa"));
  // Greek and Cyrillic are not folded.
  EXPECT_EQ(to_upper(sjis("α")), sjis("α"));
}

TEST(CodePage, ComparisonFoldsLettersThenOrdersByCode) {
  EXPECT_EQ(compare("abc", "ABC", true), 0);
  EXPECT_NE(compare("abc", "ABC", false), 0);
  EXPECT_EQ(compare(sjis("ｆｉｌｅ"), sjis("ＦＩＬＥ"), true), 0);
  EXPECT_LT(compare("ab", "abc", true), 0);
  EXPECT_GT(compare("b", "abc", true), 0);
  // Single bytes sort before double-byte characters, which sort by code.
  EXPECT_LT(compare("z", sjis("あ"), true), 0);
  EXPECT_LT(compare(sjis("あ"), sjis("い"), true), 0);
  EXPECT_TRUE(equal_ignore_case(sjis("データ.DAT"), sjis("データ.dat")));
  EXPECT_FALSE(equal_ignore_case(sjis("ャ"), sjis("ャ") + "x"));
}

TEST(CodePage, CodesMapToUnicode) {
  EXPECT_EQ(code_to_unicode(0x41), std::optional<char32_t>(U'A'));
  EXPECT_EQ(code_to_unicode(0x82A0), std::optional<char32_t>(U'あ'));
  EXPECT_EQ(code_to_unicode(0x955C), std::optional<char32_t>(U'表'));
  EXPECT_EQ(code_to_unicode(0x82), std::nullopt);    // a lone lead byte
  EXPECT_EQ(code_to_unicode(0x4142), std::nullopt);  // not a lead byte
}

}  // namespace
}  // namespace nova::platform::codepage
