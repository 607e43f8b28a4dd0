#include "../common/seeds.h"

int main(int argc, char** argv) {
  const auto folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  int n = 0;
  for (const char* s : {"CD_1", "CD_07", "CD_99", "CD_100", "CD_0", "CD_x", "track01.wav", "TRACK02.cdda.ogg",
                        "track1.wav", "track00.flac"})
    nova::fuzz::write_seed(folder, n++, std::string_view(s));
  return 0;
}
