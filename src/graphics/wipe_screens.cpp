// Sections: per-pixel helpers; mosaic; spotlight; mask white and black;
// ripple; blur; twists; zoom.
#include "graphics/wipe_screens.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "core/error.h"
#include "graphics/kernels.h"
#include "graphics/wipe_kernels.h"
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
using L32 = detail::WipeX888;
using L16 = detail::WipeR565;
using L15 = detail::WipeX555;

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

// The shading kernels of the path in force for a target, or nullptr where
// the per-pixel form runs (the reference and portable paths, 24-bit
// targets).
const detail::WipeKernelSet* shade_kernels(const TCustomDIBX& target) {
  const PixelPath path = pixel_path();
  if (path != PixelPath::Sse2 && path != PixelPath::Avx2) return nullptr;
  const int bits = target.GetBitCount();
  if (bits != 32 && bits != 16 && bits != 15) return nullptr;
  return detail::wipe_kernels_for(path);
}

int shade_format(int bit_count) { return bit_count == 32 ? 0 : bit_count == 16 ? 1 : 2; }

// Whether a grey table holds the greys that the kernels build for a format
// (a 16-bit target on a 15-bit screen has another layout's).
bool own_greys(const std::array<std::uint32_t, 256>& grey, int format) {
  for (std::uint32_t g = 0; g < 256; ++g) {
    if (grey[g] != detail::wipe_format_grey(format, g)) return false;
  }
  return true;
}

// The three screens' buffers, locked for one draw.
struct LockedScreens {
  TCustomDIBX& target;
  const TCustomDIBX& old_screen;
  const TCustomDIBX& new_screen;
  std::uint8_t* dst;
  const std::uint8_t* o;
  const std::uint8_t* n;
  LockedScreens(TCustomDIBX& t, const TCustomDIBX& os, const TCustomDIBX& ns)
      : target(t), old_screen(os), new_screen(ns), dst(t.Lock(0, 0)), o(os.LockRead(0, 0)), n(ns.LockRead(0, 0)) {}
  ~LockedScreens() {
    if (n) new_screen.UnlockRead();
    if (o) old_screen.UnlockRead();
    if (dst) target.Unlock();
  }
  LockedScreens(const LockedScreens&) = delete;
  LockedScreens& operator=(const LockedScreens&) = delete;
  bool ok() const { return dst && o && n; }
  std::uint8_t* d_row(int y) const { return dst + static_cast<std::ptrdiff_t>(target.GetPitch()) * y; }
  const std::uint8_t* o_row(int y) const { return o + static_cast<std::ptrdiff_t>(old_screen.GetPitch()) * y; }
  const std::uint8_t* n_row(int y) const { return n + static_cast<std::ptrdiff_t>(new_screen.GetPitch()) * y; }
};

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
  // A pixel's distance depends only on |x − cx| and |y − cy|, which reach
  // cx and cy at most (the centre is W / 2, H / 2 rounded down).
  m_qw = cx + 1;
  m_threshold.resize(static_cast<std::size_t>(m_qw) * static_cast<std::size_t>(cy + 1));
  for (int q = 0; q <= cy; ++q) {
    for (int a = 0; a <= cx; ++a) {
      const std::int64_t n = round_even(std::hypot(static_cast<long double>(a), static_cast<long double>(q)));
      m_threshold[static_cast<std::size_t>(q) * static_cast<std::size_t>(m_qw) + static_cast<std::size_t>(a)] =
          static_cast<std::int32_t>(Reverse() ? reach - n : n);
    }
  }
  // Whole rows of the upper half (the lower half mirrors it) in 16 bits,
  // in target order for the vector kernels, when the progress fits.
  m_row_threshold.clear();
  if (m_span <= 32767) {
    const int w = width();
    m_row_threshold.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(cy + 1));
    for (int q = 0; q <= cy; ++q) {
      for (int x = 0; x < w; ++x) {
        m_row_threshold[static_cast<std::size_t>(q) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
            static_cast<std::int16_t>(threshold(std::abs(x - cx), q));
      }
    }
  }
}

