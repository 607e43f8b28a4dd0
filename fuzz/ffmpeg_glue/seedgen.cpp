#include <string>

#include "../common/seeds.h"
#include "../media_common/sound_seeds.h"

int main(int argc, char** argv) {
  const auto folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  int n = 0;
  for (const auto& s : nova::fuzz::wav_seeds()) nova::fuzz::write_seed(folder, n++, s);
  for (const auto& s : nova::fuzz::coded_seeds()) nova::fuzz::write_seed(folder, n++, s);
  return 0;
}
