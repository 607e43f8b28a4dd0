// Sections: per-pixel helpers; mosaic; spotlight; mask white and black;
// ripple; blur; twists; zoom.
#include "graphics/wipe_screens.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "core/error.h"
#include "graphics/wipe_mask.h"
#include "graphics/wipe_math.h"

namespace nova::graphics {

using wipe::copy_whole;
using wipe::grey_pixel;
using wipe::round_even;
using wipe::scale;
using wipe::to_int;

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

// --- Per-pixel helpers --------------------------------------------------------------------

// The layouts of the per-pixel types, with their channel masks as
// constants so that the saturating arithmetic compiles to plain code.
template <std::uint32_t R, std::uint32_t G, std::uint32_t B>
struct Layout {
  static std::uint32_t add(std::uint32_t p, std::uint32_t g) {
    return std::min((p & R) + (g & R), R) | std::min((p & G) + (g & G), G) | std::min((p & B) + (g & B), B);
  }
  static std::uint32_t sub(std::uint32_t p, std::uint32_t g) {
    auto one = [&](std::uint32_t m) { return (p & m) > (g & m) ? (p & m) - (g & m) : 0u; };
    return one(R) | one(G) | one(B);
  }
};
using L32 = Layout<0xFF0000, 0x00FF00, 0x0000FF>;
using L16 = Layout<0xF800, 0x07E0, 0x001F>;
using L15 = Layout<0x7C00, 0x03E0, 0x001F>;

// Runs fn.template operator()<L, T>(x, y, old pixel, new pixel) -> pixel for
// every pixel of the target, with L the layout and T the stored pixel type;
// 15-, 16- and 32-bit targets straight through their buffers, 24-bit ones
// through GetPixel/SetPixel with the 32-bit layout (byte by byte).
template <class Fn>
void each_pixel(TCustomDIBX& target, const TCustomDIBX& old_screen, const TCustomDIBX& new_screen, Fn&& fn) {
  const int w = target.GetWidth(), h = target.GetHeight(), bits = target.GetBitCount();
  auto direct = [&]<class L, class T>() {
    std::uint8_t* dst = target.Lock(0, 0);
    const std::uint8_t* o = old_screen.LockRead(0, 0);
    const std::uint8_t* n = new_screen.LockRead(0, 0);
    if (dst && o && n) {
      for (int y = 0; y < h; ++y) {
        T* d_row = reinterpret_cast<T*>(dst + static_cast<std::ptrdiff_t>(target.GetPitch()) * y);
        const T* o_row = reinterpret_cast<const T*>(o + static_cast<std::ptrdiff_t>(old_screen.GetPitch()) * y);
        const T* n_row = reinterpret_cast<const T*>(n + static_cast<std::ptrdiff_t>(new_screen.GetPitch()) * y);
        for (int x = 0; x < w; ++x) d_row[x] = static_cast<T>(fn.template operator()<L>(x, y, o_row[x], n_row[x]));
      }
    }
    if (n) new_screen.UnlockRead();
    if (o) old_screen.UnlockRead();
    if (dst) target.Unlock();
  };
  switch (bits) {
    case 32: direct.template operator()<L32, std::uint32_t>(); return;
    case 16: direct.template operator()<L16, std::uint16_t>(); return;
    case 15: direct.template operator()<L15, std::uint16_t>(); return;
    default: break;
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      target.SetPixel(x, y, fn.template operator()<L32>(x, y, old_screen.GetPixel(x, y), new_screen.GetPixel(x, y)));
    }
  }
}

const WipeGreyTables& greys_of(const WipeServices& services, const char* type) {
  if (!services.greys) throw core::Error(std::string(type) + ": the grey tables of the screen are missing");
  return *services.greys;
}

const std::array<std::uint32_t, 256>& grey_table(const WipeGreyTables& t, int bit_count) {
  return bit_count == 15 || bit_count == 16 ? t.layout16 : t.layout32;
}

}  // namespace

// --- Mosaic ---------------------------------------------------------------------------------

TWipeMosaic::TWipeMosaic(const WipeSurfaces& surfaces, const WipeServices& services) : TCustomWipe(surfaces, services) {
  m_work.SetSize(width(), height(), target().GetBitCount());
}

