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
    const V none = S::cmpeq8(m, S::zero()), all = S::cmpeq8(m, S::set8(-1));
    if (!S::any(S::or_(none, all))) return r;
    r = S::select(none, o, r);
    return S::select(all, n, r);
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

  // The per-group operations are small structs rather than lambdas: the
  // AVX2 file's target region does not reach a lambda's body with every
  // compiler.
  struct Mix32 {
    V operator()(V o, V n, const std::uint8_t* m) const { return mix_bytes(o, n, S::mask_dwords(m)); }
  };
  struct Select32 {
    V operator()(V o, V n, const std::uint8_t* m) const {
      return S::select(S::cmpeq8(S::mask_dwords(m), S::zero()), o, n);
    }
  };

  static void mix32(const WipeRowJob& j) { each_group<4, P32>(j, Mix32{}, wipe_mix_pixel<4, wipe_mix_x888>); }

  static void select32(const WipeRowJob& j) { each_group<4, P32>(j, Select32{}, wipe_select_pixel<4>); }

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

  // The red field of a pixel: at the top of 5-6-5 pixels the shift alone
  // isolates it; 5-5-5 pixels have a bit above it.
  template <int RedShift>
  static V red(V p, V bits) {
    if constexpr (RedShift == 11) {
      return S::template srl16<11>(p);
    } else {
      return field<RedShift>(p, bits);
    }
  }

  template <int RedShift, int GreenMask>
  struct Mix16 {
    V operator()(V o, V n, const std::uint8_t* mask) const {
      const V c31 = S::set16(31), cg = S::set16(GreenMask), ff = S::set16(255);
      const V m = S::mask_words(mask), inv = S::sub16(ff, m);
      const V r = channel(red<RedShift>(o, c31), red<RedShift>(n, c31), m, inv);
      const V g = channel(field<5>(o, cg), field<5>(n, cg), m, inv);
      const V b = channel(field<0>(o, c31), field<0>(n, c31), m, inv);
      V v = S::or_(S::template sll16<RedShift>(r), S::or_(S::template sll16<5>(g), b));
      // Weights 0 and 255 take whole pixels; groups without them (most
      // of a soft edge) skip the two selections.
      const V none = S::cmpeq16(m, S::zero()), all = S::cmpeq16(m, ff);
      if (!S::any(S::or_(none, all))) return v;
      v = S::select(none, o, v);
      return S::select(all, n, v);
    }
  };
  struct Select16 {
    V operator()(V o, V n, const std::uint8_t* m) const {
      return S::select(S::cmpeq16(S::mask_words(m), S::zero()), o, n);
    }
  };

  template <int RedShift, int GreenMask, std::uint32_t (*Mix)(std::uint32_t, std::uint32_t, int)>
  static void mix16(const WipeRowJob& j) {
    each_group<2, P16>(j, Mix16<RedShift, GreenMask>{}, wipe_mix_pixel<2, Mix>);
  }

  static void select16(const WipeRowJob& j) { each_group<2, P16>(j, Select16{}, wipe_select_pixel<2>); }

  // One channel (field mask M) of 16-bit pixels moved to the top of its
  // lane, `top` (a value with only the channel's width of top bits) added
  // with unsigned saturation (which fills the bits below), and moved back.
  // The channels above it leave the lane on the way up; those below it
  // ride along under the channel (top has zeros there, so they change only
  // when the channel saturates) and are masked off on the way back, which
  // the lowest channel does not need: its way back shifts them out.
  template <std::uint32_t M, bool Sub = false>
  static V add_at_top(V p, V top) {
    constexpr int shift = std::countl_zero(M) - 16;
    V x = p;
    if constexpr (shift > 0) x = S::template sll16<shift>(x);
    x = Sub ? S::subs16u(x, top) : S::adds16u(x, top);
    if constexpr (shift > 0) x = S::template srl16<shift>(x);
    if constexpr ((M & 1) == 0) x = S::and_(x, S::set16(static_cast<int>(M)));
    return x;
  }

  // The grey of g (16-bit lanes, 0..255) added to (subtracted from) each
  // channel of src: for 32-bit pixels g in every byte of its lane (each g
  // fills both halves of its pixel's lane), for 16-bit ones each channel's
  // top bits at the top of the lane, where its channel is added. The bits
  // outside the channels come out 0.
  template <int Bytes, int Format, bool Sub, std::uint32_t R, std::uint32_t G, std::uint32_t B>
  static V shade_grey(V src, V g) {
    if constexpr (Bytes == 4) {
      const V grey = S::or_(g, S::template sll16<8>(g));
      return S::and_(Sub ? S::subs8u(src, grey) : S::adds8u(src, grey), S::set32(0x00FFFFFF));
    } else {
      // 5 bits, or 6 for the green of 5-6-5.
      const V top = S::template sll16<8>(g);
      const V grey5 = S::and_(top, S::set16(static_cast<short>(0xF800)));
      const V grey_g = Format == 1 ? S::and_(top, S::set16(static_cast<short>(0xFC00))) : grey5;
      return S::or_(S::or_(add_at_top<R, Sub>(src, grey5), add_at_top<G, Sub>(src, grey_g)),
                    add_at_top<B, Sub>(src, grey5));
    }
  }

  // Mask white and black: v = clamp(level + offset, 0, 511) in 16-bit
  // lanes (for 32-bit pixels each level fills both halves of its pixel's
  // lane), the screen chosen by v > 255, the grey min(v, 511 − v).
  template <int Bytes, int Format, bool Sub, std::uint32_t R, std::uint32_t G, std::uint32_t B>
  static void shadow(const WipeShadowJob& j) {
    using C = WipeChannels<R, G, B>;
    constexpr int per = Bytes == 4 ? P32 : P16;
    const V off = S::set16(j.offset), c511 = S::set16(511), c255 = S::set16(255);
    std::uint8_t* const dst = j.dst;
    const std::uint8_t* const old_row = j.old_row;
    const std::uint8_t* const new_row = j.new_row;
    const std::uint8_t* const key = j.key;
    const int count = j.count;
    int i = 0;
    for (; i + per <= count; i += per) {
      const V k = Bytes == 4 ? S::and_(S::mask_dwords(key + i), S::set32(0x00FF00FF)) : S::mask_words(key + i);
      // Unclamped, v > 255 picks the same screen, and min(v, 511 − v)
      // below 0 (v outside 0..511) is the grey 0 the clamp would give.
      const V v = S::add16(k, off);
      const V src = S::select(S::cmpgt16(v, c255), S::loadu(new_row + i * Bytes), S::loadu(old_row + i * Bytes));
      const V g = S::max16(S::min16(v, S::sub16(c511, v)), S::zero());
      S::storeu(dst + i * Bytes, shade_grey<Bytes, Format, Sub, R, G, B>(src, g));
    }
    for (; i < count; ++i) wipe_shadow_pixel<Bytes, Format, Sub ? C::sub : C::add>(j, i);
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
      V out = shade_grey<Bytes, Format, false, R, G, B>(src, g);
      out = S::select(before, o, out);
      S::storeu(dst + i * Bytes, S::select(after, n, out));
    }
    for (; i < count; ++i) wipe_spot_pixel<Bytes, Format, C::add>(j, i);
  }

  // The 8 × 8 transpose of 16-bit lanes within each 128-bit half: rows
  // interleaved by lanes, pairs and quadruples.
  static void transpose_words(V (&r)[8]) {
    V a[8], b[8];
    for (int i = 0; i < 4; ++i) {
      a[2 * i] = S::unpacklo16(r[2 * i], r[2 * i + 1]);
      a[2 * i + 1] = S::unpackhi16(r[2 * i], r[2 * i + 1]);
    }
    // b[0..3]: columns (0,1), (2,3), (4,5), (6,7) of rows 0..3; b[4..7] of
    // rows 4..7.
    for (int half = 0; half < 2; ++half) {
      const V* x = a + 4 * half;
      V* y = b + 4 * half;
      y[0] = S::unpacklo32(x[0], x[2]);
      y[1] = S::unpackhi32(x[0], x[2]);
      y[2] = S::unpacklo32(x[1], x[3]);
      y[3] = S::unpackhi32(x[1], x[3]);
    }
    for (int i = 0; i < 4; ++i) {
      r[2 * i] = S::unpacklo64(b[i], b[i + 4]);
      r[2 * i + 1] = S::unpackhi64(b[i], b[i + 4]);
    }
  }

  static void fill(WipeKernelSet& set) {
    set.mix[0] = mix32;
    set.mix[1] = mix16<11, 63, wipe_mix_r565>;
    set.mix[2] = mix16<10, 31, wipe_mix_x555>;
    set.select[0] = select32;
    set.select[1] = select16;
    set.select[2] = select16;
    set.shadow_add[0] = shadow<4, 0, false, 0xFF0000, 0x00FF00, 0x0000FF>;
    set.shadow_add[1] = shadow<2, 1, false, 0xF800, 0x07E0, 0x001F>;
    set.shadow_add[2] = shadow<2, 2, false, 0x7C00, 0x03E0, 0x001F>;
    set.shadow_sub[0] = shadow<4, 0, true, 0xFF0000, 0x00FF00, 0x0000FF>;
    set.shadow_sub[1] = shadow<2, 1, true, 0xF800, 0x07E0, 0x001F>;
    set.shadow_sub[2] = shadow<2, 2, true, 0x7C00, 0x03E0, 0x001F>;
    set.spot[0] = spot<4, 0, 0xFF0000, 0x00FF00, 0x0000FF>;
    set.spot[1] = spot<2, 1, 0xF800, 0x07E0, 0x001F>;
    set.spot[2] = spot<2, 2, 0x7C00, 0x03E0, 0x001F>;
  }
};

}  // namespace
}  // namespace nova::graphics::detail
