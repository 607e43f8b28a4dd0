// Layered files from outside: read with the key and flags of the first five
// bytes; a read raises core::Error and leaves nothing, or gives frames that
// mask, trim, go into surfaces, and write out as a file that reads again.
#include <cstdint>
#include <cstdlib>

#include "../picture_common/picture_fuzz.h"
#include "core/error.h"
#include "core/log.h"
#include "graphics/brios.h"

using namespace nova;
using graphics::BrioLoad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  core::set_stderr_logging(false);
  if (size < 5) return 0;
  const std::uint8_t flags = data[0];
  const auto key =
      static_cast<std::int32_t>(data[1] | data[2] << 8 | data[3] << 16 | static_cast<std::uint32_t>(data[4]) << 24);
  BrioLoad load = BrioLoad::None;
  if (flags & 1) load = load | BrioLoad::FirstFrameOnly;
  if (flags & 2) load = load | BrioLoad::KeepLayers;
  if (flags & 4) load = load | BrioLoad::Convert;
  static const int kTargets[4] = {0, 16, 32, 8};
  graphics::TBrioFrameList list(key);
  list.SetLimits(fuzz::fuzz_limits());
  list.target_bit_count = kTargets[(flags >> 3) & 3];
  files::TKvMemoryStream stream(std::span<const std::uint8_t>(data + 5, size - 5));
  try {
    list.LoadFromStream(stream, load);
  } catch (const core::Error&) {
    if (list.Count() != 0) std::abort();  // a failed read leaves nothing
    return 0;
  }
  if (stream.GetPosition() > static_cast<std::int64_t>(size - 5)) std::abort();

  list.MakeMasks((flags & 2) != 0);
  for (int i = 0; i < list.Count(); ++i) {
    graphics::TBrioFrame& f = list.Frames(i);
    graphics::TDIBX s32, s16, alpha;
    s32.SetSize(1, 1, 32);
    s16.SetSize(1, 1, 16);
    graphics::CopyFrameToSurface(f, s32);
    graphics::CopyFrameToSurface(f, s16);
    graphics::CopyAlphaToSurface(f, alpha);
    const graphics::Rect r = f.Trim();
    // The picture left is the rectangle answered, inside the one before.
    if (r.width() != f.surface.Width() || r.height() != f.surface.Height() || r.left < 0 || r.top < 0 ||
        r.right > s32.GetWidth() || r.bottom > s32.GetHeight()) {
      std::abort();
    }
  }
  // Our own writer's file reads again, to as many frames.
  files::TKvMemoryStream out;
  try {
    list.SaveToStream(out, (flags >> 5) % 3, 75);
  } catch (const core::Error&) {
    return 0;  // layers of differing sizes or depths cannot be written
  }
  graphics::TBrioFrameList again(key);
  out.SetPosition(0);
  again.LoadFromStream(out, BrioLoad::KeepLayers);
  if (again.Count() != list.Count()) std::abort();
  return 0;
}
