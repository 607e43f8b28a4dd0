// Finding records: the search criteria of DBLocate, the DBDirect functions
// and the copies, and the hash index that answers repeated exact searches.
//
// Names and values are two arrays used pairwise (up to the smaller count);
// each record's field is read in the value array's type and compared:
// numbers and flags by equality, strings exactly, by the fold when
// case-insensitive, or (partial) as the record's text found in the given
// value at a character start. A criterion naming no field matches nothing.
//
// The index: the second exact search in a row with the same first field,
// value type and case flag on unchanged records builds a hash of that
// field's converted values (folded when case-insensitive); later ones look
// their first value up and check the other criteria on its records. Any
// change of the table drops it (TDBTable::changed). The answers are the
// scan's, in table order.
#pragma once

#include <cstdint>
#include <string>
#include <span>
#include <vector>

#include "data/db_manager.h"
#include "expr/params.h"

namespace nova::data {

struct DBCriteria {
  // Either null: every record matches.
  const expr::TCustomParam* names = nullptr;
  const expr::TCustomParam* values = nullptr;
  bool case_insensitive = false;
  bool partial = false;
};

enum class DBFindMode { First, All };

// The matching records in table order (at most one with First).
std::vector<std::int32_t> find_records(const TDBTable& table, const DBCriteria& criteria, DBFindMode mode);
// The first matching record, -1 for none (DBLocate, the DBDirect functions).
std::int32_t find_first(const TDBTable& table, const DBCriteria& criteria);

// What TDBTable keeps for the searches between two changes.
struct DBSearchCache {
  struct Signature {
    std::int32_t field = -1;
    std::uint8_t value_type = 0;
    bool case_insensitive = false;
    bool operator==(const Signature&) const = default;
  };
  // The last exact search's signature, which the next one must repeat.
  bool seen = false;
  Signature last;
  // The index, once built: the record numbers grouped by the hash of their
  // key (each group in table order), and an open-addressed table of the
  // groups. Records of different keys may share a group; every candidate
  // is checked against the criteria.
  struct Slot {
    std::uint64_t hash = 0;
    std::int32_t start = -1;  // -1: empty
    std::int32_t count = 0;
  };
  bool built = false;
  Signature indexed;
  std::vector<Slot> slots;  // a power of two, at most half full
  std::vector<std::int32_t> records;

  // The records whose key has this hash (none: an empty span).
  std::span<const std::int32_t> group(std::uint64_t hash) const;
};

}  // namespace nova::data
