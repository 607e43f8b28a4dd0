// How the player's picture fills a window or a screen larger (or smaller)
// than the title's own screen: the presentation transform, applied after the
// screen manager has presented the composed frame, and its inverse, which
// puts the pointer back onto the panel pixel that is shown under it.
//
// The title never sees any of this: its screen size, its surface and the
// positions it reads stay in panel pixels. The transform maps the panel (the
// source, `source` pixels) into an area of the window's drawable (real
// pixels, after the desktop's scale factor).
//
// Sampling rules, which the scaler and the pointer mapping share:
// - nearest: drawable pixel x of the target shows panel pixel
//   floor((x − left + ½) × source ÷ target), the pixel under its centre;
// - linear: the panel is sampled at (x − left + ½) × source ÷ target − ½ in
//   16.16 fixed point, clamped to the panel, with 8-bit weights rounded to
//   nearest; top and bottom are c0 × (256 − wx) + c1 × wx, and each channel
//   is ((top × (256 − wy)) >> 8) + ((bottom × wy) >> 8) + 128) >> 8 (top or
//   bottom alone at a weight of 0 or 256).
// The fast path and the scalar reference give the same bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/framebuffer.h"
#include "platform/types.h"

namespace nova::platform {

enum class ScaleMode : std::uint8_t {
  Fit,      // the largest scale that keeps the aspect ratio; black bars elsewhere
  Integer,  // the largest whole multiple that fits (1 when none does), centred
  Stretch,  // the whole area, aspect ratio ignored
  None,     // 1:1, centred
};

enum class ScaleFilter : std::uint8_t {
  Auto,     // nearest for whole multiples, linear otherwise
  Nearest,  // sharp pixels
  Linear,   // bilinear
};

std::string_view to_string(ScaleMode m);
std::string_view to_string(ScaleFilter f);
std::optional<ScaleMode> parse_scale_mode(std::string_view text);
std::optional<ScaleFilter> parse_scale_filter(std::string_view text);

constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Where the panel lands in the drawable, and how it is sampled.
struct PictureTransform {
  Size source;  // the panel, in panel pixels
  Rect area;    // the part of the drawable the picture is shown in
  Rect target;  // where the panel's pixels land (may reach beyond `area`)
  bool linear = false;

  static PictureTransform make(Size source, Rect area, ScaleMode mode, ScaleFilter filter);

  bool identity() const { return target.width() == source.width && target.height() == source.height && !linear; }
  // Drawable pixel → the panel pixel shown there. Outside the target the
  // answer lies outside the panel (negative, or the size or beyond).
  Point to_panel(Point drawable) const {
    return {static_cast<int>(panel_coordinate(drawable.x - target.left, source.width, target.width())),
            static_cast<int>(panel_coordinate(drawable.y - target.top, source.height, target.height()))};
  }
  // Panel pixel → the drawable pixel under the centre of its image.
  Point to_drawable(Point panel) const {
    return {target.left + static_cast<int>(drawable_coordinate(panel.x, source.width, target.width())),
            target.top + static_cast<int>(drawable_coordinate(panel.y, source.height, target.height()))};
  }
  // The drawable pixels a change of the panel rectangle `r` can alter,
  // within the area. Exact for whole multiples with nearest sampling; one
  // pixel wider than needed otherwise.
  Rect drawable_rect_of(Rect r) const;

  static std::int64_t panel_coordinate(std::int64_t d, std::int64_t s, std::int64_t t) {
    return t <= 0 ? -1 : floor_div((2 * d + 1) * s, 2 * t);
  }
  static std::int64_t drawable_coordinate(std::int64_t p, std::int64_t s, std::int64_t t) {
    return s <= 0 ? 0 : floor_div((2 * p + 1) * t, 2 * s);
  }
};

// Renders the drawable pixels of `clip` that lie in the transform's area:
// inside the target they sample `source` (32-bit, the panel's pixels),
// elsewhere they are black. `source` smaller than the transform's source
// size is read clamped to its edges.
class PictureScaler {
 public:
  void render(const PixelView& source, const PictureTransform& t, Framebuffer& out, Rect clip);
  // The per-pixel form the fast path is checked against.
  static void render_reference(const PixelView& source, const PictureTransform& t, Framebuffer& out, Rect clip);

 private:
  void prepare(const PictureTransform& t);
  void render_nearest(const PixelView& source, Framebuffer& out, Rect inner);
  void render_linear(const PixelView& source, Framebuffer& out, Rect inner);

  // Per drawable column and row of the target, cached for one transform.
  std::optional<PictureTransform> m_for;
  std::vector<std::int32_t> m_x0, m_x1, m_y0, m_y1;
  std::vector<std::uint16_t> m_wx, m_wy;
  // Two horizontally filtered source rows (4 channels each), for linear.
  std::vector<std::uint16_t> m_rows[2];
  std::int32_t m_row_of[2] = {-1, -1};
};

}  // namespace nova::platform
