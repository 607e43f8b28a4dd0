#include "components/map_file.h"

#include "core/binary_io.h"
#include "core/error.h"
#include "core/format.h"

namespace nova::components {

namespace {

// The smallest area record: an empty name, the shape and four integers (a
// polygon's is smaller, a count and no point, but an area needs some bytes).
constexpr std::size_t kMinAreaBytes = 4 + 1 + 4;
constexpr std::size_t kPointBytes = 8;

}  // namespace

std::vector<MapArea> read_map_file(std::span<const std::uint8_t> bytes, std::string_view file) {
  core::ByteReader r(bytes);
  r.set_context(std::string(file));
  std::vector<MapArea> areas;
  const std::int32_t count = r.i32();
  if (count < 0 || static_cast<std::uint64_t>(count) * kMinAreaBytes > r.remaining()) {
    r.fail(core::format("area count %d does not fit the file", {count}));
  }
  areas.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    MapArea area;
    area.name = r.str();
    const std::uint8_t shape = r.u8();
    if (shape == 0 || shape == 1) {
      const std::int32_t left = r.i32(), top = r.i32(), right = r.i32(), bottom = r.i32();
      area.region = shape == 0 ? graphics::Region::rectangle(left, top, right, bottom)
                               : graphics::Region::ellipse(left, top, right, bottom);
    } else {
      const std::int32_t n = r.i32();
      if (n < 0 || static_cast<std::uint64_t>(n) * kPointBytes > r.remaining()) {
        r.fail(core::format("area %d: point count %d does not fit the file", {i, n}));
      }
      std::vector<graphics::Region::PointF> points(static_cast<std::size_t>(n));
      for (auto& p : points) {
        p.x = r.i32();
        p.y = r.i32();
      }
      area.region = graphics::Region::polygon(std::move(points));
    }
    areas.push_back(std::move(area));
  }
  return areas;
}

}  // namespace nova::components
