// The layering check (scripts/check-includes): the tree passes, and a copy
// with a layer broken fails naming each breach.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace nova {
namespace {

namespace fs = std::filesystem;

int check(const fs::path& root, std::string& out) {
  return test::run_command(
      "\"" + (test::source_dir() / "scripts" / "check-includes").string() + "\" \"" + root.string() + "\" 2>&1", &out);
}

TEST(CheckIncludes, TheTreePassesAndEachBreachIsNamed) {
  std::string out;
  EXPECT_EQ(check(test::source_dir(), out), 0) << out;

  test::TempDir copy;
  fs::copy(test::source_dir() / "src", copy / "src", fs::copy_options::recursive);
  EXPECT_EQ(check(copy.path(), out), 0) << out;

  // An upward include, a host call outside the platform, a system header
  // outside its layer, and a link the table does not know.
  test::write_file(copy / "src" / "expr" / "upward.cpp", "#include \"script/callman.h\"\n");
  test::write_file(copy / "src" / "script" / "host.cpp",
                   "#include <cstdio>\n// fopen( in a comment is no call\n"
                   "void f() { const char* s = \"fopen(\"; (void)s; std::FILE* x = std::fopen(\"a\", \"r\"); }\n");
  test::write_file(copy / "src" / "graphics" / "window.cpp", "#include <SDL.h>\n");
  std::string cmake = test::read_file(copy / "src" / "text" / "CMakeLists.txt");
  const auto at = cmake.find("PUBLIC_DEPS");
  ASSERT_NE(at, std::string::npos);
  cmake.insert(at + 11, " nova_script");
  test::write_file(copy / "src" / "text" / "CMakeLists.txt", cmake);

  EXPECT_EQ(check(copy.path(), out), 1);
  EXPECT_NE(out.find("src/expr/upward.cpp:1: includes script/callman.h: src/expr/ may not include src/script/"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("src/script/host.cpp:3: calls std::fopen(: fopen belongs to the platform"), std::string::npos)
      << out;
  EXPECT_EQ(out.find("host.cpp:2"), std::string::npos) << "comments and strings are not code";
  EXPECT_NE(out.find("src/graphics/window.cpp:1: includes SDL.h: SDL belongs to src/platform/"), std::string::npos)
      << out;
  EXPECT_NE(out.find("src/text/CMakeLists.txt: links"), std::string::npos) << out;
}

}  // namespace
}  // namespace nova
