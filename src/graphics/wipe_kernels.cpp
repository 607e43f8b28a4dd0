// The choice of the mask-transition kernels, and the portable set.
#include "graphics/wipe_kernels.h"

#include <cstring>

namespace nova::graphics::detail {
namespace {

inline std::uint64_t load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Runs of eight mask bytes that are all 0 or all 255 are copied whole from
// one screen; the rest go pixel by pixel.
template <int Bytes, std::uint32_t (*Mix)(std::uint32_t, std::uint32_t, int)>
void mix_row(const WipeRowJob& j) {
  int i = 0;
  for (; i + 8 <= j.count; i += 8) {
    const std::uint64_t m = load64(j.mask + i);
    if (m == 0 || m == ~0ull) {
      std::memcpy(j.dst + i * Bytes, (m == 0 ? j.old_row : j.new_row) + i * Bytes, 8 * Bytes);
      continue;
    }
    for (int k = i; k < i + 8; ++k) wipe_mix_pixel<Bytes, Mix>(j, k);
  }
  for (; i < j.count; ++i) wipe_mix_pixel<Bytes, Mix>(j, i);
}

// Binary masks: runs of equal mask bytes are copied whole.
template <int Bytes>
void select_row(const WipeRowJob& j) {
  int i = 0;
  while (i < j.count) {
    const bool from_new = j.mask[i] != 0;
    int k = i + 1;
    while (k < j.count && (j.mask[k] != 0) == from_new) ++k;
    std::memcpy(j.dst + i * Bytes, (from_new ? j.new_row : j.old_row) + i * Bytes,
                static_cast<std::size_t>(k - i) * Bytes);
    i = k;
  }
}

template <int Bytes, int Format, std::uint32_t (*Op)(std::uint32_t, std::uint32_t)>
void shadow_row(const WipeShadowJob& j) {
  for (int i = 0; i < j.count; ++i) wipe_shadow_pixel<Bytes, Format, Op>(j, i);
}

template <int Bytes, int Format, std::uint32_t (*Add)(std::uint32_t, std::uint32_t)>
void spot_row(const WipeSpotJob& j) {
  for (int i = 0; i < j.count; ++i) wipe_spot_pixel<Bytes, Format, Add>(j, i);
}

template <int Bytes>
void transpose8(const std::uint8_t* src, std::ptrdiff_t src_pitch, std::uint8_t* dst, std::ptrdiff_t dst_pitch,
                int blocks, std::ptrdiff_t src_next, std::ptrdiff_t dst_next) {
  for (int b = 0; b < blocks; ++b, src += src_next, dst += dst_next) {
    for (int i = 0; i < 8; ++i) {
      for (int j = 0; j < 8; ++j) std::memcpy(dst + dst_pitch * j + Bytes * i, src + src_pitch * i + Bytes * j, Bytes);
    }
  }
}

template <class T>
void stretch(std::uint8_t* to, const std::uint8_t* from, int count, std::int64_t step, int /*length*/) {
  wipe_stretch_samples(reinterpret_cast<T*>(to), reinterpret_cast<const T*>(from), 0, count, step);
}

struct Sets {
  WipeKernelSet portable{};
  WipeKernelSet sse2{};
  WipeKernelSet avx2{};
  Sets() {
    fill_wipe_portable(portable);
    sse2 = portable;
    fill_wipe_sse2(sse2);
    avx2 = sse2;
    fill_wipe_avx2(avx2);
  }
};

void ripple_sources(const WipeRippleRow& r, std::int32_t* sx, std::int32_t* sy) { wipe_ripple_sources(r, 0, sx, sy); }

}  // namespace

void fill_wipe_portable(WipeKernelSet& set) {
  set.mix[0] = mix_row<4, wipe_mix_x888>;
  set.mix[1] = mix_row<2, wipe_mix_r565>;
  set.mix[2] = mix_row<2, wipe_mix_x555>;
  set.select[0] = select_row<4>;
  set.select[1] = select_row<2>;
  set.select[2] = select_row<2>;
  set.shadow_add[0] = shadow_row<4, 0, WipeX888::add>;
  set.shadow_add[1] = shadow_row<2, 1, WipeR565::add>;
  set.shadow_add[2] = shadow_row<2, 2, WipeX555::add>;
  set.shadow_sub[0] = shadow_row<4, 0, WipeX888::sub>;
  set.shadow_sub[1] = shadow_row<2, 1, WipeR565::sub>;
  set.shadow_sub[2] = shadow_row<2, 2, WipeX555::sub>;
  set.spot[0] = spot_row<4, 0, WipeX888::add>;
  set.spot[1] = spot_row<2, 1, WipeR565::add>;
  set.spot[2] = spot_row<2, 2, WipeX555::add>;
  set.transpose8[0] = transpose8<4>;
  set.transpose8[1] = transpose8<2>;
  set.stretch[0] = stretch<std::uint32_t>;
  set.stretch[1] = stretch<std::uint16_t>;
  set.ripple_sources = ripple_sources;
}

const WipeKernelSet* wipe_kernels_for(PixelPath p) {
  // The surfaces' kernel sets say which paths this processor has.
  if (p == PixelPath::Reference || !kernels_for(p)) return nullptr;
  static const Sets sets;
  switch (p) {
    case PixelPath::Portable: return &sets.portable;
    case PixelPath::Sse2: return &sets.sse2;
    case PixelPath::Avx2: return &sets.avx2;
    case PixelPath::Reference: break;
  }
  return nullptr;
}

}  // namespace nova::graphics::detail
