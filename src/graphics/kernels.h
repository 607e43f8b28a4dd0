// Row kernels: the packed fast paths of the surface operations for 32-bit
// (x8 r8 g8 b8), 16-bit (r5 g6 b5) and 15-bit (x1 r5 g5 b5) pixels.
//
// A surface operation clips, gathers its source row when it is mirrored,
// stretched or rotated, and hands each destination row to one kernel here.
// Every kernel gives exactly the bytes of the per-pixel formulas (for 32-bit
// pixels the low 24 bits; the top byte is not colour and kernels may write
// anything there).
//
// Paths: Portable is plain C++ for every processor; Sse2 is the x86-64
// baseline; Avx2 is used when the processor reports it. Reference is not a
// kernel set: it sends every operation down the per-pixel formulas (the
// path 8- and 24-bit surfaces always take). The path in force is chosen once
// from the processor and can be forced (tests, benchmarks).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace nova::graphics {

enum class PixelPath : std::uint8_t { Reference, Portable, Sse2, Avx2 };

std::string_view pixel_path_name(PixelPath p);
// The paths this processor can run, Reference first.
std::span<const PixelPath> available_pixel_paths();
// The best available path.
PixelPath best_pixel_path();
// The path every surface operation uses now.
PixelPath pixel_path();
// Forces a path for the whole process; an unavailable path is refused
// (returns false, nothing changes). Meant for tests and benchmarks.
bool force_pixel_path(PixelPath p);

// Restores the previous path when it goes.
class ScopedPixelPath {
 public:
  explicit ScopedPixelPath(PixelPath p) : m_previous(pixel_path()) { m_ok = force_pixel_path(p); }
  ~ScopedPixelPath() { force_pixel_path(m_previous); }
  ScopedPixelPath(const ScopedPixelPath&) = delete;
  ScopedPixelPath& operator=(const ScopedPixelPath&) = delete;
  bool ok() const { return m_ok; }

 private:
  PixelPath m_previous;
  bool m_ok = false;
};

namespace detail {

enum class RowFormat : std::uint8_t { X888, R565, X555, Count };

// Kernels by what they do to one destination row of `count` pixels.
enum class RowOp : std::uint8_t {
  Copy,         // d := s (keyed skips s equal to the key)
  Blend,        // d := mix(d, s, opacity) (keyed; skip_equal skips s = d)
  Masked,       // m := mask; skip m = 0; d := mix(d, s, m)
  MaskedBlend,  // skip m = 0; d := mix(d, s, (opacity × m) >> 8)
  Add,          // d := d + (opacity × s) >> 8 per channel, saturating (keyed)
  MaskedAdd,    // skip m = 0; d := d + ((opacity × m) >> 8 × s) >> 8
  ColorMasked,  // skip m = 0 and d = value; w := m or (m × opacity) >> 8; d := mix(d, value, w)
  Fill,         // d := value
  BlendRect,    // skip d = value; d := mix(d, value, opacity)
  AddRect,      // d := d + value per channel, saturating
  SubRect,      // d := d − value per channel, floored at 0
  Count
};

// mix(d, s, w) per channel = (s × w + d × (255 − w)) >> 8.
struct RowJob {
  std::uint8_t* dst = nullptr;
  const std::uint8_t* src = nullptr;   // `count` pixels, forward
  const std::uint8_t* mask = nullptr;  // `count` bytes
  int count = 0;
  int opacity = 255;
  std::uint32_t value = 0;
  std::uint32_t key = 0;  // compared on colour bits when keyed
  bool keyed = false;
  bool skip_equal = false;
};

using RowFn = void (*)(const RowJob&);

// The source columns every row of a stretch samples, in destination order,
// prepared once per draw by the kernel set that gathers them. Sets that
// gather with shuffles cut the table into blocks: each block's columns lie
// within one vector load of the source row, and a per-block control moves
// them into place, so a row costs one load, one shuffle and one store per
// block whatever the scale factor. The outputs after the last block (and all
// of them when a set makes no blocks) are read column by column.
struct ColumnPlan {
  struct Block {
    std::int32_t offset = 0;  // byte offset of the load from the row start
    std::int32_t take = 0;    // outputs the block yields (it stores a whole vector)
  };
  const int* cols = nullptr;
  int count = 0;
  int bytes = 0;  // pixel size, 1, 2 or 4
  std::vector<Block> blocks;
  std::vector<std::uint8_t> controls;  // one control vector per block
  int planned = 0;                     // outputs the blocks cover, from the first
  std::ptrdiff_t reach = 0;            // one past the furthest byte a block reads
};

// Reads `count` pixels of `bytes` bytes (1, 2 or 4) into `out`, pixel i from
// the source row `row` at column plan->cols[i] (table form; `count` is the
// plan's), or from (u >> 16, v >> 16) with u = u0 + i × du, v = v0 + i × dv,
// mirrored to mirror_x − x and mirror_y − y when asked (affine form, `base`
// the row 0 address). Every sample must lie inside the source. `end` is one
// past the source's last readable byte: the block loads of the table form
// may read past a row's last sample but never past `end`; the affine form
// reads its samples only.
struct GatherJob {
  std::uint8_t* out = nullptr;
  const std::uint8_t* row = nullptr;
  const ColumnPlan* plan = nullptr;
  const std::uint8_t* base = nullptr;
  const std::uint8_t* end = nullptr;  // one past the source's last byte
  int pitch = 0;
  std::int64_t u0 = 0, v0 = 0, du = 0, dv = 0;
  bool mirror_h = false, mirror_v = false;
  int mirror_x = 0, mirror_y = 0;
  int count = 0;
};

using GatherFn = void (*)(const GatherJob&);
// Fills the blocks of a plan whose cols, count and bytes are set.
using PlanFn = void (*)(ColumnPlan&);

struct KernelSet {
  RowFn fn[static_cast<int>(RowFormat::Count)][static_cast<int>(RowOp::Count)];
  // By pixel size: [0] 1 byte, [1] 2 bytes, [2] 4 bytes.
  PlanFn plan_columns[3];
  GatherFn gather_table[3];
  GatherFn gather_affine[3];
  RowFn get(RowFormat f, RowOp op) const { return fn[static_cast<int>(f)][static_cast<int>(op)]; }
  static int size_index(int bytes) { return bytes == 1 ? 0 : bytes == 2 ? 1 : 2; }
};

// The kernel set of a path (nullptr for Reference or an unavailable path).
const KernelSet* kernels_for(PixelPath p);
// The kernel set in force, nullptr when the reference path is forced.
const KernelSet* active_kernels();

// Filled by the files of each path.
void fill_portable_kernels(KernelSet& set);
void fill_sse2_kernels(KernelSet& set);
void fill_avx2_kernels(KernelSet& set);

}  // namespace detail
}  // namespace nova::graphics
