#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "platform/fd_io.h"

namespace nova::platform {
namespace {

#ifdef NOVA_TEST_HOOKS
std::mutex g_fault_mutex;
std::function<int(const std::filesystem::path&)> g_fault;

int injected_fault(const std::filesystem::path& path) {
  std::lock_guard lock(g_fault_mutex);
  return g_fault ? g_fault(path) : 0;
}
#else
int injected_fault(const std::filesystem::path&) { return 0; }
#endif

// A rename is only durable once the folder that holds the names is flushed.
void sync_folder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

#ifdef NOVA_TEST_HOOKS
void set_atomic_write_fault(std::function<int(const std::filesystem::path&)> fault) {
  std::lock_guard lock(g_fault_mutex);
  g_fault = std::move(fault);
}
#endif

int write_file_atomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, unsigned mode) {
  std::string name = path.string();
  name += kAtomicTempSuffix;
  name += "XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return errno;
  auto fail = [&](int err) {
    ::close(fd);
    ::unlink(name.c_str());
    return err;
  };
  if (!write_all(fd, bytes)) return fail(errno);
  if (const int fault = injected_fault(path)) return fail(fault);
  // mkstemp makes the file private; the file gets the permissions asked for.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, static_cast<mode_t>(mode) & ~mask);
  if (::fsync(fd) != 0) return fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(name.c_str());
    return err;
  }
  if (::rename(name.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(name.c_str());
    return err;
  }
  sync_folder(path.parent_path());
  return 0;
}

int write_file_atomically(const std::filesystem::path& path, std::string_view bytes, unsigned mode) {
  return write_file_atomically(
      path, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), mode);
}

}  // namespace nova::platform
