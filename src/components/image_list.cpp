#include "components/image_list.h"

#include <algorithm>
#include <cstdlib>

#include "components/nova_object.h"

namespace nova::components {

graphics::TBrioOwner cache_owner(const TNovaObject& o) {
  // Not the handle: handles are numbered per list, and lists share the
  // cache (a screen record's trial read, a cinema's own list), so two
  // components could pass one id and the first to let go would free the
  // other's picture. The address is unique while the object lives, and it
  // lets go of its items before it goes.
  return reinterpret_cast<std::uintptr_t>(&o);
}

std::shared_ptr<graphics::TDIBX> brightened(const graphics::TDIBX& picture, std::int32_t brightness) {
  auto copy = std::make_shared<graphics::TDIBX>();
  copy->ShareBufferOf(picture);
  const std::int32_t level = std::min<std::int32_t>(std::abs(brightness), 255);
  const auto gray = static_cast<std::uint32_t>(picture.ColorToPixel(level * 0x010101));
  const graphics::Rect all{0, 0, picture.GetWidth(), picture.GetHeight()};
  const auto apply = [&](graphics::TCustomDIBX& s, const graphics::Rect& r) {
    if (brightness > 0) {
      s.AddRect(r, gray);
    } else {
      s.SubRect(r, gray);
    }
  };
  apply(*copy, all);
  if (picture.TransparentValue() != -1) {
    graphics::TDIBX pixel;
    pixel.SetSize(1, 1, picture.GetBitCount());
    pixel.SetPixel(0, 0, static_cast<std::uint32_t>(picture.TransparentValue()));
    apply(pixel, {0, 0, 1, 1});
    copy->SetTransparentValue(static_cast<std::int32_t>(pixel.GetPixel(0, 0)));
  }
  copy->ContentRects() = picture.ContentRects();
  return copy;
}

void TNovaImageList::Load(graphics::TBrioCollection& cache, graphics::TBrioOwner owner, std::string_view name,
                          bool trim, bool make_alpha) {
  // The new one first: a list loading its own key again keeps the item.
  graphics::TBrioItem& item = cache.Acquire(owner, name, trim, make_alpha);
  Clear();
  m_cache = &cache;
  m_owner = owner;
  m_item = &item;
  m_generation = 0;
  sync();
}

void TNovaImageList::ShareFrom(const TNovaImageList& other, graphics::TBrioOwner owner) {
  Clear();
  if (!other.m_item) return;
  m_cache = other.m_cache;
  m_owner = owner;
  m_item = &m_cache->Acquire(owner, other.m_item->FileName(), other.m_item->Trim(), other.m_item->MakeAlpha());
  m_generation = other.m_generation;
  m_data = other.m_data;
}

void TNovaImageList::Clear() {
  if (m_item) m_cache->Release(m_item, m_owner);
  m_item = nullptr;
  m_data.clear();
  m_generation = 0;
  frame_index = 0;
  countdown = 0;
}

void TNovaImageList::sync() {
  if (!m_item || m_generation == m_item->Generation()) return;
  m_generation = m_item->Generation();
  m_data.assign(static_cast<std::size_t>(m_item->Count()), TNovaImageData{});
}

const graphics::TBrioItemFrame* TNovaImageList::Frame(int index) const {
  if (!Valid(index)) return nullptr;
  return &m_item->Frames(index);
}

const graphics::TDIBX* TNovaImageList::Picture(int index, std::int32_t brightness) {
  if (!Valid(index) || m_item->Lost()) return nullptr;
  sync();
  const graphics::TBrioItemFrame& frame = m_item->Frames(index);
  if (brightness == 0) return frame.picture.get();
  TNovaImageData& data = m_data[static_cast<std::size_t>(index)];
  if (!data.adjusted || data.brightness != brightness) {
    data.adjusted = brightened(*frame.picture, brightness);
    data.brightness = brightness;
  }
  return data.adjusted.get();
}

const graphics::TDIBX* TNovaImageList::Alpha(int index) const {
  if (!Valid(index) || m_item->Lost()) return nullptr;
  return m_item->Frames(index).alpha.get();
}

std::int32_t TNovaImageList::Delay(int index) const { return Valid(index) ? m_item->Frames(index).delay : 1; }

void TNovaImageList::Restart() {
  frame_index = 0;
  countdown = Delay(0);
}

bool TNovaImageList::Advance(std::int32_t elapsed_ms) {
  if (Count() < 2) return false;
  countdown -= elapsed_ms;
  bool changed = false;
  // One step per update at most beyond the first, so a long stall does not
  // spin through hundreds of frames.
  for (int guard = 0; countdown < 1 && guard < Count(); ++guard) {
    frame_index = (frame_index + 1) % Count();
    countdown += Delay(frame_index);
    changed = true;
  }
  if (countdown < 1) countdown = 1;
  return changed;
}

}  // namespace nova::components
