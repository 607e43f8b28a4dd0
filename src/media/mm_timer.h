// TMMTimer: the MIDI player's clock, a platform periodic timer (10 ms for
// the player) whose callback runs while the timer is enabled. The callback
// runs under the player mutex for its whole run; the main thread holds the
// timer by taking the same mutex, so no callback runs while it changes the
// player, and none is cut off halfway. Nothing is ever suspended.
//
// Headless, the platform runs the callback at its virtual due times, on the
// thread that advances the clock, so every message has an exact time.
//
// Owned by the player; the platform timer is stopped (and a callback in
// progress waited for) before the timer goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/timer.h"

namespace nova::media {

// Makes the platform timer (interval ms, callback).
using TimerFactory =
    std::function<std::unique_ptr<platform::PeriodicTimer>(std::uint32_t, std::function<void()> callback)>;

class TMMTimer {
 public:
  // Starts the platform timer at once; the callback runs only while
  // enabled (initially not).
  TMMTimer(const TimerFactory& make, std::uint32_t interval_ms, std::function<void()> callback);
  ~TMMTimer();
  TMMTimer(const TMMTimer&) = delete;
  TMMTimer& operator=(const TMMTimer&) = delete;

  // Set under the player mutex, read by the callback under it.
  void SetEnabled(bool on) { m_enabled.store(on); }
  bool Enabled() const { return m_enabled.load(); }
  std::uint32_t Interval() const { return m_interval; }
  // The player mutex: a holder keeps every callback out.
  std::mutex& Mutex() { return m_mutex; }
  // Callbacks that ran (for tests and the benchmark's report).
  std::uint64_t Callbacks() const { return m_callbacks.load(); }

 private:
  void fire();

  std::uint32_t m_interval;
  std::function<void()> m_callback;
  std::mutex m_mutex;
  std::atomic<bool> m_enabled{false};
  std::atomic<std::uint64_t> m_callbacks{0};
  std::unique_ptr<platform::PeriodicTimer> m_timer;
};

}  // namespace nova::media