void TWipeSpot::Draw(std::int64_t e, std::int64_t d) {
  const auto& grey = grey_table(greys_of(services(), "WP_SPOT"), target().GetBitCount());
  const std::int64_t b = scale(m_span, e, d);
  const detail::WipeKernelSet* set = shade_kernels(target());
  const int format = shade_format(target().GetBitCount());
  // The kernel builds the greys of the target's own layout; a table of
  // another layout (a 16-bit target on a 15-bit screen) and thresholds
  // beyond 16 bits go pixel by pixel.
  if (set && !m_row_threshold.empty() && own_greys(grey, format)) {
    target().GetBitCount() == 32 ? draw_rows<std::uint32_t>(set->spot[format], b)
                                 : draw_rows<std::uint16_t>(set->spot[format], b);
    return;
  }
  const int cx = width() / 2, cy = height() / 2;
  each_pixel(target(), old_screen(), new_screen(), [&]<class L>(int x, int y, std::uint32_t o, std::uint32_t n) {
    const std::int64_t v = b - threshold(std::abs(x - cx), std::abs(y - cy));
    if (v < 0) return o;
    if (v < 256) return L::add(o, grey[static_cast<std::size_t>(v)]);
    if (v < 512) return L::add(n, grey[static_cast<std::size_t>(511 - v)]);
    return n;
  });
}

namespace {

// The first index in [lo, hi) where pred (true on a prefix) fails, found
// from a guess by steps that double, then halving.
template <class Pred>
int gallop(const std::int32_t* v, int lo, int hi, int guess, Pred pred) {
  int first = lo, last = hi;
  if (guess < hi && pred(v[guess])) {
    // Forwards: pred holds up to the guess.
    first = guess + 1;
    int probe = first;
    for (int step = 1; probe < hi && pred(v[probe]); step *= 2) {
      first = probe + 1;
      probe += step;
    }
    last = std::min(probe, hi);
  } else {
    // Backwards: pred fails from the guess on.
    last = guess;
    int probe = guess - 1;
    for (int step = 1; probe >= lo && !pred(v[probe]); step *= 2) {
      last = probe;
      probe -= step;
    }
    first = std::max(probe + 1, lo);
  }
  return static_cast<int>(std::partition_point(v + first, v + last, pred) - v);
}

}  // namespace

