#include "platform/clock.h"

#include <ctime>

namespace nova::platform {

DateTime date_time_from_epoch_ms(std::int64_t epoch_ms, bool local) {
  std::time_t secs = static_cast<std::time_t>(epoch_ms / 1000);
  std::tm tm{};
  if (local)
    localtime_r(&secs, &tm);
  else
    gmtime_r(&secs, &tm);
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_wday,
                  tm.tm_hour,        tm.tm_min,     tm.tm_sec,  static_cast<int>(epoch_ms % 1000)};
}

}  // namespace nova::platform
