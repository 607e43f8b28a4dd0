// Seeds: both forms of the table block, written by the manager's writer.
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
      fuzz::write_seed(folder, n++, w.data());
    }
  }
  return 0;
}
