// The desktop programs the player starts (the file dialogs of zenity and
// kdialog, xdg-open), tested with stand-ins put first on PATH that record
// their argument vectors: the exact vectors, no shell in between, the
// answers and a cancel. The desktop portal is tested on a private session
// bus against a stand-in portal that records what it was asked. The
// headless file dialogs answer from --dialog.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <thread>

#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/headless/headless_platform.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace nova::platform {
namespace {

namespace fs = std::filesystem;

// PATH as the test program found it, before any stand-in folder replaced it.
const std::string g_original_path = std::getenv("PATH") ? std::getenv("PATH") : "";

// Sets an environment variable (or unsets it, for nullopt) for the life of
// the object.
class EnvVar {
 public:
  EnvVar(const char* name, std::optional<std::string> value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvVar() {
    if (m_old) {
      setenv(m_name, m_old->c_str(), 1);
    } else {
      unsetenv(m_name);
    }
  }
  EnvVar(const EnvVar&) = delete;
  EnvVar& operator=(const EnvVar&) = delete;

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

// Puts a folder of stand-ins first on PATH (alone, so that real programs of
// the same names are never found) for the life of the object. The session
// bus points nowhere meanwhile, so a desktop portal of the machine running
// the tests never answers.
class StandIns {
 public:
  StandIns() : m_path("PATH", m_dir.path().string()), m_bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (m_dir / "no-bus").string()) {}
  // A program that writes each argument on a line of `name`.args, prints
  // `output` and exits with `status`.
  void add(const std::string& name, const std::string& output, int status) {
    const fs::path file = m_dir / name;
    // The list appears whole, by a rename: programs that are not waited for
    // may still be writing when the test looks.
    const std::string args = (m_dir / (name + ".args")).string();
    test::write_file(file, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + args +
                               ".part\"\n/bin/mv \"" + args + ".part\" \"" + args + "\"\nprintf '%s' '" + output +
                               "'\nexit " + std::to_string(status) + "\n");
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
  EnvVar m_path;
  EnvVar m_bus;
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

TEST(DesktopPrograms, WithoutPortalOrProgramThePlayersOwnDialogStandsIn) {
  StandIns stand_ins;
  HeadlessPlatform headless;
  std::vector<std::string> log;
  FileDialogSpec spec;
  spec.start_folder = stand_ins.dir();
  spec.log = [&log](const std::string& line) { log.push_back(line); };
  // The application is asked to close while the dialog is up: it gives way
  // and hands the close on.
  headless.requeue_quit();
  EXPECT_FALSE(run_desktop_file_dialog(headless, 0, spec));
  Event e;
  ASSERT_TRUE(headless.poll_event(e));
  EXPECT_EQ(e.type, EventType::Close);
  EXPECT_EQ(e.window, 0u);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find("no desktop portal (session bus unix:path="), std::string::npos) << log[0];
  EXPECT_NE(log[1].find("neither zenity nor kdialog"), std::string::npos) << log[1];
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

// --- The desktop portal on a private session bus ----------------------------

extern "C" char** environ;

// A program started from an argument vector (standard output to `out_fd`
// when given), ended and reaped with the object.
class Child {
 public:
  Child() = default;
  Child(const std::vector<std::string>& argv, int out_fd = -1) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out_fd >= 0) posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
    if (posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() { stop(); }
  Child(Child&& o) noexcept : m_pid(std::exchange(o.m_pid, -1)) {}
  Child& operator=(Child&& o) noexcept {
    stop();
    m_pid = std::exchange(o.m_pid, -1);
    return *this;
  }
  bool running() const { return m_pid > 0; }
  void stop() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
};

// A session bus of the test's own (no service activation, so only the
// stand-in can own the portal's name) that the player's bus address points
// at while the object lives. Create it after StandIns.
class PrivateBus {
 public:
  PrivateBus() {
    std::string daemon;
    std::size_t from = 0;
    while (from <= g_original_path.size() && daemon.empty()) {
      const std::size_t colon = std::min(g_original_path.find(':', from), g_original_path.size());
      const fs::path candidate = fs::path(g_original_path.substr(from, colon - from)) / "dbus-daemon";
      if (::access(candidate.c_str(), X_OK) == 0) daemon = candidate.string();
      from = colon + 1;
    }
    if (daemon.empty()) {
      m_why = "dbus-daemon is missing (scripts/setup installs it)";
      // Where the setup script made the environment, a missing bus is a
      // fault rather than a reason to skip.
      if (std::getenv("NOVA_SET_UP") || std::getenv("CI")) ADD_FAILURE() << m_why;
      return;
    }
    test::write_file(m_dir / "bus.conf",
                     "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>session</type><listen>unix:dir=" +
                         m_dir.path().string() +
                         "</listen><auth>EXTERNAL</auth>"
                         "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                         "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    m_daemon = Child({daemon, "--config-file=" + (m_dir / "bus.conf").string(), "--print-address", "--nofork"}, fds[1]);
    ::close(fds[1]);
    // The daemon prints its address once it listens.
    std::string line;
    pollfd p{fds[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0) {
      char buf[256];
      const ssize_t n = ::read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (line.find('\n') == std::string::npos) {
      m_why = "dbus-daemon did not start";
      ADD_FAILURE() << m_why;
      return;
    }
    m_address = line.substr(0, line.find('\n'));
    m_env.emplace("DBUS_SESSION_BUS_ADDRESS", m_address);
  }

  bool ok() const { return !m_address.empty(); }
  const std::string& why() const { return m_why; }

  // Starts the stand-in portal with its answers and waits until it owns
  // the portal's name.
  void start_portal(int version, const std::vector<std::string>& answers) {
    std::vector<std::string> argv = {NOVA_PORTAL_STAND_IN, (m_dir / "record").string(), (m_dir / "ready").string(),
                                     std::to_string(version)};
    argv.insert(argv.end(), answers.begin(), answers.end());
    fs::remove(m_dir / "ready");
    m_portal = Child(argv);
    ASSERT_TRUE(m_portal.running());
    ASSERT_TRUE(test::eventually([&] { return fs::exists(m_dir / "ready"); }, std::chrono::seconds(20)));
  }
  void stop_portal() { m_portal.stop(); }

  // What the stand-in recorded, with the request tokens (process id and
  // serial) shown as TOKEN.
  std::string record() const {
    const std::string raw = fs::exists(m_dir / "record") ? test::read_file(m_dir / "record") : "";
    return std::regex_replace(raw, std::regex("nova" + std::to_string(::getpid()) + "_[0-9]+"), "TOKEN");
  }

 private:
  test::TempDir m_dir;
  std::string m_address;
  std::string m_why;
  Child m_daemon;
  Child m_portal;
  std::optional<EnvVar> m_env;
};

TEST(DesktopPortal, OpenSaveAndFolderCallsCarryTheirExactOptions) {
  StandIns stand_ins;
  PrivateBus bus;
  if (!bus.ok()) GTEST_SKIP() << bus.why();
  bus.start_portal(3, {"uri:file:///tmp/a%20b/%E3%81%82%25.txt", "cancel", "uri:FILE://localhost/srv/d"});
  HeadlessPlatform headless;
  FileDialogSpec spec;
  spec.title = test::sjis("開く $(touch pwned)");
  spec.filter = test::sjis("テキスト|*.txt;*.log|All|*.*");
  const fs::path start = "/start dir/デスク";

  const PortalAnswer opened = run_portal_file_dialog(headless, 0, spec, start);
  EXPECT_EQ(opened.outcome, PortalOutcome::Chosen) << opened.reason;
  EXPECT_EQ(opened.path, fs::path("/tmp/a b/あ%.txt"));
  const PortalAnswer saved = run_portal_file_dialog(headless, 1, spec, start);
  EXPECT_EQ(saved.outcome, PortalOutcome::Cancelled);
  EXPECT_EQ(saved.reason, "");
  const PortalAnswer folder = run_portal_file_dialog(headless, 2, spec, start);
  EXPECT_EQ(folder.outcome, PortalOutcome::Chosen) << folder.reason;
  EXPECT_EQ(folder.path, fs::path("/srv/d"));

  const std::string common = "option handle_token=TOKEN\noption modal=true\n";
  const std::string filters = "option filters=[(テキスト,[(0,*.txt),(0,*.log)]),(All,[(0,*.*)])]\n";
  const std::string folder_bytes =
      "option current_folder=/start dir/\\xe3\\x83\\x87\\xe3\\x82\\xb9\\xe3\\x82\\xaf\\x00\n";
  EXPECT_EQ(bus.record(), "method OpenFile\nparent \ntitle 開く $(touch pwned)\n" + common + filters + folder_bytes +
                              "method SaveFile\nparent \ntitle 開く $(touch pwned)\n" + common + filters +
                              folder_bytes + "option current_name=\n" +
                              "method OpenFile\nparent \ntitle 開く $(touch pwned)\n" + common +
                              "option directory=true\n" + folder_bytes);
  EXPECT_FALSE(fs::exists("pwned"));
}

TEST(DesktopPortal, RefusedAnswersAndMissingPortalsFallThroughQuietly) {
  StandIns stand_ins;
  stand_ins.add("zenity", "/from/zenity\n", 0);
  PrivateBus bus;
  if (!bus.ok()) GTEST_SKIP() << bus.why();
  // A portal too old to pick folders, answering a web address, then an
  // error.
  bus.start_portal(2, {"uri:https://example.com/x", "error"});
  HeadlessPlatform headless;
  std::vector<std::string> log;
  FileDialogSpec spec;
  spec.start_folder = "/s";
  spec.log = [&log](const std::string& line) { log.push_back(line); };
  auto last_log = [&log] { return log.empty() ? std::string() : log.back(); };

  EXPECT_FALSE(run_desktop_file_dialog(headless, 0, spec)) << "a refused answer is a cancel, not another dialog";
  EXPECT_NE(last_log().find("not a local file: https://example.com/x"), std::string::npos) << last_log();
  EXPECT_FALSE(fs::exists(stand_ins.dir() / "zenity.args"));

  EXPECT_EQ(run_desktop_file_dialog(headless, 2, spec), fs::path("/from/zenity"));
  EXPECT_NE(last_log().find("(version 2) cannot pick folders"), std::string::npos) << last_log();
  EXPECT_EQ(stand_ins.args("zenity"), lines({"--file-selection", "--directory", "--filename=/s/"}));
  fs::remove(stand_ins.dir() / "zenity.args");

  EXPECT_EQ(run_desktop_file_dialog(headless, 0, spec), fs::path("/from/zenity"));
  EXPECT_NE(last_log().find("org.freedesktop.portal.Error.Failed: scripted failure"), std::string::npos) << last_log();
  fs::remove(stand_ins.dir() / "zenity.args");

  bus.stop_portal();
  EXPECT_EQ(run_desktop_file_dialog(headless, 1, spec), fs::path("/from/zenity"));
  EXPECT_NE(last_log().find("org.freedesktop.DBus.Error.ServiceUnknown"), std::string::npos) << last_log();
  EXPECT_EQ(stand_ins.args("zenity"), lines({"--file-selection", "--save", "--filename=/s/"}));

  // No session bus at all: nothing is launched to make one.
  EnvVar no_address("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
  EnvVar no_runtime("XDG_RUNTIME_DIR", std::nullopt);
  const PortalAnswer none = run_portal_file_dialog(headless, 0, spec, "/s");
  EXPECT_EQ(none.outcome, PortalOutcome::Unavailable);
  EXPECT_EQ(none.reason, "no session bus");
}

TEST(DesktopPortal, ACloseRequestClosesThePortalsDialogAndIsHandedOn) {
  StandIns stand_ins;
  PrivateBus bus;
  if (!bus.ok()) GTEST_SKIP() << bus.why();
  bus.start_portal(3, {"hold"});
  HeadlessPlatform headless;
  Event close;
  close.type = EventType::Close;
  headless.push_event(close);
  const PortalAnswer a = run_portal_file_dialog(headless, 0, FileDialogSpec{}, "/s");
  EXPECT_EQ(a.outcome, PortalOutcome::Cancelled);
  const std::string record = bus.record();
  EXPECT_TRUE(std::regex_search(record, std::regex("\nclose /org/freedesktop/portal/desktop/request/1_[0-9]+/TOKEN\n")))
      << record;
  Event e;
  ASSERT_TRUE(headless.poll_event(e)) << "the close is handed on";
  EXPECT_EQ(e.type, EventType::Close);
  EXPECT_FALSE(headless.poll_event(e));
}

TEST(DesktopPortal, OnlyLocalFileUrisBecomePaths) {
  EXPECT_EQ(file_uri_to_path("file:///a%2fb%20c"), fs::path("/a/b c"));
  EXPECT_EQ(file_uri_to_path("file://LOCALHOST/x"), fs::path("/x"));
  EXPECT_EQ(file_uri_to_path("file:///%E3%81%82"), fs::path("/あ"));
  for (const char* refused : {"http://x/y", "file://host/x", "file:relative", "file://", "file:///x%00y", "file:///x%4",
                              "file:///x%zz", "file:///x?q", "smb://h/x", "file:/"}) {
    EXPECT_FALSE(file_uri_to_path(refused)) << refused;
  }
}

}  // namespace
}  // namespace nova::platform
