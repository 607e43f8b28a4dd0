// TCustomDIBX's file operations: pictures loaded by content, ".bmp" files
// loaded and saved.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/error.h"
#include "files/stream.h"
#include "graphics/bmp_codec.h"
#include "graphics/brios.h"
#include "graphics/dibx.h"
#include "graphics/png_codec.h"

namespace nova::graphics {
namespace {

bool is_bmp_name(const std::string& name) {
  std::string ext = std::filesystem::path(name).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".bmp";
}

// The picture into the surface, sized to it in the surface's bit count.
void take_picture(TCustomDIBX& surface, const TDIBSurface& picture) {
  surface.SetSize(picture.Width(), picture.Height(), surface.GetBitCount());
  Palette palette;
  surface.GetPalette(palette);
  convert_pixels(picture.Bitmap(), picture.GetPalette(), surface, palette);
}

}  // namespace

void TCustomDIBX::LoadFromStream(files::Stream& stream, std::int32_t image_key) {
  const std::int64_t at = stream.GetPosition();
  std::uint8_t head[4] = {};
  const std::int64_t got = stream.Read(head, 4);
  stream.SetPosition(at);
  const bool bmp = got >= 2 && head[0] == 'B' && head[1] == 'M';
  const bool png = got >= 4 && std::memcmp(head + 1, "PNG", 3) == 0;
  const bool bri = got >= 4 && std::memcmp(head, "Brio", 4) == 0;
  if (bri) {
    TBrioFrameList list(image_key);
    list.LoadFromStream(stream, BrioLoad::FirstFrameOnly);
    if (list.Count() > 0) take_picture(*this, list.Frames(0).surface);
    return;
  }
  if (!bmp && !png) return;
  files::MemoryBlock bytes;
  bytes.resize_uninitialized(static_cast<std::size_t>(std::max<std::int64_t>(stream.GetSize() - at, 0)));
  bytes.resize_uninitialized(
      static_cast<std::size_t>(stream.Read(bytes.data(), static_cast<std::int64_t>(bytes.size()))));
  TBrioFrameList list;
  list.LoadPicture(bytes.bytes(), png);
  take_picture(*this, list.Frames(0).surface);
}

void TCustomDIBX::LoadFromFile(const std::string& name) {
  std::error_code ec;
  if (!is_bmp_name(name) || !std::filesystem::is_regular_file(name, ec)) return;
  TBrioFrameList list;
  list.LoadFromFile(name);
  take_picture(*this, list.Frames(0).surface);
}

void TCustomDIBX::SaveToFile(const std::string& name) {
  if (!is_bmp_name(name)) return;
  files::host::write_file_atomically(name, write_bmp24(*this));
}

}  // namespace nova::graphics
