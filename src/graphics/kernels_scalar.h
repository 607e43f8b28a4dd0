// Per-pixel forms of the row kernels for each packed layout, on channel
// values (shifted down), used by the portable path and by the tails of the
// vector paths. Private to the kernels.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "graphics/kernels.h"

namespace nova::graphics::detail {
// Internal linkage on purpose: the vector files are compiled for different
// instruction sets, and an inline function shared between them could be
// merged into the copy built for the wider one.
namespace {

template <RowFormat F>
struct Layout;

template <>
struct Layout<RowFormat::X888> {
  using Pixel = std::uint32_t;
  static constexpr int kShift[3] = {16, 8, 0};
  static constexpr std::uint32_t kMax[3] = {255, 255, 255};
  static constexpr std::uint32_t kColour = 0xFFFFFF;
};
template <>
struct Layout<RowFormat::R565> {
  using Pixel = std::uint16_t;
  static constexpr int kShift[3] = {11, 5, 0};
  static constexpr std::uint32_t kMax[3] = {31, 63, 31};
  static constexpr std::uint32_t kColour = 0xFFFF;
};
template <>
struct Layout<RowFormat::X555> {
  using Pixel = std::uint16_t;
  static constexpr int kShift[3] = {10, 5, 0};
  static constexpr std::uint32_t kMax[3] = {31, 31, 31};
  static constexpr std::uint32_t kColour = 0x7FFF;
};

template <RowFormat F>
inline std::uint32_t load_px(const std::uint8_t* p, int i) {
  typename Layout<F>::Pixel v;
  std::memcpy(&v, p + static_cast<std::ptrdiff_t>(i) * sizeof v, sizeof v);
  return v;
}
template <RowFormat F>
inline void store_px(std::uint8_t* p, int i, std::uint32_t v) {
  auto t = static_cast<typename Layout<F>::Pixel>(v);
  std::memcpy(p + static_cast<std::ptrdiff_t>(i) * sizeof t, &t, sizeof t);
}

template <RowFormat F>
inline bool same_colour(std::uint32_t a, std::uint32_t b) {
  return ((a ^ b) & Layout<F>::kColour) == 0;
}

// Applies fn(cd, cs, max) to each channel of d and s and packs the results.
template <RowFormat F, class Fn>
inline std::uint32_t per_channel(std::uint32_t d, std::uint32_t s, Fn fn) {
  using L = Layout<F>;
  std::uint32_t out = 0;
  for (int c = 0; c < 3; ++c) {
    const std::uint32_t cs = (s >> L::kShift[c]) & L::kMax[c], cd = (d >> L::kShift[c]) & L::kMax[c];
    out |= fn(cd, cs, L::kMax[c]) << L::kShift[c];
  }
  return out;
}

// (s × w + d × (255 − w)) >> 8 per channel.
template <RowFormat F>
inline std::uint32_t px_mix(std::uint32_t d, std::uint32_t s, std::uint32_t w) {
  return per_channel<F>(d, s, [w](std::uint32_t cd, std::uint32_t cs, std::uint32_t) {
    return (cs * w + cd * (255 - w)) >> 8;
  });
}

// d + (s × w) >> 8 per channel, saturating.
template <RowFormat F>
inline std::uint32_t px_add(std::uint32_t d, std::uint32_t s, std::uint32_t w) {
  return per_channel<F>(d, s, [w](std::uint32_t cd, std::uint32_t cs, std::uint32_t max) {
    return std::min(cd + ((cs * w) >> 8), max);
  });
}

template <RowFormat F>
inline std::uint32_t px_add_value(std::uint32_t d, std::uint32_t v) {
  return per_channel<F>(d, v, [](std::uint32_t cd, std::uint32_t cv, std::uint32_t max) { return std::min(cd + cv, max); });
}

template <RowFormat F>
inline std::uint32_t px_sub_value(std::uint32_t d, std::uint32_t v) {
  return per_channel<F>(d, v, [](std::uint32_t cd, std::uint32_t cv, std::uint32_t) { return cd > cv ? cd - cv : 0; });
}

// One pixel of a row job, from index i. Shared by the portable kernels and
// the vector kernels' tails.
template <RowFormat F, RowOp Op>
inline void px_step(const RowJob& j, int i) {
  std::uint32_t d = 0, s = 0;
  if constexpr (Op == RowOp::Fill) {
    store_px<F>(j.dst, i, j.value);
    return;
  } else if constexpr (Op == RowOp::AddRect || Op == RowOp::SubRect || Op == RowOp::BlendRect) {
    d = load_px<F>(j.dst, i);
    if constexpr (Op == RowOp::AddRect) store_px<F>(j.dst, i, px_add_value<F>(d, j.value));
    else if constexpr (Op == RowOp::SubRect) store_px<F>(j.dst, i, px_sub_value<F>(d, j.value));
    else if (!same_colour<F>(d, j.value)) store_px<F>(j.dst, i, px_mix<F>(d, j.value, static_cast<std::uint32_t>(j.opacity)));
    return;
  } else if constexpr (Op == RowOp::ColorMasked) {
    const std::uint32_t m = j.mask[i];
    if (m == 0) return;
    d = load_px<F>(j.dst, i);
    if (same_colour<F>(d, j.value)) return;
    const std::uint32_t w = j.opacity == 255 ? m : (m * static_cast<std::uint32_t>(j.opacity)) >> 8;
    store_px<F>(j.dst, i, px_mix<F>(d, j.value, w));
    return;
  } else if constexpr (Op == RowOp::Masked || Op == RowOp::MaskedBlend || Op == RowOp::MaskedAdd) {
    const std::uint32_t m = j.mask[i];
    if (m == 0) return;
    s = load_px<F>(j.src, i);
    d = load_px<F>(j.dst, i);
    const std::uint32_t w = Op == RowOp::Masked ? m : (m * static_cast<std::uint32_t>(j.opacity)) >> 8;
    store_px<F>(j.dst, i, Op == RowOp::MaskedAdd ? px_add<F>(d, s, w) : px_mix<F>(d, s, w));
    return;
  } else {
    s = load_px<F>(j.src, i);
    if (j.keyed && same_colour<F>(s, j.key)) return;
    if constexpr (Op == RowOp::Copy) {
      store_px<F>(j.dst, i, s);
    } else {
      d = load_px<F>(j.dst, i);
      if constexpr (Op == RowOp::Blend) {
        if (j.skip_equal && same_colour<F>(s, d)) return;
        store_px<F>(j.dst, i, px_mix<F>(d, s, static_cast<std::uint32_t>(j.opacity)));
      } else {
        store_px<F>(j.dst, i, px_add<F>(d, s, static_cast<std::uint32_t>(j.opacity)));
      }
    }
  }
}

template <RowFormat F, RowOp Op>
inline void px_range(const RowJob& j, int from, int to) {
  for (int i = from; i < to; ++i) px_step<F, Op>(j, i);
}

template <int Bytes>
inline void copy_bytes(std::uint8_t* to, const std::uint8_t* from) {
  std::memcpy(to, from, Bytes);
}

// Outputs [from, to) of a table gather, column by column. The pointers are
// held locally: the stores through `out` could otherwise be taken to change
// the job and force a reload per pixel.
template <int Bytes>
inline void gather_table_range(const GatherJob& g, int from, int to) {
  std::uint8_t* const out = g.out;
  const std::uint8_t* const row = g.row;
  const int* const cols = g.plan->cols;
  int i = from;
  // Four independent loads per step keep the load ports busy.
  for (; i + 4 <= to; i += 4) {
    std::uint8_t* o = out + static_cast<std::ptrdiff_t>(i) * Bytes;
    const int c0 = cols[i], c1 = cols[i + 1], c2 = cols[i + 2], c3 = cols[i + 3];
    copy_bytes<Bytes>(o, row + static_cast<std::ptrdiff_t>(c0) * Bytes);
    copy_bytes<Bytes>(o + Bytes, row + static_cast<std::ptrdiff_t>(c1) * Bytes);
    copy_bytes<Bytes>(o + 2 * Bytes, row + static_cast<std::ptrdiff_t>(c2) * Bytes);
    copy_bytes<Bytes>(o + 3 * Bytes, row + static_cast<std::ptrdiff_t>(c3) * Bytes);
  }
  for (; i < to; ++i) {
    copy_bytes<Bytes>(out + static_cast<std::ptrdiff_t>(i) * Bytes, row + static_cast<std::ptrdiff_t>(cols[i]) * Bytes);
  }
}

// The addresses of an affine gather, from its output `from` on. Mirroring is
// folded into the origin and the signs of the steps, so the walk has no
// branch.
template <int Bytes>
class AffineWalk {
 public:
  AffineWalk(const GatherJob& g, int from)
      : m_origin(g.base),
        m_row_step(g.pitch),
        m_col_step(Bytes),
        m_u(g.u0 + from * g.du),
        m_v(g.v0 + from * g.dv),
        m_du(g.du),
        m_dv(g.dv) {
    if (g.mirror_v) {
      m_origin += static_cast<std::ptrdiff_t>(g.mirror_y) * g.pitch;
      m_row_step = -m_row_step;
    }
    if (g.mirror_h) {
      m_origin += static_cast<std::ptrdiff_t>(g.mirror_x) * Bytes;
      m_col_step = -m_col_step;
    }
  }
  // The address of the next sample.
  const std::uint8_t* next() {
    const std::uint8_t* p = m_origin + static_cast<std::ptrdiff_t>(m_v >> 16) * m_row_step +
                            static_cast<std::ptrdiff_t>(m_u >> 16) * m_col_step;
    m_u += m_du;
    m_v += m_dv;
    return p;
  }

 private:
  const std::uint8_t* m_origin;
  std::ptrdiff_t m_row_step, m_col_step;
  std::int64_t m_u, m_v;
  const std::int64_t m_du, m_dv;
};

// Outputs [from, to) of an affine gather, pixel by pixel.
template <int Bytes>
inline void gather_affine_range(const GatherJob& g, int from, int to) {
  std::uint8_t* const out = g.out;
  AffineWalk<Bytes> walk(g, from);
  for (int i = from; i < to; ++i) copy_bytes<Bytes>(out + static_cast<std::ptrdiff_t>(i) * Bytes, walk.next());
}

}  // namespace
}  // namespace nova::graphics::detail
