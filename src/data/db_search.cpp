#include "data/db_search.h"

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
      m_criteria.push_back(std::move(k));
    }
  }

  bool none() const { return m_none; }
  bool all() const { return m_criteria.empty(); }
  bool exact() const { return !m_partial; }
  const Criterion& first() const { return m_criteria.front(); }
  DBSearchCache::Signature signature() const {
    const Criterion& k = first();
    return {k.field, static_cast<std::uint8_t>(k.type), k.type == expr::PT_STR && m_ci};
  }

  bool matches(std::int32_t rec, std::size_t from = 0) const {
    for (std::size_t i = from; i < m_criteria.size(); ++i) {
      if (!matches_one(rec, m_criteria[i])) return false;
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
  std::vector<Criterion> m_criteria;
};

std::vector<std::int32_t> scan(const TDBTable& t, const Matcher& m, DBFindMode mode) {
  std::vector<std::int32_t> found;
  for (std::int32_t rec = 0; rec < t.record_count(); ++rec) {
    if (!m.matches(rec)) continue;
    found.push_back(rec);
    if (mode == DBFindMode::First) break;
  }
  return found;
}

void build_index(const TDBTable& t, const Matcher& m, DBSearchCache& cache) {
  cache.index.clear();
  for (std::int32_t rec = 0; rec < t.record_count(); ++rec) {
    if (auto key = m.record_key(rec)) cache.index[std::move(*key)].push_back(rec);
  }
  cache.built = true;
  cache.indexed = m.signature();
}

}  // namespace

std::vector<std::int32_t> find_records(const TDBTable& t, const DBCriteria& c, DBFindMode mode) {
  const Matcher m(t, c);
  if (m.none()) return {};
  if (m.all()) {
    std::vector<std::int32_t> every;
    const std::int32_t n = mode == DBFindMode::First ? std::min(t.record_count(), 1) : t.record_count();
    for (std::int32_t rec = 0; rec < n; ++rec) every.push_back(rec);
    return every;
  }
  if (!m.exact()) return scan(t, m, mode);
  DBSearchCache& cache = t.search_cache();
  const DBSearchCache::Signature sig = m.signature();
  if (!(cache.built && cache.indexed == sig)) {
    // The first search after a change scans; the same search again builds.
    if (!(cache.seen && cache.last == sig)) {
      cache.seen = true;
      cache.last = sig;
      return scan(t, m, mode);
    }
    build_index(t, m, cache);
  }
  std::vector<std::int32_t> found;
  const std::optional<std::string> key = m.wanted_key();
  if (!key) return found;
  const auto hit = cache.index.find(*key);
  if (hit == cache.index.end()) return found;
  for (std::int32_t rec : hit->second) {
    if (!m.matches(rec, 1)) continue;
    found.push_back(rec);
    if (mode == DBFindMode::First) break;
  }
  return found;
}

}  // namespace nova::data
