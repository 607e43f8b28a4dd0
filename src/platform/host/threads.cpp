#include "platform/threads.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

namespace nova::platform {

void WaitableEvent::set() {
  {
    std::lock_guard lock(m_mutex);
    m_set = true;
  }
  if (m_manual)
    m_cv.notify_all();
  else
    m_cv.notify_one();
}

void WaitableEvent::reset() {
  std::lock_guard lock(m_mutex);
  m_set = false;
}

WaitResult WaitableEvent::wait(int timeout_ms) {
  std::unique_lock lock(m_mutex);
  if (timeout_ms < 0) {
    m_cv.wait(lock, [this] { return m_set; });
  } else if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return m_set; })) {
    return WaitResult::TimedOut;
  }
  if (!m_manual) m_set = false;
  return WaitResult::Signaled;
}

void set_current_thread_priority(ThreadPriority p) {
  // Linux has per-thread nice values: the idle timing thread yields to the
  // main thread; time-critical can only be had with privileges.
  pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
  int nice_value = p == ThreadPriority::Idle ? 19 : (p == ThreadPriority::TimeCritical ? -10 : 0);
  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice_value);
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms < 0 ? 0 : ms)); }

}  // namespace nova::platform
