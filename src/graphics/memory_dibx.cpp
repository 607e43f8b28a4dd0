#include "graphics/memory_dibx.h"

#include <algorithm>
#include <cstring>

#include "core/error.h"
#include "core/format.h"

namespace nova::graphics {
namespace {

constexpr std::int64_t kMaxBufferBytes = std::int64_t{1} << 30;

bool valid_bit_count(int b) { return b == 1 || b == 4 || b == 8 || b == 15 || b == 16 || b == 24 || b == 32; }

int row_pitch(int width, int bit_count) {
  return static_cast<int>((static_cast<std::int64_t>(width) * storage_bits(bit_count) + 31) / 32 * 4);
}

// A pixel of a presentable view as a colour word of this system.
std::int32_t colour_of(const platform::PixelView& v, int x, int y) {
  const std::uint8_t* row = v.row(y);
  std::uint32_t px;
  if (v.format == platform::PixelFormat::Xrgb32) {
    std::memcpy(&px, row + static_cast<std::ptrdiff_t>(x) * 4, 4);
  } else {
    std::uint16_t h;
    std::memcpy(&h, row + static_cast<std::ptrdiff_t>(x) * 2, 2);
    px = h;
  }
  const std::uint32_t rgb32 = platform::to_rgb32(px, v.format);
  return rgb(static_cast<int>((rgb32 >> 16) & 0xFF), static_cast<int>((rgb32 >> 8) & 0xFF),
             static_cast<int>(rgb32 & 0xFF));
}

// The device context of a memory surface: pictures copied into it are
// converted to the surface's layout.
class SurfaceDC final : public TDeviceContext {
 public:
  explicit SurfaceDC(TDIBX& s) : m_surface(s) {}

  void StretchPixels(const platform::PixelView& src, Rect sr, Rect dr) override {
    if (!src.pixels || sr.empty() || dr.empty()) return;
    if (sr.intersected(Rect{0, 0, src.width, src.height}) != sr) return;
    const Rect vis = dr.intersected(Rect{0, 0, m_surface.GetWidth(), m_surface.GetHeight()});
    const int bits = m_surface.GetBitCount();
    if (vis.empty() || m_surface.Lock(0, 0) == nullptr) {
      m_surface.Unlock();
      return;
    }
    for (int y = vis.top; y < vis.bottom; ++y) {
      const int sy = sr.top + static_cast<int>(static_cast<std::int64_t>(y - dr.top) * sr.height() / dr.height());
      for (int x = vis.left; x < vis.right; ++x) {
        const int sx = sr.left + static_cast<int>(static_cast<std::int64_t>(x - dr.left) * sr.width() / dr.width());
        const std::int32_t c = colour_of(src, sx, sy);
        std::uint32_t px;
        if (bits == 24) px = static_cast<std::uint32_t>((color_red(c) << 16) | (color_green(c) << 8) | color_blue(c));
        else if (bits <= 8) px = static_cast<std::uint32_t>(color_green(c)) >> (8 - std::min(bits, 8));
        else px = static_cast<std::uint32_t>(m_surface.ColorToPixel(c));
        m_surface.SetPixel(x, y, px);
      }
    }
    m_surface.Unlock();
  }
  platform::PixelView View() const override { return m_surface.PresentView(); }

 private:
  TDIBX& m_surface;
};

}  // namespace

TDIBX::TDIBX() { allocate(0, 0, 15, 1, 1); }

TDIBX::~TDIBX() = default;

void TDIBX::allocate(int width, int height, int bit_count, int buffer_width, int buffer_height) {
  const int pitch = row_pitch(buffer_width, bit_count);
  const std::int64_t bytes = static_cast<std::int64_t>(pitch) * buffer_height;
  if (bytes > kMaxBufferBytes) {
    core::throw_error(core::format("TDIBX.SetSize: %d x %d x %d is too large", {width, height, bit_count}));
  }
  m_buffer = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(std::max<std::int64_t>(bytes, 4)));
  m_external = nullptr;
  m_pitch = pitch;
  m_bit_count = bit_count;
  m_width = width;
  m_height = height;
}

