#include "core/format.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "core/sjis.h"
#include "support/test_support.h"

namespace nova::core {
namespace {

TEST(Format, TheSystemsPatterns) {
  EXPECT_EQ(format("%s.%.3d", {"game.dat", 7}), "game.dat.007");
  EXPECT_EQ(format("~nv%08X.ext", {0xBEEFu}), "~nv0000BEEF.ext");
  EXPECT_EQ(format("%dms", {300}), "300ms");
  const std::string& missing = sjis("%s:ファイルがありません");
  EXPECT_EQ(format(missing, {"a.nsb"}), "a.nsb" + test::sjis(":ファイルがありません"));
}

TEST(Format, FlagsWidthsAndPrecision) {
  EXPECT_EQ(format("[%5d|%-5d|%05d|%+d]", {42, 42, 42, 42}), "[   42|42   |00042|+42]");
  EXPECT_EQ(format("%x %X %#x %o", {255, 255, 255, 8}), "ff FF 0xff 10");
  EXPECT_EQ(format("%.2s|%4s|%-4s|", {"abcdef", "ab", "ab"}), "ab|  ab|ab  |");
  EXPECT_EQ(format("%d%%", {50}), "50%");
  EXPECT_EQ(format("%c%c", {65, "B"}), "AB");
  EXPECT_EQ(format("%*d", {6, 1}), "     1");
  // Negative numbers in unsigned conversions show their 32-bit pattern.
  EXPECT_EQ(format("%u %X", {-1, -2}), "4294967295 FFFFFFFE");
  EXPECT_EQ(format("%d", {-2147483647 - 1}), "-2147483648");
  EXPECT_EQ(format("%d", {static_cast<long long>(-9223372036854775807LL - 1)}), "-9223372036854775808");
}

TEST(Format, MissingAndMismatchedArgumentsAreHarmless) {
  EXPECT_EQ(format("%s and %d", {"one"}), "one and ");
  EXPECT_EQ(format("%d", {"text"}), "text");
  EXPECT_EQ(format("%s", {12}), "12");
  EXPECT_EQ(format("%q %", {}), "%q %");
  EXPECT_EQ(format("%99999999d", {1}).size(), 4096u);  // widths are bounded
}

TEST(Errors, CarryShiftJisMessages) {
  try {
    throw_error_utf8("スタックエラー");
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), test::sjis("スタックエラー"));
    EXPECT_STREQ(e.what(), test::sjis("スタックエラー").c_str());
  }
  EXPECT_EQ(&sjis("同じ"), &sjis("同じ"));  // converted once
}

}  // namespace
}  // namespace nova::core
