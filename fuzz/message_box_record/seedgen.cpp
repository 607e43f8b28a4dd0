// Seeds: a box's fields written by its own writer, typed part of the way,
// on a later page, paused, with links captured; one per version the
// fuzzer picks (the writer writes every field; older readers stop early).
#include "../common/seeds.h"
#include "mes_world.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  fuzz::MesWorld world;
  components::TNovaMes& m = world.box();
  int n = 0;
  auto seed = [&](std::size_t version_index) {
    core::ByteWriter w;
    w.u8(static_cast<std::uint8_t>(version_index));
    m.SaveFields(w);
    fuzz::write_seed(folder, n++, w.data());
  };
  seed(std::size(fuzz::kBoxVersions) - 1);
  m.SetPage(1);
  m.SetPaused(true);
  m.SetCaptureLink(true);
  m.SetAuxiliary(2, "aux");
  for (int i = 0; i < 5; ++i) world.list.UpdateAll();
  for (std::size_t v = 0; v < std::size(fuzz::kBoxVersions); ++v) seed(v);
  m.SetText("plain <A HREF=\"x\">text</A>");
  seed(std::size(fuzz::kBoxVersions) - 1);
  return 0;
}
