// TClipList: the dirty rectangles of a screen base, kept few by merging
// the ones that lie close together. Owned by its base; the rectangles are
// copies.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/types.h"

namespace nova::components {

class TClipList {
 public:
  using Rect = platform::Rect;

  // Distance at or under which two rectangles count as near and merge.
  static constexpr int kNearDistance = 20;

  // Adds `rect` clipped to `bounds`. An empty rectangle adds nothing; one
  // inside the first near rectangle adds nothing either; otherwise the
  // first near rectangle is taken out and the union added the same way,
  // and a rectangle near none is appended.
  void Add(const Rect& rect, const Rect& bounds);
  // Replaces the list with the whole of `bounds`.
  void AddAll(const Rect& bounds);
  void Clear();

  const std::vector<Rect>& rects() const { return m_rects; }
  std::size_t size() const { return m_rects.size(); }
  bool empty() const { return m_rects.empty(); }
  // Set whenever a rectangle is appended; the presenter clears it.
  bool changed() const { return m_changed; }
  void clear_changed() { m_changed = false; }
  // The union of all rectangles (empty for none).
  Rect Bounds() const;

  // Whether two rectangles lie within kNearDistance of each other: they
  // are apart only when one's far edge plus the distance lies strictly
  // left of (or above) the other's near edge.
  static bool Near(const Rect& a, const Rect& b);

 private:
  std::vector<Rect> m_rects;
  bool m_changed = false;
};

}  // namespace nova::components
