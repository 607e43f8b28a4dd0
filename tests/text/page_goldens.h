// The pages `nova text` renders on the installed fonts, stored as goldens
// beside the glyph goldens and bound by the same fonts and rasterizer
// (goldens/fonts.txt): fixture sentences with ruby, the line-breaking rules
// at row ends, right and centred rows, indents, links with one hovered,
// border and shadow (at 32 and 16 bits), half- and full-width text mixed.
//
// The sources are tests/text/goldens/pages/*.txt; the stored pictures
// goldens/pages/pages.bin.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "glyph_goldens.h"

namespace nova::text::goldens {

struct PageCase {
  const char* name;
  const char* source;  // in goldens/pages/
  const char* options;  // of nova text
};

const std::vector<PageCase>& page_cases();

// Runs `nova text` for every case in `work` and reads back the pages, named
// after the case and page. Raises core::Error when nova fails.
std::vector<Picture> render_pages(const std::filesystem::path& nova, const std::filesystem::path& work);

}  // namespace nova::text::goldens
