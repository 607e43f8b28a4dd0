#include "graphics/wipe_plain.h"

#include <algorithm>
#include <cmath>

#include "graphics/wipe_math.h"

namespace nova::graphics {

using wipe::copy_whole;
using wipe::grey_pixel;
using wipe::round_even;
using wipe::scale;
using wipe::to_int;

// r = (d − e − 1) / d: what is left of the transition after this frame.
static long double remaining(std::int64_t e, std::int64_t d) {
  return static_cast<long double>(d - e - 1) / static_cast<long double>(d);
}

void TWipeFade::Draw(std::int64_t e, std::int64_t d) {
  copy_whole(target(), old_screen());
  const long double r = remaining(e, d);
  const int x = to_int(round_even(r * m_param[0]));
  const int y = to_int(round_even(r * m_param[1]));
  target().DrawBlend(x, y, static_cast<int>(scale(256, e, d)), false, false, false, full(), new_screen());
}

void TWipeWhite::Apply(std::uint32_t grey) { target().AddRect(full(), grey); }
void TWipeBlack::Apply(std::uint32_t grey) { target().SubRect(full(), grey); }

void TWipeWhite::Draw(std::int64_t e, std::int64_t d) {
  const int a = static_cast<int>(scale(511, e, d));
  if (a < 256) {
    copy_whole(target(), old_screen());
    Apply(grey_pixel(target(), a));
  } else {
    copy_whole(target(), new_screen());
    Apply(grey_pixel(target(), 511 - a));
  }
}

void TWipeFlash::Draw(std::int64_t e, std::int64_t d) {
  const int b = static_cast<int>(scale(255, e, d));
  copy_whole(target(), new_screen());
  target().AddRect(full(), grey_pixel(target(), 255 - b));
}

void TWipeScrollH::Draw(std::int64_t e, std::int64_t d) {
  const int w = width();
  const int a = static_cast<int>(scale(w, e, d));
  const bool r = Reverse();
  target().Draw(r ? a : -a, 0, false, false, false, full(), old_screen());
  target().Draw(r ? a - w : w - a, 0, false, false, false, full(), new_screen());
}

void TWipeScrollV::Draw(std::int64_t e, std::int64_t d) {
  const int h = height();
  const int a = static_cast<int>(scale(h, e, d));
  const bool r = Reverse();
  target().Draw(0, r ? a : -a, false, false, false, full(), old_screen());
  target().Draw(0, r ? a - h : h - a, false, false, false, full(), new_screen());
}

namespace {

// The blind's position along a side of `size` pixels: k runs from 0 to
// size − 1 over the old screen, then back from size − 1 to 1 over the new.
struct Fold {
  int k;
  const TCustomDIBX* src;
};

Fold fold(std::int64_t size, std::int64_t e, std::int64_t d, const TCustomDIBX& old_screen,
          const TCustomDIBX& new_screen) {
  std::int64_t k = scale(2 * size - 1, e, d);
  if (k < size) return {static_cast<int>(k), &old_screen};
  return {static_cast<int>(2 * size - k - 1), &new_screen};
}

// Along one axis: stretch the source band [band_begin, band_end) over the
// destination [dst_begin, dst_end) and copy [copy_begin, copy_end) in
// place. `horizontal` says whether the bands are columns.
void stretch_and_copy(TCustomDIBX& target, const TCustomDIBX& src, bool horizontal, int band_begin, int band_end,
                      int dst_begin, int dst_end, int copy_begin, int copy_end) {
  const int w = target.GetWidth(), h = target.GetHeight();
  auto along = [&](int a, int b) { return horizontal ? Rect{a, 0, b, h} : Rect{0, a, w, b}; };
  target.StretchDraw(along(dst_begin, dst_end), src, 255, false, false, false, along(band_begin, band_end));
  if (copy_begin < copy_end) {
    const Rect c = along(copy_begin, copy_end);
    target.Draw(c.left, c.top, false, false, false, c, src);
  }
}

void sudare(TCustomDIBX& target, const TCustomDIBX& old_screen, const TCustomDIBX& new_screen, bool horizontal,
            bool reverse, std::int64_t e, std::int64_t d) {
  const int size = horizontal ? target.GetWidth() : target.GetHeight();
  const Fold f = fold(size, e, d, old_screen, new_screen);
  if (!reverse) {
    stretch_and_copy(target, *f.src, horizontal, f.k, f.k + 1, 0, f.k + 1, f.k + 1, size);
  } else {
    const int c = size - f.k - 1;
    stretch_and_copy(target, *f.src, horizontal, c, c + 1, c, size, 0, c);
  }
}

// The band's width swells from the ends of the transition towards its
// middle: g = round(|e − d/2| × (k/2) / (d/2)), in real arithmetic so that
// d = 1 works.
int band(std::int64_t e, std::int64_t d, std::int64_t k) {
  const long double half = static_cast<long double>(d) / 2;
  const long double dist = std::fabs(static_cast<long double>(e) - half);
  return to_int(round_even(dist * (static_cast<long double>(k) / 2) / half));
}

void rubber(TCustomDIBX& target, const TCustomDIBX& old_screen, const TCustomDIBX& new_screen, bool horizontal,
            bool reverse, std::int64_t e, std::int64_t d) {
  const int size = horizontal ? target.GetWidth() : target.GetHeight();
  const Fold f = fold(size, e, d, old_screen, new_screen);
  if (!reverse) {
    const int g = band(e, d, f.k);
    stretch_and_copy(target, *f.src, horizontal, std::max(0, f.k - g), f.k + 1, 0, f.k + 1, f.k + 1, size);
  } else {
    // The mirror image, with the band's width taken from k + 1.
    const int c = size - f.k - 1;
    const int g = band(e, d, f.k + 1);
    const int end = static_cast<int>(std::min<std::int64_t>(size, std::int64_t{c} + g + 1));
    stretch_and_copy(target, *f.src, horizontal, c, end, c, size, 0, c);
  }
}

}  // namespace

void TWipeSudareH::Draw(std::int64_t e, std::int64_t d) {
  sudare(target(), old_screen(), new_screen(), true, Reverse(), e, d);
}
void TWipeSudareV::Draw(std::int64_t e, std::int64_t d) {
  sudare(target(), old_screen(), new_screen(), false, Reverse(), e, d);
}
void TWipeRubberH::Draw(std::int64_t e, std::int64_t d) {
  rubber(target(), old_screen(), new_screen(), true, Reverse(), e, d);
}
void TWipeRubberV::Draw(std::int64_t e, std::int64_t d) {
  rubber(target(), old_screen(), new_screen(), false, Reverse(), e, d);
}

void TWipeSmall::Draw(std::int64_t e, std::int64_t d) {
  copy_whole(target(), new_screen());
  const std::int64_t p = Reverse() ? -std::int64_t{m_param[0]} : m_param[0];
  const int zoom = to_int(round_even(remaining(e, d) * 255));
  const int angle = to_int(round_even(static_cast<long double>(p) * e / d));
  const int cx = width() / 2, cy = height() / 2;
  target().DrawRotate(cx, cy, 255, false, false, false, angle, cy, cx, full(), old_screen(), zoom, zoom);
}

void TWipeBig::Draw(std::int64_t e, std::int64_t d) {
  copy_whole(target(), old_screen());
  const std::int64_t p = Reverse() ? -std::int64_t{m_param[0]} : m_param[0];
  const int zoom = to_int(round_even(static_cast<long double>(e) * 255 / d));
  const int angle = to_int(round_even(static_cast<long double>(p) * remaining(e, d)));
  const int cx = width() / 2, cy = height() / 2;
  target().DrawRotate(cx, cy, 255, false, false, false, angle, cy, cx, full(), new_screen(), zoom, zoom);
}

}  // namespace nova::graphics
