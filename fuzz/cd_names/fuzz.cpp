// Names from scripts and folders: a track number is 1..99 or -1, and the
// digits it came from say the same number.
#include <cstdlib>
#include <string>
#include <string_view>

#include "media/cd_folders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  const int n = nova::media::cd_track_number(name);
  if (n != -1 && (n < 1 || n > 99)) std::abort();
  if (n > 0 && std::atoi(std::string(name.substr(3)).c_str()) != n) std::abort();
  const int t = nova::media::track_file_number(name);
  if (t != -1 && (t < 1 || t > 99 || (name[5] - '0') * 10 + (name[6] - '0') != t)) std::abort();
  return 0;
}
