// Seeds of the engine records fuzzer: settings written by the engine's and
// the label list's writers around their version boundaries, and reveal
// states saved by the engine at points of a reveal.
#include <filesystem>
#include <string>

#include "../common/seeds.h"
#include "record_page.h"
#include "text/label_list.h"
#include "text/word_reveal.h"

using namespace nova;

int main(int argc, char** argv) {
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  fuzz::RecordPage page;
  text::KvWordSettings s = page.word.settings();
  s.font_name = "\x82\x6c\x82\x72 Gothic";
  s.border_width = 2;
  s.shadow_width = 3;
  s.shadow_color = 0x102030;
  s.caret = {7, 9};
  page.word.set_settings(s);
  for (int version : {108, 109, 110, 111, 112}) {
    core::ByteWriter w;
    page.word.save_settings(w, version);
    fuzz::write_seed(folder, "engine" + std::to_string(version), '\0',
                     std::string(1, static_cast<char>(version - 108)) + w.take_string());
  }
  text::TKvLabelList list(page.fonts, page.manager);
  text::LabelListSettings l;
  l.quality = 2;
  l.border_width = 1;
  l.shadow_width = 2;
  l.shadow_color = 0x405060;
  l.style = 5;
  list.set_settings(l);
  for (int version : {107, 108, 109, 110, 121, 122, 123}) {
    core::ByteWriter w;
    list.save_settings(w, version);
    fuzz::write_seed(folder, "labels" + std::to_string(version), '\1',
                     std::string(1, static_cast<char>(version - 107)) + w.take_string());
  }
  for (std::size_t p = 0; p < page.pages.size(); ++p) {
    text::TWdPage& at = page.pages[p];
    text::reset_reveal(at);
    for (int n = 0; n < 8; ++n) {
      core::ByteWriter w;
      text::save_reveal_state(at, w);
      fuzz::write_seed(folder, "state" + std::to_string(p) + "_" + std::to_string(n), '\2',
                       std::string(1, static_cast<char>(p)) + w.take_string());
      text::step(at, 45);
    }
  }
  return 0;
}
