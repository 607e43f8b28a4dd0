// DBLoadTsvFile's loader on arbitrary file bytes, read from the in-memory
// archive through the script file access: a table that loads stays within
// the limits, its strings end in their fields, and it saves, loads and
// saves again to the same bytes. An empty file leaves the table as it was.
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "core/binary_io.h"
#include "data/db_manager.h"
#include "data/db_tsv.h"
#include "files/file_manager.h"
#include "files/script_file_access.h"
#include "platform/dialogs.h"

namespace {

using nova::data::DBFieldType;
using nova::data::TDBManager;
using nova::data::TDBTable;

class NoDialogs final : public nova::platform::Dialogs {
 public:
  nova::platform::MessageAnswer message_box(const nova::platform::MessageBoxSpec&) override {
    return nova::platform::MessageAnswer::Cancel;
  }
  std::optional<std::filesystem::path> open_file(const nova::platform::FileDialogSpec&) override { return {}; }
  std::optional<std::filesystem::path> save_file(const nova::platform::FileDialogSpec&) override { return {}; }
  std::optional<std::filesystem::path> select_folder(const nova::platform::FileDialogSpec&) override { return {}; }
};

struct Files {
  Files() {
    nova::files::FileManagerEnvironment env;
    env.temp_folder = std::filesystem::temp_directory_path();
    env.executable = env.temp_folder / "novaplayer";
    env.current_cdrom_roots = [] { return std::vector<std::filesystem::path>{}; };
    manager = std::make_unique<nova::files::TVrFileManager>(dialogs, env);
    access = std::make_unique<nova::files::ScriptFileAccess>(*manager);
  }
  NoDialogs dialogs;
  std::unique_ptr<nova::files::TVrFileManager> manager;
  std::unique_ptr<nova::files::ScriptFileAccess> access;
};

std::vector<std::uint8_t> saved(const TDBManager& m) {
  nova::core::ByteWriter w;
  m.save(w, TDBManager::Form::Game);
  return w.take();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Files files;
  files.manager->SetMemoryFile("mem:table.tsv", {data, size});
  const auto bytes = files.access->Read("mem:table.tsv");
  if (!bytes || bytes->size() != size) std::abort();

  TDBManager m;
  TDBTable& t = m.create("t", false);
  t.add_field("before", DBFieldType::String, 3);
  t.set_str(t.append(), 0, "old");
  const auto before = saved(m);
  const bool ok = nova::data::load_tsv(t, *bytes);
  if (size == 0 && (ok || saved(m) != before)) std::abort();

  if (t.record_count() > TDBTable::kMaxRecords || t.record_size() > TDBTable::kMaxRecordSize ||
      static_cast<std::int64_t>(t.records().size()) > TDBTable::kMaxTableBytes) {
    std::abort();
  }
  for (std::int32_t f = 0; f < static_cast<std::int32_t>(t.fields().size()); ++f) {
    const nova::data::TDBField& field = t.fields()[static_cast<std::size_t>(f)];
    if (field.type() != DBFieldType::String) continue;
    for (std::int32_t r = 0; r < t.record_count(); ++r) {
      if (static_cast<std::int32_t>(t.get_str(r, f)->size()) > field.string_length()) std::abort();
    }
  }
  const auto once = saved(m);
  TDBManager again;
  nova::core::ByteReader r(once);
  again.load(r, TDBManager::Form::Game);
  if (!r.at_end() || saved(again) != once) std::abort();
  return 0;
}
