#include "graphics/dib_surface.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

#include "core/error.h"
#include "core/format.h"

namespace nova::graphics {
namespace {

// Level k has k + 1 cells set; bit (row × 4 + column) of each word.
constexpr std::array<const char*, 16> kDitherRows = {
    "1000000000000000", "1000000000100000", "1010000000100000", "1010000010100000",
    "1010010010100000", "1010010010100001", "1010010110100001", "1010010110100101",
    "1110010110100101", "1110010110110101", "1111010110110101", "1111010111110101",
    "1111110111110101", "1111110111110111", "1111111111110111", "1111111111111111"};

constexpr std::array<std::uint16_t, 16> make_dither() {
  std::array<std::uint16_t, 16> out{};
  for (std::size_t level = 0; level < 16; ++level) {
    for (int cell = 0; cell < 16; ++cell) {
      if (kDitherRows[level][cell] == '1') out[level] = static_cast<std::uint16_t>(out[level] | (1u << cell));
    }
  }
  return out;
}
constexpr std::array<std::uint16_t, 16> kDither = make_dither();

std::uint16_t load16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
void store16(std::uint8_t* p, std::uint32_t v) {
  const auto w = static_cast<std::uint16_t>(v);
  std::memcpy(p, &w, 2);
}
std::uint32_t load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

std::uint32_t widen5(std::uint32_t v) { return v << 3 | v >> 2; }
std::uint32_t widen6(std::uint32_t v) { return v << 2 | v >> 4; }

// The 32-bit blend of layer drawing: two channel groups, shift by 8.
std::uint32_t mix32(std::uint32_t d, std::uint32_t s, std::uint32_t w) {
  const std::uint32_t rb = (((d & 0xFF00FFu) * (255 - w) + w * (s & 0xFF00FFu)) >> 8) & 0xFF00FFu;
  const std::uint32_t g = (((d & 0xFF00u) * (255 - w) + w * (s & 0xFF00u)) >> 8) & 0xFF00u;
  return rb | g;
}

// The plane blend of 15 and 16 bits: each channel on its mask, shift by 8.
std::uint32_t mix16_plane(std::uint32_t d, std::uint32_t s, std::uint32_t m, const ChannelMasks& k) {
  std::uint32_t out = 0;
  for (int i = 0; i < 3; ++i) {
    const std::uint32_t mask = k.list[static_cast<std::size_t>(i)];
    out |= (((d & mask) * (255 - m) + m * (s & mask)) >> 8) & mask;
  }
  return out;
}

// The opacity blend of 15 and 16 bits: each channel divided by 255.
std::uint32_t mix16_opacity(std::uint32_t d, std::uint32_t s, std::uint32_t a, const ChannelMasks& k) {
  std::uint32_t out = 0;
  for (int i = 0; i < 3; ++i) {
    const std::uint32_t mask = k.list[static_cast<std::size_t>(i)];
    out |= (((255 - a) * (d & mask) + a * (s & mask)) / 255) & mask;
  }
  return out;
}

}  // namespace

// --- Limits ------------------------------------------------------------------------------

bool is_dib_bit_count(int b) { return b == 1 || b == 4 || b == 8 || b == 15 || b == 16 || b == 24 || b == 32; }

std::int64_t dib_row_bytes(std::int64_t width, int bit_count) {
  return (width * storage_bits(bit_count) + 31) / 32 * 4;
}

void check_picture_size(std::int64_t width, std::int64_t height, int bit_count, const PictureLimits& limits,
                        std::string_view what) {
  if (!is_dib_bit_count(bit_count)) {
    core::throw_error(core::format("%s: bit count %d is not 1, 4, 8, 15, 16, 24 or 32", {what, bit_count}));
  }
  if (width < 0 || height < 0) {
    core::throw_error(core::format("%s: negative size %d x %d",
                                   {what, static_cast<long long>(width), static_cast<long long>(height)}));
  }
  if (width > limits.max_side || height > limits.max_side) {
    core::throw_error(
        core::format("%s: %d x %d has a side above %d",
                     {what, static_cast<long long>(width), static_cast<long long>(height), limits.max_side}));
  }
  if (width * height > limits.max_pixels) {
    core::throw_error(core::format("%s: %d x %d is more than %d pixels",
                                   {what, static_cast<long long>(width), static_cast<long long>(height),
                                    static_cast<long long>(limits.max_pixels)}));
  }
}

// --- Pixels and colours ---------------------------------------------------------------------

std::uint32_t pixel_compare_mask(int bit_count) {
  switch (bit_count) {
    case 1: return 0x1;
    case 4: return 0xF;
    case 8: return 0xFF;
    case 15: return 0x7FFF;
    case 16: return 0xFFFF;
    default: return 0xFFFFFF;
  }
}

std::int32_t pixel_to_colour(int bit_count, const Palette& palette, std::uint32_t pixel) {
  switch (bit_count) {
    case 1:
    case 4:
    case 8: {
      const PaletteEntry& e = palette[pixel & pixel_compare_mask(bit_count)];
      return rgb(e.red, e.green, e.blue);
    }
    case 15:
      return rgb(static_cast<int>(widen5((pixel >> 10) & 31)), static_cast<int>(widen5((pixel >> 5) & 31)),
                 static_cast<int>(widen5(pixel & 31)));
    case 16:
      return rgb(static_cast<int>(widen5((pixel >> 11) & 31)), static_cast<int>(widen6((pixel >> 5) & 63)),
                 static_cast<int>(widen5(pixel & 31)));
    default:
      return rgb(static_cast<int>((pixel >> 16) & 255), static_cast<int>((pixel >> 8) & 255),
                 static_cast<int>(pixel & 255));
  }
}

int nearest_palette_index(const Palette& palette, int entries, std::int32_t colour) {
  const int r = color_red(colour), g = color_green(colour), b = color_blue(colour);
  int best = 0;
  int best_distance = 1 << 30;
  for (int i = 0; i < entries; ++i) {
    const PaletteEntry& e = palette[static_cast<std::size_t>(i)];
    const int dr = e.red - r, dg = e.green - g, db = e.blue - b;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < best_distance) {
      best_distance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  return best;
}

std::uint32_t colour_to_pixel(int bit_count, const Palette& palette, std::int32_t colour) {
  switch (bit_count) {
    case 1:
    case 4:
    case 8: return static_cast<std::uint32_t>(nearest_palette_index(palette, 1 << bit_count, colour));
    case 24: return static_cast<std::uint32_t>(color_red(colour) << 16 | color_green(colour) << 8 | color_blue(colour));
    default: return static_cast<std::uint32_t>(color_to_pixel(bit_count, colour));
  }
}

void convert_pixels(const TCustomDIBX& src, const Palette& src_palette, TCustomDIBX& dst, const Palette& dst_palette) {
  const int w = std::min(src.GetWidth(), dst.GetWidth());
  const int h = std::min(src.GetHeight(), dst.GetHeight());
  if (w <= 0 || h <= 0) return;
  const int sb = src.GetBitCount(), db = dst.GetBitCount();
  const bool same_values = sb == db && (sb > 8 || src_palette == dst_palette);
  // Screens are 32, 16 or 15 bits and pictures mostly 24 or 32: those rows
  // convert in place; everything else goes pixel by pixel, a palette target
  // looking each colour up once.
  const bool rows = same_values || ((sb == 24 || sb == 32) && (db == 32 || db == 16 || db == 15));
  std::unordered_map<std::int32_t, std::uint32_t> nearest;
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* s = rows ? src.LockRead(0, y) : nullptr;
    std::uint8_t* d = rows && s ? dst.Lock(0, y) : nullptr;
    if (s && d) {
      if (same_values) {
        std::memcpy(d, s, static_cast<std::size_t>(dib_row_bytes(w, sb)));
      } else {
        const int step = sb / 8;
        for (int x = 0; x < w; ++x, s += step) {
          const std::uint32_t b = s[0], g = s[1], r = s[2];
          if (db == 32) {
            store32(d + 4 * x, r << 16 | g << 8 | b);
          } else if (db == 16) {
            store16(d + 2 * x, (r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
          } else {
            store16(d + 2 * x, (r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
          }
        }
      }
    }
    if (d) dst.Unlock();
    if (s) src.UnlockRead();
    if (s && d) continue;
    for (int x = 0; x < w; ++x) {
      const std::int32_t c = pixel_to_colour(sb, src_palette, src.GetPixel(x, y));
      std::uint32_t v;
      if (db <= 8) {
        auto [it, added] = nearest.try_emplace(c, 0u);
        if (added) it->second = colour_to_pixel(db, dst_palette, c);
        v = it->second;
      } else {
        v = colour_to_pixel(db, dst_palette, c);
      }
      dst.SetPixel(x, y, v);
    }
  }
}

bool dither_draws(int level, int x, int y) {
  return (kDither[static_cast<std::size_t>(level & 15)] >> ((y & 3) * 4 + (x & 3))) & 1u;
}

// --- The surface --------------------------------------------------------------------------------

TDIBSurface::TDIBSurface() { m_bits.SetSize(0, 0, 24); }

void TDIBSurface::SetSize(int width, int height, int bit_count) {
  m_bits.SetSize(width, height, bit_count);
  m_bits.SetPalette(m_palette);
  m_alpha.reset();
}

void TDIBSurface::Clear() {
  m_bits.Clear();
  m_alpha.reset();
}

void TDIBSurface::SetPalette(const Palette& palette) {
  m_palette = palette;
  m_bits.SetPalette(palette);
}

TDIBX& TDIBSurface::CreateAlpha(std::uint8_t fill) {
  auto plane = std::make_unique<TDIBX>();
  plane->SetSize(Width(), Height(), 8);
  if (fill != 0 && !plane->IsEmpty()) {
    for (int y = 0; y < Height(); ++y) std::memset(plane->Lock(0, y), fill, static_cast<std::size_t>(Width()));
  }
  m_alpha = std::move(plane);
  return *m_alpha;
}

void TDIBSurface::ShareAlpha(const TDIBX& plane) {
  auto copy = std::make_unique<TDIBX>();
  copy->ShareBufferOf(plane);
  m_alpha = std::move(copy);
}

void TDIBSurface::ShareFrom(const TDIBSurface& other) {
  if (&other == this) return;
  m_bits.ShareBufferOf(other.m_bits);
  m_palette = other.m_palette;
  if (other.m_alpha) {
    ShareAlpha(*other.m_alpha);
  } else {
    m_alpha.reset();
  }
}

void TDIBSurface::ShareBitmapOf(const TDIBSurface& other) {
  if (&other == this) return;
  m_bits.ShareBufferOf(other.m_bits);
  m_palette = other.m_palette;
}

void TDIBSurface::Crop(const Rect& rect) {
  const Rect r = rect.intersected(Rect{0, 0, Width(), Height()});
  auto crop = [&r](const TDIBX& from) {
    auto to = std::make_unique<TDIBX>();
    to->SetSize(r.width(), r.height(), from.GetBitCount());
    Palette palette;
    from.GetPalette(palette);
    to->SetPalette(palette);
    const int sb = from.GetStorageBitCount();
    for (int y = 0; !r.empty() && y < r.height(); ++y) {
      if (sb >= 8) {
        std::memcpy(to->Lock(0, y), from.LockRead(r.left, r.top + y), static_cast<std::size_t>(r.width() * sb / 8));
      } else {
        for (int x = 0; x < r.width(); ++x) to->SetPixel(x, y, from.GetPixel(r.left + x, r.top + y));
      }
    }
    return to;
  };
  auto bits = crop(m_bits);
  m_bits.ShareBufferOf(*bits);
  if (m_alpha) m_alpha = crop(*m_alpha);
}

void TDIBSurface::BorrowRows(const std::uint8_t* rows, int width, int height, int bit_count) {
  // Never written through: every write path of TDIBX copies first (see
  // MakeUnique), so the const_cast does not reach the caller's bytes.
  m_bits.SetExternalBuffer(const_cast<std::uint8_t*>(rows), width, height, bit_count,
                           static_cast<int>(dib_row_bytes(width, bit_count)));
  m_bits.SetPalette(m_palette);
  m_alpha.reset();
}

void TDIBSurface::MakeUnique() {
  if (!m_bits.HasExternalBuffer()) return;
  TDIBX own;
  own.ShareBufferOf(m_bits);  // copies someone else's rows
  m_bits.ShareBufferOf(own);
}

void TDIBSurface::Fill(std::uint32_t value) {
  const int w = Width(), h = Height();
  if (w == 0 || h == 0) return;
  value &= BitCount() == 32 ? 0xFFFFFFFFu : pixel_compare_mask(BitCount()) | (BitCount() == 15 ? 0x8000u : 0u);
  const int sb = StorageBitCount();
  if (sb < 8) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) m_bits.SetPixel(x, y, value);
    }
    return;
  }
  const int bytes = sb / 8;
  std::uint8_t pattern[4];
  std::memcpy(pattern, &value, 4);
  std::uint8_t* first = Row(0);
  for (int x = 0; x < w; ++x) std::memcpy(first + static_cast<std::ptrdiff_t>(x) * bytes, pattern, bytes);
  const std::size_t used = static_cast<std::size_t>(w) * static_cast<std::size_t>(bytes);
  for (int y = 1; y < h; ++y) std::memcpy(Row(y), first, used);
}

void TDIBSurface::ConvertTo(int bit_count) {
  if (bit_count == BitCount()) return;
  TDIBX converted;
  converted.SetSize(Width(), Height(), bit_count);
  converted.SetPalette(m_palette);
  convert_pixels(m_bits, m_palette, converted, m_palette);
  m_bits.ShareBufferOf(converted);
}

// --- Layer drawing -----------------------------------------------------------------------------------

void TDIBSurface::CopyLayer(const TDIBSurface& src, std::int32_t key) {
  const int w = std::min(Width(), src.Width()), h = std::min(Height(), src.Height());
  if (w <= 0 || h <= 0) return;
  const int sb = StorageBitCount();
  if (key == -1) {
    const auto bytes = static_cast<std::size_t>(std::min(dib_row_bytes(w, sb), static_cast<std::int64_t>(RowBytes())));
    for (int y = 0; y < h; ++y) std::memcpy(Row(y), src.Row(y), bytes);
    return;
  }
  const std::uint32_t cmp = pixel_compare_mask(BitCount());
  const auto k = static_cast<std::uint32_t>(key);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* s = src.Row(y);
    std::uint8_t* d = Row(y);
    switch (sb) {
      case 8:
        for (int x = 0; x < w; ++x) {
          if ((s[x] ^ k) & cmp) d[x] = s[x];
        }
        break;
      case 16:
        for (int x = 0; x < w; ++x) {
          const std::uint32_t v = load16(s + 2 * x);
          if ((v ^ k) & cmp) store16(d + 2 * x, v);
        }
        break;
      case 24: {
        const auto k0 = static_cast<std::uint8_t>(k), k1 = static_cast<std::uint8_t>(k >> 8),
                   k2 = static_cast<std::uint8_t>(k >> 16);
        for (int x = 0; x < w; ++x, s += 3, d += 3) {
          if (s[0] != k0 || s[1] != k1 || s[2] != k2) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
          }
        }
        break;
      }
      case 32:
        for (int x = 0; x < w; ++x) {
          const std::uint32_t v = load32(s + 4 * x);
          if ((v ^ k) & cmp) store32(d + 4 * x, v);
        }
        break;
      default:
        for (int x = 0; x < w; ++x) {
          const std::uint32_t v = src.GetPixel(x, y);
          if ((v ^ k) & cmp) SetPixel(x, y, v);
        }
        break;
    }
  }
}

