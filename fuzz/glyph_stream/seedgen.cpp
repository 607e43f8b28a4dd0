// Seeds of the glyph stream fuzzer: texts of every kind of glyph, written by
// our writer in every version it distinguishes.
#include <filesystem>
#include <string>

#include "../common/seeds.h"
#include "text/glyph_stream.h"
#include "text/tag_parser.h"

using namespace nova;

namespace {

// The texts are ASCII and Shift-JIS bytes (表 and ソ end in 0x5C, ポ in 0x7C).
const char* const kTexts[] = {
    "plain text",
    "<B>bold</B> <I>italic</I> <U>under</U> <S>strike</S>",
    "<FONT SIZE=20 COLOR=#FF0000 BCOLOR=#00FF00 SCOLOR=#0000FF NAME=\"\x82\x6c\x82\x72\" BORDER=2 SHADOW=1>x</FONT>",
    "<NOBR><RUBY VALUE=\"\x82\xe9\x82\xd1\">\x95\x5c\x83\x5c</RUBY></NOBR>\x83\x7c",
    "<DIV ALIGN=CENTER>c</DIV><DIV ALIGN=RIGHT>r</DIV><INDENT>i<BR>j<UNDENT><BR CLEAR>k<CLEAR>",
    "<A HREF=\"page:label\"><WAIT VALUE=-20>link</WAIT></A><EVENT VALUE=e><EVENT VALUE=end END>",
    "<VAR NAME=score> <HISTCHAR VALUE=name> <IMG SRC=a.png ALIGN=top><IMG SRC=b.bri>",
};

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  const text::StreamVersion versions[] = {
      text::StreamVersion::headerless(), {99, true}, {100, true}, {101, true}, {102, true}};
  int n = 0;
  for (const char* source : kTexts) {
    const text::ParsedText parsed = text::parse_tagged_text(source);
    for (text::StreamVersion v : versions) {
      fuzz::write_seed(folder, n++, text::write_glyph_stream(parsed, v));
    }
  }
  return 0;
}
