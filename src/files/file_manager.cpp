// The virtual file manager: mounting, lookup, reading, ranges, work files.
// Disc swapping and the start-up data location are in file_manager_discs.cpp.
#include "files/file_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "core/error.h"
#include "core/format.h"
#include "core/log.h"
#include "core/sjis.h"
#include "files/names.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/system.h"

namespace nova::files {
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kSinglePart = INT64_MAX;

[[noreturn]] void fail_not_found(std::string_view name) {
  throw core::Error(core::format(core::sjis("%s:ファイルがありません"), {name}));
}

[[noreturn]] void fail_work_file() { core::throw_error_utf8("作業用ファイルが作れません"); }

// Host paths compare without regard to ASCII case, as file names on the
// other system do; other bytes compare exactly.
bool same_path_ci(const fs::path& a, const fs::path& b) {
  const std::string& x = a.native();
  const std::string& y = b.native();
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(x[i]) != lower(y[i])) return false;
  }
  return true;
}

bool readable_folder(const fs::path& p) {
  DIR* d = ::opendir(p.c_str());
  if (!d) return false;
  ::closedir(d);
  return true;
}

}  // namespace

// --- TVrLockList -------------------------------------------------------------

bool TVrLockList::in_use(std::uint32_t id) const {
  return std::any_of(m_items.begin(), m_items.end(), [&](const TVrLockData& d) { return d.id == id; });
}

std::uint32_t TVrLockList::NewId() {
  std::uint32_t id = m_next;
  while (in_use(id)) ++id;
  m_next = id + 1;
  return id;
}

TVrLockData& TVrLockList::Add(std::string name, fs::path path, std::uint32_t id) {
  m_items.push_back({id, std::move(name), 1, std::move(path)});
  return m_items.back();
}

TVrLockData* TVrLockList::Find(std::string_view name) {
  for (auto& d : m_items) {
    if (d.name == name) return &d;
  }
  return nullptr;
}

// --- environment -------------------------------------------------------------

FileManagerEnvironment FileManagerEnvironment::FromSystem(const platform::System& system) {
  FileManagerEnvironment env;
  env.disc_roots = system.cdrom_roots();
  env.current_cdrom_roots = [&system] { return system.cdrom_roots(); };
  env.temp_folder = system.temp_folder();
  env.executable = system.executable_path();
  return env;
}

DiscPrompt DiscPrompt::Defaults() {
  DiscPrompt p;
  p.disc_text = core::sjis("ディスク%dを入れてから[OK]をクリックしてください");
  p.quit_text = core::sjis("終了します");
  p.caption = core::sjis("情報");
  return p;
}

// --- construction ------------------------------------------------------------

TVrFileManager::TVrFileManager(platform::Dialogs& dialogs, FileManagerEnvironment environment)
    : m_dialogs(dialogs), m_env(std::move(environment)) {
  if (m_env.archive_options.executable.empty()) m_env.archive_options.executable = m_env.executable;
  for (const auto& root : m_env.disc_roots) {
    if (readable_folder(root)) m_disc_roots.push_back(root);
  }
  auto memory = std::make_unique<TVrFileCollection>(m_env.archive_options);
  memory->Open({});
  m_archives.push_back(std::move(memory));
}

TVrFileManager::~TVrFileManager() {
  for (const auto& lock : m_locks.Items()) m_delete_queue.push_back(lock.path);
  DeleteWorkFiles();
  if (!m_work_folder.empty()) {
    std::error_code ec;
    fs::remove_all(m_work_folder, ec);
  }
  if (m_work_lock >= 0) ::close(m_work_lock);
}

