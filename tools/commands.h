// The subcommands of the `nova` tool. Each file of tools/ that offers one
// registers it with a static NOVA_TOOL_COMMAND(...) row; main() looks the
// name up in the table.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nova::tools {

struct Command {
  std::string name;
  std::string summary;  // one line for `nova --help`
  // Gets the arguments after the subcommand name; answers the exit status.
  std::function<int(const std::vector<std::string>& args)> run;
};

std::vector<Command>& command_table();

struct CommandRegistration {
  explicit CommandRegistration(Command c) { command_table().push_back(std::move(c)); }
};

}  // namespace nova::tools

#define NOVA_TOOL_CONCAT2(a, b) a##b
#define NOVA_TOOL_CONCAT(a, b) NOVA_TOOL_CONCAT2(a, b)
#define NOVA_TOOL_COMMAND(...)                                                   \
  static ::nova::tools::CommandRegistration NOVA_TOOL_CONCAT(nova_tool_command_, \
                                                             __LINE__)(::nova::tools::Command{__VA_ARGS__})
