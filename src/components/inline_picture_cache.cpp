#include "components/inline_picture_cache.h"

#include "graphics/brio_collection.h"

namespace nova::components {

namespace {

// Owner ids of the pictures: apart from the components' handles, which
// never set the top bit.
constexpr std::uint64_t kOwnerBase = std::uint64_t{1} << 63;

class CachedPicture final : public text::InlinePicture {
 public:
  CachedPicture(graphics::TBrioCollection& cache, graphics::TBrioOwner owner, std::string_view name)
      : m_cache(cache), m_owner(owner), m_item(&cache.Acquire(owner, name, false, true)) {}
  ~CachedPicture() override { m_cache.Release(m_item, m_owner); }
  CachedPicture(const CachedPicture&) = delete;
  CachedPicture& operator=(const CachedPicture&) = delete;

  std::int32_t width() const override { return m_item->Empty() ? 0 : m_item->Width(); }
  std::int32_t height() const override { return m_item->Empty() ? 0 : m_item->Height(); }
  std::int32_t frame_count() const override { return m_item->Empty() ? 0 : m_item->Count(); }
  std::int32_t frame_delay(std::int32_t k) const override {
    return k >= 0 && k < m_item->Count() ? m_item->Frames(k).delay : 0;
  }
  void draw_frame(std::int32_t k, graphics::TCustomDIBX& colour, graphics::TCustomDIBX& mask, std::int32_t x,
                  std::int32_t y) const override {
    if (m_item->Empty() || m_item->Lost() || k < 0 || k >= m_item->Count()) return;
    const graphics::TBrioItemFrame& f = m_item->Frames(k);
    if (!f.picture) return;
    const graphics::Rect all{0, 0, f.picture->GetWidth(), f.picture->GetHeight()};
    colour.Draw(x, y, false, false, false, all, *f.picture);
    if (f.alpha) {
      mask.Draw(x, y, false, false, false, all, *f.alpha);
    } else {
      mask.FillRect(all.translated(x, y).intersected(mask.ClipRect()), 255);
    }
  }

 private:
  graphics::TBrioCollection& m_cache;
  graphics::TBrioOwner m_owner;
  graphics::TBrioItem* m_item;
};

}  // namespace

std::unique_ptr<text::InlinePicture> InlinePictureCache::acquire(std::string_view name) {
  return std::make_unique<CachedPicture>(m_cache, kOwnerBase | m_next_owner++, name);
}

}  // namespace nova::components
