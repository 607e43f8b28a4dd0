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

namespace nova::platform {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date, and back: the civil
// calendar algorithms that count in eras of 400 years, exact for every year
// a 64-bit count reaches here.
std::int64_t days_from_civil(std::int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(std::int64_t z, std::int64_t& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

int days_in_month(std::int64_t y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

DateTime calendar_after(const DateTime& origin, std::int64_t ms) {
  const std::int64_t origin_ms =
      days_from_civil(origin.year, origin.month, origin.day) * 86'400'000 +
      ((static_cast<std::int64_t>(origin.hour) * 60 + origin.minute) * 60 + origin.second) * 1000 + origin.millisecond;
  const std::int64_t t = origin_ms + ms;
  const std::int64_t days = floor_div(t, 86'400'000);
  std::int64_t in_day = t - days * 86'400'000;
  DateTime r;
  std::int64_t year = 0;
  civil_from_days(days, year, r.month, r.day);
  r.year = static_cast<int>(year);
  // 1970-01-01 was a Thursday (4).
  r.day_of_week = static_cast<int>(((days % 7) + 11) % 7);
  r.millisecond = static_cast<int>(in_day % 1000);
  in_day /= 1000;
  r.second = static_cast<int>(in_day % 60);
  in_day /= 60;
  r.minute = static_cast<int>(in_day % 60);
  r.hour = static_cast<int>(in_day / 60);
  return r;
}

std::optional<DateTime> parse_date_time(std::string_view text) {
  // YYYY-MM-DD HH:MM:SS[.mmm]
  auto digits = [&](std::size_t at, std::size_t n, int& out) {
    if (at + n > text.size()) return false;
    out = 0;
    for (std::size_t i = at; i < at + n; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      out = out * 10 + (text[i] - '0');
    }
    return true;
  };
  DateTime t;
  if (text.size() != 19 && text.size() != 23) return std::nullopt;
  if (!digits(0, 4, t.year) || text[4] != '-' || !digits(5, 2, t.month) || text[7] != '-' || !digits(8, 2, t.day) ||
      text[10] != ' ' || !digits(11, 2, t.hour) || text[13] != ':' || !digits(14, 2, t.minute) || text[16] != ':' ||
      !digits(17, 2, t.second)) {
    return std::nullopt;
  }
  if (text.size() == 23 && (text[19] != '.' || !digits(20, 3, t.millisecond))) return std::nullopt;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > days_in_month(t.year, t.month) || t.hour > 23 ||
      t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  t.day_of_week = calendar_after(t, 0).day_of_week;
  return t;
}

}  // namespace nova::platform
