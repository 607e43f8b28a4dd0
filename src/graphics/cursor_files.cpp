#include "graphics/cursor_files.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "core/binary_io.h"
#include "core/error.h"
#include "graphics/dib_surface.h"
#include "graphics/png_codec.h"

namespace nova::graphics {

namespace {

constexpr std::size_t kDirectoryBytes = 6;
constexpr std::size_t kEntryBytes = 16;
constexpr std::uint32_t kBitmapInfoBytes = 40;

[[noreturn]] void damaged(const std::string& what) { throw core::Error("cursor file: " + what); }

std::uint16_t u16_at(std::span<const std::uint8_t> b, std::size_t at) {
  if (at + 2 > b.size()) damaged("truncated");
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t u32_at(std::span<const std::uint8_t> b, std::size_t at) {
  if (at + 4 > b.size()) damaged("truncated");
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

bool is_png(std::span<const std::uint8_t> b) {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return b.size() >= 8 && std::equal(kSignature, kSignature + 8, b.begin());
}

void check_side(std::int64_t side, const char* what) {
  if (side < 1 || side > kMaxCursorSide) damaged(std::string(what) + " " + std::to_string(side) + " out of range");
}

CursorFrame frame_of_png(std::span<const std::uint8_t> data) {
  TDIBSurface picture;
  std::int32_t transparent = -1;
  PictureLimits limits;
  limits.max_side = kMaxCursorSide;
  limits.max_pixels = std::int64_t{kMaxCursorSide} * kMaxCursorSide;
  limits.max_total_bytes = std::int64_t{8} << 20;
  read_png(data, picture, transparent, limits);
  CursorFrame f;
  f.width = picture.Width();
  f.height = picture.Height();
  check_side(f.width, "width");
  check_side(f.height, "height");
  f.argb.resize(static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height));
  for (int y = 0; y < f.height; ++y) {
    for (int x = 0; x < f.width; ++x) {
      const std::uint32_t pixel = picture.GetPixel(x, y);
      const auto colour = static_cast<std::uint32_t>(picture.PixelToColour(pixel));
      std::uint32_t alpha = picture.HasAlpha() ? picture.Alpha()->GetPixel(x, y) & 0xFF : 0xFF;
      if (transparent >= 0 && pixel == static_cast<std::uint32_t>(transparent)) alpha = 0;
      const std::uint32_t r = colour & 0xFF, g = colour >> 8 & 0xFF, b = colour >> 16 & 0xFF;
      f.argb[static_cast<std::size_t>(y) * static_cast<std::size_t>(f.width) + static_cast<std::size_t>(x)] =
          alpha << 24 | r << 16 | g << 8 | b;
    }
  }
  return f;
}

// A bitmap entry: the info header, the palette, the colour rows and the
// AND mask, rows bottom-up, each padded to four bytes.
CursorFrame frame_of_bitmap(std::span<const std::uint8_t> data) {
  const std::uint32_t header = u32_at(data, 0);
  if (header < kBitmapInfoBytes || header > data.size()) damaged("bitmap header size " + std::to_string(header));
  const auto width = static_cast<std::int32_t>(u32_at(data, 4));
  const auto double_height = static_cast<std::int32_t>(u32_at(data, 8));
  const int bits = u16_at(data, 14);
  const std::uint32_t compression = u32_at(data, 16);
  const std::uint32_t used = u32_at(data, 32);
  check_side(width, "width");
  // The height counts the colour rows and the mask rows.
  if (double_height < 2 || double_height % 2 != 0) damaged("height " + std::to_string(double_height));
  const std::int32_t height = double_height / 2;
  check_side(height, "height");
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) damaged("bit count " + std::to_string(bits));
  if (compression != 0) damaged("compressed bitmap");
  std::uint64_t colours = 0;
  if (bits <= 8) {
    colours = used != 0 ? used : (1u << bits);
    if (colours > (1u << bits)) damaged("palette of " + std::to_string(used) + " colours");
  }
  const std::uint64_t row = (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bits) + 31) / 32 * 4;
  const std::uint64_t mask_row = (static_cast<std::uint64_t>(width) + 31) / 32 * 4;
  const std::uint64_t palette_at = header;
  const std::uint64_t pixels_at = palette_at + colours * 4;
  const std::uint64_t mask_at = pixels_at + row * static_cast<std::uint64_t>(height);
  const std::uint64_t end = mask_at + mask_row * static_cast<std::uint64_t>(height);
  if (end > data.size()) damaged("bitmap beyond its entry");

