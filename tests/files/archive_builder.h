// Builds archive bytes of every version by hand, independently of the
// product's writer, so that the reader is checked against the format itself
// rather than against our own writer alone. Shared by the tests and the
// fuzzers' seed generators.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nova::test {

struct RawEntry {
  std::string name;
  std::string data;  // as stored (already compressed when `stored` is false)
  bool stored = true;
  std::int32_t time_stamp = 0;
  std::uint32_t checksum = 0;
  bool checksum_mode = false;
};

// The scrambling generator, written out again: s := s * 5 + 1486273059.
class RawScrambler {
 public:
  std::uint32_t next() { return m_s = m_s * 5u + 1486273059u; }

 private:
  std::uint32_t m_s = 0;
};

// The directory of an archive of `version` (0 writes no "vf" magic; 100 and
// above scramble; 101 and above have 8-byte offsets and flags; 102 modes),
// with offsets counted from `first_offset`.
std::string build_directory(int version, const std::vector<RawEntry>& entries, std::int64_t first_offset);
// The size of that directory.
std::int64_t directory_size(int version, const std::vector<RawEntry>& entries);
// A whole archive: directory, then data (offsets relative to its start).
std::string build_archive(int version, const std::vector<RawEntry>& entries);
// The companion form: the ".ext" directory and the data file it refers to.
struct SplitArchive {
  std::string directory;
  std::string data;
};
SplitArchive build_split_archive(int version, const std::vector<RawEntry>& entries);
// An archive behind `front` (an executable): front, archive, int32 B, "nv".
std::string build_appended(std::string_view front, int version, const std::vector<RawEntry>& entries);

// n pseudo-random bytes (incompressible), the same for the same seed.
std::string noise(std::size_t n, std::uint32_t seed);

// zlib at the given level.
std::string zlib_compress(std::string_view data, int level = 6);
std::uint32_t crc32_of(std::string_view data);

// A minimal ELF file (64- or 32-bit, little-endian) holding the given
// sections after a ".shstrtab".
struct RawSection {
  std::string name;
  std::string data;
};
std::string build_elf(const std::vector<RawSection>& sections, bool wide = true);

// An "install.dat" of a version (0: without the "is" tag), written field by
// field by hand: disc 2, title "Title", two records, and the written files
// given (from version 102).
std::vector<std::uint8_t> build_install_file(int version, const std::vector<std::string>& written);

}  // namespace nova::test
