#include "media/mix_kernels.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace nova::media {

void add_saturating_scalar(std::int16_t* dst, const std::int16_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<std::int16_t>(std::clamp(dst[i] + src[i], -32768, 32767));
}

void add_saturating(std::int16_t* dst, const std::int16_t* src, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_adds_epi16(a, b));
  }
#endif
  add_saturating_scalar(dst + i, src + i, n - i);
}

}  // namespace nova::media
