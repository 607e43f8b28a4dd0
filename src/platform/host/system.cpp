#include "platform/system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

fs::path host_temp_folder() {
  fs::path t = env_path("TMPDIR");
  return t.empty() ? fs::path("/tmp") : t;
}

fs::path home_folder() {
  fs::path h = env_path("HOME");
  return h.empty() ? host_temp_folder() : h;
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

std::unique_ptr<InstanceLock> InstanceLock::acquire(std::string_view name, const fs::path& folder) {
  fs::path path = folder / file_name_for(name);
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

std::vector<MountInfo> parse_mounts(std::string_view text) {
  std::vector<MountInfo> mounts;
  std::istringstream lines{std::string(text)};
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

std::vector<fs::path> cdrom_roots(const std::vector<MountInfo>& mounts) {
  std::vector<fs::path> roots;
  for (const auto& m : mounts) {
    if (is_cd_type(m.fs_type)) roots.push_back(m.mount_point);
  }
  return roots;
}

fs::path pictures_folder_from_user_dirs(std::string_view text, const fs::path& home) {
  fs::path found;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    constexpr std::string_view key = "XDG_PICTURES_DIR=";
    if (line.substr(0, key.size()) != key) continue;
    std::string_view value = line.substr(key.size());
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.remove_suffix(1);
    // The file's own form: a quoted "$HOME/..." or absolute path.
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') continue;
    value = value.substr(1, value.size() - 2);
    constexpr std::string_view home_var = "$HOME";
    if (value.substr(0, home_var.size()) == home_var &&
        (value.size() == home_var.size() || value[home_var.size()] == '/')) {
      std::string_view rest = value.substr(home_var.size());
      while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
      found = rest.empty() ? home : home / fs::path(std::string(rest));
    } else if (!value.empty() && value.front() == '/') {
      found = fs::path(std::string(value));
    }
  }
  return found.empty() ? home / "Pictures" : found;
}

namespace {

fs::path host_executable_path() {
  std::error_code ec;
  fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : p;
}

fs::path host_runtime_folder() {
  fs::path r = env_path("XDG_RUNTIME_DIR");
  std::error_code ec;
  if (!r.empty() && fs::is_directory(r, ec)) return r;
  return host_temp_folder();
}

fs::path host_user_data_folder() {
  fs::path d = env_path("XDG_DATA_HOME");
  if (d.empty()) d = home_folder() / ".local" / "share";
  return d / "novaplayer";
}

fs::path host_user_config_folder() {
  fs::path d = env_path("XDG_CONFIG_HOME");
  if (d.empty()) d = home_folder() / ".config";
  return d / "novaplayer";
}

fs::path host_pictures_folder() {
  fs::path config = env_path("XDG_CONFIG_HOME");
  if (config.empty()) config = home_folder() / ".config";
  std::ifstream in(config / "user-dirs.dirs", std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return pictures_folder_from_user_dirs(ss.str(), home_folder());
}

bool host_language_is_japanese() {
  // The user-interface language is the messages locale, else LANG.
  for (const char* name : {"LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) return std::strncmp(v, "ja", 2) == 0;
  }
  return false;
}

std::string host_mountinfo() {
  std::ifstream in("/proc/self/mountinfo");
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Whether a file can be made in the folder: create a test file of a fresh
// name, see that it is there, and delete it.
bool can_create_file_in(const fs::path& folder) {
  std::string test = (folder / ".novaplayer-write-XXXXXX").string();
  const int fd = ::mkstemp(test.data());
  if (fd < 0) return false;
  ::close(fd);
  std::error_code ec;
  const bool ok = fs::is_regular_file(test, ec);
  ::unlink(test.c_str());
  return ok;
}

bool lies_in(const fs::path& path, const fs::path& folder) {
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec).lexically_normal();
  const fs::path f = fs::weakly_canonical(fs::absolute(folder, ec), ec).lexically_normal();
  auto mismatch = std::mismatch(f.begin(), f.end(), p.begin(), p.end());
  return mismatch.first == f.end() || (std::next(mismatch.first) == f.end() && mismatch.first->empty());
}

class HostSystem final : public System {
 public:
  explicit HostSystem(SystemOverrides o) : m_o(std::move(o)) {}

  fs::path executable_path() const override { return m_o.executable.value_or(host_executable_path()); }
  fs::path temp_folder() const override { return m_o.temp_folder.value_or(host_temp_folder()); }
  fs::path runtime_folder() const override { return m_o.runtime_folder.value_or(host_runtime_folder()); }
  fs::path user_data_folder() const override { return m_o.user_data_folder.value_or(host_user_data_folder()); }
  fs::path user_config_folder() const override { return m_o.user_config_folder.value_or(host_user_config_folder()); }
  fs::path pictures_folder() const override { return m_o.pictures_folder.value_or(host_pictures_folder()); }
  std::vector<MountInfo> mounts() const override { return parse_mounts(m_o.mountinfo.value_or(host_mountinfo())); }
  bool language_is_japanese() const override { return m_o.japanese.value_or(host_language_is_japanese()); }
  bool folder_writable(const fs::path& folder) const override {
    for (const fs::path& ro : m_o.read_only_folders) {
      if (lies_in(folder, ro)) return false;
    }
    return can_create_file_in(folder);
  }

 private:
  SystemOverrides m_o;
};

}  // namespace

std::unique_ptr<System> make_system(SystemOverrides overrides) {
  return std::make_unique<HostSystem>(std::move(overrides));
}

}  // namespace nova::platform
