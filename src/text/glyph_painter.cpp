#include "text/glyph_painter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "core/error.h"
#include "graphics/pixel_format.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace nova::text {

namespace {

using graphics::Rect;
using graphics::TCustomDIBX;

// A rectangle in 64-bit coordinates: cells and offsets from scripts may put
// a glyph anywhere, and nothing here may overflow on the way to the clip.
struct Box {
  std::int64_t left = 0;
  std::int64_t top = 0;
  std::int64_t right = 0;
  std::int64_t bottom = 0;

  static Box sized(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) { return {x, y, x + w, y + h}; }
  bool empty() const { return right <= left || bottom <= top; }
  Box united(const Box& o) const {
    if (empty()) return o;
    if (o.empty()) return *this;
    return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
  }
  Box grown(std::int64_t r) const { return {left - r, top - r, right + r, bottom + r}; }
  bool inside(const Rect& r) const { return left >= r.left && top >= r.top && right <= r.right && bottom <= r.bottom; }
  // The part inside `r` (which lies in the int range), or an empty Rect.
  Rect clipped(const Rect& r) const {
    const Rect out{static_cast<int>(std::clamp<std::int64_t>(left, r.left, r.right)),
                   static_cast<int>(std::clamp<std::int64_t>(top, r.top, r.bottom)),
                   static_cast<int>(std::clamp<std::int64_t>(right, r.left, r.right)),
                   static_cast<int>(std::clamp<std::int64_t>(bottom, r.top, r.bottom))};
    return out.empty() ? Rect{} : out;
  }
  // As a Rect, limited to the int range.
  Rect as_rect() const {
    if (empty()) return {};
    auto limit = [](std::int64_t v) {
      return static_cast<int>(
          std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    };
    return {limit(left), limit(top), limit(right), limit(bottom)};
  }
};

bool inside(const Rect& r, std::int64_t x, std::int64_t y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Whether a colour surface is drawn into at all.
bool draws_colour(const TCustomDIBX* s) {
  if (!s || s->IsEmpty()) return false;
  const int bits = s->GetBitCount();
  return bits == 15 || bits == 16 || bits == 32;
}

// The geometry of a glyph in its cell, the same for both implementations:
// which operations run, in which order, where. `Ops` does the pixels.
template <class Ops>
Rect paint(const TFontPixel& g, std::int32_t offset, const GlyphDrawing& d, Ops& ops) {
  if (g.empty()) return {};
  const std::int64_t X = d.cell.left, Y = d.cell.top, W = d.cell.width64(), H = d.cell.height64();
  const std::int64_t bw = d.border_width, sw = d.shadow_width;
  const std::int64_t L = g.left_bearing, O = offset, T = g.top_offset;
  const std::int64_t gw = g.coverage_width(), gh = g.coverage_height();
  const std::int64_t U = g.underline_thickness, P = g.strike_position, S = g.strike_thickness;
  const std::int64_t gx = X + bw + L + O, gy = Y + bw + T;

  Box drawn = Box::sized(X + L + O, Y + T, gw + 2 * bw + sw, gh + 2 * bw + sw);
  auto bar = [&](const Box& b, std::uint32_t colour) {
    if (b.empty()) return;
    ops.bar(b, colour);
    drawn = drawn.united(b);
  };

  if (bw == 0 && sw == 0) {
    // The caller paints plain text by filling its colour through the mask,
    // so the bars go into the mask alone.
    ops.plain(gx, gy, d.text_color);
    auto mask_bar = [&](const Box& b) {
      if (b.empty()) return;
      ops.mask_bar(b);
      drawn = drawn.united(b);
    };
    if (U > 0) mask_bar({X, Y + H - U, X + W, Y + H});
    if (S > 0) mask_bar({X, Y + P, X + W, Y + P + S});
    return drawn.as_rect();
  }

  // Only the first of a run starts its shadow bars sw in, only the last ends
  // its text bars sw short, so a run's bars join into one.
  const std::int64_t shadow_left = d.first_of_run ? X + sw : X;
  const std::int64_t text_right = X + W - (d.last_of_run ? sw : 0);
  if (sw > 0) {
    if (U > 0) bar({shadow_left, Y + H - 2 * bw - U, X + W, Y + H}, d.shadow_color);
    if (bw == 0) {
      ops.shadow_copy(gx + sw, gy + sw, d.shadow_color);
    } else {
      ops.stamp(gx + sw, gy + sw, d.shadow_color, bw);
    }
    drawn = drawn.united(Box::sized(gx + sw - bw, gy + sw - bw, gw + 2 * bw, gh + 2 * bw));
    if (S > 0) bar({shadow_left, Y + sw + P, X + W, Y + sw + P + 2 * bw + S}, d.shadow_color);
  }
  if (U > 0) {
    const std::int64_t top = Y + H - sw - bw - U;
    bar({X, top, text_right, top + U}, d.text_color);
    if (bw > 0) {
      bar({X, top - bw, text_right, top}, d.border_color);
      bar({X, top + U, text_right, top + U + bw}, d.border_color);
    }
  }
  if (bw == 0) {
    ops.composite_glyph(gx, gy, d.text_color);
  } else {
    ops.stamp(gx, gy, d.border_color, bw);
    ops.bordered_body(gx, gy, d.text_color, d.border_color);
  }
  if (S > 0) {
    bar({X, Y + bw + P, text_right, Y + bw + P + S}, d.text_color);
    if (bw > 0) {
      bar({X, Y + P, text_right, Y + P + bw}, d.border_color);
      bar({X, Y + P + bw + S, text_right, Y + P + 2 * bw + S}, d.border_color);
    }
  }
  return drawn.as_rect();
}

// What both implementations know of the surfaces.
struct Targets {
  TCustomDIBX* colour = nullptr;  // null when it is not drawn into
  Rect colour_clip;
  TCustomDIBX* mask = nullptr;
  Rect mask_clip;
  Rect mask_area;  // the whole mask, where its values can be read

  explicit Targets(const GlyphDrawing& d) {
    if (draws_colour(d.color)) {
      colour = d.color;
      colour_clip = colour->EffectiveClip();
    }
    if (d.mask && !d.mask->IsEmpty()) {
      if (d.mask->GetBitCount() != 8) core::throw_error("DrawFontPixel: the mask is not an 8-bit surface");
      mask = d.mask;
      mask_clip = mask->EffectiveClip();
      mask_area = Rect{0, 0, mask->GetWidth(), mask->GetHeight()};
    }
  }
};

// --- The reference -----------------------------------------------------------------

class ReferenceOps {
 public:
  ReferenceOps(const TFontPixel& g, const Targets& t) : m_cov(g.coverage), m_t(t) {
    if (t.colour) m_channels = {t.colour->GetRedMask(), t.colour->GetGreenMask(), t.colour->GetBlueMask()};
  }

  void bar(const Box& b, std::uint32_t value) {
    if (m_t.colour) {
      const Rect r = b.clipped(m_t.colour_clip);
      for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) m_t.colour->SetPixel(x, y, value);
      }
    }
    mask_bar(b);
  }

