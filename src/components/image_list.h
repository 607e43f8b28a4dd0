// TNovaImageList and TNovaImageData: what an image component shows of one
// cache item. The list holds the item as one of its users and, per frame,
// the brightness applied and the adjusted copy that brightness needs.
//
// Ownership: the list is a user of its item from Load to Clear (or its
// destruction) and never keeps a surface of it: every answer is looked up
// in the item when asked, and the adjusted copies, which are the list's
// own, are rebuilt when the item's generation has moved on (a reload). An
// afterimage shares the copies of its source (ShareFrom) and is a user of
// the item itself, so neither outlives what it draws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/brio_collection.h"

namespace nova::components {

class TNovaObject;

// The user id a component is known by in the picture cache: unique among
// the live objects of every list.
graphics::TBrioOwner cache_owner(const TNovaObject& o);

struct TNovaImageData {
  // The brightness the copy was made with (0: the cache frame is shown).
  std::int32_t brightness = 0;
  // The frame with the brightness applied; shared with afterimages.
  std::shared_ptr<graphics::TDIBX> adjusted;
};

class TNovaImageList {
 public:
  TNovaImageList() = default;
  ~TNovaImageList() { Clear(); }
  TNovaImageList(const TNovaImageList&) = delete;
  TNovaImageList& operator=(const TNovaImageList&) = delete;

  // Becomes a user of the key's item (releasing what it showed).
  void Load(graphics::TBrioCollection& cache, graphics::TBrioOwner owner, std::string_view name, bool trim,
            bool make_alpha);
  // Shows what `other` shows, as a user of its own, sharing the adjusted
  // copies.
  void ShareFrom(const TNovaImageList& other, graphics::TBrioOwner owner);
  // Releases the item.
  void Clear();

  bool Loaded() const { return m_item != nullptr; }
  const graphics::TBrioItem* Item() const { return m_item; }
  int Count() const { return m_item ? m_item->Count() : 0; }
  bool Valid(int index) const { return index >= 0 && index < Count(); }
  // The frame's picture with `brightness` applied, its plane, its delay;
  // none (or 1) for an invalid index or a lost item.
  const graphics::TDIBX* Picture(int index, std::int32_t brightness);
  const graphics::TDIBX* Alpha(int index) const;
  std::int32_t Delay(int index) const;
  const graphics::TBrioItemFrame* Frame(int index) const;
  bool Lost() const { return m_item && m_item->Lost(); }

  // The list's own animation (the hover picture of a map image): the frame
  // shown and the time left on it.
  int frame_index = 0;
  std::int32_t countdown = 0;
  // Restarts the own animation at frame 0.
  void Restart();
  // Advances the own animation by `elapsed_ms`; answers whether the frame
  // changed.
  bool Advance(std::int32_t elapsed_ms);

 private:
  void sync();

  graphics::TBrioCollection* m_cache = nullptr;
  graphics::TBrioOwner m_owner = 0;
  graphics::TBrioItem* m_item = nullptr;
  std::uint64_t m_generation = 0;
  std::vector<TNovaImageData> m_data;
};

// The frame's picture with the gray (|b|, |b|, |b|) added (b > 0) or
// subtracted (b < 0) with saturation; the key passes through the same
// operation, so keyed pixels stay transparent.
std::shared_ptr<graphics::TDIBX> brightened(const graphics::TDIBX& picture, std::int32_t brightness);

}  // namespace nova::components
