// TBrioCollection: the picture cache. Every picture a component, a text's
// inline image, a caption or a button shows is loaded here once per key and
// shared by all its users.
//
// A key is a file name, followed by "?m" when every frame gets an alpha
// plane (transparent pixels 0, the others 255) and then by "?t" when the
// frames keep their trim offsets; keys compare without regard to case.
// Pictures are read through PictureFiles, always converted (to the
// screen's bit count when the quality flag is set, else palettised
// pictures to 24 bits) and copied into surfaces of the screen's depth. A
// file that is missing or cannot be decoded gives the empty picture: one
// 8 × 8 black frame keyed black (with an all-zero plane under "?m"); a
// decoding failure is logged with the file name.
//
// Ownership and lifetime: the collection owns its items, an item its
// frames, a frame its surfaces. An item lives while it has users (opaque
// owner ids, each at most once); the last Release destroys it. Users keep
// (item, frame index), never a surface: SetQuality, RecreateSurfaces and the
// reload of a stale item replace the frames, which bumps the item's
// generation, and a user that sees another generation reselects its frame.
// Between ReleaseSurfaces and RecreateSurfaces the frames have no pictures
// ("lost"), and users draw nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "graphics/memory_dibx.h"

namespace nova::graphics {

class PictureFiles;

// An opaque user id (components pass their handle's bits).
using TBrioOwner = std::uint64_t;

struct TBrioItemFrame {
  // The picture at the screen's bit count, its transparent value set; null
  // while the surfaces are released.
  std::unique_ptr<TDIBX> picture;
  // The 8-bit plane when the frame has one or "?m" was asked for.
  std::unique_ptr<TDIBX> alpha;
  // The frame's transparent colour as a colour word, −1 for none.
  std::int32_t transparent_colour = -1;
  std::int32_t delay = 1;  // milliseconds, at least 1
  std::int32_t offset_x = 0;
  std::int32_t offset_y = 0;
};

class TBrioItem {
 public:
  // The key as asked for (case kept) and its parts.
  const std::string& Key() const { return m_key; }
  const std::string& FileName() const { return m_file; }
  bool MakeAlpha() const { return m_make_alpha; }
  bool Trim() const { return m_trim; }

  int Count() const { return static_cast<int>(m_frames.size()); }
  // Raises nothing: callers check the index against Count.
  const TBrioItemFrame& Frames(int i) const { return m_frames[static_cast<std::size_t>(i)]; }
  // The first frame's size and the sum of the delays.
  std::int32_t Width() const { return m_width; }
  std::int32_t Height() const { return m_height; }
  std::int64_t TotalDelay() const { return m_total_delay; }
  // Changes on every (re)load of the frames; never 0.
  std::uint64_t Generation() const { return m_generation; }
  // The surfaces are released (between ReleaseSurfaces and RecreateSurfaces).
  bool Lost() const { return m_lost; }
  // The file was missing or damaged.
  bool Empty() const { return m_empty; }
  // The owners using the item, each once.
  int UserCount() const { return static_cast<int>(m_users.size()); }
  bool HasUser(TBrioOwner owner) const;

 private:
  friend class TBrioCollection;
  std::string m_key;
  std::string m_file;
  bool m_make_alpha = false;
  bool m_trim = false;
  std::vector<TBrioItemFrame> m_frames;
  std::int32_t m_width = 0;
  std::int32_t m_height = 0;
  std::int64_t m_total_delay = 0;
  std::uint64_t m_generation = 0;
  bool m_lost = false;
  bool m_empty = false;
  bool m_stale = false;
  struct User {
    TBrioOwner owner;
    int uses;
  };
  std::vector<User> m_users;
};

class TBrioCollection {
 public:
  // `files` must outlive the collection. `image_key` orders the rows of
  // layered files; `screen_bits` is the display's bit count (15, 16, 24 or
  // 32).
  TBrioCollection(const PictureFiles& files, std::int32_t image_key, int screen_bits);
  ~TBrioCollection();
  TBrioCollection(const TBrioCollection&) = delete;
  TBrioCollection& operator=(const TBrioCollection&) = delete;

  // The item of the key made of `name` and the flags, loaded when absent (or
  // stale), with `owner` among its users (once more, if it was).
  TBrioItem& Acquire(TBrioOwner owner, std::string_view name, bool trim, bool make_alpha);
  // Takes one acquisition of `owner` back; its last takes it off the
  // item's users, and the last user destroys the item. Nothing for a null
  // item or an owner that is no user.
  void Release(TBrioItem* item, TBrioOwner owner);

  bool Quality() const { return m_quality; }
  // A change reloads every item's frames.
  void SetQuality(bool quality);
  // Frees every frame's surfaces; RecreateSurfaces reloads them (at the new
  // screen bit count when one is given).
  void ReleaseSurfaces();
  void RecreateSurfaces(int screen_bits = 0);
  // Every item of that file (whatever its flags) is reloaded at the next
  // Acquire of its key; its users keep the old frames until then.
  void MarkStale(std::string_view name);

  int ScreenBits() const { return m_screen_bits; }
  // The title's image key, known once the project is read; pictures loaded
  // later use it.
  void SetImageKey(std::int32_t key) { m_image_key = key; }
  // Where the pictures are read from (map files are read there too).
  const PictureFiles& Files() const { return m_files; }
  int Count() const { return static_cast<int>(m_items.size()); }
  // The item of a key, if loaded.
  TBrioItem* Find(std::string_view key) const;

  // The key of a name and flags, and its folded form the items are found by.
  static std::string KeyOf(std::string_view name, bool trim, bool make_alpha);
  static std::string Fold(std::string_view key);

 private:
  void load(TBrioItem& item);
  void load_empty(TBrioItem& item);

  const PictureFiles& m_files;
  std::int32_t m_image_key;
  int m_screen_bits;
  bool m_quality = false;
  std::uint64_t m_next_generation = 1;
  std::unordered_map<std::string, std::unique_ptr<TBrioItem>> m_items;
};

}  // namespace nova::graphics
