// A message box's own fields on arbitrary bytes, applied to a box with a
// laid-out text: the first byte picks the record's version. A damaged
// record leaves the box's fields as they were; one that reads is laid out
// again, typed on, and what it writes reads again.
#include <cstdint>
#include <cstdlib>

#include "core/error.h"
#include "mes_world.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  if (size < 1) return 0;
  static fuzz::MesWorld* world = new fuzz::MesWorld();
  const std::int32_t version = fuzz::kBoxVersions[data[0] % std::size(fuzz::kBoxVersions)];
  components::TNovaMes& m = world->box();
  core::ByteWriter before;
  m.SaveFields(before);
  core::ByteReader r(std::span<const std::uint8_t>(data + 1, size - 1));
  try {
    m.LoadFields(r, version);
  } catch (const core::Error&) {
    core::ByteWriter after;
    m.SaveFields(after);
    if (after.data() != before.data()) std::abort();
    world->list.destroy(m);
    return 0;
  }
  m.RefreshAfterLoad();
  for (int i = 0; i < 3; ++i) world->list.UpdateAll();
  (void)m.GetAllText();
  (void)m.PlayingText();
  core::ByteWriter w;
  m.SaveFields(w);
  components::TNovaMes& again = world->box();
  core::ByteReader back(w.data());
  again.LoadFields(back, 140);
  if (!back.at_end()) std::abort();
  again.RefreshAfterLoad();
  world->list.destroy(m);
  world->list.destroy(again);
  world->list.events().clear();
  return 0;
}
