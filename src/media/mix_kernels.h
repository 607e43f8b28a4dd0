// The inner loop of the wave mixer: adding a sound's samples to a block,
// saturating at the 16-bit limits. The SSE2 form is the one used; the
// scalar form is the reference the tests hold it to, bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nova::media {

void add_saturating_scalar(std::int16_t* dst, const std::int16_t* src, std::size_t n);
void add_saturating(std::int16_t* dst, const std::int16_t* src, std::size_t n);

}  // namespace nova::media
