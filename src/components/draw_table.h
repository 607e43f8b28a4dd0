// Which surface operation an image draws with, kept as data: one row per
// rotation × plane × alpha range × zoom. DrawImage looks its row up and
// calls the operation the row names; the table test reads the rows back.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace nova::components {

enum class DrawOp : std::uint8_t {
  DrawRotate,
  DrawMaskedRotate,
  Draw,
  DrawMasked,
  DrawBlend,
  DrawMaskedBlend,
  DrawAdd,
  DrawMaskedAdd,
  StretchDraw,
  StretchDrawMasked,
  StretchDrawAdd,
  StretchDrawMaskedAdd,
};

// Alpha 1 to 254 blends, 255 is opaque, 256 to 511 adds (alpha − 256).
enum class AlphaRange : std::uint8_t { Blend, Opaque, Add };

struct DrawRow {
  bool rotated;
  bool plane;
  AlphaRange range;
  bool zoomed;
  DrawOp op;
  // The alpha the operation takes: the encoded alpha (rotations), the
  // opacity (blends, stretches), alpha − 256 (adds) or none.
  enum Pass : std::uint8_t { None, Encoded, Opacity, Strength } pass;
};

constexpr AlphaRange alpha_range(std::int32_t alpha) {
  return alpha < 255 ? AlphaRange::Blend : alpha == 255 ? AlphaRange::Opaque : AlphaRange::Add;
}

// In the order of row_index.
inline constexpr std::array<DrawRow, 24> kDrawTable = {{
    // Rotated: one operation whatever the range and the zoom.
    {true, false, AlphaRange::Blend, false, DrawOp::DrawRotate, DrawRow::Encoded},
    {true, false, AlphaRange::Blend, true, DrawOp::DrawRotate, DrawRow::Encoded},
    {true, false, AlphaRange::Opaque, false, DrawOp::DrawRotate, DrawRow::Encoded},
    {true, false, AlphaRange::Opaque, true, DrawOp::DrawRotate, DrawRow::Encoded},
    {true, false, AlphaRange::Add, false, DrawOp::DrawRotate, DrawRow::Encoded},
    {true, false, AlphaRange::Add, true, DrawOp::DrawRotate, DrawRow::Encoded},
    {true, true, AlphaRange::Blend, false, DrawOp::DrawMaskedRotate, DrawRow::Encoded},
    {true, true, AlphaRange::Blend, true, DrawOp::DrawMaskedRotate, DrawRow::Encoded},
    {true, true, AlphaRange::Opaque, false, DrawOp::DrawMaskedRotate, DrawRow::Encoded},
    {true, true, AlphaRange::Opaque, true, DrawOp::DrawMaskedRotate, DrawRow::Encoded},
    {true, true, AlphaRange::Add, false, DrawOp::DrawMaskedRotate, DrawRow::Encoded},
    {true, true, AlphaRange::Add, true, DrawOp::DrawMaskedRotate, DrawRow::Encoded},
    // Unrotated.
    {false, false, AlphaRange::Blend, false, DrawOp::DrawBlend, DrawRow::Opacity},
    {false, false, AlphaRange::Blend, true, DrawOp::StretchDraw, DrawRow::Opacity},
    {false, false, AlphaRange::Opaque, false, DrawOp::Draw, DrawRow::None},
    {false, false, AlphaRange::Opaque, true, DrawOp::StretchDraw, DrawRow::Opacity},
    {false, false, AlphaRange::Add, false, DrawOp::DrawAdd, DrawRow::Strength},
    {false, false, AlphaRange::Add, true, DrawOp::StretchDrawAdd, DrawRow::Strength},
    {false, true, AlphaRange::Blend, false, DrawOp::DrawMaskedBlend, DrawRow::Opacity},
    {false, true, AlphaRange::Blend, true, DrawOp::StretchDrawMasked, DrawRow::Opacity},
    {false, true, AlphaRange::Opaque, false, DrawOp::DrawMasked, DrawRow::None},
    {false, true, AlphaRange::Opaque, true, DrawOp::StretchDrawMasked, DrawRow::Opacity},
    {false, true, AlphaRange::Add, false, DrawOp::DrawMaskedAdd, DrawRow::Strength},
    {false, true, AlphaRange::Add, true, DrawOp::StretchDrawMaskedAdd, DrawRow::Strength},
}};

constexpr std::size_t row_index(bool rotated, bool plane, AlphaRange range, bool zoomed) {
  return ((static_cast<std::size_t>(!rotated) * 2 + (plane ? 1 : 0)) * 3 + static_cast<std::size_t>(range)) * 2 +
         (zoomed ? 1 : 0);
}

constexpr const DrawRow& draw_row(bool rotated, bool plane, AlphaRange range, bool zoomed) {
  return kDrawTable[row_index(rotated, plane, range, zoomed)];
}

}  // namespace nova::components