  // A 32-bit bitmap with any alpha keeps its alpha; without, the mask
  // decides, as for the other depths.
  bool any_alpha = false;
  if (bits == 32) {
    for (std::int32_t y = 0; y < height && !any_alpha; ++y) {
      const std::uint8_t* src = data.data() + pixels_at + row * static_cast<std::uint64_t>(y);
      for (std::int32_t x = 0; x < width && !any_alpha; ++x) any_alpha = src[static_cast<std::size_t>(x) * 4 + 3] != 0;
    }
  }
  CursorFrame f;
  f.width = width;
  f.height = height;
  f.argb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* src = data.data() + pixels_at + row * static_cast<std::uint64_t>(height - 1 - y);
    const std::uint8_t* mask = data.data() + mask_at + mask_row * static_cast<std::uint64_t>(height - 1 - y);
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint32_t rgb = 0, alpha = 0xFF;
      if (bits <= 8) {
        const int per_byte = 8 / bits;
        const int shift = 8 - bits * (x % per_byte + 1);
        const std::uint32_t index = (src[x / per_byte] >> shift) & ((1u << bits) - 1);
        if (index < colours) {
          const std::uint8_t* p = data.data() + palette_at + index * 4;
          rgb = static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
        }
      } else {
        const std::uint8_t* p = src + static_cast<std::size_t>(x) * static_cast<std::size_t>(bits / 8);
        rgb = static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
        if (bits == 32) alpha = p[3];
      }
      const bool masked = (mask[x / 8] >> (7 - x % 8) & 1) != 0;
      std::uint32_t& out =
          f.argb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
      if (any_alpha) {
        out = alpha << 24 | rgb;
      } else if (masked) {
        // Inverting pixels become black.
        out = rgb != 0 ? 0xFF000000u : 0u;
      } else {
        out = 0xFF000000u | rgb;
      }
    }
  }
  return f;
}

struct Entry {
  int width = 0, height = 0, colours_rank = 0;
  platform::Point hotspot;
  std::span<const std::uint8_t> data;
};

// How many colours an entry's picture has, for choosing: the bit count.
int colours_rank(std::span<const std::uint8_t> data) {
  if (is_png(data)) return 32;
  if (data.size() < 16) damaged("entry too short");
  return u16_at(data, 14);
}

}  // namespace

CursorFrame read_cursor_file(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kDirectoryBytes) damaged("truncated directory");
  const std::uint16_t reserved = u16_at(bytes, 0), type = u16_at(bytes, 2), count = u16_at(bytes, 4);
  if (reserved != 0 || (type != 1 && type != 2)) damaged("not a cursor directory");
  if (count == 0) damaged("no pictures");
  if (kDirectoryBytes + std::uint64_t{count} * kEntryBytes > bytes.size()) damaged("directory beyond the file");
  std::vector<Entry> entries;
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::size_t at = kDirectoryBytes + std::size_t{i} * kEntryBytes;
    Entry e;
    e.width = bytes[at] == 0 ? 256 : bytes[at];
    e.height = bytes[at + 1] == 0 ? 256 : bytes[at + 1];
    // Icons keep planes and bit count where cursors keep the hotspot.
    if (type == 2) e.hotspot = {u16_at(bytes, at + 4), u16_at(bytes, at + 6)};
    const std::uint32_t size = u32_at(bytes, at + 8), offset = u32_at(bytes, at + 12);
    if (std::uint64_t{offset} + size > bytes.size() || size == 0)
      damaged("picture " + std::to_string(i) + " beyond the file");
    e.data = bytes.subspan(offset, size);
    e.colours_rank = colours_rank(e.data);
    entries.push_back(e);
  }
  const auto distance = [](const Entry& e) { return std::abs(e.width - 32) + std::abs(e.height - 32); };
  const Entry& best = *std::min_element(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
    if (distance(a) != distance(b)) return distance(a) < distance(b);
    return a.colours_rank > b.colours_rank;
  });
  CursorFrame f = is_png(best.data) ? frame_of_png(best.data) : frame_of_bitmap(best.data);
  f.hotspot = {std::min(best.hotspot.x, f.width - 1), std::min(best.hotspot.y, f.height - 1)};
  return f;
}

