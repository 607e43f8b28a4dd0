// The vector kernels of the mask-driven transitions, written once over a
// small table of vector operations (S) and compiled with SSE2 and with AVX2
// vectors. Private to wipe_kernels_sse2.cpp and wipe_kernels_avx2.cpp.
//
// 32-bit pixels are widened to 16-bit lanes per byte: o × (255 − m) + n × m
// is at most 255 × 255 and fits a lane. 16- and 15-bit pixels keep one pixel
// per lane, split into their channels. Groups whose mask bytes are all 0 or
// all 255 are copied whole; tails shorter than a vector run the per-pixel
// formulas.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "graphics/wipe_kernels.h"

namespace nova::graphics::detail {
namespace {

template <int N>
inline int mask_run(const std::uint8_t* m) {
  std::uint64_t a = 0, b = 0;
  if constexpr (N == 4) {
    std::uint32_t v;
    std::memcpy(&v, m, 4);
    return v == 0 ? 0 : v == 0xFFFFFFFFu ? 1 : 2;
  } else if constexpr (N == 8) {
    std::memcpy(&a, m, 8);
    return a == 0 ? 0 : a == ~0ull ? 1 : 2;
  } else {
    static_assert(N == 16);
    std::memcpy(&a, m, 8);
    std::memcpy(&b, m + 8, 8);
    return (a | b) == 0 ? 0 : (a & b) == ~0ull ? 1 : 2;
  }
}

template <class S>
struct WipeVector {
  using V = typename S::V;
  static constexpr int P32 = S::kBytes / 4;
  static constexpr int P16 = S::kBytes / 2;

  // Per colour byte: m = 0 → o, m = 255 → n, else (o × (255 − m) + n × m)
  // >> 8, with the top byte of a mixed pixel 0 as the per-pixel formula
  // leaves it (a pixel taken whole keeps its own).
  static V mix_bytes(V o, V n, V m) {
    const V ff = S::set16(255);
    const V mlo = S::lo8(m), mhi = S::hi8(m);
    const V lo = S::template srl16<8>(S::add16(S::mullo16(S::lo8(o), S::sub16(ff, mlo)), S::mullo16(S::lo8(n), mlo)));
    const V hi = S::template srl16<8>(S::add16(S::mullo16(S::hi8(o), S::sub16(ff, mhi)), S::mullo16(S::hi8(n), mhi)));
    V r = S::and_(S::pack16(lo, hi), S::set32(0x00FFFFFF));
    r = S::select(S::cmpeq8(m, S::zero()), o, r);
    return S::select(S::cmpeq8(m, S::set8(-1)), n, r);
  }

  // Every group of vector-width pixels: copied from one screen when its
  // mask bytes are all 0 or all 255, else vec(old, new, mask bytes); the
  // tail pixel by pixel.
  template <int Bytes, int PerVector, class Vec>
  static void each_group(const WipeRowJob& j, Vec vec, void (*pixel)(const WipeRowJob&, int)) {
    int i = 0;
    for (; i + PerVector <= j.count; i += PerVector) {
      const int run = mask_run<PerVector>(j.mask + i);
      if (run < 2) {
        S::storeu(j.dst + i * Bytes, S::loadu((run == 0 ? j.old_row : j.new_row) + i * Bytes));
        continue;
      }
      S::storeu(j.dst + i * Bytes, vec(S::loadu(j.old_row + i * Bytes), S::loadu(j.new_row + i * Bytes), j.mask + i));
    }
    for (; i < j.count; ++i) pixel(j, i);
  }

  static void mix32(const WipeRowJob& j) {
    each_group<4, P32>(
        j, [](V o, V n, const std::uint8_t* m) { return mix_bytes(o, n, S::mask_dwords(m)); },
        wipe_mix_pixel<4, wipe_mix_x888>);
  }

  static void select32(const WipeRowJob& j) {
    each_group<4, P32>(
        j, [](V o, V n, const std::uint8_t* m) { return S::select(S::cmpeq8(S::mask_dwords(m), S::zero()), o, n); },
        wipe_select_pixel<4>);
  }

