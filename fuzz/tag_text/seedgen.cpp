// Seeds of the tag language fuzzer: texts over every tag and the tokenizer's
// special cases (caps, dangling lead bytes, blank lines, script text), each
// as written and as our tag writer writes its glyphs back.
#include <filesystem>
#include <string>

#include "../common/seeds.h"
#include "core/error.h"
#include "text/tag_parser.h"
#include "text/tag_writer.h"

using namespace nova;

namespace {

// ASCII and Shift-JIS bytes (表 and ソ end in 0x5C, ポ in 0x7C).
const char* const kTexts[] = {
    "two\r\nlines",
    "<B>b</B><I>i</I><U>u</U><S>s</S>",
    "<FONT SIZE=20 COLOR=#FF0000 BCOLOR=#00FF00 SCOLOR=#0000FF NAME=\"\x82\x6c\x82\x72\" BORDER=2 SHADOW>x</FONT>",
    "<NOBR><RUBY VALUE=\"\x82\xe9\x82\xd1\">\x95\x5c\x83\x5c</RUBY></NOBR>\x83\x7c",
    "<DIV ALIGN=CENTER>c</DIV><DIV ALIGN=TOP>r</DIV><INDENT>i<BR>j<UNDENT><BR CLEAR>k<CLEAR>",
    "<A HREF=\"page:label\\nx\"><WAIT VALUE=-20>link</WAIT></A><EVENT VALUE=\"e\\\\\"><EVENT VALUE=end END>",
    "<VAR NAME=score> <HISTCHAR VALUE=name> <IMG SRC=a.png ALIGN=top><IMG SRC=b.bri>",
    "<PRE>\r\n\tpre  text\r\nline\r\n</PRE><TEXTAREA>\r\nt\r\n</TEXTAREA>",
    "a<!-- <B> -->b<SCRIPT>if (a<b)\r\n</SCRIPT><STYLE>p{}</STYLE>",
    "\\<B\\> \\\\ \\q \"quoted <B> text\r\n\" \x14\x14 tab\there",
    "<A>no href</A>",
    "<FONT SIZE = 3 COLOR=#12><<B>>\x83\x5c<x",
    // Beyond the caps of sizes and widths, and numbers beyond the int range.
    "<FONT SIZE=99999 BORDER=1000 SHADOW=65>big</FONT><FONT SIZE=-99999 BORDER=64 SHADOW=-1>small",
    "<FONT SIZE=2147483648 BORDER=-2147483649 SHADOW=4294967296>x<FONT SIZE=-1025>y",
    // Lead bytes with nothing after them.
    "text\x82",
    "<B>\x9F",
    "\"quoted \xE0",
    "<FONT NAME=\x81",
    // Blank lines, and script text that keeps its breaks and tabs.
    "Hello\r\n\r\nWorld\x14\r\nagain \t\r\nend",
    "<\\SCRIPT>\r\na\tb\r\n</\\SCRIPT>\r\nc\td",
};

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  int n = 0;
  for (const char* source : kTexts) {
    fuzz::write_seed(folder, n++, source);
    try {
      const text::ParsedText parsed = text::parse_tagged_text(source);
      if (auto tagged = text::write_tagged_text(parsed, 50)) fuzz::write_seed(folder, n++, *tagged);
    } catch (const core::Error&) {
      // A text the language rejects is a seed as it stands.
    }
  }
  return 0;
}
