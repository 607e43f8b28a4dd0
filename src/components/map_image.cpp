#include "components/map_image.h"

#include "components/base_list.h"
#include "components/custom_image.h"
#include "components/draw_table.h"
#include "components/nova_base.h"
#include "components/script_values.h"
#include "core/error.h"
#include "core/log.h"
#include "graphics/picture_files.h"

namespace nova::components {

TNovaMapImage::~TNovaMapImage() {
  if (owner()) owner()->RemoveRightClickControl(*this);
}

void TNovaMapImage::Created() {
  TNovaControl::Created();
  owner()->AddRightClickControl(*this);
}

const PropertyTable& TNovaMapImage::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TNovaMapImage;
    PropertyTable t = TNovaControl::ClassProperties();
    t.text<&C::Source, &C::SetSource>(PR_SOURCE);
    t.text<&C::HoverSource, &C::SetHoverSource>(PR_HOVERSOURCE);
    t.text<&C::MapSource, &C::SetMapSource>(PR_MAPSOURCE);
    t.integer<&C::Alpha, &C::SetAlpha>(PR_ALPHA);
    t.integer<&C::Brightness, &C::SetBrightness>(PR_BRIGHTNESS);
    t.flag<&C::AutoScrap, &C::SetAutoScrap>(PR_AUTOSCRAP);
    t.flag<&C::RClickScrap, &C::SetRClickScrap>(PR_RCLICKSCRAP);
    t.flag<&C::Paused, &C::SetPaused>(PR_PAUSED);
    t.flag<&C::RepeatFlag>(PR_REPEAT);
    t.texts_by_id<&C::Target, &C::SetTarget>({PR_ONMAPIN, PR_ONMAPOUT, PR_ONSELECT, PR_ONIDLE});
    return t;
  }();
  return table;
}

const std::string& TNovaMapImage::Target(int id) const {
  switch (id) {
    case PR_ONMAPIN: return m_on_map_in;
    case PR_ONMAPOUT: return m_on_map_out;
    case PR_ONSELECT: return m_on_select;
    default: return m_on_idle;
  }
}

void TNovaMapImage::SetTarget(int id, std::string_view v) {
  switch (id) {
    case PR_ONMAPIN: m_on_map_in = v; break;
    case PR_ONMAPOUT: m_on_map_out = v; break;
    case PR_ONSELECT: m_on_select = v; break;
    default: m_on_idle = v; break;
  }
}

// --- Sources ---------------------------------------------------------------------------------

void TNovaMapImage::load_list(TNovaImageList& list, std::vector<Derived>& derived, std::string_view name) {
  derived.clear();
  graphics::TBrioCollection* cache = owner() ? owner()->pictures() : nullptr;
  if (name.empty()) {
    list.Clear();
    return;
  }
  if (!cache) throw core::Error("the picture cache is missing: map images cannot load " + Name());
  list.Load(*cache, cache_owner(*this), name, false, true);
  list.Restart();
}

void TNovaMapImage::SetSource(std::string_view name) {
  Invalidate();
  m_source = name;
  load_list(m_normal, m_normal_planes, name);
  // The component is as large as its picture.
  if (const graphics::TBrioItem* item = m_normal.Item()) {
    SetWidth(item->Width());
    SetHeight(item->Height());
  }
  Invalidate();
}

void TNovaMapImage::SetHoverSource(std::string_view name) {
  m_hover_source = name;
  load_list(m_hover, m_hover_planes, name);
  invalidate_area(m_hovered);
}

void TNovaMapImage::SetMapSource(std::string_view name) {
  invalidate_area(m_hovered);
  m_map_source = name;
  m_areas.clear();
  m_hovered = -1;
  m_normal_planes.clear();
  m_hover_planes.clear();
  graphics::TBrioCollection* cache = owner() ? owner()->pictures() : nullptr;
  if (name.empty() || !cache || !cache->Files().exists(m_map_source)) return;
  try {
    const std::vector<std::uint8_t> bytes = cache->Files().read_all(m_map_source);
    m_areas = read_map_file(bytes, m_map_source);
  } catch (const core::Error& e) {
    core::logf(core::Channel::Components, core::Level::Error, "%s: the map cannot be read: %s",
               {m_map_source, e.message()});
    m_areas.clear();
  }
}

