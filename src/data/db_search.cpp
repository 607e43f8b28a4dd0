#include "data/db_search.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/binary_io.h"
#include "core/sjis.h"

namespace nova::data {

namespace {

struct Criterion {
  std::int32_t field = -1;
  expr::TParamType type = expr::PT_NONE;
  std::int32_t int_value = 0;
  long double float_value = 0;
  bool flag_value = false;
  // Folded when the search is case-insensitive.
  std::string text;
};

// Whether `part` occurs in `text` starting at a character of it (never at a
// trail byte).
bool found_at_char_start(std::string_view text, std::string_view part) {
  for (std::size_t i = 0; i + part.size() <= text.size(); i += core::char_length(text, i)) {
    if (text.compare(i, part.size(), part) == 0) return true;
  }
  return false;
}

// The bytes a float is indexed under: equal values give equal bytes (-0 is
// +0); NaN equals nothing and has none.
std::optional<std::string> float_key(long double v) {
  if (std::isnan(v)) return std::nullopt;
  v = v == 0 ? 0.0L : v + 0.0L;
  std::string key(core::kExtendedSize, '\0');
  core::extended_to_bytes(v, reinterpret_cast<std::uint8_t*>(key.data()));
  return key;
}

std::string int_key(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  return {static_cast<char>(u), static_cast<char>(u >> 8), static_cast<char>(u >> 16), static_cast<char>(u >> 24)};
}

class Matcher {
 public:
  Matcher(const TDBTable& t, const DBCriteria& c) : m_table(t), m_ci(c.case_insensitive) {
    if (!c.names || !c.values) return;
    const std::int32_t pairs = std::min(c.names->count(), c.values->count());
    const expr::TParamType type = c.values->type();
    m_partial = c.partial && type == expr::PT_STR;
    for (std::int32_t i = 0; i < pairs; ++i) {
      Criterion k;
      k.field = t.field_index(c.names->str_at(i));
      k.type = type;
      // A name that is no field ends the search where it is first reached,
      // which a record only does by matching it: nothing is ever found.
      if (k.field < 0) m_none = true;
      switch (type) {
        case expr::PT_INT: k.int_value = c.values->int_at(i); break;
        case expr::PT_FLOAT: k.float_value = c.values->float_at(i); break;
        case expr::PT_BOOL: k.flag_value = c.values->flag_at(i); break;
        case expr::PT_STR: k.text = m_ci ? core::upper(c.values->str_at(i)) : c.values->str_at(i); break;
        default: m_none = true; break;
      }
      if (m_count++ == 0) {
        m_first = std::move(k);
      } else {
        m_rest.push_back(std::move(k));
      }
    }
  }

  bool none() const { return m_none; }
  bool all() const { return m_count == 0; }
  bool single() const { return m_count == 1; }
  bool exact() const { return !m_partial; }
  const Criterion& first() const { return m_first; }
  DBSearchCache::Signature signature() const {
    const Criterion& k = first();
    return {k.field, static_cast<std::uint8_t>(k.type), k.type == expr::PT_STR && m_ci};
  }

  bool matches(std::int32_t rec, std::size_t from = 0) const {
    if (m_count == 0) return true;
    if (from == 0 && !matches_one(rec, m_first)) return false;
    for (std::size_t i = from == 0 ? 0 : from - 1; i < m_rest.size(); ++i) {
      if (!matches_one(rec, m_rest[i])) return false;
    }
    return true;
  }

  // The index key of a record's field, nullopt for a value nothing equals.
  std::optional<std::string> record_key(std::int32_t rec) const {
    const Criterion& k = first();
    switch (k.type) {
      case expr::PT_INT: return int_key(m_table.get_int(rec, k.field).value_or(0));
      case expr::PT_FLOAT: return float_key(m_table.get_float(rec, k.field).value_or(0));
      case expr::PT_BOOL: return std::string(1, m_table.get_flag(rec, k.field).value_or(false) ? '1' : '0');
      default: return text_of(rec, k.field);
    }
  }
  std::optional<std::string> wanted_key() const {
    const Criterion& k = first();
    switch (k.type) {
      case expr::PT_INT: return int_key(k.int_value);
      case expr::PT_FLOAT: return float_key(k.float_value);
      case expr::PT_BOOL: return std::string(1, k.flag_value ? '1' : '0');
      default: return k.text;
    }
  }

 private:
  std::string text_of(std::int32_t rec, std::int32_t field) const {
    std::string text = m_table.get_str(rec, field).value_or(std::string());
    return m_ci ? core::upper(text) : text;
  }

  bool matches_one(std::int32_t rec, const Criterion& k) const {
    switch (k.type) {
      case expr::PT_INT: return m_table.get_int(rec, k.field) == k.int_value;
      case expr::PT_FLOAT: return m_table.get_float(rec, k.field) == k.float_value;
      case expr::PT_BOOL: return m_table.get_flag(rec, k.field) == k.flag_value;
      case expr::PT_STR: {
        const std::string text = text_of(rec, k.field);
        if (!m_partial) return text == k.text;
        // The record's text is looked for in the value given, not the reverse.
        return !text.empty() && found_at_char_start(k.text, text);
      }
      default: return false;
    }
  }

