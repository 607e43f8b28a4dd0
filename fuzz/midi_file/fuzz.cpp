// MIDI files from outside: parsed and timed, then played to their end on a
// clock that jumps a second a tick into a port that discards everything.
#include <cstdlib>
#include <memory>

#include "media/decoders/midi_doubles.h"
#include "media/midi_player.h"

using namespace nova;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  media::doubles::DiscardingOutput output;
  media::doubles::ManualClock clock;
  media::TMidiPlayV player(output, clock, media::doubles::idle_timers());
  player.Load({data, size});
  const media::TMidiMsgEvents& ev = player.Events();
  for (std::size_t i = 0; i < ev.size(); ++i) {
    if (ev[i].time < 0 || ev[i].tick < 0 || (i > 0 && ev[i].tick < ev[i - 1].tick)) std::abort();
    if (ev.data(ev[i]).size() != static_cast<std::size_t>(ev[i].length)) std::abort();
  }
  if (!ev.empty() && ev[ev.size() - 1].kind != media::kMidiEndOfTrack) std::abort();
  player.OpenDevice(-1);
  player.PlayFrom(player.Length() / 2);
  player.PlayFrom(0);
  // A second a tick: the longest file (INT32_MAX ms) would take 2^31 / 1000
  // ticks; the events bound the work instead.
  for (std::size_t t = 0; t < ev.size() + 4 && !player.IsEnd(); ++t) {
    clock.now += 1000;
    player.Tick();
  }
  return 0;
}
