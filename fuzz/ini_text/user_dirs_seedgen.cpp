// Seeds: user-dirs.dirs files as the desktop's folder tool writes them, and
// a few damaged ones.
#include <filesystem>

#include "../common/seeds.h"

int main(int argc, char** argv) {
  const std::filesystem::path folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  int n = 0;
  const char* const files[] = {
      "# This file is written by xdg-user-dirs-update\n# If you want to change or add directories, just edit the "
      "line you're\n# interested in.\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
      "XDG_PICTURES_DIR=\"$HOME/Pictures\"\n",
      "XDG_PICTURES_DIR=\"$HOME/\xe7\x94\xbb\xe5\x83\x8f\"\r\n",
      "XDG_PICTURES_DIR=\"/srv/shared/pictures\"\nXDG_PICTURES_DIR=\"$HOME\"\n",
      "XDG_PICTURES_DIR=$HOME/unquoted\nXDG_PICTURES_DIR=\"\nXDG_PICTURES_DIR=\"relative/path\"\n",
      "  XDG_PICTURES_DIR=\"$HOMEX/odd\"   \n",
  };
  for (const char* text : files) nova::fuzz::write_seed(folder, n++, text);
  return 0;
}
