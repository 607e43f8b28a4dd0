// Loading a table from a tab-separated text file (DBLoadTsvFile).
//
// Lines end at CR, LF or CR LF. The first is the header: one column per
// tab-separated part ("NAME [TYPE [LENGTH]]", blank-separated: "int",
// "float" and "bool" are those types, anything else a string of LENGTH
// bytes, 80 when it does not parse, a negative one 0). Every later line
// that is not empty is a record: its backslash escapes resolved (\" \\ and
// \n as CR LF; any other backslash stays), its tab-separated columns stored
// into the fields in order through the string setter. Tabs, blanks and
// escapes step over double-byte characters, so a trail byte 0x5C is never a
// backslash. The columns are views of the file's bytes; a line is copied
// only when it holds a backslash.
#pragma once

#include <cstdint>
#include <span>

#include "data/db_manager.h"

namespace nova::data {

// Replaces the table's fields and records from a file's bytes; the last
// record read is current. false, with the table:
//   unchanged for an empty file;
//   without fields for a column without a name, or a field beyond the
//   limits of a string's length or a record's size;
//   holding the records read so far when the table's limits are reached.
bool load_tsv(TDBTable& table, std::span<const std::uint8_t> bytes);

}  // namespace nova::data
