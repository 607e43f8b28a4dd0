// Cursor directories (".cur") on arbitrary bytes: a damaged file must fail
// with core::Error; what reads is within the size limits and its pixels
// fill it.
#include <cstdint>
#include <cstdlib>

#include "core/error.h"
#include "graphics/cursor_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  try {
    const graphics::CursorFrame f = graphics::read_cursor_file({data, size});
    if (f.width < 1 || f.height < 1 || f.width > graphics::kMaxCursorSide || f.height > graphics::kMaxCursorSide ||
        f.argb.size() != static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height) || f.hotspot.x < 0 ||
        f.hotspot.x >= f.width || f.hotspot.y < 0 || f.hotspot.y >= f.height) {
      std::abort();
    }
  } catch (const core::Error&) {
  }
  return 0;
}
