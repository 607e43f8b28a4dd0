#include "files/resource.h"

#include <cstring>
#include <vector>

#include "core/error.h"
#include "core/sjis.h"
#include "files/big_stream.h"

namespace nova::files {
namespace {

constexpr std::uint32_t kNoBits = 8;              // SHT_NOBITS
constexpr std::uint16_t kExtendedIndex = 0xFFFF;  // SHN_XINDEX

std::uint64_t le(const std::uint8_t* p, int n) {
  std::uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// Reads exactly n bytes at `offset`, or answers false.
bool read_at(TKvBigStream& file, std::uint64_t offset, void* out, std::uint64_t n) {
  auto size = static_cast<std::uint64_t>(file.GetSize());
  if (offset > size || n > size - offset) return false;
  file.SetPosition(static_cast<std::int64_t>(offset));
  return file.Read(out, static_cast<std::int64_t>(n)) == static_cast<std::int64_t>(n);
}

struct SectionHeader {
  std::uint32_t name = 0;
  std::uint32_t type = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint32_t link = 0;
};

}  // namespace

std::string resource_section_name(std::string_view resource_name, std::string_view resource_type) {
  return ".nvres/" + core::upper(resource_type) + "/" + core::upper(resource_name);
}

std::optional<SectionRange> find_elf_section(TKvBigStream& file, std::string_view section_name) {
  const auto file_size = static_cast<std::uint64_t>(file.GetSize());
  std::uint8_t ident[64] = {};
  if (!read_at(file, 0, ident, 52)) return std::nullopt;  // the smaller (32-bit) header
  if (std::memcmp(ident,
                  "\x7F"
                  "ELF",
                  4) != 0 ||
      ident[5] != 1 /* little-endian */)
    return std::nullopt;
  const bool wide = ident[4] == 2;
  if (!wide && ident[4] != 1) return std::nullopt;
  if (wide && !read_at(file, 0, ident, 64)) return std::nullopt;

  const std::uint64_t shoff = wide ? le(ident + 0x28, 8) : le(ident + 0x20, 4);
  const auto shentsize = static_cast<std::uint32_t>(wide ? le(ident + 0x3A, 2) : le(ident + 0x2E, 2));
  std::uint64_t shnum = wide ? le(ident + 0x3C, 2) : le(ident + 0x30, 2);
  std::uint32_t shstrndx = static_cast<std::uint32_t>(wide ? le(ident + 0x3E, 2) : le(ident + 0x32, 2));
  const std::uint32_t min_entry = wide ? 64 : 40;
  if (shoff == 0 || shentsize < min_entry || shoff >= file_size) return std::nullopt;

  auto read_header = [&](std::uint64_t index, SectionHeader& h) {
    std::uint8_t raw[64];
    if (index > (file_size - shoff) / shentsize) return false;
    if (!read_at(file, shoff + index * shentsize, raw, min_entry)) return false;
    h.name = static_cast<std::uint32_t>(le(raw, 4));
    h.type = static_cast<std::uint32_t>(le(raw + 4, 4));
    h.offset = wide ? le(raw + 0x18, 8) : le(raw + 0x10, 4);
    h.size = wide ? le(raw + 0x20, 8) : le(raw + 0x14, 4);
    h.link = static_cast<std::uint32_t>(wide ? le(raw + 0x28, 4) : le(raw + 0x18, 4));
    return true;
  };

  // Files with very many sections keep the true counts in section 0.
  SectionHeader first;
  if (!read_header(0, first)) return std::nullopt;
  if (shnum == 0) shnum = first.size;
  if (shstrndx == kExtendedIndex) shstrndx = first.link;
  if (shnum > (file_size - shoff) / shentsize || shstrndx >= shnum) return std::nullopt;

  SectionHeader strings;
  if (!read_header(shstrndx, strings) || strings.type == kNoBits) return std::nullopt;
  if (strings.offset > file_size || strings.size > file_size - strings.offset) return std::nullopt;

  std::vector<char> name(section_name.size() + 1);
  for (std::uint64_t i = 1; i < shnum; ++i) {
    SectionHeader h;
    if (!read_header(i, h)) return std::nullopt;
    if (h.name >= strings.size || strings.size - h.name < name.size()) continue;
    if (!read_at(file, strings.offset + h.name, name.data(), name.size())) return std::nullopt;
    if (name.back() != '\0' || !core::equal_ci(std::string_view(name.data(), section_name.size()), section_name)) {
      continue;
    }
    if (h.type == kNoBits) return SectionRange{0, 0};
    if (h.offset > file_size || h.size > file_size - h.offset) return std::nullopt;
    return SectionRange{static_cast<std::int64_t>(h.offset), static_cast<std::int64_t>(h.size)};
  }
  return std::nullopt;
}

std::optional<ResourceLocation> find_resource(const std::filesystem::path& module, std::string_view resource_name,
                                              std::string_view resource_type) {
  if (module.empty()) return std::nullopt;
  const std::filesystem::path& path = module;
  try {
    TKvBigFileStream file(path, file_mode::kOpenRead | file_mode::kShareDenyWrite);
    auto range = find_elf_section(file, resource_section_name(resource_name, resource_type));
    if (!range) return std::nullopt;
    return ResourceLocation{path, *range};
  } catch (const core::Error&) {
    return std::nullopt;
  }
}

}  // namespace nova::files
