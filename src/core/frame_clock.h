// The frame clock and the process flags every time-driven part reads instead
// of the system clock. One object, owned by the player context and handed
// down by reference; the timing thread writes the clock fields while the main
// thread reads them, so those fields are atomics (plain loads and stores, no
// read-modify-write across threads).
#pragma once

#include <atomic>
#include <cstdint>

namespace nova::core {

struct FrameClock {
  // Milliseconds of accepted frame intervals since start; stalls of 300 ms or
  // more are not counted, so loading pauses do not make animations jump.
  std::atomic<std::int32_t> GameClockMs{0};
  // The last accepted interval (1..299 ms).
  std::atomic<std::int32_t> FrameDeltaMs{0};
  // Ticks that reached the component update step.
  std::atomic<std::int32_t> FrameCount{0};
  // The system timer value (ms) of the last tick; activation resets it.
  std::atomic<std::uint32_t> LastTickMs{0};

  // The player is closing, or must run no further ticks (also set by the
  // project loader while it loads).
  std::atomic<bool> TerminateFlag{false};
  // The application is active (has the focus).
  std::atomic<bool> ActiveFlag{true};
  // Set while the display switches between windowed and full-screen mode.
  std::atomic<bool> SwitchingScreen{false};

  // The screen is composed on every FpsDivider-th tick.
  std::atomic<std::int32_t> FpsDivider{1};
  // Speed read by particle components; 16 is normal speed.
  std::atomic<std::int32_t> PlaySpeed{16};
};

}  // namespace nova::core
