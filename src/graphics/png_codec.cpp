#include "graphics/png_codec.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/format.h"

namespace nova::graphics {
namespace {

// libpng reports errors through a callback that longjmps back to the frame
// that called into it. Those frames (read_head, read_rows, write_all) hold
// no object with a destructor; everything that owns memory lives in the
// callers.
struct Callbacks {
  char message[256] = {};
};

void on_error(png_structp png, png_const_charp text) {
  auto* c = static_cast<Callbacks*>(png_get_error_ptr(png));
  std::snprintf(c->message, sizeof c->message, "%s", text ? text : "error");
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

struct Source {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position;
};

void read_bytes(png_structp png, png_bytep out, png_size_t n) {
  auto* s = static_cast<Source*>(png_get_io_ptr(png));
  if (n > s->size - s->position) png_error(png, "the file ends early");
  std::memcpy(out, s->data + s->position, n);
  s->position += n;
}

struct ReadStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~ReadStructs() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

// How the picture is delivered.
enum class Kind { Palette, Palette2, Rgb, Rgba };

struct Head {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  Kind kind = Kind::Rgb;
  int bits = 24;  // of the bitmap made
  std::int32_t transparent = -1;
  Palette palette{};
  std::size_t row_bytes = 0;
};

// Scales a tRNS sample of `depth` bits as the transforms scale the pixels.
int to_8_bits(unsigned v, int depth) {
  if (depth == 16) return static_cast<int>(v >> 8);
  if (depth == 8) return static_cast<int>(v & 0xFF);
  return static_cast<int>((v & ((1u << depth) - 1)) * 255 / ((1u << depth) - 1));
}

bool read_head(ReadStructs& r, Source& src, Head& h, png_uint_32 max_side) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_set_read_fn(r.png, &src, read_bytes);
  png_set_user_limits(r.png, max_side, max_side);
  png_read_info(r.png, r.info);
  int depth = 0, colour = 0, interlace = 0;
  png_get_IHDR(r.png, r.info, &h.width, &h.height, &depth, &colour, &interlace, nullptr, nullptr);
  const bool has_trns = png_get_valid(r.png, r.info, PNG_INFO_tRNS) != 0;
  if (colour == PNG_COLOR_TYPE_PALETTE) {
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(r.png, r.info, &entries, &count) == 0) count = 0;
    for (int i = 0; i < count && i < 256; ++i) {
      h.palette[static_cast<std::size_t>(i)] = PaletteEntry{entries[i].blue, entries[i].green, entries[i].red, 0};
    }
    bool keep = true;
    if (has_trns) {
      png_bytep alpha = nullptr;
      int n = 0;
      png_get_tRNS(r.png, r.info, &alpha, &n, nullptr);
      int clear = 0, partial = 0, which = -1;
      for (int i = 0; i < n; ++i) {
        if (alpha[i] == 0) {
          ++clear;
          which = i;
        } else if (alpha[i] != 255) {
          ++partial;
        }
      }
      keep = clear == 1 && partial == 0;
      if (keep) h.transparent = which;
    }
    if (keep) {
      h.kind = depth == 2 ? Kind::Palette2 : Kind::Palette;
      h.bits = depth == 2 ? 4 : depth;
    } else {
      png_set_palette_to_rgb(r.png);
      png_set_tRNS_to_alpha(r.png);
      png_set_bgr(r.png);
      h.kind = Kind::Rgba;
    }
  } else {
    if (has_trns && (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_RGB)) {
      png_color_16p c = nullptr;
      png_get_tRNS(r.png, r.info, nullptr, nullptr, &c);
      if (c) {
        const int red = colour == PNG_COLOR_TYPE_GRAY ? to_8_bits(c->gray, depth) : to_8_bits(c->red, depth);
        const int green = colour == PNG_COLOR_TYPE_GRAY ? red : to_8_bits(c->green, depth);
        const int blue = colour == PNG_COLOR_TYPE_GRAY ? red : to_8_bits(c->blue, depth);
        h.transparent = red << 16 | green << 8 | blue;
      }
    }
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(r.png);
    if (depth == 16) png_set_strip_16(r.png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(r.png);
    png_set_bgr(r.png);
    h.kind = (colour & PNG_COLOR_MASK_ALPHA) ? Kind::Rgba : Kind::Rgb;
  }
  png_set_interlace_handling(r.png);
  png_read_update_info(r.png, r.info);
  h.row_bytes = png_get_rowbytes(r.png, r.info);
  return true;
}

bool read_rows(ReadStructs& r, png_bytepp rows) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_read_image(r.png, rows);
  png_read_end(r.png, nullptr);
  return true;
}

[[noreturn]] void fail(const Callbacks& c) {
  core::throw_error(core::format("PNG file is damaged (%s)", {std::string(c.message)}));
}

// --- Writing -------------------------------------------------------------------------------

struct Sink {
  files::MemoryBlock* out;
};

void write_bytes(png_structp png, png_bytep data, png_size_t n) {
  auto* s = static_cast<Sink*>(png_get_io_ptr(png));
  bool failed = false;
  try {
    s->out->append({data, n});
  } catch (...) {
    failed = true;
  }
  if (failed) png_error(png, "out of memory");
}

void flush_bytes(png_structp) {}

struct WriteStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteStructs() {
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
  }
};