void TNovaMapImage::SetAlpha(std::int32_t v) {
  m_alpha = v;
  Invalidate();
}

void TNovaMapImage::SetBrightness(std::int32_t v) {
  m_brightness = v;
  Invalidate();
}

// --- Drawing -----------------------------------------------------------------------------------

const graphics::TDIBX* TNovaMapImage::derived_plane(TNovaImageList& list, std::vector<Derived>& derived, bool inside) {
  const graphics::TDIBX* own = list.Alpha(list.frame_index);
  if (!own) return nullptr;
  derived.resize(static_cast<std::size_t>(list.Count()));
  Derived& d = derived[static_cast<std::size_t>(list.frame_index)];
  const std::uint64_t generation = list.Item()->Generation();
  if (d.plane && d.area == m_hovered && d.generation == generation) return d.plane.get();
  const int w = own->GetWidth(), h = own->GetHeight();
  d.plane = std::make_unique<graphics::TDIBX>();
  d.plane->SetSize(w, h, 8);
  graphics::TDIBX area;
  area.SetSize(w, h, 8);
  if (m_hovered >= 0) m_areas[static_cast<std::size_t>(m_hovered)].region.rasterise(area, 255);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t a = area.GetPixel(x, y);
      const std::uint32_t m = inside ? a : (m_hovered >= 0 ? 255 - a : 255);
      d.plane->SetPixel(x, y, own->GetPixel(x, y) & m);
    }
  }
  d.area = m_hovered;
  d.generation = generation;
  return d.plane.get();
}

void TNovaMapImage::draw_list(graphics::TCustomDIBX& surface, TNovaImageList& list, std::vector<Derived>& derived,
                              bool inside) {
  const graphics::TDIBX* pic = list.Picture(list.frame_index, m_brightness);
  if (!pic) return;
  const graphics::TDIBX* plane = derived_plane(list, derived, inside);
  if (!plane) return;
  const int x = ScreenLeft(), y = ScreenTop();
  const graphics::Rect src{0, 0, pic->GetWidth(), pic->GetHeight()};
  switch (draw_row(false, true, alpha_range(m_alpha), false).op) {
    case DrawOp::DrawMaskedBlend: surface.DrawMaskedBlend(x, y, m_alpha, *plane, false, false, src, *pic); break;
    case DrawOp::DrawMaskedAdd: surface.DrawMaskedAdd(x, y, m_alpha - 256, *plane, false, false, src, *pic); break;
    default: surface.DrawMasked(x, y, *plane, false, false, src, *pic); break;
  }
}

void TNovaMapImage::Paint(graphics::TCustomDIBX& surface) {
  if (m_alpha >= 1 && Width() > 0 && Height() > 0) {
    draw_list(surface, m_normal, m_normal_planes, false);
    if (m_hovered >= 0) draw_list(surface, m_hover, m_hover_planes, true);
  }
  PaintChildren(surface);
}

void TNovaMapImage::invalidate_area(std::int32_t area) {
  if (area < 0 || area >= static_cast<std::int32_t>(m_areas.size())) return;
  const graphics::Rect b = m_areas[static_cast<std::size_t>(area)].region.bounds();
  InvalidateRect(b.translated(ScreenLeft(), ScreenTop()));
}

// --- Input ----------------------------------------------------------------------------------------

void TNovaMapImage::set_hovered(std::int32_t area) {
  if (area == m_hovered) return;
  if (m_hovered >= 0) {
    RaiseEvent(PR_ONMAPOUT, {m_areas[static_cast<std::size_t>(m_hovered)].name, std::to_string(m_hovered)},
               PendingRule::WaitingOnly);
  }
  invalidate_area(m_hovered);
  m_hover.Restart();
  m_hovered = area;
  invalidate_area(m_hovered);
  if (m_hovered >= 0) {
    RaiseEvent(PR_ONMAPIN, {m_areas[static_cast<std::size_t>(m_hovered)].name, std::to_string(m_hovered)},
               PendingRule::WaitingOnly);
  }
}

