// The DB table block on arbitrary bytes, as a game form and as a status
// form, into a manager that holds tables of both: a block that reads
// writes back to the same bytes, and a damaged one changes nothing.
#include <cstdint>
#include <cstdlib>

#include "core/error.h"
#include "tables.h"

namespace {

using nova::data::TDBManager;

std::vector<std::uint8_t> saved(const TDBManager& m, TDBManager::Form form) {
  nova::core::ByteWriter w;
  m.save(w, form);
  return w.take();
}

void try_form(std::span<const std::uint8_t> input, TDBManager::Form form) {
  TDBManager m;
  nova::fuzz::fill_tables(m);
  const auto game = saved(m, TDBManager::Form::Game);
  const auto status = saved(m, TDBManager::Form::Status);
  const std::int32_t active = m.active_index();
  nova::core::ByteReader r(input);
  try {
    m.load(r, form);
  } catch (const nova::core::Error&) {
    if (saved(m, TDBManager::Form::Game) != game || saved(m, TDBManager::Form::Status) != status ||
        m.active_index() != active)
      std::abort();
    return;
  }
  // The loaded block's tables written back as that form and read into a
  // fresh manager give the same bytes. The active table's name is left out:
  // it may name a table that only the first manager holds.
  m.set_active(-1);
  const auto once = saved(m, form);
  TDBManager again;
  nova::core::ByteReader r2(once);
  again.load(r2, form);
  if (!r2.at_end() || saved(again, form) != once) std::abort();
  // Every accessor stays inside the records.
  for (const auto& t : m.tables()) {
    for (std::int32_t rec = 0; rec < std::min(t->record_count(), 4); ++rec) {
      for (std::int32_t f = 0; f < static_cast<std::int32_t>(t->fields().size()); ++f) {
        (void)t->get_str(rec, f);
        (void)t->get_int(rec, f);
        t->set_str(rec, f, "FUZZFUZZFUZZ");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  try_form(input, TDBManager::Form::Game);
  try_form(input, TDBManager::Form::Status);
  return 0;
}
