// The tables the fuzz target loads into and the seed generator writes:
// game and status tables of every field type, interleaved, with records.
#pragma once

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

}  // namespace nova::fuzz
