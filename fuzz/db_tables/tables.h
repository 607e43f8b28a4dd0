// The tables the fuzz target loads into and the seed generator writes:
// game and status tables of every field type, interleaved, with records.
#pragma once

#include <tuple>

#include "core/binary_io.h"
#include "data/db_manager.h"

namespace nova::fuzz {

inline void fill_tables(data::TDBManager& m) {
  using data::DBFieldType;
  data::TDBTable& a = m.create("items", false);
  a.add_field("id", DBFieldType::Integer);
  a.add_field("rate", DBFieldType::Float);
  a.add_field("owned", DBFieldType::Flag);
  a.add_field("name", DBFieldType::String, 12);
  for (int i = 0; i < 3; ++i) {
    const std::int32_t r = a.append();
    a.set_int(r, 0, i * 100);
    a.set_float(r, 1, i / 3.0L);
    a.set_flag(r, 2, i % 2 != 0);
    a.set_str(r, 3, "item" + std::to_string(i));
  }
  data::TDBTable& s = m.create("Flags", true);
  s.add_field("seen", DBFieldType::Flag);
  s.add_field("note", DBFieldType::String, 0);
  s.append();
  m.create("empty", false);
  m.create("nofields", true).append();
  m.set_active(1);
}

// A game or status block of one table whose records are given raw: every
// field type, NaN and unnormal floats, a string without its zero byte.
inline std::vector<std::uint8_t> odd_block(bool status) {
  core::ByteWriter w;
  w.i32(100);
  w.i32(1);
  w.u8(0);
  w.str("odd");
  w.u8(status ? 1 : 0);
  w.i32(4);
  for (auto [size, name, type] : {std::tuple{4, "i", 1}, {10, "x", 2}, {1, "b", 3}, {4, "s", 4}}) {
    w.i32(size);
    w.str(name);
    w.u8(static_cast<std::uint8_t>(type));
  }
  const std::uint8_t x_nan[] = {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F};
  const std::uint8_t x_unnormal[] = {0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F};
  const std::uint8_t x_pseudo_nan[] = {1, 0, 0, 0, 0, 0, 0, 0x00, 0xFF, 0xFF};
  const std::uint8_t x_one[] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
  w.i32(4);
  const std::uint8_t* floats[] = {x_nan, x_unnormal, x_pseudo_nan, x_one};
  for (int r = 0; r < 4; ++r) {
    w.i32(r - 1);
    w.bytes(std::span<const std::uint8_t>(floats[r], 10));
    w.u8(static_cast<std::uint8_t>(r * 3));  // flag bytes 0, 3, 6, 9
    const char text[4] = {'a', static_cast<char>(0x83), 0x5C, static_cast<char>('a' + r)};  // no zero byte
    w.bytes(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text), 4));
  }
  w.i32(7);  // out of range: none
  if (!status) w.str("odd");
  return w.take();
}

}  // namespace nova::fuzz
