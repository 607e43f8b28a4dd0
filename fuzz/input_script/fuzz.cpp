// Any text either reads as scripted input or fails with an error naming its
// line; the events read come in tick order when sorted and keep their
// fields in range.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/error.h"
#include "platform/headless/input_script.h"

using namespace nova::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    std::vector<ScriptedEvent> events = parse_input_script(text);
    for (const ScriptedEvent& e : events) {
      if (e.tick < 0) std::abort();
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const ScriptedEvent& a, const ScriptedEvent& b) { return a.tick < b.tick; });
  } catch (const PlatformError& e) {
    if (std::string_view(e.what()).find("line ") == std::string_view::npos) std::abort();
  }
  return 0;
}
