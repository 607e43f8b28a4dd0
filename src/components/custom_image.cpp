#include "components/custom_image.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "components/base_list.h"
#include "components/draw_table.h"
#include "components/nova_base.h"
#include "components/script_values.h"
#include "core/format.h"

namespace nova::components {

namespace {

constexpr bool table_is_indexed() {
  for (std::size_t i = 0; i < kDrawTable.size(); ++i) {
    const DrawRow& r = kDrawTable[i];
    if (row_index(r.rotated, r.plane, r.range, r.zoomed) != i) return false;
  }
  return true;
}
static_assert(table_is_indexed(), "every row sits at its own index");

}  // namespace

std::int32_t zoomed_extent(std::int64_t picture, std::int64_t zoom) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(picture * zoom / 256, 0, kMaxZoomedSide));
}

TNovaCustomImage::~TNovaCustomImage() = default;

const PropertyTable& TNovaCustomImage::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TNovaCustomImage;
    PropertyTable t = TNovaControl::ClassProperties();
    t.set_own_hit_test([](TNovaControl& c, Point p, std::uint32_t modes) {
      return static_cast<C&>(c).HitTestImage(p, modes);
    });
    t.integer<&C::ZoomX, &C::SetZoomX>(PR_ZOOMX);
    t.integer<&C::ZoomY, &C::SetZoomY>(PR_ZOOMY);
    t.integer<&C::Alpha, &C::SetAlpha>(PR_ALPHA);
    t.integer<&C::Angle, &C::SetAngle>(PR_ANGLE);
    t.flag<&C::FlipH, &C::SetFlipH>(PR_FLIPH);
    t.flag<&C::FlipV, &C::SetFlipV>(PR_FLIPV);
    t.flag<&C::CaptureMask, &C::SetCaptureMask>(PR_CAPTUREMASK);
    t.integer<&C::OrigWidth>(PR_ORIGWIDTH);
    t.integer<&C::OrigHeight>(PR_ORIGHEIGHT);
    t.integer<&C::BlurSpan, &C::SetBlurSpan>(PR_BLURSPAN);
    t.integer<&C::BlurDelay, &C::SetBlurDelay>(PR_BLURDELAY);
    return t;
  }();
  return table;
}

// --- Properties --------------------------------------------------------------------------

void TNovaCustomImage::SetAlpha(std::int32_t v) {
  if (v == m_alpha) return;
  m_alpha = v;
  Invalidate();
}

void TNovaCustomImage::set_zoom(std::int32_t& field, std::int32_t v) {
  v = std::max(v, 1);
  if (v == field) return;
  Invalidate();
  field = v;
  RecomputeSize();
  Invalidate();
  PositionChanged();
}

void TNovaCustomImage::SetAngle(std::int32_t v) {
  if (v == m_angle) return;
  Invalidate();
  m_angle = v;
  Invalidate();
}

void TNovaCustomImage::SetFlipH(bool v) {
  if (v == m_flip_h) return;
  Invalidate();
  m_flip_h = v;
  RecomputeSize();
  Invalidate();
}

void TNovaCustomImage::SetFlipV(bool v) {
  if (v == m_flip_v) return;
  Invalidate();
  m_flip_v = v;
  RecomputeSize();
  Invalidate();
}

std::int32_t TNovaCustomImage::OrigWidth() const {
  const auto s = PictureSize();
  return s ? s->width : 0;
}

std::int32_t TNovaCustomImage::OrigHeight() const {
  const auto s = PictureSize();
  return s ? s->height : 0;
}

// --- The picture -------------------------------------------------------------------------

graphics::TDIBX& TNovaCustomImage::OwnSurface() {
  if (!m_own) m_own = std::make_unique<graphics::TDIBX>();
  return *m_own;
}

const graphics::TCustomDIBX* TNovaCustomImage::CurrentPicture() {
  return m_own && !m_own->IsEmpty() ? m_own.get() : nullptr;
}

std::optional<Size> TNovaCustomImage::PictureSize() const {
  if (m_own && !m_own->IsEmpty()) return Size{m_own->GetWidth(), m_own->GetHeight()};
  return std::nullopt;
}

void TNovaCustomImage::RecomputeSize() {
  m_size_dirty = false;
  if (!SizeFollowsImage()) return;
  const auto s = PictureSize();
  // A zoomed position on a parent picture at the same zoom takes the size
  // between its mapped edges, so that it covers what it covers on the
  // parent's picture.
  const auto extent = [&](bool horizontal, std::int64_t picture, std::int32_t zoom) {
    if (const auto mapped = ExtentOnParentPicture(horizontal, zoom)) {
      return static_cast<std::int32_t>(std::clamp<std::int64_t>(*mapped, 0, kMaxZoomedSide));
    }
    return zoomed_extent(picture, zoom);
  };
  SetWidth(s ? extent(true, s->width, m_zoom_x) : 0);
  SetHeight(s ? extent(false, s->height, m_zoom_y) : 0);
}

