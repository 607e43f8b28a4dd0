// The titles of tests/titles and the demo, end to end: built with
// `nova build`, run with `novaplayer --headless`, and checked against their
// expect.txt (trace lines, status variables in save.dat). And every page of
// them through an exact dump and back: the same bytes, with no expression
// or text kept as raw bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "support/test_support.h"
#include "tools/toolchain/title.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;

struct TitleCase {
  std::string name;
  fs::path source;  // the source tree
  fs::path expect;  // expect.txt
};

std::vector<TitleCase> title_cases() {
  std::vector<TitleCase> out;
  const fs::path root = test::source_dir() / "tests" / "titles";
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(root, ec)) {
    if (e.is_directory() && fs::exists(e.path() / "expect.txt")) {
      out.push_back({e.path().filename().string(), e.path() / "title", e.path() / "expect.txt"});
    }
  }
  out.push_back({"demo", test::source_dir() / "demo", root / "demo.expect"});
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return out;
}

std::string case_name(const ::testing::TestParamInfo<TitleCase>& info) { return info.param.name; }

std::string shell_quote(const fs::path& p) { return "'" + p.string() + "'"; }

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

struct Expectation {
  int ticks = 100;
  int seed = 1;
  bool errors_allowed = false;
  std::vector<std::pair<bool, std::string>> trace;  // in order; true: with the clock
  std::vector<std::string> no_trace;
  std::vector<std::string> status;
  std::vector<std::string> no_status;
};

Expectation read_expectation(const fs::path& file) {
  Expectation e;
  for (const std::string& raw : lines_of(test::read_file(file))) {
    const std::string line = std::string(trim(raw));
    if (line.empty() || line[0] == '#') continue;
    const std::size_t colon = line.find(':');
    const std::string key = line.substr(0, colon);
    const std::string value = colon == std::string::npos ? "" : std::string(trim(line.substr(colon + 1)));
    if (key == "ticks") {
      e.ticks = std::stoi(value);
    } else if (key == "seed") {
      e.seed = std::stoi(value);
    } else if (key == "errors") {
      e.errors_allowed = value == "allowed";
    } else if (key == "trace") {
      e.trace.emplace_back(false, value);
    } else if (key == "trace_at") {
      e.trace.emplace_back(true, value);
    } else if (key == "no_trace") {
      e.no_trace.push_back(value);
    } else if (key == "status") {
      e.status.push_back("status " + value);
    } else if (key == "no_status") {
      e.no_status.push_back(value);
    } else {
      ADD_FAILURE() << file << ": unknown expectation " << line;
    }
  }
  return e;
}

// The part of a trace line after its clock ("0000000f : start.nsb(3)").
std::string without_clock(const std::string& line) {
  const std::size_t at = line.find(" : ");
  return at == std::string::npos ? line : line.substr(at + 3);
}

class Titles : public ::testing::TestWithParam<TitleCase> {};

TEST_P(Titles, RunAsExpected) {
  const TitleCase& c = GetParam();
  const Expectation e = read_expectation(c.expect);
  test::TempDir dir;
  const fs::path out = dir / "title";
  std::string log;
  const fs::path nova = test::binary_dir() / "tools" / "nova";
  const fs::path player = test::binary_dir() / "src" / "app" / "novaplayer";
  ASSERT_EQ(test::run_command(shell_quote(nova) + " build " + shell_quote(c.source) + " " + shell_quote(out) + " 2>&1",
                              &log),
            0)
      << log;
  const fs::path trace_file = dir / "trace.txt";
  const int status = test::run_command(shell_quote(player) + " --headless --max-ticks " + std::to_string(e.ticks) +
                                           " --seed " + std::to_string(e.seed) + " --trace " + shell_quote(trace_file) +
                                           " " + shell_quote(out) + " 2>&1",
                                       &log);
  EXPECT_EQ(status, 0) << log;
  const std::vector<std::string> trace = lines_of(test::read_file(trace_file));
  ASSERT_FALSE(trace.empty()) << log;

  std::size_t at = 0;
  for (const auto& [with_clock, want] : e.trace) {
    while (at < trace.size() && (with_clock ? trace[at] : without_clock(trace[at])) != want) ++at;
    ASSERT_LT(at, trace.size()) << "no trace line \"" << want << "\" in its place; the trace:\n"
                                << test::read_file(trace_file);
    ++at;
  }
  for (const std::string& line : trace) {
    for (const std::string& unwanted : e.no_trace) EXPECT_NE(without_clock(line), unwanted) << "traced: " << line;
    if (!e.errors_allowed) {
      EXPECT_EQ(line.find("<Error>"), std::string::npos) << line;
    }
  }

  std::string report;
  ASSERT_EQ(test::run_command(shell_quote(nova) + " dump " + shell_quote(out / "save.dat") + " 2>&1", &report), 0)
      << report;
  const std::vector<std::string> saved = lines_of(report);
  for (const std::string& want : e.status) {
    EXPECT_NE(std::find(saved.begin(), saved.end(), want), saved.end()) << "no \"" << want << "\" in:\n" << report;
  }
  for (const std::string& name : e.no_status) {
    for (const std::string& line : saved) {
      const std::vector<std::string> words = [&] {
        std::vector<std::string> w;
        std::istringstream in(line);
        for (std::string s; in >> s;) w.push_back(s);
        return w;
      }();
      EXPECT_FALSE(words.size() > 2 && words[0] == "status" && words[2] == name) << line;
    }
  }
}

TEST_P(Titles, PagesComeBackFromExactDumpsWithoutRawBytes) {
  const TitleCase& c = GetParam();
  test::TempDir dir;
  Diagnostics d;
  BuildReport built;
  ASSERT_TRUE(build_title(c.source, dir / "built", {}, d, built)) << d.format();
  DumpReport report;
  ASSERT_TRUE(dump_title(dir / "built", dir / "source", {true, false}, d, report)) << d.format();
  std::cout << c.name << ": " << report.pages << " pages, " << report.expressions << " expressions ("
            << report.raw_expressions << " kept as raw bytes), " << report.texts << " texts (" << report.raw_texts
            << " kept as raw bytes)\n";
  EXPECT_EQ(report.raw_expressions, 0);
  EXPECT_EQ(report.raw_texts, 0);
  EXPECT_EQ(report.unverified_pages, 0);
  EXPECT_TRUE(report.project_verified);
  ASSERT_TRUE(build_title(dir / "source", dir / "again", {}, d, built)) << d.format();
  for (const auto& f : fs::recursive_directory_iterator(dir / "built")) {
    if (!f.is_regular_file()) continue;
    const fs::path rel = f.path().lexically_relative(dir / "built");
    EXPECT_EQ(test::read_file(f.path()), test::read_file(dir / "again" / rel)) << rel;
  }
}

INSTANTIATE_TEST_SUITE_P(Title, Titles, ::testing::ValuesIn(title_cases()), case_name);

}  // namespace
}  // namespace nova::tools
