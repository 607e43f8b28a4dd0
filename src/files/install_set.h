// Install data ("install.dat") and the folder-disc list of multi-disc
// titles.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"

namespace nova::files {

// "install.dat": written by the title's installer, read by the player for
// the disc number, the title, the data-installed flag and the list of files
// scripts wrote into the title folder. Everything else is the installer's
// and is kept and written back as read.
//
// Versions: a file starting with "is" and three digits carries that
// version; any other file is version 0, read from its first byte. Fields
// come in with versions 101 to 108; the 4 values of each record are 4 bytes
// wide below version 100 and 8 bytes from 100. The writer writes "is108"
// (or the version read, when it is newer), so fields a file lacked are
// written with empty values.
class TNovaInstallSet {
 public:
  static constexpr int kVersion = 108;

  // Raises core::Error for a damaged or truncated file.
  static TNovaInstallSet Parse(std::span<const std::uint8_t> bytes);
  static TNovaInstallSet LoadFromFile(const std::filesystem::path& path);
  void Write(core::ByteWriter& out) const;
  std::vector<std::uint8_t> Bytes() const;
  // Replaces the file atomically.
  void SaveToFile(const std::filesystem::path& path) const;

  // Adds a name to the written-files list unless it is there (compared
  // without regard to case); answers whether it was added.
  bool AddWrittenFile(std::string name);

  int version = kVersion;  // the version read
  std::int32_t disc = 0;   // the disc this file describes, from 0
  std::string title;
  std::vector<std::string> written_files;
  bool data_installed = false;

  // Installer data, in file order.
  std::array<std::string, 3> strings4to6;
  std::uint8_t byte7 = 0;
  std::string string8;
  std::uint8_t byte9 = 0;
  std::string string11;
  std::int32_t value12 = 0;
  std::array<std::uint8_t, 2> bytes12{};
  std::array<std::string, 2> strings13;
  std::vector<std::array<std::int64_t, 4>> records14;
  std::array<std::int64_t, 4> values15{};
  std::uint8_t byte16 = 0;
  std::uint8_t byte17 = 0;
  std::uint8_t byte20 = 0;
  std::uint8_t byte21 = 0;
  std::vector<std::string> list22;
  std::string string23;
  std::array<std::string, 2> strings24;
  // What follows the known fields in a file of a newer version.
  std::vector<std::uint8_t> newer_tail;
};

// Pairs (folder, disc number): which disc holds the files below a folder.
// Stored as an int32 count, then per pair an int32 length, the folder bytes
// and an int32 disc number.
class TFolderDiskList {
 public:
  struct Pair {
    std::string folder;
    std::int32_t disc = 0;
  };

  // Raises core::Error for a damaged list.
  void Read(core::ByteReader& in);
  void Write(core::ByteWriter& out) const;

  void Add(std::string folder, std::int32_t disc) { m_pairs.push_back({std::move(folder), disc}); }
  void Clear() { m_pairs.clear(); }
  const std::vector<Pair>& Pairs() const { return m_pairs; }

  // The disc of the nearest folder holding the name: the name, then each
  // folder above it, is compared (with a trailing "\", without regard to
  // case) with the folders of the pairs; 0 when none matches.
  std::int32_t DiscOf(std::string_view name) const;

 private:
  std::vector<Pair> m_pairs;
};

}  // namespace nova::files
