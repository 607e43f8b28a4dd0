// Painting one rasterized glyph into a colour surface and its 8-bit mask:
// plain characters, border (outline stamping), drop shadow, underline and
// strike-out bars with the ends of their runs, and the compositing rule that
// joins the borders and shadows of neighbouring glyphs.
//
// Two implementations give the same bytes: the fast one works row by row on
// locked memory with tables for the compositing divisions; the reference
// works pixel by pixel through GetPixel and SetPixel straight from the
// formulas, and is what the tests compare the fast one against.
//
// Clipping: each surface is touched only inside its own clip rectangle (its
// whole area when none is set). Where a compositing step needs the mask
// value of a pixel outside the mask's clip, the stored value is read and
// not changed; outside the mask surface it reads 0.
//
// Colour surfaces of 15, 16 and 32 bits are drawn into; at other depths the
// colour surface is left unchanged and the mask is still drawn.
#pragma once

#include <cstdint>

#include "graphics/dibx.h"
#include "text/font_pixel.h"

namespace nova::text {

// What DrawFontPixel needs besides the glyph. The colours are pixel values of
// the colour surface (its ColorToPixel of the colour words).
struct GlyphDrawing {
  // The colour surface and the 8-bit mask beside it; either may be null.
  graphics::TCustomDIBX* color = nullptr;
  graphics::TCustomDIBX* mask = nullptr;
  std::uint32_t shadow_color = 0;
  std::uint32_t border_color = 0;
  std::uint32_t text_color = 0;
  // Whether the character ends or starts a run of neighbours drawn with the
  // same widths and colours: the ends of the bars follow from them.
  bool last_of_run = true;
  bool first_of_run = true;
  std::int32_t shadow_width = 0;
  std::int32_t border_width = 0;
  // The character's box in surface coordinates; its width and height include
  // twice the border width and the shadow width.
  graphics::Rect cell;
};

// Paints `glyph` with its coverage's left edge `offset` pixels right of its
// left bearing inside the cell. The widths must lie in 0..64 (the manager
// limits them). Answers the union of everything painted, before clipping;
// empty for an empty glyph. Raises core::Error when the mask is not an 8-bit
// surface.
graphics::Rect paint_glyph(const TFontPixel& glyph, std::int32_t offset, const GlyphDrawing& drawing);

// The same, pixel by pixel from the formulas.
graphics::Rect paint_glyph_reference(const TFontPixel& glyph, std::int32_t offset, const GlyphDrawing& drawing);

// For tests and benchmarks: whether the fast path stamps borders of width 1
// eight pixels at a time where the processor allows (the default), or one
// at a time. Both give the same bytes.
void use_vector_border(bool on);

}  // namespace nova::text
