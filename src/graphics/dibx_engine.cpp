#include "graphics/dibx_engine.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "graphics/memory_dibx.h"

namespace nova::graphics::detail {

bool ref_compose(const Compose& c, std::uint32_t d, std::uint32_t s, std::uint32_t m, const ChannelMasks& k,
                 std::uint32_t& out) {
  const auto a = static_cast<std::uint32_t>(c.opacity);
  switch (c.mode) {
    case Mode::Copy:
      if (c.keyed && ref_equal(s, c.key, k)) return false;
      out = s;
      return true;
    case Mode::Blend:
      if (c.keyed && ref_equal(s, c.key, k)) return false;
      if (c.skip_equal && ref_equal(s, d, k)) return false;
      out = ref_mix(d, s, a, k);
      return true;
    case Mode::Masked:
      if (m == 0) return false;
      out = ref_mix(d, s, m, k);
      return true;
    case Mode::MaskedBlend:
      if (m == 0) return false;
      out = ref_mix(d, s, (a * m) >> 8, k);
      return true;
    case Mode::Add:
      if (c.keyed && ref_equal(s, c.key, k)) return false;
      out = ref_add(d, s, a, k);
      return true;
    case Mode::MaskedAdd:
      if (m == 0) return false;
      out = ref_add(d, s, (a * m) >> 8, k);
      return true;
    case Mode::AddPlain:
      if (c.keyed && ref_equal(s, c.key, k)) return false;
      out = std::min<std::uint32_t>((d & 0xFF) + (s & 0xFF), 255);
      return true;
  }
  return false;
}

Compose source_compose(Mode mode, int opacity, bool keyed, const TCustomDIBX& src) {
  Compose c;
  c.mode = mode;
  c.opacity = std::min(opacity, 255);
  c.keyed = keyed && src.TransparentValue() != -1;
  c.key = static_cast<std::uint32_t>(src.TransparentValue());
  return c;
}

Compose compose_for_alpha(int alpha, bool masked, bool keyed, std::uint32_t key, bool skip_equal) {
  Compose c;
  c.keyed = keyed && !masked;
  c.key = key;
  if (alpha > 255) {
    c.mode = masked ? Mode::MaskedAdd : Mode::Add;
    c.opacity = std::min(alpha - 256, 255);
  } else if (alpha == 255) {
    c.mode = masked ? Mode::Masked : Mode::Copy;
    c.opacity = 255;
  } else {
    c.mode = masked ? Mode::MaskedBlend : Mode::Blend;
    c.opacity = std::max(alpha, 0);
    c.skip_equal = skip_equal;
  }
  return c;
}

RowFormat row_format(int bit_count) {
  switch (bit_count) {
    case 32: return RowFormat::X888;
    case 16: return RowFormat::R565;
    case 15: return RowFormat::X555;
    default: return RowFormat::Count;
  }
}

namespace {

RowOp row_op(Mode m) {
  switch (m) {
    case Mode::Copy: return RowOp::Copy;
    case Mode::Blend: return RowOp::Blend;
    case Mode::Masked: return RowOp::Masked;
    case Mode::MaskedBlend: return RowOp::MaskedBlend;
    case Mode::Add: return RowOp::Add;
    case Mode::MaskedAdd: return RowOp::MaskedAdd;
    case Mode::AddPlain: break;
  }
  return RowOp::Count;
}

// The kernels for this draw, or nullptr when it must go pixel by pixel.
RowFn fast_kernel(const TCustomDIBX& dst, const TCustomDIBX& src, const TCustomDIBX* mask, const Compose& c) {
  const KernelSet* ks = active_kernels();
  if (!ks) return nullptr;
  const RowFormat f = row_format(dst.GetBitCount());
  if (f == RowFormat::Count || src.GetBitCount() != dst.GetBitCount()) return nullptr;
  if (c.uses_mask() && (!mask || mask->GetBitCount() != 8)) return nullptr;
  const RowOp op = row_op(c.mode);
  if (op == RowOp::Count) return nullptr;
  return ks->get(f, op);
}

RowJob job_for(const Compose& c) {
  RowJob j;
  j.opacity = c.opacity;
  j.keyed = c.keyed;
  j.key = c.key;
  j.skip_equal = c.skip_equal;
  return j;
}

std::uint8_t* at(std::uint8_t* base, int pitch, int x, int y, int bytes) {
  return base + static_cast<std::ptrdiff_t>(y) * pitch + static_cast<std::ptrdiff_t>(x) * bytes;
}
const std::uint8_t* at(const std::uint8_t* base, int pitch, int x, int y, int bytes) {
  return base + static_cast<std::ptrdiff_t>(y) * pitch + static_cast<std::ptrdiff_t>(x) * bytes;
}

void copy_pixel(std::uint8_t* to, const std::uint8_t* from, int bytes) {
  if (bytes == 4) std::memcpy(to, from, 4);
  else std::memcpy(to, from, 2);
}

// One past the last byte of a surface's last pixel in memory.
const std::uint8_t* buffer_end(const std::uint8_t* base, int pitch, int w, int h, int bytes) {
  const std::ptrdiff_t last_row = pitch >= 0 ? static_cast<std::ptrdiff_t>(h - 1) * pitch : 0;
  return base + last_row + static_cast<std::ptrdiff_t>(w) * bytes;
}

// A copy of a surface's pixels, for draws whose source is their own
// destination: the rows read must not be the rows already written.
std::unique_ptr<TDIBX> snapshot(const TCustomDIBX& s) {
  auto copy = std::make_unique<TDIBX>();
  const std::uint8_t* from = s.LockRead(0, 0);
  if (!from) {
    s.UnlockRead();
    return nullptr;
  }
  copy->SetSize(s.GetWidth(), s.GetHeight(), s.GetBitCount());
  copy->SetTransparentValue(s.TransparentValue());
  const std::size_t row = (static_cast<std::size_t>(s.GetWidth()) * static_cast<std::size_t>(s.GetStorageBitCount()) + 7) / 8;
  std::uint8_t* to = copy->Lock(0, 0);
  for (int y = 0; y < s.GetHeight(); ++y) {
    std::memcpy(to + static_cast<std::ptrdiff_t>(y) * copy->GetPitch(), from + static_cast<std::ptrdiff_t>(y) * s.GetPitch(), row);
  }
  copy->Unlock();
  s.UnlockRead();
  return copy;
}

// When the source or the mask is the destination itself, runs draw with a
// copy in place of whichever of them it is and answers true. Only what the
// draw writes over is copied.
template <class Draw>
bool unaliased(const TCustomDIBX& dst, const TCustomDIBX& src, const TCustomDIBX* mask, Draw draw) {
  if (&src != &dst && mask != &dst) return false;
  std::unique_ptr<TDIBX> src_copy;
  if (&src == &dst) {
    src_copy = snapshot(src);
    if (!src_copy) return true;
  }
  const TCustomDIBX& from = src_copy ? *src_copy : src;
  std::unique_ptr<TDIBX> mask_copy;
  const TCustomDIBX* m = mask;
  if (mask == &src) {
    m = &from;
  } else if (mask == &dst) {
    mask_copy = snapshot(*mask);
    if (mask_copy) m = mask_copy.get();
  }
  draw(from, m);
  return true;
}

// One pixel of the per-pixel path: source (sx, sy), weighted by the mask's
// byte there, onto destination (dx, dy).
void ref_pixel(TCustomDIBX& dst, const TCustomDIBX& src, const TCustomDIBX* m, const Compose& c,
               const ChannelMasks& k, int dx, int dy, int sx, int sy) {
  const std::uint32_t mv = m ? m->GetPixel(sx, sy) : 255;
  std::uint32_t out;
  if (ref_compose(c, dst.GetPixel(dx, dy), src.GetPixel(sx, sy), mv, k, out)) dst.SetPixel(dx, dy, out);
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}
std::int64_t ceil_div(std::int64_t a, std::int64_t b) { return -floor_div(-a, b); }

}  // namespace

bool plan_unscaled(const Rect& clip, int x_in, int y_in, Rect src_rect, bool flip_v, bool flip_h, int src_w,
                   int src_h, UnscaledPlan& out) {
  // 64-bit throughout: positions from scripts may lie anywhere in the int
  // range, and their sums must not wrap.
  std::int64_t x = x_in, y = y_in;
  std::int64_t sl = src_rect.left, st = src_rect.top, sr = src_rect.right, sb = src_rect.bottom;
  if (sr <= sl || sb <= st) return false;
  // Cutting the source to its surface keeps the mapping: the destination
  // moves by what a cut removes from the side that lands first.
  if (src_w >= 0) {
    if (sl < 0) {
      if (!flip_h) x -= sl;
      sl = 0;
    }
    if (sr > src_w) {
      if (flip_h) x += sr - src_w;
      sr = src_w;
    }
  }
  if (src_h >= 0) {
    if (st < 0) {
      if (!flip_v) y -= st;
      st = 0;
    }
    if (sb > src_h) {
      if (flip_v) y += sb - src_h;
      sb = src_h;
    }
  }
  if (sr <= sl || sb <= st) return false;
  if (x < clip.left) {
    const std::int64_t k = clip.left - x;
    x = clip.left;
    if (flip_h) sr -= k;
    else sl += k;
  }
  if (y < clip.top) {
    const std::int64_t k = clip.top - y;
    y = clip.top;
    if (flip_v) sb -= k;
    else st += k;
  }
  if (sr <= sl || sb <= st) return false;
  if (x + (sr - sl) > clip.right) {
    const std::int64_t k = x + (sr - sl) - clip.right;
    if (flip_h) sl += k;
    else sr -= k;
  }
  if (y + (sb - st) > clip.bottom) {
    const std::int64_t k = y + (sb - st) - clip.bottom;
    if (flip_v) st += k;
    else sb -= k;
  }
  if (sr <= sl || sb <= st) return false;
  // Everything left lies inside the clip, so it fits in int again.
  out.dst = Rect::from_size(static_cast<int>(x), static_cast<int>(y), static_cast<int>(sr - sl),
                            static_cast<int>(sb - st));
  out.sx = static_cast<int>(flip_h ? sr - 1 : sl);
  out.sy = static_cast<int>(flip_v ? sb - 1 : st);
  out.step_x = flip_h ? -1 : 1;
  out.step_y = flip_v ? -1 : 1;
  return true;
}

Rect plan_source_rect(const UnscaledPlan& p) {
  const int w = p.dst.width(), h = p.dst.height();
  const int l = p.step_x > 0 ? p.sx : p.sx - w + 1;
  const int t = p.step_y > 0 ? p.sy : p.sy - h + 1;
  return Rect::from_size(l, t, w, h);
}

bool covers(const TCustomDIBX& alpha, const Rect& r) {
  return alpha.GetBitCount() == 8 && r.left >= 0 && r.top >= 0 && r.right <= alpha.GetWidth() &&
         r.bottom <= alpha.GetHeight();
}

void draw_unscaled(TCustomDIBX& dst, const TCustomDIBX& src, const TCustomDIBX* mask, const UnscaledPlan& p,
                   const Compose& c) {
  if (unaliased(dst, src, mask, [&](const TCustomDIBX& s, const TCustomDIBX* m) { draw_unscaled(dst, s, m, p, c); })) return;
  if (c.uses_mask() && (!mask || !covers(*mask, plan_source_rect(p)))) return;
  const TCustomDIBX* m = c.uses_mask() ? mask : nullptr;
  WriteLock dl(dst);
  ReadLock sl(&src);
  ReadLock ml(m);
  if (!dl.base() || !sl.base() || (m && !ml.base())) return;
  const int w = p.dst.width(), h = p.dst.height();

  if (RowFn fn = fast_kernel(dst, src, m, c)) {
    const int bytes = dst.GetStorageBitCount() / 8;
    const int dpitch = dst.GetPitch(), spitch = src.GetPitch(), mpitch = m ? m->GetPitch() : 0;
    std::vector<std::uint8_t> src_tmp, mask_tmp;
    if (p.step_x < 0) {
      src_tmp.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(bytes));
      if (m) mask_tmp.resize(static_cast<std::size_t>(w));
    }
    RowJob job = job_for(c);
    job.count = w;
    for (int j = 0; j < h; ++j) {
      const int sy = p.sy + j * p.step_y;
      job.dst = at(dl.base(), dpitch, p.dst.left, p.dst.top + j, bytes);
      const std::uint8_t* srow = at(sl.base(), spitch, 0, sy, bytes);
      const std::uint8_t* mrow = m ? at(ml.base(), mpitch, 0, sy, 1) : nullptr;
      if (p.step_x > 0) {
        job.src = srow + static_cast<std::ptrdiff_t>(p.sx) * bytes;
        job.mask = mrow ? mrow + p.sx : nullptr;
      } else {
        // A mirrored row is gathered forwards so the kernels see one order.
        for (int i = 0; i < w; ++i) {
          copy_pixel(src_tmp.data() + static_cast<std::ptrdiff_t>(i) * bytes,
                     srow + static_cast<std::ptrdiff_t>(p.sx - i) * bytes, bytes);
        }
        if (mrow) {
          for (int i = 0; i < w; ++i) mask_tmp[static_cast<std::size_t>(i)] = mrow[p.sx - i];
        }
        job.src = src_tmp.data();
        job.mask = m ? mask_tmp.data() : nullptr;
      }
      fn(job);
    }
    return;
  }

