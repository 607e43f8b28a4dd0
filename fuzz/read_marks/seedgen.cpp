// Seeds: read-mark records written by the list's own writer.
#include "../common/seeds.h"
#include "components/read_list.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  components::TNovaReadList marks;
  core::ByteWriter empty;
  marks.SaveToStream(empty);
  fuzz::write_seed(folder, 0, empty.data());
  marks.SetPending("mes", "ep1", 0, 10);
  marks.CommitPending("mes");
  marks.SetPending("mes", "ep1", 1, 10);
  marks.CommitPending("mes");
  marks.SetPending("mes", "EP2", 0, 250);
  marks.CommitPending("mes");
  marks.SetPending("box", "ep3", 2, 7);
  core::ByteWriter full;
  marks.SaveToStream(full);
  fuzz::write_seed(folder, 1, full.data());
  return 0;
}
