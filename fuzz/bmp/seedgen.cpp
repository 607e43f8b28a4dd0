// Seeds for the bitmap fuzzer: the tests' hand writer's files of every
// header, depth, compression and row order, and our own 24-bit writer's.
#include <filesystem>

#include "../common/seeds.h"
#include "graphics/bmp_codec.h"
#include "graphics/memory_dibx.h"
#include "picture_builders.h"

using namespace nova;
namespace gt = graphics::test;

int main(int argc, char** argv) {
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  int n = 0;
  std::vector<graphics::PaletteEntry> palette;
  for (int i = 0; i < 256; ++i) {
    palette.push_back(
        {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 3), 0});
  }
  for (std::uint32_t header : {12u, 40u, 108u, 124u}) {
    for (int bits : {1, 4, 8, 16, 24, 32}) {
      for (bool top_down : {false, true}) {
        if (header == 12 && (bits > 24 || top_down)) continue;
        gt::RawBmp b;
        b.header_size = header;
        b.width = 7;
        b.height = top_down ? -3 : 3;
        b.bits = static_cast<std::uint16_t>(bits);
        if (bits <= 8) b.palette.assign(palette.begin(), palette.begin() + (1 << bits));
        std::vector<std::uint32_t> px;
        for (std::uint32_t i = 0; i < 21; ++i) px.push_back(i * 0x9E3779B1u & (bits >= 32 ? ~0u : (1u << bits) - 1));
        b.pixels = gt::dib_rows(7, 3, bits == 16 ? 15 : bits, px);
        fuzz::write_seed(folder, n++, gt::build_bmp(b));
      }
    }
  }
  gt::RawBmp fields;
  fields.header_size = 40;
  fields.width = 2;
  fields.height = 1;
  fields.bits = 16;
  fields.compression = 3;
  for (const auto& masks :
       {std::vector<std::uint32_t>{0xF800, 0x07E0, 0x001F}, std::vector<std::uint32_t>{0x0F00, 0x00F0, 0x000F}}) {
    fields.masks = masks;
    fields.pixels = gt::le32(0x12345678);
    fuzz::write_seed(folder, n++, gt::build_bmp(fields));
  }
  fields.header_size = 124;
  fields.bits = 32;
  fields.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  fields.pixels = gt::le32(0x80112233) + gt::le32(0x00445566);
  fuzz::write_seed(folder, n++, gt::build_bmp(fields));
  gt::RawBmp rle;
  rle.width = 6;
  rle.height = 3;
  rle.bits = 8;
  rle.compression = 1;
  rle.palette = palette;
  rle.pixels = std::string("\x03\x07\x00\x03\x01\x02\x03\x00\x00\x00\x00\x02\x02\x01\x02\x09\x00\x01", 18);
  fuzz::write_seed(folder, n++, gt::build_bmp(rle));
  rle.bits = 4;
  rle.compression = 2;
  rle.palette.resize(16);
  rle.pixels = std::string("\x03\xAB\x00\x03\xCD\xE0\x00\x00\x04\x12\x00\x01", 12);
  fuzz::write_seed(folder, n++, gt::build_bmp(rle));
  graphics::TDIBX s;
  s.SetSize(5, 4, 16);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) s.SetPixel(x, y, static_cast<std::uint32_t>(x * 0x0841 + y * 0x3000));
  }
  const auto ours = graphics::write_bmp24(s);
  fuzz::write_seed(folder, n++, ours);
  return 0;
}
