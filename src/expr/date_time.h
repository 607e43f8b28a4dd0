// Dates as the scripts see them: day numbers as floats, whole days since
// 30 December 1899, the fraction the time of day.
//
// Reading a day number: the date is the day number truncated toward zero;
// the time is the absolute fraction rounded to the millisecond, and a time
// that rounds up to midnight carries into the next calendar day (so −1.25
// is 29 December 1899 06:00). Years outside 1 ... 9999, parts out of range
// and values that are no number raise core::Error, which stops the
// expression.
#pragma once

#include <cstdint>
#include <string_view>

namespace nova::expr {

struct CalendarTime {
  std::int32_t year = 1899, month = 12, day = 30;
  std::int32_t hour = 0, minute = 0, second = 0, millisecond = 0;
  // 1 Sunday ... 7 Saturday.
  std::int32_t week_day = 7;
};

// The day number of a date; raises for parts out of range.
long double encode_date(std::int32_t year, std::int32_t month, std::int32_t day);
// The day fraction of a time of day (hour 0–23, minute and second 0–59).
long double encode_time(std::int32_t hour, std::int32_t minute, std::int32_t second);
// The calendar date and time of a day number.
CalendarTime decode_date_time(long double day_number);

// "Sunday" ... "Saturday" and the Japanese one-character names, for 1 ... 7.
std::string_view week_day_name(std::int32_t week_day);
std::string_view week_day_name_ja(std::int32_t week_day);  // Shift-JIS

}  // namespace nova::expr
