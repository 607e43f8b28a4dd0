// The portable path: the per-pixel kernel forms in plain loops, with block
// copies and fills where the operation allows them.
#include <cstring>

#include "graphics/kernels.h"
#include "graphics/kernels_scalar.h"

namespace nova::graphics::detail {
namespace {

template <RowFormat F, RowOp Op>
void row(const RowJob& j) {
  if constexpr (Op == RowOp::Copy) {
    if (!j.keyed) {
      std::memmove(j.dst, j.src, static_cast<std::size_t>(j.count) * sizeof(typename Layout<F>::Pixel));
      return;
    }
  }
  if constexpr (Op == RowOp::Fill && F == RowFormat::X888) {
    auto* d = j.dst;
    for (int i = 0; i < j.count; ++i) std::memcpy(d + static_cast<std::ptrdiff_t>(i) * 4, &j.value, 4);
    return;
  }
  px_range<F, Op>(j, 0, j.count);
}

template <RowFormat F>
void fill_format(KernelSet& set) {
  auto& t = set.fn[static_cast<int>(F)];
  t[static_cast<int>(RowOp::Copy)] = row<F, RowOp::Copy>;
  t[static_cast<int>(RowOp::Blend)] = row<F, RowOp::Blend>;
  t[static_cast<int>(RowOp::Masked)] = row<F, RowOp::Masked>;
  t[static_cast<int>(RowOp::MaskedBlend)] = row<F, RowOp::MaskedBlend>;
  t[static_cast<int>(RowOp::Add)] = row<F, RowOp::Add>;
  t[static_cast<int>(RowOp::MaskedAdd)] = row<F, RowOp::MaskedAdd>;
  t[static_cast<int>(RowOp::ColorMasked)] = row<F, RowOp::ColorMasked>;
  t[static_cast<int>(RowOp::Fill)] = row<F, RowOp::Fill>;
  t[static_cast<int>(RowOp::BlendRect)] = row<F, RowOp::BlendRect>;
  t[static_cast<int>(RowOp::AddRect)] = row<F, RowOp::AddRect>;
  t[static_cast<int>(RowOp::SubRect)] = row<F, RowOp::SubRect>;
}

// The portable gathers read column by column: no blocks.
void plan_nothing(ColumnPlan& plan) {
  plan.blocks.clear();
  plan.controls.clear();
  plan.planned = 0;
  plan.reach = 0;
}

template <int Bytes>
void gather_table(const GatherJob& g) {
  gather_table_range<Bytes>(g, 0, g.plan->count);
}
template <int Bytes>
void gather_affine(const GatherJob& g) {
  gather_affine_range<Bytes>(g, 0, g.count);
}

}  // namespace

void fill_portable_kernels(KernelSet& set) {
  fill_format<RowFormat::X888>(set);
  fill_format<RowFormat::R565>(set);
  fill_format<RowFormat::X555>(set);
  for (PlanFn& f : set.plan_columns) f = plan_nothing;
  set.gather_table[0] = gather_table<1>;
  set.gather_table[1] = gather_table<2>;
  set.gather_table[2] = gather_table<4>;
  set.gather_affine[0] = gather_affine<1>;
  set.gather_affine[1] = gather_affine<2>;
  set.gather_affine[2] = gather_affine<4>;
}

}  // namespace nova::graphics::detail
