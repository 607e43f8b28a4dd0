// Seeds: pages of every command code from the page writer, and compiled
// expressions from the compiler.
#include "../expr_common/samples.h"
#include "../script_common/samples.h"
#include "tools/toolchain/expr_decompiler.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  int n = 0;
  for (const auto& [name, bytes] : fuzz::sample_pages()) fuzz::write_seed(folder, n++, bytes);
  for (const std::string& text : fuzz::expression_samples()) {
    try {
      // Compiled first: a sample that fails takes no seed number.
      const std::string s = tools::compile_expression_text(text);
      fuzz::write_seed(folder, n++, s);
    } catch (const core::Error&) {
    }
  }
  return 0;
}
