// Writes the glyph goldens (the pictures and the fonts they were made with)
// and an enlarged contact sheet with its legend, for review by eye before
// the goldens are committed; given the nova program, also the page goldens
// of `nova text` and their own sheet (CONTACT_SHEET's name with "-pages").
// Run through scripts/regenerate-glyph-goldens.
//
// usage: make_glyph_goldens GOLDEN_FOLDER CONTACT_SHEET.png [NOVA]
#include <cstdio>
#include <exception>
#include <fstream>

#include "glyph_goldens.h"
#include "page_goldens.h"
#include "platform/fonts.h"
#include "support/test_support.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: make_glyph_goldens GOLDEN_FOLDER CONTACT_SHEET.png [NOVA]\n");
    return 2;
  }
  try {
    namespace g = nova::text::goldens;
    const std::filesystem::path folder = argv[1], sheet = argv[2];
    auto fonts = nova::platform::create_font_service();
    const auto pictures = g::render_all(*fonts);
    std::filesystem::create_directories(folder);
    g::write_pictures(folder / "pictures.bin", pictures);
    std::ofstream(folder / "fonts.txt", std::ios::binary) << g::font_manifest(*fonts);
    if (!g::write_contact_sheet(sheet, pictures, 4)) {
      std::fprintf(stderr, "cannot write %s\n", sheet.c_str());
      return 1;
    }
    std::filesystem::path legend = sheet;
    legend.replace_extension(".txt");
    std::ofstream out(legend, std::ios::binary);
    for (const auto& p : pictures)
      out << p.name << " (" << p.width << " x " << p.height << ", " << p.bits << " bits) " << p.note << "\n";
    std::printf("%zu pictures; contact sheet %s, legend %s\n", pictures.size(), sheet.c_str(), legend.c_str());
    if (argc == 4) {
      nova::test::TempDir work;
      const auto pages = g::render_pages(argv[3], work.path());
      std::filesystem::create_directories(folder / "pages");
      g::write_pictures(folder / "pages" / "pages.bin", pages);
      std::filesystem::path page_sheet = sheet;
      page_sheet.replace_filename(sheet.stem().string() + "-pages.png");
      if (!g::write_contact_sheet(page_sheet, pages, 1)) {
        std::fprintf(stderr, "cannot write %s\n", page_sheet.c_str());
        return 1;
      }
      std::filesystem::path page_legend = page_sheet;
      page_legend.replace_extension(".txt");
      std::ofstream pl(page_legend, std::ios::binary);
      for (const auto& p : pages) pl << p.name << " (" << p.width << " x " << p.height << ") " << p.note << "\n";
      std::printf("%zu pages; contact sheet %s, legend %s\n", pages.size(), page_sheet.c_str(), page_legend.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_glyph_goldens: %s\n", e.what());
    return 1;
  }
  return 0;
}