  const ChannelMasks k = masks_for_bit_count(dst.GetBitCount());
  visit_unscaled(p, [&](int dx, int dy, int sx, int sy) { ref_pixel(dst, src, m, c, k, dx, dy, sx, sy); });
}

void sample_span(std::int64_t a, std::int64_t b, int lo, int hi, int n, int& first, int& last) {
  first = 0;
  last = 0;
  if (n <= 0 || lo >= hi) return;
  const std::int64_t low = static_cast<std::int64_t>(lo) * 65536;
  const std::int64_t high = static_cast<std::int64_t>(hi) * 65536 - 1;
  std::int64_t i0 = 0, i1 = n - 1;
  if (b == 0) {
    if (a < low || a > high) return;
  } else if (b > 0) {
    i0 = std::max<std::int64_t>(i0, ceil_div(low - a, b));
    i1 = std::min<std::int64_t>(i1, floor_div(high - a, b));
  } else {
    i0 = std::max<std::int64_t>(i0, ceil_div(high - a, b));
    i1 = std::min<std::int64_t>(i1, floor_div(low - a, b));
  }
  if (i0 > i1) return;
  first = static_cast<int>(i0);
  last = static_cast<int>(i1 + 1);
}

void restrict_valid(SampledPlan& p, int w, int h) {
  // A mirrored sample sx lands on mirror_x − sx, which must be in [0, w).
  Rect bounds = p.mirror_h ? Rect{p.mirror_x - w + 1, 0, p.mirror_x + 1, 0} : Rect{0, 0, w, 0};
  if (p.mirror_v) {
    bounds.top = p.mirror_y - h + 1;
    bounds.bottom = p.mirror_y + 1;
  } else {
    bounds.top = 0;
    bounds.bottom = h;
  }
  p.valid = p.valid.intersected(bounds);
  // Negative positions are never samples.
  p.valid = p.valid.intersected(Rect{0, 0, 1 << 30, 1 << 30});
}

