// The virtual file manager: every read of title data goes through it.
//
// It answers whether a title name exists, what its bytes are, a seekable
// read-only view of it, and a host path other programs can open, by looking
// in the base folder first, then in the mounted archives in mount order,
// then on the CD-ROM roots that held a disc when it was made. Index 0 of the
// archives is the in-memory archive, in which scripts create "mem:" and
// "save:" files. Names are title names (names.h): Shift-JIS, "\"-separated,
// compared without regard to case; on disk each component is matched
// without regard to case (host_lookup.h).
//
// Work files (entries extracted for players that need a real path) live in
// a folder of this process's own, made with mkdtemp in the temporary folder
// and removed with the manager; each is created exclusively and never
// through a link.
//
// Used from the main thread only. The range streams it hands out own their
// sources and may be read from other threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/archive.h"
#include "files/host_lookup.h"
#include "files/install_set.h"
#include "files/range_stream.h"
#include "files/stream.h"
#include "platform/system.h"

namespace nova::core {
struct FrameClock;
}
namespace nova::platform {
class Dialogs;
}

namespace nova::files {

// One extracted work file: its id, the entry name it holds, how often it was
// asked for. Its file is "~nv" + the id in 8 upper-case hexadecimal digits +
// the entry's extension.
struct TVrLockData {
  std::uint32_t id = 0;
  std::string name;
  int use_count = 0;
  std::filesystem::path path;
};

// Hands out work-file ids from 0 upwards, skipping ids still in use.
class TVrLockList {
 public:
  std::uint32_t NewId();
  TVrLockData& Add(std::string name, std::filesystem::path path, std::uint32_t id);
  // The work file of exactly this name (case-sensitive), or nullptr.
  TVrLockData* Find(std::string_view name);
  const std::vector<TVrLockData>& Items() const { return m_items; }
  void Clear() { m_items.clear(); }

 private:
  bool in_use(std::uint32_t id) const;
  std::vector<TVrLockData> m_items;
  std::uint32_t m_next = 0;
};

// What the manager is given by the platform.
struct FileManagerEnvironment {
  // CD-ROM roots holding a readable disc when the manager is made.
  std::vector<std::filesystem::path> disc_roots;
  // The CD-ROM roots now (asked again while searching for a disc, since a
  // disc inserted later is mounted afresh); by default the roots above.
  std::function<std::vector<std::filesystem::path>()> current_cdrom_roots;
  std::filesystem::path temp_folder;
  // The player's executable: its folder holds "install.dat" and "game.dat".
  std::filesystem::path executable;
  ArchiveOptions archive_options;
  // How many rounds a disc prompt may take before it gives up (0: no
  // limit). Unattended runs answer boxes at once and would otherwise ask
  // for ever.
  int max_prompt_rounds = 0;

  // The system's: mounted CD-ROMs, the temporary folder, the executable.
  // The system must outlive the manager (the CD-ROM roots are asked again).
  static FileManagerEnvironment FromSystem(const platform::System& system);
};

// The texts and hooks of disc prompts, from the project.
struct DiscPrompt {
  std::string project_title;  // compared with the title in "install.dat"
  std::string caption;        // the application title
  // "%d" stands for the disc number.
  std::string disc_text;  // default "ディスク%dを入れてから[OK]をクリックしてください"
  std::string quit_text;  // default "終了します"
  // Set when the user confirms quitting.
  core::FrameClock* clock = nullptr;
  std::function<void()> request_close;

  static DiscPrompt Defaults();
};

class TVrFileManager {
 public:
  TVrFileManager(platform::Dialogs& dialogs, FileManagerEnvironment environment);

  // Removes the work folders of players that were killed: folders of this
  // user named "novaplayer-" + six characters in `temp_folder`, each holding
  // the lock file its player keeps locked while it runs; a folder whose
  // lock can be taken has no player any more. Links, other users' folders,
  // folders without a lock file and other names are left alone. Answers how
  // many were removed.
  static int RemoveStaleWorkFolders(const std::filesystem::path& temp_folder);
  // Queues every work file for deletion and deletes the queue and the work
  // folder.
  ~TVrFileManager();
  TVrFileManager(const TVrFileManager&) = delete;
  TVrFileManager& operator=(const TVrFileManager&) = delete;

  // --- Mounting -----------------------------------------------------------
  // An empty folder unsets it.
  void SetBaseFolder(const std::filesystem::path& folder);
  const std::filesystem::path& BaseFolder() const { return m_base_folder; }
  // Opens the archive and appends it; answers its index, or -1 when an
  // archive of that file name (without regard to case) is mounted already.
  // The empty name makes an archive without container (the in-memory
  // archive, which the manager makes at index 0 itself). A damaged archive
  // raises core::Error and is not mounted.
  int Mount(const std::filesystem::path& file_name);
  // Opens a resource archive of a module (empty: the executable) and
  // appends it; answers its index.
  int MountResource(const std::filesystem::path& module, std::string_view resource_name,
                    std::string_view resource_type);
  // Out-of-range indexes are ignored.
  void Unmount(int index);
  int ArchiveCount() const { return static_cast<int>(m_archives.size()); }
  TVrFileCollection& Archive(int index) const;

