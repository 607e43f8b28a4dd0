// `nova`: the authoring command line.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/log.h"
#include "platform/codepage.h"
#include "tools/commands.h"

namespace nova::tools {

std::vector<Command>& command_table() {
  static std::vector<Command> table;
  return table;
}

}  // namespace nova::tools

namespace {

void print_help() {
  std::puts("usage: nova <command> [arguments...]\n\ncommands:");
  auto table = nova::tools::command_table();
  std::sort(table.begin(), table.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  for (const auto& c : table) std::printf("  %-10s %s\n", c.name.c_str(), c.summary.c_str());
  std::puts("\n`nova <command> --help` describes a command.");
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* setting = std::getenv("NOVA_LOG")) nova::core::apply_log_setting(setting, "nova");
  if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
    print_help();
    return argc < 2 ? 2 : 0;
  }
  std::string name = argv[1];
  for (const auto& c : nova::tools::command_table()) {
    if (c.name != name) continue;
    std::vector<std::string> args(argv + 2, argv + argc);
    try {
      return c.run(args);
    } catch (const nova::core::Error& e) {
      std::fprintf(stderr, "nova %s: %s\n", name.c_str(), nova::platform::codepage::to_utf8(e.message()).c_str());
      return 1;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "nova %s: %s\n", name.c_str(), e.what());
      return 1;
    }
  }
  std::fprintf(stderr, "nova: unknown command \"%s\" (see nova --help)\n", name.c_str());
  return 2;
}
