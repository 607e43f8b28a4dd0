#include "core/binary_io.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "core/error.h"
#include "core/format.h"

namespace nova::core {

#if LDBL_MANT_DIG == 64
long double extended_from_bytes(const std::uint8_t* p) {
  // A non-zero exponent needs the explicit integer bit. Without it the
  // pattern (an unnormal, pseudo-infinity or pseudo-NaN) is one the
  // processor refuses as an operand: it reads as NaN here, so no later
  // arithmetic or comparison meets it.
  const int exponent = p[8] | (p[9] & 0x7F) << 8;
  if (exponent != 0 && (p[7] & 0x80) == 0) return std::numeric_limits<long double>::quiet_NaN();
  long double v = 0;
  std::memcpy(&v, p, kExtendedSize);
  return v;
}

void extended_to_bytes(long double v, std::uint8_t* p) { std::memcpy(p, &v, kExtendedSize); }
#else
// Processors without the x87 format: decode and encode the 80-bit layout by
// hand (64-bit mantissa with explicit integer bit, 15-bit exponent, sign).
long double extended_from_bytes(const std::uint8_t* p) {
  std::uint64_t mantissa = 0;
  for (int i = 7; i >= 0; --i) mantissa = mantissa << 8 | p[i];
  int exponent = (p[8] | (p[9] & 0x7F) << 8);
  bool negative = p[9] & 0x80;
  // As on the x87: without the integer bit a non-zero exponent is no number.
  if (exponent != 0 && (mantissa >> 63) == 0) return std::numeric_limits<long double>::quiet_NaN();
  long double v;
  if (exponent == 0 && mantissa == 0)
    v = 0;
  else if (exponent == 0x7FFF)
    v = (mantissa << 1) == 0 ? INFINITY : NAN;
  else
    v = std::ldexp(static_cast<long double>(mantissa), exponent - 16383 - 63);
  return negative ? -v : v;
}

void extended_to_bytes(long double v, std::uint8_t* p) {
  bool negative = std::signbit(v);
  if (negative) v = -v;
  std::uint64_t mantissa = 0;
  int exponent = 0;
  if (std::isnan(v)) {
    exponent = 0x7FFF;
    mantissa = 0xC000000000000000ull;
  } else if (std::isinf(v)) {
    exponent = 0x7FFF;
    mantissa = 0x8000000000000000ull;
  } else if (v != 0) {
    int e = 0;
    long double m = std::frexp(v, &e);  // v = m * 2^e, 0.5 <= m < 1
    mantissa = static_cast<std::uint64_t>(std::ldexp(m, 64));
    exponent = e - 1 + 16383;
  }
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(mantissa >> (8 * i));
  p[8] = static_cast<std::uint8_t>(exponent & 0xFF);
  p[9] = static_cast<std::uint8_t>((exponent >> 8) | (negative ? 0x80 : 0));
}
#endif

void ByteReader::fail(std::string_view what) const {
  if (m_context.empty()) throw Error(format("%s at byte %u", {what, static_cast<unsigned long long>(m_pos)}));
  throw Error(format("%s: %s at byte %u", {m_context, what, static_cast<unsigned long long>(m_pos)}));
}

void ByteReader::seek(std::size_t pos) {
  if (pos > m_data.size()) fail("offset out of range");
  m_pos = pos;
}

void ByteReader::skip(std::size_t n) {
  need(n);
  m_pos += n;
}

double ByteReader::f64() {
  std::uint64_t bits = u64();
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

long double ByteReader::f80() {
  need(kExtendedSize);
  long double v = extended_from_bytes(m_data.data() + m_pos);
  m_pos += kExtendedSize;
  return v;
}

std::string ByteReader::str() {
  std::int32_t n = i32();
  if (n < 0) fail("negative string length");
  return bytes(static_cast<std::size_t>(n));
}

std::string ByteReader::bytes(std::size_t n) {
  need(n);
  std::string s(reinterpret_cast<const char*>(m_data.data() + m_pos), n);
  m_pos += n;
  return s;
}

std::span<const std::uint8_t> ByteReader::span(std::size_t n) {
  need(n);
  auto s = m_data.subspan(m_pos, n);
  m_pos += n;
  return s;
}

void ByteWriter::f64(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof v);
  u64(bits);
}

void ByteWriter::f80(long double v) {
  std::uint8_t b[kExtendedSize];
  extended_to_bytes(v, b);
  m_data.insert(m_data.end(), b, b + kExtendedSize);
}

void ByteWriter::patch_u32(std::size_t pos, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) m_data.at(pos + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace nova::core
