// Reading layered pictures: the header, frames, layers and their data
// blocks, and the compositing of layers into each frame's picture as they
// are read.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/format.h"
#include "files/codec.h"
#include "graphics/brio_blocks.h"
#include "graphics/brios.h"
#include "graphics/brios_private.h"
#include "graphics/jpeg_codec.h"

namespace nova::graphics {
namespace {

constexpr std::int64_t kMinFrameRecord = 33;  // a frame record without name, palette or layers
constexpr std::int64_t kMinLayerRecord = 25;  // a version 0 layer record without name or data
constexpr std::int64_t kHeaderRecord = 40;

std::int32_t le32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

// The bytes of the file as the reader takes them: in place from a memory
// stream, or through the stream into a buffer that is valid until the next
// take. Every take is checked against what is left.
class Input {
 public:
  explicit Input(files::Stream& stream) : m_stream(stream) {
    m_start = stream.GetPosition();
    m_position = m_start;
    if (auto* memory = dynamic_cast<files::TKvMemoryStream*>(&stream)) {
      const auto bytes = memory->bytes();
      m_memory = bytes.subspan(
          std::min<std::size_t>(static_cast<std::size_t>(std::max<std::int64_t>(m_start, 0)), bytes.size()));
      m_in_place = true;
      m_end = m_start + static_cast<std::int64_t>(m_memory.size());
    } else {
      m_end = std::max(stream.GetSize(), m_start);
    }
  }

  std::int64_t left() const { return m_end - m_position; }
  std::int64_t offset() const { return m_position; }
  bool in_place() const { return m_in_place; }

  std::span<const std::uint8_t> take(std::int64_t n, std::string_view what) {
    if (n < 0) core::throw_error(core::format("%s: negative length %d", {what, static_cast<long long>(n)}));
    if (n > left()) {
      core::throw_error(core::format("%s: the file ends %d bytes early", {what, static_cast<long long>(n - left())}));
    }
    std::span<const std::uint8_t> out;
    if (m_in_place) {
      out = m_memory.subspan(static_cast<std::size_t>(m_position - m_start), static_cast<std::size_t>(n));
    } else {
      m_block.resize_uninitialized(static_cast<std::size_t>(n));
      m_stream.SetPosition(m_position);
      m_stream.ReadBuffer(m_block.data(), n);
      out = m_block.bytes();
    }
    m_position += n;
    return out;
  }
  // Up to n bytes without taking them.
  std::span<const std::uint8_t> peek(std::int64_t n) {
    const std::int64_t got = std::min(n, left());
    const std::int64_t at = m_position;
    auto out = take(got, "peek");
    m_position = at;
    return out;
  }
  void skip(std::int64_t n, std::string_view what) {
    if (n < 0 || n > left()) take(n, what);  // raises
    m_position += n;
  }
  std::uint8_t u8(std::string_view what) { return take(1, what)[0]; }
  std::int32_t i32(std::string_view what) { return le32(take(4, what).data()); }
  std::string str(std::string_view what) {
    const std::int32_t n = i32(what);
    const auto bytes = take(n, what);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  // Leaves the stream where reading stopped.
  void finish() { m_stream.SetPosition(m_position); }

 private:
  files::Stream& m_stream;
  std::int64_t m_start = 0;
  std::int64_t m_position = 0;
  std::int64_t m_end = 0;
  bool m_in_place = false;
  std::span<const std::uint8_t> m_memory;
  files::MemoryBlock m_block;
};

}  // namespace

// One reading of a file into a list: the header, then every frame with its
// layers composited as they come.
class BrioReader {
 public:
  BrioReader(TBrioFrameList& list, files::Stream& stream, BrioLoad flags)
      : m_list(list), m_in(stream), m_flags(flags), m_limits(list.Limits()) {}

  void read() {
    read_header();
    for (int i = 0; i < m_frame_count; ++i) read_frame(i);
    m_where.clear();
    if (has(m_flags, BrioLoad::Convert)) {
      // After every frame, not after each: blocks of later frames copy the
      // layers as they were read.
      for (int i = 0; i < m_list.Count(); ++i) convert_frame(m_list.Frames(i));
    }
    const bool keep = has(m_flags, BrioLoad::KeepLayers);
    for (int i = 0; i < m_list.Count(); ++i) {
      TBrioFrame& f = m_list.Frames(i);
      if (!keep) f.ClearLayers();
      f.surface.MakeUnique();
      for (auto& layer : f.m_layers) layer->surface.MakeUnique();
    }
    m_in.finish();
  }

