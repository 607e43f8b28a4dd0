// The player's inline pictures of the IMG tag: pictures of the image
// components' cache (TBrioCollection), each a user of its cache item while
// the text that names it holds it.
//
// Lifetime: the source borrows the cache, which must outlive it and every
// picture it handed out; a picture releases its cache item when the text
// engine destroys it.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "text/inline_pictures.h"

namespace nova::graphics {
class TBrioCollection;
}

namespace nova::components {

class InlinePictureCache final : public text::InlinePictureSource {
 public:
  explicit InlinePictureCache(graphics::TBrioCollection& cache) : m_cache(cache) {}
  // The picture through the cache with an alpha plane on every frame; a
  // missing or damaged file is the empty picture (0 × 0).
  std::unique_ptr<text::InlinePicture> acquire(std::string_view name) override;

 private:
  graphics::TBrioCollection& m_cache;
  // Each picture is a user of its own: a text may name a file twice.
  std::uint64_t m_next_owner = 0;
};

}  // namespace nova::components
