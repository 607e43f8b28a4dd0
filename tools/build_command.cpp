// `nova build SRC OUT`: a title source tree into a title folder.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/commands.h"
#include "tools/toolchain/title.h"

namespace nova::tools {
namespace {

int run_build(const std::vector<std::string>& args) {
  BuildOptions options;
  std::vector<std::string> positional;
  bool help = false;
  for (const std::string& a : args) {
    if (a == "--pack") {
      options.pack = true;
    } else if (a == "--help" || a == "-h") {
      help = true;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "nova build: unknown option %s\n", a.c_str());
      return 2;
    } else {
      positional.push_back(a);
    }
  }
  if (help || positional.size() != 2) {
    std::printf(
        "usage: nova build SRC OUT [--pack]\n\n"
        "Compiles the title source tree SRC into the title folder OUT: project.nvp\n"
        "becomes nova.npb, every NAME.nvs the page NAME.nsb, and every other file is\n"
        "copied. With --pack, OUT gets one game.dat holding all of it. Every error of\n"
        "every source is reported (file:line:column); nothing is written then.\n"
        "The language: docs/title-source.md.\n");
    return help ? 0 : 2;
  }
  Diagnostics diagnostics;
  BuildReport report;
  const bool ok = build_title(positional[0], positional[1], options, diagnostics, report);
  std::fputs(diagnostics.format().c_str(), stderr);
  if (!ok) {
    std::fprintf(stderr, "nova build: %d error%s; nothing written\n", diagnostics.error_count(),
                 diagnostics.error_count() == 1 ? "" : "s");
    return 1;
  }
  std::printf("built %d pages and %d other files into %s%s\n", report.pages, report.assets, positional[1].c_str(),
              options.pack ? " (game.dat)" : "");
  return 0;
}

NOVA_TOOL_COMMAND("build", "compile a title source tree into a title", run_build);

}  // namespace
}  // namespace nova::tools
