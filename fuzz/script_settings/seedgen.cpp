// Seeds: settings of several versions with every kind of initial variable.
#include "../script_common/samples.h"

int main(int argc, char** argv) {
  const std::filesystem::path folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  int n = 0;
  for (int version : {100, 103, 106, 108, 109, 110, 113, 114, 115}) {
    nova::script::TProjectSetting s = nova::fuzz::sample_settings(version, {{1, "i", 5, 0, false, ""},
                                                                            {2, "f", 0, 1.5L, false, ""},
                                                                            {3, "b", 0, 0, true, ""},
                                                                            {4, "s", 0, 0, false, "x"},
                                                                            {0, "r", 0, 0, false, ""}});
    if (version > 103) s.keep_status = 1;
    if (version >= 109) s.streamed_extensions = ".ogg";
    nova::fuzz::write_seed(folder, n++, s.Bytes());
  }
  return 0;
}
