// Seeds: scripted input using every event kind, as the README and the tests
// write it.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void write_seed(const std::filesystem::path& folder, int n, const std::string& bytes) {
  std::ofstream out(folder / ("seed" + std::to_string(n)), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  const char* const scripts[] = {
      "# pointer and buttons\n0 mouse 10 20\n1 ldown\n2 lup\n3 rdown\n3 rup\n4 mdown\n4 mup\n",
      "5 wheel 1\n6 wheel -3\n7 key RETURN down\n8 key RETURN up\n9 key 65 repeat\n",
      "10 text \xe3\x81\x82\xe3\x81\x84 and more\r\n11 activate\n12 deactivate\n13 close\n",
      "20 key ESCAPE down\n15 mouse -5 99999\n",
  };
  int n = 0;
  for (const char* s : scripts) write_seed(folder, n++, s);
  return 0;
}
