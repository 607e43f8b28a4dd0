// Picture files held in memory for the picture cache and the image
// components: a PictureFiles over a name → bytes map (names without regard
// to case, reads counted), and layered files of plain 24-bit frames written
// by the tests' own writer.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/sjis.h"
#include "graphics/picture_files.h"
#include "picture_builders.h"

namespace nova::graphics::test {

class MemoryPictures final : public PictureFiles {
 public:
  void put(const std::string& name, std::string bytes) { m_files[core::upper(name)] = std::move(bytes); }
  void remove(const std::string& name) { m_files.erase(core::upper(name)); }
  bool exists(const std::string& name) const override { return m_files.count(core::upper(name)) != 0; }
  std::vector<std::uint8_t> read_all(const std::string& name) const override {
    const auto it = m_files.find(core::upper(name));
    if (it == m_files.end()) throw core::Error(name + ": missing");
    ++reads;
    return {it->second.begin(), it->second.end()};
  }
  mutable int reads = 0;

 private:
  std::map<std::string, std::string> m_files;
};

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
