// The save file "save.dat": where it lies, the archive it is, and the
// status record inside it.
//
// "save.dat" is an archive (files/archive.h) holding one entry per game
// slot ("GAMESAVEDATA" + the slot number), the status entry
// ("STATUSSAVEDATA") and the files scripts stored under "save:" names. It
// is rewritten whole on every change: into memory, then into a temporary
// file in the same folder, flushed, and renamed over the old one, so a crash
// or a full disk leaves the previous file whole.
//
// The status record:
//   "Status" + three digits   the version (the writer writes 103); a record
//                             without it is version 0 and starts at once
//   status variables          the variable store's status block
//   read marks                from version 100
//   image cache record        above version 100 (one byte, the quality flag)
//   status DB tables          from version 103 (the status form of the
//                             table manager's block)
// A record that lacks some parts (an older version) is written back with
// their empty forms.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "components/read_list.h"
#include "core/binary_io.h"
#include "data/db_manager.h"
#include "expr/param_collection.h"
#include "files/archive.h"

namespace nova::script {

inline constexpr std::string_view kSaveFileName = "save.dat";
inline constexpr std::string_view kStatusEntryName = "STATUSSAVEDATA";
inline constexpr std::string_view kGameEntryPrefix = "GAMESAVEDATA";
inline constexpr std::string_view kScriptFilePrefix = "save:";
constexpr std::int32_t kStatusVersion = 103;

// --- Where the file lies ----------------------------------------------------------

struct SavePathInputs {
  // The data arguments of the command line (host paths).
  std::vector<std::filesystem::path> arguments;
  std::filesystem::path executable_folder;
  // The per-user data folder of the player ($XDG_DATA_HOME/novaplayer).
  std::filesystem::path user_data_folder;
  // Where installed programs live: a player below one of these keeps its
  // saves in the per-user folder, as one below the program files folder
  // does on the system the titles come from.
  std::vector<std::filesystem::path> program_folders = {"/usr", "/opt", "/snap"};
  // Whether a file can be made in a folder (the System service's answer);
  // without it the executable's folder never holds the saves.
  std::function<bool(const std::filesystem::path&)> folder_writable;
};

// Whether the folder lies in (or is) one of the program folders.
bool is_program_files_folder(const std::filesystem::path& folder,
                             const std::vector<std::filesystem::path>& program_folders);

// The per-user folder name of a title (Shift-JIS in, UTF-8 out): each of
// \ / : , ; * ? < > | and the double quote becomes "_" (a double-byte
// character passes whole, so a trail byte 0x5C or 0x7C is kept), control
// characters are dropped, and a name that comes out empty, "." or ".."
// becomes "_".
std::string user_folder_name(std::string_view title);

// The save file's path:
// - with arguments: in argument 1 when it is a folder (or does not exist),
//   else in the folder of the file it names (an archive);
// - else beside the executable when that folder is not a program folder and
//   a file can be created there;
// - else in the per-user folder named after the title, created when
//   missing ("データファイルを作成することができません" when it cannot be);
//   an old "save.dat" beside the executable is copied there once.
std::filesystem::path locate_save_file(const SavePathInputs& inputs, std::string_view title);

// --- The status record --------------------------------------------------------------

// The versions that brought the parts after the status variables.
constexpr std::int32_t kStatusReadMarksVersion = 100;  // read marks from it, the quality byte after it
constexpr std::int32_t kStatusTablesVersion = 103;

// What the status record holds besides the status variables.
struct TStatusTail {
  std::int32_t version = kStatusVersion;  // the version read
  components::TNovaReadList read_marks;
  // The image cache record: the base list's image-quality flag.
  bool image_quality = false;
};

// Reads a record: the version, the status variables into the store, the
// read marks (from version 100), the quality flag (above 100) and, from
// 103, the status tables, which replace the manager's status tables (its
// game tables stay). All or nothing: a damaged record raises core::Error
// and leaves the store and the manager as they were. Bytes after the
// tables are logged and ignored.
TStatusTail read_status_record(std::span<const std::uint8_t> record, expr::TParamCollection& store,
                               data::TDBManager& tables);
// Writes a record of version 103 (or the newer version read): the status
// variables, the tail and the manager's status tables.
void write_status_record(core::ByteWriter& w, const expr::TParamCollection& store, const TStatusTail& tail,
                         const data::TDBManager& tables);

// --- The archive ----------------------------------------------------------------------

class TSaveFile {
 public:
  // Writes the bytes as the file; the default replaces it atomically.
  using Store = std::function<void(const std::filesystem::path&, std::span<const std::uint8_t>)>;

  explicit TSaveFile(std::filesystem::path path, Store store = {});

  const std::filesystem::path& path() const { return m_path; }
  bool exists() const;

  // The archive as a collection; a missing file gives an empty one. Raises
  // core::Error for a damaged archive.
  std::unique_ptr<files::TVrFileCollection> open() const;
  // Writes the collection as the whole file (entries taken from the old
  // file are copied over), then removes the leftover temporaries of killed
  // writers. Raises core::Error when it cannot; the old file is then
  // untouched.
  void store(files::TVrFileCollection& archive) const;

  // Stores the file with these entries, each replacing the entries of its
  // name or added (the last of a name wins); the file's other entries are
  // kept. The entries' bytes are archived where they lie, without a copy.
  struct Entry {
    std::string_view name;
    std::span<const std::uint8_t> bytes;
  };
  void store_entries(std::span<const Entry> entries) const;

  // Replaces one entry (or removes it, for nullopt) and stores the file.
  void put_entry(std::string_view name, const std::optional<std::vector<std::uint8_t>>& bytes) const;

 private:
  std::filesystem::path m_path;
  Store m_store;
};

// Removes the temporaries the atomic writer left beside the file when it
// was killed before its rename (its own naming only); failures are logged.
void remove_leftover_temporaries(const std::filesystem::path& path);

// A game slot's entry name; nullopt for a name that is not one
// ("GAMESAVEDATA" followed by a canonical decimal: no sign, no leading
// zero except "0" itself, at most 2147483647).
std::optional<std::int32_t> game_slot_of(std::string_view entry_name);
std::string game_entry_name(std::int32_t slot);

}  // namespace nova::script
