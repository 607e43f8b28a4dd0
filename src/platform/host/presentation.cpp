#include "platform/presentation.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace nova::platform {
namespace {

constexpr std::int64_t ceil_div(std::int64_t a, std::int64_t b) { return -floor_div(-a, b); }

// The first drawable offset (relative to the target) showing panel pixel
// `p` or a later one, by the nearest rule.
std::int64_t first_showing(std::int64_t p, std::int64_t s, std::int64_t t) { return ceil_div(2 * t * p - s, 2 * s); }

struct LinearTap {
  std::int32_t i0, i1;
  std::uint16_t w;  // weight of i1, 0..256
};

LinearTap linear_tap(std::int64_t d, std::int64_t s, std::int64_t t) {
  std::int64_t u = floor_div((2 * d + 1) * s * 65536, 2 * t) - 32768;
  u = std::clamp<std::int64_t>(u, 0, (s - 1) * 65536);
  const auto i0 = static_cast<std::int32_t>(u >> 16);
  const auto w = static_cast<std::uint16_t>(((u & 0xFFFF) + 128) >> 8);
  return {i0, static_cast<std::int32_t>(std::min<std::int64_t>(i0 + 1, s - 1)), w};
}

// Two horizontally filtered channels (each c0 × (256 − wx) + c1 × wx) and
// the vertical weight of the lower one: each product is taken in 1/256 and
// the sum rounded to 8 bits, which 16-bit lanes hold.
constexpr std::uint32_t vertical_blend(std::uint32_t top, std::uint32_t bottom, std::uint32_t wy) {
  if (wy == 0) return (top + 128) >> 8;
  if (wy == 256) return (bottom + 128) >> 8;
  return (((top * (256 - wy)) >> 8) + ((bottom * wy) >> 8) + 128) >> 8;
}

std::uint32_t source_pixel(const PixelView& v, int x, int y) {
  x = std::clamp(x, 0, v.width - 1);
  y = std::clamp(y, 0, v.height - 1);
  std::uint32_t p;
  std::memcpy(&p, v.row(y) + static_cast<std::ptrdiff_t>(x) * 4, 4);
  return p & 0x00FFFFFFu;
}

// Black where the area lies outside the target, within `clip`; answers the
// part of `clip` that lies in the target.
Rect fill_bars(const PictureTransform& t, Framebuffer& out, Rect clip) {
  const Rect area = clip.intersected(t.area).intersected(Rect{0, 0, out.width(), out.height()});
  const Rect inner = area.intersected(t.target);
  for (int y = area.top; y < area.bottom; ++y) {
    std::uint32_t* row = out.row(y);
    if (inner.empty() || y < inner.top || y >= inner.bottom) {
      std::fill(row + area.left, row + area.right, 0u);
      continue;
    }
    std::fill(row + area.left, row + inner.left, 0u);
    std::fill(row + inner.right, row + area.right, 0u);
  }
  return inner;
}

}  // namespace

std::string_view to_string(ScaleMode m) {
  switch (m) {
    case ScaleMode::Fit: return "fit";
    case ScaleMode::Integer: return "integer";
    case ScaleMode::Stretch: return "stretch";
    case ScaleMode::None: return "none";
  }
  return "fit";
}

std::string_view to_string(ScaleFilter f) {
  switch (f) {
    case ScaleFilter::Auto: return "auto";
    case ScaleFilter::Nearest: return "nearest";
    case ScaleFilter::Linear: return "linear";
  }
  return "auto";
}

std::optional<ScaleMode> parse_scale_mode(std::string_view text) {
  for (ScaleMode m : {ScaleMode::Fit, ScaleMode::Integer, ScaleMode::Stretch, ScaleMode::None}) {
    if (text == to_string(m)) return m;
  }
  return std::nullopt;
}

std::optional<ScaleFilter> parse_scale_filter(std::string_view text) {
  for (ScaleFilter f : {ScaleFilter::Auto, ScaleFilter::Nearest, ScaleFilter::Linear}) {
    if (text == to_string(f)) return f;
  }
  return std::nullopt;
}

