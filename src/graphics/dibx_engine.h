// The machinery shared by the surface operations: the per-pixel formulas
// (the reference every fast path is held to), clipping plans for unscaled
// and sampled draws, and the two draw engines that run a plan either through
// the row kernels or pixel by pixel. Private to src/graphics.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/dibx.h"
#include "graphics/kernels.h"

namespace nova::graphics::detail {

// --- Formulas on channel masks ------------------------------------------------------

inline bool ref_equal(std::uint32_t a, std::uint32_t b, const ChannelMasks& k) { return ((a ^ b) & k.colour) == 0; }

// Per channel M: ((d AND M) × (255 − w) + w × (s AND M)) >> 8, AND M.
inline std::uint32_t ref_mix(std::uint32_t d, std::uint32_t s, std::uint32_t w, const ChannelMasks& k) {
  std::uint32_t out = 0;
  for (int c = 0; c < k.count; ++c) {
    const std::uint64_t m = k.list[c];
    out |= static_cast<std::uint32_t>((((d & m) * (255 - w) + w * (s & m)) >> 8) & m);
  }
  return out;
}

// Per channel: (d AND M) + ((w × (s AND M)) >> 8 AND M), limited to M.
inline std::uint32_t ref_add(std::uint32_t d, std::uint32_t s, std::uint32_t w, const ChannelMasks& k) {
  std::uint32_t out = 0;
  for (int c = 0; c < k.count; ++c) {
    const std::uint64_t m = k.list[c];
    const std::uint64_t sum = (d & m) + (((w * (s & m)) >> 8) & m);
    out |= static_cast<std::uint32_t>(sum > m ? m : sum);
  }
  return out;
}

inline std::uint32_t ref_add_value(std::uint32_t d, std::uint32_t v, const ChannelMasks& k) {
  std::uint32_t out = 0;
  for (int c = 0; c < k.count; ++c) {
    const std::uint64_t m = k.list[c];
    const std::uint64_t sum = (d & m) + (v & m);
    out |= static_cast<std::uint32_t>(sum > m ? m : sum);
  }
  return out;
}

inline std::uint32_t ref_sub_value(std::uint32_t d, std::uint32_t v, const ChannelMasks& k) {
  std::uint32_t out = 0;
  for (int c = 0; c < k.count; ++c) {
    const std::uint32_t m = k.list[c];
    out |= (d & m) > (v & m) ? (d & m) - (v & m) : 0;
  }
  return out;
}

// How a draw combines a source pixel s (weighted by mask byte m) with the
// destination pixel d.
enum class Mode : std::uint8_t {
  Copy,         // s (keyed)
  Blend,        // mix(d, s, opacity) (keyed; skip_equal)
  Masked,       // skip m = 0; mix(d, s, m)
  MaskedBlend,  // skip m = 0; mix(d, s, (opacity × m) >> 8)
  Add,          // add(d, s, opacity) (keyed)
  MaskedAdd,    // skip m = 0; add(d, s, (opacity × m) >> 8)
  AddPlain,     // d + s limited to 255: additive draws onto 8-bit destinations
};

struct Compose {
  Mode mode = Mode::Copy;
  int opacity = 255;
  bool keyed = false;
  std::uint32_t key = 0;
  bool skip_equal = false;

  bool uses_mask() const { return mode == Mode::Masked || mode == Mode::MaskedBlend || mode == Mode::MaskedAdd; }
};

// The result for one pixel; false when the pixel is skipped.
bool ref_compose(const Compose& c, std::uint32_t d, std::uint32_t s, std::uint32_t m, const ChannelMasks& k,
                 std::uint32_t& out);

// A compose of `mode` at `opacity` (at most 255), keyed by the source's
// transparent value when `keyed` is set and the source has one.
Compose source_compose(Mode mode, int opacity, bool keyed, const TCustomDIBX& src);

// The compose rule of the opacity encoding: 0..254 blend, 255 copy, 256..511
// add with alpha − 256 (at most 255). `masked` picks the alpha-plane forms.
// `skip_equal` applies to the blend only.
Compose compose_for_alpha(int alpha, bool masked, bool keyed, std::uint32_t key, bool skip_equal);

// --- Locks ---------------------------------------------------------------------------

// Lock(0, 0) of a destination, Unlock when it goes.
class WriteLock {
 public:
  explicit WriteLock(TCustomDIBX& s) : m_surface(s), m_base(s.Lock(0, 0)) {}
  ~WriteLock() { m_surface.Unlock(); }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  std::uint8_t* base() const { return m_base; }

 private:
  TCustomDIBX& m_surface;
  std::uint8_t* m_base;
};

class ReadLock {
 public:
  explicit ReadLock(const TCustomDIBX* s) : m_surface(s), m_base(s ? s->LockRead(0, 0) : nullptr) {}
  ~ReadLock() {
    if (m_surface) m_surface->UnlockRead();
  }
  ReadLock(const ReadLock&) = delete;
  ReadLock& operator=(const ReadLock&) = delete;
  const std::uint8_t* base() const { return m_base; }

