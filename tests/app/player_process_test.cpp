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
  auto start = std::chrono::steady_clock::now();
  std::string out = run("--headless --max-ticks 50 " + (m_dir / "title").string(), &status);
  // No project: the fatal message, and a headless player says so by its status.
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("プロジェクトがありません"), std::string::npos) << out;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
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
  bool locked = false;
  for (int i = 0; i < 200 && !locked; ++i) {
    for (const auto& e : fs::directory_iterator(m_dir.path())) {
      if (e.path().filename().string().rfind("novaplayer-lock", 0) == 0) locked = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ASSERT_TRUE(locked);
  for (const std::string& arg : {folder, folder + "/"}) {
    int status = -1;
    auto start = std::chrono::steady_clock::now();
    std::string out = run("--headless --max-ticks 100000000 " + arg, &status);
    EXPECT_EQ(status, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << arg;
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
