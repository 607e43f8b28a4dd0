// Archives in the "vf" format: a directory of named entries followed by
// their data, each entry stored as is or as a zlib stream. A title's files
// and the player's save file are such archives.
//
// Layout (integers little-endian, B = the archive's start in its container):
//   "vf", int32 version        absent in version 0 (the count starts at B)
//   int32 N
//   N names                    int32 length + bytes; scrambled from 100
//   N + 1 offsets              relative to B; int64 from 101, else int32;
//                              scrambled from 100; offset N ends the data
//   N stored flags             from 101 (1 = as is, 0 = zlib)
//   N time stamps              from 101 (packed date-time, names.h)
//   N checksums                from 101 (CRC-32)
//   N checksum modes           from 102 (1 = over the inflated data,
//                              0 = over the stored bytes)
//   data
// The writer writes version 102.
//
// Containers: an archive file (possibly split into parts, big_stream.h); an
// archive file whose directory lies in a companion ".ext" file beside it
// (offsets then refer to the archive file); an archive appended to an
// executable, found by the last 6 bytes of the file (int32 B, then "nv");
// a resource of a module (resource.h). An executable is recognised by the
// extension ".exe" or ".scr", or, on this platform, by being an ELF file.
//
// A directory read from outside is checked against its container: every
// count, length and offset must fit, and offsets must not decrease. A
// directory that fails raises core::Error and leaves the collection empty.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/big_stream.h"
#include "files/codec.h"
#include "files/hash_collection.h"
#include "files/host_lookup.h"
#include "files/stream.h"

namespace nova::files {

// The key of the scrambling generator.
constexpr std::uint32_t ArchiveKey = 1486273059u;
// Entries of this size or more are written as is.
constexpr std::int64_t kArchiveLimit = 0x500000;
// The version the writer writes.
constexpr std::int32_t kArchiveVersion = 102;
// The name of the sentinel entry the reader appends after the N entries.
inline constexpr std::string_view kSentinelName = "\\EOF\\";
// Media and data extensions the writer never compresses (a substring test).
inline constexpr std::string_view kStoredExtensions = ".WAV.WMA.OGG.AVI.MPG.MPEG.M1V.WMV.ASF.DAT.";

// The additive generator that scrambles names and offsets: s := s × 5 +
// ArchiveKey (mod 2^32), yielding s, from s = 0. The name generator runs on
// across all names; the offsets have a generator of their own.
class ArchiveScrambler {
 public:
  std::uint32_t Next() {
    m_state = m_state * 5u + ArchiveKey;
    return m_state;
  }
  // The key of a 64-bit offset: the next value sign-extended.
  std::uint64_t NextWide() {
    const std::uint32_t k = Next();
    return static_cast<std::uint64_t>(k) | (k >= 0x80000000u ? 0xFFFFFFFF00000000ull : 0);
  }
  // Scrambles (or unscrambles: the step is its own inverse) a name in
  // place, each byte XORed with the low byte of the next value.
  void Scramble(std::string& name) {
    for (char& c : name) c = static_cast<char>(static_cast<std::uint8_t>(c) ^ (Next() & 0xFF));
  }

 private:
  std::uint32_t m_state = 0;
};

// One entry of a directory, in directory order.
class TVrFile : public THashCollectionItem {
 public:
  // The absolute position of the data in the container (B + stored
  // offset); for the sentinel, offset N as stored.
  std::int64_t offset = 0;
  // Set for entries created in memory; such an entry has no position.
  std::unique_ptr<TKvMemoryStream> memory;
  // For entries whose bytes stay their owner's (AddBorrowedFile): the bytes,
  // which must outlive every use of the entry. Also without a position.
  std::span<const std::uint8_t> borrowed;
  bool borrows = false;

  // Whether the entry's data is in memory (its own or borrowed), and those
  // bytes.
  bool InMemory() const { return memory || borrows; }
  std::span<const std::uint8_t> MemoryBytes() const {
    return memory ? memory->bytes() : borrowed;
  }
  // The stored size.
  std::int64_t length = 0;
  bool stored = false;
  std::int32_t time_stamp = 0;
  std::uint32_t checksum = 0;
  // true: the checksum covers the inflated data; false: the stored bytes.
  bool checksum_mode = false;

  bool IsSentinel() const { return Name() == kSentinelName; }
};

enum class ArchiveForm : std::uint8_t {
  None,       // no container: entries in memory, or names for the writer
  File,       // an archive file (possibly in parts)
  Companion,  // directory in the ".ext" file beside the archive file
  Appended,   // behind an executable, found by the "nv" trailer
  Resource,   // a resource of a module
  Stream      // a big stream handed in (for example an archive in memory)
};
std::string_view form_name(ArchiveForm form);

struct ArchiveOptions {
  // Part size of archive files (1 GiB except under test).
  std::int64_t part_size = kBigPartSize;
  InflateBackend inflate = InflateBackend::Libdeflate;
  // Entries inflating to more than this raise an error.
  std::size_t max_inflated_size = kMaxInflatedSize;
  // The running executable, which an empty module name means.
  std::filesystem::path executable;
};

class TVrFileCollection : public THashCollectionOf<TVrFile> {
 public:
  // Called before (bytes 0) and after each entry the writer writes; setting
  // `stop` ends the writer, which then answers false.
  using ProgressCallback = std::function<void(const TVrFileCollection& collection, const TVrFile& entry, bool& stop,
                                              int entry_count, int entry_index, std::int64_t bytes_written)>;
  // Whether a layered image (".bri") may be compressed, given its file. The
  // layered image format provides the test; without one such files are
  // stored as they are.
  using BriCompressTest = std::function<bool(Stream& file)>;