  // --- The in-memory archive ------------------------------------------------
  // Creates or replaces the memory entry of that name in the in-memory
  // archive (made again when it was unmounted).
  TVrFile& SetMemoryFile(std::string_view name, std::span<const std::uint8_t> data);
  TVrFileCollection& MemoryArchive();

  // --- Lookup ---------------------------------------------------------------
  bool Exists(std::string_view name);
  // Fills the stream with the file's bytes (a memory stream is emptied
  // first) and leaves it at position 0. Raises "%s:ファイルがありません".
  void ReadFile(Stream& stream, std::string_view name);
  std::unique_ptr<TKvMemoryStream> ReadFile(std::string_view name);
  // A read-only view of the file. Entries stored as is are shown in place;
  // memory entries and compressed entries are shown inflated, from memory.
  // Raises "%s:ファイルがありません".
  std::unique_ptr<TRangeStream> OpenRange(std::string_view name);
  // A host path other programs can open: the base folder's file, a work
  // file holding the archive entry (made once per name), a disc's file, or
  // else the name itself. Raises "作業用ファイルが作れません" when a work
  // file cannot be made.
  std::filesystem::path RealFileName(std::string_view name);
  // The first archive entry of the name in mount order (the sentinel never
  // counts), or nullptr. Valid until that archive changes.
  TVrFile* FindEntry(std::string_view name);
  // Appends the names of the files in a title folder ("bgm\"): archive
  // entries first (each name once), then the base folder's files, then each
  // disc's. File modes are left as they are.
  void ListFolder(std::string_view folder, std::vector<std::string>& list);
  // Where ReadFile would take a name from the host: the file in the base
  // folder or on a disc, with that root; nullopt when it reads the name
  // from an archive or does not find it.
  struct HostHit {
    std::filesystem::path file;
    std::filesystem::path root;
  };
  std::optional<HostHit> FindHostFile(std::string_view name);
  // The folder part of a name (names::folder_of).
  static std::string FolderOfName(std::string_view name);

  // --- Work files -----------------------------------------------------------
  const TVrLockList& WorkFiles() const { return m_locks; }
  // Deletes the files queued for deletion and empties the queue; called at
  // the start of every frame tick.
  void DeleteWorkFiles();
  void QueueForDeletion(std::filesystem::path path) { m_delete_queue.push_back(std::move(path)); }
  // Files scripts wrote during this run (host paths), each once.
  void NoteWrittenFile(const std::filesystem::path& path);
  const std::vector<std::filesystem::path>& WrittenFiles() const { return m_written_files; }

  // --- Discs and start-up ---------------------------------------------------
  // Unmounts every archive on a disc root, then asks for the disc until it
  // is inserted (true) or the user confirms quitting (false, TerminateFlag
  // set and a close requested).
  bool AskForDisc(int disc, const DiscPrompt& prompt);
  // Mounts "game.dat" of every disc root whose "install.dat" has the title
  // and the disc number n; true when one was mounted.
  bool MountDisc(int n, std::string_view project_title);
  // True when the name exists; otherwise, for a name on another disc (by the
  // folder-disc list) whose extension is not a streamed one, asks for that
  // disc. `streamed_extensions` is the project's text (".wav.wma.ogg").
  bool EnsureFile(std::string_view name, const TFolderDiskList& discs, std::string_view streamed_extensions,
                  const DiscPrompt& prompt);
  // Finds the title's data when the player was started without arguments:
  // "install.dat" beside the executable or in the mounted data, "game.dat"
  // beside the executable, or a disc holding both with the same title.
  // Answers the install data read, or nullopt when the title cannot start
  // (the user was told, or declined to insert the disc).
  std::optional<TNovaInstallSet> LocateStartupData(const DiscPrompt& prompt);

 private:
  std::optional<std::filesystem::path> base_file(std::string_view name);
  std::optional<std::filesystem::path> disc_file(std::string_view name);
  TVrFileCollection* archive_holding(std::string_view name, TVrFile** entry, bool with_container);
  const std::filesystem::path& work_folder();
  // The disc's "game.dat" when the root holds it and an "install.dat" of
  // the title (and, when given, of the disc number); else nullopt.
  std::optional<std::filesystem::path> disc_game(const std::filesystem::path& root, std::string_view title,
                                                 const int* disc_number);
  // Mounts the disc's "game.dat" (once) and looks in its root for loose
  // files too.
  void mount_disc_root(const std::filesystem::path& root, const std::filesystem::path& game);
  std::vector<std::filesystem::path> current_cdrom_roots() const;
  bool mounted(const std::filesystem::path& file_name) const;

  platform::Dialogs& m_dialogs;
  FileManagerEnvironment m_env;
  std::vector<std::unique_ptr<TVrFileCollection>> m_archives;
  std::vector<std::filesystem::path> m_disc_roots;
  std::filesystem::path m_base_folder;
  TVrLockList m_locks;
  std::filesystem::path m_work_folder;
  // The lock file inside the work folder, held while the manager lives, so
  // that a later player can tell a folder whose player was killed.
  int m_work_lock = -1;
  std::vector<std::filesystem::path> m_delete_queue;
  std::vector<std::filesystem::path> m_written_files;
  HostFileFinder m_finder;
};

}  // namespace nova::files
