// Seeds: settings of several versions with every kind of initial variable.
#include "../script_common/samples.h"

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  using namespace nova::script;
  int n = 0;
  for (int version : {100, 103, 106, 108, 109, 110, 113, 114, 115}) {
    TProjectSetting s;
    s.version = version;
    s.title = "title";
    s.start_page = "main.nsb";
    if (version >= 110) s.exit_page = "exit.nsb";
    if (version > 103) s.keep_status = 1;
    if (version >= 109) s.streamed_extensions = ".ogg";
    s.initial_variables = {{1, "i", 5, 0, false, ""},
                           {2, "f", 0, 1.5L, false, ""},
                           {3, "b", 0, 0, true, ""},
                           {4, "s", 0, 0, false, "x"},
                           {0, "r", 0, 0, false, ""}};
    s.folders.Add("bgm\\", 2);
    nova::fuzz::write_seed(argv[1], n++, s.Bytes());
  }
  return 0;
}