  void mask_bar(const Box& b) {
    if (!m_t.mask) return;
    const Rect r = b.clipped(m_t.mask_clip);
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) m_t.mask->SetPixel(x, y, 255);
    }
  }

  // Plain characters: the colour copied hard where there is coverage, the
  // mask the larger of itself and the coverage.
  void plain(std::int64_t gx, std::int64_t gy, std::uint32_t colour) {
    each_pixel(
        [&](std::int64_t x, std::int64_t y, std::uint32_t c) {
          if (c > 0 && colour_at(x, y)) m_t.colour->SetPixel(int(x), int(y), colour);
          if (mask_at(x, y)) m_t.mask->SetPixel(int(x), int(y), std::max(m_t.mask->GetPixel(int(x), int(y)), c));
        },
        gx, gy);
  }

  // The shadow of a character without border: the coverage copied into the
  // mask as it stands, the colour where there is coverage.
  void shadow_copy(std::int64_t sx, std::int64_t sy, std::uint32_t colour) {
    each_pixel(
        [&](std::int64_t x, std::int64_t y, std::uint32_t c) {
          if (mask_at(x, y)) m_t.mask->SetPixel(int(x), int(y), c);
          if (c > 0 && colour_at(x, y)) m_t.colour->SetPixel(int(x), int(y), colour);
        },
        sx, sy);
  }

  void composite_glyph(std::int64_t gx, std::int64_t gy, std::uint32_t colour) {
    each_pixel([&](std::int64_t x, std::int64_t y, std::uint32_t c) { composite(x, y, colour, c); }, gx, gy);
  }

  // Every neighbour of every covered pixel, in row order, takes the colour
  // with that pixel's coverage.
  void stamp(std::int64_t px, std::int64_t py, std::uint32_t colour, std::int64_t r) {
    each_pixel(
        [&](std::int64_t x, std::int64_t y, std::uint32_t c) {
          if (c == 0) return;
          for (std::int64_t dy = -r; dy <= r; ++dy) {
            for (std::int64_t dx = -r; dx <= r; ++dx) {
              if (dx != 0 || dy != 0) composite(x + dx, y + dy, colour, c);
            }
          }
        },
        px, py);
  }

  // The body of a bordered character: the mask full where there is
  // coverage, then the text colour blended over the border colour (not
  // over the surface), exactly the text colour at full coverage.
  void bordered_body(std::int64_t gx, std::int64_t gy, std::uint32_t text, std::uint32_t border) {
    each_pixel(
        [&](std::int64_t x, std::int64_t y, std::uint32_t c) {
          if (c > 0 && mask_at(x, y)) m_t.mask->SetPixel(int(x), int(y), 255);
        },
        gx, gy);
    each_pixel(
        [&](std::int64_t x, std::int64_t y, std::uint32_t c) {
          if (c == 0 || !colour_at(x, y)) return;
          m_t.colour->SetPixel(int(x), int(y), c == 255 ? text : mix(c, text, border));
        },
        gx, gy);
  }

 private:
  template <class Fn>
  void each_pixel(Fn fn, std::int64_t at_x, std::int64_t at_y) {
    for (int y = 0; y < m_cov.GetHeight(); ++y) {
      for (int x = 0; x < m_cov.GetWidth(); ++x) fn(at_x + x, at_y + y, m_cov.GetPixel(x, y));
    }
  }

  bool colour_at(std::int64_t x, std::int64_t y) const { return m_t.colour && inside(m_t.colour_clip, x, y); }
  bool mask_at(std::int64_t x, std::int64_t y) const { return m_t.mask && inside(m_t.mask_clip, x, y); }

  // Per channel ((w × colour + (255 − w) × d) >> 8), on the masked values in
  // unsigned 32-bit arithmetic, masked again.
  std::uint32_t mix(std::uint32_t w, std::uint32_t colour, std::uint32_t d) const {
    std::uint32_t out = 0;
    for (std::uint32_t m : m_channels) out |= ((w * (colour & m) + (255 - w) * (d & m)) >> 8) & m;
    return out;
  }

  // The compositing rule of borders and shadows: coverage c of a colour onto
  // a pixel whose mask value is m.
  void composite(std::int64_t x, std::int64_t y, std::uint32_t colour, std::uint32_t c) {
    if (c == 0) return;
    if (c == 255) {
      if (mask_at(x, y)) m_t.mask->SetPixel(int(x), int(y), 255);
      if (colour_at(x, y)) m_t.colour->SetPixel(int(x), int(y), colour);
      return;
    }
    const std::uint32_t m = m_t.mask && inside(m_t.mask_area, x, y) ? m_t.mask->GetPixel(int(x), int(y)) : 0;
    const std::uint32_t grown = m + c * (255 - m) / 255;
    const std::uint32_t w = grown == 0 ? 255 : c * 255 / grown;
    if (mask_at(x, y)) m_t.mask->SetPixel(int(x), int(y), grown);
    if (colour_at(x, y)) m_t.colour->SetPixel(int(x), int(y), mix(w, colour, m_t.colour->GetPixel(int(x), int(y))));
  }

  const graphics::TDIBX& m_cov;
  const Targets& m_t;
  std::array<std::uint32_t, 3> m_channels{};
};

