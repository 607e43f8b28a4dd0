// Seeds of the transition fuzzer: every type at each layout with its
// defaults, with out-of-range parameters, reversed, with elapsed values
// that run forward and jump back, and the mask types with a mask picture
// written by the player's PNG writer.
#include "../common/seeds.h"
#include "files/stream.h"
#include "graphics/dib_surface.h"
#include "graphics/png_codec.h"
#include "wipe_input.h"

int main(int argc, char** argv) {
  const std::filesystem::path folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  nova::graphics::TDIBSurface picture;
  picture.SetSize(5, 3, 24);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) picture.SetPixel(x, y, static_cast<std::uint32_t>((x * 50 + y * 20) * 0x010101));
  }
  nova::files::MemoryBlock png;
  nova::graphics::write_png(picture, -1, png);
  int n = 0;
  for (int type = 0; type <= 39; ++type) {
    for (int bits : {15, 16, 32, 24}) {
      nova::fuzz::WipeInput w;
      w.type = type;
      w.bits = bits;
      w.width = 13 + type % 50;
      w.height = 9 + (type * 7) % 40;
      w.duration = 60;
      w.seed = static_cast<std::uint32_t>(type * 31 + bits);
      w.elapsed = {0, 7, 30, 12, 59, 45, 60, -3};
      const bool mask = type == 19 || type == 20 || type == 21;
      w.mask_name = mask;
      nova::fuzz::write_seed(folder, n++,
                             nova::fuzz::write_wipe_input(w, mask ? png.bytes() : std::span<const std::uint8_t>{}));
      w.reverse = true;
      w.set_p0 = w.set_p1 = true;
      w.p0 = bits == 32 ? 0x7FFFFFFF : bits == 16 ? -5 : 3;
      w.p1 = bits == 15 ? 0x7FFFFFFF : -1;
      w.duration = bits == 24 ? 1 : 0x7FFFFFFF;
      w.elapsed = {1, 0x7FFFFFFE, 1000, 0x40000000};
      nova::fuzz::write_seed(folder, n++,
                             nova::fuzz::write_wipe_input(w, mask ? png.bytes() : std::span<const std::uint8_t>{}));
    }
  }
  return 0;
}
