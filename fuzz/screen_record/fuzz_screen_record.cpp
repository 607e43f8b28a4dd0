// Screen records on arbitrary bytes: a version byte (101 + the byte mod
// 40), then the record. What loads is written again, read into a new list
// and written once more, and both writings must be equal. A damaged record
// must fail with core::Error and leave the list as it was.
#include <cstdint>
#include <cstdlib>

#include "../component_record/stream.h"
#include "core/error.h"

namespace {

std::vector<std::uint8_t> written(const nova::components::TNovaBaseList& list) {
  nova::core::ByteWriter w;
  list.WriteScreen(w);
  return w.take();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  if (size < 1) return 0;
  const std::int32_t version = 101 + data[0] % 40;
  components::TNovaBaseList list({fuzz::record_factory()});
  // Records may name screens of a gigabyte; the pictures are not the point.
  list.ReleaseSurfaces();
  list.SetScreenSize(16, 16);
  auto& keep = list.Create(components::LT_TIMER);
  keep.SetName("kept");
  const std::vector<std::uint8_t> before = written(list);
  core::ByteReader r(std::span<const std::uint8_t>(data + 1, size - 1));
  try {
    list.ReadScreen(r, version);
  } catch (const core::Error&) {
    if (written(list) != before) std::abort();
    return 0;
  }
  const std::vector<std::uint8_t> first = written(list);
  components::TNovaBaseList again({fuzz::record_factory()});
  again.ReleaseSurfaces();
  core::ByteReader back(first);
  again.ReadScreen(back, components::kComponentRecordVersion);
  if (written(again) != first) std::abort();
  return 0;
}
