// TNovaReadList and TNovaRead: which pages of which script messages the
// player has read, kept with the status data across games. Items are keyed
// by read-mark key (without regard to case) and hold one (position, page)
// pair per page read; one pending mark (key, position, page, box name)
// waits to be committed when its page is left.
//
// Here the list is data and its record; the message box adds the reading
// and marking operations. A value: copy freely.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/binary_io.h"

namespace nova::components {

struct TNovaRead {
  std::string key;  // Shift-JIS
  std::vector<std::int32_t> positions;
  std::vector<std::int32_t> pages;  // parallel to positions
};

class TNovaReadList {
 public:
  int Count() const { return static_cast<int>(m_items.size()); }
  const TNovaRead& Items(int i) const { return m_items.at(static_cast<std::size_t>(i)); }
  // The item of a key, if any.
  const TNovaRead* Find(std::string_view key) const;
  // The item of a key, made when absent.
  TNovaRead& Add(std::string_view key);

  std::string pending_key;
  std::int32_t pending_position = 0;
  std::int32_t pending_page = 0;
  std::string pending_box;

  // The record: the item count; per item its key, the pair count N, N
  // positions, N pages; then the pending key, position, page and box name.
  void SaveToStream(core::ByteWriter& w) const;
  // Replaces the list. Counts are checked against the bytes left before
  // anything is allocated; a damaged record raises core::Error and leaves
  // the list empty.
  void LoadFromStream(core::ByteReader& r);

  bool operator==(const TNovaReadList& o) const;

 private:
  std::vector<TNovaRead> m_items;
  std::unordered_map<std::string, std::size_t> m_index;  // folded key -> position
};

}  // namespace nova::components
