// The mask-driven transitions: TWipeMask builds an 8-bit mask for the
// current progress and shows, per pixel, the old screen where the mask is
// 0, the new screen where it is 255, and between them
// (old × (255 − m) + new × m) >> 8 per channel.
//
// The mask has the target's width and MaskHeight() rows; a shorter mask
// repeats downwards (mask row = target row mod mask height). It is rebuilt
// only when the type's progress value changes. When every value is 0 or 255
// (the binary flag) whole pixels are selected without arithmetic.
//
// 15-, 16- and 32-bit targets are composed straight from the three buffers
// by row kernels (wipe_kernels.h: portable, SSE2, AVX2, following the
// surfaces' pixel path); 24-bit targets, and every target when the
// reference path is forced, go pixel by pixel through GetPixel/SetPixel.
//
// Parameters: P = parameter 0 (at least 2), S = parameter 1, the softness
// (at least 1): an edge S progress units wide goes from 0 to 255. The
// ordered masks (curtains) take both at least 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/memory_dibx.h"
#include "graphics/region.h"
#include "graphics/wipes.h"

namespace nova::graphics {

class TWipeMask : public TCustomWipe {
 public:
  TWipeMask(const WipeSurfaces& surfaces, const WipeServices& services);

  void SetParam(int index, std::int32_t value) override;
  void SetReverse(bool reverse) override;

  // The mask as last built, and whether it is binary.
  const TDIBX& Mask() const { return m_mask; }
  bool Binary() const { return m_binary; }
  // How many times the mask was built (each draw whose progress changed).
  int BuildCount() const { return m_builds; }

 protected:
  // Sizes the mask (target width × MaskHeight()), clears it to 0 and
  // forgets the last progress value. Types that extend it call it first.
  void OnPrepare() override;
  void Draw(std::int64_t e, std::int64_t d) override;

  // Rebuilds the mask when the progress value changed; true when it did.
  virtual bool UpdateMask(std::int64_t e, std::int64_t d);
  virtual int MaskHeight() const { return height(); }
  // The type's progress value for e / d.
  virtual std::int64_t Progress(std::int64_t e, std::int64_t d) const = 0;
  // Builds the mask for that progress value (e and d given as well).
  virtual void Build(std::int64_t progress, std::int64_t e, std::int64_t d) = 0;

  std::int64_t param0() const { return m_param[0]; }
  std::int64_t param1() const { return m_param[1]; }
  // Row y of the mask.
  std::uint8_t* mask_row(int y) { return m_mask.Lock(0, y); }
  void clear_mask(std::uint8_t value);
  // The next draw builds the mask whatever its progress value.
  void forget_mask() { m_last = -1; }
  // Fills a rectangle of the mask, clipped to it.
  void fill_mask(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom, std::uint8_t value);

  TDIBX m_mask;
  bool m_binary = false;
  // Shapes depend on e / d as a real number: their progress value is e and
  // the cache also compares d.
  bool m_progress_is_elapsed = false;

 private:
  std::int64_t m_last = -1;
  std::int64_t m_last_d = -1;
  int m_builds = 0;
};

// The value of an edge at threshold h for progress t: 0 before it, then
// rising to 255 over S units.
std::uint8_t wipe_edge_value(std::int64_t t, std::int64_t h, std::int64_t softness);

// Blinds: every P-th column (row) opens, the columns of a period one after
// another.
class TWipeBlindH : public TWipeMask {
 public:
  using TWipeMask::TWipeMask;

 protected:
  int MaskHeight() const override { return 1; }
  std::int64_t Progress(std::int64_t e, std::int64_t d) const override;
  void Build(std::int64_t t, std::int64_t e, std::int64_t d) override;
};

class TWipeBlindV : public TWipeMask {
 public:
  using TWipeMask::TWipeMask;

