// Little-endian records of the system's files: integers, 80-bit floats and
// strings stored as an int32 byte count followed by the bytes.
//
// ByteReader reads from borrowed bytes and checks every length against what
// is there; anything truncated or out of range raises core::Error naming what
// was being read, so parsers of outside data never read past their input.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nova::core {

// 80-bit extended floats occupy 10 bytes in files.
constexpr std::size_t kExtendedSize = 10;
long double extended_from_bytes(const std::uint8_t* p);
void extended_to_bytes(long double v, std::uint8_t* p);

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const std::uint8_t> data) : m_data(data) {}
  explicit ByteReader(std::string_view data)
      : m_data(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()) {}

  std::size_t position() const { return m_pos; }
  std::size_t size() const { return m_data.size(); }
  std::size_t remaining() const { return m_data.size() - m_pos; }
  bool at_end() const { return m_pos >= m_data.size(); }
  std::span<const std::uint8_t> data() const { return m_data; }

  void seek(std::size_t pos);
  void skip(std::size_t n);

  std::uint8_t u8() {
    need(1);
    return m_data[m_pos++];
  }
  std::int8_t i8() { return static_cast<std::int8_t>(u8()); }
  bool boolean() { return u8() != 0; }
  std::uint16_t u16() { return take_le<std::uint16_t>(); }
  std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
  std::uint32_t u32() { return take_le<std::uint32_t>(); }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  std::uint64_t u64() { return take_le<std::uint64_t>(); }
  std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
  double f64();
  long double f80();

  // An int32 count followed by that many bytes. A negative count is an error.
  std::string str();
  // Exactly n bytes.
  std::string bytes(std::size_t n);
  std::span<const std::uint8_t> span(std::size_t n);

  // What the next error names, e.g. "nova.npb".
  void set_context(std::string context) { m_context = std::move(context); }

  [[noreturn]] void fail(std::string_view what) const;

 private:
  void need(std::size_t n) const {
    if (n > remaining()) fail("truncated");
  }
  template <typename T>
  T take_le() {
    need(sizeof(T));
    T v = 0;
    const std::uint8_t* p = m_data.data() + m_pos;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&v, p, sizeof v);
    } else {
      for (std::size_t i = sizeof v; i-- > 0;) v = static_cast<T>(v << 8 | p[i]);
    }
    m_pos += sizeof v;
    return v;
  }

  std::span<const std::uint8_t> m_data;
  std::size_t m_pos = 0;
  std::string m_context;
};

class ByteWriter {
 public:
  const std::vector<std::uint8_t>& data() const { return m_data; }
  std::vector<std::uint8_t> take() { return std::move(m_data); }
  std::string take_string() { return std::string(m_data.begin(), m_data.end()); }
  std::size_t size() const { return m_data.size(); }
  // Room for n more bytes, so that a record whose size is known roughly
  // grows its buffer once instead of doubling its way up.
  void reserve(std::size_t n) { m_data.reserve(m_data.size() + n); }
  // Empties the buffer and keeps its memory for the next record.
  void clear() { m_data.clear(); }

  void u8(std::uint8_t v) { m_data.push_back(v); }
  void i8(std::int8_t v) { u8(static_cast<std::uint8_t>(v)); }
  void boolean(bool v) { u8(v ? 1 : 0); }
  void u16(std::uint16_t v) { put_le(v); }
  void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
  void u32(std::uint32_t v) { put_le(v); }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void u64(std::uint64_t v) { put_le(v); }
  void i64(std::int64_t v) { u64(static_cast<std::uint64_t>(v)); }
  void f64(double v);
  void f80(long double v);
  void str(std::string_view s) {
    const std::size_t at = grow(4 + s.size());
    store_le(m_data.data() + at, static_cast<std::uint32_t>(static_cast<std::int32_t>(s.size())));
    if (!s.empty()) std::memcpy(m_data.data() + at + 4, s.data(), s.size());
  }
  void bytes(std::string_view s) { m_data.insert(m_data.end(), s.begin(), s.end()); }
  void bytes(std::span<const std::uint8_t> s) { m_data.insert(m_data.end(), s.begin(), s.end()); }

  // Overwrites 4 bytes at `pos` (for sizes known only after the body).
  void patch_u32(std::size_t pos, std::uint32_t v);

 private:
  // Appends n bytes left for the caller to fill and answers where they
  // start. Records are written a few bytes at a time, so each field is one
  // size check and one copy rather than a push per byte.
  std::size_t grow(std::size_t n) {
    const std::size_t at = m_data.size();
    if (m_data.capacity() - at < n) m_data.reserve(std::max(m_data.capacity() * 2, at + n));
    m_data.resize(at + n);
    return at;
  }
  template <typename T>
  static void store_le(std::uint8_t* p, T v) {
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(p, &v, sizeof v);
    } else {
      for (std::size_t i = 0; i < sizeof v; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
  }
  template <typename T>
  void put_le(T v) {
    const std::size_t at = grow(sizeof v);
    store_le(m_data.data() + at, v);
  }

  std::vector<std::uint8_t> m_data;
};

}  // namespace nova::core
