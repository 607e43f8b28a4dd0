// Periodic timers: a callback at a fixed interval, for the few threads of
// the player that must keep time of their own (the wave mixer's output).
//
// Under a real clock a thread of the given priority runs the callback. Under
// the virtual clock nothing runs by itself: the headless frame driver runs
// each callback when its `advance_ms` passes the callback's due time, after
// pulling the sound up to that time, so recordings repeat exactly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/threads.h"

namespace nova::platform {

class PeriodicTimer {
 public:
  // Stops the timer (see stop).
  virtual ~PeriodicTimer() = default;
  // No callback starts after this returns, and one in progress has ended
  // (unless stop is called from the callback itself, which only marks the
  // timer stopped). Safe to call more than once.
  virtual void stop() = 0;
};

// A timer on a thread of its own: the callback runs `interval_ms` after the
// start and every `interval_ms` after that; a late callback does not make
// the next ones come in a burst.
std::unique_ptr<PeriodicTimer> start_thread_timer(std::uint32_t interval_ms, std::function<void()> callback,
                                                  ThreadPriority priority = ThreadPriority::Normal);

}  // namespace nova::platform
