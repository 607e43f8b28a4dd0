#include "graphics/pixel_format.h"

#include <bit>

namespace nova::graphics {

ChannelMasks masks_for_bit_count(int bit_count) {
  ChannelMasks m;
  switch (bit_count) {
    case 15: m.red = 0x7C00; m.green = 0x03E0; m.blue = 0x001F; break;
    case 16: m.red = 0xF800; m.green = 0x07E0; m.blue = 0x001F; break;
    case 24:
    case 32: m.red = 0xFF0000; m.green = 0x00FF00; m.blue = 0x0000FF; break;
    default: {
      // Index and 8-bit value layouts: one channel over the whole pixel.
      const std::uint32_t all = bit_count >= 1 && bit_count < 8 ? (1u << bit_count) - 1 : 0xFFu;
      m.colour = all;
      m.list = {all, 0, 0};
      m.count = 1;
      return m;
    }
  }
  m.colour = m.red | m.green | m.blue;
  m.list = {m.red, m.green, m.blue};
  m.count = 3;
  return m;
}

int mask_shift(std::uint32_t mask) { return mask == 0 ? 0 : std::countr_zero(mask); }
int mask_bits(std::uint32_t mask) { return std::popcount(mask); }

std::int32_t color_to_pixel(int bit_count, std::int32_t colour) {
  if (colour < 0) return -1;
  if (bit_count != 15 && bit_count != 16 && bit_count != 32) return colour;
  const ChannelMasks m = masks_for_bit_count(bit_count);
  const int rb = mask_bits(m.red), gb = mask_bits(m.green), bb = mask_bits(m.blue);
  const std::uint32_t r = static_cast<std::uint32_t>(color_red(colour)) >> (8 - rb);
  const std::uint32_t g = static_cast<std::uint32_t>(color_green(colour)) >> (8 - gb);
  const std::uint32_t b = static_cast<std::uint32_t>(color_blue(colour)) >> (8 - bb);
  return static_cast<std::int32_t>((r << (gb + bb)) | (g << bb) | b);
}

}  // namespace nova::graphics