void TDIBSurface::BlendLayer(const TDIBSurface& src, int opacity, std::int32_t key) {
  if (opacity <= 0) return;
  const int w = std::min(Width(), src.Width()), h = std::min(Height(), src.Height());
  if (w <= 0 || h <= 0) return;
  if (BitCount() <= 8) {
    const int level = std::min(opacity, 255) / 16;
    if (level >= 15) {
      CopyLayer(src, key);
      return;
    }
    const std::uint32_t cmp = pixel_compare_mask(BitCount());
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        if (!dither_draws(level, x, y)) continue;
        const std::uint32_t v = src.GetPixel(x, y);
        if (!pixel_is_key(v, key, cmp)) SetPixel(x, y, v);
      }
    }
    return;
  }
  if (opacity >= 255) {
    CopyLayer(src, key);
    return;
  }
  const auto a = static_cast<std::uint32_t>(opacity);
  const std::uint32_t cmp = pixel_compare_mask(BitCount());
  const ChannelMasks masks = masks_for_bit_count(BitCount());
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* s = src.Row(y);
    std::uint8_t* d = Row(y);
    switch (StorageBitCount()) {
      case 16:
        for (int x = 0; x < w; ++x) {
          const std::uint32_t sv = load16(s + 2 * x);
          if (pixel_is_key(sv, key, cmp)) continue;
          store16(d + 2 * x, mix16_opacity(load16(d + 2 * x), sv, a, masks));
        }
        break;
      case 24: {
        const auto k0 = static_cast<std::uint8_t>(key), k1 = static_cast<std::uint8_t>(key >> 8),
                   k2 = static_cast<std::uint8_t>(key >> 16);
        const bool keyed = key != -1;
        for (int x = 0; x < w; ++x, s += 3, d += 3) {
          if (keyed && s[0] == k0 && s[1] == k1 && s[2] == k2) continue;
          for (int i = 0; i < 3; ++i) d[i] = static_cast<std::uint8_t>(((255 - a) * d[i] + a * s[i]) / 255);
        }
        break;
      }
      default:
        for (int x = 0; x < w; ++x) {
          const std::uint32_t sv = load32(s + 4 * x);
          if (pixel_is_key(sv, key, cmp)) continue;
          store32(d + 4 * x, mix32(load32(d + 4 * x), sv, a));
        }
        break;
    }
  }
}

