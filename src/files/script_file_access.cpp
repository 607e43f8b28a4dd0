#include "files/script_file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"
#include "files/names.h"
#include "files/stream.h"
#include "platform/atomic_file.h"
#include "platform/codepage.h"

namespace nova::files {

namespace fs = std::filesystem;
namespace cp = platform::codepage;

namespace {

constexpr std::size_t kMaxNameBytes = 1024;
constexpr std::size_t kMaxPartBytes = 255;
constexpr std::string_view kMemPrefix = "mem:";
constexpr std::string_view kSavePrefix = "save:";

bool is_memory_name(std::string_view name) {
  return core::starts_with_ci(name, kMemPrefix) || core::starts_with_ci(name, kSavePrefix);
}

bool is_absolute_name(std::string_view name) { return !name.empty() && (name[0] == '\\' || name[0] == '/'); }

// Whether `path` is `root` or lies below it (both real paths).
bool is_inside(const fs::path& path, const fs::path& root) {
  auto r = root.begin(), p = path.begin();
  for (; r != root.end(); ++r, ++p) {
    if (r->empty() && std::next(r) == root.end()) break;  // a trailing separator
    if (p == path.end() || *p != *r) return false;
  }
  return true;
}

std::optional<fs::path> real_path(const fs::path& p) {
  std::error_code ec;
  fs::path r = fs::canonical(p, ec);
  if (ec) return std::nullopt;
  return r;
}

bool is_link(const fs::path& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The host form of one title-name part, when it has a faithful one.
std::optional<std::string> host_part(std::string_view sjis_part) {
  std::string utf8 = cp::to_utf8(sjis_part);
  auto back = cp::from_utf8(utf8);
  if (!back || *back != sjis_part) return std::nullopt;
  return utf8;
}

// Reads a regular host file that lies inside `root` (both checked by their
// real paths), at most kMaxScriptFileSize bytes.
std::optional<std::vector<std::uint8_t>> read_contained(const fs::path& file, const fs::path& root, std::string& why) {
  const auto real = real_path(file);
  const auto real_root = real_path(root);
  if (!real || !real_root) {
    why = "it cannot be resolved";
    return std::nullopt;
  }
  if (!is_inside(*real, *real_root)) {
    why = "it leads out of its folder";
    return std::nullopt;
  }
  const int fd = ::open(real->c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    why = "it cannot be opened";
    return std::nullopt;
  }
  struct stat st {};
  std::optional<std::vector<std::uint8_t>> out;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    why = "it is no regular file";
  } else if (static_cast<std::uint64_t>(st.st_size) > kMaxScriptFileSize) {
    why = "it is larger than 64 MiB";
  } else {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    out = std::move(bytes);
  }
  ::close(fd);
  return out;
}

}  // namespace

bool ScriptFileAccess::refuse(std::string_view name, std::string_view why) const {
  std::string shown = cp::to_utf8(name.substr(0, 200));
  std::replace(shown.begin(), shown.end(), '\0', '?');
  core::logf(core::Channel::Files, core::Level::Warning, "script file %s refused: %s", {shown, why});
  return false;
}

std::string ScriptFileAccess::refusal(std::string_view name) const {
  if (name.empty()) return "the name is empty";
  if (name.find('\0') != std::string_view::npos) return "the name holds a NUL byte";
  std::string_view rest = name;
  if (core::starts_with_ci(name, kMemPrefix)) rest = name.substr(kMemPrefix.size());
  if (core::starts_with_ci(name, kSavePrefix)) rest = name.substr(kSavePrefix.size());
  if (rest.find(':') != std::string_view::npos) return "the name holds a \":\" (a drive or stream)";
  if (cp::to_utf8(name).size() > kMaxNameBytes) return "the name is longer than 1024 bytes";
  for (const std::string& part : names::components(rest)) {
    if (part == "..") return "the name has a \"..\" part";
    if (cp::to_utf8(part).size() > kMaxPartBytes) return "a part of the name is longer than 255 bytes";
  }
  if (rest.empty() || names::components(rest).empty()) return "the name has no file part";
  if (is_absolute_name(name) && !chosen_of(name)) return "an absolute name the player did not choose";
  return {};
}

std::optional<std::pair<const ScriptFileAccess::Chosen*, std::string>> ScriptFileAccess::chosen_of(
    std::string_view name) const {
  for (auto it = m_chosen.rbegin(); it != m_chosen.rend(); ++it) {
    const Chosen& c = *it;
    if (!c.folder) {
      if (name == c.script_name) return std::make_pair(&c, std::string());
      continue;
    }
    if (name.size() >= c.script_name.size() && name.substr(0, c.script_name.size()) == c.script_name)
      return std::make_pair(&c, std::string(name.substr(c.script_name.size())));
    if (name.size() + 1 == c.script_name.size() && c.script_name.substr(0, name.size()) == name)
      return std::make_pair(&c, std::string());
  }
  return std::nullopt;
}

bool ScriptFileAccess::Exists(std::string_view name) {
  if (!refusal(name).empty()) return false;
  if (is_memory_name(name)) return m_files.MemoryArchive().IndexOf(name) >= 0;
  if (is_absolute_name(name)) {
    auto c = chosen_of(name);
    fs::path p = c->first->path;
    if (!c->second.empty()) {
      auto placed = m_finder.FindFile(c->first->path, c->second);
      if (!placed) return false;
      p = *placed;
    }
    const auto real = real_path(p);
    const auto root = real_path(c->first->path);
    return real && root && is_inside(*real, *root) && fs::is_regular_file(*real);
  }
  if (auto hit = m_files.FindHostFile(name)) {
    const auto real = real_path(hit->file);
    const auto root = real_path(hit->root);
    return real && root && is_inside(*real, *root);
  }
  return m_files.Exists(name);
}

std::optional<std::vector<std::uint8_t>> ScriptFileAccess::Read(std::string_view name) {
  if (std::string why = refusal(name); !why.empty()) {
    refuse(name, why);
    return std::nullopt;
  }
  std::string why;
  if (is_memory_name(name)) {
    TVrFileCollection& memory = m_files.MemoryArchive();
    const TVrFile* entry = memory.Find(name);
    if (!entry) return std::nullopt;
    MemoryBlock data;
    memory.ReadEntry(*entry, data);
    return std::vector<std::uint8_t>(data.bytes().begin(), data.bytes().end());
  }
  if (is_absolute_name(name)) {
    auto c = chosen_of(name);
    fs::path p = c->first->path;
    if (!c->second.empty()) {
      auto placed = m_finder.FindFile(c->first->path, c->second);
      if (!placed) return std::nullopt;
      p = *placed;
    }
    auto bytes = read_contained(p, c->first->path, why);
    if (!bytes) refuse(name, why);
    return bytes;
  }
  if (auto hit = m_files.FindHostFile(name)) {
    auto bytes = read_contained(hit->file, hit->root, why);
    if (!bytes) refuse(name, why);
    return bytes;
  }
  if (TVrFile* entry = m_files.FindEntry(name);
      entry && !entry->memory && static_cast<std::uint64_t>(entry->length) > kMaxScriptFileSize) {
    refuse(name, "it is larger than 64 MiB");
    return std::nullopt;
  }
  if (!m_files.Exists(name)) return std::nullopt;
  try {
    auto stream = m_files.ReadFile(name);
    const auto bytes = stream->bytes();
    if (bytes.size() > kMaxScriptFileSize) {
      refuse(name, "it is larger than 64 MiB");
      return std::nullopt;
    }
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  } catch (const core::Error& e) {
    core::logf(core::Channel::Files, core::Level::Warning, "script file %s: %s",
               {cp::to_utf8(name), cp::to_utf8(e.message())});
    return std::nullopt;
  }
}

std::optional<fs::path> ScriptFileAccess::walk_folders(const fs::path& root, std::span<const std::string> parts,
                                                       bool make_folders) {
  const auto real_root = real_path(root);
  if (!real_root) return std::nullopt;
  fs::path folder = root;
  for (const std::string& part : parts) {
    if (auto found = m_finder.FindFolder(folder, part)) {
      folder = *found;
    } else {
      const auto host = host_part(part);
      if (!make_folders || !host) return std::nullopt;
      folder /= *host;
      std::error_code ec;
      fs::create_directory(folder, ec);
      if (ec) return std::nullopt;
    }
    const auto real = real_path(folder);
    if (!real || !is_inside(*real, *real_root)) return std::nullopt;
  }
  return folder;
}

std::optional<fs::path> ScriptFileAccess::place_below(const fs::path& root, std::string_view relative,
                                                      bool make_folders) {
  const std::vector<std::string> parts = names::components(relative);
  if (parts.empty()) return std::nullopt;
  const auto walked = walk_folders(root, std::span<const std::string>(parts).first(parts.size() - 1), make_folders);
  if (!walked) return std::nullopt;
  const fs::path& folder = *walked;
  fs::path target;
  if (auto found = m_finder.FindFile(folder, parts.back())) {
    target = *found;
  } else {
    const auto host = host_part(parts.back());
    if (!host) return std::nullopt;
    target = folder / *host;
  }
  std::error_code ec;
  if (is_link(target) || fs::is_directory(target, ec)) return std::nullopt;
  return target;
}

std::optional<fs::path> ScriptFileAccess::HostPathForWrite(std::string_view name, bool make_folders) {
  if (std::string why = refusal(name); !why.empty()) {
    refuse(name, why);
    return std::nullopt;
  }
  if (is_memory_name(name)) return std::nullopt;
  std::optional<fs::path> target;
  if (is_absolute_name(name)) {
    auto c = chosen_of(name);
    if (!c->first->folder) {
      target = c->first->path;
      if (is_link(*target)) target.reset();
    } else {
      target = place_below(c->first->path, c->second, make_folders);
    }
  } else {
    const fs::path& base = m_files.BaseFolder();
    std::error_code ec;
    if (base.empty() || !fs::is_directory(base, ec)) {
      refuse(name, "there is no writable base folder");
      return std::nullopt;
    }
    target = place_below(base, name, make_folders);
  }
  if (!target) refuse(name, "its folder is missing or leads out, or the destination is a link");
  return target;
}

bool ScriptFileAccess::Write(std::string_view name, std::span<const std::uint8_t> bytes, bool make_folders) {
  if (bytes.size() > kMaxScriptFileSize) return refuse(name, "the data is larger than 64 MiB");
  if (is_memory_name(name)) {
    if (std::string why = refusal(name); !why.empty()) return refuse(name, why);
    m_files.SetMemoryFile(name, bytes);
    if (!core::starts_with_ci(name, kSavePrefix)) return true;
    if (!m_save_hook) return refuse(name, "there is no save file to store it in");
    return m_save_hook();
  }
  const auto target = HostPathForWrite(name, make_folders);
  return target && WriteHost(*target, bytes);
}

std::string ScriptFileAccess::ScriptNameOf(const fs::path& path, bool folder) {
  std::string s = cp::from_utf8_lossy(path.string());
  // "/" (0x2F) is never a trail byte, so every one is a separator.
  std::replace(s.begin(), s.end(), '/', '\\');
  if (folder && (s.empty() || s.back() != '\\')) s.push_back('\\');
  return s;
}

std::string ScriptFileAccess::NoteChosenFile(const fs::path& path) {
  m_chosen.push_back({ScriptNameOf(path, false), path, false});
  return m_chosen.back().script_name;
}

std::string ScriptFileAccess::NoteChosenFolder(const fs::path& path) {
  m_chosen.push_back({ScriptNameOf(path, true), path, true});
  return m_chosen.back().script_name;
}

bool ScriptFileAccess::InsideBaseFolder(const fs::path& folder) const {
  const fs::path& base = m_files.BaseFolder();
  if (base.empty()) return false;
  const auto real = real_path(folder);
  const auto root = real_path(base);
  return real && root && is_inside(*real, *root);
}

std::optional<fs::path> ScriptFileAccess::WritableFolder(std::string_view name) {
  if (name.empty()) return std::nullopt;
  fs::path root;
  std::string rest;
  if (is_absolute_name(name)) {
    auto c = chosen_of(name);
    if (!c || !c->first->folder) return std::nullopt;
    root = c->first->path;
    rest = c->second;
  } else {
    if (!refusal(name).empty() || m_files.BaseFolder().empty()) return std::nullopt;
    root = m_files.BaseFolder();
    rest = std::string(name);
  }
  if (!rest.empty() && !refusal(rest).empty()) return std::nullopt;
  return walk_folders(root, names::components(rest), true);
}

std::optional<fs::path> ScriptFileAccess::PlaceInto(const fs::path& folder, std::string_view relative) {
  if (std::string why = refusal(relative); !why.empty()) {
    refuse(relative, why);
    return std::nullopt;
  }
  if (is_absolute_name(relative) || is_memory_name(relative)) {
    refuse(relative, "not a relative name");
    return std::nullopt;
  }
  auto target = place_below(folder, relative, true);
  if (!target) refuse(relative, "its folder leads out, or the destination is a link");
  return target;
}

bool ScriptFileAccess::WriteHost(const fs::path& target, std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kMaxScriptFileSize) return refuse(host::path_text(target), "the data is larger than 64 MiB");
  if (const int err = platform::write_file_atomically(target, bytes, 0644); err != 0) {
    core::logf(core::Channel::Files, core::Level::Warning, "%s was not written: %s",
               {cp::to_utf8(host::path_text(target)), std::string(std::strerror(err))});
    return false;
  }
  return true;
}

}  // namespace nova::files