struct WritePlan {
  png_uint_32 width;
  png_uint_32 height;
  int depth;
  int colour_type;
  png_color palette[256];
  int palette_count;
  png_byte trans_alpha[256];
  int trans_count;
  png_color_16 trans_colour;
  bool has_trans_colour;
};

bool write_all(WriteStructs& w, Sink& sink, const WritePlan& p, png_bytepp rows) {
  if (setjmp(png_jmpbuf(w.png))) return false;
  png_set_write_fn(w.png, &sink, write_bytes, flush_bytes);
  png_set_IHDR(w.png, w.info, p.width, p.height, p.depth, p.colour_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (p.colour_type == PNG_COLOR_TYPE_PALETTE) {
    png_set_PLTE(w.png, w.info, const_cast<png_colorp>(p.palette), p.palette_count);
    if (p.trans_count > 0) {
      png_set_tRNS(w.png, w.info, const_cast<png_bytep>(p.trans_alpha), p.trans_count, nullptr);
    }
  } else if (p.has_trans_colour) {
    png_set_tRNS(w.png, w.info, nullptr, 0, const_cast<png_color_16p>(&p.trans_colour));
  }
  png_write_info(w.png, w.info);
  png_write_image(w.png, rows);
  png_write_end(w.png, nullptr);
  return true;
}

}  // namespace

void read_png(std::span<const std::uint8_t> data, TDIBSurface& out, std::int32_t& transparent,
              const PictureLimits& limits) {
  Callbacks callbacks;
  ReadStructs r;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &callbacks, on_error, on_warning);
  if (r.png) r.info = png_create_info_struct(r.png);
  if (!r.png || !r.info) core::throw_error("PNG: cannot start reading");
  Source src{data.data(), data.size(), 0};
  Head h;
  if (!read_head(r, src, h, static_cast<png_uint_32>(limits.max_side))) fail(callbacks);
  check_picture_size(h.width, h.height, h.bits, limits, "PNG picture");

  out.SetPalette(h.palette);
  out.SetSize(static_cast<int>(h.width), static_cast<int>(h.height), h.bits);
  std::vector<png_bytep> rows(h.height);
  std::vector<std::uint8_t> staged;
  const bool direct = h.kind == Kind::Palette || h.kind == Kind::Rgb;
  if (direct) {
    for (png_uint_32 y = 0; y < h.height; ++y) rows[y] = out.Row(static_cast<int>(y));
  } else {
    staged.resize(h.row_bytes * h.height);
    for (png_uint_32 y = 0; y < h.height; ++y) rows[y] = staged.data() + h.row_bytes * y;
  }
  if (!read_rows(r, rows.data())) {
    out.Clear();
    fail(callbacks);
  }
  const int w = static_cast<int>(h.width);
  if (h.kind == Kind::Palette2) {
    for (png_uint_32 y = 0; y < h.height; ++y) {
      const std::uint8_t* s = rows[y];
      for (int x = 0; x < w; ++x) out.SetPixel(x, static_cast<int>(y), (s[x >> 2] >> (6 - 2 * (x & 3))) & 3u);
    }
  } else if (h.kind == Kind::Rgba) {
    TDIBX& plane = out.CreateAlpha(0);
    for (png_uint_32 y = 0; y < h.height; ++y) {
      const std::uint8_t* s = rows[y];
      std::uint8_t* d = out.Row(static_cast<int>(y));
      std::uint8_t* a = plane.Lock(0, static_cast<int>(y));
      for (int x = 0; x < w; ++x, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        a[x] = s[3];
      }
    }
  }
  transparent = h.transparent;
}

