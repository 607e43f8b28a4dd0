// Seeds: interpreter states saved in the middle of waits, handlers and
// calls on the sample pages.
#include "../script_common/samples.h"
#include "components/events.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  fuzz::MemoryHost host(fuzz::sample_pages());
  core::FrameClock clock;
  expr::TParamCollection store;
  bool created = false;
  store.create("i", expr::PT_INT, expr::TVarScope::Global, created);
  expr::TSysFuncMan funcs;
  components::ListEventQueue events;
  const components::ComponentId button = events.add_component("button");
  script::TCallMan cm({clock, store, funcs, host});
  cm.set_event_queue(&events);
  cm.set_component_directory(&events);
  cm.StartAt("main.nsb");
  int n = 0;
  auto seed = [&](std::uint8_t version_byte) {
    core::ByteWriter w;
    w.u8(version_byte);
    cm.SaveState(w);
    fuzz::write_seed(folder, n++, w.data());
  };
  seed(33);  // version 140
  for (int t = 0; t < 3; ++t) {
    clock.FrameDeltaMs.store(15);
    cm.RunTick();
  }
  seed(33);
  events.raise(button, 36, "sub.src", {"1", "2"});
  cm.RunTick();
  seed(33);
  seed(0);  // version 107: the same bytes read without EventLevel
  return 0;
}
