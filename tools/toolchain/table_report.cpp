#include "tools/toolchain/table_report.h"

#include "core/format.h"
#include "data/db_manager.h"
#include "tools/toolchain/command_syntax.h"
#include "tools/toolchain/source_text.h"

namespace nova::tools {

std::string table_line(const data::TDBTable& t) {
  std::string line = core::format("table %s: %d records, current %d; fields",
                                  {quoted_source(t.name()), t.record_count(), t.current()});
  if (t.fields().empty()) return line + " none";
  for (std::size_t k = 0; k < t.fields().size(); ++k) {
    const data::TDBField& f = t.fields()[k];
    line += (k ? ", " : " ") + quoted_source(f.name()) + " " + std::string(kTypeNames[static_cast<std::size_t>(f.type())]);
    if (f.type() == data::DBFieldType::String) line += " " + std::to_string(f.string_length());
  }
  return line;
}

std::vector<std::string> record_lines(const data::TDBTable& t) {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(t.record_count()));
  const auto fields = static_cast<std::int32_t>(t.fields().size());
  for (std::int32_t r = 0; r < t.record_count(); ++r) {
    std::string line = core::format("record %d:", {r});
    for (std::int32_t f = 0; f < fields; ++f) line += (f ? ", " : " ") + quoted_source(*t.get_str(r, f));
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string game_tables_text(const data::TDBManager& tables) {
  const data::TDBTable* active = tables.active();
  std::string out = core::format("tables: %d, active %s\n", {static_cast<std::int64_t>(tables.tables().size()),
                                                            active ? quoted_source(active->name()) : "(none)"});
  for (const auto& t : tables.tables()) {
    out += "  " + table_line(*t) + "\n";
    for (const std::string& r : record_lines(*t)) out += "    " + r + "\n";
  }
  return out;
}

}  // namespace nova::tools
