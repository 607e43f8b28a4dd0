// Number texts, the conversion rules between the value classes, arrays and
// the value records.
#include <gtest/gtest.h>

#include <cmath>

#include "core/error.h"
#include "expr/number_text.h"
#include "expr/param_collection.h"
#include "expr/params.h"
#include "expr_test_util.h"
#include "support/test_support.h"

namespace nova::expr {
namespace {

using test::sjis;

TEST(NumberText, IntegerParsing) {
  EXPECT_EQ(parse_int("  -42"), -42);
  EXPECT_EQ(parse_int("+7"), 7);
  EXPECT_EQ(parse_int("$ff"), 255);
  EXPECT_EQ(parse_int("x1F"), 31);
  EXPECT_EQ(parse_int("0X10"), 16);
  EXPECT_EQ(parse_int("-$10"), -16);
  EXPECT_EQ(parse_int("$FFFFFFFF"), -1);
  EXPECT_EQ(parse_int("2147483647"), 2147483647);
  EXPECT_EQ(parse_int("-2147483648"), INT32_MIN);
  EXPECT_FALSE(parse_int("2147483648"));
  EXPECT_FALSE(parse_int("$100000000"));
  EXPECT_FALSE(parse_int("12 "));
  EXPECT_FALSE(parse_int("1.5"));
  EXPECT_FALSE(parse_int(""));
  EXPECT_FALSE(parse_int("-"));
  EXPECT_FALSE(parse_int("$"));
  EXPECT_FALSE(parse_int("99999999999999999999"));
}

TEST(NumberText, FloatParsing) {
  EXPECT_EQ(parse_float("1e3"), 1000.0L);
  EXPECT_EQ(parse_float("-2.5"), -2.5L);
  EXPECT_EQ(parse_float(".5"), 0.5L);
  EXPECT_EQ(parse_float("5."), 5.0L);
  EXPECT_EQ(parse_float("1.5E-2"), 0.015L);
  EXPECT_EQ(parse_float("0.1"), 0.1L);  // rounded to extended precision, not double
  EXPECT_NE(*parse_float("0.1"), static_cast<long double>(0.1));
  EXPECT_FALSE(parse_float("1e"));
  EXPECT_FALSE(parse_float("e5"));
  EXPECT_FALSE(parse_float(" 1"));
  EXPECT_FALSE(parse_float("."));
  EXPECT_FALSE(parse_float("1e+"));
  EXPECT_TRUE(std::isinf(*parse_float("1e99999")));
  EXPECT_EQ(parse_float("1e-99999"), 0.0L);
  EXPECT_EQ(parse_float("0.0000000000000000000000000000000000000000000000001"), 1e-49L);
}

TEST(NumberText, FloatTextIsShortestWithinFifteenDigits) {
  EXPECT_EQ(float_text(3.0L), "3");
  EXPECT_EQ(float_text(3.5L), "3.5");
  EXPECT_EQ(float_text(-0.25L), "-0.25");
  EXPECT_EQ(float_text(0.1L), "0.1");
  EXPECT_EQ(float_text(1.0L / 3), "0.333333333333333");
  EXPECT_EQ(float_text(2.0L / 3), "0.666666666666667");
  EXPECT_EQ(float_text(0.00001L), "0.00001");
  EXPECT_EQ(float_text(0.000015L), "0.000015");
  EXPECT_EQ(float_text(1.5e-7L), "1.5E-7");
  EXPECT_EQ(float_text(0.000001L), "1E-6");
  EXPECT_EQ(float_text(123456789012345.0L), "123456789012345");
  EXPECT_EQ(float_text(1e15L), "1E15");
  EXPECT_EQ(float_text(-3.25e100L), "-3.25E100");
  EXPECT_EQ(float_text(1234567890123456789.0L), "1.23456789012346E18");
  EXPECT_EQ(float_text(0.0L), "0");
  EXPECT_EQ(float_text(-0.0L), "0");
  EXPECT_EQ(float_text(HUGE_VALL), "INF");
  EXPECT_EQ(float_text(-HUGE_VALL), "-INF");
  EXPECT_EQ(float_text(NAN), "NAN");
  // Every text reads back to the value rounded to 15 digits.
  for (long double v : {1.0L / 7, 98765.4321L, 6.02214076e23L, 1.602e-19L}) {
    long double back = *parse_float(float_text(v));
    EXPECT_NEAR(static_cast<double>(back / v), 1.0, 1e-14) << float_text(v);
  }
}

TEST(NumberText, FloatToIntTruncatesAndKeepsLow32Bits) {
  EXPECT_EQ(float_to_int(2.9L), 2);
  EXPECT_EQ(float_to_int(-2.9L), -2);
  EXPECT_EQ(float_to_int(4294967297.0L), 1);
  EXPECT_EQ(float_to_int(2147483648.0L), INT32_MIN);
  EXPECT_EQ(float_to_int(1e30L), 0);
  EXPECT_EQ(float_to_int(NAN), 0);
}

TEST(Values, ConversionTables) {
  TParamInt i(-7);
  EXPECT_EQ(i.as_str(), "-7");
  EXPECT_TRUE(i.as_flag());
  EXPECT_EQ(i.as_float(), -7.0L);
  TParamFloat f(-2.75L);
  EXPECT_EQ(f.as_int(), -2);
  EXPECT_EQ(f.as_str(), "-2.75");
  TParamFlag b(true);
  EXPECT_EQ(b.as_int(), 1);
  EXPECT_EQ(b.as_str(), "TRUE");
  TParamStr s("true");
  EXPECT_FALSE(s.as_flag());  // only "TRUE" exactly
  s.set_str("TRUE");
  EXPECT_TRUE(s.as_flag());
  s.set_str("abc");
  EXPECT_EQ(s.as_int(), 0);
  EXPECT_EQ(s.as_float(), 0.0L);
  s.set_str("$10");
  EXPECT_EQ(s.as_int(), 16);

  // Writes convert into the class's own type.
  i.set_float(-3.99L);
  EXPECT_EQ(i.as_int(), -3);
  i.set_str("12");
  EXPECT_EQ(i.as_int(), 12);
  i.set_str("x");
  EXPECT_EQ(i.as_int(), 0);
  i.set_flag(true);
  EXPECT_EQ(i.as_int(), 1);
  f.set_str("1e2");
  EXPECT_EQ(f.as_float(), 100.0L);
  b.set_float(0.0L);
  EXPECT_FALSE(b.as_flag());
  b.set_str("FALSE");
  EXPECT_FALSE(b.as_flag());
  b.set_int(-5);
  EXPECT_TRUE(b.as_flag());
  s.set_float(0.5L);
  EXPECT_EQ(s.as_str(), "0.5");
  s.set_flag(false);
  EXPECT_EQ(s.as_str(), "FALSE");
}

TEST(Values, ArraysKeepFlatPositionsAndScalarWritesDropDimensions) {
  TParamInt a(9);
  std::int32_t dims[] = {2, 3};
  a.set_dims(dims);
  EXPECT_EQ(a.count(), 6);
  EXPECT_EQ(a.int_at(0), 9);
  EXPECT_EQ(a.dim_count(), 2);
  EXPECT_EQ(a.dim_size(1), 3);
  EXPECT_EQ(a.dim_size(5), 1);
  a.set_int_at(5, 42);  // element [1,2]
  EXPECT_EQ(a.int_at(5), 42);
  EXPECT_EQ(error_of([&] { a.int_at(6); }), "配列の添字が不正です");
  EXPECT_EQ(error_of([&] { a.set_int_at(-1, 0); }), "配列の添字が不正です");
  std::int32_t wider[] = {3, 3};
  a.set_dims(wider);
  EXPECT_EQ(a.int_at(5), 42);
  EXPECT_EQ(a.int_at(8), 0);
  a.set_int(5);
  EXPECT_EQ(a.count(), 1);
  EXPECT_EQ(a.dim_count(), 1);
  EXPECT_EQ(a.as_int(), 5);

  std::int32_t bad[] = {2, 0, 3};
  EXPECT_EQ(error_of([&] { a.set_dims(bad); }), "配列の要素数[2,0,3]が不正です");
  // Large sizes are refused before their product could wrap or exhaust memory.
  std::int32_t huge[] = {65536, 65536, 65536};
  EXPECT_EQ(error_of([&] { a.set_dims(huge); }), "配列の要素数[65536,65536,65536]が不正です");
  std::int32_t limit[] = {4096, 4097};
  EXPECT_THROW(a.set_dims(limit), core::Error);
  EXPECT_EQ(a.count(), 1);
}

TEST(Values, FillCopyAndSearch) {
  TParamStr s;
  std::int32_t dims[] = {3};
  s.set_dims(dims);
  s.set_str_at(0, "Apple");
  s.set_str_at(1, sjis("ＡＢＣ"));
  s.set_str_at(2, "banana");
  EXPECT_EQ(s.index_of("apple", false, false), 0);
  EXPECT_EQ(s.index_of("apple", true, false), -1);
  EXPECT_EQ(s.index_of(sjis("ａｂｃ"), false, false), 1);
  EXPECT_EQ(s.index_of("NAN", false, true), 2);
  EXPECT_EQ(s.index_of("NAN", true, true), -1);
  TParamStr copy;
  copy.copy_all(s);
  EXPECT_EQ(copy.count(), 3);
  EXPECT_EQ(copy.str_at(2), "banana");
  copy.fill_int(7);
  EXPECT_EQ(copy.str_at(1), "7");
  TParamInt other;
  EXPECT_EQ(error_of([&] { other.assign(s); }), "CopyMem:変数の型があいません");
  auto detached = s.detached();
  s.set_str_at(0, "changed");
  EXPECT_EQ(detached->str_at(0), "Apple");
  EXPECT_EQ(detached->type(), PT_STR);
}

TEST(Values, RecordsRoundTripAndRefuseImpossibleCounts) {
  TParamFloat f;
  std::int32_t dims[] = {2, 2};
  f.set_dims(dims);
  f.set_float_at(3, 1.0L / 3);
  core::ByteWriter w;
  f.save(w);
  EXPECT_EQ(w.size(), 4u + 8u + 4u + 4u * 10u);
  TParamFloat back;
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  back.load(r);
  EXPECT_EQ(back.count(), 4);
  EXPECT_EQ(back.float_at(3), 1.0L / 3);
  EXPECT_EQ(back.dim_size(0), 2);

  // A count the remaining bytes cannot hold is refused before allocating,
  // and the value stays as it was.
  core::ByteWriter bad;
  bad.i32(0);
  bad.i32(0x7FFFFFFF);
  bad.i32(1);
  TParamInt i(5);
  core::ByteReader br(std::span<const std::uint8_t>(bad.data()));
  EXPECT_THROW(i.load(br), core::Error);
  EXPECT_EQ(i.as_int(), 5);
  core::ByteWriter dims_bad;
  dims_bad.i32(1000000);
  core::ByteReader dr(std::span<const std::uint8_t>(dims_bad.data()));
  EXPECT_THROW(i.load(dr), core::Error);
  core::ByteWriter zero;
  zero.i32(0);
  zero.i32(0);
  core::ByteReader zr(std::span<const std::uint8_t>(zero.data()));
  EXPECT_THROW(i.load(zr), core::Error);
}

TEST(Values, ReferencesForwardToTheWholeVariableOrOneElement) {
  TParamCollection store;
  TParamCollectionItem& a = store.add(PT_INT, "a");
  std::int32_t dims[] = {3};
  a.value().set_dims(dims);
  TParamVar whole("a");
  whole.bind_whole(&a);
  EXPECT_EQ(whole.type(), PT_INT);
  EXPECT_EQ(whole.count(), 3);
  whole.set_int_at(2, 8);
  EXPECT_EQ(a.value().int_at(2), 8);

  TParamCollectionItem& alias = store.add(PT_NONE, "____d_0");
  alias.value().as_reference()->bind_element(&a, 2);
  EXPECT_EQ(alias.value().as_int(), 8);
  alias.value().set_str("11");
  EXPECT_EQ(a.value().int_at(2), 11);
  EXPECT_EQ(a.value().count(), 3);  // an element write leaves the array whole
  EXPECT_EQ(alias.value().count(), 1);

  // An operand bound to an alias takes over its element.
  TParamVar operand("____d_0");
  operand.bind_whole(&alias);
  EXPECT_EQ(operand.bound(), &a);
  EXPECT_EQ(operand.element_index(), 2);
  EXPECT_EQ(operand.as_int(), 11);

  TParamVar unbound;
  EXPECT_EQ(unbound.type(), PT_NONE);
  EXPECT_EQ(unbound.as_str(), "");
  unbound.set_int(3);  // ignored
  EXPECT_EQ(unbound.as_int(), 0);
  EXPECT_EQ(unbound.detached(), nullptr);

  // Binding that would lead back to itself is refused.
  TParamCollectionItem& u = store.add(PT_NONE, "u");
  TParamCollectionItem& v = store.add(PT_NONE, "v");
  v.value().as_reference()->bind_element(&u, 0);
  EXPECT_THROW(u.value().as_reference()->bind_element(&v, 0), core::Error);
  EXPECT_THROW(u.value().as_reference()->bind_element(&u, 0), core::Error);
  EXPECT_EQ(u.value().as_int(), 0);

  // Freeing the variable unbinds what referred to it.
  store.remove(a);
  EXPECT_EQ(alias.value().as_reference()->bound(), nullptr);
  EXPECT_EQ(alias.value().type(), PT_NONE);
}

}  // namespace
}  // namespace nova::expr
