// The DB tables: named tables of typed fields and fixed-size records that
// scripts fill through the DB functions. A game table (status flag 0)
// belongs to one play-through: game saves carry it and Reset drops it. A
// status table (flag 1) outlives games: the status record carries it.
//
// Ownership: TitleServices owns the one manager of the player; the project
// reaches it through ProjectServices, the DB functions through their scope.
// The manager owns its tables, a table its fields and its records.
//
// The record block of one form (game or status), as saves store it:
//   int32 version (100), int32 table count, then per table:
//     byte class code (0), string name, byte status flag,
//     int32 field count, per field: int32 size, string name, byte type,
//     int32 record count, the raw records (count x record size bytes),
//     int32 current record (-1: none)
//   game form only: string name of the active table ("" for none)
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"

namespace nova::data {

// A field's type codes (the same numbers as the value types of the
// expression language).
enum class DBFieldType : std::uint8_t { Integer = 1, Float = 2, Flag = 3, String = 4 };

// The record bytes a field of this type takes: 4, 10, 1, or the declared
// length + 1 for a string (its text and a zero byte).
std::int64_t field_size_of(DBFieldType type, std::int64_t string_length);

class TDBField {
 public:
  TDBField(std::string name, DBFieldType type, std::int32_t size) : m_name(std::move(name)), m_type(type), m_size(size) {}
  const std::string& name() const { return m_name; }
  DBFieldType type() const { return m_type; }
  // Bytes in the record: 4, 10, 1, or the declared length + 1.
  std::int32_t size() const { return m_size; }
  // The longest text a string field holds (its declared length).
  std::int32_t string_length() const { return m_type == DBFieldType::String ? m_size - 1 : 0; }

 private:
  std::string m_name;
  DBFieldType m_type;
  std::int32_t m_size;
};

struct DBSearchCache;

// One sort key: a field and its direction.
struct DBSortKey {
  std::int32_t field = 0;
  bool descending = false;
};

// One table. Its records lie in one buffer, record_size() bytes each, in
// table order; a field's offset is the sum of the sizes before it.
class TDBTable {
 public:
  // Limits far beyond what a title uses. They keep a script (or a text file
  // of one-byte lines loaded into wide records) from asking for gigabytes:
  // the longest string field, the widest record, and the most records and
  // bytes one table holds.
  static constexpr std::int32_t kMaxStringLength = 1 << 20;
  static constexpr std::int32_t kMaxRecordSize = 1 << 24;
  static constexpr std::int32_t kMaxRecords = 1 << 24;
  static constexpr std::int64_t kMaxTableBytes = std::int64_t{256} << 20;

  TDBTable(std::string name, bool status);
  ~TDBTable();
  TDBTable(const TDBTable&) = delete;
  TDBTable& operator=(const TDBTable&) = delete;

  const std::string& name() const { return m_name; }
  bool is_status() const { return m_status; }
  const std::vector<TDBField>& fields() const { return m_fields; }
  std::int32_t record_size() const { return m_record_size; }
  std::int32_t record_count() const { return m_count; }
  // -1: no current record.
  std::int32_t current() const { return m_current; }
  void set_current(std::int32_t index) { m_current = index; }

  // The first field of that name without regard to case; -1 when none.
  std::int32_t field_index(std::string_view name) const;
  std::int32_t field_offset(std::int32_t field) const { return m_offsets.at(static_cast<std::size_t>(field)); }

  // The raw bytes of record `index` (0 <= index < record_count()), read
  // only: every change goes through the operations below, which drop the
  // search index.
  std::span<const std::uint8_t> record(std::int32_t index) const;
  const std::vector<std::uint8_t>& records() const { return m_records; }

  // Whether `more` records still fit the limits of records and bytes.
  bool can_add(std::int64_t more) const;
  // Whether a field of that type and declared length may be added: the
  // length at most kMaxStringLength (a negative one counts as 0) and the
  // record then at most kMaxRecordSize, with the table's bytes in bounds.
  bool can_add_field(DBFieldType type, std::int64_t string_length) const;
  // Appends a field; every record grows by its size, the new bytes zero. A
  // negative string length counts as 0. Raises core::Error when
  // can_add_field says no.
  void add_field(std::string name, DBFieldType type, std::int32_t string_length = 0);
  // Makes room for that many records in all (within the limits) so that
  // appending them does not move the buffer again; a guess, never a limit.
  void reserve(std::int64_t records);
  // Appends a record of zero bytes and makes it current; its index. Raises
  // core::Error when can_add(1) says no.
  std::int32_t append();
  // Appends copies of raw records (a multiple of record_size() bytes, which
  // may be this table's own records: they are copied before the buffer
  // grows); the index of the last, -1 for none. The current record is left
  // alone. Raises core::Error when they do not fit.
  std::int32_t append_raw(std::span<const std::uint8_t> bytes);
  // Reorders the records by the keys, stably (equal records keep their
  // order): integers and flags by value, floats by value with -0 equal to
  // +0 and every NaN equal to another and above +infinity, strings by
  // character code (a double-byte character above every single byte). The
  // current record number stays.
  void sort(std::span<const DBSortKey> keys);
  // Removes record `index`; the later ones move up. The current record
  // stays, or becomes the last one (-1 for none) when it fell off the end.
  void delete_record(std::int32_t index);
  void clear_records();
  // Fields and records go; no current record.
  void clear();

