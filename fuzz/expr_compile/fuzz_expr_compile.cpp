// The compiler on arbitrary text: it either compiles or raises the system's
// error; what compiles writes, loads, runs, and saves back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "../expr_common/samples.h"
#include "core/error.h"
#include "expr/build_parser.h"
#include "expr/nova_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  expr::TBuildNovaParser builder;
  core::ByteWriter w;
  try {
    builder.compile(text);
    builder.write(w);
  } catch (const core::Error&) {
    return 0;
  }
  expr::TNovaParser parser;
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  parser.load(r);  // our own stream must always load
  core::ByteWriter again;
  parser.save(again);
  if (again.data() != w.data()) std::abort();
  expr::TParamCollection store;
  fuzz::fill_store(store);
  expr::TSysFuncMan funcs;
  parser.execute(store, funcs);
  parser.execute(store, funcs);
  if (store.underscore_count() != 0) std::abort();  // temporaries never outlive a run
  return 0;
}