void TNovaMapImage::MouseMove() {
  if (!IsEventBlocked()) {
    const Point p = PointerInControl();
    std::int32_t found = -1;
    for (std::size_t i = 0; i < m_areas.size(); ++i) {
      if (m_areas[i].region.contains(p.x, p.y)) {
        found = static_cast<std::int32_t>(i);
        break;
      }
    }
    set_hovered(found);
  }
  TNovaControl::MouseMove();
}

void TNovaMapImage::MouseOut(ComponentId new_hover) {
  // The pointer left the picture: no area stays hovered.
  if (!IsEventBlocked()) set_hovered(-1);
  TNovaControl::MouseOut(new_hover);
}

void TNovaMapImage::LButtonDown() {
  if (!IsEventBlocked() && (IgnoreMouse() == IM_NONE || IgnoreMouse() == IM_RCLICK) && !m_paused && m_hovered >= 0) {
    const std::string& name = m_areas[static_cast<std::size_t>(m_hovered)].name;
    if (ScriptValues* values = owner()->script_values()) values->set_selection(name, m_hovered);
    RaiseEvent(PR_ONSELECT, {name, std::to_string(m_hovered)}, PendingRule::WaitingOrRunning);
    if (m_auto_scrap) StartClosing();
  }
  TNovaControl::LButtonDown();
}

bool TNovaMapImage::RightClickClose() {
  if (IsEventBlocked() || (IgnoreMouse() != IM_NONE && IgnoreMouse() != IM_LCLICK)) return false;
  if (ScriptValues* values = owner()->script_values()) values->set_selection("", -1);
  StartClosing();
  return true;
}

void TNovaMapImage::StartClosing() {
  if (m_close_state == 0) m_close_state = kMapClosing;
}

bool TNovaMapImage::Update() {
  if (TNovaControl::Update()) return true;
  if (m_close_state == kMapClosingLast) return true;
  if (m_close_state == kMapClosing) {
    m_close_state = kMapClosingLast;
    return false;
  }
  if (!AniPaused() && owner()) {
    const std::int32_t ms = owner()->FrameMs();
    if (m_normal.Advance(ms)) Invalidate();
    if (m_hover.Advance(ms)) invalidate_area(m_hovered);
  }
  return false;
}

// --- Records -------------------------------------------------------------------------------------

void TNovaMapImage::SaveToStream(core::ByteWriter& w) const {
  TNovaControl::SaveToStream(w);
  w.str(m_source);
  w.str(m_hover_source);
  w.str(m_map_source);
  w.i32(m_alpha);
  w.i32(m_brightness);
  w.str(m_on_map_in);
  w.str(m_on_map_out);
  w.boolean(m_auto_scrap);
  w.boolean(m_rclick_scrap);
  w.str(m_on_idle);
  w.boolean(m_paused);
  w.str(m_on_select);
  w.i32(m_close_state);
}

void TNovaMapImage::LoadFromStream(core::ByteReader& r, std::int32_t version) {
  TNovaControl::LoadFromStream(r, version);
  const std::string source = r.str(), hover = r.str(), map = r.str();
  m_alpha = r.i32();
  m_brightness = r.i32();
  m_on_map_in = r.str();
  m_on_map_out = r.str();
  m_auto_scrap = r.boolean();
  m_rclick_scrap = r.boolean();
  if (version >= kImageZoomYVersion) {
    m_on_idle = r.str();
    m_paused = r.boolean();
    m_on_select = r.str();
  }
  if (version >= kMapCloseVersion) {
    const std::int32_t state = r.i32();
    m_close_state = state == kMapClosing || state == kMapClosingLast ? state : 0;
  }
  SetSource(source);
  SetHoverSource(hover);
  SetMapSource(map);
}

}  // namespace nova::components
