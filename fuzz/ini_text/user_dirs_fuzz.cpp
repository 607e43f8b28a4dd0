// Any text is a user-dirs.dirs file: the pictures folder it names is the
// home folder's or an absolute path, never empty, and never relative.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/system.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::filesystem::path found = nova::platform::pictures_folder_from_user_dirs(text, "/home/someone");
  if (found.empty() || !found.is_absolute()) std::abort();
  return 0;
}
