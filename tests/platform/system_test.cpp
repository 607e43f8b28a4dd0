#include "platform/system.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/ini_file.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace nova::platform {
namespace {

// Runs `fn` in a child process and answers its exit status.
template <typename Fn>
int in_child(Fn fn) {
  pid_t pid = fork();
  if (pid == 0) _exit(fn());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class InstanceLockTest : public ::testing::Test {
 protected:
  const std::filesystem::path& dir() const { return m_dir.path(); }
  test::TempDir m_dir;
};

TEST_F(InstanceLockTest, SecondProcessCannotTakeAHeldLock) {
  auto lock = InstanceLock::acquire("-GAMES-TITLE-", dir());
  ASSERT_TRUE(lock);
  EXPECT_EQ(lock->path().parent_path(), m_dir.path());
  // fcntl locks are per process: another process must be refused, while a
  // different name is free.
  EXPECT_EQ(in_child([this] { return InstanceLock::acquire("-GAMES-TITLE-", dir()) ? 0 : 1; }), 1);
  EXPECT_EQ(in_child([this] { return InstanceLock::acquire("-GAMES-OTHER-", dir()) ? 0 : 1; }), 0);
  lock.reset();
  EXPECT_EQ(in_child([this] { return InstanceLock::acquire("-GAMES-TITLE-", dir()) ? 0 : 1; }), 0);
}

TEST_F(InstanceLockTest, LockDiesWithItsProcess) {
  // A child takes the lock and is killed while holding it.
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  pid_t pid = fork();
  if (pid == 0) {
    auto lock = InstanceLock::acquire("-DYING-", dir());
    char ok = lock ? 1 : 0;
    if (write(pipefd[1], &ok, 1) != 1) _exit(2);
    pause();
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(pipefd[0], &ok, 1), 1);
  ASSERT_EQ(ok, 1);
  EXPECT_FALSE(InstanceLock::acquire("-DYING-", dir()));
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  EXPECT_TRUE(InstanceLock::acquire("-DYING-", dir()));
  close(pipefd[0]);
  close(pipefd[1]);
}

TEST_F(InstanceLockTest, LongNamesBecomeAPrefixAndAHash) {
  std::string deep(300, 'A');
  std::string other = deep;
  other.back() = 'B';
  std::string a = InstanceLock::file_name_for(deep), b = InstanceLock::file_name_for(other);
  EXPECT_NE(a, b);
  EXPECT_LT(a.size(), 160u);
  EXPECT_NE(a.find(std::string(100, 'A')), std::string::npos);
  auto lock = InstanceLock::acquire(deep, dir());
  ASSERT_TRUE(lock);
  EXPECT_EQ(in_child([&, this] { return InstanceLock::acquire(deep, dir()) ? 0 : 1; }), 1);
  EXPECT_EQ(in_child([&, this] { return InstanceLock::acquire(other, dir()) ? 0 : 1; }), 0);
  // A name of exactly 200 bytes is kept whole.
  EXPECT_NE(InstanceLock::file_name_for(std::string(200, 'C')).find(std::string(200, 'C')), std::string::npos);
}

TEST(Drives, MountTableGivesDriveTypesAndCdRoots) {
  test::TempDir dir;
  std::filesystem::create_directories(dir / "cd" / "data");
  std::filesystem::create_directories(dir / "net");
  std::string root = dir.path().string();
  std::string info =
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "30 22 11:0 / " +
      root +
      "/cd ro,relatime - iso9660 /dev/sr0 ro\n"
      "31 22 0:50 / " +
      root +
      "/net rw - nfs4 server:/export rw\n"
      "32 22 0:51 / /mnt/My\\040Disc ro - udf /dev/sr1 ro\n"
      "garbage line\n";
  auto mounts = parse_mounts(info);
  ASSERT_EQ(mounts.size(), 4u);
  EXPECT_EQ(mounts[3].mount_point, "/mnt/My Disc");
  EXPECT_EQ(drive_type(dir / "cd" / "data", mounts), DriveType::CdRom);
  EXPECT_EQ(drive_type(dir / "cd", mounts), DriveType::CdRom);
  EXPECT_EQ(drive_type(dir / "net", mounts), DriveType::Remote);
  EXPECT_EQ(drive_type(dir.path(), mounts), DriveType::Fixed);
  EXPECT_EQ(drive_type(dir / "missing", mounts), DriveType::NoRoot);
  auto roots = cdrom_roots(mounts);
  ASSERT_EQ(roots.size(), 2u);
  EXPECT_EQ(roots[0], dir / "cd");
  EXPECT_EQ(roots[1], "/mnt/My Disc");
  // The host's table reads and has a root mount.
  EXPECT_FALSE(make_system()->mounts().empty());
}

TEST(SystemService, AnswersTheHostUnlessOverridden) {
  test::TempDir dir;
  setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  auto host = make_system();
  EXPECT_EQ(host->user_data_folder(), dir / "data" / "novaplayer");
  EXPECT_EQ(host->user_config_folder(), dir / "config" / "novaplayer");
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(host->user_data_folder().filename(), "novaplayer");
  EXPECT_EQ(host->executable_path().filename(), "platform_tests");
  setenv("LANG", "ja_JP.UTF-8", 1);
  unsetenv("LC_MESSAGES");
  EXPECT_TRUE(host->language_is_japanese());
  setenv("LC_MESSAGES", "en_US.UTF-8", 1);
  EXPECT_FALSE(host->language_is_japanese());
  setenv("LANG", "C", 1);
  setenv("LC_MESSAGES", "ja_JP.eucJP", 1);
  EXPECT_TRUE(host->language_is_japanese());
  unsetenv("LC_MESSAGES");

  // Overrides answer instead of the host: a test can make an install
  // read-only although it runs as root, or speak another language.
  std::filesystem::create_directories(dir / "install" / "sub");
  EXPECT_TRUE(host->folder_writable(dir / "install" / "sub"));
  SystemOverrides o;
  o.executable = dir / "install" / "player";
  o.temp_folder = dir / "tmp";
  o.runtime_folder = dir / "run";
  o.user_data_folder = dir / "d";
  o.user_config_folder = dir / "c";
  o.japanese = false;
  o.read_only_folders = {dir / "install"};
  o.mountinfo =
      "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n30 22 11:0 / " + (dir / "install").string() + " ro - iso9660 /dev/sr0 ro\n";
  auto configured = make_system(o);
  EXPECT_EQ(configured->executable_path(), dir / "install" / "player");
  EXPECT_EQ(configured->temp_folder(), dir / "tmp");
  EXPECT_EQ(configured->runtime_folder(), dir / "run");
  EXPECT_EQ(configured->user_data_folder(), dir / "d");
  EXPECT_EQ(configured->user_config_folder(), dir / "c");
  setenv("LANG", "ja_JP.UTF-8", 1);
  EXPECT_FALSE(configured->language_is_japanese());
  setenv("LANG", "C", 1);
  EXPECT_FALSE(configured->folder_writable(dir / "install"));
  EXPECT_FALSE(configured->folder_writable(dir / "install" / "sub"));
  EXPECT_TRUE(configured->folder_writable(dir.path()));
  EXPECT_EQ(configured->drive_type(dir / "install" / "sub"), DriveType::CdRom);
  ASSERT_EQ(configured->cdrom_roots().size(), 1u);
  // The probe leaves nothing behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "install" / "sub"),
                          std::filesystem::directory_iterator()),
            0);
  // A folder that does not exist takes no file.
  EXPECT_FALSE(host->folder_writable(dir / "missing"));
}