Rect TNovaCustomImage::DrawnRect() const {
  const std::int32_t angle = m_angle & 0xFF;
  const auto s = PictureSize();
  if (angle == 0 || !s) return GetScreenRect();
  // The bounds the rotation itself draws into.
  const double theta = angle * 2 * std::numbers::pi / 256;
  const double c = std::cos(theta), sn = std::sin(theta);
  const double zx = m_zoom_x / 256.0, zy = m_zoom_y / 256.0;
  const double left = -zx * CenterX(), top = -zy * CenterY();
  const double right = left + s->width * zx - 1, bottom = top + s->height * zy - 1;
  const Point o = GetDrawOrigin();
  double min_x = 1e300, max_x = -1e300, min_y = 1e300, max_y = -1e300;
  for (double cx : {left, right}) {
    for (double cy : {top, bottom}) {
      const double px = cx * c - cy * sn + o.x, py = cx * sn + cy * c + o.y;
      min_x = std::min(min_x, px);
      max_x = std::max(max_x, px);
      min_y = std::min(min_y, py);
      max_y = std::max(max_y, py);
    }
  }
  const auto clamp = [](double v) { return static_cast<int>(std::clamp(v, -1e9, 1e9)); };
  return Rect{clamp(min_x), clamp(min_y), clamp(max_x) + 1, clamp(max_y) + 1};
}

std::optional<std::uint8_t> TNovaCustomImage::PlaneAt(const graphics::TCustomDIBX& plane, std::int64_t x,
                                                      std::int64_t y) const {
  if (x < 0 || y < 0 || x >= plane.GetWidth() || y >= plane.GetHeight()) return std::nullopt;
  return static_cast<std::uint8_t>(plane.GetPixel(static_cast<int>(x), static_cast<int>(y)));
}

bool TNovaCustomImage::MaskHit(Point p) const {
  if (!m_capture_mask) return true;
  const graphics::TCustomDIBX* plane = CurrentAlpha();
  if (!plane) return true;
  std::int64_t x = (std::int64_t{p.x} - ScreenLeft()) * 256 / m_zoom_x;
  std::int64_t y = (std::int64_t{p.y} - ScreenTop()) * 256 / m_zoom_y;
  if (m_flip_h) x = plane->GetWidth() - 1 - x;
  if (m_flip_v) y = plane->GetHeight() - 1 - y;
  const auto v = PlaneAt(*plane, x, y);
  return v && *v > 127;
}

// --- Drawing -------------------------------------------------------------------------------

namespace {

// One call of the row's operation.
void run_row(const DrawRow& row, graphics::TCustomDIBX& t, const graphics::TCustomDIBX& pic,
             const graphics::TCustomDIBX* plane, int x, int y, const Rect& dst, const Rect& src, std::int32_t alpha,
             bool fv, bool fh, int angle, Point pivot, std::int32_t zx, std::int32_t zy) {
  const bool keyed = pic.TransparentValue() != -1;
  const int a = row.pass == DrawRow::Strength ? alpha - 256 : alpha;
  switch (row.op) {
    case DrawOp::DrawRotate: t.DrawRotate(x, y, a, fv, fh, keyed, angle, pivot.y, pivot.x, src, pic, zy, zx); break;
    case DrawOp::DrawMaskedRotate:
      t.DrawMaskedRotate(x, y, a, *plane, fv, fh, angle, pivot.y, pivot.x, src, pic, zy, zx);
      break;
    case DrawOp::Draw: t.Draw(x, y, fv, fh, keyed, src, pic); break;
    case DrawOp::DrawMasked: t.DrawMasked(x, y, *plane, fv, fh, src, pic); break;
    case DrawOp::DrawBlend: t.DrawBlend(x, y, a, fv, fh, keyed, src, pic); break;
    case DrawOp::DrawMaskedBlend: t.DrawMaskedBlend(x, y, a, *plane, fv, fh, src, pic); break;
    case DrawOp::DrawAdd: t.DrawAdd(x, y, a, fv, fh, keyed, src, pic); break;
    case DrawOp::DrawMaskedAdd: t.DrawMaskedAdd(x, y, a, *plane, fv, fh, src, pic); break;
    case DrawOp::StretchDraw: t.StretchDraw(dst, pic, a, fv, fh, keyed, src); break;
    case DrawOp::StretchDrawMasked: t.StretchDrawMasked(dst, pic, a, *plane, fv, fh, src); break;
    case DrawOp::StretchDrawAdd: t.StretchDrawAdd(dst, pic, a, fv, fh, keyed, src); break;
    case DrawOp::StretchDrawMaskedAdd: t.StretchDrawMaskedAdd(dst, pic, a, *plane, fv, fh, src); break;
  }
}

}  // namespace

