// Seeds: the running game's own record (with a started Wait, tables, an
// array, events and focus), the same game at rest, and records of 107,
// 113, 123, 134 and 139 laid out by hand.
#include "../common/seeds.h"
#include "game.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  int n = 0;
  {
    fuzz::FuzzGame game;
    game.populate();
    fuzz::write_seed(folder, n++, game.record());
  }
  fuzz::FuzzGame rest;
  const std::vector<std::uint8_t> state = rest.fresh_state();
  fuzz::write_seed(folder, n++, rest.record());
  for (std::int32_t version : {107, 112, 113, 122, 123, 134, 135, 139, 140}) {
    fuzz::write_seed(folder, n++, test::old_game_record(version, state));
  }
  return 0;
}
