// The calling thread's CPU time, which the benchmarks that time a baseline
// and their own operation by hand use so that other processes on a loaded
// machine do not enter the ratio.
#pragma once

#include <time.h>

namespace nova::bench {

inline double thread_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace nova::bench
