#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

extern char** environ;

namespace nova::platform {

namespace {

constexpr std::size_t kMaxOutput = 1 << 20;

// Children started without waiting, reaped at the next start.
std::mutex g_children_mutex;
std::vector<pid_t> g_children;

void reap_children() {
  std::lock_guard lock(g_children_mutex);
  std::erase_if(g_children, [](pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) != 0;
  });
}

std::vector<char*> argv_of(const std::vector<std::string>& argv) {
  std::vector<char*> out;
  for (const std::string& a : argv) out.push_back(const_cast<char*>(a.c_str()));
  out.push_back(nullptr);
  return out;
}

}  // namespace

bool program_on_path(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (!path || name.empty() || name.find('/') != std::string_view::npos) return false;
  std::string_view rest(path);
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    std::string dir(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (dir.empty()) continue;
    const std::string file = dir + "/" + std::string(name);
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0) return true;
  }
  return false;
}

bool start_program(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  reap_children();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  auto args = argv_of(argv);
  const int err = ::posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return false;
  std::lock_guard lock(g_children_mutex);
  g_children.push_back(pid);
  return true;
}

std::optional<ProgramResult> run_program(const std::vector<std::string>& argv, const std::function<bool()>& idle) {
  if (argv.empty()) return std::nullopt;
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  pid_t pid = 0;
  auto args = argv_of(argv);
  const int err = ::posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (err != 0) {
    ::close(pipe_fds[0]);
    return std::nullopt;
  }
  ProgramResult result;
  bool open = true, cancelled = false;
  char buf[4096];
  while (open) {
    pollfd p{pipe_fds[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, 50);
    if (ready > 0) {
      const ssize_t n = ::read(pipe_fds[0], buf, sizeof buf);
      if (n > 0) {
        if (result.output.size() < kMaxOutput) result.output.append(buf, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        open = false;
      }
    } else if (idle && idle()) {
      cancelled = true;
      ::kill(pid, SIGTERM);
      open = false;
    }
  }
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (cancelled) return std::nullopt;
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace nova::platform
