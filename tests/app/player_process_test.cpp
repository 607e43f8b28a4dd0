// The player executable end to end: each test copies it into a folder of
// its own, so "game.ini" and the data beside it are the test's.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "script/page_file.h"
#include "script/project_setting.h"
#include "support/test_support.h"

namespace nova::app {
namespace {

namespace fs = std::filesystem;

// A title whose start page waits for ever.
void write_waiting_title(const fs::path& folder) {
  script::TProjectSetting settings;
  settings.title = "wait";
  settings.start_page = "main.nsb";
  const auto npb = settings.Bytes();
  test::write_file(folder / "nova.npb", std::string(npb.begin(), npb.end()));
  script::TPageFile page;
  page.commands.push_back(script::TCommandRecord::make(script::CC_WAIT));
  const auto nsb = page.bytes();
  test::write_file(folder / "main.nsb", std::string(nsb.begin(), nsb.end()));
}

class PlayerProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    m_player = m_dir / "novaplayer";
    fs::copy_file(test::binary_dir() / "src" / "app" / "novaplayer", m_player);
    fs::create_directories(m_dir / "title");
    setenv("XDG_RUNTIME_DIR", m_dir.path().c_str(), 1);
  }
  std::string run(const std::string& args, int* status = nullptr) {
    std::string out;
    int s = test::run_command(m_player.string() + " " + args + " 2>&1", &out);
    if (status) *status = s;
    return out;
  }
  test::TempDir m_dir;
  fs::path m_player;
};

TEST_F(PlayerProcess, HelpAndBadOptions) {
  int status = -1;
  std::string help = run("--help", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(help.find("--headless"), std::string::npos);
  EXPECT_NE(help.find("/config"), std::string::npos);
  run("--no-such-option", &status);
  EXPECT_EQ(status, 2);
}

TEST_F(PlayerProcess, HeadlessRunOnAnEmptyFolderEndsByItself) {
  int status = -1;
  // No project: the fatal message, and a headless player says so by its
  // status; it would otherwise run all its ticks (a day's worth).
  std::string out = run("--headless --max-ticks 5760000 " + (m_dir / "title").string(), &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("プロジェクトがありません"), std::string::npos) << out;
}

TEST_F(PlayerProcess, SecondPlayerOnTheSameFolderEndsSilently) {
  // The first player runs until killed.
  write_waiting_title(m_dir / "title");
  const std::string folder = (m_dir / "title").string();
  pid_t first = fork();
  if (first == 0) {
    execl(m_player.c_str(), "novaplayer", "--headless", "--max-ticks", "100000000", folder.c_str(), nullptr);
    _exit(127);
  }
  // Wait until it holds its lock (its lock file appears).
  const bool locked = test::eventually([&] {
    for (const auto& e : fs::directory_iterator(m_dir.path())) {
      if (e.path().filename().string().rfind("novaplayer-lock", 0) == 0) return true;
    }
    return false;
  });
  ASSERT_TRUE(locked);
  for (const std::string& arg : {folder, folder + "/"}) {
    // A second player that did not end at once would run its ticks for
    // days; `timeout` turns that into a failure (status 124), not a hang.
    std::string out;
    const int status = test::run_command(
        "timeout 120 " + m_player.string() + " --headless --max-ticks 100000000 " + arg + " 2>&1", &out);
    EXPECT_EQ(status, 0) << arg;
    EXPECT_EQ(out.find("message box"), std::string::npos) << out;
  }
  // The first one is still running.
  EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0);
  kill(first, SIGKILL);
  waitpid(first, nullptr, 0);
  // Its lock died with it: a new player runs.
  int status = -1;
  run("--headless --max-ticks 5 " + folder, &status);
  EXPECT_EQ(status, 0);
}

