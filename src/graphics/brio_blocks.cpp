#include "graphics/brio_blocks.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/binary_io.h"
#include "core/error.h"
#include "core/format.h"

namespace nova::graphics {
namespace {

struct Geometry {
  std::int64_t width, height, block_width, block_height, columns, rows;
  int storage_bits;

  Rect block(std::int64_t index) const {
    const std::int64_t col = index % columns, row = index / columns;
    const std::int64_t x = col * block_width, y = row * block_height;
    return Rect{static_cast<int>(x), static_cast<int>(y), static_cast<int>(std::min(width, x + block_width)),
                static_cast<int>(std::min(height, y + block_height))};
  }
  // Bytes of one row of a block w' pixels wide; a block's first byte is the
  // one its left edge falls in.
  std::size_t row_bytes(int w) const { return static_cast<std::size_t>((std::int64_t{w} * storage_bits + 7) / 8); }
  std::size_t byte_of(int x) const { return static_cast<std::size_t>(std::int64_t{x} * storage_bits / 8); }
};

[[noreturn]] void fail(std::int64_t index, const std::string& why) {
  core::throw_error(core::format("block %d: %s", {static_cast<long long>(index), why}));
}

// Copies block `r` of `from` (at its top-left corner `from_origin`) onto
// block `r` of `to`.
void copy_block(const Geometry& g, const TDIBX& from, Point from_origin, TDIBX& to, const Rect& r) {
  const std::size_t n = g.row_bytes(r.width());
  for (int j = 0; j < r.height(); ++j) {
    // The destination first: locking it for writing may detach a shared
    // buffer, and the source (possibly the same bitmap) is read after.
    std::uint8_t* d = to.Lock(0, r.top + j) + g.byte_of(r.left);
    std::memmove(d, from.LockRead(0, from_origin.y + j) + g.byte_of(from_origin.x), n);
  }
}

}  // namespace

std::int64_t block_data_limit(std::int64_t width, std::int64_t height, int bit_count, std::int64_t block_width,
                              std::int64_t block_height) {
  const std::int64_t columns = (width + block_width - 1) / block_width;
  const std::int64_t rows = (height + block_height - 1) / block_height;
  const int bits = storage_bits(bit_count);
  std::int64_t row_sum = 0;  // one raw row through every block column
  for (std::int64_t c = 0; c < columns; ++c) {
    const std::int64_t w = std::min(block_width, width - c * block_width);
    row_sum += (w * bits + 7) / 8;
  }
  return columns * rows * 8 + row_sum * height;
}

void decode_blocks(std::span<const std::uint8_t> data, TDIBX& bitmap, int block_width, int block_height,
                   std::int32_t image_key, bool scrambled, const BlockPlace& place) {
  Geometry g{bitmap.GetWidth(), bitmap.GetHeight(), block_width, block_height, 0, 0, bitmap.GetStorageBitCount()};
  if (block_width <= 0 || block_height <= 0) core::throw_error("blocks: a block side is not positive");
  g.columns = (g.width + block_width - 1) / block_width;
  g.rows = (g.height + block_height - 1) / block_height;
  const std::int64_t count = g.columns * g.rows;
  if (count * 8 > static_cast<std::int64_t>(data.size())) {
    core::throw_error(core::format("blocks: the table of %d entries is cut short", {static_cast<long long>(count)}));
  }
  core::ByteReader r(data);
  r.set_context("blocks");
  struct Entry {
    std::int32_t kind, argument;
  };
  std::vector<Entry> table(static_cast<std::size_t>(count));
  if (scrambled) {
    const std::vector<std::uint32_t> p = brio_permutation(image_key, count);
    for (std::int64_t i = 0; i < count; ++i) {
      Entry& e = table[p[static_cast<std::size_t>(i)]];
      e.kind = r.i32();
      e.argument = r.i32();
    }
  } else {
    for (Entry& e : table) {
      e.kind = r.i32();
      e.argument = r.i32();
    }
  }
  for (std::int64_t k = 0; k < count; ++k) {
    const Entry e = table[static_cast<std::size_t>(k)];
    const Rect dest = g.block(k);
    if (e.kind == -1) {
      const std::size_t n = g.row_bytes(dest.width());
      if (n * static_cast<std::size_t>(dest.height()) > r.remaining()) fail(k, "the raw block data is cut short");
      for (int j = 0; j < dest.height(); ++j) {
        std::memcpy(bitmap.Lock(0, dest.top + j) + g.byte_of(dest.left), r.span(n).data(), n);
      }
    } else if (e.kind == -2) {
      if (e.argument < 0 || e.argument >= k) {
        fail(k, core::format("copies block %d, which is not filled yet", {e.argument}));
      }
      const Rect from = g.block(e.argument);
      if (from.width() < dest.width() || from.height() < dest.height()) {
        fail(k, core::format("copies block %d, which is smaller", {e.argument}));
      }
      copy_block(g, bitmap, Point{from.left, from.top}, bitmap, dest);
    } else if (e.kind >= 0) {
      const bool earlier = e.kind < place.frame || (e.kind == place.frame && e.argument < place.layer);
      if (!place.list || !earlier || e.argument < 0) {
        fail(k, core::format("copies frame %d, layer %d, which is not read before it", {e.kind, e.argument}));
      }
      const TBrioFrame& frame = place.list->Frames(e.kind);
      if (e.argument >= frame.LayerCount()) {
        fail(k, core::format("copies frame %d, layer %d, which does not exist", {e.kind, e.argument}));
      }
      const TDIBSurface& s = frame.Layers(e.argument).surface;
      const TDIBX* source = place.alpha ? s.Alpha() : &s.Bitmap();
      if (!source) {
        fail(k, core::format("copies the alpha plane of frame %d, layer %d, which has none", {e.kind, e.argument}));
      }
      if (source->GetWidth() != g.width || source->GetHeight() != g.height ||
          source->GetBitCount() != bitmap.GetBitCount()) {
        fail(k, core::format("copies frame %d, layer %d, whose size or bit count differs", {e.kind, e.argument}));
      }
      copy_block(g, *source, Point{dest.left, dest.top}, bitmap, dest);
    } else {
      fail(k, core::format("kind %d is not a kind of block", {e.kind}));
    }
  }
}

}  // namespace nova::graphics