void TDIBSurface::DrawMasked(const TDIBSurface& src, const TDIBX& plane, int opacity) {
  if (opacity <= 0) return;
  const int w = std::min({Width(), src.Width(), plane.GetWidth()});
  const int h = std::min({Height(), src.Height(), plane.GetHeight()});
  if (w <= 0 || h <= 0) return;
  if (BitCount() <= 8) {
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* m = plane.LockRead(0, y);
      for (int x = 0; x < w; ++x) {
        if (m[x] >= 128) SetPixel(x, y, src.GetPixel(x, y));
      }
    }
    return;
  }
  const ChannelMasks masks = masks_for_bit_count(BitCount());
  const auto o = static_cast<std::uint32_t>(std::min(opacity, 255));
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* m = plane.LockRead(0, y);
    const std::uint8_t* s = src.Row(y);
    std::uint8_t* d = Row(y);
    switch (StorageBitCount()) {
      case 16:
        for (int x = 0; x < w; ++x) {
          const std::uint32_t mv = m[x];
          if (mv == 0) continue;
          const std::uint32_t sv = load16(s + 2 * x);
          store16(d + 2 * x, mv == 255 ? sv : mix16_plane(load16(d + 2 * x), sv, mv, masks));
        }
        break;
      case 24:
        for (int x = 0; x < w; ++x, s += 3, d += 3) {
          std::uint32_t mv = m[x];
          if (o < 255) {
            if (o * mv < 256) continue;
            mv = (o * mv) >> 8;
          } else if (mv == 0) {
            continue;
          } else if (mv == 255) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            continue;
          }
          for (int i = 0; i < 3; ++i) d[i] = static_cast<std::uint8_t>((d[i] * (255 - mv) + mv * s[i]) >> 8);
        }
        break;
      default:
        for (int x = 0; x < w; ++x) {
          const std::uint32_t mv = m[x];
          if (mv == 0) continue;
          const std::uint32_t sv = load32(s + 4 * x);
          store32(d + 4 * x, mv == 255 ? sv : mix32(load32(d + 4 * x), sv, mv));
        }
        break;
    }
  }
}

}  // namespace nova::graphics
