// Kernel services: the instance lock, drives, the well-known folders, the
// executable's own path, behind the System service. These work on the host file system and take and give
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

// The named instance lock: a file locked with fcntl in the runtime folder, so
// that the system releases it even when the process dies.
class InstanceLock {
 public:
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock of that name in `folder` (the runtime folder), or
  // answers nullptr when another process holds it or the lock file cannot
  // be made. A name too long for a file
  // name (over 200 bytes) becomes its first 100 bytes followed by a hash of
  // the whole name, so that deep folders still get a lock of their own.
  static std::unique_ptr<InstanceLock> acquire(std::string_view name, const std::filesystem::path& folder);

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

// Mounted file systems, parsed from the text of /proc/self/mountinfo.
std::vector<MountInfo> parse_mounts(std::string_view mountinfo_text);

// The type of the drive holding `path`: a CD-ROM is a mount of type iso9660
// or udf; a network file system is Remote; tmpfs and ramfs are RamDisk.
DriveType drive_type(const std::filesystem::path& path, const std::vector<MountInfo>& mounts);

// Mount points of the CD-ROM file systems, in mount order.
std::vector<std::filesystem::path> cdrom_roots(const std::vector<MountInfo>& mounts);

// The kernel services the player asks of its host: the well-known folders,
// the executable, the mounts, the interface language and whether a folder
// takes new files. Everything above the platform asks here rather than the
// operating system, so that tests can give another answer (a read-only
// install, another language, a CD-ROM mount) although they run as root on
// an ordinary disk.
class System {
 public:
  virtual ~System() = default;

  // The executable's own file.
  virtual std::filesystem::path executable_path() const = 0;
  // $TMPDIR, else /tmp.
  virtual std::filesystem::path temp_folder() const = 0;
  // $XDG_RUNTIME_DIR when it is a folder, else the temporary folder.
  virtual std::filesystem::path runtime_folder() const = 0;
  // $XDG_DATA_HOME (else ~/.local/share) + "/novaplayer": the per-user data
  // folder, standing where the local application-data folder stands.
  virtual std::filesystem::path user_data_folder() const = 0;
  // $XDG_CONFIG_HOME (else ~/.config) + "/novaplayer".
  virtual std::filesystem::path user_config_folder() const = 0;
  // The user's pictures folder: XDG_PICTURES_DIR as user-dirs.dirs (in the
  // config folder) names it, else ~/Pictures.
  virtual std::filesystem::path pictures_folder() const = 0;
  // The mounted file systems.
  virtual std::vector<MountInfo> mounts() const = 0;
  // The system's user-interface language is Japanese (primary language
  // 0x11): on Linux, LC_MESSAGES (else LANG) begins with "ja".
  virtual bool language_is_japanese() const = 0;
  // Whether a new file can be made in the folder: a test file is created,
  // seen and deleted.
  virtual bool folder_writable(const std::filesystem::path& folder) const = 0;

  DriveType drive_type(const std::filesystem::path& path) const { return platform::drive_type(path, mounts()); }
  std::vector<std::filesystem::path> cdrom_roots() const { return platform::cdrom_roots(mounts()); }
};

// What a configured system answers instead of the host; unset fields ask
// the host.
struct SystemOverrides {
  std::optional<std::filesystem::path> executable;
  std::optional<std::filesystem::path> temp_folder;
  std::optional<std::filesystem::path> runtime_folder;
  std::optional<std::filesystem::path> user_data_folder;
  std::optional<std::filesystem::path> user_config_folder;
  std::optional<std::filesystem::path> pictures_folder;
  // The text of a mount table (in the form of /proc/self/mountinfo).
  std::optional<std::string> mountinfo;
  std::optional<bool> japanese;
  // These folders and everything below them take no new files.
  std::vector<std::filesystem::path> read_only_folders;
};

// The pictures folder named by the text of a user-dirs.dirs file (lines
// XDG_PICTURES_DIR="$HOME/..." or an absolute quoted path; the last one
// counts), else `home`/Pictures.
std::filesystem::path pictures_folder_from_user_dirs(std::string_view text, const std::filesystem::path& home);

// The host's services, with the overrides where they are set.
std::unique_ptr<System> make_system(SystemOverrides overrides = {});

// Keeps the screen saver and power suspend off while an object lives.
class ScreenSaverInhibitor {
 public:
  virtual ~ScreenSaverInhibitor() = default;
};

}  // namespace nova::platform
