#include "core/sjis.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

namespace nova::core {

const std::string& sjis(std::string_view utf8_literal) {
  // Node-based map: references to its values stay valid while others are added.
  static std::mutex mutex;
  static std::map<std::string, std::string, std::less<>> cache;
  std::lock_guard lock(mutex);
  auto it = cache.find(utf8_literal);
  if (it != cache.end()) return it->second;
  auto converted = platform::codepage::from_utf8(utf8_literal);
  if (!converted) {
    std::fprintf(stderr, "internal error: program text has no Shift-JIS form: %.*s\n",
                 static_cast<int>(utf8_literal.size()), utf8_literal.data());
    std::abort();
  }
  return cache.emplace(std::string(utf8_literal), std::move(*converted)).first->second;
}

}  // namespace nova::core
