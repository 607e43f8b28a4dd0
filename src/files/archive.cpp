// Archive reading: container forms, the directory reader, entry data.
#include "files/archive.h"

#include <algorithm>
#include <cstring>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "files/names.h"
#include "files/resource.h"

namespace nova::files {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail_directory(std::string_view what) {
  throw core::Error(core::format("damaged archive directory: %s", {what}));
}

bool is_file(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

// A file read only as itself: a part size no file reaches, so the set ends
// with part 0.
constexpr std::int64_t kSinglePart = INT64_MAX;

// The start B of an archive appended to `container`, from its last 6 bytes
// (int32 B, "nv"); raises core::Error when there is none.
std::int64_t appended_base(TKvBigStream& container) {
  const std::int64_t size = container.GetSize();
  std::uint8_t trailer[6] = {};
  if (size >= 6) {
    container.SetPosition(size - 6);
    container.ReadBuffer(trailer, 6);
  }
  if (size < 6 || trailer[4] != 'n' || trailer[5] != 'v') {
    core::throw_error("no archive is appended (the data does not end with \"nv\")");
  }
  const auto base = static_cast<std::int32_t>(trailer[0] | trailer[1] << 8 | trailer[2] << 16 |
                                              static_cast<std::uint32_t>(trailer[3]) << 24);
  if (base < 0 || base > size - 6) {
    throw core::Error(core::format("the appended archive's start %d lies outside the file", {base}));
  }
  return base;
}

// Whether the appended form applies to the file (".exe", ".scr", or an ELF
// file by its first bytes, read through `contents` from its start).
bool is_executable(const fs::path& file, TKvBigStream& contents) {
  std::string ext = core::upper(file.extension().string());
  if (ext == ".EXE" || ext == ".SCR") return true;
  char magic[4];
  contents.SetPosition(0);
  const bool elf = contents.Read(magic, 4) == 4 && std::memcmp(magic,
                                                               "\x7F"
                                                               "ELF",
                                                               4) == 0;
  contents.SetPosition(0);
  return elf;
}

struct RawDirectory {
  std::int32_t version = 0;
  std::vector<std::string> names;
  std::vector<std::int64_t> offsets;
  std::vector<std::uint8_t> stored;
  std::vector<std::int32_t> times;
  std::vector<std::uint32_t> sums;
  std::vector<std::uint8_t> modes;
};

}  // namespace

std::string_view form_name(ArchiveForm form) {
  switch (form) {
    case ArchiveForm::None: return "none";
    case ArchiveForm::File: return "file";
    case ArchiveForm::Companion: return "companion directory";
    case ArchiveForm::Appended: return "appended";
    case ArchiveForm::Resource: return "resource";
    case ArchiveForm::Stream: return "stream";
  }
  return "?";
}

bool has_appended_trailer(const fs::path& file) {
  try {
    TKvBigFileStream s(file, file_mode::kOpenRead | file_mode::kShareDenyWrite, kSinglePart);
    std::int64_t size = s.GetSize();
    if (size < 2) return false;
    char tail[2];
    s.SetPosition(size - 2);
    return s.Read(tail, 2) == 2 && tail[0] == 'n' && tail[1] == 'v';
  } catch (const core::Error&) {
    return false;
  }
}

void write_appended_trailer(TKvBigStream& container, std::int64_t base) {
  if (base < 0 || base > INT32_MAX) {
    throw core::Error(
        core::format("the appended archive's start %d does not fit in the trailer", {static_cast<long long>(base)}));
  }
  const auto b = static_cast<std::uint32_t>(base);
  const std::uint8_t trailer[6] = {static_cast<std::uint8_t>(b),
                                   static_cast<std::uint8_t>(b >> 8),
                                   static_cast<std::uint8_t>(b >> 16),
                                   static_cast<std::uint8_t>(b >> 24),
                                   'n',
                                   'v'};
  container.SetPosition(container.GetSize());
  container.WriteBuffer(trailer, 6);
}

TVrFileCollection::TVrFileCollection(ArchiveOptions options) : m_options(options), m_inflater(options.inflate) {}

TVrFileCollection::~TVrFileCollection() = default;

int TVrFileCollection::EntryCount() const {
  int n = 0;
  for (int i = 0; i < Count(); ++i) n += At(i).IsSentinel() ? 0 : 1;
  return n;
}

void TVrFileCollection::reset() {
  Clear();
  m_container.reset();
  m_form = ArchiveForm::None;
  m_version = kArchiveVersion;
  m_data_file.clear();
  m_module.clear();
  m_resource_name.clear();
  m_resource_type.clear();
}

// --- the directory -----------------------------------------------------------

void TVrFileCollection::read_directory(TKvBigStream& stream, std::int64_t data_base, std::int64_t data_end) {
  RawDirectory d;
  const std::int64_t size = stream.GetSize();
  std::int64_t position = stream.GetPosition();
  {
    char magic[2] = {};
    bool has_magic = stream.Read(magic, 2) == 2 && magic[0] == 'v' && magic[1] == 'f';
    if (!has_magic) stream.SetPosition(position);
    TKvBuffBigStream in(stream);
    if (has_magic) {
      d.version = in.i32();
      if (d.version < 0 || d.version > kArchiveVersion) {
        fail_directory(core::format("unknown version %d", {d.version}));
      }
    }
    const bool scrambled = d.version >= 100;
    const bool wide = d.version >= 101;
    const int offset_width = wide ? 8 : 4;
    // Bytes every entry needs at the least: an empty name, its offset and
    // (from 101) its flags, time stamp, checksum and mode.
    const std::int64_t per_entry = 4 + offset_width + (wide ? 9 : 0) + (d.version >= 102 ? 1 : 0);

    const std::int32_t n = in.i32();
    auto remaining = [&] { return size - in.Position(); };
    if (n < 0) fail_directory(core::format("negative entry count %d", {n}));
    if (n > (remaining() - offset_width) / per_entry) {
      fail_directory(core::format("%d entries cannot fit in the file", {n}));
    }
    const auto count = static_cast<std::size_t>(n);

    d.names.resize(count);
    ArchiveScrambler names_key;
    for (auto& name : d.names) {
      std::int32_t length = in.i32();
      if (length < 0 || length > remaining()) fail_directory(core::format("bad name length %d", {length}));
      name.resize(static_cast<std::size_t>(length));
      in.ReadBuffer(name.data(), length);
      if (scrambled) names_key.Scramble(name);
    }

    d.offsets.resize(count + 1);
    if (static_cast<std::int64_t>(count + 1) * offset_width > remaining()) fail_directory("the offsets are cut off");
    ArchiveScrambler offsets_key;
    for (auto& offset : d.offsets) {
      if (wide) {
        auto v = static_cast<std::uint64_t>(in.i64());
        if (scrambled) v ^= offsets_key.NextWide();
        offset = static_cast<std::int64_t>(v);
      } else {
        std::uint32_t v = in.u32();
        if (scrambled) v ^= offsets_key.Next();
        offset = static_cast<std::int32_t>(v);
      }
    }

    d.stored.assign(count, 0);
    d.times.assign(count, 0);
    d.sums.assign(count, 0);
    d.modes.assign(count, 0);
    if (wide) {
      in.ReadBuffer(d.stored.data(), static_cast<std::int64_t>(count));
      for (auto& t : d.times) t = in.i32();
      for (auto& s : d.sums) s = in.u32();
      if (d.version >= 102) in.ReadBuffer(d.modes.data(), static_cast<std::int64_t>(count));
    }
  }

  // Every entry must lie inside the data, in order.
  const std::int64_t data_size = data_end - data_base;
  for (std::size_t i = 0; i < d.offsets.size(); ++i) {
    std::int64_t o = d.offsets[i];
    if (o < 0 || o > data_size)
      fail_directory(core::format("offset %d lies outside the data", {static_cast<long long>(o)}));
    if (i > 0 && o < d.offsets[i - 1])
      fail_directory(core::format("entry %d has a negative length", {static_cast<long long>(i - 1)}));
  }

  m_version = d.version;
  for (std::size_t i = 0; i < d.names.size(); ++i) {
    TVrFile& f = Add(std::move(d.names[i]));
    f.offset = data_base + d.offsets[i];
    f.length = d.offsets[i + 1] - d.offsets[i];
    f.stored = d.stored[i] != 0;
    f.time_stamp = d.times[i];
    f.checksum = d.sums[i];
    f.checksum_mode = d.modes[i] != 0;
  }
  TVrFile& sentinel = Add(std::string(kSentinelName));
  sentinel.offset = d.offsets.back();
}

// --- opening -----------------------------------------------------------------

void TVrFileCollection::Open(const fs::path& file_name) {
  reset();
  m_file_name = file_name;
  if (!is_file(file_name)) {
    m_source_folder = file_name;
    return;
  }
  m_source_folder = file_name.parent_path();
  try {
    open_file(file_name);
  } catch (const core::Error& e) {
    reset();
    throw core::Error(host::path_text(file_name) + ": " + e.message());
  }
}

void TVrFileCollection::open_file(const fs::path& file_name) {
  const std::uint32_t mode = file_mode::kOpenRead | file_mode::kShareDenyWrite;
  auto container = std::make_unique<TKvBigFileStream>(file_name, mode, m_options.part_size);
  if (is_executable(file_name, *container)) {
    const std::int64_t base = appended_base(*container);
    container->SetPosition(base);
    read_directory(*container, base, container->GetSize() - 6);
    m_container = std::move(container);
    m_form = ArchiveForm::Appended;
    m_data_file = file_name;
    return;
  }

  fs::path companion = file_name;
  companion.replace_extension(".ext");
  if (core::upper(file_name.extension().string()) == ".EXT") companion.clear();
  if (!companion.empty() && !is_file(companion)) {
    auto title_name = HostFileFinder::TitleNameOf(companion.filename());
    auto found = title_name ? m_finder.FindFile(file_name.parent_path(), *title_name) : std::nullopt;
    companion = found ? *found : fs::path();
  }
  if (!companion.empty()) {
    TKvBigFileStream directory(companion, mode, kSinglePart);
    try {
      read_directory(directory, 0, container->GetSize());
    } catch (const core::Error& e) {
      throw core::Error(host::path_text(companion) + ": " + e.message());
    }
    m_form = ArchiveForm::Companion;
  } else {
    read_directory(*container, 0, container->GetSize());
    m_form = ArchiveForm::File;
  }
  m_container = std::move(container);
  m_data_file = file_name;
}

void TVrFileCollection::OpenResource(const fs::path& module, std::string_view resource_name,
                                     std::string_view resource_type) {
  reset();
  const fs::path& executable = m_options.executable;
  const bool other_module = !module.empty() && !core::equal_ci(module.string(), executable.string());
  const fs::path path = other_module ? module : executable;
  std::unique_ptr<TKvBigFileStream> file;
  try {
    file = std::make_unique<TKvBigFileStream>(path, file_mode::kOpenRead | file_mode::kShareDenyWrite, kSinglePart);
  } catch (const core::Error&) {
    if (other_module) return;  // the module cannot be loaded: no archive
    throw;
  }
  auto range = find_elf_section(*file, resource_section_name(resource_name, resource_type));
  if (!range || range->size == 0) core::throw_error_utf8("リソースが見つかりません");
  auto stream = std::make_unique<TKvBigWindowStream>(std::move(file), range->offset, range->size);
  try {
    read_directory(*stream, 0, stream->GetSize());
  } catch (const core::Error&) {
    reset();
    throw;
  }
  m_container = std::move(stream);
  m_form = ArchiveForm::Resource;
  m_module = path;
  m_resource_name = resource_name;
  m_resource_type = resource_type;
}

void TVrFileCollection::OpenStream(std::unique_ptr<TKvBigStream> container, ArchiveForm form) {
  reset();
  try {
    const std::int64_t size = container->GetSize();
    if (form == ArchiveForm::Appended) {
      const std::int64_t base = appended_base(*container);
      container->SetPosition(base);
      read_directory(*container, base, size - 6);
    } else {
      container->SetPosition(0);
      read_directory(*container, 0, size);
      form = ArchiveForm::Stream;
    }
  } catch (const core::Error&) {
    reset();
    throw;
  }
  m_container = std::move(container);
  m_form = form;
}

void TVrFileCollection::OpenSplit(std::unique_ptr<TKvBigStream> directory, std::unique_ptr<TKvBigStream> data) {
  reset();
  try {
    directory->SetPosition(0);
    read_directory(*directory, 0, data->GetSize());
  } catch (const core::Error&) {
    reset();
    throw;
  }
  m_container = std::move(data);
  m_form = ArchiveForm::Companion;
}

// --- entries -----------------------------------------------------------------

TVrFile& TVrFileCollection::AddMemoryFile(std::string name, std::span<const std::uint8_t> data, bool checksum_mode) {
  TVrFile& f = Add(std::move(name));
  f.memory = std::make_unique<TKvMemoryStream>(data);
  f.checksum_mode = checksum_mode;
  return f;
}

TVrFile& TVrFileCollection::AddBorrowedFile(std::string name, std::span<const std::uint8_t> data,
                                           bool checksum_mode) {
  TVrFile& f = Add(std::move(name));
  f.borrowed = data;
  f.borrows = true;
  f.checksum_mode = checksum_mode;
  return f;
}

TVrFile& TVrFileCollection::AddSourceName(std::string name, bool checksum_mode) {
  TVrFile& f = Add(std::move(name));
  f.checksum_mode = checksum_mode;
  return f;
}

void TVrFileCollection::ReadStored(const TVrFile& entry, MemoryBlock& out) {
  if (entry.InMemory()) {
    out.assign(entry.MemoryBytes());
    return;
  }
  if (!m_container) throw core::Error(core::format(core::sjis("%s:ファイルがありません"), {entry.Name()}));
  if (entry.length > kMaxMemoryStreamSize) {
    throw core::Error(core::format("%s: the entry is too large to be read into memory", {entry.Name()}));
  }
  out.resize_uninitialized(static_cast<std::size_t>(entry.length));
  m_container->SetPosition(entry.offset);
  if (m_container->GetPosition() != entry.offset || m_container->Read(out.data(), entry.length) != entry.length) {
    throw core::Error(core::format("%s: the archive ends inside the entry", {entry.Name()}));
  }
}

void TVrFileCollection::ReadEntry(const TVrFile& entry, MemoryBlock& out) {
  if (entry.InMemory()) {
    out.assign(entry.MemoryBytes());
    return;
  }
  if (!m_container) throw core::Error(core::format(core::sjis("%s:ファイルがありません"), {entry.Name()}));
  if (entry.length <= 0) {
    out.clear();
    return;
  }
  if (entry.stored) {
    ReadStored(entry, out);
    return;
  }
  ReadStored(entry, m_scratch);
  try {
    m_inflater.Inflate(m_scratch.bytes(), out, m_options.max_inflated_size);
  } catch (const core::Error& e) {
    throw core::Error(entry.Name() + ": " + e.message());
  }
  // A large compressed entry should not keep its buffer for the run.
  if (m_scratch.capacity() > (std::size_t{8} << 20)) m_scratch.release();
}

std::string TVrFileCollection::CheckEntry(const TVrFile& entry) {
  MemoryBlock stored_bytes;
  MemoryBlock data;
  try {
    ReadStored(entry, stored_bytes);
    if (!entry.InMemory() && !entry.stored && entry.length > 0) {
      m_inflater.Inflate(stored_bytes.bytes(), data, m_options.max_inflated_size);
    }
  } catch (const core::Error& e) {
    return e.message();
  }
  if (!HasChecksums() || entry.InMemory()) return {};
  const bool inflated = !entry.stored && entry.length > 0;
  const std::uint32_t crc = Crc32(0, (entry.checksum_mode && inflated ? data : stored_bytes).bytes());
  if (crc != entry.checksum) {
    return core::format("checksum %08X does not match the recorded %08X (over the %s)",
                        {crc, entry.checksum, entry.checksum_mode ? "data" : "stored bytes"});
  }
  return {};
}

void TVrFileCollection::ReadEntry(const TVrFile& entry, TKvMemoryStream& out) {
  out.Clear();
  ReadEntry(entry, out.Block());
  out.SetPosition(0);
}

}  // namespace nova::files