// --- The fast path ---------------------------------------------------------------------

// The compositing divisions for every coverage c and mask value m, in one
// entry: the grown mask g = m + c × (255 − m) / 255 in the low byte and the
// weight c × 255 / g (255 for g = 0) in the high byte. For every m a pixel
// can hold, g ≥ c, so the weight never exceeds 255.
struct CompositeTable {
  std::array<std::array<std::uint16_t, 256>, 256> step;
};

const CompositeTable& composite_table() {
  static const auto table = [] {
    auto t = std::make_unique<CompositeTable>();
    for (std::uint32_t c = 0; c < 256; ++c) {
      for (std::uint32_t m = 0; m < 256; ++m) {
        const std::uint32_t g = m + c * (255 - m) / 255;
        const std::uint32_t w = g == 0 ? 255 : std::min<std::uint32_t>(255, c * 255 / g);
        t->step[c][m] = static_cast<std::uint16_t>(g | w << 8);
      }
    }
    return t;
  }();
  return *table;
}

// Whether borders of width 1 use the vector form (tests compare both forms
// with the reference).
bool g_vector_border = true;

// The word tricks below read bytes in little-endian order.
static_assert(std::endian::native == std::endian::little);

// A bit for every byte of `x` that is 0 (bit i for byte i), without a
// branch.
inline unsigned zero_bytes(std::uint64_t x) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  const std::uint64_t y = ~(((x & kLow7) + kLow7) | x | kLow7);  // 0x80 in each zero byte
  return static_cast<unsigned>(((y >> 7) * 0x0102040810204080ULL) >> 56);
}

struct Layout32 {
  using Pixel = std::uint32_t;
  static constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0xFF00, kBlue = 0xFF;
  // Red and blue share one product: each lane's sum stays below 2^16.
  static std::uint32_t mix(std::uint32_t w, std::uint32_t colour, std::uint32_t d) {
    const std::uint32_t rb = ((w * (colour & 0xFF00FF) + (255 - w) * (d & 0xFF00FF)) >> 8) & 0xFF00FF;
    const std::uint32_t g = ((w * (colour & 0xFF00) + (255 - w) * (d & 0xFF00)) >> 8) & 0xFF00;
    return rb | g;
  }
};

template <std::uint32_t R, std::uint32_t G, std::uint32_t B>
struct Layout16 {
  using Pixel = std::uint16_t;
  static constexpr std::uint32_t kRed = R, kGreen = G, kBlue = B;
  static std::uint32_t mix(std::uint32_t w, std::uint32_t colour, std::uint32_t d) {
    const std::uint32_t v = 255 - w;
    return (((w * (colour & R) + v * (d & R)) >> 8) & R) | (((w * (colour & G) + v * (d & G)) >> 8) & G) |
           (((w * (colour & B) + v * (d & B)) >> 8) & B);
  }
};
using Layout565 = Layout16<0xF800, 0x07E0, 0x001F>;
using Layout555 = Layout16<0x7C00, 0x03E0, 0x001F>;

