// Starting other programs: always from an argument vector, never through a
// shell, so no character of an argument has a meaning of its own.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nova::platform {

// Whether a program of that name is found on PATH.
bool program_on_path(std::string_view name);

// Starts argv[0] (looked up on PATH) with the arguments and does not wait;
// the child is reaped later. False when it could not be started.
bool start_program(const std::vector<std::string>& argv);

struct ProgramResult {
  int exit_status = -1;  // -1: ended by a signal or cancelled
  std::string output;    // its standard output
};

// Runs argv[0] and waits for it, collecting its standard output (at most
// 1 MiB). `idle` is called about every 50 ms while it runs; when it answers
// true the program is ended and the result is nullopt. Nullopt too when it
// cannot be started.
std::optional<ProgramResult> run_program(const std::vector<std::string>& argv, const std::function<bool()>& idle);

}  // namespace nova::platform
