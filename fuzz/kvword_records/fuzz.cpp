// The engine's records as a save file holds them. The first byte selects:
//   0  engine settings, version 108 + the second byte % 5
//   1  label-list settings, version 107 + the second byte % 17
//   2  the reveal state of the first page of a fixed text
// A record that reads must write (in its version) to bytes that read back to
// the same settings, or, for a reveal state, save to the same bytes again.
#include <cstdio>
#include <cstdlib>

#include "core/error.h"
#include "record_page.h"
#include "text/label_list.h"
#include "text/word_reveal.h"

using namespace nova;

namespace {

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "kvword records: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::span<const std::uint8_t> body(data + 2, size - 2);
  fuzz::RecordPage page;
  try {
    switch (data[0] % 3) {
      case 0: {
        const int version = 108 + data[1] % 5;
        core::ByteReader r(body);
        page.word.load_settings(r, version);
        const text::KvWordSettings first = page.word.settings();
        core::ByteWriter w;
        page.word.save_settings(w, version);
        core::ByteReader back(w.data());
        page.word.load_settings(back, version);
        if (!(page.word.settings() == first) || !back.at_end()) fault("engine settings do not read back");
        break;
      }
      case 1: {
        const int version = 107 + data[1] % 17;
        text::TKvLabelList list(page.fonts, page.manager);
        core::ByteReader r(body);
        list.load_settings(r, version);
        const text::LabelListSettings first = list.settings();
        core::ByteWriter w;
        list.save_settings(w, version);
        core::ByteReader back(w.data());
        list.load_settings(back, version);
        if (!(list.settings() == first) || !back.at_end()) fault("label-list settings do not read back");
        break;
      }
      default: {
        text::TWdPage& p = page.pages.at(data[1] % page.pages.size());
        text::load_reveal_state(p, body);
        core::ByteWriter first;
        text::save_reveal_state(p, first);
        text::load_reveal_state(p, first.data());
        core::ByteWriter second;
        text::save_reveal_state(p, second);
        if (first.data() != second.data()) fault("a reveal state does not save to the same bytes");
        text::step(p, 15);
        break;
      }
    }
  } catch (const core::Error&) {
  }
  return 0;
}
