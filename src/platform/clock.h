// The millisecond timer and the calendar.
#pragma once

#include <cstdint>

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

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start, wrapping at 2^32 (the system's
  // timer). Headless: virtual time that advances only when told.
  virtual std::uint32_t ticks_ms() const = 0;
  virtual DateTime local_time() const = 0;
  virtual DateTime utc_time() const = 0;
};

}  // namespace nova::platform
