// The vector kernels, written once over a small table of vector operations
// (S) and compiled twice: with 16-byte SSE2 vectors and with 32-byte AVX2
// ones. Private to kernels_sse2.cpp and kernels_avx2.cpp, each of which
// includes it after defining its S.
//
// 32-bit pixels are split into their even and odd bytes, each in a 16-bit
// lane: s × w + d × (255 − w) is at most 255 × 255 and fits a lane, so the
// arithmetic is exact. 16- and 15-bit pixels keep one pixel per lane and
// split it into its three channels. Tails shorter than a vector run the
// per-pixel forms.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "graphics/kernels.h"
#include "graphics/kernels_scalar.h"

namespace nova::graphics::detail {
namespace {

inline std::uint32_t load_u32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline std::uint64_t load_u64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// How a group of mask bytes looks: all 0 (nothing to do), all 255 (the
// opaque closed form), none 0 (every pixel drawn), or some 0 (those pixels
// kept as they are). The tests run on the integer units, which the vector
// arithmetic leaves idle.
enum class MaskRun { Clear, Opaque, Drawn, Holes };

inline bool has_zero_byte(std::uint64_t v) { return ((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) != 0; }

template <int N>
inline MaskRun classify(const std::uint8_t* m) {
  if constexpr (N == 4) {
    const std::uint32_t v = load_u32(m);
    if (v == 0) return MaskRun::Clear;
    if (v == 0xFFFFFFFFu) return MaskRun::Opaque;
    return has_zero_byte(v | 0xFFFFFFFF00000000ull) ? MaskRun::Holes : MaskRun::Drawn;
  } else if constexpr (N == 8) {
    const std::uint64_t v = load_u64(m);
    if (v == 0) return MaskRun::Clear;
    if (v == ~0ull) return MaskRun::Opaque;
    return has_zero_byte(v) ? MaskRun::Holes : MaskRun::Drawn;
  } else {
    static_assert(N == 16);
    const std::uint64_t a = load_u64(m), b = load_u64(m + 8);
    if ((a | b) == 0) return MaskRun::Clear;
    if ((a & b) == ~0ull) return MaskRun::Opaque;
    return has_zero_byte(a) || has_zero_byte(b) ? MaskRun::Holes : MaskRun::Drawn;
  }
}

// --- 32-bit pixels ------------------------------------------------------------------

template <class S>
struct K32 {
  using V = typename S::V;
  static constexpr int P = S::kBytes / 4;

  static V load(const std::uint8_t* p, int i) { return S::loadu(p + static_cast<std::ptrdiff_t>(i) * 4); }
  static void store(std::uint8_t* p, int i, V v) { S::storeu(p + static_cast<std::ptrdiff_t>(i) * 4, v); }

  // Each 16-bit lane holds two channels, its even byte (blue, red) and its
  // odd byte (green, the unused top), and both are weighed in place: masks,
  // shifts and multiplies, no unpacking, so the shuffle units stay free. `w`
  // holds the weight of the lane's pixel (at most 255) in every lane.
  //
  // A pixel that must stay as it is goes through the same arithmetic with
  // weights that add up to 256 (w and 256 − w, or 0 and 256 when s is not
  // d): the sum is then 256 × d, and the result d exactly. That costs one
  // operation on the weights where a select would cost three.
  static V mix(V d, V s, V w) { return mix(d, s, w, S::xor_(w, S::set16(0x00FF))); }
  static V mix(V d, V s, V w, V iw) {
    const V low = S::set16(0x00FF);
    const V even = S::add16(S::mullo16(S::and_(s, low), w), S::mullo16(S::and_(d, low), iw));
    const V odd = S::add16(S::mullo16(S::template srl16<8>(s), w), S::mullo16(S::template srl16<8>(d), iw));
    // Both sums are at most 256 × 255: the odd one's result is its high byte.
    return S::or_(S::template srl16<8>(even), S::andnot(low, odd));
  }
  static V scaled(V s, V w) {
    const V low = S::set16(0x00FF);
    const V even = S::template srl16<8>(S::mullo16(S::and_(s, low), w));
    const V odd = S::mullo16(S::template srl16<8>(s), w);
    return S::or_(even, S::andnot(low, odd));
  }
  // The mask bytes of a mask_dwords vector as weights in every lane.
  static V weights(V m) { return S::and_(m, S::set16(0x00FF)); }
  static V colour_equal(V a, V b) {
    return S::cmpeq32(S::and_(S::xor_(a, b), S::set32(Layout<RowFormat::X888>::kColour)), S::zero());
  }

  template <bool Keyed>
  static void copy(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const std::uint8_t* const src = j.src;
    const int count = j.count;
    if constexpr (!Keyed) {
      std::memmove(dst, src, static_cast<std::size_t>(count) * 4);
    } else {
      const V key = S::set32(j.key);
      int i = 0;
      for (; i + P <= count; i += P) {
        const V s = load(src, i);
        store(dst, i, S::select(colour_equal(s, key), load(dst, i), s));
      }
      px_range<RowFormat::X888, RowOp::Copy>(j, i, count);
    }
  }

  template <bool Keyed, bool SkipEqual, bool Additive>
  static void constant(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const std::uint8_t* const src = j.src;
    const int count = j.count;
    const V w = S::set16(j.opacity), iw = S::set16(255 - j.opacity), w1 = S::set16(j.opacity + 1);
    const V key = S::set32(j.key);
    const V one = S::set8(1);
    // At full opacity (255 × s) >> 8 is s − 1 clamped at 0.
    const bool full = Additive && j.opacity == 255;
    int i = 0;
    for (; i + P <= count; i += P) {
      const V s = load(src, i), d = load(dst, i);
      V r;
      if constexpr (Additive) {
        V added = full ? S::subs8u(s, one) : scaled(s, w);
        if constexpr (Keyed) added = S::andnot(colour_equal(s, key), added);
        r = S::adds8u(d, added);
      } else if constexpr (Keyed) {
        // Kept pixels weigh s by 0 and d by 256.
        V keep = colour_equal(s, key);
        if constexpr (SkipEqual) keep = S::or_(keep, colour_equal(s, d));
        r = mix(d, s, S::andnot(keep, w), S::add16(iw, S::and_(keep, w1)));
      } else if constexpr (SkipEqual) {
        // Where s is d, weights w and 256 − w.
        r = mix(d, s, w, S::sub16(iw, colour_equal(s, d)));
      } else {
        r = mix(d, s, w, iw);
      }
      store(dst, i, r);
    }
    px_range<RowFormat::X888, Additive ? RowOp::Add : RowOp::Blend>(j, i, count);
  }

  // Masked (Op == Masked), MaskedBlend and MaskedAdd.
  template <RowOp Op>
  static void masked(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const std::uint8_t* const src = j.src;
    const std::uint8_t* const mask = j.mask;
    const int count = j.count;
    const V a = S::set16(j.opacity);
    const V one = S::set8(1);
    int i = 0;
    for (; i + P <= count; i += P) {
      const MaskRun run = classify<P>(mask + i);
      if (run == MaskRun::Clear) continue;
      const V s = load(src, i);
      if (Op == RowOp::Masked && run == MaskRun::Opaque) {
        // Weight 255 leaves (255 × s) >> 8, which is s − 1 clamped at 0.
        store(dst, i, S::subs8u(s, one));
        continue;
      }
      const V d = load(dst, i);
      const V m = weights(S::mask_dwords(mask + i));
      const V w = Op == RowOp::Masked ? m : S::template srl16<8>(S::mullo16(m, a));
      V r;
      if constexpr (Op == RowOp::MaskedAdd) {
        // A clear byte gives weight 0, which adds nothing.
        r = S::adds8u(d, scaled(s, w));
      } else {
        V iw = S::xor_(w, S::set16(0x00FF));
        if (run == MaskRun::Holes) iw = S::sub16(iw, S::cmpeq16(m, S::zero()));
        r = mix(d, s, w, iw);
      }
      store(dst, i, r);
    }
    px_range<RowFormat::X888, Op>(j, i, count);
  }

  static void colour_masked(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const std::uint8_t* const mask = j.mask;
    const int count = j.count;
    const V a = S::set16(j.opacity);
    const V c = S::set32(j.value);
    const bool full = j.opacity == 255;
    int i = 0;
    for (; i + P <= count; i += P) {
      if (classify<P>(mask + i) == MaskRun::Clear) continue;
      const V d = load(dst, i);
      const V m = S::mask_dwords(mask + i);
      V w = weights(m);
      if (!full) w = S::template srl16<8>(S::mullo16(w, a));
      // A clear byte has weight 0 and a pixel equal to c is c: both keep d
      // with weights that add up to 256.
      const V keep = S::or_(S::cmpeq32(m, S::zero()), colour_equal(d, c));
      store(dst, i, mix(d, c, w, S::sub16(S::xor_(w, S::set16(0x00FF)), keep)));
    }
    px_range<RowFormat::X888, RowOp::ColorMasked>(j, i, count);
  }

  static void fill(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const int count = j.count;
    const V v = S::set32(j.value);
    int i = 0;
    for (; i + P <= count; i += P) store(dst, i, v);
    px_range<RowFormat::X888, RowOp::Fill>(j, i, count);
  }

  static void blend_rect(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const int count = j.count;
    const V v = S::set32(j.value);
    const V w = S::set16(j.opacity), iw = S::set16(255 - j.opacity);
    int i = 0;
    for (; i + P <= count; i += P) {
      const V d = load(dst, i);
      store(dst, i, mix(d, v, w, S::sub16(iw, colour_equal(d, v))));
    }
    px_range<RowFormat::X888, RowOp::BlendRect>(j, i, count);
  }

  template <bool Add>
  static void add_sub_rect(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const int count = j.count;
    const V v = S::set32(j.value);
    int i = 0;
    for (; i + P <= count; i += P) {
      const V d = load(dst, i);
      store(dst, i, Add ? S::adds8u(d, v) : S::subs8u(d, v));
    }
    px_range<RowFormat::X888, Add ? RowOp::AddRect : RowOp::SubRect>(j, i, count);
  }

  static void copy_row(const RowJob& j) { j.keyed ? copy<true>(j) : copy<false>(j); }
  static void blend_row(const RowJob& j) {
    if (j.keyed)
      j.skip_equal ? constant<true, true, false>(j) : constant<true, false, false>(j);
    else
      j.skip_equal ? constant<false, true, false>(j) : constant<false, false, false>(j);
  }
  static void add_row(const RowJob& j) { j.keyed ? constant<true, false, true>(j) : constant<false, false, true>(j); }

  static void fill_set(KernelSet& set) {
    auto& t = set.fn[static_cast<int>(RowFormat::X888)];
    t[static_cast<int>(RowOp::Copy)] = copy_row;
    t[static_cast<int>(RowOp::Blend)] = blend_row;
    t[static_cast<int>(RowOp::Masked)] = masked<RowOp::Masked>;
    t[static_cast<int>(RowOp::MaskedBlend)] = masked<RowOp::MaskedBlend>;
    t[static_cast<int>(RowOp::Add)] = add_row;
    t[static_cast<int>(RowOp::MaskedAdd)] = masked<RowOp::MaskedAdd>;
    t[static_cast<int>(RowOp::ColorMasked)] = colour_masked;
    t[static_cast<int>(RowOp::Fill)] = fill;
    t[static_cast<int>(RowOp::BlendRect)] = blend_rect;
    t[static_cast<int>(RowOp::AddRect)] = add_sub_rect<true>;
    t[static_cast<int>(RowOp::SubRect)] = add_sub_rect<false>;
  }
};

// --- 16- and 15-bit pixels ---------------------------------------------------------

template <class S, RowFormat F>
struct K16 {
  using V = typename S::V;
  using L = Layout<F>;
  static constexpr int P = S::kBytes / 2;
  static constexpr int kRed = L::kShift[0];

  static V load(const std::uint8_t* p, int i) { return S::loadu(p + static_cast<std::ptrdiff_t>(i) * 2); }
  static void store(std::uint8_t* p, int i, V v) { S::storeu(p + static_cast<std::ptrdiff_t>(i) * 2, v); }

  struct Split {
    V r, g, b;
  };
  static Split split(V x) {
    V r = S::template srl16<kRed>(x);
    if constexpr (F == RowFormat::X555) r = S::and_(r, S::set16(31));
    return {r, S::and_(S::template srl16<5>(x), S::set16(static_cast<int>(L::kMax[1]))), S::and_(x, S::set16(31))};
  }
  static V join(const Split& c) { return S::or_(S::or_(S::template sll16<kRed>(c.r), S::template sll16<5>(c.g)), c.b); }
  static V mix1(V cd, V cs, V w, V iw) { return S::template srl16<8>(S::add16(S::mullo16(cs, w), S::mullo16(cd, iw))); }
  static V mix(V d, V s, V w) {
    const V iw = S::xor_(w, S::set16(255));
    const Split a = split(d), b = split(s);
    return join({mix1(a.r, b.r, w, iw), mix1(a.g, b.g, w, iw), mix1(a.b, b.b, w, iw)});
  }
  // Vector code is kept out of lambdas here: the AVX2 file's target region
  // does not reach a lambda's body with every compiler.
  static V add1(V cd, V cs, V w, std::uint32_t max) {
    return S::min16(S::add16(cd, S::template srl16<8>(S::mullo16(cs, w))), S::set16(static_cast<int>(max)));
  }
  static V add(V d, V s, V w) {
    const Split a = split(d), b = split(s);
    return join({add1(a.r, b.r, w, L::kMax[0]), add1(a.g, b.g, w, L::kMax[1]), add1(a.b, b.b, w, L::kMax[2])});
  }
  static V colour_equal(V a, V b) {
    return S::cmpeq16(S::and_(S::xor_(a, b), S::set16(static_cast<int>(L::kColour))), S::zero());
  }

  template <bool Keyed>
  static void copy(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const std::uint8_t* const src = j.src;
    const int count = j.count;
    if constexpr (!Keyed) {
      std::memmove(dst, src, static_cast<std::size_t>(count) * 2);
    } else {
      const V key = S::set16(static_cast<int>(j.key & 0xFFFF));
      int i = 0;
      for (; i + P <= count; i += P) {
        const V s = load(src, i);
        store(dst, i, S::select(colour_equal(s, key), load(dst, i), s));
      }
      px_range<F, RowOp::Copy>(j, i, count);
    }
  }

  template <bool Keyed, bool SkipEqual, bool Additive>
  static void constant(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const std::uint8_t* const src = j.src;
    const int count = j.count;
    const V w = S::set16(j.opacity);
    const V key = S::set16(static_cast<int>(j.key & 0xFFFF));
    int i = 0;
    for (; i + P <= count; i += P) {
      const V s = load(src, i), d = load(dst, i);
      V r = Additive ? add(d, s, w) : mix(d, s, w);
      if constexpr (Keyed || SkipEqual) {
        V keep = Keyed ? colour_equal(s, key) : colour_equal(s, d);
        if constexpr (Keyed && SkipEqual) keep = S::or_(keep, colour_equal(s, d));
        r = S::select(keep, d, r);
      }
      store(dst, i, r);
    }
    px_range<F, Additive ? RowOp::Add : RowOp::Blend>(j, i, count);
  }

  template <RowOp Op>
  static void masked(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const std::uint8_t* const src = j.src;
    const std::uint8_t* const mask = j.mask;
    const int count = j.count;
    const V a = S::set16(j.opacity);
    int i = 0;
    for (; i + P <= count; i += P) {
      const MaskRun run = classify<P>(mask + i);
      if (run == MaskRun::Clear) continue;
      const V s = load(src, i), d = load(dst, i);
      const V m = S::mask_words(mask + i);
      const V w = Op == RowOp::Masked ? m : S::template srl16<8>(S::mullo16(m, a));
      V r = Op == RowOp::MaskedAdd ? add(d, s, w) : mix(d, s, w);
      if (run == MaskRun::Holes) r = S::select(S::cmpeq16(m, S::zero()), d, r);
      store(dst, i, r);
    }
    px_range<F, Op>(j, i, count);
  }

  static void colour_masked(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const std::uint8_t* const mask = j.mask;
    const int count = j.count;
    const V a = S::set16(j.opacity);
    const V c = S::set16(static_cast<int>(j.value & 0xFFFF));
    const bool full = j.opacity == 255;
    int i = 0;
    for (; i + P <= count; i += P) {
      if (classify<P>(mask + i) == MaskRun::Clear) continue;
      const V d = load(dst, i);
      const V m = S::mask_words(mask + i);
      const V w = full ? m : S::template srl16<8>(S::mullo16(m, a));
      const V keep = S::or_(S::cmpeq16(m, S::zero()), colour_equal(d, c));
      store(dst, i, S::select(keep, d, mix(d, c, w)));
    }
    px_range<F, RowOp::ColorMasked>(j, i, count);
  }

  static void fill(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const int count = j.count;
    const V v = S::set16(static_cast<int>(j.value & 0xFFFF));
    int i = 0;
    for (; i + P <= count; i += P) store(dst, i, v);
    px_range<F, RowOp::Fill>(j, i, count);
  }

  static void blend_rect(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const int count = j.count;
    const V v = S::set16(static_cast<int>(j.value & 0xFFFF));
    const V w = S::set16(j.opacity);
    int i = 0;
    for (; i + P <= count; i += P) {
      const V d = load(dst, i);
      store(dst, i, S::select(colour_equal(d, v), d, mix(d, v, w)));
    }
    px_range<F, RowOp::BlendRect>(j, i, count);
  }

  // One channel of d ± v, saturating: the channel is moved to the top of
  // its lane, where the unsigned saturating lane arithmetic clamps it at
  // its own maximum (all ones) or at 0, then moved back.
  template <bool Add, int C>
  static V add_sub_channel(V d, V v) {
    constexpr int top = 16 - L::kShift[C] - (L::kMax[C] == 63 ? 6 : 5);
    const V m = S::set16(static_cast<int>(L::kMax[C] << L::kShift[C]));
    const V a = S::template sll16<top>(S::and_(d, m)), b = S::template sll16<top>(S::and_(v, m));
    return S::and_(S::template srl16<top>(Add ? S::adds16u(a, b) : S::subs16u(a, b)), m);
  }

  template <bool Add>
  static void add_sub_rect(const RowJob& j) {
    std::uint8_t* const dst = j.dst;
    const int count = j.count;
    const V v = S::set16(static_cast<int>(j.value & 0xFFFF));
    int i = 0;
    for (; i + P <= count; i += P) {
      const V d = load(dst, i);
      store(
          dst, i,
          S::or_(S::or_(add_sub_channel<Add, 0>(d, v), add_sub_channel<Add, 1>(d, v)), add_sub_channel<Add, 2>(d, v)));
    }
    px_range<F, Add ? RowOp::AddRect : RowOp::SubRect>(j, i, count);
  }

  static void copy_row(const RowJob& j) { j.keyed ? copy<true>(j) : copy<false>(j); }
  static void blend_row(const RowJob& j) {
    if (j.keyed)
      j.skip_equal ? constant<true, true, false>(j) : constant<true, false, false>(j);
    else
      j.skip_equal ? constant<false, true, false>(j) : constant<false, false, false>(j);
  }
  static void add_row(const RowJob& j) { j.keyed ? constant<true, false, true>(j) : constant<false, false, true>(j); }

  static void fill_set(KernelSet& set) {
    auto& t = set.fn[static_cast<int>(F)];
    t[static_cast<int>(RowOp::Copy)] = copy_row;
    t[static_cast<int>(RowOp::Blend)] = blend_row;
    t[static_cast<int>(RowOp::Masked)] = masked<RowOp::Masked>;
    t[static_cast<int>(RowOp::MaskedBlend)] = masked<RowOp::MaskedBlend>;
    t[static_cast<int>(RowOp::Add)] = add_row;
    t[static_cast<int>(RowOp::MaskedAdd)] = masked<RowOp::MaskedAdd>;
    t[static_cast<int>(RowOp::ColorMasked)] = colour_masked;
    t[static_cast<int>(RowOp::Fill)] = fill;
    t[static_cast<int>(RowOp::BlendRect)] = blend_rect;
    t[static_cast<int>(RowOp::AddRect)] = add_sub_rect<true>;
    t[static_cast<int>(RowOp::SubRect)] = add_sub_rect<false>;
  }
};

// --- Column gathers -------------------------------------------------------------
//
// Outputs [from, to) of a table gather with 16-byte stores: pixels are
// loaded one by one and packed into a vector (SSE2 has no variable shuffle).
// One store per vector instead of one per pixel is what makes these faster
// than the per-pixel form. Bytes keep the per-pixel form.
template <int Bytes>
inline void gather_table_packed(const GatherJob& g, int from, int to) {
  std::uint8_t* const out = g.out;
  const std::uint8_t* const row = g.row;
  const int* const cols = g.plan->cols;
  int i = from;
  auto px = [&](int k) { return row + static_cast<std::ptrdiff_t>(cols[k]) * Bytes; };
  if constexpr (Bytes == 4) {
    for (; i + 4 <= to; i += 4) {
      const __m128i a = _mm_cvtsi32_si128(static_cast<int>(load_u32(px(i))));
      const __m128i b = _mm_cvtsi32_si128(static_cast<int>(load_u32(px(i + 1))));
      const __m128i c = _mm_cvtsi32_si128(static_cast<int>(load_u32(px(i + 2))));
      const __m128i d = _mm_cvtsi32_si128(static_cast<int>(load_u32(px(i + 3))));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + static_cast<std::ptrdiff_t>(i) * 4),
                       _mm_unpacklo_epi64(_mm_unpacklo_epi32(a, b), _mm_unpacklo_epi32(c, d)));
    }
  } else if constexpr (Bytes == 2) {
    auto load16 = [&](int k) {
      std::uint16_t v;
      std::memcpy(&v, px(k), 2);
      return static_cast<int>(v);
    };
    for (; i + 8 <= to; i += 8) {
      __m128i v = _mm_cvtsi32_si128(load16(i));
      v = _mm_insert_epi16(v, load16(i + 1), 1);
      v = _mm_insert_epi16(v, load16(i + 2), 2);
      v = _mm_insert_epi16(v, load16(i + 3), 3);
      v = _mm_insert_epi16(v, load16(i + 4), 4);
      v = _mm_insert_epi16(v, load16(i + 5), 5);
      v = _mm_insert_epi16(v, load16(i + 6), 6);
      v = _mm_insert_epi16(v, load16(i + 7), 7);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + static_cast<std::ptrdiff_t>(i) * 2), v);
    }
  }
  gather_table_range<Bytes>(g, i, to);
}

