// Block-encoded data from outside, decoded into a layer of frame 1 whose
// frame 0 (and, for layer 1, layer 0 of frame 1) holds bitmaps of the same
// geometry to copy from: every copy stays inside its bitmaps, or the data is
// refused with core::Error.
#include <cstdint>
#include <cstdlib>

#include "blocks_input.h"
#include "core/error.h"
#include "graphics/brio_blocks.h"

using namespace nova;

namespace {

void fill_layer(graphics::TBrioLayer& l, int w, int h, int bits, std::uint8_t seed, bool plane) {
  l.surface.SetSize(w, h, bits);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = l.surface.Row(y);
    for (std::size_t i = 0; i < l.surface.RowBytes(); ++i) row[i] = static_cast<std::uint8_t>(seed + i * 7 + y);
  }
  if (plane) l.surface.CreateAlpha(seed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  const fuzz::BlockGeometry g = fuzz::block_geometry(data);
  graphics::TBrioFrameList list(g.key);
  graphics::TBrioFrame& f0 = list.AddFrame();
  fill_layer(f0.AddLayer(), g.width, g.height, g.bits, 1, true);
  fill_layer(f0.AddLayer(), g.width, g.height, g.bits == 8 ? 16 : 8, 2, false);  // another depth
  graphics::TBrioFrame& f1 = list.AddFrame();
  fill_layer(f1.AddLayer(), g.width, g.height, g.bits, 3, g.layer == 1);
  graphics::TBrioLayer& target = g.layer == 1 ? f1.AddLayer() : f1.Layers(0);
  target.surface.SetSize(g.width, g.height, g.bits);
  graphics::TDIBX& bitmap = g.alpha ? target.surface.CreateAlpha(0) : target.surface.Bitmap();
  try {
    graphics::decode_blocks(std::span<const std::uint8_t>(data + 8, size - 8), bitmap, g.block_width, g.block_height,
                            g.key, g.key != 0, graphics::BlockPlace{&list, 1, g.layer, g.alpha});
  } catch (const core::Error&) {
    return 0;
  }
  if (bitmap.GetWidth() != g.width || bitmap.GetHeight() != g.height) std::abort();
  return 0;
}
