#include "app/loop_thread.h"

#include <algorithm>

namespace nova::app {

TLoopThread::TLoopThread(core::FrameClock& clock, const platform::Clock& timer, RunOnMain run_on_main,
                         std::function<void()> pump_main)
    : m_clock(clock), m_timer(timer), m_run_on_main(std::move(run_on_main)), m_pump_main(std::move(pump_main)) {}

TLoopThread::~TLoopThread() { stop(); }

int TLoopThread::step(std::uint32_t now) {
  // Unsigned arithmetic: the timer wraps at 2^32 ms and the difference stays right.
  const std::uint32_t d = now - m_previous;
  int wait;
  if (d < 300) {
    m_clock.GameClockMs.store(m_clock.GameClockMs.load() + static_cast<std::int32_t>(d));
    m_clock.FrameDeltaMs.store(static_cast<std::int32_t>(d));
    m_clock.LastTickMs.store(now);
    if (m_tick) m_run_on_main(m_tick);
    wait = 15 - static_cast<int>(d);
  } else {
    // A stall (loading, a dialog, a suspended machine) is not game time.
    wait = 1;
  }
  m_previous = now;
  return wait;
}

void TLoopThread::start() {
  if (m_thread.joinable()) return;
  m_terminate.store(false);
  m_finished.store(false);
  m_previous = m_timer.ticks_ms();
  m_wait = 1;
  m_thread = std::thread([this] {
    run();
    m_finished.store(true);
  });
}

void TLoopThread::run() {
  platform::set_current_thread_priority(platform::ThreadPriority::Idle);
  while (!m_terminate.load()) {
    {
      std::unique_lock lock(m_mutex);
      m_cv.wait(lock, [this] { return !m_suspended.load() || m_terminate.load(); });
    }
    if (m_terminate.load()) break;
    if (m_wake.wait(std::max(1, m_wait)) != platform::WaitResult::TimedOut) break;
    if (m_terminate.load() || m_suspended.load()) continue;
    m_wait = step(m_timer.ticks_ms());
  }
}

void TLoopThread::suspend() { m_suspended.store(true); }

void TLoopThread::resume() {
  {
    std::lock_guard lock(m_mutex);
    m_suspended.store(false);
  }
  m_cv.notify_all();
}

void TLoopThread::stop() {
  m_terminate.store(true);
  resume();
  m_wake.set();
  if (!m_thread.joinable()) return;
  while (!m_finished.load()) {
    if (m_pump_main) m_pump_main();
    platform::sleep_ms(1);
  }
  m_thread.join();
}

}  // namespace nova::app
