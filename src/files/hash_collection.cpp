#include "files/hash_collection.h"

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "platform/codepage.h"

namespace nova::files {

std::uint8_t THashCollection::HashOfName(std::string_view name) {
  const std::size_t n = name.size();
  unsigned h = static_cast<unsigned>(n * 16) & 0xFF;
  if (n < 2) return static_cast<std::uint8_t>(h);
  // Every lookup hashes its name: rather than lower-case a copy of it, fold
  // only the characters that hold byte 0 and byte n - 2. A character is
  // folded whole, so a trail byte changes only as part of its pair.
  auto lowered_byte = [&](std::size_t at, std::size_t length, std::size_t index) {
    const std::string lower = platform::codepage::to_lower(name.substr(at, length));
    return static_cast<std::uint8_t>(lower[index - at]);
  };
  core::for_each_char(name, [&](std::size_t at, std::size_t length) {
    if (at == 0) h += lowered_byte(at, length, 0);
    if (at <= n - 2 && n - 2 < at + length) h += lowered_byte(at, length, n - 2);
  });
  return static_cast<std::uint8_t>(h & 0xFF);
}

THashCollection::~THashCollection() = default;

THashCollectionItem& THashCollection::ItemAt(int index) const {
  if (index < 0 || index >= Count()) {
    throw core::Error(core::format("collection index %d out of range (count %d)", {index, Count()}));
  }
  return *m_items[static_cast<std::size_t>(index)];
}

void THashCollection::link(THashCollectionItem& item) {
  item.m_bucket = HashOfName(item.m_name);
  THashCollectionItem*& head = m_heads[item.m_bucket];
  item.m_prev = nullptr;
  item.m_next = head;
  if (head) head->m_prev = &item;
  head = &item;
}

void THashCollection::unlink(THashCollectionItem& item) {
  if (item.m_prev)
    item.m_prev->m_next = item.m_next;
  else
    m_heads[item.m_bucket] = item.m_next;
  if (item.m_next) item.m_next->m_prev = item.m_prev;
  item.m_prev = item.m_next = nullptr;
}

THashCollectionItem& THashCollection::AddItem(std::unique_ptr<THashCollectionItem> item, std::string name) {
  THashCollectionItem& ref = *item;
  ref.m_name = std::move(name);
  ref.m_index = Count();
  m_items.push_back(std::move(item));
  link(ref);
  return ref;
}

int THashCollection::IndexOf(std::string_view name) const {
  const THashCollectionItem* item = FindItem(name);
  return item ? item->m_index : -1;
}

THashCollectionItem* THashCollection::FindItem(std::string_view name) const {
  for (THashCollectionItem* p = m_heads[HashOfName(name)]; p; p = p->m_next) {
    if (core::equal_ci(p->m_name, name)) return p;
  }
  return nullptr;
}

void THashCollection::Rename(int index, std::string name) {
  THashCollectionItem& item = ItemAt(index);
  unlink(item);
  item.m_name = std::move(name);
  link(item);
}

void THashCollection::Delete(int index) {
  THashCollectionItem& item = ItemAt(index);
  unlink(item);
  m_items.erase(m_items.begin() + index);
  for (std::size_t i = static_cast<std::size_t>(index); i < m_items.size(); ++i)
    m_items[i]->m_index = static_cast<int>(i);
}

void THashCollection::Clear() {
  m_items.clear();
  m_heads.fill(nullptr);
}

std::vector<const THashCollectionItem*> THashCollection::Chain(std::uint8_t bucket) const {
  std::vector<const THashCollectionItem*> chain;
  for (const THashCollectionItem* p = m_heads[bucket]; p; p = p->m_next) chain.push_back(p);
  return chain;
}

}  // namespace nova::files
