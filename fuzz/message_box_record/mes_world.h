// What the message box fuzzer and its seeds share: a base list with the
// message box class, a glyph manager on the test font service, a text
// source with one page of texts, and a box with a laid-out text.
#pragma once

#include <cstdint>
#include <memory>

#include "components/base_list.h"
#include "components/component_factory.h"
#include "components/nova_mes.h"
#include "components/read_list.h"
#include "data/history_format.h"
#include "support/test_font_service.h"
#include "text/font_pixel_manager.h"
#include "text_sources.h"

namespace nova::fuzz {

// Versions the first byte picks from: before and after each field that
// comes with a version.
inline constexpr std::int32_t kBoxVersions[] = {101, 104, 113, 120, 124, 140};

struct MesWorld {
  MesWorld() {
    components::register_message_classes(factory);
    messages.glyphs = &glyphs;
    messages.texts = &source;
    messages.text_delay = [] { return 30; };
    source.put("ep1", {std::nullopt, "ab<BR>cd<BR>ef<BR>gh<BR>ij", "x<A HREF=\"go\\nnow\">LINK</A>y"}, 30);
    list.set_history(&history);
    list.set_read_marks(&marks);
    list.SetScreenSize(320, 240);
    clock.FrameDeltaMs = 15;
  }
  // A box showing the message, typed part of the way.
  components::TNovaMes& box() {
    auto& m = static_cast<components::TNovaMes&>(list.Create(components::LT_MES));
    m.SetName("mes");
    m.SetParent(&list.front_base());
    m.SetBounds(10, 20, 200, 20);
    write_int(m, components::PR_FONTHEIGHT, 10);
    m.SetTarget(components::PR_ONPLAYSTART, "start");
    m.SetReadMark(1, "ep1", 1);
    m.ShowTextCommand("ep1", 1);
    for (int i = 0; i < 4; ++i) list.UpdateAll();
    return m;
  }

  components::TComponentFactory factory;
  test::TestFontService fonts;
  text::TFontPixelManager glyphs{fonts};
  test::TestTextSource source;
  components::MesServices messages;
  core::FrameClock clock;
  data::TNovaHistoryFormatManager history;
  components::TNovaReadList marks;
  components::TNovaBaseList list{{factory, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &clock, &messages}};
};

}  // namespace nova::fuzz
