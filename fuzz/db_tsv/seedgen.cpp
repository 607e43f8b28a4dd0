// Seeds: the table tests' fixture, random tables from the writer, and the
// headers the loader refuses.
#include "../common/seeds.h"
#include "tsv_writer.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  int n = 0;
  fuzz::write_seed(folder, n++, fuzz::tsv_fixture());
  for (std::uint32_t seed = 1; seed <= 12; ++seed) fuzz::write_seed(folder, n++, fuzz::random_tsv(seed, 3 + 4 * static_cast<int>(seed)));
  for (const char* refused : {"\tb\n1\n", " a int\n1\n", "a str 1048577\n1\n", "id  int\n7\n", ""}) {
    fuzz::write_seed(folder, n++, std::string_view(refused));
  }
  return 0;
}
