// The DB table block on arbitrary bytes; the first byte picks the form
// (even: game, odd: status) and the rest is loaded into a manager that
// holds tables of both. A block that fails leaves both forms byte-identical;
// one that loads saves, loads and saves to the same bytes, then is sorted
// and searched on every field.
#include <cstdint>
#include <cstdlib>

#include "core/error.h"
#include "data/db_search.h"
#include "expr/params.h"
#include "tables.h"

namespace {

using nova::data::TDBManager;
using nova::data::TDBTable;

std::vector<std::uint8_t> saved(const TDBManager& m, TDBManager::Form form) {
  nova::core::ByteWriter w;
  m.save(w, form);
  return w.take();
}

// Locates the first record's value of every field, in every value type,
// four times (scan, build, index, index): the same answer each time, and
// the record found holds the value.
void search_every_field(const TDBTable& t) {
  if (t.record_count() == 0) return;
  for (std::int32_t f = 0; f < static_cast<std::int32_t>(t.fields().size()); ++f) {
    nova::expr::TParamStr names(t.fields()[static_cast<std::size_t>(f)].name());
    nova::expr::TParamInt as_int(*t.get_int(0, f));
    nova::expr::TParamFloat as_float(*t.get_float(0, f));
    nova::expr::TParamFlag as_flag(*t.get_flag(0, f));
    nova::expr::TParamStr as_str(*t.get_str(0, f));
    const nova::expr::TCustomParam* values[] = {&as_int, &as_float, &as_flag, &as_str};
    for (const nova::expr::TCustomParam* v : values) {
      for (bool ci : {false, true}) {
        const nova::data::DBCriteria c{&names, v, ci, false};
        const auto first = nova::data::find_records(t, c, nova::data::DBFindMode::All);
        for (int again = 0; again < 3; ++again) {
          if (nova::data::find_records(t, c, nova::data::DBFindMode::All) != first) std::abort();
        }
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto form = (data[0] & 1) != 0 ? TDBManager::Form::Status : TDBManager::Form::Game;
  const std::span<const std::uint8_t> input(data + 1, size - 1);
  TDBManager m;
  nova::fuzz::fill_tables(m);
  const auto game = saved(m, TDBManager::Form::Game);
  const auto status = saved(m, TDBManager::Form::Status);
  const std::int32_t active = m.active_index();
  // The tables alone, without the active table's name (a load of either form
  // changes which table is active).
  m.set_active(-1);
  const auto game_tables = saved(m, TDBManager::Form::Game);
  m.set_active(active);
  nova::core::ByteReader r(input);
  try {
    m.load(r, form);
  } catch (const nova::core::Error&) {
    if (saved(m, TDBManager::Form::Game) != game || saved(m, TDBManager::Form::Status) != status ||
        m.active_index() != active)
      std::abort();
    return 0;
  }
  // The other form is untouched, and every table of the loaded one has its
  // form's flag.
  // The active table's name is left out from here: it may name a table that
  // only the first manager holds.
  m.set_active(-1);
  if (form == TDBManager::Form::Game ? saved(m, TDBManager::Form::Status) != status
                                     : saved(m, TDBManager::Form::Game) != game_tables)
    std::abort();
  // The loaded block's tables written back as that form and read into a
  // fresh manager give the same bytes.
  const auto once = saved(m, form);
  TDBManager again;
  nova::core::ByteReader r2(once);
  again.load(r2, form);
  if (!r2.at_end() || saved(again, form) != once) std::abort();
  for (const auto& t : m.tables()) {
    if (t->is_status() != (form == TDBManager::Form::Status)) continue;
    // Strings end in their fields.
    for (std::int32_t rec = 0; rec < std::min(t->record_count(), 64); ++rec) {
      for (std::int32_t f = 0; f < static_cast<std::int32_t>(t->fields().size()); ++f) {
        if (static_cast<std::int32_t>(t->get_str(rec, f)->size()) > t->fields()[static_cast<std::size_t>(f)].size() &&
            t->fields()[static_cast<std::size_t>(f)].type() == nova::data::DBFieldType::String)
          std::abort();
      }
    }
    search_every_field(*t);
    const std::size_t bytes = t->records().size();
    for (std::int32_t f = 0; f < static_cast<std::int32_t>(t->fields().size()); ++f) {
      for (bool descending : {false, true}) {
        const nova::data::DBSortKey key[] = {{f, descending}};
        t->sort(key);
        if (t->records().size() != bytes) std::abort();
      }
    }
  }
  return 0;
}