 protected:
  // max(P, 2) rows, never more than the target has (the rows below would
  // repeat the same pixels).
  int MaskHeight() const override;
  std::int64_t Progress(std::int64_t e, std::int64_t d) const override;
  void Build(std::int64_t t, std::int64_t e, std::int64_t d) override;
};

// The ordered masks: a threshold per column (TWipeOrderHMask) or per row
// (TWipeOrderVMask) kept in a byte table of the target's width (height).
class TWipeOrderHMask : public TWipeMask {
 public:
  TWipeOrderHMask(const WipeSurfaces& surfaces, const WipeServices& services);
  void SetParam(int index, std::int32_t value) override;
  const std::vector<std::uint8_t>& Table() const { return m_table; }

 protected:
  virtual bool Vertical() const { return false; }
  // Fills the mask from the table: one row, or every row with its entry.
  void ApplyTable();

  std::vector<std::uint8_t> m_table;
};

class TWipeOrderVMask : public TWipeOrderHMask {
 public:
  TWipeOrderVMask(const WipeSurfaces& surfaces, const WipeServices& services);

 protected:
  bool Vertical() const override { return true; }
};

// Curtains: the columns (rows) of each band of P open one after another,
// the bands following each other.
class TWipeCurtainH : public TWipeOrderHMask {
 public:
  using TWipeOrderHMask::TWipeOrderHMask;

 protected:
  int MaskHeight() const override { return 1; }
  std::int64_t Progress(std::int64_t e, std::int64_t d) const override;
  void Build(std::int64_t t, std::int64_t e, std::int64_t d) override;
};

class TWipeCurtainV : public TWipeOrderVMask {
 public:
  using TWipeOrderVMask::TWipeOrderVMask;

 protected:
  std::int64_t Progress(std::int64_t e, std::int64_t d) const override;
  void Build(std::int64_t t, std::int64_t e, std::int64_t d) override;
};

// Grids: squares growing in the cells of P × P pixels, by distance from the
// top-left cell (GRID), by column (GRIDH) or by row (GRIDV).
class TWipeGrid : public TWipeMask {
 public:
  using TWipeMask::TWipeMask;

 protected:
  enum class Order { Distance, Columns, Rows };
  virtual Order CellOrder() const { return Order::Distance; }
  void OnPrepare() override;
  std::int64_t Progress(std::int64_t e, std::int64_t d) const override;
  void Build(std::int64_t t, std::int64_t e, std::int64_t d) override;

 private:
  std::int64_t m_columns = 0, m_rows = 0, m_span = 0;
  std::vector<std::int64_t> m_delays;  // per cell, row by row
};

class TWipeGridH : public TWipeGrid {
 public:
  using TWipeGrid::TWipeGrid;

 protected:
  Order CellOrder() const override { return Order::Columns; }
};

class TWipeGridV : public TWipeGrid {
 public:
  using TWipeGrid::TWipeGrid;

 protected:
  Order CellOrder() const override { return Order::Rows; }
};

// A fixed random order of the 4096 pixels of a 64 × 64 cell, repeated over
// the target.
class TWipeDither : public TWipeMask {
 public:
  using TWipeMask::TWipeMask;
  // The order (positions y × 64 + x) built by Prepare.
  const std::vector<int>& Order() const { return m_order; }

 protected:
  int MaskHeight() const override;
  void OnPrepare() override;
  std::int64_t Progress(std::int64_t e, std::int64_t d) const override;
  void Build(std::int64_t n, std::int64_t e, std::int64_t d) override;

 private:
  std::vector<int> m_order;
};

// The grey levels of a mask picture over a target of w × h pixels: 255
// everywhere, then the picture tiled from (0, 0), each channel inverted
// when `reverse`, as (77 R + 150 G + 29 B) >> 8. A missing picture (no
// files, an empty name, a name that does not exist) leaves 255; a picture
// that cannot be read is logged and counts as missing.
std::vector<std::uint8_t> wipe_grey_levels(const WipeServices& services, const std::string& name, bool reverse, int w,
                                           int h);

// Mask fade: each pixel switches over half of the duration, bright parts of
// the picture first.
class TWipeShadow : public TWipeMask {
 public:
  using TWipeMask::TWipeMask;

