// ScriptFileAccess: the one door through which scripts read and write files
// (the builtin file functions, and later the table loader).
//
// A title is not trusted: its names are checked before anything is looked
// up, reads never leave the roots they are found in, and writes reach only
// the in-memory archive, the base folder, and the files and folders the
// player chose in a dialog during this run.
//
// Names. A script name is a title name (Shift-JIS, "\"-separated). Refused:
// a NUL byte; more than 1024 bytes, or a part of more than 255 bytes, once
// in UTF-8; a ".." part; any ":" except a leading "mem:" or "save:" (so
// drive letters too); an absolute name (leading "\" or "/"), unless it is
// a path chosen in a dialog this run or lies inside a chosen folder.
//
// Reads go through the file manager (names without regard to case). A hit
// in the base folder or on a disc must really lie inside that root: its
// real path is checked, so a link leading out is refused. Files over 64 MiB
// are not read.
//
// Writes go through the platform's atomic writer (mode 0644) to "mem:"
// (the in-memory archive), "save:" (the in-memory archive, then the save
// file through the hook the project sets), a name inside the base folder
// (folders matched without regard to case; an existing file in another case
// is replaced), or a chosen file or folder. A folder on the way whose real
// path leaves its root, and a destination that is a link, are refused.
//
// Every refusal is logged on the Files channel and answered with false or
// nullopt, the failure result of the script function.
//
// Used from the main thread only. The file manager is not owned and must
// outlive the object.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_manager.h"

namespace nova::files {

inline constexpr std::uint64_t kMaxScriptFileSize = 64ull << 20;

class ScriptFileAccess {
 public:
  explicit ScriptFileAccess(TVrFileManager& files) : m_files(files) {}

  TVrFileManager& files() { return m_files; }

  // Stores the in-memory "save:" entries into the save file after a "save:"
  // write; answers whether that worked. Set by the project.
  void set_save_hook(std::function<bool()> hook) { m_save_hook = std::move(hook); }

  // Why a script name is refused, or empty when it may be used.
  std::string refusal(std::string_view name) const;

  bool Exists(std::string_view name);
  // The bytes of a file, or nullopt (refused, missing, over 64 MiB, or a
  // host file outside its root).
  std::optional<std::vector<std::uint8_t>> Read(std::string_view name);
  // Writes a file; false when refused or when the write failed.
  // `make_folders` creates missing folders on the way (inside the root).
  bool Write(std::string_view name, std::span<const std::uint8_t> bytes, bool make_folders = false);
  // The host path a write of `name` would go to (nullopt for "mem:" and
  // "save:" names and for refused names).
  std::optional<std::filesystem::path> HostPathForWrite(std::string_view name, bool make_folders = false);

  // --- Paths the player chose in a dialog this run ---
  // Remembers a chosen file or folder and answers its script name:
  // Shift-JIS with "\" separators ("?" for characters Shift-JIS lacks), a
  // folder with a trailing "\".
  std::string NoteChosenFile(const std::filesystem::path& path);
  std::string NoteChosenFolder(const std::filesystem::path& path);
  // The host folder a script folder name stands for when files may be
  // written into it: a chosen folder, a folder inside one, or a folder
  // inside the base folder; nullopt otherwise. The folder is created when
  // missing (inside its root).
  std::optional<std::filesystem::path> WritableFolder(std::string_view name);
  // Whether a host folder lies inside the base folder.
  bool InsideBaseFolder(const std::filesystem::path& folder) const;
  // The host path of the file `relative` (a title name without ".." or
  // absolute parts) inside a folder answered by WritableFolder, its
  // subfolders created; nullopt when refused (a folder leading out, a
  // destination that is a link).
  std::optional<std::filesystem::path> PlaceInto(const std::filesystem::path& folder, std::string_view relative);
  // Writes a path answered by PlaceInto or HostPathForWrite atomically
  // (mode 0644); false, logged, when the write failed.
  bool WriteHost(const std::filesystem::path& target, std::span<const std::uint8_t> bytes);

  // The script form of a host path.
  static std::string ScriptNameOf(const std::filesystem::path& path, bool folder);

 private:
  struct Chosen {
    std::string script_name;  // a folder's ends with "\"
    std::filesystem::path path;
    bool folder = false;
  };
  // A chosen root and the rest of the name below it, for an absolute name.
  std::optional<std::pair<const Chosen*, std::string>> chosen_of(std::string_view name) const;
  // The host path of `relative` below `root`, matched without regard to
  // case, with missing folders created when `make_folders`; nullopt when a
  // folder's real path leaves the root or the destination is a link.
  std::optional<std::filesystem::path> place_below(const std::filesystem::path& root, std::string_view relative,
                                                   bool make_folders);
  // Walks `parts` as folders below `root`, each matched without regard to
  // case and made when missing and `make_folders`; nullopt when one is
  // missing or its real path leaves the root.
  std::optional<std::filesystem::path> walk_folders(const std::filesystem::path& root,
                                                    std::span<const std::string> parts, bool make_folders);
  bool refuse(std::string_view name, std::string_view why) const;

  TVrFileManager& m_files;
  std::function<bool()> m_save_hook;
  std::vector<Chosen> m_chosen;
  HostFileFinder m_finder;
};

}  // namespace nova::files