void TWipeMosaic::Draw(std::int64_t e, std::int64_t d) {
  const std::int64_t b = scale(1023, e, d);
  std::int64_t s = 0;
  int opacity = 0;
  if (b < 256) {
    s = 263 - (b / 2) * 15 / 16;
  } else if (b < 512) {
    s = 263 - (((b / 2) * 15) >> 4);
    opacity = static_cast<int>((b - 256) / 4);
  } else if (b < 768) {
    s = ((((b - 512) / 2) * 15) >> 4) + 24;
    opacity = static_cast<int>((b - 256) / 2);
  } else {
    s = (((b - 512) / 2) * 15) / 16 + 24;
  }
  const int w = static_cast<int>(std::max<std::int64_t>(1, ((width() / 4) * s) >> 8));
  const int h = static_cast<int>(std::max<std::int64_t>(1, ((height() / 4) * s) >> 8));
  const Rect small{0, 0, w, h};
  m_work.StretchDraw(small, b < 768 ? old_screen() : new_screen(), 255, false, false, false, full());
  if (b >= 256 && b < 768) m_work.StretchDraw(small, new_screen(), opacity, false, false, false, full());
  target().StretchDraw(full(), m_work, 255, false, false, false, small);
}

// --- Spotlight ------------------------------------------------------------------------------------

void TWipeSpot::OnPrepare() {
  greys_of(services(), "WP_SPOT");
  const int cx = width() / 2, cy = height() / 2;
  const std::int64_t reach = round_even(std::hypot(static_cast<long double>(cx), static_cast<long double>(cy)));
  m_span = reach + 512;
  m_threshold.resize(static_cast<std::size_t>(width()) * static_cast<std::size_t>(height()));
  for (int y = 0; y < height(); ++y) {
    for (int x = 0; x < width(); ++x) {
      const std::int64_t n = round_even(std::hypot(static_cast<long double>(x - cx), static_cast<long double>(y - cy)));
      m_threshold[static_cast<std::size_t>(y) * width() + x] = static_cast<std::int32_t>(Reverse() ? reach - n : n);
    }
  }
}

void TWipeSpot::Draw(std::int64_t e, std::int64_t d) {
  const auto& grey = grey_table(greys_of(services(), "WP_SPOT"), target().GetBitCount());
  const std::int64_t b = scale(m_span, e, d);
  const std::int32_t* thresholds = m_threshold.data();
  const int w = width();
  each_pixel(target(), old_screen(), new_screen(), [&]<class L>(int x, int y, std::uint32_t o, std::uint32_t n) {
    const std::int64_t v = b - thresholds[static_cast<std::size_t>(y) * w + x];
    if (v < 0) return o;
    if (v < 256) return L::add(o, grey[static_cast<std::size_t>(v)]);
    if (v < 512) return L::add(n, grey[static_cast<std::size_t>(511 - v)]);
    return n;
  });
}

// --- Mask white and black --------------------------------------------------------------------------

void TWipeShadowWhite::OnPrepare() {
  greys_of(services(), Darkens() ? "WP_MASKBLACK" : "WP_MASKWHITE");
  m_grey = wipe_grey_levels(services(), MaskName(), Reverse(), width(), height());
}

void TWipeShadowWhite::Draw(std::int64_t e, std::int64_t d) {
  const auto& grey = grey_table(greys_of(services(), "WP_MASKWHITE"), target().GetBitCount());
  // Per grey level g (m = g − 255): v = F(p + m), with F(i) = 0 up to 255,
  // i − 256 up to 767 and 511 from there on.
  const std::int64_t p = scale(768, e, d) + 255;
  std::array<std::uint8_t, 256> from_new{};
  std::array<std::uint32_t, 256> amount{};
  for (int g = 0; g < 256; ++g) {
    const std::int64_t i = p + g - 255;
    std::int64_t v = i <= 255 ? 0 : i < 768 ? i - 256 : 511;
    from_new[static_cast<std::size_t>(g)] = v > 255;
    if (v > 255) v = 511 - v;
    amount[static_cast<std::size_t>(g)] = grey[static_cast<std::size_t>(v)];
  }
  const std::uint8_t* levels = m_grey.data();
  const int w = width();
  const bool darkens = Darkens();
  each_pixel(target(), old_screen(), new_screen(), [&]<class L>(int x, int y, std::uint32_t o, std::uint32_t n) {
    const std::size_t g = levels[static_cast<std::size_t>(y) * w + x];
    const std::uint32_t src = from_new[g] ? n : o;
    return darkens ? L::sub(src, amount[g]) : L::add(src, amount[g]);
  });
}

