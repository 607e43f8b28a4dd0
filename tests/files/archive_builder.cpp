#include "archive_builder.h"

#include <zlib.h>

#include <cstdio>
#include <random>
#include <stdexcept>

namespace nova::test {
namespace {

void put32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}
void put64(std::string& s, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}
void put16(std::string& s, std::uint16_t v) {
  s.push_back(static_cast<char>(v));
  s.push_back(static_cast<char>(v >> 8));
}

void put_str(std::string& s, std::string_view v) {
  put32(s, static_cast<std::uint32_t>(v.size()));
  s += v;
}

}  // namespace

std::int64_t directory_size(int version, const std::vector<RawEntry>& entries) {
  std::int64_t n = static_cast<std::int64_t>(entries.size());
  std::int64_t size = (version > 0 ? 6 : 0) + 4;
  for (const auto& e : entries) size += 4 + static_cast<std::int64_t>(e.name.size());
  size += (n + 1) * (version >= 101 ? 8 : 4);
  if (version >= 101) size += n * 9;
  if (version >= 102) size += n;
  return size;
}

std::string build_directory(int version, const std::vector<RawEntry>& entries, std::int64_t first_offset) {
  std::string s;
  if (version > 0) {
    s += "vf";
    put32(s, static_cast<std::uint32_t>(version));
  }
  put32(s, static_cast<std::uint32_t>(entries.size()));
  RawScrambler names;
  for (const auto& e : entries) {
    put32(s, static_cast<std::uint32_t>(e.name.size()));
    for (char c : e.name) {
      auto b = static_cast<std::uint8_t>(c);
      if (version >= 100) b = static_cast<std::uint8_t>(b ^ (names.next() & 0xFF));
      s.push_back(static_cast<char>(b));
    }
  }
  RawScrambler offsets;
  std::int64_t at = first_offset;
  for (std::size_t i = 0; i <= entries.size(); ++i) {
    if (version >= 101) {
      auto v = static_cast<std::uint64_t>(at);
      if (version >= 100) {
        std::uint32_t k = offsets.next();
        std::uint64_t high = k >= 0x80000000u ? 0xFFFFFFFFull : 0;
        v ^= (high << 32) | k;
      }
      put64(s, v);
    } else {
      auto v = static_cast<std::uint32_t>(at);
      if (version >= 100) v ^= offsets.next();
      put32(s, v);
    }
    if (i < entries.size()) at += static_cast<std::int64_t>(entries[i].data.size());
  }
  if (version >= 101) {
    for (const auto& e : entries) s.push_back(e.stored ? 1 : 0);
    for (const auto& e : entries) put32(s, static_cast<std::uint32_t>(e.time_stamp));
    for (const auto& e : entries) put32(s, e.checksum);
  }
  if (version >= 102) {
    for (const auto& e : entries) s.push_back(e.checksum_mode ? 1 : 0);
  }
  return s;
}

std::string build_archive(int version, const std::vector<RawEntry>& entries) {
  std::string s = build_directory(version, entries, directory_size(version, entries));
  for (const auto& e : entries) s += e.data;
  return s;
}

SplitArchive build_split_archive(int version, const std::vector<RawEntry>& entries) {
  SplitArchive a;
  a.directory = build_directory(version, entries, 0);
  for (const auto& e : entries) a.data += e.data;
  return a;
}

std::string build_appended(std::string_view front, int version, const std::vector<RawEntry>& entries) {
  std::string s(front);
  s += build_archive(version, entries);
  put32(s, static_cast<std::uint32_t>(front.size()));
  s += "nv";
  return s;
}

std::string noise(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

std::string zlib_compress(std::string_view data, int level) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                static_cast<uLong>(data.size()), level) != Z_OK) {
    throw std::runtime_error("compress2 failed");
  }
  out.resize(size);
  return out;
}