// One locked surface: the address of any pixel inside it.
struct Locked {
  std::uint8_t* base = nullptr;
  std::ptrdiff_t pitch = 0;
  std::uint8_t* row(std::int64_t y) const { return base + static_cast<std::ptrdiff_t>(y) * pitch; }
};

template <class L>
class FastOps {
  using Pixel = typename L::Pixel;
  static constexpr std::ptrdiff_t kBytes = sizeof(Pixel);

 public:
  FastOps(const TFontPixel& g, const Targets& t, Locked colour, Locked mask, const std::uint8_t* cov,
          std::ptrdiff_t cov_pitch)
      : m_t(t),
        m_colour(colour),
        m_mask(mask),
        m_cov(cov),
        m_cov_pitch(cov_pitch),
        m_w(g.coverage_width()),
        m_h(g.coverage_height()),
        m_table(composite_table()) {}

  void bar(const Box& b, std::uint32_t value) {
    if (m_t.colour) {
      const Rect r = b.clipped(m_t.colour_clip);
      const auto px = static_cast<Pixel>(value);
      for (int y = r.top; y < r.bottom; ++y) {
        std::uint8_t* p = m_colour.row(y) + r.left * kBytes;
        for (int x = r.left; x < r.right; ++x, p += kBytes) std::memcpy(p, &px, kBytes);
      }
    }
    mask_bar(b);
  }

  void mask_bar(const Box& b) {
    if (!m_t.mask) return;
    const Rect r = b.clipped(m_t.mask_clip);
    for (int y = r.top; y < r.bottom; ++y)
      std::memset(m_mask.row(y) + r.left, 255, static_cast<std::size_t>(r.width()));
  }

  void plain(std::int64_t gx, std::int64_t gy, std::uint32_t colour) {
    const auto px = static_cast<Pixel>(colour);
    rows(gx, gy, colour_clip(), [&](const std::uint8_t* c, std::int64_t y, int from, int to, std::int64_t x0) {
      std::uint8_t* d = m_colour.row(y) + (x0 + from) * kBytes;
      for (int i = from; i < to; ++i, d += kBytes) {
        if (c[i] != 0) std::memcpy(d, &px, kBytes);
      }
    });
    rows(gx, gy, mask_clip(), [&](const std::uint8_t* c, std::int64_t y, int from, int to, std::int64_t x0) {
      std::uint8_t* m = m_mask.row(y) + x0;
      for (int i = from; i < to; ++i) m[i] = std::max(m[i], c[i]);
    });
  }

  void shadow_copy(std::int64_t sx, std::int64_t sy, std::uint32_t colour) {
    rows(sx, sy, mask_clip(), [&](const std::uint8_t* c, std::int64_t y, int from, int to, std::int64_t x0) {
      std::memcpy(m_mask.row(y) + x0 + from, c + from, static_cast<std::size_t>(to - from));
    });
    const auto px = static_cast<Pixel>(colour);
    rows(sx, sy, colour_clip(), [&](const std::uint8_t* c, std::int64_t y, int from, int to, std::int64_t x0) {
      std::uint8_t* d = m_colour.row(y) + (x0 + from) * kBytes;
      for (int i = from; i < to; ++i, d += kBytes) {
        if (c[i] != 0) std::memcpy(d, &px, kBytes);
      }
    });
  }

  // Each covered pixel composited once: the glyph box clipped to the union
  // of the two clips, each pixel checked against its surface's own.
  void composite_glyph(std::int64_t gx, std::int64_t gy, std::uint32_t colour) {
    const Box box = Box::sized(gx, gy, m_w, m_h);
    if (fits(box)) {
      for (int y = 0; y < m_h; ++y) {
        const std::uint8_t* c = m_cov + y * m_cov_pitch;
        std::uint8_t* d = m_t.colour ? m_colour.row(gy + y) + gx * kBytes : nullptr;
        std::uint8_t* m = m_t.mask ? m_mask.row(gy + y) + gx : nullptr;
        for (int x = 0; x < m_w; ++x) {
          if (c[x] != 0) blend(d ? d + x * kBytes : nullptr, m ? m + x : nullptr, m != nullptr, colour, c[x]);
        }
      }
      return;
    }
    for (int y = 0; y < m_h; ++y) {
      const std::uint8_t* c = m_cov + y * m_cov_pitch;
      for (int x = 0; x < m_w; ++x) {
        if (c[x] != 0) blend_checked(gx + x, gy + y, colour, c[x]);
      }
    }
  }

  // The neighbours of every covered pixel take its coverage of the colour,
  // the covered pixels in row order and their neighbours in row order.
  void stamp(std::int64_t px, std::int64_t py, std::uint32_t colour, std::int64_t r) {
    const Box box = Box::sized(px, py, m_w, m_h).grown(r);
    if (fits(box)) {
      if (r == 1) {
        gather_one(box, colour);
      } else {
        gather(box, colour, static_cast<int>(r));
      }
      return;
    }
    // At a clip's edge: source by source, each neighbour tested.
    for (int y = 0; y < m_h; ++y) {
      const std::uint8_t* c = m_cov + y * m_cov_pitch;
      for (int x = 0; x < m_w; ++x) {
        if (c[x] == 0) continue;
        for (std::int64_t dy = -r; dy <= r; ++dy) {
          for (std::int64_t dx = -r; dx <= r; ++dx) {
            if (dx != 0 || dy != 0) blend_checked(px + x + dx, py + y + dy, colour, c[x]);
          }
        }
      }
    }
  }

