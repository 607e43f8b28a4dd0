// TCustomDIBX: state, clip, solid rectangles and the unscaled draws. The
// sampled draws live in dibx_sampled.cpp, tiles in dibx_tiles.cpp, coverage
// and palette draws in dibx_glyphs.cpp.
#include "graphics/dibx.h"

#include <algorithm>
#include <cstdint>

#include "graphics/dibx_engine.h"

namespace nova::graphics {

using namespace detail;

TCustomDIBX::~TCustomDIBX() = default;

void TCustomDIBX::SetSize(int width, int height, int) {
  m_width = std::max(0, width);
  m_height = std::max(0, height);
}

std::uint8_t* TCustomDIBX::Lock(int, int) { return nullptr; }
const std::uint8_t* TCustomDIBX::LockRead(int, int) const { return nullptr; }

Rect TCustomDIBX::EffectiveClip() const {
  const Rect all{0, 0, GetWidth(), GetHeight()};
  return HasClip() ? m_clip.intersected(all) : all;
}

void TCustomDIBX::IncludeClipRect(const Rect& rect) {
  const Rect r = rect.intersected(Rect{0, 0, GetWidth(), GetHeight()});
  if (r.empty()) return;
  m_clip = HasClip() ? m_clip.united(r) : r;
}

std::int32_t TCustomDIBX::ColorToPixel(std::int32_t colour) const { return color_to_pixel(GetBitCount(), colour); }

ChannelMasks TCustomDIBX::Masks() const { return masks_for_bit_count(GetBitCount()); }

// --- Solid operations ---------------------------------------------------------------

void TCustomDIBX::Fill(std::uint32_t value) { FillRect(Rect{0, 0, GetWidth(), GetHeight()}, value); }

void TCustomDIBX::FillRect(const Rect& rect, std::uint32_t value) { solid_rect(*this, rect, RectMode::Fill, value, 255); }

void TCustomDIBX::BlendRect(const Rect& rect, std::uint32_t value, int opacity) {
  if (opacity <= 0) return;
  solid_rect(*this, rect, RectMode::Blend, value, std::min(opacity, 255));
}

void TCustomDIBX::AddRect(const Rect& rect, std::uint32_t value) { solid_rect(*this, rect, RectMode::Add, value, 255); }

void TCustomDIBX::SubRect(const Rect& rect, std::uint32_t value) { solid_rect(*this, rect, RectMode::Sub, value, 255); }

namespace {

// The strips of a border: top and bottom over the full width, then the
// sides between them when there is height left.
template <class Strip>
void frame_strips(const Rect& r, int w, Strip strip) {
  const std::int64_t w64 = r.width64(), h64 = r.height64();
  if (w <= 0 || w64 <= 0 || h64 <= 0 || w64 > INT32_MAX || h64 > INT32_MAX) return;
  const int width = static_cast<int>(w64), height = static_cast<int>(h64);
  w = std::min(w, height);
  strip(Rect::from_size(r.left, r.top, width, w));
  strip(Rect::from_size(r.left, r.bottom - w, width, w));
  const int inner = height - 2 * w;
  if (inner > 0) {
    strip(Rect::from_size(r.left, r.top + w, w, inner));
    strip(Rect::from_size(r.right - w, r.top + w, w, inner));
  }
}

}  // namespace

void TCustomDIBX::FrameRect(const Rect& rect, int width, std::uint32_t value) {
  frame_strips(rect, width, [&](const Rect& s) { FillRect(s, value); });
}

void TCustomDIBX::BlendFrameRect(const Rect& rect, int width, int opacity, std::uint32_t value) {
  frame_strips(rect, width, [&](const Rect& s) { BlendRect(s, value, opacity); });
}

void TCustomDIBX::AddFrameRect(const Rect& rect, int width, std::uint32_t value) {
  frame_strips(rect, width, [&](const Rect& s) { AddRect(s, value); });
}

// --- Unscaled draws ----------------------------------------------------------------------

void TCustomDIBX::Assign(const TCustomDIBX& src) {
  Draw(0, 0, false, false, false, Rect{0, 0, src.GetWidth(), src.GetHeight()}, src);
}

namespace {

void unscaled(TCustomDIBX& dst, int x, int y, bool flip_v, bool flip_h, const Rect& src_rect, const TCustomDIBX& src,
              const TCustomDIBX* alpha, const Compose& c) {
  UnscaledPlan plan;
  if (!plan_unscaled(dst.EffectiveClip(), x, y, src_rect, flip_v, flip_h, src.GetWidth(), src.GetHeight(), plan)) {
    return;
  }
  draw_unscaled(dst, src, alpha, plan, c);
}


}  // namespace

void TCustomDIBX::Draw(int x, int y, bool flip_v, bool flip_h, bool keyed, const Rect& src_rect,
                       const TCustomDIBX& src) {
  unscaled(*this, x, y, flip_v, flip_h, src_rect, src, nullptr, source_compose(Mode::Copy, 255, keyed, src));
}

void TCustomDIBX::DrawMasked(int x, int y, const TCustomDIBX& alpha, bool flip_v, bool flip_h, const Rect& src_rect,
                             const TCustomDIBX& src) {
  unscaled(*this, x, y, flip_v, flip_h, src_rect, src, &alpha, source_compose(Mode::Masked, 255, false, src));
}

void TCustomDIBX::DrawBlend(int x, int y, int opacity, bool flip_v, bool flip_h, bool keyed, const Rect& src_rect,
                            const TCustomDIBX& src) {
  if (opacity <= 0) return;
  Compose c = source_compose(Mode::Blend, opacity, keyed, src);
  c.skip_equal = true;
  unscaled(*this, x, y, flip_v, flip_h, src_rect, src, nullptr, c);
}

void TCustomDIBX::DrawMaskedBlend(int x, int y, int opacity, const TCustomDIBX& alpha, bool flip_v, bool flip_h,
                                  const Rect& src_rect, const TCustomDIBX& src) {
  if (opacity <= 0) return;
  unscaled(*this, x, y, flip_v, flip_h, src_rect, src, &alpha, source_compose(Mode::MaskedBlend, opacity, false, src));
}

void TCustomDIBX::DrawAdd(int x, int y, int opacity, bool flip_v, bool flip_h, bool, const Rect& src_rect,
                          const TCustomDIBX& src) {
  if (opacity <= 0) return;
  // The additive draw applies the source's key whatever the caller says.
  const Mode mode = GetBitCount() == 8 ? Mode::AddPlain : Mode::Add;
  unscaled(*this, x, y, flip_v, flip_h, src_rect, src, nullptr, source_compose(mode, opacity, true, src));
}

void TCustomDIBX::DrawMaskedAdd(int x, int y, int opacity, const TCustomDIBX& alpha, bool flip_v, bool flip_h,
                                const Rect& src_rect, const TCustomDIBX& src) {
  if (opacity <= 0) return;
  unscaled(*this, x, y, flip_v, flip_h, src_rect, src, &alpha, source_compose(Mode::MaskedAdd, opacity, false, src));
}

void TCustomDIBX::DrawColorMasked(int x, int y, int opacity, std::uint32_t value, bool flip_v, bool flip_h,
                                  const Rect& src_rect, const TCustomDIBX& mask) {
  if (opacity <= 0) return;
  opacity = std::min(opacity, 255);
  UnscaledPlan p;
  // The mask is the source here; a clipped rectangle leaving it draws nothing.
  if (!plan_unscaled(EffectiveClip(), x, y, src_rect, flip_v, flip_h, -1, -1, p)) return;
  const Rect s = plan_source_rect(p);
  if (!covers(mask, s)) return;
  WriteLock dl(*this);
  ReadLock ml(&mask);
  if (!dl.base() || !ml.base()) return;
  const int w = p.dst.width(), h = p.dst.height();
  const KernelSet* ks = active_kernels();
  const RowFormat f = row_format(GetBitCount());
  if (ks && f != RowFormat::Count) {
    const int bytes = GetStorageBitCount() / 8, pitch = GetPitch(), mpitch = mask.GetPitch();
    std::vector<std::uint8_t> tmp(static_cast<std::size_t>(w));
    RowJob job;
    job.value = value;
    job.opacity = opacity;
    job.count = w;
    const RowFn fn = ks->get(f, RowOp::ColorMasked);
    for (int j = 0; j < h; ++j) {
      const std::uint8_t* mrow = ml.base() + static_cast<std::ptrdiff_t>(p.sy + j * p.step_y) * mpitch;
      if (p.step_x > 0) {
        job.mask = mrow + p.sx;
      } else {
        for (int i = 0; i < w; ++i) tmp[static_cast<std::size_t>(i)] = mrow[p.sx - i];
        job.mask = tmp.data();
      }
      job.dst = dl.base() + static_cast<std::ptrdiff_t>(p.dst.top + j) * pitch +
                static_cast<std::ptrdiff_t>(p.dst.left) * bytes;
      fn(job);
    }
    return;
  }
  const ChannelMasks k = Masks();
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      const std::uint32_t m = mask.GetPixel(p.sx + i * p.step_x, p.sy + j * p.step_y);
      if (m == 0) continue;
      const int dx = p.dst.left + i, dy = p.dst.top + j;
      const std::uint32_t d = GetPixel(dx, dy);
      if (ref_equal(d, value, k)) continue;
      const std::uint32_t wgt = opacity == 255 ? m : (m * static_cast<std::uint32_t>(opacity)) >> 8;
      SetPixel(dx, dy, ref_mix(d, value, wgt, k));
    }
  }
}

// --- Buffers ---------------------------------------------------------------------

void TCustomDIBX::Clear() {
  m_width = 0;
  m_height = 0;
  m_clip = Rect{};
}

void TCustomDIBX::GetPalette(Palette& out) const { out.fill(PaletteEntry{}); }
void TCustomDIBX::GetPaletteEntries(std::span<PaletteEntry> out, int) const {
  std::fill(out.begin(), out.end(), PaletteEntry{});
}
void TCustomDIBX::SetPalette(const Palette&) {}
void TCustomDIBX::SetPaletteEntries(std::span<const PaletteEntry>, int) {}

void TCustomDIBX::StretchToDC(TDeviceContext& dc, const Rect& dst_rect, const Rect& src_rect) {
  const platform::PixelView v = PresentView();
  if (!v.pixels) return;
  dc.StretchPixels(v, src_rect, dst_rect);
}

platform::PixelView TCustomDIBX::PresentView() const { return {}; }

}  // namespace nova::graphics
