// Seeds: cursor directories of every bitmap depth, several entries, and a
// PNG entry, written by the tests' cursor writer.
#include "../common/seeds.h"
#include "picture_builders.h"
#include "support/cursor_writer.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  int n = 0;
  for (int bits : {1, 4, 8, 24, 32}) {
    test::CurEntry e;
    e.width = 8;
    e.height = 4;
    e.bits = bits;
    e.hot_x = 2;
    e.hot_y = 1;
    e.palette = {0x000000, 0xFFFFFF, 0xFF0000};
    for (int i = 0; i < 32; ++i) e.pixels.push_back(bits <= 8 ? static_cast<std::uint32_t>(i % 2) : 0x80FF8000u);
    e.mask.assign(32, 0);
    e.mask[3] = 1;
    fuzz::write_seed(folder, n++, test::write_cur({e}));
    test::CurEntry small = e;
    small.width = small.height = 2;
    fuzz::write_seed(folder, n++, test::write_cur({small, e}));
  }
  graphics::test::RawPng png;
  png.width = png.height = 4;
  png.colour_type = 6;
  png.samples.assign(4 * 4 * 4, 0x7F);
  test::CurEntry p;
  p.width = p.height = 4;
  const std::string bytes = graphics::test::build_png(png);
  p.png.assign(bytes.begin(), bytes.end());
  fuzz::write_seed(folder, n++, test::write_cur({p}));
  return 0;
}
