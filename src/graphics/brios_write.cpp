// Writing layered pictures: version 106, one header record, every frame's
// layers (or its composite as one layer), rows in the key's order, never
// blocks.
#include <cstring>

#include "core/binary_io.h"
#include "core/error.h"
#include "core/format.h"
#include "files/codec.h"
#include "graphics/brios.h"
#include "graphics/jpeg_codec.h"

namespace nova::graphics {
namespace {

class BrioWriter {
 public:
  BrioWriter(const TBrioFrameList& list, int mode, int quality)
      : m_list(list),
        m_key(list.ImageKey()),
        m_scrambled(m_key != 0),
        m_mode(m_scrambled ? kBrioRaw : mode),
        m_quality(quality) {}

  std::vector<std::uint8_t> write() {
    m_out.bytes("Brio106");
    m_out.i32(40);
    const TBrioFrame* first = m_list.Count() > 0 ? &m_list.Frames(0) : nullptr;
    m_out.i32(106);
    m_out.i32(first ? first->Width() : 0);
    m_out.i32(first ? first->Height() : 0);
    m_out.i32(first ? first->BitCount() : 0);
    m_out.i32(m_list.Count());
    m_out.u8(1);
    m_out.u8(m_scrambled ? 1 : 0);
    m_out.u8(static_cast<std::uint8_t>(m_mode));
    m_out.u8(0);
    m_out.i32(m_list.background_colour);
    m_out.i32(0);
    m_out.i32(0);
    m_out.u8(m_list.opaque_bottom ? 1 : 0);
    m_out.u8(static_cast<std::uint8_t>(m_quality));
    m_out.u16(0);
    for (int i = 0; i < m_list.Count(); ++i) write_frame(m_list.Frames(i), i);
    return m_out.take();
  }

 private:
  void write_frame(const TBrioFrame& f, int index) {
    m_out.str(f.name);
    m_out.i32(f.transparent);
    m_out.i32(f.delay);
    m_out.u8(0);
    m_out.i32(0);
    if (f.LayerCount() == 0) {
      write_frame_head(1, f.surface);
      write_layer_head(true, -1, 255, f.HasAlpha(), "Layer");
      write_data(&f.surface.Bitmap(), f.surface.GetPalette(), false);
      write_data(f.surface.Alpha(), f.surface.GetPalette(), true);
    } else {
      const TDIBSurface& base = f.Layers(0).surface;
      write_frame_head(f.LayerCount(), base);
      for (int i = 0; i < f.LayerCount(); ++i) {
        const TBrioLayer& l = f.Layers(i);
        if (l.surface.Width() != base.Width() || l.surface.Height() != base.Height() ||
            l.surface.BitCount() != base.BitCount()) {
          core::throw_error(core::format("frame %d: layer %d differs from the first in size or bit count", {index, i}));
        }
        write_layer_head(l.visible, l.transparent, l.opacity, l.alpha_enabled, l.name);
        write_data(&l.surface.Bitmap(), l.surface.GetPalette(), false);
        write_data(l.surface.Alpha(), l.surface.GetPalette(), true);
      }
    }
    // The rectangle lists are written empty.
    m_out.i32(0);
    m_out.i32(0);
  }

  void write_frame_head(int layers, const TDIBSurface& s) {
    m_out.i32(layers);
    m_out.i32(s.Width());
    m_out.i32(s.Height());
    m_out.i32(s.BitCount());
    if (s.BitCount() <= 8) {
      for (int i = 0; i < (1 << s.BitCount()); ++i) {
        const PaletteEntry& e = s.GetPalette()[static_cast<std::size_t>(i)];
        m_out.u8(e.blue);
        m_out.u8(e.green);
        m_out.u8(e.red);
        m_out.u8(e.reserved);
      }
    }
  }

  void write_layer_head(bool visible, std::int32_t transparent, std::int32_t opacity, bool alpha_enabled,
                        const std::string& name) {
    for (int i = 0; i < 8; ++i) m_out.u8(0);
    m_out.u8(visible ? 1 : 0);
    m_out.i32(transparent);
    m_out.i32(opacity);
    m_out.u8(alpha_enabled ? 1 : 0);
    m_out.str(name);
  }

  void write_data(const TDIBX* bitmap, const Palette& palette, bool alpha) {
    if (!bitmap) {
      m_out.i32(0);
      return;
    }
    if (m_mode == kBrioJpeg && !alpha) {
      if (bitmap->IsEmpty()) {
        m_out.i32(0);
        return;
      }
      TDIBSurface rgb;
      rgb.SetSize(bitmap->GetWidth(), bitmap->GetHeight(), 24);
      convert_pixels(*bitmap, palette, rgb.Bitmap(), palette);
      files::MemoryBlock jpeg;
      encode_jpeg(rgb, m_quality, jpeg);
      put_block(jpeg.bytes());
      return;
    }
    const auto row_bytes = static_cast<std::size_t>(dib_row_bytes(bitmap->GetWidth(), bitmap->GetBitCount()));
    const int h = bitmap->IsEmpty() ? 0 : bitmap->GetHeight();
    std::vector<std::uint8_t> rows(row_bytes * static_cast<std::size_t>(h));
    // The i-th row written is bitmap row P(i) (the mode-2 alpha data is
    // never scrambled: a key forces mode 1).
    if (m_scrambled && m_key == 0) core::throw_error_utf8("識別コードを設定してください");
    const std::vector<std::uint32_t> order = brio_permutation(m_scrambled ? m_key : 0, h);
    for (int i = 0; i < h; ++i) {
      std::memcpy(rows.data() + row_bytes * static_cast<std::size_t>(i),
                  bitmap->LockRead(0, static_cast<int>(order[static_cast<std::size_t>(i)])), row_bytes);
    }
    if (m_mode == kBrioZlib || (m_mode == kBrioJpeg && alpha)) {
      files::MemoryBlock packed;
      files::DeflateLevel1(rows, packed);
      put_block(packed.bytes());
    } else {
      put_block(rows);
    }
  }

  void put_block(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > 0x7FFFFFFFu) core::throw_error("a layer's data is too large for the format");
    m_out.i32(static_cast<std::int32_t>(bytes.size()));
    m_out.bytes(bytes);
  }

  const TBrioFrameList& m_list;
  std::int32_t m_key;
  bool m_scrambled;
  int m_mode;
  int m_quality;
  core::ByteWriter m_out;
};

}  // namespace

void TBrioFrameList::SaveToStream(files::Stream& stream, int mode, int quality) {
  if (mode < kBrioZlib || mode > kBrioJpeg) core::throw_error(core::format("storage mode %d is not 0, 1 or 2", {mode}));
  if (quality < 0 || quality > 255) core::throw_error(core::format("JPEG quality %d is not a byte", {quality}));
  const std::vector<std::uint8_t> bytes = BrioWriter(*this, mode, quality).write();
  stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

}  // namespace nova::graphics
