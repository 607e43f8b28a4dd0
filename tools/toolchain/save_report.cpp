#include "tools/toolchain/save_report.h"

#include <algorithm>

#include "core/binary_io.h"
#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "data/db_manager.h"
#include "expr/number_text.h"
#include "expr/param_collection.h"
#include "files/archive.h"
#include "platform/codepage.h"
#include "script/save_file.h"
#include "tools/toolchain/command_syntax.h"
#include "tools/toolchain/source_text.h"
#include "tools/toolchain/table_report.h"

namespace nova::tools {
namespace {

std::string variable_line(const expr::TParamCollectionItem& item) {
  const expr::TCustomParam& v = item.value();
  const auto type = static_cast<std::size_t>(v.type());
  std::string line =
      "status " + std::string(type < std::size(kTypeNames) ? kTypeNames[type] : "?") + " " + utf8(item.name());
  const std::vector<std::int32_t> dims = v.dims();
  if (dims.empty()) return line + " = " + element_text(v, 0);
  line += "[";
  for (std::size_t k = 0; k < dims.size(); ++k) line += (k ? "," : "") + std::to_string(dims[k]);
  line += "] = {";
  for (std::int32_t i = 0; i < v.count(); ++i) line += (i ? ", " : "") + element_text(v, i);
  return line + "}";
}

// Every status table's line and its records, indented below it.
void add_status_tables(std::vector<std::string>& lines, const data::TDBManager& tables) {
  for (const auto& t : tables.tables()) {
    lines.push_back("status " + table_line(*t));
    for (const std::string& r : record_lines(*t)) lines.push_back("  " + r);
  }
}

}  // namespace

std::string element_text(const expr::TCustomParam& v, std::int32_t i) {
  switch (v.type()) {
    case expr::PT_INT: return std::to_string(v.int_at(i));
    case expr::PT_FLOAT: return expr::float_text(v.float_at(i));
    case expr::PT_BOOL: return v.flag_at(i) ? "TRUE" : "FALSE";
    case expr::PT_STR: return quoted_source(v.str_at(i));
    default: return "?";
  }
}

std::string save_report(const std::filesystem::path& save_file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(save_file, ec)) {
    core::throw_error_utf8(save_file.string() + ": no such file");
  }
  files::TVrFileCollection archive;
  archive.Open(save_file);
  std::vector<std::pair<std::int32_t, std::string>> slots;
  std::vector<std::string> status, stored, other;
  files::MemoryBlock block;
  for (int i = 0; i < archive.Count(); ++i) {
    const files::TVrFile& f = archive.At(i);
    if (f.IsSentinel()) continue;
    const std::string& name = f.Name();
    if (auto slot = script::game_slot_of(name)) {
      archive.ReadEntry(f, block);
      core::ByteReader r(block.bytes());
      r.set_context(name);
      const std::int32_t version = r.i32();
      const std::string caption = r.str();
      slots.emplace_back(*slot,
                         core::format("slot %d: version %d, caption %s", {*slot, version, quoted_source(caption)}));
    } else if (name == script::kStatusEntryName) {
      archive.ReadEntry(f, block);
      expr::TParamCollection store;
      data::TDBManager tables;
      const script::TStatusTail tail = script::read_status_record(block.bytes(), store, tables);
      status.push_back(core::format("status record: version %d", {tail.version}));
      for (const expr::TParamCollectionItem* item : store.items()) {
        if (item->is_status() && !item->is_system()) status.push_back(variable_line(*item));
      }
      const components::TNovaReadList& marks = tail.read_marks;
      for (int mark_index = 0; mark_index < marks.Count(); ++mark_index) {
        const components::TNovaRead& m = marks.Items(mark_index);
        std::string pairs;
        for (std::size_t k = 0; k < m.positions.size(); ++k) {
          pairs += core::format(" %d/%d", {m.positions[k], m.pages[k]});
        }
        status.push_back(core::format("read %s:%s", {quoted_source(m.key), pairs}));
      }
      // A committed or dropped mark clears only its key: nothing waits then.
      if (!marks.pending_key.empty()) {
        status.push_back(
            core::format("read pending %s at %d/%d in %s", {quoted_source(marks.pending_key), marks.pending_position,
                                                            marks.pending_page, quoted_source(marks.pending_box)}));
      }
      status.push_back(core::format("image quality %d", {tail.image_quality ? 1 : 0}));
      add_status_tables(status, tables);
    } else if (name.size() >= 5 && core::equal_ci(name.substr(0, 5), script::kScriptFilePrefix)) {
      stored.push_back(core::format("file %s (%d bytes)", {quoted_source(name), static_cast<long long>(f.length)}));
    } else {
      other.push_back(core::format("entry %s (%d bytes)", {quoted_source(name), static_cast<long long>(f.length)}));
    }
  }
  std::sort(slots.begin(), slots.end());
  std::string out;
  for (const auto& [slot, line] : slots) out += line + "\n";
  for (const std::string& l : status) out += l + "\n";
  for (const std::string& l : stored) out += l + "\n";
  for (const std::string& l : other) out += l + "\n";
  return out;
}

}  // namespace nova::tools
