// The titles of tests/titles and the demo, end to end: built with
// `nova build`, run with `novaplayer --headless`, and checked against their
// expect.txt (trace lines, status variables in save.dat). And every page of
// them through an exact dump and back: the same bytes, with no expression
// or text kept as raw bytes.
#include <gtest/gtest.h>

#include <iostream>

#include "support/test_support.h"
#include "title_runner.h"
#include "tools/toolchain/title.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;

struct TitleCase {
  std::string name;
  fs::path source;  // the source tree
  fs::path expect;  // expect.txt
};

// Names the case in test listings instead of dumping the struct's bytes.
void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.name; }

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

class Titles : public ::testing::TestWithParam<TitleCase> {};

TEST_P(Titles, RunAsExpected) {
  const TitleCase& c = GetParam();
  test::run_title(c.source, test::parse_expectation(test::read_file(c.expect), c.expect.string(), c.source),
                  c.expect.parent_path());
}

TEST_P(Titles, PagesComeBackFromExactDumpsWithoutRawBytes) {
  const TitleCase& c = GetParam();
  test::TempDir dir;
  Diagnostics d;
  BuildReport built;
  ASSERT_TRUE(build_title(c.source, dir / "built", {}, d, built)) << d.format();
  DumpReport report;
  ASSERT_TRUE(dump_title({dir / "built"}, dir / "source", {true, false}, d, report)) << d.format();
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
