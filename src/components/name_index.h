// The names of a base list's registered components, for the lookups and the
// renaming rules: which components bear a name, in registration order, and
// which automatic names ("object" + N) are taken. Every lookup is a hash
// probe; nothing scans the registry.
//
// The index holds the objects it is given, does not own them, and must be
// told every change of a registered object's name (remove under the old
// name, add under the new).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace nova::components {

class TNovaObject;

class NameIndex {
 public:
  // What a lookup needs of a bearer, kept in the index so that a lookup
  // touches no object. `sequence` orders the bearers of a name (lower first:
  // registration order); the other two never change while it is indexed.
  struct Entry {
    TNovaObject* object;
    std::uint64_t sequence : 62;
    std::uint64_t control : 1;  // a TNovaControl
    std::uint64_t pending : 1;  // scheduled for deletion (renamed after it was)
  };

  void add(const std::string& name, const Entry& entry);
  void remove(const std::string& name, const TNovaObject* object);
  void clear();

  // The first bearer of `name` in registration order that is not pending
  // deletion (and is a control, with `controls_only`); nullptr if none.
  TNovaObject* find(std::string_view name, bool controls_only) const;
  // The first bearer of `name` other than `self`, pending or not.
  TNovaObject* find_other(std::string_view name, const TNovaObject* self) const;
  bool contains(std::string_view name) const { return m_names.find(name) != m_names.end(); }

  // The smallest N >= 0 for which no registered object bears "object" + N
  // in canonical decimal.
  std::uint64_t free_auto_number() const;
  // N when `name` is exactly "object" + N in canonical decimal (no sign,
  // no leading zero, within 64 bits).
  static std::optional<std::uint64_t> auto_number(std::string_view name);

 private:
  // Usually one bearer per name; several only after loading a stream that
  // holds a name twice. The first lies in the node itself, which stays
  // small: the others are kept apart.
  struct Bearers {
    Entry first;
    std::unique_ptr<std::vector<Entry>> more;
  };
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  template <typename Fn>
  TNovaObject* first_where(std::string_view name, Fn&& fn) const {
    const auto it = m_names.find(name);
    if (it == m_names.end()) return nullptr;
    if (fn(it->second.first)) return it->second.first.object;
    if (!it->second.more) return nullptr;
    for (const Entry& e : *it->second.more) {
      if (fn(e)) return e.object;
    }
    return nullptr;
  }
  void take_number(std::uint64_t n);
  void free_number(std::uint64_t n);

  std::unordered_map<std::string, Bearers, Hash, std::equal_to<>> m_names;
  // The automatic numbers in use, as disjoint half-open runs [first, end),
  // keyed by first; neighbouring runs are merged.
  std::map<std::uint64_t, std::uint64_t> m_numbers;
};

}  // namespace nova::components
