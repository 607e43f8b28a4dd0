// The examples of docs/title-source.md: each "### Example" section's
// ```nova FILE``` blocks are a title; it must build, run, and leave what the
// section's ```expect``` block says.
#include <gtest/gtest.h>

#include <sstream>

#include "support/test_support.h"
#include "title_runner.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;

struct DocExample {
  std::string title;
  std::vector<std::pair<std::string, std::string>> files;  // name, text
  std::string expect;
};

std::vector<DocExample> doc_examples() {
  std::vector<DocExample> out;
  std::istringstream in(test::read_file(test::source_dir() / "docs" / "title-source.md"));
  std::string line;
  DocExample* current = nullptr;
  std::string* block = nullptr;
  while (std::getline(in, line)) {
    if (block) {
      if (line == "```") {
        block = nullptr;
      } else {
        *block += line + "\n";
      }
      continue;
    }
    if (line.rfind("### Example", 0) == 0) {
      out.push_back({line.substr(4), {}, {}});
      current = &out.back();
    } else if (current && line.rfind("```nova ", 0) == 0) {
      current->files.emplace_back(line.substr(8), "");
      block = &current->files.back().second;
    } else if (current && line == "```expect") {
      block = &current->expect;
    } else if (line.rfind("## ", 0) == 0) {
      current = nullptr;
    }
  }
  return out;
}

TEST(Docs, ExamplesBuildAndRunAsTheySay) {
  const std::vector<DocExample> examples = doc_examples();
  ASSERT_GE(examples.size(), 3u);
  for (const DocExample& e : examples) {
    SCOPED_TRACE(e.title);
    ASSERT_FALSE(e.files.empty());
    ASSERT_FALSE(e.expect.empty()) << "an example says what it leaves";
    test::TempDir dir;
    for (const auto& [name, text] : e.files) test::write_file(dir / name, text);
    test::run_title(dir.path(), test::parse_expectation(e.expect, e.title));
  }
}

}  // namespace
}  // namespace nova::tools
