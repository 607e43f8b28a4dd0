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
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace nova::components {

class TNovaObject;

class NameIndex {
 public:
  // `sequence` orders objects of one name: lower first (registration order).
  void add(const std::string& name, TNovaObject* object, std::uint64_t sequence);
  void remove(const std::string& name, TNovaObject* object);
  void clear();

  // The bearers of `name` in registration order, first to last, until `fn`
  // answers true; answers that object, or nullptr.
  template <typename Fn>
  TNovaObject* find_first(std::string_view name, Fn&& fn) const {
    const auto it = m_names.find(name);
    if (it == m_names.end()) return nullptr;
    for (const Entry& e : it->second) {
      if (fn(e.object)) return e.object;
    }
    return nullptr;
  }
  bool contains(std::string_view name) const { return m_names.find(name) != m_names.end(); }

  // The smallest N >= 0 for which no registered object bears "object" + N
  // in canonical decimal.
  std::uint64_t free_auto_number() const;
  // N when `name` is exactly "object" + N in canonical decimal (no sign,
  // no leading zero, within 64 bits).
  static std::optional<std::uint64_t> auto_number(std::string_view name);

 private:
  struct Entry {
    TNovaObject* object;
    std::uint64_t sequence;
  };
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  void take_number(std::uint64_t n);
  void free_number(std::uint64_t n);

  // Usually one bearer per name; several only after loading a stream that
  // holds a name twice.
  std::unordered_map<std::string, std::vector<Entry>, Hash, std::equal_to<>> m_names;
  // The automatic numbers in use, as disjoint half-open runs [first, end),
  // keyed by first; neighbouring runs are merged.
  std::map<std::uint64_t, std::uint64_t> m_numbers;
};

}  // namespace nova::components
