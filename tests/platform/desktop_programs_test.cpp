// The desktop programs the player starts (the file dialogs of zenity and
// kdialog, xdg-open), tested with stand-ins put first on PATH that record
// their argument vectors: the exact vectors, no shell in between, the
// answers and a cancel. The headless file dialogs answer from --dialog.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/headless/headless_platform.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace nova::platform {
namespace {

namespace fs = std::filesystem;

// Puts a folder of stand-ins first on PATH (alone, so that real programs of
// the same names are never found) for the life of the object.
class StandIns {
 public:
  StandIns() : m_old(std::getenv("PATH") ? std::getenv("PATH") : "") { setenv("PATH", m_dir.path().c_str(), 1); }
  ~StandIns() { setenv("PATH", m_old.c_str(), 1); }
  // A program that writes each argument on a line of `name`.args, prints
  // `output` and exits with `status`.
  void add(const std::string& name, const std::string& output, int status) {
    const fs::path file = m_dir / name;
    test::write_file(file, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                               (m_dir / (name + ".args")).string() + "\"\nprintf '%s' '" + output + "'\nexit " +
                               std::to_string(status) + "\n");
    ::chmod(file.c_str(), 0755);
  }
  std::string args(const std::string& name) const {
    const fs::path file = m_dir / (name + ".args");
    for (int i = 0; i < 500 && !fs::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(file) ? test::read_file(file) : "(not run)";
  }
  const fs::path& dir() const { return m_dir.path(); }

 private:
  test::TempDir m_dir;
  std::string m_old;
};

std::string lines(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += s + "\n";
  return out;
}

FileDialogSpec hostile_spec() {
  FileDialogSpec spec;
  // Shell syntax in every text: it must reach the program as it stands.
  spec.title = "$(touch pwned) `touch pwned2`; rm x";
  spec.filter = "Text (*.txt)|*.txt;*.log|All|*.*";
  spec.start_folder = "/start dir";
  return spec;
}

TEST(DesktopPrograms, ZenityGetsItsExactArgumentsWithoutAShell) {
  StandIns stand_ins;
  stand_ins.add("zenity", "/home/u/chosen file.txt\n", 0);
  HeadlessPlatform headless;
  const auto chosen = run_desktop_file_dialog(headless, 1, hostile_spec());
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, fs::path("/home/u/chosen file.txt"));
  EXPECT_EQ(stand_ins.args("zenity"),
            lines({"--file-selection", "--title=$(touch pwned) `touch pwned2`; rm x", "--save",
                   "--filename=/start dir/", "--file-filter=Text (*.txt) | *.txt *.log", "--file-filter=All | *.*"}));
  EXPECT_FALSE(fs::exists("pwned"));
  EXPECT_FALSE(fs::exists(stand_ins.dir() / "pwned"));
  EXPECT_EQ(zenity_arguments(2, hostile_spec(), "/d"),
            (std::vector<std::string>{"zenity", "--file-selection", "--title=$(touch pwned) `touch pwned2`; rm x",
                                      "--directory", "--filename=/d/"}));
}

TEST(DesktopPrograms, KdialogStandsInWithoutZenityAndACancelAnswersNothing) {
  StandIns stand_ins;
  stand_ins.add("kdialog", "/x/y.txt\n", 0);
  HeadlessPlatform headless;
  const auto chosen = run_desktop_file_dialog(headless, 0, hostile_spec());
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, fs::path("/x/y.txt"));
  EXPECT_EQ(stand_ins.args("kdialog"), lines({"--title", "$(touch pwned) `touch pwned2`; rm x", "--getopenfilename",
                                              "/start dir", "*.txt *.log|Text (*.txt)", "*.*|All"}));
  stand_ins.add("kdialog", "", 1);
  EXPECT_FALSE(run_desktop_file_dialog(headless, 2, hostile_spec())) << "exit status 1 is a cancel";
  EXPECT_EQ(stand_ins.args("kdialog"),
            lines({"--title", "$(touch pwned) `touch pwned2`; rm x", "--getexistingdirectory", "/start dir"}));
}

TEST(DesktopPrograms, WithoutADialogProgramTheErrorSaysWhatIsMissing) {
  StandIns stand_ins;
  HeadlessPlatform headless;
  try {
    run_desktop_file_dialog(headless, 0, FileDialogSpec{});
    FAIL();
  } catch (const PlatformError& e) {
    EXPECT_NE(std::string(e.what()).find("zenity or kdialog"), std::string::npos);
  }
}

TEST(DesktopPrograms, StartedProgramsGetTheirArgumentVectorAndAreNotWaitedFor) {
  StandIns stand_ins;
  stand_ins.add("xdg-open", "", 0);
  EXPECT_TRUE(program_on_path("xdg-open"));
  EXPECT_FALSE(program_on_path("no-such-program"));
  EXPECT_TRUE(start_program({"xdg-open", "http://example.com/?a=1&b=$(id)"}));
  EXPECT_EQ(stand_ins.args("xdg-open"), "http://example.com/?a=1&b=$(id)\n");
  EXPECT_FALSE(start_program({"no-such-program"}));
  // A program that runs too long is ended when the caller says so.
  stand_ins.add("slow", "", 0);
  test::write_file(stand_ins.dir() / "slow", "#!/bin/sh\nexec /bin/sleep 30\n");
  int polls = 0;
  EXPECT_FALSE(run_program({"slow"}, [&polls] { return ++polls >= 3; }));
  EXPECT_EQ(polls, 3);
}

TEST(DesktopPrograms, HeadlessDialogsAnswerInOrderThenCancel) {
  HeadlessOptions o;
  o.echo_message_boxes = false;
  o.dialog_answers = {"/a/b.txt", "cancel", "/c/"};
  HeadlessPlatform headless(o);
  EXPECT_EQ(headless.dialogs().open_file({}), fs::path("/a/b.txt"));
  EXPECT_FALSE(headless.dialogs().save_file({}));
  EXPECT_EQ(headless.dialogs().select_folder({}), fs::path("/c/"));
  EXPECT_FALSE(headless.dialogs().open_file({}));
  MessageBoxSpec box;
  box.buttons = MessageButtons::YesNoAllCancel;
  headless.queue_answer(MessageAnswer::NoToAll);
  EXPECT_EQ(headless.dialogs().message_box(box), MessageAnswer::NoToAll);
  EXPECT_EQ(headless.dialogs().message_box(box), MessageAnswer::Yes);
  EXPECT_STREQ(answer_name(MessageAnswer::YesToAll), "Yes to all");
  const auto filters = parse_file_filter(test::sjis("表|*.ソ;*.b|x"));
  ASSERT_EQ(filters.size(), 1u) << "a field without its pattern is dropped";
  EXPECT_EQ(filters[0].description, "表");
  EXPECT_EQ(filters[0].patterns, (std::vector<std::string>{"*.ソ", "*.b"}));
}

}  // namespace
}  // namespace nova::platform
