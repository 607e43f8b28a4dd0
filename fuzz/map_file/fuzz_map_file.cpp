// Map files on arbitrary bytes: the reader either fails with core::Error
// or gives areas whose mask, rasterised on a small surface, agrees with
// their point test pixel for pixel, and whose bounds hold every pixel
// inside.
#include <cstdint>
#include <cstdlib>

#include "components/map_file.h"
#include "core/error.h"
#include "graphics/memory_dibx.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  std::vector<components::MapArea> areas;
  try {
    areas = components::read_map_file(std::span<const std::uint8_t>(data, size), "fuzz.map");
  } catch (const core::Error&) {
    return 0;
  }
  constexpr int kSide = 48;
  graphics::TDIBX mask;
  mask.SetSize(kSide, kSide, 8);
  for (const components::MapArea& a : areas) {
    mask.Fill(0);
    a.region.rasterise(mask, 255);
    const graphics::Rect b = a.region.bounds();
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) {
        const bool in = a.region.contains(x, y);
        if (in != (mask.GetPixel(x, y) == 255)) std::abort();
        if (in && !b.contains({x, y})) std::abort();
      }
    }
  }
  return 0;
}
