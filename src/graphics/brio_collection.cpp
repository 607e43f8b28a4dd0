#include "graphics/brio_collection.h"

#include <algorithm>

#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"
#include "files/stream.h"
#include "graphics/brios.h"
#include "graphics/picture_files.h"

namespace nova::graphics {

namespace {

constexpr int kEmptySide = 8;

}  // namespace

TBrioCollection::TBrioCollection(const PictureFiles& files, std::int32_t image_key, int screen_bits)
    : m_files(files), m_image_key(image_key), m_screen_bits(screen_bits) {}

TBrioCollection::~TBrioCollection() = default;

std::string TBrioCollection::KeyOf(std::string_view name, bool trim, bool make_alpha) {
  std::string key(name);
  if (make_alpha) key += "?m";
  if (trim) key += "?t";
  return key;
}

std::string TBrioCollection::Fold(std::string_view key) { return core::upper(key); }

TBrioItem* TBrioCollection::Find(std::string_view key) const {
  const auto it = m_items.find(Fold(key));
  return it == m_items.end() ? nullptr : it->second.get();
}

TBrioItem& TBrioCollection::Acquire(TBrioOwner owner, std::string_view name, bool trim, bool make_alpha) {
  // The folded key straight from the name: the suffixes fold to themselves
  // upper-cased, and a hit allocates nothing else.
  std::string folded = Fold(name);
  if (make_alpha) folded += "?M";
  if (trim) folded += "?T";
  auto [it, inserted] = m_items.try_emplace(std::move(folded));
  if (inserted) {
    auto item = std::make_unique<TBrioItem>();
    item->m_key = KeyOf(name, trim, make_alpha);
    item->m_file = std::string(name);
    item->m_trim = trim;
    item->m_make_alpha = make_alpha;
    it->second = std::move(item);
    try {
      load(*it->second);
    } catch (...) {
      m_items.erase(it);
      throw;
    }
  } else if (it->second->m_stale) {
    load(*it->second);
  }
  TBrioItem& item = *it->second;
  const auto user = std::find_if(item.m_users.begin(), item.m_users.end(),
                                 [owner](const TBrioItem::User& u) { return u.owner == owner; });
  if (user == item.m_users.end()) {
    item.m_users.push_back({owner, 1});
  } else {
    ++user->uses;
  }
  return item;
}

bool TBrioItem::HasUser(TBrioOwner owner) const {
  return std::any_of(m_users.begin(), m_users.end(), [owner](const User& u) { return u.owner == owner; });
}

void TBrioCollection::Release(TBrioItem* item, TBrioOwner owner) {
  if (!item) return;
  const auto user = std::find_if(item->m_users.begin(), item->m_users.end(),
                                 [owner](const TBrioItem::User& u) { return u.owner == owner; });
  if (user == item->m_users.end()) return;
  if (--user->uses > 0) return;
  item->m_users.erase(user);
  if (item->m_users.empty()) m_items.erase(Fold(item->m_key));
}

void TBrioCollection::SetQuality(bool quality) {
  if (quality == m_quality) return;
  m_quality = quality;
  for (auto& [key, item] : m_items) load(*item);
}

void TBrioCollection::ReleaseSurfaces() {
  for (auto& [key, item] : m_items) {
    for (TBrioItemFrame& f : item->m_frames) {
      f.picture.reset();
      f.alpha.reset();
    }
    item->m_lost = true;
  }
}

void TBrioCollection::RecreateSurfaces(int screen_bits) {
  if (screen_bits > 0) m_screen_bits = screen_bits;
  for (auto& [key, item] : m_items) load(*item);
}

void TBrioCollection::MarkStale(std::string_view name) {
  const std::string file = Fold(name);
  for (auto& [key, item] : m_items) {
    if (Fold(item->m_file) == file) item->m_stale = true;
  }
}

void TBrioCollection::load_empty(TBrioItem& item) {
  TBrioItemFrame f;
  f.picture = std::make_unique<TDIBX>();
  f.picture->SetSize(kEmptySide, kEmptySide, m_screen_bits);
  f.picture->SetTransparentValue(f.picture->ColorToPixel(0));
  f.transparent_colour = 0;
  if (item.m_make_alpha) {
    f.alpha = std::make_unique<TDIBX>();
    f.alpha->SetSize(kEmptySide, kEmptySide, 8);
  }
  item.m_frames.push_back(std::move(f));
  item.m_empty = true;
}

void TBrioCollection::load(TBrioItem& item) {
  item.m_frames.clear();
  item.m_empty = false;
  item.m_lost = false;
  item.m_stale = false;
  item.m_generation = m_next_generation++;

  TBrioFrameList list(m_image_key);
  list.target_bit_count = m_quality ? m_screen_bits : 0;
  bool loaded = false;
  if (m_files.exists(item.m_file)) {
    try {
      const std::vector<std::uint8_t> bytes = m_files.read_all(item.m_file);
      files::TKvMemoryStream stream(bytes);
      list.LoadFromStream(stream, BrioLoad::Convert, item.m_file);
      if (item.m_make_alpha) list.MakeMasks(false);
      loaded = list.Count() > 0;
    } catch (const core::Error& e) {
      core::logf(core::Channel::Graphics, core::Level::Error, "%s: the picture cannot be read: %s",
                 {item.m_file, e.message()});
      list.Clear();
    }
  }
  if (!loaded) {
    load_empty(item);
  } else {
    for (int i = 0; i < list.Count(); ++i) {
      TBrioFrame& frame = list.Frames(i);
      TBrioItemFrame f;
      if (item.m_trim) {
        const Rect kept = frame.Trim();
        f.offset_x = kept.left;
        f.offset_y = kept.top;
      }
      f.picture = std::make_unique<TDIBX>();
      f.picture->SetSize(0, 0, m_screen_bits);
      CopyFrameToSurface(frame, *f.picture);
      f.transparent_colour = frame.transparent_colour;
      if (f.transparent_colour != -1) f.picture->SetTransparentValue(f.picture->ColorToPixel(f.transparent_colour));
      if (frame.HasAlpha()) {
        f.alpha = std::make_unique<TDIBX>();
        CopyAlphaToSurface(frame, *f.alpha);
      }
      f.delay = std::max<std::int32_t>(frame.delay, 1);
      item.m_frames.push_back(std::move(f));
    }
  }
  item.m_width = item.m_frames.front().picture->GetWidth();
  item.m_height = item.m_frames.front().picture->GetHeight();
  item.m_total_delay = 0;
  for (const TBrioItemFrame& f : item.m_frames) item.m_total_delay += f.delay;
}

}  // namespace nova::graphics
