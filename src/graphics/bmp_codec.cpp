#include "graphics/bmp_codec.h"

#include <bit>
#include <cstring>
#include <string>

#include "core/binary_io.h"
#include "core/error.h"
#include "core/format.h"

namespace nova::graphics {
namespace {

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3 };

[[noreturn]] void fail(const std::string& why) { core::throw_error("bitmap file: " + why); }

std::string header_name(std::uint32_t size) {
  switch (size) {
    case 16:
    case 64: return "the OS/2 2.x header";
    case 52: return "the V2 info header";
    case 56: return "the V3 info header";
    default: return core::format("a %u-byte header", {size});
  }
}

std::string compression_name(std::uint32_t c) {
  switch (c) {
    case 4: return "BI_JPEG";
    case 5: return "BI_PNG";
    case 6: return "BI_ALPHABITFIELDS";
    case 11: return "BI_CMYK";
    case 12: return "BI_CMYKRLE8";
    case 13: return "BI_CMYKRLE4";
    default: return core::format("compression %u", {c});
  }
}

// One colour channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t max = 0;

  explicit Channel(std::uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    const std::uint32_t run = m >> shift;
    if ((run & (run + 1)) != 0) fail(core::format("the colour mask %08X is not one run of bits", {m}));
    max = run;
  }
  std::uint8_t operator()(std::uint32_t v) const {
    if (max == 0) return 0;
    const std::uint64_t c = (v & mask) >> shift;
    return static_cast<std::uint8_t>((c * 255 + max / 2) / max);
  }
};

void decode_rle(std::span<const std::uint8_t> d, bool rle8, bool top_down, TDIBSurface& out) {
  const int w = out.Width(), h = out.Height();
  std::size_t pos = 0;
  std::int64_t x = 0, line = 0;
  auto put = [&](std::uint32_t v) {
    if (x < w && line < h) out.SetPixel(static_cast<int>(x), static_cast<int>(top_down ? line : h - 1 - line), v);
    ++x;
  };
  auto need = [&](std::size_t n) {
    if (n > d.size() - pos) fail("the RLE data ends before its end mark");
  };
  while (true) {
    need(2);
    const std::uint8_t count = d[pos], value = d[pos + 1];
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(rle8 ? value : (i & 1) ? value & 15u : value >> 4u);
      continue;
    }
    if (value == 0) {
      x = 0;
      ++line;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      need(2);
      x += d[pos];
      line += d[pos + 1];
      pos += 2;
    } else {
      const std::size_t bytes = rle8 ? value : (value + 1u) / 2;
      const std::size_t padded = (bytes + 1) & ~std::size_t{1};
      need(padded);
      for (int i = 0; i < value; ++i) {
        put(rle8      ? d[pos + static_cast<std::size_t>(i)]
            : (i & 1) ? d[pos + static_cast<std::size_t>(i / 2)] & 15u
                      : d[pos + static_cast<std::size_t>(i / 2)] >> 4u);
      }
      pos += padded;
    }
  }
}

}  // namespace

