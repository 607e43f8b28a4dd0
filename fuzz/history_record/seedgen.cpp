// Seeds: the history part of game records at each version the fuzzer
// picks, written by the history's own writers (the older layouts by the
// history record's writer at that version), with a list-mode default
// format and a laid-out one that recorded pages of the fuzzer's texts.
#include "../common/seeds.h"
#include "data/history_format.h"
#include "history_versions.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  fuzz::HistoryWorld world;
  data::TNovaHistoryFormatManager m;
  m.FindOrCreate("wide").SetSettings({16, 1, 2, 600, 80, 10});
  for (int i = 0; i < 4; ++i) {
    data::NotedPage p;
    p.box = "mes";
    p.box_width = 400;
    p.box_height = 120;
    p.key = i < 2 ? "ep1" : "EP2";
    p.command = i < 2 ? 1 + i : 0;
    p.page = i;
    p.first = i < 2 ? 0 : 4;
    p.last = i < 2 ? -1 : 20;
    m.NotePage(p);
    m.Commit("mes", world.context());
  }
  data::NotedPage pending;
  pending.box = "mes";
  pending.key = "ep3";
  pending.snapshot =
      "who=Ann\r\nline=a\x01"
      "b";
  m.NotePage(pending);
  m.Default().History().SetMaxCount(20);
  if (m.Find("wide")->History().pages().empty()) return 1;
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
    if (version < data::kHistoryFormatsVersion) {
      // The laid-out history alone, as older records hold the one history.
      core::ByteWriter laid;
      laid.u8(static_cast<std::uint8_t>(v));
      m.Find("wide")->History().save(laid, version);
      fuzz::write_seed(folder, n++, laid.data());
    }
  }
  data::TNovaHistoryFormatManager empty;
  core::ByteWriter w;
  w.u8(static_cast<std::uint8_t>(std::size(fuzz::kHistoryVersions) - 1));
  empty.Save(w);
  fuzz::write_seed(folder, n++, w.data());
  return 0;
}
