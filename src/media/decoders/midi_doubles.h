// Stand-ins for the MIDI player's surroundings, for the benchmarks, fuzzers
// and tests (header-only, beside the writers; the player never uses them):
// an output whose one port discards everything, a clock set by hand, the
// host's steady clock, and timers that never fire (the caller runs Tick
// itself).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "media/mm_timer.h"
#include "platform/clock.h"
#include "platform/midi.h"

namespace nova::media::doubles {

class DiscardingPort final : public platform::MidiPort {
 public:
  void short_message(std::uint32_t packed) override { last = packed; }
  void long_message(std::span<const std::uint8_t> bytes) override { last = bytes.size(); }
  void reset() override {}
  std::uint64_t last = 0;
};

class DiscardingOutput final : public platform::MidiOutput {
 public:
  std::vector<platform::MidiPortInfo> ports() override { return {{"discarding port"}}; }
  std::unique_ptr<platform::MidiPort> open(int) override { return std::make_unique<DiscardingPort>(); }
};

class ManualClock final : public platform::Clock {
 public:
  std::uint32_t ticks_ms() const override { return now; }
  platform::DateTime local_time() const override { return {}; }
  platform::DateTime utc_time() const override { return {}; }
  void set_calendar(std::optional<platform::DateTime>) override {}
  std::uint32_t now = 0;
};

// The host's steady time in ms, for real timer threads.
class SteadyClock final : public platform::Clock {
 public:
  std::uint32_t ticks_ms() const override {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
  }
  platform::DateTime local_time() const override { return {}; }
  platform::DateTime utc_time() const override { return {}; }
  void set_calendar(std::optional<platform::DateTime>) override {}
};

class IdleTimer final : public platform::PeriodicTimer {
 public:
  void stop() override {}
};

inline TimerFactory idle_timers() {
  return [](std::uint32_t, std::function<void()>) { return std::make_unique<IdleTimer>(); };
}

}  // namespace nova::media::doubles
