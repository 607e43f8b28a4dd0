// The status record on arbitrary bytes: what reads is written, and what is
// written reads back with the same read marks, quality flag and tables; a
// damaged record leaves the tables as they were.
#include <cstdint>
#include <cstdlib>

#include "core/error.h"
#include "script/save_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  expr::TParamCollection store;
  bool created = false;
  store.create("kept", expr::PT_INT, expr::TVarScope::Status, created).value().set_int(1);
  data::TDBManager tables;
  tables.create("game", false);
  tables.create("status", true).add_field("n", data::DBFieldType::Integer);
  auto status_form = [](const data::TDBManager& m) {
    core::ByteWriter w;
    m.save(w, data::TDBManager::Form::Status);
    return w.take();
  };
  const auto held = status_form(tables);
  script::TStatusTail tail;
  try {
    tail = script::read_status_record(std::span<const std::uint8_t>(data, size), store, tables);
  } catch (const core::Error&) {
    if (status_form(tables) != held || tables.tables().size() != 2) std::abort();
    return 0;
  }
  if (!tables.find("game")) std::abort();
  core::ByteWriter w;
  script::write_status_record(w, store, tail, tables);
  expr::TParamCollection again;
  data::TDBManager again_tables;
  const script::TStatusTail back = script::read_status_record(w.data(), again, again_tables);
  if (back.version < script::kStatusVersion) std::abort();
  if (!(back.read_marks == tail.read_marks) || back.image_quality != tail.image_quality) std::abort();
  if (status_form(again_tables) != status_form(tables)) std::abort();
  return 0;
}
