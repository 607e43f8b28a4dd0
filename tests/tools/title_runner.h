// Runs a title source tree end to end and checks what it did: built with
// `nova build`, played with `novaplayer --headless`, its trace and the
// status variables of its save.dat compared with an expectation (the
// format of tests/titles/README.md).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace nova::test {

struct Expectation {
  int ticks = 100;
  int seed = 1;
  // More options for the player, as on its command line.
  std::string args;
  // Two runs of fresh builds must leave byte-identical save files.
  bool identical_runs = false;
  bool errors_allowed = false;
  std::vector<std::pair<bool, std::string>> trace;  // in order; true: with the clock
  std::vector<std::string> no_trace;
  std::vector<std::string> status;
  std::vector<std::string> no_status;
};

// Unknown lines fail the test that reads them.
Expectation parse_expectation(const std::string& text, const std::string& where);

// Builds, runs and checks, reporting each unmet expectation as a test
// failure.
void run_title(const std::filesystem::path& source, const Expectation& expectation);

}  // namespace nova::test
