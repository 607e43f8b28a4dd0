// The history part of a game record on arbitrary bytes: the first byte
// picks the record's version, the rest is the record. A damaged record
// leaves the formats as they were; one that reads takes a page into every
// format (laid out where the format is), shows all it holds both as list
// entries and as segments, with and without stacking, and writes a manager
// record that reads back to the same bytes.
#include <cstdint>
#include <cstdlib>

#include "core/error.h"
#include "data/history_format.h"
#include "history_versions.h"

namespace {

using namespace nova;

// Everything a format holds, laid out into a box's engine: its own way
// (Fill over its whole count), then every entry and every segment.
void show_all(const data::TNovaHistoryFormat& f, fuzz::HistoryWorld& world, text::TKvWord& engine) {
  const data::TNovaNewHistory& h = f.History();
  const data::LayOutContext context{&world.source, nullptr};
  data::TNovaNewMesData record;
  std::vector<text::TWdPage> pages;
  const std::int32_t offset = f.Show(0, h.Count(), record);
  if (offset > 0) std::abort();
  record.LayOut(engine, pages, true, context, false, offset);
  data::HistoryEntries entries;
  for (std::size_t i = 0; i < h.entries().size(); ++i) {
    data::THistoryOldData e = h.entries()[i];
    e.key = data::effective_key(h.entries(), i);
    entries.push_back(std::move(e));
  }
  data::TNovaHistData segments;
  for (const data::TNovaHistData& p : h.pages()) {
    for (std::size_t k = 0; k < p.segments().size(); ++k) {
      data::THistSegment s = p.segments()[k];
      s.key = p.effective_key(k);
      segments.add(std::move(s));
    }
  }
  for (bool stacking : {false, true}) {
    record.ShowEntries(entries);
    pages.clear();
    record.LayOut(engine, pages, false, context, stacking, 0);
    record.ShowSegments(segments);
    pages.clear();
    record.LayOut(engine, pages, true, context, stacking, -7);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static fuzz::HistoryWorld world;
  const std::int32_t version = fuzz::kHistoryVersions[data[0] % std::size(fuzz::kHistoryVersions)];
  data::TNovaHistoryFormatManager m;
  data::NotedPage page;
  page.box = "mes";
  page.key = "kept";
  m.NotePage(page);
  m.Commit("mes", world.context());
  core::ByteWriter before;
  m.Save(before);
  core::ByteReader r(std::span<const std::uint8_t>(data + 1, size - 1));
  try {
    m.Load(r, version);
  } catch (const core::Error&) {
    core::ByteWriter after;
    m.Save(after);
    if (after.data() != before.data()) std::abort();
    return 0;
  }
  // What the box and the builtins do with it stays within bounds.
  if (m.Default().History().Count() < 0 && !m.Default().History().laid_out()) std::abort();
  page.key = "ep1";
  page.command = 1;
  page.box_width = 200;
  page.box_height = 40;
  m.NotePage(page);
  m.Commit("mes", world.context());
  text::TKvWord engine(world.glyphs);
  text::KvWordSettings look;
  look.width = 200;
  look.height = 60;
  engine.set_settings(look);
  for (std::size_t i = 0; i < m.FormatCount(); ++i) show_all(m.Format(i), world, engine);
  core::ByteWriter w;
  m.Save(w);
  data::TNovaHistoryFormatManager back;
  core::ByteReader again(w.data());
  back.Load(again, data::kHistoryWriteVersion);
  core::ByteWriter w2;
  back.Save(w2);
  if (w2.data() != w.data() || !again.at_end()) std::abort();
  return 0;
}
