// Seeds: pages of every command code from the page writer, and compiled
// expressions from the compiler.
#include "../expr_common/samples.h"
#include "../script_common/samples.h"
#include "tools/toolchain/expr_decompiler.h"

int main(int argc, char** argv) {
  using namespace nova;
  if (argc < 2) return 1;
  int n = 0;
  for (const auto& [name, bytes] : fuzz::sample_pages()) fuzz::write_seed(argv[1], n++, bytes);
  for (const std::string& text : fuzz::expression_samples()) {
    try {
      const std::string s = tools::compile_expression_text(text);
      fuzz::write_seed(argv[1], n++, std::vector<std::uint8_t>(s.begin(), s.end()));
    } catch (const core::Error&) {
    }
  }
  return 0;
}
