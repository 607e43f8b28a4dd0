// The DB functions (87-124) over the player's table manager. They report
// failure only through their results: FALSE, -1, or the default given.
#include <algorithm>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"
#include "data/data_functions.h"
#include "data/db_manager.h"
#include "expr/function_args.h"

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

// The search criteria of DBLocate, DBDirect... and the copies: names and
// values pairwise; absent (either array missing) matches every record.
struct Criteria {
  const TCustomParam* names = nullptr;
  const TCustomParam* values = nullptr;
  bool case_insensitive = false;
  bool partial = false;
};

Criteria criteria_from(Args a, std::size_t first) {
  Criteria c;
  c.names = expr::optional_arg(a, first);
  c.values = expr::optional_arg(a, first + 1);
  if (const TCustomParam* ci = expr::optional_arg(a, first + 2)) c.case_insensitive = ci->as_flag();
  if (const TCustomParam* p = expr::optional_arg(a, first + 3)) c.partial = p->as_flag();
  return c;
}

// Whether record `rec` matches criterion i; nullopt when the criterion names
// no field of the table (the search then ends).
std::optional<bool> criterion_matches(const TDBTable& t, std::int32_t rec, const Criteria& c, std::int32_t i) {
  const std::int32_t field = t.field_index(c.names->str_at(i));
  if (field < 0) return std::nullopt;
  switch (c.values->type()) {
    case expr::PT_INT: return t.get_int(rec, field) == c.values->int_at(i);
    case expr::PT_FLOAT: return t.get_float(rec, field) == c.values->float_at(i);
    case expr::PT_BOOL: return t.get_flag(rec, field) == c.values->flag_at(i);
    case expr::PT_STR: {
      const std::string text = t.get_str(rec, field).value_or(std::string());
      const std::string wanted = c.values->str_at(i);
      if (!c.partial) return c.case_insensitive ? core::equal_ci(text, wanted) : text == wanted;
      // The record's text is looked for in the value given, not the reverse.
      if (text.empty()) return false;
      if (c.case_insensitive) return core::upper(wanted).find(core::upper(text)) != std::string::npos;
      return wanted.find(text) != std::string::npos;
    }
    default: return false;
  }
}

// The matching records in table order.
std::vector<std::int32_t> find_records(const TDBTable& t, const Criteria& c) {
  std::vector<std::int32_t> found;
  const bool all = !c.names || !c.values;
  const std::int32_t pairs = all ? 0 : std::min(c.names->count(), c.values->count());
  for (std::int32_t rec = 0; rec < t.record_count(); ++rec) {
    bool match = true;
    for (std::int32_t i = 0; i < pairs && match; ++i) {
      const std::optional<bool> m = criterion_matches(t, rec, c, i);
      // A name that is no field ends the search where it is first reached.
      if (!m) return found;
      match = *m;
    }
    if (match) found.push_back(rec);
  }
  return found;
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

// Copies the records (raw bytes) into `to`; the copies are taken first, so
// a table may receive its own records. The last copy's index, -1 for none.
std::int32_t append_copies(TDBTable& to, const TDBTable& from, const std::vector<std::int32_t>& records) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(records.size() * static_cast<std::size_t>(from.record_size()));
  for (std::int32_t rec : records) {
    const auto r = from.record(rec);
    bytes.insert(bytes.end(), r.begin(), r.end());
  }
  std::int32_t last = -1;
  const auto size = static_cast<std::size_t>(from.record_size());
  for (std::size_t k = 0; k < records.size(); ++k) {
    last = to.append_raw(std::span<const std::uint8_t>(bytes).subspan(k * size, size));
  }
  return last;
}

