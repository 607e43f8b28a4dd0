// Seeds: the first byte picks the form (even: game, odd: status); the rest
// is that form's block, written by the manager's writer or laid out by hand
// with odd floats and an unterminated string.
#include "../common/seeds.h"
#include "tables.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  data::TDBManager none;
  data::TDBManager full;
  fuzz::fill_tables(full);
  int n = 0;
  for (const data::TDBManager* m : {&none, &full}) {
    for (auto form : {data::TDBManager::Form::Game, data::TDBManager::Form::Status}) {
      core::ByteWriter w;
      m->save(w, form);
      const char selector = form == data::TDBManager::Form::Game ? 0 : 1;
      fuzz::write_seed(folder, "seed" + std::to_string(n++), selector, w.data());
    }
  }
  fuzz::write_seed(folder, "odd_game", 0, fuzz::odd_block(false));
  fuzz::write_seed(folder, "odd_status", 1, fuzz::odd_block(true));
  return 0;
}
