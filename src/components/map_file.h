// Map files: the areas of a map image, each a name and a shape (rectangle,
// ellipse or winding-rule polygon) in the component's coordinates.
//
// Layout, little-endian: the area count (int32), then per area its name
// (int32 byte count and the bytes), its shape (1 byte: 0 rectangle, 1
// ellipse, anything else polygon), then left, top, right, bottom (4 ×
// int32, inclusive) for a rectangle or ellipse, or the point count (int32)
// and the points (x, y as 2 × int32) for a polygon.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/region.h"

namespace nova::components {

struct MapArea {
  std::string name;  // Shift-JIS
  graphics::Region region;
};

// Reads a whole map file. Every count and length is checked against the
// bytes left before anything is allocated; a truncated or damaged file
// raises core::Error naming `file`.
std::vector<MapArea> read_map_file(std::span<const std::uint8_t> bytes, std::string_view file);

}  // namespace nova::components
