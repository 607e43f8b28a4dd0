// The DB tables as text, shared by the status and the game reports: a
// table's line (name, record count, current record, fields as a table's
// text header writes them) and a line per record holding every field as
// DBGetStr reads it, quoted as the source language writes strings.
#pragma once

#include <string>
#include <vector>

namespace nova::data {
class TDBManager;
class TDBTable;
}  // namespace nova::data

namespace nova::tools {

// "table NAME: N records, current C; fields NAME TYPE, ..." ("str N" for a
// string of length N; "fields none" without fields).
std::string table_line(const data::TDBTable& t);

// "record R: \"v1\", \"v2\", ..." for every record, in table order.
std::vector<std::string> record_lines(const data::TDBTable& t);

// The game report's block of the game tables: "tables: N, active NAME" (or
// "active (none)"), then each table's line and its records, indented.
std::string game_tables_text(const data::TDBManager& tables);

}  // namespace nova::tools
