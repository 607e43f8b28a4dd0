// A test-only writer of map files, independent of the reader: the map image
// tests and the map file fuzzer's seeds use it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/binary_io.h"

namespace nova::test {

struct RawArea {
  std::string name;
  std::uint8_t shape = 0;                   // 0 rectangle, 1 ellipse, else polygon
  std::vector<std::int32_t> box;            // left, top, right, bottom
  std::vector<std::pair<int, int>> points;  // polygon
};

inline std::string map_bytes(const std::vector<RawArea>& areas) {
  core::ByteWriter w;
  w.i32(static_cast<std::int32_t>(areas.size()));
  for (const RawArea& a : areas) {
    w.str(a.name);
    w.u8(a.shape);
    if (a.shape <= 1) {
      for (std::int32_t v : a.box) w.i32(v);
    } else {
      w.i32(static_cast<std::int32_t>(a.points.size()));
      for (const auto& [x, y] : a.points) {
        w.i32(x);
        w.i32(y);
      }
    }
  }
  return w.take_string();
}

}  // namespace nova::test
