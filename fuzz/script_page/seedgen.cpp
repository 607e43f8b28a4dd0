// Seeds: pages of every command code in several versions, written by the
// page writer.
#include "../script_common/samples.h"

int main(int argc, char** argv) {
  const std::filesystem::path folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  int n = 0;
  for (const auto& [name, bytes] : nova::fuzz::sample_pages()) nova::fuzz::write_seed(folder, n++, bytes);
  return 0;
}
