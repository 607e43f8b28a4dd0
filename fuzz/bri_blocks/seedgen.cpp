// Seeds for the block fuzzer: tables of every kind, scrambled or not, over
// geometries whose last blocks are cut, made by the tests' hand writer.
#include <filesystem>

#include "../common/seeds.h"
#include "blocks_input.h"
#include "picture_builders.h"

using namespace nova;
namespace gt = graphics::test;

int main(int argc, char** argv) {
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  int n = 0;
  for (int bits : fuzz::kBlockBits) {
    for (int key : {0, 77}) {
      for (int layer : {0, 1}) {
        for (bool alpha : {false, true}) {
          const fuzz::BlockGeometry g{5, 3, bits, 2, 2, key, layer, alpha};
          const int b = alpha ? 8 : bits;
          const std::string rows = gt::dib_rows(5, 3, b, std::vector<std::uint32_t>(15, 0x5A5A5A5A));
          // Blocks 0 and 3 raw, 1 and 4 copies of 0, 2 from frame 0 layer
          // 0, 5 from frame 1 layer 0 (refused for layer 0 itself).
          const std::string raw = gt::raw_block(5, b, rows, 0, 0, 2, 2) + gt::raw_block(5, b, rows, 0, 2, 2, 1);
          const std::string data = gt::block_data({{-1, 0}, {-2, 0}, {0, 0}, {-1, 0}, {-2, 0}, {1, 0}}, raw, key);
          fuzz::write_seed(folder, n++, fuzz::block_input(g, data));
        }
      }
    }
  }
  return 0;
}