void TNovaCustomImage::DrawImage(graphics::TCustomDIBX& target) {
  if (m_alpha < 1 || Width() < 1 || Height() < 1) return;
  const graphics::TCustomDIBX* pic = CurrentPicture();
  if (!pic || pic->IsEmpty()) return;
  const graphics::TCustomDIBX* plane = CurrentAlpha();
  const int angle = m_angle & 0xFF;
  const int x = ScreenLeft() + m_frame_offset.x, y = ScreenTop() + m_frame_offset.y;
  const Rect src{0, 0, pic->GetWidth(), pic->GetHeight()};
  const bool zoomed = Width() != pic->GetWidth() || Height() != pic->GetHeight();
  const DrawRow& row = draw_row(angle != 0, plane != nullptr, alpha_range(m_alpha), zoomed);
  if (angle != 0) {
    const Point o = GetDrawOrigin();
    run_row(row, target, *pic, plane, o.x, o.y, {}, src, m_alpha, m_flip_v, m_flip_h, angle, {CenterX(), CenterY()},
            m_zoom_x, m_zoom_y);
    return;
  }
  if (!zoomed && !pic->ContentRects().empty() && !target.GetTarget()) {
    DrawContentRects(target, *pic, plane, x, y, m_alpha);
    return;
  }
  const Rect dst{x, y, x + Width(), y + Height()};
  run_row(row, target, *pic, plane, x, y, dst, src, m_alpha, m_flip_v, m_flip_h, 0, {}, 256, 256);
}

void TNovaCustomImage::DrawContentRects(graphics::TCustomDIBX& target, const graphics::TCustomDIBX& pic,
                                        const graphics::TCustomDIBX* plane, int x, int y, std::int32_t alpha) const {
  const DrawRow& row = draw_row(false, plane != nullptr, alpha_range(alpha), false);
  const Rect src{0, 0, pic.GetWidth(), pic.GetHeight()};
  // Only the parts that hold something, each where the whole draw puts it.
  for (const Rect& r : pic.ContentRects()) {
    const Rect part = r.intersected(src);
    if (part.empty()) continue;
    const int px = m_flip_h ? src.right - part.right : part.left;
    const int py = m_flip_v ? src.bottom - part.bottom : part.top;
    run_row(row, target, pic, plane, x + px, y + py, {}, part, alpha, m_flip_v, m_flip_h, 0, {}, 256, 256);
  }
}

void TNovaCustomImage::Paint(graphics::TCustomDIBX& surface) {
  if (Width() > 0 && Height() > 0 && !PictureLost() && CurrentPicture()) {
    BeforeDrawImage(surface);
    DrawImage(surface);
    AfterDrawImage(surface);
  }
  PaintChildren(surface);
}

void TNovaCustomImage::Invalidate() {
  ForgetHitOrigin();
  if ((m_angle & 0xFF) == 0) {
    TNovaControl::Invalidate();
    return;
  }
  if (!VisibleField() || !owner() || !GetBase()) return;
  Rect r = DrawnRect();
  if (Parent()) r = r.intersected(Parent()->GetScreenRect());
  if (const auto clip = ClipRect()) r = r.intersected(*clip);
  if (!r.empty()) InvalidateRect(r);
}

TNovaObject* TNovaCustomImage::HitTestImage(Point p, std::uint32_t modes) {
  if (!read_flag(*this, PR_VISIBLE) || !DrawnRect().contains(p)) return nullptr;
  const auto children = Children();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (TNovaObject* hit = (*it)->HitTest(p, modes)) return hit;
  }
  if (!(modes & (1u << IgnoreMouse()))) return nullptr;
  Point q = p;
  const int angle = m_angle & 0xFF;
  if (angle != 0) {
    // Back through the rotation about the draw origin, to the nearest pixel
    // (halves to even).
    const double theta = angle * 2 * std::numbers::pi / 256;
    const Point o = GetDrawOrigin();
    const double dx = p.x - o.x, dy = p.y - o.y;
    const double ux = dx * std::cos(theta) + dy * std::sin(theta);
    const double uy = -dx * std::sin(theta) + dy * std::cos(theta);
    q = {o.x + static_cast<int>(std::nearbyint(ux)), o.y + static_cast<int>(std::nearbyint(uy))};
    if (!GetScreenRect().contains(q)) return nullptr;
  }
  return MaskHit(q) ? this : nullptr;
}

