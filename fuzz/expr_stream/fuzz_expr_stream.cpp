// The compiled-stream loader on arbitrary bytes, followed by execution
// against a store with variables of every kind.
#include <cstdint>
#include <cstdlib>

#include "../expr_common/samples.h"
#include "core/error.h"
#include "expr/nova_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  expr::TNovaParser parser;
  core::ByteReader r(std::span<const std::uint8_t>(data, size));
  try {
    parser.load(r);
  } catch (const core::Error&) {
    return 0;
  }
  expr::TParamCollection store;
  fuzz::fill_store(store);
  expr::TSysFuncMan funcs;
  // One behaviour that reaches back into the store the way later functions
  // will: it frees the variable its first argument names.
  funcs.set_behaviour(50, [&](expr::TCustomParam& t, std::span<expr::TCustomParam* const> args) {
    if (!args.empty()) store.remove(args[0]->as_str());
    t.set_flag(true);
  });
  for (int i = 0; i < 2; ++i) parser.execute(store, funcs);
  if (store.underscore_count() != 0) std::abort();
  core::ByteWriter saved;
  parser.save(saved);
  expr::TNovaParser again;
  core::ByteReader sr(std::span<const std::uint8_t>(saved.data()));
  again.load(sr);
  return 0;
}
