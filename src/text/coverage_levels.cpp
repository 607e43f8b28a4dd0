#include "text/coverage_levels.h"

#include <algorithm>
#include <array>

namespace nova::text {

namespace {

constexpr std::array<std::uint8_t, 2> kMono = {0, 255};

constexpr std::array<std::uint8_t, 5> kGray2 = {0, 79, 127, 207, 255};

constexpr std::array<std::uint8_t, 17> kGray4 = {
    0,                                            //
    43,  55,  67,  79,  91,  103, 115,            // 1..7
    159, 171, 183, 195, 207, 219, 231, 243, 255,  // 8..16
};

constexpr std::array<std::uint8_t, 65> kGray8 = {
    0,                                                                               //
    18,  21,  24,  27,  30,  33,  36,                                                // 1..7
    55,  58,  61,  64,  67,  70,  73,  76,  79,  82,  85,  88,  91,  94,  97,  100,  // 8..23
    119, 122, 125, 128, 131, 134, 137, 140, 143, 146, 149, 152, 155, 158, 161, 164,  // 24..39
    183, 186, 189, 192, 195, 198, 201, 204, 207, 210, 213, 216, 219, 222, 225, 228,  // 40..55
    231, 234, 237, 240, 243, 246, 249, 252, 255,                                     // 56..64
};

}  // namespace

platform::GlyphFormat format_of_quality(std::int32_t quality) {
  switch (quality) {
    case 0: return platform::GlyphFormat::Mono;
    case 1: return platform::GlyphFormat::Gray2;
    case 2: return platform::GlyphFormat::Gray4;
    default: return platform::GlyphFormat::Gray8;
  }
}

std::span<const std::uint8_t> coverage_table(platform::GlyphFormat format) {
  switch (format) {
    case platform::GlyphFormat::Mono: return kMono;
    case platform::GlyphFormat::Gray2: return kGray2;
    case platform::GlyphFormat::Gray4: return kGray4;
    case platform::GlyphFormat::Gray8: break;
  }
  return kGray8;
}

const std::array<std::uint8_t, 256>& coverage_lookup(platform::GlyphFormat format) {
  static const auto lookups = [] {
    std::array<std::array<std::uint8_t, 256>, 4> out{};
    for (int f = 0; f < 4; ++f) {
      const std::span<const std::uint8_t> table = coverage_table(static_cast<platform::GlyphFormat>(f));
      for (std::size_t raw = 0; raw < 256; ++raw)
        out[static_cast<std::size_t>(f)][raw] = table[std::min(raw, table.size() - 1)];
    }
    return out;
  }();
  return lookups[static_cast<std::size_t>(format)];
}

}  // namespace nova::text