// The affine form with the same packing.
template <int Bytes>
inline void gather_affine_packed(const GatherJob& g) {
  constexpr int kLanes = 16 / Bytes;
  std::uint8_t* const out = g.out;
  AffineWalk<Bytes> walk(g, 0);
  int i = 0;
  if constexpr (Bytes == 4) {
    for (; i + kLanes <= g.count; i += kLanes) {
      const __m128i a = _mm_cvtsi32_si128(static_cast<int>(load_u32(walk.next())));
      const __m128i b = _mm_cvtsi32_si128(static_cast<int>(load_u32(walk.next())));
      const __m128i c = _mm_cvtsi32_si128(static_cast<int>(load_u32(walk.next())));
      const __m128i d = _mm_cvtsi32_si128(static_cast<int>(load_u32(walk.next())));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + static_cast<std::ptrdiff_t>(i) * 4),
                       _mm_unpacklo_epi64(_mm_unpacklo_epi32(a, b), _mm_unpacklo_epi32(c, d)));
    }
  } else if constexpr (Bytes == 2) {
    auto load16 = [&]() {
      std::uint16_t x;
      std::memcpy(&x, walk.next(), 2);
      return static_cast<int>(x);
    };
    for (; i + kLanes <= g.count; i += kLanes) {
      __m128i x = _mm_cvtsi32_si128(load16());
      x = _mm_insert_epi16(x, load16(), 1);
      x = _mm_insert_epi16(x, load16(), 2);
      x = _mm_insert_epi16(x, load16(), 3);
      x = _mm_insert_epi16(x, load16(), 4);
      x = _mm_insert_epi16(x, load16(), 5);
      x = _mm_insert_epi16(x, load16(), 6);
      x = _mm_insert_epi16(x, load16(), 7);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + static_cast<std::ptrdiff_t>(i) * 2), x);
    }
  }
  // The walk has reached output i; the rest go pixel by pixel from there.
  for (; i < g.count; ++i) copy_bytes<Bytes>(out + static_cast<std::ptrdiff_t>(i) * Bytes, walk.next());
}

template <int Bytes>
void gather_table_packed_row(const GatherJob& g) {
  gather_table_packed<Bytes>(g, 0, g.plan->count);
}

// The row kernels, and gathers without blocks (the portable plan) packed
// four or eight pixels to a store. Turned rows have no block structure to
// exploit, so every vector path reads them this way.
template <class S>
void fill_vector_kernels(KernelSet& set) {
  K32<S>::fill_set(set);
  K16<S, RowFormat::R565>::fill_set(set);
  K16<S, RowFormat::X555>::fill_set(set);
  set.gather_table[1] = gather_table_packed_row<2>;
  set.gather_table[2] = gather_table_packed_row<4>;
  set.gather_affine[1] = gather_affine_packed<2>;
  set.gather_affine[2] = gather_affine_packed<4>;
}

}  // namespace
}  // namespace nova::graphics::detail
