// Animated cursors (".ani") on arbitrary bytes: a damaged file must fail
// with core::Error; what reads has at most the step limit of frames, each
// within the size limits.
#include <cstdint>
#include <cstdlib>

#include "core/error.h"
#include "graphics/cursor_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  try {
    const auto frames = graphics::read_animated_cursor({data, size});
    if (frames.empty() || frames.size() > static_cast<std::size_t>(graphics::kMaxCursorFrames)) std::abort();
    for (const graphics::CursorFrame& f : frames) {
      if (f.argb.size() != static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height) || f.display_ms < 1) {
        std::abort();
      }
    }
  } catch (const core::Error&) {
  }
  return 0;
}
