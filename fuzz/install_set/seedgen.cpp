// Seeds: "install.dat" of every version, and folder-disc lists, made by our
// writers (and the tests' builder for the versions before 108).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../common/seeds.h"
#include "archive_builder.h"
#include "core/binary_io.h"
#include "files/install_set.h"

using namespace nova;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const fs::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  for (int version : {0, 99, 100, 101, 102, 103, 104, 105, 106, 107, 108}) {
    fuzz::write_seed(folder, "install_v" + std::to_string(version), 0,
                     test::build_install_file(version, {"a.txt", "", "b\\c.bmp"}));
  }
  files::TNovaInstallSet ours = files::TNovaInstallSet::Parse(test::build_install_file(108, {"x"}));
  ours.AddWrittenFile("save\\shot.bmp");
  ours.records14.push_back({1, 2, 3, 4});
  fuzz::write_seed(folder, "install_ours", 0, ours.Bytes());

  files::TFolderDiskList list;
  list.Add("BGM", 2);
  list.Add("movie\\op", 3);
  list.Add("\x83\x5C", 4);
  core::ByteWriter w;
  list.Write(w);
  fuzz::write_seed(folder, "folder_disc_list", 1, w.data());
  return 0;
}