namespace {

// What the row loops of a sampled draw share: the kernels, the locked
// buffers and the compose of the draw.
struct SampledRows {
  const KernelSet& ks;
  RowFn fn;
  const SampledPlan& p;
  int bytes;
  std::uint8_t* dbase;
  int dpitch;
  const std::uint8_t* sbase;
  int spitch;
  const std::uint8_t* send;
  const std::uint8_t* mbase;  // nullptr without an alpha plane
  int mpitch;
  const std::uint8_t* mend;
  // An unfiltered copy gathers straight into the destination row.
  bool direct;
  RowJob job;

  // Runs the kernel on `n` gathered pixels (and mask bytes) for a
  // destination row.
  void compose(std::uint8_t* drow, const std::uint8_t* pixels, const std::uint8_t* mask, int n) {
    job.dst = drow;
    job.src = pixels;
    job.mask = mbase ? mask : nullptr;
    job.count = n;
    fn(job);
  }
};

// A stretch: every row samples the same columns, so they are planned once,
// and rows that sample the same source row take the gathered pixels again
// (a copy of the destination row just drawn, for a direct draw).
void stretched_rows(SampledRows& r) {
  const SampledPlan& p = r.p;
  const int w = p.dst.width(), h = p.dst.height();
  int col_first = 0, col_last = 0;
  sample_span(p.u0, p.dudx, p.valid.left, p.valid.right, w, col_first, col_last);
  if (col_first >= col_last) return;
  const int n = col_last - col_first;
  std::vector<int> columns(static_cast<std::size_t>(n));
  std::int64_t u = p.u0 + col_first * p.dudx;
  for (int& x : columns) {
    x = static_cast<int>(u >> 16);
    if (p.mirror_h) x = p.mirror_x - x;
    u += p.dudx;
  }
  ColumnPlan src_plan, mask_plan;
  src_plan.cols = mask_plan.cols = columns.data();
  src_plan.count = mask_plan.count = n;
  src_plan.bytes = r.bytes;
  mask_plan.bytes = 1;
  const int size = KernelSet::size_index(r.bytes);
  r.ks.plan_columns[size](src_plan);
  if (r.mbase) r.ks.plan_columns[0](mask_plan);
  const std::size_t row_bytes = static_cast<std::size_t>(n) * static_cast<std::size_t>(r.bytes);
  std::vector<std::uint8_t> src_tmp(r.direct ? 0 : row_bytes);
  std::vector<std::uint8_t> mask_tmp(r.mbase ? static_cast<std::size_t>(n) : 0);
  int gathered = -1;  // the source row whose pixels were gathered last
  const std::uint8_t* last_drow = nullptr;
  for (int j = 0; j < h; ++j) {
    const std::int64_t v = p.v0 + j * p.dvdy;
    int f, l;
    sample_span(v, 0, p.valid.top, p.valid.bottom, 1, f, l);
    if (f >= l) continue;
    int sy = static_cast<int>(v >> 16);
    if (p.mirror_v) sy = p.mirror_y - sy;
    std::uint8_t* drow = at(r.dbase, r.dpitch, p.dst.left + col_first, p.dst.top + j, r.bytes);
    if (sy != gathered) {
      GatherJob g;
      g.out = r.direct ? drow : src_tmp.data();
      g.row = at(r.sbase, r.spitch, 0, sy, r.bytes);
      g.plan = &src_plan;
      g.end = r.send;
      g.count = n;
      r.ks.gather_table[size](g);
      if (r.mbase) {
        g.out = mask_tmp.data();
        g.row = at(r.mbase, r.mpitch, 0, sy, 1);
        g.plan = &mask_plan;
        g.end = r.mend;
        r.ks.gather_table[0](g);
      }
      gathered = sy;
    } else if (r.direct) {
      std::memcpy(drow, last_drow, row_bytes);
    }
    last_drow = drow;
    if (!r.direct) r.compose(drow, src_tmp.data(), mask_tmp.data(), n);
  }
}

// A rotation. The destination is walked in columns of kStrip pixels: a
// turned row crosses many source rows, and the rows of one strip stay within
// the same few source rows and pages while a whole turned row would not.
void turned_rows(SampledRows& r) {
  constexpr int kStrip = 64;
  const SampledPlan& p = r.p;
  const int w = p.dst.width(), h = p.dst.height();
  // Each row's samples inside the source: [first, last).
  std::vector<std::pair<int, int>> spans(static_cast<std::size_t>(h));
  for (int j = 0; j < h; ++j) {
    const std::int64_t ua = p.u0 + j * p.dudy, va = p.v0 + j * p.dvdy;
    int f0, l0, f1, l1;
    sample_span(ua, p.dudx, p.valid.left, p.valid.right, w, f0, l0);
    sample_span(va, p.dvdx, p.valid.top, p.valid.bottom, w, f1, l1);
    spans[static_cast<std::size_t>(j)] = {std::max(f0, f1), std::min(l0, l1)};
  }
  const GatherFn src_affine = r.ks.gather_affine[KernelSet::size_index(r.bytes)];
  std::vector<std::uint8_t> src_tmp(r.direct ? 0
                                             : static_cast<std::size_t>(kStrip) * static_cast<std::size_t>(r.bytes));
  std::vector<std::uint8_t> mask_tmp(r.mbase ? static_cast<std::size_t>(kStrip) : 0);
  // What every run of samples shares; each row sets its start and length.
  GatherJob walk;
  walk.du = p.dudx;
  walk.dv = p.dvdx;
  walk.mirror_h = p.mirror_h;
  walk.mirror_v = p.mirror_v;
  walk.mirror_x = p.mirror_x;
  walk.mirror_y = p.mirror_y;
  for (int s0 = 0; s0 < w; s0 += kStrip) {
    const int s1 = std::min(w, s0 + kStrip);
    for (int j = 0; j < h; ++j) {
      const auto [first_j, last_j] = spans[static_cast<std::size_t>(j)];
      const int first = std::max(first_j, s0), last = std::min(last_j, s1);
      if (first >= last) continue;
      const int n = last - first;
      std::uint8_t* drow = at(r.dbase, r.dpitch, p.dst.left + first, p.dst.top + j, r.bytes);
      walk.count = n;
      walk.u0 = p.u0 + j * p.dudy + first * p.dudx;
      walk.v0 = p.v0 + j * p.dvdy + first * p.dvdx;
      GatherJob g = walk;
      g.out = r.direct ? drow : src_tmp.data();
      g.base = r.sbase;
      g.pitch = r.spitch;
      g.end = r.send;
      src_affine(g);
      if (r.mbase) {
        g.out = mask_tmp.data();
        g.base = r.mbase;
        g.pitch = r.mpitch;
        g.end = r.mend;
        r.ks.gather_affine[0](g);
      }
      if (!r.direct) r.compose(drow, src_tmp.data(), mask_tmp.data(), n);
    }
  }
}

}  // namespace

