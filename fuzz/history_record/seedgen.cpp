// Seeds: the history part of game records at each version the fuzzer
// picks, written by the history's own writers (the older layouts by the
// history record's writer at that version).
#include "../common/seeds.h"
#include "data/history_format.h"
#include "history_versions.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  data::TNovaHistoryFormatManager m;
  for (int i = 0; i < 4; ++i) {
    data::NotedPage p;
    p.box = "mes";
    p.box_width = 400;
    p.box_height = 120;
    p.key = i < 2 ? "ep1" : "EP2";
    p.command = 3 + i;
    p.page = i;
    p.first = i * 10;
    p.last = i * 10 + 9;
    m.NotePage(p);
    m.Commit("mes", {});
  }
  data::NotedPage pending;
  pending.box = "mes";
  pending.key = "ep3";
  pending.snapshot =
      "who=Ann\r\nline=a\x01"
      "b";
  m.NotePage(pending);
  m.Default().History().SetMaxCount(20);
  m.FindOrCreate("wide").SetSettings({16, 1, 2, 600, 480, 10});
  int n = 0;
  for (std::size_t v = 0; v < std::size(fuzz::kHistoryVersions); ++v) {
    const std::int32_t version = fuzz::kHistoryVersions[v];
    core::ByteWriter w;
    w.u8(static_cast<std::uint8_t>(v));
    if (version >= data::kHistoryFormatsVersion) {
      m.Save(w);
    } else {
      m.Default().History().save(w, version);
    }
    fuzz::write_seed(folder, n++, w.data());
  }
  data::TNovaHistoryFormatManager empty;
  core::ByteWriter w;
  w.u8(static_cast<std::uint8_t>(std::size(fuzz::kHistoryVersions) - 1));
  empty.Save(w);
  fuzz::write_seed(folder, n++, w.data());
  return 0;
}
