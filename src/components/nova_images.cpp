#include "components/nova_images.h"

#include <cmath>

#include "components/base_list.h"
#include "components/component_factory.h"
#include "components/map_image.h"
#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"

namespace nova::components {

namespace {

bool ends_with_ci(std::string_view name, std::string_view ext) {
  return name.size() >= ext.size() && core::upper(name.substr(name.size() - ext.size())) == core::upper(ext);
}

graphics::TBrioCollection& cache_of(const TNovaObject& o) {
  graphics::TBrioCollection* cache = o.owner() ? o.owner()->pictures() : nullptr;
  if (!cache) throw core::Error("the picture cache is missing: images cannot load " + o.Name());
  return *cache;
}

void motions_not_built(std::string_view name) {
  core::logf(core::Channel::Components, core::Level::Error, "%s: motions are not built yet", {name});
}

// Loads a source into `list`: answers whether it was a picture.
SourceKind load_source(TNovaObject& o, TNovaImageList& list, std::string_view name) {
  const SourceKind kind = source_kind(name);
  if (kind == SourceKind::Picture) {
    list.Load(cache_of(o), cache_owner(o), name, false, false);
  } else {
    list.Clear();
    if (kind == SourceKind::Motion) motions_not_built(name);
  }
  return kind;
}

}  // namespace

SourceKind source_kind(std::string_view name) {
  if (ends_with_ci(name, ".bri")) return SourceKind::Picture;
  if (ends_with_ci(name, ".nmt")) return SourceKind::Motion;
  return SourceKind::None;
}

// --- TNovaImages ------------------------------------------------------------------------------

TNovaImages::TNovaImages() { m_lists.push_back(std::make_unique<TNovaImageList>()); }

const PropertyTable& TNovaImages::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TNovaImages;
    PropertyTable t = TNovaCustomImages::ClassProperties();
    t.text<&C::Source, &C::SetSource>(PR_SOURCE);
    t.flag<&C::Repeat, &C::SetRepeat>(PR_REPEAT);
    t.flag<&C::AutoScrap, &C::SetAutoScrap>(PR_AUTOSCRAP);
    t.text<&C::OnPlayEnd, &C::SetOnPlayEnd>(PR_ONPLAYEND);
    t.text<&C::OnIdle, &C::SetOnIdle>(PR_ONIDLE);
    return t;
  }();
  return table;
}

void TNovaImages::SetSource(std::string_view name) {
  ClearPictures();
  m_source = name;
  if (load_source(*this, List(), name) == SourceKind::Picture && List().Count() > 0) SetIndex(0);
  RecomputeSize();
  Invalidate();
}

void TNovaImages::SetRepeat(bool v) {
  m_repeat = v;
  if (v && !GetMotion() && !List().Valid(Index()) && List().Count() > 0) SetIndex(0);
}

bool TNovaImages::AtEnd() {
  if (m_auto_scrap) return true;
  return TNovaCustomImages::AtEnd();
}

bool TNovaImages::Update() {
  if (TNovaCustomImage::Update()) return true;
  if (GetMotion()) return false;
  return Animate();
}

TNovaCustomImage* TNovaImages::MakeAfterimage() {
  auto& copy = owner()->make<TNovaBlurImage>();
  copy.Start(*this, List());
  return &copy;
}

void TNovaImages::SaveToStream(core::ByteWriter& w) const {
  TNovaCustomImages::SaveToStream(w);
  w.boolean(m_repeat);
  w.boolean(m_auto_scrap);
  w.str(m_source);
  w.str(m_on_play_end);
  w.str(m_on_idle);
}

void TNovaImages::LoadFromStream(core::ByteReader& r, std::int32_t version) {
  TNovaCustomImages::LoadFromStream(r, version);
  const std::int32_t index = Index(), remaining = Remaining();
  m_repeat = r.boolean();
  m_auto_scrap = r.boolean();
  const std::string source = r.str();
  m_on_play_end = r.str();
  if (version >= kImageZoomYVersion) m_on_idle = r.str();
  SetSource(source);
  // The saved frame with its saved time left, nothing added on top.
  if (List().Valid(index)) SetIndex(index);
  SetRemaining(remaining);
}