// --- Ripple ------------------------------------------------------------------------------------------

TWipeRipple::TWipeRipple(const WipeSurfaces& surfaces, const WipeServices& services) : TCustomWipe(surfaces, services) {
  const int cx = width() / 2, cy = height() / 2;
  // The quarter reaches the middle column (row) of an odd size, which
  // mirrors onto itself; otherwise it would never be painted.
  m_qw = (width() + 1) / 2;
  m_qh = (height() + 1) / 2;
  m_ring = std::int64_t{std::min(cx, cy)} * 2 / 3;
  m_reach = round_even(std::hypot(static_cast<long double>(cx), static_cast<long double>(cy)));
  const std::size_t count = static_cast<std::size_t>(m_qw) * static_cast<std::size_t>(m_qh);
  m_distance.resize(count);
  m_sine.resize(count);
  m_cosine.resize(count);
  for (int y = 0; y < m_qh; ++y) {
    for (int x = 0; x < m_qw; ++x) {
      const long double dx = x - cx, dy = y - cy, dist = std::hypot(dx, dy);
      const std::size_t i = static_cast<std::size_t>(y) * m_qw + x;
      m_distance[i] = static_cast<std::int32_t>(round_even(dist));
      m_sine[i] = dist > 0 ? static_cast<std::int32_t>(dx / dist * 65536) : 0;
      m_cosine[i] = dist > 0 ? static_cast<std::int32_t>(dy / dist * 65536) : 0;
    }
  }
  make_profile();
}

void TWipeRipple::SetParam(int index, std::int32_t value) {
  TCustomWipe::SetParam(index, value);
  if (index == 0) make_profile();
}

void TWipeRipple::make_profile() {
  // A saw-tooth rising four times over the ring. Rings narrower than four
  // pixels (targets under about 12 pixels) have no teeth: a flat profile.
  const std::int64_t tooth = m_ring / 4;
  m_profile.assign(static_cast<std::size_t>(m_ring), 0);
  if (tooth == 0) return;
  for (std::int64_t i = 0; i < m_ring; ++i) m_profile[static_cast<std::size_t>(i)] = (i % tooth) * m_param[0] / tooth;
}

namespace {

// One 24-bit pixel as it is stored.
struct Pixel24 {
  std::uint8_t bytes[3];
};

}  // namespace

template <class T>
void TWipeRipple::draw_rows(std::int64_t b, std::uint8_t* dst, std::ptrdiff_t dp, const std::uint8_t* o,
                            std::ptrdiff_t op, const std::uint8_t* n, std::ptrdiff_t np) const {
  const int w = width(), h = height(), cx = w / 2, cy = h / 2;
  auto new_row = [&](int y) { return reinterpret_cast<const T*>(n + np * y); };
  for (int y = 0; y < m_qh; ++y) {
    const int my = h - 1 - y;
    T* d_top = reinterpret_cast<T*>(dst + dp * y);
    T* d_bottom = reinterpret_cast<T*>(dst + dp * my);
    const T* o_top = reinterpret_cast<const T*>(o + op * y);
    const T* o_bottom = reinterpret_cast<const T*>(o + op * my);
    const T* n_top = reinterpret_cast<const T*>(n + np * y);
    const T* n_bottom = reinterpret_cast<const T*>(n + np * my);
    const std::int32_t* dist = m_distance.data() + static_cast<std::size_t>(y) * m_qw;
    // Along a row of the quarter the distance only shrinks towards the
    // centre, so the row splits into the part the ring has not reached
    // (the old screen), the ring, and the part it has passed (the new
    // screen); the two plain parts are copied whole, mirrored copies too.
    int ring_begin = 0;
    while (ring_begin < m_qw && dist[ring_begin] > b) ++ring_begin;
    int ring_end = ring_begin;
    while (ring_end < m_qw && dist[ring_end] + m_ring - 1 - b >= 0) ++ring_end;
    auto copy = [](T* to, const T* from, int begin, int end) {
      if (begin < end) std::memcpy(to + begin, from + begin, static_cast<std::size_t>(end - begin) * sizeof(T));
    };
    for (auto [to, old_part, new_part] : {std::tuple{d_top, o_top, n_top}, std::tuple{d_bottom, o_bottom, n_bottom}}) {
      copy(to, old_part, 0, ring_begin);
      copy(to, old_part, w - ring_begin, w);
      copy(to, new_part, ring_end, m_qw);
      copy(to, new_part, w - m_qw, w - ring_end);
    }
    for (int x = ring_begin; x < ring_end; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * m_qw + x;
      const int mx = w - 1 - x;
      const std::int64_t k = dist[x] + m_ring - 1 - b;
      const std::int64_t reach = dist[x] + m_profile[static_cast<std::size_t>(k)];
      const std::int64_t sx = reach * m_sine[i] / 65536 + cx, sy = reach * m_cosine[i] / 65536 + cy;
      if (sx >= 0 && sx < w && sy >= 0 && sy < h) {
        const int ax = static_cast<int>(sx), ay = static_cast<int>(sy);
        d_top[x] = new_row(ay)[ax];
        d_top[mx] = new_row(ay)[w - 1 - ax];
        d_bottom[x] = new_row(h - 1 - ay)[ax];
        d_bottom[mx] = new_row(h - 1 - ay)[w - 1 - ax];
      } else {
        d_top[x] = n_top[x];
        d_top[mx] = n_top[mx];
        d_bottom[x] = n_bottom[x];
        d_bottom[mx] = n_bottom[mx];
      }
    }
  }
}