  explicit TVrFileCollection(ArchiveOptions options = {});
  ~TVrFileCollection() override;

  // Clears the collection and releases the container, remembers the file
  // name and the source folder of the writer (the file's folder when the
  // file exists, otherwise the name itself taken as a folder), and when the
  // file exists reads its directory by its container form. A name that is
  // not an existing file gives an empty collection without container.
  void Open(const std::filesystem::path& file_name);
  // Clears the collection and reads a resource archive of a module (empty:
  // the options' executable). A module that cannot be read leaves the collection
  // empty; a missing or empty resource raises "リソースが見つかりません".
  void OpenResource(const std::filesystem::path& module, std::string_view resource_name,
                    std::string_view resource_type);
  // Clears the collection and reads the archive held by `container` (form
  // File or Appended: an archive from its start, or found by its trailer).
  void OpenStream(std::unique_ptr<TKvBigStream> container, ArchiveForm form = ArchiveForm::File);
  // Clears the collection and reads a directory from `directory` whose
  // offsets refer to `data` (the companion form).
  void OpenSplit(std::unique_ptr<TKvBigStream> directory, std::unique_ptr<TKvBigStream> data);

  // The entry's data (inflated). Raises core::Error naming the entry when
  // it cannot be read.
  void ReadEntry(const TVrFile& entry, MemoryBlock& out);
  void ReadEntry(const TVrFile& entry, TKvMemoryStream& out);
  // The entry's stored bytes, as they lie in the container.
  void ReadStored(const TVrFile& entry, MemoryBlock& out);

  // Checks an entry as a verifier does: its stored bytes can be read, a
  // compressed entry inflates, and (archives of version 101 and above) its
  // checksum matches by its mode. Answers an empty text when the entry is
  // sound, otherwise what is wrong with it.
  std::string CheckEntry(const TVrFile& entry);
  // Whether the archive's entries carry checksums (version 101 and above,
  // or a collection not read from an archive).
  bool HasChecksums() const { return m_version >= 101; }

  // Adds an entry held in memory (replacing none: the newest of a name
  // wins lookups).
  TVrFile& AddMemoryFile(std::string name, std::span<const std::uint8_t> data, bool checksum_mode = true);
  // Adds an entry held in memory without copying it: the collection refers
  // to the caller's bytes, which must stay unchanged until the collection
  // is written (a save's records are archived once, straight after).
  TVrFile& AddBorrowedFile(std::string name, std::span<const std::uint8_t> data, bool checksum_mode = true);
  // Adds an entry that the writer fills from source folder + name.
  TVrFile& AddSourceName(std::string name, bool checksum_mode = true);

  // Writes the collection as an archive of version 102 starting at the
  // stream's position 0. Answers false when the progress callback stopped
  // it. An error while writing an entry raises core::Error with
  // "エラー:" + the entry's name in front of the cause.
  bool Write(TKvBigStream& out);

  void SetProgress(ProgressCallback callback) { m_progress = std::move(callback); }
  void SetBriCompressTest(BriCompressTest test) { m_bri_test = std::move(test); }
  void SetSourceFolder(std::filesystem::path folder) { m_source_folder = std::move(folder); }

  const std::filesystem::path& FileName() const { return m_file_name; }
  const std::filesystem::path& SourceFolder() const { return m_source_folder; }
  TKvBigStream* Container() const { return m_container.get(); }
  ArchiveForm Form() const { return m_form; }
  // The version read (102 for collections not read from an archive).
  std::int32_t Version() const { return m_version; }
  // The resource of a resource archive.
  const std::filesystem::path& ResourceModule() const { return m_module; }
  const std::string& ResourceName() const { return m_resource_name; }
  const std::string& ResourceType() const { return m_resource_type; }
  // The file whose bytes the entry offsets refer to (the archive file; the
  // data file of the companion form).
  const std::filesystem::path& DataFileName() const { return m_data_file; }
  const ArchiveOptions& Options() const { return m_options; }

  // The number of entries without the sentinel.
  int EntryCount() const;

 private:
  void reset();
  // Reads a directory from `stream` at its position into the collection
  // (appending the sentinel). Offsets are relative to `data_base` and are
  // checked against `data_end`: the container position where data ends (the
  // size of the data's container, or where an appended archive's trailer
  // starts).
  void read_directory(TKvBigStream& stream, std::int64_t data_base, std::int64_t data_end);
  void open_file(const std::filesystem::path& file_name);
  std::int64_t write_entry(TKvBigStream& out, const TVrFile& entry, std::uint8_t& stored, std::int32_t& time_stamp,
                           std::uint32_t& checksum);

  ArchiveOptions m_options;
  std::filesystem::path m_file_name;
  std::filesystem::path m_data_file;
  std::filesystem::path m_source_folder;
  std::unique_ptr<TKvBigStream> m_container;
  ArchiveForm m_form = ArchiveForm::None;
  std::int32_t m_version = kArchiveVersion;
  std::filesystem::path m_module;
  std::string m_resource_name;
  std::string m_resource_type;
  ProgressCallback m_progress;
  BriCompressTest m_bri_test;
  Inflater m_inflater;
  MemoryBlock m_scratch;
  HostFileFinder m_finder;
};

// True when the file ends with the "nv" trailer of an appended archive.
bool has_appended_trailer(const std::filesystem::path& file);
// Writes the trailer of an archive appended to `container` at its end: the
// archive's start `base` (int32), then "nv". Raises core::Error when the
// start does not fit in the trailer.
void write_appended_trailer(TKvBigStream& container, std::int64_t base);

}  // namespace nova::files
