// The antialiasing levels of the glyph manager: which bitmap format each
// quality asks the font service for, and how the format's raw values become
// coverage bytes.
//
// The gray tables are piecewise and not linear: titles were made for the
// gray levels these tables give, so they are kept value for value (level 3
// jumps from 36 to 55, from 100 to 119 and from 164 to 183; level 2 from 115
// to 159).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "platform/fonts.h"

namespace nova::text {

// Qualities run from 0 (monochrome) to 3 (65 gray levels).
inline constexpr std::int32_t kLowestQuality = 0;
inline constexpr std::int32_t kHighestQuality = 3;

// The format a quality asks for: 0 monochrome, 1 five levels, 2 seventeen,
// 3 sixty-five.
platform::GlyphFormat format_of_quality(std::int32_t quality);

// Coverage (0..255) of every raw value of a format, indexed by the raw value:
// 2 entries for the monochrome format (clear, set), 5, 17 and 65 for the
// gray ones.
std::span<const std::uint8_t> coverage_table(platform::GlyphFormat format);

// The same table over every byte value, raw values above the format's
// highest level taken as that level, for converting without a test.
const std::array<std::uint8_t, 256>& coverage_lookup(platform::GlyphFormat format);

}  // namespace nova::text