  // The stamping of a box inside every clip, pixel by pixel of the box: the
  // sources that reach a pixel are the window of 2r + 1 rows around it, and
  // they reach it in the window's own row order (a source's row order is
  // the rule's), so each pixel takes its composites in the same order as
  // source-by-source stamping gives them, is read and written once, and
  // needs only the composites after the last full coverage, which resets it.
  void gather(const Box& box, std::uint32_t colour, int r) {
    const int n = 2 * r + 1, pad = 2 * r;
    const int pw = m_w + 2 * pad, ph = m_h + 2 * pad;
    // The coverage with 2r columns and rows of zeros around it, so that the
    // window of every pixel of the box lies inside.
    thread_local std::vector<std::uint8_t> padded;
    padded.assign(static_cast<std::size_t>(pw) * static_cast<std::size_t>(ph), 0);
    for (int y = 0; y < m_h; ++y) {
      std::memcpy(padded.data() + static_cast<std::size_t>(y + pad) * pw + pad, m_cov + y * m_cov_pitch,
                  static_cast<std::size_t>(m_w));
    }
    // The window's offsets in row order, without its centre.
    thread_local std::vector<int> offsets;
    thread_local std::vector<std::uint8_t> seq;
    offsets.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    seq.resize(offsets.size());
    int count = 0;
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        if (i != r || j != r) offsets[static_cast<std::size_t>(count++)] = j * pw + i;
      }
    }
    const bool has_colour = m_t.colour != nullptr, has_mask = m_t.mask != nullptr;
    const int bw = m_w + 2 * r, bh = m_h + 2 * r;
    for (int v = 0; v < bh; ++v) {
      std::uint8_t* drow = has_colour ? m_colour.row(box.top + v) + box.left * kBytes : nullptr;
      std::uint8_t* mrow = has_mask ? m_mask.row(box.top + v) + box.left : nullptr;
      const std::uint8_t* window = padded.data() + static_cast<std::size_t>(v) * pw;
      for (int u = 0; u < bw; ++u) {
        const std::uint8_t* w0 = window + u;
        std::uint32_t any = 0;
        int last_full = -1;
        for (int k = 0; k < count; ++k) {
          const std::uint8_t c = w0[offsets[static_cast<std::size_t>(k)]];
          seq[static_cast<std::size_t>(k)] = c;
          any |= c;
          if (c == 255) last_full = k;
        }
        if (any == 0) continue;
        std::uint32_t m;
        Pixel d = 0;
        if (last_full >= 0) {
          m = has_mask ? 255 : 0;
          d = static_cast<Pixel>(colour);
        } else {
          m = has_mask ? mrow[u] : 0;
          if (has_colour) std::memcpy(&d, drow + u * kBytes, kBytes);
        }
        for (int k = last_full + 1; k < count; ++k) {
          const std::uint32_t c = seq[static_cast<std::size_t>(k)];
          if (c == 0) continue;
          const std::uint32_t step = m_table.step[c][m];
          if (has_mask) m = step & 0xFF;
          if (has_colour) d = static_cast<Pixel>(L::mix(step >> 8, colour, d));
        }
        if (has_mask) mrow[u] = static_cast<std::uint8_t>(m);
        if (has_colour) std::memcpy(drow + u * kBytes, &d, kBytes);
      }
    }
  }

  // The gather for a border of 1, the common one. `above` is the padded
  // coverage row above the pixel's row; the eight neighbours of box pixel u
  // start at above[u].
  void gather_one(const Box& box, std::uint32_t colour) {
    const int pw = m_w + 4, ph = m_h + 4;
    // Two rows and columns of zeros around the coverage, and 16 bytes more
    // so that whole words can be read at the end of a row.
    thread_local std::vector<std::uint8_t> padded;
    padded.assign(static_cast<std::size_t>(pw) * static_cast<std::size_t>(ph) + 16, 0);
    for (int y = 0; y < m_h; ++y) {
      std::memcpy(padded.data() + static_cast<std::size_t>(y + 2) * pw + 2, m_cov + y * m_cov_pitch,
                  static_cast<std::size_t>(m_w));
    }
    const int bw = m_w + 2, bh = m_h + 2;
    for (int v = 0; v < bh; ++v) {
      Row row{m_t.colour ? m_colour.row(box.top + v) + box.left * kBytes : nullptr,
              m_t.mask ? m_mask.row(box.top + v) + box.left : nullptr, padded.data() + static_cast<std::size_t>(v) * pw,
              pw};
      int u = 0;
#if defined(__SSE2__)
      if (g_vector_border) {
        for (; u + 8 <= bw; u += 8) gather_eight(row, u, colour);
      }
#endif
      for (; u < bw; ++u) gather_target(row, u, colour);
    }
  }

  struct Row {
    std::uint8_t* colour;  // the box's first pixel in this row, or null
    std::uint8_t* mask;
    const std::uint8_t* above;
    int pitch;  // of the padded coverage
  };

  // One pixel: its eight neighbours in one 64-bit word, their zero and full
  // bytes found without a branch per neighbour.
  void gather_target(const Row& row, int u, std::uint32_t colour) {
    const bool has_colour = row.colour != nullptr, has_mask = row.mask != nullptr;
    std::uint32_t a, b, c;
    std::memcpy(&a, row.above + u, 4);
    std::memcpy(&b, row.above + row.pitch + u, 4);
    std::memcpy(&c, row.above + 2 * row.pitch + u, 4);
    // The neighbours in the order they stamp: the row above, the left and
    // right ones, the row below.
    const std::uint64_t x = (a & 0xFFFFFF) | std::uint64_t{b & 0xFF} << 24 | std::uint64_t{b >> 16 & 0xFF} << 32 |
                            std::uint64_t{c & 0xFFFFFF} << 40;
    if (x == 0) return;
    const unsigned nonzero = ~zero_bytes(x) & 0xFF, full = zero_bytes(~x);
    std::uint32_t m;
    Pixel d = 0;
    unsigned todo = nonzero;
    if (full != 0) {
      // Everything up to the last full coverage is overwritten by it.
      const int last = 31 - std::countl_zero(full);
      todo &= ~((2u << last) - 1);
      m = has_mask ? 255 : 0;
      d = static_cast<Pixel>(colour);
    } else {
      m = has_mask ? row.mask[u] : 0;
      if (has_colour) std::memcpy(&d, row.colour + u * kBytes, kBytes);
    }
    for (; todo != 0; todo &= todo - 1) {
      const auto k = static_cast<unsigned>(std::countr_zero(todo));
      const std::uint32_t step = m_table.step[x >> (8 * k) & 0xFF][m];
      if (has_mask) m = step & 0xFF;
      if (has_colour) d = static_cast<Pixel>(L::mix(step >> 8, colour, d));
    }
    if (has_mask) row.mask[u] = static_cast<std::uint8_t>(m);
    if (has_colour) std::memcpy(row.colour + u * kBytes, &d, kBytes);
  }

