#include "core/binary_io.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/error.h"

namespace nova::core {
namespace {

TEST(BinaryRecords, RoundTripEveryKind) {
  ByteWriter w;
  w.u8(0xAB);
  w.boolean(true);
  w.i16(-2);
  w.i32(-123456789);
  w.u32(0xDEADBEEF);
  w.i64(-1234567890123LL);
  w.f64(0.1);
  w.f80(1.0L / 3.0L);
  w.f80(-std::numeric_limits<long double>::infinity());
  w.str("abc");
  w.str("");
  ByteReader r(w.data());
  EXPECT_EQ(r.u8(), 0xAB);
  EXPECT_TRUE(r.boolean());
  EXPECT_EQ(r.i16(), -2);
  EXPECT_EQ(r.i32(), -123456789);
  EXPECT_EQ(r.u32(), 0xDEADBEEF);
  EXPECT_EQ(r.i64(), -1234567890123LL);
  EXPECT_EQ(r.f64(), 0.1);
  EXPECT_EQ(r.f80(), 1.0L / 3.0L);
  EXPECT_TRUE(std::isinf(r.f80()));
  EXPECT_EQ(r.str(), "abc");
  EXPECT_EQ(r.str(), "");
  EXPECT_TRUE(r.at_end());
}

TEST(BinaryRecords, LayoutIsLittleEndianWithTenByteExtendeds) {
  ByteWriter w;
  w.i32(1);
  w.f80(1.0L);
  w.str("xy");
  const auto& d = w.data();
  ASSERT_EQ(d.size(), 4u + 10u + 6u);
  EXPECT_EQ(d[0], 1);
  EXPECT_EQ(d[3], 0);
  // 1.0 in the 80-bit format: mantissa 0x8000000000000000, exponent 0x3FFF.
  EXPECT_EQ(d[4 + 7], 0x80);
  EXPECT_EQ(d[4 + 8], 0xFF);
  EXPECT_EQ(d[4 + 9], 0x3F);
  EXPECT_EQ(d[14], 2);
  EXPECT_EQ(d[18], 'x');
}

TEST(BinaryRecords, TruncatedAndHostileInputRaisesErrors) {
  const std::uint8_t short_int[] = {1, 2, 3};
  ByteReader a(short_int);
  EXPECT_THROW(a.i32(), Error);
  // A string longer than what is left, and a negative length.
  ByteWriter w;
  w.i32(1000);
  w.bytes("abc");
  ByteReader b(w.data());
  b.set_context("page.nsb");
  try {
    b.str();
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(e.message().find("page.nsb"), std::string::npos);
    EXPECT_NE(e.message().find("truncated"), std::string::npos);
  }
  ByteWriter n;
  n.i32(-5);
  ByteReader c(n.data());
  EXPECT_THROW(c.str(), Error);
  ByteReader d(n.data());
  EXPECT_THROW(d.seek(5), Error);
  EXPECT_THROW(d.skip(5), Error);
  EXPECT_NO_THROW(d.seek(4));
  EXPECT_TRUE(d.at_end());
}

}  // namespace
}  // namespace nova::core
