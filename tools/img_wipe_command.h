// `nova img wipe`, reached through `nova img` (img_command.cpp).
#pragma once

#include <string>
#include <vector>

namespace nova::tools {

// Runs `nova img wipe` with the arguments after "wipe"; answers the exit
// status, raises core::Error for wrong arguments and unreadable pictures.
int run_img_wipe(const std::vector<std::string>& args);

}  // namespace nova::tools
