// The read-mark record on arbitrary bytes: a record that reads writes back
// to the same list, and a damaged one leaves the list as it was.
#include <cstdint>
#include <cstdlib>

#include "components/read_list.h"
#include "core/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using nova::components::TNovaReadList;
  TNovaReadList before;
  before.SetPending("mes", "kept", 1, 2);
  before.CommitPending("mes");
  TNovaReadList list = before;
  nova::core::ByteReader r(std::span<const std::uint8_t>(data, size));
  try {
    list.LoadFromStream(r);
  } catch (const nova::core::Error&) {
    if (!(list == before)) std::abort();
    return 0;
  }
  nova::core::ByteWriter w;
  list.SaveToStream(w);
  TNovaReadList back;
  nova::core::ByteReader again(w.data());
  back.LoadFromStream(again);
  if (!(back == list) || !again.at_end()) std::abort();
  // What the box asks of it stays consistent with what it holds.
  for (int i = 0; i < list.Count(); ++i) {
    const auto& item = list.Items(i);
    if (!item.positions.empty() && !list.IsRead(item.key, item.positions[0], item.pages[0])) std::abort();
  }
  return 0;
}
