// Seeds: the page and project sources that the decompiler writes for the
// sample pages and settings of the script engine's writers.
#include "../script_common/samples.h"
#include "tools/toolchain/page_decompiler.h"
#include "tools/toolchain/project_source.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  int n = 0;
  auto seed = [&](const std::string& text) { fuzz::write_seed(folder, n++, text); };
  for (const auto& [name, bytes] : fuzz::sample_pages()) {
    const script::TPageFile page = script::TPageFile::parse(bytes, name);
    for (bool exact : {false, true}) {
      tools::PageDumpOptions o;
      o.exact = exact;
      o.page_name = name;
      tools::PageDumpStats stats;
      seed(tools::dump_page(page, o, stats));
    }
  }
  for (int version : {100, 103, 106, 110, 115}) {
    const auto bytes =
        fuzz::sample_settings(version,
                              {{1, "i", 5, 0, false, ""}, {2, "f", 0, 1.5L, false, ""}, {4, "s", 0, 0, false, "x y"}})
            .Bytes();
    seed(tools::dump_project(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), true));
  }
  return 0;
}