// --- TNovaTile ---------------------------------------------------------------------------------

const PropertyTable& TNovaTile::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TNovaTile;
    PropertyTable t = TNovaCustomImages::ClassProperties();
    t.text<&C::Source, &C::SetSource>(PR_SOURCE);
    t.flag<&C::RepeatFlag>(PR_REPEAT);
    t.integer<&C::ScrollX, &C::SetScrollX>(PR_SCROLLX);
    t.integer<&C::ScrollY, &C::SetScrollY>(PR_SCROLLY);
    t.integer<&C::DistanceX, &C::SetDistanceX>(PR_DISTANCEX);
    t.integer<&C::DistanceY, &C::SetDistanceY>(PR_DISTANCEY);
    t.text<&C::OnIdle, &C::SetOnIdle>(PR_ONIDLE);
    return t;
  }();
  return table;
}

void TNovaTile::SetSource(std::string_view name) {
  ClearPictures();
  m_source = name;
  const SourceKind kind = load_source(*this, m_list, name);
  if (kind == SourceKind::Picture) {
    if (m_list.Count() > 0) SetIndex(0);
    RecomputeSize();
  }
  Invalidate();
}

void TNovaTile::SetScrollX(std::int32_t v) {
  if (v == m_scroll_x) return;
  m_scroll_x = v;
  Invalidate();
  PositionChanged();
}

void TNovaTile::SetScrollY(std::int32_t v) {
  if (v == m_scroll_y) return;
  m_scroll_y = v;
  Invalidate();
  PositionChanged();
}

void TNovaTile::SetDistanceX(std::int32_t v) {
  m_distance_x = v;
  Invalidate();
}

void TNovaTile::SetDistanceY(std::int32_t v) {
  m_distance_y = v;
  Invalidate();
}