  const std::string& where() const { return m_where; }
  std::int64_t offset() const { return m_in.offset(); }

  // The conversion after reading: masks for a transparent colour, then bit
  // counts.
  static void convert(TBrioFrame& frame, bool layers, int target);

 private:
  void read_header();
  void read_frame(int index);
  void read_layer(TBrioFrame& frame, int frame_index, int layer_index);
  void composite(TBrioFrame& frame, TBrioLayer& layer, int index);
  void ensure_composite(TBrioFrame& frame);
  // Decodes one data block of rows or blocks into `bitmap` (sized).
  void decode(std::span<const std::uint8_t> data, TDIBX& bitmap, TDIBSurface* borrower, bool compressed, bool arranged,
              const BlockPlace& place);
  void account(std::int64_t bytes);
  std::size_t inflate(std::span<const std::uint8_t> data, std::span<std::uint8_t> out, std::string_view what);
  void convert_frame(TBrioFrame& frame) { convert(frame, has(m_flags, BrioLoad::KeepLayers), m_list.target_bit_count); }

  TBrioFrameList& m_list;
  Input m_in;
  BrioLoad m_flags;
  PictureLimits m_limits;
  files::Inflater m_inflater;
  files::MemoryBlock m_scratch;
  std::string m_where;
  std::int64_t m_total_bytes = 0;

  // Header.
  int m_version = 0;
  int m_frame_count = 0;
  bool m_scrambled = false;
  int m_mode = kBrioZlib;
  int m_block_width = 0;
  int m_block_height = 0;
  // Layers nobody reads after they are composited (not kept, and no later
  // block can copy them) are freed at once.
  bool m_disposable = false;

