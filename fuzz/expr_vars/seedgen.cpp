// Seeds: game and status blocks written by the store itself.
#include "../expr_common/samples.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  expr::TParamCollection store;
  fuzz::fill_store(store);
  std::vector<std::string> names = {"i", "s", "a", "al"};
  store.push(names);
  core::ByteWriter game;
  game.u8(40);  // game block, version 140
  store.save_game_variables(game);
  fuzz::write_seed(folder, 0, game.data());
  core::ByteWriter status;
  status.u8(0x80);
  store.save_status_variables(status);
  fuzz::write_seed(folder, 1, status.data());
  return 0;
}