#if defined(__SSE2__)
  // Eight pixels of a row at once, each in a 16-bit lane: the same eight
  // steps for all of them, a coverage of 0 leaving a lane as it is and one
  // of 255 resetting it to the colour. The divisions are exact: x / 255 as
  // (x + 1 + (x >> 8)) >> 8 for x up to 255², and c × 255 / g in single
  // precision, whose quotient is never within its rounding of an integer
  // it does not equal.
  void gather_eight(const Row& row, int u, std::uint32_t colour) {
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1), full = _mm_set1_epi16(255);
    const std::uint8_t* at[8] = {row.above + u,
                                 row.above + u + 1,
                                 row.above + u + 2,
                                 row.above + row.pitch + u,
                                 row.above + row.pitch + u + 2,
                                 row.above + 2 * row.pitch + u,
                                 row.above + 2 * row.pitch + u + 1,
                                 row.above + 2 * row.pitch + u + 2};
    __m128i cov[8];
    __m128i any = zero;
    for (int k = 0; k < 8; ++k) {
      cov[k] = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at[k])), zero);
      any = _mm_or_si128(any, cov[k]);
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(any, zero)) == 0xFFFF) return;

    const bool has_colour = row.colour != nullptr, has_mask = row.mask != nullptr;
    __m128i m =
        has_mask ? _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row.mask + u)), zero) : zero;
    // The channels of the pixels and of the colour, shifted down, and the
    // bits outside the channels (which a mix clears and a reset copies).
    __m128i d[4] = {zero, zero, zero, zero}, col[4];
    for (int ch = 0; ch < 4; ++ch) col[ch] = _mm_set1_epi16(static_cast<short>(colour >> kShift[ch] & kMax[ch]));
    if (has_colour) load_channels(row.colour + u * kBytes, d);
    for (int k = 0; k < 8; ++k) {
      const __m128i c = cov[k];
      const __m128i is0 = _mm_cmpeq_epi16(c, zero);
      if (_mm_movemask_epi8(is0) == 0xFFFF) continue;  // no lane has this neighbour
      const __m128i is255 = _mm_cmpeq_epi16(c, full);
      const __m128i x = _mm_mullo_epi16(c, _mm_sub_epi16(full, m));
      const __m128i g = _mm_add_epi16(m, _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, one), _mm_srli_epi16(x, 8)), 8));
      if (has_mask) m = g;  // (a coverage of 0 leaves it, one of 255 makes it 255)
      if (!has_colour) continue;
      const __m128i num = _mm_mullo_epi16(c, full), den = _mm_max_epi16(g, one);
      const __m128i w_lo = _mm_cvttps_epi32(
          _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(num, zero)), _mm_cvtepi32_ps(_mm_unpacklo_epi16(den, zero))));
      const __m128i w_hi = _mm_cvttps_epi32(
          _mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(num, zero)), _mm_cvtepi32_ps(_mm_unpackhi_epi16(den, zero))));
      const __m128i w = _mm_packs_epi32(w_lo, w_hi), iw = _mm_sub_epi16(full, w);
      for (int ch = 0; ch < 3; ++ch) {
        const __m128i mixed = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(w, col[ch]), _mm_mullo_epi16(iw, d[ch])), 8);
        const __m128i kept = _mm_or_si128(_mm_and_si128(is0, d[ch]), _mm_andnot_si128(is0, mixed));
        d[ch] = _mm_or_si128(_mm_and_si128(is255, col[ch]), _mm_andnot_si128(is255, kept));
      }
      // The bits outside the channels: cleared by a mix, the colour's after
      // a reset.
      d[3] = _mm_or_si128(_mm_and_si128(is255, col[3]), _mm_and_si128(is0, d[3]));
    }
    if (has_mask) _mm_storel_epi64(reinterpret_cast<__m128i*>(row.mask + u), _mm_packus_epi16(m, zero));
    if (has_colour) store_channels(row.colour + u * kBytes, d);
  }

  // Channel ch of a pixel is (p >> kShift[ch]) & kMax[ch]; channel 3 holds
  // the bits outside the three colour channels.
  static constexpr std::uint32_t kPixelBits = sizeof(Pixel) == 4 ? 0xFFFFFFFFu : 0xFFFFu;
  static constexpr std::uint32_t kTopBits = kPixelBits & ~(L::kRed | L::kGreen | L::kBlue);
  static constexpr int kShift[4] = {std::countr_zero(L::kRed), std::countr_zero(L::kGreen), std::countr_zero(L::kBlue),
                                    kTopBits ? std::countr_zero(kTopBits) : 0};
  static constexpr std::uint32_t kMax[4] = {L::kRed >> kShift[0], L::kGreen >> kShift[1], L::kBlue >> kShift[2],
                                            kTopBits >> kShift[3]};

  static void load_channels(const std::uint8_t* p, __m128i d[4]) {
    if constexpr (sizeof(Pixel) == 4) {
      const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
      for (int ch = 0; ch < 4; ++ch) {
        const __m128i mask = _mm_set1_epi32(static_cast<int>(kMax[ch]));
        const __m128i count = _mm_cvtsi32_si128(kShift[ch]);
        d[ch] = _mm_packs_epi32(_mm_and_si128(_mm_srl_epi32(lo, count), mask),
                                _mm_and_si128(_mm_srl_epi32(hi, count), mask));
      }
    } else {
      const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      for (int ch = 0; ch < 4; ++ch) {
        d[ch] = _mm_and_si128(_mm_srl_epi16(px, _mm_cvtsi32_si128(kShift[ch])),
                              _mm_set1_epi16(static_cast<short>(kMax[ch])));
      }
    }
  }

  static void store_channels(std::uint8_t* p, const __m128i d[4]) {
    const __m128i zero = _mm_setzero_si128();
    if constexpr (sizeof(Pixel) == 4) {
      __m128i lo = zero, hi = zero;
      for (int ch = 0; ch < 4; ++ch) {
        const __m128i count = _mm_cvtsi32_si128(kShift[ch]);
        lo = _mm_or_si128(lo, _mm_sll_epi32(_mm_unpacklo_epi16(d[ch], zero), count));
        hi = _mm_or_si128(hi, _mm_sll_epi32(_mm_unpackhi_epi16(d[ch], zero), count));
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), lo);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), hi);
    } else {
      __m128i px = zero;
      for (int ch = 0; ch < 4; ++ch) px = _mm_or_si128(px, _mm_sll_epi16(d[ch], _mm_cvtsi32_si128(kShift[ch])));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), px);
    }
  }
