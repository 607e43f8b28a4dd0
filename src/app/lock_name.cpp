#include "app/lock_name.h"

#include <climits>
#include <cwchar>
#include <cwctype>

namespace nova::app {

std::string instance_lock_name(std::string_view source) {
  std::string upper;
  std::mbstate_t in{};
  std::size_t i = 0;
  while (i < source.size()) {
    wchar_t wc = 0;
    std::size_t n = std::mbrtowc(&wc, source.data() + i, source.size() - i, &in);
    if (n == 0 || n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
      // Not a character of the locale: keep the byte as it is.
      in = std::mbstate_t{};
      upper.push_back(source[i]);
      ++i;
      continue;
    }
    char buffer[MB_LEN_MAX];
    std::mbstate_t out{};
    std::size_t m = std::wcrtomb(buffer, static_cast<wchar_t>(std::towupper(static_cast<wint_t>(wc))), &out);
    if (m == static_cast<std::size_t>(-1))
      upper.append(source.substr(i, n));
    else
      upper.append(buffer, m);
    i += n;
  }
  if (upper.empty() || upper.back() != '/') upper.push_back('/');
  for (char& c : upper) {
    if (c == '/') c = '-';
  }
  return upper;
}

}  // namespace nova::app
