// The layered picture format (".bri"): TBrioFrameList, TBrioFrame and
// TBrioLayer, its reader and writer, the PNG and bitmap files that load into
// the same frames, and the transfer of frames to surfaces.
//
// A file holds frames; each frame holds layers, composited into the frame's
// picture (its composite) while they are read. Layer data may be stored
// raw, zlib-compressed or as JPEG, in a row or block order permuted by the
// title's image key, and blocks may be copied from earlier frames and
// layers, so a long animation stores little more than what changes.
//
// Sections: the layer, the frame and the list; transfer to surfaces; the
// permutation of rows and blocks.
//
// Ownership: the list owns its frames, a frame its layers and composite, a
// layer its bitmap. Frames read from a memory stream may borrow rows of the
// stream's bytes while they are read; LoadFromStream copies whatever it
// keeps before it returns, so the list never outlives anything.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/stream.h"
#include "graphics/dib_surface.h"

namespace nova::graphics {

class TBrioFrame;
class TBrioFrameList;

// What LoadFromStream and LoadFromFile do besides reading.
enum class BrioLoad : std::uint8_t {
  None = 0,
  FirstFrameOnly = 1,  // at most one frame is read; the stream is left after it
  KeepLayers = 2,      // the layers stay with their frames (else only composites)
  Convert = 4,         // the conversion after reading (masks, bit counts)
};
constexpr BrioLoad operator|(BrioLoad a, BrioLoad b) {
  return static_cast<BrioLoad>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}
constexpr bool has(BrioLoad set, BrioLoad flag) {
  return (static_cast<std::uint8_t>(set) & static_cast<std::uint8_t>(flag)) != 0;
}

// Storage modes of the file header.
enum BrioMode : std::uint8_t { kBrioZlib = 0, kBrioRaw = 1, kBrioJpeg = 2 };

class TBrioLayer {
 public:
  explicit TBrioLayer(TBrioFrame* frame) : m_frame(frame) {}

  TBrioFrame* Frame() const { return m_frame; }
  std::string name;  // Shift-JIS
  // Same size as the frame; the frame's bit count, or 24 for JPEG data.
  TDIBSurface surface;
  bool visible = true;
  // The transparent value in effect (−1 none): −1 when alpha enabled and
  // alpha data was present, whatever the file stored.
  std::int32_t transparent = -1;
  // The transparent value as the file stored it.
  std::int32_t stored_transparent = -1;
  std::int32_t opacity = 255;
  bool alpha_enabled = false;
  // The colour data was JPEG (storage mode 2).
  bool jpeg = false;

 private:
  TBrioFrame* m_frame;
};

class TBrioFrame {
 public:
  explicit TBrioFrame(TBrioFrameList* list) : m_list(list) {}

  TBrioFrameList* List() const { return m_list; }
  int LayerCount() const { return static_cast<int>(m_layers.size()); }
  TBrioLayer& Layers(int i) { return *m_layers.at(static_cast<std::size_t>(i)); }
  const TBrioLayer& Layers(int i) const { return *m_layers.at(static_cast<std::size_t>(i)); }
  TBrioLayer& AddLayer();
  void ClearLayers() { m_layers.clear(); }

  // The composite has an alpha plane.
  bool HasAlpha() const { return surface.HasAlpha(); }
  // Those of the first layer when there are layers, else of the composite.
  int Width() const;
  int Height() const;
  int BitCount() const;

  // Gives the composite an alpha plane when it has none: 255, and 0 where
  // the pixel is the frame's transparent value. With `include_layers`,
  // every layer without a plane gets one the same way, keyed by its own
  // transparent value or else the frame's (nothing cleared when both are −1).
  void MakeMask(bool include_layers);
  // Cuts off the columns and rows at the edges that are wholly transparent
  // (by the alpha plane when there is one, else by the transparent value;
  // nothing when the frame has neither) and answers where the kept part lies
  // in the uncut picture. An all-transparent picture keeps its top-left
  // pixel. The composite and its plane are cropped; both rectangle lists
  // are intersected with the kept part (and lose what misses it); layers
  // stay as they are.
  Rect Trim();

  std::int32_t delay = 100;
  // Pixel value of the composite treated as transparent; −1 none.
  std::int32_t transparent = -1;
  // The transparent value as a colour word (red in the low byte), or −1.
  std::int32_t transparent_colour = -1;
  std::string name;  // Shift-JIS
  TDIBSurface surface;
  std::vector<Rect> content_rects;
  std::vector<Rect> second_rects;
  // The stream position just after the frame's record (rectangle lists
  // included); 0 for frames not read from a stream.
  std::int64_t end_offset = 0;

