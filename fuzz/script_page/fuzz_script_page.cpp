// The page loader on arbitrary bytes: what parses is written back byte for
// byte, and the player's page builds its commands from it.
#include <cstdint>
#include <cstdlib>

#include "core/error.h"
#include "expr/param_collection.h"
#include "script/page.h"
#include "script/page_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  const std::span<const std::uint8_t> bytes(data, size);
  script::TPageFile file;
  try {
    file = script::TPageFile::parse(bytes);
  } catch (const core::Error&) {
    return 0;
  }
  if (file.bytes() != std::vector<std::uint8_t>(bytes.begin(), bytes.end())) std::abort();
  expr::TParamCollection store;
  script::TPage page(store);
  try {
    page.Load("fuzz.nsb", bytes);
  } catch (const core::Error&) {
    std::abort();  // what the format reader accepts, the page accepts
  }
  for (std::int32_t i = 0; i < page.count(); ++i) {
    if (page.command(i).GetCode() != page.command(i).record().code()) std::abort();
  }
  page.FindLabel("label");
  return 0;
}
