// Named collections with a 256-bucket name hash: the base of the archive
// directories here, and of the variable store, the image cache and the
// read-mark list above.
//
// The collection owns its items and keeps them in insertion order; each item
// also sits in the chain of its name's bucket. Inserting or renaming puts an
// item at the head of its chain and lookups walk from the head, so among
// items of equal names (compared without regard to case) the one named most
// recently wins. Positions are kept up to date: removing an item moves every
// later item down by one.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nova::files {

class THashCollection;

class THashCollectionItem {
 public:
  THashCollectionItem() = default;
  virtual ~THashCollectionItem() = default;
  THashCollectionItem(const THashCollectionItem&) = delete;
  THashCollectionItem& operator=(const THashCollectionItem&) = delete;

  const std::string& Name() const { return m_name; }
  // The position in the collection, or -1 while in none.
  int Index() const { return m_index; }

 private:
  friend class THashCollection;
  std::string m_name;
  int m_index = -1;
  std::uint8_t m_bucket = 0;
  THashCollectionItem* m_prev = nullptr;
  THashCollectionItem* m_next = nullptr;
};

class THashCollection {
 public:
  static constexpr int kBucketCount = 256;

  // Lower-case the name (the code page's case mapping); h := length × 16
  // mod 256; for names of 2 bytes or more add the second-to-last and the
  // first byte (unsigned), mod 256.
  static std::uint8_t HashOfName(std::string_view name);

  THashCollection() = default;
  virtual ~THashCollection();
  THashCollection(const THashCollection&) = delete;
  THashCollection& operator=(const THashCollection&) = delete;

  int Count() const { return static_cast<int>(m_items.size()); }
  bool Empty() const { return m_items.empty(); }
  // Raises core::Error for a position out of range.
  THashCollectionItem& ItemAt(int index) const;

  // The position of the most recently named item of that name, or -1.
  int IndexOf(std::string_view name) const;
  THashCollectionItem* FindItem(std::string_view name) const;

  void Rename(int index, std::string name);
  void Delete(int index);
  void Clear();

  // The chain of a bucket from its head, for tests and statistics.
  std::vector<const THashCollectionItem*> Chain(std::uint8_t bucket) const;

 protected:
  // Appends the item under that name and answers it.
  THashCollectionItem& AddItem(std::unique_ptr<THashCollectionItem> item, std::string name);

 private:
  void link(THashCollectionItem& item);
  void unlink(THashCollectionItem& item);

  std::vector<std::unique_ptr<THashCollectionItem>> m_items;
  std::array<THashCollectionItem*, kBucketCount> m_heads{};
};

// The collection of one item class.
template <typename Item>
class THashCollectionOf : public THashCollection {
 public:
  Item& Add(std::string name) { return Add(std::make_unique<Item>(), std::move(name)); }
  Item& Add(std::unique_ptr<Item> item, std::string name) {
    return static_cast<Item&>(AddItem(std::move(item), std::move(name)));
  }
  Item& At(int index) const { return static_cast<Item&>(ItemAt(index)); }
  Item* Find(std::string_view name) const { return static_cast<Item*>(FindItem(name)); }
};

}  // namespace nova::files