std::vector<CursorFrame> read_animated_cursor(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 12 || std::string_view(reinterpret_cast<const char*>(bytes.data()), 4) != "RIFF" ||
      std::string_view(reinterpret_cast<const char*>(bytes.data()) + 8, 4) != "ACON") {
    damaged("not an animated cursor");
  }
  const std::uint64_t riff_end = std::min<std::uint64_t>(bytes.size(), std::uint64_t{u32_at(bytes, 4)} + 8);
  std::vector<CursorFrame> icons;
  std::vector<std::uint32_t> rates, sequence;
  std::uint32_t frames_declared = 0, steps_declared = 0, default_rate = kDefaultCursorJiffies;
  bool header = false;
  const auto four = [&](std::uint64_t at) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()) + at, 4);
  };
  const auto table = [&](std::uint64_t at, std::uint32_t size, std::vector<std::uint32_t>& out) {
    if (size % 4 != 0 || size / 4 > kMaxCursorFrames) damaged("table of " + std::to_string(size) + " bytes");
    for (std::uint32_t i = 0; i < size / 4; ++i) out.push_back(u32_at(bytes, at + i * 4));
  };
  std::uint64_t at = 12;
  while (at + 8 <= riff_end) {
    const std::string_view id = four(at);
    const std::uint32_t size = u32_at(bytes, at + 4);
    const std::uint64_t body = at + 8;
    if (body + size > riff_end) damaged("chunk beyond the file");
    if (id == "anih") {
      if (size < 36) damaged("short header");
      frames_declared = u32_at(bytes, body + 4);
      steps_declared = u32_at(bytes, body + 8);
      default_rate = u32_at(bytes, body + 28);
      header = true;
    } else if (id == "rate") {
      table(body, size, rates);
    } else if (id == "seq ") {
      table(body, size, sequence);
    } else if (id == "LIST" && size >= 4 && four(body) == "fram") {
      std::uint64_t in = body + 4;
      const std::uint64_t list_end = body + size;
      while (in + 8 <= list_end) {
        const std::uint32_t icon_size = u32_at(bytes, in + 4);
        if (in + 8 + icon_size > list_end) damaged("frame beyond its list");
        if (four(in) == "icon") {
          if (icons.size() >= kMaxCursorFrames) damaged("more than " + std::to_string(kMaxCursorFrames) + " frames");
          icons.push_back(read_cursor_file(bytes.subspan(in + 8, icon_size)));
        }
        in += 8 + icon_size + (icon_size & 1);
      }
    }
    at = body + size + (size & 1);
  }
  if (!header) damaged("no header");
  if (icons.empty()) damaged("no frames");
  if (frames_declared != 0 && frames_declared != icons.size()) damaged("frame count differs from the frames");
  const std::size_t steps = !sequence.empty() ? sequence.size() : steps_declared != 0 ? steps_declared : icons.size();
  if (steps > kMaxCursorFrames) damaged("more than " + std::to_string(kMaxCursorFrames) + " steps");
  if (!rates.empty() && rates.size() != steps) damaged("rate table differs from the steps");
  std::vector<CursorFrame> out;
  out.reserve(steps);
  for (std::size_t s = 0; s < steps; ++s) {
    const std::uint32_t index = sequence.empty() ? static_cast<std::uint32_t>(s % icons.size()) : sequence[s];
    if (index >= icons.size()) damaged("step shows frame " + std::to_string(index));
    CursorFrame f = icons[index];
    const std::uint32_t jiffies = rates.empty() ? default_rate : rates[s];
    f.display_ms = static_cast<int>(
        std::min<std::uint64_t>(std::uint64_t{std::max<std::uint32_t>(jiffies, 1)} * 1000 / 60, 60000));
    out.push_back(std::move(f));
  }
  return out;
}

std::vector<CursorFrame> read_any_cursor(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 4 && std::string_view(reinterpret_cast<const char*>(bytes.data()), 4) == "RIFF")
    return read_animated_cursor(bytes);
  return {read_cursor_file(bytes)};
}

}  // namespace nova::graphics