std::int32_t TNovaTile::axis_screen(bool horizontal) const {
  std::int64_t v = GetMotion() ? (horizontal ? MotionX() : MotionY()) : (horizontal ? Left() : Top());
  v += horizontal ? PlusX() : PlusY();
  if (const TNovaControl* p = Parent()) {
    v += horizontal ? p->ScreenLeft() : p->ScreenTop();
    v -= read_int(*p, horizontal ? PR_SCROLLX : PR_SCROLLY);
  }
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

std::int32_t TNovaTile::ScreenLeft() const { return axis_screen(true); }
std::int32_t TNovaTile::ScreenTop() const { return axis_screen(false); }

std::optional<std::uint8_t> TNovaTile::PlaneAt(const graphics::TCustomDIBX& plane, std::int64_t x,
                                               std::int64_t y) const {
  const std::int64_t w = plane.GetWidth(), h = plane.GetHeight();
  if (w < 1 || h < 1) return std::nullopt;
  const std::int64_t px = ((x + m_scroll_x) % w + w) % w, py = ((y + m_scroll_y) % h + h) % h;
  return static_cast<std::uint8_t>(plane.GetPixel(static_cast<int>(px), static_cast<int>(py)));
}

void TNovaTile::DrawImage(graphics::TCustomDIBX& target) {
  const std::int32_t alpha = Alpha();
  if (alpha < 1 || Width() < 1 || Height() < 1) return;
  const graphics::TCustomDIBX* pic = CurrentPicture();
  if (!pic || pic->IsEmpty()) return;
  const graphics::TCustomDIBX* plane = CurrentAlpha();
  const int w = pic->GetWidth(), h = pic->GetHeight();
  const Rect area{ScreenLeft(), ScreenTop(), ScreenLeft() + Width(), ScreenTop() + Height()};
  const bool keyed = pic->TransparentValue() != -1;
  const bool touch_x = m_distance_x < 1 || m_distance_x < w / 2;
  const bool touch_y = m_distance_y < 1 || m_distance_y < h / 2;
  if (touch_x && touch_y) {
    if (ZoomX() == 256 && ZoomY() == 256 && !keyed && !plane && alpha == 255) {
      target.TileFill(area, *pic, FlipV(), FlipH(), m_scroll_y, m_scroll_x);
    } else if (plane) {
      target.TileZoomMasked(area, ZoomX(), alpha, *plane, FlipV(), FlipH(), m_scroll_y, m_scroll_x, *pic, ZoomY());
    } else {
      target.TileZoom(area, ZoomX(), alpha, FlipV(), FlipH(), keyed, m_scroll_y, m_scroll_x, *pic, ZoomY());
    }
    return;
  }
  const int pitch_x = touch_x ? w : m_distance_x, pitch_y = touch_y ? h : m_distance_y;
  const Rect src{0, 0, w, h};
  if (ZoomX() == 256 && ZoomY() == 256 && !pic->ContentRects().empty() && !target.GetTarget()) {
    // Each cell as one unzoomed picture, part by part: the parts stay
    // inside the tile's area, as the lattice's own draws do.
    const Rect saved = target.ClipRect();
    const Rect visible = area.intersected(target.EffectiveClip());
    if (visible.empty()) return;
    target.SetClipRect(visible);
    graphics::ForEachTileCell(area, visible, src, 256, 256, pitch_x, pitch_y, m_scroll_x, m_scroll_y,
                              [&](const Rect& cell) { DrawContentRects(target, *pic, plane, cell.left, cell.top, alpha); });
    target.SetClipRect(saved);
    return;
  }
  if (plane) {
    target.TileStretchMasked(area, pitch_x, m_scroll_y, m_scroll_x, alpha, *plane, FlipV(), FlipH(), src, *pic, ZoomY(),
                             ZoomX(), pitch_y);
  } else {
    target.TileStretch(area, pitch_x, m_scroll_y, m_scroll_x, alpha, FlipV(), FlipH(), keyed, src, *pic, ZoomY(),
                       ZoomX(), pitch_y);
  }
}

bool TNovaTile::Update() {
  if (TNovaCustomImage::Update()) return true;
  if (GetMotion()) return false;
  return Animate();
}

TNovaCustomImage* TNovaTile::MakeAfterimage() {
  auto& copy = owner()->make<TNovaBlurTile>();
  copy.Start(*this);
  return &copy;
}

void TNovaTile::SaveToStream(core::ByteWriter& w) const {
  TNovaCustomImages::SaveToStream(w);
  w.i32(m_scroll_x);
  w.i32(m_scroll_y);
  w.str(m_source);
  w.str(m_on_idle);
  w.i32(m_distance_x);
  w.i32(m_distance_y);
}

void TNovaTile::LoadFromStream(core::ByteReader& r, std::int32_t version) {
  TNovaCustomImages::LoadFromStream(r, version);
  const std::int32_t index = Index(), remaining = Remaining();
  const Size size{Width(), Height()};
  m_scroll_x = r.i32();
  m_scroll_y = r.i32();
  const std::string source = r.str();
  m_on_idle = r.str();
  m_distance_x = r.i32();
  m_distance_y = r.i32();
  SetSource(source);
  if (m_list.Valid(index)) SetIndex(index);
  // A tile covers the area it was given, not its picture.
  SetWidth(size.width);
  SetHeight(size.height);
  SetRemaining(remaining);
}

// --- TNovaImage -------------------------------------------------------------------------------

const PropertyTable& TNovaImage::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TNovaImage;
    PropertyTable t = TNovaCustomImage::ClassProperties();
    t.text<&C::Source, &C::SetSource>(PR_SOURCE);
    t.integer<&C::Brightness, &C::SetBrightness>(PR_BRIGHTNESS);
    return t;
  }();
  return table;
}