void write_png(const TDIBSurface& picture, std::int32_t transparent, files::MemoryBlock& out) {
  if (picture.IsEmpty()) core::throw_error("PNG: an empty picture cannot be written");
  const int w = picture.Width(), h = picture.Height(), bits = picture.BitCount();
  const TDIBX* plane = picture.Alpha();
  const std::uint32_t cmp = pixel_compare_mask(bits);
  WritePlan p{};
  p.width = static_cast<png_uint_32>(w);
  p.height = static_cast<png_uint_32>(h);
  std::vector<std::uint8_t> pixels;
  std::size_t row_bytes;
  if (bits <= 8 && !plane) {
    p.depth = bits;
    p.colour_type = PNG_COLOR_TYPE_PALETTE;
    p.palette_count = 1 << bits;
    for (int i = 0; i < p.palette_count; ++i) {
      const PaletteEntry& e = picture.GetPalette()[static_cast<std::size_t>(i)];
      p.palette[i] = png_color{e.red, e.green, e.blue};
    }
    if (transparent != -1) {
      const auto index = static_cast<int>(static_cast<std::uint32_t>(transparent) & cmp);
      p.trans_count = index + 1;
      std::memset(p.trans_alpha, 255, sizeof p.trans_alpha);
      p.trans_alpha[index] = 0;
    }
    row_bytes = static_cast<std::size_t>(dib_row_bytes(w, bits));
    pixels.resize(row_bytes * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) std::memcpy(pixels.data() + row_bytes * y, picture.Row(y), row_bytes);
  } else {
    const int channels = plane ? 4 : 3;
    p.depth = 8;
    p.colour_type = plane ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    if (!plane && transparent != -1) {
      const std::int32_t c = picture.PixelToColour(static_cast<std::uint32_t>(transparent));
      p.has_trans_colour = true;
      p.trans_colour.red = static_cast<png_uint_16>(color_red(c));
      p.trans_colour.green = static_cast<png_uint_16>(color_green(c));
      p.trans_colour.blue = static_cast<png_uint_16>(color_blue(c));
    }
    row_bytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(channels);
    pixels.resize(row_bytes * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
      std::uint8_t* d = pixels.data() + row_bytes * y;
      const std::uint8_t* a = plane ? plane->LockRead(0, y) : nullptr;
      for (int x = 0; x < w; ++x, d += channels) {
        const std::uint32_t v = picture.GetPixel(x, y);
        const std::int32_t c = picture.PixelToColour(v);
        d[0] = static_cast<std::uint8_t>(color_red(c));
        d[1] = static_cast<std::uint8_t>(color_green(c));
        d[2] = static_cast<std::uint8_t>(color_blue(c));
        if (a) d[3] = pixel_is_key(v, transparent, cmp) ? 0 : a[x];
      }
    }
  }
  std::vector<png_bytep> rows(static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y) rows[static_cast<std::size_t>(y)] = pixels.data() + row_bytes * y;
  Callbacks callbacks;
  WriteStructs ws;
  ws.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &callbacks, on_error, on_warning);
  if (ws.png) ws.info = png_create_info_struct(ws.png);
  if (!ws.png || !ws.info) core::throw_error("PNG: cannot start writing");
  out.clear();
  Sink sink{&out};
  if (!write_all(ws, sink, p, rows.data())) {
    core::throw_error(core::format("PNG: cannot write (%s)", {std::string(callbacks.message)}));
  }
}

}  // namespace nova::graphics