  const TDBTable& m_table;
  bool m_ci = false;
  bool m_partial = false;
  bool m_none = false;
  // The first criterion apart, so that a search of one allocates nothing.
  std::int32_t m_count = 0;
  Criterion m_first;
  std::vector<Criterion> m_rest;
};

// A mixing step that is a bijection of 64-bit words.
std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 33);
}

// A key of at most seven bytes, packed with its length, is hashed by a
// bijection: equal hashes mean equal keys (integers and flags never need
// their records read again). Longer keys go through 64-bit FNV-1a.
constexpr std::size_t kPackedKey = 7;

std::uint64_t hash_of(std::string_view key) {
  if (key.size() <= kPackedKey) {
    std::uint64_t packed = key.size();
    for (std::size_t i = 0; i < key.size(); ++i) packed |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(key[i])) << (8 * (i + 1));
    return mix(packed);
  }
  std::uint64_t h = 0xCBF29CE484222325ull;
  for (char c : key) h = (h ^ static_cast<std::uint8_t>(c)) * 0x100000001B3ull;
  return mix(h);
}

void build_index(const TDBTable& t, const Matcher& m, DBSearchCache& cache) {
  struct Entry {
    std::uint64_t hash;
    std::int32_t rec;
  };
  std::vector<Entry> entries;
  entries.reserve(static_cast<std::size_t>(t.record_count()));
  for (std::int32_t rec = 0; rec < t.record_count(); ++rec) {
    if (auto key = m.record_key(rec)) entries.push_back({hash_of(*key), rec});
  }
  // Grouped by hash, each group in table order.
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.hash != b.hash ? a.hash < b.hash : a.rec < b.rec; });
  cache.records.resize(entries.size());
  std::size_t groups = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    cache.records[i] = entries[i].rec;
    if (i == 0 || entries[i].hash != entries[i - 1].hash) ++groups;
  }
  std::size_t capacity = 8;
  while (capacity < groups * 2) capacity *= 2;
  cache.slots.assign(capacity, {});
  for (std::size_t i = 0; i < entries.size();) {
    std::size_t end = i + 1;
    while (end < entries.size() && entries[end].hash == entries[i].hash) ++end;
    std::size_t at = entries[i].hash & (capacity - 1);
    while (cache.slots[at].start >= 0) at = (at + 1) & (capacity - 1);
    // A group of one keeps its record in the slot itself.
    const std::int32_t start = end - i == 1 ? entries[i].rec : static_cast<std::int32_t>(i);
    cache.slots[at] = {entries[i].hash, start, static_cast<std::int32_t>(end - i)};
    i = end;
  }
  cache.built = true;
  cache.indexed = m.signature();
}

}  // namespace

std::span<const std::int32_t> DBSearchCache::group(std::uint64_t hash) const {
  if (slots.empty()) return {};
  const std::size_t mask = slots.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot& s = slots[at];
    if (s.start < 0) return {};
    if (s.hash != hash) continue;
    if (s.count == 1) return {&s.start, 1};
    return std::span(records).subspan(static_cast<std::size_t>(s.start), static_cast<std::size_t>(s.count));
  }
}

namespace {

// Calls `take(rec)` for the matching records in table order until it
// answers false.
template <typename Take>
void visit_matches(const TDBTable& t, const DBCriteria& c, Take&& take) {
  const Matcher m(t, c);
  if (m.none()) return;
  if (m.all()) {
    for (std::int32_t rec = 0; rec < t.record_count(); ++rec) {
      if (!take(rec)) return;
    }
    return;
  }
  auto scan = [&] {
    for (std::int32_t rec = 0; rec < t.record_count(); ++rec) {
      if (m.matches(rec) && !take(rec)) return;
    }
  };
  if (!m.exact()) return scan();
  DBSearchCache& cache = t.search_cache();
  const DBSearchCache::Signature sig = m.signature();
  if (!(cache.built && cache.indexed == sig)) {
    // The first search after a change scans; the same search again builds.
    if (!(cache.seen && cache.last == sig)) {
      cache.seen = true;
      cache.last = sig;
      return scan();
    }
    build_index(t, m, cache);
  }
  const std::optional<std::string> key = m.wanted_key();
  if (!key) return;
  // Integer and flag keys all hash by the bijection: a single criterion of
  // them needs no check of the records found.
  const bool packed = m.first().type == expr::PT_INT || m.first().type == expr::PT_BOOL;
  const bool checked = !(m.single() && packed);
  for (std::int32_t rec : cache.group(hash_of(*key))) {
    if (checked && !m.matches(rec)) continue;
    if (!take(rec)) return;
  }
}

}  // namespace

std::vector<std::int32_t> find_records(const TDBTable& t, const DBCriteria& c, DBFindMode mode) {
  std::vector<std::int32_t> found;
  visit_matches(t, c, [&](std::int32_t rec) {
    found.push_back(rec);
    return mode == DBFindMode::All;
  });
  return found;
}

std::int32_t find_first(const TDBTable& t, const DBCriteria& c) {
  std::int32_t first = -1;
  visit_matches(t, c, [&first](std::int32_t rec) {
    first = rec;
    return false;
  });
  return first;
}

}  // namespace nova::data
