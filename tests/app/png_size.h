// The width and height a PNG file's header states ({0, 0} for anything
// else), for tests that check the size of a written picture.
#pragma once

#include <string>
#include <utility>

namespace nova::app::testing {

inline std::pair<int, int> png_size(const std::string& png) {
  auto be = [&](std::size_t at) {
    return static_cast<int>(static_cast<unsigned char>(png[at]) << 24 | static_cast<unsigned char>(png[at + 1]) << 16 |
                            static_cast<unsigned char>(png[at + 2]) << 8 | static_cast<unsigned char>(png[at + 3]));
  };
  if (png.size() < 24 || png.substr(1, 3) != "PNG") return {0, 0};
  return {be(16), be(20)};
}

}  // namespace nova::app::testing
