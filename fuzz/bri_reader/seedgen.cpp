// Seeds for the layered-file fuzzer: the tests' hand writer's files of every
// version, header size, depth, storage mode, block kind and scrambling, and
// files written by SaveToStream, each behind flag and key bytes.
#include <filesystem>
#include <string>
#include <vector>

#include "../common/seeds.h"
#include "../picture_common/picture_fuzz.h"
#include "graphics/brios.h"
#include "graphics/jpeg_codec.h"
#include "picture_builders.h"

using namespace nova;
namespace gt = graphics::test;

namespace {

int g_seed = 0;
std::filesystem::path g_folder;

void save(std::uint8_t flags, std::int32_t key, const std::string& file) {
  fuzz::write_seed(g_folder, g_seed++, fuzz::bri_input(flags, key, file));
}

std::vector<std::uint32_t> pattern(int w, int h, int bits) {
  std::vector<std::uint32_t> v;
  const std::uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : (1u << (bits == 15 ? 16 : bits)) - 1;
  for (int i = 0; i < w * h; ++i) v.push_back((static_cast<std::uint32_t>(i) * 2654435761u) & mask);
  return v;
}

gt::RawLayer layer(int w, int h, int bits, std::uint8_t mode, bool alpha, std::int32_t key = 0) {
  gt::RawLayer l;
  const std::string rows = gt::dib_rows(w, h, bits, pattern(w, h, bits));
  const std::size_t row_bytes = h ? rows.size() / static_cast<std::size_t>(h) : 0;
  const std::string stored = key ? gt::scramble_rows(rows, row_bytes, key) : rows;
  l.colour = mode == 0 ? gt::zlib(stored) : stored;
  if (alpha) {
    const std::string plane = gt::dib_rows(w, h, 8, pattern(w, h, 8));
    const std::string p = key ? gt::scramble_rows(plane, plane.size() / static_cast<std::size_t>(h), key) : plane;
    l.alpha = mode == 1 ? p : gt::zlib(p);
    l.alpha_enabled = true;
  }
  return l;
}

}  // namespace

int main(int argc, char** argv) {
  g_folder = fuzz::seed_folder(argc, argv);
  if (g_folder.empty()) return 2;
  // Every version, with one frame of two layers.
  for (const char* v : {"", "100", "101", "102", "103", "104", "105", "106"}) {
    gt::RawFile f;
    f.magic = *v != 0;
    if (f.magic) f.version = v;
    f.opaque_bottom = true;
    f.background = 0x00336699;
    gt::RawLayer top = layer(5, 3, 24, 0, true);
    top.opacity = 128;
    top.transparent = 0x123456;
    f.frames.push_back(gt::RawFrame{
        "v", 0x00FF00, 50, 5, 3, 24, {}, {layer(5, 3, 24, 0, true), top}, {graphics::Rect{0, 0, 2, 2}}, {}});
    save(0x02, 0, gt::build_bri(f));
  }
  // Header sizes.
  for (std::int32_t size : {20, 40, 48}) {
    gt::RawFile f;
    f.header_size = size;
    f.frames.push_back(gt::RawFrame{"", -1, 1, 3, 2, 8, {}, {layer(3, 2, 8, 0, false)}, {}, {}});
    save(0x00, 0, gt::build_bri(f));
  }
  // Every depth in modes 0 and 1, scrambled with a key or not.
  for (int bits : {1, 4, 8, 15, 16, 24, 32}) {
    for (std::uint8_t mode : {0, 1}) {
      for (std::int32_t key : {0, 12345}) {
        gt::RawFile f;
        f.mode = mode;
        f.scrambled = key != 0;
        f.frames.push_back(gt::RawFrame{"", 1, 1, 7, 5, bits, {}, {layer(7, 5, bits, mode, bits > 8, key)}, {}, {}});
        f.frames.push_back(f.frames[0]);
        save(static_cast<std::uint8_t>(0x02 | (bits == 8 ? 0x04 : 0) | (mode << 5)), key, gt::build_bri(f));
      }
    }
  }
  // Mode 2: JPEG colour, zlib alpha.
  graphics::TDIBSurface picture;
  picture.SetSize(16, 8, 24);
  for (int x = 0; x < 16; ++x) {
    for (int y = 0; y < 8; ++y) picture.SetPixel(x, y, static_cast<std::uint32_t>(x * 0x100F00 + y * 0x20));
  }
  files::MemoryBlock jpeg;
  graphics::encode_jpeg(picture, 80, jpeg);
  for (int bits : {8, 16, 24}) {
    gt::RawFile f;
    f.mode = 2;
    f.quality = 80;
    gt::RawLayer l;
    l.colour = std::string(jpeg.view());
    l.alpha = gt::zlib(std::string(20 * 6, '\x70'));
    f.frames.push_back(gt::RawFrame{"", -1, 1, 20, 6, bits, {}, {l}, {}, {}});
    save(0x02, 0, gt::build_bri(f));
  }
  // Blocks of every kind, scrambled or not, across two frames.
  for (std::int32_t key : {0, -99}) {
    for (std::uint8_t mode : {0, 1}) {
      gt::RawFile f;
      f.mode = mode;
      f.scrambled = key != 0;
      f.block_width = 2;
      f.block_height = 2;
      auto data = [&](const std::vector<gt::BlockEntry>& t, const std::string& raw) {
        const std::string d = gt::block_data(t, raw, key);
        return mode == 0 ? gt::zlib(d) : d;
      };
      gt::RawLayer l0, l1, l2;
      l0.colour =
          data({{-1, 0}, {-1, 0}, {-1, 0}, {-1, 0}, {-1, 0}, {-1, 0}}, std::string(4 * 4 + 2 * 2 * 2 + 1 * 2, '\x21'));
      l0.alpha = l0.colour;
      l1.colour = data({{-1, 0}, {-2, 0}, {0, 0}, {-1, 0}, {-2, 0}, {0, 0}}, std::string(4 + 2, '\x42'));
      l2.colour = data({{0, 1}, {0, 1}, {0, 1}, {0, 0}, {0, 0}, {-1, 0}}, std::string(1, '\x63'));
      f.frames.push_back(gt::RawFrame{"", -1, 1, 5, 3, 8, {}, {l0, l1}, {}, {}});
      f.frames.push_back(gt::RawFrame{"", -1, 1, 5, 3, 8, {}, {l2}, {}, {}});
      save(mode == 0 ? 0x00 : 0x02, key, gt::build_bri(f));
    }
  }
  // Files of our own writer: every mode, with and without a key and layers.
  for (std::uint8_t mode : {0, 1, 2}) {
    for (std::int32_t key : {0, 7}) {
      gt::RawFile f;
      f.mode = 1;
      gt::RawLayer top = layer(9, 4, 24, 1, false);
      top.opacity = 200;
      f.frames.push_back(gt::RawFrame{"w", -1, 10, 9, 4, 24, {}, {layer(9, 4, 24, 1, true), top}, {}, {}});
      graphics::TBrioFrameList list;
      files::TKvMemoryStream in(files::as_bytes(gt::build_bri(f)));
      list.LoadFromStream(in, graphics::BrioLoad::KeepLayers);
      list.SetImageKey(key);
      files::TKvMemoryStream out;
      list.SaveToStream(out, mode, 60);
      save(static_cast<std::uint8_t>(0x02 | (mode << 5)), key, std::string(out.view()));
    }
  }
  return 0;
}
