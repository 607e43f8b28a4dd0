// Seeds of the text layout fuzzer: settings written by the engine's settings
// writer around texts of every tag (as our tag writer writes them back),
// name/value lists and reveal timings.
#include <filesystem>
#include <string>

#include "../common/layout_input.h"
#include "../common/seeds.h"
#include "core/error.h"
#include "text/tag_parser.h"
#include "text/tag_writer.h"

using namespace nova;

namespace {

// ASCII and Shift-JIS bytes.
const char* const kTexts[] = {
    "plain text that wraps at the width of the text rectangle and goes on to another page",
    "\x82\xa0\x82\xa2\x82\xa4\x81\x42\x81\x75\x82\xa6\x81\x76\x82\xa8",  // あいう。「え」お
    "<B>bold</B> <I>italic</I> <U>under</U> <S>strike</S><BR>next row<BR CLEAR>next page",
    "<FONT SIZE=30 COLOR=#FF0000 BCOLOR=#00FF00 SCOLOR=#0000FF BORDER=2 SHADOW=3>big</FONT>x",
    "<NOBR><RUBY VALUE=\"\x82\xe9\x82\xd1\">\x95\x5c\x83\x5c</RUBY></NOBR>ab<RUBY VALUE=r>c</RUBY>",
    "<DIV ALIGN=CENTER>c<BR>c</DIV><DIV ALIGN=RIGHT>r<BR>r</DIV>a<INDENT>indented text goes on<UNDENT><BR>j",
    "<A HREF=\"page:label\">link <B>text</B></A> plain <A HREF=x>other</A>",
    "<WAIT VALUE=-20>a</WAIT><WAIT VALUE=2147483647>b<EVENT VALUE=e><EVENT VALUE=f END>c",
    "<VAR NAME=n> and <VAR NAME=m> <HISTCHAR VALUE=h>",
    "<IMG SRC=a.png ALIGN=TOP>x<IMG SRC=b.bri ALIGN=CENTER>y<IMG SRC=c>z<IMG SRC=ani>",
    "<FONT SIZE=90>\x82\xa0</FONT><INDENT>\x82\xa2\x82\xa4\x82\xa6\x82\xa8",
};

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  struct Shape {
    std::int32_t width, height, size, fade, speed, border, shadow;
    bool paging;
  };
  const Shape shapes[] = {{200, 60, 12, 100, 256, 0, 0, true}, {0, 40, 16, 0, 512, 1, 2, true},
                          {120, 300, 10, -5, 0, 0, 1, false}, {64, 16, 24, 300, -256, 2, 0, true}};
  int n = 0;
  for (const char* source : kTexts) {
    std::string text = source;
    try {
      if (auto tagged = text::write_tagged_text(text::parse_tagged_text(source), 30)) text = *tagged;
    } catch (const core::Error&) {
    }
    for (const Shape& s : shapes) {
      fuzz::LayoutInput in;
      in.settings.width = s.width;
      in.settings.height = s.height;
      in.settings.font_size = s.size;
      in.settings.fade_time = s.fade;
      in.settings.speed = s.speed;
      in.settings.border_width = s.border;
      in.settings.shadow_width = s.shadow;
      in.settings.paging = s.paging;
      in.text = text;
      in.names = {{"n", "value\x01with a break"}, {"m", "\x82\xa0\x82\xa2"}, {"h", "hist"}};
      in.tail = {static_cast<std::uint16_t>(n), 15, 15, 30, 0, 15, 1000, 15, 34, 60, 15, 15, 200, 15};
      fuzz::write_seed(folder, n++, fuzz::write_layout_input(in));
    }
  }
  return 0;
}