void draw_sampled(TCustomDIBX& dst, const TCustomDIBX& src, const TCustomDIBX* mask, const SampledPlan& plan,
                  const Compose& c) {
  if (unaliased(dst, src, mask, [&](const TCustomDIBX& s, const TCustomDIBX* m) { draw_sampled(dst, s, m, plan, c); })) return;
  SampledPlan p = plan;
  const TCustomDIBX* m = c.uses_mask() ? mask : nullptr;
  if (c.uses_mask()) {
    if (!mask || mask->GetBitCount() != 8) return;
    restrict_valid(p, mask->GetWidth(), mask->GetHeight());
  }
  restrict_valid(p, src.GetWidth(), src.GetHeight());
  if (p.valid.empty() || p.dst.empty()) return;
  WriteLock dl(dst);
  ReadLock sl(&src);
  ReadLock ml(m);
  if (!dl.base() || !sl.base() || (m && !ml.base())) return;

  if (RowFn fn = fast_kernel(dst, src, m, c)) {
    const int bytes = dst.GetStorageBitCount() / 8;
    const int spitch = src.GetPitch(), mpitch = m ? m->GetPitch() : 0;
    SampledRows rows{*active_kernels(),
                     fn,
                     p,
                     bytes,
                     dl.base(),
                     dst.GetPitch(),
                     sl.base(),
                     spitch,
                     buffer_end(sl.base(), spitch, src.GetWidth(), src.GetHeight(), bytes),
                     m ? ml.base() : nullptr,
                     mpitch,
                     m ? buffer_end(ml.base(), mpitch, m->GetWidth(), m->GetHeight(), 1) : nullptr,
                     c.mode == Mode::Copy && !c.keyed,
                     job_for(c)};
    if (p.dudy == 0 && p.dvdx == 0)
      stretched_rows(rows);
    else
      turned_rows(rows);
    return;
  }

  const ChannelMasks k = masks_for_bit_count(dst.GetBitCount());
  visit_sampled(p, [&](int dx, int dy, int sx, int sy) { ref_pixel(dst, src, m, c, k, dx, dy, sx, sy); });
}

