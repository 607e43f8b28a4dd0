// Resources of executables on this platform.
//
// A title can ship its archive inside the player's executable (or another
// module) as a resource with a name and a type, such as "DUMMY" of type
// "BINTYPE". Here a resource is an ELF section of the module file named
// ".nvres/<TYPE>/<NAME>" (type and name upper-cased; they are compared
// without regard to case, as resource names are). Such a section is added
// after linking, for example with
//   objcopy --add-section .nvres/BINTYPE/DUMMY=game.dat novaplayer
// and is not loaded into memory: it is read from the file, so the module is
// never mapped or run to read it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace nova::files {

class TKvBigStream;

// The section name a resource is stored under.
std::string resource_section_name(std::string_view resource_name, std::string_view resource_type);

struct SectionRange {
  std::int64_t offset = 0;  // in the file
  std::int64_t size = 0;
};

// Looks the section up in an ELF file read through `file` (32- or 64-bit,
// little-endian). Every header field is checked against the file's size; a
// file that is not ELF, is damaged or lacks the section answers nullopt.
// Sections without file contents (NOBITS) have size 0.
std::optional<SectionRange> find_elf_section(TKvBigStream& file, std::string_view section_name);

struct ResourceLocation {
  std::filesystem::path module;
  SectionRange range;
};

// Finds a resource of a module file (empty: the running executable).
// nullopt when the module cannot be read or has no such resource.
std::optional<ResourceLocation> find_resource(const std::filesystem::path& module, std::string_view resource_name,
                                              std::string_view resource_type);

}  // namespace nova::files
