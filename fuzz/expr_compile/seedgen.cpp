// Seeds: the sample expressions as text.
#include "../expr_common/samples.h"

int main(int argc, char** argv) {
  const std::filesystem::path folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  int n = 0;
  for (const std::string& s : nova::fuzz::expression_samples()) nova::fuzz::write_seed(folder, n++, s);
  return 0;
}