  // The channel at `Shift` of 16-bit pixels, `bits` wide.
  template <int Shift>
  static V field(V p, V bits) {
    if constexpr (Shift == 0) {
      return S::and_(p, bits);
    } else {
      return S::and_(S::template srl16<Shift>(p), bits);
    }
  }

  // One channel of 16-bit lanes: (a × (255 − m) + b × m) >> 8.
  static V channel(V a, V b, V m, V inv) {
    return S::template srl16<8>(S::add16(S::mullo16(a, inv), S::mullo16(b, m)));
  }

  template <int RedShift, int GreenMask, std::uint32_t (*Mix)(std::uint32_t, std::uint32_t, int)>
  static void mix16(const WipeRowJob& j) {
    each_group<2, P16>(
        j,
        [](V o, V n, const std::uint8_t* mask) {
          const V c31 = S::set16(31), cg = S::set16(GreenMask), ff = S::set16(255);
          const V m = S::mask_words(mask), inv = S::sub16(ff, m);
          const V r = channel(field<RedShift>(o, c31), field<RedShift>(n, c31), m, inv);
          const V g = channel(field<5>(o, cg), field<5>(n, cg), m, inv);
          const V b = channel(field<0>(o, c31), field<0>(n, c31), m, inv);
          V v = S::or_(S::template sll16<RedShift>(r), S::or_(S::template sll16<5>(g), b));
          v = S::select(S::cmpeq16(m, S::zero()), o, v);
          return S::select(S::cmpeq16(m, ff), n, v);
        },
        wipe_mix_pixel<2, Mix>);
  }

  static void select16(const WipeRowJob& j) {
    each_group<2, P16>(
        j, [](V o, V n, const std::uint8_t* m) { return S::select(S::cmpeq16(S::mask_words(m), S::zero()), o, n); },
        wipe_select_pixel<2>);
  }

  // One channel of 16-bit pixels (field mask M), moved to the top of its
  // lane so that the lanes' unsigned saturation clamps it, then back.
  template <bool Sub, std::uint32_t M>
  static V shade_channel(V p, V a) {
    constexpr int top = std::countl_zero(M) - 16;
    const V m = S::set16(static_cast<int>(M));
    const V x = S::template sll16<top>(S::and_(p, m)), y = S::template sll16<top>(S::and_(a, m));
    return S::and_(S::template srl16<top>(Sub ? S::subs16u(x, y) : S::adds16u(x, y)), m);
  }

  // Pixels from the new screen where the key byte is at least the
  // threshold, then a pixel row added (subtracted) per channel, saturating:
  // bytes of 32-bit pixels saturate by themselves, 16-bit channels through
  // shade_channel. The bits outside the channels come out 0, as from the
  // per-pixel formulas.
  template <int Bytes, bool Sub, std::uint32_t R, std::uint32_t G, std::uint32_t B>
  static void shade(const WipeShadeJob& j) {
    using C = WipeChannels<R, G, B>;
    constexpr int per = Bytes == 4 ? P32 : P16;
    const V t = Bytes == 4 ? S::set8(j.threshold) : S::set16(j.threshold);
    int i = 0;
    for (; i + per <= j.count; i += per) {
      V from_new;
      if constexpr (Bytes == 4) {
        const V k = S::mask_dwords(j.key + i);
        from_new = S::cmpeq8(S::max8u(k, t), k);
      } else {
        const V k = S::mask_words(j.key + i);
        from_new = S::cmpeq16(S::max16(k, t), k);
      }
      const V src = S::select(from_new, S::loadu(j.new_row + i * Bytes), S::loadu(j.old_row + i * Bytes));
      const V a = S::loadu(j.amount + i * Bytes);
      V out;
      if constexpr (Bytes == 4) {
        out = S::and_(Sub ? S::subs8u(src, a) : S::adds8u(src, a), S::set32(0x00FFFFFF));
      } else {
        out =
            S::or_(S::or_(shade_channel<Sub, R>(src, a), shade_channel<Sub, G>(src, a)), shade_channel<Sub, B>(src, a));
      }
      S::storeu(j.dst + i * Bytes, out);
    }
    for (; i < j.count; ++i) wipe_shade_pixel<Bytes, Sub ? C::sub : C::add>(j, i);
  }

