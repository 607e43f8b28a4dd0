#include "components/clip_list.h"

#include <cstdint>

namespace nova::components {

bool TClipList::Near(const Rect& a, const Rect& b) {
  // 64 bits: edges near the int range's ends must not wrap.
  const auto apart = [](std::int64_t far_edge, std::int64_t near_edge) { return far_edge + kNearDistance < near_edge; };
  return !(apart(a.right, b.left) || apart(b.right, a.left) || apart(a.bottom, b.top) || apart(b.bottom, a.top));
}

void TClipList::Add(const Rect& rect, const Rect& bounds) {
  Rect r = rect.intersected(bounds);
  // Each merge takes one rectangle out, so the loop ends after at most
  // size() rounds.
  while (!r.empty()) {
    std::size_t i = 0;
    while (i < m_rects.size() && !Near(m_rects[i], r)) ++i;
    if (i == m_rects.size()) {
      m_rects.push_back(r);
      m_changed = true;
      return;
    }
    const Rect near = m_rects[i];
    if (near.intersected(r) == r) return;
    m_rects.erase(m_rects.begin() + static_cast<std::ptrdiff_t>(i));
    r = near.united(r);
  }
}

void TClipList::AddAll(const Rect& bounds) {
  m_rects.clear();
  if (!bounds.empty()) m_rects.push_back(bounds);
  m_changed = true;
}

void TClipList::Clear() { m_rects.clear(); }

TClipList::Rect TClipList::Bounds() const {
  Rect u;
  for (const Rect& r : m_rects) u = u.united(r);
  return u;
}

}  // namespace nova::components
