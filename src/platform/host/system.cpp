#include "platform/system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace nova::platform {
namespace fs = std::filesystem;

namespace {

fs::path env_path(const char* name) {
  const char* v = std::getenv(name);
  return (v && *v) ? fs::path(v) : fs::path();
}

fs::path home_folder() {
  fs::path h = env_path("HOME");
  return h.empty() ? temp_folder() : h;
}

// FNV-1a, 64 bits: stable across runs and machines, which a lock name needs.
std::uint64_t fnv1a(std::string_view s) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// mountinfo escapes blanks and backslashes in paths as octal (\040).
std::string unescape_mount_path(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3') {
      int v = (s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0');
      out.push_back(static_cast<char>(v));
      i += 3;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

bool is_cd_type(std::string_view t) { return t == "iso9660" || t == "udf"; }

}  // namespace

InstanceLock::~InstanceLock() {
  if (m_fd >= 0) {
    // Closing the descriptor releases the fcntl lock. The file stays: removing
    // it would race with a process that opened it and waits to lock it.
    ::close(m_fd);
  }
}

std::string InstanceLock::file_name_for(std::string_view name) {
  std::string base;
  if (name.size() > 200) {
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a(name)));
    base = std::string(name.substr(0, 100)) + "#" + hash;
  } else {
    base = std::string(name);
  }
  // A "/" cannot be part of a file name; the lock-name rule has already
  // replaced the path delimiters, so this only guards odd input.
  for (char& c : base) {
    if (c == '/' || c == '\0') c = '_';
  }
  return "novaplayer-lock" + base;
}

std::unique_ptr<InstanceLock> InstanceLock::acquire(std::string_view name) {
  fs::path path = runtime_folder() / file_name_for(name);
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  if (::fcntl(fd, F_SETLK, &fl) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<InstanceLock>(new InstanceLock(fd, std::move(path)));
}

std::vector<MountInfo> read_mounts(std::optional<std::string_view> mountinfo_text) {
  std::string text;
  if (mountinfo_text) {
    text = *mountinfo_text;
  } else {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream ss;
    ss << in.rdbuf();
    text = ss.str();
  }
  std::vector<MountInfo> mounts;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::istringstream f(line);
    std::vector<std::string> fields;
    std::string w;
    while (f >> w) fields.push_back(w);
    if (fields.size() < 7) continue;
    std::size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-") ++dash;
    if (dash + 2 >= fields.size()) continue;
    MountInfo m;
    m.mount_point = unescape_mount_path(fields[4]);
    m.fs_type = fields[dash + 1];
    m.device = unescape_mount_path(fields[dash + 2]);
    mounts.push_back(std::move(m));
  }
  return mounts;
}

DriveType drive_type(const fs::path& path, const std::vector<MountInfo>& mounts) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(path, ec);
  if (ec) p = path;
  if (!fs::exists(p, ec)) return DriveType::NoRoot;
  // The mount whose mount point is the longest prefix of the path; later
  // mounts over the same point hide earlier ones.
  const MountInfo* best = nullptr;
  std::size_t best_len = 0;
  std::string ps = p.string();
  for (const auto& m : mounts) {
    std::string mp = m.mount_point.string();
    bool prefix =
        ps == mp || mp == "/" || (ps.size() > mp.size() && ps.compare(0, mp.size(), mp) == 0 && ps[mp.size()] == '/');
    if (prefix && mp.size() >= best_len) {
      best = &m;
      best_len = mp.size();
    }
  }
  if (!best) return DriveType::Unknown;
  const std::string& t = best->fs_type;
  if (is_cd_type(t)) return DriveType::CdRom;
  if (t == "nfs" || t == "nfs4" || t == "cifs" || t == "smb3" || t == "smbfs" || t == "sshfs" || t == "fuse.sshfs" ||
      t == "9p") {
    return DriveType::Remote;
  }
  if (t == "tmpfs" || t == "ramfs") return DriveType::RamDisk;
  if (t == "vfat" || t == "exfat") {
    // Memory sticks usually carry these; fixed disks rarely do.
    return DriveType::Removable;
  }
  return DriveType::Fixed;
}

DriveType drive_type(const fs::path& path) { return drive_type(path, read_mounts()); }

std::vector<fs::path> cdrom_roots(const std::vector<MountInfo>& mounts) {
  std::vector<fs::path> roots;
  for (const auto& m : mounts) {
    if (is_cd_type(m.fs_type)) roots.push_back(m.mount_point);
  }
  return roots;
}

std::vector<fs::path> cdrom_roots() { return cdrom_roots(read_mounts()); }

fs::path executable_path() {
  std::error_code ec;
  fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : p;
}

fs::path executable_folder() { return executable_path().parent_path(); }

fs::path temp_folder() {
  fs::path t = env_path("TMPDIR");
  return t.empty() ? fs::path("/tmp") : t;
}

fs::path runtime_folder() {
  fs::path r = env_path("XDG_RUNTIME_DIR");
  std::error_code ec;
  if (!r.empty() && fs::is_directory(r, ec)) return r;
  return temp_folder();
}

fs::path user_data_folder() {
  fs::path d = env_path("XDG_DATA_HOME");
  if (d.empty()) d = home_folder() / ".local" / "share";
  return d / "novaplayer";
}

fs::path user_config_folder() {
  fs::path d = env_path("XDG_CONFIG_HOME");
  if (d.empty()) d = home_folder() / ".config";
  return d / "novaplayer";
}

bool system_language_is_japanese() {
  // The user-interface language is the messages locale, else LANG.
  for (const char* name : {"LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) return std::strncmp(v, "ja", 2) == 0;
  }
  return false;
}

}  // namespace nova::platform