bool plan_stretch(const Rect& clip, const Rect& dst_rect, const Rect& src_rect, bool flip_v, bool flip_h,
                  SampledPlan& out) {
  const std::int64_t dw = dst_rect.width64(), dh = dst_rect.height64();
  const std::int64_t sw = src_rect.width64(), sh = src_rect.height64();
  if (dw < 1 || dh < 1 || sw < 1 || sh < 1) return false;
  const double fx = static_cast<double>(sw) / static_cast<double>(dw), fy = static_cast<double>(sh) / static_cast<double>(dh);
  Rect d = dst_rect;
  std::int64_t left = src_rect.left, right = src_rect.right, top = src_rect.top, bottom = src_rect.bottom;
  double frac_x = 0, frac_y = 0;
  if (d.left < clip.left) {
    const double cut = static_cast<double>(std::int64_t{clip.left} - d.left) * fx;
    const auto whole = static_cast<std::int64_t>(cut);
    frac_x = cut - static_cast<double>(whole);
    if (flip_h) right -= whole;
    else left += whole;
    d.left = clip.left;
  }
  if (d.top < clip.top) {
    const double cut = static_cast<double>(std::int64_t{clip.top} - d.top) * fy;
    const auto whole = static_cast<std::int64_t>(cut);
    frac_y = cut - static_cast<double>(whole);
    if (flip_v) bottom -= whole;
    else top += whole;
    d.top = clip.top;
  }
  // A cut on the right or bottom only shortens the walk; the samples of the
  // visible pixels stay where they were.
  d.right = std::min(d.right, clip.right);
  d.bottom = std::min(d.bottom, clip.bottom);
  if (d.empty()) return false;
  const auto step_x = static_cast<std::int64_t>(fx * 65536), step_y = static_cast<std::int64_t>(fy * 65536);
  const auto start_x = static_cast<std::int64_t>(frac_x * 65536), start_y = static_cast<std::int64_t>(frac_y * 65536);
  out = SampledPlan{};
  out.dst = d;
  // A mirrored walk starts at the last position inside the far edge, so it
  // visits exactly the mirror images of the unmirrored samples.
  out.u0 = flip_h ? right * 65536 - 1 - start_x : left * 65536 + start_x;
  out.v0 = flip_v ? bottom * 65536 - 1 - start_y : top * 65536 + start_y;
  out.dudx = flip_h ? -step_x : step_x;
  out.dvdy = flip_v ? -step_y : step_y;
  out.valid = src_rect;
  return true;
}

