// TNovaReadList and TNovaRead: which pages of which script messages the
// player has read, kept with the status data across games. Items are keyed
// by read-mark key (without regard to case) and hold one (position, page)
// pair per page read; one pending mark (key, position, page, box name)
// waits to be committed when its page is left.
//
// The message box asks whether a page was read when it starts showing it,
// sets the pending mark when a scripted page is shown, and commits it when
// that page finishes in the same box. A value: copy freely.
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

  // Whether the item of `key` holds the pair (position, page).
  bool IsRead(std::string_view key, std::int32_t position, std::int32_t page) const;
  // The page a box shows now waits to be marked read; it replaces any
  // mark still pending, whichever box set it.
  void SetPending(std::string_view box, std::string_view key, std::int32_t page, std::int32_t position);
  // Marks the pending page read, when one is pending and `box` is the box
  // that set it (names compared exactly): the item is made when absent and
  // the pair appended unless present; the pending key is cleared.
  void CommitPending(std::string_view box);
  // The box left the pending page unfinished (new text, another page): the
  // mark it set is dropped, so that nothing else finishing there marks it.
  void DropPending(std::string_view box) {
    if (pending_box == box) pending_key.clear();
  }
  // Forgets every mark and the pending one.
  void Clear() { *this = TNovaReadList{}; }

  std::string pending_key;
  std::int32_t pending_position = 0;
  std::int32_t pending_page = 0;
  std::string pending_box;

  // The record: the item count; per item its key, the pair count N, N
  // positions, N pages; then the pending key, position, page and box name.
  void SaveToStream(core::ByteWriter& w) const;
  // Replaces the list. Counts are checked against the bytes left before
  // anything is allocated; a damaged record raises core::Error and leaves
  // the list as it was.
  void LoadFromStream(core::ByteReader& r);

  bool operator==(const TNovaReadList& o) const;

 private:
  void read_record(core::ByteReader& r);

  std::vector<TNovaRead> m_items;
  std::unordered_map<std::string, std::size_t> m_index;  // folded key -> position
};

}  // namespace nova::components
