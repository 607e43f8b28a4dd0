// Pixel layouts of surfaces: bit counts, channel masks and shifts, and the
// conversion of the platform's colour words into pixel values.
//
// A colour word holds red in the low byte, green in the next and blue in the
// third (negative: no colour). Pixel values are in a surface's own layout.
#pragma once

#include <array>
#include <cstdint>

#include "platform/types.h"

namespace nova::graphics {

using Rect = platform::Rect;
using Point = platform::Point;

// The channel masks of one layout. Channels are addressed by their masks and
// never shifted down in the generic arithmetic, so the same formula serves
// every layout.
struct ChannelMasks {
  std::uint32_t red = 0;
  std::uint32_t green = 0;
  std::uint32_t blue = 0;
  // The bits that carry colour: the three masks together (0xFF for 8 bits,
  // where the single channel is the whole byte). Pixels compare equal when
  // these bits do; the rest (the top byte of 32-bit pixels, the top bit of
  // 15-bit ones) is ignored, as the layouts say.
  std::uint32_t colour = 0;
  // The channels for arithmetic: one (8 bits) or three.
  std::array<std::uint32_t, 3> list{};
  int count = 0;
};

// Masks of a layout by its bit count (8, 15, 16, 24 or 32). Bit counts 1 and 4
// are index formats with one channel of that many bits.
ChannelMasks masks_for_bit_count(int bit_count);

// Bits a pixel of this bit count occupies in storage (16 for 15 and 16).
constexpr int storage_bits(int bit_count) { return bit_count == 15 ? 16 : bit_count; }

// Number of trailing zero bits of a mask (the channel's shift); 0 for 0.
int mask_shift(std::uint32_t mask);
// Number of set bits of a mask.
int mask_bits(std::uint32_t mask);

// The colour word converted to a pixel of a layout with these masks: negative
// stays −1; for 15, 16 and 32 bits each channel keeps its top bits; for 8 and
// 24 bits the colour word is returned unchanged.
std::int32_t color_to_pixel(int bit_count, std::int32_t colour);

// Red, green and blue bytes of a colour word.
constexpr int color_red(std::int32_t c) { return c & 0xFF; }
constexpr int color_green(std::int32_t c) { return (c >> 8) & 0xFF; }
constexpr int color_blue(std::int32_t c) { return (c >> 16) & 0xFF; }
constexpr std::int32_t rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }

// One palette entry as the tables store it: blue, green, red, reserved.
struct PaletteEntry {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t reserved = 0;
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};
using Palette = std::array<PaletteEntry, 256>;

}  // namespace nova::graphics
