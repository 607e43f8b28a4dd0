#include "page_goldens.h"

#include <algorithm>

#include "core/error.h"
#include "graphics/dib_surface.h"
#include "graphics/png_codec.h"
#include "support/test_support.h"

namespace nova::text::goldens {

const std::vector<PageCase>& page_cases() {
  static const std::vector<PageCase> cases = {
      {"fixture sentences with ruby", "ruby.txt", "--size 480x240 --font-size 20"},
      {"kinsoku at row ends", "kinsoku.txt", "--size 264x200"},
      {"right and centred rows", "align.txt", "--size 420x200 --font-size 20"},
      {"indent and undent", "indent.txt", "--size 360x260 --font-size 20"},
      {"links, one hovered", "links.txt", "--size 360x130 --font-size 20 --hover 40,55"},
      {"border and shadow", "decorated.txt",
       "--size 420x110 --font-size 24 --color '#FFFFF0' --background '#6080A0'"},
      {"border and shadow 16-bit", "decorated.txt",
       "--size 420x110 --font-size 24 --color '#FFFFF0' --background '#6080A0' --bits 16"},
      {"half- and full-width mixed", "mixed.txt", "--size 400x200 --font-size 20"},
  };
  return cases;
}

std::vector<Picture> render_pages(const std::filesystem::path& nova, const std::filesystem::path& work) {
  std::vector<Picture> out;
  const std::filesystem::path sources = golden_folder() / "pages";
  int n = 0;
  for (const PageCase& c : page_cases()) {
    const std::filesystem::path png = work / ("case" + std::to_string(n++) + ".png");
    std::string listed;
    const std::string command = nova.string() + " text '" + (sources / c.source).string() + "' '" + png.string() +
                                "' " + c.options;
    if (test::run_command(command, &listed) != 0) core::throw_error("nova text failed: " + command);
    int page = 0;
    for (std::size_t at = 0; at < listed.size();) {
      const std::size_t end = listed.find('\n', at);
      const std::string file = listed.substr(at, end - at);
      at = end == std::string::npos ? listed.size() : end + 1;
      if (file.empty()) continue;
      const std::string bytes = test::read_file(file);
      graphics::TDIBSurface surface;
      std::int32_t transparent = -1;
      graphics::read_png(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), surface,
                         transparent, graphics::PictureLimits{});
      Picture p;
      p.name = std::string(c.name) + " page " + std::to_string(page++);
      p.note = c.options;
      p.width = surface.Width();
      p.height = surface.Height();
      p.bits = 32;
      for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) p.pixels.push_back(surface.GetPixel(x, y) & 0xFFFFFF);
      }
      out.push_back(std::move(p));
    }
  }
  return out;
}

}  // namespace nova::text::goldens
