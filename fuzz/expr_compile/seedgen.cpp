// Seeds: the sample expressions as text.
#include "../expr_common/samples.h"

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  int n = 0;
  for (const std::string& s : nova::fuzz::expression_samples()) {
    nova::fuzz::write_seed(argv[1], n++, std::vector<std::uint8_t>(s.begin(), s.end()));
  }
  return 0;
}