  // The frame being read.
  int m_width = 0;
  int m_height = 0;
  int m_bits = 0;
  Palette m_palette{};
  std::uint32_t m_background_pixel = 0;
  bool m_composite_ready = false;
  bool m_first = true;
};

void BrioReader::account(std::int64_t bytes) {
  m_total_bytes += bytes;
  if (m_total_bytes > m_limits.max_total_bytes) {
    core::throw_error(core::format("the file's bitmaps need more than %d bytes in all",
                                   {static_cast<long long>(m_limits.max_total_bytes)}));
  }
}

std::size_t BrioReader::inflate(std::span<const std::uint8_t> data, std::span<std::uint8_t> out,
                                std::string_view what) {
  try {
    return m_inflater.InflateInto(data, out);
  } catch (const core::Error& e) {
    throw core::Error(std::string(what) + ": " + e.message());
  }
}

void BrioReader::read_header() {
  m_where = "header";
  const auto magic = m_in.peek(4);
  if (magic.size() == 4 && std::memcmp(magic.data(), "Brio", 4) == 0) {
    m_in.skip(4, "the magic");
    const auto digits = m_in.take(3, "the version");
    int v = 0;
    for (std::uint8_t d : digits) {
      if (d < '0' || d > '9') {
        core::throw_error(core::format("the version \"%s\" is not three digits",
                                       {std::string(reinterpret_cast<const char*>(digits.data()), 3)}));
      }
      v = v * 10 + (d - '0');
    }
    m_version = v;
  }
  std::array<std::uint8_t, kHeaderRecord> record{};
  std::int32_t count;
  std::int32_t background = 0;
  if (m_version < 103) {
    count = m_in.i32("the frame count");
    m_in.skip(1, "the header");
    if (m_version > 101) background = m_in.i32("the background colour");
  } else {
    const std::int32_t size = m_in.i32("the header size");
    if (size < 0) core::throw_error(core::format("the header size %d is negative", {size}));
    const std::int64_t kept = std::min<std::int64_t>(size, kHeaderRecord);
    const auto bytes = m_in.take(kept, "the header record");
    std::copy(bytes.begin(), bytes.end(), record.begin());
    m_in.skip(size - kept, "the header record");
    count = le32(&record[16]);
    m_scrambled = record[21] != 0;
    m_mode = record[22];
    background = le32(&record[24]);
    m_block_width = le32(&record[28]);
    m_block_height = le32(&record[32]);
    m_list.opaque_bottom = m_version >= 105 && record[36] != 0;
    m_list.jpeg_quality = record[37];
  }
  if (m_mode > kBrioJpeg) core::throw_error(core::format("storage mode %d is not 0, 1 or 2", {m_mode}));
  if (count < 0 || count > m_in.left() / kMinFrameRecord) {
    core::throw_error(
        core::format("%d frames cannot fit in the %d bytes left", {count, static_cast<long long>(m_in.left())}));
  }
  m_list.version = m_version;
  m_list.background_colour = background;
  m_list.storage_mode = m_mode;
  m_frame_count = has(m_flags, BrioLoad::FirstFrameOnly) ? std::min(count, 1) : count;
  const bool blocks = m_version >= 103 && m_block_width > 0 && m_block_height > 0 && m_mode != kBrioJpeg;
  m_disposable = !has(m_flags, BrioLoad::KeepLayers) && !blocks;
}

void BrioReader::read_frame(int index) {
  m_where = core::format("frame %d", {index});
  TBrioFrame& frame = m_list.AddFrame();
  frame.name = m_in.str("the frame name");
  frame.transparent = m_in.i32("the transparent value");
  frame.delay = m_in.i32("the delay");
  m_in.skip(5, "the frame record");
  const std::int32_t layers = m_in.i32("the layer count");
  m_width = m_in.i32("the width");
  m_height = m_in.i32("the height");
  m_bits = m_in.i32("the bit count");
  check_picture_size(m_width, m_height, m_bits, m_limits, "the frame");
  if (layers < 0 || layers > m_in.left() / kMinLayerRecord) {
    core::throw_error(
        core::format("%d layers cannot fit in the %d bytes left", {layers, static_cast<long long>(m_in.left())}));
  }
  m_palette = Palette{};
  if (m_bits <= 8) {
    const auto bytes = m_in.take(std::int64_t{4} << m_bits, "the palette");
    for (std::size_t i = 0; i < bytes.size() / 4; ++i) {
      m_palette[i] = PaletteEntry{bytes[4 * i], bytes[4 * i + 1], bytes[4 * i + 2], bytes[4 * i + 3]};
    }
  }
  frame.surface.SetPalette(m_palette);
  // The transparent value written into a pixel and read back as a colour:
  // cut to the pixel's width, converted.
  frame.transparent_colour =
      frame.transparent == -1 ? -1 : pixel_to_colour(m_bits, m_palette, static_cast<std::uint32_t>(frame.transparent));
  m_background_pixel = colour_to_pixel(m_bits, m_palette, m_list.background_colour & 0xFFFFFF);
  m_composite_ready = false;
  m_first = true;
  for (int i = 0; i < layers; ++i) read_layer(frame, index, i);
  m_where = core::format("frame %d", {index});
  ensure_composite(frame);
  if (m_version >= 104) {
    for (auto* list : {&frame.content_rects, &frame.second_rects}) {
      const std::int32_t n = m_in.i32("the rectangle count");
      if (n < 0 || n > m_in.left() / 16) {
        core::throw_error(
            core::format("%d rectangles cannot fit in the %d bytes left", {n, static_cast<long long>(m_in.left())}));
      }
      const auto bytes = m_in.take(std::int64_t{16} * n, "the rectangles");
      for (std::int32_t i = 0; i < n; ++i) {
        const std::uint8_t* p = bytes.data() + 16 * i;
        list->push_back(Rect{le32(p), le32(p + 4), le32(p + 8), le32(p + 12)});
      }
    }
  }
  frame.end_offset = m_in.offset();
}

void BrioReader::ensure_composite(TBrioFrame& frame) {
  if (m_composite_ready) return;
  account(dib_row_bytes(m_width, m_bits) * m_height);
  frame.surface.SetSize(m_width, m_height, m_bits);
  if (m_background_pixel != 0) frame.surface.Fill(m_background_pixel);
  m_composite_ready = true;
}

void BrioReader::read_layer(TBrioFrame& frame, int frame_index, int layer_index) {
  m_where = core::format("frame %d, layer %d", {frame_index, layer_index});
  TBrioLayer& layer = frame.AddLayer();
  m_in.skip(8, "the layer record");
  layer.visible = m_in.u8("the visible flag") != 0;
  layer.stored_transparent = m_in.i32("the transparent value");
  layer.opacity = m_in.i32("the opacity");
  layer.alpha_enabled = m_version >= 101 && m_in.u8("the alpha flag") != 0;
  layer.name = m_in.str("the layer name");

  const bool arranged = m_version >= 103 && m_mode != kBrioJpeg;  // blocks and scrambling apply
  const std::int64_t row_bytes = dib_row_bytes(m_width, m_bits);
  const std::int64_t colour_size = m_in.i32("the colour data size");
  const auto colour = m_in.take(colour_size, "the colour data");
  layer.surface.SetPalette(m_palette);
  if (m_mode == kBrioJpeg) {
    layer.jpeg = true;
    account(dib_row_bytes(m_width, 24) * m_height);
    layer.surface.SetSize(m_width, m_height, 24);
    if (!colour.empty() || !layer.surface.IsEmpty()) decode_jpeg(colour, layer.surface, m_limits);
  } else {
    const bool blocks = arranged && m_block_width > 0 && m_block_height > 0;
    if (m_mode == kBrioRaw && !blocks && colour_size < row_bytes * m_height) {
      core::throw_error(
          core::format("the colour data holds %d bytes where the bitmap needs %d",
                       {static_cast<long long>(colour_size), static_cast<long long>(row_bytes * m_height)}));
    }
    account(row_bytes * m_height);
    layer.surface.SetSize(m_width, m_height, m_bits);
    decode(colour, layer.surface.Bitmap(), &layer.surface, m_mode == kBrioZlib, arranged,
           BlockPlace{&m_list, frame_index, layer_index, false});
  }
  std::int64_t alpha_size = 0;
  if (m_version >= 100) {
    alpha_size = m_in.i32("the alpha data size");
    const auto alpha = m_in.take(alpha_size, "the alpha data");
    if (alpha_size > 0) {
      account(dib_row_bytes(m_width, 8) * m_height);
      TDIBX& plane = layer.surface.CreateAlpha(0);
      decode(alpha, plane, nullptr, m_mode != kBrioRaw, m_mode != kBrioJpeg && arranged,
             BlockPlace{&m_list, frame_index, layer_index, true});
    }
  }
  layer.transparent = layer.alpha_enabled && alpha_size > 0 ? -1 : layer.stored_transparent;
  composite(frame, layer, layer_index);
}

void BrioReader::decode(std::span<const std::uint8_t> data, TDIBX& bitmap, TDIBSurface* borrower, bool compressed,
                        bool arranged, const BlockPlace& place) {
  const std::int64_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
  const int bits = bitmap.GetBitCount();
  const std::int64_t row_bytes = dib_row_bytes(w, bits);
  const std::int64_t rows_size = row_bytes * h;
  const bool blocks = arranged && m_block_width > 0 && m_block_height > 0;
  const bool scrambled = arranged && m_scrambled;
  const std::string_view what = place.alpha ? "the alpha data" : "the colour data";
  // An empty bitmap takes nothing from its data, whatever it holds.
  if (rows_size == 0) return;
  const std::int64_t limit = blocks ? block_data_limit(w, h, bits, m_block_width, m_block_height) : rows_size;
  std::span<const std::uint8_t> bytes = data;
  if (compressed) {
    if (!blocks && !scrambled) {
      // Straight into the bitmap: its rows are the inflated rows.
      const std::size_t got = inflate(data, {bitmap.Lock(0, 0), static_cast<std::size_t>(rows_size)}, what);
      if (static_cast<std::int64_t>(got) < rows_size) {
        core::throw_error(core::format("%s inflates to %d bytes where the bitmap needs %d",
                                       {what, static_cast<long long>(got), static_cast<long long>(rows_size)}));
      }
      return;
    }
    if (limit > static_cast<std::int64_t>(files::kMaxInflatedSize)) {
      core::throw_error(core::format("%s may need more than %d bytes", {what, static_cast<long long>(limit)}));
    }
    m_scratch.resize_uninitialized(static_cast<std::size_t>(limit));
    const std::size_t got = inflate(data, m_scratch.bytes(), what);
    bytes = m_scratch.bytes().first(got);
  }
  if (blocks) {
    decode_blocks(bytes, bitmap, m_block_width, m_block_height, m_list.ImageKey(), m_scrambled, place);
    return;
  }
  if (static_cast<std::int64_t>(bytes.size()) < rows_size) {
    core::throw_error(core::format("%s holds %d bytes where the bitmap needs %d",
                                   {what, static_cast<long long>(bytes.size()), static_cast<long long>(rows_size)}));
  }
  if (scrambled) {
    const std::vector<std::uint32_t> p = brio_permutation(m_list.ImageKey(), h);
    for (std::int64_t i = 0; i < h; ++i) {
      std::memcpy(bitmap.Lock(0, static_cast<int>(p[static_cast<std::size_t>(i)])), bytes.data() + i * row_bytes,
                  static_cast<std::size_t>(row_bytes));
    }
  } else if (borrower && !compressed && m_in.in_place()) {
    borrower->BorrowRows(bytes.data(), static_cast<int>(w), static_cast<int>(h), bits);
  } else {
    std::memcpy(bitmap.Lock(0, 0), bytes.data(), static_cast<std::size_t>(rows_size));
  }
}

void BrioReader::composite(TBrioFrame& frame, TBrioLayer& layer, int index) {
  if (!layer.visible) {
    if (m_disposable) layer.surface.Clear();
    return;
  }
  TDIBSurface converted;
  const TDIBSurface* src = &layer.surface;
  if (src->BitCount() != m_bits) {
    converted.ShareFrom(layer.surface);
    converted.SetPalette(m_palette);
    converted.ConvertTo(m_bits);
    src = &converted;
  }
  const TDIBX* plane = layer.surface.Alpha();
  enum class How { Masked, Copy, Blend } how;
  if (plane && layer.alpha_enabled && index > 0) {
    how = How::Masked;
  } else if (layer.opacity > 254 && (layer.transparent == -1 || (m_first && m_list.opaque_bottom))) {
    how = How::Copy;
  } else {
    how = How::Blend;
  }
  if (how == How::Copy) {
    // Every pixel is replaced: the composite takes the layer's bitmap
    // (copy-on-write) instead of filling and copying.
    frame.surface.ShareBitmapOf(*src);
    m_composite_ready = true;
  } else {
    ensure_composite(frame);
  }
  if (plane && m_first && layer.alpha_enabled) frame.surface.ShareAlpha(*plane);
  if (how == How::Masked) {
    frame.surface.DrawMasked(*src, *plane);
  } else if (how == How::Blend) {
    frame.surface.BlendLayer(*src, layer.opacity, layer.transparent);
  }
  m_first = false;
  if (m_disposable) layer.surface.Clear();
}

void BrioReader::convert(TBrioFrame& frame, bool layers, int target) {
  if (frame.transparent_colour != -1) frame.MakeMask(layers);
  auto retarget = [](TDIBSurface& s, std::int32_t& key, int bits) {
    const std::int32_t colour = key == -1 ? -1 : s.PixelToColour(static_cast<std::uint32_t>(key));
    s.ConvertTo(bits);
    if (colour != -1) key = static_cast<std::int32_t>(s.ColourToPixel(colour));
  };
  if (target <= 0) {
    if (frame.surface.BitCount() > 8) return;
    retarget(frame.surface, frame.transparent, 24);
    if (layers) {
      for (int i = 0; i < frame.LayerCount(); ++i) {
        TBrioLayer& l = frame.Layers(i);
        retarget(l.surface, l.transparent, 24);
      }
    }
    return;
  }
  if (frame.HasAlpha() || frame.transparent_colour == -1) retarget(frame.surface, frame.transparent, target);
  if (layers) {
    for (int i = 0; i < frame.LayerCount(); ++i) {
      TBrioLayer& l = frame.Layers(i);
      if (l.surface.HasAlpha() || l.transparent == -1) retarget(l.surface, l.transparent, target);
    }
  }
}

// --- TBrioFrameList entry points -----------------------------------------------------------

void TBrioFrameList::LoadFromStream(files::Stream& stream, BrioLoad flags, std::string_view name) {
  Clear();
  BrioReader reader(*this, stream, flags);
  try {
    reader.read();
  } catch (const core::Error& e) {
    const std::string where = reader.where();
    const long long offset = reader.offset();
    Clear();
    std::string message;
    if (!name.empty()) message = std::string(name) + ": ";
    if (!where.empty()) message += where + ": ";
    throw core::Error(message + e.message() + core::format(" (at byte %d)", {offset}));
  } catch (...) {
    Clear();
    throw;
  }
}

void convert_after_reading(TBrioFrame& frame, bool layers, int target) { BrioReader::convert(frame, layers, target); }

}  // namespace nova::graphics