void TDIBX::SetSize(int width, int height, int bit_count) {
  if (!valid_bit_count(bit_count)) {
    core::throw_error(core::format("TDIBX.SetSize: unsupported bit count %d", {bit_count}));
  }
  if (width < 0 || height < 0) {
    core::throw_error(core::format("TDIBX.SetSize: negative size %d x %d", {width, height}));
  }
  ReleaseDC();
  allocate(width, height, bit_count, std::max(width, 1), std::max(height, 1));
  m_clip = Rect{};
}

void TDIBX::SetBitCount(int bit_count) {
  if (bit_count == m_bit_count) return;
  if (storage_bits(bit_count) == storage_bits(m_bit_count)) {
    m_bit_count = bit_count;
    return;
  }
  SetSize(m_width, m_height, bit_count);
}

void TDIBX::SetExternalBuffer(std::uint8_t* pixels, int width, int height, int bit_count, int pitch) {
  if (!valid_bit_count(bit_count) || width < 0 || height < 0 || !pixels ||
      std::abs(pitch) < row_pitch(width, bit_count) - 3) {
    core::throw_error("TDIBX.SetExternalBuffer: bad buffer description");
  }
  ReleaseDC();
  m_buffer.reset();
  m_external = pixels;
  m_pitch = pitch;
  m_bit_count = bit_count;
  m_width = width;
  m_height = height;
  m_clip = Rect{};
}

void TDIBX::ShareBufferOf(const TDIBX& other) {
  if (&other == this) return;
  ReleaseDC();
  if (other.m_external) {
    // Someone else's pixels cannot be shared safely; take a copy.
    allocate(other.m_width, other.m_height, other.m_bit_count, std::max(other.m_width, 1),
             std::max(other.m_height, 1));
    for (int y = 0; y < m_height; ++y) {
      std::memcpy(row_address(y), other.row_address(y), static_cast<std::size_t>(std::min(m_pitch, std::abs(other.m_pitch))));
    }
  } else {
    m_buffer = other.m_buffer;
    m_external = nullptr;
    m_pitch = other.m_pitch;
    m_bit_count = other.m_bit_count;
    m_width = other.m_width;
    m_height = other.m_height;
  }
  m_palette = other.m_palette;
  m_transparent = other.TransparentValue();
  m_clip = Rect{};
}

void TDIBX::MakeUnique() {
  if (m_external || !m_buffer || m_buffer.use_count() <= 1) return;
  m_buffer = std::make_shared<std::vector<std::uint8_t>>(*m_buffer);
}

std::uint8_t* TDIBX::row_address(int y) const {
  std::uint8_t* base = m_external ? m_external : m_buffer->data();
  return base + static_cast<std::ptrdiff_t>(y) * m_pitch;
}

std::uint32_t TDIBX::GetRedMask() const { return GetBitCount() > 8 ? masks_for_bit_count(m_bit_count).red : 0; }
std::uint32_t TDIBX::GetGreenMask() const { return GetBitCount() > 8 ? masks_for_bit_count(m_bit_count).green : 0; }
std::uint32_t TDIBX::GetBlueMask() const { return GetBitCount() > 8 ? masks_for_bit_count(m_bit_count).blue : 0; }
int TDIBX::GetBlueShift() const { return mask_shift(GetBlueMask()); }
int TDIBX::GetGreenShift() const { return mask_shift(GetGreenMask()); }
int TDIBX::GetRedShift() const { return mask_shift(GetRedMask()); }

std::uint32_t TDIBX::GetPixel(int x, int y) const {
  const std::uint8_t* row = row_address(y);
  switch (storage_bits(m_bit_count)) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4;
    case 8: return row[x];
    case 16: {
      std::uint16_t v;
      std::memcpy(&v, row + static_cast<std::ptrdiff_t>(x) * 2, 2);
      return v;
    }
    case 24: {
      const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * 3;
      return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
             (static_cast<std::uint32_t>(p[2]) << 16);
    }
    default: {
      std::uint32_t v;
      std::memcpy(&v, row + static_cast<std::ptrdiff_t>(x) * 4, 4);
      return v;
    }
  }
}

