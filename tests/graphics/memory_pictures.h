// Picture files for the picture cache and the image components: layered
// files of plain 24-bit frames written by the tests' own writer, held in
// memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/memory_picture_files.h"
#include "picture_builders.h"

namespace nova::graphics::test {

using MemoryPictures = MemoryPictureFiles;

// One frame of a layered file: 24-bit pixel values (0x00RRGGBB), top row
// first, an optional key (a pixel value) and an optional 8-bit plane.
struct PlainFrame {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::int32_t delay = 100;
  std::int32_t key = -1;
  std::vector<std::uint32_t> plane;  // empty: none
  std::vector<Rect> rects;           // content rectangles
};

// Keyed layers leave the background colour in the composite, so the
// background is the first key (as a colour word, red low).
inline std::string plain_bri(const std::vector<PlainFrame>& frames) {
  RawFile f;
  f.mode = 1;
  for (const PlainFrame& p : frames) {
    if (p.key == -1) continue;
    const auto k = static_cast<std::uint32_t>(p.key);
    f.background = static_cast<std::int32_t>((k & 0xFF) << 16 | (k & 0xFF00) | (k >> 16 & 0xFF));
    break;
  }
  for (const PlainFrame& p : frames) {
    RawLayer layer;
    layer.colour = dib_rows(p.width, p.height, 24, p.pixels);
    if (!p.plane.empty()) {
      layer.alpha_enabled = true;
      layer.alpha = dib_rows(p.width, p.height, 8, p.plane);
    }
    layer.transparent = p.key;
    RawFrame rf{"", p.key, p.delay, p.width, p.height, 24, {}, {layer}, p.rects, {}};
    f.frames.push_back(rf);
  }
  return build_bri(f);
}

// A w × h frame of one colour.
inline PlainFrame solid_frame(int w, int h, std::uint32_t pixel, std::int32_t delay = 100) {
  PlainFrame f;
  f.width = w;
  f.height = h;
  f.pixels.assign(static_cast<std::size_t>(w * h), pixel);
  f.delay = delay;
  return f;
}

}  // namespace nova::graphics::test
