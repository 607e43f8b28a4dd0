// make_demo_pictures FOLDER: writes the demo title's pictures into FOLDER
// as PNG files, every pixel computed here:
// - bg_room.png, bg_street.png: 640 × 480 backgrounds (a room at dusk with
//   a window, a street under a night sky), opaque;
// - chara.png: 240 × 400 a figure whose alpha falls off softly over its
//   last 6 pixels towards the outside;
// - window.png: 600 × 140 a message window, translucent inside (alpha 160)
//   with an opaque frame 4 pixels wide;
// - log.png: 32 × 28 the backlog button, opaque: a frame and three lines
//   of "text".
// The build turns each into a layered picture with its plane (nova img).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "files/stream.h"
#include "graphics/dib_surface.h"
#include "graphics/png_codec.h"

namespace {

using Pixel = std::function<std::uint32_t(int x, int y)>;    // 0x00RRGGBB
using Coverage = std::function<std::uint8_t(int x, int y)>;  // 0..255

std::uint32_t rgb(int r, int g, int b) {
  auto c = [](int v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); };
  return c(r) << 16 | c(g) << 8 | c(b);
}

bool write(const std::filesystem::path& path, int w, int h, const Pixel& pixel, const Coverage& alpha) {
  nova::graphics::TDIBSurface s;
  s.SetSize(w, h, 24);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) s.SetPixel(x, y, pixel(x, y));
  }
  if (alpha) {
    nova::graphics::TDIBX& plane = s.CreateAlpha(0);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) plane.SetPixel(x, y, alpha(x, y));
    }
  }
  nova::files::MemoryBlock png;
  nova::graphics::write_png(s, -1, png);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

// A room at dusk: a wall fading down to a floor, a window with the sky.
std::uint32_t room(int x, int y) {
  if (x >= 380 && x < 560 && y >= 80 && y < 260) {
    if (x % 90 < 4 || y % 90 < 4) return rgb(90, 60, 40);  // the window's bars
    return rgb(250 - (y - 80) / 2, 150 - (y - 80) / 3, 90 + (y - 80) / 4);
  }
  if (y >= 360) return rgb(110 - (y - 360) / 4, 80 - (y - 360) / 5, 60);
  return rgb(200 - y / 4, 180 - y / 4, 150 - y / 5);
}

// A street at night: a dark blue sky with stars over a row of houses.
std::uint32_t street(int x, int y) {
  const int roof = 300 - ((x / 80) % 3) * 40;
  if (y >= 420) return rgb(60, 60, 70);
  if (y >= roof) {
    const bool lit = (x % 80) > 20 && (x % 80) < 44 && y > roof + 30 && y < roof + 60;
    return lit ? rgb(240, 210, 120) : rgb(40, 35, 50);
  }
  if ((x * 7 + y * 13) % 997 == 0) return rgb(255, 255, 240);
  return rgb(10, 20, 60 + y / 6);
}

// The figure: a head over a body, as a distance inside the shape.
double figure_inside(int x, int y) {
  const double head = 40 - std::hypot(x - 120.0, y - 70.0);
  const double half = 50 + (y - 110) * 0.15;
  const double body = y < 110 ? -1e9 : std::min({half - std::abs(x - 120.0), y - 110.0, 395.0 - y});
  return std::max(head, body);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_pictures FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  bool ok = write(folder / "bg_room.png", 640, 480, room, nullptr);
  ok = write(folder / "bg_street.png", 640, 480, street, nullptr) && ok;
  ok = write(
           folder / "chara.png", 240, 400,
           [](int x, int y) { return y < 110 ? rgb(250, 220, 200) : rgb(200 - y / 8, 80, 110 + x / 6); },
           [](int x, int y) {
             const double d = figure_inside(x, y);
             return static_cast<std::uint8_t>(d <= 0 ? 0 : d >= 6 ? 255 : static_cast<int>(d * 255 / 6));
           }) &&
       ok;
  ok = write(
           folder / "window.png", 600, 140,
           [](int x, int y) {
             const bool frame = x < 4 || y < 4 || x >= 596 || y >= 136;
             return frame ? rgb(230, 230, 255) : rgb(20, 30, 70 + y / 4);
           },
           [](int x, int y) {
             const bool frame = x < 4 || y < 4 || x >= 596 || y >= 136;
             return static_cast<std::uint8_t>(frame ? 255 : 160);
           }) &&
       ok;
  ok = write(
           folder / "log.png", 32, 28,
           [](int x, int y) {
             const bool frame = x < 2 || y < 2 || x >= 30 || y >= 26;
             const bool line = x >= 7 && x < 25 && (y == 8 || y == 13 || y == 18);
             return frame || line ? rgb(230, 230, 255) : rgb(20, 30, 90);
           },
           nullptr) &&
       ok;
  if (!ok) {
    std::fprintf(stderr, "make_demo_pictures: cannot write into %s\n", folder.c_str());
    return 1;
  }
  return 0;
}
