// Inline pictures of the IMG tag: what the text engine needs of a picture
// and who gives it one.
//
// The engine asks its InlinePictureSource for a picture by the name the tag
// gives (SRC), reads its size, frames and delays, draws frame k into its
// colour surface and mask when it renders, and releases the picture by
// destroying it when the text that named it goes. The source behind it is
// the owner's: the player's serves pictures from the image components'
// picture cache; tools and tests give their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "graphics/dibx.h"

namespace nova::text {

// One picture, held from the moment the engine first measures an image glyph
// naming it until the engine's text is replaced or cleared.
class InlinePicture {
 public:
  virtual ~InlinePicture() = default;

  // The size of every frame; 0 × 0 for a picture that could not be decoded.
  virtual std::int32_t width() const = 0;
  virtual std::int32_t height() const = 0;
  // At least 1 for a picture with pixels.
  virtual std::int32_t frame_count() const = 0;
  // How long frame k shows, in milliseconds; 0 or less holds the frame.
  virtual std::int32_t frame_delay(std::int32_t k) const = 0;
  // Draws frame k (0 <= k < frame_count) with its top-left corner at (x, y)
  // into a colour surface of the depth the engine renders at, and its
  // coverage (0 transparent .. 255 opaque) into the 8-bit mask beside it.
  // Both surfaces clip as usual.
  virtual void draw_frame(std::int32_t k, graphics::TCustomDIBX& colour, graphics::TCustomDIBX& mask, std::int32_t x,
                          std::int32_t y) const = 0;
};

class InlinePictureSource {
 public:
  virtual ~InlinePictureSource() = default;
  // The picture of that name (Shift-JIS, as the tag gives it), or nullptr
  // when there is none. A source may also raise core::Error for a picture
  // it cannot decode; the engine takes both as an empty picture (0 × 0).
  virtual std::unique_ptr<InlinePicture> acquire(std::string_view name) = 0;
};

}  // namespace nova::text
