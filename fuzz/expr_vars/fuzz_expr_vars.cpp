// The variable-record loaders on arbitrary bytes. The first byte picks the
// block (game or status) and the save version; what loads saves and loads
// again, and the pushed blocks pop. A game block is loaded by the plain
// loader too: both must accept the same bytes with the same result, refuse
// the same bytes with the same error, and leave the store as it was when
// they refuse.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "../expr_common/samples.h"
#include "core/error.h"
#include "expr/param_collection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  if (size < 1) return 0;
  const bool status = data[0] & 0x80;
  const std::int32_t version = 100 + (data[0] & 0x3F);
  expr::TParamCollection store;
  fuzz::fill_store(store);
  const std::span<const std::uint8_t> input(data + 1, size - 1);
  auto blocks_of = [](const expr::TParamCollection& s) {
    core::ByteWriter w;
    s.save_game_variables(w);
    s.save_status_variables(w);
    return w.take();
  };
  const std::vector<std::uint8_t> before = blocks_of(store);
  std::string error;
  core::ByteReader r(input);
  try {
    if (status) {
      store.load_status_variables(r);
    } else {
      store.load_game_variables(r, version);
    }
  } catch (const core::Error& e) {
    error = e.message();
  }
  if (!status) {
    expr::TParamCollection plain;
    fuzz::fill_store(plain);
    std::string plain_error;
    core::ByteReader pr(input);
    try {
      plain.load_game_variables_reference(pr, version);
    } catch (const core::Error& e) {
      plain_error = e.message();
    }
    if (plain_error != error || blocks_of(plain) != blocks_of(store)) std::abort();
  }
  if (!error.empty()) {
    if (blocks_of(store) != before) std::abort();
    return 0;
  }
  core::ByteWriter w;
  store.save_game_variables(w);
  store.save_status_variables(w);
  expr::TParamCollection again;
  core::ByteReader back(std::span<const std::uint8_t>(w.data()));
  again.load_game_variables(back, 140);  // what we write must load
  again.load_status_variables(back);
  try {
    while (again.pushed_count() > 0) again.pop();
  } catch (const core::Error&) {
    // A pushed system variable cannot be written without a provider.
  }
  return 0;
}