PictureTransform PictureTransform::make(Size source, Rect area, ScaleMode mode, ScaleFilter filter) {
  PictureTransform t;
  t.source = {std::max(1, source.width), std::max(1, source.height)};
  t.area = area;
  const std::int64_t sw = t.source.width, sh = t.source.height;
  const std::int64_t aw = std::max(0, area.width()), ah = std::max(0, area.height());
  std::int64_t tw = sw, th = sh;
  switch (mode) {
    case ScaleMode::Fit:
      if (aw * sh <= ah * sw) {
        tw = aw;
        th = (2 * sh * aw + sw) / (2 * sw);
      } else {
        th = ah;
        tw = (2 * sw * ah + sh) / (2 * sh);
      }
      break;
    case ScaleMode::Integer: {
      const std::int64_t n = std::max<std::int64_t>(1, std::min(aw / sw, ah / sh));
      tw = sw * n;
      th = sh * n;
      break;
    }
    case ScaleMode::Stretch:
      tw = aw;
      th = ah;
      break;
    case ScaleMode::None: break;
  }
  tw = std::max<std::int64_t>(1, tw);
  th = std::max<std::int64_t>(1, th);
  const auto left = area.left + floor_div(aw - tw, 2);
  const auto top = area.top + floor_div(ah - th, 2);
  t.target = Rect::from_size(static_cast<int>(left), static_cast<int>(top), static_cast<int>(tw), static_cast<int>(th));
  const bool whole = tw % sw == 0 && th % sh == 0;
  t.linear = filter == ScaleFilter::Linear || (filter == ScaleFilter::Auto && !whole);
  return t;
}

Rect PictureTransform::drawable_rect_of(Rect r) const {
  r = r.intersected(Rect{0, 0, source.width, source.height});
  if (r.empty()) return {};
  const std::int64_t sw = source.width, sh = source.height, tw = target.width(), th = target.height();
  int margin = 0;
  if (linear) {
    r = Rect{r.left - 1, r.top - 1, r.right + 1, r.bottom + 1}.intersected(Rect{0, 0, source.width, source.height});
    margin = 1;
  }
  const Rect d{static_cast<int>(target.left + first_showing(r.left, sw, tw) - margin),
               static_cast<int>(target.top + first_showing(r.top, sh, th) - margin),
               static_cast<int>(target.left + first_showing(r.right, sw, tw) + margin),
               static_cast<int>(target.top + first_showing(r.bottom, sh, th) + margin)};
  return d.intersected(target).intersected(area);
}

// ---------------------------------------------------------------------------

void PictureScaler::render_reference(const PixelView& source, const PictureTransform& t, Framebuffer& out, Rect clip) {
  const Rect inner = fill_bars(t, out, clip);
  if (inner.empty() || !source.pixels || source.width <= 0 || source.height <= 0) {
    for (int y = inner.top; y < inner.bottom; ++y) std::fill(out.row(y) + inner.left, out.row(y) + inner.right, 0u);
    return;
  }
  const std::int64_t sw = t.source.width, sh = t.source.height, tw = t.target.width(), th = t.target.height();
  for (int y = inner.top; y < inner.bottom; ++y) {
    for (int x = inner.left; x < inner.right; ++x) {
      const std::int64_t dx = x - t.target.left, dy = y - t.target.top;
      if (!t.linear) {
        out.row(y)[x] = source_pixel(source, static_cast<int>(PictureTransform::panel_coordinate(dx, sw, tw)),
                                     static_cast<int>(PictureTransform::panel_coordinate(dy, sh, th)));
        continue;
      }
      const LinearTap hx = linear_tap(dx, sw, tw), hy = linear_tap(dy, sh, th);
      const std::uint32_t p00 = source_pixel(source, hx.i0, hy.i0), p01 = source_pixel(source, hx.i1, hy.i0);
      const std::uint32_t p10 = source_pixel(source, hx.i0, hy.i1), p11 = source_pixel(source, hx.i1, hy.i1);
      std::uint32_t pixel = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const std::uint32_t top = ((p00 >> shift) & 0xFF) * (256u - hx.w) + ((p01 >> shift) & 0xFF) * hx.w;
        const std::uint32_t bottom = ((p10 >> shift) & 0xFF) * (256u - hx.w) + ((p11 >> shift) & 0xFF) * hx.w;
        pixel |= vertical_blend(top, bottom, hy.w) << shift;
      }
      out.row(y)[x] = pixel;
    }
  }
}