#endif

  void bordered_body(std::int64_t gx, std::int64_t gy, std::uint32_t text, std::uint32_t border) {
    rows(gx, gy, mask_clip(), [&](const std::uint8_t* c, std::int64_t y, int from, int to, std::int64_t x0) {
      std::uint8_t* m = m_mask.row(y) + x0;
      for (int i = from; i < to; ++i) m[i] = c[i] != 0 ? 255 : m[i];
    });
    rows(gx, gy, colour_clip(), [&](const std::uint8_t* c, std::int64_t y, int from, int to, std::int64_t x0) {
      std::uint8_t* d = m_colour.row(y) + (x0 + from) * kBytes;
      for (int i = from; i < to; ++i, d += kBytes) {
        const std::uint32_t cv = c[i];
        Pixel p;
        std::memcpy(&p, d, kBytes);
        const auto mixed = static_cast<Pixel>(cv == 255 ? text : L::mix(cv, text, border));
        p = cv != 0 ? mixed : p;
        std::memcpy(d, &p, kBytes);
      }
    });
  }

 private:
  const Rect* colour_clip() const { return m_t.colour ? &m_t.colour_clip : nullptr; }
  const Rect* mask_clip() const { return m_t.mask ? &m_t.mask_clip : nullptr; }

  // Calls fn(coverage row, destination y, first column, end column, x of
  // column 0) for each coverage row placed at (at_x, at_y) that meets the
  // clip, with the columns inside it.
  template <class Fn>
  void rows(std::int64_t at_x, std::int64_t at_y, const Rect* clip, Fn fn) {
    if (!clip) return;
    const Rect r = Box::sized(at_x, at_y, m_w, m_h).clipped(*clip);
    if (r.empty()) return;
    const int from = static_cast<int>(r.left - at_x), to = static_cast<int>(r.right - at_x);
    for (int y = r.top; y < r.bottom; ++y) fn(m_cov + (y - at_y) * m_cov_pitch, y, from, to, at_x);
  }

  // Whether a box lies inside every clip there is, so that no pixel of it
  // needs a test.
  bool fits(const Box& box) const {
    return (!m_t.colour || box.inside(m_t.colour_clip)) && (!m_t.mask || box.inside(m_t.mask_clip));
  }

  // The compositing rule on one pixel of each surface (either may be null);
  // `mask_writes` tells whether the mask pixel may change.
  void blend(std::uint8_t* d, std::uint8_t* m, bool mask_writes, std::uint32_t colour, std::uint32_t c) {
    if (c == 255) {
      if (m && mask_writes) *m = 255;
      if (d) {
        const auto p = static_cast<Pixel>(colour);
        std::memcpy(d, &p, kBytes);
      }
      return;
    }
    const std::uint32_t step = m_table.step[c][m ? *m : 0];
    if (m && mask_writes) *m = static_cast<std::uint8_t>(step);
    if (d) {
      Pixel p;
      std::memcpy(&p, d, kBytes);
      p = static_cast<Pixel>(L::mix(step >> 8, colour, p));
      std::memcpy(d, &p, kBytes);
    }
  }

  void blend_checked(std::int64_t x, std::int64_t y, std::uint32_t colour, std::uint32_t c) {
    std::uint8_t* d = m_t.colour && inside(m_t.colour_clip, x, y) ? m_colour.row(y) + x * kBytes : nullptr;
    const bool readable = m_t.mask && inside(m_t.mask_area, x, y);
    std::uint8_t* m = readable ? m_mask.row(y) + x : nullptr;
    if (!d && !(m && inside(m_t.mask_clip, x, y))) return;
    blend(d, m, m && inside(m_t.mask_clip, x, y), colour, c);
  }

  const Targets& m_t;
  Locked m_colour;
  Locked m_mask;
  const std::uint8_t* m_cov;
  std::ptrdiff_t m_cov_pitch;
  int m_w;
  int m_h;
  const CompositeTable& m_table;
};

