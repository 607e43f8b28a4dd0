// What the history fuzzer and its seeds share: the record versions the
// first byte picks from (one of each layout: column entries, row entries,
// snapshots, the manager record), and the page files and glyph manager a
// laid-out commit and a display read through.
#pragma once

#include <cstdint>

#include "data/history_format.h"
#include "support/test_font_service.h"
#include "text/font_pixel_manager.h"
#include "text_sources.h"

namespace nova::fuzz {

inline constexpr std::int32_t kHistoryVersions[] = {107, 113, 124, 134, 140};

struct HistoryWorld {
  HistoryWorld() {
    source.put("ep1", {std::nullopt, "ab<BR>cd<BR>ef<BR>gh<BR>ij", "x<VAR NAME=v>y<HISTCHAR VALUE=v>z<BR>w"});
    source.put("ep2", {"<DIV ALIGN=CENTER>long line of text<BR CLEAR>next<EVENT VALUE=e>"});
  }
  data::HistoryContext context() { return {&source, &glyphs, nullptr}; }

  test::TestTextSource source;
  test::TestFontService fonts;
  text::TFontPixelManager glyphs{fonts};
};

}  // namespace nova::fuzz