TEST_F(PlayerProcess, ConfigDialogWritesGameIniBesideThePlayer) {
  test::write_file(m_dir / "keys.txt", "0 key TAB down\n1 key RIGHT down\n2 key RETURN down\n");
  test::write_file(m_dir / "game.ini", "[Sound]\r\nDirectSound=0\r\nDelayTime=250\r\n");
  int status = -1;
  run("--headless --input " + (m_dir / "keys.txt").string() + " /CONFIG", &status);
  EXPECT_EQ(status, 0);
  std::string ini = test::read_file(m_dir / "game.ini");
  EXPECT_NE(ini.find("DelayTime=300"), std::string::npos) << ini;
  EXPECT_NE(ini.find("DirectSound=0"), std::string::npos) << ini;
}

}  // namespace
}  // namespace nova::app

namespace nova::app {
namespace {

TEST_F(PlayerProcess, EveryLogSettingWorksAndChangesOnlyTheDiagnostics) {
  const fs::path nova = test::binary_dir() / "tools" / "nova";
  test::write_file(m_dir / "src" / "project.nvp", "title: log\nstart: start.nsb\n");
  test::write_file(m_dir / "src" / "start.nvs", "VarNew status int x = 5\nCalc x = x + 1\nCalc y = 1 / 0\nWait\n");
  struct Run {
    std::string output, trace, save;
    int status = -1;
  };
  auto play = [&](const std::string& setting) {
    test::TempDir work;
    std::string log;
    EXPECT_EQ(test::run_command("'" + nova.string() + "' build '" + (m_dir / "src").string() + "' '" +
                                    (work / "t").string() + "' --pack 2>&1",
                                &log),
              0)
        << log;
    const std::string env = setting == "unset" ? "env -u NOVA_LOG " : "env 'NOVA_LOG=" + setting + "' ";
    Run r;
    r.status = test::run_command(env + m_player.string() + " --headless --max-ticks 10 --trace '" +
                                     (work / "trace.txt").string() + "' '" + (work / "t").string() + "' 2>&1",
                                 &r.output);
    r.trace = test::read_file(work / "trace.txt");
    r.save = test::read_file(work / "t" / "save.dat");
    return r;
  };
  const Run plain = play("unset");
  ASSERT_EQ(plain.status, 0) << plain.output;
  ASSERT_FALSE(plain.save.empty());
  EXPECT_EQ(plain.output.find("debug]"), std::string::npos) << plain.output;
  for (const std::string setting : {"debug", "trace", "script=trace,files=debug", "loud", "script=nonsense"}) {
    SCOPED_TRACE(setting);
    const Run r = play(setting);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.trace, plain.trace);
    EXPECT_EQ(r.save, plain.save);
    const bool malformed = setting == "loud" || setting == "script=nonsense";
    const std::string complaint = "novaplayer: NOVA_LOG=" + setting + " is not a log setting";
    EXPECT_EQ(r.output.find(complaint) != std::string::npos, malformed) << r.output;
    if (malformed) {
      EXPECT_EQ(r.output.find(complaint), r.output.rfind(complaint)) << "said once";
    }
    if (setting == "debug") {
      EXPECT_NE(r.output.find("[script debug]"), std::string::npos) << r.output;
    }
    if (setting == "trace" || setting == "script=trace,files=debug") {
      EXPECT_NE(r.output.find("[script trace]"), std::string::npos) << r.output;
    }
    if (setting == "script=trace,files=debug") {
      EXPECT_NE(r.output.find("[files info] mounted"), std::string::npos) << r.output;
      EXPECT_EQ(r.output.find("[app debug]"), std::string::npos) << r.output;
    }
  }
  // The authoring tool reads the setting too.
  for (const std::string setting : {"debug", "script=trace,files=debug", "loud"}) {
    std::string out;
    const int status =
        test::run_command("env 'NOVA_LOG=" + setting + "' '" + nova.string() + "' expr '1 + 2' 2>&1", &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("terminate called"), std::string::npos) << out;
    EXPECT_EQ(out.find("nova: NOVA_LOG=loud is not a log setting") != std::string::npos, setting == "loud") << out;
  }
}

}  // namespace
}  // namespace nova::app
