#include "expr/date_time.h"

#include <cmath>

#include "core/error.h"
#include "core/sjis.h"
#include "platform/clock.h"

namespace nova::expr {

namespace {

bool leap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days from 1 January of the year 1 (proleptic Gregorian) to a date: the
// whole years before it, then the months and days of its own year.
std::int64_t days_since_year_one(std::int64_t y, std::int32_t m, std::int32_t d) {
  static constexpr std::int32_t kBeforeMonth[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const std::int64_t years = y - 1;
  const std::int64_t days = years * 365 + years / 4 - years / 100 + years / 400;
  return days + kBeforeMonth[m - 1] + (m > 2 && leap(y) ? 1 : 0) + d - 1;
}

// Day 0 of the day numbers, 30 December 1899.
const std::int64_t kEpoch = days_since_year_one(1899, 12, 30);
// The day numbers of 1 January 1 and 31 December 9999.
const std::int64_t kFirstDay = -kEpoch;
const std::int64_t kLastDay = days_since_year_one(9999, 12, 31) - kEpoch;

std::int32_t days_in_month(std::int32_t y, std::int32_t m) {
  static constexpr std::int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

[[noreturn]] void invalid(std::string_view what) { core::throw_error(std::string(what)); }

}  // namespace

long double encode_date(std::int32_t year, std::int32_t month, std::int32_t day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month))
    invalid("EncodeDate: not a valid date");
  return static_cast<long double>(days_since_year_one(year, month, day) - kEpoch);
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
  // The platform's calendar walks from day 0 (a Saturday) to the day.
  const platform::DateTime origin{1899, 12, 30, 6, 0, 0, 0, 0};
  const platform::DateTime date = platform::calendar_after(origin, day * 86400000);
  CalendarTime t;
  t.year = date.year;
  t.month = date.month;
  t.day = date.day;
  t.hour = static_cast<std::int32_t>(ms / 3600000);
  t.minute = static_cast<std::int32_t>(ms / 60000 % 60);
  t.second = static_cast<std::int32_t>(ms / 1000 % 60);
  t.millisecond = static_cast<std::int32_t>(ms % 1000);
  t.week_day = date.day_of_week + 1;
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