void TNovaImage::SetSource(std::string_view name) {
  Invalidate();
  m_source = name;
  m_frame = -1;
  if (load_source(*this, m_list, name) == SourceKind::Picture && m_list.Count() > 0) m_frame = 0;
  RecomputeSize();
  Invalidate();
}

void TNovaImage::SetBrightness(std::int32_t v) {
  m_brightness = v;
  Invalidate();
}

void TNovaImage::SetFrame(std::int32_t index) {
  Invalidate();
  m_frame = index;
  if (const graphics::TBrioItemFrame* f = m_list.Frame(index)) set_frame_offset({f->offset_x, f->offset_y});
  RecomputeSize();
  Invalidate();
}

const graphics::TCustomDIBX* TNovaImage::CurrentPicture() {
  if (const graphics::TCustomDIBX* p = m_list.Picture(m_frame, m_brightness)) return p;
  return TNovaCustomImage::CurrentPicture();
}

std::optional<Size> TNovaImage::PictureSize() const {
  if (const graphics::TBrioItemFrame* f = m_list.Frame(m_frame); f && f->picture)
    return Size{f->picture->GetWidth(), f->picture->GetHeight()};
  return TNovaCustomImage::PictureSize();
}

// --- Afterimages ----------------------------------------------------------------------------------

std::optional<std::int32_t> AfterimageLife::step(std::int32_t elapsed_ms) {
  elapsed += elapsed_ms;
  if (elapsed >= life) return std::nullopt;
  const double faded = static_cast<double>(elapsed) / life * (start_alpha % 256);
  return start_alpha - static_cast<std::int32_t>(std::nearbyint(faded));
}

void TNovaBlurImage::Start(TNovaCustomImages& source, TNovaImageList& list) {
  m_list.ShareFrom(list, cache_owner(*this));
  m_frame = source.Index();
  m_brightness = source.Brightness();
  source.CopyInto(*this);
  m_life = {source.id(),    afterimage_start_alpha(source.Alpha()), std::max(source.BlurDelay(), 1), 0, source.Width(),
            source.Height()};
  SetAlpha(m_life.start_alpha);
}

std::optional<Size> TNovaBlurImage::PictureSize() const {
  if (const graphics::TBrioItemFrame* f = m_list.Frame(m_frame); f && f->picture)
    return Size{f->picture->GetWidth(), f->picture->GetHeight()};
  return std::nullopt;
}

bool TNovaBlurImage::Update() {
  const auto alpha = m_life.step(ElapsedMs());
  if (!alpha) return true;
  SetAlpha(*alpha);
  if (Parent()) Parent()->SortChildren();
  return false;
}

void TNovaBlurTile::Start(TNovaTile& source) {
  m_list.ShareFrom(source.m_list, cache_owner(*this));
  set_index_field(source.Index());
  SetBrightness(source.Brightness());
  source.CopyInto(*this);
  m_source = source.m_source;
  m_scroll_x = source.m_scroll_x;
  m_scroll_y = source.m_scroll_y;
  m_distance_x = source.m_distance_x;
  m_distance_y = source.m_distance_y;
  m_life = {source.id(),    afterimage_start_alpha(source.Alpha()), std::max(source.BlurDelay(), 1), 0, source.Width(),
            source.Height()};
  SetAlpha(m_life.start_alpha);
}

bool TNovaBlurTile::Update() {
  const auto alpha = m_life.step(ElapsedMs());
  if (!alpha) return true;
  SetAlpha(*alpha);
  return false;
}

// --- Factory ----------------------------------------------------------------------------------------

void register_image_classes(TComponentFactory& factory) {
  factory.add(LT_IMAGES, [] { return std::make_unique<TNovaImages>(); });
  factory.add(LT_TILE, [] { return std::make_unique<TNovaTile>(); });
  factory.add(LT_MAPIMG, [] { return std::make_unique<TNovaMapImage>(); });
}

}  // namespace nova::components
