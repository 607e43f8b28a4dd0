// Threads and waitable events beyond what the standard library offers: an
// event that threads wait on with a time-out (the kernel event of the system),
// and thread priorities.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace nova::platform {

enum class WaitResult : std::uint8_t { Signaled, TimedOut };

class WaitableEvent {
 public:
  // An auto-reset event wakes one waiter and clears itself; a manual-reset
  // event stays set until reset.
  enum class Reset : std::uint8_t { Auto, Manual };
  explicit WaitableEvent(Reset mode = Reset::Auto, bool initially_set = false)
      : m_manual(mode == Reset::Manual), m_set(initially_set) {}

  void set();
  void reset();
  // Waits up to `timeout_ms` (negative: forever).
  WaitResult wait(int timeout_ms);

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_manual;
  bool m_set;
};

enum class ThreadPriority : std::uint8_t { Idle, Normal, TimeCritical };

// Applies to the calling thread. Best effort: an unprivileged process cannot
// raise its priority on Linux, and then this changes nothing.
void set_current_thread_priority(ThreadPriority p);

void sleep_ms(int ms);

}  // namespace nova::platform
