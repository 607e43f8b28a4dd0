// Seeds: maps of every shape written by the tests' own writer, overlapping,
// concave and self-crossing, with a damaged tail.
#include "../common/seeds.h"
#include "map_files.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  using test::RawArea;
  const std::string full = test::map_bytes({
      {"rect", 0, {2, 2, 9, 6}, {}},
      {"ellipse", 1, {5, 5, 30, 20}, {}},
      {"even", 1, {10, 10, 13, 13}, {}},
      {"concave", 2, {}, {{0, 0}, {20, 0}, {10, 10}, {20, 20}, {0, 20}}},
      {"star", 7, {}, {{10, 0}, {16, 20}, {0, 7}, {20, 7}, {4, 20}}},
      {"empty", 3, {}, {}},
  });
  fuzz::write_seed(folder, 0, full);
  fuzz::write_seed(folder, 1, full.substr(0, full.size() - 5));
  fuzz::write_seed(folder, 2, test::map_bytes({}));
  fuzz::write_seed(folder, 3, test::map_bytes({{"far", 0, {-40, -40, 100000, 7}, {}}}));
  return 0;
}