 protected:
  void OnPrepare() override;
  std::int64_t Progress(std::int64_t e, std::int64_t d) const override;
  void Build(std::int64_t i, std::int64_t e, std::int64_t d) override;

 private:
  std::vector<std::uint8_t> m_grey;
};

// Shapes around the target's centre (W / 2, H / 2), angles clockwise from
// straight up, drawn through Region.
class TWipeCircle : public TWipeMask {
 public:
  using TWipeMask::TWipeMask;

 protected:
  std::int64_t Progress(std::int64_t e, std::int64_t d) const override;
  void Build(std::int64_t radius, std::int64_t e, std::int64_t d) override;
};

// Shapes whose mask is a Region for e / d.
class TWipeSector : public TWipeMask {
 public:
  TWipeSector(const WipeSurfaces& surfaces, const WipeServices& services);

 protected:
  // On the kernel paths at 15, 16 and 32 bits the shape is kept instead of
  // a mask (which then stays as it was): every row is copied straight from
  // the two screens, the shape's spans from the new one and the gaps from
  // the old one, which the mask would only have said again pixel by pixel.
  void Draw(std::int64_t e, std::int64_t d) override;
  std::int64_t Progress(std::int64_t e, std::int64_t d) const override { return d > 0 ? e : 0; }
  void Build(std::int64_t, std::int64_t e, std::int64_t d) override;
  virtual Region Shape(long double fraction) const = 0;
  // A sector of a disc that covers the whole target.
  Region sector(long double start_degrees, long double sweep_degrees) const;

 private:
  bool draws_spans() const;

  Region m_shape;
  bool m_mask_drawn = false;
};

// [start, start + e/d × 360°), counter-clockwise when reversed.
class TWipeClockhand : public TWipeSector {
 public:
  using TWipeSector::TWipeSector;

 protected:
  Region Shape(long double fraction) const override;
};

// Two sectors from the start angle, one each way, each e/d of a half turn.
class TWipeFan : public TWipeSector {
 public:
  using TWipeSector::TWipeSector;

 protected:
  Region Shape(long double fraction) const override;
};

// Fans around the start angle and the opposite one, each opening e/d of a
// quarter turn to both sides.
class TWipeWFan : public TWipeSector {
 public:
  using TWipeSector::TWipeSector;

 protected:
  Region Shape(long double fraction) const override;
};

// Square blocks of side min(max(10, P), W, H) filled in a list order: a
// spiral from the top-left corner inwards, or a random order.
class TWipeBlockCoil : public TWipeMask {
 public:
  using TWipeMask::TWipeMask;
  // The blocks in their order, as (column, row), and the block side.
  const std::vector<std::pair<int, int>>& Blocks() const { return m_blocks; }
  int BlockSide() const { return m_side; }

 protected:
  void OnPrepare() override;
  // Lists the blocks of a grid of columns × rows in the type's order.
  virtual void ListBlocks(int columns, int rows);
  std::int64_t Progress(std::int64_t e, std::int64_t d) const override;
  void Build(std::int64_t n, std::int64_t e, std::int64_t d) override;

  std::vector<std::pair<int, int>> m_blocks;
  int m_side = 0;
};

class TWipeBlockRandom : public TWipeBlockCoil {
 public:
  using TWipeBlockCoil::TWipeBlockCoil;

 protected:
  void ListBlocks(int columns, int rows) override;
};

// The per-pixel composition of the mask family over whole rows, used by
// TWipeMask::Draw and by tests: dst, old and new rows of the target's
// layout, mask row of `count` bytes.
void compose_masked_rows(TCustomDIBX& target, const TCustomDIBX& old_screen, const TCustomDIBX& new_screen,
                         const TDIBX& mask, bool binary);

}  // namespace nova::graphics
