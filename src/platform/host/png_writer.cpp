#include "platform/png_writer.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace nova::platform {

bool write_png(const std::filesystem::path& path, const PixelView& pixels, Rect area) {
  area = area.intersected(Rect{0, 0, pixels.width, pixels.height});
  if (area.empty() || !pixels.pixels) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = png && info;
  std::vector<png_byte> row(static_cast<std::size_t>(area.width()) * 3);
  if (ok && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(area.width()), static_cast<png_uint_32>(area.height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = area.top; y < area.bottom; ++y) {
      for (int x = area.left; x < area.right; ++x) {
        std::uint32_t v = to_rgb32(pixels.format == PixelFormat::Xrgb32
                                       ? [&] { std::uint32_t p; std::memcpy(&p, pixels.row(y) + x * 4, 4); return p; }()
                                       : [&] { std::uint16_t p; std::memcpy(&p, pixels.row(y) + x * 2, 2); return static_cast<std::uint32_t>(p); }(),
                                   pixels.format);
        std::size_t i = static_cast<std::size_t>(x - area.left) * 3;
        row[i] = static_cast<png_byte>(v >> 16);
        row[i + 1] = static_cast<png_byte>(v >> 8);
        row[i + 2] = static_cast<png_byte>(v);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  } else {
    ok = false;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  if (std::fclose(f) != 0) ok = false;
  if (!ok) std::filesystem::remove(path);
  return ok;
}

}  // namespace nova::platform
