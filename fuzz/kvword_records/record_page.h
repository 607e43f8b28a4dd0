// The page whose reveal state the records fuzzer reads: one fixed text of
// every kind of glyph that writes a level, laid out into three pages, and
// the page the fuzzer loads into.
#pragma once

#include <memory>
#include <vector>

#include "support/test_font_service.h"
#include "text/font_pixel_manager.h"
#include "text/kvword.h"
#include "text/word_layout.h"

namespace nova::fuzz {

struct RecordPage {
  RecordPage();
  test::TestFontService fonts;
  text::TFontPixelManager manager{fonts};
  text::TKvWord word{manager};
  std::vector<text::TWdPage> pages;
};

}  // namespace nova::fuzz
