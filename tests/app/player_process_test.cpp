// The player executable end to end: each test copies it into a folder of
// its own, so "game.ini" and the data beside it are the test's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "png_size.h"
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

using testing::png_size;

TEST_F(PlayerProcess, ThePlayersDisplayOptionsAndKeys) {
  write_waiting_title(m_dir / "title");
  const fs::path home = m_dir / "home";
  fs::create_directories(home / "config");
  test::write_file(home / "config" / "user-dirs.dirs", "# written by the desktop\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  const std::string env =
      "NOVA_LOG=app=info HOME=" + home.string() + " XDG_CONFIG_HOME=" + (home / "config").string() + " ";
  // Every option documented by --help is run here or in the tests beside.
  int status = -1;
  const std::string help = run("--help", &status);
  for (const char* option : {"--scale", "--filter", "--window-scale", "--window-size", "--window-shot",
                             "--desktop-scale", "--key-full-screen", "--key-screenshot", "--save-settings"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
  // The window's size in points, a 2× desktop, the title's screenshot and
  // the window's real pixels; 1:1 without a filter.
  test::write_file(m_dir / "input.txt", "3 key F2 down\n6 key F3 down\n9 key RETURN down alt\n");
  std::string out;
  status = test::run_command(
      env + m_player.string() + " --headless --max-ticks 12 --window-size 700x530 " +
          "--desktop-scale 2 --scale none --filter linear --key-full-screen F2 " + "--key-screenshot F3 --input " +
          (m_dir / "input.txt").string() + " --screenshot 1:" + (m_dir / "title.png").string() +
          " --window-shot 1:" + (m_dir / "window.png").string() + " --window-shot 5:" + (m_dir / "full.png").string() +
          " " + (m_dir / "title").string() + " 2>&1",
      &out);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(png_size(test::read_file(m_dir / "title.png")), std::make_pair(640, 480));
  EXPECT_EQ(png_size(test::read_file(m_dir / "window.png")), std::make_pair(1400, 1060));
  EXPECT_EQ(png_size(test::read_file(m_dir / "full.png")), std::make_pair(3840, 2160));
  EXPECT_NE(out.find("window: the window is 700x530 points (1400x1060 pixels), the picture 640x480 at 380,312"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("full screen: the window is 1920x1080 points (3840x2160 pixels)"), std::string::npos) << out;
  const fs::path shot = home / "Bilder" / "NovaPlayer" / "wait-20000101-000000.png";
  EXPECT_NE(out.find("screenshot written to " + shot.string()), std::string::npos) << out;
  EXPECT_EQ(png_size(test::read_file(shot)), std::make_pair(640, 480));
  // Alt+Return was moved away: it stays the title's, full screen stays on.
  EXPECT_EQ(out.find("window: the window is", out.find("full screen:")), std::string::npos) << out;

  // --window-scale, and --save-settings storing the options in player.ini
  // beside the user's own keys.
  test::write_file(home / "config" / "novaplayer" / "player.ini", "[mine]\nkeep = this\n");
  status = test::run_command(env + m_player.string() +
                                 " --save-settings --scale integer --filter nearest --window-scale 1 "
                                 "--key-screenshot none 2>&1",
                             &out);
  EXPECT_EQ(status, 0) << out;
  const std::string ini = test::read_file(home / "config" / "novaplayer" / "player.ini");
  EXPECT_NE(ini.find("keep=this"), std::string::npos) << ini;
  EXPECT_NE(ini.find("scale=integer"), std::string::npos) << ini;
  EXPECT_NE(ini.find("screenshot=none"), std::string::npos) << ini;
  EXPECT_NE(ini.find("full-screen=Alt+Return, F11"), std::string::npos) << ini;
  status = test::run_command(
      env + m_player.string() + " --headless --max-ticks 3 " + (m_dir / "title").string() + " 2>&1", &out);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("window: the window is 640x502 points (640x502 pixels), the picture 640x480 at 0,22"),
            std::string::npos)
      << out;
  // Bad values are refused with the option's name.
  for (const char* bad : {"--scale zoom", "--filter sharp", "--window-scale 99", "--window-size 0x5",
                          "--desktop-scale 0", "--key-full-screen Hyper+X", "--window-shot nothing"}) {
    const std::string said = run(std::string(bad) + " --headless", &status);
    EXPECT_EQ(status, 2) << bad;
    EXPECT_NE(said.find(std::string(bad).substr(0, std::string(bad).find(' '))), std::string::npos) << said;
  }
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

namespace nova::app {
namespace {

// A title that runs until it is closed, and whose exit page stores a status
// variable; built with nova into `out`.
void build_closing_title(const fs::path& work, const fs::path& out, const std::string& exit_page) {
  test::write_file(work / "src" / "project.nvp", "title: close\nstart: start.nsb\nexit: exit.nsb\n");
  test::write_file(work / "src" / "start.nvs", "VarNew status int started = 1\nWait\n");
  test::write_file(work / "src" / "exit.nvs", exit_page);
  std::string log;
  ASSERT_EQ(test::run_command("'" + (test::binary_dir() / "tools" / "nova").string() + "' build '" +
                                  (work / "src").string() + "' '" + out.string() + "' 2>&1",
                              &log),
            0)
      << log;
}

// Starts the player in the background with TMPDIR in the test's folder;
// answers its process id.
pid_t start_player(const fs::path& player, const fs::path& tmp, const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("TMPDIR", tmp.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>("novaplayer")};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int devnull = ::open("/dev/null", O_WRONLY);
    dup2(devnull, 2);
    execv(player.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

TEST_F(PlayerProcess, ASignalClosesTheHeadlessPlayerInOrderAndASecondEndsItAtOnce) {
  fs::create_directories(m_dir / "tmp");
  build_closing_title(m_dir.path(), m_dir / "t", "VarNew status int closed = 1\n");
  const fs::path trace = m_dir / "trace.txt";
  pid_t pid =
      start_player(m_player, m_dir / "tmp",
                   {"--headless", "--max-ticks", "100000000", "--trace", trace.string(), (m_dir / "t").string()});
  ASSERT_TRUE(test::eventually([&] { return test::read_file(trace).find("start.nsb(2)") != std::string::npos; }));
  kill(pid, SIGTERM);
  int status = -1;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "closed, not killed";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::string saved;
  test::run_command(
      "'" + (test::binary_dir() / "tools" / "nova").string() + "' dump '" + (m_dir / "t" / "save.dat").string() + "'",
      &saved);
  EXPECT_NE(saved.find("status int closed = 1"), std::string::npos) << "the exit page ran and the status was saved\n"
                                                                    << saved;
  EXPECT_TRUE(fs::is_empty(m_dir / "tmp")) << "no work folder is left";

  // An exit page that takes long: the second signal ends the player there.
  build_closing_title(m_dir / "slow", m_dir / "slow-t",
                      "VarNew status int n = 0\nWhile n >= 0\n  Calc n = n + 1\nWhileLoop\n");
  const fs::path trace2 = m_dir / "trace2.txt";
  pid =
      start_player(m_player, m_dir / "tmp",
                   {"--headless", "--max-ticks", "100000000", "--trace", trace2.string(), (m_dir / "slow-t").string()});
  ASSERT_TRUE(test::eventually([&] { return test::read_file(trace2).find("start.nsb(2)") != std::string::npos; }));
  kill(pid, SIGTERM);
  ASSERT_TRUE(test::eventually([&] { return test::read_file(trace2).find("exit.nsb(") != std::string::npos; }));
  kill(pid, SIGTERM);
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
}

TEST_F(PlayerProcess, WorkFoldersOfKilledPlayersGoAtTheNextStart) {
  const fs::path tmp = m_dir / "tmp";
  fs::create_directories(tmp);
  write_waiting_title(m_dir / "title");
  // A killed player's folder: a lock file nobody holds.
  fs::create_directories(tmp / "novaplayer-dead01");
  test::write_file(tmp / "novaplayer-dead01" / ".lock", "");
  test::write_file(tmp / "novaplayer-dead01" / "~nv00000001.ogg", "work file");
  // A live player's: its lock is held by another process.
  fs::create_directories(tmp / "novaplayer-live01");
  test::write_file(tmp / "novaplayer-live01" / ".lock", "");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    const int fd = ::open((tmp / "novaplayer-live01" / ".lock").c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    const char ok = (fd >= 0 && fcntl(fd, F_SETLK, &fl) == 0) ? 1 : 0;
    if (write(ready[1], &ok, 1) != 1) _exit(2);
    pause();
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 1);
  // What must never be touched: another user's folder, a link, another name,
  // a folder without a lock file.
  fs::create_directories(tmp / "novaplayer-other1");
  test::write_file(tmp / "novaplayer-other1" / ".lock", "");
  ASSERT_EQ(chown((tmp / "novaplayer-other1").c_str(), 65534, 65534), 0);
  fs::create_directories(m_dir / "elsewhere");
  test::write_file(m_dir / "elsewhere" / ".lock", "");
  fs::create_directory_symlink(m_dir / "elsewhere", tmp / "novaplayer-link01");
  fs::create_directories(tmp / "novaplayer-x");
  test::write_file(tmp / "novaplayer-x" / ".lock", "");
  fs::create_directories(tmp / "novaplayer-nolock");

  const pid_t pid = start_player(m_player, tmp, {"--headless", "--max-ticks", "3", (m_dir / "title").string()});
  int status = -1;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(fs::exists(tmp / "novaplayer-dead01"));
  EXPECT_TRUE(fs::exists(tmp / "novaplayer-live01" / ".lock"));
  EXPECT_TRUE(fs::exists(tmp / "novaplayer-other1" / ".lock"));
  EXPECT_TRUE(fs::is_symlink(tmp / "novaplayer-link01"));
  EXPECT_TRUE(fs::exists(m_dir / "elsewhere" / ".lock"));
  EXPECT_TRUE(fs::exists(tmp / "novaplayer-x"));
  EXPECT_TRUE(fs::exists(tmp / "novaplayer-nolock"));
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
}

TEST_F(PlayerProcess, ADamagedArchiveEndsWithAWarning) {
  write_waiting_title(m_dir / "title");
  test::write_file(m_dir / "title" / "game.dat", std::string("vf") + std::string(64, '\x7f'));
  int status = -1;
  const std::string out = run("--headless --max-ticks 5 " + (m_dir / "title").string(), &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("[message box] 警告:"), std::string::npos) << out;
}

}  // namespace
}  // namespace nova::app