  // Called after any change of the records: the search index goes.
  void changed();
  DBSearchCache& search_cache() const;

  // The accessors by record number and field index that every other
  // operation goes through. Each converts between the requested type and
  // the field's own; nullopt / false when the record or the field is out of
  // range (nothing changes then). Floats become integers rounded to the
  // nearest, halves to even; texts that do not parse as numbers read as 0;
  // a flag read from text is true only for "TRUE". A string field's text
  // ends at its first zero byte within the field. A write into a string
  // field is cut to its declared length, never after a lone lead byte, and
  // the rest of the field is zeroed, so saves of equal tables are equal.
  std::optional<std::int32_t> get_int(std::int32_t rec, std::int32_t field) const;
  std::optional<long double> get_float(std::int32_t rec, std::int32_t field) const;
  std::optional<bool> get_flag(std::int32_t rec, std::int32_t field) const;
  std::optional<std::string> get_str(std::int32_t rec, std::int32_t field) const;
  bool set_int(std::int32_t rec, std::int32_t field, std::int32_t v);
  bool set_float(std::int32_t rec, std::int32_t field, long double v);
  bool set_flag(std::int32_t rec, std::int32_t field, bool v);
  bool set_str(std::int32_t rec, std::int32_t field, std::string_view v);

 private:
  friend class TDBManager;
  std::span<std::uint8_t> record_bytes(std::int32_t index);
  // The field's bytes in the record; empty when either is out of range.
  std::span<std::uint8_t> cell(std::int32_t rec, std::int32_t field);
  std::span<const std::uint8_t> cell(std::int32_t rec, std::int32_t field) const;
  void push_field(TDBField field);

  std::string m_name;
  bool m_status;
  std::vector<TDBField> m_fields;
  std::vector<std::int32_t> m_offsets;
  std::int32_t m_record_size = 0;
  std::int32_t m_count = 0;
  std::vector<std::uint8_t> m_records;
  std::int32_t m_current = -1;
  // Exact searches repeated on unchanged records answer from here.
  mutable std::unique_ptr<DBSearchCache> m_search;
};

// The text of a string field's bytes: up to the first zero byte, all of
// them when there is none.
std::string_view field_text(std::span<const std::uint8_t> cell);
// The integer of an integer field's four bytes (little-endian).
std::int32_t field_int(std::span<const std::uint8_t> cell);
// At most `limit` bytes of `text`, never ending in the lead byte of a
// character cut in two.
std::string_view cut_text(std::string_view text, std::size_t limit);
// Compares two texts by character code (single byte b, or lead x 256 +
// trail); <0, 0 or >0. Byte order differs from it only where a single byte
// from 0x80 meets a double-byte character.
int compare_by_code(std::string_view a, std::string_view b);

class TDBManager {
 public:
  enum class Form { Game, Status };
  static constexpr std::int32_t kRecordVersion = 100;

  // One form's block read whole, not yet in any manager.
  struct Block {
    Form form = Form::Game;
    std::vector<std::unique_ptr<TDBTable>> tables;
    // Game form: the stored name of the active table.
    std::string active_name;
  };

  const std::vector<std::unique_ptr<TDBTable>>& tables() const { return m_tables; }
  // The first table of that name, without regard to case; null when none.
  TDBTable* find(std::string_view name) const;
  // Its index; -1 when none.
  std::int32_t index_of(std::string_view name) const;
  // -1: no active table.
  std::int32_t active_index() const { return m_active; }
  TDBTable* active() const;
  void set_active(std::int32_t index) { m_active = index; }
  // Appends an empty table and makes it active.
  TDBTable& create(std::string name, bool status);
  // Deletes table `index`. The active table stays active (found again by
  // name) unless it was the one deleted; then none is.
  void remove(std::int32_t index);
  // Deletes every table; no active table.
  void clear();
  // Reset's step: every game table goes and no table is active.
  void delete_game_tables();

  // The tables of one form as the game save (game form, with the active
  // table's name) or the status record (status form) stores them.
  void save(core::ByteWriter& w, Form form) const;
  // Replaces the tables of that form with the stored ones. Reads the whole
  // block before changing anything: a damaged block raises core::Error
  // (the reader's load error) and leaves the manager as it was.
  void load(core::ByteReader& r, Form form);

  // The two halves of load, for records that hold more than the tables and
  // change nothing until all of them read: `read` checks every count and
  // size against the bytes left before it allocates and raises core::Error
  // for anything damaged; `apply` cannot fail on its input. Applying drops
  // every table of the block's form, appends the stored ones (each becoming
  // active as it is added) and, for the game form, makes the first table of
  // the stored active name active (none when it is empty or not found).
  static Block read(core::ByteReader& r, Form form);
  void apply(Block block);

 private:
  std::vector<std::unique_ptr<TDBTable>> m_tables;
  std::int32_t m_active = -1;
};

}  // namespace nova::data
