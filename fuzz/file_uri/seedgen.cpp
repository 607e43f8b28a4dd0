// Seeds: file URIs as desktop portals write them (escaped blanks and
// non-ASCII, a host part, folders), and a few that must be refused.
#include <filesystem>

#include "../common/seeds.h"

int main(int argc, char** argv) {
  const std::filesystem::path folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  const char* const uris[] = {
      "file:///home/user/Desktop/a%20b.txt",
      "file:///tmp/%E3%81%82%25.txt",
      "file://localhost/srv/d",
      "FILE:///X",
      "file:///x%00y",
      "https://example.com/x",
      "file://host/share/x",
  };
  int n = 0;
  for (const char* u : uris) nova::fuzz::write_seed(folder, n++, u);
  return 0;
}
