// Seeds for the PNG fuzzer, written with libpng: every colour type and
// depth, interlaced or not, with and without tRNS.
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "../common/seeds.h"

namespace {

struct Sink {
  std::vector<std::uint8_t> bytes;
};

void write_bytes(png_structp png, png_bytep data, png_size_t n) {
  auto* s = static_cast<Sink*>(png_get_io_ptr(png));
  s->bytes.insert(s->bytes.end(), data, data + n);
}
void flush(png_structp) {}

// A 9 × 5 picture; returns no bytes when libpng refuses the combination.
std::vector<std::uint8_t> make_png(int colour_type, int depth, bool interlaced, bool trns) {
  const png_uint_32 w = 9, h = 5;
  Sink sink;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  const int channels = colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_PALETTE ? 1
                       : colour_type == PNG_COLOR_TYPE_GRAY_ALPHA                                  ? 2
                       : colour_type == PNG_COLOR_TYPE_RGB                                         ? 3
                                                                                                   : 4;
  const std::size_t row_bytes = (w * static_cast<std::size_t>(channels * depth) + 7) / 8;
  std::vector<std::uint8_t> image(row_bytes * h);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 37 + 11);
  if (colour_type == PNG_COLOR_TYPE_PALETTE && depth == 8) {
    for (auto& b : image) b %= 16;
  }
  std::vector<png_bytep> rows(h);
  for (png_uint_32 y = 0; y < h; ++y) rows[y] = image.data() + row_bytes * y;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &sink, write_bytes, flush);
  png_set_IHDR(png, info, w, h, depth, colour_type, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color palette[16];
  for (int i = 0; i < 16; ++i)
    palette[i] = png_color{static_cast<png_byte>(i * 16), static_cast<png_byte>(255 - i), 0x40};
  if (colour_type == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, std::min(16, 1 << depth));
  if (trns) {
    if (colour_type == PNG_COLOR_TYPE_PALETTE) {
      png_byte alpha[3] = {255, 0, static_cast<png_byte>(depth == 1 ? 255 : 128)};
      png_set_tRNS(png, info, alpha, depth == 1 ? 2 : 3, nullptr);
    } else {
      png_color_16 colour{0, 1, 2, 3, 1};
      png_set_tRNS(png, info, nullptr, 0, &colour);
    }
  }
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return sink.bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  struct Type {
    int colour;
    std::vector<int> depths;
    bool trns;
  };
  const Type types[] = {{PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}, true},
                        {PNG_COLOR_TYPE_RGB, {8, 16}, true},
                        {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}, true},
                        {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}, false},
                        {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}, false}};
  int n = 0;
  for (const Type& t : types) {
    for (int depth : t.depths) {
      for (bool interlaced : {false, true}) {
        for (bool trns : {false, true}) {
          if (trns && !t.trns) continue;
          const auto bytes = make_png(t.colour, depth, interlaced, trns);
          if (!bytes.empty()) nova::fuzz::write_seed(folder, n++, bytes);
        }
      }
    }
  }
  return 0;
}
