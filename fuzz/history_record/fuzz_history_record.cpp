// The history part of a game record on arbitrary bytes: the first byte
// picks the record's version, the rest is the record. A damaged record
// leaves the formats as they were; one that reads writes a manager record
// that reads back to the same bytes.
#include <cstdint>
#include <cstdlib>

#include "core/error.h"
#include "data/history_format.h"
#include "history_versions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  if (size < 1) return 0;
  const std::int32_t version = fuzz::kHistoryVersions[data[0] % std::size(fuzz::kHistoryVersions)];
  data::TNovaHistoryFormatManager m;
  data::NotedPage page;
  page.box = "mes";
  page.key = "kept";
  m.NotePage(page);
  m.Commit("mes", {});
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
  (void)m.Default().History().Count();
  m.NotePage(page);
  try {
    m.Commit("mes", {});
  } catch (const core::Error&) {
    // A laid-out format is the viewer's; it keeps its page.
  }
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
