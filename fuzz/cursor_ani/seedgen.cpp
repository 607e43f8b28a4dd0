// Seeds: animated cursors with and without rate and sequence tables,
// written by the tests' cursor writer.
#include "../common/seeds.h"
#include "support/cursor_writer.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  int n = 0;
  std::vector<std::vector<std::uint8_t>> icons;
  for (int bits : {1, 24, 32}) {
    test::CurEntry e;
    e.width = e.height = 4;
    e.bits = bits;
    e.palette = {0x000000, 0xFFFFFF};
    e.pixels.assign(16, bits == 1 ? 1u : 0xFF00FF00u);
    icons.push_back(test::write_cur({e}));
  }
  fuzz::write_seed(folder, n++, test::write_ani(icons, 6));
  fuzz::write_seed(folder, n++, test::write_ani(icons, 3, {1, 2, 3, 4}, {2, 1, 0, 1}));
  fuzz::write_seed(folder, n++, test::write_ani({icons[0]}, 0, {5}));
  return 0;
}
