// Game records on arbitrary bytes, loaded as a slot is into a running game:
// all or nothing. A record that fails leaves the game writing the record
// it wrote before; the restore never fails; a record that loads writes a
// record of 140 that loads into a new game and writes the same bytes.
#include <cstdint>
#include <cstdlib>

#include "game.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  fuzz::FuzzGame game;
  game.populate();
  const std::vector<std::uint8_t> before = game.record();
  script::GameParts parts = game.parts();
  const script::WholeLoad load = script::load_game_whole(std::span<const std::uint8_t>(data, size), parts);
  switch (load.outcome) {
    case script::WholeLoad::Outcome::Broken: std::abort();
    case script::WholeLoad::Outcome::Restored:
      if (game.record() != before) std::abort();
      return 0;
    case script::WholeLoad::Outcome::Loaded: break;
  }
  const std::vector<std::uint8_t> first = game.record();
  fuzz::FuzzGame again;
  script::GameParts again_parts = again.parts();
  script::load_game_record(first, again_parts);
  if (again.record() != first) std::abort();
  return 0;
}