void TWipeRipple::Draw(std::int64_t e, std::int64_t d) {
  const std::int64_t b = scale(m_reach + m_ring, e, d);
  std::uint8_t* dst = target().Lock(0, 0);
  const std::uint8_t* o = old_screen().LockRead(0, 0);
  const std::uint8_t* n = new_screen().LockRead(0, 0);
  if (dst && o && n) {
    const std::ptrdiff_t dp = target().GetPitch(), op = old_screen().GetPitch(), np = new_screen().GetPitch();
    switch (target().GetStorageBitCount()) {
      case 32: draw_rows<std::uint32_t>(b, dst, dp, o, op, n, np); break;
      case 24: draw_rows<Pixel24>(b, dst, dp, o, op, n, np); break;
      default: draw_rows<std::uint16_t>(b, dst, dp, o, op, n, np); break;
    }
  }
  if (n) new_screen().UnlockRead();
  if (o) old_screen().UnlockRead();
  if (dst) target().Unlock();
}

// --- Blur ----------------------------------------------------------------------------------------------

void wipe_box_blur(const TCustomDIBX& src, TDIBX& out, int radius) {
  const int w = src.GetWidth(), h = src.GetHeight();
  out.SetSize(w, h, src.GetBitCount());
  const ChannelMasks masks = masks_for_bit_count(src.GetBitCount());
  const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::vector<std::uint32_t> pixels(count);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) pixels[static_cast<std::size_t>(y) * w + x] = src.GetPixel(x, y);
  }
  std::vector<std::uint32_t> result(count, 0);
  const std::int64_t taps = 2 * std::int64_t{radius} + 1;
  std::vector<std::uint32_t> plane(count), line;
  for (int c = 0; c < masks.count; ++c) {
    const std::uint32_t m = masks.list[static_cast<std::size_t>(c)];
    const int shift = mask_shift(m);
    for (std::size_t i = 0; i < count; ++i) plane[i] = (pixels[i] & m) >> shift;
    // One run of the box over `n` values spaced `step` apart from `first`,
    // edge values repeated, each result rounded to the nearest (the tap
    // count is odd, so there are no halves).
    auto run = [&](std::size_t first, int n, std::size_t step) {
      line.resize(static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i) line[static_cast<std::size_t>(i)] = plane[first + step * static_cast<std::size_t>(i)];
      auto at = [&](std::int64_t i) -> std::int64_t {
        return line[static_cast<std::size_t>(std::clamp<std::int64_t>(i, 0, n - 1))];
      };
      std::int64_t sum = 0;
      for (std::int64_t i = -radius; i <= radius; ++i) sum += at(i);
      for (int i = 0; i < n; ++i) {
        plane[first + step * static_cast<std::size_t>(i)] = static_cast<std::uint32_t>((sum + radius) / taps);
        sum += at(std::int64_t{i} + radius + 1) - at(std::int64_t{i} - radius);
      }
    };
    if (radius > 0) {
      for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) run(static_cast<std::size_t>(y) * w, w, 1);
        for (int x = 0; x < w; ++x) run(static_cast<std::size_t>(x), h, static_cast<std::size_t>(w));
      }
    }
    for (std::size_t i = 0; i < count; ++i) result[i] |= (plane[i] << shift) & m;
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) out.SetPixel(x, y, result[static_cast<std::size_t>(y) * w + x]);
  }
}

