// Helpers of the picture tests: typed bytes, loading layered files from
// memory, reading pixels and errors back.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "files/stream.h"
#include "graphics/brios.h"
#include "graphics/jpeg_codec.h"

namespace nova::graphics::test {

// Bytes typed as hex pairs; white space is ignored, and so is the rest of a
// line after "|" (a comment).
inline std::string hex(std::string_view text) {
  std::string out;
  int high = -1;
  bool comment = false;
  for (char c : text) {
    if (c == '|') comment = true;
    if (c == '\n') comment = false;
    if (comment) continue;
    int v;
    if (c >= '0' && c <= '9') {
      v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      v = c - 'A' + 10;
    } else {
      continue;
    }
    if (high < 0) {
      high = v;
    } else {
      out += static_cast<char>(high << 4 | v);
      high = -1;
    }
  }
  return out;
}

inline files::TKvMemoryStream stream_of(const std::string& bytes) {
  return files::TKvMemoryStream(files::as_bytes(bytes));
}

inline std::unique_ptr<TBrioFrameList> load(const std::string& bytes, BrioLoad flags = BrioLoad::KeepLayers,
                                            std::int32_t key = 0) {
  auto list = std::make_unique<TBrioFrameList>(key);
  auto s = stream_of(bytes);
  list->LoadFromStream(s, flags, "test.bri");
  return list;
}

// The message of the core::Error `f` raises, or "" when it raises none.
inline std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const core::Error& e) {
    return e.message();
  }
  return "";
}

inline std::vector<std::uint32_t> pixels_of(const TCustomDIBX& s) {
  std::vector<std::uint32_t> out;
  for (int y = 0; y < s.GetHeight(); ++y) {
    for (int x = 0; x < s.GetWidth(); ++x) out.push_back(s.GetPixel(x, y));
  }
  return out;
}
inline std::vector<std::uint32_t> pixels_of(const TDIBSurface& s) { return pixels_of(s.Bitmap()); }

// A JPEG stream of a w × h picture of one 24-bit pixel value.
inline std::string flat_jpeg(int w, int h, std::uint32_t pixel, int quality) {
  TDIBSurface picture;
  picture.SetSize(w, h, 24);
  picture.Fill(pixel);
  files::MemoryBlock jpeg;
  encode_jpeg(picture, quality, jpeg);
  return std::string(jpeg.view());
}

inline std::string bytes_of(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace nova::graphics::test
