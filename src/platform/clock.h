// The millisecond timer and the calendar.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace nova::platform {

struct DateTime {
  int year = 0;
  int month = 0;        // 1..12
  int day = 0;          // 1..31
  int day_of_week = 0;  // 0 Sunday .. 6 Saturday
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The calendar at `epoch_ms` milliseconds after 1970-01-01 UTC, in local
// time or UTC.
DateTime date_time_from_epoch_ms(std::int64_t epoch_ms, bool local);

// Calendar arithmetic without a time zone: the date and time `ms`
// milliseconds after `origin` (negative: before), with its day of the week.
// The origin's own day of the week is not read.
DateTime calendar_after(const DateTime& origin, std::int64_t ms);

// Reads "YYYY-MM-DD HH:MM:SS" with an optional ".mmm"; nullopt when the text
// is not such a date or names a day that does not exist.
std::optional<DateTime> parse_date_time(std::string_view text);

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start, wrapping at 2^32 (the system's
  // timer). Headless: virtual time that advances only when told.
  virtual std::uint32_t ticks_ms() const = 0;
  virtual DateTime local_time() const = 0;
  virtual DateTime utc_time() const = 0;

  // Fixes the calendar: from now on local and UTC time are `at_timer_zero`
  // plus the timer's value (no time zone applies), so runs that give the
  // same date read the same dates. nullopt gives the host's calendar back.
  // The headless backend starts at 2000-01-01 00:00:00.000.
  virtual void set_calendar(std::optional<DateTime> at_timer_zero) = 0;
};

}  // namespace nova::platform
