#include "files/install_set.h"

#include <cstring>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "files/names.h"
#include "files/stream.h"

namespace nova::files {

namespace {

// A count that the remaining bytes must be able to hold at `each` bytes
// per element.
std::size_t checked_count(core::ByteReader& in, std::size_t each, std::string_view what) {
  std::int32_t n = in.i32();
  if (n < 0) in.fail(core::format("negative %s count", {what}));
  if (static_cast<std::size_t>(n) > in.remaining() / each) in.fail(core::format("%s count too large", {what}));
  return static_cast<std::size_t>(n);
}

std::vector<std::string> read_strings(core::ByteReader& in, std::string_view what) {
  std::size_t n = checked_count(in, 4, what);
  std::vector<std::string> v;
  v.reserve(n);
  for (std::size_t i = 0; i < n; ++i) v.push_back(in.str());
  return v;
}

}  // namespace

TNovaInstallSet TNovaInstallSet::Parse(std::span<const std::uint8_t> bytes) {
  core::ByteReader in(bytes);
  in.set_context("install.dat");
  TNovaInstallSet s;
  s.version = 0;
  if (bytes.size() >= 2 && bytes[0] == 'i' && bytes[1] == 's') {
    std::string tag = in.bytes(5);
    int v = 0;
    for (int i = 2; i < 5; ++i) {
      if (tag[i] < '0' || tag[i] > '9') in.fail("bad version digits");
      v = v * 10 + (tag[i] - '0');
    }
    s.version = v;
  }
  const int v = s.version;
  s.disc = in.i32();
  s.title = in.str();
  for (auto& str : s.strings4to6) str = in.str();
  s.byte7 = in.u8();
  s.string8 = in.str();
  s.byte9 = in.u8();
  const std::size_t wide = v >= 100 ? 8 : 4;
  const std::size_t record_count = checked_count(in, 4 * wide, "record");
  s.string11 = in.str();
  s.value12 = in.i32();
  s.bytes12[0] = in.u8();
  s.bytes12[1] = in.u8();
  for (auto& str : s.strings13) str = in.str();
  auto value = [&]() -> std::int64_t { return wide == 8 ? in.i64() : static_cast<std::int64_t>(in.i32()); };
  s.records14.resize(record_count);
  for (auto& r : s.records14) {
    for (auto& x : r) x = value();
  }
  for (auto& x : s.values15) x = value();
  s.byte16 = in.u8();
  if (v > 100) s.byte17 = in.u8();
  if (v > 101) {
    for (auto& name : read_strings(in, "written file")) {
      if (!name.empty()) s.written_files.push_back(std::move(name));
    }
  }
  if (v > 102) s.data_installed = in.boolean();
  if (v > 103) s.byte20 = in.u8();
  if (v > 104) s.byte21 = in.u8();
  if (v > 105) s.list22 = read_strings(in, "string list");
  if (v > 106) s.string23 = in.str();
  if (v > 107) {
    for (auto& str : s.strings24) str = in.str();
  }
  if (v > kVersion) {
    auto rest = in.span(in.remaining());
    s.newer_tail.assign(rest.begin(), rest.end());
  }
  return s;
}

TNovaInstallSet TNovaInstallSet::LoadFromFile(const std::filesystem::path& path) {
  MemoryBlock bytes;
  host::read_whole_file(path, bytes);
  return Parse(bytes.bytes());
}

void TNovaInstallSet::Write(core::ByteWriter& out) const {
  const int v = version > kVersion ? version : kVersion;
  out.bytes(core::format("is%.3d", {v}));
  out.i32(disc);
  out.str(title);
  for (const auto& str : strings4to6) out.str(str);
  out.u8(byte7);
  out.str(string8);
  out.u8(byte9);
  out.i32(static_cast<std::int32_t>(records14.size()));
  out.str(string11);
  out.i32(value12);
  out.u8(bytes12[0]);
  out.u8(bytes12[1]);
  for (const auto& str : strings13) out.str(str);
  for (const auto& r : records14) {
    for (auto x : r) out.i64(x);
  }
  for (auto x : values15) out.i64(x);
  out.u8(byte16);
  out.u8(byte17);
  out.i32(static_cast<std::int32_t>(written_files.size()));
  for (const auto& name : written_files) out.str(name);
  out.boolean(data_installed);
  out.u8(byte20);
  out.u8(byte21);
  out.i32(static_cast<std::int32_t>(list22.size()));
  for (const auto& str : list22) out.str(str);
  out.str(string23);
  for (const auto& str : strings24) out.str(str);
  if (version > kVersion) out.bytes(std::span<const std::uint8_t>(newer_tail));
}

std::vector<std::uint8_t> TNovaInstallSet::Bytes() const {
  core::ByteWriter out;
  Write(out);
  return out.take();
}

void TNovaInstallSet::SaveToFile(const std::filesystem::path& path) const {
  host::write_file_atomically(path, Bytes());
}

bool TNovaInstallSet::AddWrittenFile(std::string name) {
  if (name.empty()) return false;
  for (const auto& f : written_files) {
    if (core::equal_ci(f, name)) return false;
  }
  written_files.push_back(std::move(name));
  return true;
}

// --- TFolderDiskList ---------------------------------------------------------

void TFolderDiskList::Read(core::ByteReader& in) {
  m_pairs.clear();
  std::size_t n = checked_count(in, 8, "folder-disc");
  m_pairs.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    Pair p;
    p.folder = in.str();
    p.disc = in.i32();
    m_pairs.push_back(std::move(p));
  }
}

void TFolderDiskList::Write(core::ByteWriter& out) const {
  out.i32(static_cast<std::int32_t>(m_pairs.size()));
  for (const auto& p : m_pairs) {
    out.str(p.folder);
    out.i32(p.disc);
  }
}

std::int32_t TFolderDiskList::DiscOf(std::string_view name) const {
  // equal_ci folds case itself, so the name is walked as it stands.
  std::string_view current = name;
  while (!current.empty()) {
    const std::string key = names::with_separator(current);
    for (const auto& p : m_pairs) {
      if (core::equal_ci(names::with_separator(p.folder), key)) return p.disc;
    }
    std::size_t cut = names::last_separator(current);
    current = current.substr(0, cut == std::string_view::npos ? 0 : cut);
  }
  return 0;
}

}  // namespace nova::files
