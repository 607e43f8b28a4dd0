#include "record_page.h"

#include "text/tokenizer.h"

namespace nova::fuzz {

RecordPage::RecordPage() {
  text::KvWordSettings s;
  s.width = 60;
  s.height = 30;
  s.font_size = 10;
  s.fade_time = 50;
  word.set_settings(s);
  word.names().set("n", "AB\x01" "C");
  word.parse(text::split_lines("a<VAR NAME=n>b<EVENT VALUE=e>c<IMG SRC=p>defghij<BR>klmno<INDENT>pqrstuvwxyz"));
  word.prepare_variables(0, -1, false);
  word.layout(pages);
}

}  // namespace nova::fuzz
