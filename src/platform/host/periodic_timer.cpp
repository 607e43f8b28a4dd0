#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/timer.h"

namespace nova::platform {
namespace {

class ThreadTimer final : public PeriodicTimer {
 public:
  ThreadTimer(std::uint32_t interval_ms, std::function<void()> callback, ThreadPriority priority)
      : m_interval(std::max<std::uint32_t>(1, interval_ms)), m_callback(std::move(callback)) {
    m_thread = std::thread([this, priority] { run(priority); });
  }
  ~ThreadTimer() override { stop(); }

  void stop() override {
    {
      std::lock_guard lock(m_mutex);
      m_stopping = true;
    }
    m_cv.notify_all();
    if (!m_thread.joinable()) return;
    if (std::this_thread::get_id() == m_thread.get_id()) return;  // called from the callback
    m_thread.join();
  }

 private:
  void run(ThreadPriority priority) {
    set_current_thread_priority(priority);
    using Clock = std::chrono::steady_clock;
    auto due = Clock::now() + std::chrono::milliseconds(m_interval);
    std::unique_lock lock(m_mutex);
    for (;;) {
      if (m_cv.wait_until(lock, due, [this] { return m_stopping; })) return;
      lock.unlock();
      m_callback();
      lock.lock();
      // A callback that ran late moves the schedule instead of catching up.
      due = std::max(due + std::chrono::milliseconds(m_interval), Clock::now());
    }
  }

  std::uint32_t m_interval;
  std::function<void()> m_callback;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_stopping = false;
  std::thread m_thread;
};

}  // namespace

std::unique_ptr<PeriodicTimer> start_thread_timer(std::uint32_t interval_ms, std::function<void()> callback,
                                                  ThreadPriority priority) {
  return std::make_unique<ThreadTimer>(interval_ms, std::move(callback), priority);
}

}  // namespace nova::platform