void TWipeBlurWhite::OnPrepare() {
  const int radius = std::min(width(), height()) / 20;
  wipe_box_blur(old_screen(), m_blur_old, radius);
  wipe_box_blur(new_screen(), m_blur_new, radius);
}

void TWipeBlurWhite::Apply(std::uint32_t grey) { target().AddRect(full(), grey); }
void TWipeBlurBlack::Apply(std::uint32_t grey) { target().SubRect(full(), grey); }

void TWipeBlurWhite::Draw(std::int64_t e, std::int64_t d) {
  const int b = static_cast<int>(scale(639, e, d));
  if (b < 256) {
    copy_whole(target(), old_screen());
    target().DrawBlend(0, 0, b, false, false, false, full(), m_blur_old);
  } else if (b < 320) {
    copy_whole(target(), m_blur_old);
    Apply(grey_pixel(target(), (b - 256) * 4));
  } else if (b < 384) {
    copy_whole(target(), m_blur_new);
    Apply(grey_pixel(target(), (383 - b) * 4));
  } else {
    copy_whole(target(), new_screen());
    target().DrawBlend(0, 0, 639 - b, false, false, false, full(), m_blur_new);
  }
}

// --- Twists -----------------------------------------------------------------------------------------------

void TWipeTwistH::Draw(std::int64_t e, std::int64_t d) {
  const bool columns = Columns();
  const int lines = columns ? width() : height();   // rows (columns) that turn
  const int length = columns ? height() : width();  // pixels along each
  auto line_rect = [&](int k, int begin, int end) {
    return columns ? Rect{k, begin, k + 1, end} : Rect{begin, k, end, k + 1};
  };
  const long double turn = static_cast<long double>(e) * 3 * kPi / (2 * static_cast<long double>(d));
  for (int i = 0; i < lines; ++i) {
    const int k = Reverse() ? lines - 1 - i : i;
    const long double phi = turn - static_cast<long double>(k) / lines * (kPi / 2);
    if (phi < 0) continue;
    const Rect whole = line_rect(i, 0, length);
    if (phi >= kPi) {
      target().Draw(whole.left, whole.top, false, false, false, whole, new_screen());
      continue;
    }
    target().FillRect(whole, 0);
    const std::int64_t w = round_even(std::cos(phi) * length);
    if (w == 0) continue;
    const int span = static_cast<int>(w > 0 ? w : -w);
    const int begin = (length - span) / 2;
    target().StretchDraw(line_rect(i, begin, begin + span), w > 0 ? old_screen() : new_screen(), 255, false, false,
                         false, whole);
  }
}

// --- Zoom -----------------------------------------------------------------------------------------------------

Rect TWipeZoomin::SourceRect(std::int64_t e, std::int64_t d, bool& from_new) const {
  const long double c = 2 * static_cast<long double>(e) / static_cast<long double>(d);
  from_new = c > 1;
  const long double q = from_new ? c - 1 : 1 - c, k = from_new ? 2 - c : c;
  const std::int64_t W = width(), H = height();
  const std::int64_t w = std::max<std::int64_t>(1, round_even(W * q));
  const std::int64_t h = std::max<std::int64_t>(1, round_even(H * q));
  auto place = [&](std::int32_t point, std::int64_t size, std::int64_t part) {
    const std::int64_t v = round_even((point - static_cast<long double>(size) / 2) * k) + size / 2 - part / 2;
    return std::clamp<std::int64_t>(v, 0, size - part);
  };
  const std::int64_t x = place(m_param[0], W, w), y = place(m_param[1], H, h);
  return Rect{static_cast<int>(x), static_cast<int>(y), static_cast<int>(x + w), static_cast<int>(y + h)};
}

void TWipeZoomin::Draw(std::int64_t e, std::int64_t d) {
  bool from_new = false;
  const Rect src = SourceRect(e, d, from_new);
  target().StretchDraw(full(), from_new ? new_screen() : old_screen(), 255, false, false, false, src);
}

}  // namespace nova::graphics
