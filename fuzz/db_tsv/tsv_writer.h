// Tab-separated table files for the seeds: the fixture of the table tests
// and random tables with every line end, empty columns, escapes and
// double-byte characters whose trail byte is 0x5C.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace nova::fuzz {

inline std::string tsv_fixture() {
  return "id int 3\tname str 6\tnote\trate float\ton bool\r\n"
         "1\tabc\thello\t2.5\tTRUE\r"
         "2\t\t\t\t\n"
         "3\t\x83\x5Cn\ta\\nb\\\"c\\\\d\\x\t-1.5\tFALSE\r\n"
         "\r\n"
         "4\tabcdefgh\t\t\ttrue";
}

inline std::string random_tsv(std::uint32_t seed, int lines) {
  std::mt19937 rng(seed);
  static const char* const kTypes[] = {"int", "float", "bool", "str 0", "str 4", "str 12", "", "str x", "str -2"};
  static const char* const kEnds[] = {"\r", "\n", "\r\n"};
  // Pieces of column text: ASCII, escapes, "ソ" (0x83 0x5C), "表" (0x95 0x5C),
  // half-width katakana, numbers and flags.
  static const char* const kPieces[] = {"a", "Z", "\\n", "\\\"", "\\\\", "\\q", "\x83\x5C", "\x95\x5C", "\xB1",
                                        "12", "-3.25", "TRUE", "FALSE", " ", "1e400", "$FF"};
  const int columns = 1 + static_cast<int>(rng() % 6);
  std::string out;
  for (int c = 0; c < columns; ++c) {
    if (c) out += '\t';
    out += "f" + std::to_string(c) + " " + kTypes[rng() % std::size(kTypes)];
  }
  out += kEnds[rng() % 3];
  for (int l = 0; l < lines; ++l) {
    const int n = static_cast<int>(rng() % static_cast<std::uint32_t>(columns + 2));
    for (int c = 0; c < n; ++c) {
      if (c) out += '\t';
      const int pieces = static_cast<int>(rng() % 4);
      for (int p = 0; p < pieces; ++p) out += kPieces[rng() % std::size(kPieces)];
    }
    out += kEnds[rng() % 3];
  }
  return out;
}

}  // namespace nova::fuzz
