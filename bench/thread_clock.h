// The calling thread's CPU time, which the benchmarks that time a baseline
// and their own operation by hand use so that other processes on a loaded
// machine do not enter the ratio.
#pragma once

#include <time.h>

#include <algorithm>
#include <vector>

namespace nova::bench {

inline double thread_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The two sides of a paired benchmark, timed one after the other in each
// iteration so that both see the same machine state; the ratio of their
// sums is what the benchmark reports. A burst of load from elsewhere that
// falls on one side of a few iterations still moves that sum, so the
// median of the iterations' own ratios is kept as well.
struct PairedTimes {
  double ours = 0;
  double theirs = 0;
  std::vector<double> ratios;

  template <typename Ours, typename Theirs>
  void time(Ours&& run_ours, Theirs&& run_theirs) {
    const double t0 = thread_seconds();
    run_ours();
    const double t1 = thread_seconds();
    run_theirs();
    const double t2 = thread_seconds();
    ours += t1 - t0;
    theirs += t2 - t1;
    if (t2 > t1) ratios.push_back((t1 - t0) / (t2 - t1));
  }
  double ratio() const { return ours / theirs; }
  double median_ratio() const {
    if (ratios.empty()) return 0;
    std::vector<double> sorted = ratios;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
};

}  // namespace nova::bench
