// The saved interpreter state on arbitrary bytes, against the sample pages:
// what loads saves, and what is saved loads into a new interpreter. The
// first byte picks the save version (below 116 there is no EventLevel).
#include <cstdint>
#include <cstdlib>

#include "../script_common/samples.h"
#include "components/events.h"
#include "core/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  if (size < 1) return 0;
  const std::int32_t version = 107 + data[0] % 34;
  static const auto pages = fuzz::sample_pages();
  fuzz::MemoryHost host(pages);
  core::FrameClock clock;
  expr::TParamCollection store;
  expr::TSysFuncMan funcs;
  components::ListEventQueue events;
  events.add_component("button");
  events.add_component("timer");
  script::TCallMan cm({clock, store, funcs, host});
  cm.set_event_queue(&events);
  cm.set_component_directory(&events);
  core::ByteReader r(std::span<const std::uint8_t>(data + 1, size - 1));
  try {
    cm.LoadState(r, version);
  } catch (const core::Error&) {
    return 0;
  }
  core::ByteWriter w;
  cm.SaveState(w);
  script::TCallMan again({clock, store, funcs, host});
  again.set_event_queue(&events);
  again.set_component_directory(&events);
  core::ByteReader back(std::span<const std::uint8_t>(w.data()));
  again.LoadState(back, 140);
  if (!back.at_end()) std::abort();
  return 0;
}
