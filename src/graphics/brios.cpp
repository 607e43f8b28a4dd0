// The frame list and its frames: masks, trimming, PNG and bitmap files,
// transfer to surfaces and the permutation of rows and blocks. Reading is
// in brios_read.cpp, writing in brios_write.cpp.
#include "graphics/brios.h"

#include <algorithm>
#include <cstring>

#include "core/error.h"
#include "core/sjis.h"
#include "expr/random.h"
#include "graphics/bmp_codec.h"
#include "graphics/brios_private.h"
#include "graphics/png_codec.h"

namespace nova::graphics {
namespace {

// Gives `s` a plane when it has none: 255, and 0 at pixels equal to `key`.
void mask_surface(TDIBSurface& s, std::int32_t key) {
  if (s.HasAlpha()) return;
  TDIBX& plane = s.CreateAlpha(255);
  if (key == -1) return;
  const std::uint32_t cmp = pixel_compare_mask(s.BitCount());
  for (int y = 0; y < s.Height(); ++y) {
    std::uint8_t* a = plane.Lock(0, y);
    for (int x = 0; x < s.Width(); ++x) {
      if (pixel_is_key(s.GetPixel(x, y), key, cmp)) a[x] = 0;
    }
  }
}

std::string lower_extension(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

}  // namespace

// --- Frames ----------------------------------------------------------------------------------

TBrioLayer& TBrioFrame::AddLayer() {
  m_layers.push_back(std::make_unique<TBrioLayer>(this));
  return *m_layers.back();
}

int TBrioFrame::Width() const { return m_layers.empty() ? surface.Width() : m_layers[0]->surface.Width(); }
int TBrioFrame::Height() const { return m_layers.empty() ? surface.Height() : m_layers[0]->surface.Height(); }
int TBrioFrame::BitCount() const { return m_layers.empty() ? surface.BitCount() : m_layers[0]->surface.BitCount(); }

void TBrioFrame::MakeMask(bool include_layers) {
  mask_surface(surface, transparent);
  if (!include_layers) return;
  for (auto& layer : m_layers)
    mask_surface(layer->surface, layer->transparent != -1 ? layer->transparent : transparent);
}

Rect TBrioFrame::Trim() {
  const int w = surface.Width(), h = surface.Height();
  const Rect whole{0, 0, w, h};
  if (surface.IsEmpty()) return whole;
  const TDIBX* plane = surface.Alpha();
  if (!plane && transparent == -1) return whole;
  const std::uint32_t cmp = pixel_compare_mask(surface.BitCount());
  auto clear = [&](int x, int y) {
    return plane ? plane->GetPixel(x, y) == 0 : pixel_is_key(surface.GetPixel(x, y), transparent, cmp);
  };
  auto column_clear = [&](int x) {
    for (int y = 0; y < h; ++y) {
      if (!clear(x, y)) return false;
    }
    return true;
  };
  auto row_clear = [&](int y, int left, int right) {
    for (int x = left; x < right; ++x) {
      if (!clear(x, y)) return false;
    }
    return true;
  };
  Rect r = whole;
  while (r.left < r.right && column_clear(r.left)) ++r.left;
  if (r.left == r.right) {
    r = Rect{0, 0, 1, 1};
  } else {
    while (column_clear(r.right - 1)) --r.right;
    while (row_clear(r.top, r.left, r.right)) ++r.top;
    while (row_clear(r.bottom - 1, r.left, r.right)) --r.bottom;
  }
  if (r == whole) return r;
  surface.Crop(r);
  for (auto* list : {&content_rects, &second_rects}) {
    std::vector<Rect> kept;
    for (const Rect& c : *list) {
      const Rect i = c.intersected(r);
      if (!i.empty()) kept.push_back(i);
    }
    *list = std::move(kept);
  }
  return r;
}

// --- The list ------------------------------------------------------------------------------

TBrioFrame& TBrioFrameList::AddFrame() {
  m_frames.push_back(std::make_unique<TBrioFrame>(this));
  return *m_frames.back();
}

void TBrioFrameList::Clear() {
  m_frames.clear();
  background_colour = 0;
  version = 0;
  opaque_bottom = false;
  storage_mode = kBrioZlib;
  jpeg_quality = 70;
}

void TBrioFrameList::MakeMasks(bool include_layers) {
  for (auto& f : m_frames) f->MakeMask(include_layers);
}

void TBrioFrameList::LoadPicture(std::span<const std::uint8_t> bytes, bool png, std::string_view name) {
  Clear();
  TBrioFrame& frame = AddFrame();
  try {
    std::int32_t key = -1;
    if (png) {
      read_png(bytes, frame.surface, key, m_limits);
    } else {
      read_bmp(bytes, frame.surface, m_limits);
    }
    frame.transparent = key;
    frame.transparent_colour = key == -1 ? -1 : frame.surface.PixelToColour(static_cast<std::uint32_t>(key));
  } catch (const core::Error& e) {
    Clear();
    throw core::Error(name.empty() ? e.message() : std::string(name) + ": " + e.message());
  }
}

void TBrioFrameList::LoadFromFile(const std::filesystem::path& path, BrioLoad flags) {
  Clear();
  const std::string ext = lower_extension(path);
  const bool bri = ext == ".bri", png = ext == ".png", bmp = ext == ".bmp" || ext == ".dib";
  if (!bri && !png && !bmp) return;
  const std::string name = files::host::path_text(path);
  files::TKvMemoryStream file;
  try {
    file.LoadFromFile(path);
  } catch (const core::Error& e) {
    throw core::Error(name + ": " + e.message());
  }
  if (bri) {
    LoadFromStream(file, flags, name);
    return;
  }
  LoadPicture(file.bytes(), png, name);
  if (has(flags, BrioLoad::Convert))
    convert_after_reading(Frames(0), has(flags, BrioLoad::KeepLayers), target_bit_count);
}

void TBrioFrameList::SaveToFile(const std::filesystem::path& path) {
  files::TKvMemoryStream out;
  SaveToStream(out, kBrioZlib, 70);
  out.SaveToFile(path);
}

// --- Transfer to surfaces ------------------------------------------------------------------

void CopyFrameToSurface(const TBrioFrame& frame, TCustomDIBX& surface) {
  const TDIBSurface& c = frame.surface;
  surface.SetSize(c.Width(), c.Height(), surface.GetBitCount());
  if (surface.GetBitCount() == 32 && c.BitCount() == 32) {
    for (int y = 0; y < c.Height(); ++y) {
      const std::uint8_t* s = c.Row(y);
      std::uint8_t* d = surface.Lock(0, y);
      if (!d) break;
      for (int x = 0; x < c.Width(); ++x) {
        std::uint32_t v;
        std::memcpy(&v, s + 4 * x, 4);
        v &= 0xFFFFFFu;
        std::memcpy(d + 4 * x, &v, 4);
      }
      surface.Unlock();
    }
  } else {
    Palette palette;
    surface.GetPalette(palette);
    convert_pixels(c.Bitmap(), c.GetPalette(), surface, palette);
  }
  surface.ContentRects() = frame.content_rects;
  surface.SecondRects() = frame.second_rects;
}

void CopyAlphaToSurface(const TBrioFrame& frame, TCustomDIBX& surface) {
  const TDIBX* plane = frame.surface.Alpha();
  if (!plane) return;
  surface.SetSize(plane->GetWidth(), plane->GetHeight(), 8);
  for (int y = 0; y < plane->GetHeight(); ++y) {
    std::uint8_t* d = surface.Lock(0, y);
    if (!d) break;
    std::memcpy(d, plane->LockRead(0, y), static_cast<std::size_t>(plane->GetWidth()));
    surface.Unlock();
  }
}

bool IsUncompressedBrio(files::Stream& stream) {
  // "Brio", three digits, the header size, then the record whose byte 22 is
  // the storage mode.
  constexpr int kModeAt = 4 + 3 + 4 + 22;
  const std::int64_t at = stream.GetPosition();
  std::uint8_t head[kModeAt + 1] = {};
  const std::int64_t got = stream.Read(head, sizeof head);
  stream.SetPosition(at);
  if (got < static_cast<std::int64_t>(sizeof head) || std::memcmp(head, "Brio", 4) != 0) return false;
  int version = 0;
  for (int i = 4; i < 7; ++i) {
    if (head[i] < '0' || head[i] > '9') return false;
    version = version * 10 + (head[i] - '0');
  }
  const std::int32_t header_size =
      static_cast<std::int32_t>(head[7] | head[8] << 8 | head[9] << 16 | static_cast<std::uint32_t>(head[10]) << 24);
  return version >= 103 && header_size > 22 && head[kModeAt] == kBrioRaw;
}

std::vector<std::uint32_t> brio_permutation(std::int32_t image_key, std::int64_t n) {
  std::vector<std::uint32_t> p(static_cast<std::size_t>(std::max<std::int64_t>(n, 0)));
  if (image_key == 0) {
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<std::uint32_t>(i);
    return p;
  }
  expr::TKvRandom deck(static_cast<std::uint32_t>(image_key));
  deck.reset_deck(static_cast<std::int32_t>(p.size()));
  for (auto& v : p) v = static_cast<std::uint32_t>(deck.draw());
  return p;
}

}  // namespace nova::graphics