 private:
  friend class BrioReader;
  TBrioFrameList* m_list;
  std::vector<std::unique_ptr<TBrioLayer>> m_layers;
};

class TBrioFrameList {
 public:
  // `image_key` is the title's image key, seed of the row and block order.
  explicit TBrioFrameList(std::int32_t image_key = 0) : m_image_key(image_key) {}
  TBrioFrameList(const TBrioFrameList&) = delete;
  TBrioFrameList& operator=(const TBrioFrameList&) = delete;

  // Reads a file from the stream's position. Every read is checked: a
  // truncated or damaged file, one that asks for more than `Limits()`, or
  // one whose blocks copy from where they may not raises core::Error naming
  // `name` (when given), the place and the fault, and leaves the list empty;
  // nothing is read past the data. The stream is left after what was read
  // (after the first frame with FirstFrameOnly).
  void LoadFromStream(files::Stream& stream, BrioLoad flags = BrioLoad::None, std::string_view name = {});
  // By the extension, without regard to case: ".bri" LoadFromStream, ".png"
  // and ".bmp"/".dib" one frame from a PNG or bitmap file; any other
  // extension leaves the list empty. Errors name the file.
  void LoadFromFile(const std::filesystem::path& path, BrioLoad flags = BrioLoad::None);
  // One frame from a PNG or bitmap file held in memory (`png` chooses).
  void LoadPicture(std::span<const std::uint8_t> bytes, bool png, std::string_view name = {});

  // Writes the list as a version 106 file in storage mode 0 with JPEG
  // quality 70, replacing the file atomically.
  void SaveToFile(const std::filesystem::path& path);
  // Writes the list at the stream's position. A non-zero image key forces
  // storage mode 1 with scrambled rows. Frames with layers write their
  // layers (which must all have the first one's size and bit count); frames
  // without write their composite as one layer.
  void SaveToStream(files::Stream& stream, int mode, int quality);

  int Count() const { return static_cast<int>(m_frames.size()); }
  TBrioFrame& Frames(int i) { return *m_frames.at(static_cast<std::size_t>(i)); }
  const TBrioFrame& Frames(int i) const { return *m_frames.at(static_cast<std::size_t>(i)); }
  TBrioFrame& AddFrame();
  // Frees every frame; the fields read from a header return to their
  // defaults.
  void Clear();
  void MakeMasks(bool include_layers);

  std::int32_t ImageKey() const { return m_image_key; }
  void SetImageKey(std::int32_t key) { m_image_key = key; }
  // The colour each composite is cleared to, as stored (red in the low
  // byte).
  std::int32_t background_colour = 0;
  // The version read: 0 for a file without magic, else its three digits.
  std::int32_t version = 0;
  // When positive, Convert brings frames to this bit count.
  std::int32_t target_bit_count = 0;
  // The first visible layer is drawn without its transparent value.
  bool opaque_bottom = false;
  // The storage mode and JPEG quality of the header read (0 and 70 for
  // files without one).
  int storage_mode = kBrioZlib;
  int jpeg_quality = 70;

  const PictureLimits& Limits() const { return m_limits; }
  void SetLimits(const PictureLimits& limits) { m_limits = limits; }

 private:
  friend class BrioReader;
  std::int32_t m_image_key;
  PictureLimits m_limits;
  std::vector<std::unique_ptr<TBrioFrame>> m_frames;
};

// --- Transfer to surfaces --------------------------------------------------------------

// Sizes `surface` to the frame, keeping its bit count, and copies the
// composite in (24 into 32 bits as 0x00RRGGBB, 32 into 32 with the top byte
// cleared, everything else converted by the platform's rules), with both
// rectangle lists. The caller sets the surface's transparent value to its
// ColorToPixel of the frame's transparent colour.
void CopyFrameToSurface(const TBrioFrame& frame, TCustomDIBX& surface);
// When the composite has an alpha plane, sizes `surface` to the frame at 8
// bits and copies the plane in; otherwise leaves it alone.
void CopyAlphaToSurface(const TBrioFrame& frame, TCustomDIBX& surface);
// Whether the stream (from its position, which is kept) starts a layered
// file of version 103 or later in storage mode 1: the archive writer
// compresses such files, and keeps the others (already compressed) as they
// are.
bool IsUncompressedBrio(files::Stream& stream);

// --- The permutation of rows and blocks ------------------------------------------------

// P over n items for the image key: P[i] is the integer the (i + 1)-th draw
// answers from a fresh TKvRandom deck of n whose increment is the key (read
// unsigned). The identity for key 0.
std::vector<std::uint32_t> brio_permutation(std::int32_t image_key, std::int64_t n);

}  // namespace nova::graphics
