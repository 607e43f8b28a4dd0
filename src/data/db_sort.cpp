// TDBTable::sort: the keys of every record are read once into columns, the
// record numbers are sorted stably by them, and the records are laid out
// again in that order. O(n log n) whatever the input (sorted, reversed or
// all equal), and every comparison is a strict weak order, NaN included.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "core/binary_io.h"
#include "data/db_manager.h"

namespace nova::data {

namespace {

struct Column {
  DBFieldType type = DBFieldType::Integer;
  bool descending = false;
  std::vector<std::int32_t> ints;      // integers and flags (0 or 1)
  std::vector<long double> floats;     // NaN kept as it is; compare_floats orders it
  std::vector<std::string_view> texts; // views into the records, which stay put while sorting
};

// -0 equals +0 (as the processor compares); every NaN equals another and
// sorts above +infinity.
int compare_floats(long double a, long double b) {
  const bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return static_cast<int>(na) - static_cast<int>(nb);
  return a < b ? -1 : a > b ? 1 : 0;
}

int compare_in(const Column& c, std::size_t a, std::size_t b) {
  switch (c.type) {
    case DBFieldType::Integer:
    case DBFieldType::Flag: return c.ints[a] < c.ints[b] ? -1 : c.ints[a] > c.ints[b] ? 1 : 0;
    case DBFieldType::Float: return compare_floats(c.floats[a], c.floats[b]);
    case DBFieldType::String: return compare_by_code(c.texts[a], c.texts[b]);
  }
  return 0;
}

}  // namespace

void TDBTable::sort(std::span<const DBSortKey> keys) {
  std::vector<Column> columns;
  const auto n = static_cast<std::size_t>(m_count);
  for (const DBSortKey& k : keys) {
    if (k.field < 0 || k.field >= static_cast<std::int32_t>(m_fields.size())) continue;
    Column c;
    c.type = m_fields[static_cast<std::size_t>(k.field)].type();
    c.descending = k.descending;
    const auto offset = static_cast<std::size_t>(m_offsets[static_cast<std::size_t>(k.field)]);
    const auto size = static_cast<std::size_t>(m_fields[static_cast<std::size_t>(k.field)].size());
    for (std::size_t r = 0; r < n; ++r) {
      const std::uint8_t* p = m_records.data() + r * static_cast<std::size_t>(m_record_size) + offset;
      switch (c.type) {
        case DBFieldType::Integer: c.ints.push_back(field_int({p, 4})); break;
        case DBFieldType::Flag: c.ints.push_back(p[0] != 0 ? 1 : 0); break;
        case DBFieldType::Float: c.floats.push_back(core::extended_from_bytes(p)); break;
        case DBFieldType::String: c.texts.push_back(field_text({p, size})); break;
      }
    }
    columns.push_back(std::move(c));
  }
  if (columns.empty() || n < 2) return;

  // A first key of integers or flags travels with the record number as an
  // unsigned word in the key's order, so most comparisons touch no column.
  struct Item {
    std::uint32_t lead;
    std::int32_t rec;
  };
  const Column& first = columns.front();
  const bool lead_key = first.type == DBFieldType::Integer || first.type == DBFieldType::Flag;
  std::vector<Item> order(n);
  for (std::size_t r = 0; r < n; ++r) {
    std::uint32_t lead = 0;
    if (lead_key) {
      lead = static_cast<std::uint32_t>(first.ints[r]) ^ 0x80000000u;
      if (first.descending) lead = ~lead;
    }
    order[r] = {lead, static_cast<std::int32_t>(r)};
  }
  const std::size_t rest = lead_key ? 1 : 0;
  std::stable_sort(order.begin(), order.end(), [&columns, rest](const Item& a, const Item& b) {
    if (a.lead != b.lead) return a.lead < b.lead;
    for (std::size_t k = rest; k < columns.size(); ++k) {
      const Column& c = columns[k];
      const int d = compare_in(c, static_cast<std::size_t>(a.rec), static_cast<std::size_t>(b.rec));
      if (d != 0) return c.descending ? d > 0 : d < 0;
    }
    return false;
  });
  const auto size = static_cast<std::size_t>(m_record_size);
  // Filled by appending, so the new buffer is written once (not zeroed first).
  std::vector<std::uint8_t> sorted;
  sorted.reserve(m_records.size());
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint8_t* from = m_records.data() + static_cast<std::size_t>(order[k].rec) * size;
    sorted.insert(sorted.end(), from, from + size);
  }
  // The views above point into the old buffer: swap only after the copies.
  m_records.swap(sorted);
  changed();
}

}  // namespace nova::data