  // One channel (field mask M) of 16-bit pixels moved to the top of its
  // lane, `top` (a value with only the channel's width of top bits) added
  // with unsigned saturation (which fills the bits below), and moved back.
  template <std::uint32_t M>
  static V add_at_top(V p, V top) {
    constexpr int shift = std::countl_zero(M) - 16;
    const V m = S::set16(static_cast<int>(M));
    return S::and_(S::template srl16<shift>(S::adds16u(S::template sll16<shift>(S::and_(p, m)), top)), m);
  }

  // The spotlight: v = b − threshold in 16-bit lanes (for 32-bit pixels
  // each threshold fills both halves of its pixel's lane, so every 16-bit
  // comparison covers the whole pixel), the grey built from g in place,
  // then the plain pixels chosen where v is outside the ring.
  template <int Bytes, int Format, std::uint32_t R, std::uint32_t G, std::uint32_t B>
  static void spot(const WipeSpotJob& j) {
    using C = WipeChannels<R, G, B>;
    constexpr int per = Bytes == 4 ? P32 : P16;
    const V bv = S::set16(j.b), c511 = S::set16(511), c255 = S::set16(255);
    // The job's fields in locals: the stores below could alias the job.
    std::uint8_t* const dst = j.dst;
    const std::uint8_t* const old_row = j.old_row;
    const std::uint8_t* const new_row = j.new_row;
    const std::int16_t* const threshold = j.threshold;
    const int count = j.count;
    int i = 0;
    for (; i + per <= count; i += per) {
      const V t = Bytes == 4 ? S::thresholds_dwords(threshold + i) : S::loadu(threshold + i);
      const V v = S::sub16(bv, t);
      const V before = S::cmpgt16(S::zero(), v), after = S::cmpgt16(v, c511);
      const V o = S::loadu(old_row + i * Bytes), n = S::loadu(new_row + i * Bytes);
      const V src = S::select(S::cmpgt16(v, c255), n, o);
      const V g = S::min16(v, S::sub16(c511, v));
      V out;
      if constexpr (Bytes == 4) {
        out = S::and_(S::adds8u(src, S::or_(g, S::template sll16<8>(g))), S::set32(0x00FFFFFF));
      } else {
        // Each channel of the grey is g's top bits, already at the top of
        // the lane where its channel is added: 5 bits, or 6 for the green
        // of 5-6-5.
        const V grey5 = S::template sll16<8>(S::and_(g, S::set16(0xF8)));
        const V grey_g = Format == 1 ? S::template sll16<8>(S::and_(g, S::set16(0xFC))) : grey5;
        out = S::or_(S::or_(add_at_top<R>(src, grey5), add_at_top<G>(src, grey_g)), add_at_top<B>(src, grey5));
      }
      out = S::select(before, o, out);
      S::storeu(dst + i * Bytes, S::select(after, n, out));
    }
    for (; i < count; ++i) wipe_spot_pixel<Bytes, Format, C::add>(j, i);
  }

  static void fill(WipeKernelSet& set) {
    set.mix[0] = mix32;
    set.mix[1] = mix16<11, 63, wipe_mix_r565>;
    set.mix[2] = mix16<10, 31, wipe_mix_x555>;
    set.select[0] = select32;
    set.select[1] = select16;
    set.select[2] = select16;
    set.add[0] = shade<4, false, 0xFF0000, 0x00FF00, 0x0000FF>;
    set.add[1] = shade<2, false, 0xF800, 0x07E0, 0x001F>;
    set.add[2] = shade<2, false, 0x7C00, 0x03E0, 0x001F>;
    set.subtract[0] = shade<4, true, 0xFF0000, 0x00FF00, 0x0000FF>;
    set.subtract[1] = shade<2, true, 0xF800, 0x07E0, 0x001F>;
    set.subtract[2] = shade<2, true, 0x7C00, 0x03E0, 0x001F>;
    set.spot[0] = spot<4, 0, 0xFF0000, 0x00FF00, 0x0000FF>;
    set.spot[1] = spot<2, 1, 0xF800, 0x07E0, 0x001F>;
    set.spot[2] = spot<2, 2, 0x7C00, 0x03E0, 0x001F>;
  }
};

}  // namespace
}  // namespace nova::graphics::detail
