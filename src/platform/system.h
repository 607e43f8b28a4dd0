// Kernel services: the instance lock, drives, the well-known folders, the
// executable's own path. These work on the host file system and take and give
// UTF-8 host paths (std::filesystem::path), never Shift-JIS.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nova::platform {

enum class DriveType : std::uint8_t { Unknown, NoRoot, Removable, Fixed, Remote, CdRom, RamDisk };

// The named instance lock: a file locked with fcntl in the runtime folder
// ($XDG_RUNTIME_DIR, else the temporary folder), so that the system releases
// it even when the process dies.
class InstanceLock {
 public:
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock of that name, or answers nullptr when another process
  // holds it or the lock file cannot be made. A name too long for a file
  // name (over 200 bytes) becomes its first 100 bytes followed by a hash of
  // the whole name, so that deep folders still get a lock of their own.
  static std::unique_ptr<InstanceLock> acquire(std::string_view name);

  // The file name the lock of `name` uses (without folder).
  static std::string file_name_for(std::string_view name);

  const std::filesystem::path& path() const { return m_path; }

 private:
  InstanceLock(int fd, std::filesystem::path path) : m_fd(fd), m_path(std::move(path)) {}
  int m_fd;
  std::filesystem::path m_path;
};

struct MountInfo {
  std::filesystem::path mount_point;
  std::string fs_type;
  std::string device;
};

// Mounted file systems, from /proc/self/mountinfo (or `mountinfo_text` when
// given, for tests).
std::vector<MountInfo> read_mounts(std::optional<std::string_view> mountinfo_text = std::nullopt);

// The type of the drive holding `path`: a CD-ROM is a mount of type iso9660
// or udf; a network file system is Remote; tmpfs and ramfs are RamDisk.
DriveType drive_type(const std::filesystem::path& path, const std::vector<MountInfo>& mounts);
DriveType drive_type(const std::filesystem::path& path);

// Mount points of the CD-ROM file systems, in mount order.
std::vector<std::filesystem::path> cdrom_roots(const std::vector<MountInfo>& mounts);
std::vector<std::filesystem::path> cdrom_roots();

// The executable's own file and folder.
std::filesystem::path executable_path();
std::filesystem::path executable_folder();

// $TMPDIR, else /tmp.
std::filesystem::path temp_folder();
// $XDG_RUNTIME_DIR, else the temporary folder.
std::filesystem::path runtime_folder();
// $XDG_DATA_HOME (else ~/.local/share) + "/novaplayer": the per-user data
// folder, standing where the local application-data folder stands.
std::filesystem::path user_data_folder();
// $XDG_CONFIG_HOME (else ~/.config) + "/novaplayer".
std::filesystem::path user_config_folder();

// The system's user-interface language is Japanese (primary language 0x11):
// on Linux, LC_MESSAGES (else LANG) begins with "ja".
bool system_language_is_japanese();

// Keeps the screen saver and power suspend off while an object lives.
class ScreenSaverInhibitor {
 public:
  virtual ~ScreenSaverInhibitor() = default;
};

}  // namespace nova::platform
