// The status record on arbitrary bytes: what reads is written, and what is
// written reads back with the same read marks, quality flag and tables.
#include <cstdint>
#include <cstdlib>

#include "core/error.h"
#include "script/save_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  expr::TParamCollection store;
  bool created = false;
  store.create("kept", expr::PT_INT, expr::TVarScope::Status, created).value().set_int(1);
  script::TStatusTail tail;
  try {
    tail = script::read_status_record(std::span<const std::uint8_t>(data, size), store);
  } catch (const core::Error&) {
    return 0;
  }
  core::ByteWriter w;
  script::write_status_record(w, store, tail);
  expr::TParamCollection again;
  const script::TStatusTail back = script::read_status_record(w.data(), again);
  if (back.version < script::kStatusVersion) std::abort();
  if (!(back.read_marks == tail.read_marks) || back.image_quality != tail.image_quality) std::abort();
  if (back.tables != (tail.tables.empty() ? script::empty_status_tables() : tail.tables)) std::abort();
  return 0;
}