void TDIBX::SetPixel(int x, int y, std::uint32_t value) {
  MakeUnique();
  std::uint8_t* row = row_address(y);
  switch (storage_bits(m_bit_count)) {
    case 1: {
      const auto bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
      row[x >> 3] = static_cast<std::uint8_t>((value & 1) ? row[x >> 3] | bit : row[x >> 3] & ~bit);
      break;
    }
    case 4: {
      std::uint8_t& b = row[x >> 1];
      b = (x & 1) ? static_cast<std::uint8_t>((b & 0xF0) | (value & 0x0F))
                  : static_cast<std::uint8_t>((b & 0x0F) | ((value & 0x0F) << 4));
      break;
    }
    case 8: row[x] = static_cast<std::uint8_t>(value); break;
    case 16: {
      const auto v = static_cast<std::uint16_t>(value);
      std::memcpy(row + static_cast<std::ptrdiff_t>(x) * 2, &v, 2);
      break;
    }
    case 24: {
      std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * 3;
      p[0] = static_cast<std::uint8_t>(value);
      p[1] = static_cast<std::uint8_t>(value >> 8);
      p[2] = static_cast<std::uint8_t>(value >> 16);
      break;
    }
    default: std::memcpy(row + static_cast<std::ptrdiff_t>(x) * 4, &value, 4); break;
  }
}

std::uint8_t* TDIBX::Lock(int x, int y) {
  if (IsEmpty()) return nullptr;
  MakeUnique();
  const int bits = storage_bits(m_bit_count);
  return row_address(y) + static_cast<std::ptrdiff_t>(x) * bits / 8;
}

const std::uint8_t* TDIBX::LockRead(int x, int y) const {
  if (IsEmpty()) return nullptr;
  const int bits = storage_bits(m_bit_count);
  return row_address(y) + static_cast<std::ptrdiff_t>(x) * bits / 8;
}

TDeviceContext* TDIBX::GetDC() {
  if (!m_dc) m_dc = std::make_unique<SurfaceDC>(*this);
  return m_dc.get();
}

void TDIBX::ReleaseDC() { m_dc.reset(); }

void TDIBX::Assign(const TCustomDIBX& src) {
  const auto* other = dynamic_cast<const TDIBX*>(&src);
  if (other && other != this && other->m_width == m_width && other->m_height == m_height &&
      other->m_pitch == m_pitch && other->m_bit_count == m_bit_count && !IsEmpty()) {
    std::uint8_t* to = Lock(0, 0);
    std::memcpy(to, other->row_address(0), static_cast<std::size_t>(m_pitch) * static_cast<std::size_t>(m_height));
    Unlock();
    return;
  }
  TCustomDIBX::Assign(src);
}

void TDIBX::Clear() {
  ReleaseDC();
  allocate(0, 0, m_bit_count, 8, 8);
  m_clip = Rect{};
}

void TDIBX::GetPalette(Palette& out) const { out = m_palette; }

void TDIBX::GetPaletteEntries(std::span<PaletteEntry> out, int first) const {
  for (std::size_t i = 0; i < out.size(); ++i) {
    const std::size_t at = static_cast<std::size_t>(first) + i;
    out[i] = first >= 0 && at < m_palette.size() ? m_palette[at] : PaletteEntry{};
  }
}

void TDIBX::SetPalette(const Palette& palette) { m_palette = palette; }

void TDIBX::SetPaletteEntries(std::span<const PaletteEntry> entries, int first) {
  if (first < 0) return;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::size_t at = static_cast<std::size_t>(first) + i;
    if (at < m_palette.size()) m_palette[at] = entries[i];
  }
}

platform::PixelView TDIBX::PresentView() const {
  platform::PixelFormat f;
  switch (m_bit_count) {
    case 32: f = platform::PixelFormat::Xrgb32; break;
    case 16: f = platform::PixelFormat::Rgb565; break;
    case 15: f = platform::PixelFormat::Xrgb1555; break;
    default: return {};
  }
  if (IsEmpty()) return {};
  return platform::PixelView{row_address(0), m_width, m_height, m_pitch, f};
}

}  // namespace nova::graphics
