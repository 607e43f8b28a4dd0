// Any text either is refused or becomes an absolute path without a NUL; and
// any path without a NUL, written as a file URI with every byte escaped,
// comes back unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/dialogs.h"

using namespace nova::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto path = file_uri_to_path(text)) {
    const std::string s = path->string();
    if (s.empty() || s.front() != '/' || s.find('\0') != std::string::npos) std::abort();
  }
  if (text.find('\0') == std::string_view::npos) {
    std::string uri = "file:///";
    for (char c : text) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
      uri += buf;
    }
    const auto back = file_uri_to_path(uri);
    if (!back || back->string() != "/" + std::string(text)) std::abort();
  }
  return 0;
}
