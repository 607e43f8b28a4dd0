// A pixman image over a surface's pixels (or over an image pixman made),
// released with the object: the baselines of the benchmarks that compare
// the surfaces with pixman.
#pragma once

#include <pixman.h>

#include <cstdint>

#include "graphics/memory_dibx.h"

namespace nova::bench {

struct PixmanImage {
  pixman_image_t* image = nullptr;
  PixmanImage(graphics::TDIBX& s, pixman_format_code_t f)
      : image(pixman_image_create_bits(f, s.GetWidth(), s.GetHeight(), reinterpret_cast<std::uint32_t*>(s.Lock(0, 0)),
                                       s.GetPitch())) {
    s.Unlock();
  }
  explicit PixmanImage(pixman_image_t* i) : image(i) {}
  ~PixmanImage() { pixman_image_unref(image); }
  PixmanImage(const PixmanImage&) = delete;
  PixmanImage& operator=(const PixmanImage&) = delete;
};

}  // namespace nova::bench
