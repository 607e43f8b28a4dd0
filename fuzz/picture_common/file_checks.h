// The checks the PNG and bitmap fuzzers share: a picture read within the
// fuzzers' limits reads the same through a surface's LoadFromStream and
// through a file, and what we write of it reads back to the same pixels.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "core/error.h"
#include "core/log.h"
#include "files/stream.h"
#include "graphics/brios.h"
#include "picture_fuzz.h"

namespace nova::fuzz {

// A file of this process in the temporary folder.
inline std::filesystem::path scratch_file(const char* name) {
  return std::filesystem::temp_directory_path() / ("nova-fuzz-" + std::to_string(::getpid()) + "-" + name);
}

inline bool same_pixels(const graphics::TCustomDIBX& a, const graphics::TCustomDIBX& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
  for (int y = 0; y < a.GetHeight(); ++y) {
    for (int x = 0; x < a.GetWidth(); ++x) {
      if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
    }
  }
  return true;
}

// Reads `bytes` as a PNG (`png`) or bitmap file; answers the frame list, or
// nothing when the file is refused (which must leave the list empty).
inline bool read_checked(std::span<const std::uint8_t> bytes, bool png, graphics::TBrioFrameList& list) {
  core::set_stderr_logging(false);
  list.SetLimits(fuzz_limits());
  try {
    list.LoadPicture(bytes, png);
  } catch (const core::Error&) {
    if (list.Count() != 0) std::abort();
    return false;
  }
  if (list.Count() != 1) std::abort();
  // Through a surface, from a stream: the same picture, converted.
  graphics::TDIBX surface;
  surface.SetSize(1, 1, 32);
  files::TKvMemoryStream stream(bytes);
  surface.LoadFromStream(stream, 0);
  graphics::TDIBX expected;
  expected.SetSize(1, 1, 32);
  graphics::CopyFrameToSurface(list.Frames(0), expected);
  if (!same_pixels(surface, expected)) std::abort();
  return true;
}

}  // namespace nova::fuzz
