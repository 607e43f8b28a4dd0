// PNG files from outside: refused with core::Error, or read the same
// through the frame list, a surface's stream and a .png file; what our
// writer makes of the picture reads back to the same pixels and alpha.
#include <cstdio>

#include "../picture_common/file_checks.h"
#include "graphics/png_codec.h"

using namespace nova;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  graphics::TBrioFrameList list;
  if (!fuzz::read_checked({data, size}, true, list)) return 0;
  static const auto in = fuzz::scratch_file("in.PNG");
  if (std::FILE* f = std::fopen(in.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  graphics::TBrioFrameList from_file;
  from_file.SetLimits(fuzz::fuzz_limits());
  from_file.LoadFromFile(in);
  const graphics::TBrioFrame& f = list.Frames(0);
  if (from_file.Count() != 1 || !fuzz::same_pixels(from_file.Frames(0).surface.Bitmap(), f.surface.Bitmap())) {
    std::abort();
  }
  if (f.surface.IsEmpty()) return 0;
  files::MemoryBlock png;
  graphics::write_png(f.surface, f.transparent, png);
  graphics::TBrioFrameList again;
  again.LoadPicture(png.bytes(), true);
  const graphics::TBrioFrame& g = again.Frames(0);
  if (!fuzz::same_pixels(g.surface.Bitmap(), f.surface.Bitmap()) || g.HasAlpha() != f.HasAlpha() ||
      (f.HasAlpha() && !fuzz::same_pixels(*g.surface.Alpha(), *f.surface.Alpha()) && f.transparent == -1)) {
    std::abort();
  }
  return 0;
}