std::uint32_t crc32_of(std::string_view data) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string build_elf(const std::vector<RawSection>& sections, bool wide) {
  // Layout: header, section data, ".shstrtab", section headers.
  const std::size_t header_size = wide ? 64 : 52;
  const std::size_t entry_size = wide ? 64 : 40;
  std::string body;
  std::vector<std::pair<std::size_t, std::size_t>> places;  // offset, size
  for (const auto& s : sections) {
    places.push_back({header_size + body.size(), s.data.size()});
    body += s.data;
  }
  std::string strings(1, '\0');
  std::vector<std::uint32_t> name_at;
  for (const auto& s : sections) {
    name_at.push_back(static_cast<std::uint32_t>(strings.size()));
    strings += s.name;
    strings.push_back('\0');
  }
  const auto shstrtab_name = static_cast<std::uint32_t>(strings.size());
  strings += ".shstrtab";
  strings.push_back('\0');
  const std::size_t strings_at = header_size + body.size();
  const std::size_t shoff = strings_at + strings.size();
  const std::size_t shnum = sections.size() + 2;

  std::string f;
  f += "\x7F"
       "ELF";
  f.push_back(wide ? 2 : 1);  // class
  f.push_back(1);             // little-endian
  f.push_back(1);             // version
  f.append(9, '\0');
  put16(f, 2);  // ET_EXEC
  put16(f, wide ? 62 : 3);
  put32(f, 1);
  if (wide) {
    put64(f, 0);
    put64(f, 0);
    put64(f, shoff);
  } else {
    put32(f, 0);
    put32(f, 0);
    put32(f, static_cast<std::uint32_t>(shoff));
  }
  put32(f, 0);
  put16(f, static_cast<std::uint16_t>(header_size));
  put16(f, 0);
  put16(f, 0);
  put16(f, static_cast<std::uint16_t>(entry_size));
  put16(f, static_cast<std::uint16_t>(shnum));
  put16(f, static_cast<std::uint16_t>(shnum - 1));  // .shstrtab is last
  f += body;
  f += strings;
  auto header = [&](std::uint32_t name, std::uint32_t type, std::size_t offset, std::size_t size) {
    put32(f, name);
    put32(f, type);
    if (wide) {
      put64(f, 0);  // flags
      put64(f, 0);  // addr
      put64(f, offset);
      put64(f, size);
      put32(f, 0);  // link
      put32(f, 0);  // info
      put64(f, 1);  // align
      put64(f, 0);  // entsize
    } else {
      put32(f, 0);
      put32(f, 0);
      put32(f, static_cast<std::uint32_t>(offset));
      put32(f, static_cast<std::uint32_t>(size));
      put32(f, 0);
      put32(f, 0);
      put32(f, 1);
      put32(f, 0);
    }
  };
  header(0, 0, 0, 0);
  for (std::size_t i = 0; i < sections.size(); ++i) header(name_at[i], 1, places[i].first, places[i].second);
  header(shstrtab_name, 3, strings_at, strings.size());
  return f;
}

std::vector<std::uint8_t> build_install_file(int version, const std::vector<std::string>& written) {
  std::string w;
  if (version > 0) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "is%03d", version);
    w += tag;
  }
  put32(w, static_cast<std::uint32_t>(2));  // disc
  put_str(w, "Title");
  put_str(w, "s4");
  put_str(w, "s5");
  put_str(w, "s6");
  w.push_back(static_cast<char>(7));
  put_str(w, "s8");
  w.push_back(static_cast<char>(9));
  put32(w, static_cast<std::uint32_t>(2));  // two records
  put_str(w, "s11");
  put32(w, static_cast<std::uint32_t>(1212));
  w.push_back(static_cast<char>(12));
  w.push_back(static_cast<char>(13));
  put_str(w, "s13a");
  put_str(w, "s13b");
  for (int i = 0; i < 8 + 4; ++i) {
    if (version >= 100)
      put64(w, static_cast<std::uint64_t>(-1000 - i));
    else
      put32(w, static_cast<std::uint32_t>(-1000 - i));
  }
  w.push_back(static_cast<char>(16));
  if (version > 100) w.push_back(static_cast<char>(17));
  if (version > 101) {
    put32(w, static_cast<std::uint32_t>(written.size()));
    for (const auto& s : written) put_str(w, s);
  }
  if (version > 102) w.push_back(static_cast<char>(1));
  if (version > 103) w.push_back(static_cast<char>(20));
  if (version > 104) w.push_back(static_cast<char>(21));
  if (version > 105) {
    put32(w, static_cast<std::uint32_t>(2));
    put_str(w, "l1");
    put_str(w, "l2");
  }
  if (version > 106) put_str(w, "s23");
  if (version > 107) {
    put_str(w, "s24a");
    put_str(w, "s24b");
  }
  return std::vector<std::uint8_t>(w.begin(), w.end());
}

}  // namespace nova::test
