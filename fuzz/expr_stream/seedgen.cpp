// Seeds: the sample expressions compiled by our own compiler.
#include "../expr_common/samples.h"
#include "core/error.h"
#include "expr/build_parser.h"

int main(int argc, char** argv) {
  const std::filesystem::path folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  int n = 0;
  for (const std::string& s : nova::fuzz::expression_samples()) {
    nova::expr::TBuildNovaParser b;
    nova::core::ByteWriter w;
    try {
      b.compile(s);
      b.write(w);
    } catch (const nova::core::Error&) {
      continue;
    }
    nova::fuzz::write_seed(folder, n++, w.data());
  }
  return 0;
}
