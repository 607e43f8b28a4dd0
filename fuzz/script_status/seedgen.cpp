// Seeds: status records of the versions the reader knows, written by the
// status writer (and by hand for the versions it no longer writes).
#include "../script_common/samples.h"
#include "script/save_file.h"

int main(int argc, char** argv) {
  using namespace nova;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  expr::TParamCollection store;
  bool created = false;
  store.create("score", expr::PT_INT, expr::TVarScope::Status, created).value().set_int(7);
  store.create("name", expr::PT_STR, expr::TVarScope::Status, created).value().set_str("abc");
  std::int32_t dims[] = {2, 3};
  store.create("grid", expr::PT_FLOAT, expr::TVarScope::Status, created).value().set_dims(dims);
  core::ByteWriter current;
  script::write_status_record(current, store, {script::kStatusVersion, script::empty_status_tail()});
  fuzz::write_seed(folder, 0, current.data());
  core::ByteWriter v0;
  store.save_status_variables(v0);
  fuzz::write_seed(folder, 1, v0.data());
  core::ByteWriter v100;
  v100.bytes("Status100");
  store.save_status_variables(v100);
  v100.bytes(std::string(20, '\0'));
  fuzz::write_seed(folder, 2, v100.data());
  return 0;
}