 private:
  const TCustomDIBX* m_surface;
  const std::uint8_t* m_base;
};

// The row format of a packed layout, or Count when there is none.
RowFormat row_format(int bit_count);

// --- Unscaled draws --------------------------------------------------------------------

// Destination rectangle and where its top-left pixel comes from in the
// source; each destination step moves the source by step_x, step_y (±1).
struct UnscaledPlan {
  Rect dst;
  int sx = 0;
  int sy = 0;
  int step_x = 1;
  int step_y = 1;
};

// Clipping of an unscaled draw of `src_rect` at (x, y) against `clip`, with
// the source rectangle first cut to the source's `src_w` × `src_h` pixels
// (not cut when they are negative). False when nothing is left.
bool plan_unscaled(const Rect& clip, int x, int y, Rect src_rect, bool flip_v, bool flip_h, int src_w, int src_h,
                   UnscaledPlan& out);

// The source rectangle a plan reads (for checking alpha planes and masks).
Rect plan_source_rect(const UnscaledPlan& p);

// True when `alpha` is an 8-bit surface covering `r`.
bool covers(const TCustomDIBX& alpha, const Rect& r);

// Runs a plan. `mask` is read at the source's coordinates when the mode
// uses it.
void draw_unscaled(TCustomDIBX& dst, const TCustomDIBX& src, const TCustomDIBX* mask, const UnscaledPlan& plan,
                   const Compose& c);

// --- Sampled draws (stretch, rotation, zoom) ----------------------------------------

// Destination pixel (L + i, T + j) of `dst` samples the source at
// (u >> 16, v >> 16) with u = u0 + i × dudx + j × dudy (likewise v), when
// that sample lies in `valid`; a mirrored plan then maps the sample to
// mirror_x − sx (mirror_y − sy).
struct SampledPlan {
  Rect dst;
  std::int64_t u0 = 0, v0 = 0;
  std::int64_t dudx = 0, dvdx = 0, dudy = 0, dvdy = 0;
  Rect valid;
  bool mirror_h = false, mirror_v = false;
  int mirror_x = 0, mirror_y = 0;
};

// Restricts `valid` so that every sample it admits, after mirroring, lies
// inside a w × h surface.
void restrict_valid(SampledPlan& p, int w, int h);

void draw_sampled(TCustomDIBX& dst, const TCustomDIBX& src, const TCustomDIBX* mask, const SampledPlan& plan,
                  const Compose& c);

// Indices i in [0, n) with lo <= (a + i × b) >> 16 < hi, as [first, last).
void sample_span(std::int64_t a, std::int64_t b, int lo, int hi, int n, int& first, int& last);

// Clipping of a stretched draw (nearest neighbour) of `src_rect` onto
// `dst_rect`; false when nothing is drawn.
bool plan_stretch(const Rect& clip, const Rect& dst_rect, const Rect& src_rect, bool flip_v, bool flip_h,
                  SampledPlan& out);

// --- Solid rectangles -------------------------------------------------------------------

enum class RectMode : std::uint8_t { Fill, Blend, Add, Sub };
void solid_rect(TCustomDIBX& dst, const Rect& rect, RectMode mode, std::uint32_t value, int opacity);

}  // namespace nova::graphics::detail

namespace nova::graphics::detail {

// Calls fn(dx, dy, sx, sy) for every destination pixel of an unscaled plan.
template <class Fn>
void visit_unscaled(const UnscaledPlan& p, Fn fn) {
  for (int j = 0; j < p.dst.height(); ++j) {
    for (int i = 0; i < p.dst.width(); ++i) fn(p.dst.left + i, p.dst.top + j, p.sx + i * p.step_x, p.sy + j * p.step_y);
  }
}

// Calls fn(dx, dy, sx, sy) for every destination pixel of a sampled plan
// whose sample is valid (after mirroring). `p.valid` must already be
// restricted to the surfaces read.
template <class Fn>
void visit_sampled(const SampledPlan& p, Fn fn) {
  for (int j = 0; j < p.dst.height(); ++j) {
    for (int i = 0; i < p.dst.width(); ++i) {
      const std::int64_t u = p.u0 + i * p.dudx + j * p.dudy;
      const std::int64_t v = p.v0 + i * p.dvdx + j * p.dvdy;
      if (u < 0 || v < 0) continue;
      int sx = static_cast<int>(u >> 16), sy = static_cast<int>(v >> 16);
      if (sx < p.valid.left || sx >= p.valid.right || sy < p.valid.top || sy >= p.valid.bottom) continue;
      if (p.mirror_h) sx = p.mirror_x - sx;
      if (p.mirror_v) sy = p.mirror_y - sy;
      fn(p.dst.left + i, p.dst.top + j, sx, sy);
    }
  }
}

// A fill that wraps source coordinates: destination pixel (L + i, T + j)
// samples ((u0 + i × dudx) >> 16 mod W, (v0 + j × dvdy) >> 16 mod H) of the
// whole source, then mirrored within it when asked. `dst` is the visible part;
// i and j count from `origin`.
struct WrappedPlan {
  Rect dst;
  Point origin;
  std::int64_t u0 = 0, v0 = 0, dudx = 65536, dvdy = 65536;
  bool mirror_h = false, mirror_v = false;
};

void draw_wrapped(TCustomDIBX& dst, const TCustomDIBX& src, const TCustomDIBX* mask, const WrappedPlan& plan,
                  const Compose& c);

}  // namespace nova::graphics::detail