// Along a row the thresholds only grow (shrink when reversed) away from the
// centre column, so each half of the row splits into the part the old
// screen shows, the ring and the part the new screen shows, found by binary
// search. The plain parts are copied whole; the ring goes through the
// spotlight kernel, which reads the row's thresholds in 16 bits.
template <class T>
void TWipeSpot::draw_rows(detail::WipeSpotFn spot, std::int64_t b) {
  LockedScreens s(target(), old_screen(), new_screen());
  if (!s.ok()) return;
  const int w = width(), cx = w / 2, cy = height() / 2;
  // Which screen a threshold shows: 0 old, 1 new, 2 the ring.
  auto kind = [&](std::int32_t t) { return b < t ? 0 : b - t >= 512 ? 1 : 2; };
  int starts[4] = {0, 0, 0, m_qw};
  for (int y = 0; y < height(); ++y) {
    std::uint8_t* dst = s.d_row(y);
    const std::uint8_t* o = s.o_row(y);
    const std::uint8_t* n = s.n_row(y);
    const std::size_t q = static_cast<std::size_t>(std::abs(y - cy));
    const std::int32_t* t = m_threshold.data() + q * static_cast<std::size_t>(m_qw);
    const std::int16_t* row16 = m_row_threshold.data() + q * static_cast<std::size_t>(w);
    auto paint = [&](int k, int from, int end) {
      if (from >= end) return;
      const std::size_t bytes = static_cast<std::size_t>(from) * sizeof(T);
      if (k < 2) {
        std::memcpy(dst + bytes, (k == 0 ? o : n) + bytes, static_cast<std::size_t>(end - from) * sizeof(T));
        return;
      }
      detail::WipeSpotJob job;
      job.dst = dst + bytes;
      job.old_row = o + bytes;
      job.new_row = n + bytes;
      job.threshold = row16 + from;
      job.b = static_cast<int>(b);
      job.count = end - from;
      spot(job);
    };
    // The kinds met going out from the centre, in order, and where each
    // starts (as |x − cx|).
    // Each boundary is searched for from where it lay on the row before,
    // which is near: a few reads on one line of the table, not a binary
    // search across the row.
    const int order[3] = {Reverse() ? 0 : 1, 2, Reverse() ? 1 : 0};
    starts[3] = m_qw;
    for (int i = 1; i < 3; ++i) {
      starts[i] = gallop(t, starts[i - 1], m_qw, std::clamp(starts[i], starts[i - 1], m_qw),
                         [&](std::int32_t v) { return kind(v) == order[i - 1]; });
    }
    for (int i = 0; i < 3; ++i) {
      // Left half: x = cx − a for a in [starts[i], starts[i + 1]); right
      // half: x = cx + a for a >= 1.
      paint(order[i], std::max(0, cx - starts[i + 1] + 1), cx - starts[i] + 1);
      paint(order[i], cx + std::max(1, starts[i]), std::min(w, cx + starts[i + 1]));
    }
  }
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
  const detail::WipeKernelSet* set = shade_kernels(target());
  if (set && own_greys(grey, shade_format(target().GetBitCount()))) {
    // v = clamp(g + p − 511, 0, 511) per pixel, worked out by the kernel
    // from the level itself; beyond ±512 every level gives 0 (511).
    const int offset = static_cast<int>(std::clamp<std::int64_t>(p - 511, -512, 512));
    const int format = shade_format(target().GetBitCount());
    const detail::WipeShadowFn shadow = darkens ? set->shadow_sub[format] : set->shadow_add[format];
    LockedScreens s(target(), old_screen(), new_screen());
    if (!s.ok()) return;
    for (int y = 0; y < height(); ++y) {
      detail::WipeShadowJob job;
      job.dst = s.d_row(y);
      job.old_row = s.o_row(y);
      job.new_row = s.n_row(y);
      job.key = levels + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
      job.offset = offset;
      job.count = w;
      shadow(job);
    }
    return;
  }
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
  m_profile_reach = 0;
  if (tooth != 0) {
    for (std::int64_t i = 0; i < m_ring; ++i) {
      const std::int64_t v = (i % tooth) * m_param[0] / tooth;
      m_profile[static_cast<std::size_t>(i)] = v;
      m_profile_reach = std::max(m_profile_reach, v < 0 ? -v : v);
    }
  }
  // The 32-bit kernels' copy, used only while every entry fits (see Draw),
  // with seven entries more for the kernels that read eight at a time.
  m_profile32.assign(m_profile.size() + 7, 0);
  if (m_profile_reach < 32768) {
    for (std::size_t i = 0; i < m_profile.size(); ++i) m_profile32[i] = static_cast<std::int32_t>(m_profile[i]);
  }
}

namespace {

// One 24-bit pixel as it is stored.
struct Pixel24 {
  std::uint8_t bytes[3];
};

}  // namespace

