// The DB functions (87-124) over the player's table manager. They report
// failure only through their results: FALSE, -1, or the default given.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"
#include "data/data_functions.h"
#include "data/db_manager.h"
#include "data/db_search.h"
#include "data/db_tsv.h"
#include "expr/function_args.h"
#include "files/script_file_access.h"

namespace nova::data {

namespace {

using Args = expr::FunctionArgs;
using expr::TCustomParam;

enum Fn : int {
  kCreateTable = 87,
  kSetActive = 88,
  kAddField = 89,
  kSetRecNo = 90,
  kInsert = 91,
  kDelete = 92,
  kGetInt = 93,
  kSetInt = 94,
  kGetFloat = 95,
  kSetFloat = 96,
  kGetBool = 97,
  kSetBool = 98,
  kGetStr = 99,
  kSetStr = 100,
  kRecordCount = 101,
  kFindFirst = 102,
  kFindLast = 103,
  kFindNext = 104,
  kFindPrior = 105,
  kLocate = 106,
  kLoadTsvFile = 107,
  kDirectGetInt = 108,
  kDirectSetInt = 109,
  kDirectGetFloat = 110,
  kDirectSetFloat = 111,
  kDirectGetBool = 112,
  kDirectSetBool = 113,
  kDirectGetStr = 114,
  kDirectSetStr = 115,
  kCopyTable = 116,
  kDeleteTable = 117,
  kInsertTable = 118,
  kCopy = 119,
  kClearTable = 120,
  kSort = 121,
  kGetActive = 122,
  kGetRecNo = 123,
  kClearRecord = 124,
};

std::string_view name_of(int index) { return expr::kSysFuncs[static_cast<std::size_t>(index)].name; }

DBCriteria criteria_from(Args a, std::size_t first) {
  DBCriteria c;
  c.names = expr::optional_arg(a, first);
  c.values = expr::optional_arg(a, first + 1);
  if (const TCustomParam* ci = expr::optional_arg(a, first + 2)) c.case_insensitive = ci->as_flag();
  if (const TCustomParam* p = expr::optional_arg(a, first + 3)) c.partial = p->as_flag();
  return c;
}

bool same_fields(const TDBTable& a, const TDBTable& b) {
  if (a.fields().size() != b.fields().size()) return false;
  for (std::size_t i = 0; i < a.fields().size(); ++i) {
    const TDBField& x = a.fields()[i];
    const TDBField& y = b.fields()[i];
    if (x.name() != y.name() || x.type() != y.type() || x.size() != y.size()) return false;
  }
  return true;
}

// Appends copies of the records (raw bytes) to `to`, all or none: false
// when they would pass the table's limits. The records are gathered first,
// so a table may receive its own (those present at the start). `last` gets
// the last copy's index, -1 for none.
bool append_copies(TDBTable& to, const TDBTable& from, const std::vector<std::int32_t>& records, std::int32_t& last) {
  last = -1;
  if (!to.can_add(static_cast<std::int64_t>(records.size()))) {
    core::logf(core::Channel::Data, core::Level::Warning, "%s: %d more records do not fit (%d held)",
               {to.name(), static_cast<std::int64_t>(records.size()), to.record_count()});
    return false;
  }
  if (records.empty()) return true;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(records.size() * static_cast<std::size_t>(from.record_size()));
  for (std::int32_t rec : records) {
    const auto r = from.record(rec);
    bytes.insert(bytes.end(), r.begin(), r.end());
  }
  if (from.record_size() == 0) {
    // Records without fields have no bytes to gather.
    for (std::size_t k = 0; k < records.size(); ++k) last = to.append_raw({});
    return true;
  }
  last = to.append_raw(bytes);
  return true;
}

// Sets a field from a value by the value's own type.
bool set_by_value_type(TDBTable& t, std::int32_t rec, std::int32_t field, const TCustomParam& v) {
  switch (v.type()) {
    case expr::PT_INT: return t.set_int(rec, field, v.as_int());
    case expr::PT_FLOAT: return t.set_float(rec, field, v.as_float());
    case expr::PT_BOOL: return t.set_flag(rec, field, v.as_flag());
    case expr::PT_STR: return t.set_str(rec, field, v.as_str());
    default: return false;
  }
}

// Reads a field into the result by the function's result type.
void get_into(TCustomParam& target, const TDBTable& t, std::int32_t rec, std::int32_t field) {
  switch (target.type()) {
    case expr::PT_INT: target.set_int(t.get_int(rec, field).value_or(0)); break;
    case expr::PT_FLOAT: target.set_float(t.get_float(rec, field).value_or(0.0L)); break;
    case expr::PT_BOOL: target.set_flag(t.get_flag(rec, field).value_or(false)); break;
    case expr::PT_STR: target.set_str(t.get_str(rec, field).value_or(std::string())); break;
    default: break;
  }
}

TDBTable* named_or_active(TDBManager& m, Args a, std::size_t i) {
  if (const TCustomParam* name = expr::optional_arg(a, i)) return m.find(name->as_str());
  return m.active();
}

}  // namespace

void register_db_functions(expr::TSysFuncMan& funcs, const DBScope& scope) {
  // Every behaviour finds the manager through the scope; a player without
  // one is a wiring fault, raised naming the function.
  auto reg = [&funcs, &scope](int index, auto body) {
    funcs.set_behaviour(index, [index, &scope, body](TCustomParam& t, Args a) {
      if (!scope.manager) core::throw_error(std::string(name_of(index)) + ": the DB tables do not exist");
      body(*scope.manager, t, a);
    });
  };

  reg(kCreateTable, [](TDBManager& m, TCustomParam& t, Args a) {
    const std::string name = a[0]->as_str();
    if (name.empty() || m.find(name)) return t.set_flag(false);
    m.create(name, a[1]->as_flag());
    t.set_flag(true);
  });
  reg(kSetActive, [](TDBManager& m, TCustomParam& t, Args a) {
    const std::int32_t i = m.index_of(a[0]->as_str());
    if (i >= 0) m.set_active(i);
    t.set_flag(i >= 0);
  });
  reg(kGetActive, [](TDBManager& m, TCustomParam& t, Args) { t.set_str(m.active() ? m.active()->name() : ""); });
  reg(kDeleteTable, [](TDBManager& m, TCustomParam& t, Args a) {
    std::int32_t i = m.active_index();
    if (!a.empty()) i = m.index_of(a[0]->as_str());
    if (i < 0 || !(i < static_cast<std::int32_t>(m.tables().size()))) return t.set_flag(false);
    m.remove(i);
    t.set_flag(true);
  });
  reg(kClearTable, [](TDBManager& m, TCustomParam& t, Args) {
    m.clear();
    t.set_flag(false);
  });
  reg(kClearRecord, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* table = named_or_active(m, a, 0);
    if (table) table->clear_records();
    t.set_flag(table != nullptr);
  });
  reg(kAddField, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* table = m.active();
    const std::int32_t type = a[1]->as_int();
    const TCustomParam* length = expr::optional_arg(a, 2);
    // A negative declared length counts as 0; a length or a record beyond
    // the table's limits is refused.
    const std::int32_t n = std::max(length ? length->as_int() : 0, 0);
    if (!table || type < 1 || type > 4) return t.set_flag(false);
    if (!table->can_add_field(static_cast<DBFieldType>(type), n)) {
      core::logf(core::Channel::Data, core::Level::Warning, "DBAddField: %s: the field %s (type %d, length %d) passes "
                 "the limits of a string, a record or a table", {table->name(), a[0]->as_str(), type, n});
      return t.set_flag(false);
    }
    table->add_field(a[0]->as_str(), static_cast<DBFieldType>(type), n);
    t.set_flag(true);
  });
  reg(kRecordCount, [](TDBManager& m, TCustomParam& t, Args a) {
    const TDBTable* table = named_or_active(m, a, 0);
    t.set_int(table ? table->record_count() : -1);
  });
  reg(kGetRecNo, [](TDBManager& m, TCustomParam& t, Args) { t.set_int(m.active() ? m.active()->current() : -1); });
  reg(kSetRecNo, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* table = m.active();
    const std::int32_t n = a[0]->as_int();
    if (!table || n >= table->record_count()) return t.set_flag(false);
    table->set_current(n < 0 ? -1 : n);
    t.set_flag(true);
  });
  reg(kFindFirst, [](TDBManager& m, TCustomParam& t, Args) {
    TDBTable* table = m.active();
    if (!table || table->record_count() == 0) return t.set_flag(false);
    table->set_current(0);
    t.set_flag(true);
  });
  reg(kFindLast, [](TDBManager& m, TCustomParam& t, Args) {
    TDBTable* table = m.active();
    if (!table || table->record_count() == 0) return t.set_flag(false);
    table->set_current(table->record_count() - 1);
    t.set_flag(true);
  });
  reg(kFindNext, [](TDBManager& m, TCustomParam& t, Args) {
    TDBTable* table = m.active();
    if (!table || table->current() < 0 || table->current() + 1 >= table->record_count()) return t.set_flag(false);
    table->set_current(table->current() + 1);
    t.set_flag(true);
  });
  reg(kFindPrior, [](TDBManager& m, TCustomParam& t, Args) {
    TDBTable* table = m.active();
    if (!table || table->current() <= 0) return t.set_flag(false);
    table->set_current(table->current() - 1);
    t.set_flag(true);
  });
  reg(kInsert, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* table = m.active();
    if (!table || !table->can_add(1)) return t.set_flag(false);
    const std::int32_t rec = table->append();
    const std::size_t n = std::min(a.size(), table->fields().size());
    for (std::size_t i = 0; i < n; ++i) set_by_value_type(*table, rec, static_cast<std::int32_t>(i), *a[i]);
    t.set_flag(true);
  });
  reg(kDelete, [](TDBManager& m, TCustomParam& t, Args) {
    TDBTable* table = m.active();
    if (!table || table->current() < 0) return t.set_flag(false);
    table->delete_record(table->current());
    t.set_flag(true);
  });
  for (int index : {kGetInt, kGetFloat, kGetBool, kGetStr}) {
    reg(index, [](TDBManager& m, TCustomParam& t, Args a) {
      const TDBTable* table = m.active();
      if (!table) return;  // the target keeps 0, 0.0, FALSE or ""
      get_into(t, *table, table->current(), table->field_index(a[0]->as_str()));
    });
  }
  for (int index : {kSetInt, kSetFloat, kSetBool, kSetStr}) {
    reg(index, [index](TDBManager& m, TCustomParam& t, Args a) {
      TDBTable* table = m.active();
      if (!table || table->current() < 0) return t.set_flag(false);
      const std::int32_t rec = table->current(), field = table->field_index(a[0]->as_str());
      const TCustomParam& v = *a[1];
      bool done = false;
      switch (index) {
        case kSetInt: done = table->set_int(rec, field, v.as_int()); break;
        case kSetFloat: done = table->set_float(rec, field, v.as_float()); break;
        case kSetBool: done = table->set_flag(rec, field, v.as_flag()); break;
        default: done = table->set_str(rec, field, v.as_str()); break;
      }
      t.set_flag(done);
    });
  }
  reg(kLocate, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* table = m.active();
    if (!table) return t.set_flag(false);
    const std::int32_t found = find_first(*table, criteria_from(a, 0));
    if (found >= 0) table->set_current(found);
    t.set_flag(found >= 0);
  });
  reg(kLoadTsvFile, [&scope](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* table = m.active();
    if (!table) return t.set_flag(false);
    if (!scope.access) core::throw_error("DBLoadTsvFile: the title's files do not exist");
    // A refused name, a missing file and one over the size cap all answer
    // FALSE and leave the table as it was (the access logs why).
    const std::optional<std::vector<std::uint8_t>> bytes = scope.access->Read(a[0]->as_str());
    t.set_flag(bytes && load_tsv(*table, *bytes));
  });
  for (int index = kDirectGetInt; index <= kDirectSetStr; ++index) {
    const bool getter = (index - kDirectGetInt) % 2 == 0;
    reg(index, [index, getter](TDBManager& m, TCustomParam& t, Args a) {
      const TDBTable* found_table = m.find(a[0]->as_str());
      const DBCriteria c{a[1], a[2], a[3]->as_flag(), a[4]->as_flag()};
      std::int32_t rec = -1, field = -1;
      if (found_table) {
        rec = find_first(*found_table, c);
        field = found_table->field_index(a[5]->as_str());
      }
      if (getter) {
        if (rec < 0 || field < 0) {
          return expr::set_scalar_as(t, expr::kSysFuncs[static_cast<std::size_t>(index)].result, *a[6]);
        }
        return get_into(t, *found_table, rec, field);
      }
      if (rec < 0 || field < 0) return t.set_flag(false);
      TDBTable& table = *m.find(a[0]->as_str());
      const TCustomParam& v = *a[6];
      bool done = false;
      switch (index) {
        case kDirectSetInt: done = table.set_int(rec, field, v.as_int()); break;
        case kDirectSetFloat: done = table.set_float(rec, field, v.as_float()); break;
        case kDirectSetBool: done = table.set_flag(rec, field, v.as_flag()); break;
        default: done = table.set_str(rec, field, v.as_str()); break;
      }
      t.set_flag(done);
    });
  }
  reg(kCopyTable, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* source = m.active();
    TDBTable* dest = m.find(a[0]->as_str());
    if (!source || !dest || dest == source) return t.set_flag(false);
    const std::vector<std::int32_t> found = find_records(*source, criteria_from(a, 1), DBFindMode::All);
    dest->clear();
    for (const TDBField& f : source->fields()) dest->add_field(f.name(), f.type(), f.string_length());
    // The source holds them, so they fit the destination too.
    std::int32_t last = -1;
    append_copies(*dest, *source, found, last);
    dest->set_current(last);
    t.set_flag(true);
  });
  reg(kInsertTable, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* active = m.active();
    const TDBTable* source = m.find(a[0]->as_str());
    if (!active || !source || !same_fields(*active, *source)) return t.set_flag(false);
    std::int32_t last = -1;
    if (!append_copies(*active, *source, find_records(*source, criteria_from(a, 1), DBFindMode::All), last)) {
      return t.set_flag(false);
    }
    if (last >= 0) active->set_current(last);
    t.set_flag(true);
  });
  reg(kCopy, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* active = m.active();
    TDBTable* to = m.find(a[0]->as_str());
    if (!active || active->current() < 0 || !to || !same_fields(*active, *to)) return t.set_flag(false);
    std::int32_t last = -1;
    if (!append_copies(*to, *active, {active->current()}, last)) return t.set_flag(false);
    to->set_current(last);
    t.set_flag(true);
  });
  reg(kSort, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* table = m.active();
    if (!table) return t.set_flag(false);
    const TCustomParam& names = *a[0];
    const TCustomParam& descending = *a[1];
    std::vector<DBSortKey> keys;
    const std::int32_t n = std::min(names.count(), descending.count());
    for (std::int32_t i = 0; i < n; ++i) {
      // A name that is no field is skipped.
      const std::int32_t f = table->field_index(names.str_at(i));
      if (f >= 0) keys.push_back({f, descending.flag_at(i)});
    }
    table->sort(keys);
    t.set_flag(true);
  });
}

}  // namespace nova::data