void sort_records(TDBTable& t, const TCustomParam& names, const TCustomParam& descending) {
  struct Key {
    std::int32_t field;
    bool descending;
  };
  std::vector<Key> keys;
  const std::int32_t n = std::min(names.count(), descending.count());
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int32_t f = t.field_index(names.str_at(i));
    if (f >= 0) keys.push_back({f, descending.flag_at(i)});
  }
  if (keys.empty() || t.record_count() < 2) return;
  auto compare = [&t](const Key& k, std::int32_t a, std::int32_t b) -> int {
    switch (t.fields()[static_cast<std::size_t>(k.field)].type()) {
      case DBFieldType::Integer:
      case DBFieldType::Flag: {
        const std::int32_t x = *t.get_int(a, k.field), y = *t.get_int(b, k.field);
        return x < y ? -1 : x > y ? 1 : 0;
      }
      case DBFieldType::Float: {
        const long double x = *t.get_float(a, k.field), y = *t.get_float(b, k.field);
        return x < y ? -1 : x > y ? 1 : 0;
      }
      case DBFieldType::String: {
        const int c = t.get_str(a, k.field)->compare(*t.get_str(b, k.field));
        return c < 0 ? -1 : c > 0 ? 1 : 0;
      }
    }
    return 0;
  };
  std::vector<std::int32_t> order(static_cast<std::size_t>(t.record_count()));
  std::iota(order.begin(), order.end(), 0);
  // Records of equal keys may come out in any order, as the unstable
  // quicksort of the original arrangement leaves them.
  std::sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
    for (const Key& k : keys) {
      const int c = compare(k, a, b);
      if (c != 0) return k.descending ? c > 0 : c < 0;
    }
    return false;
  });
  std::vector<std::uint8_t> sorted;
  sorted.reserve(t.records().size());
  for (std::int32_t rec : order) {
    const auto r = t.record(rec);
    sorted.insert(sorted.end(), r.begin(), r.end());
  }
  const std::int32_t current = t.current();
  t.clear_records();
  const auto size = static_cast<std::size_t>(t.record_size());
  for (std::size_t k = 0; k < order.size(); ++k) {
    t.append_raw(std::span<const std::uint8_t>(sorted).subspan(k * size, size));
  }
  t.set_current(current);
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
  reg(kClearTable, [](TDBManager& m, TCustomParam&, Args) { m.clear(); });
  reg(kClearRecord, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* table = named_or_active(m, a, 0);
    if (table) table->clear_records();
    t.set_flag(table != nullptr);
  });
  reg(kAddField, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* table = m.active();
    const std::int32_t type = a[1]->as_int();
    const TCustomParam* length = expr::optional_arg(a, 2);
    const std::int32_t n = length ? length->as_int() : 0;
    // A negative declared length is refused, as is a record that would grow
    // past the table's limit.
    if (!table || type < 1 || type > 4 || n < 0) return t.set_flag(false);
    try {
      table->add_field(a[0]->as_str(), static_cast<DBFieldType>(type), n);
    } catch (const core::Error& e) {
      core::logf(core::Channel::Data, core::Level::Warning, "DBAddField: %s", {e.message()});
      return t.set_flag(false);
    }
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
    if (!table) return t.set_flag(false);
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
    const std::vector<std::int32_t> found = find_records(*table, criteria_from(a, 0));
    if (!found.empty()) table->set_current(found.front());
    t.set_flag(!found.empty());
  });
  reg(kLoadTsvFile, [](TDBManager&, TCustomParam&, Args) {
    core::throw_error("DBLoadTsvFile: loading a table from a tab-separated file is not built yet");
  });
  for (int index = kDirectGetInt; index <= kDirectSetStr; ++index) {
    const bool getter = (index - kDirectGetInt) % 2 == 0;
    reg(index, [index, getter](TDBManager& m, TCustomParam& t, Args a) {
      const TDBTable* found_table = m.find(a[0]->as_str());
      const Criteria c{a[1], a[2], a[3]->as_flag(), a[4]->as_flag()};
      std::int32_t rec = -1, field = -1;
      if (found_table) {
        const std::vector<std::int32_t> found = find_records(*found_table, c);
        field = found_table->field_index(a[5]->as_str());
        if (!found.empty()) rec = found.front();
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
    const std::vector<std::int32_t> found = find_records(*source, criteria_from(a, 1));
    dest->clear();
    for (const TDBField& f : source->fields()) dest->add_field(f.name(), f.type(), f.string_length());
    dest->set_current(append_copies(*dest, *source, found));
    t.set_flag(true);
  });
  reg(kInsertTable, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* active = m.active();
    const TDBTable* source = m.find(a[0]->as_str());
    if (!active || !source || !same_fields(*active, *source)) return t.set_flag(false);
    const std::int32_t last = append_copies(*active, *source, find_records(*source, criteria_from(a, 1)));
    if (last >= 0) active->set_current(last);
    t.set_flag(true);
  });
  reg(kCopy, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* active = m.active();
    TDBTable* to = m.find(a[0]->as_str());
    if (!active || active->current() < 0 || !to || !same_fields(*active, *to)) return t.set_flag(false);
    to->set_current(append_copies(*to, *active, {active->current()}));
    t.set_flag(true);
  });
  reg(kSort, [](TDBManager& m, TCustomParam& t, Args a) {
    TDBTable* table = m.active();
    if (!table) return t.set_flag(false);
    sort_records(*table, *a[0], *a[1]);
    t.set_flag(true);
  });
}

}  // namespace nova::data
