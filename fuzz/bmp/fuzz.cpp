// Bitmap files from outside: refused with core::Error, or read the same
// through the frame list, a surface's stream and its .bmp file; a surface
// saved as .bmp loads back to its pixels.
#include <cstdio>

#include "../picture_common/file_checks.h"

using namespace nova;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  graphics::TBrioFrameList list;
  if (!fuzz::read_checked({data, size}, false, list)) return 0;
  static const auto in = fuzz::scratch_file("in.bmp");
  static const auto out = fuzz::scratch_file("out.BMP");
  if (std::FILE* f = std::fopen(in.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  graphics::TDIBX from_file, again;
  from_file.SetSize(1, 1, 32);
  again.SetSize(1, 1, 32);
  from_file.LoadFromFile(in.string());
  graphics::TDIBX expected;
  expected.SetSize(1, 1, 32);
  graphics::CopyFrameToSurface(list.Frames(0), expected);
  if (!fuzz::same_pixels(from_file, expected)) std::abort();
  from_file.SaveToFile(out.string());
  again.LoadFromFile(out.string());
  if (!fuzz::same_pixels(from_file, again)) std::abort();
  return 0;
}