// --- Update and afterimages ----------------------------------------------------------------

std::int32_t TNovaCustomImage::ElapsedMs() const { return owner() ? owner()->FrameMs() : 0; }

bool TNovaCustomImage::Update() {
  if (TNovaControl::Update()) return true;
  update_afterimages();
  if (m_size_dirty) RecomputeSize();
  return false;
}

TNovaCustomImage* TNovaCustomImage::MakeAfterimage() { return nullptr; }

void TNovaCustomImage::CopyInto(TNovaCustomImage& copy) const {
  copy.SetLeft(Left());
  copy.SetTop(Top());
  copy.SetCenterX(CenterX());
  copy.SetCenterY(CenterY());
  copy.m_angle = m_angle;
  copy.m_zoom_x = m_zoom_x;
  copy.m_zoom_y = m_zoom_y;
  copy.m_flip_h = m_flip_h;
  copy.m_flip_v = m_flip_v;
  copy.m_frame_offset = m_frame_offset;
  copy.SetClipLeft(ClipLeft());
  copy.SetClipTop(ClipTop());
  copy.SetClipWidth(ClipWidth());
  copy.SetClipHeight(ClipHeight());
  copy.SetWidth(Width());
  copy.SetHeight(Height());
}

void TNovaCustomImage::update_afterimages() {
  if (m_blur_span <= 0 || m_blur_life <= 0) {
    m_blur_timer = 0;
    m_snapshot_taken = false;
    return;
  }
  const std::array<std::int32_t, 8> now = {SnapshotIndex(), Left(),   Top(),          m_angle,
                                           m_zoom_x,        m_zoom_y, ScrollXValue(), ScrollYValue()};
  if (!m_snapshot_taken) {
    // Where the image stood when afterimages were switched on: a still
    // image leaves none.
    m_snapshot = now;
    m_snapshot_taken = true;
  }
  m_blur_timer += ElapsedMs();
  if (m_blur_timer < m_blur_span) return;
  m_blur_timer = 0;
  if (now == m_snapshot || PictureLost() || !CurrentPicture()) return;
  m_snapshot = now;
  std::erase_if(m_afterimages, [this](ComponentId id) { return owner()->resolve(id) == nullptr; });
  if (m_afterimages.size() >= static_cast<std::size_t>(kMaxAfterimages)) return;
  TNovaCustomImage* copy = MakeAfterimage();
  if (!copy) return;
  for (std::int64_t n = 0;; ++n) {
    const std::string name = Name() + std::to_string(n);
    if (!owner()->FindComponent(name)) {
      copy->SetName(name);
      break;
    }
  }
  copy->SetParent(Parent());
  copy->SetPriority(Priority() - 1);
  m_afterimages.push_back(copy->id());
}

// --- Records ------------------------------------------------------------------------------

void TNovaCustomImage::SaveToStream(core::ByteWriter& w) const {
  TNovaControl::SaveToStream(w);
  w.i32(m_alpha);
  w.i32(m_zoom_x);
  w.i32(m_angle);
  w.boolean(m_flip_h);
  w.boolean(m_flip_v);
  w.boolean(m_capture_mask);
  w.i32(m_zoom_y);
  w.i32(m_blur_span);
  w.i32(m_blur_life);
}

void TNovaCustomImage::LoadFromStream(core::ByteReader& r, std::int32_t version) {
  TNovaControl::LoadFromStream(r, version);
  m_alpha = r.i32();
  m_zoom_x = std::max(r.i32(), 1);
  m_angle = r.i32();
  m_flip_h = r.boolean();
  m_flip_v = r.boolean();
  m_capture_mask = r.boolean();
  if (version >= kImageZoomYVersion) m_zoom_y = std::max(r.i32(), 1);
  if (version >= kAfterimageVersion) {
    m_blur_span = r.i32();
    m_blur_life = r.i32();
  }
}

// --- The animated images ----------------------------------------------------------------------

const PropertyTable& TNovaCustomImages::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TNovaCustomImages;
    PropertyTable t = TNovaCustomImage::ClassProperties();
    t.integer<&C::Index, &C::SetIndex>(PR_INDEX);
    t.integer<&C::Count>(PR_COUNT);
    t.integer<&C::Brightness, &C::SetBrightness>(PR_BRIGHTNESS);
    t.flag<&C::Paused, &C::SetPaused>(PR_PAUSED);
    t.flag<&C::AnimationPlaying>(PR_PLAYING);
    t.flag<&C::VisibleField, &C::SetVisibleResetting>(PR_VISIBLE);
    return t;
  }();
  return table;
}

