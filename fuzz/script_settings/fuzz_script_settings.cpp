// "nova.npb" on arbitrary bytes: what parses writes, and what is written
// parses back to the same bytes.
#include <cstdint>
#include <cstdlib>

#include "core/error.h"
#include "script/project_setting.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  script::TProjectSetting s;
  try {
    s = script::TProjectSetting::Parse(std::span<const std::uint8_t>(data, size));
  } catch (const core::Error&) {
    return 0;
  }
  const std::vector<std::uint8_t> written = s.Bytes();
  if (script::TProjectSetting::Parse(written).Bytes() != written) std::abort();
  return 0;
}