void solid_rect(TCustomDIBX& dst, const Rect& rect, RectMode mode, std::uint32_t value, int opacity) {
  const Rect r = rect.intersected(dst.EffectiveClip());
  if (r.empty()) return;
  WriteLock dl(dst);
  if (!dl.base()) return;
  const KernelSet* ks = active_kernels();
  const RowFormat f = row_format(dst.GetBitCount());
  const RowOp op = mode == RectMode::Fill    ? RowOp::Fill
                   : mode == RectMode::Blend ? RowOp::BlendRect
                   : mode == RectMode::Add   ? RowOp::AddRect
                                             : RowOp::SubRect;
  if (ks && f != RowFormat::Count) {
    const int bytes = dst.GetStorageBitCount() / 8, pitch = dst.GetPitch();
    RowJob job;
    job.value = value;
    job.opacity = opacity;
    job.count = r.width();
    const RowFn fn = ks->get(f, op);
    for (int y = r.top; y < r.bottom; ++y) {
      job.dst = at(dl.base(), pitch, r.left, y, bytes);
      fn(job);
    }
    return;
  }
  const ChannelMasks k = masks_for_bit_count(dst.GetBitCount());
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      switch (mode) {
        case RectMode::Fill: dst.SetPixel(x, y, value); break;
        case RectMode::Blend: {
          const std::uint32_t d = dst.GetPixel(x, y);
          if (!ref_equal(d, value, k)) dst.SetPixel(x, y, ref_mix(d, value, static_cast<std::uint32_t>(opacity), k));
          break;
        }
        case RectMode::Add: dst.SetPixel(x, y, ref_add_value(dst.GetPixel(x, y), value, k)); break;
        case RectMode::Sub: dst.SetPixel(x, y, ref_sub_value(dst.GetPixel(x, y), value, k)); break;
      }
    }
  }
}

