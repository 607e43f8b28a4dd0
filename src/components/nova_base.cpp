#include "components/nova_base.h"

#include <utility>

#include "graphics/dibx.h"

namespace nova::components {

namespace {
// The work surface's colour key, a purple no picture uses.
constexpr std::int32_t kWorkKeyColour = 0x800080;
}  // namespace

void TNovaBase::AddDirtyRect(const Rect& rect) { m_dirty.Add(rect, Bounds()); }

void TNovaBase::Paint(graphics::TCustomDIBX& target) {
  if (!read_flag(*this, PR_VISIBLE)) return;
  for (const Rect& dirty : m_dirty.rects()) paint_area(target, dirty);
  target.ResetClip();
}

void TNovaBase::PaintWhole(graphics::TCustomDIBX& target) {
  if (!read_flag(*this, PR_VISIBLE)) return;
  paint_area(target, Bounds());
  target.ResetClip();
}

void TNovaBase::paint_area(graphics::TCustomDIBX& target, const Rect& area) {
  target.ResetClip();
  const Rect r = area.intersected({0, 0, target.GetWidth(), target.GetHeight()});
  if (r.empty()) return;
  target.SetClipRect(r);
  if (Color() >= 0) {
    Rect fill = GetScreenRect();
    if (const auto clip = ClipRect()) fill = fill.intersected(*clip);
    target.FillRect(fill, static_cast<std::uint32_t>(target.ColorToPixel(Color())));
  }
  PaintChildren(target);
}

void TNovaBase::MakeSurfaces(int bit_count) {
  if (Width() <= 0 || Height() <= 0) return;
  if (!m_surface) m_surface = std::make_unique<graphics::TDIBX>();
  if (!m_work) m_work = std::make_unique<graphics::TDIBX>();
  m_surface->SetSize(Width(), Height(), bit_count);
  m_work->SetSize(Width(), Height(), bit_count);
  m_work->SetTransparentValue(m_work->ColorToPixel(kWorkKeyColour));
}

void TNovaBase::ReleaseSurfaces() {
  m_surface.reset();
  m_work.reset();
}

void TNovaBase::InvalidateAll() { m_dirty.AddAll(Bounds()); }

void TNovaBase::SetPointer(std::int32_t x, std::int32_t y) {
  if (x == m_pointer_x && y == m_pointer_y) return;
  m_pointer_x = x;
  m_pointer_y = y;
  moved = true;
}

void TNovaBase::TakeEdges() {
  left_pressed_now = std::exchange(left_pressed, false);
  right_pressed_now = std::exchange(right_pressed, false);
  wheel_down_now = std::exchange(wheel_down, false);
  wheel_up_now = std::exchange(wheel_up, false);
}

void TNovaBase::ReleaseButtons() {
  left_pressed = left_pressed_now = right_pressed = right_pressed_now = false;
  left_held = right_held = false;
  wheel_down = wheel_down_now = wheel_up = wheel_up_now = false;
  capture = 0;
}

}  // namespace nova::components
