#include "data/history_records.h"

#include <algorithm>
#include <climits>

#include "core/format.h"
#include "core/sjis.h"

namespace nova::data {

namespace {

// The fewest bytes an entry takes in either form, and a segment.
constexpr std::uint64_t kEntryBytes = 4 + 4 + 4 + 8;
constexpr std::uint64_t kSegmentBytes = 4 + 4 + 4 + 4 + 4;

std::int32_t read_count(core::ByteReader& r, std::uint64_t each, std::string_view what) {
  const std::int32_t n = r.i32();
  if (n < 0 || static_cast<std::uint64_t>(n) * each > r.remaining()) {
    r.fail(core::format("%s count %d does not fit the record", {what, n}));
  }
  return n;
}

}  // namespace

bool same_key(std::string_view a, std::string_view b) { return core::equal_ci(a, b); }

std::string effective_key(const HistoryEntries& entries, std::size_t i) {
  for (std::size_t k = i + 1; k-- > 0;) {
    if (!entries[k].key.empty()) return entries[k].key;
  }
  return {};
}

void append_entry(HistoryEntries& entries, THistoryOldData entry) {
  if (!entries.empty() && same_key(entry.key, effective_key(entries, entries.size() - 1))) entry.key.clear();
  entries.push_back(std::move(entry));
}

void write_entry_columns(core::ByteWriter& w, const HistoryEntries& entries) {
  w.i32(static_cast<std::int32_t>(entries.size()));
  for (const auto& e : entries) w.str(e.key);
  for (const auto& e : entries) w.i32(e.command);
  for (const auto& e : entries) w.i32(e.page);
  for (const auto& e : entries) {
    w.i32(e.width);
    w.i32(e.height);
  }
}

HistoryEntries read_entry_columns(core::ByteReader& r) {
  const std::int32_t n = read_count(r, kEntryBytes, "history entry");
  HistoryEntries entries(static_cast<std::size_t>(n));
  for (auto& e : entries) e.key = r.str();
  for (auto& e : entries) e.command = r.i32();
  for (auto& e : entries) e.page = r.i32();
  for (auto& e : entries) {
    e.width = r.i32();
    e.height = r.i32();
  }
  return entries;
}

void write_entry_rows(core::ByteWriter& w, const HistoryEntries& entries) {
  w.i32(static_cast<std::int32_t>(entries.size()));
  for (const auto& e : entries) {
    w.str(e.key);
    w.i32(e.command);
    w.i32(e.page);
    w.i32(e.width);
    w.i32(e.height);
  }
}

HistoryEntries read_entry_rows(core::ByteReader& r) {
  const std::int32_t n = read_count(r, kEntryBytes, "history entry");
  HistoryEntries entries(static_cast<std::size_t>(n));
  for (auto& e : entries) {
    e.key = r.str();
    e.command = r.i32();
    e.page = r.i32();
    e.width = r.i32();
    e.height = r.i32();
  }
  return entries;
}

void TNovaHistData::add(THistSegment segment) {
  if (!m_segments.empty() && same_key(segment.key, effective_key(m_segments.size() - 1))) segment.key.clear();
  // Heights are the layout's, below 2^31 each; the total saturates rather
  // than wraps.
  const std::int64_t total = std::int64_t{m_total_height} + segment.height;
  m_total_height = static_cast<std::int32_t>(std::clamp<std::int64_t>(total, INT32_MIN, INT32_MAX));
  m_segments.push_back(std::move(segment));
}

std::string TNovaHistData::effective_key(std::size_t i) const {
  for (std::size_t k = i + 1; k-- > 0;) {
    if (!m_segments[k].key.empty()) return m_segments[k].key;
  }
  return {};
}

void TNovaHistData::save(core::ByteWriter& w, std::int32_t version) const {
  w.i32(static_cast<std::int32_t>(m_segments.size()));
  for (const THistSegment& s : m_segments) {
    w.str(s.key);
    w.i32(s.command);
    w.i32(s.first);
    w.i32(s.last);
    w.i32(s.height);
    if (version >= kHistorySnapshotVersion) w.str(s.snapshot);
  }
  w.i32(m_total_height);
}

TNovaHistData TNovaHistData::load(core::ByteReader& r, std::int32_t version) {
  const bool snapshots = version >= kHistorySnapshotVersion;
  const std::int32_t n = read_count(r, kSegmentBytes + (snapshots ? 4 : 0), "history segment");
  TNovaHistData d;
  d.m_segments.resize(static_cast<std::size_t>(n));
  for (THistSegment& s : d.m_segments) {
    s.key = r.str();
    s.command = r.i32();
    s.first = r.i32();
    s.last = r.i32();
    s.height = r.i32();
    if (snapshots) s.snapshot = r.str();
  }
  // The stored total is kept as it stands: it is what the saving history
  // measured its pages by.
  d.m_total_height = r.i32();
  return d;
}

std::string join_snapshot(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string out;
  for (const auto& [name, value] : pairs) {
    if (!out.empty()) out += "\r\n";
    out += name;
    out += '=';
    out += value;
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> split_snapshot(std::string_view snapshot) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::size_t at = 0;
  while (at < snapshot.size()) {
    std::size_t end = snapshot.find("\r\n", at);
    if (end == std::string_view::npos) end = snapshot.size();
    const std::string_view line = snapshot.substr(at, end - at);
    const std::size_t eq = line.find('=');
    if (eq != std::string_view::npos)
      pairs.emplace_back(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    at = end + 2;
  }
  return pairs;
}

}  // namespace nova::data
