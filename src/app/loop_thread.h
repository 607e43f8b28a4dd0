// The timing thread: wakes about every 15 ms, measures the interval,
// advances the game clock by it unless it is a stall of 300 ms or more, and
// runs the frame tick on the main thread, waiting for it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "core/frame_clock.h"
#include "platform/clock.h"
#include "platform/threads.h"

namespace nova::app {

class TLoopThread {
 public:
  using Tick = std::function<void()>;
  // Runs the tick on the main thread and returns when it has run; false
  // when the main thread no longer takes work (the player is closing).
  using RunOnMain = std::function<bool(const Tick&)>;

  // `pump_main` runs, on the main thread, whatever the timing thread is
  // waiting for; stop() calls it while the thread winds down, so a tick
  // posted at that moment cannot deadlock the join.
  TLoopThread(core::FrameClock& clock, const platform::Clock& timer, RunOnMain run_on_main,
              std::function<void()> pump_main = {});
  ~TLoopThread();
  TLoopThread(const TLoopThread&) = delete;
  TLoopThread& operator=(const TLoopThread&) = delete;

  void set_tick(Tick tick) { m_tick = std::move(tick); }

  // One interval of the loop at timer value `now`: the stall rule, the
  // clock, the tick. Answers the next wait in ms (15 − d after a tick, 1
  // after a stall). The thread runs this; the headless driver calls it
  // itself after each virtual 15 ms.
  int step(std::uint32_t now);

  // Starts the thread (idle priority). The first interval is measured from
  // now.
  void start();
  // Suspends and resumes the loop (the activation handlers). While
  // suspended no interval is measured; the first one after resuming
  // includes the pause and so counts as a stall.
  void suspend();
  void resume();
  bool suspended() const { return m_suspended.load(); }
  // Requests termination, resumes the thread if suspended, signals its
  // event and waits for it to end.
  void stop();

  // For the headless driver: where the first interval starts.
  void reset_previous(std::uint32_t now) { m_previous = now; }

 private:
  void run();

  core::FrameClock& m_clock;
  const platform::Clock& m_timer;
  RunOnMain m_run_on_main;
  std::function<void()> m_pump_main;
  Tick m_tick;
  std::uint32_t m_previous = 0;
  int m_wait = 1;

  platform::WaitableEvent m_wake;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::atomic<bool> m_suspended{false};
  std::atomic<bool> m_terminate{false};
  std::atomic<bool> m_finished{true};
  std::thread m_thread;
};

}  // namespace nova::app