void PictureScaler::prepare(const PictureTransform& t) {
  if (m_for && m_for->source == t.source && m_for->target == t.target && m_for->linear == t.linear) return;
  m_for = t;
  const std::int64_t sw = t.source.width, sh = t.source.height, tw = t.target.width(), th = t.target.height();
  m_x0.resize(static_cast<std::size_t>(tw));
  m_x1.resize(static_cast<std::size_t>(tw));
  m_wx.assign(static_cast<std::size_t>(tw), 0);
  m_y0.resize(static_cast<std::size_t>(th));
  m_y1.resize(static_cast<std::size_t>(th));
  m_wy.assign(static_cast<std::size_t>(th), 0);
  if (!t.linear) {
    for (std::int64_t i = 0; i < tw; ++i) {
      m_x0[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(PictureTransform::panel_coordinate(i, sw, tw));
    }
    for (std::int64_t j = 0; j < th; ++j) {
      m_y0[static_cast<std::size_t>(j)] = static_cast<std::int32_t>(PictureTransform::panel_coordinate(j, sh, th));
    }
    return;
  }
  for (std::int64_t i = 0; i < tw; ++i) {
    const LinearTap tap = linear_tap(i, sw, tw);
    m_x0[static_cast<std::size_t>(i)] = tap.i0;
    m_x1[static_cast<std::size_t>(i)] = tap.i1;
    m_wx[static_cast<std::size_t>(i)] = tap.w;
  }
  for (std::int64_t j = 0; j < th; ++j) {
    const LinearTap tap = linear_tap(j, sh, th);
    m_y0[static_cast<std::size_t>(j)] = tap.i0;
    m_y1[static_cast<std::size_t>(j)] = tap.i1;
    m_wy[static_cast<std::size_t>(j)] = tap.w;
  }
}

void PictureScaler::render(const PixelView& source, const PictureTransform& t, Framebuffer& out, Rect clip) {
  if (!source.pixels || source.width < t.source.width || source.height < t.source.height ||
      source.format != PixelFormat::Xrgb32) {
    // A picture smaller than the panel is read clamped, pixel by pixel.
    render_reference(source, t, out, clip);
    return;
  }
  const Rect inner = fill_bars(t, out, clip);
  if (inner.empty()) return;
  prepare(t);
  if (t.linear)
    render_linear(source, out, inner);
  else
    render_nearest(source, out, inner);
}

namespace {

// One row at a whole multiple N: each source pixel becomes N copies.
template <int N>
void replicate_row(const std::uint32_t* s, std::uint32_t* d, int first, int end, int n_runtime) {
  const int n = N > 0 ? N : n_runtime;
  int i = first;
  for (; i < end && i % n != 0; ++i) d[i] = s[i / n] & 0x00FFFFFFu;
  int sx = i / n;
  for (; i + n <= end; i += n, ++sx) {
    const std::uint32_t v = s[sx] & 0x00FFFFFFu;
    for (int k = 0; k < n; ++k) d[i + k] = v;
  }
  for (; i < end; ++i) d[i] = s[i / n] & 0x00FFFFFFu;
}

}  // namespace

void PictureScaler::render_nearest(const PixelView& source, Framebuffer& out, Rect inner) {
  const Rect& target = m_for->target;
  const int first = inner.left - target.left, end = inner.right - target.left;
  const std::size_t bytes = static_cast<std::size_t>(inner.width()) * 4;
  const int n = target.width() % m_for->source.width == 0 ? target.width() / m_for->source.width : 0;
  const std::int32_t* xs = m_x0.data();
  for (int y = inner.top; y < inner.bottom; ++y) {
    const int j = y - target.top;
    std::uint32_t* d = out.row(y) + target.left;
    // Rows showing the same panel row are copies of the one above.
    if (y > inner.top && m_y0[static_cast<std::size_t>(j)] == m_y0[static_cast<std::size_t>(j - 1)]) {
      std::memcpy(out.row(y) + inner.left, out.row(y - 1) + inner.left, bytes);
      continue;
    }
    const auto* s = reinterpret_cast<const std::uint32_t*>(source.row(m_y0[static_cast<std::size_t>(j)]));
    switch (n) {
      case 1: replicate_row<1>(s, d, first, end, 1); break;
      case 2: replicate_row<2>(s, d, first, end, 2); break;
      case 3: replicate_row<3>(s, d, first, end, 3); break;
      case 4: replicate_row<4>(s, d, first, end, 4); break;
      case 0:
        for (int i = first; i < end; ++i) d[i] = s[xs[i]] & 0x00FFFFFFu;
        break;
      default: replicate_row<0>(s, d, first, end, n); break;
    }
  }
}

void PictureScaler::render_linear(const PixelView& source, Framebuffer& out, Rect inner) {
  const Rect& target = m_for->target;
  const int first = inner.left - target.left, end = inner.right - target.left;
  const std::size_t n = static_cast<std::size_t>(end - first);
  for (auto& r : m_rows) r.resize(n * 4);
  // The source may have changed since the last call: no row is cached.
  m_row_of[0] = m_row_of[1] = -1;
  auto filtered = [&](std::int32_t sy) -> const std::uint16_t* {
    for (int k = 0; k < 2; ++k) {
      if (m_row_of[k] == sy) return m_rows[k].data();
    }
    // Replace the row that is not the other tap of this output row.
    const int k = m_row_of[0] == -1 ? 0 : (m_row_of[1] == -1 ? 1 : (m_row_of[0] < m_row_of[1] ? 0 : 1));
    m_row_of[k] = sy;
    std::uint16_t* h = m_rows[k].data();
    const auto* s = reinterpret_cast<const std::uint32_t*>(source.row(sy));
    std::size_t c = 0;
#if defined(__SSE2__)
    // Two columns at a time: the two taps' channels interleaved as 16-bit
    // pairs, multiplied by their weight pair and summed (exact: at most
    // 255 × 256), then narrowed to 16 bits through the signed range.
    const __m128i zero = _mm_setzero_si128(), bias = _mm_set1_epi32(32768), flip = _mm_set1_epi16(-32768);
    auto taps = [&](std::size_t i) {
      const __m128i p = _mm_cvtsi32_si128(static_cast<int>(s[m_x0[i]] & 0x00FFFFFFu));
      const __m128i q = _mm_cvtsi32_si128(static_cast<int>(s[m_x1[i]] & 0x00FFFFFFu));
      const __m128i pq = _mm_unpacklo_epi8(_mm_unpacklo_epi8(p, q), zero);
      const int w = m_wx[i];
      return _mm_madd_epi16(pq, _mm_set1_epi32((256 - w) | (w << 16)));
    };
    for (; c + 2 <= n; c += 2) {
      const std::size_t i = c + static_cast<std::size_t>(first);
      const __m128i lo = _mm_sub_epi32(taps(i), bias), hi = _mm_sub_epi32(taps(i + 1), bias);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(h + c * 4), _mm_xor_si128(_mm_packs_epi32(lo, hi), flip));
    }
#endif
    for (; c < n; ++c) {
      const std::size_t i = c + static_cast<std::size_t>(first);
      const std::uint32_t p = s[m_x0[i]] & 0x00FFFFFFu, q = s[m_x1[i]] & 0x00FFFFFFu;
      const std::uint32_t w = m_wx[i], iw = 256u - w;
      // Two channels at once: each 16-bit lane holds at most 255 × 256.
      const std::uint32_t rb = (p & 0x00FF00FFu) * iw + (q & 0x00FF00FFu) * w;
      const std::uint32_t g = ((p >> 8) & 0xFFu) * iw + ((q >> 8) & 0xFFu) * w;
      h[c * 4 + 0] = static_cast<std::uint16_t>(rb);
      h[c * 4 + 1] = static_cast<std::uint16_t>(g);
      h[c * 4 + 2] = static_cast<std::uint16_t>(rb >> 16);
      h[c * 4 + 3] = 0;
    }
    return h;
  };
  for (int y = inner.top; y < inner.bottom; ++y) {
    const auto j = static_cast<std::size_t>(y - target.top);
    const std::int32_t y0 = m_y0[j], y1 = m_y1[j];
    const std::uint32_t wy = m_wy[j], iwy = 256u - wy;
    auto* d = reinterpret_cast<std::uint8_t*>(out.row(y) + inner.left);
    if (y > inner.top && y0 == m_y0[j - 1] && wy == m_wy[j - 1] && y1 == m_y1[j - 1]) {
      std::memcpy(d, out.row(y - 1) + inner.left, n * 4);
      continue;
    }
    const std::uint16_t* a = filtered(y0);
    const std::uint16_t* b = filtered(y1);
    std::size_t k = 0;
    const std::size_t channels = n * 4;
#if defined(__SSE2__)
    // Sixteen channels at a time: the high halves of 16 × 16 products are
    // the products in 1/256, as the scalar form takes them.
    const __m128i rounding = _mm_set1_epi16(128);
    if (wy == 0 || wy == 256) {
      const std::uint16_t* only = wy == 0 ? a : b;
      for (; k + 16 <= channels; k += 16) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(only + k));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(only + k + 8));
        const __m128i bytes = _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(lo, rounding), 8),
                                               _mm_srli_epi16(_mm_add_epi16(hi, rounding), 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), bytes);
      }
    } else {
      const __m128i w_top = _mm_set1_epi16(static_cast<short>(iwy << 8));
      const __m128i w_bottom = _mm_set1_epi16(static_cast<short>(wy << 8));
      auto blend8 = [&](std::size_t at) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at));
        const __m128i sum = _mm_add_epi16(_mm_mulhi_epu16(va, w_top), _mm_mulhi_epu16(vb, w_bottom));
        return _mm_srli_epi16(_mm_add_epi16(sum, rounding), 8);
      };
      for (; k + 16 <= channels; k += 16) {
        const __m128i bytes = _mm_packus_epi16(blend8(k), blend8(k + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), bytes);
      }
    }
#endif
    for (; k < channels; ++k) d[k] = static_cast<std::uint8_t>(vertical_blend(a[k], b[k], wy));
  }
}

}  // namespace nova::platform