template <class L>
Rect paint_fast(const TFontPixel& g, std::int32_t offset, const GlyphDrawing& d, const Targets& t, Locked colour,
                Locked mask, const std::uint8_t* cov) {
  FastOps<L> ops(g, t, colour, mask, cov, g.coverage.GetPitch());
  return paint(g, offset, d, ops);
}

}  // namespace

void use_vector_border(bool on) { g_vector_border = on; }

Rect paint_glyph_reference(const TFontPixel& glyph, std::int32_t offset, const GlyphDrawing& drawing) {
  if (glyph.empty()) return {};
  const Targets targets(drawing);
  ReferenceOps ops(glyph, targets);
  return paint(glyph, offset, drawing, ops);
}

Rect paint_glyph(const TFontPixel& glyph, std::int32_t offset, const GlyphDrawing& drawing) {
  if (glyph.empty()) return {};
  const Targets targets(drawing);
  const int bits = targets.colour ? targets.colour->GetBitCount() : 32;
  // Only the layouts' own masks run on the fast path.
  if (targets.colour && (targets.colour->GetRedMask() != graphics::masks_for_bit_count(bits).red ||
                         targets.colour->GetGreenMask() != graphics::masks_for_bit_count(bits).green ||
                         targets.colour->GetBlueMask() != graphics::masks_for_bit_count(bits).blue)) {
    return paint_glyph_reference(glyph, offset, drawing);
  }
  Locked colour, mask;
  const std::uint8_t* cov = glyph.coverage.LockRead(0, 0);
  if (targets.colour) colour = {targets.colour->Lock(0, 0), targets.colour->GetPitch()};
  if (targets.mask) mask = {targets.mask->Lock(0, 0), targets.mask->GetPitch()};
  auto unlock = [&] {
    glyph.coverage.UnlockRead();
    if (targets.colour) targets.colour->Unlock();
    if (targets.mask) targets.mask->Unlock();
  };
  if (!cov || (targets.colour && !colour.base) || (targets.mask && !mask.base)) {
    // Surfaces without addressable memory (a wave surface) take the
    // reference path.
    unlock();
    return paint_glyph_reference(glyph, offset, drawing);
  }
  Rect drawn;
  try {
    switch (bits) {
      case 15: drawn = paint_fast<Layout555>(glyph, offset, drawing, targets, colour, mask, cov); break;
      case 16: drawn = paint_fast<Layout565>(glyph, offset, drawing, targets, colour, mask, cov); break;
      default: drawn = paint_fast<Layout32>(glyph, offset, drawing, targets, colour, mask, cov); break;
    }
  } catch (...) {
    unlock();
    throw;
  }
  unlock();
  return drawn;
}

}  // namespace nova::text
