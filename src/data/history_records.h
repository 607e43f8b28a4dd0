// The records the message history keeps and a message box shows: list
// entries (one page each) and segment records (laid-out pieces of texts),
// with the key compression both share, and their stored forms.
//
// Keys are page names; an entry or segment stores its key empty when it
// equals the effective key before it (compared as file names, without
// regard to case), and the effective key is then the nearest non-empty key
// at or before it. Values: copy freely.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"

namespace nova::data {

// Versions of the game record that change these records.
constexpr std::int32_t kHistoryRowsVersion = 113;      // entries row by row, segments, the laid-out fields
constexpr std::int32_t kHistorySnapshotVersion = 124;  // snapshots (records above 123)
constexpr std::int32_t kHistoryFormatsVersion = 135;   // the format manager record
constexpr std::int32_t kHistoryWriteVersion = 140;     // what this program writes

// Whether two history keys name the same page file.
bool same_key(std::string_view a, std::string_view b);

// One recorded page in list mode.
struct THistoryOldData {
  std::string key;  // empty: the effective key before it
  std::int32_t command = 0;
  std::int32_t page = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool operator==(const THistoryOldData&) const = default;
};

// List entries, oldest first: the oldest leave at the front, and
// @HistoryCount may be read every frame.
using HistoryEntries = std::deque<THistoryOldData>;

// The effective key of entry i of a list.
std::string effective_key(const HistoryEntries& entries, std::size_t i);
// Appends an entry, its key stored empty when it equals the last
// effective key.
void append_entry(HistoryEntries& entries, THistoryOldData entry);

// List entries stored column by column (records below 113: the count, the
// keys, the command indexes, the page indexes, the sizes as pairs) or row
// by row (from 113). Counts are checked against the bytes left.
void write_entry_columns(core::ByteWriter& w, const HistoryEntries& entries);
HistoryEntries read_entry_columns(core::ByteReader& r);
void write_entry_rows(core::ByteWriter& w, const HistoryEntries& entries);
HistoryEntries read_entry_rows(core::ByteReader& r);

struct THistSegment {
  std::string key;
  std::int32_t command = 0;
  std::int32_t first = 0;  // character positions in the command's text
  std::int32_t last = -1;
  std::int32_t height = 0;  // pixels
  std::string snapshot;     // name=value lines of the variables it showed
  bool operator==(const THistSegment&) const = default;
};

// A history page of a laid-out history, and a box's segment record.
class TNovaHistData {
 public:
  const std::vector<THistSegment>& segments() const { return m_segments; }
  std::int32_t total_height() const { return m_total_height; }
  bool empty() const { return m_segments.empty(); }
  void clear() { *this = TNovaHistData{}; }
  // Appends a segment, its key stored empty when it equals the effective
  // key of the segment before it; the total grows by its height.
  void add(THistSegment segment);
  std::string effective_key(std::size_t i) const;

  // Segment count, segments (key, command index, first, last, height, and
  // above 123 the snapshot), total height.
  void save(core::ByteWriter& w, std::int32_t version) const;
  static TNovaHistData load(core::ByteReader& r, std::int32_t version);

  bool operator==(const TNovaHistData&) const = default;

 private:
  std::vector<THistSegment> m_segments;
  std::int32_t m_total_height = 0;
};

// The snapshot text of name=value pairs: lines joined by CR LF.
std::string join_snapshot(const std::vector<std::pair<std::string, std::string>>& pairs);
// Its pairs again; lines without "=" are skipped.
std::vector<std::pair<std::string, std::string>> split_snapshot(std::string_view snapshot);

}  // namespace nova::data