void TNovaCustomImages::SetVisibleResetting(bool v) {
  SetVisible(v);
  m_remaining = 0;
}

void TNovaCustomImages::SetIndex(std::int32_t index) {
  if (GetMotion()) return;  // a motion's time is set instead (motions are not built yet)
  Invalidate();
  m_index = index;
  if (const graphics::TBrioItemFrame* f = List().Frame(index)) {
    set_frame_offset({f->offset_x, f->offset_y});
    m_remaining += f->delay;
  }
  RecomputeSize();
  Invalidate();
}

void TNovaCustomImages::SetBrightness(std::int32_t v) {
  if (v == m_brightness) return;
  m_brightness = v;
  Invalidate();
}

void TNovaCustomImages::SetPaused(bool v) {
  m_paused = v;
  m_remaining = 0;
}

bool TNovaCustomImages::AnimationPlaying() const {
  if (Playing()) return true;
  if (m_paused || AniPaused() || !List().Valid(m_index)) return false;
  return Repeats() || m_index < Count() - 1 || m_remaining >= 1;
}

const graphics::TCustomDIBX* TNovaCustomImages::CurrentPicture() {
  if (const graphics::TCustomDIBX* p = List().Picture(m_index, m_brightness)) return p;
  return TNovaCustomImage::CurrentPicture();
}

const graphics::TCustomDIBX* TNovaCustomImages::CurrentAlpha() const { return List().Alpha(m_index); }

std::optional<Size> TNovaCustomImages::PictureSize() const {
  if (const graphics::TBrioItemFrame* f = List().Frame(m_index)) {
    if (f->picture) return Size{f->picture->GetWidth(), f->picture->GetHeight()};
    const graphics::TBrioItem* item = List().Item();
    return Size{item->Width(), item->Height()};
  }
  return TNovaCustomImage::PictureSize();
}

void TNovaCustomImages::ClearPictures() {
  Invalidate();
  m_index = -1;
  m_remaining = 0;
  SetMotion(nullptr);
}

std::int32_t TNovaCustomImages::extra_pause() {
  if (m_extra.empty() || !owner() || !owner()->script_values()) return 0;
  return owner()->script_values()->run_int(m_extra).value_or(0);
}

bool TNovaCustomImages::Animate() {
  if (!List().Valid(m_index) || !read_flag(*this, PR_VISIBLE) || m_paused || AniPaused()) return false;
  if (m_remaining > 0) m_remaining -= ElapsedMs();
  while (m_remaining < 1) {
    const int count = Count();
    const int last = count - 1;
    if (m_index < last) {
      if (count <= 2) m_remaining = 0;
      SetIndex(m_index + 1);
      if (m_index == last && count > 1) {
        // The expression may re-source, re-index or delete the component:
        // whatever it changed wins, and the stepping stops.
        const graphics::TBrioItem* item = List().Item();
        const std::int32_t index = m_index;
        const std::int32_t extra = extra_pause();
        if (PendingDeletion() || List().Item() != item || m_index != index) return false;
        m_remaining += extra;
      }
      continue;
    }
    if (Repeats()) {
      m_remaining = 0;
      if (count == 1) {
        // Wrapping onto the frame already shown changes no picture, so the
        // size stays what the script gave (a tile filling its area).
        if (const graphics::TBrioItemFrame* f = List().Frame(0)) m_remaining += f->delay;
      } else {
        SetIndex(0);
      }
    } else if (AtEnd()) {
      return true;
    }
    break;
  }
  return false;
}

bool TNovaCustomImages::AtEnd() {
  RaiseEvent(PR_ONPLAYEND, {}, PendingRule::WaitingOnly);
  return false;
}

void TNovaCustomImages::SaveToStream(core::ByteWriter& w) const {
  TNovaCustomImage::SaveToStream(w);
  w.i32(m_remaining);
  w.i32(m_index);
  w.i32(m_brightness);
  w.boolean(m_paused);
  m_extra.save(w);
}

void TNovaCustomImages::LoadFromStream(core::ByteReader& r, std::int32_t version) {
  TNovaCustomImage::LoadFromStream(r, version);
  m_remaining = r.i32();
  m_index = r.i32();
  m_brightness = r.i32();
  m_paused = r.boolean();
  m_extra.load(r);
}

}  // namespace nova::components
