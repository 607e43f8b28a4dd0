// Seeds: scripted input using every event kind, as the README and the tests
// write it.
#include <filesystem>
#include <string>

#include "../common/seeds.h"

int main(int argc, char** argv) {
  const std::filesystem::path folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  const char* const scripts[] = {
      "# pointer and buttons\n0 mouse 10 20\n1 ldown\n2 lup\n3 rdown\n3 rup\n4 mdown\n4 mup\n",
      "5 wheel 1\n6 wheel -3\n7 key RETURN down\n8 key RETURN up\n9 key 65 repeat\n",
      "10 text \xe3\x81\x82\xe3\x81\x84 and more\r\n11 activate\n12 deactivate\n13 close\n",
      "20 key ESCAPE down\n15 mouse -5 99999\n",
  };
  int n = 0;
  for (const char* s : scripts) nova::fuzz::write_seed(folder, n++, s);
  return 0;
}