template <class T>
void TWipeRipple::narrow_ring(const detail::WipeKernelSet& kernels, int y, int begin, int end, std::int64_t b, T* d_top,
                              T* d_bottom, const T* const* new_rows) const {
  const int w = width(), h = height();
  const std::size_t row = static_cast<std::size_t>(y) * m_qw + static_cast<std::size_t>(begin);
  detail::WipeRippleRow r;
  r.dist = m_distance.data() + row;
  r.sine = m_sine.data() + row;
  r.cosine = m_cosine.data() + row;
  // The profile entry of pixel x is dist[x] − (b − L + 1).
  r.profile = m_profile32.data();
  r.inner = static_cast<std::int32_t>(b - m_ring + 1);
  r.begin = begin;
  r.count = end - begin;
  r.y = y;
  r.cx = w / 2;
  r.cy = h / 2;
  r.w = w;
  r.h = h;
  std::int32_t* sx = m_sx.data();
  std::int32_t* sy = m_sy.data();
  kernels.ripple_sources(r, sx, sy);
  for (int i = 0; i < r.count; ++i) {
    const int x = begin + i, mx = w - 1 - x, from = sx[i], mirror = w - 1 - from;
    const T* top = new_rows[sy[i]];
    const T* bottom = new_rows[h - 1 - sy[i]];
    d_top[x] = top[from];
    d_top[mx] = top[mirror];
    d_bottom[x] = bottom[from];
    d_bottom[mx] = bottom[mirror];
  }
}

