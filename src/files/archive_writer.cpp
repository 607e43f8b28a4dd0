// Archive writing: the directory, the entry rules, the progress callback.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "core/binary_io.h"
#include "core/error.h"
#include "core/format.h"
#include "core/log.h"
#include "core/sjis.h"
#include "files/archive.h"
#include "files/names.h"
#include "files/range_stream.h"

namespace nova::files {
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kSinglePart = INT64_MAX;

// The extension occurs in the list of never-compressed extensions. An empty
// extension occurs nowhere (a file without one is compressible).
bool in_stored_list(const std::string& upper_extension) {
  return !upper_extension.empty() && kStoredExtensions.find(upper_extension) != std::string_view::npos;
}

// Copies `count` bytes from the source's position to the output and answers
// their CRC-32.
std::uint32_t copy_with_crc(TKvBigStream& source, std::int64_t count, TKvBigStream& out) {
  std::uint32_t crc = 0;
  read_in_chunks(source, count, [&](std::span<const std::uint8_t> piece) {
    crc = Crc32(crc, piece);
    out.WriteBuffer(piece.data(), static_cast<std::int64_t>(piece.size()));
    return true;
  });
  return crc;
}

struct Written {
  std::int64_t bytes = 0;
  std::uint8_t stored = 0;
  std::uint32_t checksum = 0;
};

// Writes data of less than the limit compressed (or, with `nine_tenths`,
// as is when compressing saves too little), data of the limit or more as
// is. The checksum follows the mode.
Written write_data(TKvBigStream& out, std::span<const std::uint8_t> data, bool checksum_mode, bool compress,
                   bool nine_tenths) {
  Written w;
  if (compress) {
    MemoryBlock packed;
    DeflateLevel1(data, packed);
    const auto size = static_cast<std::int64_t>(data.size());
    const auto packed_size = static_cast<std::int64_t>(packed.size());
    if (!nine_tenths || size * 9 / 10 >= packed_size) {
      out.WriteBuffer(packed.data(), packed_size);
      w.bytes = packed_size;
      w.stored = 0;
      w.checksum = checksum_mode ? Crc32(0, data) : Crc32(0, packed.bytes());
      return w;
    }
  }
  out.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
  w.bytes = static_cast<std::int64_t>(data.size());
  w.stored = 1;
  w.checksum = Crc32(0, data);
  return w;
}

}  // namespace

std::int64_t TVrFileCollection::write_entry(TKvBigStream& out, const TVrFile& entry, std::uint8_t& stored,
                                            std::int32_t& time_stamp, std::uint32_t& checksum) {
  Written w;
  time_stamp = entry.time_stamp;
  std::optional<fs::path> source;
  if (!entry.InMemory() && !m_source_folder.empty() && names::unsafe_reason(entry.Name()).empty()) {
    source = m_finder.FindFile(m_source_folder, entry.Name());
  }

  if (entry.InMemory()) {
    auto data = entry.MemoryBytes();
    w = write_data(out, data, entry.checksum_mode, static_cast<std::int64_t>(data.size()) < kArchiveLimit, false);
  } else if (source) {
    struct stat st {};
    if (::stat(source->c_str(), &st) != 0) core::throw_error("the source file cannot be read");
    const auto size = static_cast<std::int64_t>(st.st_size);
    time_stamp = names::dos_time_from_unix(static_cast<std::int64_t>(st.st_mtime));
    const std::string ext = core::upper(names::extension(entry.Name()));
    bool compressible;
    if (ext == ".BRI") {
      compressible = false;
      if (m_bri_test) {
        TFileRangeStream file(*source, size, 0, RangeLength::Exact, kSinglePart);
        compressible = m_bri_test(file);
      }
    } else {
      compressible = !in_stored_list(ext) && size < kArchiveLimit;
    }
    if (compressible) {
      MemoryBlock data;
      host::read_whole_file(*source, data);
      w = write_data(out, data.bytes(), entry.checksum_mode, true, true);
    } else {
      TKvBigFileStream file(*source, file_mode::kOpenRead | file_mode::kShareDenyWrite, kSinglePart);
      w.checksum = copy_with_crc(file, file.GetSize(), out);
      w.bytes = file.GetSize();
      w.stored = 1;
    }
  } else if (entry.stored && entry.length >= kArchiveLimit && m_container) {
    // Large stored data is written as is either way: copy it without
    // holding it in memory.
    m_container->SetPosition(entry.offset);
    w.checksum = copy_with_crc(*m_container, entry.length, out);
    w.bytes = entry.length;
    w.stored = 1;
  } else {
    MemoryBlock data;
    ReadEntry(entry, data);
    w = write_data(out, data.bytes(), entry.checksum_mode, static_cast<std::int64_t>(data.size()) < kArchiveLimit,
                   false);
  }
  stored = w.stored;
  checksum = w.checksum;
  return w.bytes;
}

