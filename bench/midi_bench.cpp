// The MIDI player, each against its baseline in the same run:
// - a 10,000-event two-track file with tempo changes parsed, timed and
//   then played by Tick to its end into a port that discards everything,
//   against a plain pass over the same bytes that decodes each delta time
//   and status and skips the data (required within 5×, aim 3×);
// - the CPU time per second of the player's 10 ms timer thread while a
//   dense file plays, against an idle 10 ms timer (reported as the
//   counter cpu_ms_per_s).
// Run in Release: bench_midi --benchmark_repetitions=5
//   --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "media/decoders/midi_doubles.h"
#include "media/decoders/smf_writer.h"
#include "media/midi_player.h"
#include "platform/timer.h"

namespace {

using namespace nova;
using namespace nova::media::writers;

// Two tracks of 5,000 events each: notes and controllers with running
// status, a tempo change every 500 events. `ticks_apart` spaces them.
std::vector<std::uint8_t> file(std::uint32_t ticks_apart) {
  SmfSpec spec;
  spec.tracks.resize(2);
  for (int t = 0; t < 2; ++t) {
    std::uint32_t tick = static_cast<std::uint32_t>(t);
    for (int i = 0; i < 5000; ++i, tick += ticks_apart) {
      if (i % 500 == 0 && t == 0) {
        spec.tracks[0].events.push_back(tempo(tick, 400000 + static_cast<std::uint32_t>(i) * 20));
      } else if (i % 7 == 0) {
        spec.tracks[static_cast<std::size_t>(t)].events.push_back(control(tick, t, 11, i % 128));
      } else {
        spec.tracks[static_cast<std::size_t>(t)].events.push_back(i % 2 ? note_on(tick, t, 40 + i % 40, 90)
                                                                        : note_off(tick, t, 40 + (i - 1) % 40));
      }
    }
  }
  return write_smf(spec);
}

std::uint32_t be32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// The baseline: each delta and status decoded, the data skipped.
std::uint64_t plain_pass(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t sum = 0;
  std::size_t at = 14;
  while (at + 8 <= bytes.size()) {
    const std::size_t end = std::min(bytes.size(), at + 8 + be32(&bytes[at + 4]));
    std::size_t p = at + 8;
    std::uint8_t running = 0;
    while (p < end) {
      std::uint32_t delta = 0;
      while (p < end && (bytes[p] & 0x80)) delta = delta << 7 | (bytes[p++] & 0x7F);
      if (p >= end) break;
      delta = delta << 7 | bytes[p++];
      if (p >= end) break;
      std::uint8_t status = bytes[p];
      if (status & 0x80)
        ++p;
      else
        status = running;
      sum += delta + status;
      if (status == 0xFF || status == 0xF0 || status == 0xF7) {
        if (status == 0xFF) ++p;
        std::uint32_t length = 0;
        while (p < end && (bytes[p] & 0x80)) length = length << 7 | (bytes[p++] & 0x7F);
        if (p < end) length = length << 7 | bytes[p++];
        p += length;
      } else {
        running = status;
        p += (status & 0xE0) == 0xC0 ? 1 : 2;
      }
    }
    at = end;
  }
  return sum;
}

void BM_MidiPlainPass(benchmark::State& state) {
  const auto bytes = file(24);
  for (auto _ : state) benchmark::DoNotOptimize(plain_pass(bytes));
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_MidiPlainPass);

void BM_MidiParseAndSchedule(benchmark::State& state) {
  const auto bytes = file(24);
  media::doubles::DiscardingOutput output;
  media::doubles::ManualClock clock;
  media::TMidiPlayV player(output, clock, media::doubles::idle_timers());
  player.OpenDevice(-1);
  for (auto _ : state) {
    clock.now = 0;
    player.Load(bytes);
    player.PlayFrom(0);
    while (!player.IsEnd()) {
      clock.now += 1000;
      player.Tick();
    }
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_MidiParseAndSchedule);

double cpu_ms() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

media::TimerFactory thread_timers() {
  return [](std::uint32_t ms, std::function<void()> cb) {
    return platform::start_thread_timer(ms, std::move(cb), platform::ThreadPriority::TimeCritical);
  };
}

// One second of wall time per iteration; the main thread sleeps, so the
// process's CPU time is the timer thread's.
void BM_MidiTimerIdle(benchmark::State& state) {
  double used = 0;
  for (auto _ : state) {
    media::TMMTimer timer(thread_timers(), 10, [] {});
    timer.SetEnabled(true);
    const double before = cpu_ms();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    used += cpu_ms() - before;
  }
  state.counters["cpu_ms_per_s"] = used / static_cast<double>(state.iterations());
}
BENCHMARK(BM_MidiTimerIdle)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_MidiTimerDenseFile(benchmark::State& state) {
  // 10,000 events, 2 ticks apart: about 4,000 messages a second.
  const auto bytes = file(2);
  media::doubles::DiscardingOutput output;
  media::doubles::SteadyClock clock;
  double used = 0;
  for (auto _ : state) {
    media::TMidiPlayV player(output, clock, thread_timers());
    player.Load(bytes);
    player.OpenDevice(-1);
    player.PlayFrom(0);
    const double before = cpu_ms();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    used += cpu_ms() - before;
  }
  state.counters["cpu_ms_per_s"] = used / static_cast<double>(state.iterations());
}
BENCHMARK(BM_MidiTimerDenseFile)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