namespace {

constexpr std::string_view kWorkFolderPrefix = "novaplayer-";
constexpr const char* kWorkLockName = ".lock";

// Takes the lock of a work folder's lock file; -1 when it is held (or the
// file cannot be opened as a plain file of ours).
int take_work_lock(const fs::path& file, bool create) {
  const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT | O_EXCL : 0);
  const int fd = ::open(file.c_str(), flags, 0600);
  if (fd < 0) return -1;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  if (::fcntl(fd, F_SETLK, &fl) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool is_work_folder_name(const std::string& name) {
  if (name.size() != kWorkFolderPrefix.size() + 6 || name.compare(0, kWorkFolderPrefix.size(), kWorkFolderPrefix) != 0)
    return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(kWorkFolderPrefix.size()), name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

int TVrFileManager::RemoveStaleWorkFolders(const fs::path& temp_folder) {
  int removed = 0;
  std::error_code ec;
  for (auto it = fs::directory_iterator(temp_folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const fs::path folder = it->path();
    if (!is_work_folder_name(folder.filename().string())) continue;
    struct stat st {};
    // Only a real folder of this user: never a link, never someone else's.
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) continue;
    struct stat lock_st {};
    const fs::path lock = folder / kWorkLockName;
    if (::lstat(lock.c_str(), &lock_st) != 0 || !S_ISREG(lock_st.st_mode)) continue;
    const int fd = take_work_lock(lock, false);
    if (fd < 0) continue;  // its player lives
    std::error_code gone;
    fs::remove_all(folder, gone);
    ::close(fd);
    if (!gone) {
      ++removed;
      core::logf(core::Channel::Files, core::Level::Info, "removed the work folder %s of a player that ended",
                 {host::path_text(folder)});
    }
  }
  return removed;
}

std::vector<fs::path> TVrFileManager::current_cdrom_roots() const {
  return m_env.current_cdrom_roots ? m_env.current_cdrom_roots() : m_env.disc_roots;
}

// --- mounting ----------------------------------------------------------------

void TVrFileManager::SetBaseFolder(const fs::path& folder) { m_base_folder = folder; }

bool TVrFileManager::mounted(const fs::path& file_name) const {
  return std::any_of(m_archives.begin(), m_archives.end(), [&](const auto& a) {
    return a->Form() != ArchiveForm::Resource && same_path_ci(a->FileName(), file_name);
  });
}

int TVrFileManager::Mount(const fs::path& file_name) {
  if (mounted(file_name)) return -1;
  auto archive = std::make_unique<TVrFileCollection>(m_env.archive_options);
  archive->Open(file_name);
  m_archives.push_back(std::move(archive));
  core::logf(core::Channel::Files, core::Level::Info, "mounted %s (%d entries)",
             {host::path_text(file_name), m_archives.back()->EntryCount()});
  return ArchiveCount() - 1;
}

int TVrFileManager::MountResource(const fs::path& module, std::string_view resource_name,
                                  std::string_view resource_type) {
  auto archive = std::make_unique<TVrFileCollection>(m_env.archive_options);
  archive->OpenResource(module, resource_name, resource_type);
  m_archives.push_back(std::move(archive));
  return ArchiveCount() - 1;
}

void TVrFileManager::Unmount(int index) {
  if (index < 0 || index >= ArchiveCount()) return;
  m_archives.erase(m_archives.begin() + index);
}

TVrFileCollection& TVrFileManager::Archive(int index) const {
  if (index < 0 || index >= ArchiveCount()) {
    throw core::Error(core::format("archive index %d out of range", {index}));
  }
  return *m_archives[static_cast<std::size_t>(index)];
}

TVrFileCollection& TVrFileManager::MemoryArchive() {
  if (m_archives.empty() || m_archives.front()->Form() != ArchiveForm::None ||
      !m_archives.front()->FileName().empty()) {
    auto memory = std::make_unique<TVrFileCollection>(m_env.archive_options);
    memory->Open({});
    m_archives.insert(m_archives.begin(), std::move(memory));
  }
  return *m_archives.front();
}

TVrFile& TVrFileManager::SetMemoryFile(std::string_view name, std::span<const std::uint8_t> data) {
  TVrFileCollection& memory = MemoryArchive();
  // Every entry of the name goes, so that the archive holds one copy.
  for (int i = memory.Count() - 1; i >= 0; --i) {
    if (core::equal_ci(memory.At(i).Name(), name)) memory.Delete(i);
  }
  return memory.AddMemoryFile(std::string(name), data);
}

// --- lookup ------------------------------------------------------------------

std::optional<fs::path> TVrFileManager::base_file(std::string_view name) {
  if (m_base_folder.empty()) return std::nullopt;
  return m_finder.FindFile(m_base_folder, name);
}

std::optional<fs::path> TVrFileManager::disc_file(std::string_view name) {
  for (const auto& root : m_disc_roots) {
    if (auto p = m_finder.FindFile(root, name)) return p;
  }
  return std::nullopt;
}

TVrFileCollection* TVrFileManager::archive_holding(std::string_view name, TVrFile** entry, bool with_data) {
  for (auto& archive : m_archives) {
    TVrFile* f = archive->Find(name);
    if (!f) continue;
    // An entry of an archive without container and without memory data has
    // no bytes to give: the next archive may have them.
    if (with_data && !f->memory && !archive->Container()) continue;
    *entry = f;
    return archive.get();
  }
  return nullptr;
}

bool TVrFileManager::Exists(std::string_view name) {
  for (const auto& archive : m_archives) {
    if (archive->IndexOf(name) >= 0) return true;
  }
  return base_file(name) || disc_file(name);
}

void TVrFileManager::ReadFile(Stream& stream, std::string_view name) {
  auto* memory = dynamic_cast<TKvMemoryStream*>(&stream);
  if (memory) memory->Clear();
  auto from_host = [&](const fs::path& path) {
    if (memory) {
      memory->LoadFromFile(path);
    } else {
      TKvBigFileStream file(path, file_mode::kOpenRead | file_mode::kShareDenyWrite, kSinglePart);
      file.ReadToStream(stream, file.GetSize());
    }
  };
  if (auto path = base_file(name)) {
    from_host(*path);
  } else {
    TVrFile* entry = nullptr;
    if (TVrFileCollection* archive = archive_holding(name, &entry, true)) {
      if (memory) {
        archive->ReadEntry(*entry, memory->Block());
      } else {
        MemoryBlock data;
        archive->ReadEntry(*entry, data);
        stream.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
      }
    } else if (auto disc = disc_file(name)) {
      from_host(*disc);
    } else {
      fail_not_found(name);
    }
  }
  stream.SetPosition(0);
}

std::unique_ptr<TKvMemoryStream> TVrFileManager::ReadFile(std::string_view name) {
  auto stream = std::make_unique<TKvMemoryStream>();
  ReadFile(*stream, name);
  return stream;
}

std::unique_ptr<TRangeStream> TVrFileManager::OpenRange(std::string_view name) {
  auto whole_file = [](const fs::path& path) -> std::unique_ptr<TRangeStream> {
    std::error_code ec;
    auto size = static_cast<std::int64_t>(fs::file_size(path, ec));
    return std::make_unique<TFileRangeStream>(path, ec ? 0 : size, 0, RangeLength::Exact, kSinglePart);
  };
  auto from_memory = [](MemoryBlock block) -> std::unique_ptr<TRangeStream> {
    auto size = static_cast<std::int64_t>(block.size());
    return std::make_unique<TRangeStream>(std::make_unique<TKvBigMemoryStream>(std::move(block)), 0, size);
  };
  if (auto path = base_file(name)) return whole_file(*path);
  TVrFile* entry = nullptr;
  if (TVrFileCollection* archive = archive_holding(name, &entry, true)) {
    if (entry->memory) return from_memory(MemoryBlock(entry->memory->Block()));
    if (!entry->stored && entry->length > 0) {
      // A compressed entry (every entry of the oldest archives) is of no use
      // to a reader as stored: show it inflated.
      MemoryBlock data;
      archive->ReadEntry(*entry, data);
      return from_memory(std::move(data));
    }
    switch (archive->Form()) {
      case ArchiveForm::Resource:
        return std::make_unique<TResourceRangeStream>(archive->ResourceName(), entry->length, entry->offset,
                                                      archive->ResourceType(), archive->ResourceModule(),
                                                      RangeLength::Exact);
      case ArchiveForm::File:
      case ArchiveForm::Companion:
      case ArchiveForm::Appended:
        return std::make_unique<TFileRangeStream>(archive->DataFileName(), entry->length, entry->offset,
                                                  RangeLength::Exact, archive->Options().part_size);
      case ArchiveForm::None:
      case ArchiveForm::Stream: {
        MemoryBlock data;
        archive->ReadStored(*entry, data);
        return from_memory(std::move(data));
      }
    }
  }
  if (auto disc = disc_file(name)) return whole_file(*disc);
  fail_not_found(name);
}

TVrFile* TVrFileManager::FindEntry(std::string_view name) {
  for (auto& archive : m_archives) {
    TVrFile* f = archive->Find(name);
    if (f && !f->IsSentinel()) return f;
  }
  return nullptr;
}

// --- work files --------------------------------------------------------------

const fs::path& TVrFileManager::work_folder() {
  if (m_work_folder.empty()) {
    std::string pattern = (m_env.temp_folder / (std::string(kWorkFolderPrefix) + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) {
      core::logf(core::Channel::Files, core::Level::Error, "cannot make the work folder in %s",
                 {host::path_text(m_env.temp_folder)});
      fail_work_file();
    }
    m_work_folder = pattern;
    m_work_lock = take_work_lock(m_work_folder / kWorkLockName, true);
  }
  return m_work_folder;
}

fs::path TVrFileManager::RealFileName(std::string_view name) {
  if (auto path = base_file(name)) return *path;
  TVrFile* entry = nullptr;
  if (TVrFileCollection* archive = archive_holding(name, &entry, true)) {
    if (TVrLockData* lock = m_locks.Find(name)) {
      ++lock->use_count;
      return lock->path;
    }
    const std::uint32_t id = m_locks.NewId();
    // The extension comes from title data: it must not reach outside the
    // work folder.
    std::string ext = platform::codepage::to_utf8(names::extension(name));
    std::replace(ext.begin(), ext.end(), '/', '_');
    fs::path path = work_folder() / (core::format("~nv%08X", {id}) + ext);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) fail_work_file();
    bool ok = true;
    try {
      if (entry->stored && !entry->memory && entry->length > 0) {
        // Media entries can be large: copy them in pieces.
        TKvBigStream& container = *archive->Container();
        container.SetPosition(entry->offset);
        ok = read_in_chunks(container, entry->length,
                            [&](std::span<const std::uint8_t> piece) { return host::write_all(fd, piece); });
      } else {
        MemoryBlock data;
        archive->ReadEntry(*entry, data);
        ok = host::write_all(fd, data.bytes());
      }
    } catch (...) {
      ::close(fd);
      ::unlink(path.c_str());
      throw;
    }
    if (::close(fd) != 0) ok = false;
    if (!ok) {
      ::unlink(path.c_str());
      fail_work_file();
    }
    m_locks.Add(std::string(name), path, id);
    return path;
  }
  if (auto disc = disc_file(name)) return *disc;
  std::string host = platform::codepage::to_utf8(name);
  std::replace(host.begin(), host.end(), '\\', '/');
  return host;
}

void TVrFileManager::DeleteWorkFiles() {
  for (const auto& path : m_delete_queue) ::unlink(path.c_str());
  m_delete_queue.clear();
}

void TVrFileManager::NoteWrittenFile(const fs::path& path) {
  if (std::find(m_written_files.begin(), m_written_files.end(), path) == m_written_files.end()) {
    m_written_files.push_back(path);
  }
}

// --- folders -----------------------------------------------------------------

std::string TVrFileManager::FolderOfName(std::string_view name) { return names::folder_of(name); }

void TVrFileManager::ListFolder(std::string_view folder, std::vector<std::string>& list) {
  const std::string key = names::with_separator(folder);
  auto listed = [&](std::string_view n) {
    return std::any_of(list.begin(), list.end(), [&](const std::string& s) { return core::equal_ci(s, n); });
  };
  for (const auto& archive : m_archives) {
    for (int i = 0; i < archive->Count(); ++i) {
      const TVrFile& f = archive->At(i);
      if (f.IsSentinel() || !core::equal_ci(FolderOfName(f.Name()), key) || listed(f.Name())) continue;
      list.push_back(f.Name());
    }
  }
  // Listing changes nothing on disk: a title that lists its files gets
  // their names, never write permission on them.
  auto list_host = [&](const fs::path& root) {
    auto dir = m_finder.FindFolder(root, folder);
    if (!dir) return;
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(*dir, ec)) {
      std::error_code type_ec;
      if (!e.is_regular_file(type_ec)) continue;
      auto title_name = HostFileFinder::TitleNameOf(e.path().filename());
      if (!title_name) continue;
      found.push_back(key + *title_name);
    }
    std::sort(found.begin(), found.end());
    list.insert(list.end(), found.begin(), found.end());
  };
  if (!m_base_folder.empty()) list_host(m_base_folder);
  for (const auto& root : m_disc_roots) list_host(root);
}

std::optional<TVrFileManager::HostHit> TVrFileManager::FindHostFile(std::string_view name) {
  // The order of ReadFile: the base folder, then (when no archive holds
  // the name) the discs.
  if (auto path = base_file(name)) return HostHit{*path, m_base_folder};
  TVrFile* entry = nullptr;
  if (archive_holding(name, &entry, true)) return std::nullopt;
  for (const auto& root : m_disc_roots) {
    if (auto p = m_finder.FindFile(root, name)) return HostHit{*p, root};
  }
  return std::nullopt;
}

}  // namespace nova::files
