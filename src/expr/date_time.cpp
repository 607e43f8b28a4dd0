#include "expr/date_time.h"

#include <cmath>

#include "core/error.h"
#include "core/sjis.h"

namespace nova::expr {

namespace {

// Days from 1 January 1970 of a proleptic Gregorian date, and back, by
// eras of 400 years (146097 days each).
std::int64_t days_from_civil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(std::int64_t z, std::int64_t& y, std::int64_t& m, std::int64_t& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y = yoe + era * 400 + (m <= 2);
}

// Day 0 of the day numbers, 30 December 1899, from 1 January 1970.
const std::int64_t kEpochOffset = days_from_civil(1899, 12, 30);
// The day numbers of 1 January 1 and 31 December 9999.
const std::int64_t kFirstDay = days_from_civil(1, 1, 1) - kEpochOffset;
const std::int64_t kLastDay = days_from_civil(9999, 12, 31) - kEpochOffset;

bool leap(std::int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

std::int32_t days_in_month(std::int32_t y, std::int32_t m) {
  static constexpr std::int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

[[noreturn]] void invalid(std::string_view what) { core::throw_error(std::string(what)); }

}  // namespace

long double encode_date(std::int32_t year, std::int32_t month, std::int32_t day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month))
    invalid("EncodeDate: not a valid date");
  return static_cast<long double>(days_from_civil(year, month, day) - kEpochOffset);
}

long double encode_time(std::int32_t hour, std::int32_t minute, std::int32_t second) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
    invalid("EncodeTime: not a valid time");
  return static_cast<long double>(hour * 3600 + minute * 60 + second) / 86400.0L;
}

CalendarTime decode_date_time(long double day_number) {
  if (!std::isfinite(day_number) || day_number < static_cast<long double>(kFirstDay) - 1 ||
      day_number > static_cast<long double>(kLastDay) + 1)
    invalid("the day number lies outside the years 1 to 9999");
  std::int64_t day = static_cast<std::int64_t>(std::trunc(day_number));
  const long double fraction = std::fabs(day_number - static_cast<long double>(day));
  std::int64_t ms = std::llround(fraction * 86400000.0L);
  if (ms >= 86400000) {
    ms -= 86400000;
    ++day;
  }
  if (day < kFirstDay || day > kLastDay) invalid("the day number lies outside the years 1 to 9999");
  CalendarTime t;
  std::int64_t y = 0, m = 0, d = 0;
  civil_from_days(day + kEpochOffset, y, m, d);
  t.year = static_cast<std::int32_t>(y);
  t.month = static_cast<std::int32_t>(m);
  t.day = static_cast<std::int32_t>(d);
  t.hour = static_cast<std::int32_t>(ms / 3600000);
  t.minute = static_cast<std::int32_t>(ms / 60000 % 60);
  t.second = static_cast<std::int32_t>(ms / 1000 % 60);
  t.millisecond = static_cast<std::int32_t>(ms % 1000);
  // Day 0 was a Saturday.
  t.week_day = static_cast<std::int32_t>(((day % 7 + 7) % 7 + 6) % 7 + 1);
  return t;
}

std::string_view week_day_name(std::int32_t week_day) {
  static constexpr std::string_view kNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                "Thursday", "Friday", "Saturday"};
  return kNames[(week_day - 1) % 7];
}

std::string_view week_day_name_ja(std::int32_t week_day) {
  static const std::string_view kNames[] = {core::sjis("日"), core::sjis("月"), core::sjis("火"), core::sjis("水"),
                                            core::sjis("木"), core::sjis("金"), core::sjis("土")};
  return kNames[(week_day - 1) % 7];
}

}  // namespace nova::expr