TEST(IniFileTest, ReadsAndWritesTheSystemsIniFiles) {
  IniFile ini = IniFile::parse(
      "[Sound]\r\nDirectSound=0\r\nDelayTime = 250 \r\n; comment\r\n[video]\nUseWMP=1\nHex=$1F\nBad=12x\n");
  EXPECT_FALSE(ini.read_bool("sound", "directsound", true));
  EXPECT_EQ(ini.read_int("SOUND", "DelayTime", 500), 250);
  EXPECT_TRUE(ini.read_bool("Video", "UseWMP", false));
  EXPECT_EQ(ini.read_int("Video", "Hex", 0), 31);
  EXPECT_EQ(ini.read_int("Video", "Bad", 7), 7);
  EXPECT_EQ(ini.read_int("Video", "Missing", 9), 9);
  EXPECT_EQ(IniFile::parse_int("-150"), std::optional<int>(-150));
  EXPECT_EQ(IniFile::parse_int("0xFFFFFFFF"), std::optional<int>(-1));
  EXPECT_EQ(IniFile::parse_int("99999999999"), std::nullopt);

  test::TempDir dir;
  ini.write_int("Sound", "DelayTime", 200);
  ini.write("New", "Key", "v");
  ASSERT_TRUE(ini.save(dir / "game.ini"));
  IniFile back(dir / "game.ini");
  EXPECT_EQ(back.read_int("Sound", "DelayTime", 0), 200);
  EXPECT_EQ(back.read_string("New", "key", ""), "v");
  EXPECT_EQ(back.sections().size(), 3u);
  // An unwritable place leaves nothing behind and says so.
  EXPECT_FALSE(ini.save(dir / "no" / "such" / "folder" / "x.ini"));
}

TEST(RegistryTest, KeepsValuesPerKeyPath) {
  test::TempDir dir;
  Registry reg(dir / "sub" / "registry.ini");
  EXPECT_FALSE(reg.read_string("Software\\Title", "CDDrive"));
  ASSERT_TRUE(reg.write_string("Software\\Title", "CDDrive", "E"));
  ASSERT_TRUE(reg.write_string("Software\\Other", "CDDrive", "F:"));
  Registry again(dir / "sub" / "registry.ini");
  EXPECT_EQ(again.read_string("software\\title", "cddrive"), std::optional<std::string>("E"));
  EXPECT_EQ(again.read_string("Software\\Other", "CDDrive"), std::optional<std::string>("F:"));
}

}  // namespace
}  // namespace nova::platform

namespace nova::platform {
namespace {

TEST(PicturesFolder, FromTheUsersFoldersFileElseHomePictures) {
  const std::filesystem::path home = "/home/someone";
  EXPECT_EQ(pictures_folder_from_user_dirs("# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                           "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n",
                                           home),
            home / "Bilder");
  EXPECT_EQ(pictures_folder_from_user_dirs("XDG_PICTURES_DIR=\"/srv/pics\"\r\n", home), "/srv/pics");
  EXPECT_EQ(pictures_folder_from_user_dirs("XDG_PICTURES_DIR=\"$HOME\"\n", home), home);
  // Forms the file never has are passed over.
  EXPECT_EQ(pictures_folder_from_user_dirs("XDG_PICTURES_DIR=$HOME/x\nXDG_PICTURES_DIR=\"rel\"\n", home),
            home / "Pictures");
  EXPECT_EQ(pictures_folder_from_user_dirs("XDG_PICTURES_DIR=\"$HOMEX/y\"\n", home), home / "Pictures");
  EXPECT_EQ(pictures_folder_from_user_dirs("", home), home / "Pictures");
}

}  // namespace
}  // namespace nova::platform
