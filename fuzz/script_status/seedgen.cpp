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
  data::TDBManager none;
  core::ByteWriter current;
  script::write_status_record(current, store, {}, none);
  fuzz::write_seed(folder, 0, current.data());
  // Read marks with pages and a pending mark, and the quality flag set.
  script::TStatusTail marked;
  components::TNovaRead& read = marked.read_marks.Add("ep1");
  read.positions = {10, 250, 900};
  read.pages = {0, 1, 2};
  marked.read_marks.Add("ep2");
  marked.read_marks.pending_key = "ep2";
  marked.read_marks.pending_position = 30;
  marked.read_marks.pending_page = 1;
  marked.read_marks.pending_box = "mes";
  marked.image_quality = true;
  data::TDBManager tables;
  data::TDBTable& t = tables.create("options", true);
  t.add_field("volume", data::DBFieldType::Integer);
  t.add_field("name", data::DBFieldType::String, 8);
  t.set_str(t.append(), 1, "abc");
  tables.create("game", false);
  core::ByteWriter with_marks;
  script::write_status_record(with_marks, store, marked, tables);
  fuzz::write_seed(folder, 3, with_marks.data());
  core::ByteWriter v101;
  v101.bytes("Status101");
  store.save_status_variables(v101);
  marked.read_marks.SaveToStream(v101);
  v101.u8(1);
  fuzz::write_seed(folder, 4, v101.data());
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