template <class T>
void TWipeRipple::draw_rows(std::int64_t b, std::uint8_t* dst, std::ptrdiff_t dp, const std::uint8_t* o,
                            std::ptrdiff_t op, const std::uint8_t* n, std::ptrdiff_t np,
                            const detail::WipeKernelSet* kernels) const {
  const int w = width(), h = height(), cx = w / 2, cy = h / 2;
  auto new_row = [&](int y) { return reinterpret_cast<const T*>(n + np * y); };
  std::vector<const T*> new_rows;
  if (kernels) {
    new_rows.resize(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) new_rows[static_cast<std::size_t>(y)] = new_row(y);
    m_sx.resize(static_cast<std::size_t>(m_qw));
    m_sy.resize(static_cast<std::size_t>(m_qw));
  }
  // The ring's bounds move only towards the left from row to row, so each
  // is found by walking from the row before's (in either direction, which
  // makes it exact for any row); the walks of a frame add up to the
  // quarter's width.
  int ring_begin = m_qw, ring_end = m_qw;
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
    const auto unreached = [&](int x) { return dist[x] > b; };
    const auto in_ring_or_unreached = [&](int x) { return dist[x] + m_ring - 1 - b >= 0; };
    while (ring_begin > 0 && !unreached(ring_begin - 1)) --ring_begin;
    while (ring_begin < m_qw && unreached(ring_begin)) ++ring_begin;
    ring_end = std::max(ring_end, ring_begin);
    while (ring_end > ring_begin && !in_ring_or_unreached(ring_end - 1)) --ring_end;
    while (ring_end < m_qw && in_ring_or_unreached(ring_end)) ++ring_end;
    auto copy = [](T* to, const T* from, int begin, int end) {
      if (begin < end) std::memcpy(to + begin, from + begin, static_cast<std::size_t>(end - begin) * sizeof(T));
    };
    for (auto [to, old_part, new_part] : {std::tuple{d_top, o_top, n_top}, std::tuple{d_bottom, o_bottom, n_bottom}}) {
      copy(to, old_part, 0, ring_begin);
      copy(to, old_part, w - ring_begin, w);
      copy(to, new_part, ring_end, m_qw);
      copy(to, new_part, w - m_qw, w - ring_end);
    }
    if (kernels) {
      // The ring reads the new screen up to the profile's reach away from
      // the rows it writes; the lines of the ring's columns two rows past
      // that are asked for now, so that they have come from memory when
      // the rows that read them are drawn.
      const int ahead_rows = 2 + static_cast<int>(std::min<std::int64_t>(m_profile_reach, 30));
      if (y + ahead_rows < m_qh) {
        for (const T* ahead : {new_row(y + ahead_rows), new_row(h - 1 - ahead_rows - y)}) {
          for (int x = ring_begin; x < ring_end; x += static_cast<int>(64 / sizeof(T))) {
            __builtin_prefetch(ahead + x);
            __builtin_prefetch(ahead + (w - 1 - x));
          }
        }
      }
      narrow_ring(*kernels, y, ring_begin, ring_end, b, d_top, d_bottom, new_rows.data());
      continue;
    }
    const std::int32_t* sine = m_sine.data() + static_cast<std::size_t>(y) * m_qw;
    const std::int32_t* cosine = m_cosine.data() + static_cast<std::size_t>(y) * m_qw;
    // The profile entry of pixel x is dist[x] − (b − L + 1).
    const std::int64_t* profile = m_profile.data();
    const std::int64_t inner = b - m_ring + 1;
    for (int x = ring_begin; x < ring_end; ++x) {
      const int mx = w - 1 - x;
      const std::int64_t reach = dist[x] + profile[dist[x] - inner];
      const std::int64_t sx = reach * sine[x] / 65536 + cx, sy = reach * cosine[x] / 65536 + cy;
      if (static_cast<std::uint64_t>(sx) < static_cast<std::uint64_t>(w) &&
          static_cast<std::uint64_t>(sy) < static_cast<std::uint64_t>(h)) {
        const T* top = new_row(static_cast<int>(sy));
        const T* bottom = new_row(h - 1 - static_cast<int>(sy));
        d_top[x] = top[sx];
        d_top[mx] = top[w - 1 - sx];
        d_bottom[x] = bottom[sx];
        d_bottom[mx] = bottom[w - 1 - sx];
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
    // Off the reference path, reaches below 2^15 take 32-bit arithmetic
    // (|sine| <= 65536, so every product fits); the reference keeps the
    // 64-bit formula for any parameter.
    const detail::WipeKernelSet* kernels =
        m_reach + m_profile_reach < 32768 ? detail::wipe_kernels_for(pixel_path()) : nullptr;
    switch (target().GetStorageBitCount()) {
      case 32: draw_rows<std::uint32_t>(b, dst, dp, o, op, n, np, kernels); break;
      case 24: draw_rows<Pixel24>(b, dst, dp, o, op, n, np, kernels); break;
      default: draw_rows<std::uint16_t>(b, dst, dp, o, op, n, np, kernels); break;
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

namespace {

// What one row (column) of a twist shows at a turn: untouched before its
// phase starts, the new screen's line once it has turned half round, else
// black with `span` pixels of one screen's line squeezed into the middle.
struct TwistLine {
  enum class State { Untouched, New, Turning } state = State::Untouched;
  int begin = 0;
  int span = 0;
  bool from_new = false;
};

// round(cos(phi) × length) with the long double cosine, whose reduction
// of the angle costs far more than the rest of a line. The double cosine
// lies within 1e-15 × length of it; only a product that falls that near a
// half (where the two could round apart) asks the long double one.
std::int64_t round_cos_length(long double phi, int length) {
  const double v = std::cos(static_cast<double>(phi)) * length;
  const double f = v - std::floor(v);
  if (std::abs(f - 0.5) > 1e-6) return static_cast<std::int64_t>(std::nearbyint(v));
  return round_even(std::cos(phi) * length);
}

TwistLine twist_line(long double turn, int i, int lines, int length, bool reverse) {
  const int k = reverse ? lines - 1 - i : i;
  const long double phi = turn - static_cast<long double>(k) / lines * (kPi / 2);
  TwistLine line;
  if (phi < 0) return line;
  if (phi >= kPi) {
    line.state = TwistLine::State::New;
    return line;
  }
  line.state = TwistLine::State::Turning;
  const std::int64_t w = round_cos_length(phi, length);
  line.span = static_cast<int>(w > 0 ? w : -w);
  line.begin = (length - line.span) / 2;
  line.from_new = w < 0;
  return line;
}

// The squeezed line as the surfaces' stretch samples it: output j takes
// source pixel (j × step) >> 16, the step being length / span in 16.16
// truncated, and only the samples inside the line are drawn.
struct TwistSamples {
  std::int64_t step = 0;
  int count = 0;  // outputs whose sample lies inside the line
};

TwistSamples twist_samples(int span, int length) {
  TwistSamples t;
  if (span <= 0) return t;
  t.step = static_cast<std::int64_t>(static_cast<double>(length) / static_cast<double>(span) * 65536);
  // The samples only grow, so the drawn outputs are a prefix: those with
  // j × step < length × 65536 (a squeeze's step is at least 1.0).
  const std::int64_t limit = std::int64_t{length} << 16;
  t.count = static_cast<int>(std::min<std::int64_t>(span, (limit + t.step - 1) / t.step));
  return t;
}

// One squeezed line: `first` black pixels, `count` samples of `from` at
// (j × step) >> 16 by the path's kernel, black to `length`.
template <class T>
void stretch_line(T* to, const T* from, int length, int first, int count, std::int64_t step,
                  detail::WipeStretchFn sample) {
  std::fill(to, to + first, T{0});
  sample(reinterpret_cast<std::uint8_t*>(to + first), reinterpret_cast<const std::uint8_t*>(from), count, step, length);
  std::fill(to + first + count, to + length, T{0});
}

// The twist of columns. A turning column reads its screen's column at rows
// that follow no fixed stride, which in row order costs a line of another
// row (often another page) for nearly every pixel. So the columns are
// squeezed where they are contiguous: each strip of columns of a screen is
// turned into contiguous lines (blocks of 8 × 8, or 8 × 16 where the path
// has the wider kernel, transposed by the path's kernel), every turning
// column is squeezed there like a row by the path's sampler, and the strip
// is turned back into the target. Columns that have turned half round are
// copied from the new screen row by row, whole runs at a time; untouched
// ones are not written.
template <class T>
void twist_columns(const detail::WipeKernelSet& set, int w, int h, long double turn, bool reverse, std::uint8_t* dst,
                   std::ptrdiff_t dp, const std::uint8_t* o, std::ptrdiff_t op, const std::uint8_t* n,
                   std::ptrdiff_t np) {
  constexpr std::ptrdiff_t B = sizeof(T);
  // Strips of one cache line of every row, so that each line of the
  // screens is fetched once; the kernel turns blocks of eight.
  constexpr int kStrip = static_cast<int>(64 / B), kBlock = 8;
  const detail::WipeTransposeFn transpose = set.transpose8[B == 4 ? 0 : 1];
  const detail::WipeTransposeFn transpose_wide = B == 2 ? set.transpose8x16_16 : nullptr;
  struct Column {
    TwistLine line;
    TwistSamples samples;
  };
  std::vector<Column> plan(static_cast<std::size_t>(w));
  for (int x = 0; x < w; ++x) {
    Column& c = plan[static_cast<std::size_t>(x)];
    c.line = twist_line(turn, x, w, h, reverse);
    if (c.line.state == TwistLine::State::Turning) c.samples = twist_samples(c.line.span, h);
  }
  // The columns shown whole from the new screen, in runs.
  for (int x = 0; x < w;) {
    if (plan[static_cast<std::size_t>(x)].line.state != TwistLine::State::New) {
      ++x;
      continue;
    }
    int end = x + 1;
    while (end < w && plan[static_cast<std::size_t>(end)].line.state == TwistLine::State::New) ++end;
    for (int y = 0; y < h; ++y) {
      std::memcpy(dst + dp * y + x * B, n + np * y + x * B, static_cast<std::size_t>(end - x) * sizeof(T));
    }
    x = end;
  }
  const std::size_t lines = static_cast<std::size_t>(kStrip) * static_cast<std::size_t>(h);
  std::vector<T> in_old(lines), in_new(lines), out(lines);
  const std::ptrdiff_t line_bytes = static_cast<std::ptrdiff_t>(h) * B;
  auto turning = [&](int x) { return plan[static_cast<std::size_t>(x)].line.state == TwistLine::State::Turning; };
  for (int x0 = 0; x0 < w; x0 += kStrip) {
    const int sw = std::min(kStrip, w - x0);
    bool need_old = false, need_new = false;
    for (int k = 0; k < sw; ++k) {
      const Column& c = plan[static_cast<std::size_t>(x0 + k)];
      if (c.line.state == TwistLine::State::Turning) (c.line.from_new ? need_new : need_old) = true;
    }
    if (!need_old && !need_new) continue;
    // buf[k × h + y] = the screen's pixel (x0 + k, y): whole blocks of
    // eight (or sixteen) columns by the kernel, the rest pixel by pixel.
    auto to_lines = [&](std::vector<T>& buf, const std::uint8_t* base, std::ptrdiff_t pitch) {
      for (int k0 = 0; k0 < sw;) {
        const bool wide = transpose_wide && sw - k0 >= 2 * kBlock;
        const int bw = wide ? 2 * kBlock : std::min(kBlock, sw - k0);
        const detail::WipeTransposeFn kernel = wide ? transpose_wide : transpose;
        T* lines_at = buf.data() + static_cast<std::size_t>(k0) * h;
        int y = 0;
        if (bw >= kBlock) {
          y = h / kBlock * kBlock;
          kernel(base + (x0 + k0) * B, pitch, reinterpret_cast<std::uint8_t*>(lines_at), line_bytes, h / kBlock,
                 pitch * kBlock, kBlock * B);
        }
        for (; y < h; ++y) {
          const T* row = reinterpret_cast<const T*>(base + pitch * y) + x0 + k0;
          for (int k = 0; k < bw; ++k) lines_at[static_cast<std::size_t>(k) * h + y] = row[k];
        }
        k0 += bw;
      }
    };
    if (need_old) to_lines(in_old, o, op);
    if (need_new) to_lines(in_new, n, np);
    for (int k = 0; k < sw; ++k) {
      const Column& c = plan[static_cast<std::size_t>(x0 + k)];
      if (c.line.state != TwistLine::State::Turning) continue;
      const std::size_t at = static_cast<std::size_t>(k) * h;
      stretch_line(out.data() + at, (c.line.from_new ? in_new : in_old).data() + at, h, c.line.begin, c.samples.count,
                   c.samples.step, set.stretch[B == 4 ? 0 : 1]);
    }
    // Back into the target: blocks of eight turning columns by the kernel;
    // blocks with other columns only their turning ones, pixel by pixel.
    for (int k0 = 0; k0 < sw; k0 += kBlock) {
      const int bw = std::min(kBlock, sw - k0), x = x0 + k0;
      bool all = bw == kBlock, any = false;
      for (int k = 0; k < bw; ++k) {
        if (turning(x + k)) {
          any = true;
        } else {
          all = false;
        }
      }
      if (!any) continue;
      const T* lines_at = out.data() + static_cast<std::size_t>(k0) * h;
      int y = 0;
      if (all) {
        // Above and below every column's squeezed line the block is black:
        // those rows are cleared outright, the rest turned by the kernel,
        // sixteen rows at a time where the path has the wider one.
        int lo = h, hi = 0;
        for (int k = 0; k < bw; ++k) {
          const Column& c = plan[static_cast<std::size_t>(x + k)];
          lo = std::min(lo, c.line.begin);
          hi = std::max(hi, c.line.begin + c.samples.count);
        }
        auto clear = [&](int row) { std::memset(dst + dp * row + x * B, 0, kBlock * sizeof(T)); };
        for (; y + kBlock <= lo; ++y) clear(y);
        // Runs of blocks while rows below hi are left and the block fits.
        auto run = [&](detail::WipeTransposeFn kernel, int rows) {
          const int blocks = y < hi ? std::min((hi - y + rows - 1) / rows, (h - y) / rows) : 0;
          if (blocks <= 0) return;
          kernel(reinterpret_cast<const std::uint8_t*>(lines_at + y), line_bytes, dst + dp * y + x * B, dp, blocks,
                 rows * B, rows * dp);
          y += blocks * rows;
        };
        if (transpose_wide) run(transpose_wide, 2 * kBlock);
        run(transpose, kBlock);
        for (; y >= hi && y < h; ++y) clear(y);
      }
      for (; y < h; ++y) {
        T* row = reinterpret_cast<T*>(dst + dp * y) + x;
        for (int k = 0; k < bw; ++k) {
          if (turning(x + k)) row[k] = lines_at[static_cast<std::size_t>(k) * h + y];
        }
      }
    }
  }
}

// The twist straight through the buffers of 15-, 16- and 32-bit screens
// (pixels of type T).
template <class T>
void twist_direct(const detail::WipeKernelSet& set, TCustomDIBX& target, const TCustomDIBX& old_screen,
                  const TCustomDIBX& new_screen, bool columns, long double turn, bool reverse) {
  const int w = target.GetWidth(), h = target.GetHeight();
  const int lines = columns ? w : h, length = columns ? h : w;
  std::uint8_t* dst = target.Lock(0, 0);
  const std::uint8_t* o = old_screen.LockRead(0, 0);
  const std::uint8_t* n = new_screen.LockRead(0, 0);
  if (dst && o && n) {
    const std::ptrdiff_t dp = target.GetPitch(), op = old_screen.GetPitch(), np = new_screen.GetPitch();
    auto d_row = [&](int y) { return reinterpret_cast<T*>(dst + dp * y); };
    auto o_row = [&](int y) { return reinterpret_cast<const T*>(o + op * y); };
    auto n_row = [&](int y) { return reinterpret_cast<const T*>(n + np * y); };
    if (!columns) {
      const detail::WipeStretchFn sample = set.stretch[sizeof(T) == 4 ? 0 : 1];
      for (int y = 0; y < h; ++y) {
        const TwistLine line = twist_line(turn, y, lines, length, reverse);
        T* to = d_row(y);
        if (line.state == TwistLine::State::Untouched) continue;
        if (line.state == TwistLine::State::New) {
          std::memcpy(to, n_row(y), static_cast<std::size_t>(w) * sizeof(T));
          continue;
        }
        const TwistSamples t = twist_samples(line.span, length);
        stretch_line(to, line.from_new ? n_row(y) : o_row(y), w, line.begin, t.count, t.step, sample);
      }
    } else {
      twist_columns<T>(set, w, h, turn, reverse, dst, dp, o, op, n, np);
    }
  }
  if (n) new_screen.UnlockRead();
  if (o) old_screen.UnlockRead();
  if (dst) target.Unlock();
}

}  // namespace

void TWipeTwistH::Draw(std::int64_t e, std::int64_t d) {
  const bool columns = Columns();
  const int lines = columns ? width() : height();   // rows (columns) that turn
  const int length = columns ? height() : width();  // pixels along each
  const long double turn = static_cast<long double>(e) * 3 * kPi / (2 * static_cast<long double>(d));
  if (const detail::WipeKernelSet* set = detail::wipe_kernels_for(pixel_path())) {
    switch (target().GetBitCount()) {
      case 32:
        twist_direct<std::uint32_t>(*set, target(), old_screen(), new_screen(), columns, turn, Reverse());
        return;
      case 16:
      case 15:
        twist_direct<std::uint16_t>(*set, target(), old_screen(), new_screen(), columns, turn, Reverse());
        return;
      default: break;
    }
  }
  // Through the surfaces' own operations, line by line.
  auto line_rect = [&](int k, int begin, int end) {
    return columns ? Rect{k, begin, k + 1, end} : Rect{begin, k, end, k + 1};
  };
  for (int i = 0; i < lines; ++i) {
    const TwistLine line = twist_line(turn, i, lines, length, Reverse());
    if (line.state == TwistLine::State::Untouched) continue;
    const Rect whole = line_rect(i, 0, length);
    if (line.state == TwistLine::State::New) {
      target().Draw(whole.left, whole.top, false, false, false, whole, new_screen());
      continue;
    }
    target().FillRect(whole, 0);
    if (line.span == 0) continue;
    target().StretchDraw(line_rect(i, line.begin, line.begin + line.span), line.from_new ? new_screen() : old_screen(),
                         255, false, false, false, whole);
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