bool TVrFileCollection::Write(TKvBigStream& out) {
  std::vector<const TVrFile*> entries;
  for (int i = 0; i < Count(); ++i) {
    if (!At(i).IsSentinel()) entries.push_back(&At(i));
  }
  const auto n = static_cast<std::int32_t>(entries.size());

  core::ByteWriter header;
  header.bytes("vf");
  header.i32(kArchiveVersion);
  header.i32(n);
  ArchiveScrambler names_key;
  for (const TVrFile* e : entries) {
    std::string name = e->Name();
    names_key.Scramble(name);
    header.str(name);
  }
  out.SetPosition(0);
  out.WriteBuffer(header.data().data(), static_cast<std::int64_t>(header.size()));

  const std::int64_t table_position = out.GetPosition();
  const auto count = entries.size();
  const std::size_t table_size = (count + 1) * 8 + count * (1 + 4 + 4 + 1);
  {
    std::vector<std::uint8_t> zeros(std::min<std::size_t>(table_size, 1 << 20), 0);
    for (std::size_t done = 0; done < table_size;) {
      std::size_t k = std::min(zeros.size(), table_size - done);
      out.WriteBuffer(zeros.data(), static_cast<std::int64_t>(k));
      done += k;
    }
  }

  std::vector<std::int64_t> offsets(count + 1);
  std::vector<std::uint8_t> stored(count), modes(count);
  std::vector<std::int32_t> times(count);
  std::vector<std::uint32_t> sums(count);
  for (std::size_t i = 0; i < count; ++i) {
    const TVrFile& e = *entries[i];
    bool stop = false;
    if (m_progress) m_progress(*this, e, stop, n, static_cast<int>(i), 0);
    if (stop) return false;
    offsets[i] = out.GetPosition();
    std::int64_t bytes = 0;
    try {
      bytes = write_entry(out, e, stored[i], times[i], sums[i]);
    } catch (const core::Error& err) {
      std::string message = core::sjis("エラー:") + e.Name();
      core::log(core::Channel::Files, core::Level::Error, message);
      throw core::Error(message + "\n" + err.message());
    }
    modes[i] = e.checksum_mode ? 1 : 0;
    if (m_progress) m_progress(*this, e, stop, n, static_cast<int>(i), bytes);
    if (stop) return false;
  }
  offsets[count] = out.GetPosition();
  const std::int64_t end = offsets[count];

  core::ByteWriter table;
  ArchiveScrambler offsets_key;
  for (std::int64_t o : offsets) table.u64(static_cast<std::uint64_t>(o) ^ offsets_key.NextWide());
  table.bytes(std::span<const std::uint8_t>(stored));
  for (std::int32_t t : times) table.i32(t);
  for (std::uint32_t s : sums) table.u32(s);
  table.bytes(std::span<const std::uint8_t>(modes));
  out.SetPosition(table_position);
  out.WriteBuffer(table.data().data(), static_cast<std::int64_t>(table.size()));
  out.SetPosition(end);
  return true;
}

}  // namespace nova::files
