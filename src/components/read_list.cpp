#include "components/read_list.h"

#include "core/format.h"
#include "core/sjis.h"

namespace nova::components {

namespace {

// An item's smallest record: an empty key and no pairs.
constexpr std::size_t kMinItemBytes = 4 + 4;
constexpr std::size_t kPairBytes = 8;

}  // namespace

const TNovaRead* TNovaReadList::Find(std::string_view key) const {
  const auto it = m_index.find(core::upper(key));
  return it == m_index.end() ? nullptr : &m_items[it->second];
}

TNovaRead& TNovaReadList::Add(std::string_view key) {
  const auto [it, inserted] = m_index.try_emplace(core::upper(key), m_items.size());
  if (inserted) m_items.push_back(TNovaRead{std::string(key), {}, {}});
  return m_items[it->second];
}

bool TNovaReadList::IsRead(std::string_view key, std::int32_t position, std::int32_t page) const {
  const TNovaRead* item = Find(key);
  if (!item) return false;
  for (std::size_t i = 0; i < item->positions.size(); ++i) {
    if (item->positions[i] == position && item->pages[i] == page) return true;
  }
  return false;
}

void TNovaReadList::SetPending(std::string_view box, std::string_view key, std::int32_t page, std::int32_t position) {
  pending_box = box;
  pending_key = key;
  pending_page = page;
  pending_position = position;
}

void TNovaReadList::CommitPending(std::string_view box) {
  if (pending_key.empty() || pending_box != box) return;
  if (!IsRead(pending_key, pending_position, pending_page)) {
    TNovaRead& item = Add(pending_key);
    item.positions.push_back(pending_position);
    item.pages.push_back(pending_page);
  }
  pending_key.clear();
}

void TNovaReadList::SaveToStream(core::ByteWriter& w) const {
  w.i32(static_cast<std::int32_t>(m_items.size()));
  for (const TNovaRead& item : m_items) {
    w.str(item.key);
    w.i32(static_cast<std::int32_t>(item.positions.size()));
    for (std::int32_t p : item.positions) w.i32(p);
    for (std::int32_t p : item.pages) w.i32(p);
  }
  w.str(pending_key);
  w.i32(pending_position);
  w.i32(pending_page);
  w.str(pending_box);
}

void TNovaReadList::LoadFromStream(core::ByteReader& r) {
  TNovaReadList loaded;
  loaded.read_record(r);
  *this = std::move(loaded);
}

void TNovaReadList::read_record(core::ByteReader& r) {
  const std::int32_t count = r.i32();
  if (count < 0 || static_cast<std::uint64_t>(count) * kMinItemBytes > r.remaining()) {
    r.fail(core::format("read-mark count %d does not fit the record", {count}));
  }
  for (std::int32_t i = 0; i < count; ++i) {
    TNovaRead item;
    item.key = r.str();
    const std::int32_t n = r.i32();
    if (n < 0 || static_cast<std::uint64_t>(n) * kPairBytes > r.remaining()) {
      r.fail(core::format("read mark %d: pair count %d does not fit the record", {i, n}));
    }
    item.positions.resize(static_cast<std::size_t>(n));
    item.pages.resize(static_cast<std::size_t>(n));
    for (auto& p : item.positions) p = r.i32();
    for (auto& p : item.pages) p = r.i32();
    TNovaRead& kept = Add(item.key);
    kept.positions = std::move(item.positions);
    kept.pages = std::move(item.pages);
  }
  pending_key = r.str();
  pending_position = r.i32();
  pending_page = r.i32();
  pending_box = r.str();
}

bool TNovaReadList::operator==(const TNovaReadList& o) const {
  if (m_items.size() != o.m_items.size()) return false;
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    const TNovaRead &a = m_items[i], &b = o.m_items[i];
    if (a.key != b.key || a.positions != b.positions || a.pages != b.pages) return false;
  }
  return pending_key == o.pending_key && pending_position == o.pending_position && pending_page == o.pending_page &&
         pending_box == o.pending_box;
}

}  // namespace nova::components
