#include "tools/toolchain/project_source.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "expr/types.h"
#include "script/project_setting.h"
#include "support/test_support.h"

namespace nova::tools {
namespace {

using script::TProjectSetting;
using test::sjis;

TProjectSetting settings_of(const std::string& bytes) {
  return TProjectSetting::Parse(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::string bytes_of(const TProjectSetting& s) {
  auto b = s.Bytes();
  return {b.begin(), b.end()};
}

TEST(ProjectSource, CompilesEveryFieldAndDefaultsTheRest) {
  Diagnostics d;
  auto bytes = compile_project_source(
      "# the demo\n"
      "title: デモ\n"
      "screen: 800x600\n"
      "display_options: 1, 2\n"
      "start: menu.nsb\n"
      "exit: bye.nsb\n"
      "registry_key: Nova\\Demo\n"
      "image_key: 0x1234\n"
      "idle: yes\n"
      "pause_when_inactive: yes\n"
      "variable: int score = -5\n"
      "variable: float ratio = 0.1\n"
      "variable: bool seen = TRUE\n"
      "variable: str name = \"a = b\"\n"
      "variable: 9 odd\n"
      "folder: data\\disc2 = 2\n",
      "project.nvp", d);
  ASSERT_TRUE(bytes) << d.format();
  const TProjectSetting s = settings_of(*bytes);
  EXPECT_EQ(s.version, 115);
  EXPECT_EQ(s.title, sjis("デモ"));
  EXPECT_EQ(s.screen_width, 800);
  EXPECT_EQ(s.screen_height, 600);
  EXPECT_EQ(s.display_option_b, 2);
  EXPECT_EQ(s.start_page, "menu.nsb");
  EXPECT_EQ(s.exit_page, "bye.nsb");
  EXPECT_EQ(s.registry_key, "Nova\\Demo");
  EXPECT_EQ(s.image_key, 0x1234);
  EXPECT_EQ(s.keep_status, 1);  // kept unless the source says otherwise
  EXPECT_EQ(s.idle_option, 1);
  EXPECT_EQ(s.pause_when_inactive, 1);
  EXPECT_EQ(s.disc_text, sjis("ディスク%dを入れてから[OK]をクリックしてください"));
  EXPECT_EQ(s.quit_text, sjis("終了します"));
  ASSERT_EQ(s.initial_variables.size(), 5u);
  EXPECT_EQ(s.initial_variables[0].int_value, -5);
  EXPECT_EQ(s.initial_variables[1].float_value, 0.1L);
  EXPECT_TRUE(s.initial_variables[2].flag_value);
  EXPECT_EQ(s.initial_variables[3].string_value, "a = b");
  EXPECT_EQ(s.initial_variables[4].type, 9);
  ASSERT_EQ(s.folders.Pairs().size(), 1u);
  EXPECT_EQ(s.folders.Pairs()[0].folder, "data\\disc2");
  EXPECT_EQ(s.folders.Pairs()[0].disc, 2);
}

TEST(ProjectSource, DumpsOfEveryVersionBuildToTheSameBytes) {
  for (std::int32_t version : {100, 103, 104, 106, 108, 109, 110, 113, 114, 115}) {
    SCOPED_TRACE(version);
    TProjectSetting s;
    s.version = version;
    s.title = sjis("表題 ");  // a trailing blank must survive
    s.start_page = "start.nsb";
    if (version >= 110) s.exit_page = "end.nsb";
    if (version > 103) s.keep_status = 0;
    if (version >= 109) s.streamed_extensions = "";
    s.disc_text = "";
    s.quit_text = sjis("終わり;です");
    s.initial_variables.push_back({expr::PT_FLOAT, "f", 0, 1.0L / 3.0L, false, ""});
    s.initial_variables.push_back({expr::PT_STR, "a b", 0, 0, false, "\"x\"\r\n"});
    s.initial_variables.push_back({expr::PT_INT, "i", -2147483647 - 1, 0, false, ""});
    s.folders.Add("a=b", -1);
    const std::string bytes = bytes_of(s);
    bool verified = false;
    const std::string source = dump_project(bytes, true, &verified);
    EXPECT_TRUE(verified) << source;
    Diagnostics d;
    auto again = compile_project_source(source, "project.nvp", d);
    ASSERT_TRUE(again) << d.format() << source;
    EXPECT_EQ(*again, bytes) << source;
    EXPECT_EQ(source.find("exact_bytes"), std::string::npos);
  }
}

TEST(ProjectSource, KeepsWhatTheFieldsCannotSayAsExactBytes) {
  TProjectSetting s;
  s.title = "t";
  s.initial_variables.push_back({expr::PT_BOOL, "b", 0, 0, true, ""});
  std::string bytes = bytes_of(s);
  // The flag byte 2 reads as true; bytes after the folder list are not read.
  bytes[bytes.size() - 5] = 2;
  bytes += "tail";
  bool verified = false;
  const std::string source = dump_project(bytes, true, &verified);
  EXPECT_TRUE(verified);
  EXPECT_NE(source.find("exact_bytes"), std::string::npos);
  Diagnostics d;
  auto again = compile_project_source(source, "project.nvp", d);
  ASSERT_TRUE(again) << d.format();
  EXPECT_EQ(*again, bytes);
  // A plain dump says what it could not keep.
  dump_project(bytes, false, &verified);
  EXPECT_FALSE(verified);
}

TEST(ProjectSource, ReportsBrokenLinesByNumber) {
  struct Case {
    const char* source;
    int line;
    const char* message;
  } cases[] = {
      {"title: a\ncolour: red\n", 2, "unknown project field"},
      {"version: 108\nexit: e.nsb\n", 2, "do not store exit"},
      {"title: a\n\nvariable: int\n", 3, "no name"},
      {"screen: big\n", 1, "WIDTHxHEIGHT"},
      {"title: a\ntitle: b\n", 2, "given twice"},
      {"variable: int n = x\n", 1, "expected a number"},
      {"title: \xE2\x82\xAC\n", 1, "no Shift-JIS form"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Diagnostics d;
    EXPECT_FALSE(compile_project_source(c.source, "project.nvp", d));
    ASSERT_TRUE(d.has_errors());
    EXPECT_EQ(d.sorted().front().line, c.line) << d.format();
    EXPECT_NE(d.format().find(c.message), std::string::npos) << d.format();
  }
}

}  // namespace
}  // namespace nova::tools
