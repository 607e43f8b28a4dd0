// Component records on arbitrary bytes (see stream.h): what loads is
// written again at the newest version, read into a new list and written
// once more, and both writings must be equal. A damaged stream must fail
// with core::Error, leaving nothing it made behind.
#include <cstdint>
#include <cstdlib>

#include "core/error.h"
#include "stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  if (size < 1) return 0;
  const std::int32_t version = 101 + data[0] % 40;
  components::TNovaBaseList list(fuzz::record_services());
  core::ByteReader r(std::span<const std::uint8_t>(data + 1, size - 1));
  try {
    fuzz::read_items(list, r, version);
  } catch (const core::Error&) {
    return 0;
  }
  const std::vector<std::uint8_t> first = fuzz::write_items(list);
  components::TNovaBaseList again(fuzz::record_services());
  core::ByteReader back(std::span<const std::uint8_t>(first.data() + 1, first.size() - 1));
  fuzz::read_items(again, back, components::kComponentRecordVersion);
  if (fuzz::write_items(again) != first) std::abort();
  return 0;
}
