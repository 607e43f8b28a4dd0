// Any text either reads as scripted input or fails with an error naming its
// line; the events read have no negative tick, and a wheel event carries
// whole notches of 120 within the count the reader accepts.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/headless/input_script.h"

using namespace nova::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const std::vector<ScriptedEvent> events = parse_input_script(text);
    for (const ScriptedEvent& e : events) {
      if (e.tick < 0) std::abort();
      if (e.event.type == EventType::MouseWheel) {
        const int wheel = e.event.wheel;
        if (wheel % 120 != 0 || wheel < -10000 * 120 || wheel > 10000 * 120) std::abort();
      }
    }
  } catch (const PlatformError& e) {
    if (std::string_view(e.what()).find("line ") == std::string_view::npos) std::abort();
  }
  return 0;
}
