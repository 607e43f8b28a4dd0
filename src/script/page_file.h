// The page file ("nsb"): the stored form of one script page, read and
// written field by field.
//
//   version        int32   above 115: the rest is not ours (kept as bytes)
//   return type    byte    PT code of what a call of the page returns
//   N, R           int32   count and size of the property-set records
//   N records      R bytes record i (i <= 60) is the set of command code i;
//                          its first 21 bytes are used, missing ones are 0
//   M              int32   count of commands
//   M commands             command records (command_record.h)
//
// Every count and size is checked against the bytes left before anything is
// allocated. Records of codes above 60, bytes past the 21 used ones and
// bytes after the last command are kept, so a page written back is the page
// read, byte for byte.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"
#include "script/command_record.h"

namespace nova::script {

// The newest page version the player reads; newer pages load as empty pages.
constexpr std::int32_t kNewestPageVersion = 115;
// Pages of this version and below must be rebuilt.
constexpr std::int32_t kRefusedPageVersion = 102;
// The version of new pages.
constexpr std::int32_t kNewPageVersion = 104;

struct TPageFile {
  std::int32_t version = kNewPageVersion;
  std::uint8_t return_type = 1;
  std::int32_t record_size = kPropertySetBytes;
  // N, the number of property-set records.
  std::int32_t record_count = 0;
  // The records of codes 0 ... 60 as stored, each of record_size bytes.
  std::vector<std::string> property_records;
  // The records of higher codes, as stored (not used). Kept as one block: a
  // page may claim any number of empty records.
  std::string extra_records;
  std::vector<TCommandRecord> commands;
  // Bytes after the last command.
  std::string trailing;
  // For a page newer than the player: every byte after the version.
  std::string newer_body;

  bool is_newer() const { return version > kNewestPageVersion; }

  // The property set of every code (61 × 21 bytes), as the player uses it.
  TPropertyTable property_table() const;
  // Replaces the records by 61 records of 21 bytes holding the table.
  void set_property_table(const TPropertyTable& table);

  // Raises core::Error (naming `name`) for anything malformed or truncated,
  // and "不正なコマンド" for an unknown code.
  static TPageFile parse(std::span<const std::uint8_t> bytes, std::string_view name = "page");
  void write(core::ByteWriter& w) const;
  std::vector<std::uint8_t> bytes() const;
};

// The table a page of these commands needs: for every component command
// code, the union of the properties its commands hold.
TPropertyTable property_table_for(std::span<const TCommandRecord> commands);

}  // namespace nova::script