namespace {

int wrap(std::int64_t v, int n) {
  std::int64_t r = v % n;
  if (r < 0) r += n;
  return static_cast<int>(r);
}

}  // namespace

void draw_wrapped(TCustomDIBX& dst, const TCustomDIBX& src, const TCustomDIBX* mask, const WrappedPlan& p,
                  const Compose& c) {
  if (unaliased(dst, src, mask, [&](const TCustomDIBX& s, const TCustomDIBX* m) { draw_wrapped(dst, s, m, p, c); })) return;
  const int sw = src.GetWidth(), sh = src.GetHeight();
  if (p.dst.empty() || sw <= 0 || sh <= 0) return;
  const TCustomDIBX* m = c.uses_mask() ? mask : nullptr;
  if (c.uses_mask() && (!mask || !covers(*mask, Rect{0, 0, sw, sh}))) return;
  WriteLock dl(dst);
  ReadLock sl(&src);
  ReadLock ml(m);
  if (!dl.base() || !sl.base() || (m && !ml.base())) return;
  const int w = p.dst.width(), h = p.dst.height();
  const std::int64_t i0 = std::int64_t{p.dst.left} - p.origin.x, j0 = std::int64_t{p.dst.top} - p.origin.y;
  auto column = [&](int i) {
    const int sx = wrap((p.u0 + (i0 + i) * p.dudx) >> 16, sw);
    return p.mirror_h ? sw - 1 - sx : sx;
  };
  auto row = [&](int j) {
    const int sy = wrap((p.v0 + (j0 + j) * p.dvdy) >> 16, sh);
    return p.mirror_v ? sh - 1 - sy : sy;
  };

  if (RowFn fn = fast_kernel(dst, src, m, c)) {
    const int bytes = dst.GetStorageBitCount() / 8;
    const int dpitch = dst.GetPitch(), spitch = src.GetPitch(), mpitch = m ? m->GetPitch() : 0;
    std::vector<int> columns(static_cast<std::size_t>(w));
    for (int i = 0; i < w; ++i) columns[static_cast<std::size_t>(i)] = column(i);
    std::vector<std::uint8_t> src_tmp(static_cast<std::size_t>(w) * static_cast<std::size_t>(bytes));
    std::vector<std::uint8_t> mask_tmp(m ? static_cast<std::size_t>(w) : 0);
    RowJob job = job_for(c);
    job.count = w;
    for (int j = 0; j < h; ++j) {
      const int sy = row(j);
      const std::uint8_t* srow = at(sl.base(), spitch, 0, sy, bytes);
      const std::uint8_t* mrow = m ? at(ml.base(), mpitch, 0, sy, 1) : nullptr;
      for (int i = 0; i < w; ++i) {
        const int sx = columns[static_cast<std::size_t>(i)];
        copy_pixel(src_tmp.data() + static_cast<std::ptrdiff_t>(i) * bytes,
                   srow + static_cast<std::ptrdiff_t>(sx) * bytes, bytes);
        if (mrow) mask_tmp[static_cast<std::size_t>(i)] = mrow[sx];
      }
      job.dst = at(dl.base(), dpitch, p.dst.left, p.dst.top + j, bytes);
      job.src = src_tmp.data();
      job.mask = m ? mask_tmp.data() : nullptr;
      fn(job);
    }
    return;
  }

  const ChannelMasks k = masks_for_bit_count(dst.GetBitCount());
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      ref_pixel(dst, src, m, c, k, p.dst.left + i, p.dst.top + j, column(i), row(j));
    }
  }
}

}  // namespace nova::graphics::detail