void read_bmp(std::span<const std::uint8_t> data, TDIBSurface& out, const PictureLimits& limits) {
  core::ByteReader r(data);
  r.set_context("bitmap file");
  const auto signature = r.span(2);
  if (signature[0] != 'B' || signature[1] != 'M') fail("no \"BM\" signature");
  r.skip(8);
  const std::uint32_t off_bits = r.u32();
  const std::uint32_t header_size = r.u32();
  std::int64_t width = 0, height = 0;
  int bits = 0;
  std::uint32_t compression = kRgb, colours_used = 0;
  std::uint32_t masks[3] = {0, 0, 0};
  bool have_masks = false;
  const bool core_header = header_size == 12;
  if (core_header) {
    width = r.u16();
    height = r.u16();
    r.u16();
    bits = r.u16();
  } else if (header_size == 40 || header_size == 108 || header_size == 124) {
    width = r.i32();
    height = r.i32();
    r.u16();
    bits = r.u16();
    compression = r.u32();
    r.skip(12);
    colours_used = r.u32();
    r.u32();
    if (header_size > 40) {
      for (auto& m : masks) m = r.u32();
      r.skip(header_size - 52);
      have_masks = true;
    } else if (compression == kBitfields) {
      for (auto& m : masks) m = r.u32();
      have_masks = true;
    }
  } else {
    fail(header_name(header_size) + " is not read");
  }
  if (compression > kBitfields) fail(compression_name(compression) + " is not read");
  const bool valid =
      (compression == kRgb && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) ||
      (compression == kRle8 && bits == 8) || (compression == kRle4 && bits == 4) ||
      (compression == kBitfields && (bits == 16 || bits == 32));
  if (!valid) {
    fail(core::format("%d bits per pixel do not go with %s", {bits, compression == kRle8   ? "BI_RLE8"
                                                                    : compression == kRle4 ? "BI_RLE4"
                                                                    : compression == kRgb  ? "BI_RGB"
                                                                                           : "BI_BITFIELDS"}));
  }
  if (compression != kBitfields || !have_masks) {
    if (bits == 16) {
      masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else {
      masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
    }
  }
  const bool top_down = height < 0;
  if (top_down) height = -height;
  int our_bits = bits;
  if (bits == 16) {
    if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F) {
      our_bits = 15;
    } else if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) {
      our_bits = 16;
    } else {
      our_bits = 24;
    }
  } else if (bits == 32) {
    our_bits = 24;
  }
  check_picture_size(width, height, our_bits, limits, "bitmap file");

  Palette palette{};
  if (bits <= 8) {
    const std::uint32_t limit = 1u << bits;
    const std::uint32_t entries = colours_used == 0 || colours_used > limit ? limit : colours_used;
    const std::size_t entry_size = core_header ? 3 : 4;
    if (std::uint64_t{entries} * entry_size > r.remaining()) fail("the colour table is cut short");
    for (std::uint32_t i = 0; i < entries; ++i) {
      const auto e = r.span(entry_size);
      palette[i] = PaletteEntry{e[0], e[1], e[2], 0};
    }
  }
  if (off_bits > data.size()) fail("the pixel data lies beyond the end of the file");
  const auto pixels = data.subspan(off_bits);
  const std::int64_t stride = dib_row_bytes(width, bits);
  const bool rle = compression == kRle8 || compression == kRle4;
  if (!rle && stride * height > static_cast<std::int64_t>(pixels.size())) fail("the pixel rows are cut short");

  out.SetPalette(palette);
  out.SetSize(static_cast<int>(width), static_cast<int>(height), our_bits);
  if (bits == 32) out.CreateAlpha(0);
  if (out.IsEmpty()) return;
  if (rle) {
    decode_rle(pixels, compression == kRle8, top_down, out);
    return;
  }
  const int w = static_cast<int>(width), h = static_cast<int>(height);
  const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
  TDIBX* plane = out.Alpha();
  const bool plain_32 = masks[0] == 0xFF0000 && masks[1] == 0x00FF00 && masks[2] == 0x0000FF;
  for (int i = 0; i < h; ++i) {
    const int y = top_down ? i : h - 1 - i;
    const std::uint8_t* s = pixels.data() + stride * i;
    std::uint8_t* d = out.Row(y);
    if (bits == our_bits || (bits == 16 && our_bits <= 16)) {
      std::memcpy(d, s, static_cast<std::size_t>(stride));
    } else if (bits == 32) {
      std::uint8_t* a = plane->Lock(0, y);
      for (int x = 0; x < w; ++x, s += 4, d += 3) {
        if (plain_32) {
          d[0] = s[0], d[1] = s[1], d[2] = s[2];
        } else {
          std::uint32_t v;
          std::memcpy(&v, s, 4);
          d[0] = blue(v), d[1] = green(v), d[2] = red(v);
        }
        a[x] = s[3];
      }
    } else {  // 16-bit fields of other masks
      for (int x = 0; x < w; ++x, s += 2, d += 3) {
        const std::uint32_t v = static_cast<std::uint32_t>(s[0] | s[1] << 8);
        d[0] = blue(v), d[1] = green(v), d[2] = red(v);
      }
    }
  }
}

std::vector<std::uint8_t> write_bmp24(const TCustomDIBX& surface) {
  const int w = surface.GetWidth(), h = surface.GetHeight(), bits = surface.GetBitCount();
  Palette palette;
  surface.GetPalette(palette);
  const auto stride = static_cast<std::uint32_t>(dib_row_bytes(w, 24));
  const std::uint32_t image = stride * static_cast<std::uint32_t>(h);
  core::ByteWriter out;
  out.bytes("BM");
  out.u32(14 + 40 + image);
  out.u32(0);
  out.u32(14 + 40);
  out.u32(40);
  out.i32(w);
  out.i32(h);
  out.u16(1);
  out.u16(24);
  out.u32(kRgb);
  out.u32(image);
  out.i32(2835);  // 72 dots per inch
  out.i32(2835);
  out.u32(0);
  out.u32(0);
  std::vector<std::uint8_t> row(stride, 0);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const std::int32_t c = pixel_to_colour(bits, palette, surface.GetPixel(x, y));
      row[static_cast<std::size_t>(x) * 3] = static_cast<std::uint8_t>(color_blue(c));
      row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<std::uint8_t>(color_green(c));
      row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<std::uint8_t>(color_red(c));
    }
    out.bytes(std::span<const std::uint8_t>(row));
  }
  return out.take();
}

}  // namespace nova::graphics
