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
#include <unordered_map>
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
  // The index, once built: key bytes of a converted value -> its records.
  bool built = false;
  Signature indexed;
  std::unordered_map<std::string, std::vector<std::int32_t>> index;
};

}  // namespace nova::data
